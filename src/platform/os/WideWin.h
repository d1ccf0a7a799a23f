#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Text between a code page (CP_ACP, CP_UTF8) and UTF-16 on Windows. Every conversion of the
// program goes through these (WideWin.cpp); nothing else calls the system's conversions. And the
// one form of a path that every way to a file leads to.

// The text in UTF-16; empty when it cannot be converted.
std::wstring WideFrom(UINT codePage, const std::string& text);
// The wide text in a code page; lossy (where given) is set when some character has no form
// there.
std::string NarrowFrom(UINT codePage, const wchar_t* wide, std::size_t n, bool* lossy);

// Room for the longest text that the fixed conversions below handle without taking memory.
inline constexpr int FixedWideRoom = 4096;

// The UTF-8 text in UTF-16 with its terminating zero: in fixed when it fits, else in spare
// (which takes memory).
const wchar_t* WideFromUtf8Into(const std::string& utf8, wchar_t (&fixed)[FixedWideRoom],
                                std::wstring& spare);
// An ANSI text in UTF-8, without taking memory: at most size - 1 bytes, cut after a whole
// character, and a terminating zero. Returns the length.
std::size_t Utf8FromAnsiFixed(const char* ansi, std::size_t n, char* out, std::size_t size);

// The full path of an open file or folder, through every symbolic link, junction and subst
// drive, without the "\\?\" prefix (a share as "\\server\share\..."); empty when it cannot be
// had.
std::wstring FinalPathOf(HANDLE h);
