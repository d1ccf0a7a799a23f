// Message boxes on POSIX desktops: a zenity dialog in a graphical session, else a prompt
// on the terminal, else no box at all (result 0). Both speak the language of the texts.
#include "platform/os/ChildPosix.h"
#include "platform/os/OsUi.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

std::string WithoutCarriageReturns(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r')
      out.push_back(c);
  return out;
}

unsigned IconOf(unsigned flags) {
  return flags & 0xF0u;
}
unsigned ButtonsOf(unsigned flags) {
  return flags & 0x0Fu;
}

// The kind of icon in words, for a dialog tool's icon name.
const char* IconWord(unsigned icon) {
  switch (icon) {
  case MbIconHand:
    return "error";
  case MbIconQuestion:
    return "question";
  case MbIconExclamation:
    return "warning";
  case MbIconAsterisk:
    return "information";
  default:
    return "";
  }
}

// The kind of icon as the terminal names it, in the language of the launcher's texts.
std::string IconLabel(unsigned icon, const TBoxWords& words) {
  switch (icon) {
  case MbIconHand:
    return words.KindError;
  case MbIconQuestion:
    return words.KindQuestion;
  case MbIconExclamation:
    return words.KindWarning;
  case MbIconAsterisk:
    return words.KindInformation;
  default:
    return "";
  }
}

int ZenityBox(const std::string& text, const std::string& caption, unsigned flags,
              const TBoxWords& words) {
  const unsigned buttons = ButtonsOf(flags);
  const std::string icon = IconWord(IconOf(flags));
  std::vector<std::string> argv{"zenity",
                                buttons == MbOk ? "--info" : "--question",
                                "--title=" + caption,
                                "--text=" + WithoutCarriageReturns(text),
                                "--no-markup",
                                "--no-wrap"};
  argv.push_back("--icon-name=" + (icon.empty() ? std::string("none") : "dialog-" + icon));
  if (buttons == MbYesNo || buttons == MbYesNoCancel) {
    argv.push_back(std::string("--ok-label=") + words.Yes);
    argv.push_back(std::string("--cancel-label=") + words.No);
  }
  if (buttons == MbYesNoCancel)
    argv.push_back(std::string("--extra-button=") + words.Cancel);
  const TChildResult r = RunChild(argv);
  if (!r.Started)
    return 0;
  if (buttons == MbOk)
    return IdOk;
  if (r.ExitCode == 0)
    return IdYes;
  if (buttons == MbYesNoCancel && r.Output.find(words.Cancel) != std::string::npos)
    return IdCancel;
  // Closing the dialog: Cancel where there is one, else No.
  if (r.ExitCode == 1 && r.Output.empty())
    return IdNo;
  return buttons == MbYesNoCancel ? IdCancel : IdNo;
}

// One line of input without its line end and the blanks around it; false at the end of
// the input when nothing came before it.
bool ReadAnswer(std::FILE* in, std::string& line) {
  line.clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(in)) != EOF) {
    any = true;
    if (c == '\n')
      break;
    line.push_back(static_cast<char>(c));
  }
  const auto blank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r'; };
  while (!line.empty() && blank(line.back()))
    line.pop_back();
  std::size_t start = 0;
  while (start < line.size() && blank(line[start]))
    ++start;
  line.erase(0, start);
  return any;
}

} // namespace

int TerminalBox(std::FILE* in, std::FILE* out, const std::string& text, const std::string& caption,
                unsigned flags, const TBoxWords& words) {
  const unsigned buttons = ButtonsOf(flags);
  const bool cancel = buttons == MbYesNoCancel;
  const std::string label = IconLabel(IconOf(flags), words);
  std::fprintf(out, "\n== %s ==%s%s%s\n%s\n", caption.c_str(), label.empty() ? "" : " [",
               label.c_str(), label.empty() ? "" : "]", WithoutCarriageReturns(text).c_str());
  const char* prompt = cancel               ? words.PromptYesNoCancel
                       : buttons == MbYesNo ? words.PromptYesNo
                                            : words.PromptOk;
  std::string answer;
  for (;;) {
    std::fputs(prompt, out);
    // A box that cannot be written to the terminal is not shown.
    if (std::fflush(out) != 0 || std::ferror(out))
      return 0;
    if (!ReadAnswer(in, answer)) {
      // The end of the input: Cancel where there is one, else No (OK for a message).
      std::fputs("\n", out);
      std::fflush(out);
      return buttons == MbOk ? IdOk : cancel ? IdCancel : IdNo;
    }
    if (buttons == MbOk)
      return IdOk;
    if (answer == "y" || answer == "Y" || answer == words.Yes)
      return IdYes;
    if (answer == "n" || answer == "N" || answer == words.No)
      return IdNo;
    if (cancel && (answer == "c" || answer == "C" || answer == words.Cancel))
      return IdCancel;
    std::fputs(cancel ? words.AnswerYesNoCancel : words.AnswerYesNo, out);
  }
}

namespace {

class TOsUiPosix final : public TOsUi {
public:
  int ShowBox(const std::string& text, const std::string& caption, unsigned flags,
              const TBoxWords& words) override {
    const bool graphical = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if (graphical && OnPath("zenity"))
      return ZenityBox(text, caption, flags, words);
    if (isatty(STDIN_FILENO))
      return TerminalBox(stdin, stderr, text, caption, flags, words);
    return 0;
  }

  TOutWrite WriteOut(const std::string& text) override {
    const bool whole = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return whole && std::fflush(stdout) == 0 && !std::ferror(stdout) ? TOutWrite::Written
                                                                     : TOutWrite::Failed;
  }

  void WriteErr(const std::string& text) override {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  }
};

} // namespace

template <> TOsUi& TOsSlot<TOsUi>::Native() {
  static TOsUiPosix os;
  return os;
}
