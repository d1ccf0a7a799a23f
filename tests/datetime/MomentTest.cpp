#include "datetime/Moment.h"

#include "RegionalScope.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double MsPerDay = 86'400'000.0;

struct TDateCase {
  std::uint16_t Year, Month, Day;
  double Moment;
};

const TDateCase DateCases[] = {
    {1899, 12, 30, 0.0},     {1899, 12, 31, 1.0},      {1900, 1, 1, 2.0},
    {2004, 7, 1, 38169.0},   {1, 1, 1, -693593.0},     {9999, 12, 31, 2958465.0},
    {1899, 12, 29, -1.0},    {2000, 2, 29, 36585.0},   {1900, 3, 1, 61.0},
    {2024, 12, 31, 45657.0}, {1600, 2, 29, -109512.0},
};

TEST(MomentDates, SerialsOfKnownDates) {
  for (const TDateCase& c : DateCases) {
    SCOPED_TRACE(testing::Message() << c.Year << "-" << c.Month << "-" << c.Day);
    TMoment t = -1e9;
    ASSERT_TRUE(TryDateToMoment(c.Year, c.Month, c.Day, t));
    EXPECT_EQ(c.Moment, t);
    EXPECT_EQ(c.Moment, DateToMoment(c.Year, c.Month, c.Day));
    std::uint16_t y = 0, m = 0, d = 0;
    MomentDate(c.Moment, y, m, d);
    EXPECT_EQ(c.Year, y);
    EXPECT_EQ(c.Month, m);
    EXPECT_EQ(c.Day, d);
  }
}

TEST(MomentDates, InvalidDatesFailWithTheMessage) {
  const std::uint16_t invalid[][3] = {{0, 1, 1},     {10000, 1, 1}, {2004, 0, 1},  {2004, 13, 1},
                                      {2004, 1, 0},  {2004, 1, 32}, {2003, 2, 29}, {1900, 2, 29},
                                      {2004, 4, 31}, {2004, 2, 30}};
  for (const auto& d : invalid) {
    SCOPED_TRACE(testing::Message() << d[0] << "-" << d[1] << "-" << d[2]);
    TMoment t = 123.0;
    EXPECT_FALSE(TryDateToMoment(d[0], d[1], d[2], t));
    EXPECT_EQ(123.0, t);
    try {
      DateToMoment(d[0], d[1], d[2]);
      ADD_FAILURE() << "no failure raised";
    } catch (const EConvertError& e) {
      EXPECT_EQ(txtDateNotConvertible.Source(), e.Message());
      EXPECT_STREQ("EConvertError", e.ClassName());
    }
  }
}

TEST(MomentDates, LeapYears) {
  EXPECT_TRUE(IsLeap(2004));
  EXPECT_TRUE(IsLeap(2000));
  EXPECT_TRUE(IsLeap(1600));
  EXPECT_FALSE(IsLeap(1900));
  EXPECT_FALSE(IsLeap(2003));
  EXPECT_FALSE(IsLeap(2100));
}

