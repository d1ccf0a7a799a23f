#pragma once

#include <cstdint>

// A point in local time: days since 1899-12-30 in the integer part, the time of day
// (milliseconds since midnight / 86,400,000) in the fraction.
using TMoment = double;

// A moment as two integers.
struct TDaySplit {
  std::int32_t TimeMs = 0; // milliseconds since midnight, 0 to 86,399,999
  std::int32_t DayNo = 0;  // days counted from 0001-01-01 = 1; 1899-12-30 is 693594
};

TMoment NowLocal();
TMoment DateToMoment(std::uint16_t year, std::uint16_t month, std::uint16_t day);
bool TryDateToMoment(std::uint16_t year, std::uint16_t month, std::uint16_t day, TMoment& t);
TMoment TimeToMoment(std::uint16_t hour, std::uint16_t minute, std::uint16_t second,
                     std::uint16_t ms);
bool TryTimeToMoment(std::uint16_t hour, std::uint16_t minute, std::uint16_t second,
                     std::uint16_t ms, TMoment& t);
TDaySplit SplitMoment(TMoment t);
void MomentDate(TMoment t, std::uint16_t& year, std::uint16_t& month, std::uint16_t& day);
void MomentTime(TMoment t, std::uint16_t& hour, std::uint16_t& minute, std::uint16_t& second,
                std::uint16_t& ms);
// 1 = Sunday to 7 = Saturday.
int WeekdayOf(TMoment t);
bool IsLeap(int year);
// x minus its truncation towards zero, computed exactly.
long double FracOf(long double x);
// x rounded towards zero.
std::int64_t TruncOf(long double x);
