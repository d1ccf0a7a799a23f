// The settings file and the whole run sequence, in-process against the stand-in.
#include "LauncherFixture.h"

namespace {

class Run : public LauncherTest {
protected:
  void SetUp() override {
    LauncherTest::SetUp();
    UseJapaneseFormats();
    AddFile(Dir + "Dozeboardt1.xls", "template one");
    AddFile(Dir + "Dozeboardt3.xls", "template three");
  }
  std::string Month(const char* ym) { return Dir + "Dozeboard_" + ym + ".xls"; }
  // A start on July 1st 2004 at the given time whose question is answered No; its exit code.
  int RunDeclinedAt(std::uint16_t hour, std::uint16_t minute) {
    ClockAt(2004, 7, 1, hour, minute);
    Answer({IdNo});
    return RunProcess();
  }
};

// The settings file as a run writes it, with the two moments and the question switch given.
std::string SettingsText(const std::string& lastXls, const std::string& lastQuillmer,
                         const std::string& yesNo = "1") {
  return "[Execute]\r\n"
         "Last_XLS=" +
         lastXls +
         "\r\n"
         "LastQuillmer=" +
         lastQuillmer +
         "\r\n"
         "\r\n"
         "[Date]\r\n"
         "TimeToNext=4:00:00\r\n"
         "\r\n"
         "[Launch]\r\n"
         "Type1=1\r\n"
         "WindowSize=5\r\n"
         "YesNo=" +
         yesNo + "\r\n\r\n";
}

const std::string Yesterday0720 = SettingsText("2004/06/30 7:20:00", "2004/06/30 7:20:00");

TEST_F(Run, AFirstRunCreatesTheSettingsWithTheSixKeysInOrder) {
  ClockAt(2004, 7, 1, 7, 30);
  Answer({IdYes, IdYes}); // Type-1, then open
  EXPECT_EQ(RunProcess(), 0);
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{txtChooseType.Source(), txtOpenQuestion.Source()}));
  EXPECT_EQ(Settings(), SettingsText("2004/07/01 7:30:00", "2004/07/01 7:30:00"));
  ASSERT_EQ(Os.Shell.Opens.size(), 1u);
  EXPECT_EQ(Os.Shell.Opens[0].File, Month("2004-06"));
  EXPECT_EQ(Os.Shell.Opens[0].Show, 5);
  EXPECT_EQ(Os.Fs[Month("2004-06")].Content, "template one");
}

TEST_F(Run, ATypicalDayOpensOnceAndThenOnlyRecordsTheStart) {
  SettingsHere(Yesterday0720);
  AddFile(Month("2004-06"), "june");
  ClockAt(2004, 7, 1, 7, 30);
  Answer({IdYes});
  EXPECT_EQ(RunProcess(), 0);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{txtOpenQuestion.Source()});
  EXPECT_TRUE(Os.Shell.Copies.empty()); // the month's workbook is never copied over
  EXPECT_EQ(Os.Fs[Month("2004-06")].Content, "june");
  EXPECT_EQ(Settings(), SettingsText("2004/07/01 7:30:00", "2004/07/01 7:30:00"));

  // The second start of the day shows nothing and moves only LastQuillmer.
  Os.Ui.Boxes.clear();
  Os.Shell.Opens.clear();
  ResetRunState();
  ClockAt(2004, 7, 1, 12, 0);
  EXPECT_EQ(RunProcess(), 0);
  EXPECT_TRUE(Os.Ui.Boxes.empty());
  EXPECT_TRUE(Os.Shell.Opens.empty());
  EXPECT_EQ(Settings(), SettingsText("2004/07/01 7:30:00", "2004/07/01 12:00:00"));
}

TEST_F(Run, ADeclinedQuestionLeavesTheLastOpeningForTheNextStart) {
  SettingsHere(Yesterday0720);
  EXPECT_EQ(RunDeclinedAt(7, 30), 0);
  EXPECT_TRUE(Os.Shell.Opens.empty());
  EXPECT_NE(Settings().find("Last_XLS=2004/06/30 7:20:00"), std::string::npos);
  EXPECT_NE(Settings().find("LastQuillmer=2004/07/01 7:30:00"), std::string::npos);
  // The month's workbook was prepared all the same.
  EXPECT_TRUE(Os.Fs.count(Month("2004-06")));
}

TEST_F(Run, OpensWithoutAQuestionWhenYesNoIsOffOrTheSwitchIsGiven) {
  SettingsHere(SettingsText("2004/06/30 7:20:00", "2004/06/30 7:20:00", "0"));
  ClockAt(2004, 7, 1, 7, 30);
  EXPECT_EQ(RunProcess(), 0);
  EXPECT_TRUE(Os.Ui.Boxes.empty());
  EXPECT_EQ(Os.Shell.Opens.size(), 1u);

  // Within the same logical day the switch still opens, with no question.
  ResetRunState();
  Os.Shell.Opens.clear();
  SettingsHere(Yesterday0720);
  Os.Process.CmdLine = "AutoQuillmer.exe /OPEN";
  ClockAt(2004, 6, 30, 9, 0);
  EXPECT_EQ(RunProcess(), 0);
  EXPECT_TRUE(Os.Ui.Boxes.empty());
  EXPECT_EQ(Os.Shell.Opens.size(), 1u);
}

