// The simulated trading day: how busy the market is at each second, the per-second
// exchange counts of the three charts, and the alert records of the three lists.
// Everything is a pure function of (seed, kind, second of day).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "feedsim/sim_random.h"

namespace kestrune::feedsim {

constexpr int kExchangeCount = 16;
constexpr int kSecondsPerDay = 86400;
constexpr int kMarketOpen = 9 * 3600 + 30 * 60;  // 09:30:00
constexpr int kMarketClose = 16 * 3600;          // 16:00:00

// Record kinds as they travel in the packet header's kind field.
constexpr int kListingChart = 1;
constexpr int kReportingChart = 2;
constexpr int kAlgoChart = 3;
constexpr int kRawList = 1;
constexpr int kSeqList = 2;
constexpr int kAlgoList = 3;

struct Ticker {
  const char* symbol;
  double price;   // level around which the day's quotes move
  int listing;    // index into the exchange table
  double weight;  // how often the symbol shows up in alerts
};

std::span<const Ticker> tickerUniverse();

// One-letter participant code of an exchange table index (0..15), as shown in "Exg".
char exchangeLetter(int exchange);

// Relative market activity at a second of the day: 0 overnight, a little before the open,
// an opening burst at 09:30, a midday lull and a closing surge before 16:00.
double activityShape(int second);

// "hhmmss" of a second of the day.
std::string timeText(int second);

struct ChartSample {
  int kind = 0;
  int second = 0;
  std::array<int, kExchangeCount> counts{};
};

ChartSample chartSample(uint64_t seed, int kind, int second);

// The decoded text of a sample: "hhmmss|c0|c1|...|c15|".
std::string sampleText(const ChartSample& sample);

struct AlertRecord {
  int kind = 0;
  int second = 0;
  int offsetMs = 0;    // arrival inside its second
  int count = 0;       // the value compared with the list threshold
  std::string plain;   // symbol, exchange and description fields, each ending in "|"
  std::string packed;  // the numeric fields, sent in the packed-digit code
  std::string text() const { return plain + packed; }
};

// One alert of a kind at a second, drawn from `rng`.
AlertRecord makeAlert(uint64_t seed, SimRandom& rng, int kind, int second);

// The alerts of one kind that arrive during a second (Poisson arrivals), by arrival time.
std::vector<AlertRecord> alertsForSecond(uint64_t seed, int kind, int second);

// Mean alerts per second of each kind at full activity.
double alertRate(int kind);

}  // namespace kestrune::feedsim
