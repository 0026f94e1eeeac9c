#include "monitor/status_history.h"

namespace kestrune {

StatusHistory::~StatusHistory() {
  if (listener_ != nullptr) listener_->historyGone();
}

void StatusHistory::add(std::string text, Clock::time_point shown) {
  if (capacity_ == 0) return;
  if (entries_.size() >= capacity_) {
    if (listener_ != nullptr) listener_->aboutToChange(Change::DropOldest);
    entries_.pop_back();
    if (listener_ != nullptr) listener_->changed(Change::DropOldest);
  }
  if (listener_ != nullptr) listener_->aboutToChange(Change::AddNewest);
  entries_.push_front({shown, std::move(text)});
  if (listener_ != nullptr) listener_->changed(Change::AddNewest);
}

}  // namespace kestrune
