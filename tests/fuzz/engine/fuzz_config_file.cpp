// The Kestrune.cfg reader: any bytes, of any length, as the file. What it reads must save to a
// file that reads back to the very same settings.
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "settings/config_file.h"
#include "tests/fuzz/engine/fuzz_check.h"

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MonitorSettings settings;
  ChartColorTable colors;
  const ConfigReadResult result = parseConfig(std::span(data, size), settings, colors);
  KES_FUZZ_CHECK(result.opened);
  const std::vector<std::uint8_t> image = serializeConfig(settings, colors);
  KES_FUZZ_CHECK(image.size() == kConfigFileSize);

  MonitorSettings again;
  ChartColorTable againColors;
  const ConfigReadResult reread = parseConfig(image, again, againColors);
  KES_FUZZ_CHECK(reread.placementRead && reread.listFontRead && reread.chartFontRead);
  KES_FUZZ_CHECK(reread.version == kConfigVersion);
  KES_FUZZ_CHECK(serializeConfig(again, againColors) == image);
  return 0;
}
