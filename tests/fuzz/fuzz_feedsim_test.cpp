// Fuzzing the simulator's stdin commands and command line: arbitrary words are refused with a
// message, and whatever is accepted lies within the documented ranges.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "client/wire.h"
#include "feedsim/sim_options.h"
#include "feedsim/sim_packets.h"
#include "tests/fuzz/fuzz_support.h"

namespace kestrune::feedsim {
namespace {

using fuzz::Rng;

const char* const kCommands[] = {
    "help",      "clients",    "stream", "pause",  "resume",   "time",   "speed", "session",
    "send-date", "type",       "alert",  "sample", "burst",    "empty",  "raw",   "bad-crc",
    "oversize",  "disconnect", "close",  "split",  "coalesce", "refuse", "crc",   "quit"};

// Words that are often right, often nearly right.
std::string argumentWord(Rng& rng) {
  static const char* const kWords[] = {"on",
                                       "off",
                                       "0",
                                       "1",
                                       "3",
                                       "7",
                                       "10",
                                       "11",
                                       "134",
                                       "135",
                                       "136",
                                       "1000",
                                       "1001",
                                       "65535",
                                       "65536",
                                       "-0",
                                       "-1",
                                       "+1",
                                       "09:30:00",
                                       "23:59:59",
                                       "24:00:00",
                                       "-0:-0:-0",
                                       "12312026",
                                       "13012026",
                                       "00002026",
                                       "0a1B",
                                       "0g",
                                       "abc",
                                       "99999999999999999999"};
  if (rng.chance(4)) {
    std::string w = fuzz::randomText(rng, 12);
    for (char& c : w)
      if (c == ' ' || c == '\t') c = '_';
    return w;
  }
  return kWords[rng.below(sizeof kWords / sizeof kWords[0])];
}

bool isTwoDigits(std::string_view s) {
  return s.size() == 2 && s[0] >= '0' && s[0] <= '9' && s[1] >= '0' && s[1] <= '9';
}

TEST(FuzzSimCommand, ArbitraryLines) {
  Rng rng(0xFEED0001);
  const std::set<std::string> known(std::begin(kCommands), std::end(kCommands));
  const int n = fuzz::iterations(30000);
  int accepted = 0;
  for (int it = 0; it < n; ++it) {
    std::string line;
    if (rng.chance(4)) {
      line = fuzz::randomText(rng, 80);
    } else {
      line = std::string(rng.below(3), rng.chance(2) ? ' ' : '\t');
      line += kCommands[rng.below(sizeof kCommands / sizeof kCommands[0])];
      const int args = static_cast<int>(rng.below(5));
      for (int a = 0; a < args; ++a) {
        line += std::string(1 + rng.below(2), rng.chance(3) ? '\t' : ' ');
        line += argumentWord(rng);
      }
      if (rng.chance(4)) line += rng.chance(2) ? "\r" : "  ";
    }
    SimCommand command;
    std::string error = "stale";
    const bool ok = parseCommand(line, command, error);
    if (!ok) {
      // Only a blank line is refused silently.
      ASSERT_EQ(error.empty(), command.name.empty()) << "'" << line << "'";
      continue;
    }
    ++accepted;
    ASSERT_TRUE(error.empty());
    ASSERT_TRUE(known.count(command.name)) << command.name;
    for (const std::string& a : command.args) {
      ASSERT_FALSE(a.empty());
      ASSERT_EQ(a.find_first_of(" \t"), std::string::npos);
    }
    ASSERT_EQ(command.line.find_first_not_of(" \t"), 0u);
    // The text argument starts at the second argument and runs to the end of the line.
    if (command.args.size() >= 2) {
      ASSERT_EQ(command.rest.rfind(command.args[1], 0), 0u) << "'" << line << "'";
      ASSERT_TRUE(command.line.ends_with(command.rest));
    }
    if (command.name == "time") {
      const std::string& t = command.args.at(0);
      ASSERT_TRUE(isTwoDigits(t.substr(0, 2)) && isTwoDigits(t.substr(3, 2)) &&
                  isTwoDigits(t.substr(6, 2)))
          << "accepted clock '" << t << "'";
    }
  }
  EXPECT_GT(accepted, n / 20);
}

const char* const kOptions[] = {"--port",           "--user",        "--password",
                                "--date",           "--start",       "--speed",
                                "--seed",           "--stream",      "--crc",
                                "--single-session", "--refuse",      "--bad-crc-after",
                                "--oversize-after", "--close-after", "--disconnect-after",
                                "--split",          "--split-pause", "--coalesce",
                                "--burst",          "--date-every",  "--status-every",
                                "--text-every",     "--help",        "-h",
                                "--replay-day",     "--bogus"};

TEST(FuzzSimOptions, ArbitraryCommandLines) {
  Rng rng(0xFEED0002);
  const int n = fuzz::iterations(20000);
  int accepted = 0;
  for (int it = 0; it < n; ++it) {
    std::vector<std::string> args = {"kestrune-feedsim"};
    const int count = static_cast<int>(rng.below(6));
    for (int a = 0; a < count; ++a) {
      std::string name = kOptions[rng.below(sizeof kOptions / sizeof kOptions[0])];
      if (rng.chance(3)) {
        args.push_back(name + "=" + argumentWord(rng));
      } else {
        args.push_back(name);
        if (!rng.chance(10)) args.push_back(argumentWord(rng));
      }
    }
    if (rng.chance(10)) args.push_back(fuzz::randomText(rng, 20));
    SimOptions o;
    std::string error;
    if (!parseOptions(args, o, error)) {
      ASSERT_FALSE(error.empty());
      continue;
    }
    ++accepted;
    ASSERT_GE(o.port, 0);
    ASSERT_LE(o.port, 65535);
    ASSERT_GE(o.speed, 1);
    ASSERT_LE(o.speed, kMaxSpeed);
    ASSERT_GE(o.startSecond, 0);
    ASSERT_LT(o.startSecond, 86400);
    ASSERT_TRUE(o.refuse == 0 || o.refuse == 7 || o.refuse == 10 || o.refuse == 11);
    ASSERT_TRUE(isTradingDate(o.date)) << o.date;
    ASSERT_GE(o.splitPiece, 0);
    ASSERT_LE(o.splitPiece, 134);
    ASSERT_GE(o.badCrcAfter, 0);
    ASSERT_GE(o.burst, 0);
    ASSERT_FALSE(o.user.empty());
    ASSERT_FALSE(o.password.empty());
  }
  EXPECT_GT(accepted, n / 20);
}

// A clock is accepted exactly when it is two digits, ':', two digits, ':', two digits within the
// day.
TEST(FuzzSimOptions, ClockAndDateTexts) {
  Rng rng(0xFEED0003);
  const int n = fuzz::iterations(50000);
  for (int it = 0; it < n; ++it) {
    std::string t = argumentWord(rng);
    if (rng.chance(2)) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(rng.range(0, 25)),
                    static_cast<int>(rng.range(0, 61)), static_cast<int>(rng.range(0, 61)));
      t = buf;
      std::vector<char> v(t.begin(), t.end());
      if (rng.chance(2)) fuzz::mutate(rng, v, 12);
      t.assign(v.begin(), v.end());
    }
    const bool shape = t.size() == 8 && t[2] == ':' && t[5] == ':' && isTwoDigits(t.substr(0, 2)) &&
                       isTwoDigits(t.substr(3, 2)) && isTwoDigits(t.substr(6, 2));
    const int want = shape && std::stoi(t.substr(0, 2)) < 24 && std::stoi(t.substr(3, 2)) < 60 &&
                             std::stoi(t.substr(6, 2)) < 60
                         ? std::stoi(t.substr(0, 2)) * 3600 + std::stoi(t.substr(3, 2)) * 60 +
                               std::stoi(t.substr(6, 2))
                         : -1;
    ASSERT_EQ(parseClock(t), want) << "'" << t << "'";

