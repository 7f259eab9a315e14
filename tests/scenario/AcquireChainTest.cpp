// End-to-end: a reference photographed with the acquire dialog, saved and loaded as a job
// document, and a run that registers and cuts every copy against it.
#include <gtest/gtest.h>

#include "acquire/KestrixAcquireDialog.h"
#include "embedded/DocFile.h"
#include "scenario/AcquireScript.h"
#include "tests/support/RunHarness.h"
#include "tests/support/RunMatchers.h"

namespace kx::test {
namespace {

using ::testing::Each;

TEST(AcquireChain, CopiesCutAgainstAnAcquiredReferenceLieWithinTheRunTolerance) {
  RunHarness h(SheetWorld(2, 1, 31));
  h.scenario.ClearDocument();
  const double scale = h.scenario.GetWorld().Calibrated().scale;

  // The user photographs the first copy and takes the montage as the reference.
  const AcquirePlan plan = PlanAcquisition(h.scenario, scale, 0);
  INT_PTR acquired = 0;
  {
    CKestrixAcquireDialog dialog;
    ScriptedOperator op;
    ScriptAcquire(op, &dialog, scale, plan);
    {
      ScopedOperator install(&op);
      acquired = dialog.DoModal();
    }
    ASSERT_FALSE(op.Failed()) << op.FailureText();
    ASSERT_EQ(acquired, IDOK);
    EXPECT_EQ(dialog.Columns(), plan.cols);
    EXPECT_EQ(dialog.Rows(), plan.rows);
    ASSERT_EQ(dialog.Marks().size(), 3u);
    AddArtworkPaths(h.scenario, DocFromArtworkInMontage(h.scenario, dialog, scale, 0));
  }

  // Saved and read back as a job file, it becomes the run's job.
  std::string error;
  ASSERT_TRUE(SaveDocument(h.scenario.Host().Doc(), h.scratch / "job.json", &error)) << error;
  ASSERT_TRUE(LoadDocument(h.scenario.Host().Doc(), h.scratch / "job.json", &error)) << error;
  ASSERT_TRUE(h.scenario.AdoptDocument(&error)) << error;
  h.jobList = h.scenario.Doc().jobList;

  h.Run(h.OnGrid({.copiesX = 2, .copiesY = 1}));
  EXPECT_EQ(h.CutOrder(), (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}}));
  EXPECT_THAT(h.Copies(), Each(CutWithin(kRunToleranceMm)));
  EXPECT_THAT(h.Head(), HeadAtOrigin(kHomeToleranceUnits));
}

TEST(AcquireChain, ADocumentWhosePathsAreNotTheWorldsIsRefusedWithTheReason) {
  RunHarness h(SheetWorld(1, 1, 32));
  // The generated job fits its own world.
  std::string error;
  EXPECT_TRUE(h.scenario.AdoptDocument(&error)) << error;
  // Moving one path by a millimetre breaks the single affine placement.
  Document& doc = h.scenario.Host().Doc();
  const TM shift{1, 0, 0, 1, 0.1, 0};
  doc.ApplyTM(h.scenario.Doc().paths[1], shift);
  const uint64 image = h.scenario.Doc().imageObject;
  EXPECT_FALSE(h.scenario.AdoptDocument(&error));
  EXPECT_NE(error.find("not this world's artwork"), std::string::npos) << error;
  EXPECT_EQ(h.scenario.Doc().imageObject, image);  // unchanged
  // Without marks there is nothing to register against.
  doc.Reset({}, {});
  EXPECT_FALSE(h.scenario.AdoptDocument(&error));
  EXPECT_EQ(error, "the document has no bitmap object to register against");
}

}  // namespace
}  // namespace kx::test
