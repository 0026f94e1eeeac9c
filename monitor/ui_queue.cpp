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
  return incoming_.size() + (isWindowThread() ? working_.size() : workingCount_);
}

void UiQueue::setCapacity(std::size_t commands) {
  std::lock_guard<std::mutex> guard(lock_);
  capacity_ = commands > 0 ? commands : 1;
  roomMade_.notify_all();
}

UiQueue::WindowWait::WindowWait(UiQueue& queue) : queue_(queue) {
  std::lock_guard<std::mutex> guard(queue_.lock_);
  ++queue_.windowWaits_;
  queue_.roomMade_.notify_all();
}

UiQueue::WindowWait::~WindowWait() {
  std::lock_guard<std::mutex> guard(queue_.lock_);
  --queue_.windowWaits_;
}

void UiQueue::append(std::unique_lock<std::mutex>& guard, Command command, const void* tag,
                     Wait wait) {
  if (wait == Wait::IfFull && !isWindowThread()) {
    auto room = [this] {
      return incoming_.size() + workingCount_ < capacity_ || windowWaits_ > 0 ||
             windowUnresponsive_;
    };
    if (!roomMade_.wait_for(guard, std::chrono::seconds(1), room)) windowUnresponsive_ = true;
  }
  incoming_.push_back(std::move(command));
  newestTag_ = tag;
  if (!scheduled_) {
    scheduled_ = true;
    // Queued, so the window thread only runs it once this lock is let go.
    QMetaObject::invokeMethod(this, "drainScheduled", Qt::QueuedConnection);
  }
}

void UiQueue::post(Command command, Wait wait) {
  if (!command) return;
  std::unique_lock<std::mutex> guard(lock_);
  append(guard, std::move(command), nullptr, wait);
}

bool UiQueue::postLatest(const void* tag, Command command, const std::function<bool()>& merge) {
  std::unique_lock<std::mutex> guard(lock_);
  if (tag != nullptr && !incoming_.empty() && newestTag_ == tag && merge && merge()) return true;
  if (command) append(guard, std::move(command), tag, Wait::IfFull);
  return false;
}

void UiQueue::scheduleLocked() {
  if (scheduled_) return;
  scheduled_ = true;
  QMetaObject::invokeMethod(this, "drainScheduled", Qt::QueuedConnection);
}

void UiQueue::drainScheduled() {
  const auto now = std::chrono::steady_clock::now();
  // The first drain comes at once, wherever the clock stands (it starts near zero at boot).
  if (drainedOnce_ && now - lastDrain_ < frame_) {
    // Still scheduled: posts meanwhile only join the batch.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(frame_ - (now - lastDrain_));
    frameTimer_->start(static_cast<int>(wait.count()));
    return;
  }
  drainedOnce_ = true;
  lastDrain_ = now;
  takeIncoming(true);
  runWorking(true);
}

void UiQueue::takeIncoming(bool scheduledDrain) {
  std::lock_guard<std::mutex> guard(lock_);
  if (scheduledDrain) scheduled_ = false;
  for (auto& c : incoming_) working_.push_back(std::move(c));
  incoming_.clear();
  newestTag_ = nullptr;
  workingCount_ = working_.size();
  windowUnresponsive_ = false;
  roomMade_.notify_all();
}

void UiQueue::drainNow() {
  takeIncoming(false);
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
  {
    std::lock_guard<std::mutex> guard(lock_);
    workingCount_ = working_.size();
    roomMade_.notify_all();
  }
  ++batches_;
  if (batchEnd_) batchEnd_();
  if (!working_.empty()) {
    std::lock_guard<std::mutex> guard(lock_);
    scheduleLocked();
  }
}

}  // namespace kestrune
