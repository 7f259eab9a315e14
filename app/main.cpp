// The kestrix program: runs the module's main job on the simulated machine.
#include <iostream>
#include <string>

#include "app/AcquireJob.h"
#include "app/MainJob.h"

namespace {

int Usage(std::ostream& to, int status) {
  to << "usage: kestrix demo [--out DIR]               the run on the built-in 2 x 3 sheet\n"
        "       kestrix run --world FILE [--job DOC] [--out DIR]\n"
        "                                              the run on the world FILE describes;\n"
        "                                              with DOC, against that job document\n"
        "       kestrix acquire [--world FILE] [--out DIR] [--config DIR]\n"
        "                                              photograph the first copy as a job's\n"
        "                                              reference: DIR/job.json, montage.png\n"
        "Writes DIR/report.json, DIR/bed.png and DIR/dialog.png (DIR defaults to out).\n"
        "Exit status: 0 as expected, 1 not as expected, 2 bad input, 3 the scripted user failed.\n";
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
  if (command != "demo" && command != "run") {
    std::cerr << "kestrix: unknown command '" << command << "'\n";
    return Usage(std::cerr, kx::kJobBadInput);
  }
  kx::MainJobOptions options;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--out" || arg == "--world" || arg == "--job") && i + 1 >= argc) {
      std::cerr << "kestrix: " << arg << " needs a value\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
    if (arg == "--out") {
      options.outDir = argv[++i];
    } else if (arg == "--world" && command == "run") {
      options.worldFile = argv[++i];
    } else if (arg == "--job" && command == "run") {
      options.jobDocument = argv[++i];
    } else {
      std::cerr << "kestrix: unknown option '" << arg << "' for " << command << "\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
  }
  if (command == "run" && options.worldFile.empty()) {
    std::cerr << "kestrix: run needs --world FILE\n";
    return Usage(std::cerr, kx::kJobBadInput);
  }
  return kx::RunMainJob(options, std::cout, std::cerr);
}
