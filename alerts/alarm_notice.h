// What one alarm was about, for the desktop notification, and the wording of that notification.
// Plain C++: the intakes fill an AlarmNotice where they decide a sound; alarm_notifier.h sends it.
#pragma once

#include <chrono>
#include <string>

#include "alerts/alert_intake.h"

namespace kestrune {

struct AlarmNotice {
  std::string source;   // the list or chart: "Raw list", "Listing chart", "Symbol alarm, Seq list"
  std::string subject;  // symbol (with its exchange where the list has one); empty for charts
  std::string count;    // the record's count as the server sent it; empty for charts
  std::string time;     // hh:mm:ss of the record, or of the alarm for charts
};

// The notice for a list record that sounded.
AlarmNotice listAlarmNotice(const AlertDecision& decision);
// The notice for a chart slot (0 Algo, 1 Listing, 2 Reporting) at the local time hh:mm:ss.
AlarmNotice chartAlarmNotice(int slot, const std::string& time);
// The local time of day now as hh:mm:ss.
std::string localClockTime();

// Turns alarms into the one notification on screen. Alarms less than 5 s apart count as one run:
// the notification keeps its place and shows how many alarms the run holds; a quieter gap starts
// a new run at one.
class AlarmNotificationText {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kRunGap = std::chrono::seconds(5);

  struct Text {
    std::string summary;
    std::string body;
  };
  // alarms: how many alarms this notice stands for (a batch of records may set off several).
  Text take(const AlarmNotice& notice, int alarms, Clock::time_point now);
  int runCount() const { return run_; }

 private:
  int run_ = 0;
  Clock::time_point last_{};
};

}  // namespace kestrune
