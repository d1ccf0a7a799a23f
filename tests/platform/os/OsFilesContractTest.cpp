// What the native file layer and the INI store on it do alike on every system, on real
// files in a temporary folder. What only one system has (its locks, attributes and limits)
// is checked in OsFilesPosixTest.cpp and OsFilesWinTest.cpp.
#include "ini/IniFile.h"
#include "platform/Exceptions.h"
#include "platform/os/OsFiles.h"
#include "platform/os/RealFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string OldText = "; old\n[Launch]\nYesNo=0\n";

class FilesContract : public RealFolder {
protected:
  static void SaveSomething(const std::string& name) {
    TMemIniFile ini(name);
    ini.WriteInt("Launch", "WindowSize", 3);
    ini.SaveToDisk();
  }
};

TEST_F(FilesContract, WorkedExampleOnRealFile) {
  Put(Ini, "; settings\nx=1\n\n[Launch]\ntype1=0\n  YesNo=0\n[Launch]\nWindowSize=3\n");
  {
    TMemIniFile ini(Ini);
    EXPECT_FALSE(ini.ReadFlag("Launch", "Type1", true));
    EXPECT_TRUE(ini.ReadFlag("Launch", "YesNo", true));
    EXPECT_EQ(ini.ReadInt("Launch", "WindowSize", 5), 5);
    ini.WriteFlag("Launch", "Type1", true);
    ini.WriteFlag("Launch", "YesNo", false);
    ini.WriteInt("Launch", "WindowSize", 5);
    ini.SaveToDisk();
  }
  EXPECT_EQ(Get(Ini), "[Launch]\r\nType1=1\r\n  YesNo=0\r\nYesNo=0\r\nWindowSize=5\r\n\r\n"
                      "[Launch]\r\nWindowSize=3\r\n\r\n");
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
}

TEST_F(FilesContract, MissingFileIsCreatedAndEmptyStoreGivesZeroBytes) {
  {
    TMemIniFile ini(Ini);
    ini.SaveToDisk();
  }
  ASSERT_TRUE(fs::is_regular_file(Ini));
  EXPECT_EQ(fs::file_size(Ini), 0u);
  EXPECT_EQ(Get(Ini), "");
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
}

TEST_F(FilesContract, MissingFolderRefusesSave) {
  const std::string name = (Root / "missing" / "AutoQuillmer.ini").string();
  TMemIniFile ini(name);
  EXPECT_FALSE(ini.HasSection("Launch"));
  EXPECT_THROW(SaveSomething(name), EFCreateError);
  EXPECT_EQ(Names(Dir), std::set<std::string>{});
}

TEST_F(FilesContract, FolderUnderTheNameIsNoFile) {
  ASSERT_TRUE(fs::create_directory(Ini));
  TMemIniFile ini(Ini);
  EXPECT_FALSE(ini.HasSection("Launch"));
  ini.WriteInt("Launch", "WindowSize", 3);
  EXPECT_THROW(ini.SaveToDisk(), EFCreateError);
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
  EXPECT_EQ(Names(Ini), std::set<std::string>{});
}

TEST_F(FilesContract, LayerSharingRulesWithinOneProcess) {
  Put(Ini, OldText);
  TOsFiles& files = TOsSlot<TOsFiles>::Native();
  const TOsFile r1 = files.OpenRead(Ini);
  const TOsFile r2 = files.OpenRead(Ini);
  ASSERT_NE(r1, NoOsFile);
  ASSERT_NE(r2, NoOsFile); // readers share
  TOsFile w = NoOsFile;
  EXPECT_EQ(files.Claim(Ini, w), TClaim::Failed); // not while read
  EXPECT_TRUE(files.Close(r1));
  EXPECT_TRUE(files.Close(r2));
  ASSERT_EQ(files.Claim(Ini, w), TClaim::Existing);
  EXPECT_EQ(files.OpenRead(Ini), NoOsFile); // not while claimed
  TOsFile w2 = NoOsFile;
  EXPECT_EQ(files.Claim(Ini, w2), TClaim::Failed);
  EXPECT_EQ(files.SizeOf(w), static_cast<std::int64_t>(OldText.size())); // not truncated
  EXPECT_TRUE(files.Close(w));

  const std::string fresh = In("fresh.ini");
  ASSERT_EQ(files.Claim(fresh, w), TClaim::Created);
  TOsFile n = NoOsFile;
  EXPECT_EQ(files.CreateNew(fresh, n), TCreateNew::Exists);
  EXPECT_EQ(files.CreateNew((Root / "nope" / "x").string(), n), TCreateNew::Failed);
  EXPECT_TRUE(files.Close(w));
  EXPECT_TRUE(files.Remove(fresh));
  EXPECT_FALSE(files.Remove(fresh));
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
}

TEST_F(FilesContract, ReplacePutsNewFileInPlace) {
  Put(Ini, OldText);
  TOsFiles& files = TOsSlot<TOsFiles>::Native();
  TOsFile claim = NoOsFile;
  ASSERT_EQ(files.Claim(Ini, claim), TClaim::Existing);
  Put(In("new"), "new");
  ASSERT_TRUE(files.Replace(claim, In("new"), Ini));
  EXPECT_EQ(Get(Ini), "new");
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
  TOsFile again = NoOsFile;
  ASSERT_EQ(files.Claim(Ini, again), TClaim::Existing);
  EXPECT_FALSE(files.Replace(again, In("missing"), Ini));
  EXPECT_EQ(Get(Ini), "new");
}

} // namespace
