#include "alerts/color_list_ctrl.h"

#include <QAction>
#include <QCache>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIODevice>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QProgressDialog>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <algorithm>
#include <vector>

#include "alerts/alert_list_text.h"

namespace kestrune {
namespace {

// Paints a cell as the style does (the row's colour pair, or the selection's, and the text with
// the style's margins, cut with "..." when it does not fit) from text laid out once: a live list
// repaints its visible rows many times a second as new rows push them down, and laying their
// texts out again each time was most of the window thread's work.
class AlertCellDelegate : public QStyledItemDelegate {
 public:
  // About three screens of the three lists' cells.
  explicit AlertCellDelegate(QObject* parent) : QStyledItemDelegate(parent), texts_(2048) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const QColor background = selected ? option.palette.color(QPalette::Highlight)
                                       : index.data(Qt::BackgroundRole).value<QBrush>().color();
    const QColor text = selected ? option.palette.color(QPalette::HighlightedText)
                                 : index.data(Qt::ForegroundRole).value<QBrush>().color();
    painter->fillRect(option.rect, background);
    if (const QStaticText* laid = laidOut(index.data(Qt::DisplayRole).toString(), option)) {
      const int margin = textMargin(option);
      const QRect room = option.rect.adjusted(margin, 0, -margin, 0);
      const QSizeF size = laid->size();
      const auto align = index.data(Qt::TextAlignmentRole).value<Qt::Alignment>();
      const qreal x = (align & Qt::AlignRight) ? room.right() + 1 - size.width() : room.left();
      const qreal y = room.top() + (room.height() - size.height()) / 2;
      painter->save();
      painter->setClipRect(room);
      painter->setPen(text);
      painter->setFont(option.font);
      painter->drawStaticText(QPointF(x, y), *laid);
      painter->restore();
    }
    if (option.state & QStyle::State_HasFocus) drawFocus(painter, option, background);
  }

 private:
  static void drawFocus(QPainter* painter, const QStyleOptionViewItem& option,
                        const QColor& background) {
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : nullptr;
    if (style == nullptr) return;
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(option);
    focus.rect = style->subElementRect(QStyle::SE_ItemViewItemFocusRect, &option, widget);
    focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
    focus.backgroundColor = background;
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
  }

  static int textMargin(const QStyleOptionViewItem& option) {
    const QStyle* style = option.widget ? option.widget->style() : nullptr;
    return style ? style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1 : 3;
  }

  // The text as it fits the cell's width, laid out in the cell's font; kept while its text, font
  // and width stay the same.
  const QStaticText* laidOut(const QString& whole, const QStyleOptionViewItem& option) const {
    if (whole.isEmpty()) return nullptr;
    if (option.font != font_) {
      texts_.clear();
      font_ = option.font;
    }
    const int width = option.rect.width() - 2 * textMargin(option);
    QString key = whole;
    key.append(QChar(static_cast<char16_t>(std::clamp(width, 0, 0xFFFF))));
    if (QStaticText* found = texts_.object(key)) return found;
    const QFontMetrics metrics(option.font);
    auto* laid = new QStaticText(metrics.elidedText(whole, Qt::ElideRight, std::max(width, 0)));
    laid->setTextFormat(Qt::PlainText);
    laid->prepare(QTransform(), option.font);
    texts_.insert(key, laid);
    return texts_.object(key);
  }

  mutable QFont font_;
  mutable QCache<QString, QStaticText> texts_;
};

constexpr int kSymbolColumn = 1;
// Rows written between two looks at the progress dialog.
constexpr std::size_t kExportRowsPerPiece = 16384;

QString suggestedCsvName(AlertKind kind) {
  switch (kind) {
    case AlertKind::Seq:
      return QStringLiteral("SeqList.csv");
    case AlertKind::Algo:
      return QStringLiteral("AlgoList.csv");
    case AlertKind::Raw:
      break;
  }
  return QStringLiteral("RawList.csv");
}

}  // namespace

