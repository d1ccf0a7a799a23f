// aqdriver: starts a program with an exact raw command line, answers its message boxes
// from a script and writes what happened to a result file (UTF-8 JSON).
//
// Usage: aqdriver.exe JOBFILE
//
// The job file is UTF-8, one "key=value" per line (the value is taken verbatim up to the
// end of the line):
//   program=C:\aq\case-1\AutoQuillmer.exe   the program file (lpApplicationName)
//   cmdline="C:\aq\case-1\AutoQuillmer.exe" /open   the raw command line, passed unchanged
//   cwd=C:\aq\case-1                       the current directory of the program
//   answers=yes,no,ok                      buttons to press, one per box, in order
//   timeout_ms=20000                       the whole run, boxes included
//   result=C:\aq\case-1.result.json        where the result goes
//   assoc_xls=<command>                    optional: ".xls" opens with this command
//                                          (empty value: no association at all)
//   hold_write=C:\aq\case-1\x.ini          optional: this existing file is held open for
//                                          writing (shared for reading and writing) from
//                                          before the program starts until it has ended
//   shell_open=1                           optional: `program` (a shortcut, for example) is
//                                          opened through the shell (ShellExecuteExW) from
//                                          the folder `cwd` instead; cmdline is not used.
//                                          Where the shell gives no process back (it starts
//                                          a shortcut's target on its own), the process
//                                          running the file `wait_for` is taken
//   shot=C:\aq\box.bmp                      optional: the first box is saved as a picture
//
// A box that comes when no answer is left is recorded, answered with the first of
// OK / Cancel / No that it has, and counted as unexpected. The program and everything it
// starts run in one job object, so that programs it opens can be waited for and nothing
// outlives the driver.
#include "HelperText.h"

#include <shellapi.h>
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

using namespace aqe2e;

namespace {

constexpr int IdText = 0xFFFF; // the message text of a message box
constexpr int IdIcon = 1088;   // the icon of a message box
// How long a question to a box of the program may take: long, since an emulated program on
// a busy machine can take seconds to answer (a hung program is caught by the run's time-out).
constexpr UINT ReplyMs = 20000;

struct TButtonName {
  int Id;
  const char* Name;
};
constexpr TButtonName ButtonNames[] = {{IDOK, "ok"},       {IDCANCEL, "cancel"}, {IDABORT, "abort"},
                                       {IDRETRY, "retry"}, {IDIGNORE, "ignore"}, {IDYES, "yes"},
                                       {IDNO, "no"}};

std::optional<int> ButtonId(const std::string& name) {
  for (const auto& button : ButtonNames) {
    if (name == button.Name) {
      return button.Id;
    }
  }
  return std::nullopt;
}

std::string ButtonName(int id) {
  for (const auto& button : ButtonNames) {
    if (id == button.Id) {
      return button.Name;
    }
  }
  return std::to_string(id);
}

std::map<std::string, std::string> ParseJob(const std::string& text) {
  std::map<std::string, std::string> job;
  std::size_t pos = 0;
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
    pos = 3;
  }
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos && !line.empty() && line[0] != '#') {
      job[line.substr(0, eq)] = line.substr(eq + 1);
    }
    pos = end + 1;
  }
  return job;
}

std::vector<std::string> SplitAnswers(const std::string& text) {
  std::vector<std::string> answers;
  std::string current;
  for (const char c : text) {
    if (c == ',') {
      if (!current.empty()) {
        answers.push_back(current);
      }
      current.clear();
    } else if (c != ' ') {
      current += c;
    }
  }
  if (!current.empty()) {
    answers.push_back(current);
  }
  return answers;
}

// Text of a control of another process (WM_GETTEXT is carried across processes).
std::wstring ControlText(HWND control) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, ReplyMs, &length)) {
    return {};
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_NORMAL, ReplyMs, &copied)) {
    return {};
  }
  text.resize(std::min<std::size_t>(copied, length));
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// --- Icon recognition -------------------------------------------------------------------
// Icon handles of another process cannot be read here, so the icon is recognised by its
// pixels on the screen, compared with the system icons drawn by this process.

