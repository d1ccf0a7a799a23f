#pragma once

// Puts the scripted platform in use and restores the regional settings and the code-page
// facts when a test ends, so that a test may set them freely.

#include "datetime/RegionalFormats.h"
#include "platform/FakePlatform.h"
#include "platform/ProcessFrame.h"

#include <string>

class TRegionalScope {
public:
  TRegionalScope() = default;
  ~TRegionalScope() {
    RegionalFormats = SavedFormats;
    DoubleByteSystem = SavedDbcs;
    LeadByteSet = SavedLeads;
  }
  TRegionalScope(const TRegionalScope&) = delete;
  TRegionalScope& operator=(const TRegionalScope&) = delete;

  TFakePlatform Platform;

private:
  TRegionalFormats SavedFormats = RegionalFormats;
  bool SavedDbcs = DoubleByteSystem;
  TByteSet SavedLeads = LeadByteSet;
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

inline TRegionalFormats JapaneseFormats() {
  TRegionalFormats r;
  r.LocaleId = 0x411;
  r.PrimaryLang = 17;
  r.SubLang = 1;
  r.ShortDateLayout = "yyyy/MM/dd";
  r.LongDateLayout = "yyyy'" + Sjis::Nen + "'M'\x8C\x8E'd'\x93\xFA'";
  r.ShortTimeLayout = "h:mm";
  r.LongTimeLayout = "h:mm:ss";
  r.AmMarker = Sjis::Gozen;
  r.PmMarker = Sjis::Gogo;
  return r;
}

inline TRegionalFormats EnglishTwelveHourFormats() {
  TRegionalFormats r;
  r.ShortDateLayout = "M/d/yyyy";
  r.LongDateLayout = "dddd, MMMM dd, yyyy";
  r.ShortTimeLayout = "h:mm AMPM";
  r.LongTimeLayout = "h:mm:ss AMPM";
  r.AmMarker = "AM";
  r.PmMarker = "PM";
  return r;
}

inline TRegionalFormats DayMonthYearFormats() {
  TRegionalFormats r;
  r.LocaleId = 0x407;
  r.PrimaryLang = 7;
  r.DateSep = '.';
  r.DecimalSep = ',';
  r.ShortDateLayout = "dd/MM/yyyy";
  r.LongDateLayout = "dddd, d. MMMM yyyy";
  r.ShortTimeLayout = "hh:mm";
  r.LongTimeLayout = "hh:mm:ss";
  r.AmMarker = "";
  r.PmMarker = "";
  return r;
}
