#include "ini/IniFile.h"

#include "datetime/MomentFormat.h"
#include "datetime/MomentParse.h"
#include "ini/IniDisk.h"
#include "platform/Exceptions.h"
#include "platform/ProcessFrame.h"
#include "platform/Texts.h"
#include "platform/os/OsProcess.h"

bool SameIniName(const std::string& a, const std::string& b) {
  return OsProcess().CompareText(a, b, true) == CstrEqual;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

// A stored moment read with the given reader; an empty or unreadable value gives the default.
TMoment MomentOr(const std::string& t, TMoment def, TMoment (*read)(const std::string&)) {
  if (t.empty())
    return def;
  try {
    return read(t);
  } catch (const EConvertError&) {
    return def;
  }
}

} // namespace

bool IniTextToInt(const std::string& text, std::int32_t& value) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == ' ')
    ++i;
  if (i == n)
    return false;

  // Hexadecimal: "$", "x", "X", "0x" or "0X", then the digits, taken as a 32-bit pattern.
  std::size_t hexAt = 0;
  if (text[i] == '$' || text[i] == 'x' || text[i] == 'X')
    hexAt = i + 1;
  else if (text[i] == '0' && i + 1 < n && (text[i + 1] == 'x' || text[i + 1] == 'X'))
    hexAt = i + 2;
  if (hexAt != 0) {
    if (hexAt == n)
      return false;
    std::uint32_t v = 0;
    for (std::size_t k = hexAt; k < n; ++k) {
      const int d = HexDigit(text[k]);
      if (d < 0 || v >= 0x10000000u)
        return false;
      v = v * 16 + static_cast<std::uint32_t>(d);
    }
    value = static_cast<std::int32_t>(v);
    return true;
  }

  // Decimal: an optional sign, then the digits.
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') {
    negative = text[i] == '-';
    ++i;
  }
  if (i == n)
    return false;
  std::uint32_t v = 0;
  for (; i < n; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9' || v > 214748364u)
      return false;
    v = v * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (negative) {
    if (v > 2147483648u)
      return false;
    value = static_cast<std::int32_t>(-static_cast<std::int64_t>(v));
  } else {
    if (v > 2147483647u)
      return false;
    value = static_cast<std::int32_t>(v);
  }
  return true;
}

std::int32_t TCustomIniFile::ReadInt(const std::string& section, const std::string& name,
                                     std::int32_t def) {
  std::int32_t v = 0;
  return IniTextToInt(ReadText(section, name, ""), v) ? v : def;
}

void TCustomIniFile::WriteInt(const std::string& section, const std::string& name,
                              std::int32_t value) {
  WriteText(section, name, DecimalText(value));
}

bool TCustomIniFile::ReadFlag(const std::string& section, const std::string& name, bool def) {
  return ReadInt(section, name, def ? 1 : 0) != 0;
}

void TCustomIniFile::WriteFlag(const std::string& section, const std::string& name, bool value) {
  WriteText(section, name, value ? "1" : "0");
}

TMoment TCustomIniFile::ReadMoment(const std::string& section, const std::string& name,
                                   TMoment def) {
  return MomentOr(ReadText(section, name, ""), def, TextToMoment);
}

TMoment TCustomIniFile::ReadTimeOfDay(const std::string& section, const std::string& name,
                                      TMoment def) {
  return MomentOr(ReadText(section, name, ""), def, TextToTimeOfDay);
}

void TCustomIniFile::WriteMoment(const std::string& section, const std::string& name,
                                 TMoment value) {
  WriteText(section, name, MomentToText(value));
}

void TCustomIniFile::WriteTimeOfDay(const std::string& section, const std::string& name,
                                    TMoment value) {
  WriteText(section, name, TimeOfDayToText(value));
}

bool TCustomIniFile::HasSection(const std::string& section) {
  return !SectionLineNames(section).empty();
}

TMemIniFile::TMemIniFile(std::string fileName) : TCustomIniFile(std::move(fileName)) {
  // A file that cannot be looked at is neither read nor taken for missing.
  const TPresence file = FileName().empty() ? TPresence::Absent : FilePresence(FileName());
  if (file == TPresence::Unknown)
    throw EFOpenError(txtFileOpenError, FileName());
  if (file == TPresence::Present)
    Parse(LoadFileText(FileName()));
}

void TMemIniFile::Parse(const std::string& text) {
  // Lines end at CR LF, LF or CR; the first NUL ends the text.
  const char* p = text.data();
  const char* const end = p + text.size();
  TSection* current = nullptr;
  while (p < end && *p != '\0') {
    const char* q = p;
    while (q < end && *q != '\r' && *q != '\n' && *q != '\0')
      ++q;
    const std::size_t len = static_cast<std::size_t>(q - p);
    const char* const line = p;
    p = q;
    if (p < end && *p == '\r')
      ++p;
    if (p < end && *p == '\n')
      ++p;

    if (len == 0 || line[0] == ';')
      continue;
    if (len >= 2 && line[0] == '[' && line[len - 1] == ']') {
      Sections.push_back(TSection{std::string(line + 1, len - 2), {}});
      current = &Sections.back();
    } else if (current) {
      current->Lines.emplace_back(line, len);
    }
  }
}

TMemIniFile::TSection* TMemIniFile::FindSection(const std::string& section) {
  for (TSection& s : Sections)
    if (SameIniName(s.Name, section))
      return &s;
  return nullptr;
}

std::string* TMemIniFile::FindLine(TSection& s, const std::string& name) {
  for (std::string& line : s.Lines) {
    const auto eq = line.find('=');
    if (eq != std::string::npos && SameIniName(line.substr(0, eq), name))
      return &line;
  }
  return nullptr;
}

std::string TMemIniFile::ReadText(const std::string& section, const std::string& name,
                                  const std::string& def) {
  TSection* s = FindSection(section);
  if (!s)
    return def;
  const std::string* line = FindLine(*s, name);
  if (!line)
    return def;
  return line->substr(line->find('=') + 1);
}

void TMemIniFile::WriteText(const std::string& section, const std::string& name,
                            const std::string& value) {
  TSection* s = FindSection(section);
  if (!s) {
    Sections.push_back(TSection{section, {}});
    s = &Sections.back();
  }
  std::string formed = name + "=" + value;
  if (std::string* line = FindLine(*s, name))
    *line = std::move(formed);
  else
    s->Lines.push_back(std::move(formed));
}

std::vector<std::string> TMemIniFile::SectionLineNames(const std::string& section) {
  std::vector<std::string> names;
  if (const TSection* s = FindSection(section)) {
    names.reserve(s->Lines.size());
    for (const std::string& line : s->Lines) {
      const auto eq = line.find('=');
      names.push_back(eq == std::string::npos ? std::string() : line.substr(0, eq));
    }
  }
  return names;
}

void TMemIniFile::DropSection(const std::string& section) {
  for (auto it = Sections.begin(); it != Sections.end(); ++it) {
    if (SameIniName(it->Name, section)) {
      Sections.erase(it);
      return;
    }
  }
}

std::string TMemIniFile::FileText() const {
  std::size_t size = 0;
  for (const TSection& s : Sections) {
    size += s.Name.size() + 6;
    for (const std::string& line : s.Lines)
      size += line.size() + 2;
  }
  std::string text;
  text.reserve(size);
  for (const TSection& s : Sections) {
    text += '[';
    text += s.Name;
    text += "]\r\n";
    for (const std::string& line : s.Lines) {
      text += line;
      text += "\r\n";
    }
    text += "\r\n";
  }
  return text;
}

void TMemIniFile::SaveToDisk() {
  SaveFileText(FileName(), FileText());
}
