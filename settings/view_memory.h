// Choices of the window that Kestrune.cfg has no field for (which charts show their typical
// day), remembered per user in a small file of their own beside Kestrune.cfg, so that the
// settings file keeps its exact layout.
#pragma once

#include <QString>
#include <string>

namespace kestrune {

inline constexpr const char* kViewMemoryName = "KestruneView.ini";

// The file beside configPath.
QString viewMemoryPath(const std::string& configPath);

// A remembered switch; fallback when the file or the key is missing or unreadable.
bool readViewFlag(const QString& path, const QString& key, bool fallback);
// False when it could not be written; the window then simply forgets it.
bool writeViewFlag(const QString& path, const QString& key, bool value);

}  // namespace kestrune
