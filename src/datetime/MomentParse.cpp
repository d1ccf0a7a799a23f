#include "datetime/MomentParse.h"

#include "datetime/RegionalFormats.h"
#include "platform/Exceptions.h"
#include "platform/ProcessFrame.h"
#include "platform/Texts.h"
#include "platform/os/OsLocale.h"
#include "platform/os/OsProcess.h"

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

enum class TDateOrder { MonthDayYear, DayMonthYear, YearMonthDay };

// The order of the numeric date fields, from the first field letter of the short date
// layout (double-byte characters are passed over whole).
TDateOrder DateFieldOrder(const std::string& layout) {
  for (std::size_t i = 0; i < layout.size(); ++i) {
    const char c = layout[i];
    if (IsLeadByte(c)) {
      ++i;
      continue;
    }
    switch (c) {
    case 'd':
    case 'D':
      return TDateOrder::DayMonthYear;
    case 'm':
    case 'M':
      return TDateOrder::MonthDayYear;
    case 'y':
    case 'Y':
    case 'e':
    case 'E':
      return TDateOrder::YearMonthDay;
    default:
      break;
    }
  }
  return TDateOrder::MonthDayYear;
}

int CurrentYear() {
  return OsLocale().LocalTime().Year;
}

// Whether label holds name as a substring that starts at a character boundary.
bool ContainsAtBoundary(const std::string& label, const std::string& name) {
  for (std::size_t i = 0; i + name.size() <= label.size(); i += IsLeadByte(label[i]) ? 2 : 1)
    if (label.compare(i, name.size(), name) == 0)
      return true;
  return false;
}

// The era year of a year written in the alternate calendar.
int EraYear(int year, int eraOffset) {
  if (RegionalFormats.PrimaryLang == 18) {
    if (year <= 99)
      year += ((CurrentYear() + (eraOffset < 0 ? -eraOffset : eraOffset)) / 100) * 100;
    if (eraOffset > 0)
      eraOffset = -eraOffset;
  } else {
    eraOffset -= 1;
  }
  return year + eraOffset;
}

// Date and time fields within the ranges of the calendar and the clock.
bool TryDate(int year, int month, int day, TMoment& t) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
    return false;
  return TryDateToMoment(static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month),
                         static_cast<std::uint16_t>(day), t);
}

bool TryTime(int hour, int minute, int second, int ms, TMoment& t) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || ms < 0 ||
      ms > 999)
    return false;
  return TryTimeToMoment(static_cast<std::uint16_t>(hour), static_cast<std::uint16_t>(minute),
                         static_cast<std::uint16_t>(second), static_cast<std::uint16_t>(ms), t);
}

// Walks one input text; P is the position of the next byte (0-based).
class TScanner {
public:
  explicit TScanner(const std::string& s) : S(s) {}

  std::size_t P = 0;
  bool AtEnd() const { return P >= S.size(); }

  void SkipBlanks() {
    while (P < S.size() && S[P] == ' ')
      ++P;
  }

  // At most four significant digits; the value is at most 9999.
  bool ScanDigits(int& value, std::size_t& length) {
    SkipBlanks();
    std::size_t i = P;
    int n = 0;
    while (i < S.size() && IsDigit(S[i]) && n < 1000) {
      n = n * 10 + (S[i] - '0');
      ++i;
    }
    if (i == P)
      return false;
    length = i - P;
    value = n;
    P = i;
    return true;
  }
  bool ScanDigits(int& value) {
    std::size_t length = 0;
    return ScanDigits(value, length);
  }

  bool ScanSepChar(char c) {
    SkipBlanks();
    if (P < S.size() && S[P] == c) {
      ++P;
      return true;
    }
    return false;
  }

  // Whether the text at P begins with word, compared as the user's locale compares text
  // without regard to case.
  bool MarkerAt(const std::string& word) const {
    if (word.empty())
      return false;
    const std::string part = P < S.size() ? S.substr(P, word.size()) : std::string();
    return OsProcess().CompareText(part, word, true) == CstrEqual;
  }

  bool ScanMarker(const std::string& word) {
    if (word.empty())
      return false;
    SkipBlanks();
    if (!MarkerAt(word))
      return false;
    P += word.size();
    return true;
  }

  void SkipToDigit() {
    while (P < S.size() && !IsDigit(S[P]))
      P += IsLeadByte(S[P]) ? 2 : 1;
    if (P > S.size())
      P = S.size();
  }

  bool ScanDate(TMoment& date);
  bool ScanTime(TMoment& time);

private:
  const std::string& S;
};

