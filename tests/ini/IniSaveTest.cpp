// Loading and saving through the file calls (the Windows call sequence): failures, their
// messages, a save that fails or is killed at any step leaving the old file as it was, and
// the situations in which a save writes the file in place or clears up leftovers.
#include "ini/IniDisk.h"
#include "ini/IniFile.h"
#include "platform/Exceptions.h"
#include "platform/FakePlatform.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <set>
#include <string>
#include <vector>

namespace {

const std::string Ini = "AutoQuillmer.ini";
const std::string OldText = "; old\r\n[Launch]\r\nYesNo=0\r\n";

// The text of the message a failure carries, or "" when nothing was raised.
template <class E, class F> std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "";
}

// A store with a few values, saved over a file that held OldText (or none).
struct TSaveRun {
  TFakePlatform P;
  explicit TSaveRun(bool oldFile) {
    if (oldFile)
      P.Fs[Ini] = TFakeEntry{OldText};
  }
  void Save() {
    TMemIniFile ini(Ini);
    ini.WriteFlag("Launch", "YesNo", true);
    ini.WriteText("Execute", "Last_XLS", std::string(300, 'x'));
    P.Files.Calls.clear();
    ini.SaveToDisk();
  }
};

TEST(IniSave, CleanSaveClaimsWritesFlushesAndReplaces) {
  TSaveRun run(true);
  run.Save();
  const std::string tmp = TempNameOf(Ini, "1");
  EXPECT_EQ(run.P.Files.Calls,
            (std::vector<std::string>{"Claim " + Ini, "CreateNew " + tmp, "CarryOver " + Ini,
                                      "Write " + tmp, "Flush " + tmp, "Close " + tmp,
                                      "Replace " + tmp + " " + Ini, "RemoveLeftovers " + Ini}));
  EXPECT_EQ(run.P.Fs.size(), 1u);
  EXPECT_EQ(run.P.Fs.at(Ini).Content, "[Launch]\r\nYesNo=1\r\n\r\n[Execute]\r\nLast_XLS=" +
                                          std::string(300, 'x') + "\r\n\r\n");
  EXPECT_EQ(run.P.Files.OpenCount(), 0u);
}

// A settings file that is a symbolic link to a hidden file: the file it leads to is replaced,
// keeps the attribute, and the link stays.
TEST(IniSave, SavesThroughALinkAndKeepsTheHiddenAttribute) {
  TSaveRun run(false);
  const std::string real = "D:\\Sync\\AutoQuillmer.ini";
  run.P.Fs[Ini].LinkTo = real;
  run.P.Fs[real] = TFakeEntry{OldText};
  run.P.Fs[real].Hidden = true;
  run.Save();
  EXPECT_EQ(run.P.Files.Calls[0], "Claim " + real);
  EXPECT_EQ(run.P.Fs.size(), 2u);
  EXPECT_EQ(run.P.Fs[Ini].LinkTo, real);
  EXPECT_EQ(run.P.Fs[real].Content.rfind("[Launch]\r\nYesNo=1\r\n", 0), 0u);
  EXPECT_TRUE(run.P.Fs[real].Hidden);
}

TEST(IniSave, PartialWritesAreContinued) {
  TSaveRun run(true);
  run.P.Files.WriteChunk = 7;
  run.Save();
  const std::size_t size = 21 + 11 + 9 + 300 + 4;
  EXPECT_EQ(run.P.Files.Calls.size(), 7u + (size + 6) / 7);
  EXPECT_EQ(run.P.Fs.at(Ini).Content.size(), size);
  EXPECT_EQ(run.P.Fs.at(Ini).Content, "[Launch]\r\nYesNo=1\r\n\r\n[Execute]\r\nLast_XLS=" +
                                          std::string(300, 'x') + "\r\n\r\n");
}

struct TFaultCase {
  bool OldFile;
};

class IniSaveFault : public ::testing::TestWithParam<TFaultCase> {};

