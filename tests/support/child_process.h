// Starts one of the project's programs as a child process for tests, writes to its stdin, reads
// its output line by line, and stops it again.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace kestrune {

class ChildProcess {
 public:
  // Starts exeName with args. The executable is looked up in $KES_BIN_DIR, then in binDir, then
  // next to the running test executable. With mergeStderr its error output comes back among the
  // lines too.
  ChildProcess(const std::string& exeName, const std::vector<std::string>& args,
               const std::string& binDir = {}, bool mergeStderr = false);
  virtual ~ChildProcess();

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0 || exited_; }
  const std::string& error() const { return error_; }
  pid_t pid() const { return pid_; }

  // Writes one line to the child's stdin; false if it is gone.
  bool send(const std::string& line);
  // Closes the child's stdin, as a test that went away would.
  void closeStdin();

  // Reads output lines until one matches; returns it, or an empty string on timeout or when the
  // output ended. Lines read on the way are consumed.
  std::string waitForMatch(const std::function<bool(const std::string&)>& match,
                           int timeoutMs = 5000);
  std::string waitForLine(const std::string& prefix, int timeoutMs = 5000);
  std::string waitForText(const std::string& text, int timeoutMs = 5000);

  // Every output line read so far, in order.
  const std::vector<std::string>& lines() const { return lines_; }

  // Waits for the child to end by itself, reading its output to the end. Returns the exit status
  // as waitpid reports it, or -1 when it did not end in time (it keeps running).
  int waitForExit(int timeoutMs);
  // Sends signal, then waits for the exit (SIGKILL after graceMs). Returns the exit status as
  // waitpid reports it, or -1 when nothing was running. The destructor stops with SIGTERM.
  int stop(int signal = 15, int graceMs = 5000);

 private:
  // Reads one line into line; false on timeout or end of output.
  bool readLine(std::string& line, int timeoutMs);
  int reap();

  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = -1;
  int stdinFd_ = -1;
  int stdoutFd_ = -1;
  std::string error_;
  std::string pending_;
  std::vector<std::string> lines_;
};

}  // namespace kestrune
