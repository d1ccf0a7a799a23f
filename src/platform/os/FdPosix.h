#pragma once

// Owners of POSIX resources for the file layers, and the one way in which they write a
// file whole: a new file under a name nobody can guess, made beside its destination, held
// from its creation and put in place only when it is complete.
#include "platform/os/SysPosix.h"
#include <cerrno>
#include <cstddef>
#include <dirent.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

// A file descriptor owned for its lifetime.
class TFd {
public:
  explicit TFd(int fd = -1) : Fd(fd) {}
  ~TFd() { Close(); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return Fd; }
  int Release() { return std::exchange(Fd, -1); }
  void Close() {
    if (Fd >= 0)
      SysPosix().close(Fd);
    Fd = -1;
  }
  void Reset(int fd) {
    Close();
    Fd = fd;
  }

private:
  int Fd;
};

// Closes a folder listing.
struct TDirCloser {
  void operator()(DIR* d) const { SysPosix().closedir(d); }
};

// The folder part of a path ("." for a bare name, "/" at the root) and its last component.
std::string FolderPart(const std::string& path);
std::string LastPart(const std::string& path);

// Whether flock failed with this error because the file system has no locks (NFS without its
// lock service, some FUSE systems): nobody holds one there, and none is to be had.
inline bool NoLocksHere(int err) {
  return err == ENOLCK || err == EOPNOTSUPP;
}

// Writes all of data, going on after short writes and interruptions; false on failure
// (errno tells why).
bool WriteAllFd(int fd, const char* data, std::size_t size);

// Creates a file that must not exist yet (no link followed, nothing else opened), with the
// mode of a new file (0666 less the umask), and holds it with an exclusive advisory lock so
// that RemoveLeftoverFile leaves it alone while it is open. -1 with errno on failure; EEXIST
// when the name is taken.
int CreateHeldFile(const std::string& name);

// Deletes a file that a killed writer left: only a regular file of this user, not reached
// through a link, that nobody holds locked. False when it was not deleted.
bool RemoveLeftoverFile(const std::string& name);

// Deletes the leftovers of writes of `target` (IsTempNameOf) in its folder, except those that
// a running writer holds.
void RemoveLeftoverFiles(const std::string& target);

// The names of the leftovers of writes of `target` in its folder (IsTempNameOf), with the
// folder (IsTempNameOf), with the folder; false when the folder cannot be listed whole.
bool LeftoverFiles(const std::string& target, std::vector<std::string>& found);

// The name under which a file must be written so that a symbolic link at `name` stays: the
// file it leads to, through any chain of links; `name` itself when it is no link. A link is
// followed only where the kernel would follow it (fs.protected_symlinks): one of this user,
// or of the owner of its folder, or in a folder that is not both sticky and writable by
// all. "" (where nothing can be written) for a link that is not followed.
std::string WriteTarget(const std::string& name);

// A file written whole beside its destination: made by CreateHeldFile under TempNameOf the
// destination, removed on the way out unless Commit put it in place. A destination ""
// gives EACCES.
class THeldTemp {
public:
  explicit THeldTemp(const std::string& target);
  ~THeldTemp();
  THeldTemp(const THeldTemp&) = delete;
  THeldTemp& operator=(const THeldTemp&) = delete;

  // 0 when made, else the error number.
  int Error() const { return Err; }
  int Get() const { return Fd.Get(); }
  // Writes all of data at the end of what was written; 0 or the error.
  int Write(const char* data, std::size_t size);
  // Forces what was written onto the disk and closes the file; 0 or the error.
  int Finish();
  // Puts the finished file in place of `to` (rename, replacing it) or as a new name that
  // must not exist (EEXIST when it does); then makes the folder entry durable. 0 or the
  // error.
  int CommitReplacing(const std::string& to);
  int CommitNew(const std::string& to);

private:
  std::string Name;
  TFd Fd;
  int Err = 0;
  bool Kept = false;
};
