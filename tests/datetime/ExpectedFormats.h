#pragma once

// An expected regional-settings record for tests: only the fields given are compared with
// RegionalFormats, and a difference names the field (and the slot, for the name and era arrays).

#include "datetime/RegionalFormats.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

struct TExpectedFormats {
  std::optional<char> DateSep{}, TimeSep{}, DecimalSep{};
  std::optional<std::string> ShortDateLayout{}, LongDateLayout{};
  std::optional<std::string> AmMarker{}, PmMarker{};
  std::optional<std::string> ShortTimeLayout{}, LongTimeLayout{};
  // Slot to text, for the slots given.
  std::map<std::size_t, std::string> MonthShortNames{}, MonthLongNames{};
  std::map<std::size_t, std::string> DayShortNames{}, DayLongNames{};
  std::optional<std::uint16_t> YearWindow{};
  std::optional<std::uint32_t> LocaleId{};
  std::optional<std::uint16_t> PrimaryLang{}, SubLang{};
  std::map<std::size_t, std::string> EraLabels{};
  std::map<std::size_t, std::int32_t> EraOffsets{};
};

namespace expected_formats {

template <class T, class U>
void Field(const char* name, const std::optional<T>& expected, const U& actual) {
  if (expected) {
    EXPECT_EQ(*expected, actual) << "field " << name;
  }
}

template <class T, std::size_t N>
void Slots(const char* name, const std::map<std::size_t, T>& expected,
           const std::array<T, N>& actual) {
  for (const auto& [slot, value] : expected)
    EXPECT_EQ(value, actual.at(slot)) << "field " << name << "[" << slot << "]";
}

} // namespace expected_formats

inline void ExpectFormats(const TExpectedFormats& e, const TRegionalFormats& r = RegionalFormats) {
  using expected_formats::Field;
  using expected_formats::Slots;
  Field("DateSep", e.DateSep, r.DateSep);
  Field("TimeSep", e.TimeSep, r.TimeSep);
  Field("DecimalSep", e.DecimalSep, r.DecimalSep);
  Field("ShortDateLayout", e.ShortDateLayout, r.ShortDateLayout);
  Field("LongDateLayout", e.LongDateLayout, r.LongDateLayout);
  Field("AmMarker", e.AmMarker, r.AmMarker);
  Field("PmMarker", e.PmMarker, r.PmMarker);
  Field("ShortTimeLayout", e.ShortTimeLayout, r.ShortTimeLayout);
  Field("LongTimeLayout", e.LongTimeLayout, r.LongTimeLayout);
  Slots("MonthShortNames", e.MonthShortNames, r.MonthShortNames);
  Slots("MonthLongNames", e.MonthLongNames, r.MonthLongNames);
  Slots("DayShortNames", e.DayShortNames, r.DayShortNames);
  Slots("DayLongNames", e.DayLongNames, r.DayLongNames);
  Field("YearWindow", e.YearWindow, r.YearWindow);
  Field("LocaleId", e.LocaleId, r.LocaleId);
  Field("PrimaryLang", e.PrimaryLang, r.PrimaryLang);
  Field("SubLang", e.SubLang, r.SubLang);
  Slots("EraLabels", e.EraLabels, r.EraLabels);
  Slots("EraOffsets", e.EraOffsets, r.EraOffsets);
}
