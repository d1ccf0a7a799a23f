// The code-page conversions of the Windows layer, the only calls of the system's own, and the
// final path of an open file.
#include "platform/os/WideWin.h"

#include "platform/os/SysWin.h"

#include <cstring>

std::wstring WideFrom(UINT codePage, const std::string& text) {
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

std::string NarrowFrom(UINT codePage, const wchar_t* wide, std::size_t n, bool* lossy) {
  if (n == 0)
    return {};
  // UTF-8 (also as the ANSI code page) spells everything and takes no such flags.
  const bool utf8 = codePage == CP_UTF8 || (codePage == CP_ACP && GetACP() == CP_UTF8);
  BOOL usedDefault = FALSE;
  BOOL* used = utf8 ? nullptr : &usedDefault;
  const DWORD flags = lossy && !utf8 ? WC_NO_BEST_FIT_CHARS : 0;
  const int size =
      WideCharToMultiByte(codePage, flags, wide, static_cast<int>(n), nullptr, 0, nullptr, used);
  if (size <= 0)
    return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, flags, wide, static_cast<int>(n), out.data(), size, nullptr, used);
  if (lossy)
    *lossy = usedDefault != FALSE;
  return out;
}

const wchar_t* WideFromUtf8Into(const std::string& utf8, wchar_t (&fixed)[FixedWideRoom],
                                std::wstring& spare) {
  const int n = static_cast<int>(utf8.size());
  if (n == 0)
    return L"";
  int w = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, fixed, FixedWideRoom - 1);
  if (w > 0) {
    fixed[w] = L'\0';
    return fixed;
  }
  spare = WideFrom(CP_UTF8, utf8);
  return spare.c_str();
}

namespace {

// Characters converted at once into the fixed buffers.
constexpr int ConvertBuffer = 2048;

// The length of the first bytes of an ANSI text that fit the fixed buffers, never ending
// inside a double-byte character.
std::size_t CutAnsi(const char* ansi, std::size_t n) {
  std::size_t len = 0;
  while (len < n && len < static_cast<std::size_t>(ConvertBuffer) - 1) {
    const std::size_t step = IsDBCSLeadByte(static_cast<BYTE>(ansi[len])) ? 2 : 1;
    if (len + step > n || len + step > static_cast<std::size_t>(ConvertBuffer) - 1)
      break;
    len += step;
  }
  return len;
}

} // namespace

std::size_t Utf8FromAnsiFixed(const char* ansi, std::size_t n, char* out, std::size_t size) {
  // Fixed buffers: the failure report converts with this when memory may be exhausted.
  static wchar_t wide[ConvertBuffer];
  static char utf8[3 * ConvertBuffer];
  if (size == 0)
    return 0;
  const int w = n ? MultiByteToWideChar(CP_ACP, 0, ansi, static_cast<int>(CutAnsi(ansi, n)), wide,
                                        ConvertBuffer)
                  : 0;
  const int u =
      w > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, w, utf8, sizeof utf8, nullptr, nullptr) : 0;
  std::size_t len = u > 0 ? static_cast<std::size_t>(u) : 0;
  if (len > size - 1) {
    len = size - 1;
    while (len > 0 && (static_cast<unsigned char>(utf8[len]) & 0xC0u) == 0x80u)
      --len;
  }
  std::memcpy(out, utf8, len);
  out[len] = '\0';
  return len;
}

std::wstring FinalPathOf(HANDLE h) {
  std::wstring path(MAX_PATH, L'\0');
  for (int tries = 0; tries < 2; ++tries) {
    const DWORD n = SysWin().GetFinalPathNameByHandleW(
        h, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0)
      return {};
    if (n < path.size()) {
      path.resize(n);
      if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return L"\\" + path.substr(7);
      if (path.rfind(L"\\\\?\\", 0) == 0)
        return path.substr(4);
      return path;
    }
    path.assign(n, L'\0');
  }
  return {};
}
