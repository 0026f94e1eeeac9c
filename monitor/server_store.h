// The per-user store of the server connection: address, port, user name and password under the
// names T1..T4 as byte arrays (organisation "Brenmoor", application "Kestrune"). Its location
// follows the platform's per-user settings place (XDG_CONFIG_HOME on Linux), so a demo or a test
// gets a store of its own by pointing that elsewhere.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "monitor/server_prefs.h"

namespace kestrune {

inline constexpr const char* kStoreOrganization = "Brenmoor";
inline constexpr const char* kStoreApplication = "Kestrune";

// Byte form of a text value: its characters and the terminating NUL.
QByteArray textValueBytes(const char* text, std::size_t fieldSize);
// Byte form of the port: 4 bytes, little-endian.
QByteArray portValueBytes(std::int32_t port);

// A stored text into its field. Values longer than the read limit are refused (empty field);
// a value that fills the field without its NUL is cut to leave room for one.
void textFromValue(const QByteArray& value, char* field, std::size_t fieldSize,
                   std::size_t readLimit);
// A stored port; anything longer than 4 bytes is refused (port 0).
std::int32_t portFromValue(const QByteArray& value);

// Fills the four fields; a missing value, or one that is not a byte array, leaves its field
// empty (port 0). Each value is read on its own.
void readServerSettings(ServerPrefsValues& fields);

// Writes all four values and leaves the store's file readable and writable by its owner only
// (it holds the password). Returns false when the store could not be written; nobody is told.
bool writeServerSettings(const ServerPrefsValues& fields);

// The four values as a prepared profile (the demo's, a test's) stores them; texts longer than
// their fields are cut to fit with their terminator.
ServerPrefsValues makeServerSettings(const char* address, std::int32_t port, const char* user,
                                     const char* password);

// Where the store lives (for tests and the demo's own profile).
QString serverStoreFileName();

}  // namespace kestrune
