#include "platform/os/FdPosix.h"
#include "platform/os/SysPosix.h"

#include "platform/os/OsFiles.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

void SyncFolderOf(const std::string& path) {
  TFd dir(SysPosix().open(FolderPart(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (dir.Get() >= 0)
    SysPosix().fsync(dir.Get());
}

} // namespace

std::string FolderPart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return path.substr(0, slash == 0 ? 1 : slash);
}

std::string LastPart(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAllFd(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = SysPosix().write(fd, data, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      if (n == 0)
        errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

int CreateHeldFile(const std::string& name) {
  const int fd =
      SysPosix().open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0)
    return -1;
  // Between the creation and the lock another writer may have taken the new file for a
  // leftover: it holds the file and removes it, and the name counts as taken. A file system
  // without locks (NFS without its lock service) gives none to anybody: the file is used
  // unheld, and no sweep there can take it either.
  struct stat st;
  const bool held = SysPosix().flock(fd, LOCK_EX | LOCK_NB) == 0;
  const int lockErr = errno;
  if (held || NoLocksHere(lockErr)) {
    if (SysPosix().fstat(fd, &st) == 0 && st.st_nlink > 0)
      return fd;
    SysPosix().close(fd);
    errno = EEXIST;
    return -1;
  }
  // Any other failure: the file just made goes again, and the failure is told as it is.
  if (lockErr != EWOULDBLOCK)
    SysPosix().unlink(name.c_str());
  SysPosix().close(fd);
  errno = lockErr == EWOULDBLOCK ? EEXIST : lockErr;
  return -1;
}

bool RemoveLeftoverFile(const std::string& name) {
  TFd fd(SysPosix().open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0));
  if (fd.Get() < 0)
    return false;
  struct stat st;
  return SysPosix().fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
         SysPosix().flock(fd.Get(), LOCK_EX | LOCK_NB) == 0 && SysPosix().unlink(name.c_str()) == 0;
}

bool LeftoverFiles(const std::string& target, std::vector<std::string>& found) {
  const std::string folder = FolderPart(target);
  const std::string name = LastPart(target);
  found.clear();
  if (name.empty())
    return true;
  std::unique_ptr<DIR, TDirCloser> d(SysPosix().opendir(folder.c_str()));
  if (!d)
    return errno == ENOENT || errno == ENOTDIR;
  // Regular files only, as they are: a link there is not followed, a pipe not waited on.
  struct stat st;
  for (;;) {
    errno = 0;
    const dirent* e = SysPosix().readdir(d.get());
    if (!e)
      return errno == 0;
    if (!IsTempNameOf(e->d_name, name))
      continue;
    if (SysPosix().fstatat(dirfd(d.get()), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
      return false;
    if (S_ISREG(st.st_mode))
      found.push_back(folder + "/" + e->d_name);
  }
}

void RemoveLeftoverFiles(const std::string& target) {
  std::vector<std::string> found;
  LeftoverFiles(target, found);
  for (const std::string& entry : found)
    RemoveLeftoverFile(entry);
}

namespace {

bool MayFollow(const std::string& link, const struct stat& st) {
  if (st.st_uid == geteuid())
    return true;
  struct stat dir;
  if (SysPosix().stat(FolderPart(link).c_str(), &dir) != 0)
    return false;
  const bool shared = (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
  return !shared || st.st_uid == dir.st_uid;
}

} // namespace

std::string WriteTarget(const std::string& name) {
  // Follows at most as many links as the system does for one path.
  std::string at = name;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st;
    if (SysPosix().lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
      return at;
    if (!MayFollow(at, st))
      return "";
    std::string link(PATH_MAX, '\0');
    const ssize_t n = SysPosix().readlink(at.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= link.size())
      return name;
    link.resize(static_cast<std::size_t>(n));
    if (link[0] == '/' || at.find('/') == std::string::npos)
      at = link;
    else
      at = at.substr(0, at.rfind('/') + 1) + link;
  }
  return name;
}

THeldTemp::THeldTemp(const std::string& target) {
  // A name taken by anyone else is passed over; after this many the folder is not usable.
  if (target.empty()) {
    Err = EACCES;
    return;
  }
  for (int tries = 0; tries < 100; ++tries) {
    Name = TempNameOf(target, NameToken(SaveTokenChars));
    Fd.Reset(CreateHeldFile(Name));
    if (Fd.Get() >= 0)
      return;
    Err = errno;
    if (Err != EEXIST)
      break;
  }
  Name.clear();
}

THeldTemp::~THeldTemp() {
  Fd.Close();
  if (!Kept && !Name.empty())
    SysPosix().unlink(Name.c_str());
}

int THeldTemp::Write(const char* data, std::size_t size) {
  if (!Err && !WriteAllFd(Fd.Get(), data, size))
    Err = errno;
  return Err;
}

int THeldTemp::Finish() {
  if (!Err && (SysPosix().fsync(Fd.Get()) != 0 || SysPosix().close(Fd.Release()) != 0))
    Err = errno;
  return Err;
}

int THeldTemp::CommitReplacing(const std::string& to) {
  if (Err)
    return Err;
  if (SysPosix().rename(Name.c_str(), to.c_str()) != 0)
    return errno;
  Kept = true;
  SyncFolderOf(to);
  return 0;
}

int THeldTemp::CommitNew(const std::string& to) {
  if (Err)
    return Err;
  // Put in place without replacing anything: a rename that refuses an existing name, where
  // the file system has none a link, and where it has no links either (exFAT, FAT, many
  // FUSE systems) a rename after a look that nothing is there. A system that filters calls
  // it does not know (older container runtimes) refuses the first with EPERM. Only two starts that
  // copy the same month's file in the same moment can meet in that last gap, each with a copy of a
  // template.
  if (SysPosix().renameat2(AT_FDCWD, Name.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    Kept = true;
  } else if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EPERM) {
    return errno;
  } else if (SysPosix().link(Name.c_str(), to.c_str()) != 0) {
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK)
      return errno;
    struct stat st;
    if (SysPosix().lstat(to.c_str(), &st) == 0)
      return EEXIST;
    if (errno != ENOENT)
      return errno;
    if (SysPosix().rename(Name.c_str(), to.c_str()) != 0)
      return errno;
    Kept = true;
  }
  SyncFolderOf(to);
  return 0;
}
