// Every call of the file layer, the copy, the start-at-sign-in entry and the run lock made to
// fail in turn, with each kind of failure the systems give, over whole runs of the launcher:
// after each, nothing is lost, nothing is half made, leftovers do not grow and the box shown
// is the one for that failure.
#include "LauncherFixture.h"

#include <functional>
#include <memory>
#include <set>

namespace {

using R = TAutostartResult;

const std::string Ini = "AutoQuillmer.ini";
const std::string OldIni = "[Execute]\r\nLast_XLS=2004/06/30 7:00:00\r\n\r\n[Date]\r\n"
                           "TimeToNext=4:00:00\r\n\r\n[Launch]\r\nType1=1\r\nWindowSize=5\r\n"
                           "YesNo=0\r\n\r\n";

// One way for a call to fail: a name and what it sets on the stand-in before the run.
struct TFault {
  const char* Kind;
  std::function<void(TFakePlatform&, int call)> Set;
};

const std::vector<TFault> FileFaults = {
    {"refused", [](TFakePlatform& p, int n) { p.Files.FailCall = n; }},
    {"the disk gone from then on",
     [](TFakePlatform& p, int n) {
       p.Files.FailCall = n;
       p.Files.FailOnward = true;
     }},
    {"a short write that fills the disk",
     [](TFakePlatform& p, int n) {
       p.Files.FailCall = n;
       p.Files.ShortAtFail = true;
     }},
    {"a replace done by half",
     [](TFakePlatform& p, int n) {
       p.Files.FailCall = n;
       p.Files.HalfAtFail = true;
     }},
    {"a replace done by half, the disk gone then",
     [](TFakePlatform& p, int n) {
       p.Files.FailCall = n;
       p.Files.HalfAtFail = p.Files.FailOnward = true;
     }},
};

class FaultInjection : public LauncherTest {
protected:
  std::string Template, Workbook;
  TFakeFs Before;
  std::set<std::string> Asked; // the boxes of a run without faults

