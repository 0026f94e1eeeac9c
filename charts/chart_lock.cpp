#include "charts/chart_lock.h"

namespace kestrune {

std::mutex& chartLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace kestrune
