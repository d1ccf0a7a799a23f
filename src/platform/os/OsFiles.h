#pragma once

#include "platform/os/OsSlot.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// An open file of the platform: a handle (Windows) or a descriptor (POSIX).
using TOsFile = std::intptr_t;
inline constexpr TOsFile NoOsFile = -1;

// A token of n letters and digits that nobody can guess, for the name of a new file.
inline constexpr std::size_t SaveTokenChars = 8;
inline constexpr char TokenLetters[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
inline std::string NameToken(std::size_t n) {
  std::random_device source;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof TokenLetters - 2);
  std::string token(n, '0');
  for (char& c : token)
    c = TokenLetters[pick(source)];
  return token;
}

// The one form of the names under which a file is written whole before it takes its place:
// the destination's name, then ".~", a token nobody can guess and ".tmp". Nobody names a file
// of their own like that, so a sweep of leftovers takes only these.
inline std::string TempNameOf(const std::string& target, const std::string& token) {
  return target + ".~" + token + ".tmp";
}

// Whether `entry` (a name without its folder) is a leftover of a write of the file named
// `targetName` (also without its folder): TempNameOf with a token of SaveTokenChars letters
// and digits, or with a number of at most nine digits (as earlier versions named the
// settings file's new files).
inline bool IsTempNameOf(const std::string& entry, const std::string& targetName) {
  const std::string head = targetName + ".~";
  const std::string tail = ".tmp";
  if (entry.size() <= head.size() + tail.size() || !entry.starts_with(head) ||
      !entry.ends_with(tail))
    return false;
  const std::string token = entry.substr(head.size(), entry.size() - head.size() - tail.size());
  bool digits = token.size() <= 9;
  bool alnum = token.size() == SaveTokenChars;
  for (const char c : token) {
    const bool digit = c >= '0' && c <= '9';
    digits = digits && digit;
    alnum = alnum && (digit || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
  }
  return digits || alnum;
}

// Outcome of claiming a file for saving.
enum class TClaim {
  Failed,   // it cannot be opened for writing (read-only, a folder, missing folder, in use)
  Existing, // the file was there and is now held
  Missing,  // there is no such file (nothing was created, nothing is held)
};

// Outcome of creating a new file that must not exist yet.
enum class TCreateNew {
  Created,
  Exists, // a file or folder of that name is there already
  Denied, // the folder does not let this user create files in it
  Failed, // any other reason
};

// Outcome of putting a new file in place of an old one.
enum class TReplaced {
  Done,   // the new file is in place
  Failed, // nothing changed: the old file (or its absence) stays, the new one keeps its name
  Half,   // the old file is gone and the new one still has its own name (Windows)
};

// Thin wrappers of the file calls. Each one is a single platform operation; the order in
// which they are used (and what is done when one fails) is the business of the caller.
class TOsFiles {
public:
  virtual ~TOsFiles() = default;

  // Opens an existing file for reading. While it is open, others may read it but not
  // write it; a file that someone else holds open for writing cannot be opened.
  // (Windows: CreateFileA, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
  // FILE_ATTRIBUTE_NORMAL. POSIX: open, then a shared advisory lock that is refused
  // while someone holds an exclusive one.) Returns NoOsFile when it cannot be opened.
  virtual TOsFile OpenRead(const std::string& name) = 0;
  // The length of an open file, taken by seeking to its end and back to its start;
  // -1 on failure.
  virtual std::int64_t SizeOf(TOsFile f) = 0;
  // One read of at most n bytes; the number of bytes read, or -1 on failure.
  virtual std::int64_t Read(TOsFile f, char* buffer, std::size_t n) = 0;

  // The name under which a save of `name` must write: where `name` is a symbolic link,
  // the file it leads to (through any chain of links, relative ones taken from the link's
  // folder), so that the link stays; otherwise `name` itself, also where it leads to no file.
  // (Windows: the path GetFinalPathNameByHandleW gives for the name opened with
  // FILE_FLAG_BACKUP_SEMANTICS, in the ANSI code page, or its short form where the code page
  // cannot spell it; empty, which no save can claim, where neither can be spelt.)
  virtual std::string SaveTarget(const std::string& name) = 0;
  // Opens an existing file for reading and writing without truncating it, and holds it so
  // that nobody else can have it open meanwhile. A missing file is not created.
  // (Windows: CreateFileA, GENERIC_READ | GENERIC_WRITE, no sharing, OPEN_EXISTING. POSIX:
  // open O_RDWR, then an exclusive advisory lock that is refused while anyone else holds
  // a lock; an immutable file cannot be opened for writing.) f receives the file when the
  // result is Existing.
  virtual TClaim Claim(const std::string& name, TOsFile& f) = 0;
  // Creates a file that must not exist yet, for writing, with nobody else sharing it, and
  // holds it so that RemoveLeftover leaves it alone while it is open. f receives the file
  // when the result is Created.
  virtual TCreateNew CreateNew(const std::string& name, TOsFile& f) = 0;
  // Gives the new file `made` the owner, group and permissions of the claimed file, so
  // that it can take the claimed file's place unnoticed. False when that cannot be done:
  // the claimed file has further names (hard links), which a replacement would part from
  // it, or the system does not let this user give the new file the old one's owner or
  // group. (Windows: false when the file has several links; the hidden and system
  // attributes are set on the new file (SetFileInformationByHandle), false when that fails.
  // POSIX: fchown, fchmod.)
  virtual bool CarryOver(TOsFile claim, TOsFile made) = 0;
  // Cuts the file off at the current position (SetEndOfFile, ftruncate).
  virtual bool SetEnd(TOsFile f) = 0;
  // One write of at most n bytes; the number of bytes written (possibly fewer than n), or
  // -1 on failure.
  virtual std::int64_t Write(TOsFile f, const char* data, std::size_t n) = 0;
  // Forces what was written onto the disk (FlushFileBuffers, fsync).
  virtual bool Flush(TOsFile f) = 0;
  // Closes the file; false when the platform reports a failure (the file is closed all
  // the same).
  virtual bool Close(TOsFile f) = 0;
  // Puts the file `from` in place of the file `to` in one step, replacing it if it is
  // there; `claim` is the file that Claim gave for `to` (NoOsFile when it was missing) and
  // is closed here in every case (before the move where the platform cannot replace a
  // file that is open, after it otherwise).
  // (Windows: ReplaceFileA, which gives the new file the old one's security descriptor and
  // attributes; where it fails, and for a missing `to`, MoveFileExA,
  // MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH; Half when both failed after
  // ReplaceFileA had taken the old file away (ERROR_UNABLE_TO_MOVE_REPLACEMENT and _2).
  // POSIX: rename, then fsync of the folder; never Half.)
  virtual TReplaced Replace(TOsFile claim, const std::string& from, const std::string& to) = 0;
  // Deletes a file (DeleteFileA, unlink).
  virtual bool Remove(const std::string& name) = 0;
  // Deletes the leftovers of writes of `target` in its folder (IsTempNameOf), except those
  // that a running writer holds open: the one sweep of every file written whole. (Windows:
  // FindFirstFileA, DeleteFileA, which a file opened without shared deletion refuses; POSIX:
  // RemoveLeftoverFiles.)
  virtual void RemoveLeftovers(const std::string& target) = 0;
  // The leftovers of writes of `target` in its folder (IsTempNameOf), files only, by their
  // whole names: no folder, no link (not followed), no pipe or device. (Windows:
  // FindFirstFileA, without folders and reparse points; POSIX: LeftoverFiles.)
  // False when the folder cannot be listed whole (a missing folder has none).
  virtual bool Leftovers(const std::string& target, std::vector<std::string>& found) = 0;
  // A token for the name of a save's new file, which nobody can guess.
  virtual std::string NewToken() { return NameToken(SaveTokenChars); }
  // Lets about this many milliseconds pass (Sleep, nanosleep).
  virtual void Wait(unsigned ms) = 0;
};

inline TOsFiles& OsFiles() {
  return TOsSlot<TOsFiles>::Get();
}
