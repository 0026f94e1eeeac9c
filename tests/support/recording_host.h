// A headless monitor host for the connection and end-to-end tests: it keeps what the view would
// show (status line, Date and Time boxes, connection controls, running timers) so tests can read
// it back.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "monitor/monitor_host.h"

namespace kestrune {

class RecordingHost : public MonitorHost {
 public:
  ConnectionControl* control = nullptr;
  std::vector<std::string> statuses;
  std::string date;
  std::string time;
  bool linkedControls = false;
  bool disconnectEnabled = false;
  std::map<int, int> timers;
  int pictures = 0;
  std::size_t skippedStatuses = 0;

  ConnectionControl* connectionControl() override { return control; }
  double dpiScale() const override { return 1.0; }
  bool chartsReady() const override { return true; }
  void eraseLists() override {}
  void showStatus(const std::string& text) override { statuses.push_back(text); }
  void showLatestStatus(const std::string& text, std::size_t skipped) override {
    skippedStatuses += skipped;
    statuses.push_back(text);
  }
  void showDisconnectedControls(bool enabled) override {
    linkedControls = false;
    disconnectEnabled = enabled;
  }
  void showConnectedControls() override {
    linkedControls = true;
    disconnectEnabled = true;
  }
  void showSessionDate(const std::string& text) override { date = text; }
  void showSampleTime(const std::string& hhmmss) override { time = hhmmss; }
  void chartPictureReady(int) override { ++pictures; }
  std::string statusText() const override { return lastStatus(); }
  void startTimer(int id, int ms) override { timers[id] = ms; }
  void stopTimer(int id) override { timers.erase(id); }

  std::string lastStatus() const { return statuses.empty() ? std::string() : statuses.back(); }
  bool sawStatus(const std::string& text) const {
    for (const auto& s : statuses)
      if (s == text) return true;
    return false;
  }
};

}  // namespace kestrune
