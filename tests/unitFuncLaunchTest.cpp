// The launch decision and the monthly workbook, in-process against the stand-in.
#include "LauncherFixture.h"
#include "platform/Exceptions.h"

#include <cmath>

namespace {

// Moments of the examples: 2004-07-01 is day 38169.
TMoment At(int day, int hour, int minute = 0) {
  return 38169.0 + (day - 1) + (hour * 60 + minute) / 1440.0;
}
TMoment June(int day, int hour, int minute = 0) {
  return At(day - 30, hour, minute);
}

class LaunchDecision : public LauncherTest {
protected:
  void SetUp() override {
    LauncherTest::SetUp();
    UseJapaneseFormats();
    AppDir = Dir;
  }
};

TEST_F(LaunchDecision, FloorToIntTruncatesAndFloorsNegativeFractions) {
  const struct {
    long double X;
    std::int32_t Floor;
  } cases[] = {{0.0L, 0},   {38169.99L, 38169},   {1.0L, 1}, {-0.25L, -1}, {-1.25L, -2},
               {-2.0L, -2}, {2958465.5L, 2958465}};
  for (const auto& c : cases)
    EXPECT_EQ(FloorToInt(c.X), c.Floor) << static_cast<double>(c.X);
}

TEST_F(LaunchDecision, CountsLogicalDaysFromTheLastOpening) {
  Last_XLS = June(30, 22);
  const struct {
    TMoment Start;
    std::int32_t Days;
  } cases[] = {
      {June(30, 23), 0}, {At(1, 3, 59), 0}, {At(1, 4, 1), 1}, {At(2, 3, 0), 1}, {At(31, 12), 31},
  };
  for (const auto& c : cases) {
    StartTime = c.Start;
    EXPECT_EQ(DaysSinceLastOpen(), c.Days) << c.Start;
  }
  EXPECT_TRUE(Os.Ui.Boxes.empty());
}

TEST_F(LaunchDecision, OnlyTheTimeOfDayOfTheRolloverCounts) {
  Last_XLS = June(30, 22);
  StartTime = At(1, 3, 59);
  for (TMoment rollover : {2.1666666666666665, 0.16666666666666666, 40000.1666666666666}) {
    TimeToNext = rollover;
    EXPECT_EQ(DaysSinceLastOpen(), 0);
  }
  TimeToNext = 0.0; // midnight: logical days are calendar days
  EXPECT_EQ(DaysSinceLastOpen(), 1);
  EXPECT_EQ(ToLogicalDay(At(1, 0, 0)), At(1, 0, 0));
}

TEST_F(LaunchDecision, AFirstStartWithoutLastOpeningFindsManyDays) {
  Last_XLS = 2.0;
  StartTime = At(1, 7, 30);
  EXPECT_EQ(DaysSinceLastOpen(), 38169 - 1);
}

TEST_F(LaunchDecision, WarnsAboutAClockThatWentBackwards) {
  Last_XLS = At(2, 8, 0);
  StartTime = June(29, 10, 0);
  const std::string warning = txtClockBack.Source() + "2004/07/02 08:00:00\r\n" +
                              txtClockNow.Source() + "2004/06/29 10:00:00\r\n\r\n" +
                              txtClockIgnore.Source();
  const struct {
    int Answer;
    std::int32_t Days;
  } cases[] = {{IdYes, ForceOpen}, {IdNo, -3}, {0, -3}};
  for (const auto& c : cases) {
    Os.Ui.Boxes.clear();
    Answer({c.Answer});
    EXPECT_EQ(DaysSinceLastOpen(), c.Days);
    ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
    EXPECT_EQ(Os.Ui.Boxes[0].Text, warning);
    EXPECT_EQ(Os.Ui.Boxes[0].Caption, "Auto Quillmer");
    EXPECT_EQ(Os.Ui.Boxes[0].Flags, MbIconExclamation | MbYesNo);
  }
}

TEST_F(LaunchDecision, TheOpenSwitchForcesOpeningWithoutAnyBox) {
  Last_XLS = At(2, 8, 0);
  StartTime = June(29, 10, 0);
  for (const char* tail : {"/open", "-OPEN", "\"/open\"", "x /Open"}) {
    Os.Process.CmdLine = std::string("AutoQuillmer.exe ") + tail;
    EXPECT_EQ(DaysSinceLastOpen(), ForceOpen) << tail;
  }
  for (const char* tail : {"/opening", "--open", "open"}) {
    Os.Process.CmdLine = std::string("AutoQuillmer.exe ") + tail;
    Answer({IdNo});
    EXPECT_EQ(DaysSinceLastOpen(), -3) << tail;
  }
}

TEST_F(LaunchDecision, ConfirmOpenIsTrueOnlyForYes) {
  for (int answer : {IdYes, IdNo, 0}) {
    Os.Ui.Boxes.clear();
    Answer({answer});
    EXPECT_EQ(ConfirmOpen(), answer == IdYes);
    ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
    EXPECT_EQ(Os.Ui.Boxes[0].Text, txtOpenQuestion.Source());
    EXPECT_EQ(Os.Ui.Boxes[0].Flags, MbIconQuestion | MbYesNo);
  }
}

TEST_F(LaunchDecision, NamesTheWorkbookAfterTheMonthOfTheDayBefore) {
  const struct {
    TMoment Start;
    const char* Name;
  } cases[] = {
      {At(1, 3, 0), "Dozeboard_2004-06.xls"},
      {At(1, 5, 0), "Dozeboard_2004-06.xls"},
      {At(2, 5, 0), "Dozeboard_2004-07.xls"},
      {At(2, 3, 59), "Dozeboard_2004-06.xls"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MonthlyFileName(ToLogicalDay(c.Start)), c.Name) << c.Start;
  RegionalFormats.DateSep = '.'; // the hyphen is literal, whatever the date separator
  EXPECT_EQ(MonthlyFileName(At(2, 5)), "Dozeboard_2004-07.xls");
}

TEST_F(LaunchDecision, CopiesTheChosenTemplateOnly) {
  TargetFile = Dir + "Dozeboard_2004-06.xls";
  AddFile(Dir + "Dozeboardt1.xls", "type one");
  AddFile(Dir + "Dozeboardt3.xls", "type three");
  Type1 = false;
  EXPECT_TRUE(CopyTemplate());
  ASSERT_EQ(Os.Shell.Copies.size(), 1u);
  EXPECT_EQ(Os.Shell.Copies[0].From, Dir + "Dozeboardt3.xls");
  EXPECT_EQ(Os.Shell.Copies[0].To, TargetFile);
  EXPECT_EQ(Os.Fs[TargetFile].Content, "type three");
  Os.Fs.erase(Dir + "Dozeboardt1.xls");
  Os.Fs.erase(TargetFile);
  Type1 = true; // no fallback to the other template
  EXPECT_FALSE(CopyTemplate());
}

TEST_F(LaunchDecision, MapsWindowSizeToTheShowCommand) {
  const int expected[] = {0, 0, 0, 3, 0, 5, 0, 0, 0, 9, 0};
  for (int w = 0; w <= 10; ++w)
    EXPECT_EQ(ShowCommandFor(w), expected[w]) << w;
  EXPECT_EQ(ShowCommandFor(-1), 0);
  EXPECT_EQ(ShowCommandFor(2147483647), 0);
}

TEST_F(LaunchDecision, ReportsAFailedOpeningWithItsCode) {
  TargetFile = Dir + "Dozeboard_2004-06.xls";
  AddFile(TargetFile);
  for (std::int32_t code : {31, 0, 32, -5}) {
    Os.Ui.Boxes.clear();
    Os.Shell.OpenResult = code;
    EXPECT_FALSE(OpenWorkbook());
    ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
    EXPECT_EQ(Os.Ui.Boxes[0].Text, "「Dozeboard」のオープンに失敗しました。\r\n\r\nファイル：　" +
                                       TargetFile + "\r\nエラーコード：　" + DecimalText(code));
    EXPECT_EQ(Os.Ui.Boxes[0].Flags, MbIconHand);
  }
  Os.Shell.OpenResult = 33;
  EXPECT_TRUE(OpenWorkbook());
}

// A system whose ANSI code page is Latin-1 (an English or German Windows): it has «ü» but
// none of the Japanese characters of the fixed texts.
class TLatin1Process : public TFakeProcess {
public:
  using TFakeProcess::TFakeProcess;
  std::string AnsiFromUtf8(const std::string& utf8) override {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
      const auto c = static_cast<unsigned char>(utf8[i]);
      const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      const unsigned cp = n == 2 ? ((c & 0x1Fu) << 6) | (utf8[i + 1] & 0x3F) : c;
      out.push_back(n == 1 || (n == 2 && cp < 0x100) ? static_cast<char>(cp) : '?');
      i += n;
    }
    return out;
  }
  std::string Utf8FromAnsi(const std::string& ansi) override {
    std::string out;
    for (char ch : ansi) {
      const auto c = static_cast<unsigned char>(ch);
      if (c < 0x80) {
        out.push_back(ch);
      } else {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
    return out;
  }
  std::size_t Utf8FromAnsiInto(const char* ansi, std::size_t n, char* out,
                               std::size_t size) override {
    const std::string utf8 = Utf8FromAnsi(std::string(ansi, n));
    return TFakeProcess::Utf8FromAnsiInto(utf8.data(), utf8.size(), out, size);
  }
};

const TText CannotOpen{"ファイル %s は開けません"};

TEST_F(LaunchDecision, BoxesStayReadableWhereTheCodePageLacksTheirCharacters) {
  TLatin1Process latin1(Os.Fs);
  latin1.ModulePath = Os.Process.ModulePath;
  TOsSlot<TOsProcess>::Use(&latin1);
  TText::LoadAll();
  // A file name from the system, in the code page: «Müller».
  TargetFile = Dir + "M\xFCller\\Dozeboard_2004-06.xls";
  AddFile(TargetFile);
  Os.Shell.OpenResult = 31;
  EXPECT_FALSE(OpenWorkbook());
  // The failure report: its template and the message's fixed part from their source.
  const EFOpenError failure(CannotOpen, "M\xFCller.ini");
  EXPECT_EQ(failure.Message(), "???? M\xFCller.ini ??????"); // what the program keeps
  try {
    ReportFailure(failure, nullptr);
  } catch (const TFakeExit&) {
  }
  TOsSlot<TOsProcess>::Use(&Os.Process);
  TText::LoadAll();
  ASSERT_EQ(Os.Ui.Boxes.size(), 2u);
  EXPECT_EQ(Os.Ui.Boxes[0].Text, "「Dozeboard」のオープンに失敗しました。\r\n\r\nファイル：　" +
                                     Dir + "Müller\\Dozeboard_2004-06.xls\r\nエラーコード：　31");
  EXPECT_EQ(Os.Ui.Boxes[0].Caption, "Auto Quillmer");
  EXPECT_EQ(Os.Ui.Boxes[1].Text,
            "EFOpenErrorがモジュール AutoQuillmer.exe の FFFFF000 で発生しました。\n"
            "ファイル Müller.ini は開けません.");
  EXPECT_EQ(Os.Ui.Boxes[1].Caption, "アプリケーション エラー");
}

// The conversions of the system the tests run on (under Wine: an English, German or Japanese
// Windows, tests/harness/test-wine-locales.sh).
class TSystemCodePage : public TFakeProcess {
public:
  using TFakeProcess::TFakeProcess;
  std::string AnsiFromUtf8(const std::string& utf8) override { return System().AnsiFromUtf8(utf8); }
  std::string Utf8FromAnsi(const std::string& ansi) override { return System().Utf8FromAnsi(ansi); }
  std::size_t Utf8FromAnsiInto(const char* ansi, std::size_t n, char* out,
                               std::size_t size) override {
    return System().Utf8FromAnsiInto(ansi, n, out, size);
  }

private:
  static TOsProcess& System() { return TOsSlot<TOsProcess>::Native(); }
};

class EveryBox : public LaunchDecision {
protected:
  // Every box of the program, under the code page of `process`.
  std::vector<TBoxCall> Tour(TFakeProcess& process);
};

std::vector<TBoxCall> EveryBox::Tour(TFakeProcess& process) {
  TFakePlatform& os = Os;
  const std::string& dir = Dir;
  process.ModulePath = dir + "AutoQuillmer.exe";
  TOsSlot<TOsProcess>::Use(&process);
  TText::LoadAll();
  os.Ui.Boxes.clear();
  os.Fs.clear();
  ShowMsg(txtOpenQuestion, "?", txtAppCaption);
  AskMsg(txtOpenQuestion, "?", "yes", txtAppCaption);
  ResetRunState();
  AppDir = dir;
  ChooseTemplateType(); // no template
  os.Fs[dir + "Dozeboardt1.xls"] = os.Fs[dir + "Dozeboardt3.xls"] = TFakeEntry{"x"};
  os.Ui.Answers = {IdCancel};
  ChooseTemplateType();
  StartTime = 38169.5;
  Last_XLS = 38170.5;
  DaysSinceLastOpen();
  ConfirmOpen();
  TargetFile = dir + "Dozeboard_2004-06.xls";
  os.Shell.OpenResult = 31;
  OpenWorkbook();
  for (auto r : {TAutostartResult::Done, TAutostartResult::Denied, TAutostartResult::NoFolder,
                 TAutostartResult::Failed, TAutostartResult::NotFound, TAutostartResult::NotOurs,
                 TAutostartResult::NotUtf8, TAutostartResult::NoProgram}) {
    os.Autostart.Outcome = {r, dir + "Auto Quillmer.lnk", 5};
    AddStartupEntry();
    RemoveStartupEntry();
  }
  // Registered from a folder without templates.
  os.Autostart.Outcome = {TAutostartResult::Done, dir + "Auto Quillmer.lnk", 0};
  os.Fs.erase(dir + "Dozeboardt1.xls");
  os.Fs.erase(dir + "Dozeboardt3.xls");
  AddStartupEntry();
  os.Fs[dir + "Dozeboardt3.xls"] = TFakeEntry{"x"};
  // A program that cannot read its own path.
  process.ModulePath.clear();
  RunProcess();
  process.ModulePath = dir + "AutoQuillmer.exe";
  // A file of the earlier layout that cannot be written, and no template for the new month.
  SettingsHere("[Window]\r\nx=1\r\n");
  os.Fs["AutoQuillmer.ini"].ReadOnly = true;
  RunProcess();
  os.Fs["AutoQuillmer.ini"].HeldElsewhere = TFakeHold::Writing; // the failure report
  RunProcess();
  TOsSlot<TOsProcess>::Use(&os.Process);
  TText::LoadAll();
  return os.Ui.Boxes;
}

TEST_F(EveryBox, ReadsAlikeWhateverTheSystemsCodePage) {
  TFakeProcess utf8(Os.Fs);
  const std::vector<TBoxCall> shown = Tour(utf8);
  std::string all;
  for (const TBoxCall& b : shown)
    all += b.Caption + "\n" + b.Text + "\n";
  // Not boxes of their own: the terminal's help, and the failure messages, which reach a box
  // only inside the failure report (covered by the report of a settings file held elsewhere).
  const std::set<std::string> notBoxes = {
      "Help", "OutputFailed", "FileOpenError", "FileCreateError", "StreamWriteError",
      "DateNotConvertible", "TimeNotConvertible", "NotATime", "NotADateOrTime",
      // the Linux program's dialogs and terminal prompt
      "ButtonCancel", "KindQuestion", "KindWarning", "KindInformation", "PromptYesNoCancel",
      "PromptYesNo", "PromptOk", "AnswerYesNoCancel", "AnswerYesNo",
      // the runtime-error stop (tests/platform/ProcessEndTest)
      "RuntimeError"};
  // The start at sign-in speaks in the words of the system the program runs on.
  const TStartupWords& o = &StartupWords() == &SignInWords ? LoginWords : SignInWords;
  const std::set<const TText*> otherWords = {&o.Added,   &o.AddFailed,    &o.Removed,  &o.None,
                                             &o.NotOurs, &o.RemoveFailed, &o.NoFolder, &o.Denied};
#define AQ_TEXT(name, utf8)                                                                        \
  if (!notBoxes.contains(#name) && !otherWords.contains(&txt##name)) {                             \
    EXPECT_NE(all.find(utf8), std::string::npos) << #name;                                         \
  }
#define AQ_STRING(name, id, utf8)
#include "platform/Texts.def"
#undef AQ_STRING
#undef AQ_TEXT
  EXPECT_NE(all.find(txtReportCaption.Source()), std::string::npos);
  TLatin1Process latin1(Os.Fs);
  TSystemCodePage system(Os.Fs);
  for (TFakeProcess* process :
       {static_cast<TFakeProcess*>(&latin1), static_cast<TFakeProcess*>(&system)}) {
    const std::vector<TBoxCall> again = Tour(*process);
    ASSERT_EQ(again.size(), shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
      EXPECT_EQ(again[i].Text, shown[i].Text);
      EXPECT_EQ(again[i].Caption, shown[i].Caption);
    }
  }
}

} // namespace
