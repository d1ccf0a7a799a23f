#include "ini/IniDisk.h"

#include "platform/Exceptions.h"
#include "platform/Texts.h"
#include "platform/os/OsFiles.h"

#include <cstdint>
#include <limits>

namespace {

const TText FOpenErrorText{"ファイル %s は開けません"};
const TText FCreateErrorText{"ファイル %s を作成できません"};
const TText WriteErrorText{"ストリームへの書き込みエラー"};

// How many names SaveFileText tries for its new file before it gives up.
constexpr int TempNameTries = 100;

// The largest file that is loaded; anything beyond is cut off.
constexpr std::int64_t MaxLoadBytes = std::numeric_limits<std::int32_t>::max();

std::string WithName(const std::string& pattern, const std::string& name) {
  std::string s = pattern;
  const auto at = s.find("%s");
  if (at != std::string::npos)
    s.replace(at, 2, name);
  return s;
}

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

} // namespace

std::string SaveTempName(const std::string& name, int index) {
  return name + ".~" + std::to_string(index) + ".tmp";
}

std::string LoadFileText(const std::string& name) {
  TOpenFile file(OsFiles().OpenRead(name));
  if (file.Get() == NoOsFile)
    throw EFOpenError(WithName(FOpenErrorText(), name));
  std::int64_t size = OsFiles().SizeOf(file.Get());
  if (size < 0)
    size = 0;
  if (size > MaxLoadBytes)
    size = MaxLoadBytes;
  std::string text(static_cast<std::size_t>(size), '\0');
  if (size > 0) {
    const std::int64_t got = OsFiles().Read(file.Get(), text.data(), text.size());
    text.resize(got > 0 && got <= size ? static_cast<std::size_t>(got) : 0);
  }
  return text;
}

void SaveFileText(const std::string& name, const std::string& text) {
  // The old file is held against every other user until the new one is in place. When it
  // was missing, claiming it created an empty one, which goes again if the save fails.
  // Each remover is declared before its file, so that on the way out the file is closed
  // before it is removed.
  TRemoveOnExit createdTarget;
  TOpenFile target;
  const TClaim claim = OsFiles().Claim(name, target.Slot());
  if (claim == TClaim::Failed)
    throw EFCreateError(WithName(FCreateErrorText(), name));
  if (claim == TClaim::Created)
    createdTarget.Arm(name);

  TRemoveOnExit tempFile;
  TOpenFile temp;
  std::string tempName;
  for (int i = 1;; ++i) {
    if (i > TempNameTries)
      throw EFCreateError(WithName(FCreateErrorText(), name));
    tempName = SaveTempName(name, i);
    const TCreateNew made = OsFiles().CreateNew(tempName, temp.Slot());
    if (made == TCreateNew::Created)
      break;
    if (made == TCreateNew::Failed)
      throw EFCreateError(WithName(FCreateErrorText(), name));
  }
  tempFile.Arm(tempName);

  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const std::int64_t put = OsFiles().Write(temp.Get(), p, left);
    if (put <= 0 || static_cast<std::uint64_t>(put) > left)
      throw EWriteError(WriteErrorText());
    p += put;
    left -= static_cast<std::size_t>(put);
  }
  if (!OsFiles().Flush(temp.Get()))
    throw EWriteError(WriteErrorText());
  if (!temp.Close())
    throw EWriteError(WriteErrorText());

  if (!OsFiles().Replace(target.Release(), tempName, name))
    throw EFCreateError(WithName(FCreateErrorText(), name));
  tempFile.Dismiss();
  createdTarget.Dismiss();
}
