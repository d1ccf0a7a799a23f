// Copying and opening files on POSIX desktops. The copy never overwrites an existing file
// and leaves no partial file behind; opening hands the file to the desktop (xdg-open) and
// turns its outcome into the shell's kind of number, without waiting for the application.
#include "platform/os/ChildPosix.h"
#include "platform/os/FdPosix.h"
#include "platform/os/OsShell.h"
#include "platform/os/SysPosix.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Windows error numbers that the copy reports, so that callers see the same kind of result.
constexpr int ErrorFileNotFound = 2;
constexpr int ErrorAccessDenied = 5;
constexpr int ErrorFileExists = 80;
constexpr int ErrorDiskFull = 112;
constexpr int ErrorFileTooLarge = 223;
constexpr int ErrorGeneral = 1117; // an I/O error

// The largest template that is copied. A month's sleep chart is a few hundred kilobytes
// even when filled in; a file of many megabytes is no template, and copying it (or a link
// to an endless device) would only fill the disk.
constexpr std::size_t MaxCopyBytes = 32u * 1024 * 1024;

// How long the desktop's opener has to answer. One that fails (no application for the
// file, no desktop tools) ends well within it: xdg-open without a desktop's own opener takes
// one to two seconds, now and then four, to find that nothing opens the file on a heavily
// loaded machine. One that is still running after it has started the application and runs
// it in the foreground (a desktop without its own opener): the file is open, and the opener
// goes on without the launcher.
constexpr int OpenerAnswerMs = 10000;

int ErrorOf(int err) {
  switch (err) {
  case ENOENT:
  case ENOTDIR:
    return ErrorFileNotFound;
  case EACCES:
  case EPERM:
  case EROFS:
    return ErrorAccessDenied;
  case EEXIST:
    return ErrorFileExists;
  case ENOSPC:
  case EDQUOT:
  case EFBIG:
    return ErrorDiskFull;
  default:
    return ErrorGeneral;
  }
}

class TOsShellPosix final : public TOsShell {
public:
  int ShellCopy(const std::string& from, const std::string& to) override {
    // Only a regular file (or a link to one) is copied; opening does not wait for a writer
    // of a FIFO, and a device or a folder is refused once open.
    TFd source(SysPosix().open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0));
    if (source.Get() < 0)
      return ErrorOf(errno);
    struct stat st {};
    if (SysPosix().fstat(source.Get(), &st) != 0 || !S_ISREG(st.st_mode))
      return ErrorFileNotFound;
    if (static_cast<std::uintmax_t>(st.st_size) > MaxCopyBytes)
      return ErrorFileTooLarge;
    // Leftovers of copies that were killed, which no running copy holds, go first. The copy
    // is written beside the target under a name of its own, with the mode of a new file, and
    // put in place only when it is whole, never over an existing file.
    RemoveLeftoverFiles(to);
    THeldTemp temp(to);
    if (temp.Error())
      return ErrorOf(temp.Error());
    std::size_t copied = 0;
    char buffer[65536];
    for (;;) {
      const ssize_t n = SysPosix().read(source.Get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0)
        return ErrorOf(errno);
      if (n == 0)
        break;
      // A file that grows while it is copied is cut off at the limit, never copied on.
      copied += static_cast<std::size_t>(n);
      if (copied > MaxCopyBytes)
        return ErrorFileTooLarge;
      if (const int err = temp.Write(buffer, static_cast<std::size_t>(n)))
        return ErrorOf(err);
    }
    if (const int err = temp.Finish())
      return ErrorOf(err);
    // A copy that another start put there first is this month's workbook all the same, when
    // it is a file.
    const int err = temp.CommitNew(to);
    struct stat made {};
    if (err == EEXIST && SysPosix().lstat(to.c_str(), &made) == 0 && S_ISREG(made.st_mode))
      return 0;
    return err == 0 ? 0 : ErrorOf(err);
  }

  std::int32_t ShellOpen(const std::string& file, int /*showCommand: windows only*/) override {
    struct stat st {};
    if (SysPosix().stat(file.c_str(), &st) != 0)
      return errno == ENOENT ? SeErrFileNotFound : SeErrPathNotFound;
    if (SysPosix().access(file.c_str(), R_OK) != 0)
      return SeErrAccessDenied;
    const TChildResult r = RunChild({"xdg-open", file}, OpenerAnswerMs);
    if (!r.Started)
      return SeErrNoAssoc;
    if (!r.Ended)
      return 42; // opened, the application in the opener's foreground
    switch (r.ExitCode) {
    case 0:
      return 42; // opened
    case 2:
      return SeErrFileNotFound;
    case 3: // the desktop's tools are missing
    case 4: // no application could open it
      return SeErrNoAssoc;
    default:
      return SeErrAccessDenied;
    }
  }
};

} // namespace

template <> TOsShell& TOsSlot<TOsShell>::Native() {
  static TOsShellPosix os;
  return os;
}
