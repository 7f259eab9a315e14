// The main job: the run dialog on a simulated world with a scripted user, reported and pictured.
// Threads: bound to one thread; one main job at a time per process.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "app/JobFile.h"

namespace kx {

struct MainJobOptions {
  std::string worldFile;                 // empty: the built-in demo
  std::filesystem::path outDir = "out";  // report.json, bed.png, dialog pictures, config/
  // A folder of settings (a calibration's config/) the run uses instead of the world's own
  // "Scale" and offsets; empty: the world's.
  std::filesystem::path configDir;
};

// Exit statuses of the main job.
inline constexpr int kJobDone = 0;          // the run did what the world expects
inline constexpr int kJobUnmet = 1;         // the run ended but missed an expectation
inline constexpr int kJobBadInput = 2;      // the world file or the output folder is unusable
inline constexpr int kJobScriptFailed = 3;  // the scripted user could not do its part

// Reads the world (options.worldFile, or the demo), runs the run dialog modally on it with the
// scripted user, prints a line per copy as the run goes and a summary on out, and writes
// report.json, bed.png, dialog.png (the dialog at the end) and dialog-first-copy.png (when the
// first copy was found) into options.outDir, settings into outDir/config. Problems go to err.
// Blocks for the whole run. Returns one of the statuses above.
int RunMainJob(const MainJobOptions& options, std::ostream& out, std::ostream& err);

// The same for a job already read; worldName names it in the report.
int RunMainJob(const MainJobSetup& setup, const std::string& worldName,
               const std::filesystem::path& outDir, std::ostream& out, std::ostream& err);

// The same with the settings files (settings.ini, device.ini) of configDir copied into
// outDir/config instead of the world's calibration, when configDir is not empty. The report's
// "settings" says which were used. A configDir without settings.ini is bad input.
int RunMainJob(const MainJobSetup& setup, const std::string& worldName,
               const std::filesystem::path& outDir, const std::filesystem::path& configDir,
               std::ostream& out, std::ostream& err);

}  // namespace kx
