// CColorListCtrl: the coloured alert list on the main window. A QTableView over an
// AlertListModel: every row in the colour pair of its code, grid lines, full-row selection, no
// sorting, fixed row height (so a list of a million rows lays out and scrolls in constant time),
// and the empty area below the last row in NORMAL's background.
//
// Rows can be selected with click, Shift and Ctrl. Ctrl+C and the context menu's "Copy" put the
// selected rows on the clipboard as tab-separated text; "Export List as CSV..." writes every row
// to a file; "Add Symbol to Filters" hands the current row's symbol to the owner.
#pragma once

#include <QFont>
#include <QTableView>
#include <functional>
#include <span>
#include <string>

#include "alerts/alert_list_model.h"
#include "forms/save_file.h"

class QAction;

namespace kestrune {

class CColorListCtrl : public QTableView {
  Q_OBJECT

 public:
  explicit CColorListCtrl(QWidget* parent = nullptr);

  // Shows model (not owned). Columns take their headings from it.
  void setAlertModel(AlertListModel* model);
  AlertListModel* alertModel() const { return model_; }

  // Column widths in pixels, column 0 first; missing widths keep the current ones.
  void setColumnWidths(std::span<const std::int32_t> widths);
  // The current widths of columns 0..count-1; a column that does not exist reports 0.
  std::vector<std::int32_t> columnWidths(int count) const;

  // The list font: rows take its height.
  void setListFont(const QFont& font);

  // The four colour pairs; also the view's own background and text (NORMAL), which fill the
  // area below the last row.
  void setRowColors(const RowColorPairs& colors);
  const RowColorPairs& rowColors() const { return colors_; }

  // Repaints the whole list once, background included. Called after a reset, a confirmed
  // preference dialog, or a repaint of the form; Qt already repaints what scrolling and column
  // resizing uncover, so nothing else is needed to leave no stale pixels.
  void markEraseOnce();

  // The selected rows, top to bottom, with the headings first, tab-separated; what "Copy" puts
  // on the clipboard.
  QString selectedRowsText() const;
  void copySelection();
  // "Export List as CSV...": asks for a file, then writes every row shown into it.
  SaveOutcome exportCsv();
  // Writes every row shown to path (headings first, newest first) behind a progress dialog that
  // can stop it; a stopped or failed export leaves no file under that name.
  SaveOutcome exportCsvTo(const QString& path);

  // The context menu's actions, in menu order.
  QAction* copyAction() const { return copyAction_; }
  QAction* exportAction() const { return exportAction_; }
  QAction* addSymbolAction() const { return addSymbolAction_; }

  // Set by the owner: adds a symbol to the watched symbols.
  std::function<void(const std::string& symbol)> addSymbolToFilters;
  // The file chooser and the message box, replaceable so the list can be driven by a test.
  SaveFileChooser chooseFile = chooseSaveFile;
  MessageSink showMessage;
  // How long an export runs before its progress dialog shows.
  int exportProgressDelayMs = 400;

 protected:
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void applyRowHeight();
  void addCurrentSymbol();

  AlertListModel* model_ = nullptr;
  RowColorPairs colors_;
  QAction* copyAction_ = nullptr;
  QAction* exportAction_ = nullptr;
  QAction* addSymbolAction_ = nullptr;
};

}  // namespace kestrune
