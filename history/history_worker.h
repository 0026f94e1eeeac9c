// One thread of its own for the index across days, so that building it (seconds on a month of
// files) and querying it never hold up the window. Jobs run in the order they were posted, each
// on the worker's own index object; what a job hands back runs wherever the owner delivers it
// (the Qt layer: on the window thread). Plain C++, no Qt.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "history/history_index.h"

namespace kestrune {

class HistoryWorker {
 public:
  // What a job leaves for its owner; empty for nothing.
  using Reply = std::function<void()>;
  using Job = std::function<Reply(HistoryIndex& index)>;
  // Hands a reply over to the thread that should run it.
  using Deliver = std::function<void(Reply)>;

  // baseDir: the folder that holds Data/ (empty: the working directory).
  HistoryWorker(std::string baseDir, Deliver deliver);
  // Never waits for a job under way: the thread finishes it, drops what is still queued and ends
  // by itself; nothing more is delivered once this returns.
  ~HistoryWorker();
  HistoryWorker(const HistoryWorker&) = delete;
  HistoryWorker& operator=(const HistoryWorker&) = delete;

  void post(Job job);

  // Opens the index when it is not open yet and brings it up to date; false with the reason.
  static bool openAndUpdate(HistoryIndex& index, const std::string& baseDir,
                            HistoryUpdateReport& report, std::string& error);
  const std::string& baseDir() const { return baseDir_; }

 private:
  struct State;
  std::string baseDir_;
  std::shared_ptr<State> state_;
};

}  // namespace kestrune