TEST_F(Run, AFailedCopyIsReportedAndNothingOpens) {
  SettingsHere(Yesterday0720);
  Os.Fs.erase(Dir + "Dozeboardt1.xls");
  ClockAt(2004, 7, 1, 7, 30);
  EXPECT_EQ(RunProcess(), 0);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{txtPrepareFailed.Source()});
  EXPECT_TRUE(Os.Shell.Opens.empty());
  EXPECT_NE(Settings().find("Last_XLS=2004/06/30 7:20:00"), std::string::npos);
}

TEST_F(Run, AFailedOpeningLeavesTheLastOpeningUnchanged) {
  SettingsHere(Yesterday0720);
  Os.Shell.OpenResult = 31;
  ClockAt(2004, 7, 1, 7, 30);
  Answer({IdYes, IdOk});
  EXPECT_EQ(RunProcess(), 0);
  ASSERT_EQ(Os.Ui.Boxes.size(), 2u);
  EXPECT_NE(Os.Ui.Boxes[1].Text.find(txtErrorCode.Source() + "31"), std::string::npos);
  EXPECT_NE(Settings().find("Last_XLS=2004/06/30 7:20:00"), std::string::npos);
}

TEST_F(Run, UnreadableValuesAreWrittenBackAsTheirDefaults) {
  SettingsHere("[Launch]\r\nWindowSize=abc\r\n[Date]\r\nTimeToNext=later\r\n");
  EXPECT_EQ(RunDeclinedAt(3, 0), 0);
  EXPECT_NE(Settings().find("WindowSize=5\r\n"), std::string::npos);
  EXPECT_NE(Settings().find("TimeToNext=4:00:00\r\n"), std::string::npos);
  // The sections keep their places; new ones come after them.
  EXPECT_EQ(Settings().find("[Launch]"), 0u);
}

TEST_F(Run, UpgradesASettingsFileOfTheEarlierLayout) {
  SettingsHere("; old settings\r\n"
               "[File]\r\nName=x\r\n"
               "[Window]\r\nLeft=1\r\n"
               "[YesNo]\r\nAsk=1\r\n"
               "[Launch]\r\nType1=0\r\n"
               "[YesNo]\r\nSecond=1\r\n");
  EXPECT_EQ(RunDeclinedAt(7, 30), 0);
  const std::string s = Settings();
  EXPECT_EQ(s.find("[File]"), std::string::npos);
  EXPECT_EQ(s.find("[Window]"), std::string::npos);
  EXPECT_EQ(s.find("Ask=1"), std::string::npos);
  EXPECT_NE(s.find("[YesNo]\r\nSecond=1\r\n"), std::string::npos); // only the first goes
  EXPECT_NE(s.find("Type1=0"), std::string::npos);
  EXPECT_EQ(s.find("; old settings"), std::string::npos);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{txtOpenQuestion.Source()});
}

TEST_F(Run, AnEmptyWindowSectionIsNotTheEarlierLayout) {
  SettingsHere("[File]\r\nName=x\r\n[Window]\r\n; nothing\r\n");
  EXPECT_EQ(RunDeclinedAt(7, 30), 0);
  EXPECT_NE(Settings().find("[File]\r\nName=x\r\n\r\n[Window]\r\n\r\n"), std::string::npos);
}

TEST_F(Run, AReadOnlySettingsFileIsReportedAndTheRunEndsNormally) {
  SettingsHere("[Window]\r\nLeft=1\r\n");
  Os.Fs["AutoQuillmer.ini"].ReadOnly = true;
  AddFile(Month("2004-06"));
  ClockAt(2004, 7, 1, 7, 30);
  Answer({IdOk, IdNo, IdOk});
  std::size_t boxesAtGive = 0; // the write-back box keeps no other start out
  Os.RunLock.OnCall = [&](const std::string&) { boxesAtGive = Os.Ui.Boxes.size(); };
  EXPECT_EQ(RunProcess(), 0);
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{txtUpgradeFailed.Source(), txtOpenQuestion.Source(),
                                      txtWriteFailed.Source()}));
  EXPECT_EQ(Settings(), "[Window]\r\nLeft=1\r\n");
  EXPECT_EQ(boxesAtGive, 2u);
}

TEST_F(Run, ACancelledFirstRunWritesNothing) {
  ClockAt(2004, 7, 1, 7, 30);
  Answer({IdCancel, IdOk});
  EXPECT_EQ(RunProcess(), 0);
  EXPECT_EQ(Settings(), "<none>");
  EXPECT_TRUE(Os.Shell.Copies.empty());
}

