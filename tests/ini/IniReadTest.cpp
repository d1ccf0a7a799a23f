// Reading and writing the INI store in memory, on files of the stand-in file system.
#include "ini/IniFile.h"
#include "platform/Exceptions.h"
#include "platform/FakePlatform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string Ini = "AutoQuillmer.ini";

class IniRead : public ::testing::Test {
protected:
  TFakePlatform P;
  void Put(const std::string& text) { P.Fs[Ini] = TFakeEntry{text}; }
  std::string Saved() { return P.Fs.at(Ini).Content; }
};

TEST_F(IniRead, StoreWithOneSectionIsWrittenInTheFileLayout) {
  TMemIniFile ini(Ini);
  ini.WriteFlag("Launch", "Type1", true);
  ini.WriteInt("Launch", "WindowSize", 5);
  ini.WriteFlag("Launch", "YesNo", true);
  ini.SaveToDisk();
  EXPECT_EQ(Saved(), "[Launch]\r\nType1=1\r\nWindowSize=5\r\nYesNo=1\r\n\r\n");
}

TEST_F(IniRead, MissingFileGivesEmptyStoreAndSaveCreatesIt) {
  TMemIniFile ini(Ini);
  EXPECT_EQ(ini.ReadInt("Launch", "WindowSize", 5), 5);
  EXPECT_TRUE(ini.ReadFlag("Launch", "YesNo", true));
  EXPECT_EQ(ini.ReadText("Launch", "YesNo", "d"), "d");
  EXPECT_EQ(ini.ReadMoment("Execute", "Last_XLS", 2.0), 2.0);
  EXPECT_FALSE(ini.HasSection("Launch"));
  EXPECT_FALSE(ini.HasSection(""));
  EXPECT_TRUE(P.Files.Calls.empty()); // nothing opened
  ini.SaveToDisk();
  ASSERT_TRUE(P.Fs.count(Ini));
  EXPECT_EQ(Saved(), "");
}

TEST_F(IniRead, EmptyNameNeverLoadsAndCannotBeSaved) {
  P.Fs[""] = TFakeEntry{"[a]\r\nb=1\r\n"};
  TMemIniFile ini("");
  EXPECT_EQ(ini.ReadText("a", "b", "d"), "d");
  EXPECT_TRUE(P.Process.Searched.empty());
  EXPECT_THROW(ini.SaveToDisk(), EFCreateError);
}

TEST_F(IniRead, FileNameIsKeptAsGiven) {
  TMemIniFile ini(".\\Sub\\a.INI");
  EXPECT_EQ(ini.FileName(), ".\\Sub\\a.INI");
}

TEST_F(IniRead, FolderUnderTheNameIsNotLoaded) {
  P.Fs[Ini] = TFakeEntry{};
  P.Fs[Ini].Folder = true;
  TMemIniFile ini(Ini);
  EXPECT_FALSE(ini.HasSection("a"));
  EXPECT_THROW(ini.SaveToDisk(), EFCreateError);
}

TEST_F(IniRead, EmptyStoreSavesZeroBytes) {
  Put("; only a comment\r\n\r\nx=1\r\n");
  TMemIniFile ini(Ini);
  ini.SaveToDisk();
  EXPECT_EQ(Saved(), "");
}

struct TLoadCase {
  const char* Label;
  std::string File;
  std::string Saved; // after a load and save without writes
};

class IniLoad : public IniRead, public ::testing::WithParamInterface<TLoadCase> {};

