// Message boxes on Windows, drawn through the Unicode call.
#include "platform/os/OsUi.h"

#include "platform/Texts.h"

#include <windows.h>

#include <string>

namespace {

// Room for the longest text the failure report shows, so that showing it takes no memory.
constexpr int BoxBuffer = 4096;

// The UTF-8 text in UTF-16: in the fixed buffer when it fits, else in spare.
const wchar_t* Widened(const std::string& utf8, wchar_t (&fixed)[BoxBuffer], std::wstring& spare) {
  const int n = static_cast<int>(utf8.size());
  if (n == 0)
    return L"";
  int w = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, fixed, BoxBuffer - 1);
  if (w > 0) {
    fixed[w] = L'\0';
    return fixed;
  }
  w = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, nullptr, 0);
  spare.assign(static_cast<std::size_t>(w > 0 ? w : 0), L'\0');
  if (w > 0)
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, spare.data(), w);
  return spare.c_str();
}

class TOsUiWin final : public TOsUi {
public:
  int ShowBox(const TBoxText& text, const TBoxText& caption, unsigned flags) override {
    static wchar_t wideText[BoxBuffer];
    static wchar_t wideCaption[BoxBuffer];
    std::wstring spareText, spareCaption;
    return MessageBoxW(nullptr, Widened(text.Utf8Form(), wideText, spareText),
                       Widened(caption.Utf8Form(), wideCaption, spareCaption), flags);
  }
};

} // namespace

template <> TOsUi& TOsSlot<TOsUi>::Native() {
  static TOsUiWin os;
  return os;
}
