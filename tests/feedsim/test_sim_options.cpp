// Options and scripted commands of the simulator: defaults, limits, and refusals of bad input.
#include <gtest/gtest.h>

#include "feedsim/sim_options.h"

namespace kestrune::feedsim {
namespace {

bool parse(std::vector<std::string> args, SimOptions& o, std::string& error) {
  args.insert(args.begin(), "kestrune-feedsim");
  return parseOptions(args, o, error);
}

TEST(FeedsimOptions, DefaultsAndEveryOptionInBothSpellings) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(parse({}, o, error)) << error;
  EXPECT_EQ(o.port, 7405);
  EXPECT_EQ(o.user, "demo");
  EXPECT_EQ(o.password, "demo");
  EXPECT_EQ(o.startSecond, 9 * 3600 + 25 * 60);
  EXPECT_EQ(o.speed, 1);
  EXPECT_FALSE(o.stopOnEof);  // the demo feeds /dev/null and must keep serving
  EXPECT_TRUE(o.stream);
  EXPECT_TRUE(isTradingDate(o.date)) << o.date;  // today

  SimOptions p;
  ASSERT_TRUE(parse({"--port",
                     "0",
                     "--user=ann",
                     "--password",
                     "pw1",
                     "--date",
                     "12062026",
                     "--start=15:59:00",
                     "--speed",
                     "1000",
                     "--seed",
                     "99",
                     "--stream",
                     "off",
                     "--refuse",
                     "10",
                     "--crc=off",
                     "--single-session=on",
                     "--stop-on-eof",
                     "on",
                     "--bad-crc-after",
                     "3",
                     "--oversize-after",
                     "4",
                     "--close-after",
                     "5",
                     "--disconnect-after",
                     "6",
                     "--split",
                     "2",
                     "--split-pause",
                     "0",
                     "--coalesce",
                     "8",
                     "--burst",
                     "100",
                     "--date-every",
                     "60",
                     "--status-every",
                     "30",
                     "--text-every",
                     "600"},
                    p, error))
      << error;
  EXPECT_EQ(p.port, 0);
  EXPECT_EQ(p.user, "ann");
  EXPECT_EQ(p.password, "pw1");
  EXPECT_EQ(p.date, "12062026");
  EXPECT_EQ(p.startSecond, 15 * 3600 + 59 * 60);
  EXPECT_EQ(p.speed, 1000);
  EXPECT_EQ(p.seed, 99u);
  EXPECT_FALSE(p.stream);
  EXPECT_EQ(p.refuse, 10);
  EXPECT_FALSE(p.crc);
  EXPECT_TRUE(p.singleSession);
  EXPECT_TRUE(p.stopOnEof);
  EXPECT_EQ(p.badCrcAfter, 3);
  EXPECT_EQ(p.oversizeAfter, 4);
  EXPECT_EQ(p.closeAfter, 5);
  EXPECT_EQ(p.disconnectAfter, 6);
  EXPECT_EQ(p.splitPiece, 2);
  EXPECT_EQ(p.splitPauseMs, 0);
  EXPECT_EQ(p.coalesce, 8);
  EXPECT_EQ(p.burst, 100);
  EXPECT_EQ(p.dateEvery, 60);
  EXPECT_EQ(p.statusEvery, 30);
  EXPECT_EQ(p.textEvery, 600);
}

TEST(FeedsimOptions, BadValuesAreRefusedWithAMessage) {
  const std::vector<std::vector<std::string>> bad = {
      {"--speed", "0"},        {"--speed", "1001"},    {"--speed", "fast"},
      {"--port", "70000"},     {"--date", "13012026"}, {"--date", "1206202"},
      {"--start", "24:00:00"}, {"--start", "9:30:00"}, {"--refuse", "8"},
      {"--stream", "maybe"},   {"--user", ""},         {"--password", "a b"},
      {"--split", "135"},      {"--bogus", "1"},       {"--port"},
  };
  for (const auto& args : bad) {
    SimOptions o;
    std::string error;
    EXPECT_FALSE(parse(args, o, error)) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
  // A recorded day needs its folder and a date, which is also the session date.
  SimOptions o;
  std::string error;
  EXPECT_FALSE(parse({"--replay-day", "Data"}, o, error));
  EXPECT_FALSE(parse({"--replay-day", "Data", "13012026"}, o, error));
  ASSERT_TRUE(parse({"--replay-day", "Data", "12062026", "--date", "01022027"}, o, error));
  EXPECT_EQ(o.date, "12062026");
}

// A minus sign before a zero is no digit: "-0:-0:-0" is no clock, "-0" no port or count.
TEST(FeedsimOptions, NegativeZeroIsRefused) {
  EXPECT_EQ(parseClock("-0:-0:-0"), -1);
  EXPECT_EQ(parseClock("-0:00:00"), -1);
  EXPECT_EQ(parseClock("00:00:00"), 0);
  for (const char* option : {"--port", "--seed", "--split", "--burst"}) {
    SimOptions o;
    std::string error;
    EXPECT_FALSE(parse({option, "-0"}, o, error)) << option;
  }
  SimCommand c;
  std::string error;
  EXPECT_FALSE(parseCommand("time -0:-0:-0", c, error));
  EXPECT_FALSE(parseCommand("coalesce -0", c, error));
}

TEST(FeedsimCommands, ValidCommandsAndTheirTextArgument) {
  SimCommand c;
  std::string error;
  for (const char* line : {"burst 100000",   "burst 5 2",     "send-date 12062026",
                           "send-date",      "session",       "disconnect",
                           "close",          "bad-crc",       "oversize",
                           "split on",       "split on 1 0",  "split off",
                           "coalesce 4",     "refuse 7",      "refuse off",
                           "pause",          "resume",        "time 09:30:00",
                           "speed 100",      "stream off",    "crc off",
                           "clients",        "quit",          "type 9",
                           "type 10 in use", "type 99",       "oversize 136",
                           "empty 21",       "raw 0C00 0000", "alert 4 X|1"}) {
    EXPECT_TRUE(parseCommand(line, c, error)) << line << ": " << error;
  }
  ASSERT_TRUE(parseCommand("  type 22  Market  halted: XYZ \r", c, error));
  EXPECT_EQ(c.name, "type");
  EXPECT_EQ(c.args[0], "22");
  EXPECT_EQ(c.rest, "Market  halted: XYZ");
  EXPECT_EQ(c.line, "type 22  Market  halted: XYZ");
  ASSERT_TRUE(parseCommand("alert 1 IBM|7|093015|3200|X|45", c, error));
  EXPECT_EQ(c.rest, "IBM|7|093015|3200|X|45");
}

TEST(FeedsimCommands, MalformedCommandsAreRefused) {
  SimCommand c;
  std::string error;
  EXPECT_FALSE(parseCommand("", c, error));
  EXPECT_TRUE(error.empty());
  for (const char* line :
       {"burst",        "burst 0",      "burst x",   "burst 5 4",       "send-date 99999999",
        "type 0",       "type 256 x",   "type",      "alert 70000 X|1", "oversize 135",
        "oversize 1 2", "empty",        "raw 0",     "raw zz",          "alert 1",
        "split",        "split on 200", "coalesce",  "refuse 9",        "time 25:00:00",
        "speed 0",      "close now",    "frobnicate"}) {
    EXPECT_FALSE(parseCommand(line, c, error)) << line;
    EXPECT_FALSE(error.empty()) << line;
  }
}

}  // namespace
}  // namespace kestrune::feedsim
