// Loading and saving through the file calls: failures, their messages, and a save that
// fails at any step leaving the old file as it was.
#include "ini/IniDisk.h"
#include "ini/IniFile.h"
#include "platform/Exceptions.h"
#include "platform/FakePlatform.h"

#include <gtest/gtest.h>

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
  const std::string tmp = SaveTempName(Ini, 1);
  EXPECT_EQ(run.P.Files.Calls, (std::vector<std::string>{
                                   "Claim " + Ini, "CreateNew " + tmp, "Write " + tmp,
                                   "Flush " + tmp, "Close " + tmp, "Replace " + tmp + " " + Ini}));
  EXPECT_EQ(run.P.Fs.size(), 1u);
  EXPECT_EQ(run.P.Fs.at(Ini).Content, "[Launch]\r\nYesNo=1\r\n\r\n[Execute]\r\nLast_XLS=" +
                                          std::string(300, 'x') + "\r\n\r\n");
  EXPECT_EQ(run.P.Files.OpenCount(), 0u);
}

TEST(IniSave, PartialWritesAreContinued) {
  TSaveRun run(true);
  run.P.Files.WriteChunk = 7;
  run.Save();
  const std::size_t size = 21 + 11 + 9 + 300 + 4;
  EXPECT_EQ(run.P.Files.Calls.size(), 5u + (size + 6) / 7);
  EXPECT_EQ(run.P.Fs.at(Ini).Content.size(), size);
  EXPECT_EQ(run.P.Fs.at(Ini).Content, "[Launch]\r\nYesNo=1\r\n\r\n[Execute]\r\nLast_XLS=" +
                                          std::string(300, 'x') + "\r\n\r\n");
}

struct TFaultCase {
  bool OldFile;
};

class IniSaveFault : public ::testing::TestWithParam<TFaultCase> {};

// Every step of a save, made to fail in turn, leaves the old file (or its absence) as it
// was, no new file behind, nothing open, and a store that saves fine afterwards.
TEST_P(IniSaveFault, EachFailingStepKeepsOldFile) {
  std::vector<std::string> steps;
  {
    TSaveRun clean(GetParam().OldFile);
    clean.Save();
    steps = clean.P.Files.Calls;
  }
  ASSERT_GE(steps.size(), 6u);
  for (int shortWrite = 0; shortWrite <= 1; ++shortWrite) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const bool isWrite = steps[i].rfind("Write ", 0) == 0;
      if (shortWrite && !isWrite)
        continue;
      SCOPED_TRACE(steps[i] + (shortWrite ? " (short)" : ""));
      TSaveRun run(GetParam().OldFile);
      TMemIniFile ini(Ini);
      ini.WriteFlag("Launch", "YesNo", true);
      ini.WriteText("Execute", "Last_XLS", std::string(300, 'x'));
      const TFakeFs before = run.P.Fs;
      run.P.Files.Calls.clear();
      run.P.Files.FailCall = static_cast<int>(i);
      run.P.Files.ShortAtFail = shortWrite != 0;
      bool createFailure = false, writeFailure = false;
      try {
        ini.SaveToDisk();
      } catch (const EFCreateError& e) {
        createFailure = true;
        EXPECT_EQ(e.Message(), "ファイル " + Ini + " を作成できません");
      } catch (const EWriteError& e) {
        writeFailure = true;
        EXPECT_EQ(e.Message(), "ストリームへの書き込みエラー");
      }
      const bool writeStep =
          isWrite || steps[i].rfind("Flush ", 0) == 0 || steps[i].rfind("Close ", 0) == 0;
      EXPECT_EQ(writeFailure, writeStep);
      EXPECT_EQ(createFailure, !writeStep);
      ASSERT_EQ(run.P.Fs.size(), before.size());
      if (GetParam().OldFile)
        EXPECT_EQ(run.P.Fs.at(Ini).Content, OldText);
      else
        EXPECT_FALSE(run.P.Fs.count(Ini));
      EXPECT_EQ(run.P.Files.OpenCount(), 0u);

      run.P.Files.FailCall = -1;
      run.P.Files.DiskSpace = -1;
      ini.SaveToDisk();
      EXPECT_EQ(run.P.Fs.at(Ini).Content.substr(0, 19), "[Launch]\r\nYesNo=1\r\n");
      EXPECT_EQ(run.P.Fs.size(), 1u);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, IniSaveFault,
                         ::testing::Values(TFaultCase{true}, TFaultCase{false}),
                         [](const auto& info) {
                           return std::string(info.param.OldFile ? "OldFile" : "NoFile");
                         });

