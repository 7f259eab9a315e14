// The main job's input: a world, the run a user makes on it and what the run must achieve.
// Threads: reentrant.
#pragma once

#include <ostream>
#include <string>

#include "scenario/RunScript.h"
#include "sim/WorldOptions.h"

namespace kx {

// What a run must have done to count as a success.
struct Expectations {
  int copies = 1;            // copies cut
  double maxErrorMm = 0.5;   // largest registration error allowed on any copy, millimetres
  bool headAtOrigin = true;  // the head stands at (0, 0) when the dialog has closed
};

struct MainJobSetup {
  WorldOptions world;
  RunPlan plan;
  Expectations expect;
};

// Millimetres in one cutter unit (a cutter unit is a thousandth of an inch).
inline constexpr double kMmPerCutter = 0.0254;

// The plan and expectations a user would choose for world: every copy of a sheet (columns x rows,
// stepping by the pitch) or, on a roll, the copies across it and then along the roll until the
// next copy cannot be found (answered Cancel). Expects every planned copy cut within 0.5 mm and
// the head back at the origin.
MainJobSetup DefaultJob(const WorldOptions& world);

// The built-in demo: the default world as a 2 x 3 sheet, all six copies.
MainJobSetup DemoJob();

// Reads a world file with the optional sections "run", "operator" and "expect" (docs/world.md);
// keys a section leaves out take DefaultJob's values for the world. On an unreadable file,
// malformed JSON, an unknown key, a wrong type or a value out of range returns false with *error
// naming the file and the key ("w.json: key \"run.copiesX\" must be an integer") and leaves
// *setup unchanged.
bool LoadJobFile(const std::string& path, MainJobSetup* setup, std::string* error);

// The job a main job runs: the world file's when worldFile is not empty (*name is then the file),
// else fallback (*name is fallbackName). False, said on err with the file and the key, when the
// file cannot be used; *setup and *name are then unchanged.
bool ReadJob(const std::string& worldFile, const MainJobSetup& fallback,
             const std::string& fallbackName, MainJobSetup* setup, std::string* name,
             std::ostream& err);

// The same for a JSON text; name stands for the file in messages.
bool ParseJobJson(const std::string& text, const std::string& name, MainJobSetup* setup,
                  std::string* error);

}  // namespace kx
