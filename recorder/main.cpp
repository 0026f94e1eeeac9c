// kestrune-recorder: records the trading day's six data files without a window.
#include <QCoreApplication>
#include <iostream>
#include <string>
#include <vector>

#include "recorder/recorder.h"

int main(int argc, char** argv) {
  const kestrune::RecorderOptions options =
      kestrune::parseRecorderOptions(std::vector<std::string>(argv + 1, argv + argc));
  const int done = kestrune::answerRecorderOptions(options, std::cout, std::cerr);
  if (done >= 0) return done;
  QCoreApplication app(argc, argv);
  return kestrune::runRecorder(options, std::cout, std::cerr);
}
