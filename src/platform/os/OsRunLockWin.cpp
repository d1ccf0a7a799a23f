// The locks of a settings file on Windows: mutexes of the session named after the identity of
// the settings file's folder, and the process id of the question lock's holder beside it.
#include "platform/os/HandleWin.h"
#include "platform/os/OsRunLock.h"
#include "platform/os/SysWin.h"
#include "platform/os/WideWin.h"

#include <windows.h>

#include <cstdint>
#include <utility>

namespace {

// Hexadecimal digits of a number.
std::wstring Hex(DWORD value) {
  std::wstring out;
  for (int shift = 28; shift >= 0; shift -= 4)
    out.push_back(L"0123456789abcdef"[(value >> shift) & 0xFu]);
  return out;
}

// The folder of the file `name`, by its full path; empty when it cannot be had.
std::wstring FolderPath(const std::string& name) {
  const std::wstring given = WideFrom(CP_ACP, name);
  // Room for a usual path first; a longer one is asked for again in the room it needs.
  std::wstring full(MAX_PATH, L'\0');
  wchar_t* filePart = nullptr;
  DWORD n = 0;
  for (int tries = 0; tries < 2; ++tries) {
    n = SysWin().GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(),
                                  &filePart);
    if (n < full.size())
      break;
    full.assign(n, L'\0');
  }
  if (n == 0 || n >= full.size())
    return {};
  // The folder exists even before a first run has made the file.
  full.resize(filePart ? static_cast<std::size_t>(filePart - full.data()) : n);
  return full;
}

// "Local\\AutoQuillmer-" + the identity of a folder, the same through any drive letter, subst
// drive, UNC path, link or junction that reaches it: a digest of its final path, its ASCII
// letters in capitals (16 hexadecimal digits), or where the system cannot give that path, "v" + its
// volume's serial number and its file index. Empty when the folder cannot be opened.
std::wstring FolderMutexName(const std::wstring& folder) {
  const TFileHandle h(SysWin().CreateFileW(
      folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h)
    return {};
  const std::wstring prefix = L"Local\\AutoQuillmer-";
  // The final path costs the system next to nothing; the volume's serial number is asked of the
  // volume itself, the dearest call of a start that shows nothing.
  const std::wstring path = FinalPathOf(h.Get());
  if (!path.empty()) {
    // FNV-1a over the UTF-16 code units. Every name of the path is spelt as the folder stores
    // it; only the drive letter and a server's name may come in either case.
    std::uint64_t digest = 0xCBF29CE484222325ull;
    for (const wchar_t c : path) {
      const wchar_t upper = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
      digest = (digest ^ static_cast<std::uint16_t>(upper)) * 0x100000001B3ull;
    }
    return prefix + Hex(static_cast<DWORD>(digest >> 32)) + Hex(static_cast<DWORD>(digest));
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!SysWin().GetFileInformationByHandle(h.Get(), &info))
    return {};
  return prefix + L"v" + Hex(info.dwVolumeSerialNumber) + L"-" + Hex(info.nFileIndexHigh) +
         Hex(info.nFileIndexLow);
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
        QuestionName = mutexName;
      return TRunLock::Held;
    case WAIT_TIMEOUT:
      return TRunLock::Busy;
    default:
      return TRunLock::Unavailable;
    }
  }

  void BeforeBox() override {
    if (Held[Index(TRunLockKind::Question)] && !Holder)
      Publish(QuestionName);
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
    if (held) {
      ReleaseMutex(held.Get());
      held.Close();
    }
    // The next start of this process looks at the folder afresh.
    if (!Held[0] && !Held[1])
      Looked.clear();
  }

private:
  static int Index(TRunLockKind kind) { return kind == TRunLockKind::Question ? 1 : 0; }

  // The mutex of a lock of the file `name`: the folder's, with "-question" after it for the
  // question lock. While this process holds a lock, a folder is looked up once.
  std::wstring MutexName(const std::string& name, TRunLockKind kind) {
    const std::wstring folder = FolderPath(name);
    if (folder.empty())
      return {};
    if (Looked.empty() || LookedFolder != folder) {
      Looked = FolderMutexName(folder);
      LookedFolder = folder;
    }
    if (Looked.empty())
      return {};
    return Looked + (kind == TRunLockKind::Question ? L"-question" : L"");
  }

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
  std::wstring QuestionName, LookedFolder, Looked;
};

} // namespace

template <> TOsRunLock& TOsSlot<TOsRunLock>::Native() {
  static TOsRunLockWin os;
  return os;
}
