// The POSIX shell layer: the copy never overwrites and never leaves a partial file behind;
// opening turns the desktop opener's outcome into the shell's kind of number.
#include "platform/os/ChildPosix.h"
#include "platform/os/FdPosix.h"
#include "platform/os/OsFiles.h"
#include "platform/os/OsShell.h"
#include "platform/os/OsUi.h"

#include "platform/Texts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class PosixShell : public ::testing::Test {
protected:
  fs::path Dir;
  std::string SavedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  TOsShell& Shell = TOsSlot<TOsShell>::Native();

  void SetUp() override {
    Dir =
        fs::temp_directory_path() /
        ("aq-shell-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(Dir);
  }
  void TearDown() override {
    setenv("PATH", SavedPath.c_str(), 1);
    fs::remove_all(Dir);
  }
  void Write(const fs::path& p, const std::string& content) {
    std::ofstream(p, std::ios::binary) << content;
  }
  // Puts a stand-in desktop opener first on PATH that ends with the given status.
  void OpenerExits(int status) {
    const fs::path bin = Dir / "bin";
    fs::create_directories(bin);
    Write(bin / "xdg-open", "#!/bin/sh\necho \"$1\" >> '" + (Dir / "opened.log").string() +
                                "'\nexit " + std::to_string(status) + "\n");
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    setenv("PATH", (bin.string() + ":" + SavedPath).c_str(), 1);
  }
  std::size_t EntriesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
  }
};

TEST_F(PosixShell, CopiesAFileByteForByte) {
  std::string content;
  for (int i = 0; i < 200000; ++i)
    content.push_back(static_cast<char>(i * 7));
  Write(Dir / "t1.xls", content);
  EXPECT_EQ(Shell.ShellCopy((Dir / "t1.xls").string(), (Dir / "month.xls").string()), 0);
  EXPECT_EQ(Read(Dir / "month.xls"), content);
  EXPECT_EQ(EntriesIn(Dir), 2u); // no temporary file is left
}

// A workbook that is there by the time the copy is put in place (another start made it) is
// the month's workbook: the copy counts as made and changes nothing.
TEST_F(PosixShell, NeverCopiesOverAnExistingFile) {
  Write(Dir / "t1.xls", "template");
  Write(Dir / "month.xls", "the user's chart");
  EXPECT_EQ(Shell.ShellCopy((Dir / "t1.xls").string(), (Dir / "month.xls").string()), 0);
  EXPECT_EQ(Read(Dir / "month.xls"), "the user's chart");
  EXPECT_EQ(EntriesIn(Dir), 2u);
}

