#include "history/history_cli.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>

#include "client/trading_date.h"

namespace kestrune {

namespace {

constexpr const char* kListNames[3] = {"Raw", "Seq", "Algo"};

bool parseLimit(const std::string& text, int& limit) {
  if (text.empty() || text.size() > 9) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  limit = value;
  return true;
}

std::string number(double value) {
  char out[32];
  std::snprintf(out, sizeof out, "%.15g", value);
  return out;
}

}  // namespace

std::string historyCell(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) c = '?';
  }
  return out;
}

HistoryOptions parseHistoryOptions(const std::vector<std::string>& args) {
  using Command = HistoryOptions::Command;
  HistoryOptions o;
  bool symbolGiven = false;
  parseProgramOptions(args, o, [&](OptionReader& reader) {
    const std::string& name = reader.name();
    if (name.empty() || name[0] != '-') {
      if (o.command == Command::None) {
        if (name == "index") {
          o.command = Command::Index;
        } else if (name == "symbol") {
          o.command = Command::Symbol;
        } else if (name == "top") {
          o.command = Command::Top;
        } else if (name == "days") {
          o.command = Command::Days;
        } else {
          o.error = "unknown command " + historyCell(name) + " (see --help)";
        }
      } else if (o.command == Command::Symbol && !symbolGiven) {
        o.symbol = name;
        symbolGiven = true;
      } else {
        o.error = "unexpected argument " + historyCell(name) + " (see --help)";
      }
      return true;
    }
    if (name != "--from" && name != "--to" && name != "--list" && name != "--limit") return false;
    std::string value;
    if (!reader.takeValue(value) || value.empty()) {
      o.error = name + " needs a value";
    } else if (name == "--from" || name == "--to") {
      const int key = historyDayKey(value);
      if (key == 0) {
        o.error = name + " takes a date MMDDYYYY, not " + historyCell(value);
      } else {
        (name == "--from" ? o.range.from : o.range.to) = key;
      }
    } else if (name == "--list") {
      o.list = value == "Raw" ? 0 : value == "Seq" ? 1 : value == "Algo" ? 2 : -2;
      if (o.list == -2) o.error = "--list takes Raw, Seq or Algo, not " + historyCell(value);
    } else if (!parseLimit(value, o.limit)) {
      o.error = "--limit takes a number (0: all), not " + historyCell(value);
    }
    return true;
  });
  if (o.action == ProgramOptions::Action::Run && o.error.empty()) {
    if (o.command == Command::None) {
      o.error = "no command: index, symbol, top or days (see --help)";
    } else if (o.command == Command::Symbol && !symbolGiven) {
      o.error = "symbol needs a SYMBOL";
    } else if (o.range.from != 0 && o.range.to != 0 && o.range.from > o.range.to) {
      o.error = "--from is after --to";
    }
    if (!o.error.empty()) o.action = ProgramOptions::Action::Fail;
  }
  return o;
}

std::string historyHelpText() {
  return std::string(
             "Usage: kestrune-history [OPTION]... COMMAND\n"
             "Look back across the recorded trading days of a Kestrune Data folder.\n"
             "\n"
             "Reads the day files Data/MMDDYYYY_hft1.txt ... _hft6.txt into an index,\n"
             "Data/history.sqlite, and answers from it. Every command first brings the index\n"
             "up to date: only what was added to the files since the last time is read, and\n"
             "the newest day's files, which may still be being written, only up to their last\n"
             "whole line. The day files are never changed; the index may be deleted at any\n"
             "time and is then built again. Damaged lines (over-long ones, which replay skips\n"
             "too, alerts without a symbol or a time of day, chart samples replay cannot read)\n"
             "are skipped and counted.\n"
             "Answers are tab-separated text with a heading line.\n"
             "\n"
             "Commands:\n"
             "  index              bring the index up to date; prints the days it holds and\n"
             "                     the lines read and skipped this time\n"
             "  symbol SYMBOL      every alert of SYMBOL (exactly as recorded), oldest first:\n"
             "                     date, time, list, exchange, count, then the record's other\n"
             "                     fields as they stand, joined by |\n"
             "  top                symbols by number of alerts, then by their highest count:\n"
             "                     symbol, alerts, highest, first_date, last_date\n"
             "  days               per day: date, the alerts of each list, and the second and\n"
             "                     value of the day's highest Listing chart TOTAL\n"
             "\n"
             "Options:\n") +
         workDirOptionsHelp() +
         "  --from MMDDYYYY    symbol, top, days: from this day on\n"
         "  --to MMDDYYYY      symbol, top, days: up to this day\n"
         "  --list LIST        top: count only the Raw, Seq or Algo list\n"
         "  --limit N          top: at most N symbols (default 20, 0 for all)\n"
         "  -h, --help         show this help and exit\n"
         "      --version      show the version and exit\n"
         "\n"
         "Exit status:\n"
         "  0  done\n"
         "  1  the work folder has no Data folder, or the index cannot be opened or updated\n"
         "  2  a mistake on the command line\n";
}

int answerHistoryOptions(const HistoryOptions& options, std::ostream& out, std::ostream& err) {
  return answerProgramOptions(options, "kestrune-history", KES_VERSION, historyHelpText(), out,
                              err);
}

int runHistoryCommand(const HistoryOptions& options, std::ostream& out, std::ostream& err) {
  using Command = HistoryOptions::Command;
  struct stat st {};
  if (::stat("Data", &st) != 0 || !S_ISDIR(st.st_mode)) {
    err << "kestrune-history: no Data folder here: no day has been recorded in this work folder\n";
    return kHistoryFailed;
  }
  HistoryIndex index;
  std::string error;
  HistoryUpdateReport report;
  if (!index.open({}, error) || !index.update(report, error)) {
    err << "kestrune-history: " << error << "\n";
    return kHistoryFailed;
  }
  switch (options.command) {
    case Command::Index:
      out << "days\tlines_read\tlines_skipped\n"
          << report.days << '\t' << report.linesRead << '\t' << report.linesSkipped << '\n';
      break;
    case Command::Symbol:
      out << "date\ttime\tlist\texchange\tcount\tfields\n";
      for (const HistoryAlert& a : index.symbolAlerts(options.symbol, options.range)) {
        out << historyDayText(a.day) << '\t' << historyTimeText(a.second) << '\t'
            << kListNames[a.list] << '\t' << historyCell(a.exchange) << '\t' << a.count << '\t'
            << historyCell(a.rest) << '\n';
      }
      break;
    case Command::Top:
      out << "symbol\talerts\thighest\tfirst_date\tlast_date\n";
      for (const HistoryTopSymbol& t : index.top(options.range, options.list, options.limit)) {
        out << historyCell(t.symbol) << '\t' << t.alerts << '\t' << t.highest << '\t'
            << historyDayText(t.firstDay) << '\t' << historyDayText(t.lastDay) << '\n';
      }
      break;
    case Command::Days:
      out << "date\traw\tseq\talgo\tpeak_time\tpeak_total\n";
      for (const HistoryDay& d : index.days(options.range)) {
        out << historyDayText(d.day) << '\t' << d.alerts[0] << '\t' << d.alerts[1] << '\t'
            << d.alerts[2] << '\t';
        if (d.peakSecond >= 0)
          out << historyTimeText(d.peakSecond) << '\t' << number(d.peakTotal);
        else
          out << '\t';
        out << '\n';
      }
      break;
    case Command::None:
      break;
  }
  out.flush();
  return out ? kHistoryDone : kHistoryFailed;
}

}  // namespace kestrune
