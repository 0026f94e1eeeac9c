#include "recorder/recorder_options.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "server/listen_socket.h"
#include "settings/regular_file.h"

namespace kestrune {

namespace {

// Copies text into a fixed field with its terminator; false when it does not fit.
template <std::size_t N>
bool fitField(const std::string& text, char (&field)[N]) {
  if (text.size() >= N || text.find('\0') != std::string::npos) return false;
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), text.size());
  return true;
}

bool parsePort(const std::string& text, std::int32_t& port) {
  if (text.empty() || text.size() > 5) return false;
  std::int32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return false;
  port = value;
  return true;
}

}  // namespace

RecorderOptions parseRecorderOptions(const std::vector<std::string>& args) {
  RecorderOptions o;
  parseProgramOptions(args, o, [&o](OptionReader& reader) {
    const std::string& name = reader.name();
    if (name != "--host" && name != "--port" && name != "--user" && name != "--password-file" &&
        name != "--relay") {
      return false;
    }
    std::string value;
    if (!reader.takeValue(value) || value.empty()) {
      o.error = name + " needs a value";
    } else if (name == "--host") {
      o.host = value;
    } else if (name == "--user") {
      o.user = value;
    } else if (name == "--password-file") {
      o.passwordFile = value;
    } else if (name == "--relay") {
      std::string address;
      std::string problem;
      if (server::parseListenAddress(value, address, o.relayPort, problem)) {
        o.relayAddress = address;
      } else {
        o.error = "--relay: " + problem;
      }
    } else if (std::int32_t port = 0; parsePort(value, port)) {
      o.port = port;
    } else {
      o.error = "--port takes a number from 1 to 65535, not " + value;
    }
    return true;
  });
  return o;
}

std::string recorderHelpText() {
  return std::string(
             "Usage: kestrune-recorder [OPTION]...\n"
             "Record the trading day's Kestrune data files without a window.\n"
             "\n"
             "Logs into the Kestrune server and appends every record of the day to the six\n"
             "files Data/MMDDYYYY_hft1.txt ... _hft6.txt of its work folder, exactly as the\n"
             "monitor records them, within the data collection times set in the monitor\n"
             "(Kestrune.cfg of the work folder). It reconnects after a lost link every 5\n"
             "seconds and pings the server every minute. Each status line is printed with its\n"
             "local time, one line each. SIGTERM or SIGINT disconnects, closes the files and\n"
             "ends it. Only one program at a time writes a Data folder: while a monitor or\n"
             "another recorder writes it, this one stands by, says who writes, and takes over\n"
             "within a second when the writer ends, adding the records the writer missed.\n"
             "\n"
             "Options:\n") +
         workDirOptionsHelp() +
         "  --host ADDRESS     the server's host name or IPv4 address\n"
         "  --port N           the server's TCP port\n"
         "  --user NAME        the login user name\n"
         "  --password-file FILE\n"
         "                     read the password from the first line of FILE, a regular\n"
         "                     file of at most 256 bytes (with a warning when others\n"
         "                     than its owner may read it)\n"
         "  --relay [ADDRESS:]PORT\n"
         "                     serve monitors this recorder's session on PORT of ADDRESS\n"
         "                     (an IPv4 address; 127.0.0.1 when only a port is given; port\n"
         "                     0 takes any free one, printed at the start): a\n"
         "                     monitor whose Server Prefs name it logs in with this\n"
         "                     recorder's user name and password and gets the day's\n"
         "                     records through the recorder's one login to the server\n"
         "  -h, --help         show this help and exit\n"
         "      --version      show the version and exit\n"
         "\n"
         "Without --host, --port, --user or --password-file the value stored by the\n"
         "monitor's Server Prefs is used ($XDG_CONFIG_HOME/Brenmoor/Kestrune.conf); a\n"
         "password the monitor keeps in the desktop's keyring is asked for there (for at\n"
         "most 3 seconds; without a session keyring the stored one is used).\n"
         "\n"
         "Exit status:\n"
         "  0  stopped by SIGTERM or SIGINT\n"
         "  1  the work folder or the password file cannot be used, or no server\n"
         "     is set\n"
         "  2  a mistake on the command line\n"
         "  3  the server refused the login (bad user name or password, account already\n"
         "     in use, invalid server application): trying again would not help\n"
         "\n"
         "Files:\n"
         "  kestrune-recorder.service, a systemd user unit, runs it in the per-user data\n"
         "  folder: systemctl --user enable --now kestrune-recorder\n";
}

int answerRecorderOptions(const RecorderOptions& options, std::ostream& out, std::ostream& err) {
  // The package's version, the one the monitor's window title carries.
  return answerProgramOptions(options, "kestrune-recorder", KES_VERSION, recorderHelpText(), out,
                              err);
}

bool readPasswordFile(const std::string& path, std::string& password, std::string& error,
                      std::string* warning) {
  RegularFile file = openRegularFile(path);
  if (!file.isOpen()) {
    error = "cannot read the password file " + path + ": " +
            (file.status() == FileOpenStatus::NotRegular ? std::string("not a regular file")
                                                         : std::string(std::strerror(errno)));
    return false;
  }
  errno = 0;  // a file too large sets none
  const std::optional<std::vector<std::uint8_t>> bytes = file.readAll(kPasswordFileMax);
  if (!bytes) {
    error = "cannot read the password file " + path + ": " +
            (errno == 0 ? "larger than " + std::to_string(kPasswordFileMax) + " bytes"
                        : std::string(std::strerror(errno)));
    return false;
  }
  struct stat st {};
  if (warning && ::fstat(file.fd(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    *warning = "the password file " + path + " can be read by others: chmod 600 " + path;
  }
  const std::string text(bytes->begin(), bytes->end());
  password = text.substr(0, text.find('\n'));
  if (!password.empty() && password.back() == '\r') password.pop_back();
  ServerPrefsValues probe;
  if (!fitField(password, probe.userPassword)) {
    error = "the password in " + path + " is too long";
    return false;
  }
  return true;
}

bool loginValues(const RecorderOptions& options, const ServerPrefsValues& stored,
                 ServerPrefsValues& values, std::string& error, std::string* warning) {
  values = stored;
  if (options.host && !fitField(*options.host, values.serverAddress)) {
    error = "--host is too long";
    return false;
  }
  if (options.user && !fitField(*options.user, values.userName)) {
    error = "--user is too long";
    return false;
  }
  if (options.port) values.serverPort = *options.port;
  if (options.passwordFile) {
    std::string password;
    if (!readPasswordFile(*options.passwordFile, password, error, warning)) return false;
    fitField(password, values.userPassword);
  }
  if (values.serverAddress[0] == '\0' || values.serverPort == 0) {
    error =
        "no server to record from: set one in the monitor's Server Prefs, or give --host and "
        "--port";
    return false;
  }
  return true;
}

}  // namespace kestrune
