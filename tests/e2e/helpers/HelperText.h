// Small shared pieces of the end-to-end helper programs: UTF-8 and UTF-16 conversion,
// JSON string quoting, whole-file reading and appending, an owning handle and a named constant.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace aqe2e {

// A constant of the platform with the name a helper's output gives it.
template <class T> struct TNamed {
  const char* Name;
  T Value;
};

inline std::wstring Widen(const std::string& text, UINT codePage = CP_UTF8) {
  if (text.empty()) {
    return {};
  }
  const int size =
      MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) {
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  }
  return wide;
}

inline std::string Narrow(const std::wstring& wide, UINT codePage = CP_UTF8) {
  if (wide.empty()) {
    return {};
  }
  const int size = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
  }
  return text;
}

// A JSON string literal for UTF-8 text; control characters become \u escapes.
inline std::string JsonQuote(const std::string& utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

inline std::string JsonQuote(const std::wstring& wide) {
  return JsonQuote(Narrow(wide));
}

// Owns a kernel handle; closes it when it goes.
class THandle {
public:
  THandle() = default;
  explicit THandle(HANDLE handle) : Handle(handle) {}
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  ~THandle() { Reset(); }
  void Reset(HANDLE handle = nullptr) {
    if (Handle != nullptr && Handle != INVALID_HANDLE_VALUE) {
      CloseHandle(Handle);
    }
    Handle = handle;
  }
  HANDLE Get() const { return Handle; }
  bool Valid() const { return Handle != nullptr && Handle != INVALID_HANDLE_VALUE; }

private:
  HANDLE Handle = nullptr;
};

inline bool ReadWholeFile(const std::wstring& path, std::string& content) {
  THandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    return false;
  }
  content.clear();
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    content.append(buffer, got);
  }
  return true;
}

// Writes (or, with append, adds to the end of) a file; true when every byte went out.
inline bool WriteWholeFile(const std::wstring& path, const std::string& content, bool append) {
  THandle file(CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    return false;
  }
  DWORD written = 0;
  return WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                   nullptr) &&
         written == content.size();
}

} // namespace aqe2e
