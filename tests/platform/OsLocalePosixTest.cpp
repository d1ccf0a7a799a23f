#include "platform/OsLocale.h"

#include "../datetime/RegionalScope.h"
#include "datetime/MomentFormat.h"
#include "datetime/MomentParse.h"

#include <gtest/gtest.h>

#include <clocale>
#include <ctime>
#include <optional>

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

TEST_F(OsLocalePosix, JapaneseItems) {
  USE_LOCALE("ja_JP.UTF-8");
  EXPECT_EQ(0x411u, Native.ThreadLocale());
  EXPECT_EQ("yyyy/MM/dd", Item(0x1F));
  EXPECT_EQ("yyyy'年'MM'月'dd'日'", Item(0x20));
  EXPECT_EQ("/", Item(0x1D, 2));
  EXPECT_EQ("時", Item(0x1E));
  EXPECT_EQ(std::nullopt, Item(0x1E, 2)); // does not fit a separator's buffer
  EXPECT_EQ("午前", Item(0x28));
  EXPECT_EQ("午後", Item(0x29));
  EXPECT_EQ("1", Item(0x23));
  EXPECT_EQ("1", Item(0x25));
  EXPECT_EQ("1月", Item(0x44));
  EXPECT_EQ("12月", Item(0x43));
  EXPECT_EQ("日曜日", Item(0x30));
  EXPECT_EQ("月", Item(0x31));
  EXPECT_EQ(".", Item(0x0E, 2));

  TRegionalScope scope;
  LoadFromNative();
  EXPECT_EQ(17, RegionalFormats.PrimaryLang);
  EXPECT_EQ("yyyy/MM/dd", RegionalFormats.ShortDateLayout);
  EXPECT_EQ(':', RegionalFormats.TimeSep);
  EXPECT_EQ("hh:mm:ss", RegionalFormats.LongTimeLayout);
  EXPECT_EQ("午前", RegionalFormats.AmMarker);
  EXPECT_EQ("日曜日", RegionalFormats.DayLongNames[1]);
  const TMoment t = 38169.0 + 0.5;
  EXPECT_EQ("2004/07/01 12:00:00", MomentToText(t));
  EXPECT_EQ(t, TextToMoment(MomentToText(t)));
  EXPECT_EQ("午後 1:05", FormatMoment("ampm h:nn", t + 65.0 / 1440.0));
}

TEST_F(OsLocalePosix, EnglishItems) {
  USE_LOCALE("en_US.UTF-8");
  EXPECT_EQ(0x409u, Native.ThreadLocale());
  EXPECT_EQ("MM/dd/yyyy", Item(0x1F));
  EXPECT_EQ("MMMM d, yyyy", Item(0x20));
  EXPECT_EQ("/", Item(0x1D));
  EXPECT_EQ(":", Item(0x1E, 2));
  EXPECT_EQ("AM", Item(0x28));
  EXPECT_EQ("0", Item(0x23));
  EXPECT_EQ("1", Item(0x25));
  EXPECT_EQ("0", Item(0x1005));
  EXPECT_EQ("Jan", Item(0x44));
  EXPECT_EQ("January", Item(0x38));
  EXPECT_EQ("Monday", Item(0x2A));
  EXPECT_EQ("Sun", Item(0x37));

  TRegionalScope scope;
  LoadFromNative();
  EXPECT_EQ("hh:mm:ss AMPM", RegionalFormats.LongTimeLayout);
  const TMoment t = 38169.0 + 13.0 / 24.0;
  EXPECT_EQ("07/01/2004 01:00:00 PM", MomentToText(t));
  EXPECT_EQ(t, TextToMoment(MomentToText(t)));
  EXPECT_EQ("Thursday, July 1, 2004", FormatMoment("dddd, dddddd", t));
}

TEST_F(OsLocalePosix, GermanItems) {
  USE_LOCALE("de_DE.UTF-8");
  EXPECT_EQ(0x407u, Native.ThreadLocale());
  EXPECT_EQ("dd/MM/yyyy", Item(0x1F));
  EXPECT_EQ("d MMMM yyyy", Item(0x20));
  EXPECT_EQ(".", Item(0x1D, 2));
  EXPECT_EQ(",", Item(0x0E, 2));
  EXPECT_EQ("", Item(0x28));
  EXPECT_EQ("1", Item(0x23));
  EXPECT_EQ("Januar", Item(0x38));
  EXPECT_EQ("Sonntag", Item(0x30));

  TRegionalScope scope;
  LoadFromNative();
  EXPECT_EQ('.', RegionalFormats.DateSep);
  EXPECT_EQ(',', RegionalFormats.DecimalSep);
  EXPECT_EQ("hh:mm:ss", RegionalFormats.LongTimeLayout);
  const TMoment t = 38169.0 + 13.0 / 24.0;
  EXPECT_EQ("01.07.2004 13:00:00", MomentToText(t));
  EXPECT_EQ(t, TextToMoment(MomentToText(t)));
  EXPECT_EQ("1 Juli 2004", FormatMoment("dddddd", t));
}

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
