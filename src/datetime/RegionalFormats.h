#pragma once

#include <array>
#include <cstdint>
#include <string>

// The regional date and time settings of the system, read once at start-up by
// LoadRegionalFormats and only read afterwards. A default-constructed record holds the
// built-in values that apply when the system gives nothing usable.
//
// The name and era arrays are indexed from 1 as the settings count them; slot 0 stays
// empty (so does every slot of a calendar field that is out of range).
struct TRegionalFormats {
  char DateSep = '/';
  char TimeSep = ':';
  char DecimalSep = '.';
  std::string ShortDateLayout = "m/d/yy";
  std::string LongDateLayout = "mmmm d, yyyy";
  std::string AmMarker = "am";
  std::string PmMarker = "pm";
  std::string ShortTimeLayout = "h:mm AMPM";
  std::string LongTimeLayout = "h:mm:ss AMPM";
  std::array<std::string, 13> MonthShortNames{"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 13> MonthLongNames{
      "",     "January", "February",  "March",   "April",    "May",     "June",
      "July", "August",  "September", "October", "November", "December"};
  // 1 = Sunday.
  std::array<std::string, 8> DayShortNames{"", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 8> DayLongNames{"",          "Sunday",   "Monday", "Tuesday",
                                          "Wednesday", "Thursday", "Friday", "Saturday"};
  std::uint16_t YearWindow = 50;

  std::uint32_t LocaleId = 0x409;
  std::uint16_t PrimaryLang = 9;
  std::uint16_t SubLang = 1;

  // Eras of the alternate calendar (emperor-era, Taiwan, Korean); empty otherwise.
  std::array<std::string, 8> EraLabels{};
  std::array<std::int32_t, 8> EraOffsets{};
};

extern TRegionalFormats RegionalFormats;

// Fills RegionalFormats from the system's regional settings of the thread's locale.
void LoadRegionalFormats();

// Locale items as the platform numbers them.
namespace LocaleItem {
inline constexpr std::uint32_t SDecimal = 0x0E;
inline constexpr std::uint32_t SDate = 0x1D;
inline constexpr std::uint32_t STime = 0x1E;
inline constexpr std::uint32_t SShortDate = 0x1F;
inline constexpr std::uint32_t SLongDate = 0x20;
inline constexpr std::uint32_t ITime = 0x23;
inline constexpr std::uint32_t ITLZero = 0x25;
inline constexpr std::uint32_t S1159 = 0x28;
inline constexpr std::uint32_t S2359 = 0x29;
inline constexpr std::uint32_t SDayName1 = 0x2A;         // Monday; 7 (0x30) is Sunday
inline constexpr std::uint32_t SAbbrevDayName1 = 0x31;   // Monday; 7 (0x37) is Sunday
inline constexpr std::uint32_t SMonthName1 = 0x38;       // to 0x43
inline constexpr std::uint32_t SAbbrevMonthName1 = 0x44; // to 0x4F
inline constexpr std::uint32_t ITimeMarkPosn = 0x1005;
inline constexpr std::uint32_t ICalendarType = 0x1009;
inline constexpr std::uint32_t IOptionalCalendar = 0x100B;
} // namespace LocaleItem

// Calendar information kinds.
inline constexpr std::uint32_t CalIYearOffsetRange = 3;
inline constexpr std::uint32_t CalSEraString = 4;
