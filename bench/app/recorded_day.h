// A full recorded day for the benchmarks: the simulator's records, decoded by the monitor's own
// decoder, appended through the data files.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/wire.h"
#include "feedsim/market_day.h"
#include "feedsim/sim_packets.h"
#include "monitor/session_library.h"
#include "recording/data_files.h"

namespace kestrune {

inline constexpr const char* kRecordedDayDate = "12062026";
inline constexpr int kRecordedDayAlertsPerList = 100000;
inline constexpr std::uint64_t kRecordedDaySeed = 1;

// Writes a full day the way the live path does: the simulator's records, decoded by the
// monitor's own decoder, appended through the data files. 3 x 86,400 samples, 300,000 alerts.
inline void writeRecordedDay(const std::string& baseDir) {
  DataFiles files(baseDir);
  if (files.openDataFiles(kRecordedDayDate) != OpenResult::Opened) std::abort();
  char text[256];
  for (int kind = 1; kind <= 3; ++kind) {
    for (int s = 0; s < feedsim::kSecondsPerDay; ++s) {
      const std::string body = feedsim::sampleBody(feedsim::chartSample(kRecordedDaySeed, kind, s));
      if (!decodeRecord(MSG_CHART_SAMPLE, body.c_str(), text, sizeof text)) std::abort();
      files.writeDataLine(3 + kind - 1, text);
    }
  }
  // The alerts are spread over the trading hours, in the order they would arrive.
  const int session = feedsim::kMarketClose - feedsim::kMarketOpen;
  for (int kind = 1; kind <= 3; ++kind) {
    feedsim::SimRandom rng(kRecordedDaySeed, 1000 + kind, 0);
    for (int i = 0; i < kRecordedDayAlertsPerList; ++i) {
      const int second =
          feedsim::kMarketOpen +
          static_cast<int>(static_cast<long long>(i) * session / kRecordedDayAlertsPerList);
      const std::string body =
          feedsim::alertBody(feedsim::makeAlert(kRecordedDaySeed, rng, kind, second));
      if (!decodeRecord(MSG_ALERT_RECORD, body.c_str(), text, sizeof text)) std::abort();
      files.writeDataLine(kind - 1, text);
    }
  }
  files.closeDataFiles();
}

}  // namespace kestrune
