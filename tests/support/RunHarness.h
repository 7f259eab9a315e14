// One scripted run of the run dialog on a simulated world: the scenario, the user and the record.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "scenario/RunScript.h"
#include "scenario/Scenario.h"
#include "tests/support/Scratch.h"

namespace kx::test {

// A small sheet world: columns x rows copies of 6000 x 5000 cutter units (15 x 13 cm), default
// placement error, noise and blur. Copies smaller than the default keep the reference images, and
// so the tests, quick.
WorldOptions SheetWorld(int columns, int rows, std::uint64_t seed = 7);

// The world, the embedded host (settings in the test's scratch folder, the camera's calibration
// stored) and the machine of one scenario, with the dialog, the recorder and the scripted user of
// a run. One at a time per process, as the scenario is.
struct RunHarness {
  explicit RunHarness(const WorldOptions& world,
                      const std::function<void(JobDescription&)>& editJob = nullptr);

  // plan with the steps the world's copies are laid out at.
  RunPlan OnGrid(RunPlan plan) const;

  // Runs the dialog modally with the plan's script after anything queued on op before, and
  // returns DoModal's result. A script the dialog did not let the user follow fails the test.
  INT_PTR Run(const RunPlan& plan);

  const std::vector<CopyRecord>& Copies() const { return recorder->Copies(); }
  // Copies cut, as (column, row) in cutting order.
  std::vector<std::pair<int, int>> CutOrder() const;
  // Where the head is now, cutter units.
  cv::Point2d Head();

  ScratchFolder scratch;
  Scenario scenario;
  ObjList jobList;  // the job handed to the dialog: the scenario's unless a test replaces it
  ScriptedOperator op;
  std::unique_ptr<CKestrixDialog> dialog;
  std::unique_ptr<RunRecorder> recorder;
};

}  // namespace kx::test
