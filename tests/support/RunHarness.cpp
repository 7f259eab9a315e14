// One scripted run of the run dialog on a simulated world: the scenario, the user and the record.
#include "tests/support/RunHarness.h"

#include <gtest/gtest.h>

namespace kx::test {

WorldOptions SheetWorld(int columns, int rows, std::uint64_t seed) {
  WorldOptions w;
  w.seed = seed;
  w.copies.columns = columns;
  w.copies.rows = rows;
  w.copies.width = 6000;
  w.copies.height = 5000;
  w.copies.pitchX = 7500;
  w.copies.pitchY = 6500;
  w.artwork.shapes = 8;
  return w;
}

RunHarness::RunHarness(const WorldOptions& world,
                       const std::function<void(JobDescription&)>& editJob)
    : scenario(world, scratch.Path(), editJob), jobList(scenario.Doc().jobList) {
  scenario.StoreCalibration();
}

RunPlan RunHarness::OnGrid(RunPlan plan) const {
  // The dialog takes steps in thousands of cutter units.
  plan.stepX = scenario.GetWorld().Options().copies.pitchX / 1000.0;
  plan.stepY = scenario.GetWorld().Options().copies.pitchY / 1000.0;
  return plan;
}

INT_PTR RunHarness::Run(const RunPlan& plan) {
  dialog = std::make_unique<CKestrixDialog>(nullptr, jobList, scenario.Doc().imageObject);
  recorder = std::make_unique<RunRecorder>(dialog.get(), &scenario);
  ScriptRun(op, dialog.get(), &scenario, plan);
  INT_PTR result = 0;
  {
    ScopedOperator install(&op);
    result = dialog->DoModal(recorder.get(), jobList, scenario.Doc().imageObject);
  }
  recorder->Finish();
  EXPECT_FALSE(op.Failed()) << op.FailureText();
  return result;
}

std::vector<std::pair<int, int>> RunHarness::CutOrder() const {
  std::vector<std::pair<int, int>> order;
  for (const CopyRecord& c : Copies()) order.emplace_back(c.column, c.row);
  return order;
}

cv::Point2d RunHarness::Head() { return scenario.Machine().Cutter().Position(); }

}  // namespace kx::test
