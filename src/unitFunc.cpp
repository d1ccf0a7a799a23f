#include "unitFunc.h"

#include "datetime/MomentFormat.h"
#include "datetime/RegionalFormats.h"
#include "ini/IniDisk.h"
#include "ini/IniFile.h"
#include "platform/Exceptions.h"
#include "platform/FailureReport.h"
#include "platform/ProcessEnd.h"
#include "platform/ProcessFrame.h"
#include "platform/Texts.h"
#include "platform/os/OsAutostart.h"
#include "platform/os/OsRunLock.h"
#include "platform/os/OsShell.h"
#include "platform/os/OsUi.h"

#include "AqVersion.h"

// ---------------------------------------------------------------------------------------
// Run state

namespace {
// Moments count days from 1899-12-30, so that 1900-01-01 is day 2; a time of day is the fraction.
constexpr TMoment FirstDayOf1900 = 2.0;
constexpr TMoment Hour = 1.0 / 24;
constexpr TMoment Minute = Hour / 60;
constexpr TMoment Second = Minute / 60;

// The file names and the settings' defaults (Defaults.def): SettingsFile, TemplateType1 and so
// on, DefaultTimeToNext and so on. A time of day is a moment on 1900-01-01.
#define AQ_NAME(name, text) constexpr char name[] = text;
#define AQ_TIME(key, hours, minutes)                                                               \
  constexpr TMoment Default##key = FirstDayOf1900 + (hours)*Hour + (minutes)*Minute;
#define AQ_NUMBER(key, value) constexpr std::int32_t Default##key = value;
#include "Defaults.def"
#undef AQ_NUMBER
#undef AQ_TIME
#undef AQ_NAME

// The last opening before any: none, 1900-01-01 00:00.
constexpr TMoment DefaultLastXls = FirstDayOf1900;
} // namespace

std::string AppDir;
TMoment Last_XLS = DefaultLastXls;
TMoment TimeToNext = DefaultTimeToNext;
bool Type1 = DefaultType1 != 0;
std::int32_t WindowSize = DefaultWindowSize;
bool YesNo = DefaultYesNo != 0;
TMoment StartTime = 0.0;
TMoment LogicalNow = 0.0;
std::string TargetFile;

void ResetRunState() {
  AppDir.clear();
  Last_XLS = DefaultLastXls;
  TimeToNext = DefaultTimeToNext;
  Type1 = DefaultType1 != 0;
  WindowSize = DefaultWindowSize;
  YesNo = DefaultYesNo != 0;
  StartTime = 0.0;
  LogicalNow = 0.0;
  TargetFile.clear();
}

