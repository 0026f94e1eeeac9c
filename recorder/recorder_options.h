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
};

// args without the program name.
RecorderOptions parseRecorderOptions(const std::vector<std::string>& args);

std::string recorderHelpText();

// Prints the help or the version to out, or the mistake to err. Returns the exit code when the
// program is done, -1 when it is to record.
int answerRecorderOptions(const RecorderOptions& options, std::ostream& out, std::ostream& err);

// The password: the first line of the file, without its line end. False with a message when
// the file cannot be read or the password does not fit its field.
bool readPasswordFile(const std::string& path, std::string& password, std::string& error);

// The values to log in with: the stored ones, each replaced by the one given on the command line.
// False with a message when a given value does not fit its field, or when the result names no
// server (no address or port 0): there is nobody to ask for one.
bool loginValues(const RecorderOptions& options, const ServerPrefsValues& stored,
                 ServerPrefsValues& values, std::string& error);

}  // namespace kestrune
