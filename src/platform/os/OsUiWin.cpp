// Message boxes on Windows.
#include "platform/os/OsUi.h"

#include <windows.h>

namespace {

class TOsUiWin final : public TOsUi {
public:
  int ShowBox(const std::string& text, const std::string& caption, unsigned flags) override {
    return MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
  }
};

} // namespace

template <> TOsUi& TOsSlot<TOsUi>::Native() {
  static TOsUiWin os;
  return os;
}
