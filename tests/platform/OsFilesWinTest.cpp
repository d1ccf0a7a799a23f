// The Windows file layer and the INI store on real files in a temporary folder.
#include "ini/IniFile.h"
#include "platform/Exceptions.h"
#include "platform/OsFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>

namespace {

const std::string OldText = "; old\n[Launch]\nYesNo=0\n";

class WinFiles : public ::testing::Test {
protected:
  std::string Dir;
  std::string Ini;

  void SetUp() override {
    char base[MAX_PATH + 1];
    ASSERT_GT(GetTempPathA(sizeof base, base), 0u);
    for (int i = 0; i < 1000 && Dir.empty(); ++i) {
      const std::string d = std::string(base) + "aq-files-" +
                            std::to_string(GetCurrentProcessId()) + "-" + std::to_string(i);
      if (CreateDirectoryA(d.c_str(), nullptr))
        Dir = d;
    }
    ASSERT_FALSE(Dir.empty());
    Ini = Dir + "\\AutoQuillmer.ini";
  }
  void TearDown() override {
    for (const std::string& n : Names(Dir)) {
      const std::string p = Dir + "\\" + n;
      SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!DeleteFileA(p.c_str()))
        RemoveDirectoryA(p.c_str());
    }
    RemoveDirectoryA(Dir.c_str());
  }
  static void Put(const std::string& name, const std::string& text) {
    const HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
    CloseHandle(h);
  }
  static std::string Get(const std::string& name) {
    const HANDLE h = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
      return "<missing>";
    std::string s(1 << 16, '\0');
    DWORD got = 0;
    ReadFile(h, s.data(), static_cast<DWORD>(s.size()), &got, nullptr);
    CloseHandle(h);
    s.resize(got);
    return s;
  }
  static std::set<std::string> Names(const std::string& dir) {
    std::set<std::string> names;
    WIN32_FIND_DATAA fd;
    const HANDLE f = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (f == INVALID_HANDLE_VALUE)
      return names;
    do {
      const std::string n = fd.cFileName;
      if (n != "." && n != "..")
        names.insert(n);
    } while (FindNextFileA(f, &fd));
    FindClose(f);
    return names;
  }
  static void SaveSomething(TMemIniFile& ini) {
    ini.WriteInt("Launch", "WindowSize", 3);
    ini.SaveToDisk();
  }
};

TEST_F(WinFiles, WorkedExampleOnRealFile) {
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

TEST_F(WinFiles, MissingFileIsCreatedAndEmptyStoreGivesZeroBytes) {
  {
    TMemIniFile ini(Ini);
    ini.SaveToDisk();
  }
  EXPECT_EQ(Get(Ini), "");
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
}

TEST_F(WinFiles, ReadOnlyFileRefusesSave) {
  Put(Ini, OldText);
  ASSERT_TRUE(SetFileAttributesA(Ini.c_str(), FILE_ATTRIBUTE_READONLY));
  TMemIniFile ini(Ini);
  EXPECT_FALSE(ini.ReadFlag("Launch", "YesNo", true));
  try {
    SaveSomething(ini);
    FAIL() << "saved over a read-only file";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "ファイル " + Ini + " を作成できません");
  }
  EXPECT_EQ(Get(Ini), OldText);
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
}

TEST_F(WinFiles, MissingFolderAndFolderUnderNameRefuseSave) {
  TMemIniFile missing(Dir + "\\missing\\AutoQuillmer.ini");
  EXPECT_THROW(SaveSomething(missing), EFCreateError);
  ASSERT_TRUE(CreateDirectoryA(Ini.c_str(), nullptr));
  TMemIniFile folder(Ini);
  EXPECT_FALSE(folder.HasSection("Launch"));
  EXPECT_THROW(SaveSomething(folder), EFCreateError);
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
  EXPECT_EQ(Names(Ini), std::set<std::string>{});
}

TEST_F(WinFiles, FileOpenForWritingElsewhereCannotBeLoadedOrSaved) {
  Put(Ini, OldText);
  TMemIniFile early(Ini);
  const HANDLE other = CreateFileA(Ini.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  try {
    TMemIniFile ini(Ini);
    FAIL() << "loaded a file that another program writes";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "ファイル " + Ini + " は開けません");
  }
  EXPECT_THROW(SaveSomething(early), EFCreateError);
  CloseHandle(other);
  EXPECT_EQ(Get(Ini), OldText);
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
}

TEST_F(WinFiles, FileOpenForReadingElsewhereLoadsButCannotBeSaved) {
  Put(Ini, OldText);
  const HANDLE other = CreateFileA(Ini.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  TMemIniFile ini(Ini);
  EXPECT_FALSE(ini.ReadFlag("Launch", "YesNo", true));
  EXPECT_THROW(SaveSomething(ini), EFCreateError);
  CloseHandle(other);
  EXPECT_EQ(Get(Ini), OldText);
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
  SaveSomething(ini);
  EXPECT_EQ(Get(Ini), "[Launch]\r\nYesNo=0\r\nWindowSize=3\r\n\r\n");
}

TEST_F(WinFiles, ClaimDoesNotTruncateAndReplaceClosesIt) {
  Put(Ini, OldText);
  TOsFiles& files = TOsSlot<TOsFiles>::Native();
  TOsFile claim = NoOsFile;
  ASSERT_EQ(files.Claim(Ini, claim), TClaim::Existing);
  EXPECT_EQ(files.SizeOf(claim), static_cast<std::int64_t>(OldText.size()));
  EXPECT_EQ(files.OpenRead(Ini), NoOsFile);
  Put(Dir + "\\new", "new");
  ASSERT_TRUE(files.Replace(claim, Dir + "\\new", Ini));
  EXPECT_EQ(Get(Ini), "new");
  const std::string fresh = Dir + "\\fresh.ini";
  ASSERT_EQ(files.Claim(fresh, claim), TClaim::Created);
  TOsFile n = NoOsFile;
  EXPECT_EQ(files.CreateNew(fresh, n), TCreateNew::Exists);
  EXPECT_TRUE(files.Close(claim));
  EXPECT_TRUE(files.Remove(fresh));
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
}

} // namespace