CColorListCtrl::CColorListCtrl(QWidget* parent) : QTableView(parent) {
  setShowGrid(true);
  setSortingEnabled(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setFrameShape(QFrame::StyledPanel);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setItemDelegate(new AlertCellDelegate(this));
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

  showMessage = warningBox(this);
  copyAction_ = new QAction(QStringLiteral("Copy"), this);
  copyAction_->setShortcut(QKeySequence::Copy);
  // The key itself is handled by keyPressEvent; the menu only shows it.
  copyAction_->setShortcutContext(Qt::WidgetShortcut);
  exportAction_ = new QAction(QStringLiteral("Export List as CSV..."), this);
  addSymbolAction_ = new QAction(QStringLiteral("Add Symbol to Filters"), this);
  connect(copyAction_, &QAction::triggered, this, &CColorListCtrl::copySelection);
  connect(exportAction_, &QAction::triggered, this, [this] { exportCsv(); });
  connect(addSymbolAction_, &QAction::triggered, this, &CColorListCtrl::addCurrentSymbol);
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

QString CColorListCtrl::selectedRowsText() const {
  if (!model_ || !selectionModel()) return {};
  std::vector<std::size_t> rows;
  for (const QItemSelectionRange& range : selectionModel()->selection()) {
    for (int r = range.top(); r <= range.bottom(); ++r) rows.push_back(static_cast<std::size_t>(r));
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  const std::string text = alertRowsAsTsv(model_->list(), rows);
  // Record texts are single-byte; Latin-1 gives each byte the character the list shows.
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

void CColorListCtrl::copySelection() {
  if (!model_ || !selectionModel() || !selectionModel()->hasSelection()) return;
  QGuiApplication::clipboard()->setText(selectedRowsText());
}

void CColorListCtrl::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    copySelection();
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

void CColorListCtrl::contextMenuEvent(QContextMenuEvent* event) {
  // A right click has already made the row under it current (and selected it unless it was).
  const bool rows = model_ && model_->rowCount() > 0;
  copyAction_->setEnabled(rows && selectionModel() && selectionModel()->hasSelection());
  exportAction_->setEnabled(model_ != nullptr);
  addSymbolAction_->setEnabled(rows && currentIndex().isValid() && addSymbolToFilters);
  QMenu menu(this);
  menu.addAction(copyAction_);
  menu.addAction(exportAction_);
  menu.addSeparator();
  menu.addAction(addSymbolAction_);
  menu.exec(event->globalPos());
}

void CColorListCtrl::addCurrentSymbol() {
  if (!model_ || !addSymbolToFilters || !currentIndex().isValid()) return;
  const std::string_view symbol =
      model_->list().cell(static_cast<std::size_t>(currentIndex().row()), kSymbolColumn);
  if (!symbol.empty()) addSymbolToFilters(std::string(symbol));
}

SaveOutcome CColorListCtrl::exportCsv() {
  if (!model_) return SaveOutcome::Cancelled;
  const QString path =
      chooseFile(this, QStringLiteral("Export List as CSV"), suggestedCsvName(model_->kind()),
                 QStringLiteral("CSV files (*.csv);;All files (*)"));
  if (path.isEmpty()) return SaveOutcome::Cancelled;
  return exportCsvTo(path);
}

SaveOutcome CColorListCtrl::exportCsvTo(const QString& path) {
  if (!model_) return SaveOutcome::Cancelled;
  const QString title = QStringLiteral("Export List as CSV");
  // The progress dialog lets the window run: a reset may empty the list meanwhile, and the
  // rows being written would be gone.
  bool emptied = false;
  const QMetaObject::Connection watch = connect(model_, &QAbstractItemModel::modelAboutToBeReset,
                                                this, [&emptied] { emptied = true; });
  AlertListCsvWriter writer(model_->list());
  const int total = static_cast<int>(writer.rowCount());
  QProgressDialog progress(QStringLiteral("Exporting %1 rows...").arg(total),
                           QStringLiteral("Cancel"), 0, std::max(total, 1), this);
  progress.setWindowTitle(title);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(exportProgressDelayMs);
  progress.setValue(0);  // starts the clock of the delay
  std::string piece;
  const SaveOutcome outcome = saveFileTelling(
      path, title,
      [&](QIODevice& out) {
        for (;;) {
          piece.clear();
          writer.writeSome(piece, kExportRowsPerPiece);
          const auto size = static_cast<qint64>(piece.size());
          if (out.write(piece.data(), size) != size) return SaveOutcome::Failed;
          if (writer.done()) return SaveOutcome::Saved;
          progress.setValue(static_cast<int>(writer.rowsWritten()));
          if (progress.wasCanceled() || emptied) return SaveOutcome::Cancelled;
        }
      },
      showMessage);
  disconnect(watch);
  if (emptied && showMessage) {
    showMessage(title, QStringLiteral("The list was emptied during the export; nothing was "
                                      "written to %1.")
                           .arg(path));
  }
  return outcome;
}

}  // namespace kestrune
