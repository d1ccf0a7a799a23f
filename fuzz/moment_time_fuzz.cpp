// Splits arbitrary moments: within the calendar the date and clock fields rebuild the same
// millisecond, the weekday agrees with the day number and the truncation primitives add up.
#include "FuzzSettings.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < sizeof(double))
    return 0;
  double x = 0;
  std::memcpy(&x, data, sizeof x);
  std::uint16_t y, mo, d, h, mi, s, ms;
  MomentDate(x, y, mo, d);
  MomentTime(x, h, mi, s, ms);
  const int weekday = WeekdayOf(x);
  if (weekday < 1 || weekday > 7 || mo > 12 || d > 31 || h > 23 || mi > 59 || s > 59 || ms > 999)
    std::abort();
  if (std::isfinite(x) && std::fabs(x) < 9e18) {
    const long double whole = static_cast<long double>(TruncOf(x));
    if (whole + FracOf(x) != static_cast<long double>(x))
      std::abort();
  }
  if (InCalendar(x)) {
    const TDaySplit split = SplitMoment(x);
    TMoment date = 0, time = 0;
    if (split.DayNo >= 1 && split.DayNo <= 3652059) {
      if (!TryDateToMoment(y, mo, d, date) || !TryTimeToMoment(h, mi, s, ms, time))
        std::abort();
      const TMoment rebuilt =
          static_cast<double>(date >= 0 ? static_cast<long double>(date) + time
                                        : static_cast<long double>(date) - time);
      const TDaySplit again = SplitMoment(rebuilt);
      if (again.DayNo != split.DayNo || again.TimeMs != split.TimeMs)
        std::abort();
      if (split.DayNo % 7 + 1 != weekday)
        std::abort();
    }
  }
  return 0;
}
