#include "app/quillfern_viewer_app.h"

#include <QApplication>

#include "app/main_frame.h"

namespace kestrune {

CQuillfernViewerApp::CQuillfernViewerApp() {
  QCoreApplication::setApplicationName(QStringLiteral("QuillfernViewer"));
  QCoreApplication::setOrganizationName(QStringLiteral("Brenmoor"));
}

CQuillfernViewerApp::~CQuillfernViewerApp() = default;

bool CQuillfernViewerApp::initInstance(CQuillfernViewerView::Options options) {
  frame_ = std::make_unique<CMainFrame>();
  auto* view = new CQuillfernViewerView(frame_.get(), std::move(options));
  frame_->setView(view);
  view->initialUpdate();
  frame_->show();
  return true;
}

CQuillfernViewerView* CQuillfernViewerApp::view() const {
  return frame_ != nullptr ? frame_->view() : nullptr;
}

}  // namespace kestrune
