#include "settings/view_memory.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace kestrune {

QString viewMemoryPath(const std::string& configPath) {
  const QFileInfo config(
      QString::fromLocal8Bit(configPath.data(), static_cast<qsizetype>(configPath.size())));
  return config.dir().filePath(QString::fromLatin1(kViewMemoryName));
}

bool readViewFlag(const QString& path, const QString& key, bool fallback) {
  const QSettings memory(path, QSettings::IniFormat);
  const QVariant value = memory.value(key);
  if (!value.isValid()) return fallback;
  const QString text = value.toString();
  if (text == QLatin1String("true") || text == QLatin1String("1")) return true;
  if (text == QLatin1String("false") || text == QLatin1String("0")) return false;
  return fallback;
}

bool writeViewFlag(const QString& path, const QString& key, bool value) {
  QSettings memory(path, QSettings::IniFormat);
  memory.setValue(key, value);
  memory.sync();
  return memory.status() == QSettings::NoError;
}

}  // namespace kestrune
