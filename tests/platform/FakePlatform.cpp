#include "platform/FakePlatform.h"

#include <algorithm>
#include <cstring>

namespace {
char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
} // namespace

TFindEntry TFakeProcess::FindFirst(const std::string& name) {
  Searched.push_back(name);
  TFindEntry e;
  auto it = Fs.find(name);
  if (it == Fs.end())
    return e;
  e.Found = true;
  e.Folder = it->second.Folder;
  e.DosTimeOk = it->second.DosTimeOk;
  return e;
}

int TFakeProcess::CompareText(const std::string& a, const std::string& b, bool ignoreCase) {
  // ASCII letters fold; every other byte compares as it is.
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(ignoreCase ? Lower(a[i]) : a[i]);
    unsigned char y = static_cast<unsigned char>(ignoreCase ? Lower(b[i]) : b[i]);
    if (x != y)
      return x < y ? 1 : 3;
  }
  return a.size() == b.size() ? 2 : (a.size() < b.size() ? 1 : 3);
}

int TFakeUi::ShowBox(const std::string& text, const std::string& caption, unsigned flags) {
  Boxes.push_back({text, caption, flags});
  if (Answers.empty())
    return 1;
  int a = Answers.front();
  Answers.pop_front();
  return a;
}

int TFakeShell::ShellCopy(const std::string& from, const std::string& to) {
  Copies.push_back({from, to});
  auto src = Fs.find(from);
  if (src == Fs.end() || src->second.Folder)
    return 2; // ERROR_FILE_NOT_FOUND, as the shell reports a missing source
  if (Fs.count(to) && Fs[to].ReadOnly)
    return 5;
  Fs[to] = TFakeEntry{src->second.Content};
  return 0;
}

std::int32_t TFakeShell::ShellOpen(const std::string& file, int showCommand) {
  Opens.push_back({file, showCommand});
  if (!Fs.count(file))
    return 2;
  return OpenResult;
}

int TFakeLocale::LocaleInfo(std::uint32_t, std::uint32_t item, char* buffer, int size) {
  auto it = Items.find(item);
  if (it == Items.end())
    return 0;
  const int n = static_cast<int>(it->second.size()) + 1;
  if (n > size)
    return 0;
  std::memcpy(buffer, it->second.c_str(), static_cast<std::size_t>(n));
  return n;
}

std::vector<std::string> TFakeLocale::CalendarInfo(std::uint32_t, std::uint32_t,
                                                   std::uint32_t calType) {
  auto it = Calendar.find(calType);
  return it == Calendar.end() ? std::vector<std::string>{} : it->second;
}

bool TFakeLocale::AltCalendarDate(std::uint32_t, std::uint16_t, std::uint16_t, std::uint16_t,
                                  const std::string& picture, std::string& out) {
  auto it = AltDates.find(picture);
  if (it == AltDates.end())
    return false;
  out = it->second;
  return true;
}

bool TFakeFiles::Fails(const char* op, const std::string& name) {
  Calls.push_back(std::string(op) + " " + name);
  return static_cast<int>(Calls.size()) - 1 == FailCall;
}

bool TFakeFiles::OpenHere(const std::string& name) const {
  return std::any_of(Open.begin(), Open.end(),
                     [&](const auto& o) { return o.second.Name == name; });
}

TOsFile TFakeFiles::Add(const std::string& name, bool writing) {
  const TOsFile f = NextFile++;
  Open[f] = TOpen{name, writing, 0};
  return f;
}

TOsFile TFakeFiles::OpenRead(const std::string& name) {
  if (Fails("OpenRead", name))
    return NoOsFile;
  auto it = Fs.find(name);
  if (it == Fs.end() || it->second.Folder || it->second.HeldElsewhere == TFakeHold::Writing)
    return NoOsFile;
  for (const auto& o : Open)
    if (o.second.Name == name && o.second.Writing)
      return NoOsFile;
  return Add(name, false);
}

std::int64_t TFakeFiles::SizeOf(TOsFile f) {
  auto o = Open.find(f);
  if (Fails("SizeOf", o == Open.end() ? "?" : o->second.Name) || o == Open.end())
    return -1;
  return static_cast<std::int64_t>(Fs[o->second.Name].Content.size());
}