// Only a regular file up to the size limit is copied: anything else fails at once, with
// nothing left behind and nothing waited for.
TEST_F(PosixShell, AFailedCopyLeavesNothingBehind) {
  Write(Dir / "t1.xls", "template");
  fs::create_directories(Dir / "folder.xls");
  ASSERT_EQ(mkfifo((Dir / "fifo.xls").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", Dir / "zero.xls");
  Write(Dir / "huge.xls", "");
  fs::resize_file(Dir / "huge.xls", 33u * 1024 * 1024);
  const struct {
    fs::path From, To;
  } cases[] = {{Dir / "missing.xls", Dir / "month.xls"}, {Dir / "folder.xls", Dir / "month.xls"},
               {Dir / "fifo.xls", Dir / "month.xls"},    {Dir / "zero.xls", Dir / "month.xls"},
               {Dir / "huge.xls", Dir / "month.xls"},    {Dir / "t1.xls", Dir / "no" / "m.xls"}};
  for (const auto& c : cases)
    EXPECT_NE(Shell.ShellCopy(c.From.string(), c.To.string()), 0) << c.From;
  EXPECT_EQ(EntriesIn(Dir), 5u);
}

// Leftovers of killed copies go at the next copy unless a running copy holds them, and
// nothing else does; the new file has the mode of any new file, whatever the template's.
TEST_F(PosixShell, LeftoversOfKilledCopiesGo) {
  Write(Dir / "t1.xls", "template");
  fs::permissions(Dir / "t1.xls", fs::perms::all);
  const auto temp = [this](const char* token) {
    return TempNameOf((Dir / "month.xls").string(), token);
  };
  Write(temp("Ab3De6gh"), "killed");
  Write(temp("4711"), "killed by an earlier version");
  Write(temp("held01xy"), "running");
  fs::create_symlink("t1.xls", temp("link01xy"));
  for (const char* own : {"month.xls.backup", "month.xls.1", "month.xls.~backup.tmp"})
    Write(Dir / own, "the user's");
  TFd held(open(temp("held01xy").c_str(), O_RDONLY));
  ASSERT_EQ(flock(held.Get(), LOCK_EX), 0);
  const mode_t mask = umask(022);
  EXPECT_EQ(Shell.ShellCopy((Dir / "t1.xls").string(), (Dir / "month.xls").string()), 0);
  umask(mask);
  EXPECT_EQ(fs::status(Dir / "month.xls").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
  EXPECT_FALSE(fs::exists(temp("Ab3De6gh")));
  EXPECT_FALSE(fs::exists(temp("4711")));
  EXPECT_TRUE(fs::exists(temp("held01xy")));
  EXPECT_TRUE(fs::is_symlink(temp("link01xy")));
  EXPECT_EQ(EntriesIn(Dir), 7u);
}

// A launcher started with its standard descriptors closed still hears what a helper says:
// with 0, 1 or 2 closed in turn, and all three.
TEST(PosixChild, OutputReachesALauncherStartedWithoutStandardDescriptors) {
  for (const int closed : {0, 1, 2, 3}) {
    int answer[2];
    ASSERT_EQ(pipe2(answer, O_CLOEXEC), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      for (int fd = 0; fd < 3; ++fd)
        if (closed == fd || closed == 3)
          close(fd);
      const bool heard = RunChild({"echo", "yes"}).Output == "yes\n";
      _exit(write(answer[1], heard ? "Y" : "N", 1) == 1 ? 0 : 1);
    }
    close(answer[1]);
    char heard = '?';
    EXPECT_EQ(read(answer[0], &heard, 1), 1);
    close(answer[0]);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(heard, 'Y') << closed;
  }
}

TEST_F(PosixShell, OpeningReportsTheOutcomeAsTheShellDoes) {
  Write(Dir / "month.xls", "chart");
  const struct {
    int OpenerStatus;
    std::int32_t Result;
  } cases[] = {{0, 42}, {3, SeErrNoAssoc}, {4, SeErrNoAssoc}, {2, SeErrFileNotFound}};
  for (const auto& c : cases) {
    OpenerExits(c.OpenerStatus);
    EXPECT_EQ(Shell.ShellOpen((Dir / "month.xls").string(), 5), c.Result) << c.OpenerStatus;
  }
  std::string handedOver;
  for (std::size_t i = 0; i < std::size(cases); ++i)
    handedOver += (Dir / "month.xls").string() + "\n";
  EXPECT_EQ(Read(Dir / "opened.log"), handedOver); // the path as it is, unquoted
  EXPECT_EQ(Shell.ShellOpen((Dir / "missing.xls").string(), 5), SeErrFileNotFound);
  setenv("PATH", "/nonexistent", 1);
  EXPECT_EQ(Shell.ShellOpen((Dir / "month.xls").string(), 5), SeErrNoAssoc);
}

TEST(PosixUi, WithoutADisplayOrATerminalNoBoxIsShown) {
  if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || isatty(0))
    GTEST_SKIP() << "a display or a terminal is there";
  EXPECT_EQ(TOsSlot<TOsUi>::Native().ShowBox(txtOpenQuestion.Shown(), txtAppCaption.Shown(),
                                             MbYesNo, BoxWords()),
            0);
}

} // namespace

// The terminal prompt: the answers it takes, asking again after an unknown one, and the end
// of the input.
TEST(PosixUi, TheTerminalPromptTakesAnswersInTheLanguageOfTheTexts) {
  struct TCase {
    unsigned Flags;
    const char* Input;
    int Result;
    int Asked;  // prompts shown
    bool Ended; // the input ended before an answer
  };
  const unsigned question = MbYesNoCancel | MbIconQuestion; // three buttons
  const TCase cases[] = {
      {question, "y\n", IdYes, 1, false},
      {question, "Y\n", IdYes, 1, false},
      {question, " はい \n", IdYes, 1, false},
      {question, "N\n", IdNo, 1, false},
      {question, "いいえ\r\n", IdNo, 1, false},
      {question, "C\n", IdCancel, 1, false},
      {question, "キャンセル", IdCancel, 1, false},
      {question, "yes\n\nc\n", IdCancel, 3, false},
      {question, "", IdCancel, 1, true},
      {question, "x\n", IdCancel, 2, true},
      {MbYesNo | MbIconExclamation, "c\nn\n", IdNo, 2, false},
      {MbYesNo | MbIconExclamation, "", IdNo, 1, true},
      {MbYesNo, "キャンセル\n", IdNo, 2, true},
      {MbOk | MbIconHand, "\n", IdOk, 1, false},
      {MbOk, "", IdOk, 1, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Input) + " flags " + std::to_string(c.Flags));
    std::string input = c.Input;
    std::FILE* in = fmemopen(input.data(), input.size() + (input.empty() ? 1 : 0), "r");
    if (input.empty())
      std::fgetc(in); // an empty stream: nothing left to read
    char* printed = nullptr;
    std::size_t printedSize = 0;
    std::FILE* out = open_memstream(&printed, &printedSize);
    ASSERT_TRUE(in && out);
    EXPECT_EQ(TerminalBox(in, out, "一行目\r\n二行目", "Auto Quillmer", c.Flags, BoxWords()),
              c.Result);
    std::fclose(in);
    std::fclose(out);
    const std::string shown(printed, printedSize);
    std::free(printed);
    const bool ask = (c.Flags & 0xF) != MbOk;
    const std::string prompt = (c.Flags & 0xF) == MbYesNoCancel
                                   ? "はい(y) / いいえ(n) / キャンセル(c): "
                               : ask ? "はい(y) / いいえ(n): "
                                     : "OK(Enter): ";
    int asked = 0;
    for (std::size_t at = shown.find(prompt); at != std::string::npos;
         at = shown.find(prompt, at + 1))
      ++asked;
    EXPECT_EQ(asked, c.Asked) << shown;
    EXPECT_NE(shown.find("\n一行目\n二行目\n"), std::string::npos) << shown;
    EXPECT_EQ(shown.find_first_of("\r"), std::string::npos);
    EXPECT_EQ(shown.find("question"), std::string::npos);
    if (c.Asked > 1) {
      EXPECT_NE(shown.find("で答えてください。"), std::string::npos) << shown;
    }
    // At the end of the input the prompt's line is ended.
    if (c.Ended) {
      EXPECT_EQ(shown.back(), '\n') << shown;
    }
  }
}
