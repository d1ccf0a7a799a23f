#pragma once

#include "platform/os/OsSlot.h"

#include <cstdint>
#include <string>
#include <vector>

// The local clock as the platform gives it (Windows: GetLocalTime).
struct TLocalTime {
  std::uint16_t Year = 0, Month = 0, Day = 0;
  std::uint16_t Hour = 0, Minute = 0, Second = 0, Milliseconds = 0;
};

// The clock and the regional settings of the system.
class TOsLocale {
public:
  virtual ~TOsLocale() = default;
  virtual TLocalTime LocalTime() = 0;
  // Windows: GetThreadLocale.
  virtual std::uint32_t ThreadLocale() = 0;
  // Windows: GetLocaleInfoA(lcid, item, buffer, size). Returns the count written,
  // terminating zero included, or 0 when the item is missing or does not fit.
  virtual int LocaleInfo(std::uint32_t lcid, std::uint32_t item, char* buffer, int size) = 0;
  // Windows: EnumCalendarInfoA(callback, lcid, calendar, calType): the reported texts in order.
  virtual std::vector<std::string> CalendarInfo(std::uint32_t lcid, std::uint32_t calendar,
                                                std::uint32_t calType) = 0;
  // Windows: GetDateFormatA(lcid, DATE_USE_ALT_CALENDAR, date, picture). False when the call
  // fails.
  virtual bool AltCalendarDate(std::uint32_t lcid, std::uint16_t year, std::uint16_t month,
                               std::uint16_t day, const std::string& picture, std::string& out) = 0;
};

inline TOsLocale& OsLocale() {
  return TOsSlot<TOsLocale>::Get();
}
