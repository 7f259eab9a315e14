// The registration run on the devices the settings name, with the person at the terminal as the
// user: the program's run without a simulated world.
// Threads: bound to one thread; one job at a time per process.
#pragma once

#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <string>

#include "app/ConsoleOperator.h"
#include "embedded/Document.h"
#include "embedded/EmbeddedHost.h"

namespace kx {

class ConfiguredDevices;

struct DeviceJobOptions {
  std::filesystem::path jobDocument;  // the job to register and cut (a saved document)
  // The settings folder ("Port Setup" in device.ini, the calibration in settings.ini), used in
  // place; empty: the user's configuration folder.
  std::filesystem::path configDir;
  bool dryRun = false;  // every move goes knife up: the head travels the job, nothing is cut
  ConsoleRunPlan plan;
};

// Exit statuses besides those of the main job (app/MainJob.h): kJobDone when the run ended and
// every copy it registered was cut, kJobUnmet when it was stopped, cut nothing or a copy was not
// taken, kJobBadInput for an unusable job, settings key or device,
// kJobMachineFault when the cutter failed (a write timed out, the port was lost) or the run ended
// on a fault of the machine.

// Whether the settings in configDir (empty: the user's folder) name a serial cutter, so that the
// run goes to the devices; false with *error empty for the simulated machine, false with *error
// naming the key when "Port Setup" cannot be read.
bool SettingsNameSerialCutter(const std::filesystem::path& configDir, std::string* error);

// The embedded host on the settings folder (empty: the user's), installed, with "Port Setup"
// read first: a key that cannot be read is refused, naming it, before anything else is read or
// opened. Null after saying so on err.
std::unique_ptr<EmbeddedHost> InstallDeviceHost(const std::filesystem::path& configDir,
                                                std::ostream& err);

// Opens the devices "Port Setup" names (ConfiguredDevices::Open; what it leaves to the simulated
// machine stays as installed) for a job that needs a cutter and a camera, and says on out which
// cutter and camera they are. Null after saying on err what is wrong (a key, the port, the
// camera, or a device the settings do not name).
std::unique_ptr<ConfiguredDevices> OpenJobDevices(bool dryRun, std::ostream& out,
                                                  std::ostream& err);

// kJobMachineFault after saying on err why, when the configured cutter failed or fault (a message
// box's machine fault) is not empty; 0 otherwise.
int DeviceFault(ConfiguredDevices& devices, const std::string& fault, std::ostream& err);

// The program's run: installs the embedded host on the settings folder, loads the job document
// and runs RunConfiguredJob on the real clock. Blocks for the whole run.
int RunDeviceJob(const DeviceJobOptions& options, std::istream& in, std::ostream& out,
                 std::ostream& err);

// Opens the devices "Port Setup" of the installed host names (ConfiguredDevices::Open; what it
// leaves to the simulated machine stays as installed), runs the run dialog on the job doc holds
// with a ConsoleOperator on in and out, and closes the driver (knife up, head home). opened, when
// given, sees the devices once they are open and before anything is sent. A line per copy and a
// summary go to out, problems to err. Returns one of the statuses above.
int RunConfiguredJob(const DeviceJobOptions& options, Document& doc, std::istream& in,
                     std::ostream& out, std::ostream& err,
                     const std::function<void(ConfiguredDevices&)>& opened = nullptr);

}  // namespace kx