bool TScanner::ScanDate(TMoment& date) {
  const TRegionalFormats& rf = RegionalFormats;
  const TDateOrder order = DateFieldOrder(rf.ShortDateLayout);
  int eraOffset = 0;
  if (!rf.ShortDateLayout.empty() && rf.ShortDateLayout[0] == 'g') {
    SkipToDigit();
    std::size_t first = 0, last = P;
    while (first < last && static_cast<unsigned char>(S[first]) <= 0x20)
      ++first;
    while (last > first && static_cast<unsigned char>(S[last - 1]) <= 0x20)
      --last;
    const std::string era = S.substr(first, last - first);
    if (!era.empty()) {
      for (std::size_t i = 1; i <= 7 && !rf.EraLabels[i].empty(); ++i) {
        if (ContainsAtBoundary(rf.EraLabels[i], era)) {
          eraOffset = rf.EraOffsets[i];
          break;
        }
      }
    }
  } else if (rf.ShortDateLayout.find('e') != std::string::npos) {
    eraOffset = rf.EraOffsets[1];
  }

  int n1 = 0, n2 = 0, n3 = 0;
  std::size_t len1 = 0, len2 = 0, len3 = 0;
  if (!ScanDigits(n1, len1) || !ScanSepChar(rf.DateSep) || !ScanDigits(n2, len2))
    return false;
  int year = 0, month = 0, day = 0;
  if (ScanSepChar(rf.DateSep)) {
    if (!ScanDigits(n3, len3))
      return false;
    std::size_t yearLength = 0;
    switch (order) {
    case TDateOrder::MonthDayYear:
      month = n1, day = n2, year = n3, yearLength = len3;
      break;
    case TDateOrder::DayMonthYear:
      day = n1, month = n2, year = n3, yearLength = len3;
      break;
    case TDateOrder::YearMonthDay:
      year = n1, month = n2, day = n3, yearLength = len1;
      break;
    }
    if (eraOffset > 0) {
      year = EraYear(year, eraOffset);
    } else if (yearLength <= 2) {
      // A two-digit year lies within the window of years around the current one.
      const int base = CurrentYear() - rf.YearWindow;
      year += (base / 100) * 100;
      if (rf.YearWindow > 0 && year < base)
        year += 100;
    }
  } else {
    year = CurrentYear();
    if (order == TDateOrder::DayMonthYear)
      day = n1, month = n2;
    else
      month = n1, day = n2;
  }
  ScanSepChar(rf.DateSep);
  SkipBlanks();

  if (DoubleByteSystem && rf.ShortDateLayout.find("ddd") != std::string::npos) {
    // A day name may follow the date: skip words up to a time marker.
    do {
      while (P < S.size() && S[P] != ' ')
        ++P;
      SkipBlanks();
    } while (!AtEnd() && !MarkerAt(rf.AmMarker) && !MarkerAt(rf.PmMarker));
  }
  return TryDate(year, month, day, date);
}

bool TScanner::ScanTime(TMoment& time) {
  const TRegionalFormats& rf = RegionalFormats;
  int base = -1;
  auto markers = [&] {
    if (ScanMarker(rf.AmMarker) || ScanMarker("AM"))
      base = 0;
    else if (ScanMarker(rf.PmMarker) || ScanMarker("PM"))
      base = 12;
  };
  markers();
  if (base >= 0)
    SkipBlanks();
  int hour = 0, minute = 0, second = 0, ms = 0;
  if (!ScanDigits(hour))
    return false;
  if (ScanSepChar(rf.TimeSep) && !ScanDigits(minute))
    return false;
  if (ScanSepChar(rf.TimeSep) && !ScanDigits(second))
    return false;
  // A whole number of milliseconds, not a decimal fraction.
  if (ScanSepChar(rf.DecimalSep) && !ScanDigits(ms))
    return false;
  if (base < 0)
    markers();
  if (base >= 0) {
    if (hour < 1 || hour > 12)
      return false;
    if (hour == 12)
      hour = 0;
    hour += base;
  }
  SkipBlanks();
  return TryTime(hour, minute, second, ms, time);
}

} // namespace

TMoment TextToTimeOfDay(const std::string& s) {
  TScanner scanner(s);
  TMoment time = 0;
  if (scanner.ScanTime(time) && scanner.AtEnd())
    return time;
  throw EConvertError(txtNotATime, s);
}

TMoment TextToMoment(const std::string& s) {
  {
    TScanner scanner(s);
    TMoment date = 0, time = 0;
    if (scanner.ScanDate(date) && (scanner.AtEnd() || scanner.ScanTime(time))) {
      const long double d = date, t = time;
      return static_cast<TMoment>(date >= 0 ? d + t : d - t);
    }
  }
  TScanner scanner(s);
  TMoment time = 0;
  if (scanner.ScanTime(time) && scanner.AtEnd())
    return time;
  throw EConvertError(txtNotADateOrTime, s);
}
