// Every call of the file layer, the copy, the start-at-sign-in entry and the run lock made to
// fail in turn, with each kind of failure the systems give, over whole runs of the launcher
// on the stand-in; and on the real layer in a real folder, every system call made to fail in
// turn with each error it gives, and the process ended right after it. After each, nothing is
// lost or half made, leftovers do not outlive the next run, and the box shown is the one for
// that failure.
#include "LauncherFixture.h"

#include <algorithm>
#include <functional>
#include <memory>

namespace {

using R = TAutostartResult;
const std::string Ini = "AutoQuillmer.ini";
const std::string Kept = Ini + ".~AbCd1234.tmp"; // the settings a half-done save kept
const std::string Book = "Dozeboard_2004-06.xls";
const std::string OldIni = "[Execute]\r\nLast_XLS=2004/06/30 7:00:00\r\n\r\n[Date]\r\nTimeToNext="
                           "5:00:00\r\n\r\n[Launch]\r\nType1=1\r\nWindowSize=3\r\nYesNo=0\r\n\r\n";
const std::string LegacyIni = OldIni + "[Window]\r\nSize=3\r\n\r\n";

// The ways a run goes, laid out alike on the stand-in and in a real folder: the arguments,
// the clock (2004), the settings file, the settings kept by a half-done save, and more.
struct TPath {
  const char* Name;
  const char* Args;
  std::uint16_t Month, Day, Hour;
  const std::string* Settings;
  const std::string* Kept;
  const char* Layout; // "book folder", "pipes" (FIFOs and a link at kept names), "entry"
  bool FirstRun() const { return !Settings && !Kept; }
};
const TPath Paths[] = {
    {"a new day with the copy", "", 7, 1, 7, &OldIni, nullptr, ""},
    {"a first run", "", 7, 1, 7, nullptr, nullptr, ""},
    {"the settings kept by a half-done save", "", 7, 1, 7, nullptr, &OldIni, ""},
    {"the same day", "", 6, 30, 8, &OldIni, nullptr, ""},
    {"a clock gone backwards", "", 6, 29, 8, &OldIni, nullptr, ""},
    {"/open", "/open", 6, 30, 8, &OldIni, nullptr, ""},
    {"/startup", "/startup", 6, 30, 8, &OldIni, nullptr, ""},
    {"/nostartup", "/nostartup", 6, 30, 8, &OldIni, nullptr, "entry"},
    {"the legacy upgrade", "", 6, 30, 8, &LegacyIni, nullptr, ""},
    {"a folder at the workbook's name", "", 7, 1, 7, &OldIni, nullptr, "book folder"},
    {"FIFOs and a link at kept names", "", 7, 1, 7, nullptr, nullptr, "pipes"},
};

// A whole text of the settings: the user's own, never the defaults, except on a first run.
bool Whole(const std::string& t, const TPath& path) {
  const char* values = path.FirstRun() ? "WindowSize=5\r\nYesNo=" : "WindowSize=3\r\nYesNo=0";
  return t.starts_with("[Execute]\r\nLast_XLS=") && t.ends_with("\r\n\r\n") &&
         t.find(values) != std::string::npos;
}

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
  const TPath* Path = &Paths[0];
  void Reset() {
    TearDown();
    std::destroy_at(&Os);
    std::construct_at(&Os);
    SetUp();
    UseJapaneseFormats();
    ClockAt(2004, Path->Month, Path->Day, Path->Hour, 30);
    Os.Process.CmdLine = std::string("AutoQuillmer.exe ") + Path->Args;
  }
  void Fresh() {
    Reset();
    AddFile(Dir + "Dozeboardt1.xls", "the template");
    AddFile(Ini + ".backup"); // the user's own, which no sweep may take
    AddFile(Ini + ".1");
    if (Path->Settings)
      SettingsHere(*Path->Settings);
    if (Path->Kept) { // kept beside the program, started from its folder
      AddFile(Kept, *Path->Kept);
      AddFile(Dir + Ini, *Path->Kept);
    }
    if (std::string(Path->Layout) == "book folder")
      Os.Fs[Dir + Book].Folder = true;
  }
  // The boxes shown beyond the questions `asked`: the failure's own (cut to the length of
  // `box`), with the write-back box and the failure report told apart.
  std::vector<std::string> Shown(const std::vector<std::string>& asked, const std::string& box,
                                 bool mayAsk, bool& writeFailed, bool& reported) const {
    std::vector<std::string> shown;
    writeFailed = reported = false;
    for (const auto& b : Os.Ui.Boxes) {
      writeFailed |= b.Text == txtWriteFailed.Source();
      reported |= b.Caption == txtReportCaption.Source();
      // A template that cannot be looked at counts as there: the first run may ask. The
      // upgrade's second save has its own write-back box.
      if (b.Text != txtWriteFailed.Source() && b.Caption != txtReportCaption.Source() &&
          b.Text != txtUpgradeFailed.Source() && std::ranges::find(asked, b.Text) == asked.end() &&
          !(mayAsk && b.Text == txtChooseType.Source()))
        shown.push_back(box.empty() ? b.Text : b.Text.substr(0, box.size()));
    }
    return shown;
  }
};

