// Entry points of the module library that a host can look up by name.
#include "common/Export.h"

extern "C" KX_EXPORT const char* KestrixModuleVersion() { return "0.1"; }
