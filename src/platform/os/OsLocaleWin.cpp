// The clock and the regional settings on Windows.
#include "platform/os/OsLocale.h"

#include <windows.h>

namespace {

// EnumCalendarInfoA reports to a callback without a user value: the texts go to one
// collector at a time, chosen under a lock for the length of the enumeration.
SRWLOCK CollectorLock = SRWLOCK_INIT;
std::vector<std::string>* Collector = nullptr;

class TCollectorUse {
public:
  explicit TCollectorUse(std::vector<std::string>& texts) {
    AcquireSRWLockExclusive(&CollectorLock);
    Collector = &texts;
  }
  ~TCollectorUse() {
    Collector = nullptr;
    ReleaseSRWLockExclusive(&CollectorLock);
  }
  TCollectorUse(const TCollectorUse&) = delete;
  TCollectorUse& operator=(const TCollectorUse&) = delete;
};

BOOL CALLBACK CollectCalendarText(LPSTR text) {
  if (Collector == nullptr || text == nullptr)
    return FALSE;
  try {
    Collector->emplace_back(text);
  } catch (...) {
    return FALSE; // no failure may pass through the system's stack frames
  }
  return TRUE;
}

class TWinLocale : public TOsLocale {
public:
  TLocalTime LocalTime() override {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return TLocalTime{st.wYear,   st.wMonth,  st.wDay,         st.wHour,
                      st.wMinute, st.wSecond, st.wMilliseconds};
  }

  std::uint32_t ThreadLocale() override { return GetThreadLocale(); }

  int LocaleInfo(std::uint32_t lcid, std::uint32_t item, char* buffer, int size) override {
    return GetLocaleInfoA(lcid, item, buffer, size);
  }

  std::vector<std::string> CalendarInfo(std::uint32_t lcid, std::uint32_t calendar,
                                        std::uint32_t calType) override {
    std::vector<std::string> texts;
    TCollectorUse use(texts);
    if (!EnumCalendarInfoA(&CollectCalendarText, lcid, calendar, calType))
      texts.clear();
    return texts;
  }

  bool AltCalendarDate(std::uint32_t lcid, std::uint16_t year, std::uint16_t month,
                       std::uint16_t day, const std::string& picture, std::string& out) override {
    SYSTEMTIME st{};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    const int needed =
        GetDateFormatA(lcid, DATE_USE_ALT_CALENDAR, &st, picture.c_str(), nullptr, 0);
    if (needed <= 0)
      return false;
    std::string buffer(static_cast<std::size_t>(needed), '\0');
    const int n =
        GetDateFormatA(lcid, DATE_USE_ALT_CALENDAR, &st, picture.c_str(), buffer.data(), needed);
    if (n <= 0)
      return false;
    buffer.resize(static_cast<std::size_t>(n - 1));
    out = std::move(buffer);
    return true;
  }
};

} // namespace

template <> TOsLocale& TOsSlot<TOsLocale>::Native() {
  static TWinLocale instance;
  return instance;
}
