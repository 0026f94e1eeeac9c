// Where a Kestrune program works: the folder that holds Kestrune.cfg, SymbolFilter.txt and the
// Data folder. Every program takes the same two options for it, --workdir DIR and
// --user-workdir; without them it works in the folder it was started in.
#pragma once

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace kestrune {

// The per-user data folder: $XDG_DATA_HOME/kestrune, or ~/.local/share/kestrune when
// XDG_DATA_HOME is unset, empty or not an absolute path. Empty when HOME gives no absolute path
// either. getenv is the environment to read (tests pass their own).
using EnvReader = std::function<const char*(const char*)>;
std::string userWorkDir(const EnvReader& getenv = [](const char* name) {
  return std::getenv(name);
});

// Reads "--name value" and "--name=value" options one argument at a time.
class OptionReader {
 public:
  // args without the program name.
  explicit OptionReader(std::vector<std::string> args);

  // Moves to the next argument; false after the last one.
  bool next();
  // The argument, or the option name before its "=".
  const std::string& name() const { return name_; }
  // The option's value: the text after "=", else the next argument. False when there is none.
  bool takeValue(std::string& value);
  // True when the argument carried "=value" that nobody took (a switch given a value).
  bool hasUnusedValue() const { return inline_ && !valueTaken_; }

 private:
  std::vector<std::string> args_;
  std::size_t pos_ = 0;
  std::string name_;
  std::string value_;
  bool inline_ = false;
  bool valueTaken_ = false;
};

// The folder chosen on the command line: dir for --workdir DIR, user for --user-workdir.
struct WorkDirChoice {
  std::string dir;
  bool user = false;
};

// Takes the current option of reader when it is one of the two work-folder options. Returns
// false when it is not; error is set when it is but has no usable value.
bool takeWorkDirOption(OptionReader& reader, WorkDirChoice& choice, std::string& error);

// Help lines of the two options, to go under a program's "Options:".
const char* workDirOptionsHelp();

// Makes the chosen folder the working directory. The per-user folder is created (owner-only)
// when missing; a folder given with --workdir must exist. Nothing chosen keeps the working
// directory. False with a message for the user when the folder cannot be entered.
bool enterWorkDir(
    const WorkDirChoice& choice, std::string& error,
    const EnvReader& getenv = [](const char* name) { return std::getenv(name); });

}  // namespace kestrune