TEST_P(IniLoad, SavesNormalisedText) {
  Put(GetParam().File);
  TMemIniFile ini(Ini);
  ini.SaveToDisk();
  EXPECT_EQ(Saved(), GetParam().Saved);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Lines, IniLoad,
    ::testing::Values(
        TLoadCase{"Crlf", "[a]\r\nk=1\r\nj=2\r\n", "[a]\r\nk=1\r\nj=2\r\n\r\n"},
        TLoadCase{"Lf", "[a]\nk=1\nj=2\n", "[a]\r\nk=1\r\nj=2\r\n\r\n"},
        TLoadCase{"Cr", "[a]\rk=1\rj=2\r", "[a]\r\nk=1\r\nj=2\r\n\r\n"},
        TLoadCase{"Mixed", "[a]\rk=1\r\nj=2\n[b]", "[a]\r\nk=1\r\nj=2\r\n\r\n[b]\r\n\r\n"},
        TLoadCase{"LfCrIsTwoEnds", "[a]\n\rk=1\n\r", "[a]\r\nk=1\r\n\r\n"},
        TLoadCase{"NoLastLineEnd", "[a]\r\nk=1", "[a]\r\nk=1\r\n\r\n"},
        TLoadCase{"NulEndsText", "[a]\r\nk=1\r\n\0[b]\r\nj=2\r\n"s, "[a]\r\nk=1\r\n\r\n"},
        TLoadCase{"NulInsideLine", "[a]\r\nk=1\0x\r\n[b]\r\n"s, "[a]\r\nk=1\r\n\r\n"},
        TLoadCase{"NulFirst", "\0[a]\r\n"s, ""},
        TLoadCase{"CommentsAndEmptyLinesDropped", "[a]\r\n;c\r\n\r\n\n k=1\r\n; x=2\r\n",
                  "[a]\r\n k=1\r\n\r\n"},
        TLoadCase{"LinesBeforeFirstHeaderDropped", "x=1\r\ny\r\n[a]\r\nk=1\r\n",
                  "[a]\r\nk=1\r\n\r\n"},
        TLoadCase{"BlanksKept", "[a]\r\n  k = 1 \t\r\n\tz\r\n", "[a]\r\n  k = 1 \t\r\n\tz\r\n\r\n"},
        TLoadCase{"HeaderWithBlankIsALine", "[a]\r\n [b]\r\n[c] \r\nk=1\r\n",
                  "[a]\r\n [b]\r\n[c] \r\nk=1\r\n\r\n"},
        TLoadCase{"UnclosedHeaderIsALine", "[a]\r\n[b\r\n", "[a]\r\n[b\r\n\r\n"},
        TLoadCase{"SingleBracketIsALine", "[a]\r\n[\r\n]\r\n", "[a]\r\n[\r\n]\r\n\r\n"},
        TLoadCase{"EmptySectionName", "[]\r\n=5\r\n", "[]\r\n=5\r\n\r\n"},
        TLoadCase{"BracketInName", "[a]]\r\n", "[a]]\r\n\r\n"},
        TLoadCase{"Bom", "\xEF\xBB\xBF[a]\r\nk=1\r\n[b]\r\n", "[b]\r\n\r\n"},
        TLoadCase{"DuplicatesKept", "[a]\r\nk=1\r\nk=2\r\n[A]\r\nk=3\r\n[a]\r\n",
                  "[a]\r\nk=1\r\nk=2\r\n\r\n[A]\r\nk=3\r\n\r\n[a]\r\n\r\n"},
        TLoadCase{"EmptyFile", "", ""}, TLoadCase{"OnlyLineEnds", "\r\n\n\r", ""},
        TLoadCase{"HighBytesKept", "[\x93\xfa]\r\n\x82\xa0=\x8b\x5c\r\n",
                  "[\x93\xfa]\r\n\x82\xa0=\x8b\x5c\r\n\r\n"}),
    [](const auto& info) { return std::string(info.param.Label); });

TEST_F(IniRead, NamesMatchWithoutRegardToCaseAndWriteKeepsHeader) {
  Put("[execute]\r\nLAST_XLS=abc\r\n");
  TMemIniFile ini(Ini);
  EXPECT_EQ(ini.ReadText("Execute", "Last_XLS", ""), "abc");
  ini.WriteText("Execute", "Last_XLS", "x");
  ini.SaveToDisk();
  EXPECT_EQ(Saved(), "[execute]\r\nLast_XLS=x\r\n\r\n");
}

TEST_F(IniRead, NamesAreNotTrimmed) {
  Put("[a]\r\nKey = 1\r\n");
  TMemIniFile ini(Ini);
  EXPECT_EQ(ini.ReadText("a", "Key", "d"), "d");
  EXPECT_EQ(ini.ReadText("a", "Key ", "d"), " 1");
  EXPECT_EQ(ini.ReadText(" a", "Key ", "d"), "d");
  ini.WriteInt("a", "Key", 1);
  ini.SaveToDisk();
  EXPECT_EQ(Saved(), "[a]\r\nKey = 1\r\nKey=1\r\n\r\n");
}

TEST_F(IniRead, HeaderWithBlankMakesSectionAbsentAndWriteAppendsIt) {
  Put("[Date]\r\nTimeToNext=1\r\n [Launch]\r\nYesNo=0\r\n");
  TMemIniFile ini(Ini);
  EXPECT_TRUE(ini.ReadFlag("Launch", "YesNo", true));
  EXPECT_EQ(ini.ReadText("Date", "YesNo", "d"), "0");
  ini.WriteFlag("Launch", "YesNo", false);
  ini.SaveToDisk();
  EXPECT_EQ(Saved(), "[Date]\r\nTimeToNext=1\r\n [Launch]\r\nYesNo=0\r\n\r\n"
                     "[Launch]\r\nYesNo=0\r\n\r\n");
}

