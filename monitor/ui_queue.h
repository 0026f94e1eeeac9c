// The ordered UI queue: everything the receive thread does to the window travels through here.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <condition_variable>
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
//
// The queue is bounded: a thread other than the window thread that finds it full waits until the
// window thread has taken the batch (records are never dropped; the sender's socket holds the
// rest). Two things keep that wait from ever closing a circle: the window thread announces each
// wait of its own for another thread (WindowWait), and a full queue that the window thread has not
// touched for a second stops making anyone wait until it drains again.
class UiQueue : public QObject {
  Q_OBJECT

 public:
  using Command = std::function<void()>;

  // The thread that creates the queue is taken to be the window thread.
  explicit UiQueue(QObject* parent = nullptr);
  ~UiQueue() override;

  // Any thread, including the window thread itself (the command then runs on a later drain, after
  // everything already queued). An empty command is ignored. From another thread it waits while
  // the queue is full, unless told never to (for callers that hold a lock the window thread may
  // take, and post only a few bounded things).
  enum class Wait { IfFull, Never };
  void post(Command command, Wait wait = Wait::IfFull);

  // A command that later ones of the same tag may stand in for: while it is the newest command
  // still waiting for a drain, postLatest with the same tag first calls `merge` under the queue's
  // lock (the waiting command cannot run meanwhile); when merge returns true, command is not
  // queued. So a flood of one kind of update costs one command per drain, and the order with
  // everything else stays as it was posted. Returns whether it merged.
  bool postLatest(const void* tag, Command command, const std::function<bool()>& merge);

  // The window thread is about to wait for another thread (a link's end, the connect worker):
  // while one of these lives, nobody waits for room in the queue.
  class WindowWait {
   public:
    explicit WindowWait(UiQueue& queue);
    ~WindowWait();
    WindowWait(const WindowWait&) = delete;
    WindowWait& operator=(const WindowWait&) = delete;

   private:
    UiQueue& queue_;
  };

  // Window thread: runs everything queued so far, in order, now. Safe to call from inside a
  // command; the nested call simply carries on with the queue where the outer one stands.
  void drainNow();

  // Called once after each drained batch (models commit their appended rows, charts repaint).
  void setBatchEndHandler(std::function<void()> handler);

  // A scheduled drain gives the event loop back after this long, so a huge burst cannot freeze
  // the window; the rest runs in the next frame, still in order.
  void setSliceBudget(std::chrono::milliseconds budget);
  // The shortest time from one scheduled drain to the next (0: drain whenever asked). The first
  // drain comes at once.
  void setFrameInterval(std::chrono::milliseconds interval);
  // How many commands may wait for the window thread before other threads wait for room.
  void setCapacity(std::size_t commands);

  bool isWindowThread() const;
  // Commands posted and not yet run (either side of the swap).
  std::size_t pendingCount() const;
  // Number of drains that ran at least one command; tests use it to see that bursts coalesce.
  std::size_t batchCount() const { return batches_; }

 private:
  void scheduleLocked();
  Q_INVOKABLE void drainScheduled();
  // Moves everything posted onto the window thread's own list (under lock_).
  void takeIncoming(bool scheduledDrain);
  void runWorking(bool useBudget);
  // Appends under lock_ (held by guard), waiting for room first when asked to.
  void append(std::unique_lock<std::mutex>& guard, Command command, const void* tag, Wait wait);

  const std::thread::id windowThread_;
  mutable std::mutex lock_;
  std::condition_variable roomMade_;
  std::deque<Command> incoming_;     // guarded by lock_
  bool scheduled_ = false;           // guarded by lock_: a drain call is on its way
  const void* newestTag_ = nullptr;  // guarded by lock_: tag of incoming_.back(), if any
  std::size_t capacity_ = 65'536;    // guarded by lock_
  std::size_t workingCount_ = 0;     // guarded by lock_: working_.size() as of the last slice
  int windowWaits_ = 0;              // guarded by lock_
  bool windowUnresponsive_ = false;  // guarded by lock_: full for a second, no drain since

  // Window thread only.
  std::deque<Command> working_;
  int depth_ = 0;
  std::size_t batches_ = 0;
  std::chrono::milliseconds budget_{6};
  std::chrono::milliseconds frame_{16};
  bool drainedOnce_ = false;
  std::chrono::steady_clock::time_point lastDrain_{};
  QTimer* frameTimer_ = nullptr;  // the next drain, when the last one was less than a frame ago
  std::function<void()> batchEnd_;
};

}  // namespace kestrune
