// The XDG autostart entry: a desktop entry file in $XDG_CONFIG_HOME/autostart (by default
// ~/.config/autostart) that desktops start at sign-in.
#include "platform/os/FdPosix.h"
#include "platform/os/OsAutostart.h"
#include "platform/os/OsProcess.h"
#include "platform/os/SysPosix.h"

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
  return TOsSlot<TOsProcess>::Native().ModuleFileName();
}

// Whether text is well-formed UTF-8, as every value of a desktop entry must be.
bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t n = c < 0x80         ? 1
                          : (c >> 5) == 6  ? 2
                          : (c >> 4) == 14 ? 3
                          : (c >> 3) == 30 ? 4
                                           : 0;
    if (n == 0 || i + n > text.size() || (n == 2 && c < 0xC2))
      return false;
    std::uint32_t code = n == 1 ? c : c & (0x7Fu >> n);
    for (std::size_t k = 1; k < n; ++k) {
      const auto t = static_cast<unsigned char>(text[i + k]);
      if ((t & 0xC0) != 0x80)
        return false;
      code = code << 6 | (t & 0x3Fu);
    }
    // No overlong form, no surrogate, nothing beyond the last code point.
    if ((n == 3 && code < 0x800) || (n == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += n;
  }
  return true;
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
// every value is. GLib looks the program up before it undoes the doubled %, and so finds
// no program whose path holds a %: such a path is handed to the shell, which starts it.
std::string ExecValue(const std::string& program) {
  const std::string viaShell =
      program.find('%') == std::string::npos ? "" : "/bin/sh -c \"exec \\\"\\$0\\\"\" ";
  std::string quoted = "\"";
  for (const char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\')
      quoted.push_back('\\');
    if (c == '%')
      quoted.push_back('%');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return EntryValue(viaShell + quoted);
}

std::string EntryText(const TAutostartEntry& entry, const std::string& program) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=" +
         EntryValue(entry.Name) + "\nComment=" + EntryValue(entry.CommentEn) +
         "\nComment[ja]=" + EntryValue(entry.CommentJa) + "\nExec=" + ExecValue(program) +
         "\nPath=" + EntryValue(FolderPart(program)) +
         "\nTerminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

// Makes a folder unless it is there; 0 or the error number.
int MakeFolder(const std::string& path) {
  if (SysPosix().mkdir(path.c_str(), 0700) == 0 || errno == EEXIST)
    return 0;
  return errno;
}

// The whole file, or false when it cannot be read. Anything but a regular file (a FIFO, a
// device) reads as empty, without waiting for a writer.
bool ReadAll(const std::string& path, std::string& text, int& err) {
  TFd fd(SysPosix().open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0));
  struct stat st;
  if (fd.Get() < 0 || SysPosix().fstat(fd.Get(), &st) != 0) {
    err = errno;
    return false;
  }
  if (!S_ISREG(st.st_mode))
    return true;
  char buffer[4096];
  for (;;) {
    const ssize_t n = SysPosix().read(fd.Get(), buffer, sizeof buffer);
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
      return Outcome(TAutostartResult::NoProgram, path);
    // Desktops read entries as UTF-8 and skip an entry that is not.
    if (!IsUtf8(program))
      return Outcome(TAutostartResult::NotUtf8, path);
    // The configuration folder and its autostart folder are made when missing.
    if (const int err = MakeFolder(FolderPart(folder)))
      return FailureOf(err, path);
    if (const int err = MakeFolder(folder))
      return FailureOf(err, path);
    // An entry that is a symbolic link is written through to its file, where the system
    // would follow it; the link stays. Leftovers of killed writes of it go first.
    const std::string target = WriteTarget(path);
    RemoveLeftoverFiles(target);
    THeldTemp temp(target);
    const std::string text = EntryText(entry, program);
    int err = temp.Error();
    if (!err)
      err = temp.Write(text.data(), text.size());
    if (!err && SysPosix().fchmod(temp.Get(), 0644) != 0)
      err = errno;
    if (!err)
      err = temp.Finish();
    if (!err)
      err = temp.CommitReplacing(target);
    if (err)
      return FailureOf(err, path);
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
    // Ours: it starts this very program, with or without arguments added after it.
    const std::string exec = "Exec=" + ExecValue(ProgramPath());
    bool ours = false;
    std::size_t start = 0;
    while (start < text.size() && !ours) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos)
        end = text.size();
      ours = text.compare(start, exec.size(), exec) == 0 &&
             (end == start + exec.size() || text[start + exec.size()] == ' ');
      start = end + 1;
    }
    if (!ours)
      return Outcome(TAutostartResult::NotOurs, path);
    if (SysPosix().unlink(path.c_str()) != 0)
      return FailureOf(errno, path);
    return Outcome(TAutostartResult::Done, path);
  }
};

} // namespace

template <> TOsAutostart& TOsSlot<TOsAutostart>::Native() {
  static TOsAutostartPosix os;
  return os;
}
