#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "alerts/audio_alert_prefs.h"
#include "alerts/symbol_filter_table.h"

class QLineEdit;
class QTableWidget;

namespace kestrune {

struct MonitorSettings;

// The dialog's copies of the four switches and of the alarm file name.
struct SymbolFilterSwitches {
  uint8_t useSymbolFilters = 0;
  uint8_t listEliminate = 0;
  uint8_t playAlarm = 0;
  uint8_t loopAlarm = 0;
  char symbolAlarmFile[256] = {};
};

SymbolFilterSwitches symbolFilterSwitchesOf(const MonitorSettings& settings);

enum class AddSymbolResult { Empty, Added, Duplicate, TooLong, BadCharacter };

// The dialog's rules over its rows and switches, free of any widget.
class SymbolFilterEditor {
 public:
  SymbolFilterEditor(const SymbolFilterSwitches& start, const std::vector<SymbolEntry>& table);

  // Upper-cases a-z and inserts the symbol at the top unless a row already holds it. A symbol
  // longer than 24 characters, or one holding spaces, control or non-ASCII characters, is
  // refused: it could not be kept whole in its entry, nor read back whole from the file.
  AddSymbolResult addSymbol(const std::string& typed);
  void clickRow(int row);  // -1 when the click hit no row
  // Deletes the remembered row; the index stays, so a second press deletes the row that
  // moved into its place. False when there was nothing to delete.
  bool deleteSelected();
  void toggleUseSymbolFilters() { switches_.useSymbolFilters ^= 1; }
  void toggleListEliminate() { switches_.listEliminate ^= 1; }
  void togglePlayAlarm() { switches_.playAlarm ^= 1; }
  void toggleLoopAlarm() { switches_.loopAlarm ^= 1; }
  void alarmFileEdited(const std::string& text);  // cut to fit the settings' field

  // The new table in display order; empty when the list is empty (nothing is applied then).
  std::vector<SymbolEntry> buildEntries() const;

  const std::vector<std::string>& rows() const { return rows_; }
  const SymbolFilterSwitches& switches() const { return switches_; }

 private:
  std::vector<std::string> rows_;
  int rememberedRow_ = -1;
  SymbolFilterSwitches switches_;
};

// The message box text for a refused symbol; empty for Empty and Added.
QString addSymbolMessage(AddSymbolResult result);

// What the apply step needs from the three list controls.
struct SymbolFilterHooks {
  std::function<void()> eraseLists;             // one clean repaint of the three lists
  std::function<void()> recolorBySymbolFilter;  // new codes for the rows already shown
};

// "Symbol Filter Settings": the four switches, the watched symbols and the alarm file.
class SymbolFilters : public QDialog {
  Q_OBJECT
 public:
  SymbolFilters(const SymbolFilterSwitches& start, const std::vector<SymbolEntry>& table,
                QWidget* parent = nullptr);

  const SymbolFilterEditor& editor() const { return editor_; }
  // Filled by OK from the rows; stays empty on Cancel or with an empty list.
  const std::vector<SymbolEntry>& newEntries() const { return newEntries_; }

  // The message box and the WAV file chooser, replaceable so the dialog can be driven
  // without a person in front of it.
  std::function<void(const QString& title, const QString& text)> showMessage;
  WaveFileChooser waveChooser = chooseWaveFile;

  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void addSymbol();
  void refreshRows();

  SymbolFilterEditor editor_;
  std::vector<SymbolEntry> newEntries_;
  QTableWidget* list_ = nullptr;
  QLineEdit* symbolEdit_ = nullptr;
  QLineEdit* alarmEdit_ = nullptr;
};

// The apply step: nothing at all for Cancel or an empty list; otherwise the switches go back
// into the settings, the lists get a clean repaint, the table is replaced (sorted, with the
// alarm file, and its file rewritten) and the rows already shown are recoloured.
// Returns true when something was applied.
bool applySymbolFilters(const SymbolFilters& dialog, bool confirmed, MonitorSettings& settings,
                        SymbolFilterTable& table, const SymbolFilterHooks& hooks);
// The same for a confirmed list of entries and switches; nothing for an empty list.
bool applySymbolFilterEntries(const std::vector<SymbolEntry>& entries,
                              const SymbolFilterSwitches& switches, MonitorSettings& settings,
                              SymbolFilterTable& table, const SymbolFilterHooks& hooks);
// The hooks over the monitor's three lists.
SymbolFilterHooks symbolFilterHooks(AlertLists& lists);

// The "S&ymbol Filters" menu command.
bool editSymbolFilters(MonitorSettings& settings, SymbolFilterTable& table,
                       const SymbolFilterHooks& hooks, QWidget* parent);
// The same over the monitor's three lists.
bool editSymbolFilters(MonitorSettings& settings, SymbolFilterTable& table, AlertLists& lists,
                       QWidget* parent);

// Adds one symbol to the watched symbols as the dialog does when the symbol is typed, added and
// confirmed with OK: the table replaced sorted, its file rewritten, the rows recoloured; the
// switches and the alarm file stay. A symbol the dialog refuses (already watched, too long, not
// printable) shows the dialog's message and changes nothing. Returns whether it was added.
bool addSymbolToFilters(const std::string& symbol, MonitorSettings& settings,
                        SymbolFilterTable& table, const SymbolFilterHooks& hooks,
                        const std::function<void(const QString&, const QString&)>& showMessage);

}  // namespace kestrune
