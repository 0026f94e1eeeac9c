// The texts the status line has shown, each with the moment it appeared: the newest
// kStatusHistoryMax of them, so a user can look back at when the link dropped and came back.
// Plain C++; used on the window thread only, like the status line itself.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace kestrune {

inline constexpr std::size_t kStatusHistoryMax = 1000;

// "1,234": counts in the texts people read.
std::string groupedCount(std::uint64_t n);
// The history's line for texts that came too fast to be shown: "(1,234 status texts skipped)".
std::string skippedStatusText(std::uint64_t skipped);

class StatusHistory {
 public:
  using Clock = std::chrono::system_clock;
  struct Entry {
    Clock::time_point shown;
    std::string text;
  };

  // Told before and after each change, so a table of the history follows it row by row: when the
  // history is full the oldest entry leaves the bottom first, then the new one comes in at the top.
  // historyGone comes last, from the history's destructor: a table may outlive its owner.
  enum class Change { DropOldest, AddNewest };
  class Listener {
   public:
    virtual ~Listener() = default;
    virtual void aboutToChange(Change change) = 0;
    virtual void changed(Change change) = 0;
    virtual void historyGone() = 0;
  };

  explicit StatusHistory(std::size_t capacity = kStatusHistoryMax) : capacity_(capacity) {}
  ~StatusHistory();
  StatusHistory(const StatusHistory&) = delete;
  StatusHistory& operator=(const StatusHistory&) = delete;

  void add(std::string text, Clock::time_point shown);
  std::size_t size() const { return entries_.size(); }
  // 0 is the newest.
  const Entry& at(std::size_t i) const { return entries_[i]; }
  // One listener at a time; null to stop.
  void setListener(Listener* listener) { listener_ = listener; }

 private:
  std::size_t capacity_;
  std::deque<Entry> entries_;  // newest first
  Listener* listener_ = nullptr;
};

}  // namespace kestrune
