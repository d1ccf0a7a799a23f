// Every call of the file layer, the copy, the start-at-sign-in entry and the run lock made to
// fail in turn, with each kind of failure the systems give, over whole runs of the launcher
// on the stand-in; and on the real layer in a real folder, every system call made to fail in
// turn with each error it gives, and the process ended right after it. After each, nothing is
// lost or half made, leftovers do not outlive the next run, and the box shown is the one for
// that failure.
#include "LauncherFixture.h"
#include "platform/os/RealFolder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <tuple>
#include <type_traits>
#ifdef _WIN32
#include "platform/os/SysWin.h"

#include <windows.h>
#else
#include "platform/os/SysPosix.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using R = TAutostartResult;
const std::string Ini = "AutoQuillmer.ini";
const std::string Kept = Ini + ".~AbCd1234.tmp"; // the settings a half-done save kept
const std::string Book = "Dozeboard_2004-06.xls";
const std::string OldIni = "[Execute]\r\nLast_XLS=2004/06/30 7:00:00\r\n\r\n[Date]\r\nTimeToNext="
                           "5:00:00\r\n\r\n[Launch]\r\nType1=1\r\nWindowSize=3\r\nYesNo=0\r\n\r\n";
const std::string LegacyIni = OldIni + "[Window]\r\nSize=3\r\n\r\n";
const std::string CutIni = OldIni.substr(0, OldIni.size() - 2); // a save cut short: not taken back

