// Everything of the host the module's windows call, in one include.
// Threads: as each included header says.
#pragma once

#include "host/CutMachine.h"
#include "host/Database.h"
#include "host/Host.h"
#include "host/HostObjects.h"
#include "host/ObjectList.h"
#include "host/QvBitmap.h"
#include "host/Settings.h"
#include "host/Translation.h"

namespace kx {

// The bitmap of a bitmap object (its element's GENERIC_ITEM), null for any other handle.
CQvBitmap* ObjectBitmap(uint64 h);

// The host's cutter object, for windows that were given none: cuts through the installed host.
// Lives as long as the program; null while no host is installed.
CCutMachine* HostCutMachine();

}  // namespace kx
