// Formats arbitrary moments (any bit pattern) by arbitrary patterns under several regional
// settings: formatting never fails and never writes more than 256 bytes.
#include "FuzzSettings.h"
#include "datetime/MomentFormat.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9)
    return 0;
  TMoment t = 0;
  std::memcpy(&t, data, sizeof t);
  UseSetting(data[8]);
  const std::string pattern(reinterpret_cast<const char*>(data + 9), size - 9);
  if (FormatMoment(pattern, t).size() > 256)
    std::abort();
  // Layouts are inserted one level deep: the pattern as a layout as well.
  RegionalFormats.ShortDateLayout = pattern;
  RegionalFormats.LongTimeLayout = pattern;
  if (MomentToText(t).size() > 256 || TimeOfDayToText(t).size() > 256)
    std::abort();
  return 0;
}
