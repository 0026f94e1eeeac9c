// kestrune-seed-store HOST PORT USER PASSWORD: writes the server connection into the per-user
// store exactly as the monitor keeps it, so a prepared profile (the demo's, a test's) starts with
// its server filled in. The store's place follows XDG_CONFIG_HOME like the monitor's own.
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "monitor/server_store.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s HOST PORT USER PASSWORD\n", argv[0]);
    return 2;
  }
  char* end = nullptr;
  const long port = std::strtol(argv[2], &end, 10);
  if (end == argv[2] || *end != '\0' || port <= 0 || port > 65535) {
    std::fprintf(stderr, "%s: not a port: %s\n", argv[0], argv[2]);
    return 2;
  }
  const kestrune::ServerPrefsValues fields =
      kestrune::makeServerSettings(argv[1], static_cast<std::int32_t>(port), argv[3], argv[4]);
  if (!kestrune::writeServerSettings(fields)) {
    std::fprintf(stderr, "%s: could not write %s\n", argv[0],
                 qPrintable(kestrune::serverStoreFileName()));
    return 1;
  }
  std::printf("%s\n", qPrintable(kestrune::serverStoreFileName()));
  return 0;
}
