// Reads arbitrary texts as moments and times of day under several regional settings.
// What reads must lie within the calendar and format again without failure; a time of day
// must lie within the day and, where the settings allow it, read back from its own text.
#include "FuzzSettings.h"
#include "datetime/MomentFormat.h"
#include "datetime/MomentParse.h"
#include "platform/Exceptions.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  const bool timeReadsBack = UseSetting(data[0]);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    const TMoment t = TextToMoment(text);
    if (!InCalendar(t))
      std::abort();
    if (MomentToText(t).size() > 256 || TimeOfDayToText(t).size() > 256)
      std::abort();
    (void)FormatMoment("c dddddd tt e g", t);
  } catch (const EConvertError&) {
  }
  try {
    const TMoment t = TextToTimeOfDay(text);
    if (!(t >= 0.0 && t < 1.0))
      std::abort();
    const std::string again = TimeOfDayToText(t);
    if (timeReadsBack) {
      const TMoment back = TextToTimeOfDay(again);
      if (SplitMoment(back).TimeMs != SplitMoment(t).TimeMs / 1000 * 1000)
        std::abort();
    }
  } catch (const EConvertError&) {
  }
  return 0;
}
