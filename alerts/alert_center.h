// AlertCenter: the alert subsystem as the monitor window holds it. It owns the watched-symbol
// table and the three lists, makes the three coloured list controls for the form, and carries the
// window's alert commands ("Clear Alerts", "&Audio Alerts"). The window creates one as its child
// and plugs these calls into its start-up, teardown and command routing.
#pragma once

#include <QObject>
#include <string>

#include "alerts/alert_lists.h"
#include "alerts/color_list_ctrl.h"
#include "alerts/symbol_filter_table.h"

class QWidget;

namespace kestrune {

class AlertCenter : public QObject {
  Q_OBJECT

 public:
  // Form ids of the three list controls and of the "Clear Alerts" button.
  static constexpr int kRawListId = 1029;
  static constexpr int kSeqListId = 1030;
  static constexpr int kAlgoListId = 1031;
  static constexpr int kClearAlertsId = 1017;

  // settings outlives this object. symbolFile is the watched-symbol file.
  explicit AlertCenter(MonitorSettings& settings, QObject* parent = nullptr,
                       std::string symbolFile = "SymbolFilter.txt");

  // The AlertCenter among owner's children, or null.
  static AlertCenter* of(const QObject* owner);

  SymbolFilterTable& symbolFilters() { return table_; }
  AlertLists& lists() { return *lists_; }

  // The form's list control for id 1029, 1030 or 1031 (null for any other id), already showing
  // its list, its "Add Symbol to Filters" adding to this table. The form places it.
  CColorListCtrl* createList(int id, QWidget* parent);
  // After the form placed the lists: fonts, stored column widths and colours.
  void listsReady(const QFont& listFont);

  // Start-up: the watched symbols (and the rules that depend on them).
  void loadSymbolFilters();
  void releaseSymbolFilters();

  // "Clear Alerts": stops the alarm sound; the lists stay as they are.
  void clearAlerts();
  // "&Audio Alerts": the dialog; on OK the slots are taken over. Returns whether confirmed.
  bool audioAlertPrefs(QWidget* parent, double dpiScale);

 private:
  MonitorSettings& settings_;
  SymbolFilterTable table_;
  AlertLists* lists_;
  CColorListCtrl* controls_[kAlertKindCount] = {};
};

}  // namespace kestrune
