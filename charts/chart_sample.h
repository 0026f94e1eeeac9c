// Reading one chart sample: "hhmmss|c0|c1|...|c15|", the decoded record text of a type-34
// message and one line of data files 4 to 6.
#pragma once

#include <cstdint>

#include "charts/chart_series.h"

namespace kestrune {

constexpr int kSampleTimeFieldChars = 27;  // the time field keeps at most 27 characters
constexpr int kSampleCountChars = 24;      // a count field keeps at most 24 characters
constexpr int kReplayAlgoCountChars = 14;  // ... and 14 when an algo chart file is replayed

struct ChartSample {
  std::int32_t hour = 0;
  std::int32_t minute = 0;
  std::int32_t second = 0;
  std::int32_t secondOfDay = 0;
  char timeText[9] = {};  // "hh:mm:ss" from the first six characters
  double counts[kChartExchangeCount] = {};
};

enum class SampleParse {
  Ok,
  BadTime,      // shorter than six characters, or not a time of day 00:00:00 .. 23:59:59
  TooFewCounts  // fewer than 16 count fields
};

// Splits the text at "|"; a field also ends at a line feed or at the end of the text. A count
// reads like atoi (leading digits, 0 if none); a field longer than countChars is cut first.
// Only an Ok sample may be stored: anything else would address a slot outside the day.
SampleParse parseChartSample(const char* text, ChartSample& out,
                             int countChars = kSampleCountChars);

// atoi over at most len characters: optional blanks and sign, then leading digits; 0 if none.
// Saturates instead of overflowing.
std::int64_t leadingInteger(const char* s, int len);

}  // namespace kestrune
