// The run lock on POSIX systems: an advisory lock on the folder of the settings file.
#include "platform/os/FdPosix.h"
#include "platform/os/OsRunLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace {

class TOsRunLockPosix final : public TOsRunLock {
public:
  TRunLock Take(const std::string& name) override {
    const std::size_t slash = name.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : name.substr(0, slash));
    TFd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0)
      return TRunLock::Unavailable;
    int done;
    while ((done = flock(dir.Get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (done != 0)
      return errno == EWOULDBLOCK ? TRunLock::Busy : TRunLock::Unavailable;
    Held.Reset(dir.Release());
    return TRunLock::Held;
  }

  void Give() override { Held.Close(); } // closing the last descriptor frees the lock

private:
  TFd Held;
};

} // namespace

template <> TOsRunLock& TOsSlot<TOsRunLock>::Native() {
  static TOsRunLockPosix os;
  return os;
}
