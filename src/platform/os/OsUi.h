#pragma once

#include "platform/os/OsSlot.h"

#include <cstdio>
#include <string>

// Message box flags of the platform (values as Windows defines them).
inline constexpr unsigned MbOk = 0;
inline constexpr unsigned MbYesNoCancel = 3;
inline constexpr unsigned MbYesNo = 4;
inline constexpr unsigned MbIconHand = 16;
inline constexpr unsigned MbIconQuestion = 32;
inline constexpr unsigned MbIconExclamation = 48;
inline constexpr unsigned MbIconAsterisk = 64;
inline constexpr unsigned MbTaskModal = 8192;

// Button identifiers a box returns.
inline constexpr int IdOk = 1;
inline constexpr int IdCancel = 2;
inline constexpr int IdYes = 6;
inline constexpr int IdNo = 7;

// The words of the boxes that the program draws itself (the Linux dialog's buttons, the
// terminal's prompt), in UTF-8; the level above gives them with each box.
struct TBoxWords {
  const char* Yes;
  const char* No;
  const char* Cancel;
  const char* KindError;
  const char* KindQuestion;
  const char* KindWarning;
  const char* KindInformation;
  const char* PromptYesNoCancel;
  const char* PromptYesNo;
  const char* PromptOk;
  const char* AnswerYesNoCancel;
  const char* AnswerYesNo;
};

// The user-facing side of the platform: modal message boxes without an owner window.
class TOsUi {
public:
  virtual ~TOsUi() = default;
  // Shows a modal box (Windows: MessageBoxW with no owner window) and returns the
  // identifier of the button pressed, or 0 when the box could not be shown. Text and
  // caption are UTF-8, whatever the system's ANSI code page.
  virtual int ShowBox(const std::string& text, const std::string& caption, unsigned flags,
                      const TBoxWords& words) = 0;
  // Writes a UTF-8 text to the program's standard output: Written, or Failed when not all of
  // it reached the output (a full disk, a closed pipe); NoOutput, writing nothing, where the
  // program has no standard output (the Windows GUI program).
  enum class TOutWrite { NoOutput, Written, Failed };
  virtual TOutWrite WriteOut(const std::string& text) {
    (void)text;
    return TOutWrite::NoOutput;
  }
  // Writes a UTF-8 text to the program's standard error, where it has one.
  virtual void WriteErr(const std::string& text) { (void)text; }
};

inline TOsUi& OsUi() {
  return TOsSlot<TOsUi>::Get();
}

#ifndef _WIN32
// The box as a prompt on a terminal: the caption, the kind of icon and the text on out, then
// the buttons' prompt, asked again until in gives an answer: y, n, c in either case, or
// はい, いいえ, キャンセル. The end of the input answers Cancel where there is a Cancel
// button, else No (OK for a message).
int TerminalBox(std::FILE* in, std::FILE* out, const std::string& text, const std::string& caption,
                unsigned flags, const TBoxWords& words);
#endif
