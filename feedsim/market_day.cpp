#include "feedsim/market_day.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kestrune::feedsim {
namespace {

// Ticker universe: well-known US names with a rough price level, their listing market
// and a popularity weight (busy names raise alerts far more often).
constexpr int NQ = 0, NY = 1, PC = 3, BZ = 4, AM = 9, NM = 14, SM = 15;
constexpr Ticker kTickers[] = {
    {"AAPL", 189.50, NM, 9.0}, {"MSFT", 412.20, NM, 8.0},  {"NVDA", 121.40, NM, 9.5},
    {"AMZN", 183.70, NM, 7.0}, {"GOOGL", 171.30, NM, 5.0}, {"GOOG", 172.60, NM, 3.0},
    {"META", 498.10, NM, 6.0}, {"TSLA", 248.30, NM, 9.0},  {"AMD", 158.20, NM, 6.0},
    {"INTC", 31.40, NM, 4.0},  {"NFLX", 642.80, NM, 3.0},  {"AVGO", 165.90, NM, 3.5},
    {"QCOM", 198.50, NM, 2.5}, {"CSCO", 48.70, NM, 2.5},   {"ADBE", 521.30, NM, 2.0},
    {"PYPL", 64.20, NM, 2.5},  {"SBUX", 79.60, NM, 2.0},   {"COST", 868.40, NM, 1.5},
    {"PEP", 170.20, NM, 1.5},  {"MU", 129.80, NM, 3.0},    {"SMCI", 842.10, NM, 3.5},
    {"PLTR", 24.30, NQ, 5.0},  {"SOFI", 7.12, NQ, 3.0},    {"MARA", 19.80, NQ, 3.0},
    {"RIOT", 10.40, NQ, 2.5},  {"COIN", 226.50, NQ, 3.0},  {"HOOD", 18.90, NQ, 2.0},
    {"RIVN", 11.30, NQ, 2.5},  {"LCID", 2.84, NQ, 2.0},    {"JPM", 198.40, NY, 4.0},
    {"BAC", 39.20, NY, 4.5},   {"WFC", 58.60, NY, 2.5},    {"C", 62.30, NY, 2.5},
    {"GS", 458.10, NY, 1.5},   {"MS", 97.40, NY, 1.5},     {"XOM", 114.30, NY, 3.0},
    {"CVX", 158.70, NY, 2.0},  {"KO", 62.80, NY, 2.0},     {"PFE", 28.60, NY, 3.0},
    {"JNJ", 147.90, NY, 1.5},  {"WMT", 67.20, NY, 2.5},    {"DIS", 101.30, NY, 2.5},
    {"BA", 182.40, NY, 3.0},   {"F", 12.10, NY, 4.0},      {"GM", 45.80, NY, 2.0},
    {"T", 17.60, NY, 2.5},     {"VZ", 40.10, NY, 2.0},     {"NKE", 93.50, NY, 2.0},
    {"UBER", 70.20, NY, 3.0},  {"SNAP", 15.40, NY, 2.5},   {"CCL", 15.90, NY, 2.5},
    {"AAL", 14.20, NM, 2.0},   {"NIO", 5.60, NY, 3.0},     {"BABA", 78.40, NY, 2.5},
    {"SPY", 528.70, PC, 10.0}, {"IWM", 204.60, PC, 5.0},   {"GLD", 215.30, PC, 2.0},
    {"XLF", 41.20, PC, 2.5},   {"XLE", 92.70, PC, 2.0},    {"EEM", 42.60, PC, 2.0},
    {"TQQQ", 61.80, NM, 5.0},  {"SQQQ", 9.45, NM, 4.5},    {"QQQ", 452.30, NM, 8.0},
    {"SOXL", 52.40, PC, 4.0},  {"TZA", 16.70, PC, 1.5},    {"SPXL", 128.90, PC, 1.5},
    {"UVXY", 24.80, BZ, 2.5},  {"SVXY", 48.30, BZ, 1.0},   {"GSAT", 1.32, AM, 1.0},
    {"NAK", 0.68, AM, 0.8},    {"UEC", 7.45, AM, 1.0},     {"SENS", 0.94, AM, 0.7},
    {"BBAI", 2.31, NY, 1.2},   {"SNDL", 2.05, SM, 1.5},    {"MULN", 0.42, SM, 1.5},
    {"FFIE", 0.31, SM, 1.2},   {"GNS", 1.54, SM, 0.8},     {"CLOV", 1.19, SM, 1.0},
    {"OCGN", 1.62, SM, 0.9},   {"AEHL", 3.87, SM, 0.6},    {"NKLA", 0.74, SM, 1.3},
};
constexpr int kTickerCount = static_cast<int>(std::size(kTickers));

constexpr char kExchangeLetters[kExchangeCount + 1] = "QNBPZICWMAKJYXTS";

// Share of each exchange (table order) in the counts of each chart. Listing counts sit on
// the listing markets; reporting and algo counts spread over every trading venue.
constexpr double kListingMix[kExchangeCount] = {0.10,  0.30,  0.002, 0.08, 0.02,  0.002,
                                                0.001, 0.002, 0.001, 0.04, 0.002, 0.002,
                                                0.002, 0.002, 0.30,  0.16};
constexpr double kReportingMix[kExchangeCount] = {0.19, 0.11, 0.03, 0.09, 0.12, 0.02, 0.005, 0.015,
                                                  0.01, 0.02, 0.10, 0.05, 0.06, 0.02, 0.08,  0.02};
constexpr double kAlgoMix[kExchangeCount] = {0.22,  0.08, 0.02, 0.10, 0.15, 0.02, 0.005, 0.01,
                                             0.005, 0.01, 0.14, 0.05, 0.08, 0.02, 0.05,  0.02};

const double* chartMix(int kind) {
  switch (kind) {
    case kListingChart:
      return kListingMix;
    case kAlgoChart:
      return kAlgoMix;
    default:
      return kReportingMix;
  }
}

// Stocks per second over all exchanges at full activity.
double chartPeak(int kind) {
  switch (kind) {
    case kListingChart:
      return 1300.0;
    case kAlgoChart:
      return 380.0;
    default:
      return 1500.0;
  }
}

// Random streams, kept apart so that adding one never shifts another.
constexpr uint64_t kChartStream = 10;
constexpr uint64_t kAlertStream = 100;
constexpr uint64_t kChartWobbleStream = 1000;
constexpr uint64_t kPriceStream = 5000;

// Smooth noise in [-1, 1]: random knots every `period` seconds, cosine-blended between.
double smoothNoise(uint64_t seed, uint64_t stream, int t, int period) {
  int k = t / period;
  double f = static_cast<double>(t % period) / period;
  double a = SimRandom(seed, stream, static_cast<uint64_t>(k)).uniform() * 2.0 - 1.0;
  double b = SimRandom(seed, stream, static_cast<uint64_t>(k) + 1).uniform() * 2.0 - 1.0;
  double w = (1.0 - std::cos(3.141592653589793 * f)) / 2.0;
  return a + (b - a) * w;
}

int pickWeighted(SimRandom& rng, const double* weights, int n) {
  double total = 0.0;
  for (int i = 0; i < n; ++i) total += weights[i];
  double x = rng.uniform() * total;
  for (int i = 0; i < n; ++i) {
    x -= weights[i];
    if (x < 0.0) return i;
  }
  return n - 1;
}

const Ticker& pickTicker(SimRandom& rng, int* index) {
  static const std::vector<double> weights = [] {
    std::vector<double> w;
    for (const Ticker& t : kTickers) w.push_back(t.weight);
    return w;
  }();
  *index = pickWeighted(rng, weights.data(), kTickerCount);
  return kTickers[*index];
}

constexpr const char* kAlgoDescriptions[] = {
    "Quote Stuffing",    "Layering",       "Spoofing",          "Momentum Ignition",
    "Quote Flickering",  "Pinging",        "Order Book Fade",   "Quote Matching",
    "Latency Arbitrage", "Rebate Capture", "Liquidity Probing", "Smoking",
};

std::string bboText(uint64_t seed, SimRandom& rng, int tickerIndex, int second) {
  const Ticker& t = kTickers[tickerIndex];
  uint64_t stream = kPriceStream + static_cast<uint64_t>(tickerIndex);
  double drift = 0.02 * smoothNoise(seed, stream, second, 1800) +
                 0.004 * smoothNoise(seed, stream + 1000, second, 60);
  long bidCents = std::lround(t.price * (1.0 + drift) * 100.0);
  if (bidCents < 1) bidCents = 1;
  long spreadCents = 1 + rng.below(t.price > 100.0 ? 5 : 2);
  long askCents = bidCents + spreadCents;
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%ld.%02ld-%ld.%02ld", bidCents / 100, bidCents % 100,
                askCents / 100, askCents % 100);
  return buf;
}

