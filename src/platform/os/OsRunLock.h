#pragma once

#include "platform/os/OsSlot.h"

#include <string>

// What asking for the run lock found.
enum class TRunLock {
  Held,        // this start holds it now
  Busy,        // another start holds it
  Unavailable, // no lock can be had here (a file system without locks): nothing is held
};

// One start at a time per settings file: a lock tied to the settings file, held by a running
// process and free again as soon as that process ends, however it ends. Two programs in
// two folders never block each other, and only the user's own programs can take it.
class TOsRunLock {
public:
  virtual ~TOsRunLock() = default;
  // Takes the lock of the settings file `name` (a relative name counts from the current
  // directory) without waiting for it.
  // Windows: the mutex "Local\AutoQuillmer-" + a digest of the file's full path in upper
  // case (CreateMutexW, WaitForSingleObject with no wait; a mutex left by a process that
  // ended counts as taken), in the namespace of the user's own session; the holder
  // publishes its process id beside it. POSIX: flock(LOCK_EX | LOCK_NB) on a file of the
  // user's private runtime folder ($XDG_RUNTIME_DIR, else /tmp/auto-quillmer-UID made 0700),
  // named after the device and inode of the settings file's folder: no file of its own in
  // the program's folder, nothing another user can reach, and no descriptor that a started
  // program could keep.
  virtual TRunLock Take(const std::string& name) = 0;
  // Takes the lock of `name`, waiting as long as another start holds it. Nothing is polled:
  // the wait ends when the holder gives the lock back or ends, however it ends.
  virtual TRunLock TakeWhenFree(const std::string& name) = 0;
  // Brings the box that the holder of the lock of `name` is showing to the front, where
  // the system lets a newly started program do so (Windows: the holder's message box
  // becomes the foreground window); nothing where it cannot (a dialog program or a
  // terminal prompt on POSIX).
  virtual void BringHolderForward(const std::string& name) = 0;
  // Gives back the lock taken; nothing when none is held.
  virtual void Give() = 0;
};

inline TOsRunLock& OsRunLock() {
  return TOsSlot<TOsRunLock>::Get();
}
