// The run lock on Windows: a mutex of the session named after the settings file's full path,
// and the holder's process id beside it.
#include "platform/os/HandleWin.h"
#include "platform/os/OsRunLock.h"
#include "platform/os/WideWin.h"

#include <windows.h>

#include <cstdint>
#include <utility>

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

// The holder's process id, published beside the mutex under the mutex's name and
// "-holder" while the lock is held, so that a later start can find the holder's box.
std::wstring HolderName(const std::wstring& mutexName) {
  return mutexName + L"-holder";
}

// The first visible message box of a process.
struct TBoxOf {
  DWORD Pid;
  HWND Box = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<TBoxOf*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t cls[8] = {};
  if (pid != find->Pid || !IsWindowVisible(window) || GetClassNameW(window, cls, 8) != 6 ||
      std::wstring(cls) != L"#32770")
    return TRUE;
  find->Box = window;
  return FALSE;
}

class TOsRunLockWin final : public TOsRunLock {
public:
  TRunLock Take(const std::string& name) override { return Lock(name, 0); }
  TRunLock TakeWhenFree(const std::string& name) override { return Lock(name, INFINITE); }

  void BringHolderForward(const std::string& name) override {
    const std::wstring path = OneSpelling(WideFrom(CP_ACP, name));
    if (path.empty())
      return;
    DWORD pid = 0;
    {
      const TObjectHandle map(
          OpenFileMappingW(FILE_MAP_READ, FALSE, HolderName(MutexName(path)).c_str()));
      if (!map)
        return;
      if (const TMappedView view{MapViewOfFile(map.Get(), FILE_MAP_READ, 0, 0, sizeof pid)})
        pid = *static_cast<const volatile DWORD*>(view.Get());
    }
    if (pid == 0)
      return;
    // This program was started by the user just now, so it may set the foreground window;
    // it hands that right to the holder too, whose box then comes forward.
    TBoxOf find{pid};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&find));
    if (!find.Box)
      return;
    AllowSetForegroundWindow(pid);
    SetForegroundWindow(find.Box);
  }

  void Give() override {
    Holder.Close();
    if (!Held)
      return;
    ReleaseMutex(Held.Get());
    Held.Close();
  }

private:
  TRunLock Lock(const std::string& name, DWORD waitMs) {
    const std::wstring path = OneSpelling(WideFrom(CP_ACP, name));
    if (path.empty())
      return TRunLock::Unavailable;
    const std::wstring mutexName = MutexName(path);
    TObjectHandle mutex(CreateMutexW(nullptr, FALSE, mutexName.c_str()));
    if (!mutex)
      return TRunLock::Unavailable;
    switch (WaitForSingleObject(mutex.Get(), waitMs)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED: // its holder ended without giving it back
      Held = std::move(mutex);
      Publish(mutexName);
      return TRunLock::Held;
    case WAIT_TIMEOUT:
      return TRunLock::Busy;
    default:
      return TRunLock::Unavailable;
    }
  }

  // Publishes this process's id as the holder's; a start that cannot find it brings nothing
  // forward, which is all that is lost.
  void Publish(const std::wstring& mutexName) {
    Holder = TObjectHandle(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                              sizeof(DWORD), HolderName(mutexName).c_str()));
    if (!Holder)
      return;
    if (const TMappedView view{MapViewOfFile(Holder.Get(), FILE_MAP_WRITE, 0, 0, sizeof(DWORD))})
      *static_cast<volatile DWORD*>(view.Get()) = GetCurrentProcessId();
  }

  TObjectHandle Held;
  TObjectHandle Holder;
};

} // namespace

template <> TOsRunLock& TOsSlot<TOsRunLock>::Native() {
  static TOsRunLockWin os;
  return os;
}