std::int64_t TFakeFiles::Read(TOsFile f, char* buffer, std::size_t n) {
  auto o = Open.find(f);
  if (Fails("Read", o == Open.end() ? "?" : o->second.Name) || o == Open.end())
    return -1;
  const std::string& c = Fs[o->second.Name].Content;
  std::size_t k = o->second.Pos < c.size() ? std::min(n, c.size() - o->second.Pos) : 0;
  if (ReadLimit >= 0)
    k = std::min(k, static_cast<std::size_t>(ReadLimit));
  std::memcpy(buffer, c.data() + o->second.Pos, k);
  o->second.Pos += k;
  return static_cast<std::int64_t>(k);
}

TClaim TFakeFiles::Claim(const std::string& name, TOsFile& f) {
  if (Fails("Claim", name) || name.empty() || OpenHere(name))
    return TClaim::Failed;
  auto it = Fs.find(name);
  if (it == Fs.end()) {
    if (!FolderWritable)
      return TClaim::Failed;
    Fs[name] = TFakeEntry{};
    f = Add(name, true);
    return TClaim::Created;
  }
  const TFakeEntry& e = it->second;
  if (e.Folder || e.ReadOnly || e.HeldElsewhere != TFakeHold::None)
    return TClaim::Failed;
  f = Add(name, true);
  return TClaim::Existing;
}

TCreateNew TFakeFiles::CreateNew(const std::string& name, TOsFile& f) {
  if (Fails("CreateNew", name))
    return TCreateNew::Failed;
  if (Fs.count(name))
    return TCreateNew::Exists;
  if (!FolderWritable)
    return TCreateNew::Failed;
  Fs[name] = TFakeEntry{};
  f = Add(name, true);
  return TCreateNew::Created;
}

std::int64_t TFakeFiles::Write(TOsFile f, const char* data, std::size_t n) {
  auto o = Open.find(f);
  const bool fails = Fails("Write", o == Open.end() ? "?" : o->second.Name);
  if (o == Open.end() || !o->second.Writing)
    return -1;
  if (fails && !ShortAtFail)
    return -1;
  if (fails)
    DiskSpace = static_cast<std::int64_t>(n / 2);
  std::size_t k = WriteChunk > 0 ? std::min(n, WriteChunk) : n;
  if (DiskSpace >= 0) {
    k = std::min(k, static_cast<std::size_t>(DiskSpace));
    DiskSpace -= static_cast<std::int64_t>(k);
    if (k == 0)
      return -1;
  }
  std::string& c = Fs[o->second.Name].Content;
  c.replace(std::min(o->second.Pos, c.size()), k, data, k);
  o->second.Pos += k;
  return static_cast<std::int64_t>(k);
}

bool TFakeFiles::Flush(TOsFile f) {
  auto o = Open.find(f);
  return !Fails("Flush", o == Open.end() ? "?" : o->second.Name) && o != Open.end();
}

bool TFakeFiles::Close(TOsFile f) {
  auto o = Open.find(f);
  const bool fails = Fails("Close", o == Open.end() ? "?" : o->second.Name);
  if (o == Open.end())
    return false;
  Open.erase(o);
  return !fails;
}

bool TFakeFiles::Replace(TOsFile claim, const std::string& from, const std::string& to) {
  const bool fails = Fails("Replace", from + " " + to);
  Open.erase(claim);
  auto src = Fs.find(from);
  if (fails || src == Fs.end() || OpenHere(from) || OpenHere(to))
    return false;
  TFakeEntry moved = src->second;
  Fs.erase(src);
  Fs[to] = moved;
  return true;
}

bool TFakeFiles::Remove(const std::string& name) {
  if (Fails("Remove", name) || OpenHere(name))
    return false;
  return Fs.erase(name) > 0;
}

TFakePlatform::TFakePlatform() {
  TOsSlot<TOsProcess>::Use(&Process);
  TOsSlot<TOsUi>::Use(&Ui);
  TOsSlot<TOsShell>::Use(&Shell);
  TOsSlot<TOsLocale>::Use(&Locale);
  TOsSlot<TOsFiles>::Use(&Files);
}

TFakePlatform::~TFakePlatform() {
  TOsSlot<TOsProcess>::Use(nullptr);
  TOsSlot<TOsUi>::Use(nullptr);
  TOsSlot<TOsShell>::Use(nullptr);
  TOsSlot<TOsLocale>::Use(nullptr);
  TOsSlot<TOsFiles>::Use(nullptr);
}
