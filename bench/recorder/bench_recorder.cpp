// kestrune-recorder's figures, measured from outside through /proc: a burst of alert records
// (no record may be lost), then a live day at 100x (resident memory and CPU time, scaled to 1x),
// then writers SIGKILLed at 1000x with a standby on their folder (records lost or doubled, time
// to take over).
//
// KES_RECORDER_KILLS sets how many writers are killed in turn (default 3).
// KES_RECORDER_BURST sets the burst (default 100000); KES_RECORDER_SECONDS the wall time of the
// live run (default 30); KES_RECORDER_SPEED the simulator's speed (default 100). Everything runs
// in a temporary folder with its own per-user store.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Lines of `got` missing against `want`, and lines of `got` beyond their count in `want`.
void compareLines(const std::string& want, const std::string& got, std::size_t& lost,
                  std::size_t& doubled) {
  std::map<std::string, long> count;
  std::istringstream a(want), b(got);
  std::string line;
  while (std::getline(a, line)) ++count[line];
  while (std::getline(b, line)) --count[line];
  for (const auto& [text, n] : count) {
    if (n > 0) lost += static_cast<std::size_t>(n);
    if (n < 0) doubled += static_cast<std::size_t>(-n);
  }
}

std::unique_ptr<kestrune::ChildProcess> startRecorder(const fs::path& work, int port,
                                                      const fs::path& password,
                                                      const std::string& ready = "Date: ") {
  fs::create_directories(work);
  auto recorder = std::make_unique<kestrune::ChildProcess>(
      "kestrune-recorder",
      std::vector<std::string>{"--workdir", work.string(), "--host", "127.0.0.1", "--port",
                               std::to_string(port), "--user", "demo", "--password-file",
                               password.string()},
      "", true);
  if (recorder->waitForText(ready, 10000).empty()) return nullptr;
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
  // Writers killed at 1000x: a recorder alone in a folder of its own holds every record; in the
  // shared folder the writer is SIGKILLed mid-stream, the standby takes over and a new standby
  // joins, in turn.
  {
    const int kills = envInt("KES_RECORDER_KILLS", 3);
    kestrune::FeedsimProcess sim(
        {"--stream", "off", "--speed", "1000", "--start", "09:30:00", "--date", "12062026"});
    auto reference =
        sim.ok() ? startRecorder(root / "reference", sim.port(), root / "password") : nullptr;
    auto writer =
        reference ? startRecorder(root / "shared", sim.port(), root / "password") : nullptr;
    auto standby = writer ? startRecorder(root / "shared", sim.port(), root / "password",
                                          "Recorded by kestrune-recorder")
                          : nullptr;
    if (!standby) return 1;
    sim.command("stream on", "ok stream on");
    double slowestMs = 0;
    for (int k = 0; k < kills; ++k) {
      std::this_thread::sleep_for(std::chrono::seconds(2));
      const auto killedAt = Clock::now();
      ::kill(writer->pid(), SIGKILL);
      const bool took = !standby->waitForText("has stopped writing", 10000).empty();
      slowestMs = std::max(
          slowestMs,
          took ? std::chrono::duration<double, std::milli>(Clock::now() - killedAt).count() : 1e9);
      writer->stop();
      writer = std::move(standby);
      standby = startRecorder(root / "shared", sim.port(), root / "password",
                              "Recorded by kestrune-recorder");
      if (!standby) return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    sim.command("stream off", "ok stream off");
    sim.command("type 21 end-of-stream", "ok type 21 end-of-stream sent", 60000);
    for (auto* r : {reference.get(), writer.get(), standby.get()}) {
      r->waitForText("end-of-stream", 60000);
      r->stop();
    }
    std::size_t lost = 0, doubled = 0, records = 0;
    for (int n = 1; n <= 6; ++n) {
      const std::string name = "12062026_hft" + std::to_string(n) + ".txt";
      const std::string want = readAll(root / "reference" / "Data" / name);
      records += static_cast<std::size_t>(std::count(want.begin(), want.end(), '\n'));
      compareLines(want, readAll(root / "shared" / "Data" / name), lost, doubled);
    }
    std::printf(
        "handover at 1000x: %d writers SIGKILLed over %zu records: %zu lost, %zu doubled "
        "(budget 0); slowest takeover %.0f ms after the kill (budget 1000)\n",
        kills, records, lost, doubled, slowestMs);
  }
  fs::remove_all(root);
  return 0;
}

}  // namespace

int main() { return run(); }
