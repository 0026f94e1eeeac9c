// One QApplication for a whole test program, made on first use and never destroyed, so no widget
// a test leaves behind outlives it.
#pragma once

#include <QApplication>

namespace kestrune::test {

inline QApplication& ensureApplication() {
  static int argc = 1;
  static char name[] = "kestrune_test";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  return *static_cast<QApplication*>(QApplication::instance());
}

}  // namespace kestrune::test
