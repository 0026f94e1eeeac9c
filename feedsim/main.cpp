// kestrune-feedsim: a Kestrune server that streams a simulated trading day.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "feedsim/sim_options.h"
#include "feedsim/sim_server.h"

namespace {
void onStopSignal(int) { kestrune::feedsim::SimServer::requestStop(); }
}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  kestrune::feedsim::SimOptions options;
  std::string error;
  if (!kestrune::feedsim::parseOptions(args, options, error)) {
    std::fprintf(stderr, "kestrune-feedsim: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(kestrune::feedsim::helpText().c_str(), stdout);
    return 0;
  }
  struct sigaction sa {};
  sa.sa_handler = onStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  kestrune::feedsim::SimServer server(options);
  return server.run();
}
