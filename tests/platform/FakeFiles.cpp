// File access of the stand-in, on its in-memory file system.
#include "platform/FakePlatform.h"

#include <algorithm>
#include <cstring>

bool TFakeFiles::Fails(const char* op, const std::string& name) {
  if (KeepMoments)
    Moments.push_back(Fs);
  Calls.push_back(std::string(op) + " " + name);
  const int at = static_cast<int>(Calls.size()) - 1;
  return FailCall >= 0 && (at == FailCall || (FailOnward && at > FailCall));
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

std::string TFakeFiles::SaveTarget(const std::string& name) {
  std::string at = name;
  for (int hop = 0; hop < 40 && Fs.count(at) && !Fs[at].LinkTo.empty(); ++hop)
    at = Fs[at].LinkTo;
  return at;
}

TOsFile TFakeFiles::OpenRead(const std::string& given) {
  if (Fails("OpenRead", given))
    return NoOsFile;
  const std::string name = SaveTarget(given);
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
  o->second.Pos = 0;
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
  if (it == Fs.end())
    return TClaim::Missing;
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
  if (!MissingFolder.empty() && name.rfind(MissingFolder, 0) == 0)
    return TCreateNew::Failed;
  if (!FolderWritable)
    return TCreateNew::Denied;
  Fs[name] = TFakeEntry{};
  f = Add(name, true);
  return TCreateNew::Created;
}

bool TFakeFiles::CarryOver(TOsFile claim, TOsFile made) {
  auto o = Open.find(claim);
  if (Fails("CarryOver", o == Open.end() ? "?" : o->second.Name) || o == Open.end() ||
      !Open.count(made))
    return false;
  const TFakeEntry& e = Fs[o->second.Name];
  Fs[Open[made].Name].Hidden = e.Hidden;
  return e.Links <= 1 && !e.Foreign;
}

bool TFakeFiles::SetEnd(TOsFile f) {
  auto o = Open.find(f);
  if (Fails("SetEnd", o == Open.end() ? "?" : o->second.Name) || o == Open.end() ||
      !o->second.Writing)
    return false;
  std::string& c = Fs[o->second.Name].Content;
  c.resize(std::min(c.size(), o->second.Pos));
  return true;
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
  std::string& c = Fs[o->second.Name].Content;
  if (DiskSpace >= 0) {
    // Only what the file grows by takes room.
    const std::size_t have = c.size() > o->second.Pos ? c.size() - o->second.Pos : 0;
    k = std::min(k, have + static_cast<std::size_t>(DiskSpace));
    DiskSpace -= static_cast<std::int64_t>(k > have ? k - have : 0);
    if (k == 0)
      return -1;
  }
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

TReplaced TFakeFiles::Replace(TOsFile claim, const std::string& from, const std::string& to) {
  const bool fails = Fails("Replace", from + " " + to);
  Open.erase(claim);
  auto src = Fs.find(from);
  // Windows' replace done by half: the old file is taken away, the new one cannot follow.
  if (fails && HalfAtFail && claim != NoOsFile && src != Fs.end()) {
    Fs.erase(to);
    return TReplaced::Half;
  }
  if (fails || src == Fs.end() || OpenHere(from) || OpenHere(to))
    return TReplaced::Failed;
  TFakeEntry moved = src->second;
  Fs.erase(src);
  Fs[to] = moved;
  return TReplaced::Done;
}

bool TFakeFiles::Remove(const std::string& name) {
  if (Fails("Remove", name) || OpenHere(name))
    return false;
  return Fs.erase(name) > 0;
}

void TFakeFiles::RemoveLeftovers(const std::string& target) {
  if (Fails("RemoveLeftovers", target))
    return;
  std::vector<std::string> names;
  Leftovers(target, names);
  for (const std::string& name : names)
    if (Fs[name].HeldElsewhere == TFakeHold::None && !OpenHere(name))
      Fs.erase(name);
}

bool TFakeFiles::Leftovers(const std::string& target, std::vector<std::string>& names) {
  const std::size_t nameAt = target.find_last_of("\\/") + 1;
  names.clear();
  for (const auto& [name, entry] : Fs)
    if (name.size() > nameAt && name.compare(0, nameAt, target, 0, nameAt) == 0 &&
        IsTempNameOf(name.substr(nameAt), target.substr(nameAt)) && !entry.Folder &&
        entry.LinkTo.empty())
      names.push_back(name);
  return true;
}
