// kestrune-history's command line: the index and the three questions asked of it, as
// tab-separated text with a heading line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "history/history_index.h"
#include "recording/work_dir.h"

namespace kestrune {

struct HistoryOptions : ProgramOptions {
  enum class Command { None, Index, Symbol, Top, Days };
  Command command = Command::None;
  std::string symbol;
  HistoryRange range;
  int list = -1;   // --list: 0 Raw, 1 Seq, 2 Algo; -1 all
  int limit = 20;  // --limit; 0 all
};

// How the program ends.
enum HistoryExit : int {
  kHistoryDone = 0,
  kHistoryFailed = 1,  // no work folder, no Data folder, the index cannot be opened or updated
  kHistoryUsage = 2,   // a mistake on the command line
};

// args without the program name.
HistoryOptions parseHistoryOptions(const std::vector<std::string>& args);

std::string historyHelpText();

// Prints the help or the version to out, or the mistake to err. Returns the exit code when the
// program is done, -1 when it is to run.
int answerHistoryOptions(const HistoryOptions& options, std::ostream& out, std::ostream& err);

// Runs the command in the working directory (the work folder already entered): the index is
// brought up to date first, so every answer covers what the day files hold now.
int runHistoryCommand(const HistoryOptions& options, std::ostream& out, std::ostream& err);

// A field as it may stand in one cell of tab-separated text: a tab, a line end or another
// control character of a foreign file becomes "?", so the columns stay columns and nothing
// reaches the terminal as a control sequence.
std::string historyCell(std::string_view text);

}  // namespace kestrune
