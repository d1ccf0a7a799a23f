#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Text between a code page (CP_ACP, CP_UTF8) and UTF-16 on Windows.

// The text in UTF-16; empty when it cannot be converted.
std::wstring WideFrom(UINT codePage, const std::string& text);
// The wide text in a code page; lossy (where given) is set when some character has no form
// there.
std::string NarrowFrom(UINT codePage, const wchar_t* wide, std::size_t n, bool* lossy);
