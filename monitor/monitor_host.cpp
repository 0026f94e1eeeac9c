#include "monitor/monitor_host.h"

#include <atomic>

namespace kestrune {
namespace {
std::atomic<MonitorHost*> g_currentView{nullptr};
}

MonitorHost* currentView() { return g_currentView.load(std::memory_order_acquire); }

void setCurrentView(MonitorHost* view) { g_currentView.store(view, std::memory_order_release); }

}  // namespace kestrune