TEST(IniSave, DiskFullMidwayKeepsOldFile) {
  for (std::int64_t space : {0, 1, 10, 317}) {
    SCOPED_TRACE(space);
    TSaveRun run(true);
    run.P.Files.DiskSpace = space;
    EXPECT_THROW(run.Save(), EWriteError);
    EXPECT_EQ(run.P.Fs.at(Ini).Content, OldText);
    EXPECT_EQ(run.P.Fs.size(), 1u);
  }
}

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
        TRefuseCase{"ReadOnlyFolder", [](TFakePlatform& p) { p.Files.FolderWritable = false; }},
        TRefuseCase{"ReadOnlyOrMissingFolderNoFile",
                    [](TFakePlatform& p) {
                      p.Fs.erase(Ini);
                      p.Files.FolderWritable = false;
                    }}),
    [](const auto& info) { return std::string(info.param.Label); });

TEST(IniSave, StaleNewFileIsLeftAloneAndAnotherNameTaken) {
  TFakePlatform p;
  p.Fs[SaveTempName(Ini, 1)] = TFakeEntry{"stale"};
  TMemIniFile ini(Ini);
  ini.WriteInt("a", "k", 1);
  ini.SaveToDisk();
  EXPECT_EQ(p.Fs.at(Ini).Content, "[a]\r\nk=1\r\n\r\n");
  EXPECT_EQ(p.Fs.at(SaveTempName(Ini, 1)).Content, "stale");
  EXPECT_EQ(p.Fs.size(), 2u);
}

TEST(IniSave, GivesUpWhenEveryNewFileNameIsTaken) {
  TFakePlatform p;
  for (int i = 1; i <= 100; ++i)
    p.Fs[SaveTempName(Ini, i)] = TFakeEntry{"stale"};
  TMemIniFile ini(Ini);
  EXPECT_THROW(ini.SaveToDisk(), EFCreateError);
  EXPECT_FALSE(p.Fs.count(Ini));
  EXPECT_EQ(p.Fs.size(), 100u);
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

TEST(IniLoad, FileWithTimeOutsideDosRangeIsNotLoaded) {
  TFakePlatform p;
  p.Fs[Ini] = TFakeEntry{OldText};
  p.Fs[Ini].DosTimeOk = false;
  TMemIniFile ini(Ini);
  EXPECT_FALSE(ini.HasSection("Launch"));
  EXPECT_TRUE(p.Files.Calls.empty());
}

TEST(IniLoad, ShortOrFailedReadUsesTheBytesRead) {
  const std::string text = "[a]\r\nk=1\r\nj=2\r\n";
  for (int limit : {0, 3, 8, 9, 100}) {
    SCOPED_TRACE(limit);
    TFakePlatform p;
    p.Fs[Ini] = TFakeEntry{text};
    p.Files.ReadLimit = limit;
    TMemIniFile ini(Ini);
    const std::string got = text.substr(0, static_cast<std::size_t>(limit));
    EXPECT_EQ(ini.ReadText("a", "k", "d"), got.size() >= 8 ? got.substr(7, 1) : "d");
    EXPECT_EQ(ini.ReadText("a", "j", "d"), limit >= 100 ? "2" : "d");
  }
  for (int failAt : {1, 2}) { // the length, the read
    TFakePlatform p;
    p.Fs[Ini] = TFakeEntry{text};
    p.Files.FailCall = failAt;
    TMemIniFile ini(Ini);
    EXPECT_FALSE(ini.HasSection("a"));
    EXPECT_EQ(p.Files.OpenCount(), 0u);
  }
}

} // namespace
