#pragma once

#include <string>

// Whole-file access for the INI store, built on the platform's file calls.

// The bytes of an existing file. Raises EFOpenError when it cannot be opened, after waiting
// up to two seconds for a file that is being saved just then; a read that fails is tried
// again within the same time. A read that keeps failing is no failure: the result then holds
// the bytes actually read.
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
// own name (RestoreKeptFile takes it back) and the failure is raised. A link that the system would
// not follow for this user is not saved through: nothing is written. Raises EFCreateError when the
// file cannot be claimed for writing, the new file cannot be created or cannot take the old one's
// place, and EWriteError when writing or flushing fails.
void SaveFileText(const std::string& name, const std::string& text);

// Where the file is missing and a save kept its new file under its own name (see
// SaveFileText), that copy takes the file's place again, provided it is whole: it ends as
// every text of the store ends, with an empty line. Nothing happens otherwise.
void RestoreKeptFile(const std::string& name);
