// The locks of a settings file on Windows: mutexes of the session named after the identity of
// the settings file's folder, and the process id of the question lock's holder beside it.
#include "platform/os/HandleWin.h"
#include "platform/os/OsRunLock.h"
#include "platform/os/SysWin.h"
#include "platform/os/WideWin.h"

#include <windows.h>

#include <utility>

namespace {

// Hexadecimal digits of a number.
std::wstring Hex(DWORD value) {
  std::wstring out;
  for (int shift = 28; shift >= 0; shift -= 4)
    out.push_back(L"0123456789abcdef"[(value >> shift) & 0xFu]);
  return out;
}

// "Local\AutoQuillmer-" + the volume serial number and file index of the folder of the file
// `name`, the same through any drive letter, subst drive, UNC path or junction that reaches
// the folder; "-question" after it for the question lock. Empty when the folder cannot be
// opened.
std::wstring MutexName(const std::string& name, TRunLockKind kind) {
  const std::wstring given = WideFrom(CP_ACP, name);
  std::wstring full(32768, L'\0');
  wchar_t* filePart = nullptr;
  const DWORD n = SysWin().GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()),
                                            full.data(), &filePart);
  if (n == 0 || n >= full.size())
    return {};
  // The folder exists even before a first run has made the file.
  full.resize(filePart ? static_cast<std::size_t>(filePart - full.data()) : n);
  const TFileHandle folder(SysWin().CreateFileW(
      full.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!folder || !SysWin().GetFileInformationByHandle(folder.Get(), &info))
    return {};
  return L"Local\\AutoQuillmer-" + Hex(info.dwVolumeSerialNumber) + L"-" +
         Hex(info.nFileIndexHigh) + Hex(info.nFileIndexLow) +
         (kind == TRunLockKind::Question ? L"-question" : L"");
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
  TRunLock Take(const std::string& name, TRunLockKind kind, unsigned waitMs) override {
    const std::wstring mutexName = MutexName(name, kind);
    if (mutexName.empty())
      return TRunLock::Unavailable;
    TObjectHandle mutex(SysWin().CreateMutexW(nullptr, FALSE, mutexName.c_str()));
    if (!mutex)
      return TRunLock::Unavailable;
    switch (SysWin().WaitForSingleObject(mutex.Get(), waitMs)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED: // its holder ended without giving it back
      Held[Index(kind)] = std::move(mutex);
      if (kind == TRunLockKind::Question)
        Publish(mutexName);
      return TRunLock::Held;
    case WAIT_TIMEOUT:
      return TRunLock::Busy;
    default:
      return TRunLock::Unavailable;
    }
  }

  void BringHolderForward(const std::string& name) override {
    const std::wstring mutexName = MutexName(name, TRunLockKind::Question);
    if (mutexName.empty())
      return;
    DWORD pid = 0;
    {
      const TObjectHandle map(
          SysWin().OpenFileMappingW(FILE_MAP_READ, FALSE, HolderName(mutexName).c_str()));
      if (!map)
        return;
      if (const TMappedView view{
              SysWin().MapViewOfFile(map.Get(), FILE_MAP_READ, 0, 0, sizeof pid)})
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

  void Give(TRunLockKind kind) override {
    if (kind == TRunLockKind::Question)
      Holder.Close();
    TObjectHandle& held = Held[Index(kind)];
    if (!held)
      return;
    ReleaseMutex(held.Get());
    held.Close();
  }

private:
  static int Index(TRunLockKind kind) { return kind == TRunLockKind::Question ? 1 : 0; }

  // Publishes this process's id as the holder's; a start that cannot find it brings nothing
  // forward, which is all that is lost.
  void Publish(const std::wstring& mutexName) {
    Holder =
        TObjectHandle(SysWin().CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                  sizeof(DWORD), HolderName(mutexName).c_str()));
    if (!Holder)
      return;
    if (const TMappedView view{
            SysWin().MapViewOfFile(Holder.Get(), FILE_MAP_WRITE, 0, 0, sizeof(DWORD))})
      *static_cast<volatile DWORD*>(view.Get()) = GetCurrentProcessId();
  }

  TObjectHandle Held[2];
  TObjectHandle Holder;
};

} // namespace

template <> TOsRunLock& TOsSlot<TOsRunLock>::Native() {
  static TOsRunLockWin os;
  return os;
}
