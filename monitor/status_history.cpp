#include "monitor/status_history.h"

namespace kestrune {

std::string groupedCount(std::uint64_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  out.reserve(digits.size() + digits.size() / 3);
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string skippedStatusText(std::uint64_t skipped) {
  return "(" + groupedCount(skipped) + (skipped == 1 ? " status text" : " status texts") +
         " skipped)";
}

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
