// The monitor's command line: --help, --version and the work folder. It runs before any window
// exists, so that --help and --version work without a display.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "recording/work_dir.h"

namespace kestrune {

using MonitorCommandLine = ProgramOptions;

// args without the program name.
MonitorCommandLine parseMonitorCommandLine(const std::vector<std::string>& args);

std::string monitorHelpText();

// The version the window title ends with: "1.0.5" from "... - V1.0.5"; empty when it has none.
std::string versionFromTitle(std::string_view title);

// What main does before the window: prints the help or the version to out, or an error to err,
// and enters the work folder. Returns the exit code when the program is done, -1 to go on.
int prepareMonitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kestrune
