#include "feedsim/sim_options.h"

#include <charconv>
#include <cstdint>
#include <ctime>
#include <map>

namespace kestrune::feedsim {
namespace {

bool toInt(std::string_view s, long long lo, long long hi, long long& out) {
  // from_chars takes a minus sign, so "-0" would pass as 0 where only digits belong.
  if (s.empty() || (s.front() == '-' && lo >= 0)) return false;
  long long v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || v < lo || v > hi) return false;
  out = v;
  return true;
}

bool toInt(std::string_view s, long long lo, long long hi, int& out) {
  long long v = 0;
  if (!toInt(s, lo, hi, v)) return false;
  out = static_cast<int>(v);
  return true;
}

bool onOff(std::string_view s, bool& out) {
  if (s == "on")
    out = true;
  else if (s == "off")
    out = false;
  else
    return false;
  return true;
}

std::vector<std::string> splitWords(std::string_view s) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    size_t j = i;
    while (j < s.size() && s[j] != ' ' && s[j] != '\t') ++j;
    if (j > i) words.emplace_back(s.substr(i, j - i));
    i = j;
  }
  return words;
}

}  // namespace

int parseClock(std::string_view t) {
  if (t.size() != 8 || t[2] != ':' || t[5] != ':') return -1;
  int h = 0, m = 0, s = 0;
  if (!toInt(t.substr(0, 2), 0, 23, h) || !toInt(t.substr(3, 2), 0, 59, m) ||
      !toInt(t.substr(6, 2), 0, 59, s))
    return -1;
  return h * 3600 + m * 60 + s;
}

std::string todayText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[16];
  std::strftime(buf, sizeof(buf), "%m%d%Y", &local);
  return buf;
}

