// The kestrix program: runs the module's main job on the simulated machine.
#include <iostream>
#include <string>

#include "app/AcquireJob.h"
#include "app/CalibrateJob.h"
#include "app/MainJob.h"
#include "app/TraceJob.h"

namespace {

int Usage(std::ostream& to, int status) {
  to << "usage: kestrix demo [--job DOC] [--out DIR] [--config CFG]\n"
        "                       the run on the built-in 2 x 3 sheet\n"
        "       kestrix run --world FILE [--job DOC] [--out DIR] [--config CFG]\n"
        "                       the run on the world FILE describes; with DOC, against that job\n"
        "                       document\n"
        "       kestrix calibrate [--world FILE] [--out DIR]\n"
        "                       the setup page calibrates the camera: DIR/setup.png\n"
        "       kestrix acquire [--world FILE] [--out DIR] [--config CFG]\n"
        "                       photograph the first copy as a job's reference: DIR/job.json,\n"
        "                       DIR/montage.png\n"
        "       kestrix trace --world FILE [--out DIR]\n"
        "                       the head traces the job's first cut path at a tenth of its size:\n"
        "                       DIR/trace.json, DIR/trace.png\n"
        "Writes DIR/report.json, DIR/bed.png and DIR/dialog.png, and the settings into DIR/config\n"
        "(DIR defaults to out). --config CFG runs with the settings a calibration left in CFG\n"
        "(say out/config) instead of the world's own.\n"
        "Exit status: 0 as expected, 1 not as expected, 2 bad input, 3 the scripted user failed,\n"
        "4 the machine failed (run, demo).\n";
  return status;
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(std::cerr, kx::kJobBadInput);
  const std::string command = argv[1];
  if (command == "--help" || command == "help") return Usage(std::cout, 0);
  if (command == "acquire") return Acquire(argc, argv);
  if (command != "demo" && command != "run" && command != "calibrate" && command != "trace") {
    std::cerr << "kestrix: unknown command '" << command << "'\n";
    return Usage(std::cerr, kx::kJobBadInput);
  }
  kx::MainJobOptions options;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--out" || arg == "--world" || arg == "--job" || arg == "--config") &&
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
    } else {
      std::cerr << "kestrix: unknown option '" << arg << "' for " << command << "\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
  }
  if ((command == "run" || command == "trace") && options.worldFile.empty()) {
    std::cerr << "kestrix: " << command << " needs --world FILE\n";
    return Usage(std::cerr, kx::kJobBadInput);
  }
  if (command == "calibrate")
    return kx::RunCalibrateJob({options.worldFile, options.outDir}, std::cout, std::cerr);
  if (command == "trace") return kx::RunTraceJob(options, std::cout, std::cerr);
  return kx::RunMainJob(options, std::cout, std::cerr);
}
