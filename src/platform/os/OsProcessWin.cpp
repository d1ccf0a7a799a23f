// The process, its files and its code page on Windows (ANSI entry points).
#include "platform/os/HandleWin.h"
#include "platform/os/OsProcess.h"
#include "platform/os/SysWin.h"
#include "platform/os/WideWin.h"

#include <windows.h>

namespace {

class TOsProcessWin final : public TOsProcess {
public:
  std::string ModuleFileName() override {
    // The path comes through the Unicode call. A folder whose name the ANSI code page
    // cannot spell (a Korean name on a Japanese system, a character outside the code page
    // in a user's name) is given in its short 8.3 form, which it can spell, where the
    // volume keeps short names; the program's file name stays long.
    // Room for a usual path first, then more while the path fills it (the longest path has
    // 32767 units).
    std::wstring wide(MAX_PATH, L'\0');
    DWORD n = 0;
    for (;;) {
      n = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
      if (n < wide.size() || wide.size() >= 32768)
        break;
      wide.assign(wide.size() * 4, L'\0');
    }
    wide.resize(n < wide.size() ? n : 0);
    bool lossy = false;
    std::string path = NarrowFrom(CP_ACP, wide.data(), wide.size(), &lossy);
    const std::size_t slash = wide.rfind(L'\\');
    if (lossy && slash != std::wstring::npos && slash > 0) {
      const std::wstring folder = wide.substr(0, slash);
      std::wstring shortFolder(32768, L'\0');
      const DWORD m = SysWin().GetShortPathNameW(folder.c_str(), shortFolder.data(),
                                                 static_cast<DWORD>(shortFolder.size()));
      shortFolder.resize(m < shortFolder.size() ? m : 0);
      bool shortLossy = true;
      const std::string spelled =
          NarrowFrom(CP_ACP, shortFolder.data(), shortFolder.size(), &shortLossy);
      if (!shortFolder.empty() && !shortLossy) {
        bool nameLossy = false;
        path = spelled + "\\" +
               NarrowFrom(CP_ACP, wide.data() + slash + 1, wide.size() - slash - 1, &nameLossy);
      }
    }
    // A path that a buffer of 261 bytes cannot hold is not cut, which would name another
    // folder: like a path the system could not give, it is "".
    if (path.size() > ModulePathBuffer - 1)
      return std::string();
    return path;
  }

  std::string CommandLine() override {
    const char* text = GetCommandLineA();
    return text ? std::string(text) : std::string();
  }

  bool DbcsEnabled() override {
    // What GetSystemMetrics(SM_DBCSENABLED) tells, without the window library.
    CPINFO info{};
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
  }

  std::vector<std::uint8_t> LeadByteRanges() override {
    CPINFO info{};
    if (!GetCPInfo(CP_ACP, &info))
      return {};
    return std::vector<std::uint8_t>(info.LeadByte, info.LeadByte + MAX_LEADBYTES);
  }

  TFindEntry FindFirst(const std::string& name) override {
    TFindEntry entry;
    // A name without wildcards names one entry, which the attributes tell as the search would,
    // for a fraction of its cost: no folder is opened and read.
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (name.find_first_of("*?") == std::string::npos) {
      WIN32_FILE_ATTRIBUTE_DATA data;
      if (SysWin().GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data))
        attributes = data.dwFileAttributes;
    } else {
      WIN32_FIND_DATAA data;
      if (TFindHandle(SysWin().FindFirstFileA(name.c_str(), &data)))
        attributes = data.dwFileAttributes;
    }
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD e = GetLastError();
      entry.Unknown =
          e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND && e != ERROR_NO_MORE_FILES;
      return entry;
    }
    entry.Found = true;
    entry.Folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return entry;
  }

  int CompareText(const std::string& a, const std::string& b, bool ignoreCase) override {
    return CompareStringA(LOCALE_USER_DEFAULT, ignoreCase ? NORM_IGNORECASE : 0, a.data(),
                          static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
  }

  std::string AnsiFromUtf8(const std::string& utf8) override {
    const std::wstring wide = WideFrom(CP_UTF8, utf8);
    if (wide.empty())
      return utf8;
    const std::string ansi = NarrowFrom(CP_ACP, wide.data(), wide.size(), nullptr);
    return ansi.empty() ? utf8 : ansi;
  }

  void RestrictLibrarySearch() override {
    // Not there on Windows 7 without its 2011 update, hence looked up by name.
    using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC found = kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    const auto setDefault =
        reinterpret_cast<TSetDefaultDllDirectories>(reinterpret_cast<void (*)()>(found));
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
      SetDllDirectoryW(L"");
  }

  std::string Utf8FromAnsi(const std::string& ansi) override {
    const std::wstring wide = WideFrom(CP_ACP, ansi);
    return NarrowFrom(CP_UTF8, wide.data(), wide.size(), nullptr);
  }

  std::size_t Utf8FromAnsiInto(const char* ansi, std::size_t n, char* out,
                               std::size_t size) override {
    return Utf8FromAnsiFixed(ansi, n, out, size);
  }

  bool ResourceText(unsigned id, std::string& out) override {
    // Read as the resource it is, without the window library (LoadStringW would load it):
    // block id / 16 + 1 of the string table (RT_STRING) holds 16 texts, each a count of
    // UTF-16 units and the units, without an end.
    if (id > 0xFFFF)
      return false;
    // A block is looked up once for the texts read from it one after another; a resource
    // stays in place for the life of the process.
    if (Block != id / 16 + 1) {
      Block = id / 16 + 1;
      const HMODULE self = GetModuleHandleW(nullptr);
      const HRSRC found =
          FindResourceW(self, MAKEINTRESOURCEW(Block), MAKEINTRESOURCEW(6) /* RT_STRING */);
      const HGLOBAL loaded = found ? LoadResource(self, found) : nullptr;
      Units = static_cast<const wchar_t*>(loaded ? LockResource(loaded) : nullptr);
      Size = Units ? SizeofResource(self, found) / sizeof(wchar_t) : 0;
    }
    const wchar_t* const units = Units;
    const std::size_t size = Size;
    if (!units)
      return false;
    std::size_t at = 0;
    for (unsigned before = id % 16; before > 0 && at < size; --before)
      at += 1 + static_cast<std::size_t>(units[at]);
    if (at >= size || units[at] == 0 || units[at] > size - at - 1)
      return false;
    out = NarrowFrom(CP_UTF8, units + at + 1, units[at], nullptr);
    return !out.empty();
  }

  [[noreturn]] void EndProcess(int code) override { ::ExitProcess(static_cast<UINT>(code)); }

private:
  // The string table's block last looked up: its number, its texts and their count of units.
  unsigned Block = 0;
  const wchar_t* Units = nullptr;
  std::size_t Size = 0;
};

} // namespace

template <> TOsProcess& TOsSlot<TOsProcess>::Native() {
  static TOsProcessWin os;
  return os;
}
