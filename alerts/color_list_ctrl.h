// CColorListCtrl: the coloured alert list on the main window. A QTableView over an
// AlertListModel: every row in the colour pair of its code, grid lines, full-row selection, no
// sorting, fixed row height (so a list of a million rows lays out and scrolls in constant time),
// and the empty area below the last row in NORMAL's background.
#pragma once

#include <QFont>
#include <QTableView>
#include <span>

#include "alerts/alert_list_model.h"

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

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void applyRowHeight();

  AlertListModel* model_ = nullptr;
  RowColorPairs colors_;
};

}  // namespace kestrune
