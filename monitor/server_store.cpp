#include "monitor/server_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>
#include <cstring>

#include "settings/monitor_settings.h"

namespace kestrune {
namespace {

constexpr std::size_t kUserNameLimit = 255;
constexpr std::size_t kPasswordLimit = 255;
constexpr std::size_t kAddressLimit = 64;

QSettings openStore() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, kStoreOrganization,
                   kStoreApplication);
}

// Only byte arrays count: a value stored as text or a number reads as nothing.
bool byteValue(const QSettings& store, const char* name, QByteArray& out) {
  const QVariant v = store.value(name);
  if (!v.isValid() || v.typeId() != QMetaType::QByteArray) return false;
  out = v.toByteArray();
  return true;
}

// Creates the file owner-only before anything is written into it, and keeps it that way.
void restrictToOwner(const QString& fileName) {
  const QByteArray path = QFile::encodeName(fileName);
  QDir().mkpath(QFileInfo(fileName).absolutePath());
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd >= 0) {
    ::fchmod(fd, S_IRUSR | S_IWUSR);
    ::close(fd);
  }
}

}  // namespace

QByteArray textValueBytes(const char* text, std::size_t fieldSize) {
  std::size_t len = 0;
  while (len + 1 < fieldSize && text[len] != '\0') ++len;
  QByteArray out(text, static_cast<qsizetype>(len));
  out.append('\0');
  return out;
}

QByteArray portValueBytes(std::int32_t port) {
  const auto u = static_cast<std::uint32_t>(port);
  QByteArray out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
  return out;
}

void textFromValue(const QByteArray& value, char* field, std::size_t fieldSize,
                   std::size_t readLimit) {
  std::memset(field, 0, fieldSize);
  if (static_cast<std::size_t>(value.size()) > readLimit) return;
  std::size_t n = std::min(static_cast<std::size_t>(value.size()), fieldSize - 1);
  std::memcpy(field, value.constData(), n);
}

std::int32_t portFromValue(const QByteArray& value) {
  if (value.size() > 4) return 0;
  std::uint32_t u = 0;
  for (qsizetype i = value.size() - 1; i >= 0; --i) {
    u = (u << 8) | static_cast<std::uint8_t>(value[i]);
  }
  return static_cast<std::int32_t>(u);
}

void readServerSettings(ServerPrefsValues& fields) {
  const QSettings store = openStore();
  QByteArray v;
  if (byteValue(store, "T1", v)) {
    textFromValue(v, fields.userName, sizeof fields.userName, kUserNameLimit);
  } else {
    std::memset(fields.userName, 0, sizeof fields.userName);
  }
  if (byteValue(store, "T2", v)) {
    textFromValue(v, fields.userPassword, sizeof fields.userPassword, kPasswordLimit);
  } else {
    std::memset(fields.userPassword, 0, sizeof fields.userPassword);
  }
  if (byteValue(store, "T3", v)) {
    textFromValue(v, fields.serverAddress, sizeof fields.serverAddress, kAddressLimit);
  } else {
    std::memset(fields.serverAddress, 0, sizeof fields.serverAddress);
  }
  fields.serverPort = byteValue(store, "T4", v) ? portFromValue(v) : 0;
}

ServerPrefsValues makeServerSettings(const char* address, std::int32_t port, const char* user,
                                     const char* password) {
  ServerPrefsValues fields;
  fields.serverPort = port;
  copyFixedText(fields.serverAddress, sizeof fields.serverAddress, address);
  copyFixedText(fields.userName, sizeof fields.userName, user);
  copyFixedText(fields.userPassword, sizeof fields.userPassword, password);
  return fields;
}

bool writeServerSettings(const ServerPrefsValues& fields) {
  QSettings store = openStore();
  restrictToOwner(store.fileName());
  store.setValue("T1", textValueBytes(fields.userName, sizeof fields.userName));
  store.setValue("T2", textValueBytes(fields.userPassword, sizeof fields.userPassword));
  store.setValue("T3", textValueBytes(fields.serverAddress, sizeof fields.serverAddress));
  store.setValue("T4", portValueBytes(fields.serverPort));
  store.sync();
  // The settings writer may have replaced the file; keep it owner-only either way.
  QFile::setPermissions(store.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  return store.status() == QSettings::NoError;
}

QString serverStoreFileName() { return openStore().fileName(); }

}  // namespace kestrune
