// The acquire job: the acquire dialog on a simulated world with a scripted user.
#include "app/AcquireJob.h"

#include <chrono>
#include <fstream>

#include <nlohmann/json.hpp>

#include "acquire/KestrixAcquireDialog.h"
#include "acquire/Montage.h"
#include "app/JobFile.h"
#include "app/JobOutput.h"
#include "app/MainJob.h"
#include "embedded/DocFile.h"
#include "host/Settings.h"
#include "platform/Render.h"
#include "scenario/AcquireScript.h"
#include "scenario/Scenario.h"

namespace kx {
namespace {

// The process's peak resident memory (VmHWM), bytes; 0 when it cannot be read.
std::uint64_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      std::uint64_t kib = 0;
      status >> kib;
      return kib * 1024;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

nlohmann::json Point(double x, double y) { return nlohmann::json::array({x, y}); }

}  // namespace

int RunAcquireJob(const AcquireJobOptions& options, std::ostream& out, std::ostream& err) {
  MainJobSetup setup;
  std::string name;
  if (!ReadJob(options.worldFile, DemoJob(), "demo", &setup, &name, err)) return kJobBadInput;
  const std::filesystem::path config =
      options.configDir.empty() ? options.outDir / "config" : options.configDir;
  if (!PrepareOutput(options.outDir, config, err)) return kJobBadInput;

  Scenario scenario(setup.world, config);
  if (options.configDir.empty()) {
    scenario.StoreCalibration();
  } else {
    IHost& host = scenario.Host();
    if (!host.Settings().Read(1, "Kestrix Setup", "Scale")) {
      err << "kestrix: " << (config / "settings.ini").string()
          << ": no \"Scale\" in [Kestrix Setup]: calibrate the camera first, or leave --config "
             "out to use the world's own calibration\n";
      return kJobBadInput;
    }
    // The simulated machine has one port; a folder that names none gets it.
    if (!host.Settings().Read(kDeviceStore, "Port Setup", "Port"))
      WriteStringDevice("Port Setup", "Port", "USB1");
  }
  scenario.ClearDocument();
  const double scale = GetDoubleMorvane("Kestrix Setup", "Scale", 1.0, 1, nullptr);
  const AcquirePlan plan = PlanAcquisition(scenario, scale, 0);
  out << "kestrix: " << name << ": acquiring copy 0 at Scale " << scale << ": Start at ("
      << static_cast<long>(plan.startHead.x) << ", " << static_cast<long>(plan.startHead.y)
      << "), End at (" << static_cast<long>(plan.endHead.x) << ", "
      << static_cast<long>(plan.endHead.y) << "), " << plan.cols << " x " << plan.rows << " tiles"
      << std::endl;

  CKestrixAcquireDialog dialog;
  ScriptedOperator op;
  AcquirePlan look = plan;
  look.pressOk = false;
  ScriptAcquire(op, &dialog, scale, look);
  const auto montageReady = [&dialog] {
    return dialog.MontageBits() != nullptr && !dialog.IsCapturing();
  };
  bool pictured = true;
  op.Then(ScriptedOperator::Call([&] {
            pictured = WritePng(
                options.outDir / "dialog.png", [&] { return RenderWindow(dialog); }, err);
          }).When(montageReady));
  op.Then(ScriptedOperator::PressButton(IDOK).When(montageReady));

  const std::int64_t virtualStart = scenario.Clock().NowMicros();
  const auto wallStart = std::chrono::steady_clock::now();
  INT_PTR result = 0;
  {
    ScopedOperator install(&op);
    result = dialog.DoModal();
  }
  const double machineSeconds =
      static_cast<double>(scenario.Clock().NowMicros() - virtualStart) / 1e6;
  const double wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

  const std::vector<POINT>& tiles = dialog.TilePositions();
  PrintTiles(dialog, out);
  if (op.Failed()) {
    err << "kestrix: the scripted user could not finish the acquisition:\n"
        << op.FailureText() << "\n";
    return kJobScriptFailed;
  }
  if (result != IDOK || dialog.ImageObject() == 0) {
    err << "kestrix: the acquire dialog closed without a reference\n";
    return kJobScriptFailed;
  }
  PrintMontage(dialog, out);

  const TM docFromArt = DocFromArtworkInMontage(scenario, dialog, scale, 0);
  const std::vector<uint64> paths = AddArtworkPaths(scenario, docFromArt);
  Document& doc = scenario.Host().Doc();
  const std::filesystem::path jobPath = options.outDir / "job.json";
  bool written = false;
  if (!SaveAcquiredJob(doc, dialog, options.outDir, err, &written)) return kJobBadInput;
  written = written && pictured;
  const int W = dialog.Columns() * 480;
  const int H = dialog.Rows() * 640;

  nlohmann::json report;
  report["world"] = name;
  report["scale"] = scale;
  report["grid"] = {{"columns", dialog.Columns()},
                    {"rows", dialog.Rows()},
                    {"originColumn", dialog.OriginColumn()},
                    {"originRow", dialog.OriginRow()},
                    {"head", Point(dialog.HeadReference().x, dialog.HeadReference().y)},
                    {"start", Point(plan.startHead.x, plan.startHead.y)},
                    {"end", Point(plan.endHead.x, plan.endHead.y)}};
  nlohmann::json tileList = nlohmann::json::array();
  for (const POINT& p : tiles) tileList.push_back(Point(p.x, p.y));
  report["tiles"] = tileList;
  report["headMoves"] = dialog.HeadMoves();
  report["montage"] = {{"width", W},
                       {"height", H},
                       {"bytes", MontageBytes(dialog.Columns(), dialog.Rows())},
                       {"seconds", dialog.MontageSeconds()},
                       {"peakResidentBytes", PeakResidentBytes()}};
  nlohmann::json marks = nlohmann::json::array();
  for (const uint64 h : dialog.Marks()) {
    BOUNDS b{};
    doc.GetBounds(h, &b);
    marks.push_back({{"centre", Point((b.minX + b.maxX) / 2, (b.minY + b.maxY) / 2)},
                     {"width", b.maxX - b.minX},
                     {"height", b.maxY - b.minY}});
  }
  report["marks"] = marks;
  report["cutPaths"] = paths.size();
  report["job"] = jobPath.string();
  report["machineSeconds"] = machineSeconds;
  report["wallSeconds"] = wallSeconds;
  written = WriteText(options.outDir / "report.json", report.dump(2) + "\n", err) && written;
  out << "job: " << jobPath.string() << " (" << paths.size() << " cut paths)" << std::endl;
  return written ? kJobDone : kJobBadInput;
}

void PrintTiles(const CKestrixAcquireDialog& dialog, std::ostream& out) {
  const std::vector<POINT>& tiles = dialog.TilePositions();
  for (std::size_t i = 0; i < tiles.size(); ++i)
    out << "tile " << i + 1 << " at (" << tiles[i].x << ", " << tiles[i].y << ")" << std::endl;
}

void PrintMontage(const CKestrixAcquireDialog& dialog, std::ostream& out) {
  out << "montage: " << dialog.Rows() << " X " << dialog.Columns() << " images, "
      << dialog.Columns() * 480 << " x " << dialog.Rows() * 640 << " pixels, "
      << dialog.Marks().size() << " marks" << std::endl;
}

bool SaveAcquiredJob(const Document& doc, const CKestrixAcquireDialog& dialog,
                     const std::filesystem::path& outDir, std::ostream& err, bool* montageWritten) {
  *montageWritten = false;
  std::string error;
  if (!SaveDocument(doc, outDir / "job.json", &error)) {
    err << "kestrix: " << error << "\n";
    return false;
  }
  const DocObject* image = doc.Find(dialog.ImageObject());
  *montageWritten = WritePng(
      outDir / "montage.png", [&] { return image ? image->bitmap->Original() : cv::Mat(); }, err);
  return true;
}

}  // namespace kx
