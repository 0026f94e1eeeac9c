#include "recorder/headless_host.h"

#include "monitor/connection_control.h"
#include "monitor/status_history.h"

namespace kestrune {

std::string journalLine(std::time_t when, const std::string& text) {
  std::tm local{};
  ::localtime_r(&when, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &local);
  std::string line = stamp;
  line.reserve(line.size() + text.size());
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    line += u < 0x20 || u == 0x7f ? '?' : c;
  }
  return line;
}

HeadlessHost::HeadlessHost(std::ostream& out, QObject* parent) : QObject(parent), out_(out) {
  foldTimer_.setSingleShot(true);
  foldTimer_.setInterval(10'000);
  connect(&foldTimer_, &QTimer::timeout, this, [this] { flushFolded(); });
}

void HeadlessHost::setFoldPeriod(int foldPeriodMs) { foldTimer_.setInterval(foldPeriodMs); }

void HeadlessHost::print(const std::string& text) {
  out_ << journalLine(std::time(nullptr), text) << std::endl;
}

void HeadlessHost::flushFolded() {
  foldTimer_.stop();
  if (folded_ == 0) return;
  print("... and " + groupedCount(folded_) + " more");
  folded_ = 0;
}

void HeadlessHost::say(const std::string& text) {
  flushFolded();
  lastIsStatus_ = false;
  print(text);
}

void HeadlessHost::showLatestStatus(const std::string& text, std::size_t skipped) {
  folded_ += skipped;
  if (lastIsStatus_ && text == lastStatus_) {
    ++folded_;
  } else {
    flushFolded();
    print(text);
    lastStatus_ = text;
    lastIsStatus_ = true;
  }
  if (folded_ > 0 && !foldTimer_.isActive()) foldTimer_.start();
}

void HeadlessHost::showDisconnectedControls(bool) {
  if (unlinked_) unlinked_();
}

void HeadlessHost::showSessionDate(const std::string& text) {
  if (!text.empty()) say("Date: " + text);
}

bool HeadlessHost::timerRunning(int id) const {
  const auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

void HeadlessHost::startTimer(int id, int periodMs) {
  QTimer*& timer = timers_[id];
  if (timer == nullptr) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, id] {
      if (control_ != nullptr) control_->onTimer(id);
    });
  }
  timer->start(periodMs);
}

void HeadlessHost::stopTimer(int id) {
  if (const auto it = timers_.find(id); it != timers_.end()) it->second->stop();
}

}  // namespace kestrune
