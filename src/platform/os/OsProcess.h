#pragma once

#include "platform/os/OsSlot.h"

#include <cstdint>
#include <string>
#include <vector>

// What the directory search found for a name: the first entry only.
struct TFindEntry {
  bool Found = false;  // the search found an entry
  bool Folder = false; // that entry is a folder
  // The search failed for another reason than a missing name or folder (no access, an I/O
  // error, a network fault): whether the name is there is not known.
  bool Unknown = false;
};

// Room for the program's own path, its end included (ModuleFileName gives at most
// ModulePathBuffer - 1 bytes).
inline constexpr unsigned ModulePathBuffer = 261;

// The process, its files and its code page, as the operating system reports them.
class TOsProcess {
public:
  virtual ~TOsProcess() = default;

  // Full path of the program's own executable in the ANSI code page, at most 260 bytes
  // (Windows: GetModuleFileNameW, with the folder in its short form where the code page
  // cannot spell its long name); "" when the system cannot give it whole (a longer path,
  // a Linux path beyond the system's limit), never a path cut short.
  virtual std::string ModuleFileName() = 0;
  // The raw command-line text of the process (Windows: GetCommandLineA).
  virtual std::string CommandLine() = 0;
  // Whether the ANSI code page has characters of more than one byte (Windows: what
  // GetSystemMetrics(SM_DBCSENABLED) tells, taken from GetCPInfo without the window library).
  virtual bool DbcsEnabled() = 0;
  // The lead-byte ranges of the ANSI code page as GetCPInfo(CP_ACP) reports them: up to
  // twelve bytes, pairs of (first, last), ended by a pair of zeros.
  virtual std::vector<std::uint8_t> LeadByteRanges() = 0;
  // Directory search of one name (FindFirstFileA, the search ended at once).
  virtual TFindEntry FindFirst(const std::string& name) = 0;
  // Locale-aware comparison under the user's default locale (CompareStringA with
  // LOCALE_USER_DEFAULT, both lengths given, NORM_IGNORECASE when ignoreCase). Returns
  // 1 (less), 2 (equal), 3 (greater) or 0 (failure).
  virtual int CompareText(const std::string& a, const std::string& b, bool ignoreCase) = 0;
  // A UTF-8 text in the system's ANSI code page (on POSIX the code page is UTF-8).
  virtual std::string AnsiFromUtf8(const std::string& utf8) = 0;
  // A text in the system's ANSI code page in UTF-8 (the same text where the code page is
  // UTF-8, as on POSIX).
  virtual std::string Utf8FromAnsi(const std::string& ansi) { return ansi; }
  // The same into a fixed buffer, without taking memory (for the failure report): at most
  // size - 1 bytes, cut after a whole character, and a terminating zero. Returns the length.
  virtual std::size_t Utf8FromAnsiInto(const char* ansi, std::size_t n, char* out,
                                       std::size_t size);
  // The text with that number in the program's string table, in UTF-8; false where there
  // is no such text (or no string table at all).
  virtual bool ResourceText(unsigned id, std::string& out) {
    (void)id;
    (void)out;
    return false;
  }
  // From now on, libraries that the process loads, and the libraries those load in turn,
  // come from the system folder only: never from the program's folder or the current
  // directory, where anyone who can write there could leave one under a system name
  // (Windows: SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32); where that call is
  // missing, SetDllDirectoryW(L""), which at least takes the current directory out). The
  // first thing the program does. Nothing to do where the program's folder is not searched.
  virtual void RestrictLibrarySearch() {}
  // Ends the process with the exit code (ExitProcess).
  [[noreturn]] virtual void EndProcess(int code) = 0;
};

inline TOsProcess& OsProcess() {
  return TOsSlot<TOsProcess>::Get();
}

// The platform's comparison result for "equal".
inline constexpr int CstrEqual = 2;
