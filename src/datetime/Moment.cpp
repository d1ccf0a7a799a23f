#include "datetime/Moment.h"

#include "platform/Exceptions.h"
#include "platform/Texts.h"
#include "platform/os/OsLocale.h"

#include <cmath>
#include <limits>

namespace {

constexpr std::int64_t MsPerDay = 86'400'000;
// Day number of 1899-12-30 (moment 0) counted from 0001-01-01 = 1.
constexpr std::int32_t DayNoOfZero = 693'594;
// Millisecond counts are held within this many days of moment 0 so that the day number
// always fits its 32-bit field, whatever value is split.
constexpr std::int64_t SplitLimitMs = 2'000'000'000LL * MsPerDay;

constexpr int MonthDays[2][13] = {{0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                  {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

} // namespace

bool IsLeap(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

bool TryDateToMoment(std::uint16_t year, std::uint16_t month, std::uint16_t day, TMoment& t) {
  if (year < 1 || year > 9999 || month < 1 || month > 12)
    return false;
  const int* lengths = MonthDays[IsLeap(year) ? 1 : 0];
  if (day < 1 || day > lengths[month])
    return false;
  std::int64_t dayOfYear = day;
  for (int m = 1; m < month; ++m)
    dayOfYear += lengths[m];
  const std::int64_t i = year - 1;
  t = static_cast<TMoment>(i * 365 + i / 4 - i / 100 + i / 400 + dayOfYear - DayNoOfZero);
  return true;
}

TMoment DateToMoment(std::uint16_t year, std::uint16_t month, std::uint16_t day) {
  TMoment t = 0;
  if (!TryDateToMoment(year, month, day, t))
    throw EConvertError(txtDateNotConvertible);
  return t;
}

bool TryTimeToMoment(std::uint16_t hour, std::uint16_t minute, std::uint16_t second,
                     std::uint16_t ms, TMoment& t) {
  if (hour >= 24 || minute >= 60 || second >= 60 || ms >= 1000)
    return false;
  const long double total = static_cast<long double>(hour) * 3'600'000 +
                            static_cast<long double>(minute) * 60'000 +
                            static_cast<long double>(second) * 1'000 + ms;
  t = static_cast<TMoment>(total / static_cast<long double>(MsPerDay));
  return true;
}

TMoment TimeToMoment(std::uint16_t hour, std::uint16_t minute, std::uint16_t second,
                     std::uint16_t ms) {
  TMoment t = 0;
  if (!TryTimeToMoment(hour, minute, second, ms, t))
    throw EConvertError(txtTimeNotConvertible);
  return t;
}

TMoment NowLocal() {
  const TLocalTime now = OsLocale().LocalTime();
  const TMoment date = DateToMoment(now.Year, now.Month, now.Day);
  const TMoment time = TimeToMoment(now.Hour, now.Minute, now.Second, now.Milliseconds);
  return static_cast<TMoment>(static_cast<long double>(date) + time);
}

TDaySplit SplitMoment(TMoment t) {
  // The product carries a 64-bit significand and is rounded once to an integer, ties to
  // even (the default rounding mode). Values beyond any calendar date are held at a limit
  // instead of overflowing; a value that is not a number splits as moment 0.
  long double product = static_cast<long double>(t) * static_cast<long double>(MsPerDay);
  std::int64_t total = 0;
  if (std::isnan(product))
    total = 0;
  else if (product >= static_cast<long double>(SplitLimitMs))
    total = SplitLimitMs;
  else if (product <= -static_cast<long double>(SplitLimitMs))
    total = -SplitLimitMs;
  else
    total = static_cast<std::int64_t>(std::nearbyint(product));
  TDaySplit split;
  if (total >= 0) {
    split.DayNo = static_cast<std::int32_t>(total / MsPerDay + DayNoOfZero);
    split.TimeMs = static_cast<std::int32_t>(total % MsPerDay);
  } else {
    // Before moment 0 the day counts backwards while the time of day stays the time
    // after midnight of that day.
    const std::int64_t a = -total;
    split.DayNo = static_cast<std::int32_t>(DayNoOfZero - a / MsPerDay);
    split.TimeMs = static_cast<std::int32_t>(a % MsPerDay);
  }
  return split;
}

void MomentDate(TMoment t, std::uint16_t& year, std::uint16_t& month, std::uint16_t& day) {
  std::int64_t rest = SplitMoment(t).DayNo;
  if (rest <= 0) {
    year = month = day = 0;
    return;
  }
  rest -= 1; // days since 0001-01-01, [0, ...)
  std::int64_t y = 1;
  y += 400 * (rest / 146'097);    // whole 400-year cycles of 146,097 days
  rest %= 146'097;                // [0, 146096]
  std::int64_t q = rest / 36'524; // centuries of 36,524 days, [0, 4]
  rest %= 36'524;
  if (q == 4) { // the last day of a leap 400th year
    q = 3;
    rest += 36'524; // [36524, 36524]
  }
  y += 100 * q;     // rest: [0, 36524]
  q = rest / 1'461; // four-year cycles of 1,461 days, [0, 24]
  rest %= 1'461;    // [0, 1460]
  y += 4 * q;
  q = rest / 365; // years of 365 days, [0, 4]
  rest %= 365;
  if (q == 4) { // the last day of a leap year
    q = 3;
    rest += 365; // [365, 365]
  }
  y += q; // rest: day of the year, [0, 365]
  const int* lengths = MonthDays[IsLeap(static_cast<int>(y)) ? 1 : 0];
  int m = 1;
  while (m < 12 && rest >= lengths[m]) {
    rest -= lengths[m];
    ++m;
  }
  // Years beyond 9999 only arise from values outside the calendar; they wrap like the
  // 16-bit field they are stored in.
  year = static_cast<std::uint16_t>(y);
  month = static_cast<std::uint16_t>(m);
  day = static_cast<std::uint16_t>(rest + 1);
}

void MomentTime(TMoment t, std::uint16_t& hour, std::uint16_t& minute, std::uint16_t& second,
                std::uint16_t& ms) {
  const std::int32_t m = SplitMoment(t).TimeMs;
  hour = static_cast<std::uint16_t>((m / 60'000) / 60);
  minute = static_cast<std::uint16_t>((m / 60'000) % 60);
  second = static_cast<std::uint16_t>((m % 60'000) / 1'000);
  ms = static_cast<std::uint16_t>((m % 60'000) % 1'000);
}

int WeekdayOf(TMoment t) {
  // Day numbers are positive for every calendar date; the remainder is kept non-negative
  // for the values before 0001-01-01 as well.
  const std::int32_t dayNo = SplitMoment(t).DayNo;
  return ((dayNo % 7) + 7) % 7 + 1;
}

long double FracOf(long double x) {
  if (!std::isfinite(x))
    return std::isnan(x) ? x : 0.0L;
  return x - std::trunc(x);
}

std::int64_t TruncOf(long double x) {
  // Rounded towards zero; values beyond the 64-bit range are held at its ends and a value
  // that is not a number gives 0.
  if (std::isnan(x))
    return 0;
  constexpr long double limit = 9223372036854775808.0L; // 2^63
  if (x >= limit)
    return std::numeric_limits<std::int64_t>::max();
  if (x <= -limit)
    return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(x);
}
