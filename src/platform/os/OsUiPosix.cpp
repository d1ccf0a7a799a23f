// Message boxes on POSIX desktops: a zenity dialog in a graphical session, else a prompt
// on the terminal, else no box at all (result 0).
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

// The dialog's own button labels, in the language of the launcher's texts.
const char* const CancelLabel = "キャンセル";

unsigned IconOf(unsigned flags) {
  return flags & 0xF0u;
}
unsigned ButtonsOf(unsigned flags) {
  return flags & 0x0Fu;
}

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

int ZenityBox(const std::string& text, const std::string& caption, unsigned flags) {
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
    argv.push_back("--ok-label=はい");
    argv.push_back("--cancel-label=いいえ");
  }
  if (buttons == MbYesNoCancel)
    argv.push_back("--extra-button=" + std::string(CancelLabel));
  const TChildResult r = RunChild(argv);
  if (!r.Started)
    return 0;
  if (buttons == MbOk)
    return IdOk;
  if (r.ExitCode == 0)
    return IdYes;
  if (buttons == MbYesNoCancel && r.Output.find(CancelLabel) != std::string::npos)
    return IdCancel;
  // Closing the dialog: Cancel where there is one, else No.
  if (r.ExitCode == 1 && r.Output.empty())
    return IdNo;
  return buttons == MbYesNoCancel ? IdCancel : IdNo;
}

int TerminalBox(const std::string& text, const std::string& caption, unsigned flags) {
  const unsigned buttons = ButtonsOf(flags);
  const std::string icon = IconWord(IconOf(flags));
  std::FILE* out = stderr;
  std::fprintf(out, "\n== %s ==%s%s%s\n%s\n", caption.c_str(), icon.empty() ? "" : " (",
               icon.c_str(), icon.empty() ? "" : ")", WithoutCarriageReturns(text).c_str());
  for (;;) {
    const char* prompt = buttons == MbYesNoCancel ? "[y]es / [n]o / [c]ancel: "
                         : buttons == MbYesNo     ? "[y]es / [n]o: "
                                                  : "[Enter] OK: ";
    std::fputs(prompt, out);
    std::fflush(out);
    char line[64];
    if (!std::fgets(line, sizeof line, stdin))
      return 0;
    const char c = line[0];
    if (buttons == MbOk)
      return IdOk;
    if (c == 'y' || c == 'Y')
      return IdYes;
    if (c == 'n' || c == 'N')
      return IdNo;
    if (buttons == MbYesNoCancel && (c == 'c' || c == 'C'))
      return IdCancel;
  }
}

class TOsUiPosix final : public TOsUi {
public:
  int ShowBox(const std::string& text, const std::string& caption, unsigned flags) override {
    const bool graphical = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if (graphical && OnPath("zenity"))
      return ZenityBox(text, caption, flags);
    if (isatty(STDIN_FILENO))
      return TerminalBox(text, caption, flags);
    return 0;
  }
};

} // namespace

template <> TOsUi& TOsSlot<TOsUi>::Native() {
  static TOsUiPosix os;
  return os;
}
