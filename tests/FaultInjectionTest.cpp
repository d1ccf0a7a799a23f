// Every call of the file layer, the copy, the start-at-sign-in entry and the run lock made to
// fail in turn, with each kind of failure the systems give, over whole runs of the launcher:
// after each, nothing is lost or half made, leftovers do not outlive the next run, and the
// box shown is the one for that failure.
#include "LauncherFixture.h"

#include <algorithm>
#include <functional>
#include <memory>

namespace {

using R = TAutostartResult;
const std::string Ini = "AutoQuillmer.ini";
const std::string OldIni = "[Execute]\r\nLast_XLS=2004/06/30 7:00:00\r\n\r\n[Date]\r\nTimeToNext="
                           "5:00:00\r\n\r\n[Launch]\r\nType1=1\r\nWindowSize=3\r\nYesNo=0\r\n\r\n";
const std::string Kept = Ini + ".~AbCd1234.tmp"; // the settings a half-done save kept

// The ways a run goes: a new day, a first run, and a start that finds the settings kept.
enum TPath { NewDay, FirstRun, KeptCopy };

// One kind of failure: the call it hits is n (or, for a seam of one call, n picks the error),
// among Calls (0: every call of the file layer in a run without faults; -1: every search).
struct TFault {
  const char* Kind;
  int Calls;
  const char* Args;
  const TText* Box; // the box it shows; none where only the write-back box may follow
  std::function<void(TFakePlatform&, int n)> Set;
};

const TFault Faults[] = {
    {"refused", 0, "", nullptr, [](TFakePlatform& p, int n) { p.Files.FailCall = n; }},
    {"the disk gone", 0, "", nullptr,
     [](TFakePlatform& p, int n) { p.Files.FailCall = n, p.Files.FailOnward = true; }},
    {"a short write, the disk full", 0, "", nullptr,
     [](TFakePlatform& p, int n) { p.Files.FailCall = n, p.Files.ShortAtFail = true; }},
    {"a replace done by half", 0, "", nullptr,
     [](TFakePlatform& p, int n) { p.Files.FailCall = n, p.Files.HalfAtFail = true; }},
    {"a replace done by half, the disk gone", 0, "", nullptr,
     [](TFakePlatform& p, int n) {
       p.Files.FailCall = n, p.Files.HalfAtFail = p.Files.FailOnward = true;
     }},
    {"a look that fails", -1, "", nullptr,
     [](TFakePlatform& p, int n) { p.Process.FindFails = n; }},
    {"the copy: missing, denied, shared, disk full, I/O", 5, "", &txtPrepareFailed,
     [](TFakePlatform& p, int n) {
       p.Shell.CopyFails = std::vector{2, 5, 32, 112, 1117}[n];
     }},
    {"the run lock: busy, none to be had", 2, "", nullptr,
     [](TFakePlatform& p, int n) {
       p.RunLock.Answer = n ? TRunLock::Unavailable : TRunLock::Busy;
     }},
    {"the entry", 5, "/startup", &StartupWords().AddFailed,
     [](TFakePlatform& p, int n) {
       p.Autostart.Outcome.Result =
           std::vector{R::NoFolder, R::Denied, R::Failed, R::NoProgram, R::NotUtf8}[n];
     }},
};

class FaultInjection : public LauncherTest {
protected:
  TPath Path = NewDay;
  void Fresh() {
    TearDown();
    std::destroy_at(&Os);
    std::construct_at(&Os);
    SetUp();
    UseJapaneseFormats();
    ClockAt(2004, 7, 1, 7, 30);
    AddFile(Dir + "Dozeboardt1.xls", "the template");
    AddFile(Ini + ".backup"); // the user's own, which no sweep may take
    AddFile(Ini + ".1");
    if (Path == NewDay)
      SettingsHere(OldIni);
    if (Path == KeptCopy) { // kept beside the program, started from its folder
      AddFile(Kept, OldIni);
      AddFile(Dir + Ini, OldIni);
    }
  }
  // A whole text of the settings: the user's own, never the defaults, except on a first run.
  bool Whole(const std::string& t) const {
    const char* values = Path == FirstRun ? "WindowSize=5\r\nYesNo=" : "WindowSize=3\r\nYesNo=0";
    return t.starts_with("[Execute]\r\nLast_XLS=") && t.ends_with("\r\n\r\n") &&
           t.find(values) != std::string::npos;
  }
};

TEST_F(FaultInjection, EveryCallFailsInTurnWithEachKind) {
  const std::string book = Dir + "Dozeboard_2004-06.xls";
  for (const TPath path : {NewDay, FirstRun, KeptCopy}) {
    Path = path;
    const bool firstRun = path == FirstRun;
    Fresh();
    Os.Process.CmdLine = "AutoQuillmer.exe";
    RunProcess();
    const int fileCalls = static_cast<int>(Os.Files.Calls.size());
    const int searches = static_cast<int>(Os.Process.Searched.size());
    const std::vector<std::string> asked = BoxTexts();
    for (const TFault& f : Faults) {
      const std::string box = f.Box ? f.Box->Source() : "";
      for (int n = 0; n < (f.Calls > 0 ? f.Calls : f.Calls ? searches : fileCalls); ++n) {
        SCOPED_TRACE(std::string(f.Kind) + " " + std::to_string(n) + " on path " +
                     std::to_string(path));
        Fresh();
        const TFakeFs before = Os.Fs;
        Os.Process.CmdLine = std::string("AutoQuillmer.exe ") + f.Args;
        f.Set(Os, n);
        RunProcess();
        // The settings: old or whole new; none left only where the whole new text is kept.
        int kept = 0;
        for (const auto& [name, entry] : Os.Fs) {
          kept += IsTempNameOf(name, Ini) && Whole(entry.Content);
          EXPECT_TRUE(before.count(name) || name == Ini || name == book || IsTempNameOf(name, Ini))
              << name;
        }
        if (Os.Fs.count(Ini))
          EXPECT_TRUE(Os.Fs[Ini].Content == OldIni || Whole(Os.Fs[Ini].Content)) << Settings();
        else
          EXPECT_TRUE(firstRun || kept == 1) << "the settings are lost";
        for (const auto& [name, entry] : before) // the template and the user's files stay
          EXPECT_TRUE(name.ends_with(Ini) || name == Kept ||
                      (Os.Fs.count(name) && Os.Fs[name] == entry))
              << name;
        EXPECT_TRUE(!Os.Fs.count(book) || Os.Fs[book].Content == "the template");
        EXPECT_EQ(Os.Files.OpenCount(), 0u);
        // The write-back box exactly when a save was tried and did not write; besides the
        // questions of a run without faults, the failure's own box or the failure report.
        const bool tried = std::ranges::any_of(
            Os.Files.Calls, [](const std::string& c) { return c.starts_with("Claim "); });
        const bool written = Os.Fs.count(Ini) && Os.Fs[Ini].Content != OldIni;
        std::vector<std::string> shown;
        bool writeFailed = false, reported = false;
        for (const auto& b : Os.Ui.Boxes) {
          writeFailed |= b.Text == txtWriteFailed.Source();
          reported |= b.Caption == txtReportCaption.Source();
          // A template that cannot be looked at counts as there: the first run may ask.
          const bool mayAsk = f.Calls < 0 && firstRun && b.Text == txtChooseType.Source();
          if (b.Text != txtWriteFailed.Source() && b.Caption != txtReportCaption.Source() &&
              std::ranges::find(asked, b.Text) == asked.end() && !mayAsk)
            shown.push_back(box.empty() ? b.Text : b.Text.substr(0, box.size()));
        }
        EXPECT_EQ(writeFailed, tried && !written && !reported);
        EXPECT_EQ(shown, box.empty() ? std::vector<std::string>{} : std::vector{box});
        // A run without faults afterwards leaves nothing but the settings and the workbook.
        const TFakeFs after = Os.Fs;
        Fresh();
        Os.Fs = after;
        if (after.count(Ini))
          Os.Fs[Dir + Ini] = after.at(Ini);
        RunProcess();
        for (const auto& [name, entry] : Os.Fs)
          EXPECT_TRUE((before.count(name) && name != Kept) || name == Ini || name == Dir + Ini ||
                      name == book)
              << name;
        if (kept && !firstRun) { // the kept settings are taken back: no first run
          EXPECT_NE(Settings().find("YesNo=0"), std::string::npos) << Settings();
        }
      }
    }
  }
}

} // namespace
