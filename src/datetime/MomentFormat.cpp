#include "datetime/MomentFormat.h"

#include "datetime/RegionalFormats.h"
#include "platform/ProcessFrame.h"
#include "platform/os/OsLocale.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t OutputLimit = 256;
// The pattern passed in is level 1; layouts inserted by its tokens are level 2 and
// insert nothing themselves.
constexpr int DeepestLevel = 2;

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Compares the pattern at position i with an upper-case word, ASCII letters without
// regard to case.
bool StartsWithWord(const std::string& p, std::size_t i, const char* word) {
  for (std::size_t k = 0; word[k] != '\0'; ++k)
    if (i + k >= p.size() || Upper(p[i + k]) != word[k])
      return false;
  return true;
}

// Output of one formatting call: a fixed 256-byte buffer; what does not fit is dropped.
class TFormatter {
public:
  explicit TFormatter(TMoment t) : Moment(t) {}

  void Level(const std::string& pattern, int level);
  std::string Result() const { return std::string(Buffer, Length); }

private:
  struct TLevelState {
    char Previous = ' ';
    bool TwelveHour = false;
    bool HaveDate = false, HaveTime = false;
    std::uint16_t Year = 0, Month = 0, Day = 0, Weekday = 0;
    std::uint16_t Hour = 0, Minute = 0, Second = 0, Ms = 0;
  };

  void Put(char c) {
    if (Length < OutputLimit)
      Buffer[Length++] = c;
  }
  void Put(const std::string& s) {
    for (char c : s)
      Put(c);
  }
  // The number left-padded with zeros to at least minDigits digits, never cut.
  void PutNumber(unsigned value, int minDigits) {
    char digits[16];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    for (int k = n; k < minDigits; ++k)
      Put('0');
    while (n > 0)
      Put(digits[--n]);
  }
  void Insert(const std::string& layout, int level) {
    if (level < DeepestLevel)
      Level(layout, level + 1);
  }
  void NeedDate(TLevelState& s) const {
    if (!s.HaveDate) {
      MomentDate(Moment, s.Year, s.Month, s.Day);
      s.Weekday = static_cast<std::uint16_t>(WeekdayOf(Moment));
      s.HaveDate = true;
    }
  }
  void NeedTime(TLevelState& s) const {
    if (!s.HaveTime) {
      MomentTime(Moment, s.Hour, s.Minute, s.Second, s.Ms);
      s.HaveTime = true;
    }
  }
  // The token at position i, by its upper-case letter; returns its length.
  std::size_t Token(TLevelState& s, const std::string& p, std::size_t i, char letter, int level);
  void DateField(TLevelState& s, char letter, std::size_t count, int level);
  void TimeField(TLevelState& s, char letter, std::size_t count, const std::string& p,
                 std::size_t i);
  void LayoutField(TLevelState& s, char letter, std::size_t count, int level);
  std::size_t MarkerField(TLevelState& s, const std::string& p, std::size_t i);
  std::size_t QuotedText(const std::string& p, std::size_t i);
  void Era(TLevelState& s, char letter, std::size_t count);
  static bool TwelveHourAhead(const std::string& p, std::size_t i);

  TMoment Moment;
  char Buffer[OutputLimit] = {};
  std::size_t Length = 0;
};

// Looks ahead from just after an h run for an AM/PM token that makes the hour a
// twelve-hour one; a following hour token or any other a ends the search.
bool TFormatter::TwelveHourAhead(const std::string& p, std::size_t i) {
  bool quoted = false;
  while (i < p.size()) {
    const char c = p[i];
    if (IsLeadByte(c)) {
      i += 2;
      continue;
    }
    if (c == 'h' || c == 'H')
      return false;
    if (c == '\'' || c == '"') {
      quoted = !quoted;
    } else if ((c == 'a' || c == 'A') && !quoted) {
      return StartsWithWord(p, i, "AM/PM") || StartsWithWord(p, i, "A/P") ||
             StartsWithWord(p, i, "AMPM");
    }
    ++i;
  }
  return false;
}

