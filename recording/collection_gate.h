// The daily collection window: live Listing samples open and close the data files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "recording/data_files.h"

namespace kestrune {

// The two minute-of-day values of the window (hour x 60 + minute).
struct CollectionWindow {
  std::int32_t startMinuteOfDay = 0;
  std::int32_t stopMinuteOfDay = 0;
};

// 0:0 to 0:0 records the whole day: the session date opens the files, the gate stays out.
bool isWholeDayCollection(const CollectionWindow& window);

// hour x 60 + minute without overflow: values are taken as typed, so a huge hour saturates.
std::int32_t minuteOfDay(std::int64_t hour, std::int64_t minute);

enum class GateAction { None, Open, Close };

// The decision for one Listing sample at minute m. With one end at 0:0, a 0:0 start means from
// midnight and a 0:0 stop means until midnight (the end of the day).
GateAction collectionDecision(std::int32_t m, const CollectionWindow& window, bool filesOpen);

struct GateResult {
  GateAction action = GateAction::None;
  OpenResult openResult = OpenResult::AlreadyOpen;  // meaningful when action is Open
};

// Applies the decision to files, opening those of sessionDate. A refused open (a date that is not
// eight digits) leaves recording closed; the caller shows openResultText for it.
GateResult collectionGate(std::int32_t m, const CollectionWindow& window, DataFiles& files,
                          std::string_view sessionDate);

// The window as live Listing samples drive it, the same in the monitor and the recorder: each
// sample's minute opens or closes the files of the session's date, on the receive thread, before
// the sample's own line is written.
class LiveCollectionGate {
 public:
  // window and sessionDate are asked at every sample (the window may change between samples; the
  // date is empty until a valid one arrived).
  LiveCollectionGate(DataFiles& files, std::function<CollectionWindow()> window,
                     std::function<std::string()> sessionDate);

  // A live Listing sample stamped at minute m. Returns the status text of a refused open, once
  // for each new problem rather than on every sample; empty otherwise.
  std::string listingSampleAt(std::int32_t m);

 private:
  DataFiles& files_;
  std::function<CollectionWindow()> window_;
  std::function<std::string()> sessionDate_;
  std::string lastProblem_;
};

}  // namespace kestrune
