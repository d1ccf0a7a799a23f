#pragma once

// Shared by the moment fuzz targets: a fixed clock and calendar in place of the system's
// (so that runs repeat), the POSIX process layer for comparisons, and a choice of regional
// settings picked by one input byte.

#include "datetime/Moment.h"
#include "datetime/RegionalFormats.h"
#include "platform/ProcessFrame.h"
#include "platform/os/OsLocale.h"

#include <cstdint>
#include <string>
#include <vector>

class TFuzzLocale : public TOsLocale {
public:
  TLocalTime LocalTime() override { return {2004, 7, 1, 7, 30, 0, 0}; }
  std::uint32_t ThreadLocale() override { return 0x411; }
  int LocaleInfo(std::uint32_t, std::uint32_t, char*, int) override { return 0; }
  std::vector<std::string> CalendarInfo(std::uint32_t, std::uint32_t, std::uint32_t) override {
    return {};
  }
  bool AltCalendarDate(std::uint32_t, std::uint16_t year, std::uint16_t, std::uint16_t,
                       const std::string& picture, std::string& out) override {
    if (year == 0)
      return false;
    out = picture == "gg" ? std::string("\x95\xBD\x90\xAC") : std::to_string(year % 100);
    return true;
  }
};

inline constexpr int SettingCount = 6;

// Puts setting k in place; returns whether its time-of-day texts read back exactly.
inline bool UseSetting(int k) {
  static TFuzzLocale locale;
  TOsSlot<TOsLocale>::Use(&locale);
  TRegionalFormats r;
  DoubleByteSystem = false;
  LeadByteSet.reset();
  bool timeReadsBack = true;
  switch (k % SettingCount) {
  case 0: // the built-in values
    break;
  case 1: // a Japanese system, 24-hour clock, code page 932
  case 2: // the same with the emperor-era calendar
    DoubleByteSystem = true;
    for (int b = 0x81; b <= 0x9F; ++b)
      LeadByteSet.set(static_cast<std::size_t>(b));
    for (int b = 0xE0; b <= 0xFC; ++b)
      LeadByteSet.set(static_cast<std::size_t>(b));
    r.LocaleId = 0x411;
    r.PrimaryLang = 17;
    r.ShortDateLayout = k % SettingCount == 1 ? "yyyy/MM/dd ddd" : "ggge/MM/dd";
    r.LongDateLayout = "yyyy\x94\x4EM\x8C\x8E"
                       "d\x93\xFA"
                       "dddd";
    r.ShortTimeLayout = "h:mm";
    r.LongTimeLayout = "h:mm:ss";
    r.AmMarker = "\x8C\xDF\x91\x4F";
    r.PmMarker = "\x8C\xDF\x8C\xE3";
    r.EraLabels[1] = "\x97\xDF\x98\x61";
    r.EraLabels[2] = "\x95\xBD\x90\xAC";
    r.EraOffsets = {0, 2019, 1989, -1, -1, -1, -1, -1};
    break;
  case 3: // English, 12-hour clock
    r.ShortDateLayout = "M/d/yyyy";
    r.LongTimeLayout = "h:mm:ss AMPM";
    r.AmMarker = "AM";
    r.PmMarker = "PM";
    break;
  case 4: // day-month-year with dots and a decimal comma
    r.DateSep = '.';
    r.DecimalSep = ',';
    r.ShortDateLayout = "dd/MM/yyyy";
    r.LongTimeLayout = "hh:mm:ss";
    r.AmMarker = "";
    r.PmMarker = "";
    break;
  default: // Korean era years, blank separators and empty markers on a 12-hour clock
    r.PrimaryLang = 18;
    r.DateSep = ' ';
    r.TimeSep = ' ';
    r.ShortDateLayout = "e/m/d";
    r.EraOffsets[1] = 2333;
    r.AmMarker = "";
    r.PmMarker = "";
    timeReadsBack = false;
    break;
  }
  RegionalFormats = r;
  return timeReadsBack;
}

// Whether a moment lies within the calendar (0001-01-01 to 9999-12-31).
inline bool InCalendar(TMoment t) {
  return t > -693594.0 && t < 2958466.0;
}
