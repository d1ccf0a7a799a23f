#pragma once

// Regional settings of the kinds the launcher meets, the code page 932 they come with and a
// fixed clock, shared by the unit tests, the fuzz targets and the benchmarks (no test
// framework needed).

#include "datetime/RegionalFormats.h"
#include "platform/ProcessFrame.h"
#include "platform/os/OsLocale.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A clock that always says 2004-07-01 07:30 and a locale that answers no item: the
// regional settings are then the ones a test puts in place. The alternative calendar gives
// the Heisei era and two-digit era years where it is asked to.
class TFixedClockLocale : public TOsLocale {
public:
  explicit TFixedClockLocale(std::uint32_t localeId, bool eraCalendar)
      : LocaleId(localeId), EraCalendar(eraCalendar) {}
  TLocalTime LocalTime() override { return {2004, 7, 1, 7, 30, 0, 0}; }
  std::uint32_t ThreadLocale() override { return LocaleId; }
  int LocaleInfo(std::uint32_t, std::uint32_t, char*, int) override { return 0; }
  std::vector<std::string> CalendarInfo(std::uint32_t, std::uint32_t, std::uint32_t) override {
    return {};
  }
  bool AltCalendarDate(std::uint32_t, std::uint16_t year, std::uint16_t, std::uint16_t,
                       const std::string& picture, std::string& out) override {
    if (!EraCalendar || year == 0)
      return false;
    out = picture == "gg" ? std::string("\x95\xBD\x90\xAC") : std::to_string(year % 100);
    return true;
  }

private:
  std::uint32_t LocaleId;
  bool EraCalendar;
};

// The lead bytes of code page 932.
inline TByteSet Cp932LeadBytes() {
  TByteSet set;
  for (int b = 0x81; b <= 0x9F; ++b)
    set.set(static_cast<std::size_t>(b));
  for (int b = 0xE0; b <= 0xFC; ++b)
    set.set(static_cast<std::size_t>(b));
  return set;
}

// A few texts of code page 932.
namespace Sjis {
inline const std::string Gozen = "\x8C\xDF\x91\x4F";  // 午前
inline const std::string Gogo = "\x8C\xDF\x8C\xE3";   // 午後
inline const std::string Heisei = "\x95\xBD\x90\xAC"; // 平成
inline const std::string Reiwa = "\x97\xDF\x98\x61";  // 令和
inline const std::string Nen = "\x94\x4E";            // 年
inline const std::string To = "\x83\x67";             // ト (its trail byte is a g)
inline const std::string Hyo = "\x95\x5C";            // 表 (its trail byte is a backslash)
} // namespace Sjis

// Regional settings of the kinds the launcher meets.
inline TRegionalFormats FallbackFormats() {
  return TRegionalFormats{};
}

// The date and time layouts and the am / pm markers, which every sample below sets.
inline TRegionalFormats WithLayouts(TRegionalFormats r, std::string shortDate, std::string longDate,
                                    std::string shortTime, std::string longTime, std::string am,
                                    std::string pm) {
  r.ShortDateLayout = std::move(shortDate);
  r.LongDateLayout = std::move(longDate);
  r.ShortTimeLayout = std::move(shortTime);
  r.LongTimeLayout = std::move(longTime);
  r.AmMarker = std::move(am);
  r.PmMarker = std::move(pm);
  return r;
}

inline TRegionalFormats JapaneseFormats() {
  TRegionalFormats r;
  r.LocaleId = 0x411;
  r.PrimaryLang = 17;
  r.SubLang = 1;
  return WithLayouts(r, "yyyy/MM/dd", "yyyy'" + Sjis::Nen + "'M'\x8C\x8E'd'\x93\xFA'", "h:mm",
                     "h:mm:ss", Sjis::Gozen, Sjis::Gogo);
}

inline TRegionalFormats EnglishTwelveHourFormats() {
  return WithLayouts(TRegionalFormats{}, "M/d/yyyy", "dddd, MMMM dd, yyyy", "h:mm AMPM",
                     "h:mm:ss AMPM", "AM", "PM");
}

inline TRegionalFormats DayMonthYearFormats() {
  TRegionalFormats r;
  r.LocaleId = 0x407;
  r.PrimaryLang = 7;
  r.DateSep = '.';
  r.DecimalSep = ',';
  return WithLayouts(r, "dd/MM/yyyy", "dddd, d. MMMM yyyy", "hh:mm", "hh:mm:ss", "", "");
}
