// The run lock on POSIX systems: an advisory lock on a file of the user's private runtime
// folder, named after the identity of the settings file's folder.
#include "platform/os/FdPosix.h"
#include "platform/os/OsRunLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

// A folder that only this user reaches: a folder (no link) of this user that nobody else
// may enter.
bool Private(const std::string& folder) {
  struct stat st {};
  return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & 077) == 0;
}

// The user's runtime folder; without one, a private folder under /tmp, made on first use.
// Empty when there is none that is the user's alone (another user made the name first).
std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/' && Private(runtime))
    return runtime;
  const std::string own = "/tmp/auto-quillmer-" + std::to_string(geteuid());
  if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST)
    return {};
  return Private(own) ? own : std::string();
}

// The lock file of the settings file `name`: its folder's device and inode name it, so that
// every path to the folder meets the same lock. -1 when it cannot be opened.
int OpenLockFile(const std::string& name) {
  struct stat folder {};
  if (stat(FolderPart(name).c_str(), &folder) != 0)
    return -1;
  const std::string runtime = RuntimeFolder();
  if (runtime.empty())
    return -1;
  const std::string file = runtime + "/auto-quillmer-" +
                           std::to_string(static_cast<unsigned long long>(folder.st_dev)) + "-" +
                           std::to_string(static_cast<unsigned long long>(folder.st_ino)) + ".lock";
  return open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
}

class TOsRunLockPosix final : public TOsRunLock {
public:
  TRunLock Take(const std::string& name) override { return Lock(name, LOCK_EX | LOCK_NB); }
  TRunLock TakeWhenFree(const std::string& name) override { return Lock(name, LOCK_EX); }
  // A dialog program's window belongs to no process the launcher can ask to come forward,
  // and a prompt cannot: nothing to do.
  void BringHolderForward(const std::string& /*name*/) override {}
  void Give() override { Held.Close(); } // closing the last descriptor frees the lock

private:
  TRunLock Lock(const std::string& name, int how) {
    TFd file(OpenLockFile(name));
    if (file.Get() < 0)
      return TRunLock::Unavailable;
    int done;
    while ((done = flock(file.Get(), how)) != 0 && errno == EINTR) {
    }
    if (done != 0)
      return errno == EWOULDBLOCK ? TRunLock::Busy : TRunLock::Unavailable;
    Held.Reset(file.Release());
    return TRunLock::Held;
  }

  TFd Held;
};

} // namespace

template <> TOsRunLock& TOsSlot<TOsRunLock>::Native() {
  static TOsRunLockPosix os;
  return os;
}
