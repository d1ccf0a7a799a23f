#pragma once

// The launcher: its run state and run sequence, the launch decision, the first-run choice
// of template, the monthly workbook, the message boxes and the settings file.

#include "datetime/Moment.h"
#include "platform/ProcessEnd.h"
#include "platform/Texts.h"

#include <cstdint>
#include <span>
#include <string>

// Run state: process-wide, set during the run.
extern std::string AppDir;      // the program's folder, ending with a separator
extern TMoment Last_XLS;        // the last successful opening of the workbook
extern TMoment TimeToNext;      // rollover time of the logical day (fraction only counts)
extern bool Type1;              // true: Type-1 template, false: Type-3
extern std::int32_t WindowSize; // show command selector for opening
extern bool YesNo;              // ask before opening
extern TMoment StartTime;       // moment of this start; 0 before it is taken
extern TMoment LogicalNow;      // ToLogicalDay(StartTime)
extern std::string TargetFile;  // full path of the month's workbook

// Puts the run state back to its values at process start.
void ResetRunState();

// The whole run, from the program's folder to the saved settings.
void RunLauncher();

// The program's start-up steps, in order: its texts, the failure report with the
// pre-created failures, the code-page facts, then the regional settings (which need the
// code-page facts). The main block hands them to RunProgram with RunLauncher.
std::span<const TStartStep> ProgramStartSteps();

// Message boxes: ShowMsg with an OK button, AskMsg with Yes/No ("yn") or Yes/No/Cancel
// ("ync"). Icon letters: "e" error, "i" information, "n" none; AskMsg also "?" question
// and "w" warning. Returns the button pressed, 0 when no box could be shown, -1 for a
// letter or code that is not accepted.
// Texts and captions are put together from fixed texts and texts of the system (TBoxText).
std::int32_t ShowMsg(const TBoxText& text, const std::string& icon, const TBoxText& caption);
std::int32_t AskMsg(const TBoxText& text, const std::string& icon, const std::string& buttons,
                    const TBoxText& caption);

// First run: settles Type1 from the templates present; false ends the run.
bool ChooseTemplateType();

// Logical days and the launch decision.
inline constexpr std::int32_t ForceOpen = 2147483647; // open whatever the dates say
// The floor of x as a 32-bit integer (towards zero, minus 1 for a negative fraction).
std::int32_t FloorToInt(long double x);
// t itself when its time of day is at or after the rollover, else the day before.
TMoment ToLogicalDay(TMoment t);
// Logical days from Last_XLS to StartTime, or ForceOpen; may warn about a clock that has
// gone backwards.
std::int32_t DaysSinceLastOpen();
// Asks whether to open the chart; true only for Yes.
bool ConfirmOpen();

// The monthly workbook.
// "Dozeboard_" + year "-" month of the day before t + ".xls".
std::string MonthlyFileName(TMoment t);
// Copies the chosen template to TargetFile; true when the shell reports success.
bool CopyTemplate();
// Opens TargetFile with its associated application; reports a failure itself.
bool OpenWorkbook();
// The show command handed to the shell for a WindowSize setting.
int ShowCommandFor(std::int32_t windowSize);

// Start at sign-in: the switches "startup" and "nostartup" make or remove the entry that
// starts the launcher when the user signs in (only one that starts this program is
// removed), report it in a box and return the run's exit code: 0, or StartupFailed.
inline constexpr std::int32_t StartupFailed = 2;
// The exit code of a run that cannot read the program's own path, and so has no folder.
inline constexpr std::int32_t NoProgramPathExit = 2;
// The exit code of a "--version" or "--help" whose answer could not be written.
inline constexpr std::int32_t OutputFailedExit = 2;
std::int32_t AddStartupEntry();
// What those boxes say, in the words of the system the program runs on: the Startup folder and
// signing in on Windows, the autostart entries and logging in on Linux.
struct TStartupWords {
  const TText& Added;
  const TText& AddFailed;
  const TText& Removed;
  const TText& None;
  const TText& NotOurs;
  const TText& RemoveFailed;
  const TText& NoFolder;
  const TText& Denied;
};
extern const TStartupWords SignInWords; // Windows
extern const TStartupWords LoginWords;  // Linux
const TStartupWords& StartupWords();
std::int32_t RemoveStartupEntry();

// The settings file "AutoQuillmer.ini" in the current directory.
void LoadSettings();
// The settings read from the file of that name (a kept copy of the settings file).
void LoadSettingsFrom(const std::string& name);
bool SaveSettings();
bool HasLegacySettings();
bool RemoveLegacySections();
