#include "recording/work_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace kestrune {

namespace {

bool isAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

// mkdir -p with the given mode for every folder it creates.
bool makeFolders(const std::string& path, mode_t mode) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

}  // namespace

std::string userWorkDir(const EnvReader& getenv) {
  // A relative XDG_DATA_HOME is invalid and must be ignored.
  if (const char* data = getenv("XDG_DATA_HOME"); isAbsolute(data)) {
    return std::string(data) + "/kestrune";
  }
  if (const char* home = getenv("HOME"); isAbsolute(home)) {
    std::string dir(home);
    if (dir.back() != '/') dir += '/';
    return dir + ".local/share/kestrune";
  }
  return {};
}

OptionReader::OptionReader(std::vector<std::string> args) : args_(std::move(args)) {}

bool OptionReader::next() {
  if (pos_ >= args_.size()) return false;
  const std::string& arg = args_[pos_++];
  const std::size_t eq = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
  inline_ = eq != std::string::npos;
  valueTaken_ = false;
  name_ = inline_ ? arg.substr(0, eq) : arg;
  value_ = inline_ ? arg.substr(eq + 1) : std::string();
  return true;
}

bool OptionReader::takeValue(std::string& value) {
  if (inline_) {
    if (valueTaken_) return false;
    valueTaken_ = true;
    value = value_;
    return true;
  }
  if (pos_ >= args_.size()) return false;
  value = args_[pos_++];
  return true;
}

namespace {

// The work-folder options; false for any other.
bool takeWorkDirOption(OptionReader& reader, ProgramOptions& options) {
  if (reader.name() == "--user-workdir") {
    options.workDir.user = true;
    options.workDir.dir.clear();
    return true;
  }
  if (reader.name() != "--workdir") return false;
  std::string dir;
  if (!reader.takeValue(dir) || dir.empty()) {
    options.error = "--workdir needs a folder";
    return true;
  }
  options.workDir.dir = dir;
  options.workDir.user = false;
  return true;
}

}  // namespace

void parseProgramOptions(const std::vector<std::string>& args, ProgramOptions& options,
                         const std::function<bool(OptionReader&)>& own) {
  using Action = ProgramOptions::Action;
  OptionReader reader(args);
  while (options.error.empty() && reader.next()) {
    const std::string& name = reader.name();
    if (name == "--help" || name == "-h") {
      options.action = Action::Help;
    } else if (name == "--version") {
      // --help wins when both are given.
      if (options.action == Action::Run) options.action = Action::Version;
    } else if (!takeWorkDirOption(reader, options) && !(own && own(reader))) {
      options.error = "unknown option " + name + " (see --help)";
    }
    if (options.error.empty() && reader.hasUnusedValue()) options.error = name + " takes no value";
  }
  if (!options.error.empty()) options.action = Action::Fail;
}

int answerProgramOptions(const ProgramOptions& options, const char* program,
                         const std::string& version, const std::string& help, std::ostream& out,
                         std::ostream& err) {
  switch (options.action) {
    case ProgramOptions::Action::Help:
      out << help;
      return 0;
    case ProgramOptions::Action::Version:
      out << program << " " << version << "\n";
      return 0;
    case ProgramOptions::Action::Fail:
      err << program << ": " << options.error << "\n";
      return 2;
    case ProgramOptions::Action::Run:
      break;
  }
  return -1;
}

const char* workDirOptionsHelp() {
  return "  --workdir DIR      work in DIR: Kestrune.cfg, SymbolFilter.txt and the Data\n"
         "                     folder live there (default: the current folder)\n"
         "  --user-workdir     work in the per-user data folder, $XDG_DATA_HOME/kestrune\n"
         "                     (~/.local/share/kestrune), created when missing\n";
}

bool enterWorkDir(const WorkDirChoice& choice, std::string& error, const EnvReader& getenv) {
  std::string dir = choice.dir;
  if (choice.user) {
    dir = userWorkDir(getenv);
    if (dir.empty()) {
      error = "no per-user data folder: neither XDG_DATA_HOME nor HOME is an absolute path";
      return false;
    }
    // Only the user's own recordings and settings live here.
    if (!makeFolders(dir, 0700)) {
      error = "cannot create " + dir + ": " + std::strerror(errno);
      return false;
    }
  }
  if (dir.empty()) return true;
  if (::chdir(dir.c_str()) != 0) {
    error = "cannot work in " + dir + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace kestrune
