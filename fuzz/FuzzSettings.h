#pragma once

// Shared by the moment fuzz targets: a fixed clock and calendar in place of the system's
// (so that runs repeat), the POSIX process layer for comparisons, and a choice of regional
// settings picked by one input byte.

#include "datetime/Moment.h"
#include "datetime/RegionalFormats.h"
#include "datetime/SampleFormats.h"
#include "platform/ProcessFrame.h"
#include "platform/os/OsLocale.h"

#include <cstdint>
#include <string>
#include <vector>

inline constexpr int SettingCount = 6;

// Puts setting k in place; returns whether its time-of-day texts read back exactly.
inline bool UseSetting(int k) {
  static TFixedClockLocale locale(0x411, true);
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
    LeadByteSet = Cp932LeadBytes();
    r = JapaneseFormats();
    r.ShortDateLayout = k % SettingCount == 1 ? "yyyy/MM/dd ddd" : "ggge/MM/dd";
    r.LongDateLayout = "yyyy\x94\x4EM\x8C\x8E"
                       "d\x93\xFA"
                       "dddd";
    r.EraLabels[1] = "\x97\xDF\x98\x61";
    r.EraLabels[2] = "\x95\xBD\x90\xAC";
    r.EraOffsets = {0, 2019, 1989, -1, -1, -1, -1, -1};
    break;
  case 3: // English, 12-hour clock
    r = EnglishTwelveHourFormats();
    break;
  case 4: // day-month-year with dots and a decimal comma
    r = DayMonthYearFormats();
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
