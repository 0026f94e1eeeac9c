#include "monitor/ui_queue.h"

#include <QMetaObject>
#include <utility>

namespace kestrune {

UiQueue::UiQueue(QObject* parent)
    : QObject(parent), windowThread_(std::this_thread::get_id()), frameTimer_(new QTimer(this)) {
  frameTimer_->setSingleShot(true);
  frameTimer_->setTimerType(Qt::PreciseTimer);
  connect(frameTimer_, &QTimer::timeout, this, &UiQueue::drainScheduled);
}

UiQueue::~UiQueue() = default;

bool UiQueue::isWindowThread() const { return std::this_thread::get_id() == windowThread_; }

void UiQueue::setBatchEndHandler(std::function<void()> handler) { batchEnd_ = std::move(handler); }

void UiQueue::setSliceBudget(std::chrono::milliseconds budget) { budget_ = budget; }

void UiQueue::setFrameInterval(std::chrono::milliseconds interval) {
  frame_ = interval;
  // A drain already waiting for the end of the old frame looks again.
  if (frameTimer_->isActive()) frameTimer_->start(0);
}

std::size_t UiQueue::pendingCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return incoming_.size() + (isWindowThread() ? working_.size() : 0);
}

void UiQueue::post(Command command) {
  if (!command) return;
  bool wake = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    incoming_.push_back(std::move(command));
    if (!scheduled_) {
      scheduled_ = true;
      wake = true;
    }
  }
  // Outside the lock: the window thread may be taking the batch right now.
  if (wake) QMetaObject::invokeMethod(this, "drainScheduled", Qt::QueuedConnection);
}

void UiQueue::scheduleLocked() {
  if (scheduled_) return;
  scheduled_ = true;
  QMetaObject::invokeMethod(this, "drainScheduled", Qt::QueuedConnection);
}

void UiQueue::drainScheduled() {
  const auto now = std::chrono::steady_clock::now();
  const auto since = now - lastDrain_;
  if (since < frame_) {
    // Still scheduled: posts meanwhile only join the batch.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(frame_ - since);
    frameTimer_->start(static_cast<int>(wait.count()));
    return;
  }
  lastDrain_ = now;
  {
    std::lock_guard<std::mutex> guard(lock_);
    scheduled_ = false;
    for (auto& c : incoming_) working_.push_back(std::move(c));
    incoming_.clear();
  }
  runWorking(true);
}

void UiQueue::drainNow() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& c : incoming_) working_.push_back(std::move(c));
    incoming_.clear();
  }
  runWorking(false);
}

void UiQueue::runWorking(bool useBudget) {
  if (working_.empty()) return;
  ++depth_;
  const auto start = std::chrono::steady_clock::now();
  std::size_t ran = 0;
  while (!working_.empty()) {
    // Taken off the queue before it runs: the command may drain the queue itself.
    Command command = std::move(working_.front());
    working_.pop_front();
    command();
    ++ran;
    if (useBudget && depth_ == 1 && (ran & 63) == 0 &&
        std::chrono::steady_clock::now() - start >= budget_) {
      break;
    }
  }
  --depth_;
  if (depth_ > 0) return;
  ++batches_;
  if (batchEnd_) batchEnd_();
  if (!working_.empty()) {
    std::lock_guard<std::mutex> guard(lock_);
    scheduleLocked();
  }
}

}  // namespace kestrune
