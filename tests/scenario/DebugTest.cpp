#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include "platform/Render.h"
#include "sim/WorldImages.h"
#include "tests/scenario/ScenarioFixture.h"
namespace kx::test {
TEST(Debug, Steer) {
  RunHarness h(SheetWorld(2, 3), "dbg");
  RunPlan plan; plan.copiesX = 1; plan.copiesY = 1; plan.closeAtEnd = false;
  plan.failures.push_back({IDCANCEL, 0});
  if (0) h.op.Then(ScriptedOperator::Call([&] {
    auto head = h.Head(); auto t = h.scenario.HeadOverMark(0, 0);
    fprintf(stderr, "head %.1f %.1f target %.1f %.1f\n", head.x, head.y, t.x, t.y);
  }));
  // run with steps executed before the plan's by queueing plan afterwards is not possible; just run
  h.Run(plan);
  auto head = h.Head(); auto t = h.scenario.HeadOverMark(0, 0);
  fprintf(stderr, "end head %.1f %.1f target %.1f %.1f\n", head.x, head.y, t.x, t.y);
  kx::SaveWindowPng(*h.dialog, "/tmp/dbg_dialog.png");
  cv::imwrite("/tmp/dbg_ref.png", h.scenario.Job().reference);
}
}
