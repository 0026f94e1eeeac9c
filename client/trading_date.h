// The one test of a trading date, shared by the programs that name, list and serve a day's files.
#pragma once

#include <string_view>

namespace kestrune {

// True only for eight decimal digits MMDDYYYY that name a day of the calendar. This is what may
// name a day's data files: anything else could name a file outside the Data folder, mix several
// days into one file, or list a day that never was.
constexpr bool isTradingDate(std::string_view date) {
  if (date.size() != 8) return false;
  for (char c : date) {
    if (c < '0' || c > '9') return false;
  }
  auto two = [&](int at) { return (date[at] - '0') * 10 + (date[at + 1] - '0'); };
  const int month = two(0);
  const int day = two(2);
  const int year = two(4) * 100 + two(6);
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

}  // namespace kestrune
