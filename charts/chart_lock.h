// The one lock held around every chart drawing, on either thread. A drawing writes the scale
// slots of its series and the chart's off-screen picture, and the chart widgets copy that picture.
#pragma once

#include <mutex>

namespace kestrune {

std::mutex& chartLock();

}  // namespace kestrune
