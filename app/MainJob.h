// The main job: the run dialog on a simulated world with a scripted user, reported and pictured.
// Threads: bound to one thread; one main job at a time per process.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "app/JobFile.h"
#include "devices/SerialCutter.h"

namespace kx {

struct MainJobOptions {
  std::string worldFile;                 // empty: the built-in demo
  std::filesystem::path outDir = "out";  // report.json, bed.png, dialog pictures, config/
  // A job document to register against instead of the world's generated job (an acquired one).
  std::filesystem::path jobDocument;
  // A folder of settings (a calibration's config/) the run uses instead of the world's own
  // "Scale" and offsets; empty: the world's.
  std::filesystem::path configDir;
  // Set: the cutter is driven through the serial driver and a fake plotter of this dialect on a
  // pseudo-terminal, whose moves drive the simulated head (hardware in the loop).
  std::optional<CutterProtocol> plotterPty;
  // With plotterPty: every move is sent with the knife up (nothing is cut).
  bool dryRun = false;
  // Runs in precision mode ("KestrixPrecision" 1) whatever the world file says.
  bool precision = false;
};

// Exit statuses of the main job.
inline constexpr int kJobDone = 0;   // the run did what the world expects
inline constexpr int kJobUnmet = 1;  // the run ended but missed an expectation
// The world file, the output folder (checked before the run), the settings in outDir/config
// (checked before anything is registered, and again after the run) or an output file is unusable.
inline constexpr int kJobBadInput = 2;
inline constexpr int kJobScriptFailed = 3;  // the scripted user could not do its part
// The run ended on a fault of the machine (the head did not move or come to rest, its readings
// were too noisy, the camera delivered no frames); the message is printed and reported.
inline constexpr int kJobMachineFault = 4;

// Reads the world (options.worldFile, or the demo), runs the run dialog modally on it with the
// scripted user, prints a line per copy as the run goes and a summary on out, and writes
// report.json, bed.png, dialog.png (the dialog at the end) and dialog-first-copy.png (when the
// first copy was found) into options.outDir, each whole through a temporary file and a rename,
// settings into outDir/config. Problems go to err.
// Blocks for the whole run. Returns one of the statuses above.
int RunMainJob(const MainJobOptions& options, std::ostream& out, std::ostream& err);

// The same for a job already read; worldName names it in the report. jobDocument, when not
// empty, is loaded into the host's document and run instead of the world's generated job.
// configDir, when not empty, has its settings files (settings.ini, device.ini) copied into
// outDir/config and used instead of the world's calibration; the report's "settings" says which
// were used. A configDir without settings.ini is bad input.
int RunMainJob(const MainJobSetup& setup, const std::string& worldName,
               const std::filesystem::path& outDir, std::ostream& out, std::ostream& err,
               const std::filesystem::path& jobDocument = {},
               const std::filesystem::path& configDir = {},
               std::optional<CutterProtocol> plotterPty = std::nullopt, bool dryRun = false);

}  // namespace kx
