#include "recording/file_times.h"

#include <QLineEdit>
#include <array>

#include "forms/dialog_layout.h"

namespace kestrune {

namespace {

constexpr std::array<ControlRow, 12> kFileTimesRows = {{
    {0, ControlKind::Label, "Data Collection Start Time:", 49, 9, 86, 8, kNoFlags},
    {kIdStartHour, ControlKind::Edit, "", 68, 19, 19, 14, kDigits | kBorder},
    {0, ControlKind::Label, ":", 89, 22, 8, 8, kAlignCenter},
    {kIdStartMinute, ControlKind::Edit, "", 98, 19, 19, 14, kDigits | kBorder},
    {0, ControlKind::Label, "Data Collection Stop Time:", 50, 40, 85, 8, kNoFlags},
    {kIdStopHour, ControlKind::Edit, "", 68, 51, 19, 14, kDigits | kBorder},
    {0, ControlKind::Label, ":", 88, 54, 8, 8, kAlignCenter},
    {kIdStopMinute, ControlKind::Edit, "", 98, 51, 19, 14, kDigits | kBorder},
    {0, ControlKind::Label, "( Hour : Minute )", 66, 73, 54, 8, kNoFlags},
    {0, ControlKind::Label, "( 0:0 - 0:0 for complete day )", 45, 83, 94, 8, kNoFlags},
    {1, ControlKind::Button, "OK", 42, 100, 50, 14, kDefault},
    {2, ControlKind::Button, "Cancel", 93, 100, 50, 14, kNoFlags},
}};

}  // namespace

void confirmFileTimes(const FileTimesValues& values, MonitorSettings& settings) {
  settings.collectStartHour = values.startHour;
  settings.collectStartMinute = values.startMinute;
  settings.collectStopHour = values.stopHour;
  settings.collectStopMinute = values.stopMinute;
  settings.collectStartMinuteOfDay = minuteOfDay(values.startHour, values.startMinute);
  settings.collectStopMinuteOfDay = minuteOfDay(values.stopHour, values.stopMinute);
}

CollectionWindow collectionWindowOf(const MonitorSettings& settings) {
  return {settings.collectStartMinuteOfDay, settings.collectStopMinuteOfDay};
}

FileTimes::FileTimes(const MonitorSettings& settings, double dpiScale, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle("File Data Collection Times");
  // The 8-point dialog font, as the other dialogs and the form: the rows are sized for it.
  setFont(dialogFont(dpiScale));
  setFixedSize(dialogRectToPixels(0, 0, 186, 121, dpiScale).size());
  buildControls(this, kFileTimesRows, dpiScale);

  values_.startHour = settings.collectStartHour;
  values_.startMinute = settings.collectStartMinute;
  values_.stopHour = settings.collectStopHour;
  values_.stopMinute = settings.collectStopMinute;
  bindEdit(kIdStartHour, &FileTimesValues::startHour);
  bindEdit(kIdStartMinute, &FileTimesValues::startMinute);
  bindEdit(kIdStopHour, &FileTimesValues::stopHour);
  bindEdit(kIdStopMinute, &FileTimesValues::stopMinute);

  connectOkCancel(this);
}

void FileTimes::bindEdit(int id, std::int32_t FileTimesValues::*field) {
  auto* edit = findControlAs<QLineEdit>(this, id);
  if (!edit) return;
  edit->setText(QString::number(values_.*field));
  // Each box sets only its own value; an emptied box keeps the value it had.
  connect(edit, &QLineEdit::textChanged, this, [this, field](const QString& text) {
    if (!text.isEmpty()) values_.*field = leadingDecimal(text.toStdString());
  });
}

bool runFileTimes(QWidget* parent, MonitorSettings& settings, double dpiScale) {
  FileTimes dialog(settings, dpiScale, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  confirmFileTimes(dialog.values(), settings);
  return true;
}

}  // namespace kestrune
