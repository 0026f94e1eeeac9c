#include "tests/support/feedsim_process.h"

#include <cstdlib>

namespace kestrune {
namespace {

constexpr const char* kListeningPrefix = "kestrune-feedsim listening on ";

std::vector<std::string> simArgs(const std::vector<std::string>& extraArgs) {
  // The simulator stops when its stdin (our pipe) closes, so a test that dies without running
  // its destructors never leaves it behind holding the test's output open.
  std::vector<std::string> args = {"--port", "0", "--stop-on-eof", "on"};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  return args;
}

}  // namespace

FeedsimProcess::FeedsimProcess(const std::vector<std::string>& extraArgs, const std::string& binDir)
    : ChildProcess("kestrune-feedsim", simArgs(extraArgs), binDir) {
  if (!started()) return;
  std::string line = waitForLine(kListeningPrefix, 10000);
  if (line.empty()) {
    error_ = "kestrune-feedsim did not report its port";
    return;
  }
  auto colon = line.find_last_of(':');
  port_ = colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
  if (port_ <= 0) error_ = "unreadable port in: " + line;
}

std::string FeedsimProcess::command(const std::string& command, const std::string& ackPrefix,
                                    int timeoutMs) {
  if (!send(command)) return {};
  return waitForLine(ackPrefix, timeoutMs);
}

}  // namespace kestrune
