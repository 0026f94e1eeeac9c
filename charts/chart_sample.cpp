#include "charts/chart_sample.h"

#include <cstdio>

namespace kestrune {

namespace {

constexpr std::int64_t kCountLimit = 2147483647;  // counts are 32-bit integers on the wire

bool endsField(char c) { return c == '\0' || c == '|' || c == '\n'; }

}  // namespace

std::int64_t leadingInteger(const char* s, int len) {
  int i = 0;
  while (i < len && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\v' || s[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < len && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  std::int64_t value = 0;
  for (; i < len && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > kCountLimit) value = kCountLimit;
  }
  return negative ? -value : value;
}

SampleParse parseChartSample(const char* text, ChartSample& out, int countChars) {
  if (text == nullptr) return SampleParse::BadTime;
  const char* p = text;

  // Field 1: the time of day.
  int timeLen = 0;
  while (!endsField(p[timeLen])) ++timeLen;
  const char* timeField = p;
  if (timeLen > kSampleTimeFieldChars) timeLen = kSampleTimeFieldChars;
  if (timeLen < 6) return SampleParse::BadTime;
  const std::int64_t hour = leadingInteger(timeField, 2);
  const std::int64_t minute = leadingInteger(timeField + 2, 2);
  const std::int64_t second = leadingInteger(timeField + 4, 2);
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return SampleParse::BadTime;
  }

  while (!endsField(*p)) ++p;
  // Fields 2..17: the 16 counts.
  int fields = 0;
  while (fields < kChartExchangeCount && *p == '|') {
    ++p;
    int len = 0;
    while (!endsField(p[len])) ++len;
    out.counts[fields] =
        static_cast<double>(leadingInteger(p, len < countChars ? len : countChars));
    ++fields;
    p += len;
  }
  if (fields < kChartExchangeCount) return SampleParse::TooFewCounts;

  out.hour = static_cast<std::int32_t>(hour);
  out.minute = static_cast<std::int32_t>(minute);
  out.second = static_cast<std::int32_t>(second);
  out.secondOfDay = out.hour * 3600 + out.minute * 60 + out.second;
  std::snprintf(out.timeText, sizeof(out.timeText), "%c%c:%c%c:%c%c", timeField[0], timeField[1],
                timeField[2], timeField[3], timeField[4], timeField[5]);
  return SampleParse::Ok;
}

}  // namespace kestrune
