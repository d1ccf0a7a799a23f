#pragma once

#include <bitset>
#include <cstdint>
#include <string>

// A set of byte values.
using TByteSet = std::bitset<256>;

// Code-page facts, read once at start-up by LoadCodePageFacts and only read afterwards.
extern bool DoubleByteSystem;
extern TByteSet LeadByteSet;
void LoadCodePageFacts();
// True when the byte begins a double-byte character of the system's code page.
inline bool IsLeadByte(char c) {
  return LeadByteSet[static_cast<unsigned char>(c)];
}

// Fixed sizes of the process frame.
inline constexpr std::size_t MaxArgBytes = 4096;

// Full path of the program's own executable file, as the platform reports it.
std::string ProgramFileName();
// Number of arguments after the program's own word on the command line.
std::int32_t ArgCount();
// ProgramFileName() for 0, the index-th argument after the program's word for 1 to
// ArgCount(), "" for any other index.
std::string ArgAt(std::int32_t index);
// How paths are written: Windows paths use "\\" and ":" (and know double-byte characters),
// POSIX paths use "/". Paths of the running system are in its native style.
enum class TPathStyle { Windows, Posix };
#ifdef _WIN32
inline constexpr TPathStyle NativePathStyle = TPathStyle::Windows;
inline constexpr char PathDelim = '\\';
#else
inline constexpr TPathStyle NativePathStyle = TPathStyle::Posix;
inline constexpr char PathDelim = '/';
#endif

// The folder part of a path, without a trailing separator except at a root.
std::string FolderOf(const std::string& path, TPathStyle style = NativePathStyle);
// True when some argument is a switch character followed by the name.
bool SwitchGiven(const std::string& name, const TByteSet& switchChars, bool ignoreCase);
// Whether the name denotes an existing entry that is not a folder, whatever its date; Unknown
// where the search fails for another reason than a missing name (no access, an I/O error).
enum class TPresence { Absent, Present, Unknown };
TPresence FilePresence(const std::string& name);
// FilePresence is not Absent: a name that cannot be looked at counts as present.
bool FilePresent(const std::string& name);
// The value in decimal: "-" for negative values, no padding, no grouping.
std::string DecimalText(std::int32_t value);

// Byte kinds of a position in a string, by the lead-byte rule.
enum class TByteKind { Single, Lead, Trail };
TByteKind ByteKindAt(const std::string& s, std::size_t k);