  void SetUp() override {
    LauncherTest::SetUp();
    UseJapaneseFormats();
    Template = Dir + "Dozeboardt1.xls";
    Workbook = Dir + "Dozeboard_2004-06.xls";
    AddFile(Template, "the template");
    // The user's own files beside the settings, which no sweep may take.
    AddFile(Ini + ".backup");
    AddFile(Ini + ".1");
    ClockAt(2004, 7, 1, 7, 30);
  }
  // The stand-in and the run state as at the start of a test.
  void Fresh() {
    TearDown();
    std::destroy_at(&Os);
    std::construct_at(&Os);
    SetUp();
  }
  // A run with the old settings (or none) and the fault put in place; the exit code.
  int Run(bool firstRun, const char* args, const std::function<void(TFakePlatform&)>& fault) {
    if (!firstRun)
      SettingsHere(OldIni);
    Before = Os.Fs;
    Os.Process.CmdLine = std::string("AutoQuillmer.exe ") + args;
    fault(Os);
    return RunProcess();
  }
  bool Whole(const std::string& text) {
    return text.rfind("[Execute]\r\nLast_XLS=", 0) == 0 &&
           text.find("\r\nWindowSize=5\r\nYesNo=") != std::string::npos &&
           text.ends_with("\r\n\r\n");
  }
  // What holds after any failure of one run.
  void CheckInvariants(bool firstRun) {
    std::set<std::string> boxes;
    for (const auto& b : Os.Ui.Boxes)
      boxes.insert(b.Caption == txtReportCaption.Source() ? "crash" : b.Text);
    const bool saved = Os.Fs.count(Ini) && Os.Fs[Ini].Content != OldIni;
    // The settings: the old text, or none on a first run, or a whole new one; where a
    // replace done by half left no settings file, the new text whole under its new name.
    std::vector<std::string> kept;
    for (const auto& [name, entry] : Os.Fs)
      if (IsTempNameOf(name, Ini) && Whole(entry.Content))
        kept.push_back(name);
    if (Os.Fs.count(Ini))
      EXPECT_TRUE(Os.Fs[Ini].Content == OldIni || Whole(Os.Fs[Ini].Content)) << Settings();
    else
      EXPECT_TRUE(firstRun || kept.size() == 1) << "the settings are lost";
    EXPECT_EQ(Os.Fs[Template].Content, "the template");
    if (Os.Fs.count(Workbook)) {
      EXPECT_EQ(Os.Fs[Workbook].Content, "the template");
    }
    // Nothing new but the settings, the workbook and new files that could not be removed
    // (the clean run below sweeps them).
    std::set<std::string> extra;
    for (const auto& [name, entry] : Os.Fs)
      if (!Before.count(name) && name != Ini && name != Workbook && !IsTempNameOf(name, Ini))
        extra.insert(name);
    EXPECT_TRUE(extra.empty()) << *extra.begin();
    EXPECT_EQ(Os.Files.OpenCount(), 0u);
    // The write-back box exactly when the settings were not written and the run went on.
    const bool crashed = boxes.count("crash") != 0;
    EXPECT_EQ(boxes.count(txtWriteFailed.Source()) != 0, !saved && !crashed);
    boxes.erase(txtWriteFailed.Source());
    boxes.erase("crash");
    for (const std::string& asked : Asked)
      boxes.erase(asked);
    if (!Os.Fs.count(Workbook) && !Os.Shell.Copies.empty())
      EXPECT_EQ(boxes, std::set<std::string>{txtPrepareFailed.Source()});
    else
      EXPECT_TRUE(boxes.empty()) << *boxes.begin();
    // A clean run afterwards mends what can be mended and leaves no leftover.
    Os.Files.FailCall = -1;
    Os.Files.FailOnward = Os.Files.ShortAtFail = Os.Files.HalfAtFail = false;
    Os.Files.DiskSpace = -1;
    Os.Shell.CopyFails = 0;
    Os.RunLock.Answer = TRunLock::Held;
    Os.Ui.Boxes.clear();
    ResetRunState();
    if (Os.Fs.count(Ini))
      Os.Fs[Dir + Ini] = Os.Fs[Ini];
    else
      Os.Fs.erase(Dir + Ini);
    RunProcess();
    for (const auto& [name, entry] : Os.Fs)
      EXPECT_TRUE(Before.count(name) || name == Ini || name == Dir + Ini || name == Workbook)
          << name;
  }
};

TEST_F(FaultInjection, EveryCallFailsInTurnWithEachKind) {
  for (const bool firstRun : {false, true}) {
    // The calls of a clean run, then each of them failing in each way.
    Fresh();
    Run(firstRun, "", [](TFakePlatform&) {});
    const std::size_t calls = Os.Files.Calls.size();
    const std::vector<std::string> asked = BoxTexts();
    ASSERT_GE(calls, 6u);
    for (std::size_t n = 0; n < calls; ++n)
      for (const TFault& f : FileFaults) {
        SCOPED_TRACE(std::to_string(n) + " " + f.Kind + (firstRun ? ", first run" : ""));
        Fresh();
        Asked = {asked.begin(), asked.end()};
        const int code =
            Run(firstRun, "", [&](TFakePlatform& p) { f.Set(p, static_cast<int>(n)); });
        EXPECT_TRUE(code == 0 || code == 1) << code;
        CheckInvariants(firstRun);
      }
  }
}

TEST_F(FaultInjection, TheCopyTheEntryAndTheLockFailWithEachKind) {
  // The shell's results for a missing file, denied, sharing, disk full and an I/O error.
  for (const int result : {2, 5, 32, 112, 1117}) {
    SCOPED_TRACE(result);
    Fresh();
    EXPECT_EQ(Run(false, "", [&](TFakePlatform& p) { p.Shell.CopyFails = result; }), 0);
    CheckInvariants(false);
  }
  for (const TRunLock answer : {TRunLock::Busy, TRunLock::Unavailable}) {
    Fresh();
    EXPECT_EQ(Run(false, "", [&](TFakePlatform& p) { p.RunLock.Answer = answer; }), 0);
    if (answer == TRunLock::Busy) {
      EXPECT_EQ(Os.Fs, Before);
      EXPECT_TRUE(Os.Ui.Boxes.empty());
    } else {
      CheckInvariants(false);
    }
  }
  for (const R result : {R::NoFolder, R::Denied, R::Failed, R::NoProgram, R::NotUtf8}) {
    Fresh();
    EXPECT_EQ(
        Run(false, "/startup", [&](TFakePlatform& p) { p.Autostart.Outcome.Result = result; }), 2);
    EXPECT_EQ(Os.Fs, Before);
    ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
    EXPECT_EQ(Os.Ui.Boxes[0].Text.rfind(txtStartupAddFailed.Source(), 0), 0u);
  }
}

} // namespace
