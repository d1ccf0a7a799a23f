#include "datetime/MomentParse.h"

#include "RegionalScope.h"
#include "datetime/MomentFormat.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// A message of the table with its "%s" filled in.
std::string Filled(const TText& pattern, const std::string& value) {
  std::string text = pattern.Source();
  return text.replace(text.find("%s"), 2, value);
}

TMoment At(std::uint16_t y, std::uint16_t mo, std::uint16_t d, std::uint16_t h = 0,
           std::uint16_t mi = 0, std::uint16_t s = 0, std::uint16_t ms = 0) {
  return static_cast<double>(static_cast<long double>(DateToMoment(y, mo, d)) +
                             TimeToMoment(h, mi, s, ms));
}

TMoment Time(std::uint16_t h, std::uint16_t mi = 0, std::uint16_t s = 0, std::uint16_t ms = 0) {
  return TimeToMoment(h, mi, s, ms);
}

struct TAccept {
  std::string Text;
  TMoment Expected;
};

class MomentParse : public testing::Test {
protected:
  TRegionalScope Scope; // the clock stands at 2004-07-01 07:30

  static void ExpectAccepted(const std::vector<TAccept>& cases, bool timeOfDay) {
    for (const TAccept& c : cases) {
      try {
        EXPECT_EQ(c.Expected, timeOfDay ? TextToTimeOfDay(c.Text) : TextToMoment(c.Text))
            << "text «" << c.Text << "»";
      } catch (const EConvertError& e) {
        ADD_FAILURE() << "text «" << c.Text << "» rejected: " << e.Message();
      }
    }
  }
  static void ExpectRejected(const std::vector<std::string>& texts, bool timeOfDay) {
    for (const std::string& s : texts) {
      try {
        const TMoment t = timeOfDay ? TextToTimeOfDay(s) : TextToMoment(s);
        ADD_FAILURE() << "text «" << s << "» accepted as " << t;
      } catch (const EConvertError& e) {
        EXPECT_EQ(Filled(timeOfDay ? txtNotATime : txtNotADateOrTime, s), e.Message());
      }
    }
  }
};

TEST_F(MomentParse, TimesOfDayAccepted) {
  ExpectAccepted({{"4", Time(4)},
                  {"4:01", Time(4, 1)},
                  {"4:01:02", Time(4, 1, 2)},
                  {"4:01:02.5", Time(4, 1, 2, 5)},
                  {"4:01:02.500", Time(4, 1, 2, 500)},
                  {" 4 : 01 : 02 . 5 ", Time(4, 1, 2, 5)},
                  {"0004:01", Time(4, 1)},
                  {"0:00", Time(0)},
                  {"23:59:59.999", Time(23, 59, 59, 999)},
                  {"4 am", Time(4)},
                  {"4 pm", Time(16)},
                  {"4pm", Time(16)},
                  {"4:01:00 PM", Time(16, 1)},
                  {"pm 4", Time(16)},
                  {"AM 4:30", Time(4, 30)},
                  {"12 am", Time(0)},
                  {"12:30 AM", Time(0, 30)},
                  {"12 pm", Time(12)},
                  {"4.5", Time(4, 0, 0, 5)}},
                 true);
}

TEST_F(MomentParse, TimesOfDayRejected) {
  ExpectRejected({"", " ", "4:", "24:00", "13 pm", "0 am", "4:60", "4:01:60", "4:01:02.",
                  "4:01:02.1000", "4:01 x", "\t4", "x", "4 am pm", "am", "-4", "4::01",
                  "4:01:02:03", "7/1/04"},
                 true);
}

