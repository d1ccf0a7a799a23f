// What only the Windows file layer does, on real files in a temporary folder: files held open
// by another program with their sharing modes, and the attributes. What every system
// does alike is in OsFilesContractTest.cpp.
#include "ini/IniFile.h"
#include "platform/Exceptions.h"
#include "platform/os/RealFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>

namespace {

const std::string OldText = "; old\n[Launch]\nYesNo=0\n";

class WinFiles : public RealFolder {
protected:
  void TearDown() override {
    for (const std::string& n : Names(Dir))
      SetFileAttributesA(In(n).c_str(), FILE_ATTRIBUTE_NORMAL);
    RealFolder::TearDown();
  }
  static void SaveSomething(TMemIniFile& ini) {
    ini.WriteInt("Launch", "WindowSize", 3);
    ini.SaveToDisk();
  }
};

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

TEST_F(WinFiles, HiddenSystemFileKeepsItsAttributes) {
  Put(Ini, OldText);
  const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ASSERT_TRUE(SetFileAttributesA(Ini.c_str(), kept));
  TMemIniFile ini(Ini);
  SaveSomething(ini);
  EXPECT_EQ(Get(Ini), "[Launch]\r\nYesNo=0\r\nWindowSize=3\r\n\r\n");
  EXPECT_EQ(GetFileAttributesA(Ini.c_str()) & kept, kept);
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
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

} // namespace
