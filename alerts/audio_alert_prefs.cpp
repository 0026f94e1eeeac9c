#include "alerts/audio_alert_prefs.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <cstring>
#include <vector>

#include "alerts/alert_lists.h"
#include "forms/dialog_layout.h"

namespace kestrune {

namespace {

struct SlotGroup {
  int top;
  int slot;
  const char* caption;
};

// Top to bottom: the three list slots, then the three chart slots.
constexpr SlotGroup kGroups[] = {
    {7, 3, "High Quote Counts(RAW) / List Alert"},
    {70, 4, "High Quote Counts (Seq Per Exg) / List Alert"},
    {130, 5, "High Algo Seq. Counts (Seq Per Exg) / List Alert"},
    {207, 0, "Algo Sequences / Per Reporting Exchange / Chart Alert"},
    {270, 1, "HFT Quotes / Per Listing Exchange / Chart Alert"},
    {332, 2, "HFT Quotes / Per Reporting Exchange / Chart Alert"},
};

std::vector<ControlRow> controlTable() {
  std::vector<ControlRow> rows;
  for (const SlotGroup& g : kGroups) {
    int y = g.top;
    rows.push_back({0, ControlKind::GroupBox, g.caption, 7, y, 271, 59, kNoFlags});
    rows.push_back({0, ControlKind::Label, "Audio File:", 14, y + 12, 40, 8, kNoFlags});
    rows.push_back({AudioAlertPrefs::kFileEditBase + g.slot, ControlKind::Edit, "", 14, y + 22, 217,
                    13, kBorder});
    rows.push_back({AudioAlertPrefs::kBrowseBase + g.slot, ControlKind::Button, "Browse", 233,
                    y + 22, 41, 13, kNoFlags});
    rows.push_back({0, ControlKind::Label, "Threshold:", 14, y + 41, 36, 8, kNoFlags});
    rows.push_back({AudioAlertPrefs::kThresholdEditBase + g.slot, ControlKind::Edit, "", 52, y + 39,
                    40, 13, kBorder | kDigits});
    rows.push_back({AudioAlertPrefs::kUseBase + g.slot, ControlKind::CheckBox, "Use", 104, y + 41,
                    30, 10, kNoFlags});
    rows.push_back({AudioAlertPrefs::kLoopBase + g.slot, ControlKind::CheckBox, "Loop", 140, y + 41,
                    30, 10, kNoFlags});
  }
  rows.push_back({AudioAlertPrefs::kOk, ControlKind::Button, "OK", 95, 398, 43, 13, kDefault});
  rows.push_back(
      {AudioAlertPrefs::kCancel, ControlKind::Button, "Cancel", 148, 398, 43, 13, kNoFlags});
  return rows;
}

}  // namespace

QString chooseWaveFile(QWidget* parent) {
  QFileDialog chooser(parent);
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setAcceptMode(QFileDialog::AcceptOpen);
  chooser.setNameFilter(QStringLiteral("Audio Wave Files (*.wav)"));
  chooser.setDefaultSuffix(QStringLiteral("wav"));
  chooser.selectFile(QStringLiteral("*.wav"));
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return {};
  return QDir::toNativeSeparators(chooser.selectedFiles().first());
}

bool browseWaveFile(QWidget* parent, char* fileName, QLineEdit* edit,
                    const WaveFileChooser& chooser) {
  const QString remembered = QDir::currentPath();
  QString chosen = chooser ? chooser(parent) : QString();
  QDir::setCurrent(remembered);
  if (chosen.isEmpty()) return false;
  QByteArray bytes = chosen.toLocal8Bit();
  if (bytes.size() > static_cast<qsizetype>(kFileNameSize - 1)) {
    // A cut path would name some other file; refuse it instead.
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Audio File"),
                                QStringLiteral("The file name is longer than 254 characters "
                                               "and cannot be used:\n%1")
                                    .arg(chosen),
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return false;
  }
  if (fileName) copyFixedText(fileName, kFileNameSize, bytes.constData());
  if (edit) {
    const QSignalBlocker block(edit);
    edit->setText(chosen);
  }
  return true;
}

AudioAlertPrefs::AudioAlertPrefs(QWidget* parent, double dpiScale) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Audio Alert Preferences"));
  setFont(dialogFont(dpiScale));
  std::vector<ControlRow> rows = controlTable();
  buildControls(this, rows, dpiScale);
  setFixedSize(dialogUnitsToPixelsX(286, dpiScale), dialogUnitsToPixelsY(418, dpiScale));

