#include "alerts/alert_intake.h"

namespace kestrune {

void decideAlert(AlertKind kind, std::string_view text, const AlertRules& rules,
                 const SymbolFilterTable& table, bool live, AlertDecision& out) {
  out.kind = kind;
  out.addRow = false;
  out.code = Normal;
  out.sound = AlertSound{};
  splitAlertRecord(kind, text, out.cells);

  std::int32_t count = parseAlertCount(out.cells.cell(alertCountColumn(kind)));
  bool active = rules.useSymbolFilters && table.hasSymbolFilters();
  bool matched = active && table.findSymbol(out.cells.cell(1)) != -1;
  bool symbolAlarm = false;

  if (!(active && !matched && rules.listEliminate)) {
    symbolAlarm = matched && rules.playAlarm && !rules.symbolAlarmFile.empty();
    out.addRow = true;
    if (rules.threshold > 0 && count >= rules.threshold) {
      out.code = (rules.listEliminate || !matched) ? Highlight : HighSymf;
    } else if (!rules.listEliminate && matched) {
      out.code = SymFilter;
    }
  }
  if (!live) return;

  // At most one sound a record: the watched-symbol alarm wins over the list's slot, which is
  // checked whether or not the row is shown.
  if (symbolAlarm) {
    out.sound = {true, rules.loopAlarm, rules.symbolAlarmFile, true};
  } else if (rules.slot.use && count >= rules.slot.threshold) {
    out.sound = {true, rules.slot.loop, rules.slot.fileName};
  }
}

RowColor recolorForThreshold(RowColor old, std::int32_t count, std::int32_t threshold) {
  bool symbol = old >= SymFilter;
  if (count >= threshold) return symbol ? HighSymf : Highlight;
  return symbol ? SymFilter : Normal;
}

RowColor recolorForSymbol(bool matched, std::int32_t count, std::int32_t threshold) {
  if (count >= threshold) return matched ? HighSymf : Highlight;
  return matched ? SymFilter : Normal;
}

AlertIntake::AlertIntake(const SymbolFilterTable& table) : table_(table) {
  for (auto& r : rules_) r = std::make_shared<const AlertRules>();
}

void AlertIntake::setRules(AlertKind kind, AlertRules rules) {
  auto fresh = std::make_shared<const AlertRules>(std::move(rules));
  std::lock_guard lock(rulesLock_);
  rules_[static_cast<int>(kind)] = std::move(fresh);
}

std::shared_ptr<const AlertRules> AlertIntake::current(AlertKind kind) const {
  std::lock_guard lock(rulesLock_);
  return rules_[static_cast<int>(kind)];
}

AlertRules AlertIntake::rules(AlertKind kind) const { return *current(kind); }

bool AlertIntake::filterActive(AlertKind kind) const {
  return current(kind)->useSymbolFilters && table_.hasSymbolFilters();
}

AlertDecision AlertIntake::take(AlertKind kind, std::string_view text, bool live) const {
  AlertDecision decision;
  decideAlert(kind, text, *current(kind), table_, live, decision);
  return decision;
}

AlertDecision AlertIntake::replay(AlertKind kind, std::string_view line) const {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return take(kind, line, false);
}

}  // namespace kestrune