bool parseOptions(const std::vector<std::string>& args, SimOptions& o, std::string& error) {
  for (size_t i = 1; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool hasValue = false;
    if (auto eq = name.find('='); eq != std::string::npos && name.rfind("--", 0) == 0) {
      value = name.substr(eq + 1);
      name.resize(eq);
      hasValue = true;
    }
    if (name == "--help" || name == "-h") {
      o.help = true;
      continue;
    }
    if (!hasValue) {
      if (i + 1 >= args.size()) {
        error = "option " + name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    auto word = [&](std::string& out) {
      out = value;
      return !value.empty() && value.find(' ') == std::string::npos;
    };
    bool ok = true;
    long long seed = 0;
    if (name == "--port") {
      ok = toInt(value, 0, 65535, o.port);
    } else if (name == "--user") {
      ok = word(o.user);
    } else if (name == "--password") {
      ok = word(o.password);
    } else if (name == "--date") {
      o.date = value;
      ok = isTradingDate(value);
    } else if (name == "--start") {
      o.startSecond = parseClock(value);
      ok = o.startSecond >= 0;
      o.startGiven = true;
    } else if (name == "--replay-day") {
      if (i + 1 >= args.size()) {
        error = "option --replay-day needs a folder and a date";
        return false;
      }
      o.replayDir = value;
      o.replayDate = args[++i];
      value += " " + o.replayDate;
      ok = !o.replayDir.empty() && isTradingDate(o.replayDate);
    } else if (name == "--speed") {
      ok = toInt(value, 1, kMaxSpeed, o.speed);
    } else if (name == "--seed") {
      ok = toInt(value, 0, INT64_MAX, seed);
      o.seed = static_cast<uint64_t>(seed);
    } else if (name == "--stream") {
      ok = onOff(value, o.stream);
    } else if (name == "--crc") {
      ok = onOff(value, o.crc);
    } else if (name == "--single-session") {
      ok = onOff(value, o.singleSession);
    } else if (name == "--stop-on-eof") {
      ok = onOff(value, o.stopOnEof);
    } else if (name == "--refuse") {
      ok = value == "off" || value == "7" || value == "10" || value == "11";
      o.refuse = ok && value != "off" ? std::stoi(value) : 0;
    } else if (name == "--bad-crc-after") {
      ok = toInt(value, 0, INT32_MAX, o.badCrcAfter);
    } else if (name == "--oversize-after") {
      ok = toInt(value, 0, INT32_MAX, o.oversizeAfter);
    } else if (name == "--close-after") {
      ok = toInt(value, 0, INT32_MAX, o.closeAfter);
    } else if (name == "--disconnect-after") {
      ok = toInt(value, 0, INT32_MAX, o.disconnectAfter);
    } else if (name == "--split") {
      ok = toInt(value, 0, 134, o.splitPiece);
    } else if (name == "--split-pause") {
      ok = toInt(value, 0, 1000, o.splitPauseMs);
    } else if (name == "--coalesce") {
      ok = toInt(value, 0, 100000, o.coalesce);
    } else if (name == "--burst") {
      ok = toInt(value, 0, 100000000, o.burst);
    } else if (name == "--date-every") {
      ok = toInt(value, 0, 86400, o.dateEvery);
    } else if (name == "--status-every") {
      ok = toInt(value, 0, 86400, o.statusEvery);
    } else if (name == "--text-every") {
      ok = toInt(value, 0, 86400, o.textEvery);
    } else {
      error = "unknown option " + name + " (see --help)";
      return false;
    }
    if (!ok) {
      error = "bad value for " + name + ": " + value;
      return false;
    }
  }
  // A recorded day is served with its own session date.
  if (!o.replayDate.empty()) o.date = o.replayDate;
  if (o.date.empty()) o.date = todayText();
  return true;
}

std::string helpText() {
  return R"(Usage: kestrune-feedsim [options]

A Kestrune server for tests and demonstrations. Listens on 127.0.0.1, asks every new
connection to log in (type 6), answers a good login with the session start (type 8)
and then streams a simulated trading day in server time: every second one chart
sample of each kind 1, 2, 3 (type 34) and alert records of kinds 1, 2, 3 (type 33).
The day is the same for the same --seed. Options take their value as --name value
or --name=value.

Options:
  --port N             TCP port (default 7405; 0 = any free port)
  --user NAME          account user name (default demo)
  --password TEXT      account password (default demo)
  --date MMDDYYYY      trading date sent with types 8 and 9 (default today)
  --start HH:MM:SS     server time when the simulator starts (default 09:25:00)
  --speed N            simulated seconds per real second, 1..1000 (default 1)
  --seed N             seed of the simulated day (default 1)
  --stream on|off      stream the day to logged-in clients (default on); off sends only
                       what commands ask for
  --crc on|off         protect sent packets with a check value (default on); a client
                       switches it per connection with types 4 and 5
  --single-session on|off  refuse (10, account in use) a login of a user who is
                       logged in already (default off)
  --stop-on-eof on|off stop as on SIGTERM when stdin closes (default off: keep serving);
                       a test harness that dies then never leaves the simulator behind
  --refuse 7|10|11|off answer good logins with bad user (7), account in use (10) or
                       invalid application (11) instead of a session start
  --bad-crc-after N    the Nth packet after the session start has a wrong check value
  --oversize-after N   the Nth packet after the session start is oversized (200 bytes)
  --close-after N      close the connection abruptly after N packets
  --disconnect-after N send a disconnect (type 2) after N packets
  --split N            write packets in pieces of N bytes (0 = off) ...
  --split-pause MS     ... with this pause between pieces (default 2)
  --coalesce N         hold packets until N of them go out in one write (0 = off)
  --burst N            send N alert records as fast as possible right after login
  --date-every S       send the trading date (type 9) every S simulated seconds
  --status-every S     send the server time (type 21) every S simulated seconds
  --text-every S       send a market note (type 22) every S simulated seconds
  --replay-day DIR DATE  serve the day DATE (MMDDYYYY) recorded in the Data folder DIR
                       instead of a simulated day: its records as they were recorded, in
                       time order across the six files, with DATE as the session date. The
                       clock waits at --start (default: the day's first record) until the
                       first login. While it serves, a monitor or recorder working in DIR
                       does not append that day again to DATE's files (other days are
                       recorded as ever)
  --help               this text

Output: the first line is "kestrune-feedsim listening on 127.0.0.1:PORT". Then one
line per event: "login ok user=U client=N", "login refused user=U code=C client=N",
"crc on|off client=N", "ping wait=0|1 client=N", and one line when a connection ends:
"closed client=N user=U reason=R packets=P bytes=B".

Commands, one per line on stdin. Commands that send packets go to every logged-in
client, or, when none is logged in, to the next one that logs in. Each prints
"ok <command>" when done (with " sent" once its packets were written), or
"error <message>".
  help                 list the commands
  clients              print "ok clients N" (logged-in clients)
  stream on|off        start or stop streaming the day
  pause | resume       stop or restart the server clock
  time HH:MM:SS        set the server clock
  speed N              change the speed, 1..1000
  session [MMDDYYYY]   send a session start (type 8), by default with the trading date
  send-date [MMDDYYYY] send the trading date (type 9); a date given becomes the new one
  type T [TEXT]        send a text packet of type T (1..255), e.g. 9, 10, 21, 22; TEXT
                       defaults to the trading date for 8 and 9, else to a note
  alert KIND TEXT      send one alert record (type 33, kind 1..3, or any other kind to see
                       it ignored) with this decoded text
  sample KIND TEXT     send one chart sample (type 34) with this decoded text
  burst N [KIND]       send N alert records as fast as possible (KIND 1..3; default all)
  empty TYPE           send a header-only packet of a type
  raw HEXBYTES         send these bytes as they are (blanks allowed between bytes)
  bad-crc              send a status packet (type 21) with a wrong check value
  oversize [LENGTH]    send a packet of this length (default 200; 136 or more)
  disconnect           send a disconnect (type 2) and end the connection
  close                close the connection abruptly
  split on|off [N] [MS] write in pieces of N bytes (default 3) with MS pauses (default 2)
  coalesce N           hold packets until N go out in one write (0 or 1 = off)
  refuse 7|10|11|off   refuse the following logins with this code
  crc on|off           protect the packets sent from now on, or not
  quit                 stop as on SIGINT/SIGTERM

Stops cleanly on SIGINT and SIGTERM: logged-in clients get a disconnect (type 2).
)";
}

bool parseCommand(std::string_view line, SimCommand& c, std::string& error) {
  error.clear();
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
    line.remove_suffix(1);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  c = SimCommand{};
  c.line = std::string(line);
  std::vector<std::string> words = splitWords(line);
  if (words.empty()) return false;
  c.name = words[0];
  c.args.assign(words.begin() + 1, words.end());
  if (c.args.size() >= 2) {
    // The text after "type 21 ", "alert 1 " or "sample 3 ", blanks kept.
    size_t pos = line.find(c.name) + c.name.size();
    pos = line.find(c.args[0], pos) + c.args[0].size();
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    c.rest = std::string(line.substr(pos));
  }
  const size_t n = c.args.size();
  auto fail = [&](const std::string& why) {
    error = why;
    return false;
  };
  int v = 0;
  bool b = false;
  const std::string& name = c.name;
  if (name == "help" || name == "clients" || name == "pause" || name == "resume" ||
      name == "bad-crc" || name == "disconnect" || name == "close" || name == "quit") {
    if (n != 0) return fail(name + " takes no arguments");
  } else if (name == "stream" || name == "crc") {
    if (n != 1 || !onOff(c.args[0], b)) return fail("usage: " + name + " on|off");
  } else if (name == "time") {
    if (n != 1 || parseClock(c.args[0]) < 0) return fail("usage: time HH:MM:SS");
  } else if (name == "speed") {
    if (n != 1 || !toInt(c.args[0], 1, kMaxSpeed, v)) return fail("usage: speed 1..1000");
  } else if (name == "session" || name == "send-date") {
    if (n > 1 || (n == 1 && !isTradingDate(c.args[0])))
      return fail("usage: " + name + " [MMDDYYYY]");
  } else if (name == "type") {
    // Any type a server could send, refusals and unknown types included.
    if (n < 1 || !toInt(c.args[0], 1, 255, v)) return fail("usage: type 1..255 [TEXT]");
  } else if (name == "alert" || name == "sample") {
    // Kinds other than 1..3 are allowed: a client must ignore them.
    if (n < 2 || !toInt(c.args[0], 0, 65535, v)) return fail("usage: " + name + " KIND TEXT");
  } else if (name == "oversize") {
    if (n > 1 || (n == 1 && !toInt(c.args[0], 136, 65535, v)))
      return fail("usage: oversize [136..65535]");
  } else if (name == "empty") {
    if (n != 1 || !toInt(c.args[0], 0, 65535, v)) return fail("usage: empty TYPE");
  } else if (name == "raw") {
    std::string digits;
    for (const std::string& w : c.args) digits += w;
    bool hex = digits.size() % 2 == 0 && !digits.empty() &&
               digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    if (!hex) return fail("usage: raw HEXBYTES");
  } else if (name == "burst") {
    if (n < 1 || n > 2 || !toInt(c.args[0], 1, 100000000, v) ||
        (n == 2 && !toInt(c.args[1], 1, 3, v)))
      return fail("usage: burst N [1|2|3]");
  } else if (name == "flood") {
    if (n != 1 || !toInt(c.args[0], 1, 100000000, v)) return fail("usage: flood N");
  } else if (name == "split") {
    if (n < 1 || n > 3 || !onOff(c.args[0], b) || (n >= 2 && !toInt(c.args[1], 1, 134, v)) ||
        (n == 3 && !toInt(c.args[2], 0, 1000, v)))
      return fail("usage: split on|off [1..134] [0..1000]");
  } else if (name == "coalesce") {
    if (n != 1 || !toInt(c.args[0], 0, 100000, v)) return fail("usage: coalesce N");
  } else if (name == "refuse") {
    if (n != 1 ||
        (c.args[0] != "7" && c.args[0] != "10" && c.args[0] != "11" && c.args[0] != "off"))
      return fail("usage: refuse 7|10|11|off");
  } else {
    return fail("unknown command " + name + " (try help)");
  }
  return true;
}

}  // namespace kestrune::feedsim
