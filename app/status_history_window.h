// The "Status History" window: every text the status line has shown, newest first, with the local
// time it appeared; rows can be selected and copied. Opened by double-clicking the status line or
// from its context menu, and kept up to date while open.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QString>

#include "monitor/status_history.h"

class QTableView;

namespace kestrune {

class CQuillfernViewerView;

// The history as a two-column table ("Time", "Text") that follows it row by row.
class StatusHistoryModel : public QAbstractTableModel, private StatusHistory::Listener {
  Q_OBJECT
 public:
  explicit StatusHistoryModel(StatusHistory& history, QObject* parent = nullptr);
  ~StatusHistoryModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  void aboutToChange(StatusHistory::Change change) override;
  void changed(StatusHistory::Change change) override;
  void historyGone() override;

  // The view owns the history and takes it down before its child windows: null from then on.
  StatusHistory* history_;
};

class StatusHistoryWindow : public QDialog {
  Q_OBJECT
 public:
  explicit StatusHistoryWindow(CQuillfernViewerView& view);

  QTableView* table() const { return table_; }
  // The selected rows, top to bottom, one "time<TAB>text" line each.
  QString selectedText() const;
  void copySelection() const;

 private:
  QTableView* table_ = nullptr;
};

// Opens the window, or brings the one already open to the front.
StatusHistoryWindow* showStatusHistory(CQuillfernViewerView& view);

// The status line's double-click and its context menu item "Status History..."; once the form
// is built.
void installStatusHistory(CQuillfernViewerView& view);

}  // namespace kestrune