class TScreenShot {
public:
  TScreenShot(int width, int height) : Width(width), Height(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    Dc = CreateCompatibleDC(nullptr);
    Bitmap =
        CreateDIBSection(Dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&Bits), nullptr, 0);
    if (Dc != nullptr && Bitmap != nullptr) {
      Old = SelectObject(Dc, Bitmap);
    }
  }
  TScreenShot(const TScreenShot&) = delete;
  TScreenShot& operator=(const TScreenShot&) = delete;
  ~TScreenShot() {
    if (Old != nullptr) {
      SelectObject(Dc, Old);
    }
    if (Bitmap != nullptr) {
      DeleteObject(Bitmap);
    }
    if (Dc != nullptr) {
      DeleteDC(Dc);
    }
  }
  bool Valid() const { return Dc != nullptr && Bitmap != nullptr && Bits != nullptr; }
  HDC Get() const { return Dc; }
  std::uint32_t Pixel(int x, int y) const {
    return Bits[static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) +
                static_cast<std::size_t>(x)] &
           0xFFFFFFu;
  }
  void Fill(COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    RECT all{0, 0, Width, Height};
    FillRect(Dc, &all, brush);
    DeleteObject(brush);
  }

private:
  int Width;
  int Height;
  HDC Dc = nullptr;
  HBITMAP Bitmap = nullptr;
  HGDIOBJ Old = nullptr;
  std::uint32_t* Bits = nullptr;
};

struct TIconGuess {
  std::string Kind; // "hand", "question", "exclamation", "asterisk", "none" or "unknown"
  double Score = 0.0;
};

TIconGuess GuessIconOnce(HWND iconControl) {
  RECT rect{};
  GetWindowRect(iconControl, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0 || width > 256 || height > 256) {
    return {"unknown", 0.0};
  }
  TScreenShot screen(width, height);
  if (!screen.Valid()) {
    return {"unknown", 0.0};
  }
  HDC screenDc = GetDC(nullptr);
  BitBlt(screen.Get(), 0, 0, width, height, screenDc, rect.left, rect.top, SRCCOPY);
  ReleaseDC(nullptr, screenDc);

  const TNamed<LPCWSTR> candidates[] = {{"hand", IDI_HAND},
                                        {"question", IDI_QUESTION},
                                        {"exclamation", IDI_EXCLAMATION},
                                        {"asterisk", IDI_ASTERISK}};
  TIconGuess best{"unknown", 0.0};
  for (const auto& candidate : candidates) {
    HICON icon = LoadIconW(nullptr, candidate.Value); // shared: not destroyed
    TScreenShot onBlack(width, height);
    TScreenShot onWhite(width, height);
    if (icon == nullptr || !onBlack.Valid() || !onWhite.Valid()) {
      continue;
    }
    onBlack.Fill(RGB(0, 0, 0));
    onWhite.Fill(RGB(255, 255, 255));
    DrawIconEx(onBlack.Get(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    DrawIconEx(onWhite.Get(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    GdiFlush();
    long opaque = 0;
    long same = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::uint32_t drawn = onBlack.Pixel(x, y);
        if (drawn != onWhite.Pixel(x, y)) {
          continue; // transparent or blended: depends on the background
        }
        ++opaque;
        if (screen.Pixel(x, y) == drawn) {
          ++same;
        }
      }
    }
    const double score = opaque > 0 ? static_cast<double>(same) / static_cast<double>(opaque) : 0.0;
    if (score > best.Score) {
      best = {candidate.Name, score};
    }
  }
  if (best.Score < 0.9) {
    best.Kind = "unknown";
  }
  return best;
}

TIconGuess GuessIcon(HWND box) {
  HWND control = GetDlgItem(box, IdIcon);
  if (control == nullptr || !IsWindowVisible(control)) {
    return {"none", 1.0};
  }
  DWORD_PTR icon = 0;
  for (int attempt = 0; attempt < 30 && icon == 0; ++attempt) {
    if (attempt > 0) {
      Sleep(100); // a slow program may not have set it yet
    }
    if (!SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_NORMAL, ReplyMs, &icon)) {
      icon = 0;
    }
  }
  if (icon == 0) {
    return {"none", 1.0};
  }
  // The box may not be painted yet: look again for a while.
  TIconGuess guess;
  for (int attempt = 0; attempt < 40; ++attempt) {
    guess = GuessIconOnce(control);
    if (guess.Kind != "unknown") {
      break;
    }
    Sleep(50);
  }
  return guess;
}

// A window as it is on the screen, saved as a 32-bit bitmap file.
bool SaveWindowPicture(HWND window, const std::wstring& path) {
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096) {
    return false;
  }
  TScreenShot shot(width, height);
  if (!shot.Valid()) {
    return false;
  }
  HDC screenDc = GetDC(nullptr);
  BitBlt(shot.Get(), 0, 0, width, height, screenDc, rect.left, rect.top, SRCCOPY);
  ReleaseDC(nullptr, screenDc);
  GdiFlush();
  std::string pixels;
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t p = shot.Pixel(x, y);
      const char bgra[4] = {static_cast<char>(p & 0xFF), static_cast<char>((p >> 8) & 0xFF),
                            static_cast<char>((p >> 16) & 0xFF), 0};
      pixels.append(bgra, 4);
    }
  }
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 32;
  info.biCompression = BI_RGB;
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
  std::string data(reinterpret_cast<const char*>(&file), sizeof file);
  data.append(reinterpret_cast<const char*>(&info), sizeof info);
  data += pixels;
  return WriteWholeFile(path, data, false);
}