    std::string d = fuzz::randomText(rng, 10);
    if (rng.chance(2)) d = std::to_string(rng.range(10000000, 99999999));
    bool digits = d.size() == 8;
    for (char c : d) digits = digits && c >= '0' && c <= '9';
    // Never anything but eight digits; of those, only days of the calendar.
    if (!digits || std::stoi(d.substr(0, 2)) > 12) {
      ASSERT_FALSE(isTradingDate(d)) << "'" << d << "'";
    }
  }
}

// Serving a recorded day: whatever text a server's record body decodes to (and so whatever line
// a monitor records) goes out again in one packet whose body decodes to exactly that text; any
// other text is either carried exactly the same way or refused.
TEST(FuzzSimPackets, RecordedTextsTravelBackUnchanged) {
  Rng rng(0xFEED0004);
  const int n = fuzz::iterations(20000);
  for (int it = 0; it < n; ++it) {
    const int file = static_cast<int>(rng.below(6));
    const std::uint16_t type = file < 3 ? MSG_ALERT_RECORD : MSG_CHART_SAMPLE;
    std::string text;
    const bool received = rng.chance(2);
    if (received) {
      std::string body;
      const std::size_t length = rng.below(kMaxBodyLength + 1);
      for (std::size_t i = 0; i < length; ++i) {
        body.push_back(rng.chance(8) ? ';' : static_cast<char>(1 + rng.below(255)));
      }
      text = decodeRecordBody(type, body);
    } else {
      text = fuzz::randomText(rng, 260);
    }
    Packet packet;
    const bool sent = recordedPacket(file, text, rng.chance(2), packet);
    ASSERT_TRUE(sent || !received) << "iteration " << it;
    if (!sent) continue;
    ASSERT_LE(packet.size(), kMaxPacketLength);
    const PacketHeader h = PacketHeader::parse(packet.data());
    ASSERT_EQ(h.type, type);
    ASSERT_EQ(h.kind, file % 3 + 1);
    ASSERT_EQ(h.length, packet.size());
    const std::string body(packet.begin() + kHeaderSize, packet.end());
    ASSERT_EQ(decodeRecordBody(type, body), text) << "iteration " << it;
  }
}

}  // namespace
}  // namespace kestrune::feedsim
