// Command-line options and stdin commands of kestrune-feedsim.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/trading_date.h"

namespace kestrune::feedsim {

constexpr int kDefaultPort = 7405;
constexpr int kMaxSpeed = 1000;

struct SimOptions {
  int port = kDefaultPort;  // 0 = any free port (printed on the first stdout line)
  std::string user = "demo";
  std::string password = "demo";
  std::string date;                      // MMDDYYYY; empty = today
  int startSecond = 9 * 3600 + 25 * 60;  // server time when the simulator starts
  bool startGiven = false;               // --start was given
  // --replay-day DIR DATE: serve the day recorded in the Data folder DIR instead of a simulated
  // one; DATE (MMDDYYYY) is also the session date.
  std::string replayDir;
  std::string replayDate;
  int speed = 1;  // simulated seconds per real second, 1..1000
  uint64_t seed = 1;
  bool stream = true;          // false: send only what commands ask for
  int refuse = 0;              // answer every good login with 7, 10 or 11 instead of 8
  bool crc = true;             // protect packets until the client switches it off
  bool singleSession = false;  // a second login of a logged-in user gets 10
  bool stopOnEof = false;      // stop when stdin closes (a test harness that went away)
  // Faults, counted in packets sent to a client after its session start; 0 = never.
  int badCrcAfter = 0;
  int oversizeAfter = 0;
  int closeAfter = 0;
  int disconnectAfter = 0;
  int splitPiece = 0;    // > 0: write packets in pieces of this many bytes ...
  int splitPauseMs = 2;  // ... with this pause between pieces
  int coalesce = 0;      // > 1: hold packets until this many go out in one write
  int burst = 0;         // alert records sent as fast as possible right after login
  // Schedules in simulated seconds; 0 = never.
  int dateEvery = 0;    // type 9 with the trading date
  int statusEvery = 0;  // type 21 with the server time
  int textEvery = 0;    // type 22 with a market note
  bool help = false;
};

// Parses argv (argv[0] skipped). On error returns false with a message in `error`.
bool parseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);

std::string helpText();

// "HH:MM:SS" to a second of the day; -1 when malformed.
int parseClock(std::string_view text);
// Today's date as MMDDYYYY (local time).
std::string todayText();

// One stdin command: the first word and the rest split on blanks (the text argument of
// "type", "alert" and "sample" keeps its blanks in `rest`).
struct SimCommand {
  std::string name;
  std::vector<std::string> args;
  std::string rest;  // everything after the first argument, blanks kept
  std::string line;  // the command as given, trimmed
};

// Splits and validates a command line. Returns false with a message for an unknown
// command or bad arguments; an empty line gives false with an empty message.
bool parseCommand(std::string_view line, SimCommand& command, std::string& error);

}  // namespace kestrune::feedsim
