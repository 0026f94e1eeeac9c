#include "history/history_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QStringListModel>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "alerts/alert_list_text.h"
#include "history/history_worker.h"

namespace kestrune {

namespace {

constexpr const char* kListNames[3] = {"Raw", "Seq", "Algo"};
constexpr int kSortRole = Qt::UserRole;
constexpr int kDefaultTopLimit = 100;

QString latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

HistoryTableModel::Cell dayCell(int day) { return {latin1(historyDayText(day)), day}; }
HistoryTableModel::Cell textCell(const std::string& text) { return {latin1(text), {}}; }
HistoryTableModel::Cell numberCell(qlonglong n) { return {n, {}}; }

void appendTsvCell(QString& out, const QString& cell) {
  for (QChar c : cell) {
    out += c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')
               ? QChar(QLatin1Char(' '))
               : c;
  }
}

}  // namespace

HistoryTableModel::HistoryTableModel(QStringList headings, std::vector<int> textColumns,
                                     QObject* parent)
    : QAbstractTableModel(parent),
      headings_(std::move(headings)),
      textColumns_(std::move(textColumns)) {}

void HistoryTableModel::setRows(std::vector<std::vector<Cell>> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

bool HistoryTableModel::isTextColumn(int column) const {
  return std::find(textColumns_.begin(), textColumns_.end(), column) != textColumns_.end();
}

int HistoryTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int HistoryTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(headings_.size());
}

QVariant HistoryTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
  const std::vector<Cell>& r = rows_[static_cast<std::size_t>(index.row())];
  if (static_cast<std::size_t>(index.column()) >= r.size()) return {};
  const Cell& c = r[static_cast<std::size_t>(index.column())];
  if (role == Qt::DisplayRole) return c.shown;
  if (role == kSortRole) return c.order.isValid() ? c.order : c.shown;
  if (role == Qt::TextAlignmentRole && c.shown.typeId() == QMetaType::LongLong) {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  }
  return {};
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
      section < headings_.size()) {
    return headings_[section];
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

QString historyRowsAsTsv(const QTableView& table) {
  QAbstractItemModel* model = table.model();
  const auto* proxy = qobject_cast<const QSortFilterProxyModel*>(model);
  const auto* source = proxy != nullptr
                           ? qobject_cast<const HistoryTableModel*>(proxy->sourceModel())
                           : qobject_cast<const HistoryTableModel*>(model);
  if (model == nullptr || table.selectionModel() == nullptr) return {};
  QModelIndexList rows = table.selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QString out;
  const int columns = model->columnCount();
  for (int c = 0; c < columns; ++c) {
    if (c > 0) out += QLatin1Char('\t');
    appendTsvCell(out, model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
  }
  out += QLatin1Char('\n');
  for (const QModelIndex& row : rows) {
    for (int c = 0; c < columns; ++c) {
      if (c > 0) out += QLatin1Char('\t');
      const QString cell = model->index(row.row(), c).data(Qt::DisplayRole).toString();
      // Only the recorded texts can start like a formula; dates, times and counts are ours.
      if (source != nullptr && source->isTextColumn(c) &&
          startsLikeFormula(cell.toLatin1().toStdString())) {
        out += QLatin1Char('\'');
      }
      appendTsvCell(out, cell);
    }
    out += QLatin1Char('\n');
  }
  return out;
}

HistoryWindow::HistoryWindow(std::string baseDir, RetrieveAlert retrieve, QWidget* parent)
    : QDialog(parent), baseDir_(std::move(baseDir)), retrieve_(std::move(retrieve)) {
  setObjectName(QStringLiteral("historyWindow"));
  setWindowTitle(QStringLiteral("History"));
  setAttribute(Qt::WA_DeleteOnClose);
  resize(760, 520);

  status_ = new QLabel(QStringLiteral("Indexing the recorded days..."), this);
  status_->setObjectName(QStringLiteral("historyStatus"));
  busy_ = new QProgressBar(this);
  busy_->setRange(0, 0);  // no measure of the work ahead: a busy bar
  busy_->setMaximumWidth(160);
  busy_->setTextVisible(false);

  from_ = new QLineEdit(this);
  to_ = new QLineEdit(this);
  for (QLineEdit* e : {from_, to_}) {
    e->setPlaceholderText(QStringLiteral("MMDDYYYY"));
    e->setMaxLength(8);
    e->setMaximumWidth(100);
    connect(e, &QLineEdit::returnPressed, this, &HistoryWindow::refresh);
  }
  auto* apply = new QPushButton(QStringLiteral("Apply"), this);
  apply->setAutoDefault(false);
  connect(apply, &QPushButton::clicked, this, &HistoryWindow::refresh);

  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(QStringLiteral("From"), this));
  top->addWidget(from_);
  top->addWidget(new QLabel(QStringLiteral("To"), this));
  top->addWidget(to_);
  top->addWidget(apply);
  top->addStretch(1);
  top->addWidget(busy_);

  tabs_ = new QTabWidget(this);
  // Every alert of a symbol.
  symbolModel_ = new HistoryTableModel(
      {QStringLiteral("date"), QStringLiteral("time"), QStringLiteral("list"),
       QStringLiteral("exchange"), QStringLiteral("count"), QStringLiteral("fields")},
      {3, 5}, this);
  auto* symbolPage = new QWidget(tabs_);
  symbol_ = new QLineEdit(symbolPage);
  symbol_->setObjectName(QStringLiteral("historySymbol"));
  symbol_->setPlaceholderText(QStringLiteral("Symbol, then Enter"));
  completer_ = new QCompleter(new QStringListModel(this), this);
  completer_->setCaseSensitivity(Qt::CaseInsensitive);
  symbol_->setCompleter(completer_);
  connect(symbol_, &QLineEdit::returnPressed, this, &HistoryWindow::refresh);
  symbolTable_ = makeTable(symbolModel_);
  auto* symbolLayout = new QVBoxLayout(symbolPage);
  symbolLayout->addWidget(symbol_);
  symbolLayout->addWidget(symbolTable_);
  tabs_->addTab(symbolPage, QStringLiteral("Symbol"));

  // The most active symbols.
  topModel_ = new HistoryTableModel(
      {QStringLiteral("symbol"), QStringLiteral("alerts"), QStringLiteral("highest"),
       QStringLiteral("first_date"), QStringLiteral("last_date")},
      {0}, this);
  auto* topPage = new QWidget(tabs_);
  list_ = new QComboBox(topPage);
  list_->addItems({QStringLiteral("All lists"), QStringLiteral("Raw"), QStringLiteral("Seq"),
                   QStringLiteral("Algo")});
  limit_ = new QSpinBox(topPage);
  limit_->setRange(0, 1000000);
  limit_->setValue(kDefaultTopLimit);
  limit_->setSpecialValueText(QStringLiteral("all"));
  limit_->setPrefix(QStringLiteral("at most "));
  connect(list_, &QComboBox::currentIndexChanged, this, &HistoryWindow::refresh);
  connect(limit_, &QSpinBox::editingFinished, this, &HistoryWindow::refresh);
  topTable_ = makeTable(topModel_);
  auto* topControls = new QHBoxLayout;
  topControls->addWidget(list_);
  topControls->addWidget(limit_);
  topControls->addStretch(1);
  auto* topLayout = new QVBoxLayout(topPage);
  topLayout->addLayout(topControls);
  topLayout->addWidget(topTable_);
  tabs_->addTab(topPage, QStringLiteral("Top Symbols"));

  // The days.
  daysModel_ = new HistoryTableModel(
      {QStringLiteral("date"), QStringLiteral("raw"), QStringLiteral("seq"), QStringLiteral("algo"),
       QStringLiteral("peak_time"), QStringLiteral("peak_total")},
      {}, this);
  daysTable_ = makeTable(daysModel_);
  tabs_->addTab(daysTable_, QStringLiteral("Days"));

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(tabs_, 1);
  layout->addWidget(status_);

  worker_ = std::make_unique<HistoryWorker>(baseDir_, [this](HistoryWorker::Reply reply) {
    // The worker holds its hand-over lock: the window is still there.
    QMetaObject::invokeMethod(this, std::move(reply), Qt::QueuedConnection);
  });
  // First the index, then the first answers and the completion list.
  worker_->post([this, dir = baseDir_](HistoryIndex& index) -> HistoryWorker::Reply {
    HistoryUpdateReport report;
    std::string error;
    const bool ok = HistoryWorker::openAndUpdate(index, dir, report, error);
    QStringList symbols;
    for (const std::string& s : index.symbols()) symbols << latin1(s);
    return [this, ok, report, error, symbols] {
      indexing_ = false;
      busy_->hide();
      if (ok) {
        status_->setText(QStringLiteral("%1 days indexed; this time %2 lines read, %3 skipped")
                             .arg(report.days)
                             .arg(report.linesRead)
                             .arg(report.linesSkipped));
      } else {
        status_->setText(QStringLiteral("The history index could not be used: ") + latin1(error));
      }
      static_cast<QStringListModel*>(completer_->model())->setStringList(symbols);
      emit indexed();
    };
  });
  refresh();
}

HistoryWindow::~HistoryWindow() { worker_.reset(); }

QTableView* HistoryWindow::makeTable(HistoryTableModel* model) {
  auto* proxy = new QSortFilterProxyModel(this);
  proxy->setSourceModel(model);
  proxy->setSortRole(kSortRole);
  auto* table = new QTableView(this);
  table->setModel(proxy);
  table->setSortingEnabled(true);
  table->sortByColumn(-1, Qt::AscendingOrder);  // in the order the index answers
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->verticalHeader()->setVisible(false);
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
  table->horizontalHeader()->setStretchLastSection(true);
  auto* copy = new QAction(QStringLiteral("Copy"), table);
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  connect(copy, &QAction::triggered, table,
          [table] { QGuiApplication::clipboard()->setText(historyRowsAsTsv(*table)); });
  table->addAction(copy);
  // Ctrl+C reaches the table even while its window is not the active one.
  table->installEventFilter(this);
  table->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(table, &QTableView::doubleClicked, this,
          [this, table](const QModelIndex& index) { retrieveRow(table, index); });
  return table;
}

bool HistoryWindow::readRange(HistoryRange& range) {
  range = {};
  for (auto [edit, end] : {std::pair{from_, &range.from}, std::pair{to_, &range.to}}) {
    const std::string text = edit->text().trimmed().toLatin1().toStdString();
    if (text.empty()) continue;
    *end = historyDayKey(text);
    if (*end == 0) {
      showProblem(QStringLiteral("\"%1\" is no date: type it as MMDDYYYY").arg(latin1(text)));
      return false;
    }
  }
  return true;
}

void HistoryWindow::showSymbol(const QString& symbol) {
  symbol_->setText(symbol);
  tabs_->setCurrentIndex(0);
  refresh();
}

void HistoryWindow::refresh() {
  HistoryRange range;
  if (!readRange(range)) return;
  const std::string symbol = symbol_->text().trimmed().toLatin1().toStdString();
  if (!symbol.empty()) querySymbol(symbol, range);
  queryTop(range);
  queryDays(range);
}

void HistoryWindow::querySymbol(const std::string& symbol, HistoryRange range) {
  worker_->post([this, symbol, range](HistoryIndex& index) -> HistoryWorker::Reply {
    std::vector<std::vector<HistoryTableModel::Cell>> rows;
    for (const HistoryAlert& a : index.symbolAlerts(symbol, range)) {
      rows.push_back({dayCell(a.day),
                      {latin1(historyTimeText(a.second)), a.second},
                      {QString::fromLatin1(kListNames[a.list % 3]), {}},
                      textCell(a.exchange),
                      numberCell(a.count),
                      textCell(a.rest)});
    }
    return [this, rows = std::move(rows)]() mutable {
      symbolModel_->setRows(std::move(rows));
      emit answered();
    };
  });
}

void HistoryWindow::queryTop(HistoryRange range) {
  const int list = list_->currentIndex() - 1;
  const int limit = limit_->value();
  worker_->post([this, range, list, limit](HistoryIndex& index) -> HistoryWorker::Reply {
    std::vector<std::vector<HistoryTableModel::Cell>> rows;
    for (const HistoryTopSymbol& t : index.top(range, list, limit)) {
      rows.push_back({textCell(t.symbol), numberCell(t.alerts), numberCell(t.highest),
                      dayCell(t.firstDay), dayCell(t.lastDay)});
    }
    return [this, rows = std::move(rows)]() mutable {
      topModel_->setRows(std::move(rows));
      emit answered();
    };
  });
}

void HistoryWindow::queryDays(HistoryRange range) {
  worker_->post([this, range](HistoryIndex& index) -> HistoryWorker::Reply {
    std::vector<std::vector<HistoryTableModel::Cell>> rows;
    for (const HistoryDay& d : index.days(range)) {
      std::vector<HistoryTableModel::Cell> row = {dayCell(d.day), numberCell(d.alerts[0]),
                                                  numberCell(d.alerts[1]), numberCell(d.alerts[2])};
      if (d.peakSecond >= 0) {
        row.push_back({latin1(historyTimeText(d.peakSecond)), d.peakSecond});
        row.push_back(numberCell(static_cast<qlonglong>(d.peakTotal)));
      } else {
        row.push_back({QString(), -1});
        row.push_back({QString(), -1});
      }
      rows.push_back(std::move(row));
    }
    return [this, rows = std::move(rows)]() mutable {
      daysModel_->setRows(std::move(rows));
      emit answered();
    };
  });
}

void HistoryWindow::retrieveRow(QTableView* table, const QModelIndex& index) {
  const auto* proxy = qobject_cast<const QSortFilterProxyModel*>(table->model());
  if (proxy == nullptr || !index.isValid()) return;
  const int row = proxy->mapToSource(index).row();
  if (table == topTable_) {
    showSymbol(topModel_->row(row)[0].shown.toString());
    return;
  }
  // An alert: its day at its second; a day: at the second of its highest TOTAL.
  const HistoryTableModel* model = table == symbolTable_ ? symbolModel_ : daysModel_;
  const auto& cells = model->row(row);
  const int day = cells[0].order.toInt();
  const int second = table == symbolTable_ ? cells[1].order.toInt() : cells[4].order.toInt();
  if (!retrieve_) return;
  const QString problem = retrieve_(historyDayText(day), std::max(second, 0));
  if (problem.isEmpty()) {
    status_->setText(QStringLiteral("Retrieved %1").arg(latin1(historyDayText(day))));
  } else {
    showProblem(problem);
  }
}

bool HistoryWindow::eventFilter(QObject* watched, QEvent* event) {
  auto* table = qobject_cast<QTableView*>(watched);
  if (table != nullptr && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    QGuiApplication::clipboard()->setText(historyRowsAsTsv(*table));
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void HistoryWindow::showProblem(const QString& text) { status_->setText(text); }

}  // namespace kestrune
