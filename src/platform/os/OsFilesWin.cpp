// File access on Windows, through the ANSI entry points.
#include "platform/os/HandleWin.h"
#include "platform/os/OsFiles.h"
#include "platform/os/SysWin.h"
#include "platform/os/WideWin.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace {

HANDLE Handle(TOsFile f) {
  return reinterpret_cast<HANDLE>(f);
}
TOsFile FileOf(HANDLE h) {
  return reinterpret_cast<TOsFile>(h);
}

// A single call reads or writes at most this many bytes.
constexpr std::size_t MaxChunk = 0x40000000;

DWORD Chunk(std::size_t n) {
  return static_cast<DWORD>(n < MaxChunk ? n : MaxChunk);
}

// The attributes that stay with the settings file when a new file takes its place.
constexpr DWORD KeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A path in the system's code page; false where the code page cannot spell it.
bool AnsiPath(const std::wstring& wide, std::string& ansi) {
  bool lossy = true;
  ansi = NarrowFrom(CP_ACP, wide.data(), wide.size(), &lossy);
  return !ansi.empty() && !lossy;
}

// The full path of a name as given, without following anything.
std::wstring FullPath(const std::string& name) {
  const std::wstring wide = WideFrom(CP_ACP, name);
  const DWORD size =
      wide.empty() ? 0 : SysWin().GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0)
    return {};
  std::wstring full(size, L'\0');
  const DWORD got = SysWin().GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  full.resize(got < size ? got : 0);
  return full;
}

