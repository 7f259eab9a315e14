// The calibrate job: the setup page calibrates Scale and the camera-to-knife offset on a simulated
// world with a scripted user; the result is compared with the world's truth, reported and
// pictured, and the settings are left for a later run.
// Threads: bound to one thread; one job at a time per process.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>
#include <opencv2/core.hpp>

#include "devices/SerialCutter.h"
#include "scenario/SetupScript.h"
#include "sim/WorldOptions.h"

namespace kx {

struct CalibrateJobOptions {
  std::string worldFile;                 // empty: the default world
  std::filesystem::path outDir = "out";  // report.json, setup.png, bed.png, config/
};

// Scale, X OffSet and Y OffSet as one record.
struct CameraGeometry {
  double scale = 0;
  double xOffset = 0;
  double yOffset = 0;
};

// The values "Kestrix Setup" of the installed host's settings holds (1, 0, 0 when absent).
CameraGeometry StoredGeometry();

// How far a calibration's values are off the truth: Scale in percent of the true Scale, the
// offsets in cutter units (value minus truth).
struct GeometryError {
  double scalePercent = 0;
  double xOffset = 0;
  double yOffset = 0;
};
GeometryError ErrorOf(const CameraGeometry& value, const CameraGeometry& truth);

// The largest errors a calibration may have and still count as done: Scale within 1 % of the
// true Scale and the storing's rounding (0.005) of the Scale the square's construction explains
// (sim/WorldSetup.h, ExplainedScale), each offset within two camera pixels (at the true Scale)
// and two units, which is what the centring (two pixels) and the square's construction (one
// unit) leave.
bool WithinTolerance(const CameraGeometry& value, const CameraGeometry& truth,
                     double explainedScale);

// The refinement's target: Scale within 0.2 % of the true Scale, each offset within two units.
bool WithinRefinedTolerance(const CameraGeometry& value, const CameraGeometry& truth);

// Reads the world (options.worldFile, or the default world), opens the setup sheet on it with the
// scripted user, who presses Calibrate (in the manual way steers the camera over the square and
// presses it again), answers the messages and presses OK (Cancel when the calibration failed).
// Prints each attempt and corrective move, then the values beside the truth; writes report.json,
// setup.png (the page at the end of the calibration) and bed.png (the square and the cuts) into
// outDir and leaves the settings in outDir/config. Exit statuses as for the run (app/MainJob.h):
// done, unmet (calibration failed or out of tolerance), bad input, script failed, machine fault
// (the head did not reach a target within "KestrixHeadTimeout", or the serial cutter failed).
// plotterPty, when set, has the page drive the serial cutter driver against a fake plotter of
// this dialect on a pseudo-terminal, whose moves drive the simulated head (hardware in the loop).
int RunCalibrateJob(const CalibrateJobOptions& options, std::ostream& out, std::ostream& err,
                    std::optional<CutterProtocol> plotterPty = std::nullopt);

// The same on a world already read; worldName names it in the report. precision is stored as
// "KestrixPrecision" (a world file's "run.precision"): with 1 the page refines its calibration,
// and the job prints and reports the square's own values beside the refined ones it stored.
int RunCalibrateJob(const WorldOptions& world, const std::string& worldName,
                    const std::filesystem::path& outDir, std::ostream& out, std::ostream& err,
                    int precision = 0, std::optional<CutterProtocol> plotterPty = std::nullopt);

// The square's neighbourhood from above (x right, y up) at two units a pixel: the material,
// the knife's cuts (dark red; grey where cut without power), the square's true centre (green
// cross) and where the knife would go for the point the camera finally centred on with the
// measured offset (blue cross).
cv::Mat RenderSquare(const World& world, const std::vector<KnifeCut>& cuts, cv::Point2d centre,
                     int size, cv::Point2d knifeAtCentre);

}  // namespace kx
