// Kestrune.cfg: the settings record as a flat little-endian file, grown block by block over the
// program's versions. The writer always writes the newest layout (version 2.5, 2928 bytes); the
// reader takes any older file and leaves whatever it does not carry at its default.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "settings/monitor_settings.h"

namespace kestrune {

inline constexpr double kConfigVersion = 2.5;
inline constexpr std::size_t kConfigFileSize = 2928;
inline constexpr const char* kConfigFileName = "Kestrune.cfg";

// What a read found, so the caller can apply fonts and the frame placement.
struct ConfigReadResult {
  bool opened = false;         // the file existed and could be read
  double version = 1.0;        // as stored (1.0 when even the version was cut off)
  bool placementRead = false;  // all 44 bytes of the frame placement arrived
  bool listFontRead = false;   // a whole list font record arrived
  bool chartFontRead = false;  // a whole chart font record arrived
};

// Reads a file image into settings and colours. A field cut by the end of the data keeps its
// default; texts are always left NUL-terminated within their fields.
ConfigReadResult parseConfig(std::span<const std::uint8_t> data, MonitorSettings& settings,
                             ChartColorTable& colors);

// The file image of settings and colours in the current layout (always kConfigFileSize bytes).
// The legacy connection slots are written as zeros whatever they hold.
std::vector<std::uint8_t> serializeConfig(const MonitorSettings& settings,
                                          const ChartColorTable& colors);

// Reads path if it exists; a missing or unreadable file leaves every default in force.
ConfigReadResult readConfigFile(MonitorSettings& settings, ChartColorTable& colors,
                                const std::string& path = kConfigFileName);

// Zeroes the legacy slots in memory, then creates or truncates path and writes the record.
// Returns false when the file could not be written completely (nothing is reported to the user).
bool writeConfigFile(MonitorSettings& settings, const ChartColorTable& colors,
                     const std::string& path = kConfigFileName);

}  // namespace kestrune
