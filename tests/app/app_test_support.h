// Shared set-up of the window tests: one QApplication, a fresh working folder and a fresh
// per-user store for every test.
#pragma once

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "tests/support/qt_application.h"

namespace kestrune::testing {

inline QApplication& application() { return test::ensureApplication(); }

// A scratch folder standing for the working directory and the user's settings place.
class ScratchProfile {
 public:
  ScratchProfile() {
    application();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.filePath("config"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.filePath("config"));
  }
  std::string configPath() const { return dir_.filePath("Kestrune.cfg").toStdString(); }
  QString path(const QString& name) const { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
};

}  // namespace kestrune::testing