TEST_F(Run, SettingsLiveInTheCurrentDirectoryNotTheProgramsFolder) {
  // Started from elsewhere: the program's folder has settings, the current directory none.
  AddFile(Dir + "AutoQuillmer.ini", Yesterday0720);
  EXPECT_EQ(RunDeclinedAt(7, 30), 0);
  EXPECT_EQ(BoxTexts(),
            std::vector<std::string>{txtOpenQuestion.Source()}); // no first-run question
  EXPECT_EQ(Os.Fs[Dir + "AutoQuillmer.ini"].Content, Yesterday0720);
  EXPECT_NE(Settings().find("Last_XLS=1900/01/01\r\n"), std::string::npos);
}

// The run lock is given back around every box. A start that finds the question lock held brings
// the other's box forward and ends at once, without a box, a file call or an opening; with "open"
// it opens, unless it waited for the run lock while the other opened the chart; a start whose box
// was up while another opened it neither opens nor writes; without a lock it goes on by itself.
TEST_F(Run, AStartThatFindsAnotherAtWorkEndsQuietly) {
  const std::string t = "Take run AutoQuillmer.ini", w = "Wait run AutoQuillmer.ini",
                    q = "Take question AutoQuillmer.ini", f = "BringHolderForward AutoQuillmer.ini",
                    gr = "Give run", gq = "Give question";
  const char *const open = "AutoQuillmer /open", *const plain = "AutoQuillmer",
                    *const opened = "2004/07/01 7:30:00", *const longAgo = "2000/01/01 0:00:00";
  const auto H = TRunLock::Held, B = TRunLock::Busy, U = TRunLock::Unavailable;
  const struct {
    TRunLock Run, Waited, Question;
    const char* CmdLine;
    bool FirstRun;
    std::size_t Opens;
    std::vector<std::string> LockCalls;
    const char* OtherOpened = nullptr; // the other start's Last_XLS, saved while this one waits
  } cases[] = {
      {H, H, H, plain, false, 1, {t, q, gq, gr}},
      {H, H, H, plain, true, 1, {t, q, gr, w, gr, w, gq, gr}},
      {H, H, B, plain, false, 0, {t, q, f, gr}},
      {H, H, B, plain, true, 0, {t, q, f, gr}},
      {H, H, B, open, false, 1, {t, q, gr}},
      {H, H, B, open, true, 1, {t, q, gr, w, gr}},
      {B, H, H, open, false, 0, {t, w, q, gq, gr}, opened},
      {B, H, H, open, false, 1, {t, w, q, gq, gr}, longAgo},
      {B, B, H, plain, false, 1, {t, w, q, gq}},
      {H, H, H, plain, true, 0, {t, q, gr, w, gq, gr}, opened},
      {U, U, U, plain, false, 1, {t, q}},
      {U, U, U, plain, true, 1, {t, q}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    ResetRunState();
    Os.Fs.erase("AutoQuillmer.ini");
    Os.Fs.erase(Dir + "AutoQuillmer.ini");
    if (!c.FirstRun)
      SettingsHere(SettingsText("2004/06/30 7:20:00", "2004/06/30 7:20:00", "0"));
    const std::string before = Settings();
    Os.RunLock.Answer = c.Run, Os.RunLock.WaitAnswer = c.Waited, Os.RunLock.Question = c.Question;
    Os.RunLock.Calls.clear();
    Os.RunLock.OnCall = [&](const std::string& call) {
      EXPECT_TRUE(call != w || c.Run != B ||
                  Os.Files.Calls.empty()); // nothing read before its turn
      if (call == w && c.OtherOpened)      // the other start saved, opening or not
        SettingsHere(SettingsText(c.OtherOpened, opened, "0"));
    };
    Os.Files.Calls.clear();
    Os.Shell.Opens.clear();
    Os.Ui.Boxes.clear();
    Os.Process.CmdLine = c.CmdLine;
    ClockAt(2004, 7, 1, 7, 30);
    Answer({IdYes, IdYes}); // on a first run: Type-1, then open
    EXPECT_EQ(RunProcess(), 0);
    EXPECT_EQ(Os.Shell.Opens.size(), c.Opens);
    EXPECT_EQ(Os.RunLock.Calls, c.LockCalls);
    if (!c.Opens) {
      EXPECT_EQ(Os.Files.Calls.empty(), !c.OtherOpened);
      EXPECT_EQ(Settings(), c.OtherOpened ? SettingsText(c.OtherOpened, opened, "0") : before);
    } else {
      EXPECT_EQ(Settings(),
                SettingsText("2004/07/01 7:30:00", "2004/07/01 7:30:00", c.FirstRun ? "1" : "0"));
    }
    Os.Ui.Answers.clear();
  }
}

} // namespace
