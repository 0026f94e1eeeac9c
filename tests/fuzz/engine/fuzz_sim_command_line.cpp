// The simulator's command line and its stdin commands. The input is split at NUL bytes into the
// arguments; when the first byte is odd, at line feeds into commands instead.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/trading_date.h"
#include "feedsim/sim_options.h"
#include "tests/fuzz/engine/fuzz_check.h"

using namespace kestrune::feedsim;

namespace {

std::vector<std::string> split(std::string_view text, char at) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t to = text.find(at, from);
    parts.emplace_back(text.substr(from, to - from));
    if (to == std::string_view::npos) return parts;
    from = to + 1;
  }
}

void commandLine(std::string_view text) {
  std::vector<std::string> args = {"kestrune-feedsim"};
  for (std::string& arg : split(text, '\0')) args.push_back(std::move(arg));
  SimOptions options;
  std::string error;
  if (!parseOptions(args, options, error)) {
    KES_FUZZ_CHECK(!error.empty());
    return;
  }
  // What the server then relies on.
  KES_FUZZ_CHECK(options.port >= 0 && options.port <= 65535);
  KES_FUZZ_CHECK(options.speed >= 1 && options.speed <= kMaxSpeed);
  KES_FUZZ_CHECK(options.startSecond >= 0 && options.startSecond < 86400);
  KES_FUZZ_CHECK(options.refuse == 0 || options.refuse == 7 || options.refuse == 10 ||
                 options.refuse == 11);
  KES_FUZZ_CHECK(kestrune::isTradingDate(options.date));
  KES_FUZZ_CHECK(options.splitPiece >= 0 && options.splitPiece <= 134);
  KES_FUZZ_CHECK(options.badCrcAfter >= 0 && options.burst >= 0);
  KES_FUZZ_CHECK(!options.user.empty() && !options.password.empty());
}

void commands(std::string_view text) {
  for (const std::string& line : split(text, '\n')) {
    SimCommand command;
    std::string error;
    if (parseCommand(line, command, error)) KES_FUZZ_CHECK(!command.name.empty());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    commands(text);
  } else {
    commandLine(text);
  }
  return 0;
}
