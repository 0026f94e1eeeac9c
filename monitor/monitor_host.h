// The window as the monitor's subsystems see it. The view implements this; nothing outside
// app/ includes the view's own header. Called on the window thread only.
#pragma once

#include <string>

#include "monitor/connection_ports.h"

namespace kestrune {

class ConnectionControl;

class MonitorHost : public ConnectionHost {
 public:
  // The connection control that the status callback hands every report to; null until the view
  // has set it up (reports are then dropped).
  virtual ConnectionControl* connectionControl() { return nullptr; }
  // Screen pixels per inch across / 96: every pixel position of the form is scaled by it.
  virtual double dpiScale() const = 0;
  // False until the view's start-up has finished; chart redraws wait for it.
  virtual bool chartsReady() const = 0;
  // Marks the three lists for one clean background repaint (after a confirmed dialog).
  virtual void eraseLists() = 0;
  // The "Time:" box, "hh:mm:ss" of the latest Listing sample.
  virtual void showSampleTime(const std::string& hhmmss) { (void)hhmmss; }
  // What the status line holds now (empty when the host keeps no status line).
  virtual std::string statusText() const { return {}; }
  // A chart (0 Reporting, 1 Listing, 2 Algo) has a new finished picture for its widget.
  virtual void chartPictureReady(int chartIndex) { (void)chartIndex; }
};

// The one process-wide way to the monitor window; set once by the view's start-up, never
// cleared. Null before that.
MonitorHost* currentView();
void setCurrentView(MonitorHost* view);

}  // namespace kestrune
