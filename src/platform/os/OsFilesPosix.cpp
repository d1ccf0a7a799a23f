// File access on POSIX systems.
//
// POSIX has no share modes, so the sharing rules are kept with advisory locks (flock,
// which belongs to the open file and so also separates two opens within one process):
// - loading takes a shared lock without waiting; it fails while someone holds an
//   exclusive lock, which is what a program writing the file takes;
// - saving claims the file with an exclusive lock without waiting; it fails while anyone
//   else holds any lock on it, a reader or another writer.
// Programs that take no locks are not seen. A file is read-only when it cannot be opened
// for writing (no permission, or immutable) or when its mode grants writing to nobody, so
// that the superuser, who passes permission checks, treats it as read-only too.
#include "platform/os/OsFiles.h"

#include <cerrno>
#include <climits>
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

std::string FolderPart(const std::string& name) {
  const auto slash = name.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : name.substr(0, slash);
}

class TPosixFiles : public TOsFiles {
public:
  TOsFile OpenRead(const std::string& name) override {
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
      return NoOsFile;
    if (flock(fd, LOCK_SH | LOCK_NB) != 0) {
      close(fd);
      return NoOsFile;
    }
    return fd;
  }

  std::int64_t SizeOf(TOsFile f) override {
    const off_t end = lseek(Fd(f), 0, SEEK_END);
    if (end < 0 || lseek(Fd(f), 0, SEEK_SET) != 0)
      return -1;
    return end;
  }

  std::int64_t Read(TOsFile f, char* buffer, std::size_t n) override {
    for (;;) {
      const ssize_t got = read(Fd(f), buffer, n < MaxChunk ? n : MaxChunk);
      if (got >= 0)
        return got;
      if (errno != EINTR)
        return -1;
    }
  }

  TClaim Claim(const std::string& name, TOsFile& f) override {
    for (int attempt = 0; attempt < 3; ++attempt) {
      bool created = false;
      int fd = open(name.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
      if (fd < 0 && errno == ENOENT) {
        fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NONBLOCK, 0666);
        if (fd < 0 && errno == EEXIST)
          continue; // someone else created it meanwhile: open it as existing
        created = fd >= 0;
      }
      if (fd < 0)
        return TClaim::Failed;
      struct stat st;
      const bool usable = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                          (created || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0) &&
                          flock(fd, LOCK_EX | LOCK_NB) == 0;
      if (!usable) {
        if (created)
          unlink(name.c_str());
        close(fd);
        return TClaim::Failed;
      }
      f = fd;
      return created ? TClaim::Created : TClaim::Existing;
    }
    return TClaim::Failed;
  }

  TCreateNew CreateNew(const std::string& name, TOsFile& f) override {
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
      return errno == EEXIST ? TCreateNew::Exists : TCreateNew::Failed;
    f = fd;
    return TCreateNew::Created;
  }

  std::int64_t Write(TOsFile f, const char* data, std::size_t n) override {
    for (;;) {
      const ssize_t put = write(Fd(f), data, n < MaxChunk ? n : MaxChunk);
      if (put >= 0)
        return put;
      if (errno != EINTR)
        return -1;
    }
  }

  bool Flush(TOsFile f) override { return fsync(Fd(f)) == 0; }

  bool Close(TOsFile f) override { return close(Fd(f)) == 0; }

  bool Replace(TOsFile claim, const std::string& from, const std::string& to) override {
    // The new file takes over the permissions of the one it replaces.
    struct stat st;
    if (fstat(Fd(claim), &st) == 0)
      chmod(from.c_str(), st.st_mode & 07777);
    const bool moved = rename(from.c_str(), to.c_str()) == 0;
    if (moved) {
      // Makes the new folder entry itself durable; a failure here changes nothing
      // that could still be undone.
      const int dir = open(FolderPart(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (dir >= 0) {
        fsync(dir);
        close(dir);
      }
    }
    close(Fd(claim));
    return moved;
  }

  bool Remove(const std::string& name) override { return unlink(name.c_str()) == 0; }
};

} // namespace

template <> TOsFiles& TOsSlot<TOsFiles>::Native() {
  static TPosixFiles files;
  return files;
}