// SplitMix64's step: every bit of the input moves every bit of the output.
std::uint64_t Mixed(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

class TWinFiles : public TOsFiles {
public:
  // The system's random source lives in a library of its own (advapi32, with what it loads),
  // which would cost a start that shows nothing a good part of its time. The token is mixed
  // instead from what only this moment of this process has: the performance counter's
  // ticks, the clock, the ids of the process and the thread, and where the system placed
  // the stack and the program's data, carried on from token to token.
  std::string NewToken() override {
    static std::uint64_t state = 0;
    LARGE_INTEGER ticks{};
    QueryPerformanceCounter(&ticks);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const int onStack = 0;
    const std::uint64_t parts[] = {
        static_cast<std::uint64_t>(ticks.QuadPart),
        (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime,
        (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) | GetCurrentThreadId(),
        GetTickCount64(),
        reinterpret_cast<std::uintptr_t>(&onStack),
        reinterpret_cast<std::uintptr_t>(&state),
    };
    for (const std::uint64_t part : parts)
      state = Mixed(state ^ part);
    std::string token(SaveTokenChars, '0');
    for (char& c : token) {
      state = Mixed(state);
      c = TokenLetters[state % (sizeof TokenLetters - 1)];
    }
    return token;
  }

  TOsFile OpenRead(const std::string& name) override {
    const HANDLE h = SysWin().CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? NoOsFile : FileOf(h);
  }

  std::int64_t SizeOf(TOsFile f) override {
    LONG high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = SysWin().SetFilePointer(Handle(f), 0, &high, FILE_END);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
      return -1;
    const std::int64_t size = (static_cast<std::int64_t>(static_cast<DWORD>(high)) << 32) |
                              static_cast<std::int64_t>(low);
    if (SysWin().SetFilePointer(Handle(f), 0, nullptr, FILE_BEGIN) != 0)
      return -1;
    return size;
  }

  std::int64_t Read(TOsFile f, char* buffer, std::size_t n) override {
    DWORD got = 0;
    if (!SysWin().ReadFile(Handle(f), buffer, Chunk(n), &got, nullptr))
      return -1;
    return got;
  }

  std::string SaveTarget(const std::string& name) override {
    TFileHandle h(SysWin().CreateFileA(
        name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h)
      return name;
    std::wstring resolved = FinalPathOf(h.Get());
    h.Close();
    const std::wstring given = FullPath(name);
    if (resolved.empty() ||
        CompareStringOrdinal(resolved.c_str(), static_cast<int>(resolved.size()), given.c_str(),
                             static_cast<int>(given.size()), TRUE) == CSTR_EQUAL)
      return name;
    // A link: the file it leads to, by its short name where the code page cannot spell the
    // long one. Where neither can be spelt, no file can be claimed under the empty name.
    std::string target;
    if (AnsiPath(resolved, target))
      return target;
    const DWORD n = SysWin().GetShortPathNameW(resolved.c_str(), nullptr, 0);
    std::wstring shortForm(n, L'\0');
    if (n > 0 && SysWin().GetShortPathNameW(resolved.c_str(), shortForm.data(), n) == n - 1) {
      shortForm.resize(n - 1);
      if (AnsiPath(shortForm, target))
        return target;
    }
    return {};
  }

  TClaim Claim(const std::string& name, TOsFile& f) override {
    TFileHandle h(SysWin().CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h)
      return GetLastError() == ERROR_FILE_NOT_FOUND ? TClaim::Missing : TClaim::Failed;
    // A read-only file is refused even where the open itself let it through (a
    // privileged user on a system that maps the attribute to permission bits).
    FILE_BASIC_INFO basic;
    if (!SysWin().GetFileInformationByHandleEx(h.Get(), FileBasicInfo, &basic, sizeof basic) ||
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
      return TClaim::Failed;
    f = FileOf(h.Release());
    return TClaim::Existing;
  }

  TCreateNew CreateNew(const std::string& name, TOsFile& f) override {
    const HANDLE h = SysWin().CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD e = GetLastError();
      if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS)
        return TCreateNew::Exists;
      return e == ERROR_ACCESS_DENIED ? TCreateNew::Denied : TCreateNew::Failed;
    }
    f = FileOf(h);
    return TCreateNew::Created;
  }

  bool CarryOver(TOsFile claim, TOsFile made) override {
    // What the handle's own records tell: the system's summary of a file (its
    // GetFileInformationByHandle) asks the volume for its serial number too, which costs a
    // start that shows nothing a good part of its time.
    FILE_STANDARD_INFO standard;
    FILE_BASIC_INFO old;
    if (!SysWin().GetFileInformationByHandleEx(Handle(claim), FileStandardInfo, &standard,
                                               sizeof standard) ||
        standard.NumberOfLinks > 1 ||
        !SysWin().GetFileInformationByHandleEx(Handle(claim), FileBasicInfo, &old, sizeof old))
      return false;
    // Hidden and system stay; ReplaceFileA keeps them too, but not on every system.
    const DWORD kept = old.FileAttributes & KeptAttributes;
    if (kept == 0)
      return true;
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = kept | FILE_ATTRIBUTE_ARCHIVE;
    return SysWin().SetFileInformationByHandle(Handle(made), FileBasicInfo, &basic, sizeof basic) !=
           0;
  }

  bool SetEnd(TOsFile f) override { return SysWin().SetEndOfFile(Handle(f)) != 0; }

  std::int64_t Write(TOsFile f, const char* data, std::size_t n) override {
    DWORD put = 0;
    const BOOL ok = SysWin().WriteFile(Handle(f), data, Chunk(n), &put, nullptr);
    if (!ok && put == 0)
      return -1;
    return put;
  }

  bool Flush(TOsFile f) override { return SysWin().FlushFileBuffers(Handle(f)) != 0; }

  bool Close(TOsFile f) override { return TFileHandle(Handle(f)).Close(); }

  TReplaced Replace(TOsFile claim, const std::string& from, const std::string& to) override {
    // A file that is open cannot be replaced here: the claim ends just before the replace.
    if (claim != NoOsFile) {
      TFileHandle(Handle(claim)).Close();
      // The new file takes over the old one's security descriptor, attributes and
      // creation time.
      if (SysWin().ReplaceFileA(to.c_str(), from.c_str(), nullptr, 0, nullptr, nullptr))
        return TReplaced::Done;
      // Where the file system cannot do that (some network shares), or did only half (the old
      // file is gone, the new one not yet in its place), the new file is moved into place:
      // with the attributes CarryOver gave it, but with the security of its folder.
    }
    if (SysWin().MoveFileExA(from.c_str(), to.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return TReplaced::Done;
    // Without a backup name the half-done replace leaves the old file nowhere to be found; a
    // name that cannot be looked at (still pending deletion, held by another handle that
    // shares deletion, gives access denied) may be gone too: unless the old file is seen
    // there, the new file, perhaps the only copy, is kept.
    const bool gone =
        claim != NoOsFile && SysWin().GetFileAttributesA(to.c_str()) == INVALID_FILE_ATTRIBUTES;
    return gone ? TReplaced::Half : TReplaced::Failed;
  }

  bool Remove(const std::string& name) override { return SysWin().DeleteFileA(name.c_str()) != 0; }

  void RemoveLeftovers(const std::string& target) override {
    std::vector<std::string> names;
    Leftovers(target, names);
    for (const std::string& name : names)
      SysWin().DeleteFileA(name.c_str());
  }

  bool Leftovers(const std::string& target, std::vector<std::string>& names) override {
    const std::size_t nameAt = target.find_last_of("\\/") + 1;
    names.clear();
    WIN32_FIND_DATAA found;
    // The pattern of the names TempNameOf gives, which leaves out the file itself: where no save
    // left anything, the search ends at its first look.
    const TFindHandle search(SysWin().FindFirstFileA((target + ".~*.tmp").c_str(), &found));
    if (!search) {
      const DWORD e = GetLastError();
      return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_NO_MORE_FILES;
    }
    do {
      if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
              0 &&
          IsTempNameOf(found.cFileName, target.substr(nameAt)))
        names.push_back(target.substr(0, nameAt) + found.cFileName);
    } while (SysWin().FindNextFileA(search.Get(), &found));
    return GetLastError() == ERROR_NO_MORE_FILES;
  }

  void Wait(unsigned ms) override { SysWin().Sleep(ms); }
};

} // namespace

template <> TOsFiles& TOsSlot<TOsFiles>::Native() {
  static TWinFiles files;
  return files;
}
