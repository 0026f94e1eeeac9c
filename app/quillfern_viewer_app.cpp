#include "app/quillfern_viewer_app.h"

#include <QApplication>

#include "alerts/alert_center.h"
#include "app/main_frame.h"

namespace kestrune {

CQuillfernViewerApp::CQuillfernViewerApp() {
  QCoreApplication::setApplicationName(QStringLiteral("QuillfernViewer"));
  QCoreApplication::setOrganizationName(QStringLiteral("Brenmoor"));
}

CQuillfernViewerApp::~CQuillfernViewerApp() = default;

namespace {

// The alert lists, their controls, the watched symbols and the alarm commands plug into the view.
void installAlerts(CQuillfernViewerView& view) {
  auto* alerts = new AlertCenter(view.settings(), &view);
  ViewHooks& hooks = view.hooks();
  hooks.createList = [alerts](int id, QWidget* parent) -> QTableView* {
    return alerts->createList(id, parent);
  };
  hooks.listsReady = [alerts](CQuillfernViewerView& v) { alerts->listsReady(v.listFont()); };
  hooks.loadSymbolFilters = [alerts] { alerts->loadSymbolFilters(); };
  hooks.releaseSymbolFilters = [alerts] { alerts->releaseSymbolFilters(); };
  hooks.eraseLists = [alerts] { alerts->lists().markEraseOnce(); };
  hooks.applyListColors = [alerts] { alerts->lists().applyListColors(); };
  hooks.buttonClicked = [alerts, next = hooks.buttonClicked](int id) {
    if (id == AlertCenter::kClearAlertsId) {
      alerts->clearAlerts();
    } else if (next) {
      next(id);
    }
  };
  view.setCommandHandler(ID_AUDIO_ALERTS, [alerts, &view] {
    alerts->audioAlertPrefs(&view, view.dpiScale());
  });
}

}  // namespace

bool CQuillfernViewerApp::initInstance(CQuillfernViewerView::Options options) {
  frame_ = std::make_unique<CMainFrame>();
  auto* view = new CQuillfernViewerView(frame_.get(), std::move(options));
  frame_->setView(view);
  installAlerts(*view);
  view->initialUpdate();
  frame_->show();
  return true;
}

CQuillfernViewerView* CQuillfernViewerApp::view() const {
  return frame_ != nullptr ? frame_->view() : nullptr;
}

}  // namespace kestrune