void TFormatter::Era(TLevelState& s, char letter, std::size_t count) {
  NeedDate(s);
  const std::string picture = letter == 'G' ? "gg" : (count > 2 ? "yyyy" : "yy");
  std::string text;
  if (!OsLocale().AltCalendarDate(RegionalFormats.LocaleId, s.Year, s.Month, s.Day, picture, text))
    return;
  if (letter == 'E') {
    if (count == 1 && !text.empty() && text[0] == '0')
      text.erase(0, 1);
  } else if (count == 1) {
    // One g: the short form of the era name.
    std::vector<std::size_t> starts; // byte offsets of the characters
    for (std::size_t k = 0; k < text.size(); k += IsLeadByte(text[k]) ? 2 : 1)
      starts.push_back(k);
    if (RegionalFormats.PrimaryLang == 4 && RegionalFormats.SubLang == 1 && starts.size() == 4)
      text = text.substr(starts[2]);
    else if (RegionalFormats.PrimaryLang == 17 && !starts.empty())
      text = text.substr(0, starts.size() > 1 ? starts[1] : text.size());
  }
  Put(text);
}

void TFormatter::Level(const std::string& pattern, int level) {
  static const std::string DefaultPattern{"C"};
  const std::string& p = (level == 1 && pattern.empty()) ? DefaultPattern : pattern;
  TLevelState s;
  std::size_t i = 0;
  const std::size_t n = p.size();
  while (i < n) {
    const char starter = p[i];
    if (IsLeadByte(starter)) {
      // A double-byte character is copied whole; one cut off at the end ends the pattern.
      if (i + 1 >= n)
        break;
      Put(p[i]);
      Put(p[i + 1]);
      i += 2;
      s.Previous = ' ';
      continue;
    }
    char letter = Upper(starter);
    if (letter >= 'A' && letter <= 'Z') {
      if (letter == 'M' && s.Previous == 'H')
        letter = 'N';
      s.Previous = letter;
    }
    i += Token(s, p, i, letter, level);
  }
}

std::size_t TFormatter::Token(TLevelState& s, const std::string& p, std::size_t i, char letter,
                              int level) {
  std::size_t run = 1;
  while (i + run < p.size() && p[i + run] == p[i])
    ++run;
  // The fields that take the whole run of their letter.
  const auto oneOf = [letter](std::string_view letters) {
    return letters.find(letter) != std::string_view::npos;
  };
  if (oneOf("YMDHNSZTCEG")) {
    if (oneOf("YMD"))
      DateField(s, letter, run, level);
    else if (oneOf("HNSZ"))
      TimeField(s, letter, run, p, i);
    else if (oneOf("TC"))
      LayoutField(s, letter, run, level);
    else
      Era(s, letter, run);
    return run;
  }
  switch (letter) {
  case 'A':
    return MarkerField(s, p, i);
  case '/':
    Put(RegionalFormats.DateSep);
    return 1;
  case ':':
    Put(RegionalFormats.TimeSep);
    return 1;
  case '\'':
  case '"':
    return QuotedText(p, i);
  default:
    Put(p[i]);
    return 1;
  }
}

// y, m and d runs: the year, the month (number or name), the day (number or weekday name),
// and ddddd / dddddd for the short and the long date layout.
void TFormatter::DateField(TLevelState& s, char letter, std::size_t count, int level) {
  const TRegionalFormats& rf = RegionalFormats;
  NeedDate(s);
  if (letter == 'Y') {
    if (count <= 2)
      PutNumber(s.Year % 100u, 2);
    else
      PutNumber(s.Year, 4);
  } else if (letter == 'M') {
    if (count <= 2)
      PutNumber(s.Month, static_cast<int>(count));
    else if (count == 3)
      Put(rf.MonthShortNames[s.Month <= 12 ? s.Month : 0]);
    else
      Put(rf.MonthLongNames[s.Month <= 12 ? s.Month : 0]);
  } else if (count <= 2) {
    PutNumber(s.Day, static_cast<int>(count));
  } else if (count == 3) {
    Put(rf.DayShortNames[s.Weekday <= 7 ? s.Weekday : 0]);
  } else if (count == 4) {
    Put(rf.DayLongNames[s.Weekday <= 7 ? s.Weekday : 0]);
  } else if (count == 5) {
    Insert(rf.ShortDateLayout, level);
  } else {
    Insert(rf.LongDateLayout, level);
  }
}

