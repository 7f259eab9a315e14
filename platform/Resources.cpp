// Dialog templates and bitmaps looked up by number among the host's resources; module registry.
#include "platform/Resources.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace kx {

namespace {
std::atomic<IResources*> g_resources{nullptr};
std::mutex g_modulesMutex;
std::vector<std::string> g_modules;
}  // namespace

void InstallResources(IResources* resources) {
  g_resources.store(resources, std::memory_order_release);
}

IResources* Resources() { return g_resources.load(std::memory_order_acquire); }

void RegisterModule(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_modulesMutex);
  g_modules.push_back(name);
}

bool UnregisterModule(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_modulesMutex);
  auto it = std::find(g_modules.begin(), g_modules.end(), name);
  if (it == g_modules.end()) return false;
  g_modules.erase(it);
  return true;
}

std::vector<std::string> RegisteredModules() {
  std::lock_guard<std::mutex> lock(g_modulesMutex);
  return g_modules;
}

}  // namespace kx
