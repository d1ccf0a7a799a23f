#include "datetime/RegionalFormats.h"

#include "ExpectedFormats.h"
#include "RegionalScope.h"

#include <gtest/gtest.h>

namespace {

struct TAsked {
  std::uint32_t Item;
  int Size;
  bool operator==(const TAsked&) const = default;
};

// The scripted locale, also noting every item asked for and the calendar
// enumerations.
class TRecordingLocale : public TFakeLocale {
public:
  std::vector<TAsked> Asked;
  std::vector<std::uint32_t> Lcids;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> Enumerated; // calendar, kind
  int LocaleInfo(std::uint32_t lcid, std::uint32_t item, char* buffer, int size) override {
    Asked.push_back({item, size});
    Lcids.push_back(lcid);
    return TFakeLocale::LocaleInfo(lcid, item, buffer, size);
  }
  std::vector<std::string> CalendarInfo(std::uint32_t lcid, std::uint32_t calendar,
                                        std::uint32_t calType) override {
    Enumerated.emplace_back(calendar, calType);
    return TFakeLocale::CalendarInfo(lcid, calendar, calType);
  }
};

class RegionalLoad : public testing::Test {
protected:
  RegionalLoad() { TOsSlot<TOsLocale>::Use(&Locale); }
  TRegionalScope Scope;
  TRecordingLocale Locale;
};

TEST_F(RegionalLoad, NothingFromThePlatformGivesTheFallbacks) {
  RegionalFormats.DateSep = '#';
  RegionalFormats.EraLabels[1] = "stale";
  LoadRegionalFormats();
  const TRegionalFormats& r = RegionalFormats;
  const TRegionalFormats f;
  ExpectFormats({.DateSep = '/',
                 .TimeSep = ':',
                 .DecimalSep = '.',
                 .ShortDateLayout = "m/d/yy",
                 .LongDateLayout = "mmmm d, yyyy",
                 .AmMarker = "am",
                 .PmMarker = "pm",
                 .ShortTimeLayout = "h:mm AMPM",
                 .LongTimeLayout = "h:mm:ss AMPM",
                 .MonthShortNames = {{1, "Jan"}},
                 .MonthLongNames = {{12, "December"}},
                 .DayShortNames = {{1, "Sun"}},
                 .DayLongNames = {{7, "Saturday"}},
                 .YearWindow = 50,
                 .LocaleId = 0x409,
                 .PrimaryLang = 9,
                 .SubLang = 1});
  EXPECT_EQ(f.MonthShortNames, r.MonthShortNames);
  EXPECT_EQ(f.MonthLongNames, r.MonthLongNames);
  EXPECT_EQ(f.DayShortNames, r.DayShortNames);
  EXPECT_EQ(f.DayLongNames, r.DayLongNames);
  for (int i = 1; i <= 7; ++i) {
    EXPECT_EQ("", r.EraLabels[i]);
    EXPECT_EQ(0, r.EraOffsets[i]);
  }
}

TEST_F(RegionalLoad, ItemsAreAskedInOrderWithTheirBufferSizes) {
  Locale.Lcid = 0x407;
  LoadRegionalFormats();
  std::vector<TAsked> expected;
  for (std::uint32_t m = 0; m < 12; ++m) {
    expected.push_back({0x44 + m, 256});
    expected.push_back({0x38 + m, 256});
  }
  const std::uint32_t days[7] = {6, 0, 1, 2, 3, 4, 5}; // Sunday first
  for (std::uint32_t d : days) {
    expected.push_back({0x31 + d, 256});
    expected.push_back({0x2A + d, 256});
  }
  for (TAsked a : std::vector<TAsked>{{0x0E, 2},
                                      {0x1D, 2},
                                      {0x1F, 256},
                                      {0x1009, 256},
                                      {0x20, 256},
                                      {0x1009, 256},
                                      {0x1E, 2},
                                      {0x28, 256},
                                      {0x29, 256},
                                      {0x25, 256},
                                      {0x23, 256},
                                      {0x1005, 256}})
    expected.push_back(a);
  EXPECT_EQ(expected, Locale.Asked);
  for (std::uint32_t lcid : Locale.Lcids)
    EXPECT_EQ(0x407u, lcid);
  EXPECT_TRUE(Locale.Enumerated.empty());
}

TEST_F(RegionalLoad, PlatformValuesAreTaken) {
  Locale.Items = {{0x0E, ","},
                  {0x1D, "."},
                  {0x1E, "."},
                  {0x1F, "dd.MM.yyyy"},
                  {0x20, "dddd, d. MMMM yyyy"},
                  {0x28, "vorm."},
                  {0x29, "nachm."},
                  {0x25, "1"},
                  {0x23, "1"},
                  {0x44, "Jan."},
                  {0x38, "Januar"},
                  {0x4F, "Dez."},
                  {0x43, "Dezember"},
                  {0x37, "So"},
                  {0x30, "Sonntag"},
                  {0x31, "Mo"},
                  {0x2A, "Montag"},
                  {0x36, "Sa"},
                  {0x2F, "Samstag"},
                  {0x1003, "HH:mm:ss"}};
  LoadRegionalFormats();
  ExpectFormats({.DateSep = '.',
                 .TimeSep = '.',
                 .DecimalSep = ',',
                 .ShortDateLayout = "dd.MM.yyyy",
                 .LongDateLayout = "dddd, d. MMMM yyyy",
                 .AmMarker = "vorm.",
                 .PmMarker = "nachm.",
                 .ShortTimeLayout = "hh:mm",
                 .LongTimeLayout = "hh:mm:ss",
                 .MonthShortNames = {{1, "Jan."}, {2, "Feb"}, {12, "Dez."}},
                 .MonthLongNames = {{1, "Januar"}, {12, "Dezember"}},
                 .DayShortNames = {{1, "So"}, {2, "Mo"}, {7, "Sa"}},
                 .DayLongNames = {{1, "Sonntag"}, {2, "Montag"}, {3, "Tuesday"}, {7, "Samstag"}}});
  // The platform's own time layout is never asked for.
  for (const TAsked& a : Locale.Asked)
    EXPECT_NE(0x1003u, a.Item);
}

TEST_F(RegionalLoad, EmptyNamesAndLongSeparatorsFallBack) {
  Locale.Items = {{0x1D, "--"}, {0x1E, "::"}, {0x0E, ""}, {0x44, ""},
                  {0x30, ""},   {0x28, ""},   {0x1F, ""}};
  LoadRegionalFormats();
  ExpectFormats({.DateSep = '/',
                 .TimeSep = ':',
                 .DecimalSep = '\0', // an empty separator is the zero byte
                 .ShortDateLayout = "",
                 .AmMarker = "", // markers may be empty
                 .MonthShortNames = {{1, "Jan"}},
                 .DayLongNames = {{1, "Sunday"}}});
  // A text that does not fit 256 bytes counts as missing.
  Locale.Items = {{0x1F, std::string(255, 'd')}, {0x20, std::string(256, 'd')}};
  LoadRegionalFormats();
  ExpectFormats({.ShortDateLayout = std::string(255, 'd'), .LongDateLayout = "mmmm d, yyyy"});
}

TEST_F(RegionalLoad, TimeLayoutsAreBuilt) {
  struct TCase {
    const char *LeadingZero, *TwentyFour, *MarkerFirst;
    const char *Short, *Long;
  };
  const TCase cases[] = {
      {nullptr, nullptr, nullptr, "h:mm AMPM", "h:mm:ss AMPM"},
      {"1", "1", nullptr, "hh:mm", "hh:mm:ss"},
      {"0", "1", "1", "h:mm", "h:mm:ss"},
      {"0", "0", "1", "AMPM h:mm", "AMPM h:mm:ss"},
      {"1", "0", "0", "hh:mm AMPM", "hh:mm:ss AMPM"},
      {"x", "1", nullptr, "h:mm", "h:mm:ss"},
      {"1", "two", "1", "AMPM hh:mm", "AMPM hh:mm:ss"},
      {"2", " 1", nullptr, "hh:mm", "hh:mm:ss"},
  };
  for (const TCase& c : cases) {
    Locale.Items.clear();
    if (c.LeadingZero)
      Locale.Items[0x25] = c.LeadingZero;
    if (c.TwentyFour)
      Locale.Items[0x23] = c.TwentyFour;
    if (c.MarkerFirst)
      Locale.Items[0x1005] = c.MarkerFirst;
    LoadRegionalFormats();
    SCOPED_TRACE(c.Long);
    ExpectFormats({.ShortTimeLayout = c.Short, .LongTimeLayout = c.Long});
  }
}

TEST_F(RegionalLoad, LocaleIdentity) {
  struct TCase {
    std::uint32_t Thread, Id;
    std::uint16_t Primary, Sub;
  };
  const TCase cases[] = {{0, 0x409, 9, 1},      {0x411, 0x411, 17, 1},    {0x804, 0x804, 4, 2},
                         {0x404, 0x404, 4, 1},  {0x10000, 0x10000, 9, 1}, {0x20411, 0x20411, 17, 1},
                         {0x412, 0x412, 18, 1}, {0x407, 0x407, 7, 1}};
  for (const TCase& c : cases) {
    Locale.Lcid = c.Thread;
    LoadRegionalFormats();
    SCOPED_TRACE(testing::Message() << std::hex << c.Thread);
    ExpectFormats({.LocaleId = c.Id, .PrimaryLang = c.Primary, .SubLang = c.Sub});
  }
}

TEST_F(RegionalLoad, DateLayoutsFitTheCalendar) {
  DoubleByteSystem = true;
  LeadByteSet = Cp932LeadBytes();
  struct TCase {
    std::uint32_t Lcid;
    const char* Calendar;
    std::string Layout, Expected;
  };
  const std::vector<TCase> cases = {
      {0x411, "3", "gg yyyy/MM/dd", "ggg eeee/MM/dd"},
      {0x411, "3", "GGgg yy/M/d", "gggggg ee/M/d"},
      {0x411, "3", "y yyy Yy", "e eee ee"},
      {0x411, "3", "yyyy" + Sjis::Nen + "M", "eeee" + Sjis::Nen + "M"},
      {0x411, "3", Sjis::To + "gg", Sjis::To + "ggg"},
      {0x411, "4", "gg", "ggg"},
      {0x411, "5", "yy", "ee"},
      {0x411, "1", "gg yyyy/MM/dd", " yyyy/MM/dd"},
      {0x411, nullptr, "Gg'" + Sjis::To + "'yy", "'" + Sjis::To + "'yy"},
      {0x404, "1", "ggyyyy", "yyyy"},
      {0x412, "x", "ggyyyy", "yyyy"},
      {0x409, "1", "gg yyyy", "gg yyyy"},
      {0x409, "2", "gg yyyy", "gg yyyy"},
  };
  for (const TCase& c : cases) {
    Locale.Lcid = c.Lcid;
    Locale.Items.clear();
    if (c.Calendar)
      Locale.Items[0x1009] = c.Calendar;
    Locale.Items[0x1F] = c.Layout;
    Locale.Items[0x20] = c.Layout;
    LoadRegionalFormats();
    SCOPED_TRACE(c.Layout);
    ExpectFormats({.ShortDateLayout = c.Expected, .LongDateLayout = c.Expected});
  }
}

TEST_F(RegionalLoad, EraTableOnADoubleByteSystem) {
  DoubleByteSystem = true;
  LeadByteSet = Cp932LeadBytes();
  Locale.Lcid = 0x411;
  Locale.Items[0x100B] = "3";
  Locale.Calendar[4] = {"M", "T", "S", "H", "R"};
  Locale.Calendar[3] = {"1868", "1912", "x", "1989", "2019"};
  LoadRegionalFormats();
  const std::vector<std::pair<std::uint32_t, std::uint32_t>> enumerated = {{3, 4}, {3, 3}};
  EXPECT_EQ(enumerated, Locale.Enumerated);
  const std::array<std::string, 8> labels = {"", "M", "T", "S", "H", "R", "", ""};
  const std::array<std::int32_t, 8> offsets = {0, 1868, 1912, 0, 1989, 2019, -1, -1};
  EXPECT_EQ(labels, RegionalFormats.EraLabels);
  EXPECT_EQ(offsets, RegionalFormats.EraOffsets);

  // At most seven eras are kept.
  Locale.Calendar[4] = {"1", "2", "3", "4", "5", "6", "7", "8", "9"};
  Locale.Calendar[3] = {"1", "2", "3", "4", "5", "6", "7", "8", "9"};
  LoadRegionalFormats();
  ExpectFormats({.EraLabels = {{7, "7"}}, .EraOffsets = {{7, 7}}});

  // Only the era calendars fill it.
  Locale.Items[0x100B] = "1";
  Locale.Enumerated.clear();
  LoadRegionalFormats();
  EXPECT_TRUE(Locale.Enumerated.empty());
  ExpectFormats({.EraLabels = {{1, ""}}, .EraOffsets = {{1, 0}}});
  Locale.Items[0x100B] = "5";
  LoadRegionalFormats();
  EXPECT_EQ(5u, Locale.Enumerated.back().first);
}

TEST_F(RegionalLoad, NoEraTableOnASingleByteSystem) {
  Locale.Items[0x100B] = "3";
  Locale.Calendar[4] = {"H"};
  Locale.Calendar[3] = {"1989"};
  LoadRegionalFormats();
  EXPECT_TRUE(Locale.Enumerated.empty());
  for (const TAsked& a : Locale.Asked)
    EXPECT_NE(0x100Bu, a.Item);
  ExpectFormats({.EraLabels = {{1, ""}}, .EraOffsets = {{1, 0}}});
}

} // namespace
