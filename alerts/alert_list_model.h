// The table model over one AlertList: newest row first, each row coloured by its RowColor code.
// Rows arriving from the receive thread are staged and committed in batches, one
// beginInsertRows per batch, so a burst of records costs one repaint.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <span>
#include <vector>

#include "alerts/alert_list.h"

namespace kestrune {

// The four colour pairs of the lists, as background/text. Codes outside 1..3 use NORMAL.
struct RowColorPairs {
  QColor normalBk = Qt::white, normalFg = Qt::black;
  QColor highlightBk = Qt::white, highlightFg = Qt::black;
  QColor symFilterBk = Qt::blue, symFilterFg = Qt::white;
  QColor highSymfBk = Qt::green, highSymfFg = Qt::black;

  const QColor& background(int code) const;
  const QColor& foreground(int code) const;
};

class AlertListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit AlertListModel(AlertKind kind, QObject* parent = nullptr);

  AlertKind kind() const { return list_.kind(); }
  const AlertList& list() const { return list_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  // Holds the row back until commit(); rows staged together become one insertion.
  void stage(const AlertCells& cells, RowColor code);
  // Inserts every staged row at the top, the latest staged on top.
  void commit();
  // Puts rows that came before every row shown now below them, in one insertion: the day's
  // earlier records, read while the list was taking new ones. Into an empty list the rows are
  // taken over whole, at no cost per row. Rows of another list are ignored.
  void appendOlderRows(AlertList&& older);

  // Sets every row's code in one pass and redraws the list once.
  template <typename Fn>
  void recolorAll(Fn newCode) {
    commit();
    for (std::size_t r = 0; r < list_.size(); ++r) list_.setCode(r, newCode(r));
    if (!list_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  }
  void setRowCode(std::size_t row, RowColor code);

  void clear();

  void setRowColors(const RowColorPairs& colors);
  const RowColorPairs& rowColors() const { return colors_; }

 private:
  struct Staged {
    AlertCells cells;
    RowColor code;
  };
  AlertList list_;
  std::vector<Staged> staged_;
  RowColorPairs colors_;
};

}  // namespace kestrune
