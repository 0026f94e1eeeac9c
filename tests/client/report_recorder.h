// Collects what the status callback reports, in order, for the session tests.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace kestrune {

struct Report {
  int type;
  int kind;
  std::string text;
  bool operator==(const Report&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Report& r) {
  return os << "(" << r.type << "," << r.kind << ",\"" << r.text << "\")";
}

// What every session reports when it connects, when it is told to disconnect, and when its link
// goes down.
inline const Report kConnected{21, 0, "Kestrune Monitor Connected to Server"};
inline const Report kDisconnectedText{21, 0, "Disconnected"};
inline const Report kLinkDown{20, 0, ""};

// Everything the callback saw, in order; tests wait on it with a generous timeout that only
// guards against a hang.
class Recorder {
 public:
  void add(int type, int kind, const char* text) {
    std::function<void(const Report&)> hook;
    Report r{type, kind, text};
    {
      std::lock_guard<std::mutex> lock(m_);
      reports_.push_back(r);
      hook = hook_;
    }
    cv_.notify_all();
    if (hook) hook(r);
  }
  bool waitFor(const std::function<bool(const std::vector<Report>&)>& done, int timeoutMs = 5000) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done(reports_); });
  }
  bool waitForReport(const Report& r, int timeoutMs = 5000) {
    return waitFor(
        [&](const std::vector<Report>& v) { return std::find(v.begin(), v.end(), r) != v.end(); },
        timeoutMs);
  }
  std::vector<Report> take() {
    std::lock_guard<std::mutex> lock(m_);
    std::vector<Report> out;
    out.swap(reports_);
    return out;
  }
  void setHook(std::function<void(const Report&)> hook) {
    std::lock_guard<std::mutex> lock(m_);
    hook_ = std::move(hook);
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<Report> reports_;
  std::function<void(const Report&)> hook_;
};

inline Recorder recorder;

inline int32_t recordStatus(int32_t type, int32_t kind, const char* text) {
  recorder.add(type, kind, text);
  return 0;
}

}  // namespace kestrune
