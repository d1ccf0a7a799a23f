#pragma once

#include "platform/os/OsSlot.h"

#include <string>

// What asking for a lock found.
enum class TRunLock {
  Held,        // this start holds it now
  Busy,        // another start holds it
  Unavailable, // no lock can be had here (a file system without locks): nothing is held
};

// The two locks of a settings file.
enum class TRunLockKind {
  Run,      // held while a start reads the settings, decides, opens and saves: never across a box
  Question, // held by a start for its whole run, so also while its question is on screen
};

// Both locks are tied to the settings file's folder, whatever the path or environment it is
// reached by, held by a running process and free again as soon as that process ends, however
// it ends. Two programs in two folders never block each other, and only the user's own programs
// can take them.
class TOsRunLock {
public:
  virtual ~TOsRunLock() = default;
  // Takes the lock `kind` of the settings file `name` (a relative name counts from the current
  // directory), waiting up to `waitMs` milliseconds while another start holds it.
  // Windows: the mutex "Local\AutoQuillmer-" + a digest of the final path of the settings file's
  // folder (and "-question" for the question lock), in the namespace of the user's own session;
  // a mutex left by a process that ended counts as taken. The holder of the question lock
  // publishes its process id beside it before its first box. POSIX: flock(LOCK_EX) on a file
  // named after the device and inode of the settings file's folder, in the user's private folder
  // /tmp/auto-quillmer-UID (made 0700; a name another user took first is refused): no file of
  // its own in the program's folder, nothing another user can reach, and no descriptor that a
  // started program could keep.
  virtual TRunLock Take(const std::string& name, TRunLockKind kind, unsigned waitMs) = 0;
  // Brings the box of the start that holds the question lock of `name` to the front, where the
  // system lets a newly started program do so (Windows: the holder's message box becomes the
  // foreground window); nothing where it cannot (a dialog program or a terminal prompt on
  // POSIX).
  virtual void BringHolderForward(const std::string& name) = 0;
  // A box of this start may come up now: the holder of the question lock becomes one that
  // BringHolderForward can find (Windows: its process id is published beside the lock, which a
  // start that shows no box never needs to do). Nothing where a holder cannot be brought forward.
  virtual void BeforeBox() {}
  // Gives back the lock `kind`; nothing when it is not held.
  virtual void Give(TRunLockKind kind) = 0;
};

inline TOsRunLock& OsRunLock() {
  return TOsSlot<TOsRunLock>::Get();
}
