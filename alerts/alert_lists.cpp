#include "alerts/alert_lists.h"

#include <cstring>

#include "alerts/alert_sound.h"
#include "alerts/color_list_ctrl.h"

namespace kestrune {

namespace {

QColor toColor(ColorRef c) { return QColor(colorRed(c), colorGreen(c), colorBlue(c)); }

std::string fixedText(const char* text, std::size_t size) {
  return std::string(text, strnlen(text, size));
}

}  // namespace

std::int32_t listThreshold(const MonitorSettings& s, AlertKind kind) {
  switch (kind) {
    case AlertKind::Seq:
      return s.quoteCountSeqThresh;
    case AlertKind::Algo:
      return s.highAlgoCountsThresh;
    default:
      return s.quoteCountRawThresh;
  }
}

AlertRules alertRulesFromSettings(const MonitorSettings& s, AlertKind kind) {
  AlertRules r;
  r.threshold = listThreshold(s, kind);
  r.useSymbolFilters = s.useSymbolFilters != 0;
  r.listEliminate = s.listEliminate != 0;
  r.playAlarm = s.playAlarm != 0;
  r.loopAlarm = s.loopAlarm != 0;
  r.symbolAlarmFile = fixedText(s.symbolAlarmFile, sizeof s.symbolAlarmFile);
  // Slots 3, 4 and 5 belong to the Raw, Seq and Algo lists.
  const AudioAlertSlot& slot = s.audioAlert[3 + static_cast<int>(kind)];
  r.slot.fileName = fixedText(slot.fileName, sizeof slot.fileName);
  r.slot.use = slot.use != 0;
  r.slot.loop = slot.loop != 0;
  r.slot.threshold = slot.threshold;
  return r;
}

RowColorPairs rowColorsFromSettings(const MonitorSettings& s) {
  RowColorPairs p;
  p.normalBk = toColor(s.normalBk);
  p.normalFg = toColor(s.normalFg);
  p.highlightBk = toColor(s.highlightBk);
  p.highlightFg = toColor(s.highlightFg);
  p.symFilterBk = toColor(s.symFilterBk);
  p.symFilterFg = toColor(s.symFilterFg);
  p.highSymfBk = toColor(s.highSymfBk);
  p.highSymfFg = toColor(s.highSymfFg);
  return p;
}

AlertLists::AlertLists(const MonitorSettings& settings, const SymbolFilterTable& table,
                       QObject* parent)
    : QObject(parent), settings_(settings), intake_(table) {
  for (int k = 0; k < kAlertKindCount; ++k) {
    models_[k] = new AlertListModel(static_cast<AlertKind>(k), this);
  }
  refreshRules();
}

void AlertLists::refreshRules() {
  for (int k = 0; k < kAlertKindCount; ++k) {
    auto kind = static_cast<AlertKind>(k);
    intake_.setRules(kind, alertRulesFromSettings(settings_, kind));
  }
}

AlertDecision AlertLists::takeAlert(AlertKind kind, const char* text) const {
  return intake_.take(kind, text ? std::string_view(text) : std::string_view(), true);
}
AlertDecision AlertLists::takeRawAlert(const char* text) const {
  return takeAlert(AlertKind::Raw, text);
}
AlertDecision AlertLists::takeSeqAlert(const char* text) const {
  return takeAlert(AlertKind::Seq, text);
}
AlertDecision AlertLists::takeAlgoAlert(const char* text) const {
  return takeAlert(AlertKind::Algo, text);
}

void AlertLists::apply(const AlertDecision& d) {
  if (d.addRow) {
    model(d.kind)->stage(d.cells, d.code);
    scheduleCommit();
  }
  if (d.sound.play) playAlertSound(d.sound.fileName, d.sound.loop);
}

void AlertLists::apply(std::span<const AlertDecision> decisions) {
  for (const AlertDecision& d : decisions) apply(d);
  commitPending();
}

void AlertLists::scheduleCommit() {
  if (commitScheduled_) return;
  commitScheduled_ = true;
  QMetaObject::invokeMethod(this, &AlertLists::commitPending, Qt::QueuedConnection);
}

void AlertLists::commitPending() {
  commitScheduled_ = false;
  for (AlertListModel* m : models_) m->commit();
}

void AlertLists::replayAlert(AlertKind kind, const char* text) {
  AlertDecision d = intake_.replay(kind, text ? std::string_view(text) : std::string_view());
  if (d.addRow) {
    // Keep the order with any live rows still staged.
    model(kind)->stage(d.cells, d.code);
    scheduleCommit();
  }
}
void AlertLists::replayRawAlert(const char* text) { replayAlert(AlertKind::Raw, text); }
void AlertLists::replaySeqAlert(const char* text) { replayAlert(AlertKind::Seq, text); }
void AlertLists::replayAlgoAlert(const char* text) { replayAlert(AlertKind::Algo, text); }

void AlertLists::recolorByThreshold(AlertKind list, int column, std::int32_t threshold) {
  refreshRules();
  AlertListModel* m = model(list);
  m->recolorAll([&](std::size_t row) {
    const std::string_view count = m->list().cell(row, column).substr(0, kRecolorCellMax);
    return recolorForThreshold(m->list().code(row), parseAlertCount(count), threshold);
  });
}

void AlertLists::recolorBySymbolFilter() {
  refreshRules();
  for (int k = 0; k < kAlertKindCount; ++k) {
    auto kind = static_cast<AlertKind>(k);
    AlertListModel* m = model(kind);
    bool active = intake_.filterActive(kind);
    std::int32_t threshold = listThreshold(settings_, kind);
    int countColumn = alertCountColumn(kind);
    m->recolorAll([&](std::size_t row) {
      const std::string_view symbol = m->list().cell(row, 1).substr(0, kRecolorCellMax);
      bool matched = active && intake_.table().findSymbol(symbol) != -1;
      return recolorForSymbol(matched, parseAlertCount(m->list().cell(row, countColumn)),
                              threshold);
    });
  }
}

void AlertLists::clearAll() {
  for (AlertListModel* m : models_) m->clear();
  markEraseOnce();
}

void AlertLists::setupControls(CColorListCtrl* raw, CColorListCtrl* seq, CColorListCtrl* algo,
                               const QFont& listFont) {
  controls_ = {raw, seq, algo};
  for (int k = 0; k < kAlertKindCount; ++k) {
    CColorListCtrl* c = controls_[k];
    if (!c) continue;
    c->setAlertModel(models_[k]);
    c->setListFont(listFont);
  }
  if (raw) raw->setColumnWidths(settings_.rawColumnWidths);
  if (seq) seq->setColumnWidths(settings_.seqColumnWidths);
  if (algo) algo->setColumnWidths(settings_.algoColumnWidths);
  applyListColors();
}

void AlertLists::applyListColors() {
  RowColorPairs colors = rowColorsFromSettings(settings_);
  for (CColorListCtrl* c : controls_) {
    if (c) c->setRowColors(colors);
  }
}

void AlertLists::markEraseOnce() {
  for (CColorListCtrl* c : controls_) {
    if (c) c->markEraseOnce();
  }
}

}  // namespace kestrune