// The ways a run goes, laid out alike on the stand-in and in a real folder: the arguments,
// the clock (2004), the settings file, the settings kept by a half-done save, and more.
struct TPath {
  const char* Name;
  const char* Args;
  std::uint16_t Month, Day, Hour;
  const std::string* Settings;
  const std::string* Kept;
  const char* Layout; // "book folder", "pipes" (FIFOs and a link at kept names), "entry"
  bool FirstRun() const { return !Settings && (!Kept || !Kept->ends_with("\r\n\r\n")); }
};
const TPath Paths[] = {
    {"a new day with the copy", "", 7, 1, 7, &OldIni, nullptr, ""},
    {"a first run", "", 7, 1, 7, nullptr, nullptr, ""},
    {"the settings kept by a half-done save", "", 7, 1, 7, nullptr, &OldIni, ""},
    {"a kept copy cut short", "", 7, 1, 7, nullptr, &CutIni, ""},
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
    {"the locks: another's question, none to be had", 2, "", nullptr,
     [](TFakePlatform& p, int n) {
       p.RunLock.Question = n ? TRunLock::Unavailable : TRunLock::Busy;
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
    LauncherTest::TearDown();
    std::destroy_at(&Os);
    std::construct_at(&Os);
    LauncherTest::SetUp();
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

// ---------------------------------------------------------------------------------------
// The real layer: the system calls through its table.

constexpr int ShortWrite = -1; // no error: a write of half its bytes, then the disk is full

// The calls of this process (not of its children) are counted; call At fails with Err, or
// with Err 0 the process ends right after it; with Onward every later call of the same name
// fails too. Where the process cannot be forked (Windows), its end is Dead: from then on no
// call reaches the disk, as none would from an ended process, and its handles are closed as
// the system closes an ended process's.
struct TInjection {
  long Pid = 0;
  int At = -1, Err = 0;
  bool Onward = false;
  int Count = 0;
  std::vector<std::string> Names; // the calls made, in order
  bool Dead = false;
} Inj;

// Whether call `name` of this process goes through as made; where it does not, the error
// the caller is to be given in Inj.Err (and a short write where it is ShortWrite).
long Me();
bool Passes(const char* name) {
  const long me = Me();
  // The waits for the opener are as many as its time takes: they are not counted.
  const std::string_view n(name);
  if (me != Inj.Pid || n == "waitpid" || n == "nanosleep")
    return true;
  if (Inj.Dead)
    return false;
  const int at = Inj.Count++;
  Inj.Names.push_back(name);
  return at < Inj.At || (at > Inj.At && !(Inj.Onward && Inj.Names[Inj.At] == name));
}

#ifdef _WIN32
TSysWin Real = SysWin();
const TSysWin Native = SysWin();

// What a call that fails returns, by what it returns when it works.
template <class T> T Failure(const char* name, DWORD err) {
  const std::string_view n(name);
  if constexpr (std::is_same_v<T, HANDLE>) // a kernel object or a view, else a file or a search
    return n.ends_with("MutexW") || n.ends_with("MappingW") || n == "MapViewOfFile"
               ? nullptr
               : INVALID_HANDLE_VALUE;
  else if constexpr (std::is_same_v<T, HINSTANCE>) // ShellExecuteA: the error itself
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(err));
  else if constexpr (std::is_same_v<T, HRESULT>)
    return HRESULT_FROM_WIN32(err);
  else if constexpr (std::is_same_v<T, DWORD>) // a position, attributes or a wait, else a length
    return n == "SetFilePointer" || n.starts_with("GetFileAttributes") || n == "WaitForSingleObject"
               ? 0xFFFFFFFF
               : 0;
  else // SHFileOperationA gives the error itself; BOOL, FALSE
    return n == "SHFileOperationA" ? static_cast<T>(err) : T(0);
}

template <class TFn> struct TThrough;
template <class T, class... A> struct TThrough<T(WINAPI*)(A...)> {
  template <T (WINAPI* TSysWin::*Entry)(A...), const char* Name> static T WINAPI Call(A... a) {
    const auto real = Real.*Entry;
    if (Passes(Name))
      return real(a...);
    if (Inj.Dead)
      return SetLastError(ERROR_NOT_READY), Failure<T>(Name, ERROR_NOT_READY);
    if (Inj.Err == 0) {
      const T result = real(a...);
      Inj.Dead = true;
      return result;
    }
    if constexpr (std::is_same_v<decltype(Entry), decltype(&TSysWin::WriteFile)>)
      if (Inj.Err == ShortWrite) {
        Inj.Err = ERROR_DISK_FULL, Inj.Onward = true;
        const auto [file, data, size, put, overlapped] = std::tuple(a...);
        real(file, data, size / 2, put, overlapped);
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
      }
    if constexpr (std::is_same_v<decltype(Entry), decltype(&TSysWin::ReplaceFileA)>)
      if (Inj.Err == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
          Inj.Err == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) // the old file gone from its name
        Real.DeleteFileA(std::get<0>(std::tuple(a...)));
    SetLastError(static_cast<DWORD>(Inj.Err));
    return Failure<T>(Name, static_cast<DWORD>(Inj.Err));
  }
};

// The opener: the file it is given noted in AQ_OPEN_LOG, as if opened.
HINSTANCE WINAPI Opened(HWND, LPCSTR, LPCSTR file, LPCSTR, LPCSTR, INT) {
  std::ofstream(std::getenv("AQ_OPEN_LOG"), std::ios::app) << file << '\n';
  return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

// The user's Startup folder: one beside the test's folder.
std::wstring StartupFolder;
HRESULT WINAPI KnownFolder(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR* path) {
  const std::size_t bytes = (StartupFolder.size() + 1) * sizeof(wchar_t);
  *path = static_cast<PWSTR>(CoTaskMemAlloc(bytes));
  std::memcpy(*path, StartupFolder.c_str(), bytes);
  return S_OK;
}

// No wait after the process's end.
void WINAPI Slept(DWORD ms) {
  if (!Inj.Dead)
    Real.Sleep(ms);
}

void WrapCalls(TSysWin& t) {
  t.Sleep = &Slept;
#define AQ_THROUGH(call)                                                                           \
  static constexpr char call##Name[] = #call;                                                      \
  t.call = &TThrough<decltype(t.call)>::Call<&TSysWin::call, call##Name>
  AQ_THROUGH(CreateFileA);
  AQ_THROUGH(ReadFile);
  AQ_THROUGH(WriteFile);
  AQ_THROUGH(SetFilePointer);
  AQ_THROUGH(SetEndOfFile);
  AQ_THROUGH(FlushFileBuffers);
  AQ_THROUGH(GetFileInformationByHandle);
  AQ_THROUGH(GetFileInformationByHandleEx);
  AQ_THROUGH(SetFileInformationByHandle);
  AQ_THROUGH(GetFinalPathNameByHandleW);
  AQ_THROUGH(GetFullPathNameW);
  AQ_THROUGH(GetShortPathNameW);
  AQ_THROUGH(GetFileAttributesA);
  AQ_THROUGH(GetFileAttributesExA);
  AQ_THROUGH(ReplaceFileA);
  AQ_THROUGH(MoveFileExA);
  AQ_THROUGH(DeleteFileA);
  AQ_THROUGH(FindFirstFileA);
  AQ_THROUGH(FindNextFileA);
  AQ_THROUGH(SHFileOperationA);
  AQ_THROUGH(ShellExecuteA);
  AQ_THROUGH(CreateFileW);
  AQ_THROUGH(CreateMutexW);
  AQ_THROUGH(WaitForSingleObject);
  AQ_THROUGH(CreateFileMappingW);
  AQ_THROUGH(OpenFileMappingW);
  AQ_THROUGH(MapViewOfFile);
  AQ_THROUGH(GetLongPathNameW);
  AQ_THROUGH(GetFileAttributesW);
  AQ_THROUGH(FindFirstFileW);
  AQ_THROUGH(FindNextFileW);
  AQ_THROUGH(DeleteFileW);
  AQ_THROUGH(MoveFileExW);
  AQ_THROUGH(SHGetKnownFolderPath);
  AQ_THROUGH(CoCreateInstance);
#undef AQ_THROUGH
}

// Errors that any call may give: denied, shared, I/O; the disk full, locked, and a share gone
// where calls write or read. Then those of each call, and those of a call or a file system
// that lacks it, with which the run goes as without them.
const std::vector<int> AnyError{ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_IO_DEVICE};
const std::map<std::string, std::pair<std::vector<int>, std::vector<int>>> Errors{
    {"CreateFileA", {{ERROR_DISK_FULL, ERROR_NETNAME_DELETED}, {}}},
    {"ReadFile", {{ERROR_LOCK_VIOLATION, ERROR_NETNAME_DELETED}, {}}},
    {"WriteFile", {{ERROR_DISK_FULL, ERROR_LOCK_VIOLATION, ShortWrite}, {}}},
    {"FlushFileBuffers", {{ERROR_DISK_FULL}, {}}},
    {"SetEndOfFile", {{ERROR_DISK_FULL}, {}}},
    {"ReplaceFileA",
     {{ERROR_UNABLE_TO_REMOVE_REPLACED, ERROR_UNABLE_TO_MOVE_REPLACEMENT,
       ERROR_UNABLE_TO_MOVE_REPLACEMENT_2},
      {ERROR_NOT_SUPPORTED, ERROR_INVALID_FUNCTION}}},
    {"MoveFileExA", {{ERROR_NOT_SAME_DEVICE, ERROR_DISK_FULL}, {}}},
    {"GetFinalPathNameByHandleW", {{}, {ERROR_NOT_SUPPORTED, ERROR_INVALID_FUNCTION}}},
    {"FindFirstFileA", {{ERROR_BAD_NETPATH}, {}}},
    {"GetFileAttributesExA", {{ERROR_BAD_NETPATH}, {}}},
    {"SHFileOperationA", {{ERROR_FILE_NOT_FOUND, ERROR_DISK_FULL}, {}}},
    {"ShellExecuteA", {{SE_ERR_FNF, SE_ERR_OOM, SE_ERR_NOASSOC}, {}}},
};
#else
const TSysPosix Real = SysPosix();

template <class T, class... A>
T Through(const char* name, T (*real)(A...), std::type_identity_t<A>... a) {
  if (Passes(name))
    return real(a...);
  if (Inj.Err == 0) {
    real(a...);
    _exit(0);
  }
  if constexpr (std::is_same_v<T (*)(A...), decltype(Real.write)>)
    if (Inj.Err == ShortWrite) {
      Inj.Err = ENOSPC, Inj.Onward = true;
      const auto [fd, data, size] = std::tuple(a...);
      return real(fd, data, size / 2);
    }
  // A close that fails has still given the descriptor back, as Linux does.
  if constexpr (std::is_same_v<T (*)(A...), decltype(Real.close)>)
    real(a...);
  errno = Inj.Err;
  if constexpr (std::is_pointer_v<T>)
    return nullptr;
  else
    return T(-1);
}

void WrapCalls(TSysPosix& t) {
#define AQ_THROUGH(call) t.call = [](auto... a) { return Through(#call, Real.call, a...); }
  AQ_THROUGH(open), AQ_THROUGH(close), AQ_THROUGH(read), AQ_THROUGH(write), AQ_THROUGH(lseek);
  AQ_THROUGH(fstat), AQ_THROUGH(fstatat), AQ_THROUGH(stat), AQ_THROUGH(lstat);
  AQ_THROUGH(access), AQ_THROUGH(readlink), AQ_THROUGH(flock), AQ_THROUGH(fsync);
  AQ_THROUGH(ftruncate), AQ_THROUGH(fchown), AQ_THROUGH(fchmod), AQ_THROUGH(rename);
  AQ_THROUGH(renameat2), AQ_THROUGH(link), AQ_THROUGH(unlink), AQ_THROUGH(mkdir);
  AQ_THROUGH(opendir), AQ_THROUGH(readdir), AQ_THROUGH(closedir), AQ_THROUGH(fcntl);
  AQ_THROUGH(dup2), AQ_THROUGH(memfd_create), AQ_THROUGH(fork), AQ_THROUGH(execvp);
  AQ_THROUGH(waitpid), AQ_THROUGH(nanosleep);
#undef AQ_THROUGH
}

// The errors each call gives besides EACCES, EIO and EINTR, which any may; then those of a
// call or a file system that lacks it, with which the run goes as without them.
const std::vector<int> AnyError{EACCES, EIO, EINTR};
const std::map<std::string, std::pair<std::vector<int>, std::vector<int>>> Errors{
    {"open", {{EPERM, ENOSPC, EDQUOT, EAGAIN}, {}}},
    {"write", {{ENOSPC, EDQUOT, EFBIG, EAGAIN, ShortWrite}, {}}},
    {"fsync", {{ENOSPC, EDQUOT}, {}}},
    {"flock", {{EAGAIN}, {ENOLCK, EOPNOTSUPP}}},
    {"rename", {{EPERM, EXDEV, ENOSPC}, {}}},
    {"renameat2", {{EXDEV, ENOSPC}, {EINVAL, ENOSYS, EPERM}}},
    {"link", {{EXDEV, ENOSPC}, {EPERM, EOPNOTSUPP}}},
    {"mkdir", {{EPERM, ENOSPC, EDQUOT}, {}}},
    {"fork", {{EAGAIN}, {}}},
    {"memfd_create", {{}, {ENOSYS}}},
    {"unlink", {{EPERM}, {}}},
    {"ftruncate", {{EPERM}, {}}},
    {"fchown", {{EPERM}, {}}},
    {"fchmod", {{EPERM}, {}}},
};
#endif

long Me() {
#ifdef _WIN32
  return static_cast<long>(GetCurrentProcessId());
#else
  return static_cast<long>(getpid());
#endif
}

#ifdef _WIN32
// FIFOs and symbolic links are not what a user's folder holds there.
bool OnThisSystem(const TPath& path) {
  return std::string(path.Layout) != "pipes";
}
const char* const ModuleName = "AutoQuillmer.exe";
#else
bool OnThisSystem(const TPath&) {
  return true;
}
const char* const ModuleName = "AutoQuillmer";
#endif

namespace fs = std::filesystem;
using TTree = std::map<std::string, std::string>; // a folder's names: contents or kinds

class RealFaults : public FaultInjection {
protected:
  fs::path Root, Log, Was = fs::current_path();
  std::map<std::string, std::string> Env;
  void SetUp() override {
    FaultInjection::SetUp();
    const fs::path side = fs::temp_directory_path() / ("aq-real-" + std::to_string(Me()));
    Root = side / "chart", Log = side / "opened";
    fs::create_directories(side / "bin");
#ifdef _WIN32
    Env["AQ_OPEN_LOG"] = std::getenv("AQ_OPEN_LOG") ? std::getenv("AQ_OPEN_LOG") : "";
    _putenv_s("AQ_OPEN_LOG", Log.string().c_str());
    Real = Native, Real.ShellExecuteA = &Opened, Real.SHGetKnownFolderPath = &KnownFolder;
    StartupFolder = (Root / "home" / "Startup").wstring();
    WrapCalls(SysWin());
  }
  void TearDown() override {
    SysWin() = Native;
    _putenv_s("AQ_OPEN_LOG", Env["AQ_OPEN_LOG"].c_str());
#else
    std::ofstream(side / "bin" / "xdg-open")
        << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$AQ_OPEN_LOG\"\n";
    fs::permissions(side / "bin" / "xdg-open", fs::perms::owner_all);
    for (const char* name : {"PATH", "HOME", "AQ_OPEN_LOG", "XDG_CONFIG_HOME"})
      Env[name] = std::getenv(name) ? std::getenv(name) : "";
    setenv("PATH", (side / "bin").c_str(), 1);
    setenv("HOME", (Root / "home").c_str(), 1);
    setenv("AQ_OPEN_LOG", Log.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    WrapCalls(SysPosix());
  }
  void TearDown() override {
    SysPosix() = Real;
    for (const auto& [name, value] : Env)
      value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
#endif
    fs::current_path(Was);
    std::error_code ec;
    fs::remove_all(Root.parent_path(), ec);
    FaultInjection::TearDown();
  }
  TTree Tree() const {
    TTree tree;
    for (auto i = fs::recursive_directory_iterator(Root); i != fs::end(i); ++i) {
      const auto kind = i->symlink_status().type();
      tree[fs::relative(i->path(), Root).generic_string()] =
          kind == fs::file_type::regular     ? TextOf(i->path())
          : kind == fs::file_type::directory ? "<folder>"
          : kind == fs::file_type::symlink   ? "<link " + fs::read_symlink(i->path()).string()
                                             : "<other>";
    }
    return tree;
  }
  // One start of the program in the folder, with call `at` failing with `err`.
  double Start(int at = -1, int err = 0, bool onward = false) {
    Reset();
    TOsSlot<TOsFiles>::Use(nullptr), TOsSlot<TOsShell>::Use(nullptr);
    TOsSlot<TOsAutostart>::Use(nullptr), TOsSlot<TOsRunLock>::Use(nullptr);
    Os.Process.RealSearch = true;
    Os.Process.ModulePath = (Root / ModuleName).string();
    Inj = TInjection{Me(), at, err, onward, 0, {}, false};
    fs::current_path(Root);
    const auto begun = std::chrono::steady_clock::now();
#ifndef _WIN32
    if (err == 0 && at >= 0) { // the process ended right after call `at`
      const pid_t child = fork();
      if (child == 0) {
        RunProcess();
        _exit(0);
      }
      waitpid(child, nullptr, 0);
    } else
#endif
      RunProcess();
    Inj.Pid = 0, Inj.Dead = false;
    fs::current_path(Was);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
  }
  void LayOut() {
    std::error_code ec;
    fs::remove_all(Root, ec);
    fs::remove(Log, ec);
    fs::create_directories(Root / "home" / "Startup");
    PutText(Root / "Dozeboardt1.xls", "the template");
    PutText(Root / (Ini + ".backup"), "x"); // the user's own, which no sweep may take
    if (Path->Settings)
      PutText(Root / Ini, *Path->Settings);
    if (Path->Kept)
      PutText(Root / Kept, *Path->Kept);
    const std::string more = Path->Layout;
    if (more == "book folder")
      fs::create_directory(Root / Book);
#ifndef _WIN32
    if (more == "pipes") {
      for (int i = 1; i <= 5; ++i)
        mkfifo((Root / (Ini + ".~" + std::to_string(i) + ".tmp")).c_str(), 0600);
      PutText(Root / "victim", OldIni);
      fs::create_symlink("victim", Root / (Ini + ".~6.tmp"));
    }
#endif
    if (more == "entry") {
      const TPath* path = Path;
      const TPath startup{"", "/startup", 6, 30, 8, nullptr, nullptr, ""};
      Path = &startup;
      Start();
      Path = path;
    }
  }
  // What must hold after any start: the settings old or whole, the workbook a whole copy or
  // absent, nothing else changed, only a whole workbook opened.
  void CheckKept(const TTree& before, const TTree& after) {
    const std::string old = Path->Settings ? *Path->Settings : "";
    bool kept = false;
    for (const auto& [name, text] : after) {
      kept |= IsTempNameOf(name, Ini) && Whole(text, *Path);
      const bool ours = name == Ini || name == Book || IsTempNameOf(name, Ini) ||
                        IsTempNameOf(name, Book) || name.starts_with("home/");
      EXPECT_TRUE(ours || (before.count(name) && before.at(name) == text)) << name;
    }
    for (const auto& [name, text] : before)
      EXPECT_TRUE(name == Ini || name == Kept || name.starts_with("home/") ||
                  (after.count(name) && after.at(name) == text))
          << name;
    if (after.count(Ini))
      EXPECT_TRUE(after.at(Ini) == old || Whole(after.at(Ini), *Path)) << after.at(Ini);
    else
      EXPECT_TRUE(Path->FirstRun() || kept) << "the settings are lost";
    EXPECT_TRUE(before.count(Book) || !after.count(Book) || after.at(Book) == "the template");
    std::ifstream opened(Log);
    for (std::string name; std::getline(opened, name);)
      EXPECT_EQ(fs::is_regular_file(fs::symlink_status(name)) ? TextOf(name) : "", "the template");
  }
  // A clean start afterwards leaves no leftovers and whole settings.
  void CheckClean() {
    Start();
    for (const auto& [name, text] : Tree())
      EXPECT_FALSE(name.find(".~") != std::string::npos && !text.starts_with("<") &&
                   !IsTempNameOf(name, Ini + ".backup"))
          << "left over: " << name;
    const TTree tree = Tree();
    EXPECT_TRUE(tree.count(Ini) && Whole(tree.at(Ini), *Path));
  }
};

// Some thousand starts: run by its own step of the test command (AQ_REAL_FAULTS=1;
// AQ_REAL_FAULTS_PATH=TEXT for the paths whose name holds TEXT).
TEST_F(RealFaults, EveryCallFailsInTurnWithEachErrorAndTheProcessEndsAfterEach) {
  if (!std::getenv("AQ_REAL_FAULTS"))
    GTEST_SKIP() << "AQ_REAL_FAULTS=1 runs it";
  const auto allowed = [](const std::string& text) {
    return text == txtPrepareFailed.Source() || text.starts_with(txtOpenFailed.Source()) ||
           text.starts_with(StartupWords().AddFailed.Source()) ||
           text.starts_with(StartupWords().RemoveFailed.Source()) ||
           text.starts_with(StartupWords().NotOurs.Source()); // its program not known: kept
  };
  const char* only = std::getenv("AQ_REAL_FAULTS_PATH"); // the paths whose name holds it
  for (const TPath& path : Paths) {
    if ((only && std::string(path.Name).find(only) == std::string::npos) || !OnThisSystem(path))
      continue;
    Path = &path;
    LayOut();
    const TTree before = Tree();
    const double took = Start();
    const std::vector<std::string> asked = BoxTexts();
    const std::vector<std::string> names = Inj.Names;
    CheckKept(before, Tree());
    EXPECT_LT(took, 1.5) << path.Name;
    CheckClean();
    int runs = 0;
    for (int n = 0; n < static_cast<int>(names.size()) && !HasFailure(); ++n) {
      const auto& [errors, lacking] =
          Errors.count(names[n]) ? Errors.at(names[n]) : decltype(Errors)::mapped_type{};
      std::vector<int> all{0};
      all.insert(all.end(), AnyError.begin(), AnyError.end());
      all.insert(all.end(), errors.begin(), errors.end());
      all.insert(all.end(), lacking.begin(), lacking.end());
      for (const int err : all) {
        SCOPED_TRACE(std::string(path.Name) + ": call " + std::to_string(n) + " " + names[n] +
                     (err ? std::string(" fails, ") + std::to_string(err) : " ends the process"));
        const bool lacks = std::ranges::find(lacking, err) != lacking.end();
        LayOut();
        const TTree before = Tree();
        const double took = Start(n, err, lacks);
        ++runs;
        CheckKept(before, Tree());
        if (err != 0) {
          EXPECT_LT(took, 1.5);
          bool writeFailed, reported;
          const auto shown = Shown(asked, "", path.FirstRun(), writeFailed, reported);
          EXPECT_LE(shown.size(), 1u);
          EXPECT_TRUE(shown.empty() || allowed(shown[0])) << shown[0];
          if (lacks) {
            EXPECT_EQ(BoxTexts(), asked);
          }
        }
        CheckClean();
      }
    }
    std::printf("%s: %zu calls, %d runs\n", path.Name, names.size(), runs);
  }
}

} // namespace
