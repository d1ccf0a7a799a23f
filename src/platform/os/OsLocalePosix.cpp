// The clock and the regional settings on POSIX systems: the local clock of the C library
// and the process's locale (LC_TIME and LC_NUMERIC), answered under the item numbers of
// the Windows locale items that the launcher asks for. Items without a counterpart are
// not answered, so that the launcher's own values apply.
#include "platform/os/OsLocale.h"

#include <clocale>
#include <cstring>
#include <ctime>
#include <langinfo.h>
#include <optional>
#include <string_view>

namespace {

// One piece of a C library date or time format: a conversion (%Y, %-I, ...) or literal text.
struct TPiece {
  bool Conversion = false;
  char Letter = 0;  // the conversion letter
  char Flag = 0;    // '-', '_', '0', '^', '#' or 0
  std::string Text; // literal text
};

std::string Expand(std::string_view format, std::string_view twelveHourFormat) {
  std::string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      out += format[i];
      continue;
    }
    const char c = format[i + 1];
    if (c == 'D')
      out += "%m/%d/%y";
    else if (c == 'F')
      out += "%Y-%m-%d";
    else if (c == 'T')
      out += "%H:%M:%S";
    else if (c == 'R')
      out += "%H:%M";
    else if (c == 'r')
      out += twelveHourFormat.empty() ? std::string("%I:%M:%S %p") : std::string(twelveHourFormat);
    else {
      out += format[i];
      out += c;
    }
    ++i;
  }
  return out;
}

std::vector<TPiece> Pieces(const std::string& format) {
  std::vector<TPiece> pieces;
  auto literal = [&pieces](char c) {
    if (pieces.empty() || pieces.back().Conversion)
      pieces.push_back(TPiece{});
    pieces.back().Text += c;
  };
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      literal(format[i]);
      continue;
    }
    TPiece piece;
    piece.Conversion = true;
    std::size_t k = i + 1;
    if (std::strchr("-_0^#", format[k]) != nullptr) {
      piece.Flag = format[k];
      ++k;
    }
    while (k < format.size() && format[k] >= '0' && format[k] <= '9')
      ++k; // field width
    if (k < format.size() && (format[k] == 'E' || format[k] == 'O'))
      ++k; // alternative representations read as the plain ones
    if (k >= format.size())
      break;
    piece.Letter = format[k];
    i = k;
    if (piece.Letter == '%')
      literal('%');
    else if (piece.Letter == 'n')
      literal('\n');
    else if (piece.Letter == 't')
      literal('\t');
    else
      pieces.push_back(piece);
  }
  return pieces;
}

bool IsUtf8Codeset() {
  const std::string_view codeset = nl_langinfo(CODESET);
  return codeset == "UTF-8" || codeset == "utf8" || codeset == "UTF8";
}

std::string Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  return std::string(text);
}

// The time format of the locale as the launcher reads it.
struct TTimeFacts {
  bool HaveHour = false;
  bool TwentyFourHour = true;
  bool LeadingZero = true;
  bool MarkerFirst = false;
  std::optional<std::string> Separator;
};

TTimeFacts TimeFacts() {
  const std::string format = Expand(nl_langinfo(T_FMT), nl_langinfo(T_FMT_AMPM));
  const std::vector<TPiece> pieces = Pieces(format);
  TTimeFacts facts;
  bool marker = false;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const TPiece& p = pieces[i];
    if (!p.Conversion)
      continue;
    if (p.Letter == 'p' || p.Letter == 'P') {
      marker = true;
      continue;
    }
    const bool twentyFour = p.Letter == 'H' || p.Letter == 'k';
    const bool twelve = p.Letter == 'I' || p.Letter == 'l';
    if (!twentyFour && !twelve)
      continue;
    facts.HaveHour = true;
    facts.TwentyFourHour = twentyFour;
    const bool zeroByDefault = p.Letter == 'H' || p.Letter == 'I';
    facts.LeadingZero = p.Flag == '0' || (zeroByDefault && p.Flag != '-' && p.Flag != '_');
    facts.MarkerFirst = marker;
    if (i + 2 < pieces.size() && !pieces[i + 1].Conversion && pieces[i + 2].Conversion &&
        pieces[i + 2].Letter == 'M')
      facts.Separator = pieces[i + 1].Text;
    break;
  }
  return facts;
}

enum class TField { None, Year, Month, Day };

TField FieldOf(char letter) {
  switch (letter) {
  case 'Y':
  case 'y':
  case 'C':
    return TField::Year;
  case 'm':
    return TField::Month;
  case 'd':
  case 'e':
    return TField::Day;
  default:
    return TField::None;
  }
}

std::string NumericToken(const TPiece& p) {
  switch (p.Letter) {
  case 'Y':
    return "yyyy";
  case 'y':
    return "yy";
  case 'm':
    return p.Flag == '-' ? "M" : "MM";
  case 'd':
    return p.Flag == '-' ? "d" : "dd";
  default:
    return "d";
  }
}

