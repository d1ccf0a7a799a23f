#pragma once

// Owners of POSIX resources for the file layers: a file descriptor, and a path that is
// removed on the way out unless it is kept.
#include <string>
#include <unistd.h>
#include <utility>

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
      close(Fd);
    Fd = -1;
  }
  void Reset(int fd) {
    Close();
    Fd = fd;
  }

private:
  int Fd;
};

// Removes a file on the way out unless it has been kept.
class TRemoveOnExit {
public:
  explicit TRemoveOnExit(std::string path) : Path(std::move(path)) {}
  ~TRemoveOnExit() {
    if (!Path.empty())
      unlink(Path.c_str());
  }
  TRemoveOnExit(const TRemoveOnExit&) = delete;
  TRemoveOnExit& operator=(const TRemoveOnExit&) = delete;
  void Keep() { Path.clear(); }

private:
  std::string Path;
};
