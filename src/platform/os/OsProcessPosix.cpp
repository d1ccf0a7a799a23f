// The process, its files and its code page on POSIX systems. The code page is UTF-8,
// which has no lead bytes in the double-byte sense.
#include "platform/os/OsProcess.h"
#include "platform/os/SysPosix.h"

#include "platform/os/FdPosix.h"

#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <memory>

namespace {

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

class TOsProcessPosix final : public TOsProcess {
public:
  // A write to a closed pipe (standard error read by a program that has gone) fails with
  // EPIPE, and a write beyond the process's file-size limit with EFBIG, handled where they
  // happen, instead of ending the process. This layer is the first one the start-up uses,
  // so both hold before any file is touched.
  TOsProcessPosix() {
    std::setlocale(LC_ALL, "");
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
  }

  std::string ModuleFileName() override {
    // "" when the system cannot give the path (longer than it allows) and when the buffer
    // was filled, which may mean it was cut.
    char buffer[PATH_MAX];
    const ssize_t n = SysPosix().readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 && static_cast<std::size_t>(n) < sizeof buffer
               ? std::string(buffer, static_cast<std::size_t>(n))
               : std::string();
  }

  std::string CommandLine() override {
    // The command line rebuilt from the arguments: each one quoted where it holds a
    // blank or control byte, so that reading it back gives the same arguments.
    std::string raw;
    const int fd = SysPosix().open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC, 0);
    if (fd >= 0) {
      char buffer[4096];
      ssize_t n;
      while ((n = SysPosix().read(fd, buffer, sizeof buffer)) > 0)
        raw.append(buffer, static_cast<std::size_t>(n));
      SysPosix().close(fd);
    }
    std::string text, arg;
    auto flush = [&]() {
      bool quote = arg.empty();
      for (char c : arg)
        if (static_cast<unsigned char>(c) <= 0x20)
          quote = true;
      if (!text.empty())
        text.push_back(' ');
      if (quote)
        text += '"' + arg + '"';
      else
        text += arg;
      arg.clear();
    };
    for (char c : raw) {
      if (c == '\0')
        flush();
      else if (c != '"') // no argument can hold a double quote
        arg.push_back(c);
    }
    if (!arg.empty())
      flush();
    return text;
  }

  bool DbcsEnabled() override { return false; }
  std::vector<std::uint8_t> LeadByteRanges() override { return {}; }

  TFindEntry FindFirst(const std::string& name) override {
    TFindEntry entry;
    const std::string& path = name;
    const std::string last = LastPart(path);
    std::string found = path;
    if (last.find_first_of("*?") != std::string::npos) {
      // Wildcards in the last component: the first matching entry of the folder.
      const std::string dir = FolderPart(path);
      std::unique_ptr<DIR, TDirCloser> d(SysPosix().opendir(dir.c_str()));
      if (!d) {
        entry.Unknown = errno != ENOENT && errno != ENOTDIR;
        return entry;
      }
      found.clear();
      while (dirent* e = SysPosix().readdir(d.get())) {
        if (fnmatch(last.c_str(), e->d_name, FNM_PERIOD) == 0) {
          found = path.find('/') == std::string::npos ? e->d_name : dir + "/" + e->d_name;
          break;
        }
      }
      if (found.empty())
        return entry;
    }
    struct stat st {};
    if (path.empty())
      return entry;
    if (SysPosix().stat(found.c_str(), &st) != 0) {
      entry.Unknown = errno != ENOENT && errno != ENOTDIR;
      return entry;
    }
    entry.Found = true;
    entry.Folder = S_ISDIR(st.st_mode);
    return entry;
  }

  int CompareText(const std::string& a, const std::string& b, bool ignoreCase) override {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
      const auto x = static_cast<unsigned char>(ignoreCase ? FoldAscii(a[i]) : a[i]);
      const auto y = static_cast<unsigned char>(ignoreCase ? FoldAscii(b[i]) : b[i]);
      if (x != y)
        return x < y ? 1 : 3;
    }
    return a.size() == b.size() ? 2 : (a.size() < b.size() ? 1 : 3);
  }

  std::string AnsiFromUtf8(const std::string& utf8) override { return utf8; }

  [[noreturn]] void EndProcess(int code) override { std::_Exit(code); }
};

} // namespace

template <> TOsProcess& TOsSlot<TOsProcess>::Native() {
  static TOsProcessPosix os;
  return os;
}
