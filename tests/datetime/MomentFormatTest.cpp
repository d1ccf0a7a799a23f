#include "datetime/MomentFormat.h"

#include "RegionalScope.h"

#include <gtest/gtest.h>

namespace {

TMoment At(std::uint16_t y, std::uint16_t mo, std::uint16_t d, std::uint16_t h = 0,
           std::uint16_t mi = 0, std::uint16_t s = 0, std::uint16_t ms = 0) {
  return static_cast<double>(static_cast<long double>(DateToMoment(y, mo, d)) +
                             TimeToMoment(h, mi, s, ms));
}

struct TCase {
  const char* Pattern;
  const char* Expected;
};

class MomentFormat : public testing::Test {
protected:
  TRegionalScope Scope;
  // Thursday 2004-07-01 13:05:09.045
  const TMoment Afternoon = At(2004, 7, 1, 13, 5, 9, 45);

  void ExpectAll(const std::vector<TCase>& cases, TMoment t) {
    for (const TCase& c : cases)
      EXPECT_EQ(c.Expected, FormatMoment(c.Pattern, t)) << "pattern " << c.Pattern;
  }
};

TEST_F(MomentFormat, EveryTokenWithTheFallbackSettings) {
  ExpectAll({{"y", "04"},
             {"yy", "04"},
             {"yyy", "2004"},
             {"yyyy", "2004"},
             {"YYYYY", "2004"},
             {"m", "7"},
             {"mm", "07"},
             {"mmm", "Jul"},
             {"mmmm", "July"},
             {"mmmmmm", "July"},
             {"d", "1"},
             {"dd", "01"},
             {"ddd", "Thu"},
             {"dddd", "Thursday"},
             {"ddddd", "7/1/04"},
             {"dddddd", "July 1, 2004"},
             {"ddddddd", "July 1, 2004"},
             {"h", "13"},
             {"hh", "13"},
             {"hhh", "13"},
             {"n", "5"},
             {"nn", "05"},
             {"nnn", "05"},
             {"s", "9"},
             {"ss", "09"},
             {"z", "45"},
             {"zz", "45"},
             {"zzz", "045"},
             {"zzzz", "045"},
             {"t", "1:05 pm"},
             {"tt", "1:05:09 pm"},
             {"c", "7/1/04 1:05:09 pm"},
             {"C", "7/1/04 1:05:09 pm"},
             {"", "7/1/04 1:05:09 pm"},
             {"/", "/"},
             {":", ":"},
             {"e", ""},
             {"g", ""},
             {"x#-,.!", "x#-,.!"},
             {"b", "b"}},
            Afternoon);
}

TEST_F(MomentFormat, SeparatorsComeFromTheSettings) {
  RegionalFormats.DateSep = '-';
  RegionalFormats.TimeSep = '.';
  ExpectAll({{"yyyy/mm/dd hh:nn:ss", "2004-07-01 13.05.09"}, {"yyyy\"/\"mm", "2004/07"}},
            Afternoon);
}

TEST_F(MomentFormat, TheLaunchersPatterns) {
  EXPECT_EQ("2004/07/01 04:01:00", FormatMoment("yyyy/mm/dd hh:nn:ss", At(2004, 7, 1, 4, 1)));
  EXPECT_EQ("2004/07/01 13:05:09", FormatMoment("yyyy/mm/dd hh:nn:ss", Afternoon));
  EXPECT_EQ("2004-07", FormatMoment("yyyy\"-\"mm", Afternoon));
  RegionalFormats.DateSep = '.';
  EXPECT_EQ("2004-07", FormatMoment("yyyy\"-\"mm", Afternoon));
}

TEST_F(MomentFormat, AmPmRules) {
  ExpectAll({{"AM/PM", "PM"},
             {"am/pm", "pm"},
             {"Am/pM", "pM"},
             {"A/P", "P"},
             {"a/p", "p"},
             {"ampm", "pm"},
             {"AMPM", "pm"},
             {"aaaa", "Thursday"},
             {"AAA", "Thu"},
             {"a", "a"},
             {"ax", "ax"},
             {"am/p", "a7/p"}},
            Afternoon);
  const TMoment morning = At(2004, 7, 1, 9, 5);
  ExpectAll({{"AM/PM", "AM"}, {"am/pm", "am"}, {"A/P", "A"}, {"a/p", "a"}, {"ampm", "am"}},
            morning);
  RegionalFormats.AmMarker = "vorm.";
  RegionalFormats.PmMarker = "nachm.";
  EXPECT_EQ("vorm.", FormatMoment("AMPM", morning));
  EXPECT_EQ("nachm.", FormatMoment("AMPM", Afternoon));
}

TEST_F(MomentFormat, TwelveHourRule) {
  ExpectAll({{"h ampm", "1 pm"},
             {"hh:nn AM/PM", "01:05 PM"},
             {"h:nn:ss a/p", "1:05:09 p"},
             {"h 'am/pm'", "13 am/pm"},
             {"h \"x\" a/p", "1 x p"},
             {"h:nn h am/pm", "13:05 1 pm"},
             {"am/pm h", "pm 1"},
             {"h ax ampm", "13 ax pm"},
             {"h aaa", "13 Thu"}},
            Afternoon);
  EXPECT_EQ("12 am", FormatMoment("h ampm", At(2004, 7, 1, 0, 30)));
  EXPECT_EQ("12 pm", FormatMoment("h ampm", At(2004, 7, 1, 12, 30)));
  EXPECT_EQ("11 am", FormatMoment("h ampm", At(2004, 7, 1, 11, 30)));
  EXPECT_EQ("00:30", FormatMoment("hh:nn", At(2004, 7, 1, 0, 30)));
}

TEST_F(MomentFormat, MinuteAfterHourAndExactRuns) {
  ExpectAll({{"hh:mm", "13:05"},
             {"h 'x' mm", "13 x 05"},
             {"h\"q\"m", "13q5"},
             {"mm hh", "07 13"},
             {"hh:Mm", "13:57"},
             {"hh:mm:ss mm", "13:05:09 07"},
             {"yyYY", "0404"},
             {"dD", "11"}},
            Afternoon);
}

TEST_F(MomentFormat, Quotes) {
  ExpectAll({{"'yyyy'", "yyyy"},
             {"\"h\"h", "h13"},
             {"'abc", "abc"},
             {"\"it's\"", "it's"},
             {"'say \"hi\"'", "say \"hi\""},
             {"''", ""}},
            Afternoon);
}

TEST_F(MomentFormat, DoubleByteCharactersAreCopiedWhole) {
  DoubleByteSystem = true;
  LeadByteSet = Cp932LeadBytes();
  EXPECT_EQ("2004" + Sjis::Nen + "7", FormatMoment("yyyy" + Sjis::Nen + "m", Afternoon));
  // A trail byte that looks like a letter is no token.
  EXPECT_EQ(Sjis::To + "13", FormatMoment(Sjis::To + "h", Afternoon));
  // The character resets the previous letter: the m is the month.
  EXPECT_EQ("13" + Sjis::Nen + "7", FormatMoment("h" + Sjis::Nen + "m", Afternoon));
  // The trail byte 0x41 (A) does not start an AM/PM token in the look-ahead.
  EXPECT_EQ("13\x83\x41"
            "7P7",
            FormatMoment("h\x83\x41MPM", Afternoon));
  // Inside quotes a trail byte equal to the quote does not close it.
  const std::string quoted = "'" + std::string("\x83'") + "'h";
  EXPECT_EQ("\x83'13", FormatMoment(quoted, Afternoon));
  // A lead byte at the very end ends the pattern.
  EXPECT_EQ("04", FormatMoment("yy\x83", Afternoon));
  // A single-byte system reads the same bytes as letters.
  DoubleByteSystem = false;
  LeadByteSet.reset();
  EXPECT_EQ("1\x83pm", FormatMoment("h\x83\x41MPM", Afternoon));
}

TEST_F(MomentFormat, LayoutsInsertOneLevelDeep) {
  RegionalFormats.ShortDateLayout = "yyyy ddddd t c";
  RegionalFormats.LongTimeLayout = "hh:nn:ss tt";
  RegionalFormats.LongDateLayout = "dddddd mmmm";
  RegionalFormats.ShortTimeLayout = "";
  EXPECT_EQ("2004   ", FormatMoment("ddddd", Afternoon));
  EXPECT_EQ("2004    13:05:09 ", FormatMoment("c", Afternoon));
  EXPECT_EQ(" July", FormatMoment("dddddd", Afternoon));
  EXPECT_EQ("13:05:09 ", FormatMoment("tt", Afternoon));
  EXPECT_EQ("", FormatMoment("t", Afternoon));
}

TEST_F(MomentFormat, EachLevelHasItsOwnTwelveHourFlag) {
  RegionalFormats.LongTimeLayout = "hh:nn";
  EXPECT_EQ("pm 13:05 1", FormatMoment("ampm tt h", Afternoon));
  RegionalFormats.LongTimeLayout = "h ampm";
  EXPECT_EQ("1 pm 13", FormatMoment("tt h", Afternoon));
}

TEST_F(MomentFormat, OutputIsCutAt256Bytes) {
  std::string pattern;
  for (int i = 0; i < 100; ++i)
    pattern += "mmmm ";
  const std::string out = FormatMoment(pattern, Afternoon);
  ASSERT_EQ(256u, out.size());
  EXPECT_EQ("July July", out.substr(0, 9));
  EXPECT_EQ(std::string(300, 'x').substr(0, 256),
            FormatMoment("'" + std::string(300, 'x') + "'", Afternoon));
  EXPECT_EQ(256u, FormatMoment(std::string(255, '-') + "yyyy", Afternoon).size());
  EXPECT_EQ(std::string(255, '-') + "2", FormatMoment(std::string(255, '-') + "yyyy", Afternoon));
}

TEST_F(MomentFormat, RegionalNamesAreUsed) {
  RegionalFormats.MonthShortNames[7] = "Jul.";
  RegionalFormats.MonthLongNames[7] = "Juli";
  RegionalFormats.DayShortNames[5] = "Do";
  RegionalFormats.DayLongNames[5] = "Donnerstag";
  ExpectAll({{"mmm", "Jul."}, {"mmmm", "Juli"}, {"ddd", "Do"}, {"dddd", "Donnerstag"}}, Afternoon);
}

TEST_F(MomentFormat, EraTokensUseTheAlternateCalendar) {
  DoubleByteSystem = true;
  LeadByteSet = Cp932LeadBytes();
  RegionalFormats = JapaneseFormats();
  Scope.Platform.Locale.AltDates = {{"yy", "06"}, {"yyyy", "0006"}, {"gg", Sjis::Heisei}};
  ExpectAll({{"e", "6"},
             {"ee", "06"},
             {"eee", "0006"},
             {"gg", Sjis::Heisei.c_str()},
             {"g", "\x95\xBD"},
             {"ggg e", (Sjis::Heisei + " 6").c_str()}},
            At(1994, 7, 1));
  // Taiwan: a name of four characters keeps the last two for one g.
  RegionalFormats.PrimaryLang = 4;
  RegionalFormats.SubLang = 1;
  Scope.Platform.Locale.AltDates["gg"] = "ABCD";
  EXPECT_EQ("CD", FormatMoment("g", At(1994, 7, 1)));
  EXPECT_EQ("ABCD", FormatMoment("gg", At(1994, 7, 1)));
  Scope.Platform.Locale.AltDates["gg"] = "ABC";
  EXPECT_EQ("ABC", FormatMoment("g", At(1994, 7, 1)));
  // Without the platform's formatting the tokens write nothing.
  Scope.Platform.Locale.AltDates.clear();
  EXPECT_EQ("[]", FormatMoment("[ggee]", At(1994, 7, 1)));
}

TEST_F(MomentFormat, RegionalTextForms) {
  EXPECT_EQ("7/1/04 4:01:00 am", MomentToText(At(2004, 7, 1, 4, 1)));
  EXPECT_EQ("7/1/04", MomentToText(At(2004, 7, 1)));
  EXPECT_EQ("4:00:00 am", TimeOfDayToText(At(2004, 7, 1, 4)));
  EXPECT_EQ("7/1/04", MomentToText(At(2004, 7, 1, 0, 0, 0, 500)));
  EXPECT_EQ("7/1/04 12:00:01 am", MomentToText(At(2004, 7, 1, 0, 0, 1)));
  EXPECT_EQ("4:00:00 am", TimeOfDayToText(2.1666666666666665));
  EXPECT_EQ("12/29/99 6:00:00 am", MomentToText(-1.25));
  // 0.4 ms before midnight is midnight of the next day.
  const TMoment late = 38169.0 + (86'400'000.0 - 0.4) / 86'400'000.0;
  EXPECT_EQ("7/2/04", MomentToText(late));
  EXPECT_EQ("12:00:00 am", TimeOfDayToText(late));
  EXPECT_EQ("1:05:09 pm", TimeOfDayToText(Afternoon));
}

TEST_F(MomentFormat, RegionalTextFormsOfOtherSystems) {
  RegionalFormats = JapaneseFormats();
  EXPECT_EQ("2004/07/01 13:05:09", MomentToText(Afternoon));
  EXPECT_EQ("2004/07/01", MomentToText(At(2004, 7, 1)));
  RegionalFormats = EnglishTwelveHourFormats();
  EXPECT_EQ("7/1/2004 1:05:09 PM", MomentToText(Afternoon));
  RegionalFormats = DayMonthYearFormats();
  EXPECT_EQ("01.07.2004 13:05:09", MomentToText(Afternoon));
  EXPECT_EQ("04:01:00", TimeOfDayToText(At(2004, 7, 1, 4, 1)));
}

TEST_F(MomentFormat, NeverFailsOnOddValues) {
  const double odd[] = {1e300, -1e300, 1.0 / 0.0, -1.0 / 0.0, 0.0 / 0.0, -700000.0, 3e6};
  for (double v : odd) {
    const std::string s = FormatMoment("c dddd mmmm ddd mmm yyyy e g AAAA", v);
    EXPECT_LE(s.size(), 256u);
  }
}

} // namespace
