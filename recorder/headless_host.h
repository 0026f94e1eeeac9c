// The monitor's host without a window: what the view would show becomes one journal line each,
// and the view's two timers are plain QTimers on the main thread.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstddef>
#include <cstdint>
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
  // Status lines repeated back to back, and texts that came too fast to be shown, are folded into
  // one "... and 1,234 more" line: when a different line comes, and at most every foldPeriodMs
  // while they keep coming.
  void setFoldPeriod(int foldPeriodMs);

  // MonitorHost.
  ConnectionControl* connectionControl() override { return control_; }
  double dpiScale() const override { return 1.0; }
  bool chartsReady() const override { return false; }
  void eraseLists() override {}
  void showStatus(const std::string& text) override { showLatestStatus(text, 0); }
  void showLatestStatus(const std::string& text, std::size_t skipped) override;
  void showDisconnectedControls(bool disconnectEnabled) override;
  void showConnectedControls() override {}
  void showSessionDate(const std::string& text) override;
  void startTimer(int id, int periodMs) override;
  void stopTimer(int id) override;

 private:
  void print(const std::string& text);
  void flushFolded();

  std::ostream& out_;
  ConnectionControl* control_ = nullptr;
  std::string lastStatus_;  // the last status line printed, while nothing else came after it
  bool lastIsStatus_ = false;
  std::uint64_t folded_ = 0;  // lines not printed since
  QTimer foldTimer_;
  std::function<void()> unlinked_;
  std::map<int, QTimer*> timers_;
};

}  // namespace kestrune
