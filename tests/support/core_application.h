// One QCoreApplication for a whole UI-free test program, made on first use and never destroyed.
// Test files linked into one program share it instead of each making an application of its own.
#pragma once

#include <QCoreApplication>

namespace kestrune::test {

inline QCoreApplication& ensureCoreApplication() {
  static int argc = 1;
  static char name[] = "kestrune_test";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
  return *QCoreApplication::instance();
}

}  // namespace kestrune::test
