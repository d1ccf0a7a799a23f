// What every implementation of the file layer and the INI store on it promise alike,
// checked against the scripted stand-in and against the native layer on real files in a
// temporary folder, so that the stand-in's sharing and replace rules, on which the safe-save
// and launcher tests rely, cannot drift from the real layers. What only one system has (its
// locks, attributes and limits) is checked in OsFilesPosixTest.cpp and OsFilesWinTest.cpp.
#include "ini/IniFile.h"
#include "platform/Exceptions.h"
#include "platform/FakePlatform.h"
#include "platform/os/OsFiles.h"
#include "platform/os/RealFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string OldText = "; old\n[Launch]\nYesNo=0\n";

// One implementation under test, with the means to lay out files in its folder.
class TFilesUnderTest {
public:
  virtual ~TFilesUnderTest() = default;
  virtual TOsFiles& Files() = 0;
  // The full name of an entry of the folder.
  virtual std::string In(const std::string& name) = 0;
  // A name in a folder that is not there.
  virtual std::string InMissingFolder(const std::string& name) = 0;
  virtual void Put(const std::string& name, const std::string& text) = 0;
  virtual std::string Get(const std::string& name) = 0;
  virtual void MakeFolder(const std::string& name) = 0;
  // True for a file that is no folder.
  virtual bool IsFile(const std::string& name) = 0;
  // The names of the entries of the folder, or of a folder in it.
  virtual std::set<std::string> Names(const std::string& sub = "") = 0;
};

class TFakeUnderTest : public TFilesUnderTest {
public:
  TOsFiles& Files() override { return Platform.Files; }
  std::string In(const std::string& name) override { return Dir + name; }
  std::string InMissingFolder(const std::string& name) override {
    Platform.Files.MissingFolder = Dir + "missing\\";
    return Platform.Files.MissingFolder + name;
  }
  void Put(const std::string& name, const std::string& text) override {
    Platform.Fs[name] = TFakeEntry{text};
  }
  std::string Get(const std::string& name) override { return Platform.Fs[name].Content; }
  void MakeFolder(const std::string& name) override { Platform.Fs[name].Folder = true; }
  bool IsFile(const std::string& name) override {
    return Platform.Fs.count(name) && !Platform.Fs[name].Folder;
  }
  std::set<std::string> Names(const std::string& sub) override {
    const std::string folder = sub.empty() ? Dir : sub + "\\";
    std::set<std::string> names;
    for (const auto& [name, entry] : Platform.Fs)
      if (name.rfind(folder, 0) == 0 && name.find('\\', folder.size()) == std::string::npos)
        names.insert(name.substr(folder.size()));
    return names;
  }

private:
  const std::string Dir = "C:\\Apps\\Chart\\";
  TFakePlatform Platform;
};

class TNativeUnderTest : public TFilesUnderTest, private RealFolder {
public:
  TNativeUnderTest() { RealFolder::SetUp(); }
  ~TNativeUnderTest() override { RealFolder::TearDown(); }
  TOsFiles& Files() override { return TOsSlot<TOsFiles>::Native(); }
  std::string In(const std::string& name) override { return RealFolder::In(name); }
  std::string InMissingFolder(const std::string& name) override {
    return (Root / "missing" / name).string();
  }
  void Put(const std::string& name, const std::string& text) override {
    RealFolder::Put(name, text);
  }
  std::string Get(const std::string& name) override { return RealFolder::Get(name); }
  void MakeFolder(const std::string& name) override { ASSERT_TRUE(fs::create_directory(name)); }
  bool IsFile(const std::string& name) override { return fs::is_regular_file(name); }
  std::set<std::string> Names(const std::string& sub) override {
    return RealFolder::Names(sub.empty() ? Dir : sub);
  }

private:
  void TestBody() override {}
};

class FilesContract : public ::testing::TestWithParam<bool> {
protected:
  std::unique_ptr<TFilesUnderTest> Impl;
  std::string Ini;
  void SetUp() override {
    if (GetParam())
      Impl = std::make_unique<TNativeUnderTest>();
    else
      Impl = std::make_unique<TFakeUnderTest>();
    Ini = Impl->In("AutoQuillmer.ini");
  }
  static void SaveSomething(const std::string& name) {
    TMemIniFile ini(name);
    ini.WriteInt("Launch", "WindowSize", 3);
    ini.SaveToDisk();
  }
};

