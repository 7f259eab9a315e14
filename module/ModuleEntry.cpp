// Entry points of the module library that a host can look up by name.
#include "common/Export.h"
#include "platform/ModuleRegistry.h"

extern "C" KX_EXPORT const char* KestrixModuleVersion() { return "0.1"; }

namespace {
// Announces the module to the window framework while the library is loaded.
struct ModuleRegistration {
  ModuleRegistration() { kx::RegisterModule("kestrix"); }
  ~ModuleRegistration() { kx::UnregisterModule("kestrix"); }
};
const ModuleRegistration g_registration;
}  // namespace