TEST_F(IniRead, BomHidesFirstSection) {
  Put("\xEF\xBB\xBF[Launch]\r\nYesNo=0\r\n");
  TMemIniFile ini(Ini);
  EXPECT_TRUE(ini.ReadFlag("Launch", "YesNo", true));
  EXPECT_FALSE(ini.HasSection("Launch"));
  ini.WriteFlag("Launch", "YesNo", true);
  ini.SaveToDisk();
  EXPECT_EQ(Saved(), "[Launch]\r\nYesNo=1\r\n\r\n");
}

TEST_F(IniRead, ValuesAreTheTextAfterTheFirstEquals) {
  Put("[a]\r\na=b=c\r\nempty=\r\n=5\r\nnoequals\r\n[]\r\n=6\r\n");
  TMemIniFile ini(Ini);
  EXPECT_EQ(ini.ReadText("a", "a", "d"), "b=c");
  EXPECT_EQ(ini.ReadText("a", "empty", "d"), "");
  EXPECT_EQ(ini.ReadText("a", "", "d"), "5");
  EXPECT_EQ(ini.ReadText("a", "noequals", "d"), "d");
  EXPECT_EQ(ini.ReadText("", "", "d"), "6");
  EXPECT_EQ(ini.ReadInt("", "", 0), 6);
}

TEST_F(IniRead, EmptyValueGivesDefaultsToTypedReads) {
  Put("[Launch]\r\nYesNo=\r\n");
  TMemIniFile ini(Ini);
  EXPECT_EQ(ini.ReadText("Launch", "YesNo", "d"), "");
  EXPECT_EQ(ini.ReadInt("Launch", "YesNo", 7), 7);
  EXPECT_FALSE(ini.ReadFlag("Launch", "YesNo", false));
  EXPECT_TRUE(ini.ReadFlag("Launch", "YesNo", true));
  EXPECT_EQ(ini.ReadMoment("Launch", "YesNo", 2.5), 2.5);
  EXPECT_EQ(ini.ReadTimeOfDay("Launch", "YesNo", 0.25), 0.25);
}

TEST_F(IniRead, MomentsRoundTripAndUnreadableOnesGiveDefault) {
  TMemIniFile ini(Ini);
  const TMoment when = 38169.3125; // 2004-07-01 07:30
  ini.WriteMoment("Execute", "Last_XLS", when);
  ini.WriteTimeOfDay("Date", "TimeToNext", 1.0 / 6);
  EXPECT_EQ(ini.ReadMoment("Execute", "Last_XLS", 2.0), when);
  EXPECT_NEAR(ini.ReadTimeOfDay("Date", "TimeToNext", 0.5), 1.0 / 6, 1e-9);
  for (const char* bad : {"abc", "\x01", " ", "2004/07/01x"}) {
    ini.WriteText("Execute", "Last_XLS", bad);
    ini.WriteText("Date", "TimeToNext", bad);
    EXPECT_EQ(ini.ReadMoment("Execute", "Last_XLS", 2.0), 2.0) << bad;
    EXPECT_EQ(ini.ReadTimeOfDay("Date", "TimeToNext", 2.1666666666666665), 2.1666666666666665)
        << bad;
  }
}

TEST_F(IniRead, DuplicateSectionsUseTheFirstAndDropRemovesOneAtATime) {
  Put("[a]\r\nk=1\r\n[b]\r\n[A]\r\nk=2\r\nj=3\r\n");
  TMemIniFile ini(Ini);
  EXPECT_EQ(ini.ReadText("a", "k", "d"), "1");
  EXPECT_EQ(ini.ReadText("a", "j", "d"), "d");
  ini.WriteText("A", "j", "4");
  ini.DropSection("A");
  EXPECT_EQ(ini.ReadText("a", "k", "d"), "2");
  EXPECT_EQ(ini.ReadText("a", "j", "d"), "3");
  ini.DropSection("a");
  EXPECT_EQ(ini.ReadText("a", "k", "d"), "d");
  ini.DropSection("a"); // nothing left of that name
  ini.DropSection("zz");
  ini.SaveToDisk();
  EXPECT_EQ(Saved(), "[b]\r\n\r\n");
}

