// The calibrate job: the setup page calibrating on a simulated world, reported and pictured.
#include "app/CalibrateJob.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include <opencv2/imgproc.hpp>

#include "app/JobFile.h"
#include "app/JobOutput.h"
#include "app/MainJob.h"
#include "host/HeadWait.h"
#include "host/Settings.h"
#include "platform/Render.h"
#include "scenario/HardwareLoop.h"
#include "sim/WorldImages.h"

namespace kx {
namespace {

nlohmann::json GeometryJson(const CameraGeometry& g) {
  return {{"scale", g.scale}, {"xOffset", g.xOffset}, {"yOffset", g.yOffset}};
}

nlohmann::json ErrorJson(const GeometryError& e) {
  return {{"scalePercent", e.scalePercent}, {"xOffset", e.xOffset}, {"yOffset", e.yOffset}};
}

std::string Format(const char* format, double a, double b, double c) {
  char line[160];
  std::snprintf(line, sizeof line, format, a, b, c);
  return line;
}

std::string Format(const char* format, double a) {
  char line[160];
  std::snprintf(line, sizeof line, format, a);
  return line;
}

std::string Format(const char* format, double a, double b) {
  char line[160];
  std::snprintf(line, sizeof line, format, a, b);
  return line;
}

}  // namespace

CameraGeometry StoredGeometry() {
  const char section[] = "Kestrix Setup";
  return {GetDoubleMorvane(section, "Scale", 1.0, 1, nullptr),
          GetDoubleMorvane(section, "X OffSet", 0.0, 1, nullptr),
          GetDoubleMorvane(section, "Y OffSet", 0.0, 1, nullptr)};
}

GeometryError ErrorOf(const CameraGeometry& value, const CameraGeometry& truth) {
  return {(value.scale - truth.scale) / truth.scale * 100.0, value.xOffset - truth.xOffset,
          value.yOffset - truth.yOffset};
}

bool WithinTolerance(const CameraGeometry& value, const CameraGeometry& truth,
                     double explainedScale) {
  const double scaleLimit = 0.01 * truth.scale + 0.005;
  const double offsetLimit = 2.0 * truth.scale + 2.0;
  return std::fabs(value.scale - explainedScale) <= scaleLimit &&
         std::fabs(value.xOffset - truth.xOffset) <= offsetLimit &&
         std::fabs(value.yOffset - truth.yOffset) <= offsetLimit;
}

bool WithinRefinedTolerance(const CameraGeometry& value, const CameraGeometry& truth) {
  return std::fabs(value.scale - truth.scale) <= 0.002 * truth.scale &&
         std::fabs(value.xOffset - truth.xOffset) <= 2.0 &&
         std::fabs(value.yOffset - truth.yOffset) <= 2.0;
}

cv::Mat RenderSquare(const World& world, const std::vector<KnifeCut>& cuts, cv::Point2d centre,
                     int size, cv::Point2d knifeAtCentre) {
  constexpr double k = 2.0;  // units a pixel
  const double half = size;  // a square's side of margin all round
  const cv::Point2d origin(centre.x - half, centre.y + half);
  const int n = static_cast<int>(std::ceil(2 * half / k));
  const cv::Rect2d material = world.CalibrationMaterial();
  cv::Mat image(n, n, CV_8UC3, cv::Scalar(58, 66, 60));
  auto px = [&](cv::Point2d p) {
    return cv::Point(static_cast<int>(std::lround((p.x - origin.x) / k * 16)),
                     static_cast<int>(std::lround((origin.y - p.y) / k * 16)));
  };
  if (!material.empty())
    cv::rectangle(image, px(material.tl()), px(material.br()), Artwork::kPaper, cv::FILLED,
                  cv::LINE_AA, 4);
  const int width = std::max(1, static_cast<int>(std::lround(world.Options().cutter.cutWidth / k)));
  for (const KnifeCut& c : cuts) {
    const cv::Scalar colour = c.power > 0 ? cv::Scalar(30, 30, 170) : cv::Scalar(150, 150, 150);
    cv::line(image, px(c.segment.a), px(c.segment.b), colour, width, cv::LINE_AA, 4);
  }
  const int arm = 12 * 16;
  auto cross = [&](cv::Point2d p, cv::Scalar colour) {
    const cv::Point q = px(p);
    cv::line(image, q - cv::Point(arm, 0), q + cv::Point(arm, 0), colour, 1, cv::LINE_AA, 4);
    cv::line(image, q - cv::Point(0, arm), q + cv::Point(0, arm), colour, 1, cv::LINE_AA, 4);
  };
  cross(centre, cv::Scalar(0, 160, 0));
  cross(knifeAtCentre, cv::Scalar(200, 90, 0));
  return image;
}

int RunCalibrateJob(const CalibrateJobOptions& options, std::ostream& out, std::ostream& err,
                    std::optional<CutterProtocol> plotterPty) {
  MainJobSetup setup;
  std::string name;
  if (!ReadJob(options.worldFile, MainJobSetup{}, "default world", &setup, &name, err))
    return kJobBadInput;
  return RunCalibrateJob(setup.world, name, options.outDir, out, err, setup.plan.precision,
                         plotterPty);
}

int RunCalibrateJob(const WorldOptions& worldOptions, const std::string& worldName,
                    const std::filesystem::path& outDir, std::ostream& out, std::ostream& err,
                    int precision, std::optional<CutterProtocol> plotterPty) {
  if (!PrepareOutput(outDir, outDir / "config", err)) return kJobBadInput;

  Scenario scenario(worldOptions, outDir / "config");
  const World& world = scenario.GetWorld();
  const CalibrationConfig config = ResolveSetup(world);
  StoreSetupSettings(world, config);
  WriteIntDeviceSetup("KestrixPrecision", precision);
  std::unique_ptr<HardwareLoop> loop;
  if (plotterPty) {
    std::string error;
    loop = HardwareLoop::Start(scenario, *plotterPty, &error);
    if (!loop) {
      err << "kestrix: " << error << "\n";
      return kJobBadInput;
    }
    out << "cutter: " << (*plotterPty == CutterProtocol::Hpgl ? "HPGL" : "GRBL")
        << " over the serial driver on " << loop->Plotter().PortPath() << " (fake plotter)"
        << std::endl;
  }
  BringHeadTo(scenario, config.start);
  const CameraGeometry before = StoredGeometry();
  const CameraGeometry truth{world.Options().camera.scale, world.Options().camera.offsetX,
                             world.Options().camera.offsetY};

  out << "kestrix: " << worldName << ": calibrating "
      << (config.manual ? "by hand" : "automatically")
      << (precision == 1 ? " in precision mode" : " in standard mode") << ", square "
      << config.squareSize << " at (" << config.start.x << ", " << config.start.y << ") with power "
      << config.squarePower << ", first look (" << config.moveX << ", " << config.moveY << ")"
      << std::endl;
  out << Format("before:   Scale %.4f  X OffSet %.2f  Y OffSet %.2f", before.scale, before.xOffset,
                before.yOffset)
      << std::endl;

  SetupSheet sheet;
  ScriptedOperator script;
  SetupOperator user(script);
  CalibrationPlan plan;
  plan.cancelUnlessCalibrated = true;
  bool pictured = true;
  plan.beforeClosing = [&] {
    pictured = WritePng(
        outDir / "setup.png", [&] { return RenderWindow(sheet.Sheet()); }, err);
  };
  ScriptCalibration(script, &sheet, &scenario, config, plan);

  const std::int64_t virtualStart = scenario.Clock().NowMicros();
  const auto wallStart = std::chrono::steady_clock::now();
  INT_PTR closed = 0;
  {
    ScopedOperator install(&user);
    closed = sheet.DoModal();
  }
  const double virtualSeconds =
      static_cast<double>(scenario.Clock().NowMicros() - virtualStart) / 1e6;
  const double wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

  const CKestrixSetup& page = sheet.Page();
  const bool calibrated = page.CalibrationSucceeded();
  const CameraGeometry measured{page.Scale(), page.XOffset(), page.YOffset()};
  // The square's own arithmetic; the same as measured unless a refinement replaced it.
  const CameraGeometry squareOwn =
      calibrated ? CameraGeometry{page.SquareScale(), page.SquareXOffset(), page.SquareYOffset()}
                 : measured;
  const bool refined = page.CalibrationRefined();
  const CameraGeometry stored = StoredGeometry();
  const GeometryError measuredError = ErrorOf(measured, truth);
  const GeometryError storedError = ErrorOf(stored, truth);

  const std::vector<CalibrationMove> moves =
      CalibrationMoves(scenario, config, page.RefinementMoves());
  int attempts = 0;
  nlohmann::json movesJson = nlohmann::json::array();
  for (const CalibrationMove& m : moves) {
    attempts = std::max(attempts, m.attempt);
    if (m.correction == 0)
      out << "attempt " << m.attempt << ": look from (" << m.to.x << ", " << m.to.y << ")";
    else
      out << "  "
          << (m.refinement    ? "refinement "
              : config.manual ? "move "
                              : "correction ")
          << m.correction << ": by (" << (m.to.x - m.from.x) << ", " << (m.to.y - m.from.y) << ")";
    out << Format(", camera %.1f, %.1f units from the square's centre", m.miss.x, m.miss.y)
        << std::endl;
    movesJson.push_back({{"attempt", m.attempt},
                         {"correction", m.correction},
                         {"refinement", m.refinement},
                         {"from", {m.from.x, m.from.y}},
                         {"to", {m.to.x, m.to.y}},
                         {"cameraMiss", {m.miss.x, m.miss.y}}});
  }
  if (precision == 1) {
    const GeometryError e = ErrorOf(squareOwn, truth);
    out << Format("square:   Scale %.4f  X OffSet %.2f  Y OffSet %.2f", squareOwn.scale,
                  squareOwn.xOffset, squareOwn.yOffset)
        << Format("  (error %+.2f %%, %+.2f, %+.2f)", e.scalePercent, e.xOffset, e.yOffset)
        << std::endl;
    if (refined)
      out << "refined over " << page.RefinementPositions() << " head positions"
          << Format(" (fit residual %.2f units)", page.RefinementResidual()) << std::endl;
    else if (calibrated)
      out << "refinement: no believable fit; the square's own values stay" << std::endl;
  }
  out << Format("measured: Scale %.4f  X OffSet %.2f  Y OffSet %.2f", measured.scale,
                measured.xOffset, measured.yOffset)
      << std::endl;
  out << Format("stored:   Scale %.4f  X OffSet %.2f  Y OffSet %.2f", stored.scale, stored.xOffset,
                stored.yOffset)
      << std::endl;
  out << Format("true:     Scale %.4f  X OffSet %.2f  Y OffSet %.2f", truth.scale, truth.xOffset,
                truth.yOffset)
      << std::endl;
  out << Format("error:    Scale %+.2f %%  X OffSet %+.2f  Y OffSet %+.2f (stored, cutter units)",
                storedError.scalePercent, storedError.xOffset, storedError.yOffset)
      << std::endl;
  const double explained = ExplainedScale(world.Options(), config.squareSize);
  out << Format("explained: Scale %.4f (%+.2f %%): the square is s + 2 = %.0f units", explained,
                (explained - truth.scale) / truth.scale * 100.0, config.squareSize + 2.0)
      << Format(
             " measured on the outer edge of its %.1f-unit cut line, plus %.0f pixels of edge "
             "detection",
             world.Options().cutter.cutWidth, kSquareOutlineGain)
      << std::endl;

  std::vector<std::string> unmet;
  if (!calibrated) unmet.push_back("the calibration did not end centred on the square");
  if (calibrated && precision == 1 && !refined) unmet.push_back("the calibration was not refined");
  if (calibrated && precision == 1 && refined && !WithinRefinedTolerance(stored, truth))
    unmet.push_back("the stored values are out of the refinement's tolerance");
  if (calibrated && precision != 1 && !WithinTolerance(stored, truth, explained))
    unmet.push_back("the stored values are out of tolerance");
  if (calibrated && closed != IDOK) unmet.push_back("the sheet was not closed with OK");
  // The machine failed: the page gave up on a head that did not get to its target, or the serial
  // cutter ended the job.
  std::string machineFault;
  if (user.HeadMessages() > 0) machineFault = WithNumber(kHeadNotResting, HeadTimeoutSeconds());
  if (loop && loop->Cutter().Failed()) machineFault = loop->Cutter().LastError();
  if (!machineFault.empty())
    unmet.push_back("the calibration ended on a fault of the machine: " + machineFault);
  for (const std::string& u : unmet) out << "not as expected: " << u << std::endl;
  const std::string scriptFailure = script.Failed() ? script.FailureText() : std::string();

  const cv::Point2d centre = SquareCentre(config.start, config.squareSize);
  const cv::Point2d headAtEnd = scenario.Machine().Cutter().Position();
  const cv::Point2d knife = headAtEnd + cv::Point2d(measured.xOffset, measured.yOffset);

  nlohmann::json report = {
      {"world", worldName},
      {"way", config.manual ? "manual" : "automatic"},
      {"square",
       {{"start", {config.start.x, config.start.y}},
        {"size", config.squareSize},
        {"power", config.squarePower},
        {"centre", {centre.x, centre.y}}}},
      {"before", GeometryJson(before)},
      {"precision", precision},
      {"squareValues", GeometryJson(squareOwn)},
      {"refined", refined},
      {"refinement",
       {{"positions", page.RefinementPositions()}, {"residual", page.RefinementResidual()}}},
      {"measured", GeometryJson(measured)},
      {"stored", GeometryJson(stored)},
      {"true", GeometryJson(truth)},
      {"errors",
       {{"squareValues", ErrorJson(ErrorOf(squareOwn, truth))},
        {"measured", ErrorJson(measuredError)},
        {"stored", ErrorJson(storedError)}}},
      {"explainedScale", explained},
      {"calibrated", calibrated},
      {"attempts", attempts},
      {"failureMessages", user.FailureMessages()},
      {"headMessages", user.HeadMessages()},
      {"machineFault", machineFault},
      {"moves", movesJson},
      {"closedWith", closed == IDOK ? "OK" : "Cancel"},
      {"machineSeconds", virtualSeconds},
      {"wallSeconds", wallSeconds},
      {"unmet", unmet},
      {"scriptFailure", scriptFailure},
      {"config", (outDir / "config").string()},
  };
  bool written = WriteText(outDir / "report.json", report.dump(2) + "\n", err);
  written = WritePng(
                outDir / "bed.png",
                [&] {
                  return RenderSquare(world, scenario.Machine().Cutter().Cuts(), centre,
                                      config.squareSize, knife);
                },
                err) &&
            written && pictured;
  if (written) out << "report: " << (outDir / "report.json").string() << std::endl;
  out << "settings: " << (outDir / "config").string() << std::endl;

  if (!scriptFailure.empty()) {
    err << "kestrix: the scripted user could not finish the calibration:\n"
        << scriptFailure << "\n";
    return kJobScriptFailed;
  }
  if (!machineFault.empty()) {
    err << "kestrix: the machine failed: " << machineFault << "\n";
    return written ? kJobMachineFault : kJobBadInput;
  }
  if (!written) return kJobBadInput;
  return unmet.empty() ? kJobDone : kJobUnmet;
}

}  // namespace kx
