#include "platform/os/FdPosix.h"

#include "platform/ProcessFrame.h"
#include "platform/os/OsFiles.h"

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

void SyncFolderOf(const std::string& path) {
  TFd dir(open(FolderPart(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0)
    fsync(dir.Get());
}

} // namespace

std::string FolderPart(const std::string& path) {
  const std::string folder = FolderOf(path, TPathStyle::Posix);
  return folder.empty() ? "." : folder;
}

std::string LastPart(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAllFd(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
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
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0)
    return -1;
  // Between the creation and the lock another writer may have taken the new file for a
  // leftover and removed it: then the name counts as taken.
  struct stat st;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &st) != 0 || st.st_nlink == 0) {
    close(fd);
    errno = EEXIST;
    return -1;
  }
  return fd;
}

bool RemoveLeftoverFile(const std::string& name) {
  TFd fd(open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (fd.Get() < 0)
    return false;
  struct stat st;
  return fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
         flock(fd.Get(), LOCK_EX | LOCK_NB) == 0 && unlink(name.c_str()) == 0;
}

void RemoveLeftoverFiles(const std::string& stem) {
  const std::string folder = FolderPart(stem);
  const std::string start = LastPart(stem);
  std::unique_ptr<DIR, TDirCloser> d(opendir(folder.c_str()));
  if (!d)
    return;
  std::vector<std::string> found;
  while (const dirent* e = readdir(d.get())) {
    const std::string entry = e->d_name;
    if (entry.size() > start.size() && entry.starts_with(start) &&
        IsNameToken(entry.substr(start.size()), THeldTemp::TokenChars))
      found.push_back(entry);
  }
  for (const std::string& entry : found)
    RemoveLeftoverFile(folder + "/" + entry);
}

std::string WriteTarget(const std::string& name) {
  // Follows at most as many links as the system does for one path.
  std::string at = name;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st;
    if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
      return at;
    std::string link(PATH_MAX, '\0');
    const ssize_t n = readlink(at.c_str(), link.data(), link.size());
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

THeldTemp::THeldTemp(const std::string& stem) {
  // A name taken by anyone else is passed over; after this many the folder is not usable.
  for (int tries = 0; tries < 100; ++tries) {
    Name = stem + NameToken(TokenChars);
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
    unlink(Name.c_str());
}

int THeldTemp::Write(const char* data, std::size_t size) {
  if (!Err && !WriteAllFd(Fd.Get(), data, size))
    Err = errno;
  return Err;
}

int THeldTemp::Finish() {
  if (!Err && (fsync(Fd.Get()) != 0 || close(Fd.Release()) != 0))
    Err = errno;
  return Err;
}

int THeldTemp::CommitReplacing(const std::string& to) {
  if (Err)
    return Err;
  if (rename(Name.c_str(), to.c_str()) != 0)
    return errno;
  Kept = true;
  SyncFolderOf(to);
  return 0;
}

int THeldTemp::CommitNew(const std::string& to) {
  if (Err)
    return Err;
  // The link fails rather than replace an existing file; the temporary name then goes.
  if (link(Name.c_str(), to.c_str()) != 0)
    return errno;
  SyncFolderOf(to);
  return 0;
}
