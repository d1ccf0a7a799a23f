#include "datetime/RegionalFormats.h"

#include "platform/ProcessFrame.h"
#include "platform/os/OsLocale.h"

#include <charconv>

TRegionalFormats RegionalFormats;

namespace {

constexpr int TextBuffer = 256;
constexpr int CharBuffer = 2;

// Reads locale items of one locale with the fixed buffer sizes.
class TLocaleReader {
public:
  explicit TLocaleReader(std::uint32_t lcid) : Lcid(lcid) {}

  std::string Text(std::uint32_t item, const std::string& fallback) const {
    char buffer[TextBuffer] = {};
    const int n = OsLocale().LocaleInfo(Lcid, item, buffer, TextBuffer);
    if (n <= 0 || n > TextBuffer)
      return fallback;
    return std::string(buffer, static_cast<std::size_t>(n - 1));
  }

  char Char(std::uint32_t item, char fallback) const {
    char buffer[CharBuffer] = {};
    const int n = OsLocale().LocaleInfo(Lcid, item, buffer, CharBuffer);
    return n > 0 ? buffer[0] : fallback;
  }

  int Number(std::uint32_t item, int fallback) const;

private:
  std::uint32_t Lcid;
};

// A decimal integer, optionally signed, with leading blanks allowed; nothing may follow.
bool ToInt(const std::string& text, int& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  if (i < text.size() && text[i] == '+')
    ++i;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  if (first == last)
    return false;
  auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && end == last;
}

int TLocaleReader::Number(std::uint32_t item, int fallback) const {
  int value = 0;
  return ToInt(Text(item, std::to_string(fallback)), value) ? value : fallback;
}

bool IsEraCalendar(int calendar) {
  return calendar == 3 || calendar == 4 || calendar == 5;
}

bool SameLetter(char c, char lower) {
  return c == lower || c == lower - 'a' + 'A';
}

// Fits a date layout to the calendar of the locale: on an era calendar the year tokens
// become era years and a double g a triple one; on a Chinese, Japanese or Korean system
// with the Gregorian calendar the era-name letters go. Double-byte characters are
// copied whole in both cases.
std::string AdaptDateLayout(const TLocaleReader& reader, const std::string& p,
                            std::uint16_t primaryLang) {
  const int calendar = reader.Number(LocaleItem::ICalendarType, 1);
  const std::size_t n = p.size();
  std::string out;
  if (IsEraCalendar(calendar)) {
    std::size_t i = 0;
    auto letters = [&](std::size_t count, char lower) {
      if (i + count > n)
        return false;
      for (std::size_t k = 0; k < count; ++k)
        if (!SameLetter(p[i + k], lower))
          return false;
      return true;
    };
    // The longest run first: gg, yyyy, yy, y; anything else is copied.
    static constexpr struct {
      std::size_t Count;
      char Letter;
      const char* With;
    } eraTokens[] = {{2, 'g', "ggg"}, {4, 'y', "eeee"}, {2, 'y', "ee"}, {1, 'y', "e"}};
    while (i < n) {
      if (IsLeadByte(p[i]) && i + 1 < n) {
        out.append(p, i, 2);
        i += 2;
        continue;
      }
      bool matched = false;
      for (const auto& token : eraTokens) {
        if (letters(token.Count, token.Letter)) {
          out += token.With;
          i += token.Count;
          matched = true;
          break;
        }
      }
      if (!matched) {
        out += p[i];
        i += 1;
      }
    }
    return out;
  }
  if (primaryLang == 4 || primaryLang == 17 || primaryLang == 18) {
    for (std::size_t i = 0; i < n; ++i) {
      if (IsLeadByte(p[i]) && i + 1 < n) {
        out.append(p, i, 2);
        ++i;
      } else if (!SameLetter(p[i], 'g')) {
        out += p[i];
      }
    }
    return out;
  }
  return p;
}

void LoadEraTable(const TLocaleReader& reader, TRegionalFormats& r) {
  const int calendar = reader.Number(LocaleItem::IOptionalCalendar, 1);
  if (!IsEraCalendar(calendar))
    return;
  const auto cal = static_cast<std::uint32_t>(calendar);
  for (const std::string& label : OsLocale().CalendarInfo(r.LocaleId, cal, CalSEraString)) {
    std::size_t slot = 1;
    while (slot <= 7 && !r.EraLabels[slot].empty())
      ++slot;
    if (slot > 7)
      break;
    r.EraLabels[slot] = label;
  }
  for (std::size_t i = 1; i <= 7; ++i)
    r.EraOffsets[i] = -1;
  for (const std::string& text : OsLocale().CalendarInfo(r.LocaleId, cal, CalIYearOffsetRange)) {
    std::size_t slot = 1;
    while (slot <= 7 && r.EraOffsets[slot] != -1)
      ++slot;
    if (slot > 7)
      break;
    int value = 0;
    r.EraOffsets[slot] = ToInt(text, value) ? value : 0;
  }
}

} // namespace

