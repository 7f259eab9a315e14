// The kestrix program: runs the module's jobs on the simulated machine or the configured devices.
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/AcquireJob.h"
#include "app/CalibrateJob.h"
#include "app/DeviceJob.h"
#include "app/DeviceSetupJob.h"
#include "app/MainJob.h"
#include "app/TraceJob.h"
#include "devices/DeviceList.h"
#include "scenario/HardwareLoop.h"
#include "web/Serve.h"

namespace {

int Usage(std::ostream& to, int status) {
  to << "usage: kestrix demo [--job DOC] [--out DIR] [--config CFG] [--precision]\n"
        "                       [--plotter pty ...]\n"
        "                       the run on the built-in 2 x 3 sheet\n"
        "       kestrix run --world FILE [--job DOC] [--out DIR] [--config CFG] [--precision]\n"
        "                       [--plotter pty [--protocol hpgl|grbl] [--dry-run]]\n"
        "                       the run on the world FILE describes; with DOC, against that job\n"
        "                       document; with --plotter pty through the serial cutter driver and\n"
        "                       a fake plotter on a pseudo-terminal (hardware in the loop);\n"
        "                       --dry-run sends every move with the knife up\n"
        "       kestrix run --job DOC [--config CFG] [--dry-run] [--columns N] [--rows N]\n"
        "                       [--step-x S] [--step-y S] [--roll]\n"
        "                       without --world: on the cutter and camera CFG's device.ini names\n"
        "                       (CFG defaults to the user's settings folder), you at the\n"
        "                       terminal: steer the camera to the first mark, Start, answer the\n"
        "                       messages, Ctrl+C stops; counts and steps not given are asked.\n"
        "                       Where the settings name the simulated machine, the demo world\n"
        "                       runs instead\n"
        "       kestrix calibrate [--world FILE] [--out DIR] [--plotter pty [--protocol P]]\n"
        "                       the setup page calibrates the camera: DIR/setup.png\n"
        "       kestrix calibrate [--config CFG] [--dry-run]\n"
        "                       without --world: the setup page on the cutter and camera CFG's\n"
        "                       device.ini names, you at the terminal: steer the camera to the\n"
        "                       calibration spot, calibrate, answer the messages, ok stores the\n"
        "                       values in CFG's settings.ini, cancel stores nothing\n"
        "       kestrix acquire [--world FILE] [--out DIR] [--config CFG]\n"
        "                       photograph the first copy as a job's reference: DIR/job.json,\n"
        "                       DIR/montage.png; without --world, where CFG's device.ini names\n"
        "                       a serial cutter, on those devices with you at the terminal\n"
        "                       (steer, start, end, grow, ok)\n"
        "       kestrix devices\n"
        "                       the serial ports and cameras this computer shows\n"
        "       kestrix trace --world FILE [--out DIR]\n"
        "                       the head traces the job's first cut path at a tenth of its size:\n"
        "                       DIR/trace.json, DIR/trace.png\n"
        "       kestrix serve [--world FILE] [--config CFG] [--listen ADDR:PORT] [--out DIR]\n"
        "                       the windows in a browser on the simulated machine (or the real\n"
        "                       devices \"Port Setup\" in CFG names), until Ctrl+C;\n"
        "                       ADDR:PORT defaults to 127.0.0.1:8080 (any other address needs\n"
        "                       the token printed at start), documents open from and save to DIR,\n"
        "                       settings stay in CFG (defaults to DIR/config)\n"
        "Writes DIR/report.json, DIR/bed.png and DIR/dialog.png, and the settings into DIR/config\n"
        "(DIR defaults to out). --config CFG runs with the settings a calibration left in CFG\n"
        "(say out/config) instead of the world's own. --precision runs in precision mode\n"
        "(\"KestrixPrecision\" 1) whatever the world file says.\n"
        "Exit status: 0 as expected, 1 not as expected, 2 bad input, 3 the scripted user failed,\n"
        "4 the machine failed (run, demo, calibrate, acquire on the devices).\n";
  return status;
}

// calibrate and acquire on the devices: --config, --out (acquire) and --dry-run (calibrate).
int ToolOnDevices(const std::string& command, int argc, char** argv) {
  kx::DeviceToolOptions options;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dry-run" && command == "calibrate") {
      options.dryRun = true;
      continue;
    }
    if (arg != "--config" && !(arg == "--out" && command == "acquire")) {
      std::cerr << "kestrix: unknown option '" << arg << "' for " << command
                << " on the devices\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
    if (i + 1 >= argc) {
      std::cerr << "kestrix: " << arg << " needs a value\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
    const std::string value = argv[++i];
    if (arg == "--config") options.configDir = value;
    if (arg == "--out") options.outDir = value;
  }
  if (command == "calibrate") return kx::RunDeviceCalibrate(options, std::cin, std::cout, std::cerr);
  return kx::RunDeviceAcquire(options, std::cin, std::cout, std::cerr);
}

int Acquire(int argc, char** argv) {
  kx::AcquireJobOptions options;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg != "--out" && arg != "--world" && arg != "--config") {
      std::cerr << "kestrix: unknown option '" << arg << "' for acquire\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
    if (i + 1 >= argc) {
      std::cerr << "kestrix: " << arg << " needs a value\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
    const std::string value = argv[++i];
    if (arg == "--out") options.outDir = value;
    if (arg == "--world") options.worldFile = value;
    if (arg == "--config") options.configDir = value;
  }
  return kx::RunAcquireJob(options, std::cout, std::cerr);
}

int ListDevices(std::ostream& out) {
  const auto list = [&out](const char* what, const std::vector<kx::DeviceEntry>& entries) {
    out << what << ":" << (entries.empty() ? " none found" : "") << "\n";
    for (const kx::DeviceEntry& e : entries)
      out << "  " << e.path << (e.description.empty() ? "" : "  " + e.description) << "\n";
  };
  list("serial ports", kx::ListSerialPorts());
  list("cameras", kx::ListCameras());
  out << "Put the cutter's port in \"Port\" of [Port Setup] in device.ini (docs/devices.md).\n";
  return 0;
}

int Serve(int argc, char** argv) {
  std::string worldFile;
  std::string listen = "127.0.0.1:8080";
  std::string config;
  kx::ServeOptions options;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg != "--world" && arg != "--config" && arg != "--listen" && arg != "--out") {
      std::cerr << "kestrix: unknown option '" << arg << "' for serve\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
    if (i + 1 >= argc) {
      std::cerr << "kestrix: " << arg << " needs a value\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
    const std::string value = argv[++i];
    if (arg == "--world") worldFile = value;
    if (arg == "--config") config = value;
    if (arg == "--listen") listen = value;
    if (arg == "--out") options.jobDir = value;
  }
  options.configDir = config.empty() ? options.jobDir / "config" : std::filesystem::path(config);
  kx::MainJobSetup setup;
  if (!kx::ReadJob(worldFile, kx::DemoJob(), "the built-in demo world", &setup, &options.worldName,
                   std::cerr)) {
    return kx::kJobBadInput;
  }
  options.world = setup.world;
  // The page's new worlds are read as --world reads its file; only the world is taken.
  options.readWorld = [](const std::filesystem::path& path, kx::WorldOptions* world,
                         std::string* error) {
    kx::MainJobSetup read;
    if (!kx::LoadJobFile(path.string(), &read, error)) return false;
    *world = read.world;
    return true;
  };
  return kx::RunServe(options, listen, std::cout, std::cerr);
}

// A run, calibrate or acquire without --world or --plotter goes to the configured devices when
// its settings name a serial cutter; otherwise it runs on the simulated machine.
bool OnDevices(int argc, char** argv) {
  std::string config;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--world" || arg == "--plotter") return false;
    if (arg == "--config" && i + 1 < argc) config = argv[i + 1];
  }
  std::string error;
  // A settings key that cannot be read is refused by the device run, naming the key.
  return kx::SettingsNameSerialCutter(config, &error) || !error.empty();
}

