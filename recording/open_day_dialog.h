// File > "Open...": the days recorded in the Data folder, newest first, with the size of each of
// their six files and a mark where one is missing. The chosen day is retrieved as if its date had
// been typed into View Date and Retrieve pressed.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "recording/day_scan.h"

class QPushButton;
class QTableWidget;

namespace kestrune {

class OpenDayDialog : public QDialog {
  Q_OBJECT
 public:
  // folder is only shown, to tell the user where the days were looked for.
  OpenDayDialog(std::vector<RecordedDayFiles> days, const QString& folder,
                QWidget* parent = nullptr);

  // MMDDYYYY of the selected row; empty when none is selected.
  std::string chosenDate() const;
  // Open is usable only while a day is selected and the caller allows it.
  void setOpenAllowed(bool allowed);

  QTableWidget* table() const { return table_; }
  QPushButton* openButton() const { return open_; }

 private:
  void updateOpenButton();

  std::vector<RecordedDayFiles> days_;
  QTableWidget* table_ = nullptr;
  QPushButton* open_ = nullptr;
  bool allowed_ = true;
};

// Runs the dialog over the days of "Data" under baseDir (empty: the working directory). Its Open
// button is usable only while retrieve (the form's Retrieve button) is enabled. Returns the
// chosen date, empty when the user cancelled.
std::string chooseRecordedDay(QWidget* parent, QWidget* retrieve, const std::string& baseDir = {});

}  // namespace kestrune
