#include "app/command_line.h"

#include "app/main_frame.h"

namespace kestrune {

MonitorCommandLine parseMonitorCommandLine(const std::vector<std::string>& args) {
  MonitorCommandLine cl;
  parseProgramOptions(args, cl);
  return cl;
}

std::string monitorHelpText() {
  return std::string(
             "Usage: kestrune [OPTION]...\n"
             "Watch the whole market for high-frequency and algorithmic trading.\n"
             "\n"
             "Logs into a Kestrune server (Preferences > Server Prefs, then Connect) and shows\n"
             "three coloured alert lists and three per-second exchange charts, sounds alarms,\n"
             "and records every record of the trading day to six text files in the Data\n"
             "folder of its work folder.\n"
             "\n"
             "Options:\n") +
         workDirOptionsHelp() +
         "  -h, --help         show this help and exit\n"
         "      --version      show the version and exit\n"
         "\n"
         "Files:\n"
         "  Kestrune.cfg, SymbolFilter.txt and Data/MMDDYYYY_hft1.txt ... _hft6.txt in\n"
         "  the work folder. The server address, port, user name and password are kept\n"
         "  per user in $XDG_CONFIG_HOME/Brenmoor/Kestrune.conf (readable by its owner\n"
         "  only). kestrune-recorder records the same files without a window.\n";
}

std::string versionFromTitle(std::string_view title) {
  const std::size_t v = title.rfind(" - V");
  if (v == std::string_view::npos || v + 4 >= title.size()) return {};
  return std::string(title.substr(v + 4));
}

int prepareMonitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const MonitorCommandLine cl = parseMonitorCommandLine(args);
  const int done = answerProgramOptions(cl, "kestrune", versionFromTitle(kWindowTitle),
                                        monitorHelpText(), out, err);
  if (done >= 0) return done;
  std::string error;
  if (!enterWorkDir(cl.workDir, error)) {
    err << "kestrune: " << error << "\n";
    return 1;
  }
  return -1;
}

}  // namespace kestrune
