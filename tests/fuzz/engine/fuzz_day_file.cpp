// The day-file reader: any bytes as one of the six files of a recorded day, read as replay reads
// it (one buffered pass over the open file), each line then split as the record it should be.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "alerts/alert_record.h"
#include "charts/chart_sample.h"
#include "recording/data_reader.h"
#include "tests/fuzz/engine/fuzz_check.h"

using namespace kestrune;

namespace {

// The lines of bytes split the plain way: at each line feed, NULs dropped, empty lines and
// lines over kMaxDataLine skipped.
std::vector<std::string> referenceLines(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines;
  std::string line;
  auto end = [&] {
    if (!line.empty() && line.size() <= kMaxDataLine) lines.push_back(line);
    line.clear();
  };
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      end();
    } else if (data[i] != '\0') {
      line.push_back(static_cast<char>(data[i]));
    }
  }
  end();
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int file = ::memfd_create("day-file", MFD_CLOEXEC);
  if (file < 0 || size == 0) return 0;
  // The first byte picks which of the six files it is.
  const int index = data[0] % 6;
  ++data;
  --size;
  if (::ftruncate(file, 0) != 0 || ::pwrite(file, data, size, 0) != static_cast<ssize_t>(size) ||
      ::lseek(file, 0, SEEK_SET) != 0) {
    return 0;
  }
  std::vector<std::string> got;
  const DataReadStats stats = readDataFile(::dup(file), [&](const char* text, std::size_t length) {
    KES_FUZZ_CHECK(length >= 1 && length <= kMaxDataLine);
    KES_FUZZ_CHECK(text[length] == '\0' && std::strlen(text) == length);
    got.emplace_back(text, length);
    if (index < 3) {
      AlertCells cells;
      splitAlertRecord(static_cast<AlertKind>(index), std::string_view(text, length), cells);
    } else {
      ChartSample sample;
      if (parseChartSample(text, sample, index == 5 ? kReplayAlgoCountChars : kSampleCountChars) ==
          SampleParse::Ok) {
        KES_FUZZ_CHECK(sample.secondOfDay >= 0 && sample.secondOfDay < 86400);
      }
    }
  });
  KES_FUZZ_CHECK(!stats.readError);
  KES_FUZZ_CHECK(stats.lines == got.size());
  KES_FUZZ_CHECK(got == referenceLines(data, size));
  return 0;
}
