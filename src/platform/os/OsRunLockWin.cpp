// The run lock on Windows: a mutex of the session named after the settings file's full path.
#include "platform/os/OsRunLock.h"
#include "platform/os/WideWin.h"

#include <windows.h>

#include <cstdint>

namespace {

// The full path of a file in one spelling: long folder names, upper case.
std::wstring OneSpelling(const std::wstring& name) {
  std::wstring full(32768, L'\0');
  wchar_t* filePart = nullptr;
  const DWORD n =
      GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), &filePart);
  if (n == 0 || n >= full.size())
    return {};
  const std::size_t fileAt = filePart ? static_cast<std::size_t>(filePart - full.data()) : n;
  full.resize(n);
  if (fileAt < n) {
    // The folder exists even before a first run has made the file.
    const std::wstring folder = full.substr(0, fileAt);
    std::wstring longFolder(32768, L'\0');
    const DWORD m =
        GetLongPathNameW(folder.c_str(), longFolder.data(), static_cast<DWORD>(longFolder.size()));
    if (m > 0 && m < longFolder.size())
      full = longFolder.substr(0, m) + full.substr(fileAt);
  }
  std::wstring upper(full.size(), L'\0');
  if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, full.data(), static_cast<int>(full.size()),
                   upper.data(), static_cast<int>(upper.size())) != static_cast<int>(full.size()))
    return full;
  return upper;
}

// "Local\AutoQuillmer-" and a 64-bit FNV-1a digest of the path, in hexadecimal.
std::wstring MutexName(const std::wstring& path) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const wchar_t c : path) {
    for (int byte = 0; byte < 2; ++byte) {
      hash ^= (static_cast<std::uint16_t>(c) >> (8 * byte)) & 0xFFu;
      hash *= 1099511628211ull;
    }
  }
  std::wstring out = L"Local\\AutoQuillmer-";
  for (int shift = 60; shift >= 0; shift -= 4)
    out.push_back(L"0123456789abcdef"[(hash >> shift) & 0xFu]);
  return out;
}

class TOsRunLockWin final : public TOsRunLock {
public:
  TRunLock Take(const std::string& name) override {
    const std::wstring path = OneSpelling(WideFrom(CP_ACP, name));
    if (path.empty())
      return TRunLock::Unavailable;
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, MutexName(path).c_str());
    if (!mutex)
      return TRunLock::Unavailable;
    switch (WaitForSingleObject(mutex, 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED: // its holder ended without giving it back
      Held = mutex;
      return TRunLock::Held;
    case WAIT_TIMEOUT:
      CloseHandle(mutex);
      return TRunLock::Busy;
    default:
      CloseHandle(mutex);
      return TRunLock::Unavailable;
    }
  }

  void Give() override {
    if (!Held)
      return;
    ReleaseMutex(Held);
    CloseHandle(Held);
    Held = nullptr;
  }

private:
  HANDLE Held = nullptr;
};

} // namespace

template <> TOsRunLock& TOsSlot<TOsRunLock>::Native() {
  static TOsRunLockWin os;
  return os;
}
