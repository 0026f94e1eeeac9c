// AlertLists: the three alert lists of the monitor with their intakes. The view owns one.
//
// Threads. takeRawAlert / takeSeqAlert / takeAlgoAlert may run on the receive thread: they only
// parse, look the symbol up under filterLock and decide code and sound, returning a small
// AlertDecision. apply() takes that value on the window thread: it stages the row (committed in
// one insertion per batch by commitPending(), which also runs by itself on the next turn of the
// event loop) and plays the sound. Everything else here runs on the window thread.
#pragma once

#include <QFont>
#include <QObject>
#include <array>
#include <span>

#include "alerts/alert_intake.h"
#include "alerts/alert_list_model.h"
#include "settings/monitor_settings.h"

namespace kestrune {

class CColorListCtrl;

// The rules one list's intake uses, taken from the settings record.
AlertRules alertRulesFromSettings(const MonitorSettings& settings, AlertKind kind);
RowColorPairs rowColorsFromSettings(const MonitorSettings& settings);
std::int32_t listThreshold(const MonitorSettings& settings, AlertKind kind);

class AlertLists : public QObject {
  Q_OBJECT

 public:
  // settings and table outlive this object; the rules are taken from settings at once.
  AlertLists(const MonitorSettings& settings, const SymbolFilterTable& table,
             QObject* parent = nullptr);

  AlertListModel* model(AlertKind kind) const { return models_[static_cast<int>(kind)]; }
  const AlertIntake& intake() const { return intake_; }

  // Takes the list-related settings again (thresholds, switches, alarm file, list slots). Call on
  // the window thread after any of them changed; the recolour routines below do it themselves.
  void refreshRules();

  // Receive thread (or any): the decision for one decoded record.
  AlertDecision takeRawAlert(const char* text) const;
  AlertDecision takeSeqAlert(const char* text) const;
  AlertDecision takeAlgoAlert(const char* text) const;
  AlertDecision takeAlert(AlertKind kind, const char* text) const;

  // Window thread: stages the row (if any) and plays the chosen sound.
  void apply(const AlertDecision& decision);
  void apply(std::span<const AlertDecision> decisions);
  // Inserts every staged row, one insertion per list.
  void commitPending();

  // Window thread: replay of one data-file line (no sound); the row shows at once.
  void replayRawAlert(const char* text);
  void replaySeqAlert(const char* text);
  void replayAlgoAlert(const char* text);
  void replayAlert(AlertKind kind, const char* text);

  // Recomputes bit 0 of every row of one list from the given column read as a count.
  void recolorByThreshold(AlertKind list, int column, std::int32_t threshold);
  // Recomputes every code of all three lists from the filter table and the thresholds.
  void recolorBySymbolFilter();

  // Empties the three lists (the monitor's reset).
  void clearAll();

  // Sets the three controls up: model, columns with the stored widths, font and colours.
  void setupControls(CColorListCtrl* raw, CColorListCtrl* seq, CColorListCtrl* algo,
                     const QFont& listFont);
  CColorListCtrl* control(AlertKind kind) const { return controls_[static_cast<int>(kind)]; }
  // Gives every control the settings' colour pairs (after the colour preferences).
  void applyListColors();
  // One full repaint of each control (after a confirmed dialog or a reset).
  void markEraseOnce();

 private:
  void scheduleCommit();

  const MonitorSettings& settings_;
  AlertIntake intake_;
  std::array<AlertListModel*, kAlertKindCount> models_{};
  std::array<CColorListCtrl*, kAlertKindCount> controls_{};
  bool commitScheduled_ = false;
};

}  // namespace kestrune
