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
// two folders never block each other.
class TOsRunLock {
public:
  virtual ~TOsRunLock() = default;
  // Takes the lock of the settings file `name` (a relative name counts from the current
  // directory) without waiting for it.
  // Windows: the mutex "Local\AutoQuillmer-" + a digest of the file's full path in upper
  // case (CreateMutexW, WaitForSingleObject with no wait; a mutex left by a process that
  // ended counts as taken). POSIX: flock(LOCK_EX | LOCK_NB) on the folder that holds the
  // file, opened O_RDONLY | O_DIRECTORY | O_CLOEXEC: no file of its own in the user's
  // folder, and no descriptor that a started program could keep.
  virtual TRunLock Take(const std::string& name) = 0;
  // Gives back the lock taken; nothing when none is held.
  virtual void Give() = 0;
};

inline TOsRunLock& OsRunLock() {
  return TOsSlot<TOsRunLock>::Get();
}
