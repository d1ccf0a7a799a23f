// File access on POSIX systems.
//
// POSIX has no share modes, so the sharing rules are kept with advisory locks (flock,
// which belongs to the open file and so also separates two opens within one process):
// - loading takes a shared lock without waiting; it fails while someone holds an
//   exclusive lock, which is what a program writing the file takes;
// - saving claims the file with an exclusive lock without waiting; it fails while anyone
//   else holds any lock on it, a reader or another writer.
// - a save's new file is made under a name nobody can guess, never through a link, and is
//   held with an exclusive lock from its creation, so that a later save can tell it from a
//   leftover of a save that was killed; only regular files of this user that nobody holds
//   are ever removed as leftovers.
// Programs that take no locks are not seen. A file is read-only when it cannot be opened
// for writing (no permission, or immutable) or when its mode grants writing to nobody, so
// that the superuser, who passes permission checks, treats it as read-only too.
#include "platform/os/OsFiles.h"
#include "platform/os/SysPosix.h"

#include "platform/os/FdPosix.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Fd(TOsFile f) {
  return static_cast<int>(f);
}

// A single system call of at most this many bytes.
constexpr std::size_t MaxChunk = 0x40000000;

class TPosixFiles : public TOsFiles {
public:
  TOsFile OpenRead(const std::string& name) override {
    const int fd = SysPosix().open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd < 0)
      return NoOsFile;
    // A file system without locks has no writer that holds one either.
    if (SysPosix().flock(fd, LOCK_SH | LOCK_NB) != 0 && !NoLocksHere(errno)) {
      SysPosix().close(fd);
      return NoOsFile;
    }
    return fd;
  }

  std::int64_t SizeOf(TOsFile f) override {
    const off_t end = SysPosix().lseek(Fd(f), 0, SEEK_END);
    if (end < 0 || SysPosix().lseek(Fd(f), 0, SEEK_SET) != 0)
      return -1;
    return end;
  }

  std::int64_t Read(TOsFile f, char* buffer, std::size_t n) override {
    for (;;) {
      const ssize_t got = SysPosix().read(Fd(f), buffer, n < MaxChunk ? n : MaxChunk);
      if (got >= 0)
        return got;
      if (errno != EINTR)
        return -1;
    }
  }

  std::string SaveTarget(const std::string& name) override { return WriteTarget(name); }

  TClaim Claim(const std::string& name, TOsFile& f) override {
    const int fd = SysPosix().open(name.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd < 0)
      return errno == ENOENT ? TClaim::Missing : TClaim::Failed;
    struct stat st;
    const bool usable = SysPosix().fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                        (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 &&
                        (SysPosix().flock(fd, LOCK_EX | LOCK_NB) == 0 || NoLocksHere(errno));
    if (!usable) {
      SysPosix().close(fd);
      return TClaim::Failed;
    }
    f = fd;
    return TClaim::Existing;
  }

  TCreateNew CreateNew(const std::string& name, TOsFile& f) override {
    const int fd = CreateHeldFile(name);
    if (fd < 0) {
      if (errno == EEXIST || errno == ELOOP)
        return TCreateNew::Exists;
      return (errno == EACCES || errno == EPERM) ? TCreateNew::Denied : TCreateNew::Failed;
    }
    f = fd;
    return TCreateNew::Created;
  }

  bool CarryOver(TOsFile claim, TOsFile made) override {
    struct stat old, now;
    if (SysPosix().fstat(Fd(claim), &old) != 0 || SysPosix().fstat(Fd(made), &now) != 0 ||
        old.st_nlink > 1)
      return false;
    if ((old.st_uid != now.st_uid || old.st_gid != now.st_gid) &&
        SysPosix().fchown(Fd(made), old.st_uid, old.st_gid) != 0)
      return false;
    // After the owner, which may clear the set-user and set-group bits.
    return SysPosix().fchmod(Fd(made), old.st_mode & 07777) == 0;
  }

  bool SetEnd(TOsFile f) override {
    const off_t at = SysPosix().lseek(Fd(f), 0, SEEK_CUR);
    return at >= 0 && SysPosix().ftruncate(Fd(f), at) == 0;
  }

  std::int64_t Write(TOsFile f, const char* data, std::size_t n) override {
    for (;;) {
      const ssize_t put = SysPosix().write(Fd(f), data, n < MaxChunk ? n : MaxChunk);
      if (put >= 0)
        return put;
      if (errno != EINTR)
        return -1;
    }
  }

  bool Flush(TOsFile f) override { return fsync(Fd(f)) == 0; }

  bool Close(TOsFile f) override { return close(Fd(f)) == 0; }

  TReplaced Replace(TOsFile claim, const std::string& from, const std::string& to) override {
    const bool moved = SysPosix().rename(from.c_str(), to.c_str()) == 0;
    if (moved) {
      // Makes the new folder entry itself durable; a failure here changes nothing
      // that could still be undone.
      TFd dir(SysPosix().open(FolderPart(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
      if (dir.Get() >= 0)
        SysPosix().fsync(dir.Get());
    }
    if (claim != NoOsFile)
      SysPosix().close(Fd(claim));
    return moved ? TReplaced::Done : TReplaced::Failed;
  }

  bool Remove(const std::string& name) override { return unlink(name.c_str()) == 0; }

  void RemoveLeftovers(const std::string& target) override { RemoveLeftoverFiles(target); }
  bool Leftovers(const std::string& target, std::vector<std::string>& found) override {
    return LeftoverFiles(target, found);
  }

  void Wait(unsigned ms) override {
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (SysPosix().nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }
};

} // namespace

template <> TOsFiles& TOsSlot<TOsFiles>::Native() {
  static TPosixFiles files;
  return files;
}