  for (const SlotGroup& g : kGroups) {
    const int s = g.slot;
    auto* file = findControlAs<QLineEdit>(this, kFileEditBase + s);
    auto* threshold = findControlAs<QLineEdit>(this, kThresholdEditBase + s);
    auto* browse = findControlAs<QPushButton>(this, kBrowseBase + s);
    auto* use = findControlAs<QCheckBox>(this, kUseBase + s);
    auto* loop = findControlAs<QCheckBox>(this, kLoopBase + s);
    if (!file || !threshold || !browse || !use || !loop) continue;
    // The field holds 254 characters; the edit takes no more.
    file->setMaxLength(static_cast<int>(kFileNameSize - 1));
    threshold->setMaxLength(10);
    connect(file, &QLineEdit::textChanged, this, [this, s](const QString& text) {
      if (!loading_)
        copyFixedText(slots_[s].fileName, kFileNameSize, text.toLocal8Bit().constData());
    });
    connect(threshold, &QLineEdit::textChanged, this, [this, s](const QString& text) {
      if (loading_ || text.isEmpty()) return;  // an emptied edit keeps the last value
      bool ok = false;
      qlonglong v = text.toLongLong(&ok);
      if (ok) slots_[s].threshold = static_cast<std::int32_t>(std::min<qlonglong>(v, INT32_MAX));
    });
    connect(use, &QCheckBox::toggled, this, [this, s](bool on) {
      if (!loading_) slots_[s].use = on ? 1 : 0;
    });
    connect(loop, &QCheckBox::toggled, this, [this, s](bool on) {
      if (!loading_) slots_[s].loop = on ? 1 : 0;
    });
    connect(browse, &QPushButton::clicked, this,
            [this, s, file] { browseWaveFile(this, slots_[s].fileName, file, chooser_); });
  }
  connectOkCancel(this, kOk, kCancel);
  showSlots();
}

void AudioAlertPrefs::setAlertSlots(
    const std::array<AudioAlertSlot, kAudioAlertSlots>& alertSlots) {
  slots_ = alertSlots;
  for (AudioAlertSlot& s : slots_) s.fileName[kFileNameSize - 1] = '\0';
  showSlots();
}

void AudioAlertPrefs::showSlots() {
  loading_ = true;
  for (int s = 0; s < kAudioAlertSlots; ++s) {
    if (auto* e = findControlAs<QLineEdit>(this, kFileEditBase + s))
      e->setText(QString::fromLocal8Bit(slots_[s].fileName));
    if (auto* e = findControlAs<QLineEdit>(this, kThresholdEditBase + s))
      e->setText(QString::number(slots_[s].threshold));
    if (auto* c = findControlAs<QCheckBox>(this, kUseBase + s)) c->setChecked(slots_[s].use != 0);
    if (auto* c = findControlAs<QCheckBox>(this, kLoopBase + s)) c->setChecked(slots_[s].loop != 0);
  }
  loading_ = false;
}

bool runAudioAlertPrefs(QWidget* parent, MonitorSettings& settings, AlertLists* lists,
                        double dpiScale) {
  AudioAlertPrefs dialog(parent, dpiScale);
  dialog.setAlertSlots(settings.audioAlert);
  if (dialog.exec() != QDialog::Accepted) return false;
  if (lists) lists->markEraseOnce();
  settings.audioAlert = dialog.alertSlots();
  if (lists) lists->refreshRules();
  return true;
}

}  // namespace kestrune
