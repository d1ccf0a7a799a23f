// Message boxes on Windows, drawn through the Unicode call.
#include "platform/os/OsUi.h"

#include "platform/os/WideWin.h"

#include <windows.h>

#include <string>

namespace {

// The common controls of version 6 (the program's boxes' manifest), active while a box is up:
// the process itself starts without them, so that a start that shows no box never looks them up.
// A box shows without them where they cannot be activated (no memory left for the failure
// report's box, say).
class TBoxControls {
public:
  TBoxControls() {
    ACTCTXW wanted{};
    wanted.cbSize = sizeof wanted;
    wanted.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    wanted.hModule = GetModuleHandleW(nullptr);
    // ISOLATIONAWARE_NOSTATICIMPORT_MANIFEST_RESOURCE_ID, which the loader leaves alone.
    wanted.lpResourceName = MAKEINTRESOURCEW(3);
    Context = CreateActCtxW(&wanted);
    Active = Context != INVALID_HANDLE_VALUE && ActivateActCtx(Context, &Cookie);
  }
  ~TBoxControls() {
    if (Active)
      DeactivateActCtx(0, Cookie);
    if (Context != INVALID_HANDLE_VALUE)
      ReleaseActCtx(Context);
  }
  TBoxControls(const TBoxControls&) = delete;
  TBoxControls& operator=(const TBoxControls&) = delete;

private:
  HANDLE Context;
  ULONG_PTR Cookie = 0;
  bool Active = false;
};

class TOsUiWin final : public TOsUi {
public:
  int ShowBox(const std::string& text, const std::string& caption, unsigned flags,
              const TBoxWords&) override {
    // Fixed room for the longest text the failure report shows, so that showing it takes no
    // memory.
    static wchar_t wideText[FixedWideRoom];
    static wchar_t wideCaption[FixedWideRoom];
    std::wstring spareText, spareCaption;
    const TBoxControls controls;
    return MessageBoxW(nullptr, WideFromUtf8Into(text, wideText, spareText),
                       WideFromUtf8Into(caption, wideCaption, spareCaption), flags);
  }
};

} // namespace

template <> TOsUi& TOsSlot<TOsUi>::Native() {
  static TOsUiWin os;
  return os;
}