void LoadRegionalFormats() {
  TRegionalFormats r;

  const std::uint32_t thread = OsLocale().ThreadLocale();
  r.LocaleId = thread != 0 ? thread : 0x409;
  if ((thread & 0xFFFF) == 0) {
    r.PrimaryLang = 9;
    r.SubLang = 1;
  } else {
    r.PrimaryLang = static_cast<std::uint16_t>(r.LocaleId & 0x3FF);
    r.SubLang = static_cast<std::uint16_t>((r.LocaleId & 0xFFFF) >> 10);
  }
  const TLocaleReader reader(r.LocaleId);

  auto name = [&reader](std::uint32_t item, std::string& target) {
    std::string text = reader.Text(item, "");
    if (!text.empty())
      target = std::move(text);
  };
  for (std::uint32_t m = 1; m <= 12; ++m) {
    name(LocaleItem::SAbbrevMonthName1 + m - 1, r.MonthShortNames[m]);
    name(LocaleItem::SMonthName1 + m - 1, r.MonthLongNames[m]);
  }
  for (std::uint32_t d = 1; d <= 7; ++d) {
    // The platform counts from Monday (1) to Sunday (7); the record from Sunday (1).
    const std::uint32_t platformDay = d == 1 ? 6 : d - 2;
    name(LocaleItem::SAbbrevDayName1 + platformDay, r.DayShortNames[d]);
    name(LocaleItem::SDayName1 + platformDay, r.DayLongNames[d]);
  }

  if (DoubleByteSystem)
    LoadEraTable(reader, r);

  r.DecimalSep = reader.Char(LocaleItem::SDecimal, '.');
  r.DateSep = reader.Char(LocaleItem::SDate, '/');
  r.ShortDateLayout =
      AdaptDateLayout(reader, reader.Text(LocaleItem::SShortDate, "m/d/yy"), r.PrimaryLang);
  r.LongDateLayout =
      AdaptDateLayout(reader, reader.Text(LocaleItem::SLongDate, "mmmm d, yyyy"), r.PrimaryLang);
  r.TimeSep = reader.Char(LocaleItem::STime, ':');
  r.AmMarker = reader.Text(LocaleItem::S1159, "am");
  r.PmMarker = reader.Text(LocaleItem::S2359, "pm");

  const std::string hour = reader.Number(LocaleItem::ITLZero, 0) != 0 ? "hh" : "h";
  std::string prefix, suffix;
  if (reader.Number(LocaleItem::ITime, 0) == 0) {
    if (reader.Number(LocaleItem::ITimeMarkPosn, 0) != 0)
      prefix = "AMPM ";
    else
      suffix = " AMPM";
  }
  r.ShortTimeLayout = prefix + hour + ":mm" + suffix;
  r.LongTimeLayout = prefix + hour + ":mm:ss" + suffix;

  RegionalFormats = std::move(r);
}