namespace {

const char* const ClockPattern = "yyyy/mm/dd hh:nn:ss";

// A switch of the launcher: its name after "-" or "/", letter case ignored.
bool LauncherSwitch(const char* name) {
  TByteSet switchChars;
  switchChars.set('-');
  switchChars.set('/');
  return SwitchGiven(name, switchChars, true);
}

bool OpenSwitchGiven() {
  return LauncherSwitch("open");
}

// The entry that starts the launcher at sign-in: "Auto Quillmer.lnk" in the Startup folder
// on Windows, "auto-quillmer.desktop" among the XDG autostart entries elsewhere.
TAutostartEntry StartupEntry() {
  TAutostartEntry entry;
  entry.Name = txtAppCaption.Source();
  entry.FileStem = AutostartStem;
  entry.CommentJa = "今月の睡眠記録表「Dozeboard」を 1 日 1 回開きます。";
  entry.CommentEn = "Opens this month's Dozeboard sleep chart once a day.";
  return entry;
}

// A platform code as eight hexadecimal digits after "0x".
std::string HexCode(std::uint32_t code) {
  std::string out = "0x";
  for (int shift = 28; shift >= 0; shift -= 4)
    out.push_back("0123456789ABCDEF"[(code >> shift) & 0xFu]);
  return out;
}

// How long a start waits for the run lock: its holder gives it back within moments, since it
// never keeps it across a box. One that keeps it longer is stuck, and the start goes on by
// itself, as where no lock can be had.
constexpr unsigned RunLockWaitMs = 5000;

// The locks of the settings file for one start, given back on every way out. The run lock is
// held while the start reads the settings, decides, opens the chart and saves, and given back
// around every box (ShowUnlocked), after which the start learns whether another start opened the
// chart meanwhile; the question lock is held for the whole run, so that a second start can tell
// that a question of this one may be on screen.
class TStartLock {
public:
  TStartLock() {
    Run = Take(TRunLockKind::Run, 0);
    if (Run == TRunLock::Busy) {
      Waited = true;
      Run = Take(TRunLockKind::Run, RunLockWaitMs);
    }
    Question = Take(TRunLockKind::Question, 0);
    Current = this;
  }
  ~TStartLock() {
    Give();
    Current = nullptr;
  }
  TStartLock(const TStartLock&) = delete;
  TStartLock& operator=(const TStartLock&) = delete;
  // The start that holds the locks of the run, while it runs.
  static TStartLock* Current;
  // Another start of the same settings file may have its question on screen.
  bool OtherAsks() const { return Question == TRunLock::Busy; }
  // Another start held the run lock when this one came.
  bool WaitedForTurn() const { return Waited; }
  // Another start opened the chart while a box of this one was up: read, with the run lock held,
  // from the settings file once after each box.
  bool OtherOpened();
  void BringAskerForward() const { OsRunLock().BringHolderForward(SettingsFile); }
  // Around a box: the run lock given back, then taken again.
  void BeforeBox() {
    OsRunLock().BeforeBox();
    Resume = Run == TRunLock::Held;
    Stale = Stale || Resume;
    GiveRun();
  }
  void AfterBox() {
    if (Resume)
      Run = Take(TRunLockKind::Run, RunLockWaitMs);
  }
  void Give() {
    if (Question == TRunLock::Held)
      OsRunLock().Give(TRunLockKind::Question);
    Question = TRunLock::Unavailable;
    GiveRun();
  }

private:
  static TRunLock Take(TRunLockKind kind, unsigned waitMs) {
    return OsRunLock().Take(SettingsFile, kind, waitMs);
  }
  void GiveRun() {
    if (Run == TRunLock::Held)
      OsRunLock().Give(TRunLockKind::Run);
    Run = TRunLock::Unavailable;
  }