// The short and long date layouts and the date separator, from the locale's date format.
struct TDateFacts {
  std::string ShortLayout, LongLayout;
  std::string Separator = "/";
};

std::optional<std::string> Quoted(const std::string& text) {
  if (text.find('\'') == std::string::npos)
    return "'" + text + "'";
  if (text.find('"') == std::string::npos)
    return "\"" + text + "\"";
  return std::nullopt;
}

TDateFacts DateFacts() {
  const std::vector<TPiece> pieces = Pieces(Expand(nl_langinfo(D_FMT), ""));
  TDateFacts facts;
  std::vector<const TPiece*> numeric;
  bool wordy = false; // literal text beyond punctuation, such as the 年 of 2004年
  for (const TPiece& p : pieces) {
    if (p.Conversion && FieldOf(p.Letter) != TField::None && p.Letter != 'C')
      numeric.push_back(&p);
    if (!p.Conversion)
      for (char c : p.Text)
        if (static_cast<unsigned char>(c) >= 0x80)
          wordy = true;
  }
  TField order[3] = {TField::Month, TField::Day, TField::Year};
  std::string tokens[3] = {"M", "d", "yyyy"};
  if (numeric.size() == 3 && FieldOf(numeric[0]->Letter) != FieldOf(numeric[1]->Letter) &&
      FieldOf(numeric[1]->Letter) != FieldOf(numeric[2]->Letter) &&
      FieldOf(numeric[0]->Letter) != FieldOf(numeric[2]->Letter)) {
    for (int k = 0; k < 3; ++k) {
      order[k] = FieldOf(numeric[k]->Letter);
      tokens[k] = NumericToken(*numeric[k]);
    }
  }
  // Three numbers parted by one and the same punctuation byte: that byte is the separator.
  if (pieces.size() == 5 && pieces[0].Conversion && pieces[2].Conversion && pieces[4].Conversion &&
      numeric.size() == 3 && !pieces[1].Conversion && pieces[1].Text == pieces[3].Text &&
      pieces[1].Text.size() == 1) {
    const char c = pieces[1].Text[0];
    if (c > 0x20 && c < 0x7F && std::strchr("'\"", c) == nullptr &&
        !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
      facts.Separator = std::string(1, c);
  }
  facts.ShortLayout = tokens[0] + "/" + tokens[1] + "/" + tokens[2];

  if (wordy) {
    std::string layout;
    bool ok = true;
    for (const TPiece& p : pieces) {
      if (!p.Conversion) {
        const auto quoted = Quoted(p.Text);
        ok = ok && quoted.has_value();
        layout += quoted.value_or("");
        continue;
      }
      switch (p.Letter) {
      case 'b':
      case 'h':
        layout += "MMM";
        break;
      case 'B':
        layout += "MMMM";
        break;
      case 'a':
        layout += "ddd";
        break;
      case 'A':
        layout += "dddd";
        break;
      default:
        if (FieldOf(p.Letter) == TField::None || p.Letter == 'C')
          ok = false;
        else
          layout += NumericToken(p);
      }
    }
    if (ok) {
      facts.LongLayout = layout;
      return facts;
    }
  }
  if (order[0] == TField::Day)
    facts.LongLayout = "d MMMM yyyy";
  else if (order[0] == TField::Year)
    facts.LongLayout = "yyyy MMMM d";
  else
    facts.LongLayout = "MMMM d, yyyy";
  return facts;
}

// Windows language identifiers of the common locales, by language and by territory.
std::uint32_t LanguageId(const std::string& name) {
  struct TEntry {
    const char* Name;
    std::uint32_t Id;
  };
  static const TEntry entries[] = {
      {"ja", 0x411},    {"ko", 0x412},    {"zh_TW", 0x404},  {"zh_HK", 0xC04}, {"zh", 0x804},
      {"en_GB", 0x809}, {"en_AU", 0xC09}, {"en_CA", 0x1009}, {"en", 0x409},    {"de_AT", 0xC07},
      {"de_CH", 0x807}, {"de", 0x407},    {"fr_CA", 0xC0C},  {"fr", 0x40C},    {"es", 0xC0A},
      {"it", 0x410},    {"nl", 0x413},    {"pt_BR", 0x416},  {"pt", 0x816},    {"ru", 0x419},
      {"pl", 0x415},    {"sv", 0x41D},    {"fi", 0x40B},     {"da", 0x406},    {"nb", 0x414},
      {"hu", 0x40E},    {"cs", 0x405},
  };
  for (const TEntry& e : entries) {
    const std::size_t n = std::strlen(e.Name);
    if (name.compare(0, n, e.Name) == 0 &&
        (name.size() == n || name[n] == '_' || name[n] == '.' || name[n] == '@'))
      return e.Id;
  }
  return 0x409;
}

class TPosixLocale : public TOsLocale {
public:
  TPosixLocale() {
    // The process takes the user's locale once, unless it has chosen one already.
    const char* current = std::setlocale(LC_ALL, nullptr);
    if (current == nullptr || std::strcmp(current, "C") == 0)
      std::setlocale(LC_ALL, "");
  }

  TLocalTime LocalTime() override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    TLocalTime t;
    t.Year = static_cast<std::uint16_t>(local.tm_year + 1900);
    t.Month = static_cast<std::uint16_t>(local.tm_mon + 1);
    t.Day = static_cast<std::uint16_t>(local.tm_mday);
    t.Hour = static_cast<std::uint16_t>(local.tm_hour);
    t.Minute = static_cast<std::uint16_t>(local.tm_min);
    // A leap second reads as the last second of the minute.
    t.Second = static_cast<std::uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
    t.Milliseconds = static_cast<std::uint16_t>(now.tv_nsec / 1'000'000);
    return t;
  }

  std::uint32_t ThreadLocale() override {
    const char* name = std::setlocale(LC_TIME, nullptr);
    return LanguageId(name != nullptr ? name : "C");
  }

  int LocaleInfo(std::uint32_t, std::uint32_t item, char* buffer, int size) override {
    const std::optional<std::string> text = Item(item);
    if (!text)
      return 0;
    if (!IsUtf8Codeset())
      for (char c : *text)
        if (static_cast<unsigned char>(c) >= 0x80)
          return 0; // the program's texts are UTF-8 on this system
    const int n = static_cast<int>(text->size()) + 1;
    if (size == 0)
      return n;
    if (buffer == nullptr || n > size)
      return 0;
    std::memcpy(buffer, text->c_str(), static_cast<std::size_t>(n));
    return n;
  }

  std::vector<std::string> CalendarInfo(std::uint32_t, std::uint32_t, std::uint32_t) override {
    return {};
  }

  bool AltCalendarDate(std::uint32_t, std::uint16_t, std::uint16_t, std::uint16_t,
                       const std::string&, std::string&) override {
    return false;
  }

private:
  static std::optional<std::string> Item(std::uint32_t item) {
    static const nl_item monthShort[12] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4,  ABMON_5,  ABMON_6,
                                           ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12};
    static const nl_item monthLong[12] = {MON_1, MON_2, MON_3, MON_4,  MON_5,  MON_6,
                                          MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
    // Monday first, as the item numbers count; the C library counts from Sunday.
    static const nl_item dayShort[7] = {ABDAY_2, ABDAY_3, ABDAY_4, ABDAY_5,
                                        ABDAY_6, ABDAY_7, ABDAY_1};
    static const nl_item dayLong[7] = {DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7, DAY_1};
    if (item >= 0x44 && item <= 0x4F)
      return Trimmed(nl_langinfo(monthShort[item - 0x44]));
    if (item >= 0x38 && item <= 0x43)
      return Trimmed(nl_langinfo(monthLong[item - 0x38]));
    if (item >= 0x31 && item <= 0x37)
      return Trimmed(nl_langinfo(dayShort[item - 0x31]));
    if (item >= 0x2A && item <= 0x30)
      return Trimmed(nl_langinfo(dayLong[item - 0x2A]));
    switch (item) {
    case 0x0E: // decimal separator
      return std::string(nl_langinfo(RADIXCHAR));
    case 0x1D: // date separator
      return DateFacts().Separator;
    case 0x1F: // short date layout
      return DateFacts().ShortLayout;
    case 0x20: // long date layout
      return DateFacts().LongLayout;
    case 0x28: // AM marker
      return std::string(nl_langinfo(AM_STR));
    case 0x29: // PM marker
      return std::string(nl_langinfo(PM_STR));
    case 0x1E: // time separator
      return TimeFacts().Separator;
    case 0x23: { // 24-hour clock
      const TTimeFacts f = TimeFacts();
      return f.HaveHour ? std::optional<std::string>(f.TwentyFourHour ? "1" : "0") : std::nullopt;
    }
    case 0x25: { // leading zero of the hour
      const TTimeFacts f = TimeFacts();
      return f.HaveHour ? std::optional<std::string>(f.LeadingZero ? "1" : "0") : std::nullopt;
    }
    case 0x1005: { // AM/PM marker before the time
      const TTimeFacts f = TimeFacts();
      return f.HaveHour ? std::optional<std::string>(f.MarkerFirst ? "1" : "0") : std::nullopt;
    }
    default:
      return std::nullopt;
    }
  }
};

} // namespace

template <> TOsLocale& TOsSlot<TOsLocale>::Native() {
  static TPosixLocale instance;
  return instance;
}
