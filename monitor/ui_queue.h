// The ordered UI queue: everything the receive thread does to the window travels through here.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kestrune {

// A mutex-guarded FIFO of small commands that the window thread runs in order. Posting never
// waits for the window thread: it appends under a short lock and, when the queue turns non-empty,
// asks the window thread for one drain. The drain swaps the whole pending batch out and runs it
// unlocked, so a burst of records costs one wake-up and one repaint, not one per record. Drains
// come at most once a frame: what arrives meanwhile waits for the next, so the lists and charts
// repaint at the display's rate however fast records come.
class UiQueue : public QObject {
  Q_OBJECT

 public:
  using Command = std::function<void()>;

  // The thread that creates the queue is taken to be the window thread.
  explicit UiQueue(QObject* parent = nullptr);
  ~UiQueue() override;

  // Any thread, including the window thread itself (the command then runs on a later drain, after
  // everything already queued). An empty command is ignored.
  void post(Command command);

  // Window thread: runs everything queued so far, in order, now. Safe to call from inside a
  // command; the nested call simply carries on with the queue where the outer one stands.
  void drainNow();

  // Called once after each drained batch (models commit their appended rows, charts repaint).
  void setBatchEndHandler(std::function<void()> handler);

  // A scheduled drain gives the event loop back after this long, so a huge burst cannot freeze
  // the window; the rest runs in the next frame, still in order.
  void setSliceBudget(std::chrono::milliseconds budget);
  // The shortest time from one scheduled drain to the next (0: drain whenever asked).
  void setFrameInterval(std::chrono::milliseconds interval);

  bool isWindowThread() const;
  // Commands posted and not yet run (either side of the swap).
  std::size_t pendingCount() const;
  // Number of drains that ran at least one command; tests use it to see that bursts coalesce.
  std::size_t batchCount() const { return batches_; }

 private:
  void scheduleLocked();
  Q_INVOKABLE void drainScheduled();
  void runWorking(bool useBudget);

  const std::thread::id windowThread_;
  mutable std::mutex lock_;
  std::deque<Command> incoming_;  // guarded by lock_
  bool scheduled_ = false;        // guarded by lock_: a drain call is on its way
  std::size_t incomingCount_ = 0;

  // Window thread only.
  std::deque<Command> working_;
  int depth_ = 0;
  std::size_t batches_ = 0;
  std::chrono::milliseconds budget_{6};
  std::chrono::milliseconds frame_{16};
  std::chrono::steady_clock::time_point lastDrain_{};
  QTimer* frameTimer_ = nullptr;  // the next drain, when the last one was less than a frame ago
  std::function<void()> batchEnd_;
};

}  // namespace kestrune
