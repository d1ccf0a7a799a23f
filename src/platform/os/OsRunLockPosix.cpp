// The locks of a settings file on POSIX systems: advisory locks on files of the user's private
// folder, named after the identity of the settings file's folder.
#include "platform/os/FdPosix.h"
#include "platform/os/OsRunLock.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

namespace {

// The user's private folder /tmp/auto-quillmer-UID, made on first use: the same for every start
// of the user, from a desktop, cron, ssh or an empty environment alike. -1 unless it is a
// folder (no link) of this user that nobody else may enter: a name another user took first
// is refused, even by root.
int OpenPrivateFolder() {
  const std::string own = "/tmp/auto-quillmer-" + std::to_string(geteuid());
  if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST)
    return -1;
  TFd folder(open(own.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (folder.Get() < 0 || fstat(folder.Get(), &st) != 0 || st.st_uid != geteuid() ||
      (st.st_mode & 077) != 0)
    return -1;
  return folder.Release();
}

// The lock file `kind` of the settings file `name`: its folder's device and inode name it, so
// that every path to the folder meets the same lock. -1 when it cannot be opened.
int OpenLockFile(const std::string& name, TRunLockKind kind) {
  struct stat folder {};
  if (stat(FolderPart(name).c_str(), &folder) != 0)
    return -1;
  const TFd own(OpenPrivateFolder());
  if (own.Get() < 0)
    return -1;
  const std::string file = "auto-quillmer-" +
                           std::to_string(static_cast<unsigned long long>(folder.st_dev)) + "-" +
                           std::to_string(static_cast<unsigned long long>(folder.st_ino)) +
                           (kind == TRunLockKind::Question ? ".question.lock" : ".lock");
  return openat(own.Get(), file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
}

class TOsRunLockPosix final : public TOsRunLock {
public:
  // flock cannot wait for a time: the lock is tried every few milliseconds until it is had or
  // the time is up.
  TRunLock Take(const std::string& name, TRunLockKind kind, unsigned waitMs) override {
    TFd file(OpenLockFile(name, kind));
    if (file.Get() < 0)
      return TRunLock::Unavailable;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (flock(file.Get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR)
        continue;
      if (errno != EWOULDBLOCK)
        return TRunLock::Unavailable;
      if (std::chrono::steady_clock::now() >= until)
        return TRunLock::Busy;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Held[Index(kind)].Reset(file.Release());
    return TRunLock::Held;
  }
  // A dialog program's window belongs to no process the launcher can ask to come forward,
  // and a prompt cannot: nothing to do.
  void BringHolderForward(const std::string& /*name*/) override {}
  // Closing the last descriptor frees the lock.
  void Give(TRunLockKind kind) override { Held[Index(kind)].Close(); }

private:
  static int Index(TRunLockKind kind) { return kind == TRunLockKind::Question ? 1 : 0; }

  TFd Held[2];
};

} // namespace

template <> TOsRunLock& TOsSlot<TOsRunLock>::Native() {
  static TOsRunLockPosix os;
  return os;
}
