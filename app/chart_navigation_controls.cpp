#include "app/chart_navigation_controls.h"

#include <memory>

#include "app/form_layout.h"
#include "app/quillfern_viewer_view.h"
#include "charts/chart_navigation.h"

namespace kestrune {

std::int32_t stepSecondsOf(int controlId) {
  switch (controlId) {
    case IDC_HOUR_BACK:
    case IDC_HOUR_FORWARD:
      return 3600;
    case IDC_MINUTE_BACK:
    case IDC_MINUTE_FORWARD:
      return 60;
    case IDC_SECOND_BACK:
    case IDC_SECOND_FORWARD:
      return 1;
    default:
      return 0;
  }
}

bool ChartNavigationControls::editChanged(int id, const QString& text) {
  std::int32_t* field = id == IDC_GOTO_HOUR     ? &gotoHour_
                        : id == IDC_GOTO_MINUTE ? &gotoMinute_
                        : id == IDC_GOTO_SECOND ? &gotoSecond_
                                                : nullptr;
  if (field == nullptr) return false;
  *field = gotoFieldValue(text.toLatin1().constData());
  return true;
}

bool ChartNavigationControls::buttonClicked(int id) {
  ExchangeCharts& charts = view_.charts();
  if (id == IDC_GOTO) {
    charts.editWindow([&](ChartWindow& w) { gotoTime(w, gotoHour_, gotoMinute_, gotoSecond_); });
    redrawAllCharts();
    return true;
  }
  const std::int32_t d = stepSecondsOf(id);
  if (d == 0) return false;
  if (id == IDC_HOUR_BACK || id == IDC_MINUTE_BACK || id == IDC_SECOND_BACK) {
    // A step that would end the window at or before second 0 changes nothing, so draws nothing.
    if (charts.editWindow([d](ChartWindow& w) { return stepBack(w, d); })) redrawAllCharts();
  } else {
    charts.editWindow([d](ChartWindow& w) { stepForward(w, d); });
    redrawAllCharts();
  }
  return true;
}

void ChartNavigationControls::redrawAllCharts() {
  view_.charts().redrawAllCharts();
  // The surfaces show the new pictures even when no live monitor forwards them.
  for (int i = 0; i < 3; ++i) view_.chartPictureReady(i);
}

ChartNavigationControls& installChartNavigation(CQuillfernViewerView& view) {
  auto controls = std::make_shared<ChartNavigationControls>(view);
  ViewHooks& hooks = view.hooks();
  hooks.editChanged = [controls, next = hooks.editChanged](int id, const QString& text) {
    if (!controls->editChanged(id, text) && next) next(id, text);
  };
  hooks.buttonClicked = [controls, next = hooks.buttonClicked](int id) {
    if (!controls->buttonClicked(id) && next) next(id);
  };
  return *controls;
}

}  // namespace kestrune
