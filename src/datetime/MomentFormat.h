#pragma once

#include "datetime/Moment.h"

#include <string>

// Pattern formatting of a moment; the result is at most 256 bytes.
std::string FormatMoment(const std::string& pattern, TMoment t);
// Regional short date, then the regional long time unless the time is 00:00:00.
std::string MomentToText(TMoment t);
// Regional long time; the date part of t is ignored.
std::string TimeOfDayToText(TMoment t);
