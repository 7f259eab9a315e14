// The run on configured devices with the person at the terminal, end to end without hardware: the
// settings name a fake plotter's pseudo-terminal as "Port", whose head drives the simulated
// camera, so the run opens its cutter through the settings exactly as it would a real one.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <sstream>

#include "app/DeviceJob.h"
#include "app/MainJob.h"
#include "tests/support/PtyRig.h"

namespace kx::test {
namespace {

// A printed contour cut this far off (0.25 mm) is cut within tolerance, as on the simulated driver.
constexpr double kToleranceUnits = 0.25 / kMmPerCutter;

// The rig with the run: what is typed on the console goes to the run dialog.
struct JobRig : PtyRig {
  using PtyRig::PtyRig;

  int Run(const DeviceJobOptions& options, const std::string& input,
          std::function<void(std::uint64_t)> onWrite = nullptr) {
    std::istringstream in(input);
    std::ostringstream o, e;
    const int status =
        RunConfiguredJob(options, scenario.Host().Doc(), in, o, e, Opened(std::move(onWrite)));
    out = o.str();
    err = e.str();
    return status;
  }

  // Typed: the camera to the first copy's first mark, then Start.
  std::string PlaceAndStart() const {
    const cv::Point2d mark = scenario.HeadOverMark(0, 0);
    return "goto " + std::to_string(mark.x) + " " + std::to_string(mark.y) + "\nstart\n";
  }

