// The XDG autostart entry: a desktop entry file in $XDG_CONFIG_HOME/autostart (by default
// ~/.config/autostart) that desktops start at sign-in.
#include "platform/os/FdPosix.h"
#include "platform/os/OsAutostart.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TAutostartOutcome Outcome(TAutostartResult result, const std::string& path, int err = 0) {
  TAutostartOutcome out;
  out.Result = result;
  out.Path = path;
  out.Code = static_cast<std::uint32_t>(err);
  return out;
}

TAutostartOutcome FailureOf(int err, const std::string& path) {
  switch (err) {
  case EACCES:
  case EPERM:
  case EROFS:
    return Outcome(TAutostartResult::Denied, path, err);
  case ENOENT:
  case ENOTDIR:
    return Outcome(TAutostartResult::NoFolder, path, err);
  default:
    return Outcome(TAutostartResult::Failed, path, err);
  }
}

std::string ProgramPath() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string FolderOfPath(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return path.substr(0, slash == 0 ? 1 : slash);
}

// The folder of autostart entries; "" when there is no home folder to put it in.
std::string AutostartFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/')
    return std::string(config) + "/autostart";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/')
    return std::string(home) + "/.config/autostart";
  return "";
}

// A value of a desktop entry: backslashes, control characters and a leading blank escaped.
std::string EntryValue(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else if (c == ' ' && i == 0)
      out += "\\s";
    else
      out.push_back(c);
  }
  return out;
}

// The Exec value that starts the program: its path as one quoted argument (the double quote,
// backtick, dollar sign and backslash escaped by a backslash, % doubled), then escaped as
// every value is.
std::string ExecValue(const std::string& program) {
  std::string quoted = "\"";
  for (const char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\')
      quoted.push_back('\\');
    if (c == '%')
      quoted.push_back('%');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return EntryValue(quoted);
}

std::string EntryText(const TAutostartEntry& entry, const std::string& program) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=" +
         EntryValue(entry.Name) + "\nComment=" + EntryValue(entry.CommentEn) +
         "\nComment[ja]=" + EntryValue(entry.CommentJa) + "\nExec=" + ExecValue(program) +
         "\nPath=" + EntryValue(FolderOfPath(program)) +
         "\nTerminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool WriteAll(int fd, const std::string& text) {
  const char* data = text.data();
  std::size_t size = text.size();
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Makes a folder unless it is there; 0 or the error number.
int MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST)
    return 0;
  return errno;
}

// The whole file, or false when it cannot be read.
bool ReadAll(const std::string& path, std::string& text, int& err) {
  TFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) {
    err = errno;
    return false;
  }
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      err = errno;
      return false;
    }
    if (n == 0)
      return true;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > 1024 * 1024) {
      err = EFBIG;
      return false;
    }
  }
}

class TOsAutostartPosix final : public TOsAutostart {
public:
  TAutostartOutcome Add(const TAutostartEntry& entry) override {
    const std::string folder = AutostartFolder();
    if (folder.empty())
      return Outcome(TAutostartResult::NoFolder, "");
    const std::string path = folder + "/" + entry.FileStem + ".desktop";
    const std::string program = ProgramPath();
    if (program.empty())
      return Outcome(TAutostartResult::Failed, path, ENOENT);
    // The configuration folder and its autostart folder are made when missing.
    if (const int err = MakeFolder(FolderOfPath(folder)))
      return FailureOf(err, path);
    if (const int err = MakeFolder(folder))
      return FailureOf(err, path);
    std::string temp = path + ".XXXXXX";
    TFd fd(mkostemp(temp.data(), O_CLOEXEC));
    if (fd.Get() < 0)
      return FailureOf(errno, path);
    TRemoveOnExit cleanup(temp);
    if (!WriteAll(fd.Get(), EntryText(entry, program)) || fchmod(fd.Get(), 0644) != 0 ||
        fsync(fd.Get()) != 0)
      return FailureOf(errno, path);
    if (close(fd.Release()) != 0)
      return FailureOf(errno, path);
    if (rename(temp.c_str(), path.c_str()) != 0)
      return FailureOf(errno, path);
    cleanup.Keep();
    TFd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
      fsync(dir.Get());
    return Outcome(TAutostartResult::Done, path);
  }

  TAutostartOutcome Remove(const TAutostartEntry& entry) override {
    const std::string folder = AutostartFolder();
    if (folder.empty())
      return Outcome(TAutostartResult::NotFound, "");
    const std::string path = folder + "/" + entry.FileStem + ".desktop";
    std::string text;
    int err = 0;
    if (!ReadAll(path, text, err)) {
      if (err == ENOENT || err == ENOTDIR)
        return Outcome(TAutostartResult::NotFound, path);
      return FailureOf(err, path);
    }
    // Ours: it starts this very program.
    const std::string exec = "Exec=" + ExecValue(ProgramPath());
    bool ours = false;
    std::size_t start = 0;
    while (start < text.size() && !ours) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos)
        end = text.size();
      ours = text.compare(start, end - start, exec) == 0;
      start = end + 1;
    }
    if (!ours)
      return Outcome(TAutostartResult::NotOurs, path);
    if (unlink(path.c_str()) != 0)
      return FailureOf(errno, path);
    return Outcome(TAutostartResult::Done, path);
  }
};

} // namespace

template <> TOsAutostart& TOsSlot<TOsAutostart>::Native() {
  static TOsAutostartPosix os;
  return os;
}
