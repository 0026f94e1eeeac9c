// The one test of a trading date, shared by the programs that name, list and serve a day's files.
#pragma once

#include <string_view>

namespace kestrune {

// True only for exactly eight decimal digits (MMDDYYYY). This is what may name a day's data
// files: anything else could name a file outside the Data folder or mix several days into one
// file. The digits are not checked against the calendar, so every date a server has ever sent
// still names, lists and serves the same files.
constexpr bool isTradingDate(std::string_view date) {
  if (date.size() != 8) return false;
  for (char c : date) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace kestrune
