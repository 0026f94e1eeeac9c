// "File Data Collection Times": the start and stop of recording, as hour and minute.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "recording/collection_gate.h"
#include "settings/monitor_settings.h"

namespace kestrune {

// Control ids of the dialog.
enum FileTimesControl : int {
  kIdStartHour = 1011,
  kIdStartMinute = 1012,
  kIdStopHour = 1013,
  kIdStopMinute = 1014,
};

struct FileTimesValues {
  std::int32_t startHour = 0;
  std::int32_t startMinute = 0;
  std::int32_t stopHour = 0;
  std::int32_t stopMinute = 0;
};

// Copies the four values into the settings and recomputes both minute-of-day values.
void confirmFileTimes(const FileTimesValues& values, MonitorSettings& settings);

// The window the gate and the session-date handling read.
CollectionWindow collectionWindowOf(const MonitorSettings& settings);

class FileTimes : public QDialog {
  Q_OBJECT
 public:
  explicit FileTimes(const MonitorSettings& settings, double dpiScale = 1.0,
                     QWidget* parent = nullptr);
  const FileTimesValues& values() const { return values_; }

 private:
  void bindEdit(int id, std::int32_t FileTimesValues::*field);

  FileTimesValues values_;
};

// Menu "Data Collection &Times": runs the dialog; on OK the settings take its values and the
// result is true (the caller then marks the three alert lists for one full repaint).
bool runFileTimes(QWidget* parent, MonitorSettings& settings, double dpiScale = 1.0);

}  // namespace kestrune
