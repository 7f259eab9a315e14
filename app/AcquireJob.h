// The acquire job: the acquire dialog on a simulated world with a scripted user, whose montage
// becomes a job document with marks and the world's cut paths.
// Threads: bound to one thread; one job at a time per process.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

class CKestrixAcquireDialog;

namespace kx {

class Document;

struct AcquireJobOptions {
  std::string worldFile;                 // empty: the demo's world
  std::filesystem::path outDir = "out";  // job.json, montage.png, dialog.png, report.json
  // The settings folder the dialog reads "Scale" from (a calibration's); empty: outDir/config
  // with the world's own calibration stored in it.
  std::filesystem::path configDir;
};

// Opens the acquire dialog on the world's simulated machine; a scripted user brings the camera
// over the first copy's lower-left corner, presses Start, steers towards the opposite corner,
// presses End and, once the montage is there, OK. Prints each tile taken and the montage's size,
// writes outDir/job.json (the bitmap object, its three marks and the world's cut paths placed
// where the bitmap shows them), montage.png, dialog.png and report.json. Problems go to err.
// Returns the main job's exit statuses (app/MainJob.h).
int RunAcquireJob(const AcquireJobOptions& options, std::ostream& out, std::ostream& err);

// Says each tile the dialog took, one a line.
void PrintTiles(const CKestrixAcquireDialog& dialog, std::ostream& out);
// Says the montage's grid, size in pixels and marks.
void PrintMontage(const CKestrixAcquireDialog& dialog, std::ostream& out);

// Saves doc as outDir/job.json and the picture of the dialog's bitmap object as
// outDir/montage.png. False when the job could not be saved; *montageWritten whether the picture
// was. What failed is said on err.
bool SaveAcquiredJob(const Document& doc, const CKestrixAcquireDialog& dialog,
                     const std::filesystem::path& outDir, std::ostream& err, bool* montageWritten);

}  // namespace kx
