// `kestrix serve`: the host application in a browser, on the simulated machine or the configured
// devices, until interrupted.
// Threads: bound to the main thread; one at a time per process.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "web/ServeSession.h"

namespace kx {

// The installed page folder (share/kestrix/web beside the program's bin folder) when it exists,
// else the page of the source tree the program was built from.
std::filesystem::path PageFolder();

// Serves session options on listen ("ADDR:PORT") until SIGINT or SIGTERM: prints the address to
// open (with the token when the address is not the loopback one), then closes every window,
// stopping the machine first, and returns 0. A bad address or a port that cannot be listened on
// is said on err and returns 2, as are device settings ("Port Setup") that cannot be used.
int RunServe(const ServeOptions& options, const std::string& listen, std::ostream& out,
             std::ostream& err);

}  // namespace kx
