#pragma once

// The launcher: its run state and run sequence, the launch decision, the first-run choice
// of template, the monthly workbook, the message boxes and the settings file.

#include "datetime/Moment.h"

#include <cstdint>
#include <string>

// Run state: process-wide, set during the run.
extern std::string AppDir;    // the program's folder, ending with a separator
extern TMoment Last_XLS;      // the last successful opening of the workbook
extern TMoment TimeToNext;    // rollover time of the logical day (fraction only counts)
extern bool Type1;            // true: Type-1 template, false: Type-3
extern std::int32_t WindowSize; // show command selector for opening
extern bool YesNo;            // ask before opening
extern TMoment StartTime;     // moment of this start; 0 before it is taken
extern TMoment LogicalNow;    // ToLogicalDay(StartTime)
extern std::string TargetFile; // full path of the month's workbook

// Puts the run state back to its values at process start.
void ResetRunState();

// The whole run, from the program's folder to the saved settings.
void RunLauncher();

// Message boxes: ShowMsg with an OK button, AskMsg with Yes/No ("yn") or Yes/No/Cancel
// ("ync"). Icon letters: "e" error, "i" information, "n" none; AskMsg also "?" question
// and "w" warning. Returns the button pressed, 0 when no box could be shown, -1 for a
// letter or code that is not accepted.
std::int32_t ShowMsg(const std::string& text, const std::string& icon, const std::string& caption);
std::int32_t AskMsg(const std::string& text, const std::string& icon, const std::string& buttons,
                    const std::string& caption);

// First run: settles Type1 from the templates present; false ends the run.
bool ChooseTemplateType();