int heavyTailCount(SimRandom& rng, double xmin, int cap) {
  double x = rng.pareto(xmin, 2.0);
  return x >= cap ? cap : static_cast<int>(x);
}

}  // namespace

std::span<const Ticker> tickerUniverse() { return kTickers; }

char exchangeLetter(int exchange) {
  return exchange >= 0 && exchange < kExchangeCount ? kExchangeLetters[exchange] : '?';
}

double activityShape(int second) {
  const double t = second;
  if (second < 4 * 3600 || second >= 20 * 3600) return 0.0;
  if (second < kMarketOpen) {
    // Pre-market: thin, slowly waking up, with a ramp in the last five minutes.
    double u = (t - 4 * 3600) / (kMarketOpen - 4 * 3600);
    double ramp = second >= kMarketOpen - 300 ? (t - (kMarketOpen - 300)) / 300.0 : 0.0;
    return 0.02 + 0.06 * u * u + 0.07 * ramp;
  }
  if (second < kMarketClose) {
    double sinceOpen = t - kMarketOpen;
    double toClose = kMarketClose - t;
    double burst = 0.70 * std::exp(-sinceOpen / 900.0);
    double morning = 0.25 * std::exp(-sinceOpen / 5400.0);
    double surge = 0.25 * std::exp(-toClose / 2400.0) + 0.45 * std::exp(-toClose / 300.0);
    double lunch = 0.06 * std::exp(-std::pow((t - 45900.0) / 3600.0, 2.0));
    return 0.30 + burst + morning + surge - lunch;
  }
  // After hours: fading away.
  return 0.02 + 0.10 * std::exp(-(t - kMarketClose) / 1800.0);
}

