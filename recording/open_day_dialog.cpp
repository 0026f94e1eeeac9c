#include "recording/open_day_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "forms/dialog_layout.h"

namespace kestrune {

namespace {

constexpr const char* kFileColumns[kDataFileCount] = {
    "Raw List", "Seq List", "Algo List", "Listing Chart", "Reporting Chart", "Algo Chart"};

QString shownDate(const std::string& date) {
  const QString d = QString::fromLatin1(date);
  return d.mid(0, 2) + '/' + d.mid(2, 2) + '/' + d.mid(4, 4);
}

QTableWidgetItem* sizeItem(std::int64_t size) {
  auto* item = new QTableWidgetItem;
  item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  if (size < 0) {
    item->setText(QStringLiteral("missing"));
    item->setForeground(QColor(0xb0, 0x00, 0x00));
  } else {
    const QLocale locale;
    item->setText(locale.formattedDataSize(size, 1, QLocale::DataSizeTraditionalFormat));
    item->setToolTip(locale.toString(static_cast<qlonglong>(size)) + QStringLiteral(" bytes"));
  }
  return item;
}

}  // namespace

OpenDayDialog::OpenDayDialog(std::vector<RecordedDayFiles> days, const QString& folder,
                             QWidget* parent)
    : QDialog(parent), days_(std::move(days)) {
  setObjectName(QStringLiteral("OpenDay"));
  setWindowTitle(QStringLiteral("Open Recorded Day"));
  auto* layout = new QVBoxLayout(this);
  auto* caption = new QLabel((days_.empty() ? QStringLiteral("No recorded days in %1")
                                            : QStringLiteral("Days recorded in %1:"))
                                 .arg(QDir::toNativeSeparators(folder)),
                             this);
  caption->setWordWrap(true);
  layout->addWidget(caption);

  table_ = new QTableWidget(static_cast<int>(days_.size()), 1 + kDataFileCount, this);
  table_->setObjectName(QStringLiteral("OpenDayTable"));
  QStringList headings{QStringLiteral("Date")};
  for (const char* name : kFileColumns) headings << QString::fromLatin1(name);
  table_->setHorizontalHeaderLabels(headings);
  for (int f = 0; f < kDataFileCount; ++f) {
    table_->horizontalHeaderItem(1 + f)->setToolTip(
        QStringLiteral("MMDDYYYY_hft%1.txt").arg(f + 1));
  }
  table_->verticalHeader()->hide();
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSortingEnabled(false);
  for (int row = 0; row < static_cast<int>(days_.size()); ++row) {
    const RecordedDayFiles& day = days_[static_cast<std::size_t>(row)];
    table_->setItem(row, 0, new QTableWidgetItem(shownDate(day.date)));
    for (int f = 0; f < kDataFileCount; ++f) {
      table_->setItem(row, 1 + f, sizeItem(day.sizes[static_cast<std::size_t>(f)]));
    }
  }
  table_->resizeColumnsToContents();
  table_->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(table_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
  open_ = buttons->button(QDialogButtonBox::Open);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(table_, &QTableWidget::itemSelectionChanged, this, &OpenDayDialog::updateOpenButton);
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this] {
    if (open_->isEnabled()) accept();
  });
  if (!days_.empty()) table_->selectRow(0);
  updateOpenButton();
  resize(720, 360);
}

std::string OpenDayDialog::chosenDate() const {
  const QList<QTableWidgetItem*> selected = table_->selectedItems();
  if (selected.isEmpty()) return {};
  return days_[static_cast<std::size_t>(selected.front()->row())].date;
}

void OpenDayDialog::setOpenAllowed(bool allowed) {
  allowed_ = allowed;
  updateOpenButton();
}

void OpenDayDialog::updateOpenButton() { open_->setEnabled(allowed_ && !chosenDate().empty()); }

std::string chooseRecordedDay(QWidget* parent, QWidget* retrieve, const std::string& baseDir) {
  const QString base = baseDir.empty() ? QDir::currentPath() : QString::fromStdString(baseDir);
  OpenDayDialog dialog(scanRecordedDays(baseDir), QDir(base).filePath(QStringLiteral("Data")),
                       parent);
  followEnabled(retrieve, &dialog, [&dialog](bool enabled) { dialog.setOpenAllowed(enabled); });
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.chosenDate();
}

}  // namespace kestrune
