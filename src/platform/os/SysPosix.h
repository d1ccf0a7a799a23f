#pragma once

// The system calls of the POSIX layer, one table by name, the way the layer makes every call
// that can fail: SysPosix().open(...) and so on. Each entry is the real call (open and fcntl
// with their third argument always given); a test replaces entries to make calls fail with
// the errors the system gives, or to end the process at a chosen call.
#include <ctime>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

struct TSysPosix {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void* buffer, size_t n);
  ssize_t (*write)(int fd, const void* data, size_t n);
  off_t (*lseek)(int fd, off_t offset, int whence);
  int (*fstat)(int fd, struct stat* st);
  int (*fstatat)(int dirFd, const char* path, struct stat* st, int flags);
  int (*stat)(const char* path, struct stat* st);
  int (*lstat)(const char* path, struct stat* st);
  int (*access)(const char* path, int mode);
  ssize_t (*readlink)(const char* path, char* buffer, size_t size);
  int (*flock)(int fd, int operation);
  int (*fsync)(int fd);
  int (*ftruncate)(int fd, off_t length);
  int (*fchown)(int fd, uid_t owner, gid_t group);
  int (*fchmod)(int fd, mode_t mode);
  int (*rename)(const char* from, const char* to);
  int (*renameat2)(int fromDir, const char* from, int toDir, const char* to, unsigned flags);
  int (*link)(const char* from, const char* to);
  int (*unlink)(const char* path);
  int (*mkdir)(const char* path, mode_t mode);
  DIR* (*opendir)(const char* path);
  dirent* (*readdir)(DIR* dir);
  int (*closedir)(DIR* dir);
  int (*fcntl)(int fd, int command, int arg);
  int (*dup2)(int from, int to);
  int (*memfd_create)(const char* name, unsigned flags);
  pid_t (*fork)();
  int (*execvp)(const char* file, char* const argv[]);
  pid_t (*waitpid)(pid_t pid, int* status, int options);
  int (*nanosleep)(const timespec* wanted, timespec* left);
};

// The table in use: the real calls unless a test has replaced some.
TSysPosix& SysPosix();
