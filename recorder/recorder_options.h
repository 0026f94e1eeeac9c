// kestrune-recorder's command line: where it works and which server it logs into.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "monitor/server_prefs.h"
#include "recording/work_dir.h"

namespace kestrune {

struct RecorderOptions : ProgramOptions {
  // Each given value replaces the stored one.
  std::optional<std::string> host;
  std::optional<std::int32_t> port;
  std::optional<std::string> user;
  std::optional<std::string> passwordFile;
  // --relay [ADDRESS:]PORT: serve monitors the recorder's session.
  std::optional<std::string> relayAddress;
  int relayPort = 0;
};

// How the recorder ends. A refused login has a status of its own so that whoever restarts the
// recorder (the systemd unit) can leave it alone: trying the same login again every few seconds
// all day could get the account locked.
enum RecorderExit : int {
  kRecorderStopped = 0,  // SIGTERM or SIGINT
  kRecorderFailed = 1,   // no work folder, the Data folder held, no server, no password
  kRecorderUsage = 2,    // a mistake on the command line
  kRecorderRefused = 3,  // the server refused the login
};

// The largest password file read; a password fits in far less.
constexpr std::size_t kPasswordFileMax = 256;

// args without the program name.
RecorderOptions parseRecorderOptions(const std::vector<std::string>& args);

std::string recorderHelpText();

// Prints the help or the version to out, or the mistake to err. Returns the exit code when the
// program is done, -1 when it is to record.
int answerRecorderOptions(const RecorderOptions& options, std::ostream& out, std::ostream& err);

// The password: the first line of the file, without its line end. Only a regular file of at
// most kPasswordFileMax bytes is read (a FIFO would wait for a writer, a device may never end).
// False with a message when the file cannot be read or the password does not fit its field.
// warning says so when others than its owner may read the file.
bool readPasswordFile(const std::string& path, std::string& password, std::string& error,
                      std::string* warning = nullptr);

// The values to log in with: the stored ones, each replaced by the one given on the command line.
// False with a message when a given value does not fit its field, or when the result names no
// server (no address or port 0): there is nobody to ask for one. warning as readPasswordFile's.
bool loginValues(const RecorderOptions& options, const ServerPrefsValues& stored,
                 ServerPrefsValues& values, std::string& error, std::string* warning = nullptr);

}  // namespace kestrune