// A running process whose image is the file given; its handle, or null.
HANDLE FindProcess(const std::wstring& image, DWORD& id) {
  THandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  if (!snapshot.Valid() || !Process32FirstW(snapshot.Get(), &entry)) {
    return nullptr;
  }
  do {
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID);
    if (process == nullptr) {
      continue;
    }
    wchar_t path[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH + 1;
    if (QueryFullProcessImageNameW(process, 0, path, &size) &&
        CompareStringOrdinal(path, -1, image.c_str(), -1, TRUE) == CSTR_EQUAL &&
        WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
      id = entry.th32ProcessID;
      return process;
    }
    CloseHandle(process);
  } while (Process32NextW(snapshot.Get(), &entry));
  return nullptr;
}

// --- Boxes ------------------------------------------------------------------------------

struct TBox {
  long long AtMs = 0;
  std::wstring Caption;
  std::wstring Text;
  TIconGuess Icon;
  std::vector<std::pair<int, std::wstring>> Buttons; // id and label, left to right
  std::string Answer;                                // scripted answer, "" if none was left
  int Pressed = 0;
  bool Unexpected = false;
  std::string Note;
  bool Controls6 = false; // its buttons are of the common controls 6, not the system's own
};

struct TFinder {
  DWORD ProcessId;
  const std::set<HWND>* Done;
  HWND Found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
  auto* finder = reinterpret_cast<TFinder*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != finder->ProcessId || !IsWindowVisible(window) || finder->Done->count(window) != 0 ||
      ClassName(window) != L"#32770") {
    return TRUE;
  }
  finder->Found = window;
  return FALSE;
}

