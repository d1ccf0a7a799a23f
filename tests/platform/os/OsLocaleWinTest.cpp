// The regional settings as a real Windows system (or Wine) reports them. The suite needs
// to know which system it runs on: AQ_EXPECT_LOCALE=ja, en or de; without it, it is skipped.
#include "platform/os/OsLocale.h"

#include "datetime/MomentFormat.h"
#include "datetime/MomentParse.h"
#include "datetime/RegionalFormats.h"
#include "platform/ProcessFrame.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <windows.h>

namespace {

std::string Expected() {
  const char* v = std::getenv("AQ_EXPECT_LOCALE");
  return v != nullptr ? v : "";
}

// What the system answers for an item, read as the regional settings read it.
std::string SystemText(std::uint32_t item, const std::string& fallback) {
  char buffer[256];
  const int n = GetLocaleInfoA(GetThreadLocale(), item, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n - 1)) : fallback;
}

char SystemChar(std::uint32_t item, char fallback) {
  char buffer[2];
  return GetLocaleInfoA(GetThreadLocale(), item, buffer, sizeof buffer) > 0 ? buffer[0] : fallback;
}

std::string Ansi(const char* utf8) {
  wchar_t wide[64];
  char out[128];
  const int w = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 64);
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, w, out, sizeof out, nullptr, nullptr);
  return n > 0 ? std::string(out, static_cast<std::size_t>(n - 1)) : std::string();
}

TMoment At(std::uint16_t h, std::uint16_t n, std::uint16_t s) {
  return static_cast<double>(static_cast<long double>(DateToMoment(2004, 7, 1)) +
                             TimeToMoment(h, n, s, 0));
}

class OsLocaleWin : public testing::Test {
protected:
  void SetUp() override {
    Locale = Expected();
    if (Locale.empty())
      GTEST_SKIP() << "AQ_EXPECT_LOCALE is not set";
    LoadCodePageFacts();
    LoadRegionalFormats();
  }
  void TearDown() override {
    RegionalFormats = SavedFormats;
    DoubleByteSystem = SavedDbcs;
    LeadByteSet = SavedLeads;
  }

  std::string Locale;
  TRegionalFormats SavedFormats = RegionalFormats;
  bool SavedDbcs = DoubleByteSystem;
  TByteSet SavedLeads = LeadByteSet;
};

TEST_F(OsLocaleWin, RegionalSettingsAreWhatTheSystemReports) {
  const TRegionalFormats& r = RegionalFormats;
  EXPECT_EQ(GetThreadLocale(), r.LocaleId);
  EXPECT_EQ(SystemChar(LOCALE_SDATE, '/'), r.DateSep);
  EXPECT_EQ(SystemChar(LOCALE_STIME, ':'), r.TimeSep);
  EXPECT_EQ(SystemChar(LOCALE_SDECIMAL, '.'), r.DecimalSep);
  EXPECT_EQ(SystemText(LOCALE_S1159, "am"), r.AmMarker);
  EXPECT_EQ(SystemText(LOCALE_S2359, "pm"), r.PmMarker);
  for (std::uint32_t m = 1; m <= 12; ++m) {
    EXPECT_EQ(SystemText(LOCALE_SABBREVMONTHNAME1 + m - 1, ""), r.MonthShortNames[m]);
    EXPECT_EQ(SystemText(LOCALE_SMONTHNAME1 + m - 1, ""), r.MonthLongNames[m]);
  }
  EXPECT_EQ(SystemText(LOCALE_SDAYNAME7, ""), r.DayLongNames[1]);
  EXPECT_EQ(SystemText(LOCALE_SDAYNAME1, ""), r.DayLongNames[2]);
  EXPECT_EQ(SystemText(LOCALE_SABBREVDAYNAME7, ""), r.DayShortNames[1]);
  EXPECT_EQ(SystemText(LOCALE_SABBREVDAYNAME6, ""), r.DayShortNames[7]);
  const bool twelveHour = SystemText(LOCALE_ITIME, "0") == "0";
  const std::string hour = SystemText(LOCALE_ITLZERO, "0") == "0" ? "h" : "hh";
  EXPECT_EQ(twelveHour ? hour + ":mm:ss AMPM" : hour + ":mm:ss", r.LongTimeLayout);
  EXPECT_EQ(50, r.YearWindow);
}

