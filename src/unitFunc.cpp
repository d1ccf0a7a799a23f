#include "unitFunc.h"

#include "datetime/MomentFormat.h"
#include "datetime/RegionalFormats.h"
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
// The settings' defaults: what a start without a settings file gets.
constexpr TMoment DefaultLastXls = 2.0;                   // 1900-01-01 00:00:00
constexpr TMoment DefaultTimeToNext = 2.1666666666666665; // 1900-01-01 04:00:00
constexpr bool DefaultType1 = true;
constexpr std::int32_t DefaultWindowSize = 5;
constexpr bool DefaultYesNo = true;
} // namespace

std::string AppDir;
TMoment Last_XLS = DefaultLastXls;
TMoment TimeToNext = DefaultTimeToNext;
bool Type1 = DefaultType1;
std::int32_t WindowSize = DefaultWindowSize;
bool YesNo = DefaultYesNo;
TMoment StartTime = 0.0;
TMoment LogicalNow = 0.0;
std::string TargetFile;

void ResetRunState() {
  AppDir.clear();
  Last_XLS = DefaultLastXls;
  TimeToNext = DefaultTimeToNext;
  Type1 = DefaultType1;
  WindowSize = DefaultWindowSize;
  YesNo = DefaultYesNo;
  StartTime = 0.0;
  LogicalNow = 0.0;
  TargetFile.clear();
}