TEST_F(MomentParse, MomentsAccepted) {
  ExpectAccepted({{"7/1/04", At(2004, 7, 1)},
                  {"7/1/2004", At(2004, 7, 1)},
                  {"7/1/04 4:01:00 am", At(2004, 7, 1, 4, 1)},
                  {"7/1/04 4:01:00 pm", At(2004, 7, 1, 16, 1)},
                  {"7/1/04 4", At(2004, 7, 1, 4)},
                  {"7/1", At(2004, 7, 1)},
                  {"7/1/04/", At(2004, 7, 1)},
                  {" 7 / 1 / 04 ", At(2004, 7, 1)},
                  {"7/1/04 4:01 and more", At(2004, 7, 1, 4, 1)},
                  {"7/1/04 4:01:00 am trailing text", At(2004, 7, 1, 4, 1)},
                  {"7/1/0004", At(4, 7, 1)},
                  {"7/1/4", At(2004, 7, 1)},
                  {"7/1/200412", At(2004, 7, 1, 12)},
                  {"2/29/2004", At(2004, 2, 29)},
                  {"12/31/9999 23:59:59", At(9999, 12, 31, 23, 59, 59)},
                  {"1/1/0001", At(1, 1, 1)},
                  {"12/29/1899 6:00", -1.25},
                  {"4:01", Time(4, 1)},
                  {"4 pm", Time(16)}},
                 false);
}

TEST_F(MomentParse, MomentsRejected) {
  ExpectRejected({"", "   ", "7/", "7/1/", "2/30/2004", "2/29/2003", "13/1/2004", "0/1/2004",
                  "7/1/04 x", "7/1/04 25:00", "7-1-04", "x", "7/1/0000", "7/1/04 4:", "'quoted' %s",
                  "4:01 x"},
                 false);
}

TEST_F(MomentParse, MessagesCarryTheInputUnchanged) {
  try {
    TextToMoment("100%s 'x'");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(Filled(txtNotADateOrTime, "100%s 'x'"), e.Message());
  }
  try {
    TextToTimeOfDay("4:");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(Filled(txtNotATime, "4:"), e.Message());
  }
}

TEST_F(MomentParse, TwoDigitYearWindow) {
  struct TWindowCase {
    std::uint16_t Now;
    const char* Text;
    std::uint16_t Year;
  };
  const TWindowCase cases[] = {
      {2004, "1/1/54", 1954}, {2004, "1/1/53", 2053}, {2004, "1/1/04", 2004},
      {1955, "7/1/04", 2004}, {2054, "7/1/04", 2004}, {2055, "7/1/04", 2104},
      {1954, "7/1/04", 1904}, {2004, "1/1/99", 1999}, {2004, "1/1/00", 2000},
      {2004, "1/1/0099", 99}, {2004, "1/1/099", 99},  {2004, "1/1/4", 2004},
  };
  for (const TWindowCase& c : cases) {
    Scope.Platform.Locale.Now.Year = c.Now;
    std::uint16_t y = 0, m = 0, d = 0;
    MomentDate(TextToMoment(c.Text), y, m, d);
    EXPECT_EQ(c.Year, y) << c.Text << " in " << c.Now;
  }
  RegionalFormats.YearWindow = 0;
  Scope.Platform.Locale.Now.Year = 2004;
  std::uint16_t y = 0, m = 0, d = 0;
  MomentDate(TextToMoment("1/1/99"), y, m, d);
  EXPECT_EQ(2099, y);
  MomentDate(TextToMoment("1/1/03"), y, m, d);
  EXPECT_EQ(2003, y);
  // Two numbers: the current year.
  Scope.Platform.Locale.Now.Year = 2031;
  EXPECT_EQ(At(2031, 7, 1), TextToMoment("7/1"));
}

TEST_F(MomentParse, FieldOrderFollowsTheShortDateLayout) {
  RegionalFormats = DayMonthYearFormats();
  ExpectAccepted({{"01.07.2004", At(2004, 7, 1)},
                  {"1.7", At(2004, 7, 1)},
                  {"1.7.04 13:05:09", At(2004, 7, 1, 13, 5, 9)},
                  {"1.7.04 13:05:09,5", At(2004, 7, 1, 13, 5, 9, 5)}},
                 false);
  ExpectRejected({"7/1/04", "31.6.2004"}, false);
  RegionalFormats = JapaneseFormats();
  ExpectAccepted({{"2004/07/01", At(2004, 7, 1)}, {"07/01", At(2004, 7, 1)}}, false);
  RegionalFormats.ShortDateLayout = "'x' e/m/d";
  EXPECT_EQ(At(2004, 7, 1), TextToMoment("2004/7/1"));
  RegionalFormats.ShortDateLayout = "'q'";
  EXPECT_EQ(At(2004, 7, 1), TextToMoment("7/1/2004"));
  RegionalFormats.ShortDateLayout = "Dd/M/y";
  EXPECT_EQ(At(2004, 7, 1), TextToMoment("1/7/2004"));
}

