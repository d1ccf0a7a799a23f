#include "platform/os/OsLocale.h"

#include "datetime/ExpectedFormats.h"
#include "datetime/MomentFormat.h"
#include "datetime/MomentParse.h"
#include "datetime/RegionalScope.h"

#include <gtest/gtest.h>

#include <clocale>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace {

// Runs a test in one C library locale and puts the process's locale back afterwards.
class OsLocalePosix : public testing::Test {
protected:
  OsLocalePosix() : Native(TOsSlot<TOsLocale>::Native()) {
    const char* current = std::setlocale(LC_ALL, nullptr);
    Saved = current != nullptr ? current : "C";
  }
  ~OsLocalePosix() override { std::setlocale(LC_ALL, Saved.c_str()); }

  bool Use(const char* name) { return std::setlocale(LC_ALL, name) != nullptr; }

  std::optional<std::string> Item(std::uint32_t item, int size = 256) {
    std::string buffer(static_cast<std::size_t>(size), '\x7F');
    const int n = Native.LocaleInfo(0, item, buffer.data(), size);
    if (n <= 0)
      return std::nullopt;
    return buffer.substr(0, static_cast<std::size_t>(n - 1));
  }

  // LoadRegionalFormats against the C library's locale; the formats are put back by the scope.
  void LoadFromNative() {
    TOsSlot<TOsLocale>::Use(nullptr);
    LoadRegionalFormats();
  }

  TOsLocale& Native;
  std::string Saved;
};

#define USE_LOCALE(name)                                                                           \
  if (!Use(name))                                                                                  \
  GTEST_SKIP() << name << " is not installed"

// What one locale answers item by item, what LoadRegionalFormats makes of it, and how a
// moment then reads and writes.
struct TItemCheck {
  std::uint32_t Item;
  int Size;
  std::optional<std::string> Expected; // nothing: the item is not answered
};

struct TLocaleCase {
  const char* Label;
  const char* Name;
  std::uint32_t ThreadLocale;
  std::vector<TItemCheck> Items;
  TExpectedFormats Formats;
  TMoment Moment;
  std::string MomentText;
  const char* Format;
  TMoment FormatAt;
  std::string Formatted;
};

const TLocaleCase LocaleCases[] = {
    {"Japanese",
     "ja_JP.UTF-8",
     0x411,
     {{0x1F, 256, "yyyy/MM/dd"},
      {0x20, 256, "yyyy'年'MM'月'dd'日'"},
      {0x1D, 2, "/"},
      {0x1E, 256, "時"},
      {0x1E, 2, std::nullopt}, // does not fit a separator's buffer
      {0x28, 256, "午前"},
      {0x29, 256, "午後"},
      {0x23, 256, "1"},
      {0x25, 256, "1"},
      {0x44, 256, "1月"},
      {0x43, 256, "12月"},
      {0x30, 256, "日曜日"},
      {0x31, 256, "月"},
      {0x0E, 2, "."}},
     {.TimeSep = ':',
      .ShortDateLayout = "yyyy/MM/dd",
      .AmMarker = "午前",
      .LongTimeLayout = "hh:mm:ss",
      .DayLongNames = {{1, "日曜日"}},
      .PrimaryLang = 17},
     38169.0 + 0.5,
     "2004/07/01 12:00:00",
     "ampm h:nn",
     38169.0 + 0.5 + 65.0 / 1440.0,
     "午後 1:05"},
    {"English",
     "en_US.UTF-8",
     0x409,
     {{0x1F, 256, "MM/dd/yyyy"},
      {0x20, 256, "MMMM d, yyyy"},
      {0x1D, 256, "/"},
      {0x1E, 2, ":"},
      {0x28, 256, "AM"},
      {0x23, 256, "0"},
      {0x25, 256, "1"},
      {0x1005, 256, "0"},
      {0x44, 256, "Jan"},
      {0x38, 256, "January"},
      {0x2A, 256, "Monday"},
      {0x37, 256, "Sun"}},
     {.LongTimeLayout = "hh:mm:ss AMPM"},
     38169.0 + 13.0 / 24.0,
     "07/01/2004 01:00:00 PM",
     "dddd, dddddd",
     38169.0 + 13.0 / 24.0,
     "Thursday, July 1, 2004"},
    {"German",
     "de_DE.UTF-8",
     0x407,
     {{0x1F, 256, "dd/MM/yyyy"},
      {0x20, 256, "d MMMM yyyy"},
      {0x1D, 2, "."},
      {0x0E, 2, ","},
      {0x28, 256, ""},
      {0x23, 256, "1"},
      {0x38, 256, "Januar"},
      {0x30, 256, "Sonntag"}},
     {.DateSep = '.', .DecimalSep = ',', .LongTimeLayout = "hh:mm:ss"},
     38169.0 + 13.0 / 24.0,
     "01.07.2004 13:00:00",
     "dddddd",
     38169.0 + 13.0 / 24.0,
     "1 Juli 2004"},
};

