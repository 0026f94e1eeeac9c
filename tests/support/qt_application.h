// Qt set-up shared by the widget and end-to-end tests. One QApplication for a whole test program
// is made on first use and never destroyed, so no widget a test leaves behind outlives it.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <functional>

namespace kestrune::test {

inline QApplication& ensureApplication() {
  static int argc = 1;
  static char name[] = "kestrune_test";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  return *static_cast<QApplication*>(QApplication::instance());
}

// Runs the event loop of the calling (window) thread until done() holds; false after timeoutMs.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

}  // namespace kestrune::test
