#include "tests/support/child_process.h"

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

bool isExecutable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

std::string findExecutable(const std::string& exeName, const std::string& binDir) {
  if (const char* env = std::getenv("KES_BIN_DIR"); env && *env) {
    std::string path = std::string(env) + "/" + exeName;
    if (isExecutable(path)) return path;
  }
  if (!binDir.empty()) {
    std::string path = binDir + "/" + exeName;
    if (isExecutable(path)) return path;
  }
  // Test executables land in the same bin folder as the programs.
  char self[PATH_MAX] = {};
  ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (n > 0) {
    std::string dir(self, static_cast<size_t>(n));
    dir.erase(dir.find_last_of('/'));
    std::string path = dir + "/" + exeName;
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

ChildProcess::ChildProcess(const std::string& exeName, const std::vector<std::string>& args,
                           const std::string& binDir, bool mergeStderr) {
  signal(SIGPIPE, SIG_IGN);
  std::string exe = findExecutable(exeName, binDir);
  if (exe.empty()) {
    error_ = exeName + " not found (set KES_BIN_DIR)";
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
  std::vector<std::string> all = {exe};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  if (mergeStderr) posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
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
}

ChildProcess::~ChildProcess() { stop(); }

bool ChildProcess::send(const std::string& line) {
  if (stdinFd_ < 0) return false;
  std::string data = line + "\n";
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

bool ChildProcess::readLine(std::string& line, int timeoutMs) {
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

std::string ChildProcess::waitForMatch(const std::function<bool(const std::string&)>& match,
                                       int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string line;
  while (readLine(line, msLeft(deadline))) {
    if (match(line)) return line;
  }
  return {};
}

std::string ChildProcess::waitForLine(const std::string& prefix, int timeoutMs) {
  return waitForMatch(
      [&](const std::string& line) { return line.compare(0, prefix.size(), prefix) == 0; },
      timeoutMs);
}

std::string ChildProcess::waitForText(const std::string& text, int timeoutMs) {
  return waitForMatch([&](const std::string& line) { return line.find(text) != std::string::npos; },
                      timeoutMs);
}

void ChildProcess::closeStdin() {
  if (stdinFd_ >= 0) {
    close(stdinFd_);
    stdinFd_ = -1;
  }
}

int ChildProcess::reap() {
  while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  exited_ = true;
  if (stdoutFd_ >= 0) {
    close(stdoutFd_);
    stdoutFd_ = -1;
  }
  return status_;
}

int ChildProcess::waitForExit(int timeoutMs) {
  if (pid_ <= 0) return exited_ ? status_ : -1;
  // The child's output closes when it exits: read to the end instead of sleeping.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string line;
  while (stdoutFd_ >= 0 && msLeft(deadline) > 0) {
    if (!readLine(line, msLeft(deadline)) && stdoutFd_ >= 0) break;
  }
  if (stdoutFd_ >= 0) return -1;
  return reap();
}

int ChildProcess::stop(int signal, int graceMs) {
  closeStdin();
  if (pid_ <= 0) return exited_ ? status_ : -1;
  kill(pid_, signal);
  if (waitForExit(graceMs) == -1 && pid_ > 0) {
    kill(pid_, SIGKILL);
    return reap();
  }
  return status_;
}

}  // namespace kestrune
