#include <time.h>

#include "service/local_time.h"

std::string LocalTimeStamp() {
  time_t now = ::time(nullptr);
  struct tm local {};
  // A clock beyond what localtime can express must not cost the record; it
  // gets the epoch's stamp instead.
  if (::localtime_r(&now, &local) == nullptr) return FormatTimeStamp(TLocalTime{1970, 1, 1, 0, 0, 0}, ":");
  return FormatTimeStamp(
      TLocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec},
      ":");
}
