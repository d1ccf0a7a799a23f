#pragma once

#include "platform/os/OsSlot.h"

#include <cstdint>
#include <string>

// What an entry that starts the program at sign-in is made of. Texts are UTF-8.
struct TAutostartEntry {
  std::string Name;      // the shortcut's name (Windows) and the desktop entry's Name
  std::string FileStem;  // the desktop entry's file name without ".desktop" (POSIX)
  std::string CommentJa; // the shortcut's description; the entry's Comment[ja]
  std::string CommentEn; // the desktop entry's Comment
};

// How adding or removing the entry ended.
enum class TAutostartResult {
  Done,      // made (or replaced) / removed
  NotFound,  // removing: there is no entry of that name
  NotOurs,   // removing: there is one, but it starts another program; it is left as it is
  NoFolder,  // the folder of such entries is missing (Windows) or cannot be made (POSIX)
  Denied,    // the folder or the entry may not be written
  Failed,    // any other failure, with the platform's code
  NoProgram, // the program's own path cannot be read
  NotUtf8,   // adding (POSIX): the program's path is no UTF-8, which desktop entries must be
};

struct TAutostartOutcome {
  TAutostartResult Result = TAutostartResult::Failed;
  std::string Path;       // the entry's full path (ANSI code page), "" when not known
  std::uint32_t Code = 0; // the platform's code of a failure (Windows: an HRESULT)
};

// The entry that starts this program when the user signs in. The program is the running
// one, as the platform knows its file in full (Windows: GetModuleFileNameW); it starts with
// no arguments and with its own folder as the current folder.
//   Windows: a shortcut "<Name>.lnk" in the user's Startup folder (the shell's known folder),
//     made through IShellLinkW with the program as target, its folder as working folder,
//     its icon and CommentJa as description.
//   POSIX: the XDG autostart file "<FileStem>.desktop" in $XDG_CONFIG_HOME/autostart
//     (~/.config/autostart), with Exec, Path, Name, Comment and Comment[ja].
// An entry is written whole under another name first and then put in place, so that a
// failure leaves the earlier entry, or none, and nothing half made.
class TOsAutostart {
public:
  virtual ~TOsAutostart() = default;
  // Makes the entry, replacing one of the same name.
  virtual TAutostartOutcome Add(const TAutostartEntry& entry) = 0;
  // Removes the entry of that name, but only when it starts this program.
  virtual TAutostartOutcome Remove(const TAutostartEntry& entry) = 0;
};

inline TOsAutostart& OsAutostart() {
  return TOsSlot<TOsAutostart>::Get();
}