class OsLocalePosixItems : public OsLocalePosix, public testing::WithParamInterface<TLocaleCase> {};

TEST_P(OsLocalePosixItems, AnsweredAndLoaded) {
  const TLocaleCase& c = GetParam();
  USE_LOCALE(c.Name);
  EXPECT_EQ(c.ThreadLocale, Native.ThreadLocale());
  for (const TItemCheck& i : c.Items)
    EXPECT_EQ(i.Expected, Item(i.Item, i.Size))
        << std::hex << "item 0x" << i.Item << std::dec << " in " << i.Size << " bytes";

  TRegionalScope scope;
  LoadFromNative();
  ExpectFormats(c.Formats);
  EXPECT_EQ(c.MomentText, MomentToText(c.Moment));
  EXPECT_EQ(c.Moment, TextToMoment(MomentToText(c.Moment)));
  EXPECT_EQ(c.Formatted, FormatMoment(c.Format, c.FormatAt));
}

INSTANTIATE_TEST_SUITE_P(Locales, OsLocalePosixItems, testing::ValuesIn(LocaleCases),
                         [](const testing::TestParamInfo<TLocaleCase>& info) {
                           return std::string(info.param.Label);
                         });

TEST_F(OsLocalePosix, OtherLayouts) {
  USE_LOCALE("en_GB.UTF-8");
  EXPECT_EQ(0x809u, Native.ThreadLocale());
  EXPECT_EQ("dd/MM/yy", Item(0x1F));
  EXPECT_EQ("1", Item(0x23));
  USE_LOCALE("C");
  EXPECT_EQ("MM/dd/yy", Item(0x1F));
  EXPECT_EQ("1", Item(0x23));
  EXPECT_EQ("1", Item(0x25));
  EXPECT_EQ(0x409u, Native.ThreadLocale());
  USE_LOCALE("hu_HU.UTF-8");
  EXPECT_EQ("yyyy/MM/dd", Item(0x1F));
  EXPECT_EQ("-", Item(0x1D));
}

TEST_F(OsLocalePosix, TextsOutsideUtf8AreNotAnswered) {
  USE_LOCALE("ja_JP.eucJP");
  EXPECT_EQ(std::nullopt, Item(0x28));
  EXPECT_EQ(std::nullopt, Item(0x20));
  EXPECT_EQ("yyyy/MM/dd", Item(0x1F));
}

TEST_F(OsLocalePosix, UnansweredItemsAndSizes) {
  USE_LOCALE("en_US.UTF-8");
  EXPECT_EQ(std::nullopt, Item(0x1003));  // the platform's own time layout
  EXPECT_EQ(std::nullopt, Item(0x1009));  // calendar type
  EXPECT_EQ(std::nullopt, Item(0x100B));  // optional calendar
  EXPECT_EQ(std::nullopt, Item(0x38, 7)); // "January" needs 8 bytes
  EXPECT_EQ("January", Item(0x38, 8));
  EXPECT_EQ(8, Native.LocaleInfo(0, 0x38, nullptr, 0));
  EXPECT_TRUE(Native.CalendarInfo(0x409, 3, 4).empty());
  std::string out = "unchanged";
  EXPECT_FALSE(Native.AltCalendarDate(0x409, 2004, 7, 1, "gg", out));
  EXPECT_EQ("unchanged", out);
}

TEST_F(OsLocalePosix, LocalClock) {
  const std::time_t before = std::time(nullptr);
  const TLocalTime t = Native.LocalTime();
  const std::time_t after = std::time(nullptr);
  std::tm a{}, b{};
  localtime_r(&before, &a);
  localtime_r(&after, &b);
  EXPECT_TRUE(t.Year == a.tm_year + 1900 || t.Year == b.tm_year + 1900);
  EXPECT_TRUE(t.Day == a.tm_mday || t.Day == b.tm_mday);
  EXPECT_TRUE(t.Minute == a.tm_min || t.Minute == b.tm_min);
  EXPECT_LT(t.Milliseconds, 1000);
  EXPECT_LT(t.Hour, 24);
  EXPECT_LT(t.Second, 60);
}

} // namespace