TBox ReadBox(HWND box) {
  TBox read;
  wchar_t caption[1024] = {};
  GetWindowTextW(box, caption, 1024);
  read.Caption = caption;
  if (HWND text = GetDlgItem(box, IdText)) {
    // A slow (emulated) program may not have its text in place yet: look again for a while.
    read.Text = ControlText(text);
    for (int attempt = 0; attempt < 30 && read.Text.empty(); ++attempt) {
      Sleep(100);
      read.Text = ControlText(text);
    }
  }
  std::vector<std::pair<int, std::pair<int, std::wstring>>> buttons;
  for (const auto& button : ButtonNames) {
    HWND control = GetDlgItem(box, button.Id);
    if (control != nullptr && IsWindowVisible(control)) {
      // The system's own button class, as this program (which has no manifest) sees it; the
      // common controls 6 register one of their own.
      WNDCLASSEXW system{};
      system.cbSize = sizeof system;
      static const ATOM systemButton =
          static_cast<ATOM>(GetClassInfoExW(nullptr, L"Button", &system));
      read.Controls6 = GetClassWord(control, GCW_ATOM) != systemButton;
      RECT rect{};
      GetWindowRect(control, &rect);
      buttons.push_back({rect.left, {button.Id, ControlText(control)}});
    }
  }
  std::stable_sort(buttons.begin(), buttons.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& button : buttons) {
    read.Buttons.push_back(button.second);
  }
  read.Icon = GuessIcon(box);
  return read;
}

bool HasButton(const TBox& box, int id) {
  return std::any_of(box.Buttons.begin(), box.Buttons.end(),
                     [id](const auto& button) { return button.first == id; });
}

int FallbackButton(const TBox& box) {
  for (const int id : {IDOK, IDCANCEL, IDNO}) {
    if (HasButton(box, id)) {
      return id;
    }
  }
  return box.Buttons.empty() ? IDCANCEL : box.Buttons.front().first;
}

std::string BoxJson(const TBox& box) {
  std::string json = "{\"at_ms\": " + std::to_string(box.AtMs);
  json += ", \"caption\": " + JsonQuote(box.Caption);
  json += ", \"text\": " + JsonQuote(box.Text);
  json += ", \"icon\": " + JsonQuote(box.Icon.Kind);
  json += ", \"icon_score\": " + std::to_string(box.Icon.Score);
  json += ", \"buttons\": [";
  for (std::size_t i = 0; i < box.Buttons.size(); ++i) {
    json += (i ? ", " : "") + JsonQuote(ButtonName(box.Buttons[i].first));
  }
  json += "], \"button_labels\": [";
  for (std::size_t i = 0; i < box.Buttons.size(); ++i) {
    json += (i ? ", " : "") + JsonQuote(box.Buttons[i].second);
  }
  json += "], \"answer\": " + JsonQuote(box.Answer);
  json += ", \"pressed\": " + JsonQuote(ButtonName(box.Pressed));
  json += std::string(", \"unexpected\": ") + (box.Unexpected ? "true" : "false");
  json += std::string(", \"controls6\": ") + (box.Controls6 ? "true" : "false");
  json += ", \"note\": " + JsonQuote(box.Note) + "}";
  return json;
}

void SetXlsAssociation(const std::wstring& command, std::string& note) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L".xls");
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L"AqTest.Workbook");
  if (command.empty()) {
    return;
  }
  const std::wstring progId = L"AqTest.Workbook";
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, L".xls", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) == ERROR_SUCCESS) {
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(progId.c_str()),
                   static_cast<DWORD>((progId.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  } else {
    note += "cannot set .xls; ";
  }
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, L"AqTest.Workbook\\shell\\open\\command", 0, nullptr, 0,
                      KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  } else {
    note += "cannot set the open command; ";
  }
}

// Wine's own service processes (the desktop, the console host, ...) may be started from
// inside the job; they are not the run's and are not waited for.
bool IsWineService(const std::wstring& path) {
  std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
  CharLowerW(name.data());
  for (const wchar_t* service :
       {L"explorer.exe", L"conhost.exe", L"services.exe", L"winedevice.exe", L"plugplay.exe",
        L"svchost.exe", L"rpcss.exe", L"winemenubuilder.exe", L"wineboot.exe"}) {
    if (name == service) {
      return true;
    }
  }
  return false;
}

