#include "platform/ProcessFrame.h"

#include "platform/os/OsProcess.h"

bool DoubleByteSystem = false;
TByteSet LeadByteSet;

void LoadCodePageFacts() {
  TOsProcess& os = OsProcess();
  DoubleByteSystem = os.DbcsEnabled();
  LeadByteSet.reset();
  if (!DoubleByteSystem)
    return;
  const std::vector<std::uint8_t> ranges = os.LeadByteRanges();
  // Up to six (first, last) pairs, read until a pair of two zeros.
  for (std::size_t i = 0; i + 1 < ranges.size() && i < 12; i += 2) {
    const unsigned first = ranges[i], last = ranges[i + 1];
    if (first == 0 && last == 0)
      break;
    for (unsigned b = first; b <= last; ++b)
      LeadByteSet.set(b);
  }
}

std::string ProgramFileName() {
  return OsProcess().ModuleFileName();
}

namespace {

// Reads one argument from position pos of the command line; pos moves past it.
std::string ReadArgument(const std::string& text, std::size_t& pos) {
  const std::size_t n = text.size();
  auto byte = [&](std::size_t i) -> unsigned char {
    return i < n ? static_cast<unsigned char>(text[i]) : 0;
  };
  for (;;) {
    while (byte(pos) >= 0x01 && byte(pos) <= 0x20)
      ++pos;
    if (byte(pos) == '"' && byte(pos + 1) == '"')
      pos += 2;
    else
      break;
  }
  std::string arg;
  while (byte(pos) > 0x20 && arg.size() < MaxArgBytes) {
    if (byte(pos) == '"') {
      ++pos;
      while (byte(pos) != 0 && byte(pos) != '"') {
        // Quoted bytes beyond the limit are stepped over, never collected.
        if (arg.size() < MaxArgBytes)
          arg.push_back(static_cast<char>(byte(pos)));
        ++pos;
      }
      if (byte(pos) == '"')
        ++pos;
    } else {
      arg.push_back(static_cast<char>(byte(pos)));
      ++pos;
    }
  }
  return arg;
}

} // namespace

std::int32_t ArgCount() {
  const std::string text = OsProcess().CommandLine();
  std::size_t pos = 0;
  ReadArgument(text, pos);
  std::int32_t count = 0;
  while (!ReadArgument(text, pos).empty())
    ++count;
  return count;
}

std::string ArgAt(std::int32_t index) {
  if (index == 0)
    return ProgramFileName();
  if (index < 0)
    return "";
  const std::string text = OsProcess().CommandLine();
  std::size_t pos = 0;
  ReadArgument(text, pos);
  std::string arg;
  for (std::int32_t i = 1; i <= index; ++i) {
    arg = ReadArgument(text, pos);
    if (arg.empty())
      return "";
  }
  return arg;
}

TByteKind ByteKindAt(const std::string& s, std::size_t k) {
  if (LeadByteSet.none() || k >= s.size())
    return TByteKind::Single;
  std::size_t run = 0;
  for (std::size_t i = k; i > 0 && IsLeadByte(s[i - 1]); --i)
    ++run;
  if (run % 2 == 1)
    return TByteKind::Trail;
  return IsLeadByte(s[k]) ? TByteKind::Lead : TByteKind::Single;
}

std::string FolderOf(const std::string& path, TPathStyle style) {
  if (style == TPathStyle::Posix) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
      return "";
    return path.substr(0, slash == 0 ? 1 : slash);
  }
  // Positions are counted from 0 here; p is the index of the separator found.
  std::size_t p = path.size();
  bool found = false;
  while (p > 0) {
    --p;
    const char c = path[p];
    if (c == '\\' || c == ':') {
      if (ByteKindAt(path, p) != TByteKind::Trail) {
        found = true;
        break;
      }
      // A trail byte: pass over it together with its lead byte.
      if (p == 0)
        break;
      --p;
    }
  }
  if (!found)
    return "";
  std::size_t len = p + 1;
  if (p > 0 && path[p] == '\\') {
    const char before = path[p - 1];
    const bool keep =
        (before == ':' || before == '\\') && ByteKindAt(path, p - 1) != TByteKind::Trail;
    if (!keep)
      len = p;
  }
  return path.substr(0, len);
}

bool SwitchGiven(const std::string& name, const TByteSet& switchChars, bool ignoreCase) {
  const std::int32_t n = ArgCount();
  for (std::int32_t i = 1; i <= n; ++i) {
    const std::string a = ArgAt(i);
    if (switchChars.none() || (!a.empty() && switchChars.test(static_cast<unsigned char>(a[0])))) {
      const std::string rest = a.empty() ? std::string() : a.substr(1);
      if (OsProcess().CompareText(rest, name, ignoreCase) == CstrEqual)
        return true;
    }
  }
  return false;
}

TPresence FilePresence(const std::string& name) {
  const TFindEntry e = OsProcess().FindFirst(name);
  // Whatever its date: a file restored from a backup or written by a wrong clock is as
  // present as any other.
  if (e.Unknown)
    return TPresence::Unknown;
  return e.Found && !e.Folder ? TPresence::Present : TPresence::Absent;
}

bool FilePresent(const std::string& name) {
  // Only a missing name is absent, so that a failed look never leads to a new file made
  // over an old one.
  return FilePresence(name) != TPresence::Absent;
}

std::string DecimalText(std::int32_t value) {
  // The magnitude is formed in 64 bits so that the most negative value has one.
  std::int64_t v = value;
  const bool negative = v < 0;
  std::uint64_t m = static_cast<std::uint64_t>(negative ? -v : v);
  char digits[24];
  std::size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + m % 10);
    m /= 10;
  } while (m != 0);
  std::string out = negative ? "-" : "";
  while (n > 0)
    out.push_back(digits[--n]);
  return out;
}
