// The extension modules loaded into the process, as they announce themselves.
#include "platform/ModuleRegistry.h"

#include <algorithm>
#include <mutex>

namespace kx {

namespace {
std::mutex g_modulesMutex;
std::vector<std::string> g_modules;
}  // namespace

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
