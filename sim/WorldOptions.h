// Every knob of a simulated world, with realistic defaults, and the JSON world file that sets them.
// Threads: reentrant.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kx {

// Lengths are cutter units, angles degrees, times seconds unless a name says otherwise.
struct WorldCameraOptions {
  double scale = 1.6;  // cutter units per camera pixel
  // Bed point under the frame centre minus the head position: what a calibration measures as
  // "X OffSet" / "Y OffSet".
  double offsetX = -1250.0;
  double offsetY = 830.0;
  double frameRate = 15.0;      // frames a second
  double noiseSigma = 4.0;      // grey levels
  double blurSigma = 0.8;       // pixels; 0 for none
  double vignetting = 0.15;     // brightness lost in the frame corners, 0..0.9
  double lightGradient = 0.04;  // brightness lost from left to right across the frame, 0..0.9
  // Frames taken while the head travels come as quick previews, as a real camera's smeared
  // frames in motion are good for the live view only (sim/SimCamera.h).
  bool previewWhileMoving = true;
};

struct WorldCutterOptions {
  int bedWidth = 60000;
  int bedHeight = 50000;
  double travelSpeed = 15000.0;   // units a second, knife up
  double cutSpeed = 8000.0;       // units a second, knife down
  double acceleration = 60000.0;  // units a second squared; 0 for instant speed
  double cutWidth = 6.0;          // width of a knife cut as the camera sees it
};

// The affine placement of the whole printed sheet on the bed: bed = offset + R(rotation) *
// [[scaleX, shear], [0, scaleY]] * sheet point.
struct WorldSheetOptions {
  double rotation = 0.4;
  double scaleX = 1.0015;
  double scaleY = 0.998;
  double shear = 0.0005;
  double offsetX = 2000.0;
  double offsetY = 1500.0;
  double margin = 500.0;  // paper around the copies
};

struct WorldCopyOptions {
  std::string layout = "sheet";  // "sheet" or "roll" (the paper runs past the bed along rollAxis)
  std::string rollAxis = "y";    // "x" or "y"
  int columns = 4;               // copies along x
  int rows = 4;                  // copies along y
  double width = 9000.0;
  double height = 7000.0;
  double pitchX = 11000.0;
  double pitchY = 9000.0;
  double jitter = 15.0;          // largest per-copy shift on each axis
  double jitterRotation = 0.05;  // largest per-copy rotation
};

struct WorldArtworkOptions {
  int shapes = 12;                // coloured shapes between the corner features
  bool text = true;               // a line of text across the copy
  double rasterResolution = 0.8;  // cutter units per pixel of the pre-rendered artwork
  double cutBleed = 0.0;          // cut paths lie this far outside their shapes
  // the reference image (and pictures) show text where the print has it, to a fraction of a
  // pixel, instead of anchored at their own whole pixels
  bool textAsPrinted = true;
};

// How far a calibrated setup's stored values are off the truth.
struct WorldCalibrationOptions {
  double scaleError = 0.0;  // relative, 0.01 = 1 % too large
  double offsetErrorX = 0.0;
  double offsetErrorY = 0.0;
};

// The camera setup page's settings on this machine: whether it has been calibrated and how its
// calibration is configured ("CalibrationSquarePower", "CalibrationSquareSize",
// "ManualCalibration", "CalibrationXmove", "CalibrationYmove"). Unset values are chosen from the
// camera's nominal mount (sim/WorldSetup.h).
struct WorldSetupOptions {
  // True: "Scale" and the offsets are stored as the calibration section says; false: never
  // calibrated (nothing stored: Scale 1.0, offsets 0).
  bool calibrated = true;
  int squarePower = 25;
  std::optional<int> squareSize;
  bool manual = false;
  std::optional<int> moveX;
  std::optional<int> moveY;
  // A plain sheet of light material laid on the bed around the calibration spot, as a technician
  // lays one to cut the square into; false: the square is cut into the bare bed.
  bool material = true;
  // Where the user brings the head before pressing Calibrate (cutter units).
  std::optional<int> startX;
  std::optional<int> startY;
};

// Faults of the machine, for runs that must end well on a machine that misbehaves. Times are
// seconds of the clock the machine runs on, counted from its start.
struct WorldFaultOptions {
  double fromSeconds = 0;  // when no motion and position noise set in
  bool noMotion = false;   // the head ignores every move
  int positionNoise = 0;   // each head reading is off by up to this many units on each axis
  // The head stops for good where a move first comes within stallRadius of (stallX, stallY).
  std::optional<double> stallX;
  std::optional<double> stallY;
  double stallRadius = 5.0;
  std::optional<double> cameraStopsAt;  // the camera delivers no frame from then on
};

struct WorldOptions {
  std::uint64_t seed = 1;
  WorldCameraOptions camera;
  WorldCutterOptions cutter;
  WorldSheetOptions sheet;
  WorldCopyOptions copies;
  WorldArtworkOptions artwork;
  WorldCalibrationOptions calibration;
  WorldSetupOptions setup;
  WorldFaultOptions faults;
};

// Checks the knobs' ranges. Empty when valid, else a message naming the key ("camera.scale").
std::string ValidateWorldOptions(const WorldOptions& opts);

// Reads a world file (docs/world.md) over the defaults. On success fills *opts and returns true;
// on a missing or malformed file, an unknown key, a value of the wrong type or out of range
// returns false with *error naming the file and the key, and leaves *opts unchanged.
bool LoadWorldFile(const std::string& path, WorldOptions* opts, std::string* error);

// The same for a JSON text; name is used in messages in place of a file name.
bool ParseWorldJson(const std::string& text, const std::string& name, WorldOptions* opts,
                    std::string* error);

}  // namespace kx
