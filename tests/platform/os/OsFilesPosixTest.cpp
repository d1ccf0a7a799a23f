// What only the POSIX file layer does, on real files in a temporary folder: locks held by
// another process, permission bits, immutable files and folders, a full disk and a file-size
// limit. What every system does alike is in OsFilesContractTest.cpp.
#include "ini/IniDisk.h"
#include "ini/IniFile.h"
#include "platform/Exceptions.h"
#include "platform/os/OsFiles.h"
#include "platform/os/RealFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string OldText = "; old\n[Launch]\nYesNo=0\n";

bool Shell(const std::string& command) {
  return std::system((command + " 2>/dev/null").c_str()) == 0;
}

class PosixFiles : public RealFolder {
protected:
  std::vector<std::string> Immutable; // undone in TearDown
  std::string Mounted;

  void TearDown() override {
    for (const std::string& p : Immutable)
      Shell("chattr -i '" + p + "'");
    if (!Mounted.empty())
      umount2(Mounted.c_str(), MNT_DETACH);
    RealFolder::TearDown();
  }

  // chattr +i; false when the file system does not support it.
  bool MakeImmutable(const std::string& path) {
    if (!Shell("chattr +i '" + path + "'"))
      return false;
    Immutable.push_back(path);
    return true;
  }
  static void SaveSomething(const std::string& name) {
    TMemIniFile ini(name);
    ini.WriteInt("Launch", "WindowSize", 3);
    ini.SaveToDisk();
  }
};

