// The shortcut in the user's Startup folder, made and read through the Unicode shell-link
// interface so that a program folder holding any character works.
#include "platform/os/HandleWin.h"
#include "platform/os/OsAutostart.h"
#include "platform/os/OsFiles.h"
#include "platform/os/SysWin.h"
#include "platform/os/WideWin.h"

#include <objbase.h>
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

namespace {

constexpr std::size_t LongestPath = 32768;

// The long form of a path (a short 8.3 name spelled out); the path itself when it has none.
std::wstring LongPath(const std::wstring& path) {
  std::wstring out(MAX_PATH, L'\0');
  DWORD n = SysWin().GetLongPathNameW(path.c_str(), out.data(), static_cast<DWORD>(out.size()));
  if (n >= out.size() && n < LongestPath) {
    out.assign(n, L'\0');
    n = SysWin().GetLongPathNameW(path.c_str(), out.data(), static_cast<DWORD>(out.size()));
  }
  if (n == 0 || n >= out.size())
    return path;
  out.resize(n);
  return out;
}

// The program's own file in full; "" when the platform cannot say.
std::wstring ProgramPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0)
      return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return LongPath(buffer);
    }
    if (buffer.size() >= LongestPath)
      return {};
    buffer.resize(buffer.size() * 2);
  }
}

// The folder of a full path, without a trailing separator except at a drive's root.
std::wstring FolderOfPath(const std::wstring& path) {
  const std::size_t p = path.find_last_of(L"\\/");
  if (p == std::wstring::npos)
    return {};
  if (p == 2 && path[1] == L':')
    return path.substr(0, 3);
  return path.substr(0, p);
}

TAutostartOutcome Outcome(TAutostartResult result, const std::wstring& path, HRESULT code = S_OK) {
  TAutostartOutcome out;
  out.Result = result;
  out.Path = NarrowFrom(CP_ACP, path.data(), path.size(), nullptr);
  out.Code = static_cast<std::uint32_t>(code);
  return out;
}

TAutostartOutcome FailureOf(HRESULT code, const std::wstring& path) {
  const HRESULT denied[] = {E_ACCESSDENIED, STG_E_ACCESSDENIED,
                            HRESULT_FROM_WIN32(ERROR_WRITE_PROTECT),
                            HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION)};
  const HRESULT missing[] = {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                             HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), STG_E_PATHNOTFOUND,
                             STG_E_FILENOTFOUND};
  for (const HRESULT d : denied)
    if (code == d)
      return Outcome(TAutostartResult::Denied, path, code);
  for (const HRESULT m : missing)
    if (code == m)
      return Outcome(TAutostartResult::NoFolder, path, code);
  return Outcome(TAutostartResult::Failed, path, code);
}

HRESULT LastError() {
  const DWORD err = GetLastError();
  return HRESULT_FROM_WIN32(err != ERROR_SUCCESS ? err : ERROR_GEN_FAILURE);
}

// The user's Startup folder, whether or not it is there.
HRESULT StartupFolder(std::wstring& folder) {
  TShellString path;
  const HRESULT hr =
      SysWin().SHGetKnownFolderPath(FOLDERID_Startup, KF_FLAG_DONT_VERIFY, nullptr, path.Out());
  if (FAILED(hr))
    return hr;
  folder = path.Get() ? path.Get() : L"";
  return folder.empty() ? HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) : S_OK;
}

// Deletes the leftovers of writes of the file `name` in `folder` (IsTempNameOf), and nothing
// else.
void RemoveLeftovers(const std::wstring& folder, const std::wstring& name) {
  const std::string narrowName = NarrowFrom(CP_UTF8, name.data(), name.size(), nullptr);
  WIN32_FIND_DATAW found;
  const TFindHandle search(
      SysWin().FindFirstFileW((folder + L"\\" + name + L".~*.tmp").c_str(), &found));
  if (!search)
    return;
  do {
    const std::wstring entry = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        IsTempNameOf(NarrowFrom(CP_UTF8, entry.data(), entry.size(), nullptr), narrowName))
      SysWin().DeleteFileW((folder + L"\\" + entry).c_str());
  } while (SysWin().FindNextFileW(search.Get(), &found));
}

