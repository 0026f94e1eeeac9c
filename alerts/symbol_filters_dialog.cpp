#include "alerts/symbol_filters_dialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <cstring>
#include <new>

#include "alerts/alert_lists.h"
#include "forms/dialog_layout.h"
#include "settings/monitor_settings.h"

namespace kestrune {
namespace {

// Longest alarm file name the settings can keep.
constexpr size_t kAlarmFileMax = kFileNameSize - 1;

enum : int {
  kUseSymbolFiltersId = 1001,
  kListEliminateId = 1002,
  kPlayAlarmId = 1003,
  kSymbolListId = 1004,
  kSymbolEditId = 1005,
  kAddSymbolId = 1006,
  kDeleteSymbolId = 1007,
  kAlarmFileEditId = 1008,
  kBrowseId = 1009,
  kLoopId = 1010,
};

const ControlRow kSymbolFiltersRows[] = {
    {kUseSymbolFiltersId, ControlKind::CheckBox, "Use Symbol Filters", 7, 7, 74, 10, kNoFlags},
    {kListEliminateId, ControlKind::CheckBox,
     "List Eliminate (eliminates symbols not in the filter list from display lists)", 7, 17, 237,
     10, kNoFlags},
    {kPlayAlarmId, ControlKind::CheckBox, "Play Alarm", 7, 27, 49, 10, kNoFlags},
    {kSymbolEditId, ControlKind::Edit, "", 118, 42, 47, 14, kBorder},
    {kAddSymbolId, ControlKind::Button, "Add Symbol", 167, 42, 50, 14, kNoFlags},
    {kDeleteSymbolId, ControlKind::Button, "Delete Selected Symbol", 118, 57, 99, 14, kNoFlags},
    {0, ControlKind::Label, "Audio File (if Play Alarm set):", 8, 222, 120, 8, kNoFlags},
    {kAlarmFileEditId, ControlKind::Edit, "", 7, 230, 210, 13, kBorder},
    {kBrowseId, ControlKind::Button, "Browse", 218, 230, 41, 13, kNoFlags},
    {kLoopId, ControlKind::CheckBox, "Loop", 7, 245, 31, 10, kNoFlags},
    {1, ControlKind::Button, "OK", 87, 261, 50, 14, kDefault},
    {2, ControlKind::Button, "Cancel", 140, 261, 50, 14, kNoFlags},
};

bool isSymbolCharacter(unsigned char c) { return c > ' ' && c < 0x7F; }

// Single-byte text of an edit; anything outside ASCII becomes DEL so the rules refuse it
// rather than letting it turn into a look-alike symbol.
std::string asciiOf(const QString& text) {
  std::string out;
  out.reserve(text.size());
  for (QChar c : text) out.push_back(c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : 0x7F);
  return out;
}

}  // namespace

SymbolFilterSwitches symbolFilterSwitchesOf(const MonitorSettings& settings) {
  SymbolFilterSwitches s;
  s.useSymbolFilters = settings.useSymbolFilters;
  s.listEliminate = settings.listEliminate;
  s.playAlarm = settings.playAlarm;
  s.loopAlarm = settings.loopAlarm;
  const size_t n = strnlen(settings.symbolAlarmFile, sizeof settings.symbolAlarmFile);
  std::memcpy(s.symbolAlarmFile, settings.symbolAlarmFile,
              std::min(n, sizeof s.symbolAlarmFile - 1));
  return s;
}

SymbolFilterEditor::SymbolFilterEditor(const SymbolFilterSwitches& start,
                                       const std::vector<SymbolEntry>& table)
    : switches_(start) {
  switches_.symbolAlarmFile[sizeof switches_.symbolAlarmFile - 1] = '\0';
  rows_.reserve(table.size());
  for (const SymbolEntry& e : table) rows_.emplace_back(symbolText(e));
}

AddSymbolResult SymbolFilterEditor::addSymbol(const std::string& typed) {
  if (typed.empty()) return AddSymbolResult::Empty;
  if (typed.size() > kSymbolMax) return AddSymbolResult::TooLong;
  std::string symbol = typed;
  for (char& c : symbol) {
    if (!isSymbolCharacter(static_cast<unsigned char>(c))) return AddSymbolResult::BadCharacter;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (std::find(rows_.begin(), rows_.end(), symbol) != rows_.end()) {
    return AddSymbolResult::Duplicate;
  }
  rows_.insert(rows_.begin(), std::move(symbol));
  return AddSymbolResult::Added;
}

void SymbolFilterEditor::clickRow(int row) {
  rememberedRow_ = row >= 0 && row < static_cast<int>(rows_.size()) ? row : -1;
}

bool SymbolFilterEditor::deleteSelected() {
  if (rememberedRow_ < 0 || rememberedRow_ >= static_cast<int>(rows_.size())) return false;
  rows_.erase(rows_.begin() + rememberedRow_);
  return true;
}

void SymbolFilterEditor::alarmFileEdited(const std::string& text) {
  copyFixedText(switches_.symbolAlarmFile,
                std::min(sizeof switches_.symbolAlarmFile, kAlarmFileMax + 1), text.c_str());
}

std::vector<SymbolEntry> SymbolFilterEditor::buildEntries() const {
  std::vector<SymbolEntry> entries;
  try {
    entries.reserve(rows_.size());
    for (const std::string& row : rows_) entries.push_back(makeSymbolEntry(row));
  } catch (const std::bad_alloc&) {
    // No memory for the new table: close without one, so nothing is applied.
    entries.clear();
  }
  return entries;
}

QString addSymbolMessage(AddSymbolResult result) {
  switch (result) {
    case AddSymbolResult::Duplicate:
      return QStringLiteral("The Symbol Already Exists In List!");
    case AddSymbolResult::TooLong:
      return QStringLiteral("A Symbol Can Have At Most 24 Characters!");
    case AddSymbolResult::BadCharacter:
      return QStringLiteral("A Symbol Can Hold Only Letters, Digits And Punctuation!");
    case AddSymbolResult::Empty:
    case AddSymbolResult::Added:
      break;
  }
  return {};
}

SymbolFilters::SymbolFilters(const SymbolFilterSwitches& start,
                             const std::vector<SymbolEntry>& table, QWidget* parent)
    : QDialog(parent), editor_(start, table) {
  setWindowTitle(QStringLiteral("Symbol Filter Settings"));
  const double scale = setUpDialog(this, 266, 282, kSymbolFiltersRows);

  list_ = buildPickList(this, kSymbolListId, dialogRectToPixels(7, 41, 109, 172, scale),
                        QStringLiteral("Symbol"), 160, 0);
  list_->viewport()->installEventFilter(this);
  refreshRows();

  symbolEdit_ = findControlAs<QLineEdit>(this, kSymbolEditId);
  symbolEdit_->setMaxLength(static_cast<int>(kSymbolMax));
  alarmEdit_ = findControlAs<QLineEdit>(this, kAlarmFileEditId);
  alarmEdit_->setMaxLength(static_cast<int>(kAlarmFileMax));

  const SymbolFilterSwitches& s = editor_.switches();
  alarmEdit_->setText(QString::fromLocal8Bit(s.symbolAlarmFile));
  struct Box {
    int id;
    uint8_t on;
    void (SymbolFilterEditor::*toggle)();
  };
  const Box boxes[] = {
      {kUseSymbolFiltersId, s.useSymbolFilters, &SymbolFilterEditor::toggleUseSymbolFilters},
      {kListEliminateId, s.listEliminate, &SymbolFilterEditor::toggleListEliminate},
      {kPlayAlarmId, s.playAlarm, &SymbolFilterEditor::togglePlayAlarm},
      {kLoopId, s.loopAlarm, &SymbolFilterEditor::toggleLoopAlarm},
  };
  for (const Box& b : boxes) {
    auto* check = findControlAs<QCheckBox>(this, b.id);
    // The box and its caption take more room here than the template allowed; widen the
    // caption as far as the dialog's edge rather than cut it.
    const int room = width() - check->x() - 4;
    check->resize(std::max(check->width(), std::min(check->sizeHint().width(), room)),
                  check->height());
    check->setChecked(b.on != 0);
    connect(check, &QCheckBox::clicked, this, [this, t = b.toggle] { (editor_.*t)(); });
  }

  connect(alarmEdit_, &QLineEdit::textChanged, this,
          [this](const QString& t) { editor_.alarmFileEdited(t.toLocal8Bit().toStdString()); });
  connect(findControlAs<QPushButton>(this, kAddSymbolId), &QPushButton::clicked, this,
          &SymbolFilters::addSymbol);
  connect(findControlAs<QPushButton>(this, kDeleteSymbolId), &QPushButton::clicked, this, [this] {
    if (editor_.deleteSelected()) refreshRows();
  });
  connect(findControlAs<QPushButton>(this, kBrowseId), &QPushButton::clicked, this, [this] {
    char chosen[kFileNameSize] = {};
    if (browseWaveFile(this, chosen, alarmEdit_, waveChooser)) editor_.alarmFileEdited(chosen);
  });
  connectOkCancel(this);

  showMessage = [this](const QString& title, const QString& text) {
    QMessageBox::warning(this, title, text, QMessageBox::Ok);
  };
}

void SymbolFilters::addSymbol() {
  const AddSymbolResult result = editor_.addSymbol(asciiOf(symbolEdit_->text()));
  if (result == AddSymbolResult::Empty) return;
  if (result == AddSymbolResult::Added) refreshRows();
  if (result != AddSymbolResult::Added && showMessage) {
    showMessage(QStringLiteral("Error Message"), addSymbolMessage(result));
  }
  // A refused symbol stays in the box so it can be corrected; otherwise the box is emptied.
  if (result == AddSymbolResult::Added || result == AddSymbolResult::Duplicate) {
    symbolEdit_->clear();
  }
}

void SymbolFilters::refreshRows() {
  const auto& rows = editor_.rows();
  list_->clearContents();
  list_->setRowCount(static_cast<int>(rows.size()));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    list_->setItem(i, 0, new QTableWidgetItem(QString::fromLatin1(rows[i].c_str())));
  }
}

bool SymbolFilters::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::MouseButtonPress) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    editor_.clickRow(list_->indexAt(mouse->position().toPoint()).row());
  }
  return QDialog::eventFilter(watched, event);
}

