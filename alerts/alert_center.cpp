#include "alerts/alert_center.h"

#include "alerts/alert_sound.h"
#include "alerts/audio_alert_prefs.h"
#include "alerts/symbol_filters_dialog.h"

namespace kestrune {

AlertCenter::AlertCenter(MonitorSettings& settings, QObject* parent, std::string symbolFile)
    : QObject(parent),
      settings_(settings),
      table_(std::move(symbolFile)),
      lists_(new AlertLists(settings, table_, this)) {
  setObjectName(QStringLiteral("AlertCenter"));
}

AlertCenter* AlertCenter::of(const QObject* owner) {
  return owner ? owner->findChild<AlertCenter*>(QStringLiteral("AlertCenter"),
                                                Qt::FindDirectChildrenOnly)
               : nullptr;
}

CColorListCtrl* AlertCenter::createList(int id, QWidget* parent) {
  int index = id - kRawListId;
  if (index < 0 || index >= kAlertKindCount) return nullptr;
  auto* ctrl = new CColorListCtrl(parent);
  ctrl->setAlertModel(lists_->model(static_cast<AlertKind>(index)));
  ctrl->addSymbolToFilters = [this, ctrl](const std::string& symbol) {
    kestrune::addSymbolToFilters(symbol, settings_, table_, symbolFilterHooks(*lists_),
                                 ctrl->showMessage);
  };
  controls_[index] = ctrl;
  return ctrl;
}

void AlertCenter::listsReady(const QFont& listFont) {
  lists_->setupControls(controls_[0], controls_[1], controls_[2], listFont);
}

void AlertCenter::loadSymbolFilters() {
  table_.loadSymbolFilters();
  lists_->refreshRules();
}

void AlertCenter::releaseSymbolFilters() { table_.releaseSymbolFilters(); }

void AlertCenter::clearAlerts() { stopAlertSound(); }

bool AlertCenter::audioAlertPrefs(QWidget* parent, double dpiScale) {
  return runAudioAlertPrefs(parent, settings_, lists_, dpiScale);
}

}  // namespace kestrune
