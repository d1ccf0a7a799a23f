// The process, its files and its code page on Windows (ANSI entry points).
#include "platform/os/OsProcess.h"

#include <windows.h>

namespace {

class TOsProcessWin final : public TOsProcess {
public:
  std::string ModuleFileName() override {
    char buffer[261];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    return std::string(buffer, n < sizeof buffer ? n : sizeof buffer - 1);
  }

  std::string CommandLine() override {
    const char* text = GetCommandLineA();
    return text ? std::string(text) : std::string();
  }

  bool DbcsEnabled() override { return GetSystemMetrics(SM_DBCSENABLED) != 0; }

  std::vector<std::uint8_t> LeadByteRanges() override {
    CPINFO info{};
    if (!GetCPInfo(CP_ACP, &info))
      return {};
    return std::vector<std::uint8_t>(info.LeadByte, info.LeadByte + MAX_LEADBYTES);
  }

  TFindEntry FindFirst(const std::string& name) override {
    TFindEntry entry;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(name.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
      return entry;
    FindClose(search);
    entry.Found = true;
    entry.Folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    FILETIME local;
    WORD dosDate = 0, dosTime = 0;
    entry.DosTimeOk = FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) &&
                      FileTimeToDosDateTime(&local, &dosDate, &dosTime);
    return entry;
  }

  int CompareText(const std::string& a, const std::string& b, bool ignoreCase) override {
    return CompareStringA(LOCALE_USER_DEFAULT, ignoreCase ? NORM_IGNORECASE : 0, a.data(),
                          static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
  }

  std::string AnsiFromUtf8(const std::string& utf8) override {
    if (utf8.empty())
      return {};
    const int wide =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (wide <= 0)
      return utf8;
    std::wstring w(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), wide);
    const int ansi = WideCharToMultiByte(CP_ACP, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    if (ansi <= 0)
      return utf8;
    std::string out(static_cast<std::size_t>(ansi), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.data(), wide, out.data(), ansi, nullptr, nullptr);
    return out;
  }

  bool ResourceText(unsigned id, std::string& out) override {
    // With no buffer, LoadStringW hands out the text in place, without its end.
    const wchar_t* text = nullptr;
    const int n = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (n <= 0 || !text)
      return false;
    const int ansi = WideCharToMultiByte(CP_ACP, 0, text, n, nullptr, 0, nullptr, nullptr);
    if (ansi <= 0)
      return false;
    out.assign(static_cast<std::size_t>(ansi), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, n, out.data(), ansi, nullptr, nullptr);
    return true;
  }

  [[noreturn]] void EndProcess(int code) override { ::ExitProcess(static_cast<UINT>(code)); }
};

} // namespace

template <> TOsProcess& TOsSlot<TOsProcess>::Native() {
  static TOsProcessWin os;
  return os;
}