TEST_F(MomentParse, FieldOrderPassesOverDoubleByteCharacters) {
  // ヅ is 0x83 0x64: its trail byte is a d, which must not make the order day-month-year.
  RegionalFormats.ShortDateLayout = "'\x83\x64'yyyy/MM/dd";
  DoubleByteSystem = true;
  LeadByteSet = Cp932LeadBytes();
  EXPECT_EQ(At(2004, 7, 1), TextToMoment("2004/07/01"));
}

TEST_F(MomentParse, MarkersCompareThroughThePlatform) {
  RegionalFormats = EnglishTwelveHourFormats();
  ExpectAccepted({{"1:05:09 pm", Time(13, 5, 9)}, {"1:05:09 Pm", Time(13, 5, 9)}}, true);
  RegionalFormats.AmMarker = "vorm.";
  RegionalFormats.PmMarker = "nachm.";
  ExpectAccepted({{"4 NACHM.", Time(16)}, {"vorm. 4", Time(4)}, {"4 pm", Time(16)}}, true);
  RegionalFormats.AmMarker = "";
  RegionalFormats.PmMarker = "";
  ExpectAccepted({{"4 AM", Time(4)}, {"4 PM", Time(16)}, {"4", Time(4)}}, true);
}

TEST_F(MomentParse, DayNamesAreSkippedOnADoubleByteSystem) {
  RegionalFormats = JapaneseFormats();
  RegionalFormats.ShortDateLayout = "yyyy/MM/dd ddd";
  const std::string dayName = "(\x96\xD8)"; // (木)
  const std::string withMarker = "2004/07/01 " + dayName + " " + Sjis::Gogo + " 1:05:09";
  const std::string twentyFour = "2004/07/01 " + dayName + " 13:05:09";
  EXPECT_THROW(TextToMoment(withMarker), EConvertError);
  DoubleByteSystem = true;
  LeadByteSet = Cp932LeadBytes();
  EXPECT_EQ(At(2004, 7, 1, 13, 5, 9), TextToMoment(withMarker));
  // A 24-hour time after the day name is skipped with it.
  EXPECT_EQ(At(2004, 7, 1), TextToMoment(twentyFour));
  EXPECT_EQ(At(2004, 7, 1, 4), TextToMoment("2004/07/01 word word  " + Sjis::Gozen + "4"));
}

class MomentParseEra : public MomentParse {
protected:
  void SetUp() override {
    DoubleByteSystem = true;
    LeadByteSet = Cp932LeadBytes();
    RegionalFormats = JapaneseFormats();
    RegionalFormats.ShortDateLayout = "ggge/MM/dd";
    RegionalFormats.EraLabels[1] = Sjis::Reiwa;
    RegionalFormats.EraLabels[2] = Sjis::Heisei;
    RegionalFormats.EraLabels[3] = "\x8F\xBA\x98\x61"; // 昭和
    RegionalFormats.EraOffsets = {0, 2019, 1989, 1926, -1, -1, -1, -1};
  }
};

TEST_F(MomentParseEra, EraNameChoosesTheOffset) {
  ExpectAccepted({{(Sjis::Heisei + "16/07/01"), At(2004, 7, 1)},
                  {(" " + Sjis::Heisei + " 16/07/01"), At(2004, 7, 1)},
                  {(Sjis::Reiwa + "6/07/01 4:00"), At(2024, 7, 1, 4)},
                  {("\x8F\xBA\x98\x61"
                    "64/01/07"),
                   At(1989, 1, 7)},
                  // Part of a name is enough.
                  {"\x95\xBD"
                   "16/07/01",
                   At(2004, 7, 1)},
                  // No era name: the two-digit window.
                  {"16/07/01", At(2016, 7, 1)}},
                 false);
  // A name found nowhere gives no offset.
  EXPECT_EQ(At(2016, 7, 1), TextToMoment("ABC16/07/01"));
}

