// End-to-end: a reference photographed with the acquire dialog, saved and loaded as a job
// document, and a run that registers and cuts every copy against it.
#include <gtest/gtest.h>

#include "acquire/KestrixAcquireDialog.h"
#include "embedded/DocFile.h"
#include "host/Settings.h"
#include "scenario/AcquireScript.h"
#include "scenario/SetupScript.h"
#include "tests/support/RunHarness.h"
#include "tests/support/RunMatchers.h"

namespace kx::test {
namespace {

using ::testing::Each;

// The user photographs the first copy at the given Scale and takes the montage as the job's
// reference, saved and read back as a job file.
void AcquireFirstCopy(RunHarness& h, double scale) {
  h.scenario.ClearDocument();
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
  std::string error;
  ASSERT_TRUE(SaveDocument(h.scenario.Host().Doc(), h.scratch / "job.json", &error)) << error;
  ASSERT_TRUE(LoadDocument(h.scenario.Host().Doc(), h.scratch / "job.json", &error)) << error;
  ASSERT_TRUE(h.scenario.AdoptDocument(&error)) << error;
  h.jobList = h.scenario.Doc().jobList;
}

TEST(AcquireChain, CopiesCutAgainstAnAcquiredReferenceLieWithinTheRunTolerance) {
  RunHarness h(SheetWorld(2, 1, 31));
  AcquireFirstCopy(h, h.scenario.GetWorld().Calibrated().scale);
  if (HasFatalFailure()) return;
  h.Run(h.OnGrid({.copiesX = 2, .copiesY = 1}));
  EXPECT_EQ(h.CutOrder(), (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}}));
  EXPECT_THAT(h.Copies(), Each(CutWithin(kRunToleranceMm)));
  EXPECT_THAT(h.Head(), HeadAtOrigin(kHomeToleranceUnits));
}

// The whole workflow on one machine: the setup page calibrates a never-calibrated camera in
// precision mode, the acquire dialog photographs the first copy with the Scale it stored, and the
// run cuts every copy against that reference with the stored offsets.
TEST(AcquireChain, CalibrateAcquireRunInPrecisionModeCutsEveryCopyWithinTheRunTolerance) {
  WorldOptions w = SheetWorld(2, 1, 33);
  w.setup.calibrated = false;
  RunHarness h(w);
  for (const char* key : {"Scale", "X OffSet", "Y OffSet"})
    WriteDoubleMorvane("Kestrix Setup", key, key[0] == 'S' ? 1.0 : 0.0, 2, 1);
  WriteIntDeviceSetup("KestrixPrecision", 1);
  const CalibrationConfig config = ResolveSetup(h.scenario.GetWorld());
  StoreSetupSettings(h.scenario.GetWorld(), config);
  BringHeadTo(h.scenario, config.start);
  {
    SetupSheet sheet;
    ScriptedOperator op;
    ScriptCalibration(op, &sheet, &h.scenario, config, {});
    INT_PTR closed = 0;
    {
      ScopedOperator install(&op);
      closed = sheet.DoModal();
    }
    ASSERT_FALSE(op.Failed()) << op.FailureText();
    ASSERT_EQ(closed, IDOK);
    ASSERT_TRUE(sheet.Page().CalibrationRefined());
  }
  BringHeadTo(h.scenario, {0, 0});  // the head parked before the acquire dialog opens
  const double scale = GetDoubleMorvane("Kestrix Setup", "Scale", 0.0, 1, nullptr);
  EXPECT_NEAR(scale, w.camera.scale, 0.002 * w.camera.scale);

  AcquireFirstCopy(h, scale);
  if (HasFatalFailure()) return;
  h.Run(h.OnGrid({.precision = 1, .copiesX = 2, .copiesY = 1}));
  EXPECT_EQ(h.CutOrder(), (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}}));
  EXPECT_THAT(h.Copies(), Each(CutWithin(kRunToleranceMm)));
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
