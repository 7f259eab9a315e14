// The kestrix program: runs the module's main job on the simulated machine.
#include <iostream>
#include <string>

#include "app/MainJob.h"
#include "app/TraceJob.h"

namespace {

int Usage(std::ostream& to, int status) {
  to << "usage: kestrix demo [--out DIR]               the run on the built-in 2 x 3 sheet\n"
        "       kestrix run --world FILE [--out DIR]   the run on the world FILE describes\n"
        "       kestrix trace --world FILE [--out DIR] the head traces the job's first cut path\n"
        "Writes DIR/report.json, DIR/bed.png and DIR/dialog.png (DIR defaults to out); trace\n"
        "writes DIR/trace.json and DIR/trace.png.\n"
        "Exit status: 0 as expected, 1 not as expected, 2 bad input, 3 the scripted user failed.\n";
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(std::cerr, kx::kJobBadInput);
  const std::string command = argv[1];
  if (command == "--help" || command == "help") return Usage(std::cout, 0);
  if (command != "demo" && command != "run" && command != "trace") {
    std::cerr << "kestrix: unknown command '" << command << "'\n";
    return Usage(std::cerr, kx::kJobBadInput);
  }
  kx::MainJobOptions options;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--out" || arg == "--world") && i + 1 >= argc) {
      std::cerr << "kestrix: " << arg << " needs a value\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
    if (arg == "--out") {
      options.outDir = argv[++i];
    } else if (arg == "--world" && (command == "run" || command == "trace")) {
      options.worldFile = argv[++i];
    } else {
      std::cerr << "kestrix: unknown option '" << arg << "' for " << command << "\n";
      return Usage(std::cerr, kx::kJobBadInput);
    }
  }
  if ((command == "run" || command == "trace") && options.worldFile.empty()) {
    std::cerr << "kestrix: " << command << " needs --world FILE\n";
    return Usage(std::cerr, kx::kJobBadInput);
  }
  if (command == "trace") return kx::RunTraceJob(options, std::cout, std::cerr);
  return kx::RunMainJob(options, std::cout, std::cerr);
}
