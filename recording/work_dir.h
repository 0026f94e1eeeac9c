// Where a Kestrune program works: the folder that holds Kestrune.cfg, SymbolFilter.txt and the
// Data folder. Every program takes the same two options for it, --workdir DIR and
// --user-workdir (without them it works in the folder it was started in), and the same --help
// and --version.
#pragma once

#include <cstdlib>
#include <functional>
#include <ostream>
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

// What every program's command line says: what to do, and where to work.
struct ProgramOptions {
  enum class Action { Run, Help, Version, Fail };
  Action action = Action::Run;
  WorkDirChoice workDir;
  std::string error;  // for Fail
};

// Parses args (without the program name) into options: --help, -h, --version and the work-folder
// options, then whatever own takes (own returns true when it took the reader's current option,
// and sets options.error when that was misused). Anything else, and a switch given "=value", is
// a mistake: the action is then Fail with the error set.
void parseProgramOptions(const std::vector<std::string>& args, ProgramOptions& options,
                         const std::function<bool(OptionReader&)>& own = {});

// Help lines of the two work-folder options, to go under a program's "Options:".
const char* workDirOptionsHelp();

// Prints the help or "program version" to out, or the mistake to err. Returns the exit code when
// the program is done (0, or 2 for a mistake), -1 when it is to run.
int answerProgramOptions(const ProgramOptions& options, const char* program,
                         const std::string& version, const std::string& help, std::ostream& out,
                         std::ostream& err);

// Makes the chosen folder the working directory. The per-user folder is created (owner-only)
// when missing; a folder given with --workdir must exist. Nothing chosen keeps the working
// directory. False with a message for the user when the folder cannot be entered.
bool enterWorkDir(
    const WorkDirChoice& choice, std::string& error,
    const EnvReader& getenv = [](const char* name) { return std::getenv(name); });

}  // namespace kestrune
