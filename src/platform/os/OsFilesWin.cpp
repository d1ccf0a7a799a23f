// File access on Windows, through the ANSI entry points.
#include "platform/os/OsFiles.h"

#include <windows.h>

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

class TWinFiles : public TOsFiles {
public:
  TOsFile OpenRead(const std::string& name) override {
    const HANDLE h = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? NoOsFile : FileOf(h);
  }

  std::int64_t SizeOf(TOsFile f) override {
    LONG high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(Handle(f), 0, &high, FILE_END);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
      return -1;
    const std::int64_t size = (static_cast<std::int64_t>(static_cast<DWORD>(high)) << 32) |
                              static_cast<std::int64_t>(low);
    if (SetFilePointer(Handle(f), 0, nullptr, FILE_BEGIN) != 0)
      return -1;
    return size;
  }

  std::int64_t Read(TOsFile f, char* buffer, std::size_t n) override {
    DWORD got = 0;
    if (!ReadFile(Handle(f), buffer, Chunk(n), &got, nullptr))
      return -1;
    return got;
  }

  std::string SaveTarget(const std::string& name) override { return name; }

  TClaim Claim(const std::string& name, TOsFile& f) override {
    const HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
      return GetLastError() == ERROR_FILE_NOT_FOUND ? TClaim::Missing : TClaim::Failed;
    // A read-only file is refused even where the open itself let it through (a
    // privileged user on a system that maps the attribute to permission bits).
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
      CloseHandle(h);
      return TClaim::Failed;
    }
    f = FileOf(h);
    return TClaim::Existing;
  }

  TCreateNew CreateNew(const std::string& name, TOsFile& f) override {
    const HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
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
    (void)made;
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(Handle(claim), &info) && info.nNumberOfLinks <= 1;
  }

  bool SetEnd(TOsFile f) override { return SetEndOfFile(Handle(f)) != 0; }

  std::int64_t Write(TOsFile f, const char* data, std::size_t n) override {
    DWORD put = 0;
    const BOOL ok = WriteFile(Handle(f), data, Chunk(n), &put, nullptr);
    if (!ok && put == 0)
      return -1;
    return put;
  }

  bool Flush(TOsFile f) override { return FlushFileBuffers(Handle(f)) != 0; }

  bool Close(TOsFile f) override { return CloseHandle(Handle(f)) != 0; }

  bool Replace(TOsFile claim, const std::string& from, const std::string& to) override {
    // A file that is open cannot be replaced here: the claim ends just before the move.
    if (claim != NoOsFile)
      CloseHandle(Handle(claim));
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }

  bool Remove(const std::string& name) override { return DeleteFileA(name.c_str()) != 0; }

  bool RemoveLeftover(const std::string& name) override { return DeleteFileA(name.c_str()) != 0; }

  std::vector<std::string> FindNames(const std::string& pattern) override {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    const HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
      return names;
    do {
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        names.emplace_back(data.cFileName);
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return names;
  }

  void Wait(unsigned ms) override { Sleep(ms); }
};

} // namespace

template <> TOsFiles& TOsSlot<TOsFiles>::Native() {
  static TWinFiles files;
  return files;
}