// A process killed at any moment of a save leaves the old file or the complete new one, and
// on a first run no file or the complete one: never an empty or partial file.
TEST_P(IniSaveFault, KilledAtAnyStepLeavesOldOrNewFile) {
  TSaveRun run(GetParam().OldFile);
  run.P.Files.WriteChunk = 100;
  run.P.Files.KeepMoments = true;
  run.Save();
  const std::string saved = run.P.Fs.at(Ini).Content;
  run.P.Files.Moments.push_back(run.P.Fs);
  ASSERT_GE(run.P.Files.Moments.size(), 8u);
  for (const TFakeFs& moment : run.P.Files.Moments) {
    if (moment.count(Ini))
      EXPECT_TRUE(moment.at(Ini).Content == saved ||
                  (GetParam().OldFile && moment.at(Ini).Content == OldText))
          << moment.at(Ini).Content;
    else
      EXPECT_FALSE(GetParam().OldFile);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, IniSaveFault,
                         ::testing::Values(TFaultCase{true}, TFaultCase{false}),
                         [](const auto& info) {
                           return std::string(info.param.OldFile ? "OldFile" : "NoFile");
                         });

struct TRefuseCase {
  const char* Label;
  void (*Set)(TFakePlatform&);
};

class IniSaveRefused : public ::testing::TestWithParam<TRefuseCase> {};

TEST_P(IniSaveRefused, RaisesCreateErrorAndKeepsStoreAndFile) {
  TFakePlatform p;
  p.Fs[Ini] = TFakeEntry{OldText};
  TMemIniFile ini(Ini);
  ini.WriteInt("Launch", "WindowSize", 3);
  GetParam().Set(p);
  const TFakeFs before = p.Fs;
  EXPECT_EQ(MessageOf<EFCreateError>([&] { ini.SaveToDisk(); }),
            "ファイル AutoQuillmer.ini を作成できません");
  EXPECT_EQ(p.Fs.size(), before.size());
  if (before.count(Ini)) {
    EXPECT_EQ(p.Fs.at(Ini).Content, before.at(Ini).Content);
  }
  EXPECT_EQ(ini.ReadInt("Launch", "WindowSize", 0), 3);
  EXPECT_EQ(p.Files.OpenCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniSaveRefused,
    ::testing::Values(
        TRefuseCase{"ReadOnlyFile", [](TFakePlatform& p) { p.Fs[Ini].ReadOnly = true; }},
        TRefuseCase{"FolderUnderName",
                    [](TFakePlatform& p) {
                      p.Fs[Ini] = TFakeEntry{};
                      p.Fs[Ini].Folder = true;
                    }},
        TRefuseCase{"OpenForReadingElsewhere",
                    [](TFakePlatform& p) { p.Fs[Ini].HeldElsewhere = TFakeHold::Reading; }},
        TRefuseCase{"OpenForWritingElsewhere",
                    [](TFakePlatform& p) { p.Fs[Ini].HeldElsewhere = TFakeHold::Writing; }},
        TRefuseCase{"ReadOnlyOrMissingFolderNoFile",
                    [](TFakePlatform& p) {
                      p.Fs.erase(Ini);
                      p.Files.FolderWritable = false;
                    }}),
    [](const auto& info) { return std::string(info.param.Label); });

// Situations a user can meet, each with what the save does: which new-file names stay, and
// whether the file was written in place (cut to its new length: SetEnd).
struct TSituation {
  const char* Label;
  void (*Set)(TFakePlatform&);
  bool InPlace;
  std::set<std::string> Left; // names left beside the settings file
};

std::string Temp(int i) {
  return TempNameOf(Ini, std::to_string(i));
}

class IniSaveSituation : public ::testing::TestWithParam<TSituation> {};

TEST_P(IniSaveSituation, SavesTheWholeText) {
  TSaveRun run(true);
  GetParam().Set(run.P);
  run.Save();
  EXPECT_EQ(run.P.Fs.at(Ini).Content, "[Launch]\r\nYesNo=1\r\n\r\n[Execute]\r\nLast_XLS=" +
                                          std::string(300, 'x') + "\r\n\r\n");
  const auto& calls = run.P.Files.Calls;
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetEnd " + Ini), GetParam().InPlace);
  std::set<std::string> left;
  for (const auto& [name, entry] : run.P.Fs)
    if (name != Ini)
      left.insert(name);
  EXPECT_EQ(left, GetParam().Left);
  EXPECT_EQ(run.P.Files.OpenCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniSaveSituation,
    ::testing::Values(
        TSituation{"Plain", [](TFakePlatform&) {}, false, {}},
        // A folder that refuses new files (a folder under Program Files where the user may
        // write the file only): the file is written in place.
        TSituation{"FolderRefusesNewFiles",
                   [](TFakePlatform& p) { p.Files.FolderWritable = false; },
                   true,
                   {}},
        // A file with other names keeps them; one whose owner cannot be kept keeps it.
        TSituation{"HardLinks", [](TFakePlatform& p) { p.Fs[Ini].Links = 2; }, true, {}},
        TSituation{
            "OwnerCannotBeKept", [](TFakePlatform& p) { p.Fs[Ini].Foreign = true; }, true, {}},
        // Leftovers of killed saves go, however many; those a running save holds stay.
        TSituation{"HundredLeftovers",
                   [](TFakePlatform& p) {
                     for (int i = 1001; i <= 1100; ++i)
                       p.Fs[Temp(i)] = TFakeEntry{"stale"};
                   },
                   false,
                   {}},
        TSituation{"LeftoversSomeHeldByRunningSaves",
                   [](TFakePlatform& p) {
                     for (int i : {1, 2, 7, 12345}) {
                       p.Fs[Temp(i)] = TFakeEntry{"stale"};
                       p.Fs[Temp(i)].HeldElsewhere = i % 2 ? TFakeHold::Writing : TFakeHold::None;
                     }
                     p.Fs[Ini + ".~x.tmp"] = TFakeEntry{"not ours"};
                     p.Fs[Temp(3)] = TFakeEntry{};
                     p.Fs[Temp(3)].Folder = true;
                   },
                   false,
                   {Temp(1), Temp(3), Temp(7), Temp(12345), Ini + ".~x.tmp"}},
        TSituation{"NewFileNameTakenByAFolder",
                   [](TFakePlatform& p) {
                     p.Fs[Temp(1)] = TFakeEntry{};
                     p.Fs[Temp(1)].Folder = true;
                   },
                   false,
                   {Temp(1)}}),
    [](const auto& info) { return std::string(info.param.Label); });

TEST(IniSave, GivesUpOnlyWhenEveryNewFileNameIsHeld) {
  TFakePlatform p;
  for (int i = 1; i <= 100; ++i) {
    p.Fs[Temp(i)] = TFakeEntry{"running"};
    p.Fs[Temp(i)].HeldElsewhere = TFakeHold::Writing;
  }
  TMemIniFile ini(Ini);
  EXPECT_THROW(ini.SaveToDisk(), EFCreateError);
  EXPECT_FALSE(p.Fs.count(Ini));
  EXPECT_EQ(p.Fs.size(), 100u);
}

// Where the new file cannot be made: a first run in a folder that refuses new files writes
// nothing; a write in place that fails puts the old text back.
TEST(IniSave, InPlaceFailuresKeepTheOldFile) {
  {
    TFakePlatform p;
    p.Files.FolderWritable = false;
    TMemIniFile ini(Ini);
    EXPECT_THROW(ini.SaveToDisk(), EFCreateError);
    EXPECT_TRUE(p.Fs.empty());
  }
  for (std::int64_t space : {0, 10, 200}) {
    SCOPED_TRACE(space);
    TSaveRun run(true);
    run.P.Files.FolderWritable = false;
    run.P.Files.WriteChunk = 8;
    run.P.Files.DiskSpace = space;
    EXPECT_THROW(run.Save(), EWriteError);
    EXPECT_EQ(run.P.Fs.at(Ini).Content, OldText);
    EXPECT_EQ(run.P.Fs.size(), 1u);
    EXPECT_EQ(run.P.Files.OpenCount(), 0u);
  }
}

TEST(IniSave, FailureClassesAreStreamErrors) {
  TFakePlatform p;
  p.Files.FolderWritable = false;
  TMemIniFile ini(Ini);
  try {
    ini.SaveToDisk();
    FAIL();
  } catch (const EStreamError& e) {
    EXPECT_STREQ(e.ClassName(), "EFCreateError");
  }
  p.Files.FolderWritable = true;
  p.Files.DiskSpace = 0;
  ini.WriteInt("a", "k", 1);
  try {
    ini.SaveToDisk();
    FAIL();
  } catch (const EFilerError& e) {
    EXPECT_STREQ(e.ClassName(), "EWriteError");
  }
}

TEST(IniLoad, FileOpenForWritingElsewhereCannotBeLoaded) {
  TFakePlatform p;
  p.Fs[Ini] = TFakeEntry{OldText};
  p.Fs[Ini].HeldElsewhere = TFakeHold::Writing;
  EXPECT_EQ(MessageOf<EFOpenError>([&] { TMemIniFile ini(Ini); }),
            "ファイル AutoQuillmer.ini は開けません");
  EXPECT_EQ(p.Files.Waited, 1950u); // for a save of another start to end
  EXPECT_EQ(p.Fs.at(Ini).Content, OldText);
  EXPECT_EQ(p.Files.OpenCount(), 0u);
}

TEST(IniLoad, MessageCarriesTheNameAsGiven) {
  TFakePlatform p;
  const std::string name = ".\\sub\\%s.ini";
  p.Fs[name] = TFakeEntry{OldText};
  p.Fs[name].HeldElsewhere = TFakeHold::Writing;
  EXPECT_EQ(MessageOf<EFOpenError>([&] { TMemIniFile ini(name); }),
            "ファイル .\\sub\\%s.ini は開けません");
}

TEST(IniLoad, FileOpenForReadingElsewhereLoads) {
  TFakePlatform p;
  p.Fs[Ini] = TFakeEntry{OldText};
  p.Fs[Ini].HeldElsewhere = TFakeHold::Reading;
  TMemIniFile ini(Ini);
  EXPECT_FALSE(ini.ReadFlag("Launch", "YesNo", true));
  EXPECT_EQ(p.Files.Calls, (std::vector<std::string>{"OpenRead " + Ini, "SizeOf " + Ini,
                                                     "Read " + Ini, "Close " + Ini}));
  EXPECT_EQ(p.Files.OpenCount(), 0u);
}

TEST(IniLoad, AnExistingFileIsLoaded) {
  TFakePlatform p;
  p.Fs[Ini] = TFakeEntry{OldText};
  TMemIniFile ini(Ini);
  EXPECT_FALSE(ini.ReadFlag("Launch", "YesNo", true));
}

// Short reads are continued (what fails once is tried again: the injection table).
TEST(IniLoad, ShortReadsAreContinued) {
  for (int limit : {0, 3, 100}) {
    TFakePlatform p;
    p.Fs[Ini] = TFakeEntry{"[a]\r\nk=1\r\nj=2\r\n"};
    p.Files.ReadLimit = limit;
    EXPECT_EQ(TMemIniFile(Ini).ReadText("a", "j", "d"), limit > 0 ? "2" : "d") << limit;
  }
}

} // namespace
