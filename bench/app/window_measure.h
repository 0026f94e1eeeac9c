// What the window measurement programs read off the process: the window thread's CPU time,
// resident memory, the machine's load, and an event loop that sleeps between events.
#pragma once

#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <fstream>
#include <functional>
#include <string>

namespace kestrune::bench {

// CPU time of the calling thread, in milliseconds.
inline double threadCpuMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Resident memory of a process ("self" for this one), in MiB.
inline double residentMiB(const std::string& pid = "self") {
  std::ifstream statm("/proc/" + pid + "/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) /
         (1024.0 * 1024.0);
}

// The three load averages, as the system prints them.
inline std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

// Runs the window thread's event loop until done() holds or timeoutMs passed. It sleeps between
// events (a tick timer wakes it), so the window thread's CPU time is the program's own.
inline bool runUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

}  // namespace kestrune::bench
