#include "app/status_history_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <memory>

#include "alerts/alarm_mute_control.h"
#include "app/form_layout.h"
#include "app/quillfern_viewer_view.h"

namespace kestrune {

namespace {

enum Column { kTimeColumn, kTextColumn, kColumnCount };

QString shownTime(StatusHistory::Clock::time_point shown) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(shown.time_since_epoch()).count();
  return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

// A server may send a status text with line breaks or tabs; each text stays one row, and one line
// when copied.
QString shownText(const std::string& text) {
  QString out = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  for (QChar& c : out) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char(' ');
  }
  return out;
}

// Double-click on the status line opens the history; its context menu offers it beside Copy.
class StatusLineWatcher : public QObject {
 public:
  StatusLineWatcher(CQuillfernViewerView& view, QPlainTextEdit* status)
      : QObject(status), view_(view), status_(status), viewport_(status->viewport()) {
    viewport_->installEventFilter(this);
  }

 protected:
  // The viewport still has events while the status line is taken down: only the two events a
  // user makes ever touch the status line itself.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != viewport_) return false;
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      showStatusHistory(view_);
      return true;
    }
    if (event->type() == QEvent::ContextMenu) {
      std::unique_ptr<QMenu> menu(status_->createStandardContextMenu());
      menu->addSeparator();
      QAction* history = menu->addAction(QStringLiteral("Status History..."));
      history->setObjectName(QStringLiteral("StatusHistoryAction"));
      connect(history, &QAction::triggered, this, [this] { showStatusHistory(view_); });
      if (AlarmMuteControl* mute = AlarmMuteControl::of(&view_)) {
        menu->addMenu(mute->createMenu(menu.get()));
      }
      menu->exec(static_cast<QContextMenuEvent*>(event)->globalPos());
      return true;
    }
    return false;
  }

 private:
  CQuillfernViewerView& view_;
  QPlainTextEdit* status_;
  QObject* viewport_;
};

}  // namespace

StatusHistoryModel::StatusHistoryModel(StatusHistory& history, QObject* parent)
    : QAbstractTableModel(parent), history_(&history) {
  history.setListener(this);
}

StatusHistoryModel::~StatusHistoryModel() {
  if (history_ != nullptr) history_->setListener(nullptr);
}

void StatusHistoryModel::historyGone() {
  beginResetModel();
  history_ = nullptr;
  endResetModel();
}

int StatusHistoryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || history_ == nullptr ? 0 : static_cast<int>(history_->size());
}

int StatusHistoryModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant StatusHistoryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) return {};
  const StatusHistory::Entry& entry = history_->at(static_cast<std::size_t>(index.row()));
  return index.column() == kTimeColumn ? shownTime(entry.shown) : shownText(entry.text);
}

QVariant StatusHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section == kTimeColumn ? QStringLiteral("Time") : QStringLiteral("Text");
}

void StatusHistoryModel::aboutToChange(StatusHistory::Change change) {
  if (change == StatusHistory::Change::DropOldest) {
    const int last = rowCount() - 1;
    beginRemoveRows({}, last, last);
  } else {
    beginInsertRows({}, 0, 0);
  }
}

void StatusHistoryModel::changed(StatusHistory::Change change) {
  if (change == StatusHistory::Change::DropOldest) {
    endRemoveRows();
  } else {
    endInsertRows();
  }
}

StatusHistoryWindow::StatusHistoryWindow(CQuillfernViewerView& view) : QDialog(&view) {
  setObjectName(QStringLiteral("StatusHistory"));
  setWindowTitle(QStringLiteral("Status History"));
  // Closing only hides it: it keeps following the history and opens again as it was left.
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  table_ = new QTableView(this);
  table_->setObjectName(QStringLiteral("StatusHistoryTable"));
  table_->setModel(new StatusHistoryModel(view.statusHistory(), table_));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->resizeColumnToContents(kTimeColumn);
  layout->addWidget(table_);

  auto* copy = new QAction(QStringLiteral("Copy"), table_);
  copy->setObjectName(QStringLiteral("StatusHistoryCopy"));
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(copy, &QAction::triggered, this, &StatusHistoryWindow::copySelection);
  table_->addAction(copy);
  table_->setContextMenuPolicy(Qt::ActionsContextMenu);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* copyButton =
      buttons->addButton(QStringLiteral("Copy"), QDialogButtonBox::ActionRole);
  connect(copyButton, &QPushButton::clicked, this, &StatusHistoryWindow::copySelection);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  layout->addWidget(buttons);
  resize(640, 400);
}

QString StatusHistoryWindow::selectedText() const {
  QModelIndexList rows = table_->selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QString text;
  const QAbstractItemModel* model = table_->model();
  for (const QModelIndex& row : rows) {
    text += model->index(row.row(), kTimeColumn).data().toString() + QLatin1Char('\t') +
            model->index(row.row(), kTextColumn).data().toString() + QLatin1Char('\n');
  }
  return text;
}

void StatusHistoryWindow::copySelection() const {
  const QString text = selectedText();
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

StatusHistoryWindow* showStatusHistory(CQuillfernViewerView& view) {
  auto* window = view.findChild<StatusHistoryWindow*>(QString(), Qt::FindDirectChildrenOnly);
  if (window == nullptr) window = new StatusHistoryWindow(view);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

void installStatusHistory(CQuillfernViewerView& view) {
  if (auto* status = qobject_cast<QPlainTextEdit*>(view.control(IDC_STATUS))) {
    new StatusLineWatcher(view, status);
  }
}

}  // namespace kestrune