TEST_F(MomentParseEra, EraLayoutWithoutNameUsesTheFirstOffset) {
  RegionalFormats.ShortDateLayout = "e/MM/dd";
  EXPECT_EQ(At(2024, 7, 1), TextToMoment("6/07/01"));
  RegionalFormats.EraOffsets[1] = 0;
  EXPECT_EQ(At(2006, 7, 1), TextToMoment("6/07/01"));
}

TEST_F(MomentParseEra, KoreanEraYears) {
  RegionalFormats.PrimaryLang = 18;
  RegionalFormats.ShortDateLayout = "e/MM/dd";
  RegionalFormats.EraOffsets[1] = 2333;
  EXPECT_EQ(At(2004, 7, 1), TextToMoment("4337/07/01"));
  EXPECT_EQ(At(2004, 7, 1), TextToMoment("37/07/01"));
}

// Regional settings and the range of moments that their texts can carry.
struct TSetting {
  const char* Name;
  TRegionalFormats Formats;
  bool DoubleByte;
  std::uint16_t FirstYear, LastYear;
};

std::vector<TSetting> Settings() {
  TRegionalFormats japaneseTwelve = JapaneseFormats();
  japaneseTwelve.LongTimeLayout = "AMPM h:mm:ss";
  japaneseTwelve.ShortTimeLayout = "AMPM h:mm";
  TRegionalFormats iso = FallbackFormats();
  iso.ShortDateLayout = "yyyy-mm-dd";
  iso.DateSep = '-';
  iso.LongTimeLayout = "hh:nn:ss";
  return {{"fallback", FallbackFormats(), false, 1954, 2053},
          {"japanese", JapaneseFormats(), true, 1, 9999},
          {"japanese-12h", japaneseTwelve, true, 1, 9999},
          {"english-12h", EnglishTwelveHourFormats(), false, 1, 9999},
          {"day-month-year", DayMonthYearFormats(), false, 1, 9999},
          {"iso-like", iso, false, 1, 9999}};
}

TEST_F(MomentParse, TextFormsReadBackToTheSecond) {
  std::mt19937_64 random(20040701);
  for (const TSetting& setting : Settings()) {
    SCOPED_TRACE(setting.Name);
    RegionalFormats = setting.Formats;
    DoubleByteSystem = setting.DoubleByte;
    LeadByteSet = setting.DoubleByte ? Cp932LeadBytes() : TByteSet();
    const double firstDay = DateToMoment(setting.FirstYear, 1, 1);
    const double lastDay = DateToMoment(setting.LastYear, 12, 31);
    std::uniform_int_distribution<std::int64_t> days(static_cast<std::int64_t>(firstDay),
                                                     static_cast<std::int64_t>(lastDay));
    std::uniform_int_distribution<std::int32_t> millis(0, 86'399'999);
    for (int i = 0; i < 20'000; ++i) {
      const double day = static_cast<double>(days(random));
      std::int32_t ms = millis(random);
      if (i % 10 == 0)
        ms = 0; // midnight: the date alone is written
      else if (i % 10 == 1)
        ms %= 1000; // within the first second: the date alone as well
      const TMoment time = ms / 86'400'000.0;
      const TMoment t = static_cast<double>(day >= 0 ? static_cast<long double>(day) + time
                                                     : static_cast<long double>(day) - time);
      const std::string text = MomentToText(t);
      TMoment back = 0;
      try {
        back = TextToMoment(text);
      } catch (const EConvertError& e) {
        FAIL() << "«" << text << "» does not read back: " << e.Message();
      }
      const TDaySplit want = SplitMoment(t), got = SplitMoment(back);
      ASSERT_EQ(want.DayNo, got.DayNo) << "«" << text << "»";
      ASSERT_EQ(want.TimeMs / 1000 * 1000, got.TimeMs) << "«" << text << "»";

      const std::string timeText = TimeOfDayToText(t);
      TMoment timeBack = -1;
      try {
        timeBack = TextToTimeOfDay(timeText);
      } catch (const EConvertError& e) {
        FAIL() << "«" << timeText << "» does not read back: " << e.Message();
      }
      ASSERT_EQ(0, SplitMoment(timeBack).DayNo - 693594) << "«" << timeText << "»";
      ASSERT_EQ(want.TimeMs / 1000 * 1000, SplitMoment(timeBack).TimeMs) << "«" << timeText << "»";
    }
  }
}

} // namespace
