#include "platform/FakePlatform.h"

#include "platform/Texts.h"

#include <algorithm>
#include <cstring>

namespace {
char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
} // namespace

TFindEntry TFakeProcess::FindFirst(const std::string& name) {
  Searched.push_back(name);
  if (RealSearch)
    return TOsSlot<TOsProcess>::Native().FindFirst(name);
  TFindEntry e;
  e.Unknown = static_cast<int>(Searched.size()) - 1 == FindFails;
  if (e.Unknown)
    return e;
  auto it = Fs.find(name);
  if (it == Fs.end())
    return e;
  e.Found = true;
  e.Folder = it->second.Folder;
  return e;
}

int TFakeProcess::CompareText(const std::string& a, const std::string& b, bool ignoreCase) {
  // ASCII letters fold; every other byte compares as it is.
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(ignoreCase ? Lower(a[i]) : a[i]);
    unsigned char y = static_cast<unsigned char>(ignoreCase ? Lower(b[i]) : b[i]);
    if (x != y)
      return x < y ? 1 : 3;
  }
  return a.size() == b.size() ? 2 : (a.size() < b.size() ? 1 : 3);
}

int TFakeUi::ShowBox(const std::string& text, const std::string& caption, unsigned flags,
                     const TBoxWords&) {
  Boxes.push_back({text, caption, flags});
  if (Answers.empty())
    return 1;
  int a = Answers.front();
  Answers.pop_front();
  return a;
}

int TFakeShell::ShellCopy(const std::string& from, const std::string& to) {
  Copies.push_back({from, to});
  if (CopyFails != 0)
    return CopyFails;
  auto src = Fs.find(from);
  if (src == Fs.end() || src->second.Folder)
    return 2; // ERROR_FILE_NOT_FOUND, as the shell reports a missing source
  if (Fs.count(to) && Fs[to].ReadOnly)
    return 5;
  if (Fs.count(to)) // never over a file: one that another start made counts as made
    return Fs[to].Folder ? 80 : 0;
  Fs[to] = TFakeEntry{src->second.Content};
  return 0;
}

std::int32_t TFakeShell::ShellOpen(const std::string& file, int showCommand) {
  Opens.push_back({file, showCommand});
  if (!Fs.count(file))
    return 2;
  return OpenResult;
}

int TFakeLocale::LocaleInfo(std::uint32_t, std::uint32_t item, char* buffer, int size) {
  auto it = Items.find(item);
  if (it == Items.end())
    return 0;
  const int n = static_cast<int>(it->second.size()) + 1;
  if (n > size)
    return 0;
  std::memcpy(buffer, it->second.c_str(), static_cast<std::size_t>(n));
  return n;
}

std::vector<std::string> TFakeLocale::CalendarInfo(std::uint32_t, std::uint32_t,
                                                   std::uint32_t calType) {
  auto it = Calendar.find(calType);
  return it == Calendar.end() ? std::vector<std::string>{} : it->second;
}

bool TFakeLocale::AltCalendarDate(std::uint32_t, std::uint16_t, std::uint16_t, std::uint16_t,
                                  const std::string& picture, std::string& out) {
  auto it = AltDates.find(picture);
  if (it == AltDates.end())
    return false;
  out = it->second;
  return true;
}

TModuleInfo TFakeFailure::ModuleOf(const void* address) {
  TModuleInfo module;
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  module.Found = at >= ModuleBase && at - ModuleBase < ModuleSize;
  module.Base = module.Found ? ModuleBase : 0;
  const std::size_t n = std::min(Process.ModulePath.size(), sizeof module.Path - 1);
  std::memcpy(module.Path, Process.ModulePath.data(), n);
  module.Path[n] = '\0';
  return module;
}

TFakePlatform::TFakePlatform() {
  TOsSlot<TOsProcess>::Use(&Process);
  TOsSlot<TOsUi>::Use(&Ui);
  TOsSlot<TOsShell>::Use(&Shell);
  TOsSlot<TOsLocale>::Use(&Locale);
  TOsSlot<TOsFailure>::Use(&Failure);
  TOsSlot<TOsFiles>::Use(&Files);
  TOsSlot<TOsAutostart>::Use(&Autostart);
  TOsSlot<TOsRunLock>::Use(&RunLock);
}

TFakePlatform::~TFakePlatform() {
  TOsSlot<TOsProcess>::Use(nullptr);
  TOsSlot<TOsUi>::Use(nullptr);
  TOsSlot<TOsShell>::Use(nullptr);
  TOsSlot<TOsLocale>::Use(nullptr);
  TOsSlot<TOsFailure>::Use(nullptr);
  TOsSlot<TOsFiles>::Use(nullptr);
  TOsSlot<TOsAutostart>::Use(nullptr);
  TOsSlot<TOsRunLock>::Use(nullptr);
}
