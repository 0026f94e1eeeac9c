// The session library against the real feed simulator: login, records, faults and bursts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/qvs_hft.h"
#include "client/wire.h"
#include "tests/client/report_recorder.h"
#include "tests/support/feedsim_process.h"

namespace kestrune {
namespace {

const Report kSessionStart{8, 0, "12072026"};

std::vector<std::string> args(std::initializer_list<std::string> extra) {
  std::vector<std::string> a = {"--stream", "off", "--date", "12072026"};
  a.insert(a.end(), extra);
  return a;
}

class FeedsimSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    recorder.setHook(nullptr);
    QvS_HFT_SetStatusCallback(&recordStatus);
    ASSERT_EQ(QvS_HFT_SetTimeout(10, 1), 0);
    recorder.take();
  }
  void TearDown() override {
    QvS_HFT_Stop();
    recorder.take();
  }
  void login(FeedsimProcess& sim, const char* user = "demo") {
    ASSERT_TRUE(sim.ok()) << sim.error();
    ASSERT_EQ(QvS_HFT_SetUser(user, "demo", 2, "1.0.4"), 0);
    ASSERT_EQ(QvS_HFT_SetParms("127.0.0.1", sim.port()), 0);
    ASSERT_EQ(QvS_HFT_Start(), 0);
  }
  static std::vector<Report> onlyType(const std::vector<Report>& all, int type) {
    std::vector<Report> out;
    for (const Report& r : all)
      if (r.type == type) out.push_back(r);
    return out;
  }
};

TEST_F(FeedsimSessionTest, LogsInAndReceivesRecordsThatDecodeToTheirText) {
  FeedsimProcess sim(args({}));
  login(sim);
  ASSERT_FALSE(sim.waitForLine("login ok").empty());
  ASSERT_TRUE(recorder.waitForReport(kSessionStart));
  const std::string alert = "MSFT|Q|Big move|093015|3100|12.5";
  const std::string sample = "093015|1|2|3|4|5|6|7|8|9|10|11|12|13|14|15|16|136";
  ASSERT_FALSE(sim.command("alert 3 " + alert, "ok alert").empty());
  ASSERT_FALSE(sim.command("sample 2 " + sample, "ok sample").empty());
  ASSERT_TRUE(recorder.waitFor([](const std::vector<Report>& v) {
    return !v.empty() && v.back().type == MSG_CHART_SAMPLE;
  }));
  const auto reports = recorder.take();
  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(reports[0], kConnected);
  EXPECT_EQ(reports[1], kSessionStart);
  EXPECT_EQ(reports[2].type, 33);
  EXPECT_EQ(reports[2].kind, 3);
  EXPECT_EQ(decodeRecordBody(33, reports[2].text), alert);
  EXPECT_EQ(reports[3].kind, 2);
  EXPECT_EQ(decodeRecordBody(34, reports[3].text), sample);

  std::uint8_t result = 99;
  EXPECT_EQ(QvS_HFT_Ping(0, &result), 0);
  EXPECT_FALSE(sim.waitForLine("ping wait=0").empty());
}

TEST_F(FeedsimSessionTest, RefusedUserGetsBadUserReportsOnly) {
  FeedsimProcess sim(args({}));
  login(sim, "intruder");
  const Report bad7{7, 0, "BAD USERNAME - SHUTTING DOWN"};
  ASSERT_TRUE(recorder.waitForReport(bad7));
  EXPECT_EQ(QvS_HFT_Stop(), 0);
  EXPECT_EQ(recorder.take(), (std::vector<Report>{kConnected,
                                                  {21, 0, "BAD USERNAME - SHUTTING DOWN"},
                                                  bad7,
                                                  kDisconnectedText,
                                                  kLinkDown}));
}

TEST_F(FeedsimSessionTest, ServerDisconnectGivesOneLinkDown) {
  FeedsimProcess sim(args({}));
  login(sim);
  ASSERT_TRUE(recorder.waitForReport(kSessionStart));
  ASSERT_FALSE(sim.command("disconnect", "ok disconnect").empty());
  ASSERT_TRUE(recorder.waitForReport(kLinkDown));
  EXPECT_EQ(QvS_HFT_Stop(), 0);
  EXPECT_EQ(onlyType(recorder.take(), 20), (std::vector<Report>{kLinkDown, kLinkDown}));
}

TEST_F(FeedsimSessionTest, OversizedAndBadCheckValuePacketsEndTheLink) {
  for (const char* fault : {"oversize", "bad-crc"}) {
    FeedsimProcess sim(args({}));
    login(sim);
    ASSERT_TRUE(recorder.waitForReport(kSessionStart));
    ASSERT_FALSE(sim.command(fault, std::string("ok ") + fault).empty());
    ASSERT_TRUE(recorder.waitFor([](const std::vector<Report>& v) {
      return std::count(v.begin(), v.end(), kLinkDown) >= 2;
    })) << fault;
    EXPECT_EQ(QvS_HFT_Stop(), 0);
    EXPECT_EQ(onlyType(recorder.take(), 20), (std::vector<Report>(3, kLinkDown))) << fault;
  }
}

TEST_F(FeedsimSessionTest, SplitAndCoalescedBurstsArriveWholeAndInOrder) {
  for (const char* mode : {"split on 5 1", "coalesce 50"}) {
    FeedsimProcess sim(args({"--burst", "0"}));
    login(sim);
    ASSERT_TRUE(recorder.waitForReport(kSessionStart));
    ASSERT_FALSE(sim.command(mode, "ok").empty()) << mode;
    ASSERT_FALSE(sim.command("burst 300 1", "ok burst", 20000).empty()) << mode;
    ASSERT_FALSE(sim.command("type 22 end-of-burst", "ok type", 20000).empty()) << mode;
    ASSERT_TRUE(recorder.waitForReport({22, 0, "end-of-burst"}, 20000)) << mode;
    const auto alerts = onlyType(recorder.take(), 33);
    EXPECT_EQ(alerts.size(), 300u) << mode;
    for (const Report& r : alerts) {
      const std::string text = decodeRecordBody(33, r.text);
      EXPECT_GE(std::count(text.begin(), text.end(), '|'), 5) << mode << ": " << text;
    }
    QvS_HFT_Stop();
  }
}

}  // namespace
}  // namespace kestrune
