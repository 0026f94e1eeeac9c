#include "alerts/alarm_notice.h"

#include <cstdio>
#include <ctime>

namespace kestrune {
namespace {

const char* listName(AlertKind kind) {
  switch (kind) {
    case AlertKind::Raw:
      return "Raw list";
    case AlertKind::Seq:
      return "Seq list";
    case AlertKind::Algo:
      return "Algo list";
  }
  return "list";
}

}  // namespace

AlarmNotice listAlarmNotice(const AlertDecision& d) {
  AlarmNotice n;
  n.source =
      d.sound.symbolAlarm ? std::string("Watched symbol, ") + listName(d.kind) : listName(d.kind);
  n.time = std::string(d.cells.cell(0));
  n.subject = std::string(d.cells.cell(1));
  // Seq and Algo rows carry the exchange in the column after the symbol.
  if (d.kind != AlertKind::Raw && !d.cells.cell(2).empty()) {
    n.subject += " on ";
    n.subject += d.cells.cell(2);
  }
  n.count = std::string(d.cells.cell(alertCountColumn(d.kind)));
  return n;
}

AlarmNotice chartAlarmNotice(int slot, const std::string& time) {
  static constexpr const char* kCharts[] = {"Algo chart", "Listing chart", "Reporting chart"};
  AlarmNotice n;
  n.source = slot >= 0 && slot < 3 ? kCharts[slot] : "chart";
  n.time = time;
  return n;
}

std::string localClockTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr) return {};
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

AlarmNotificationText::Text AlarmNotificationText::take(const AlarmNotice& notice, int alarms,
                                                        Clock::time_point now) {
  if (alarms < 1) alarms = 1;
  run_ = run_ > 0 && now - last_ < kRunGap ? run_ + alarms : alarms;
  last_ = now;
  Text t;
  t.summary = "Kestrune alarm: " + notice.source;
  std::string line = notice.subject;
  if (!notice.count.empty()) line += (line.empty() ? "count " : ", count ") + notice.count;
  if (!notice.time.empty()) line += (line.empty() ? "at " : " at ") + notice.time;
  if (run_ > 1) {
    t.summary += " (" + std::to_string(run_) + " alarms)";
    t.body = std::to_string(run_) + " alarms in quick succession; latest: " + line;
  } else {
    t.body = line;
  }
  return t;
}

}  // namespace kestrune
