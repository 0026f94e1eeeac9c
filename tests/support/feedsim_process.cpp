#include "tests/support/feedsim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace kestrune {
namespace {

constexpr const char* kExeName = "kestrune-feedsim";
constexpr const char* kListeningPrefix = "kestrune-feedsim listening on ";

bool isExecutable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

std::string findExecutable(const std::string& binDir) {
  if (const char* env = std::getenv("KES_BIN_DIR"); env && *env) {
    std::string path = std::string(env) + "/" + kExeName;
    if (isExecutable(path)) return path;
  }
  if (!binDir.empty()) {
    std::string path = binDir + "/" + kExeName;
    if (isExecutable(path)) return path;
  }
  // Test executables land in the same bin folder as the simulator.
  char self[PATH_MAX] = {};
  ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (n > 0) {
    std::string dir(self, static_cast<size_t>(n));
    dir.erase(dir.find_last_of('/'));
    std::string path = dir + "/" + kExeName;
    if (isExecutable(path)) return path;
  }
  return {};
}

int msLeft(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

FeedsimProcess::FeedsimProcess(const std::vector<std::string>& extraArgs,
                               const std::string& binDir) {
  signal(SIGPIPE, SIG_IGN);
  std::string exe = findExecutable(binDir);
  if (exe.empty()) {
    error_ = "kestrune-feedsim not found (set KES_BIN_DIR)";
    return;
  }
  int in[2];
  int out[2];
  if (pipe2(in, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return;
  }
  if (pipe2(out, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    close(in[0]);
    close(in[1]);
    return;
  }
  // The simulator stops when its stdin (our pipe) closes, so a test that dies without running
  // its destructors never leaves it behind holding the test's output open.
  std::vector<std::string> args = {exe, "--port", "0", "--stop-on-eof", "on"};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  int rc = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  if (rc != 0) {
    pid_ = -1;
    close(in[1]);
    close(out[0]);
    error_ = std::string("posix_spawn: ") + std::strerror(rc);
    return;
  }
  stdinFd_ = in[1];
  stdoutFd_ = out[0];

  std::string line = waitForLine(kListeningPrefix, 10000);
  if (line.empty()) {
    error_ = "kestrune-feedsim did not report its port";
    return;
  }
  auto colon = line.find_last_of(':');
  port_ = colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
  if (port_ <= 0) error_ = "unreadable port in: " + line;
}

FeedsimProcess::~FeedsimProcess() { stop(); }

bool FeedsimProcess::send(const std::string& command) {
  if (stdinFd_ < 0) return false;
  std::string data = command + "\n";
  size_t done = 0;
  while (done < data.size()) {
    // A vanished reader gives EPIPE, not a signal: the constructor ignores SIGPIPE.
    ssize_t n = write(stdinFd_, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool FeedsimProcess::readLine(std::string& line, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto nl = pending_.find('\n');
    if (nl != std::string::npos) {
      line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      lines_.push_back(line);
      return true;
    }
    if (stdoutFd_ < 0) {
      if (pending_.empty()) return false;
      line.swap(pending_);  // a last line without its line feed
      pending_.clear();
      lines_.push_back(line);
      return true;
    }
    pollfd p{stdoutFd_, POLLIN, 0};
    int r = poll(&p, 1, msLeft(deadline));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    char buf[4096];
    ssize_t n = read(stdoutFd_, buf, sizeof(buf));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(stdoutFd_);
      stdoutFd_ = -1;
      continue;
    }
    pending_.append(buf, static_cast<size_t>(n));
  }
}

std::string FeedsimProcess::waitForLine(const std::string& prefix, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string line;
  while (readLine(line, msLeft(deadline))) {
    if (line.compare(0, prefix.size(), prefix) == 0) return line;
  }
  return {};
}

std::string FeedsimProcess::command(const std::string& command, const std::string& ackPrefix,
                                    int timeoutMs) {
  if (!send(command)) return {};
  return waitForLine(ackPrefix, timeoutMs);
}

void FeedsimProcess::closeStdin() {
  if (stdinFd_ >= 0) {
    close(stdinFd_);
    stdinFd_ = -1;
  }
}

int FeedsimProcess::stop(int graceMs) {
  closeStdin();
  int status = -1;
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    // The simulator's stdout closes when it exits: wait for that instead of sleeping.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
    std::string line;
    while (stdoutFd_ >= 0 && msLeft(deadline) > 0) {
      if (!readLine(line, msLeft(deadline)) && stdoutFd_ >= 0) break;
    }
    if (stdoutFd_ >= 0) kill(pid_, SIGKILL);
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
  if (stdoutFd_ >= 0) {
    close(stdoutFd_);
    stdoutFd_ = -1;
  }
  return status;
}

}  // namespace kestrune
