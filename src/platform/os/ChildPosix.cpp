#include "platform/os/ChildPosix.h"
#include "platform/os/FdPosix.h"
#include "platform/os/SysPosix.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// How often a program given a time limit is looked at.
constexpr int PollMs = 10;
} // namespace

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
    if (SysPosix().stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        SysPosix().access(full.c_str(), X_OK) == 0)
      return true;
    start = end + 1;
  }
  return false;
}

TChildResult RunChild(const std::vector<std::string>& argv, int waitMs) {
  TChildResult result;
  if (argv.empty() || !OnPath(argv[0]))
    return result;
  // The output goes to a file in memory that the launcher reads after the program has
  // ended; a child of the program that keeps it open keeps nobody waiting.
  TFd output(SysPosix().memfd_create("aq-child-output", MFD_CLOEXEC));
  TFd null(SysPosix().open("/dev/null", O_RDWR | O_CLOEXEC, 0));
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = SysPosix().fork();
  if (pid < 0)
    return result;
  if (pid == 0) {
    // The signals this process ignores are the child's to take as usual.
    std::signal(SIGPIPE, SIG_DFL);
    std::signal(SIGXFSZ, SIG_DFL);
    // dup2 gives the program these three without the close-on-exec mark; every other
    // descriptor of the launcher carries it. A launcher started with 0, 1 or 2 closed may
    // have got its own two there: both are first moved above them, so that no dup2 puts
    // one over the other or leaves one in place with its mark. The program's own chatter
    // on standard error is no message for the user.
    const int nullFd = null.Get() >= 0 ? SysPosix().fcntl(null.Get(), F_DUPFD_CLOEXEC, 3) : -1;
    const int outFd =
        output.Get() >= 0 ? SysPosix().fcntl(output.Get(), F_DUPFD_CLOEXEC, 3) : nullFd;
    if (nullFd >= 0) {
      SysPosix().dup2(nullFd, STDIN_FILENO);
      SysPosix().dup2(nullFd, STDERR_FILENO);
    }
    if (outFd >= 0)
      SysPosix().dup2(outFd, STDOUT_FILENO);
    // The rest go at once rather than at exec: a launcher ended right after starting the
    // program leaves no lock of its own with it for longer than this. The system call itself,
    // which glibc before 2.34 does not wrap; a kernel before 5.9 leaves them to the exec.
    syscall(__NR_close_range, 3U, ~0U, 0U);
    SysPosix().execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  timespec started{};
  clock_gettime(CLOCK_MONOTONIC, &started);
  for (;;) {
    const pid_t done = SysPosix().waitpid(pid, &status, waitMs < 0 ? 0 : WNOHANG);
    if (done == pid)
      break;
    if (done < 0 && errno != EINTR)
      return result;
    if (done == 0) {
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      const long long waited =
          (now.tv_sec - started.tv_sec) * 1000LL + (now.tv_nsec - started.tv_nsec) / 1000000;
      if (waited >= waitMs) {
        // Still running: it has taken the work over and goes on without the launcher.
        result.Started = true;
        return result;
      }
      const timespec pause{0, PollMs * 1000000L};
      SysPosix().nanosleep(&pause, nullptr);
    }
  }
  result.Started = !(WIFEXITED(status) && WEXITSTATUS(status) == 127);
  result.Ended = true;
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (output.Get() >= 0 && SysPosix().lseek(output.Get(), 0, SEEK_SET) == 0) {
    char buffer[512];
    for (;;) {
      const ssize_t n = SysPosix().read(output.Get(), buffer, sizeof buffer);
      if (n > 0)
        result.Output.append(buffer, static_cast<std::size_t>(n));
      else if (n == 0 || errno != EINTR)
        break;
    }
  }
  return result;
}
