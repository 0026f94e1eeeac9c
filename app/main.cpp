#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/quillfern_viewer_app.h"

int main(int argc, char** argv) {
  // Before any window: --help and --version must work without a display.
  const int done = kestrune::prepareMonitor(std::vector<std::string>(argv + 1, argv + argc),
                                            std::cout, std::cerr);
  if (done >= 0) return done;
  QApplication qapp(argc, argv);
  kestrune::CQuillfernViewerApp app;
  if (!app.initInstance()) return 1;
  return qapp.exec();
}