std::string timeText(int second) {
  if (second < 0) second = 0;
  if (second >= kSecondsPerDay) second = kSecondsPerDay - 1;
  char buf[8];
  std::snprintf(buf, sizeof(buf), "%02d%02d%02d", second / 3600, second / 60 % 60, second % 60);
  return buf;
}

ChartSample chartSample(uint64_t seed, int kind, int second) {
  ChartSample s;
  s.kind = kind;
  s.second = second;
  const double* mix = chartMix(kind);
  const double level = chartPeak(kind) * activityShape(second);
  SimRandom rng(seed, kChartStream + static_cast<uint64_t>(kind), static_cast<uint64_t>(second));
  // Now and then one venue flares up for a second (a burst of quoting algorithms).
  int spikeAt = -1;
  double spikeFactor = 1.0;
  if (level > 0.0 && rng.uniform() < 0.004) {
    spikeAt = pickWeighted(rng, mix, kExchangeCount);
    spikeFactor = 2.5 + 2.5 * rng.uniform();
  }
  for (int e = 0; e < kExchangeCount; ++e) {
    uint64_t stream = kChartWobbleStream + static_cast<uint64_t>(kind) * 32 + e;
    double wobble = 1.0 + 0.25 * smoothNoise(seed, stream, second, 300) +
                    0.10 * smoothNoise(seed, stream + 16, second, 20);
    double mean = level * mix[e] * wobble * (e == spikeAt ? spikeFactor : 1.0);
    s.counts[e] = static_cast<int>(rng.poisson(mean));
  }
  return s;
}

