// kestrune-history: the recorded days of a Data folder, asked across days.
#include <iostream>
#include <string>
#include <vector>

#include "history/history_cli.h"

int main(int argc, char** argv) {
  const kestrune::HistoryOptions options =
      kestrune::parseHistoryOptions(std::vector<std::string>(argv + 1, argv + argc));
  const int done = kestrune::answerHistoryOptions(options, std::cout, std::cerr);
  if (done >= 0) return done;
  std::string error;
  if (!kestrune::enterWorkDir(options.workDir, error)) {
    std::cerr << "kestrune-history: " << error << "\n";
    return kestrune::kHistoryFailed;
  }
  return kestrune::runHistoryCommand(options, std::cout, std::cerr);
}
