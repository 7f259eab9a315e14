// The extension modules loaded into the process, as they announce themselves.
// Threads: thread-safe.
#pragma once

#include <string>
#include <vector>

namespace kx {

// Extension modules announce themselves when their library is loaded and leave when it is
// unloaded. Registering a name twice counts twice; unregistering an unknown name returns false.
// Thread-safe.
void RegisterModule(const std::string& name);
bool UnregisterModule(const std::string& name);
// The registered names, in the order they came (a name registered twice appears twice).
std::vector<std::string> RegisteredModules();

}  // namespace kx
