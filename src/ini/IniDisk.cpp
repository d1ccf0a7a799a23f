#include "ini/IniDisk.h"

#include "platform/Exceptions.h"
#include "platform/ProcessFrame.h"
#include "platform/Texts.h"
#include "platform/os/OsFiles.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace {

// How many names SaveFileText tries for its new file before it gives up: names that
// nobody can guess, so a name is taken only by chance.
constexpr int TempNameTries = 100;

// How long LoadFileText waits for a file that another start of the launcher is saving
// just then (it holds the file for a moment): tries and the pause between them.
constexpr int OpenTries = 40;
constexpr unsigned OpenPauseMs = 50;

// How often, and after what pause, a new file that could not take its place after the
// old file was already taken away (a replace done by half) is moved there again.
constexpr int MoveTries = 10;
constexpr unsigned MovePauseMs = 50;

// The largest file that is loaded; anything beyond is cut off.
constexpr std::int64_t MaxLoadBytes = std::numeric_limits<std::int32_t>::max();

// An open file, closed when it goes out of scope unless it was handed on.
class TOpenFile {
public:
  TOpenFile() = default;
  explicit TOpenFile(TOsFile f) : F(f) {}
  ~TOpenFile() {
    if (F != NoOsFile)
      OsFiles().Close(F);
  }
  TOpenFile(const TOpenFile&) = delete;
  TOpenFile& operator=(const TOpenFile&) = delete;

  TOsFile Get() const { return F; }
  TOsFile& Slot() { return F; }
  // Gives the file up without closing it.
  TOsFile Release() {
    const TOsFile f = F;
    F = NoOsFile;
    return f;
  }
  // Closes it now and tells whether the platform reported success.
  bool Close() { return OsFiles().Close(Release()); }

private:
  TOsFile F = NoOsFile;
};

// Removes a file when it goes out of scope, unless dismissed.
class TRemoveOnExit {
public:
  TRemoveOnExit() = default;
  ~TRemoveOnExit() {
    if (!Name.empty())
      OsFiles().Remove(Name);
  }
  TRemoveOnExit(const TRemoveOnExit&) = delete;
  TRemoveOnExit& operator=(const TRemoveOnExit&) = delete;

  void Arm(const std::string& name) { Name = name; }
  void Dismiss() { Name.clear(); }

private:
  std::string Name;
};

// Writes all of text at the file's current position; false when a write fails.
bool WriteAll(TOsFile f, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const std::int64_t put = OsFiles().Write(f, p, left);
    if (put <= 0 || static_cast<std::uint64_t>(put) > left)
      return false;
    p += put;
    left -= static_cast<std::size_t>(put);
  }
  return true;
}

// The whole of an open file from its start (cut off at MaxLoadBytes), going on after short
// reads; false when its length or a read fails, with the bytes read until then in text.
bool ReadAll(TOsFile f, std::string& text) {
  text.clear();
  std::int64_t size = OsFiles().SizeOf(f);
  if (size < 0)
    return false;
  if (size > MaxLoadBytes)
    size = MaxLoadBytes;
  text.assign(static_cast<std::size_t>(size), '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const std::int64_t n = OsFiles().Read(f, text.data() + got, text.size() - got);
    if (n <= 0 || static_cast<std::uint64_t>(n) > text.size() - got) {
      text.resize(got);
      return n == 0; // the file ended early: all there is
    }
    got += static_cast<std::size_t>(n);
  }
  return true;
}

} // namespace

std::string LoadFileText(const std::string& name) {
  // A file that another start is saving just then cannot be opened for a moment, and a read
  // that fails may be a passing fault: both are tried again for a while. After that, a file
  // that opens but cannot be read whole gives the bytes read.
  std::string text;
  for (int i = 0; i < OpenTries; ++i) {
    if (i > 0)
      OsFiles().Wait(OpenPauseMs);
    TOpenFile file(OsFiles().OpenRead(name));
    if (file.Get() != NoOsFile && ReadAll(file.Get(), text))
      return text;
  }
  throw EFOpenError(txtFileOpenError, name);
}

namespace {

// Rewrites the claimed file itself, for where no new file can take its place. This is not
// safe against a crash midway; when a write fails, the old text is put back as far as the
// disk lets it.
void SaveInPlace(TOsFile claim, const std::string& text) {
  std::string old;
  const bool haveOld = ReadAll(claim, old);
  const auto rewrite = [claim](const std::string& t) {
    return OsFiles().SizeOf(claim) >= 0 && WriteAll(claim, t) && OsFiles().SetEnd(claim) &&
           OsFiles().Flush(claim);
  };
  if (!rewrite(text)) {
    if (haveOld)
      rewrite(old);
    throw EWriteError(txtStreamWriteError);
  }
}

// After a replace done by half (the old file gone, the new one still under its own name):
// the new file is moved into place again for a while, and where it stays held (a scanner,
// a network share) its text is written under the file's name. True when the file is there
// whole; false when even that fails: then the new file is the only copy and stays.
bool SettleHalfReplace(const std::string& tempName, const std::string& target,
                       const std::string& text) {
  for (int i = 0; i < MoveTries; ++i) {
    OsFiles().Wait(MovePauseMs);
    if (OsFiles().Replace(NoOsFile, tempName, target) == TReplaced::Done)
      return true;
  }
  TOpenFile made;
  if (OsFiles().CreateNew(target, made.Slot()) != TCreateNew::Created)
    return false;
  if (WriteAll(made.Get(), text) && OsFiles().Flush(made.Get()) && made.Close())
    return true;
  made.Close();
  OsFiles().Remove(target);
  return false;
}

} // namespace

