#pragma once

#include "datetime/Moment.h"

#include <string>

// Reads a date, a date and a time, or a time; raises EConvertError.
TMoment TextToMoment(const std::string& s);
// Reads a time of day (a value in [0, 1)); raises EConvertError.
TMoment TextToTimeOfDay(const std::string& s);