// Every day of the calendar: the split gives the date back, the serials follow each
// other and the weekday steps by one.
TEST(MomentDates, EveryDayRoundTrips) {
  const int lengths[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  double expected = -693593.0;
  int weekday = WeekdayOf(expected);
  for (int y = 1; y <= 9999; ++y) {
    for (int m = 1; m <= 12; ++m) {
      const int days = lengths[m] + (m == 2 && IsLeap(y) ? 1 : 0);
      for (int d = 1; d <= days; ++d) {
        TMoment t = 0;
        ASSERT_TRUE(TryDateToMoment(static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(m),
                                    static_cast<std::uint16_t>(d), t))
            << y << "-" << m << "-" << d;
        ASSERT_EQ(expected, t) << y << "-" << m << "-" << d;
        std::uint16_t yy = 0, mm = 0, dd = 0;
        MomentDate(t >= 0 ? t + 0.75 : t - 0.75, yy, mm, dd); // 18:00 of that day
        ASSERT_TRUE(yy == y && mm == m && dd == d) << y << "-" << m << "-" << d;
        const int w = WeekdayOf(t);
        ASSERT_EQ(weekday, w) << y << "-" << m << "-" << d;
        weekday = w % 7 + 1;
        expected += 1.0;
      }
    }
  }
  EXPECT_EQ(2958466.0, expected);
}

TEST(MomentDates, Weekdays) {
  EXPECT_EQ(5, WeekdayOf(38169.0));   // 2004-07-01 was a Thursday
  EXPECT_EQ(7, WeekdayOf(0.0));       // 1899-12-30 was a Saturday
  EXPECT_EQ(2, WeekdayOf(-693593.0)); // 0001-01-01, proleptic: a Monday
  EXPECT_EQ(6, WeekdayOf(2958465.0)); // 9999-12-31: a Friday
  EXPECT_EQ(6, WeekdayOf(-1.25));     // 1899-12-29: a Friday
}

struct TTimeCase {
  std::uint16_t Hour, Minute, Second, Ms;
  double Moment;
};

TEST(MomentTimes, ValuesOfClockTimes) {
  const TTimeCase cases[] = {
      {0, 0, 0, 0, 0.0},
      {12, 0, 0, 0, 0.5},
      {6, 0, 0, 0, 0.25},
      {4, 0, 0, 0, 4.0 / 24.0},
      {23, 59, 59, 999, 86'399'999.0 / MsPerDay},
      {4, 1, 0, 0, 14'460'000.0 / MsPerDay},
  };
  for (const TTimeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Hour << ":" << c.Minute << ":" << c.Second << "." << c.Ms);
    TMoment t = -1;
    ASSERT_TRUE(TryTimeToMoment(c.Hour, c.Minute, c.Second, c.Ms, t));
    EXPECT_EQ(c.Moment, t);
    std::uint16_t h = 0, m = 0, s = 0, ms = 0;
    MomentTime(t, h, m, s, ms);
    EXPECT_TRUE(h == c.Hour && m == c.Minute && s == c.Second && ms == c.Ms);
  }
}

TEST(MomentTimes, OutOfRangeFailsWithTheMessage) {
  const std::uint16_t invalid[][4] = {
      {24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}, {65535, 0, 0, 0}};
  for (const auto& c : invalid) {
    TMoment t = 7.0;
    EXPECT_FALSE(TryTimeToMoment(c[0], c[1], c[2], c[3], t));
    EXPECT_EQ(7.0, t);
    try {
      TimeToMoment(c[0], c[1], c[2], c[3]);
      ADD_FAILURE() << "no failure raised";
    } catch (const EConvertError& e) {
      EXPECT_EQ(txtTimeNotConvertible.Source(), e.Message());
    }
  }
}

TEST(MomentSplit, NegativeMomentsKeepTheTimeAfterMidnight) {
  const TDaySplit s = SplitMoment(-1.25);
  EXPECT_EQ(693593, s.DayNo);
  EXPECT_EQ(21'600'000, s.TimeMs);
  std::uint16_t y = 0, m = 0, d = 0, h = 0, n = 0, sec = 0, ms = 0;
  MomentDate(-1.25, y, m, d);
  MomentTime(-1.25, h, n, sec, ms);
  EXPECT_TRUE(y == 1899 && m == 12 && d == 29);
  EXPECT_TRUE(h == 6 && n == 0 && sec == 0 && ms == 0);
  // -0.25 lies on day 0 like 0.25.
  EXPECT_EQ(693594, SplitMoment(-0.25).DayNo);
  EXPECT_EQ(21'600'000, SplitMoment(-0.25).TimeMs);
}

