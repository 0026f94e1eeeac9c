// kestrune-feedsim as a child process for tests: scripted commands on its stdin, acknowledgements
// and events on its stdout.
#pragma once

#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace kestrune {

class FeedsimProcess : public ChildProcess {
 public:
  // Starts the simulator on an ephemeral port with `extraArgs` appended (later options win,
  // so `--port N` in extraArgs overrides the port). It stops by itself when its stdin closes.
  explicit FeedsimProcess(const std::vector<std::string>& extraArgs = {},
                          const std::string& binDir = {});

  // True once the simulator runs and reported the port it listens on.
  bool ok() const { return port_ > 0; }
  const std::string& error() const { return error_.empty() ? ChildProcess::error() : error_; }
  int port() const { return port_; }

  // send(command) followed by waitForLine(ackPrefix); convenience for the usual pattern.
  std::string command(const std::string& command, const std::string& ackPrefix,
                      int timeoutMs = 5000);

 private:
  int port_ = 0;
  std::string error_;
};

}  // namespace kestrune