  TRunLock Run, Question;
  bool Waited = false, Opened = false, Stale = false, Resume = false;
};

TStartLock* TStartLock::Current = nullptr;

// Shows a box with the run lock given back for as long as it is up.
int ShowUnlocked(const TBoxText& text, const TBoxText& caption, unsigned flags) {
  if (TStartLock::Current)
    TStartLock::Current->BeforeBox();
  const int answer = ShowBox(text, caption, flags);
  if (TStartLock::Current)
    TStartLock::Current->AfterBox();
  return answer;
}

// Shows the outcome of adding or removing the entry: the headline, for a failure the
// reason, then where the entry is. Returns the exit code of the run.
std::int32_t ReportStartup(const TAutostartOutcome& outcome, const TBoxText& headline,
                           bool failed) {
  TBoxText text = headline;
  if (failed) {
    text += TBoxText::LineBreak();
    switch (outcome.Result) {
    case TAutostartResult::NoFolder:
      text += StartupWords().NoFolder;
      break;
    case TAutostartResult::Denied:
      text += StartupWords().Denied;
      break;
    case TAutostartResult::NotUtf8:
      text += txtStartupNotUtf8;
      break;
    case TAutostartResult::NoProgram:
      text += txtNoProgramPath;
      break;
    default:
      text += txtErrorCode + TSystemText::FromCodePage(HexCode(outcome.Code));
      break;
    }
  }
  if (!outcome.Path.empty())
    text += TBoxText::LineBreak() + TBoxText::LineBreak() + txtStartupPlace +
            TSystemText::FromCodePage(outcome.Path);
  ShowMsg(text, failed ? "e" : "i", txtAppCaption);
  return failed ? StartupFailed : 0;
}

// True when at least one template lies beside the program.
bool TemplateBesideProgram() {
  const std::string folder = FolderOf(ProgramFileName()) + PathDelim;
  return FilePresent(folder + TemplateType1) || FilePresent(folder + TemplateType3);
}

// The program's name and version, as "--version" prints it.
std::string NameAndVersion() {
  return txtAppCaption.Source() + " " + AQ_VERSION_TEXT + "\n";
}

// Writes an answer on the standard output. True when the program has one: the run then ends
// there, with exit code 2 and a word on the standard error when the answer could not be written
// whole, as the usual command-line tools do.
bool AnswerOnOutput(const std::string& text) {
  const TOsUi::TOutWrite done = OsUi().WriteOut(text);
  if (done == TOsUi::TOutWrite::Failed) {
    OsUi().WriteErr(txtAppCaption.Shown() + ": " + txtOutputFailed.Shown());
    SetRunExitCode(OutputFailedExit);
  }
  return done != TOsUi::TOutWrite::NoOutput;
}

// The answer to "--version", "--help" or "-h" (the first of them among the arguments),
// written on the standard output where the program has one (the Linux program). True when
// one was written; the run then ends there, having read and written no file.
bool AnswerInfoSwitch() {
  const std::int32_t n = ArgCount();
  for (std::int32_t i = 1; i <= n; ++i) {
    const std::string arg = ArgAt(i);
    if (arg == "--version")
      return AnswerOnOutput(NameAndVersion());
    if (arg == "--help" || arg == "-h")
      return AnswerOnOutput(NameAndVersion() + txtHelp.Shown());
  }
  return false;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Start-up

std::span<const TStartStep> ProgramStartSteps() {
  static const TStartStep steps[] = {
      {&TText::LoadAll, nullptr},
      {&SetUpFailureReport, &TakeDownFailureReport},
      {&LoadCodePageFacts, nullptr},
      {&LoadRegionalFormats, nullptr}, // after the code-page facts
  };
  return steps;
}

// ---------------------------------------------------------------------------------------
// Message boxes

namespace {

// The flags of an icon letter: "e", "i" and "n" for every box, "w" and "?" for a question
// only. False, after a box that says so under the caption, for any other letter.
bool IconFlags(const std::string& icon, bool question, const TBoxText& caption, unsigned& flags) {
  static const struct {
    const char* Letter;
    unsigned Flags;
    bool QuestionOnly;
  } icons[] = {{"e", MbIconHand, false},
               {"i", MbIconAsterisk, false},
               {"n", 0, false},
               {"w", MbIconExclamation, true},
               {"?", MbIconQuestion, true}};
  for (const auto& i : icons)
    if (icon == i.Letter && (question || !i.QuestionOnly)) {
      flags = i.Flags;
      return true;
    }
  ShowUnlocked(txtIconFault, caption, MbOk);
  return false;
}

} // namespace

std::int32_t ShowMsg(const TBoxText& text, const std::string& icon, const TBoxText& caption) {
  unsigned flags;
  if (!IconFlags(icon, false, caption, flags))
    return -1;
  return ShowUnlocked(text, caption, flags | MbOk);
}

std::int32_t AskMsg(const TBoxText& text, const std::string& icon, const std::string& buttons,
                    const TBoxText& caption) {
  unsigned flags;
  if (!IconFlags(icon, true, caption, flags))
    return -1;
  if (buttons == "yn")
    flags |= MbYesNo;
  else if (buttons == "ync")
    flags |= MbYesNoCancel;
  else {
    ShowUnlocked(txtButtonFault, caption, MbOk);
    return -1;
  }
  return ShowUnlocked(text, caption, flags);
}

// ---------------------------------------------------------------------------------------
// First-run template choice

bool ChooseTemplateType() {
  const bool t1 = FilePresent(AppDir + TemplateType1);
  const bool t3 = FilePresent(AppDir + TemplateType3);
  switch ((t1 ? 1 : 0) + (t3 ? 3 : 0)) {
  case 0:
    ShowMsg(txtNoTemplate, "e", txtAppCaption);
    return false;
  case 1:
    Type1 = true;
    return true;
  case 3:
    Type1 = false;
    return true;
  default:
    break;
  }
  switch (AskMsg(txtChooseType, "?", "ync", txtSetupCaption)) {
  case IdYes:
    Type1 = true;
    return true;
  case IdNo:
    Type1 = false;
    return true;
  case IdCancel:
    ShowMsg(txtSetupCancelled, "n", txtAppCaption);
    return false;
  default:
    return false;
  }
}

// ---------------------------------------------------------------------------------------
// Logical days and the launch decision

std::int32_t FloorToInt(long double x) {
  auto r = static_cast<std::int32_t>(static_cast<std::uint32_t>(TruncOf(x)));
  if (FracOf(x) < 0.0L)
    --r;
  return r;
}

TMoment ToLogicalDay(TMoment t) {
  if (FracOf(t) >= FracOf(TimeToNext))
    return t;
  return static_cast<TMoment>(static_cast<long double>(t) - 1.0L);
}

std::int32_t DaysSinceLastOpen() {
  if (OpenSwitchGiven())
    return ForceOpen;
  const std::int32_t d = FloorToInt(ToLogicalDay(StartTime)) - FloorToInt(ToLogicalDay(Last_XLS));
  if (d >= 0)
    return d;
  const TBoxText text = txtClockBack +
                        TSystemText::FromCodePage(FormatMoment(ClockPattern, Last_XLS)) +
                        TBoxText::LineBreak() + txtClockNow +
                        TSystemText::FromCodePage(FormatMoment(ClockPattern, StartTime)) +
                        TBoxText::LineBreak() + TBoxText::LineBreak() + txtClockIgnore;
  if (AskMsg(text, "w", "yn", txtAppCaption) == IdYes)
    return ForceOpen;
  return d;
}

bool ConfirmOpen() {
  return AskMsg(txtOpenQuestion, "?", "yn", txtAppCaption) == IdYes;
}

// ---------------------------------------------------------------------------------------
// Monthly workbook

std::string MonthlyFileName(TMoment t) {
  const auto dayBefore = static_cast<TMoment>(static_cast<long double>(t) - 1.0L);
  return MonthlyPrefix + FormatMoment("yyyy\"-\"mm", dayBefore) + ".xls";
}

bool CopyTemplate() {
  const std::string source = AppDir + (Type1 ? TemplateType1 : TemplateType3);
  return OsShell().ShellCopy(source, TargetFile) == 0;
}

int ShowCommandFor(std::int32_t windowSize) {
  switch (windowSize) {
  case 0:
  case 3:
  case 5:
  case 9:
    return windowSize;
  default:
    return 0;
  }
}

bool OpenWorkbook() {
  const std::int32_t result = OsShell().ShellOpen(TargetFile, ShowCommandFor(WindowSize));
  if (result > 32)
    return true;
  ShowMsg(txtOpenFailed + TSystemText::FromCodePage(TargetFile) + TBoxText::LineBreak() +
              txtErrorCode + TSystemText::FromCodePage(DecimalText(result)),
          "e", txtAppCaption);
  return false;
}

// ---------------------------------------------------------------------------------------
// Start at sign-in

const TStartupWords SignInWords{txtStartupAdded,    txtStartupAddFailed, txtStartupRemoved,
                                txtStartupNone,     txtStartupNotOurs,   txtStartupRemoveFailed,
                                txtStartupNoFolder, txtStartupDenied};
const TStartupWords LoginWords{txtLoginAdded,    txtLoginAddFailed, txtLoginRemoved,
                               txtLoginNone,     txtLoginNotOurs,   txtLoginRemoveFailed,
                               txtLoginNoFolder, txtLoginDenied};

const TStartupWords& StartupWords() {
#ifdef _WIN32
  return SignInWords;
#else
  return LoginWords;
#endif
}

std::int32_t AddStartupEntry() {
  const TAutostartOutcome outcome = OsAutostart().Add(StartupEntry());
  const bool done = outcome.Result == TAutostartResult::Done;
  TBoxText headline = done ? StartupWords().Added : StartupWords().AddFailed;
  // Registered, but a start would find no template to make the chart from.
  if (done && !TemplateBesideProgram()) {
    headline += TBoxText::LineBreak() + txtStartupNoTemplate;
  }
  return ReportStartup(outcome, headline, !done);
}

std::int32_t RemoveStartupEntry() {
  const TAutostartOutcome outcome = OsAutostart().Remove(StartupEntry());
  switch (outcome.Result) {
  case TAutostartResult::Done:
    return ReportStartup(outcome, StartupWords().Removed, false);
  case TAutostartResult::NotFound:
    return ReportStartup(outcome, StartupWords().None, false);
  case TAutostartResult::NotOurs:
    return ReportStartup(outcome, StartupWords().NotOurs, false);
  default:
    return ReportStartup(outcome, StartupWords().RemoveFailed, true);
  }
}

// ---------------------------------------------------------------------------------------
// Settings file

void LoadSettings() {
  LoadSettingsFrom(SettingsFile);
}

void LoadSettingsFrom(const std::string& name) {
  TMemIniFile ini(name);
  Last_XLS = ini.ReadMoment("Execute", "Last_XLS", DefaultLastXls);
  TimeToNext = ini.ReadTimeOfDay("Date", "TimeToNext", DefaultTimeToNext);
  Type1 = ini.ReadFlag("Launch", "Type1", DefaultType1 != 0);
  WindowSize = ini.ReadInt("Launch", "WindowSize", DefaultWindowSize);
  YesNo = ini.ReadFlag("Launch", "YesNo", DefaultYesNo != 0);
}

namespace {

// Writes the store back; false when the file cannot be created or written.
bool WriteBack(TMemIniFile& ini) {
  try {
    ini.SaveToDisk();
  } catch (const EFCreateError&) {
    return false;
  } catch (const EWriteError&) {
    return false;
  }
  return true;
}

} // namespace

bool SaveSettings() {
  TMemIniFile ini(SettingsFile);
  ini.WriteMoment("Execute", "Last_XLS", Last_XLS);
  ini.WriteMoment("Execute", "LastQuillmer", StartTime);
  ini.WriteTimeOfDay("Date", "TimeToNext", TimeToNext);
  ini.WriteFlag("Launch", "Type1", Type1);
  ini.WriteInt("Launch", "WindowSize", WindowSize);
  ini.WriteFlag("Launch", "YesNo", YesNo);
  return WriteBack(ini);
}

namespace {

// An opening recorded on this logical day.
bool OpenedToday(TMoment lastOpened) {
  return FloorToInt(ToLogicalDay(lastOpened)) == FloorToInt(ToLogicalDay(NowLocal()));
}

} // namespace

bool TStartLock::OtherOpened() {
  if (Stale) {
    Stale = false;
    // A last opening that only reads back differently, a two-digit year's for one, is not
    // today's.
    const TMoment onDisk =
        TMemIniFile(SettingsFile).ReadMoment("Execute", "Last_XLS", DefaultLastXls);
    Opened = Opened || (onDisk != Last_XLS && OpenedToday(onDisk));
  }
  return Opened;
}

bool HasLegacySettings() {
  if (!FilePresent(SettingsFile))
    return false;
  TMemIniFile ini(SettingsFile);
  return ini.HasSection("Window");
}

bool RemoveLegacySections() {
  TMemIniFile ini(SettingsFile);
  for (const char* section : {"File", "Window", "YesNo"})
    if (ini.HasSection(section))
      ini.DropSection(section);
  return WriteBack(ini);
}

// ---------------------------------------------------------------------------------------
// Run sequence

void RunLauncher() {
  if (AnswerInfoSwitch())
    return;
  // Registering the start at sign-in, or removing it, is all that such a run does; removing
  // goes first when both are asked for.
  if (LauncherSwitch("nostartup")) {
    SetRunExitCode(RemoveStartupEntry());
    return;
  }
  if (LauncherSwitch("startup")) {
    SetRunExitCode(AddStartupEntry());
    return;
  }
  // Starts of the same settings file take turns for moments, never across a box. A start that
  // finds another's question possibly on screen brings it forward (the user may not have seen
  // it) and ends without a word or a write; with "open" given it goes on and opens the chart,
  // unless another start has opened it since this request came. Where no lock can be had, each
  // start goes on by itself.
  const TMoment requested = NowLocal() - 2 * Second;
  TStartLock lock;
  if (lock.OtherAsks() && !OpenSwitchGiven()) {
    lock.BringAskerForward();
    return;
  }
  // The program's folder. Without the program's own path there is none: the run ends
  // rather than work in some other folder.
  const std::string program = ProgramFileName();
  if (program.empty()) {
    ShowMsg(txtNoProgramPath, "e", txtAppCaption);
    SetRunExitCode(NoProgramPathExit);
    return;
  }
  AppDir = FolderOf(program) + PathDelim;
  // The settings, with a file of the earlier layout upgraded in place. A save that could
  // put its new file neither in place nor under the file's name kept it: it is taken back,
  // or where it cannot be, read in the file's place (no first run then).
  const TKeptFile kept(SettingsFile);
  LoadSettingsFrom(kept.From());
  // Another start opened the chart while this one waited its turn: the request is met.
  if (lock.WaitedForTurn() && OpenSwitchGiven() && Last_XLS >= requested && OpenedToday(Last_XLS))
    return;
  if (HasLegacySettings()) {
    SaveSettings();
    if (!RemoveLegacySections())
      ShowMsg(txtUpgradeFailed, "e", txtAppCaption);
  }
  // A first run settles the template type, or ends here without writing anything.
  if (!kept.Used() && !FilePresent(AppDir + SettingsFile)) {
    if (!ChooseTemplateType())
      return;
  }
  // After every box the start goes on only if no other start opened the chart meanwhile:
  // that start has recorded the day, and this one neither opens nor writes.
  if (lock.OtherOpened())
    return;
  // The start time, after any first-run question, and the launch decision.
  StartTime = NowLocal();
  const std::int32_t d = DaysSinceLastOpen();
  if (d >= 1) {
    LogicalNow = ToLogicalDay(StartTime);
    TargetFile = AppDir + MonthlyFileName(LogicalNow);
    // A workbook that cannot be looked at is copied too: the copy never replaces a file.
    if (FilePresence(TargetFile) != TPresence::Present && !CopyTemplate()) {
      ShowMsg(txtPrepareFailed, "e", txtAppCaption);
    } else if (!YesNo || OpenSwitchGiven() || ConfirmOpen()) {
      if (lock.OtherOpened())
        return;
      if (OpenWorkbook())
        Last_XLS = StartTime;
    }
  }
  if (lock.OtherOpened())
    return;
  // The settings are written back, whatever happened on the way; the next start may begin
  // as soon as they are, before any report of a failed write-back.
  const bool saved = SaveSettings();
  lock.Give();
  if (!saved)
    ShowMsg(txtWriteFailed, "e", txtAppCaption);
}