TEST_P(FilesContract, WorkedExample) {
  Impl->Put(Ini, "; settings\nx=1\n\n[Launch]\ntype1=0\n  YesNo=0\n[Launch]\nWindowSize=3\n");
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
  EXPECT_EQ(Impl->Get(Ini), "[Launch]\r\nType1=1\r\n  YesNo=0\r\nYesNo=0\r\nWindowSize=5\r\n\r\n"
                            "[Launch]\r\nWindowSize=3\r\n\r\n");
  EXPECT_EQ(Impl->Names(), std::set<std::string>{"AutoQuillmer.ini"});
}

TEST_P(FilesContract, MissingFileIsCreatedAndEmptyStoreGivesZeroBytes) {
  {
    TMemIniFile ini(Ini);
    ini.SaveToDisk();
  }
  EXPECT_TRUE(Impl->IsFile(Ini));
  EXPECT_EQ(Impl->Get(Ini), "");
  EXPECT_EQ(Impl->Names(), std::set<std::string>{"AutoQuillmer.ini"});
}

TEST_P(FilesContract, MissingFolderRefusesSave) {
  const std::string name = Impl->InMissingFolder("AutoQuillmer.ini");
  TMemIniFile ini(name);
  EXPECT_FALSE(ini.HasSection("Launch"));
  EXPECT_THROW(SaveSomething(name), EFCreateError);
  EXPECT_EQ(Impl->Names(), std::set<std::string>{});
}

TEST_P(FilesContract, FolderUnderTheNameIsNoFile) {
  Impl->MakeFolder(Ini);
  TMemIniFile ini(Ini);
  EXPECT_FALSE(ini.HasSection("Launch"));
  ini.WriteInt("Launch", "WindowSize", 3);
  EXPECT_THROW(ini.SaveToDisk(), EFCreateError);
  EXPECT_EQ(Impl->Names(), std::set<std::string>{"AutoQuillmer.ini"});
  EXPECT_EQ(Impl->Names(Ini), std::set<std::string>{});
}

TEST_P(FilesContract, LayerSharingRulesWithinOneProcess) {
  Impl->Put(Ini, OldText);
  TOsFiles& files = Impl->Files();
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

  const std::string fresh = TempNameOf(Ini, "Held1234");
  EXPECT_EQ(files.Claim(fresh, w), TClaim::Missing); // and not created
  EXPECT_EQ(Impl->Names(), std::set<std::string>{"AutoQuillmer.ini"});
  ASSERT_EQ(files.CreateNew(fresh, w), TCreateNew::Created);
  TOsFile n = NoOsFile;
  EXPECT_EQ(files.CreateNew(fresh, n), TCreateNew::Exists);
  files.RemoveLeftovers(Ini);
  EXPECT_TRUE(Impl->IsFile(fresh)); // held by the save that made it
  EXPECT_TRUE(files.Close(w));
  EXPECT_EQ(files.CreateNew(fresh, n), TCreateNew::Exists); // nor over an unheld one
  files.RemoveLeftovers(Ini);
  EXPECT_FALSE(files.Remove(fresh));
  EXPECT_EQ(files.CreateNew(Impl->InMissingFolder("x"), n), TCreateNew::Failed);
  EXPECT_EQ(Impl->Names(), std::set<std::string>{"AutoQuillmer.ini"});
}

TEST_P(FilesContract, ReplacePutsNewFileInPlace) {
  Impl->Put(Ini, OldText);
  TOsFiles& files = Impl->Files();
  TOsFile claim = NoOsFile;
  ASSERT_EQ(files.Claim(Ini, claim), TClaim::Existing);
  Impl->Put(Impl->In("new"), "new");
  ASSERT_EQ(files.Replace(claim, Impl->In("new"), Ini), TReplaced::Done);
  EXPECT_EQ(Impl->Get(Ini), "new");
  EXPECT_EQ(Impl->Names(), std::set<std::string>{"AutoQuillmer.ini"});
  TOsFile again = NoOsFile;
  ASSERT_EQ(files.Claim(Ini, again), TClaim::Existing);
  EXPECT_EQ(files.Replace(again, Impl->In("missing"), Ini), TReplaced::Failed);
  EXPECT_EQ(Impl->Get(Ini), "new");
}

INSTANTIATE_TEST_SUITE_P(Layers, FilesContract, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Native" : "StandIn"; });

} // namespace