std::string sampleText(const ChartSample& sample) {
  std::string text = timeText(sample.second);
  text += '|';
  for (int c : sample.counts) {
    text += std::to_string(c);
    text += '|';
  }
  return text;
}

double alertRate(int kind) {
  switch (kind) {
    case kRawList:
      return 0.8;
    case kSeqList:
      return 1.6;
    case kAlgoList:
      return 0.6;
    default:
      return 0.0;
  }
}

AlertRecord makeAlert(uint64_t seed, SimRandom& rng, int kind, int second) {
  AlertRecord a;
  a.kind = kind;
  a.second = second;
  int tickerIndex = 0;
  const Ticker& t = pickTicker(rng, &tickerIndex);
  const std::string time = timeText(second);
  std::string bbo = bboText(seed, rng, tickerIndex, second);
  switch (kind) {
    case kRawList: {
      // symbol | listing market | time | count | BBO | trades
      a.count = heavyTailCount(rng, 1200.0, 250000);
      int trades = std::max(1, static_cast<int>(a.count * (0.004 + 0.03 * rng.uniform())));
      a.plain = std::string(t.symbol) + '|' + exchangeLetter(t.listing) + '|';
      a.packed = time + '|' + std::to_string(a.count) + '|' + bbo + '|' + std::to_string(trades);
      break;
    }
    case kSeqList: {
      // symbol | exchange | time | count | BBO | sequence length in ms (the monitor does not
      // show the last one, but it is part of the record and of the day's data file)
      a.count = heavyTailCount(rng, 200.0, 60000);
      int exchange = pickWeighted(rng, kReportingMix, kExchangeCount);
      int durationMs = 20 + static_cast<int>(rng.below(4980));
      a.plain = std::string(t.symbol) + '|' + exchangeLetter(exchange) + '|';
      a.packed =
          time + '|' + std::to_string(a.count) + '|' + bbo + '|' + std::to_string(durationMs);
      break;
    }
    default: {
      // symbol | exchange | description | time | count | BBO | sequence length in ms
      a.kind = kAlgoList;
      a.count = heavyTailCount(rng, 100.0, 30000);
      int exchange = pickWeighted(rng, kAlgoMix, kExchangeCount);
      const char* desc = kAlgoDescriptions[rng.below(std::size(kAlgoDescriptions))];
      int durationMs = 20 + static_cast<int>(rng.below(4980));
      a.plain = std::string(t.symbol) + '|' + exchangeLetter(exchange) + '|' + desc + '|';
      a.packed =
          time + '|' + std::to_string(a.count) + '|' + bbo + '|' + std::to_string(durationMs);
      break;
    }
  }
  return a;
}

std::vector<AlertRecord> alertsForSecond(uint64_t seed, int kind, int second) {
  std::vector<AlertRecord> out;
  SimRandom rng(seed, kAlertStream + static_cast<uint64_t>(kind), static_cast<uint64_t>(second));
  uint32_t n = rng.poisson(alertRate(kind) * activityShape(second));
  out.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    int offset = static_cast<int>(rng.below(1000));
    AlertRecord a = makeAlert(seed, rng, kind, second);
    a.offsetMs = offset;
    out.push_back(std::move(a));
  }
  std::stable_sort(out.begin(), out.end(), [](const AlertRecord& x, const AlertRecord& y) {
    return x.offsetMs < y.offsetMs;
  });
  return out;
}

}  // namespace kestrune::feedsim