void SymbolFilters::accept() {
  newEntries_ = editor_.buildEntries();
  QDialog::accept();
}

bool applySymbolFilters(const SymbolFilters& dialog, bool confirmed, MonitorSettings& settings,
                        SymbolFilterTable& table, const SymbolFilterHooks& hooks) {
  if (!confirmed) return false;
  return applySymbolFilterEntries(dialog.newEntries(), dialog.editor().switches(), settings, table,
                                  hooks);
}

bool applySymbolFilterEntries(const std::vector<SymbolEntry>& entries,
                              const SymbolFilterSwitches& s, MonitorSettings& settings,
                              SymbolFilterTable& table, const SymbolFilterHooks& hooks) {
  if (entries.empty()) return false;
  settings.useSymbolFilters = s.useSymbolFilters;
  settings.listEliminate = s.listEliminate;
  settings.playAlarm = s.playAlarm;
  settings.loopAlarm = s.loopAlarm;
  if (hooks.eraseLists) hooks.eraseLists();
  table.replaceSymbolFilters(entries, s.symbolAlarmFile, std::span<char>(settings.symbolAlarmFile));
  if (hooks.recolorBySymbolFilter) hooks.recolorBySymbolFilter();
  return true;
}

bool editSymbolFilters(MonitorSettings& settings, SymbolFilterTable& table,
                       const SymbolFilterHooks& hooks, QWidget* parent) {
  SymbolFilters dialog(symbolFilterSwitchesOf(settings), table.entries(), parent);
  const bool confirmed = dialog.exec() == QDialog::Accepted;
  return applySymbolFilters(dialog, confirmed, settings, table, hooks);
}

SymbolFilterHooks symbolFilterHooks(AlertLists& lists) {
  return {[&lists] { lists.markEraseOnce(); }, [&lists] { lists.recolorBySymbolFilter(); }};
}

bool editSymbolFilters(MonitorSettings& settings, SymbolFilterTable& table, AlertLists& lists,
                       QWidget* parent) {
  return editSymbolFilters(settings, table, symbolFilterHooks(lists), parent);
}

bool addSymbolToFilters(const std::string& symbol, MonitorSettings& settings,
                        SymbolFilterTable& table, const SymbolFilterHooks& hooks,
                        const std::function<void(const QString&, const QString&)>& showMessage) {
  // The dialog's own rules, as if the symbol were typed, added and confirmed with OK.
  SymbolFilterEditor editor(symbolFilterSwitchesOf(settings), table.entries());
  const AddSymbolResult result = editor.addSymbol(symbol);
  if (result != AddSymbolResult::Added) {
    const QString text = addSymbolMessage(result);
    if (!text.isEmpty() && showMessage) showMessage(QStringLiteral("Error Message"), text);
    return false;
  }
  return applySymbolFilterEntries(editor.buildEntries(), editor.switches(), settings, table, hooks);
}

}  // namespace kestrune
