// aqprobe: a small Windows program that the end-to-end harness checks itself with.
//
//   aqprobe.exe boxes OUTFILE EXITCODE   shows a fixed series of ANSI message boxes, notes
//                                        each result in OUTFILE, exits with EXITCODE
//   aqprobe.exe clock OUTFILE            notes the local time (GetLocalTime)
//   aqprobe.exe args OUTFILE             notes the ANSI command line and program path as hex
//                                        bytes, and the ANSI code page
//   aqprobe.exe locale OUTFILE           notes regional settings of the thread's locale
//   aqprobe.exe open FILE SHOW           opens FILE through the shell (ShellExecuteA) with
//                                        the show command SHOW; exit code: the shell's result
//   aqprobe.exe wait                     sleeps until it is ended (keeps a prefix's Wine
//                                        processes running between the tests' programs)
//   aqprobe.exe link LNKFILE OUTFILE     reads a shortcut back through IShellLinkW and notes
//                                        its target (also as its item list gives it),
//                                        working folder, arguments, icon, description and
//                                        show command (UTF-8 lines)
//   aqprobe.exe startup OUTFILE          notes the user's Startup folder (known folder)
#include "HelperText.h"

#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

using namespace aqe2e;

namespace {

// The system's ANSI form of a UTF-8 text.
std::string Ansi(const std::string& utf8) {
  return Narrow(Widen(utf8), CP_ACP);
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char two[4];
  for (const char c : bytes) {
    std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(c));
    out += two;
  }
  return out;
}

struct TProbeBox {
  const char* Text;
  const char* Caption;
  UINT Flags;
};

const TProbeBox ProbeBoxes[] = {
    {"起動したい「Dozeboard」は、[Type-1] ですか？\r\n\r\n"
     "　[Type-1] （睡眠１回まで/日）　→　\"はい\" 　を、\r\n"
     "　[Type-3] （睡眠３回まで/日）　→　\"いいえ\" を、\r\n"
     "　押して下さい。",
     "Auto Quillmer の設定", MB_ICONQUESTION | MB_YESNOCANCEL},
    {"何もせずに終了します。\r\n（設定は完了していません）", "Auto Quillmer", MB_OK},
    {"\"Dozeboardt1.xls\" または \"Dozeboardt3.xls\" が見つかりませんでした。　終了します。",
     "Auto Quillmer", MB_ICONHAND},
    {"日付が逆転しています。", "Auto Quillmer", MB_ICONEXCLAMATION | MB_YESNO},
    {"お知らせ", "Auto Quillmer", MB_ICONASTERISK},
};

int Boxes(const std::wstring& out, int exitCode) {
  std::string results;
  for (const auto& box : ProbeBoxes) {
    const int result =
        MessageBoxA(nullptr, Ansi(box.Text).c_str(), Ansi(box.Caption).c_str(), box.Flags);
    results += std::to_string(result) + "\n";
  }
  WriteWholeFile(out, results, false);
  return exitCode;
}

int Clock(const std::wstring& out) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u\n", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond);
  return WriteWholeFile(out, text, false) ? 0 : 1;
}

int Args(const std::wstring& out) {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH + 1);
  std::string text = "cmdline=" + Hex(GetCommandLineA()) + "\n";
  text += "module=" + Hex(path) + "\n";
  text += "acp=" + std::to_string(GetACP()) + "\n";
  return WriteWholeFile(out, text, false) ? 0 : 1;
}

int Locale(const std::wstring& out) {
  const LCID locale = GetThreadLocale();
  const TNamed<LCTYPE> items[] = {{"sshortdate", LOCALE_SSHORTDATE},
                                  {"stimeformat", LOCALE_STIMEFORMAT},
                                  {"sdate", LOCALE_SDATE},
                                  {"stime", LOCALE_STIME},
                                  {"s1159", LOCALE_S1159},
                                  {"s2359", LOCALE_S2359},
                                  {"itime", LOCALE_ITIME},
                                  {"itlzero", LOCALE_ITLZERO},
                                  {"itimemarkposn", LOCALE_ITIMEMARKPOSN}};
  std::string text = "lcid=" + std::to_string(locale) + "\n";
  text += "acp=" + std::to_string(GetACP()) + "\n";
  for (const auto& item : items) {
    char value[128] = {};
    GetLocaleInfoA(locale, item.Value, value, sizeof value);
    text += std::string(item.Name) + "=" + Hex(value) + "\n";
  }
  return WriteWholeFile(out, text, false) ? 0 : 1;
}

