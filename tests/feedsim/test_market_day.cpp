// The simulated day: record texts as the list and chart intakes read them, their wire
// bodies, determinism per seed, the daily shape and the alert statistics.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "client/wire.h"
#include "feedsim/market_day.h"
#include "feedsim/sim_packets.h"

namespace kestrune::feedsim {
namespace {

// Fields as the intakes split them: separated by "|", also ending at a line feed or the end.
std::vector<std::string> fields(const std::string& text) {
  std::vector<std::string> out(1);
  for (char c : text) {
    if (c == '\n') break;
    if (c == '|')
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

bool allDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// "bid-ask" with two decimals each and bid below ask.
void expectBbo(const std::string& bbo) {
  auto dash = bbo.find('-');
  ASSERT_NE(dash, std::string::npos) << bbo;
  double bid = std::atof(bbo.substr(0, dash).c_str());
  double ask = std::atof(bbo.substr(dash + 1).c_str());
  EXPECT_GT(bid, 0.0) << bbo;
  EXPECT_LT(bid, ask) << bbo;
  EXPECT_EQ(bbo.substr(0, dash).size() - bbo.substr(0, dash).find('.'), 3u) << bbo;
}

int second(int h, int m, int s) { return h * 3600 + m * 60 + s; }

std::set<std::string> symbols() {
  std::set<std::string> out;
  for (const Ticker& t : tickerUniverse()) out.insert(t.symbol);
  return out;
}

std::vector<AlertRecord> alertsBetween(uint64_t seed, int kind, int from, int to) {
  std::vector<AlertRecord> out;
  for (int s = from; s < to; ++s) {
    auto more = alertsForSecond(seed, kind, s);
    out.insert(out.end(), more.begin(), more.end());
  }
  return out;
}

TEST(FeedsimRecords, AlertTextsCarryTheFieldsEachListReads) {
  const std::set<std::string> universe = symbols();
  const std::string letters = "QNBPZICWMAKJYXTS";
  const int t = second(10, 15, 7);
  for (int kind = kRawList; kind <= kAlgoList; ++kind) {
    auto alerts = alertsBetween(42, kind, t, t + 600);
    ASSERT_GT(alerts.size(), 50u) << "kind " << kind;
    for (const AlertRecord& a : alerts) {
      std::vector<std::string> f = fields(a.text());
      for (const std::string& field : f) EXPECT_LE(field.size(), 27u) << a.text();
      EXPECT_TRUE(universe.count(f[0])) << a.text();
      EXPECT_EQ(f[1].size(), 1u) << a.text();
      EXPECT_NE(letters.find(f[1]), std::string::npos) << a.text();
      const std::string time = timeText(a.second);
      if (kind == kRawList) {
        ASSERT_EQ(f.size(), 6u) << a.text();
        EXPECT_EQ(f[2], time);
        EXPECT_EQ(std::atoi(f[3].c_str()), a.count);
        expectBbo(f[4]);
        EXPECT_TRUE(allDigits(f[5])) << a.text();
      } else if (kind == kSeqList) {
        // Six fields like the server's, the sixth one the monitor does not show.
        ASSERT_EQ(f.size(), 6u) << a.text();
        EXPECT_EQ(f[2], time);
        EXPECT_EQ(std::atoi(f[3].c_str()), a.count);
        expectBbo(f[4]);
        EXPECT_TRUE(allDigits(f[5])) << a.text();
      } else {
        ASSERT_EQ(f.size(), 7u) << a.text();
        EXPECT_FALSE(f[2].empty());
        EXPECT_EQ(f[2].find_first_of("0123456789"), std::string::npos) << a.text();
        EXPECT_EQ(f[3], time);
        EXPECT_EQ(std::atoi(f[4].c_str()), a.count);
        expectBbo(f[5]);
        EXPECT_TRUE(allDigits(f[6])) << a.text();
      }
    }
  }
}

TEST(FeedsimRecords, AlertBodyIsPlainPrefixSemicolonAndPackedDigits) {
  for (int kind = kRawList; kind <= kAlgoList; ++kind) {
    for (const AlertRecord& a : alertsBetween(7, kind, second(9, 31, 0), second(9, 32, 0))) {
      std::string body = alertBody(a);
      auto semi = body.find(';');
      ASSERT_NE(semi, std::string::npos);
      EXPECT_EQ(body.substr(0, semi), a.plain);
      for (size_t i = semi + 1; i < body.size(); ++i) EXPECT_NE(body[i], '\0');
      EXPECT_EQ(decodeRecordBody(MSG_ALERT_RECORD, body), a.text());
      Packet p = alertPacket(a, true);
      EXPECT_LE(p.size(), kMaxPacketLength);
      EXPECT_TRUE(checkPacket(p.data(), p.size()));
      EXPECT_EQ(PacketHeader::parse(p.data()).kind, kind);
    }
  }
}

TEST(FeedsimRecords, SampleTextHasTimeAndSixteenCountsAndRoundTrips) {
  for (int kind = kListingChart; kind <= kAlgoChart; ++kind) {
    for (int s : {0, second(9, 30, 0), second(12, 0, 1), second(15, 59, 59), 86399}) {
      ChartSample sample = chartSample(3, kind, s);
      std::string text = sampleText(sample);
      std::vector<std::string> f = fields(text);
      ASSERT_EQ(f.size(), 18u) << text;  // time, 16 counts, and the empty tail after the last bar
      EXPECT_EQ(f[0], timeText(s));
      EXPECT_TRUE(f[17].empty());
      for (int e = 0; e < kExchangeCount; ++e) {
        EXPECT_TRUE(allDigits(f[e + 1])) << text;
        EXPECT_EQ(std::atoi(f[e + 1].c_str()), sample.counts[e]);
      }
      EXPECT_EQ(decodeRecordBody(MSG_CHART_SAMPLE, sampleBody(sample)), text);
      EXPECT_LE(samplePacket(sample, true).size(), kMaxPacketLength);
    }
  }
  EXPECT_EQ(timeText(0), "000000");
  EXPECT_EQ(timeText(86399), "235959");
  EXPECT_EQ(timeText(second(9, 30, 15)), "093015");
}

TEST(FeedsimDeterminism, SameSeedSameDayOtherSeedOtherDay) {
  const int from = second(9, 30, 0);
  for (int kind = 1; kind <= 3; ++kind) {
    bool samplesDiffer = false;
    for (int s = from; s < from + 120; ++s) {
      EXPECT_EQ(chartSample(11, kind, s).counts, chartSample(11, kind, s).counts);
      samplesDiffer |= chartSample(11, kind, s).counts != chartSample(12, kind, s).counts;
    }
    EXPECT_TRUE(samplesDiffer);
    auto a = alertsBetween(11, kind, from, from + 120);
    auto b = alertsBetween(11, kind, from, from + 120);
    auto c = alertsBetween(12, kind, from, from + 120);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(a[i].text(), b[i].text());
      EXPECT_EQ(a[i].offsetMs, b[i].offsetMs);
    }
    std::string ta, tc;
    for (auto& x : a) ta += x.text();
    for (auto& x : c) tc += x.text();
    EXPECT_NE(ta, tc);
  }
}

double meanTotal(int kind, int from, int to) {
  double sum = 0;
  for (int s = from; s < to; ++s)
    for (int c : chartSample(5, kind, s).counts) sum += c;
  return sum / (to - from);
}

TEST(FeedsimDailyShape, OpeningBurstMiddayLullClosingSurge) {
  EXPECT_EQ(activityShape(second(2, 0, 0)), 0.0);
  EXPECT_EQ(activityShape(second(21, 0, 0)), 0.0);
  EXPECT_LT(activityShape(second(9, 29, 59)), activityShape(second(9, 30, 0)) / 4);
  EXPECT_GT(activityShape(second(9, 30, 30)), 2 * activityShape(second(12, 30, 0)));
  EXPECT_GT(activityShape(second(15, 59, 30)), 2 * activityShape(second(12, 30, 0)));
  EXPECT_LT(activityShape(second(16, 30, 0)), activityShape(second(12, 30, 0)));

  for (int kind = 1; kind <= 3; ++kind) {
    double open = meanTotal(kind, second(9, 30, 0), second(9, 35, 0));
    double lunch = meanTotal(kind, second(12, 30, 0), second(12, 35, 0));
    double close = meanTotal(kind, second(15, 55, 0), second(16, 0, 0));
    double night = meanTotal(kind, second(2, 0, 0), second(2, 1, 0));
    EXPECT_GT(open, 2 * lunch) << "kind " << kind;
    EXPECT_GT(close, 1.5 * lunch) << "kind " << kind;
    EXPECT_GT(lunch, 20.0) << "kind " << kind;
    EXPECT_EQ(night, 0.0) << "kind " << kind;
  }
}

TEST(FeedsimDailyShape, ExchangeMixFollowsTheChart) {
  std::array<double, kExchangeCount> listing{}, reporting{};
  for (int s = second(10, 0, 0); s < second(10, 10, 0); ++s) {
    auto l = chartSample(9, kListingChart, s).counts;
    auto r = chartSample(9, kReportingChart, s).counts;
    for (int e = 0; e < kExchangeCount; ++e) {
      listing[e] += l[e];
      reporting[e] += r[e];
    }
  }
  // Listing counts sit on the listing markets (NYSE, NQNM); reporting spreads over venues
  // with NQEX the busiest.
  EXPECT_GT(listing[1], 10 * listing[6]);
  EXPECT_GT(listing[14], 10 * listing[10]);
  EXPECT_GT(reporting[0], reporting[1]);
  EXPECT_GT(reporting[10], reporting[6]);
  for (int e = 0; e < kExchangeCount; ++e) EXPECT_GE(reporting[e], 0.0);
}

TEST(FeedsimAlerts, PoissonRatesAndHeavyTailsPassTheDefaultThresholds) {
  const int from = second(10, 0, 0), to = second(11, 0, 0);
  const int thresholds[] = {0, 3000, 500, 250};
  for (int kind = 1; kind <= 3; ++kind) {
    double expected = 0;
    for (int s = from; s < to; ++s) expected += alertRate(kind) * activityShape(s);
    auto alerts = alertsBetween(21, kind, from, to);
    EXPECT_NEAR(alerts.size(), expected, 5 * std::sqrt(expected)) << "kind " << kind;
    size_t over = 0;
    int largest = 0;
    for (const AlertRecord& a : alerts) {
      over += a.count >= thresholds[kind];
      largest = std::max(largest, a.count);
    }
    double share = static_cast<double>(over) / alerts.size();
    EXPECT_GT(share, 0.05) << "kind " << kind;
    EXPECT_LT(share, 0.4) << "kind " << kind;
    EXPECT_GT(largest, 4 * thresholds[kind]) << "kind " << kind;  // a heavy tail
  }
  // Arrivals inside a second come in time order.
  for (int s = from; s < from + 300; ++s) {
    auto alerts = alertsForSecond(21, kSeqList, s);
    for (size_t i = 1; i < alerts.size(); ++i)
      EXPECT_LE(alerts[i - 1].offsetMs, alerts[i].offsetMs);
  }
}

TEST(FeedsimPackets, TextCutToOnePacketAndSpoiledCheckValueIsRejected) {
  Packet p = textPacket(MSG_STATUS, std::string(300, 'a'), true);
  EXPECT_EQ(p.size(), kMaxPacketLength);
  EXPECT_EQ(p.back(), 0);
  EXPECT_TRUE(checkPacket(p.data(), p.size()));

  Packet date = textPacket(MSG_SESSION_START, "12072026", true);
  EXPECT_EQ(date.size(), kHeaderSize + 9);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(date.data()) + kHeaderSize), "12072026");

  for (bool protect : {false, true}) {
    Packet bad = textPacket(MSG_STATUS, "x", protect);
    spoilCheckValue(bad);
    EXPECT_NE(PacketHeader::parse(bad.data()).crc, 0u);
    EXPECT_FALSE(checkPacket(bad.data(), bad.size()));
  }
  Packet big = oversizePacket(false);
  EXPECT_EQ(PacketHeader::parse(big.data()).length, 200u);
  EXPECT_TRUE(PacketHeader::parse(big.data()).tooLong());
}

}  // namespace
}  // namespace kestrune::feedsim
