// Message boxes on Windows, drawn through the Unicode call.
#include "platform/os/OsUi.h"

#include "platform/os/WideWin.h"

#include <windows.h>

#include <string>

namespace {

class TOsUiWin final : public TOsUi {
public:
  int ShowBox(const std::string& text, const std::string& caption, unsigned flags,
              const TBoxWords&) override {
    // Fixed room for the longest text the failure report shows, so that showing it takes no
    // memory.
    static wchar_t wideText[FixedWideRoom];
    static wchar_t wideCaption[FixedWideRoom];
    std::wstring spareText, spareCaption;
    return MessageBoxW(nullptr, WideFromUtf8Into(text, wideText, spareText),
                       WideFromUtf8Into(caption, wideCaption, spareCaption), flags);
  }
};

} // namespace

template <> TOsUi& TOsSlot<TOsUi>::Native() {
  static TOsUiWin os;
  return os;
}