TKeptFile::TKeptFile(const std::string& name) : Name(name) {
  const std::string target = OsFiles().SaveTarget(name);
  const TPresence file = target.empty() ? TPresence::Present : FilePresence(target);
  // Neither the file nor its kept copy can be taken for absent where it cannot be looked at.
  if (file == TPresence::Unknown)
    throw EFOpenError(txtFileOpenError, name);
  if (file == TPresence::Present)
    return;
  std::vector<std::string> found;
  if (!OsFiles().Leftovers(target, found))
    throw EFOpenError(txtFileOpenError, name);
  for (const std::string& kept : found) {
    std::string text;
    try {
      text = LoadFileText(kept);
    } catch (const EFOpenError&) {
      if (!FilePresent(kept))
        continue; // a save at work has put it in place meanwhile
      throw;
    }
    if (!text.ends_with("\r\n\r\n"))
      continue;
    if (OsFiles().Replace(NoOsFile, kept, target) == TReplaced::Done)
      return;
    Held = OsFiles().OpenRead(kept);
    if (Held == NoOsFile)
      throw EFOpenError(txtFileOpenError, kept);
    Name = kept;
    return;
  }
}

TKeptFile::~TKeptFile() {
  if (Held != NoOsFile)
    OsFiles().Close(Held);
}

void SaveFileText(const std::string& name, const std::string& text) {
  // A symbolic link is saved through: its target is replaced and the link stays.
  // A link the system would not follow gives no target: nothing is written.
  const std::string target = OsFiles().SaveTarget(name);
  if (target.empty())
    throw EFCreateError(txtFileCreateError, name);
  // The old file is held against every other user until the new one is in place. A
  // missing file is not created before the new one takes its name, so that a save cut
  // short leaves no empty file that a later start would take for settings.
  TOpenFile claimed;
  const TClaim claim = OsFiles().Claim(target, claimed.Slot());
  if (claim == TClaim::Failed)
    throw EFCreateError(txtFileCreateError, name);

  // Each remover is declared before its file, so that on the way out the file is closed
  // before it is removed.
  TRemoveOnExit tempFile;
  TOpenFile temp;
  std::string tempName;
  bool inPlace = false;
  for (int i = 1;; ++i) {
    if (i > TempNameTries)
      throw EFCreateError(txtFileCreateError, name);
    tempName = TempNameOf(target, OsFiles().NewToken());
    const TCreateNew made = OsFiles().CreateNew(tempName, temp.Slot());
    if (made == TCreateNew::Created)
      break;
    if (made == TCreateNew::Exists)
      continue;
    // A folder that refuses new files to this user may still let the file be written.
    if (made == TCreateNew::Denied && claim == TClaim::Existing) {
      inPlace = true;
      break;
    }
    throw EFCreateError(txtFileCreateError, name);
  }
  if (!inPlace) {
    tempFile.Arm(tempName);
    // A replacement that would change the file's owner or part it from its other names is
    // not made; the file is written in place instead.
    if (claim == TClaim::Existing && !OsFiles().CarryOver(claimed.Get(), temp.Get())) {
      temp.Close();
      inPlace = true;
    }
  }
  if (inPlace) {
    SaveInPlace(claimed.Get(), text);
  } else {
    if (!WriteAll(temp.Get(), text) || !OsFiles().Flush(temp.Get()) || !temp.Close())
      throw EWriteError(txtStreamWriteError);
    const TReplaced put = OsFiles().Replace(claimed.Release(), tempName, target);
    if (put == TReplaced::Half && !SettleHalfReplace(tempName, target, text)) {
      // The only copy of the settings is the new file: it is kept under its own name (a
      // sweep runs only after a save that succeeded).
      tempFile.Dismiss();
      throw EFCreateError(txtFileCreateError, name);
    }
    if (put == TReplaced::Failed)
      throw EFCreateError(txtFileCreateError, name);
    if (put == TReplaced::Done)
      tempFile.Dismiss();
  }
  // The new files that earlier saves left behind (a save that was killed or lost its power).
  OsFiles().RemoveLeftovers(target);
}
