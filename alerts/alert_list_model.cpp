#include "alerts/alert_list_model.h"

#include <QBrush>
#include <climits>

namespace kestrune {

const QColor& RowColorPairs::background(int code) const {
  switch (code) {
    case Highlight:
      return highlightBk;
    case SymFilter:
      return symFilterBk;
    case HighSymf:
      return highSymfBk;
    default:
      return normalBk;
  }
}

const QColor& RowColorPairs::foreground(int code) const {
  switch (code) {
    case Highlight:
      return highlightFg;
    case SymFilter:
      return symFilterFg;
    case HighSymf:
      return highSymfFg;
    default:
      return normalFg;
  }
}

AlertListModel::AlertListModel(AlertKind kind, QObject* parent)
    : QAbstractTableModel(parent), list_(kind) {}

int AlertListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(std::min<std::size_t>(list_.size(), INT_MAX));
}

int AlertListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : list_.columnCount();
}

QVariant AlertListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= list_.size())
    return {};
  auto row = static_cast<std::size_t>(index.row());
  switch (role) {
    case Qt::DisplayRole: {
      std::string_view text = list_.cell(row, index.column());
      // Record texts are single-byte; Latin-1 shows every byte as one character.
      return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    }
    case Qt::BackgroundRole:
      return QBrush(colors_.background(list_.code(row)));
    case Qt::ForegroundRole:
      return QBrush(colors_.foreground(list_.code(row)));
    case Qt::TextAlignmentRole:
      return QVariant::fromValue((index.column() == 0 ? Qt::AlignLeft : Qt::AlignRight) |
                                 Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant AlertListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= list_.columnCount()) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(alertColumnHeading(kind(), section));
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue((section == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
  return {};
}

void AlertListModel::stage(const AlertCells& cells, RowColor code) {
  staged_.push_back({cells, code});
}

void AlertListModel::commit() {
  if (staged_.empty()) return;
  // A view counts rows in int; past that, further rows are not kept rather than corrupting it.
  std::size_t room =
      static_cast<std::size_t>(INT_MAX) - std::min<std::size_t>(list_.size(), INT_MAX);
  std::size_t n = std::min(staged_.size(), room);
  if (n > 0) {
    beginInsertRows({}, 0, static_cast<int>(n) - 1);
    for (std::size_t i = 0; i < n; ++i) list_.append(staged_[i].cells, staged_[i].code);
    endInsertRows();
  }
  staged_.clear();
}

void AlertListModel::appendOlderRows(AlertList&& older) {
  if (older.kind() != kind() || older.empty()) return;
  commit();
  // The view counts rows in int, as commit() does.
  if (older.size() > static_cast<std::size_t>(INT_MAX) - list_.size()) return;
  const int first = static_cast<int>(list_.size());
  beginInsertRows({}, first, first + static_cast<int>(older.size()) - 1);
  older.appendNewer(list_);
  list_ = std::move(older);
  endInsertRows();
}

void AlertListModel::setRowCode(std::size_t row, RowColor code) {
  if (row >= list_.size()) return;
  list_.setCode(row, code);
  int r = static_cast<int>(row);
  emit dataChanged(index(r, 0), index(r, columnCount() - 1));
}

void AlertListModel::clear() {
  beginResetModel();
  staged_.clear();
  list_.clear();
  endResetModel();
}

void AlertListModel::setRowColors(const RowColorPairs& colors) {
  colors_ = colors;
  if (!list_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

}  // namespace kestrune