class TOsAutostartWin final : public TOsAutostart {
public:
  TAutostartOutcome Add(const TAutostartEntry& entry) override {
    TComScope com;
    std::wstring folder;
    if (const HRESULT hr = StartupFolder(folder); FAILED(hr))
      return Outcome(TAutostartResult::NoFolder, L"", hr);
    const std::wstring link = folder + L"\\" + WideFrom(CP_UTF8, entry.Name) + L".lnk";
    const DWORD attributes = SysWin().GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      return Outcome(TAutostartResult::NoFolder, link, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    const std::wstring program = ProgramPath();
    if (program.empty())
      return Outcome(TAutostartResult::NoProgram, link, LastError());

    TComRef<IShellLinkW> shellLink;
    HRESULT hr = SysWin().CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IShellLinkW, shellLink.Out());
    if (SUCCEEDED(hr))
      hr = shellLink->SetPath(program.c_str());
    if (SUCCEEDED(hr))
      hr = shellLink->SetWorkingDirectory(FolderOfPath(program).c_str());
    if (SUCCEEDED(hr))
      hr = shellLink->SetArguments(L"");
    if (SUCCEEDED(hr))
      hr = shellLink->SetIconLocation(program.c_str(), 0);
    if (SUCCEEDED(hr))
      hr = shellLink->SetDescription(WideFrom(CP_UTF8, entry.CommentJa).c_str());
    if (SUCCEEDED(hr))
      hr = shellLink->SetShowCmd(SW_SHOWNORMAL);
    TComRef<IPersistFile> file;
    if (SUCCEEDED(hr))
      hr = shellLink->QueryInterface(IID_IPersistFile, file.Out());
    if (FAILED(hr))
      return FailureOf(hr, link);

    // Written whole beside the shortcut under a name of the one form of new files, then put
    // in its place. Leftovers of killed writes of it go first.
    RemoveLeftovers(folder, WideFrom(CP_UTF8, entry.Name) + L".lnk");
    const std::wstring temp = link + WideFrom(CP_UTF8, TempNameOf("", NameToken(SaveTokenChars)));
    hr = file->Save(temp.c_str(), FALSE);
    file.Reset();
    if (FAILED(hr)) {
      SysWin().DeleteFileW(temp.c_str());
      return FailureOf(hr, link);
    }
    if (!SysWin().MoveFileExW(temp.c_str(), link.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      hr = LastError();
      SysWin().DeleteFileW(temp.c_str());
      return FailureOf(hr, link);
    }
    return Outcome(TAutostartResult::Done, link);
  }

  TAutostartOutcome Remove(const TAutostartEntry& entry) override {
    TComScope com;
    std::wstring folder;
    // No Startup folder holds no entry; one that cannot be looked up is a failure, never "none".
    if (const HRESULT hr = StartupFolder(folder); FAILED(hr)) {
      const TAutostartOutcome failed = FailureOf(hr, L"");
      return failed.Result == TAutostartResult::NoFolder ? Outcome(TAutostartResult::NotFound, L"")
                                                         : failed;
    }
    const std::wstring link = folder + L"\\" + WideFrom(CP_UTF8, entry.Name) + L".lnk";
    const DWORD attributes = SysWin().GetFileAttributesW(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD err = GetLastError();
      if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
        return Outcome(TAutostartResult::NotFound, link);
      return FailureOf(HRESULT_FROM_WIN32(err), link);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !StartsThisProgram(link))
      return Outcome(TAutostartResult::NotOurs, link);
    if (!SysWin().DeleteFileW(link.c_str()))
      return FailureOf(LastError(), link);
    // A deletion can be accepted and still not happen (a folder that cannot be changed, on
    // some systems); a file waiting for its last reader to let go counts as gone.
    if (SysWin().GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES)
      return FailureOf(E_ACCESSDENIED, link);
    return Outcome(TAutostartResult::Done, link);
  }

private:
  // Whether the shortcut's target is the running program.
  static bool StartsThisProgram(const std::wstring& link) {
    const std::wstring program = ProgramPath();
    TComRef<IShellLinkW> shellLink;
    TComRef<IPersistFile> file;
    HRESULT hr = SysWin().CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IShellLinkW, shellLink.Out());
    if (SUCCEEDED(hr))
      hr = shellLink->QueryInterface(IID_IPersistFile, file.Out());
    if (SUCCEEDED(hr))
      hr = file->Load(link.c_str(), STGM_READ);
    std::wstring target(LongestPath, L'\0');
    if (SUCCEEDED(hr))
      hr =
          shellLink->GetPath(target.data(), static_cast<int>(target.size()), nullptr, SLGP_RAWPATH);
    if (hr != S_OK || program.empty())
      return false;
    target.resize(wcslen(target.c_str()));
    return CompareStringOrdinal(LongPath(target).c_str(), -1, program.c_str(), -1, TRUE) ==
           CSTR_EQUAL;
  }
};

} // namespace

template <> TOsAutostart& TOsSlot<TOsAutostart>::Native() {
  static TOsAutostartWin os;
  return os;
}
