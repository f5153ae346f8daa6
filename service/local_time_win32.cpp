#include <windows.h>

#include "service/local_time.h"

namespace {

// Read on every call so that a change of the user's settings shows in the
// next record without a restart.
std::string TimeSeparator() {
  char buffer[16] = {};
  int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, buffer, static_cast<int>(sizeof buffer));
  if (n <= 1) return ":";
  return std::string(buffer, static_cast<std::size_t>(n - 1));
}

}  // namespace

std::string LocalTimeStamp() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return FormatTimeStamp(TLocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond},
                         TimeSeparator());
}
