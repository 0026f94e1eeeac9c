#include "alerts/color_list_ctrl.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPalette>

namespace kestrune {

CColorListCtrl::CColorListCtrl(QWidget* parent) : QTableView(parent) {
  setShowGrid(true);
  setSortingEnabled(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setFrameShape(QFrame::StyledPanel);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  // A stored width of 5 or 12 pixels is the user's: the header's own minimum must not raise it.
  horizontalHeader()->setMinimumSectionSize(0);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // Rows are painted opaque by the model's background role; the viewport fills the rest.
  viewport()->setAutoFillBackground(true);
  setRowColors(colors_);
  applyRowHeight();
}

void CColorListCtrl::setAlertModel(AlertListModel* model) {
  model_ = model;
  setModel(model);
  if (model_) model_->setRowColors(colors_);
}

void CColorListCtrl::setColumnWidths(std::span<const std::int32_t> widths) {
  int columns = model_ ? model_->columnCount() : 0;
  for (int c = 0; c < columns && c < static_cast<int>(widths.size()); ++c) {
    if (widths[c] >= 0) setColumnWidth(c, widths[c]);
  }
}

std::vector<std::int32_t> CColorListCtrl::columnWidths(int count) const {
  std::vector<std::int32_t> out(static_cast<std::size_t>(std::max(count, 0)), 0);
  int columns = model_ ? model_->columnCount() : 0;
  for (int c = 0; c < count && c < columns; ++c) out[static_cast<std::size_t>(c)] = columnWidth(c);
  return out;
}

void CColorListCtrl::setListFont(const QFont& font) {
  setFont(font);
  horizontalHeader()->setFont(font);
  applyRowHeight();
  viewport()->update();
}

void CColorListCtrl::changeEvent(QEvent* event) {
  QTableView::changeEvent(event);
  // A font set from outside (the view, the font preferences) still resizes the rows.
  if (event->type() == QEvent::FontChange) applyRowHeight();
}

void CColorListCtrl::applyRowHeight() {
  verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 3);
}

void CColorListCtrl::setRowColors(const RowColorPairs& colors) {
  colors_ = colors;
  QPalette p = palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    p.setColor(group, QPalette::Base, colors_.normalBk);
    p.setColor(group, QPalette::Window, colors_.normalBk);
    p.setColor(group, QPalette::Text, colors_.normalFg);
  }
  setPalette(p);
  viewport()->setPalette(p);
  if (model_) model_->setRowColors(colors_);
  markEraseOnce();
}

void CColorListCtrl::markEraseOnce() { viewport()->update(); }

}  // namespace kestrune
