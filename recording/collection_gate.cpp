#include "recording/collection_gate.h"

#include <limits>
#include <utility>

namespace kestrune {

bool isWholeDayCollection(const CollectionWindow& window) {
  return window.startMinuteOfDay == 0 && window.stopMinuteOfDay == 0;
}

std::int32_t minuteOfDay(std::int64_t hour, std::int64_t minute) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  // Clamp first so the product cannot overflow either.
  if (hour > kMax) hour = kMax;
  if (hour < kMin) hour = kMin;
  if (minute > kMax) minute = kMax;
  if (minute < kMin) minute = kMin;
  std::int64_t m = hour * 60 + minute;
  if (m > kMax) m = kMax;
  if (m < kMin) m = kMin;
  return static_cast<std::int32_t>(m);
}

GateAction collectionDecision(std::int32_t m, const CollectionWindow& window, bool filesOpen) {
  if (isWholeDayCollection(window)) return GateAction::None;
  const std::int32_t start = window.startMinuteOfDay;
  // A stop of 0:0 beside a real start runs to the end of the day: nothing closes the files.
  const std::int32_t stop = window.stopMinuteOfDay == 0 ? std::numeric_limits<std::int32_t>::max()
                                                        : window.stopMinuteOfDay;
  if (filesOpen) return stop < m ? GateAction::Close : GateAction::None;
  return start <= m && m <= stop ? GateAction::Open : GateAction::None;
}

GateResult collectionGate(std::int32_t m, const CollectionWindow& window, DataFiles& files,
                          std::string_view sessionDate) {
  GateResult result;
  result.action = collectionDecision(m, window, files.dataFilesOpen());
  if (result.action == GateAction::Open) {
    result.openResult = files.openDataFiles(sessionDate);
  } else if (result.action == GateAction::Close) {
    files.closeDataFiles();
  }
  return result;
}

LiveCollectionGate::LiveCollectionGate(DataFiles& files, std::function<CollectionWindow()> window,
                                       std::function<std::string()> sessionDate)
    : files_(files), window_(std::move(window)), sessionDate_(std::move(sessionDate)) {}

std::string LiveCollectionGate::listingSampleAt(std::int32_t m) {
  const std::string date = sessionDate_();
  const GateResult result = collectionGate(m, window_(), files_, date);
  if (result.action != GateAction::Open) return {};
  std::string problem = openResultText(result.openResult, date, files_.notRegularFile());
  // A refused date is tried again on every sample: it is said once, until an open gets through.
  // Files that could not all be opened stay open as they are, so each time that happens is new.
  if (result.openResult == OpenResult::BadDate) {
    if (problem == lastProblem_) return {};
    lastProblem_ = problem;
  } else {
    lastProblem_.clear();
  }
  return problem;
}

}  // namespace kestrune
