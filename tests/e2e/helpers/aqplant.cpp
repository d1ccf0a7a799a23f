// aqplant: a DLL that only tells that it was loaded. The end-to-end tests copy it into a
// program's folder under the names of Windows' own DLLs. Whenever a process loads one of
// the copies, the copy appends one line "<its own file name> <the process's program file
// name>" to aqplant.log in its own folder. It exports nothing and does nothing else.
#include "HelperText.h"

#include <windows.h>

#include <string>

using namespace aqe2e;

namespace {

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH + 1);
  return length > 0 && length <= MAX_PATH ? std::wstring(path, length) : std::wstring();
}

std::wstring AfterLastBackslash(const std::wstring& path) {
  const std::size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    const std::wstring self = ModulePath(instance);
    const std::size_t slash = self.rfind(L'\\');
    if (slash != std::wstring::npos) {
      const std::string line = Narrow(AfterLastBackslash(self)) + " " +
                               Narrow(AfterLastBackslash(ModulePath(nullptr))) + "\n";
      WriteWholeFile(self.substr(0, slash + 1) + L"aqplant.log", line, true);
    }
  }
  return TRUE;
}
