// kestrune-recorder's figures, measured from outside through /proc: a burst of alert records
// (no record may be lost), then a live day at 100x (resident memory and CPU time, scaled to 1x).
//
// KES_RECORDER_BURST sets the burst (default 100000); KES_RECORDER_SECONDS the wall time of the
// live run (default 30); KES_RECORDER_SPEED the simulator's speed (default 100). Everything runs
// in a temporary folder with its own per-user store.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/feedsim_process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int envInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  const int n = v ? std::atoi(v) : 0;
  return n > 0 ? n : fallback;
}

// A "VmRSS:"/"VmHWM:" figure of /proc/<pid>/status in MiB.
double statusMiB(pid_t pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + key.size()) / 1024.0;
  }
  return 0;
}

// User plus system CPU time of the process, in seconds.
double cpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string skip;
  for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
  double utime = 0, stime = 0;
  fields >> utime >> stime;
  return (utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::size_t lines(const fs::path& data) {
  std::size_t n = 0;
  if (!fs::exists(data)) return 0;
  for (const auto& file : fs::directory_iterator(data)) {
    if (file.path().extension() != ".txt") continue;
    std::ifstream in(file.path(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (char c : text) n += c == '\n';
  }
  return n;
}

std::unique_ptr<kestrune::ChildProcess> startRecorder(const fs::path& work, int port,
                                                      const fs::path& password) {
  fs::create_directories(work);
  auto recorder = std::make_unique<kestrune::ChildProcess>(
      "kestrune-recorder",
      std::vector<std::string>{"--workdir", work.string(), "--host", "127.0.0.1", "--port",
                               std::to_string(port), "--user", "demo", "--password-file",
                               password.string()},
      "", true);
  if (recorder->waitForText("Date: ", 10000).empty()) return nullptr;
  return recorder;
}

int run() {
  const int burst = envInt("KES_RECORDER_BURST", 100000);
  const int seconds = envInt("KES_RECORDER_SECONDS", 30);
  const int speed = envInt("KES_RECORDER_SPEED", 100);

  std::string pattern = (fs::temp_directory_path() / "kes_recorder_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return 1;
  const fs::path root = pattern;
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  std::ofstream(root / "password") << "demo\n";

  // The burst: every record in its file, none lost.
  {
    kestrune::FeedsimProcess sim({"--stream", "off", "--date", "12062026"});
    auto recorder =
        sim.ok() ? startRecorder(root / "burst", sim.port(), root / "password") : nullptr;
    if (!recorder) {
      std::fprintf(stderr, "could not start the simulator and the recorder\n");
      return 1;
    }
    const auto start = Clock::now();
    const std::string command = "burst " + std::to_string(burst);
    sim.command(command, "ok " + command + " sent", 120000);
    const double sentS = std::chrono::duration<double>(Clock::now() - start).count();
    while (lines(root / "burst" / "Data") < static_cast<std::size_t>(burst) &&
           Clock::now() - start < std::chrono::seconds(120)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double writtenS = std::chrono::duration<double>(Clock::now() - start).count();
    const double peak = statusMiB(recorder->pid(), "VmHWM:");
    const double cpu = cpuSeconds(recorder->pid());
    recorder->stop();
    std::string summary;
    for (const auto& l : recorder->lines())
      if (l.find("Stopped:") != std::string::npos) summary = l.substr(20);
    std::printf(
        "burst of %d alert records: sent in %.2f s, %zu lines written after %.2f s; recorder "
        "peak resident %.1f MiB, %.2f s CPU; %s\n",
        burst, sentS, lines(root / "burst" / "Data"), writtenS, peak, cpu, summary.c_str());
  }

  // A live day at speed x for the given wall time, from 09:30.
  {
    kestrune::FeedsimProcess sim({"--speed", std::to_string(speed), "--start", "09:30:00", "--date",
                                  "12062026", "--status-every", "60"});
    auto recorder =
        sim.ok() ? startRecorder(root / "live", sim.port(), root / "password") : nullptr;
    if (!recorder) return 1;
    const double cpuStart = cpuSeconds(recorder->pid());
    const auto start = Clock::now();
    double maxRss = 0;
    double rssAfterFirst = 0;
    for (int s = 1; s <= seconds; ++s) {
      std::this_thread::sleep_until(start + std::chrono::seconds(s));
      const double rss = statusMiB(recorder->pid(), "VmRSS:");
      maxRss = std::max(maxRss, rss);
      if (s == 1) rssAfterFirst = rss;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = cpuSeconds(recorder->pid()) - cpuStart;
    const double peak = statusMiB(recorder->pid(), "VmHWM:");
    const std::size_t written = lines(root / "live" / "Data");
    recorder->stop();
    std::printf(
        "live day at %dx for %.0f s (%d simulated minutes from 09:30): %zu lines; resident %.1f "
        "MiB after 1 s, at most %.1f MiB (peak %.1f MiB); CPU %.2f s = %.2f %% of one core at "
        "%dx, %.3f %% at 1x\n",
        speed, wall, seconds * speed / 60, written, rssAfterFirst, maxRss, peak, cpu,
        100.0 * cpu / wall, speed, 100.0 * cpu / wall / speed);
  }
  fs::remove_all(root);
  return 0;
}

}  // namespace

int main() { return run(); }
