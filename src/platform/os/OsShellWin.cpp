// The Windows shell: file copy and opening a file with its associated application.
#include "platform/os/HandleWin.h"
#include "platform/os/OsShell.h"
#include "platform/os/SysWin.h"

#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

namespace {

class TOsShellWin final : public TOsShell {
public:
  int ShellCopy(const std::string& from, const std::string& to) override {
    // A folder at the new file's name would take the copy inside itself, and so might a name
    // that cannot be looked at: neither is copied to. A file there is one that another start
    // made first.
    if (const DWORD at = SysWin().GetFileAttributesA(to.c_str()); at != INVALID_FILE_ATTRIBUTES)
      return (at & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ERROR_ALREADY_EXISTS : 0;
    if (const DWORD e = GetLastError(); e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND)
      return static_cast<int>(e);
    TComScope com;
    // Each list ends with two NULs: the string's own and the one added here.
    const std::string source = from + '\0';
    const std::string target = to + '\0';
    SHFILEOPSTRUCTA op{};
    op.hwnd = nullptr;
    op.wFunc = FO_COPY;
    op.pFrom = source.c_str();
    op.pTo = target.c_str();
    op.fFlags = FOF_SILENT;
    op.hNameMappings = nullptr;
    op.lpszProgressTitle = nullptr;
    return SysWin().SHFileOperationA(&op);
  }

  std::int32_t ShellOpen(const std::string& file, int showCommand) override {
    TComScope com;
    HINSTANCE result =
        SysWin().ShellExecuteA(nullptr, nullptr, file.c_str(), nullptr, nullptr, showCommand);
    // The result is only a number; its low 32 bits, taken as signed, tell the outcome.
    return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(result));
  }
};

} // namespace

template <> TOsShell& TOsSlot<TOsShell>::Native() {
  static TOsShellWin os;
  return os;
}