namespace {

constexpr char AppCaption[] = "Auto Quillmer";
const char* const SettingsBase = "AutoQuillmer";
const char* const SettingsExt = ".ini";
const char* const TemplateType1 = "Dozeboardt1.xls";
const char* const TemplateType3 = "Dozeboardt3.xls";

const char* const SettingsFile = "AutoQuillmer.ini";
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
  entry.Name = AppCaption;
  entry.FileStem = "auto-quillmer";
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

// The run lock of the settings file, held from before the settings are read until after
// they are written back, and given back on every way out.
class TStartLock {
public:
  TStartLock() : Result(OsRunLock().Take(SettingsFile)) {}
  ~TStartLock() {
    if (Result == TRunLock::Held)
      OsRunLock().Give();
  }
  TStartLock(const TStartLock&) = delete;
  TStartLock& operator=(const TStartLock&) = delete;
  // Another start of the same settings file is handling the day.
  bool Busy() const { return Result == TRunLock::Busy; }

private:
  TRunLock Result;
};

// Shows the outcome of adding or removing the entry: the headline, for a failure the
// reason, then where the entry is. Returns the exit code of the run.
std::int32_t ReportStartup(const TAutostartOutcome& outcome, const TBoxText& headline,
                           bool failed) {
  TBoxText text = headline;
  if (failed) {
    text += "\r\n";
    switch (outcome.Result) {
    case TAutostartResult::NoFolder:
      text += txtStartupNoFolder;
      break;
    case TAutostartResult::Denied:
      text += txtStartupDenied;
      break;
    case TAutostartResult::NotUtf8:
      text += txtStartupNotUtf8;
      break;
    case TAutostartResult::NoProgram:
      text += txtNoProgramPath;
      break;
    default:
      text += txtErrorCode + TBoxText::FromSystem(HexCode(outcome.Code));
      break;
    }
  }
  if (!outcome.Path.empty())
    text += "\r\n\r\n" + txtStartupPlace + TBoxText::FromSystem(outcome.Path);
  ShowMsg(text, failed ? "e" : "i", AppCaption);
  return failed ? StartupFailed : 0;
}

// True when at least one template lies beside the program.
bool TemplateBesideProgram() {
  const std::string folder = FolderOf(ProgramFileName()) + PathDelim;
  return FilePresent(folder + TemplateType1) || FilePresent(folder + TemplateType3);
}

// The program's name and version, as "--version" prints it.
std::string NameAndVersion() {
  return std::string(AppCaption) + " " + AQ_VERSION_TEXT + "\n";
}

// Writes an answer on the standard output. True when the program has one: the run then ends
// there, with exit code 1 and a word on the standard error when the answer could not be written
// whole, as the usual command-line tools do.
bool AnswerOnOutput(const std::string& text) {
  const TOsUi::TOutWrite done = OsUi().WriteOut(text);
  if (done == TOsUi::TOutWrite::Failed) {
    OsUi().WriteErr(std::string(AppCaption) + ": " + txtOutputFailed.Shown());
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

std::int32_t ShowMsg(const TBoxText& text, const std::string& icon, const TBoxText& caption) {
  unsigned flags;
  if (icon == "e")
    flags = MbIconHand;
  else if (icon == "i")
    flags = MbIconAsterisk;
  else if (icon == "n")
    flags = 0;
  else {
    OsUi().ShowBox(txtIconFault, caption, MbOk);
    return -1;
  }
  return OsUi().ShowBox(text, caption, flags | MbOk);
}

std::int32_t AskMsg(const TBoxText& text, const std::string& icon, const std::string& buttons,
                    const TBoxText& caption) {
  unsigned flags;
  if (icon == "e")
    flags = MbIconHand;
  else if (icon == "w")
    flags = MbIconExclamation;
  else if (icon == "i")
    flags = MbIconAsterisk;
  else if (icon == "?")
    flags = MbIconQuestion;
  else if (icon == "n")
    flags = 0;
  else {
    OsUi().ShowBox(txtIconFault, caption, MbOk);
    return -1;
  }
  if (buttons == "yn")
    flags |= MbYesNo;
  else if (buttons == "ync")
    flags |= MbYesNoCancel;
  else {
    OsUi().ShowBox(txtButtonFault, caption, MbOk);
    return -1;
  }
  return OsUi().ShowBox(text, caption, flags);
}

// ---------------------------------------------------------------------------------------
// First-run template choice

bool ChooseTemplateType() {
  const bool t1 = FilePresent(AppDir + TemplateType1);
  const bool t3 = FilePresent(AppDir + TemplateType3);
  switch ((t1 ? 1 : 0) + (t3 ? 3 : 0)) {
  case 0:
    ShowMsg(txtNoTemplate, "e", AppCaption);
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
    ShowMsg(txtSetupCancelled, "n", AppCaption);
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
  const TBoxText text = txtClockBack + TBoxText::FromSystem(FormatMoment(ClockPattern, Last_XLS)) +
                        "\r\n" + txtClockNow +
                        TBoxText::FromSystem(FormatMoment(ClockPattern, StartTime)) + "\r\n\r\n" +
                        txtClockIgnore;
  if (AskMsg(text, "w", "yn", AppCaption) == IdYes)
    return ForceOpen;
  return d;
}

bool ConfirmOpen() {
  return AskMsg(txtOpenQuestion, "?", "yn", AppCaption) == IdYes;
}

// ---------------------------------------------------------------------------------------
// Monthly workbook

std::string MonthlyFileName(TMoment t) {
  const auto dayBefore = static_cast<TMoment>(static_cast<long double>(t) - 1.0L);
  return "Dozeboard_" + FormatMoment("yyyy\"-\"mm", dayBefore) + ".xls";
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
  ShowMsg(txtOpenFailed + TBoxText::FromSystem(TargetFile) + "\r\n" + txtErrorCode +
              TBoxText::FromSystem(DecimalText(result)),
          "e", AppCaption);
  return false;
}

// ---------------------------------------------------------------------------------------
// Start at sign-in

std::int32_t AddStartupEntry() {
  const TAutostartOutcome outcome = OsAutostart().Add(StartupEntry());
  const bool done = outcome.Result == TAutostartResult::Done;
  TBoxText headline = done ? TBoxText(txtStartupAdded) : TBoxText(txtStartupAddFailed);
  // Registered, but a start would find no template to make the chart from.
  if (done && !TemplateBesideProgram()) {
    headline += "\r\n";
    headline += txtStartupNoTemplate;
  }
  return ReportStartup(outcome, headline, !done);
}

std::int32_t RemoveStartupEntry() {
  const TAutostartOutcome outcome = OsAutostart().Remove(StartupEntry());
  switch (outcome.Result) {
  case TAutostartResult::Done:
    return ReportStartup(outcome, txtStartupRemoved, false);
  case TAutostartResult::NotFound:
    return ReportStartup(outcome, txtStartupNone, false);
  case TAutostartResult::NotOurs:
    return ReportStartup(outcome, txtStartupNotOurs, false);
  default:
    return ReportStartup(outcome, txtStartupRemoveFailed, true);
  }
}

// ---------------------------------------------------------------------------------------
// Settings file

void LoadSettings() {
  TMemIniFile ini(SettingsFile);
  Last_XLS = ini.ReadMoment("Execute", "Last_XLS", DefaultLastXls);
  TimeToNext = ini.ReadTimeOfDay("Date", "TimeToNext", DefaultTimeToNext);
  Type1 = ini.ReadFlag("Launch", "Type1", DefaultType1);
  WindowSize = ini.ReadInt("Launch", "WindowSize", DefaultWindowSize);
  YesNo = ini.ReadFlag("Launch", "YesNo", DefaultYesNo);
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
  // One start at a time per settings file. A start that finds another one at work, which
  // decides, asks, opens and saves for the day, ends here without a word or a write, with
  // "open" given too: the chart is being opened. Where no lock can be had, each start
  // goes on by itself.
  const TStartLock lock;
  if (lock.Busy())
    return;
  // The program's folder. Without the program's own path there is none: the run ends
  // rather than work in some other folder.
  const std::string program = ProgramFileName();
  if (program.empty()) {
    ShowMsg(txtNoProgramPath, "e", AppCaption);
    SetRunExitCode(NoProgramPathExit);
    return;
  }
  AppDir = FolderOf(program) + PathDelim;
  // The settings, with a file of the earlier layout upgraded in place.
  LoadSettings();
  if (HasLegacySettings()) {
    SaveSettings();
    if (!RemoveLegacySections())
      ShowMsg(txtUpgradeFailed, "e", AppCaption);
  }
  // A first run settles the template type, or ends here without writing anything.
  if (!FilePresent(AppDir + SettingsBase + SettingsExt)) {
    if (!ChooseTemplateType())
      return;
  }
  // The start time, after any first-run question, and the launch decision.
  StartTime = NowLocal();
  const std::int32_t d = DaysSinceLastOpen();
  if (d >= 1) {
    LogicalNow = ToLogicalDay(StartTime);
    TargetFile = AppDir + MonthlyFileName(LogicalNow);
    if (!FilePresent(TargetFile) && !CopyTemplate()) {
      ShowMsg(txtPrepareFailed, "e", AppCaption);
    } else if (!YesNo || OpenSwitchGiven() || ConfirmOpen()) {
      if (OpenWorkbook())
        Last_XLS = StartTime;
    }
  }
  // The settings are written back, whatever happened on the way.
  if (!SaveSettings())
    ShowMsg(txtWriteFailed, "e", AppCaption);
}
