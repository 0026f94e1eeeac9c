// The record splitters: an alert record into the cells of its list, a chart sample into its time
// and counts. The first byte picks the splitter, the rest is the decoded record text.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "alerts/alert_record.h"
#include "charts/chart_sample.h"
#include "tests/fuzz/engine/fuzz_check.h"

using namespace kestrune;

namespace {

void splitAlert(AlertKind kind, std::string_view text) {
  AlertCells cells;
  cells.set(0, "stale");  // a reused row must not keep old cells
  splitAlertRecord(kind, text, cells);
  for (int c = 0; c < kMaxAlertColumns; ++c) {
    KES_FUZZ_CHECK(cells.length[c] <= kAlertFieldMax);
    KES_FUZZ_CHECK(cells.text[c][cells.length[c]] == '\0');
    KES_FUZZ_CHECK(std::strlen(cells.text[c]) == cells.length[c]);
    if (c >= alertColumnCount(kind)) KES_FUZZ_CHECK(cells.length[c] == 0);
  }
  // The count that picks the row's colour, read as the intake reads it.
  [[maybe_unused]] const std::int32_t count = parseAlertCount(cells.cell(alertCountColumn(kind)));
}

void splitSample(const std::string& text, int countChars) {
  ChartSample sample;
  if (parseChartSample(text.c_str(), sample, countChars) != SampleParse::Ok) return;
  // Only a time of the day may come back Ok: the second addresses a slot of the day's series.
  KES_FUZZ_CHECK(sample.hour >= 0 && sample.hour < 24);
  KES_FUZZ_CHECK(sample.minute >= 0 && sample.minute < 60);
  KES_FUZZ_CHECK(sample.second >= 0 && sample.second < 60);
  KES_FUZZ_CHECK(sample.secondOfDay == sample.hour * 3600 + sample.minute * 60 + sample.second);
  KES_FUZZ_CHECK(std::strlen(sample.timeText) == 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 4) {
    case 0:
    case 1:
    case 2:
      splitAlert(static_cast<AlertKind>(data[0] % 4), text);
      break;
    default:
      splitSample(text, data[0] & 0x80 ? kReplayAlgoCountChars : kSampleCountChars);
      break;
  }
  return 0;
}