// h, n (or m after h), s and z runs: the hour (twelve-hour when an AM/PM token follows),
// the minute, the second and the millisecond.
void TFormatter::TimeField(TLevelState& s, char letter, std::size_t count, const std::string& p,
                           std::size_t i) {
  NeedTime(s);
  switch (letter) {
  case 'H': {
    if (!s.TwelveHour)
      s.TwelveHour = TwelveHourAhead(p, i + count);
    unsigned hour = s.Hour;
    if (s.TwelveHour) {
      if (hour == 0)
        hour = 12;
      else if (hour > 12)
        hour -= 12;
    }
    PutNumber(hour, count >= 2 ? 2 : 1);
    break;
  }
  case 'N':
    PutNumber(s.Minute, count >= 2 ? 2 : 1);
    break;
  case 'S':
    PutNumber(s.Second, count >= 2 ? 2 : 1);
    break;
  default:
    PutNumber(s.Ms, count >= 3 ? 3 : static_cast<int>(count));
    break;
  }
}

// t and tt: the short and the long time layout; c: the short date layout and, unless the
// time is midnight, the long time layout after a space.
void TFormatter::LayoutField(TLevelState& s, char letter, std::size_t count, int level) {
  const TRegionalFormats& rf = RegionalFormats;
  if (letter == 'T') {
    Insert(count == 1 ? rf.ShortTimeLayout : rf.LongTimeLayout, level);
    return;
  }
  if (level >= DeepestLevel)
    return;
  Insert(rf.ShortDateLayout, level);
  NeedTime(s);
  if (s.Hour != 0 || s.Minute != 0 || s.Second != 0) {
    Put(' ');
    Insert(rf.LongTimeLayout, level);
  }
}

// Tokens starting with a: am/pm, a/p and ampm (the morning or afternoon marker), aaaa and
// aaa (the weekday name); any other a stands for itself. Returns the token's length.
std::size_t TFormatter::MarkerField(TLevelState& s, const std::string& p, std::size_t i) {
  const TRegionalFormats& rf = RegionalFormats;
  NeedTime(s);
  if (StartsWithWord(p, i, "AM/PM")) {
    Put(s.Hour < 12 ? p.substr(i, 2) : p.substr(i + 3, 2));
    s.TwelveHour = true;
    return 5;
  }
  if (StartsWithWord(p, i, "A/P")) {
    Put(s.Hour < 12 ? p[i] : p[i + 2]);
    s.TwelveHour = true;
    return 3;
  }
  if (StartsWithWord(p, i, "AMPM")) {
    Put(s.Hour < 12 ? rf.AmMarker : rf.PmMarker);
    s.TwelveHour = true;
    return 4;
  }
  if (StartsWithWord(p, i, "AAAA")) {
    NeedDate(s);
    Put(rf.DayLongNames[s.Weekday <= 7 ? s.Weekday : 0]);
    return 4;
  }
  if (StartsWithWord(p, i, "AAA")) {
    NeedDate(s);
    Put(rf.DayShortNames[s.Weekday <= 7 ? s.Weekday : 0]);
    return 3;
  }
  Put(p[i]);
  return 1;
}

// Quoted text runs to the same quote or to the end; a trail byte never closes it. Returns
// the length taken, both quotes included.
std::size_t TFormatter::QuotedText(const std::string& p, std::size_t i) {
  const std::size_t n = p.size();
  std::size_t k = i + 1;
  while (k < n && p[k] != p[i]) {
    if (IsLeadByte(p[k]) && k + 1 < n) {
      Put(p[k]);
      ++k;
    }
    Put(p[k]);
    ++k;
  }
  return (k < n ? k + 1 : n) - i;
}

} // namespace

std::string FormatMoment(const std::string& pattern, TMoment t) {
  TFormatter f(t);
  f.Level(pattern, 1);
  return f.Result();
}

std::string MomentToText(TMoment t) {
  return FormatMoment("C", t);
}

std::string TimeOfDayToText(TMoment t) {
  return FormatMoment(RegionalFormats.LongTimeLayout, t);
}
