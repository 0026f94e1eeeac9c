// CQuillfernViewerApp: starts the one frame with its view, runs the view's start-up and shows
// the window. It keeps no monitor data.
#pragma once

#include <memory>

#include "app/quillfern_viewer_view.h"

namespace kestrune {

class AlertCenter;

// What a double-click in the History window answers while the monitor is connected: a recorded
// day is shown only while Retrieve is usable, as for File > Open...
inline constexpr const char* kRetrieveWhileConnectedText =
    "Disconnect first: a recorded day can be retrieved only while the monitor is not connected.";
class CMainFrame;

// Plugs the alert subsystem (the three lists, the watched symbols and the alarm commands) into
// the view before its start-up; the view owns it.
AlertCenter* installAlerts(CQuillfernViewerView& view);

class CQuillfernViewerApp {
 public:
  CQuillfernViewerApp();
  ~CQuillfernViewerApp();

  // Creates frame and view, runs the initial update and shows the window; false when the frame
  // could not be made (the program then ends).
  bool initInstance(CQuillfernViewerView::Options options = {});

  CMainFrame* frame() const { return frame_.get(); }
  CQuillfernViewerView* view() const;

 private:
  std::unique_ptr<CMainFrame> frame_;
};

}  // namespace kestrune
