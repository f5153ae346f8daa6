#pragma once

#include <string>

// The local date and time of now as "dd-mm-yyyy, hh:nn:ss" (hours 00-23).
// The two separators between hours, minutes and seconds are the system's
// regional time separator (Windows: the user's locale, ':' when it cannot be
// read; POSIX: ':').
std::string LocalTimeStamp();

struct TLocalTime {
  int Year;
  int Month;
  int Day;
  int Hour;
  int Minute;
  int Second;
};

// The stamp of a given moment; LocalTimeStamp() is this for now.
inline std::string FormatTimeStamp(const TLocalTime& t, const std::string& timeSeparator) {
  auto two = [](int value) {
    return std::string{static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
  };
  std::string year = std::to_string(t.Year);
  if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
  return two(t.Day) + "-" + two(t.Month) + "-" + year + ", " + two(t.Hour) + timeSeparator + two(t.Minute) +
         timeSeparator + two(t.Second);
}
