// Dialog templates and bitmaps looked up by number among the host's resources.
#include "platform/Resources.h"

#include <atomic>

namespace kx {

namespace {
std::atomic<IResources*> g_resources{nullptr};
}  // namespace

void InstallResources(IResources* resources) {
  g_resources.store(resources, std::memory_order_release);
}

IResources* Resources() { return g_resources.load(std::memory_order_acquire); }

}  // namespace kx