TEST_F(FaultInjection, EveryCallFailsInTurnWithEachKind) {
  const std::string book = Dir + Book;
  for (const TPath& path : Paths) {
    if (std::string(path.Layout) == "pipes")
      continue; // real files only
    Path = &path;
    const std::string old = path.Settings ? *path.Settings : path.Kept ? *path.Kept : "<none>";
    Fresh();
    RunProcess();
    const int fileCalls = static_cast<int>(Os.Files.Calls.size());
    const int searches = static_cast<int>(Os.Process.Searched.size());
    const std::vector<std::string> asked = BoxTexts();
    const bool copies = !Os.Shell.Copies.empty();
    for (const TFault& f : Faults) {
      const std::string box = f.Box ? f.Box->Source() : "";
      // A failure of the copy where the path makes one, and whose box it does not show anyway.
      if (f.Box &&
          (std::ranges::find(asked, box) != asked.end() || (f.Box == &txtPrepareFailed && !copies)))
        continue;
      for (int n = 0; n < (f.Calls > 0 ? f.Calls : f.Calls ? searches : fileCalls); ++n) {
        SCOPED_TRACE(std::string(f.Kind) + " " + std::to_string(n) + " on " + path.Name);
        Fresh();
        const TFakeFs before = Os.Fs;
        if (*f.Args)
          Os.Process.CmdLine = std::string("AutoQuillmer.exe ") + f.Args;
        f.Set(Os, n);
        RunProcess();
        // The settings: old or whole new; none left only where the whole new text is kept.
        int kept = 0;
        for (const auto& [name, entry] : Os.Fs) {
          kept += IsTempNameOf(name, Ini) && Whole(entry.Content, path);
          EXPECT_TRUE(before.count(name) || name == Ini || name == book || IsTempNameOf(name, Ini))
              << name;
        }
        if (Os.Fs.count(Ini))
          EXPECT_TRUE(Os.Fs[Ini].Content == old || Whole(Os.Fs[Ini].Content, path)) << Settings();
        else
          EXPECT_TRUE(path.FirstRun() || kept == 1) << "the settings are lost";
        for (const auto& [name, entry] : before) // the template and the user's files stay
          EXPECT_TRUE(name.ends_with(Ini) || name == Kept ||
                      (Os.Fs.count(name) && Os.Fs[name] == entry))
              << name;
        EXPECT_TRUE(before.count(book) || !Os.Fs.count(book) ||
                    Os.Fs[book].Content == "the template");
        EXPECT_EQ(Os.Files.OpenCount(), 0u);
        // The write-back box exactly when a save was tried and did not write; besides the
        // questions of a run without faults, the failure's own box or the failure report.
        const bool tried = std::ranges::any_of(
            Os.Files.Calls, [](const std::string& c) { return c.starts_with("Claim "); });
        const bool written = Os.Fs.count(Ini) && Os.Fs[Ini].Content != old;
        bool writeFailed, reported;
        const auto shown = Shown(asked, box, f.Calls < 0 && path.FirstRun(), writeFailed, reported);
        // (The upgrade saves more than once: a later save may fail after an earlier wrote.)
        if (path.Settings == &LegacyIni)
          EXPECT_TRUE(!writeFailed || (tried && !reported));
        else
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
        if (kept && !path.FirstRun()) { // the kept settings are taken back: no first run
          EXPECT_NE(Settings().find("YesNo=0"), std::string::npos) << Settings();
        }
      }
    }
  }
}

} // namespace
