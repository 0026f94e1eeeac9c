// Alert intake: turns one decoded record into a small value (the row to add, its colour code and
// the sound it sets off) without touching any list or widget. The live intakes run on the receive
// thread; the window thread applies the value (AlertLists::apply). Replay produces the same rows
// with no sound.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "alerts/alert_record.h"
#include "alerts/symbol_filter_table.h"

namespace kestrune {

// An alarm slot as the intakes use it: the WAV file, armed, looping, and the count from which it
// sounds. Slots 0-2 belong to the charts, 3 to the Raw list, 4 to Seq, 5 to Algo.
struct AlertSlotRule {
  std::string fileName;
  bool use = false;
  bool loop = false;
  std::int32_t threshold = 200;
};

// The settings one list's intake reads, copied whole so the receive thread never sees a value
// half written by a dialog on the window thread.
struct AlertRules {
  std::int32_t threshold = 0;  // highlight threshold of the list; 0 or less switches it off
  bool useSymbolFilters = false;
  bool listEliminate = false;
  bool playAlarm = false;
  bool loopAlarm = false;
  std::string symbolAlarmFile;
  AlertSlotRule slot;  // the list's own alarm slot
};

struct AlertSound {
  bool play = false;
  bool loop = false;
  std::string fileName;      // handed to the player even when empty: it then beeps
  bool symbolAlarm = false;  // the watched-symbol alarm rather than the list's slot
};

struct AlertDecision {
  AlertKind kind = AlertKind::Raw;
  bool addRow = false;
  RowColor code = Normal;
  AlertCells cells;
  AlertSound sound;
};

// The whole decision for one record, given the rules and the filter table. With live false no
// sound is chosen.
void decideAlert(AlertKind kind, std::string_view text, const AlertRules& rules,
                 const SymbolFilterTable& table, bool live, AlertDecision& out);

// New colour code for a row when only the threshold changed: keeps the symbol bit.
RowColor recolorForThreshold(RowColor old, std::int32_t count, std::int32_t threshold);
// New colour code for a row from scratch: threshold and symbol match.
RowColor recolorForSymbol(bool matched, std::int32_t count, std::int32_t threshold);

// Holds the current rules of the three lists and the filter table, and offers the named intakes.
// setRules is called on the window thread whenever the settings change; the take* calls may run
// on any thread.
class AlertIntake {
 public:
  explicit AlertIntake(const SymbolFilterTable& table);

  void setRules(AlertKind kind, AlertRules rules);
  AlertRules rules(AlertKind kind) const;
  const SymbolFilterTable& table() const { return table_; }
  // The filter counts as active when switched on and the table holds at least one entry.
  bool filterActive(AlertKind kind) const;

  AlertDecision takeRawAlert(std::string_view text) const {
    return take(AlertKind::Raw, text, true);
  }
  AlertDecision takeSeqAlert(std::string_view text) const {
    return take(AlertKind::Seq, text, true);
  }
  AlertDecision takeAlgoAlert(std::string_view text) const {
    return take(AlertKind::Algo, text, true);
  }
  // Replay lines come without their line feed; a trailing carriage return is dropped here.
  AlertDecision replay(AlertKind kind, std::string_view line) const;

  AlertDecision take(AlertKind kind, std::string_view text, bool live) const;

 private:
  std::shared_ptr<const AlertRules> current(AlertKind kind) const;

  const SymbolFilterTable& table_;
  mutable std::mutex rulesLock_;
  std::shared_ptr<const AlertRules> rules_[kAlertKindCount];
};

}  // namespace kestrune
