// The switches that make or remove the entry starting the launcher at sign-in, in-process
// against the stand-in: what is asked of the platform, the box, the exit code, and that
// nothing of the daily run happens.
#include "LauncherFixture.h"

namespace {

const std::string Lnk = "C:\\Users\\hanako\\Startup\\Auto Quillmer.lnk";

using R = TAutostartResult;

TEST_F(LauncherTest, StartupSwitchesMakeOrRemoveTheEntryAndDoNothingElse) {
  const std::string Place = "\r\n\r\n" + txtStartupPlace.Source() + Lnk;
  const TStartupWords& words = StartupWords();
  const std::string Added = words.Added.Source();
  const std::string AddFailed = words.AddFailed.Source() + "\r\n";
  const std::string Removed = words.Removed.Source();
  const std::string RemoveFailed = words.RemoveFailed.Source() + "\r\n";
  const std::string Denied = words.Denied.Source();
  // The platform's answer as plain values (a string inside a nested aggregate here trips a
  // false uninitialised-use warning of the x86 compiler).
  struct TOutcomeRow {
    R Result;
    const char* Path;
    std::uint32_t Code;
  };
  // How the run ends: the box's icon and the exit code, the same for every success and for
  // every failure.
  struct TEnd {
    unsigned Icon;
    int Exit;
  };
  const TEnd Done{MbIconAsterisk, 0};
  const TEnd Failed{MbIconHand, StartupFailed};
  const struct {
    const char* Args;
    TOutcomeRow Outcome;
    const char* Call;
    std::string Box;
    TEnd End;
  } cases[] = {
      {"/startup", {R::Done, Lnk.c_str(), 0}, "Add", Added + Place, Done},
      {"\"-StartUp\"", {R::Done, Lnk.c_str(), 0}, "Add", Added + Place, Done},
      {"/open /STARTUP", {R::Done, Lnk.c_str(), 0}, "Add", Added + Place, Done},
      {"/startup",
       {R::Denied, Lnk.c_str(), 0x80070005u},
       "Add",
       AddFailed + Denied + Place,
       Failed},
      {"/startup",
       {R::NoFolder, "", 0x80070003u},
       "Add",
       AddFailed + words.NoFolder.Source(),
       Failed},
      {"/startup",
       {R::Failed, Lnk.c_str(), 0x80004005u},
       "Add",
       AddFailed + txtErrorCode.Source() + "0x80004005" + Place,
       Failed},
      {"/NOSTARTUP", {R::Done, Lnk.c_str(), 0}, "Remove", Removed + Place, Done},
      {"-nostartup", {R::NotFound, Lnk.c_str(), 0}, "Remove", words.None.Source() + Place, Done},
      {"/nostartup", {R::NotOurs, Lnk.c_str(), 0}, "Remove", words.NotOurs.Source() + Place, Done},
      {"/nostartup", {R::Denied, Lnk.c_str(), 13}, "Remove", RemoveFailed + Denied + Place, Failed},
      {"/startup",
       {R::NotUtf8, Lnk.c_str(), 0},
       "Add",
       AddFailed + txtStartupNotUtf8.Source() + Place,
       Failed},
      {"/startup",
       {R::NoProgram, Lnk.c_str(), 0},
       "Add",
       AddFailed + txtNoProgramPath.Source() + Place,
       Failed},
      {"/startup /nostartup", {R::Done, Lnk.c_str(), 0}, "Remove", Removed + Place, Done},
  };
  AddFile(Dir + "Dozeboardt1.xls");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args);
    TFakePlatform& os = Os;
    os.Process.CmdLine = std::string("AutoQuillmer.exe ") + c.Args;
    os.Autostart.Outcome = TAutostartOutcome{c.Outcome.Result, c.Outcome.Path, c.Outcome.Code};
    os.Autostart.Calls.clear();
    os.Ui.Boxes.clear();
    os.Process.Searched.clear();
    ResetRunState();
    EXPECT_EQ(RunProcess(), c.End.Exit);
    EXPECT_EQ(os.Autostart.Calls, std::vector<std::string>{c.Call});
    ASSERT_EQ(os.Ui.Boxes.size(), 1u);
    EXPECT_EQ(os.Ui.Boxes[0].Text, c.Box);
    EXPECT_EQ(os.Ui.Boxes[0].Caption, "Auto Quillmer");
    EXPECT_EQ(os.Ui.Boxes[0].Flags, c.End.Icon | MbOk);
    // No daily run: no settings, no workbook, no file looked for but the templates.
    EXPECT_TRUE(os.Files.Calls.empty());
    for (const std::string& name : os.Process.Searched)
      EXPECT_TRUE(name == Dir + "Dozeboardt1.xls" || name == Dir + "Dozeboardt3.xls") << name;
    EXPECT_TRUE(os.Shell.Copies.empty() && os.Shell.Opens.empty());
    EXPECT_EQ(os.Autostart.Entry.Name, "Auto Quillmer");
    EXPECT_EQ(os.Autostart.Entry.FileStem, "auto-quillmer");
    EXPECT_EQ(os.Autostart.Entry.CommentJa, "今月の睡眠記録表「Dozeboard」を 1 日 1 回開きます。");
  }
}

TEST_F(LauncherTest, WordsLikeTheStartupSwitchesAreNotThem) {
  for (const char* args : {"startup", "/startups", "--startup", "/no-startup", "\"/startup x\""}) {
    SCOPED_TRACE(args);
    Os.Process.CmdLine = std::string("AutoQuillmer.exe ") + args;
    Os.Ui.Boxes.clear();
    ResetRunState();
    EXPECT_EQ(RunProcess(), 0);
    EXPECT_TRUE(Os.Autostart.Calls.empty());
    // The daily run: a first run without templates says so.
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{txtNoTemplate.Source()});
  }
}

} // namespace
