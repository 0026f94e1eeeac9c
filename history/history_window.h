// File > "History...": the index across days in a window of its own, with three views: every
// alert of a symbol, the most active symbols and the recorded days, over one range of days. The
// index is brought up to date when the window opens and every question is answered on the
// index's own thread, so the window never waits on either. Tables sort by any column and copy
// their selected rows as tab-separated text; double-clicking an alert (or a day) asks the
// monitor to retrieve that day with the charts centred on its second.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "history/history_index.h"

class QComboBox;
class QCompleter;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSortFilterProxyModel;
class QSpinBox;
class QTabWidget;
class QTableView;

namespace kestrune {

class HistoryWorker;

// One answer as a table: each cell shows one value and sorts by another (a date shows as
// MMDDYYYY and sorts as YYYYMMDD).
class HistoryTableModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  struct Cell {
    QVariant shown;
    QVariant order;  // invalid: sorts by what it shows
  };
  // textColumns: the columns that hold the recorded texts (symbol, exchange, fields), which a
  // copy makes safe for a spreadsheet.
  HistoryTableModel(QStringList headings, std::vector<int> textColumns, QObject* parent = nullptr);

  void setRows(std::vector<std::vector<Cell>> rows);
  const std::vector<Cell>& row(int r) const { return rows_[static_cast<std::size_t>(r)]; }
  bool isTextColumn(int column) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  QStringList headings_;
  std::vector<int> textColumns_;
  std::vector<std::vector<Cell>> rows_;
};

// The selected rows of a table in the order the view shows them, headings first, one line each,
// cells separated by tabs. A tab or line break inside a cell becomes a space; a recorded text
// that a spreadsheet would take for a formula gets a leading apostrophe.
QString historyRowsAsTsv(const QTableView& table);

class HistoryWindow : public QDialog {
  Q_OBJECT
 public:
  // The day (MMDDYYYY) and second an alert was double-clicked at. The answer is empty when the
  // day is being retrieved, else the reason it is not.
  using RetrieveAlert = std::function<QString(const std::string& date, int second)>;

  HistoryWindow(std::string baseDir, RetrieveAlert retrieve, QWidget* parent = nullptr);
  ~HistoryWindow() override;

  // Shows a symbol's alerts (as if typed into the symbol field and Enter pressed).
  void showSymbol(const QString& symbol);
  // Asks every view again over the range typed.
  void refresh();
  // Whether the index is still being brought up to date.
  bool indexing() const { return indexing_; }

  QLabel* statusLabel() const { return status_; }
  QLineEdit* symbolEdit() const { return symbol_; }
  QTableView* symbolTable() const { return symbolTable_; }
  QTableView* topTable() const { return topTable_; }
  QTableView* daysTable() const { return daysTable_; }
  QTabWidget* tabs() const { return tabs_; }
  QCompleter* completer() const { return completer_; }

 signals:
  // The index is up to date (or could not be) and its first answers are shown.
  void indexed();
  // An answer has been put into one of the tables.
  void answered();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTableView* makeTable(HistoryTableModel* model);
  bool readRange(HistoryRange& range);
  void querySymbol(const std::string& symbol, HistoryRange range);
  void queryTop(HistoryRange range);
  void queryDays(HistoryRange range);
  void retrieveRow(QTableView* table, const QModelIndex& index);
  void showProblem(const QString& text);

  std::string baseDir_;
  RetrieveAlert retrieve_;
  bool indexing_ = true;
  QLabel* status_ = nullptr;
  QProgressBar* busy_ = nullptr;
  QLineEdit* from_ = nullptr;
  QLineEdit* to_ = nullptr;
  QLineEdit* symbol_ = nullptr;
  QCompleter* completer_ = nullptr;
  QComboBox* list_ = nullptr;
  QSpinBox* limit_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  HistoryTableModel* symbolModel_ = nullptr;
  HistoryTableModel* topModel_ = nullptr;
  HistoryTableModel* daysModel_ = nullptr;
  QTableView* symbolTable_ = nullptr;
  QTableView* topTable_ = nullptr;
  QTableView* daysTable_ = nullptr;
  // Last, so that it goes first: nothing is delivered to a window being taken down.
  std::unique_ptr<HistoryWorker> worker_;
};

}  // namespace kestrune
