#include <QApplication>

#include "app/quillfern_viewer_app.h"

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  kestrune::CQuillfernViewerApp app;
  if (!app.initInstance()) return 1;
  return qapp.exec();
}
