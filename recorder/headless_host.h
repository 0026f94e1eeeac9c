// The monitor's host without a window: what the view would show becomes one journal line each,
// and the view's two timers are plain QTimers on the main thread.
#pragma once

#include <QObject>
#include <QTimer>
#include <ctime>
#include <functional>
#include <map>
#include <ostream>
#include <string>

#include "monitor/monitor_host.h"

namespace kestrune {

// "YYYY-MM-DD HH:MM:SS text" in local time. Control characters in text (a server's text may hold
// any) become '?', so one status is always one line.
std::string journalLine(std::time_t when, const std::string& text);

class HeadlessHost : public QObject, public MonitorHost {
  Q_OBJECT

 public:
  // Lines go to out, each flushed at once.
  explicit HeadlessHost(std::ostream& out, QObject* parent = nullptr);

  void setConnectionControl(ConnectionControl* control) { control_ = control; }
  // Runs after the connection control has set the unlinked state (a refusal, a failed or lost
  // connection, a Disconnect).
  void setUnlinkedHandler(std::function<void()> handler) { unlinked_ = std::move(handler); }
  bool timerRunning(int id) const;
  // Prints text as a journal line of now.
  void say(const std::string& text);

  // MonitorHost.
  ConnectionControl* connectionControl() override { return control_; }
  double dpiScale() const override { return 1.0; }
  bool chartsReady() const override { return false; }
  void eraseLists() override {}
  void showStatus(const std::string& text) override { say(text); }
  void showDisconnectedControls(bool disconnectEnabled) override;
  void showConnectedControls() override {}
  void showSessionDate(const std::string& text) override;
  void startTimer(int id, int periodMs) override;
  void stopTimer(int id) override;

 private:
  std::ostream& out_;
  ConnectionControl* control_ = nullptr;
  std::function<void()> unlinked_;
  std::map<int, QTimer*> timers_;
};

}  // namespace kestrune