TEST_F(OsLocaleWin, JapaneseSystem) {
  if (Locale != "ja")
    GTEST_SKIP();
  const TRegionalFormats& r = RegionalFormats;
  EXPECT_EQ(932u, GetACP());
  EXPECT_TRUE(DoubleByteSystem);
  EXPECT_TRUE(LeadByteSet[0x81] && LeadByteSet[0x9F] && LeadByteSet[0xE0] && LeadByteSet[0xFC]);
  EXPECT_FALSE(LeadByteSet[0x80] || LeadByteSet[0xA0] || LeadByteSet['A']);
  EXPECT_EQ(0x411u, r.LocaleId);
  EXPECT_EQ(17, r.PrimaryLang);
  EXPECT_EQ("3", SystemText(LOCALE_IOPTIONALCALENDAR, ""));
  EXPECT_FALSE(r.EraLabels[1].empty());
  EXPECT_GT(r.EraOffsets[1], 1800);
  EXPECT_EQ(SystemText(LOCALE_SSHORTDATE, ""), r.ShortDateLayout); // no g to drop
  EXPECT_EQ(Ansi("午前"), r.AmMarker);
  EXPECT_EQ(Ansi("午後"), r.PmMarker);
  EXPECT_EQ(Ansi("1月"), r.MonthLongNames[1]);

  // The markers are written and read back in the system's code page.
  const std::string afternoon = FormatMoment("ampm h:nn:ss", At(13, 5, 9));
  EXPECT_EQ(Ansi("午後 1:05:09"), afternoon);
  EXPECT_EQ(TimeToMoment(13, 5, 9, 0), TextToTimeOfDay(afternoon));
  const std::string morning = FormatMoment("h:nn ampm", At(0, 30, 0));
  EXPECT_EQ(Ansi("12:30 午前"), morning);
  EXPECT_EQ(TimeToMoment(0, 30, 0, 0), TextToTimeOfDay(morning));
  EXPECT_EQ(TimeToMoment(16, 0, 0, 0), TextToTimeOfDay(Ansi("午後4")));
  // A date layout with unquoted Japanese characters keeps them.
  EXPECT_EQ(Ansi("2004年7月1日"),
            FormatMoment("yyyy" + Ansi("年") + "m" + Ansi("月") + "d" + Ansi("日"), At(0, 0, 0)));
  const TMoment t = At(13, 5, 9);
  EXPECT_EQ(t, TextToMoment(MomentToText(t)));
}

TEST_F(OsLocaleWin, EnglishSystem) {
  if (Locale != "en")
    GTEST_SKIP();
  const TRegionalFormats& r = RegionalFormats;
  EXPECT_FALSE(DoubleByteSystem);
  EXPECT_TRUE(LeadByteSet.none());
  EXPECT_EQ(0x409u, r.LocaleId);
  EXPECT_EQ("M/d/yyyy", r.ShortDateLayout);
  EXPECT_EQ("AM", r.AmMarker);
  EXPECT_EQ("h:mm:ss AMPM", r.LongTimeLayout);
  EXPECT_EQ("", r.EraLabels[1]);
  const TMoment t = At(13, 5, 9);
  EXPECT_EQ("7/1/2004 1:05:09 PM", MomentToText(t));
  EXPECT_EQ(t, TextToMoment(MomentToText(t)));
  EXPECT_EQ(TimeToMoment(0, 30, 0, 0), TextToTimeOfDay("12:30:00 am"));
}

TEST_F(OsLocaleWin, GermanSystem) {
  if (Locale != "de")
    GTEST_SKIP();
  const TRegionalFormats& r = RegionalFormats;
  EXPECT_FALSE(DoubleByteSystem);
  EXPECT_EQ(0x407u, r.LocaleId);
  EXPECT_EQ('.', r.DateSep);
  EXPECT_EQ(',', r.DecimalSep);
  EXPECT_EQ("Januar", r.MonthLongNames[1]);
  const TMoment t = At(13, 5, 9);
  EXPECT_EQ(t, TextToMoment(MomentToText(t)));
  EXPECT_EQ(TimeToMoment(4, 1, 2, 5), TextToTimeOfDay("4:01:02,5"));
}

} // namespace
