// What only the POSIX file layer does, on real files in a temporary folder: locks held by
// another process, permission bits and owners (also as an ordinary user), immutable files
// and folders, symbolic and hard links, leftovers of killed saves. What every system does
// alike is in OsFilesContractTest.cpp; a full disk, a file-size limit and every other failure
// of a call, in the real-layer fault table (FaultInjectionTest.cpp).
#include "ini/IniDisk.h"
#include "ini/IniFile.h"
#include "platform/Exceptions.h"
#include "platform/os/FdPosix.h"
#include "platform/os/OsFiles.h"
#include "platform/os/RealFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <set>
#include <string>
#include <sys/file.h>
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

  void TearDown() override {
    for (const std::string& p : Immutable)
      Shell("chattr -i '" + p + "'");
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

TEST_F(PosixFiles, ImmutableFolderWritesTheFileInPlaceAndCreatesNone) {
  Put(Ini, OldText);
  if (!MakeImmutable(Dir))
    GTEST_SKIP() << "chattr +i is not available here";
  EXPECT_THROW(SaveSomething(Dir + "/other.ini"), EFCreateError);
  SaveSomething(Ini);
  EXPECT_EQ(Get(Ini), "[Launch]\r\nYesNo=0\r\nWindowSize=3\r\n\r\n");
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
  ASSERT_EQ(files.Replace(claim, Dir + "/new", Ini), TReplaced::Done);
  EXPECT_EQ(fcntl(static_cast<int>(claim), F_GETFD), -1);
}

// Runs `prepare`, then `save`, in a child process. Returns what the child saw: 'S' for
// success, 'W' for EWriteError, 'C' for EFCreateError, 'X' for anything else (also a
// `prepare` that failed).
char SaveInChild(const std::function<bool()>& prepare, const std::function<void()>& save) {
  int out[2];
  if (pipe(out) != 0)
    return '?';
  const pid_t child = fork();
  if (child == 0) {
    close(out[0]);
    char seen = 'X';
    if (prepare()) {
      try {
        save();
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

// --- situations of an ordinary user's files -------------------------------------------------

constexpr uid_t Nobody = 65534;
constexpr gid_t NoGroup = 65534;
const std::string NewText = "[Launch]\r\nYesNo=0\r\nWindowSize=3\r\n\r\n";

// Saves WindowSize=3 over `name` in a child process, as `nobody` or as root. Returns 'S'
// for success, 'C' for EFCreateError, 'W' for EWriteError, 'X' for anything else.
char SaveAs(const std::string& name, bool asNobody) {
  return SaveInChild(
      [asNobody] {
        return !asNobody ||
               (setgroups(0, nullptr) == 0 && setgid(NoGroup) == 0 && setuid(Nobody) == 0);
      },
      [&name] {
        TMemIniFile ini(name);
        ini.WriteInt("Launch", "WindowSize", 3);
        ini.SaveToDisk();
      });
}

// False where the machine lets no ordinary user reach `dir` (a root folder of mode 0700).
bool NobodyReaches(const std::string& dir) {
  const pid_t child = fork();
  if (child == 0)
    _exit(setgroups(0, nullptr) == 0 && setgid(NoGroup) == 0 && setuid(Nobody) == 0 &&
                  access(dir.c_str(), X_OK) == 0
              ? 0
              : 1);
  int status = 1;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

#define SKIP_WITHOUT_ORDINARY_USER()                                                               \
  if (!NobodyReaches(Dir))                                                                         \
  GTEST_SKIP() << "no ordinary user reaches " << Dir << " on this machine"

struct stat StatOf(const std::string& name) {
  struct stat st {};
  lstat(name.c_str(), &st);
  return st;
}

// A folder that refuses new files (mode 555) with a writable file of the user's: written in
// place; without the file, nothing can be saved and nothing is left.
TEST_F(PosixFiles, ReadOnlyFolderOfAnOrdinaryUser) {
  SKIP_WITHOUT_ORDINARY_USER();
  Put(Ini, OldText);
  ASSERT_EQ(chown(Ini.c_str(), Nobody, NoGroup), 0);
  ASSERT_EQ(chmod(Ini.c_str(), 0644), 0);
  ASSERT_EQ(chown(Dir.c_str(), Nobody, NoGroup), 0);
  ASSERT_EQ(chmod(Dir.c_str(), 0555), 0);
  const ino_t inode = StatOf(Ini).st_ino;
  EXPECT_EQ(SaveAs(Ini, true), 'S');
  EXPECT_EQ(Get(Ini), NewText);
  EXPECT_EQ(StatOf(Ini).st_ino, inode);
  EXPECT_EQ(SaveAs(Dir + "/first.ini", true), 'C');
  EXPECT_EQ(Names(Dir), std::set<std::string>{"AutoQuillmer.ini"});
  chmod(Dir.c_str(), 0755);
}

// A save by root keeps the owner and mode of the user's file, so that the user's next save
// works; a user who may write another's file but not give it away writes it in place.
TEST_F(PosixFiles, OwnerAndModeAreKept) {
  SKIP_WITHOUT_ORDINARY_USER();
  ASSERT_EQ(chmod(Dir.c_str(), 0777), 0);
  Put(Ini, OldText);
  ASSERT_EQ(chown(Ini.c_str(), Nobody, NoGroup), 0);
  ASSERT_EQ(chmod(Ini.c_str(), 0600), 0);
  EXPECT_EQ(SaveAs(Ini, false), 'S');
  struct stat st = StatOf(Ini);
  EXPECT_EQ(st.st_uid, Nobody);
  EXPECT_EQ(st.st_gid, NoGroup);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(SaveAs(Ini, true), 'S');

  const std::string shared = Dir + "/shared.ini";
  Put(shared, OldText);
  ASSERT_EQ(chown(shared.c_str(), 0, NoGroup), 0);
  ASSERT_EQ(chmod(shared.c_str(), 0664), 0);
  EXPECT_EQ(SaveAs(shared, true), 'S');
  EXPECT_EQ(Get(shared), NewText);
  st = StatOf(shared);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  EXPECT_EQ(Names(Dir), (std::set<std::string>{"AutoQuillmer.ini", "shared.ini"}));
}

// A symbolic link (through a chain of relative links) is saved through to its file and
// stays a link; a link to a missing file creates that file; hard links keep sharing.
TEST_F(PosixFiles, LinksAreSavedThrough) {
  ASSERT_EQ(mkdir((Dir + "/dots").c_str(), 0755), 0);
  Put(Dir + "/dots/real.ini", OldText);
  ASSERT_EQ(symlink("dots/real.ini", (Dir + "/middle").c_str()), 0);
  ASSERT_EQ(symlink("middle", Ini.c_str()), 0);
  EXPECT_EQ(SaveAs(Ini, false), 'S');
  EXPECT_TRUE(S_ISLNK(StatOf(Ini).st_mode));
  EXPECT_TRUE(S_ISLNK(StatOf(Dir + "/middle").st_mode));
  EXPECT_EQ(Get(Dir + "/dots/real.ini"), NewText);
  EXPECT_EQ(Names(Dir + "/dots"), std::set<std::string>{"real.ini"});

  const std::string dangling = Dir + "/dangling.ini";
  ASSERT_EQ(symlink((Dir + "/dots/new.ini").c_str(), dangling.c_str()), 0);
  EXPECT_EQ(SaveAs(dangling, false), 'S');
  EXPECT_TRUE(S_ISLNK(StatOf(dangling).st_mode));
  EXPECT_EQ(Get(Dir + "/dots/new.ini"), "[Launch]\r\nWindowSize=3\r\n\r\n");

  const std::string twin = Dir + "/twin.ini";
  ASSERT_EQ(link((Dir + "/dots/real.ini").c_str(), twin.c_str()), 0);
  Put(twin, OldText);
  EXPECT_EQ(SaveAs(twin, false), 'S');
  EXPECT_EQ(Get(Dir + "/dots/real.ini"), NewText);
  EXPECT_EQ(StatOf(twin).st_nlink, 2u);
}

// In a sticky folder open to all, as /tmp, another user's link is followed by nobody: the
// save writes nothing through it. The folder's owner's links, and one's own, are followed.
TEST_F(PosixFiles, AnotherUsersLinkInASharedFolderIsNotFollowed) {
  Put(Dir + "/home.ini", OldText);
  ASSERT_EQ(symlink("home.ini", Ini.c_str()), 0);
  ASSERT_EQ(chmod(Dir.c_str(), 01777), 0);
  ASSERT_EQ(lchown(Ini.c_str(), Nobody, NoGroup), 0);
  EXPECT_EQ(SaveAs(Ini, false), 'C');
  EXPECT_EQ(Get(Dir + "/home.ini"), OldText);
  ASSERT_EQ(chmod(Dir.c_str(), 0777), 0); // not sticky
  EXPECT_EQ(SaveAs(Ini, false), 'S');
  EXPECT_EQ(Get(Dir + "/home.ini"), NewText);
}

// Leftovers of killed saves go at the next save, however many; one that a running save
// holds (locked) stays. Nothing that a save did not make blocks it or is followed or
// removed: links, FIFOs, other users' files and names of other shapes at the leftovers'
// names stay as they are.
TEST_F(PosixFiles, LeftoversAreClearedOthersLeftAlone) {
  Put(Ini, OldText);
  const auto temp = [this](const std::string& token) { return TempNameOf(Ini, token); };
  for (int i = 1; i <= 100; ++i)
    Put(temp(std::to_string(i)), "stale");
  Put(temp("4321"), "stale");
  Put(temp("aB3dE6gH"), "stale");
  Put(temp("x"), "not ours");
  Put(Dir + "/victim", "keep");
  ASSERT_EQ(unlink(temp("3").c_str()), 0);
  ASSERT_EQ(symlink("victim", temp("3").c_str()), 0);
  ASSERT_EQ(unlink(temp("5").c_str()), 0);
  ASSERT_EQ(mkfifo(temp("5").c_str(), 0644), 0);
  ASSERT_EQ(chown(temp("6").c_str(), Nobody, NoGroup), 0);
  {
    TLockHolder running(temp("2"), LOCK_EX);
    ASSERT_TRUE(running.Holding);
    EXPECT_EQ(SaveAs(Ini, false), 'S');
  }
  EXPECT_EQ(Get(Ini), NewText);
  EXPECT_EQ(Get(Dir + "/victim"), "keep");
  EXPECT_EQ(Names(Dir),
            (std::set<std::string>{"AutoQuillmer.ini", LastPart(temp("2")), LastPart(temp("3")),
                                   LastPart(temp("5")), LastPart(temp("6")), LastPart(temp("x")),
                                   "victim"}));
}

} // namespace
