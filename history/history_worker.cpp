#include "history/history_worker.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace kestrune {

struct HistoryWorker::State {
  std::mutex lock;
  std::condition_variable wake;
  std::deque<Job> jobs;
  bool stopping = false;
  // Held while a reply is handed over, so that the owner cannot go away in the middle of it.
  std::mutex deliverLock;
  Deliver deliver;
};

HistoryWorker::HistoryWorker(std::string baseDir, Deliver deliver)
    : baseDir_(std::move(baseDir)), state_(std::make_shared<State>()) {
  state_->deliver = std::move(deliver);
  // The thread keeps the state alive; it is detached so that closing a window never waits on
  // an index build.
  std::thread([state = state_] {
    HistoryIndex index;
    for (;;) {
      Job job;
      {
        std::unique_lock<std::mutex> guard(state->lock);
        state->wake.wait(guard, [&] { return state->stopping || !state->jobs.empty(); });
        if (state->stopping) return;
        job = std::move(state->jobs.front());
        state->jobs.pop_front();
      }
      Reply reply = job(index);
      if (!reply) continue;
      std::lock_guard<std::mutex> guard(state->deliverLock);
      if (state->deliver) state->deliver(std::move(reply));
    }
  }).detach();
}

HistoryWorker::~HistoryWorker() {
  {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->stopping = true;
    state_->jobs.clear();
  }
  state_->wake.notify_all();
  std::lock_guard<std::mutex> guard(state_->deliverLock);
  state_->deliver = nullptr;
}

void HistoryWorker::post(Job job) {
  {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->jobs.push_back(std::move(job));
  }
  state_->wake.notify_one();
}

bool HistoryWorker::openAndUpdate(HistoryIndex& index, const std::string& baseDir,
                                  HistoryUpdateReport& report, std::string& error) {
  if (!index.isOpen() && !index.open(baseDir, error)) return false;
  return index.update(report, error);
}

}  // namespace kestrune
