// Starts kestrune-feedsim as a child process for tests, talks to it through its stdin
// (scripted commands) and stdout (acknowledgements and events), and stops it again.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kestrune {

class FeedsimProcess {
 public:
  // Starts the simulator on an ephemeral port with `extraArgs` appended (later options win,
  // so `--port N` in extraArgs overrides the port). The executable is looked up in
  // $KES_BIN_DIR, then in `binDir`, then next to the running test executable.
  explicit FeedsimProcess(const std::vector<std::string>& extraArgs = {},
                          const std::string& binDir = {});
  ~FeedsimProcess();

  FeedsimProcess(const FeedsimProcess&) = delete;
  FeedsimProcess& operator=(const FeedsimProcess&) = delete;

  // True once the simulator runs and reported the port it listens on.
  bool ok() const { return port_ > 0; }
  const std::string& error() const { return error_; }
  int port() const { return port_; }
  pid_t pid() const { return pid_; }

  // Writes one command line to the simulator's stdin; false if it is gone.
  bool send(const std::string& command);

  // Reads stdout lines until one starts with `prefix`; returns it, or an empty string on
  // timeout or when the simulator closed its stdout. Lines read on the way are consumed.
  std::string waitForLine(const std::string& prefix, int timeoutMs = 5000);

  // Closes the simulator's stdin, as a test that went away would.
  void closeStdin();

  // send(command) followed by waitForLine(ackPrefix); convenience for the usual pattern.
  std::string command(const std::string& command, const std::string& ackPrefix,
                      int timeoutMs = 5000);

  // Every stdout line read so far, in order.
  const std::vector<std::string>& lines() const { return lines_; }

  // SIGTERM, then waits for the exit (SIGKILL after `graceMs`). Returns the exit status as
  // waitpid reports it, or -1 when nothing was running. Called by the destructor.
  int stop(int graceMs = 5000);

 private:
  // Reads one line into `line`; false on timeout or end of output.
  bool readLine(std::string& line, int timeoutMs);

  pid_t pid_ = -1;
  int stdinFd_ = -1;
  int stdoutFd_ = -1;
  int port_ = 0;
  std::string error_;
  std::string pending_;
  std::vector<std::string> lines_;
};

}  // namespace kestrune
