#include "platform/os/ChildPosix.h"
#include "platform/os/FdPosix.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {} // namespace

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (!path)
    return false;
  std::string dirs = path;
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos)
      end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    const std::string full = (dir.empty() ? "." : dir) + "/" + program;
    struct stat st {};
    if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0)
      return true;
    start = end + 1;
  }
  return false;
}

TChildResult RunChild(const std::vector<std::string>& argv) {
  TChildResult result;
  if (argv.empty() || !OnPath(argv[0]))
    return result;
  int fds[2];
  if (pipe(fds) != 0)
    return result;
  TFd readEnd(fds[0]), writeEnd(fds[1]);
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0)
    return result;
  if (pid == 0) {
    // The signals this process ignores are the child's to take as usual.
    std::signal(SIGPIPE, SIG_DFL);
    std::signal(SIGXFSZ, SIG_DFL);
    // The program's own chatter on standard error is no message for the user.
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDERR_FILENO);
    }
    dup2(writeEnd.Get(), STDOUT_FILENO);
    execvp(args[0], args.data());
    _exit(127);
  }
  writeEnd.Close();
  char buffer[512];
  for (;;) {
    const ssize_t n = read(readEnd.Get(), buffer, sizeof buffer);
    if (n > 0)
      result.Output.append(buffer, static_cast<std::size_t>(n));
    else if (n == 0 || errno != EINTR)
      break;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.Started = !(WIFEXITED(status) && WEXITSTATUS(status) == 127);
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}