// Image paths of the processes still running in the job, Wine's services left out.
std::vector<std::wstring> RunningInJob(HANDLE job) {
  std::vector<std::wstring> running;
  std::vector<char> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + 256 * sizeof(ULONG_PTR));
  auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
  if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, list,
                                 static_cast<DWORD>(buffer.size()), nullptr)) {
    return running;
  }
  for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
    THandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                static_cast<DWORD>(list->ProcessIdList[i])));
    if (!process.Valid() || WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0) {
      continue;
    }
    wchar_t path[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH + 1;
    QueryFullProcessImageNameW(process.Get(), 0, path, &size);
    if (!IsWineService(path)) {
      running.push_back(path);
    }
  }
  return running;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    return 2;
  }
  std::string jobText;
  if (!ReadWholeFile(argv[1], jobText)) {
    return 3;
  }
  auto job = ParseJob(jobText);
  const std::wstring resultPath = Widen(job["result"]);
  if (resultPath.empty()) {
    return 4;
  }
  const DWORD started = GetTickCount();
  const auto elapsed = [started] { return static_cast<long long>(GetTickCount() - started); };
  long long timeoutMs = 20000;
  if (!job["timeout_ms"].empty()) {
    timeoutMs = std::stoll(job["timeout_ms"]);
  }

  // Have Wine's desktop running before the job exists, so that it is not started inside it.
  GetDesktopWindow();

  std::string note;
  if (job.count("assoc_xls") != 0) {
    SetXlsAssociation(Widen(job["assoc_xls"]), note);
  }

  const std::wstring program = Widen(job["program"]);
  std::wstring cmdline = Widen(job["cmdline"]);
  const std::wstring cwd = Widen(job["cwd"]);
  const std::vector<std::string> answers = SplitAnswers(job["answers"]);

  // Another program's write handle on a file, as an editor would keep it.
  THandle held;
  std::string holdError;
  if (!job["hold_write"].empty()) {
    held.Reset(CreateFileW(Widen(job["hold_write"]).c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held.Valid()) {
      holdError = "cannot hold the file open: " + std::to_string(GetLastError());
    }
  }

  THandle jobObject(CreateJobObjectW(nullptr, nullptr));
  if (jobObject.Valid()) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(jobObject.Get(), JobObjectExtendedLimitInformation, &limits,
                            sizeof limits);
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  cmdline.push_back(L'\0');
  const bool shellOpen = job["shell_open"] == "1";
  BOOL created = FALSE;
  if (holdError.empty() && shellOpen) {
    // Opened as the desktop would open it, from another current folder.
    if (!cwd.empty()) {
      SetCurrentDirectoryW(cwd.c_str());
    }
    SHELLEXECUTEINFOW shell{};
    shell.cbSize = sizeof shell;
    shell.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    shell.lpFile = program.c_str();
    shell.lpDirectory = cwd.empty() ? nullptr : cwd.c_str();
    shell.nShow = SW_SHOWNORMAL;
    created = ShellExecuteExW(&shell);
    if (created && shell.hProcess != nullptr) {
      info.hProcess = shell.hProcess;
      info.dwProcessId = GetProcessId(shell.hProcess);
    } else if (created) {
      const std::wstring image = Widen(job["wait_for"]);
      for (int attempt = 0; attempt < 200 && info.hProcess == nullptr && !image.empty();
           ++attempt) {
        info.hProcess = FindProcess(image, info.dwProcessId);
        if (info.hProcess == nullptr) {
          Sleep(50);
        }
      }
      created = info.hProcess != nullptr;
    }
  } else if (holdError.empty()) {
    created = CreateProcessW(program.empty() ? nullptr : program.c_str(), cmdline.data(), nullptr,
                             nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                             cwd.empty() ? nullptr : cwd.c_str(), &startup, &info);
  }
  const std::wstring shotPath = Widen(job["shot"]);
  std::vector<TBox> boxes;
  bool timedOut = false;
  bool inJob = false;
  DWORD exitCode = 0;
  std::vector<std::wstring> leftInJob;
  std::string error;
  if (!holdError.empty()) {
    error = holdError;
  } else if (!created) {
    error = std::string(shellOpen ? "ShellExecuteEx" : "CreateProcess") +
            " failed: " + std::to_string(GetLastError());
  } else {
    THandle process(info.hProcess);
    THandle thread(info.hThread);
    inJob = jobObject.Valid() && AssignProcessToJobObject(jobObject.Get(), process.Get());
    if (!shellOpen) {
      ResumeThread(thread.Get());
    }

    std::set<HWND> done;
    std::size_t nextAnswer = 0;
    for (;;) {
      TFinder finder{info.dwProcessId, &done, nullptr};
      EnumWindows(FindBox, reinterpret_cast<LPARAM>(&finder));
      if (finder.Found != nullptr) {
        HWND window = finder.Found;
        Sleep(100); // let the box finish laying itself out
        TBox box = ReadBox(window);
        box.AtMs = elapsed();
        if (!shotPath.empty() && boxes.empty() && !SaveWindowPicture(window, shotPath)) {
          box.Note = "the picture could not be saved";
        }
        int press = 0;
        if (nextAnswer < answers.size()) {
          box.Answer = answers[nextAnswer++];
          const auto id = ButtonId(box.Answer);
          if (id && HasButton(box, *id)) {
            press = *id;
          } else {
            box.Note = "the scripted answer is not a button of this box";
            box.Unexpected = true;
          }
        } else {
          box.Unexpected = true;
        }
        if (press == 0) {
          press = FallbackButton(box);
        }
        box.Pressed = press;
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(press, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, press)));
        done.insert(window);
        boxes.push_back(box);
        for (int wait = 0; wait < 100 && IsWindow(window) && IsWindowVisible(window); ++wait) {
          Sleep(20);
        }

        continue;
      }
      if (WaitForSingleObject(process.Get(), 50) == WAIT_OBJECT_0) {
        break;
      }
      if (elapsed() > timeoutMs) {
        timedOut = true;
        TerminateProcess(process.Get(), 259);
        WaitForSingleObject(process.Get(), 5000);
        break;
      }
    }
    GetExitCodeProcess(process.Get(), &exitCode);
    // Programs the run started (the opened workbook's application) may still be busy.
    if (inJob) {
      while (!(leftInJob = RunningInJob(jobObject.Get())).empty() && elapsed() <= timeoutMs) {
        Sleep(50);
      }
      if (!leftInJob.empty()) {
        TerminateJobObject(jobObject.Get(), 259);
      }
    }
  }

  std::string json = "{\n  \"started\": ";
  json += created ? "true" : "false";
  json += ",\n  \"error\": " + JsonQuote(error);
  json += ",\n  \"exit_code\": " + std::to_string(exitCode);
  json += std::string(",\n  \"timed_out\": ") + (timedOut ? "true" : "false");
  json += std::string(",\n  \"in_job\": ") + (inJob ? "true" : "false");
  json += ",\n  \"left_in_job\": [";
  for (std::size_t i = 0; i < leftInJob.size(); ++i) {
    json += (i ? ", " : "") + JsonQuote(leftInJob[i]);
  }
  json += "]";
  json += ",\n  \"answers_left\": " + std::to_string(answers.size() - std::min(answers.size(), [&] {
                                                       std::size_t used = 0;
                                                       for (const auto& box : boxes) {
                                                         used += box.Answer.empty() ? 0 : 1;
                                                       }
                                                       return used;
                                                     }()));
  json += ",\n  \"elapsed_ms\": " + std::to_string(elapsed());
  json += ",\n  \"note\": " + JsonQuote(note);
  json += ",\n  \"boxes\": [";
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    json += (i ? ",\n    " : "\n    ") + BoxJson(boxes[i]);
  }
  json += boxes.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return WriteWholeFile(resultPath, json, false) ? 0 : 5;
}