TEST(MomentSplit, RoundsToTheMillisecond) {
  EXPECT_EQ(693594, SplitMoment(0.0).DayNo);
  EXPECT_EQ(0, SplitMoment(0.0).TimeMs);
  // Less than half a millisecond before midnight is midnight of the next day.
  const TMoment beforeMidnight = 38169.0 + (MsPerDay - 0.4) / MsPerDay;
  const TDaySplit s = SplitMoment(beforeMidnight);
  EXPECT_EQ(0, s.TimeMs);
  EXPECT_EQ(38170 + 693594, s.DayNo);
  std::uint16_t y = 0, m = 0, d = 0, h = 1, n = 1, sec = 1, ms = 1;
  MomentDate(beforeMidnight, y, m, d);
  MomentTime(beforeMidnight, h, n, sec, ms);
  EXPECT_TRUE(y == 2004 && m == 7 && d == 2);
  EXPECT_TRUE(h == 0 && n == 0 && sec == 0 && ms == 0);
  // 0.6 ms before midnight stays on the day.
  const TDaySplit late = SplitMoment(38169.0 + (MsPerDay - 0.6) / MsPerDay);
  EXPECT_EQ(86'399'999, late.TimeMs);
  EXPECT_EQ(38169 + 693594, late.DayNo);
  // Exactly half a millisecond rounds to the even count: 1/2048 of a day is 42,187.5 ms.
  EXPECT_EQ(42'188, SplitMoment(1.0 / 2048).TimeMs);
  EXPECT_EQ(126'562, SplitMoment(3.0 / 2048).TimeMs);
  EXPECT_EQ(126'562, SplitMoment(-3.0 / 2048).TimeMs);
}

TEST(MomentSplit, ValuesBeyondTheCalendarStayDefined) {
  const double odd[] = {1e300, -1e300, INFINITY, -INFINITY, NAN, 3e6, -7e5};
  for (double v : odd) {
    std::uint16_t y, m, d, h, n, s, ms;
    MomentDate(v, y, m, d);
    MomentTime(v, h, n, s, ms);
    const int w = WeekdayOf(v);
    EXPECT_TRUE(w >= 1 && w <= 7) << v;
    EXPECT_TRUE(m <= 12 && d <= 31 && h < 24 && n < 60 && s < 60 && ms < 1000) << v;
  }
}

TEST(MomentTruncation, FracAndTruncRoundTowardsZero) {
  EXPECT_EQ(-0.25L, FracOf(-1.25L));
  EXPECT_EQ(-1, TruncOf(-1.25L));
  EXPECT_EQ(2, TruncOf(2.1666666666666665L));
  EXPECT_EQ(static_cast<double>(FracOf(2.1666666666666665L)),
            static_cast<double>(2.1666666666666665L - 2.0L));
  // The 04:00 fraction of the default rollover.
  EXPECT_NEAR(4.0 / 24.0, static_cast<double>(FracOf(2.1666666666666665L)), 1e-15);
  EXPECT_EQ(0.0L, FracOf(3.0L));
  EXPECT_EQ(0, TruncOf(-0.9L));
  EXPECT_EQ(0, TruncOf(NAN));
  EXPECT_EQ(INT64_MAX, TruncOf(1e30L));
  EXPECT_EQ(INT64_MIN, TruncOf(-1e30L));
}

TEST(MomentClock, NowLocalIsTheSumOfDateAndTime) {
  TRegionalScope scope;
  scope.Platform.Locale.Now = TLocalTime{2004, 7, 1, 4, 1, 2, 345};
  const TMoment now = NowLocal();
  EXPECT_EQ(static_cast<double>(38169.0L + TimeToMoment(4, 1, 2, 345)), now);
  const TDaySplit s = SplitMoment(now);
  EXPECT_EQ(38169 + 693594, s.DayNo);
  EXPECT_EQ(((4 * 60 + 1) * 60 + 2) * 1000 + 345, s.TimeMs);
}

TEST(MomentClock, ImpossibleClockFieldsRaise) {
  TRegionalScope scope;
  scope.Platform.Locale.Now = TLocalTime{2003, 2, 29, 0, 0, 0, 0};
  EXPECT_THROW(NowLocal(), EConvertError);
  scope.Platform.Locale.Now = TLocalTime{2003, 2, 28, 24, 0, 0, 0};
  EXPECT_THROW(NowLocal(), EConvertError);
}

// Every millisecond count of a day survives the trip through the double value.
TEST(MomentTimes, EveryMillisecondOfADaySplitsBack) {
  for (std::int32_t ms = 0; ms < 86'400'000; ms += 997) {
    const std::uint16_t h = static_cast<std::uint16_t>(ms / 3'600'000);
    const std::uint16_t n = static_cast<std::uint16_t>(ms / 60'000 % 60);
    const std::uint16_t s = static_cast<std::uint16_t>(ms / 1000 % 60);
    const std::uint16_t z = static_cast<std::uint16_t>(ms % 1000);
    const TMoment t = static_cast<double>(static_cast<long double>(DateToMoment(9999, 12, 31)) +
                                          TimeToMoment(h, n, s, z));
    ASSERT_EQ(ms, SplitMoment(t).TimeMs);
    const TMoment neg = static_cast<double>(static_cast<long double>(DateToMoment(1, 1, 1)) -
                                            TimeToMoment(h, n, s, z));
    ASSERT_EQ(ms, SplitMoment(neg).TimeMs);
  }
}

} // namespace