TEST_F(IniRead, DuplicateNamesReadAndReplaceTheFirst) {
  Put("[a]\r\nk=1\r\nK=2\r\n");
  TMemIniFile ini(Ini);
  EXPECT_EQ(ini.ReadInt("a", "k", 0), 1);
  ini.WriteInt("a", "K", -3);
  EXPECT_EQ(ini.ReadInt("a", "k", 0), -3);
  ini.SaveToDisk();
  EXPECT_EQ(Saved(), "[a]\r\nK=-3\r\nK=2\r\n\r\n");
}

TEST_F(IniRead, WritesAppendSectionsAndLinesInOrder) {
  TMemIniFile ini(Ini);
  ini.WriteText("Execute", "Last_XLS", "a");
  ini.WriteText("Execute", "LastQuillmer", "b");
  ini.WriteText("Date", "TimeToNext", "c");
  ini.WriteText("execute", "last_xls", "d");
  ini.SaveToDisk();
  EXPECT_EQ(Saved(),
            "[Execute]\r\nlast_xls=d\r\nLastQuillmer=b\r\n\r\n[Date]\r\nTimeToNext=c\r\n\r\n");
}

TEST_F(IniRead, ValuesAreNotValidated) {
  TMemIniFile ini(Ini);
  ini.WriteText("a", "k", "1\r\n[b]");
  ini.WriteText("a", ";c", "2");
  EXPECT_EQ(ini.ReadText("a", "k", ""), "1\r\n[b]");
  ini.SaveToDisk();
  EXPECT_EQ(Saved(), "[a]\r\nk=1\r\n[b]\r\n;c=2\r\n\r\n");
  TMemIniFile again(Ini);
  EXPECT_EQ(again.ReadText("a", "k", ""), "1");
  EXPECT_EQ(again.ReadText("a", ";c", "d"), "d");
  EXPECT_FALSE(again.HasSection("b")); // its only line is now a comment
  again.SaveToDisk();
  EXPECT_EQ(Saved(), "[a]\r\nk=1\r\n\r\n[b]\r\n\r\n");
}

struct THasCase {
  const char* Label;
  std::string File;
  bool Has;
};

class IniHasSection : public IniRead, public ::testing::WithParamInterface<THasCase> {};

TEST_P(IniHasSection, CountsAnyLineOfTheFirstSection) {
  Put(GetParam().File);
  TMemIniFile ini(Ini);
  EXPECT_EQ(ini.HasSection("Window"), GetParam().Has);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniHasSection,
    ::testing::Values(THasCase{"Missing", "[File]\r\nk=1\r\n", false},
                      THasCase{"WithLine", "[Window]\r\nLeft=1\r\n", true},
                      THasCase{"OtherCase", "[WINDOW]\r\nLeft=1\r\n", true},
                      THasCase{"LineWithoutEquals", "[Window]\r\nLeft\r\n", true},
                      THasCase{"OnlyCommentsAndBlanks", "[Window]\r\n;x\r\n\r\n[b]\r\nk=1\r\n",
                               false},
                      THasCase{"EmptyThenFull", "[Window]\r\n[Window]\r\nk=1\r\n", false},
                      THasCase{"BlankName", "[Window ]\r\nk=1\r\n", false}),
    [](const auto& info) { return std::string(info.param.Label); });

TEST_F(IniRead, SectionLineNamesListsEveryLine) {
  Put("[a]\r\nx=1\r\nnoequals\r\n=2\r\nY=\r\n");
  TMemIniFile ini(Ini);
  EXPECT_EQ(ini.SectionLineNames("A"), (std::vector<std::string>{"x", "", "", "Y"}));
  EXPECT_TRUE(ini.SectionLineNames("b").empty());
}

TEST_F(IniRead, ReleaseWithoutSaveLeavesFileUntouched) {
  const std::string before = "; keep\n[a]\nk=1\n";
  Put(before);
  {
    TMemIniFile ini(Ini);
    ini.WriteText("a", "k", "2");
    ini.DropSection("a");
    ini.WriteText("b", "j", "3");
  }
  EXPECT_EQ(Saved(), before);
  EXPECT_EQ(P.Fs.size(), 1u);
  EXPECT_EQ(P.Files.OpenCount(), 0u);
}

TEST_F(IniRead, StoreStaysUsableAfterSaveAndSavesAgain) {
  TMemIniFile ini(Ini);
  ini.WriteInt("a", "k", 1);
  ini.SaveToDisk();
  ini.WriteInt("a", "k", 2);
  ini.SaveToDisk();
  EXPECT_EQ(Saved(), "[a]\r\nk=2\r\n\r\n");
  EXPECT_EQ(ini.ReadInt("a", "k", 0), 2);
}

} // namespace
