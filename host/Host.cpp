// The one installed host every window reaches the host services through.
#include "host/Host.h"

#include <atomic>

namespace kx {
namespace {
std::atomic<IHost*> g_host{nullptr};
}  // namespace

IHost* Host() { return g_host.load(std::memory_order_acquire); }
void InstallHost(IHost* host) { g_host.store(host, std::memory_order_release); }

}  // namespace kx
