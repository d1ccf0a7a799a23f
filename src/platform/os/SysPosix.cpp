#include "platform/os/SysPosix.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int OpenCall(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}

int FcntlCall(int fd, int command, int arg) {
  return ::fcntl(fd, command, arg);
}

} // namespace

namespace {
// Constant: in place before any code runs, a fault handler's included.
constinit TSysPosix Table{
    &OpenCall,  &::close,   &::read,     &::write,     &::lseek, &::fstat,        &::fstatat,
    &::stat,    &::lstat,   &::access,   &::readlink,  &::flock, &::fsync,        &::ftruncate,
    &::fchown,  &::fchmod,  &::rename,   &::renameat2, &::link,  &::unlink,       &::mkdir,
    &::opendir, &::readdir, &::closedir, &FcntlCall,   &::dup2,  &::memfd_create, &::fork,
    &::execvp,  &::waitpid, &::nanosleep};
} // namespace

TSysPosix& SysPosix() {
  return Table;
}