int Open(const std::wstring& file, int show) {
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteA(nullptr, nullptr, Narrow(file, CP_ACP).c_str(), nullptr, nullptr, show));
  return static_cast<int>(result);
}

// A shortcut's fields as the shell-link interface gives them back.
int Link(const std::wstring& lnk, const std::wstring& out) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    return 1;
  }
  std::string text;
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link));
  if (SUCCEEDED(hr)) {
    hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  }
  if (SUCCEEDED(hr)) {
    hr = file->Load(lnk.c_str(), STGM_READ);
  }
  if (SUCCEEDED(hr)) {
    wchar_t value[INFOTIPSIZE + MAX_PATH] = {};
    link->GetPath(value, MAX_PATH, nullptr, SLGP_RAWPATH);
    text += "target=" + Narrow(value) + "\n";
    PIDLIST_ABSOLUTE idList = nullptr;
    value[0] = L'\0';
    if (SUCCEEDED(link->GetIDList(&idList)) && idList != nullptr) {
      SHGetPathFromIDListW(idList, value);
      CoTaskMemFree(idList);
    }
    text += "idlist=" + Narrow(value) + "\n";
    value[0] = L'\0';
    link->GetWorkingDirectory(value, MAX_PATH);
    text += "workdir=" + Narrow(value) + "\n";
    value[0] = L'\0';
    link->GetArguments(value, INFOTIPSIZE);
    text += "arguments=" + Narrow(value) + "\n";
    value[0] = L'\0';
    int index = 0;
    link->GetIconLocation(value, MAX_PATH, &index);
    text += "icon=" + Narrow(value) + "," + std::to_string(index) + "\n";
    value[0] = L'\0';
    link->GetDescription(value, INFOTIPSIZE);
    text += "description=" + Narrow(value) + "\n";
    int show = 0;
    link->GetShowCmd(&show);
    text += "show=" + std::to_string(show) + "\n";
  }
  text += "hresult=" + std::to_string(static_cast<unsigned long>(hr)) + "\n";
  if (file != nullptr) {
    file->Release();
  }
  if (link != nullptr) {
    link->Release();
  }
  CoUninitialize();
  return WriteWholeFile(out, text, false) && SUCCEEDED(hr) ? 0 : 1;
}

int StartupFolder(const std::wstring& out) {
  PWSTR path = nullptr;
  const HRESULT hr = SHGetKnownFolderPath(FOLDERID_Startup, KF_FLAG_DONT_VERIFY, nullptr, &path);
  const std::string text = SUCCEEDED(hr) ? Narrow(path) + "\n" : std::string();
  CoTaskMemFree(path);
  return SUCCEEDED(hr) && WriteWholeFile(out, text, false) ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
  // The C runtime makes an empty program word of a command line that starts with blanks;
  // the mode is the first argument that names one.
  int first = 1;
  const auto isMode = [](const std::wstring& word) {
    return word == L"args" || word == L"boxes" || word == L"clock" || word == L"locale" ||
           word == L"open" || word == L"wait" || word == L"link" || word == L"startup";
  };
  while (first < argc && !isMode(argv[first])) {
    ++first;
  }
  argc -= first - 1;
  argv += first - 1;
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"boxes" && argc == 4) {
    return Boxes(argv[2], _wtoi(argv[3]));
  }
  if (mode == L"clock" && argc == 3) {
    return Clock(argv[2]);
  }
  if (mode == L"args" && argc >= 3) {
    return Args(argv[2]);
  }
  if (mode == L"locale" && argc == 3) {
    return Locale(argv[2]);
  }
  if (mode == L"link" && argc == 4) {
    return Link(argv[2], argv[3]);
  }
  if (mode == L"startup" && argc == 3) {
    return StartupFolder(argv[2]);
  }
  if (mode == L"open" && argc == 4) {
    return Open(argv[2], _wtoi(argv[3]));
  }
  if (mode == L"wait") {
    Sleep(INFINITE);
  }
  return 99;
}