TEST_F(PosixFiles, ReleaseWithoutSaveLeavesFileUntouched) {
  Put(Ini, OldText);
  struct stat before, after;
  ASSERT_EQ(stat(Ini.c_str(), &before), 0);
  {
    TMemIniFile ini(Ini);
    ini.WriteInt("Launch", "WindowSize", 3);
  }
  ASSERT_EQ(stat(Ini.c_str(), &after), 0);
  EXPECT_EQ(Get(Ini), OldText);
  EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST_F(PosixFiles, SaveKeepsPermissionsOfTheOldFile) {
  Put(Ini, OldText);
  ASSERT_EQ(chmod(Ini.c_str(), 0640), 0);
  SaveSomething(Ini);
  struct stat st;
  ASSERT_EQ(stat(Ini.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(PosixFiles, FileWithoutWritePermissionIsReadOnly) {
  Put(Ini, OldText);
  ASSERT_EQ(chmod(Ini.c_str(), 0444), 0);
  TMemIniFile ini(Ini); // reading is allowed
  EXPECT_FALSE(ini.ReadFlag("Launch", "YesNo", true));
  ini.WriteInt("Launch", "WindowSize", 3);
  try {
    ini.SaveToDisk();
    FAIL() << "saved over a read-only file";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "ファイル " + Ini + " を作成できません");
  }
  EXPECT_EQ(Get(Ini), OldText);
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
}

TEST_F(PosixFiles, ImmutableFileIsReadOnly) {
  Put(Ini, OldText);
  if (!MakeImmutable(Ini))
    GTEST_SKIP() << "chattr +i is not available here";
  EXPECT_THROW(SaveSomething(Ini), EFCreateError);
  EXPECT_EQ(Get(Ini), OldText);
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
}

TEST_F(PosixFiles, ImmutableFolderRefusesSaveWithAndWithoutFile) {
  Put(Ini, OldText);
  if (!MakeImmutable(Dir))
    GTEST_SKIP() << "chattr +i is not available here";
  EXPECT_THROW(SaveSomething(Ini), EFCreateError);
  EXPECT_THROW(SaveSomething(Dir + "/other.ini"), EFCreateError);
  EXPECT_EQ(Get(Ini), OldText);
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
}

// A child process that holds a lock on the file until the test ends.
class TLockHolder {
public:
  TLockHolder(const std::string& name, int how) {
    int ready[2];
    if (pipe(ready) != 0 || pipe(Release) != 0)
      return;
    Child = fork();
    if (Child == 0) {
      close(ready[0]);
      close(Release[1]);
      const int fd = open(name.c_str(), how == LOCK_EX ? O_RDWR : O_RDONLY);
      const char ok = (fd >= 0 && flock(fd, how) == 0) ? 'y' : 'n';
      if (write(ready[1], &ok, 1) != 1)
        _exit(1);
      char c;
      while (read(Release[0], &c, 1) < 0 && errno == EINTR) {
      }
      _exit(0);
    }
    close(ready[1]);
    close(Release[0]);
    char ok = 'n';
    Holding = read(ready[0], &ok, 1) == 1 && ok == 'y';
    close(ready[0]);
  }
  ~TLockHolder() {
    close(Release[1]);
    if (Child > 0)
      waitpid(Child, nullptr, 0);
  }
  TLockHolder(const TLockHolder&) = delete;
  TLockHolder& operator=(const TLockHolder&) = delete;
  bool Holding = false;

private:
  pid_t Child = -1;
  int Release[2] = {-1, -1};
};

TEST_F(PosixFiles, FileWrittenByAnotherProcessCannotBeLoadedOrSaved) {
  Put(Ini, OldText);
  TMemIniFile early(Ini);
  early.WriteInt("Launch", "WindowSize", 3);
  TLockHolder writer(Ini, LOCK_EX);
  ASSERT_TRUE(writer.Holding);
  try {
    TMemIniFile ini(Ini);
    FAIL() << "loaded a file that another process writes";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "ファイル " + Ini + " は開けません");
  }
  EXPECT_THROW(early.SaveToDisk(), EFCreateError);
  EXPECT_EQ(Get(Ini), OldText);
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
}

TEST_F(PosixFiles, FileReadByAnotherProcessLoadsButCannotBeSaved) {
  Put(Ini, OldText);
  TLockHolder reader(Ini, LOCK_SH);
  ASSERT_TRUE(reader.Holding);
  TMemIniFile ini(Ini);
  EXPECT_FALSE(ini.ReadFlag("Launch", "YesNo", true));
  ini.WriteInt("Launch", "WindowSize", 3);
  EXPECT_THROW(ini.SaveToDisk(), EFCreateError);
  EXPECT_EQ(Get(Ini), OldText);
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
}

TEST_F(PosixFiles, ReplaceClosesTheClaimedDescriptor) {
  Put(Ini, OldText);
  TOsFiles& files = TOsSlot<TOsFiles>::Native();
  TOsFile claim = NoOsFile;
  ASSERT_EQ(files.Claim(Ini, claim), TClaim::Existing);
  Put(Dir + "/new", "new");
  ASSERT_TRUE(files.Replace(claim, Dir + "/new", Ini));
  EXPECT_EQ(fcntl(static_cast<int>(claim), F_GETFD), -1);
}

// Saves a large store in a child process whose files may grow to at most `limit` bytes,
// so that writing the new file fails midway. Returns what the child saw: 'W' for
// EWriteError, 'C' for EFCreateError, 'S' for success, 'X' for anything else.
char SaveWithFileSizeLimit(const std::string& name, rlim_t limit) {
  int out[2];
  if (pipe(out) != 0)
    return '?';
  const pid_t child = fork();
  if (child == 0) {
    close(out[0]);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit r{limit, limit};
    char seen = 'X';
    if (setrlimit(RLIMIT_FSIZE, &r) == 0) {
      try {
        TMemIniFile ini(name);
        for (int i = 0; i < 1000; ++i)
          ini.WriteText("Big", "Key" + std::to_string(i), std::string(100, 'v'));
        ini.SaveToDisk();
        seen = 'S';
      } catch (const EWriteError&) {
        seen = 'W';
      } catch (const EFCreateError&) {
        seen = 'C';
      } catch (...) {
      }
    }
    if (write(out[1], &seen, 1) != 1)
      _exit(1);
    _exit(0);
  }
  close(out[1]);
  char seen = '?';
  if (read(out[0], &seen, 1) != 1)
    seen = '?';
  close(out[0]);
  waitpid(child, nullptr, 0);
  return seen;
}

TEST_F(PosixFiles, FileSizeLimitMidwayKeepsOldFile) {
  Put(Ini, OldText);
  EXPECT_EQ(SaveWithFileSizeLimit(Ini, 4096), 'W');
  EXPECT_EQ(Get(Ini), OldText);
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
  EXPECT_EQ(SaveWithFileSizeLimit(Dir + "/new.ini", 4096), 'W');
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
}

TEST_F(PosixFiles, FullDiskKeepsOldFile) {
  const std::string mnt = Dir + "/small";
  ASSERT_EQ(mkdir(mnt.c_str(), 0755), 0);
  if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  Mounted = mnt;
  const std::string name = mnt + "/AutoQuillmer.ini";
  Put(name, OldText);
  TMemIniFile ini(name);
  for (int i = 0; i < 2000; ++i)
    ini.WriteText("Big", "Key" + std::to_string(i), std::string(100, 'v'));
  EXPECT_THROW(ini.SaveToDisk(), EWriteError);
  EXPECT_EQ(Get(name), OldText);
  EXPECT_EQ(Names(mnt), std::set<std::string>{"AutoQuillmer.ini"});
  // Room enough once the store is smaller again.
  ini.DropSection("Big");
  ini.SaveToDisk();
  EXPECT_EQ(Get(name), "[Launch]\r\nYesNo=0\r\n\r\n");
}

} // namespace