  // The worst distance of a knife cut from the printed contour nearest to it, cutter units.
  double WorstCut() {
    double worst = 0;
    for (const KnifeCut& cut : scenario.Machine().Cutter().Cuts()) {
      double best = 1e9;
      for (const CopyPlacement& c : scenario.GetWorld().Copies())
        best = std::min(best, scenario.GetWorld().ScoreCut(c.index, {cut.segment}).maxError);
      worst = std::max(worst, best);
    }
    return worst;
  }
};

DeviceJobOptions Sheet(int columns) {
  DeviceJobOptions options;
  options.jobDocument = "job.kxd";
  options.plan.columns = columns;
  options.plan.rows = 1;
  options.plan.stepX = 7.5;
  options.plan.stepY = 6.5;
  return options;
}

class DeviceJobRun : public ::testing::TestWithParam<CutterProtocol> {};

TEST_P(DeviceJobRun, TypedPlacementAndStartCutEveryCopyThroughTheConfiguredPort) {
  JobRig rig(GetParam());
  EXPECT_EQ(rig.Run(Sheet(2), rig.PlaceAndStart()), kJobDone) << rig.out << rig.err;
  EXPECT_NE(
      rig.out.find("cutter: " + std::string(GetParam() == CutterProtocol::Hpgl ? "HPGL" : "GRBL") +
                   " on " + rig.plotter.PortPath()),
      std::string::npos)
      << rig.out;
  EXPECT_NE(rig.out.find("copy 2: handed to the cutter"), std::string::npos) << rig.out;
  EXPECT_NE(rig.out.find("copies registered: 2, cut: 2"), std::string::npos) << rig.out;
  // What the camera saw cut is what the plotter was told to cut, within tolerance of the print.
  EXPECT_GT(rig.CutStrokes(), 100u);
  EXPECT_EQ(rig.CutStrokes(), rig.scenario.Machine().Cutter().Cuts().size());
  EXPECT_LT(rig.WorstCut(), kToleranceUnits);
  rig.ExpectKnifeUpAtHome();
}

TEST_P(DeviceJobRun, CtrlCDuringACutStopsTheRunAfterThatCopyWithTheKnifeUp) {
  JobRig rig(GetParam());
  bool raised = false;
  const int status = rig.Run(Sheet(2), rig.PlaceAndStart(), [&](std::uint64_t) {
    if (!raised && rig.plotter.KnifeDown()) {
      raised = true;
      std::raise(SIGINT);
    }
  });
  ASSERT_TRUE(raised) << "the knife never went down";
  EXPECT_EQ(status, kJobUnmet) << rig.out << rig.err;
  EXPECT_NE(rig.out.find("copies registered: 1, cut: 1"), std::string::npos) << rig.out;
  EXPECT_LT(rig.WorstCut(), kToleranceUnits) << "the copy under way is cut whole";
  EXPECT_FALSE(rig.plotter.KnifeDown());
  EXPECT_EQ(rig.plotter.Strokes().back().mode, kMoveTravel);
}

INSTANTIATE_TEST_SUITE_P(Dialects, DeviceJobRun,
                         ::testing::Values(CutterProtocol::Hpgl, CutterProtocol::Grbl),
                         DialectName);

TEST(DeviceJob, CountsNotGivenAreAskedAndTheMessagesAnsweredOnTheConsole) {
  JobRig rig(CutterProtocol::Hpgl);
  DeviceJobOptions options;
  options.jobDocument = "job.kxd";
  // Counts 1 x 1, steps as the dialog has them.
  EXPECT_EQ(rig.Run(options, rig.PlaceAndStart() + "1\n1\n\n\n"), kJobDone) << rig.out << rig.err;
  EXPECT_NE(rig.out.find("copies across"), std::string::npos) << rig.out;
  EXPECT_NE(rig.out.find("copies registered: 1, cut: 1"), std::string::npos) << rig.out;
  EXPECT_LT(rig.WorstCut(), kToleranceUnits);
}

TEST(DeviceJob, TheEndOfInputBeforeStartClosesWithoutCutting) {
  JobRig rig(CutterProtocol::Grbl);
  EXPECT_EQ(rig.Run(Sheet(2), "move 500 300\n"), kJobUnmet) << rig.out << rig.err;
  EXPECT_EQ(rig.CutStrokes(), 0u);
  // The typed move got there by clicks in the live view, before the job ended at home.
  bool reached = false;
  for (const PlotterStroke& s : rig.plotter.Strokes())
    reached = reached || (std::abs(s.x - 500) <= 20 && std::abs(s.y - 300) <= 20);
  EXPECT_TRUE(reached) << rig.out;
  EXPECT_NE(rig.out.find("copies registered: 0, cut: 0"), std::string::npos) << rig.out;
  EXPECT_FALSE(rig.plotter.KnifeDown());
}

TEST(DeviceJob, ACommandThatCannotBeReadIsSaidAndNothingMoves) {
  JobRig rig(CutterProtocol::Hpgl);
  EXPECT_EQ(rig.Run(Sheet(1), "jump 5 5\nmove 100\ngoto 10 north\nstop\n"), kJobUnmet);
  EXPECT_NE(rig.out.find("unknown command 'jump'"), std::string::npos) << rig.out;
  EXPECT_NE(rig.out.find("move takes two numbers"), std::string::npos) << rig.out;
  EXPECT_NE(rig.out.find("goto takes two numbers"), std::string::npos) << rig.out;
  for (const PlotterStroke& s : rig.plotter.Strokes()) {
    EXPECT_EQ(s.x, 0);
    EXPECT_EQ(s.y, 0);
  }
}

TEST(DeviceJob, ADryRunTravelsTheJobKnifeUpAndCountsNothingCut) {
  JobRig rig(CutterProtocol::Hpgl);
  DeviceJobOptions options = Sheet(1);
  options.dryRun = true;
  EXPECT_EQ(rig.Run(options, rig.PlaceAndStart()), kJobDone) << rig.out << rig.err;
  EXPECT_EQ(rig.CutStrokes(), 0u);
  EXPECT_NE(rig.out.find("copies registered: 1, cut: 0 (dry run)"), std::string::npos) << rig.out;
}

TEST(DeviceJob, APortThatIsNotAPathLeavesTheSimulatedMachineToRun) {
  JobRig rig(CutterProtocol::Hpgl);
  WriteStringDevice(kPortSetupSection, "Port", "USB1");  // the simulated machine's own port
  EXPECT_EQ(rig.Run(Sheet(2), rig.PlaceAndStart()), kJobDone) << rig.out << rig.err;
  EXPECT_EQ(rig.out.find("cutter:"), std::string::npos) << rig.out;
  EXPECT_EQ(rig.plotter.BytesReceived(), 0u);
  EXPECT_EQ(rig.scenario.Machine().Cutter().Cuts().empty(), false);
  EXPECT_LT(rig.WorstCut(), kToleranceUnits);
}

TEST(DeviceJob, BadSettingsOrAJobWithoutMarksSendNothing) {
  JobRig rig(CutterProtocol::Hpgl);
  WriteStringDevice(kPortSetupSection, "Baud", "9601");
  EXPECT_EQ(rig.Run(Sheet(1), rig.PlaceAndStart()), kJobBadInput);
  EXPECT_NE(rig.err.find("\"Baud\""), std::string::npos) << rig.err;
  EXPECT_EQ(rig.plotter.BytesReceived(), 0u);

  WriteStringDevice(kPortSetupSection, "Baud", "9600");
  rig.scenario.ClearDocument();
  EXPECT_EQ(rig.Run(Sheet(1), rig.PlaceAndStart()), kJobBadInput);
  EXPECT_NE(rig.err.find("job.kxd: the document has no bitmap object"), std::string::npos)
      << rig.err;
  EXPECT_EQ(rig.plotter.BytesReceived(), 0u);
}

TEST(DeviceJob, AnUnreadableKeyIsRefusedBeforeTheDocumentIsRead) {
  const ScratchFolder dir;
  WriteText(dir / "device.ini", "[Port Setup]\nPort=/dev/ttyUSB7\nBaud=9601\n");
  DeviceJobOptions options;
  options.configDir = dir.Path();
  options.jobDocument = dir / "no such job.kxd";
  std::istringstream in;
  std::ostringstream out, err;
  EXPECT_EQ(RunDeviceJob(options, in, out, err), kJobBadInput);
  EXPECT_NE(err.str().find("\"Baud\""), std::string::npos) << err.str();
  EXPECT_EQ(err.str().find("no such job"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace kx::test