int RunOnDevices(int argc, char** argv) {
  kx::DeviceJobOptions options;
  const auto number = [](const std::string& arg, const char* text, auto* value) {
    std::istringstream in(text);
    std::string rest;
    if ((in >> *value) && !(in >> rest) && *value >= 0) return true;
    std::cerr << "kestrix: " << arg << " takes a number not below 0, not '" << text << "'\n";
    return false;
  };
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dry-run") {
      options.dryRun = true;
      continue;
    }
    if (arg == "--roll") {
      options.plan.roll = true;
      continue;
    }
    if (arg != "--job" && arg != "--config" && arg != "--columns" && arg != "--rows" &&
        arg != "--step-x" && arg != "--step-y") {
      std::cerr << "kestrix: unknown option '" << arg << "' for a run on the devices\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
    if (i + 1 >= argc) {
      std::cerr << "kestrix: " << arg << " needs a value\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
    const char* value = argv[++i];
    int count = 0;
    double step = 0;
    if (arg == "--job") options.jobDocument = value;
    if (arg == "--config") options.configDir = value;
    if ((arg == "--columns" || arg == "--rows") && !number(arg, value, &count))
      return kx::kJobBadInput;
    if ((arg == "--step-x" || arg == "--step-y") && !number(arg, value, &step))
      return kx::kJobBadInput;
    if (arg == "--columns") options.plan.columns = count;
    if (arg == "--rows") options.plan.rows = count;
    if (arg == "--step-x") options.plan.stepX = step;
    if (arg == "--step-y") options.plan.stepY = step;
  }
  if (options.jobDocument.empty()) {
    std::cerr << "kestrix: a run on the devices needs --job DOC\n";
    return Usage(std::cerr, kx::kJobBadInput);
  }
  return kx::RunDeviceJob(options, std::cin, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(std::cerr, kx::kJobBadInput);
  const std::string command = argv[1];
  if (command == "--help" || command == "help") return Usage(std::cout, 0);
  if ((command == "acquire" || command == "calibrate") && OnDevices(argc, argv))
    return ToolOnDevices(command, argc, argv);
  if (command == "acquire") return Acquire(argc, argv);
  if (command == "devices") {
    if (argc > 2) {
      std::cerr << "kestrix: devices takes no options\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
    return ListDevices(std::cout);
  }
  if (command == "serve") return Serve(argc, argv);
  if (command != "demo" && command != "run" && command != "calibrate" && command != "trace") {
    std::cerr << "kestrix: unknown command '" << command << "'\n";
    return Usage(std::cerr, kx::kJobBadInput);
  }
  if (command == "run" && OnDevices(argc, argv)) return RunOnDevices(argc, argv);
  kx::MainJobOptions options;
  std::optional<kx::CutterProtocol> protocolGiven;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--out" || arg == "--world" || arg == "--job" || arg == "--config" ||
         arg == "--plotter" || arg == "--protocol") &&
        i + 1 >= argc) {
      std::cerr << "kestrix: " << arg << " needs a value\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
    if (arg == "--out") {
      options.outDir = argv[++i];
    } else if (arg == "--world" && command != "demo") {
      options.worldFile = argv[++i];
    } else if (arg == "--job" && (command == "demo" || command == "run")) {
      options.jobDocument = argv[++i];
    } else if (arg == "--config" && (command == "demo" || command == "run")) {
      options.configDir = argv[++i];
    } else if (arg == "--config" && command == "calibrate") {
      std::cerr << "kestrix: calibrate --config CFG calibrates on the cutter CFG's device.ini "
                   "names, but " << argv[i + 1] << "'s \"Port\" names the simulated machine, whose "
                   "calibration takes --world and leaves its settings in DIR/config\n";
      return Usage(std::cerr, kx::kJobBadInput);
    } else if (arg == "--plotter" &&
               (command == "demo" || command == "run" || command == "calibrate")) {
      if (std::string(argv[++i]) != "pty") {
        std::cerr << "kestrix: --plotter takes 'pty', not '" << argv[i] << "'\n";
        return Usage(std::cerr, kx::kJobBadInput);
      }
      if (!options.plotterPty) options.plotterPty = kx::CutterProtocol::Hpgl;
    } else if (arg == "--dry-run" && (command == "demo" || command == "run")) {
      options.dryRun = true;
    } else if (arg == "--protocol" &&
               (command == "demo" || command == "run" || command == "calibrate")) {
      kx::CutterProtocol protocol{};
      if (!kx::ParseProtocol(argv[++i], &protocol)) {
        std::cerr << "kestrix: --protocol takes 'hpgl' or 'grbl', not '" << argv[i] << "'\n";
        return Usage(std::cerr, kx::kJobBadInput);
      }
      protocolGiven = protocol;
    } else if (arg == "--precision" && (command == "demo" || command == "run")) {
      options.precision = true;
    } else {
      std::cerr << "kestrix: unknown option '" << arg << "' for " << command << "\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
  }
  if (protocolGiven && !options.plotterPty) {
    std::cerr << "kestrix: --protocol goes with --plotter pty\n";
    return Usage(std::cerr, kx::kJobBadInput);
  }
  if (protocolGiven) options.plotterPty = protocolGiven;
  if (options.dryRun && !options.plotterPty) {
    std::cerr << "kestrix: --dry-run goes with --plotter pty\n";
    return Usage(std::cerr, kx::kJobBadInput);
  }
  // A run with settings or a job but no world runs the demo world (the settings name the
  // simulated machine; a serial cutter went to the devices above).
  if ((command == "run" && options.worldFile.empty() && options.configDir.empty() &&
       options.jobDocument.empty() && !options.plotterPty) ||
      (command == "trace" && options.worldFile.empty())) {
    std::cerr << "kestrix: " << command << " needs --world FILE\n";
    return Usage(std::cerr, kx::kJobBadInput);
  }
  if (command == "calibrate")
    return kx::RunCalibrateJob({options.worldFile, options.outDir}, std::cout, std::cerr,
                               options.plotterPty);
  if (command == "trace") return kx::RunTraceJob(options, std::cout, std::cerr);
  return kx::RunMainJob(options, std::cout, std::cerr);
}
