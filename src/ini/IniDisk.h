#pragma once

#include <cstdint>
#include <string>

// Whole-file access for the INI store, built on the platform's file calls.

// The bytes of an existing file. Raises EFOpenError when it cannot be opened, after waiting
// up to two seconds for a file that is being saved just then; a read that fails is tried
// again within the same time, and one that keeps failing raises EFOpenError too (a part of
// the file is never taken for the whole).
std::string LoadFileText(const std::string& name);

// Replaces the file by one holding exactly text, never leaving it half written: the text
// goes to a new file in the same folder, is forced onto the disk and then takes the old
// file's place in one step. On any failure the old file (or its absence) stays as it was
// and the new file is removed; a missing file is never created empty. A symbolic link is
// saved through to the file it leads to. Where the folder does not let this user create
// the new file, or the new file could not keep the old one's owner or its other names
// (hard links), the existing file is rewritten in place instead (flushed, but not safe
// against a crash midway; the old text is put back when a write fails). A successful save
// removes the new files that earlier saves left behind and no running save holds. Where
// the platform's replace takes the old file away and then cannot put the new one in its
// place, the move is tried again for half a second, then the text is written under the
// file's name; where that fails too, the new file, then the only copy, is kept under its
// own name (TKeptFile takes it back) and the failure is raised. A link that the system would
// not follow for this user is not saved through: nothing is written. Raises EFCreateError when the
// file cannot be claimed for writing, the new file cannot be created or cannot take the old one's
// place, and EWriteError when writing or flushing fails.
void SaveFileText(const std::string& name, const std::string& text);

// The copy of a file that a save kept under its own name (see SaveFileText), for a start
// that finds the file missing. A whole copy (it ends as every text of the store ends, with an
// empty line) takes the file's place again. Where it cannot (another program holds it, the
// move fails), the copy is read in the file's place: From() names it, and it is held open
// until this ends, so that no sweep takes it before the file has been saved again (a later
// start, finding the file, sweeps it). Raises EFOpenError where a kept copy is there but
// cannot be read, and where the file cannot be looked at. Nothing happens where the file is
// there or no whole copy was kept.
class TKeptFile {
public:
  explicit TKeptFile(const std::string& name);
  ~TKeptFile();
  TKeptFile(const TKeptFile&) = delete;
  TKeptFile& operator=(const TKeptFile&) = delete;
  // The name to read the file's text from: the file's own, or the kept copy's.
  const std::string& From() const { return Name; }
  // The kept copy is read in the file's place.
  bool Used() const { return Held != -1; }

private:
  std::string Name;
  std::intptr_t Held = -1;
};
