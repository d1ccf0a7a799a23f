#pragma once

// A text of a code page in the wide form that the Windows calls take.
#include <windows.h>

#include <string>

inline std::wstring WideFrom(UINT codePage, const std::string& text) {
  if (text.empty())
    return {};
  const int n =
      MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0)
    return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}
