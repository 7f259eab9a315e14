// The main job: the run dialog on a simulated world with a scripted user, reported and pictured.
#include "app/MainJob.h"

#include <algorithm>
#include <chrono>
#include <strings.h>
#include <system_error>
#include <vector>

#include "app/JobOutput.h"
#include "app/RunReport.h"
#include "embedded/DocFile.h"
#include "host/DriverSession.h"
#include "host/Settings.h"
#include "platform/Render.h"
#include "run/KestrixDialog.h"
#include "run/Precision.h"
#include "scenario/HardwareLoop.h"
#include "scenario/RunScript.h"
#include "scenario/Scenario.h"

namespace kx {
namespace {

// Settings the job could not store: the run would go on with values it does not know about.
bool SettingsStored(Scenario& scenario, std::ostream& err) {
  const std::vector<std::string> failures = scenario.Host().Store().WriteFailures();
  if (failures.empty()) return true;
  err << "kestrix: settings not stored: " << failures.front();
  if (failures.size() > 1) err << " (and " << failures.size() - 1 << " more writes)";
  err << "\n";
  return false;
}

// The entries of failures whose message never came, from the boxes still expected: those are
// the last ones, an OK with its placement prompt, a Cancel alone.
int UnaskedAnswers(const std::vector<FailureAnswer>& failures, std::size_t pendingBoxes) {
  int unasked = 0;
  for (auto it = failures.rbegin(); it != failures.rend(); ++it) {
    const std::size_t boxes = it->answer == IDOK ? 2 : 1;
    if (pendingBoxes < boxes) break;
    pendingBoxes -= boxes;
    ++unasked;
  }
  return unasked;
}

// Hands each copy on to the recorder, and pictures the dialog once, when the first copy's marks
// have been found and it is about to be cut.
class FirstCopyPicture final : public CCutMachine {
 public:
  FirstCopyPicture(CCutMachine* inner, const CWnd* dialog, std::filesystem::path path,
                   std::ostream& err)
      : m_inner(inner), m_dialog(dialog), m_path(std::move(path)), m_err(err) {}
  bool Written() const { return m_written; }
  bool CallSection(const ObjList& list, const TM* tm) override {
    if (!m_taken) {
      m_taken = true;
      const CWnd* dialog = m_dialog;
      m_written = WritePng(
          m_path, [dialog] { return RenderWindow(*dialog); }, m_err);
    }
    return m_inner->CallSection(list, tm);
  }

 private:
  CCutMachine* m_inner;
  const CWnd* m_dialog;
  std::filesystem::path m_path;
  std::ostream& m_err;
  bool m_taken = false;
  bool m_written = true;
};

// Copies the settings files of a calibration's folder into the run's own; false (said on err)
// when there is no settings.ini to copy or a copy fails. Nothing is copied onto itself.
bool CopySettings(const std::filesystem::path& from, const std::filesystem::path& to,
                  std::ostream& err) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(from / "settings.ini", ec)) {
    err << "kestrix: " << from.string()
        << ": no settings.ini to run with (give the config folder a calibration left)\n";
    return false;
  }
  if (std::filesystem::equivalent(from, to, ec)) return true;
  for (const char* name : {"settings.ini", "device.ini"}) {
    if (!std::filesystem::exists(from / name, ec)) continue;
    std::filesystem::copy_file(from / name, to / name,
                               std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
      err << "kestrix: " << (from / name).string() << ": cannot copy it to " << to.string() << ": "
          << ec.message() << "\n";
      return false;
    }
  }
  return true;
}

// Which settings the run reads: the world's calibration or a calibration's folder.
nlohmann::json SettingsInUse(const std::filesystem::path& configDir) {
  return {{"source", configDir.empty() ? std::string("world") : configDir.string()},
          {"scale", GetDoubleMorvane("Kestrix Setup", "Scale", 1.0, 1, nullptr)},
          {"xOffset", GetDoubleMorvane("Kestrix Setup", "X OffSet", 0.0, 1, nullptr)},
          {"yOffset", GetDoubleMorvane("Kestrix Setup", "Y OffSet", 0.0, 1, nullptr)}};
}

}  // namespace

int RunMainJob(const MainJobOptions& options, std::ostream& out, std::ostream& err) {
  MainJobSetup setup;
  std::string name;
  if (!ReadJob(options.worldFile, DemoJob(), "demo", &setup, &name, err)) return kJobBadInput;
  if (options.precision) setup.plan.precision = kPrecisionAll;
  return RunMainJob(setup, name, options.outDir, out, err, options.jobDocument, options.configDir,
                    options.plotterPty, options.dryRun);
}

int RunMainJob(const MainJobSetup& setup, const std::string& worldName,
               const std::filesystem::path& outDir, std::ostream& out, std::ostream& err,
               const std::filesystem::path& jobDocument, const std::filesystem::path& configDir,
               std::optional<CutterProtocol> plotterPty, bool dryRun) {
  if (!PrepareOutput(outDir, outDir / "config", err)) return kJobBadInput;
  if (!configDir.empty() && !CopySettings(configDir, outDir / "config", err)) return kJobBadInput;

  Scenario scenario(setup.world, outDir / "config");
  if (configDir.empty()) {
    scenario.StoreCalibration();
  } else if (char port[100] = {};
             GetStringDeviceNull("Port Setup", "Port", port, sizeof port) == 0 ||
             strcasecmp(port, "sim") == 0) {
    // "sim" names the simulated machine, whose cutter knows its port as USB1.
    WriteStringDevice("Port Setup", "Port", "USB1");
  }
  std::unique_ptr<HardwareLoop> loop;
  JOBDATA loopJob{};
  if (plotterPty) {
    std::string error;
    loop = HardwareLoop::Start(scenario, *plotterPty, &error, dryRun);
    if (!loop) {
      err << "kestrix: " << error << "\n";
      return kJobBadInput;
    }
    OpenDriver(&loopJob);
    out << "cutter: " << (*plotterPty == CutterProtocol::Hpgl ? "HPGL" : "GRBL")
        << " over the serial driver on " << loop->Plotter().PortPath() << " (fake plotter)"
        << (dryRun ? "; dry run: every move knife up, nothing is cut" : "") << std::endl;
  }
  if (!SettingsStored(scenario, err)) return kJobBadInput;
  if (!jobDocument.empty()) {
    std::string error;
    if (!LoadDocument(scenario.Host().Doc(), jobDocument, &error)) {
      err << "kestrix: " << error << "\n";
      return kJobBadInput;
    }
    if (!scenario.AdoptDocument(&error)) {
      err << "kestrix: " << jobDocument.string() << ": " << error << "\n";
      return kJobBadInput;
    }
  }
  const nlohmann::json settingsUsed = SettingsInUse(configDir);
  out << "settings: " << settingsUsed["source"].get<std::string>() << " (Scale "
      << settingsUsed["scale"].get<double>() << ", X OffSet "
      << settingsUsed["xOffset"].get<double>() << ", Y OffSet "
      << settingsUsed["yOffset"].get<double>() << ")" << std::endl;
  CKestrixDialog dialog(nullptr, scenario.Doc().jobList, scenario.Doc().imageObject);
  RunRecorder recorder(&dialog, &scenario);
  FirstCopyPicture machine(&recorder, &dialog, outDir / "dialog-first-copy.png", err);

  std::vector<CopyResult> results;
  recorder.onCopy = [&](const CopyRecord& record) {
    results.push_back(
        JudgeCopy(scenario, record, static_cast<int>(results.size()) + 1, setup.expect));
    out << CopyLine(results.back()) << std::endl;
  };

  // The user looks at the dialog once the run has ended, then closes it.
  ScriptedOperator op;
  RunPlan plan = setup.plan;
  plan.closeAtEnd = false;
  ScriptRun(op, &dialog, &scenario, plan);
  const auto ended = [&dialog] { return !dialog.IsRunning(); };
  bool dialogPictured = true;
  op.Then(ScriptedOperator::Call([&] {
            dialogPictured = WritePng(
                outDir / "dialog.png", [&dialog] { return RenderWindow(dialog); }, err);
          }).When(ended));
  op.Then(ScriptedOperator::PressButton(IDC_KX_STOP).When(ended));

  out << "kestrix: " << worldName << ": " << setup.world.copies.columns << " x "
      << setup.world.copies.rows << " copies on a " << setup.world.copies.layout << ", running "
      << (plan.roll ? "Roll" : "Sheet") << " " << plan.copiesX << " x " << plan.copiesY << ", "
      << ModeName(plan.precision) << std::endl;
  const std::int64_t virtualStart = scenario.Clock().NowMicros();
  const auto wallStart = std::chrono::steady_clock::now();
  MachineFaultWatch watch(op);
  {
    ScopedOperator install(&watch);
    dialog.DoModal(&machine, scenario.Doc().jobList, scenario.Doc().imageObject);
  }
  recorder.Finish();
  if (loop) {
    CloseDriver(&loopJob);
    if (loop->Cutter().Failed()) err << "kestrix: " << loop->Cutter().LastError() << "\n";
  }

  RunTotals totals;
  // A copy the cutter did not take is registered, not cut.
  totals.copiesCut =
      static_cast<int>(std::count_if(recorder.Copies().begin(), recorder.Copies().end(),
                                     [](const CopyRecord& c) { return c.cut; }));
  // A dry run's copies went over the line knife up: none of them is cut.
  if (loop && dryRun) totals.copiesCut = 0;
  totals.virtualSeconds = static_cast<double>(scenario.Clock().NowMicros() - virtualStart) / 1e6;
  totals.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  totals.head = scenario.Machine().Cutter().Position();
  totals.headAtOrigin = cv::norm(totals.head) <= kOriginTolerance;

  std::vector<std::string> unmet = UnmetExpectations(results, totals, setup.expect);
  if (loop && loop->Cutter().Failed())
    unmet.push_back("the cutter failed: " + loop->Cutter().LastError());
  if (const int unasked = UnaskedAnswers(plan.failures, op.PendingBoxes()); unasked > 0)
    unmet.push_back(std::to_string(unasked) +
                    " scripted answer(s) to the search's failure dialogue never asked for");
  const std::string operatorFailure = op.Failed() ? op.FailureText() : std::string();
  const std::string machineFault = watch.Fault();
  if (!machineFault.empty())
    unmet.push_back("the run ended on a fault of the machine: " + machineFault);

  out << SummaryLine(results, totals) << std::endl;
  if (loop && dryRun) out << "dry run: every move went knife up; no copy was cut" << std::endl;
  for (const std::string& u : unmet) out << "not as expected: " << u << std::endl;

  std::vector<BedSegment> cuts;
  for (const KnifeCut& c : scenario.Machine().Cutter().Cuts()) cuts.push_back(c.segment);
  nlohmann::json report = ReportJson(worldName, setup, results, totals, unmet, operatorFailure);
  report["settings"] = settingsUsed;
  report["machineFault"] = machineFault;
  bool written = WriteText(outDir / "report.json", report.dump(2) + "\n", err);
  written =
      WritePng(
          outDir / "bed.png",
          [&] { return RenderReportBed(scenario.GetWorld(), cuts, totals.head, results); }, err) &&
      written && dialogPictured && machine.Written();
  if (written) out << "report: " << (outDir / "report.json").string() << std::endl;

  // A setting the dialog could not store made it show a message nobody scripted: the settings
  // are the cause, not the script.
  if (!SettingsStored(scenario, err)) return kJobBadInput;
  // The machine failed: what the user was told is the cause, whatever the script then missed.
  if (!machineFault.empty()) {
    err << "kestrix: the machine failed: " << machineFault << "\n";
    return written ? kJobMachineFault : kJobBadInput;
  }
  if (!operatorFailure.empty()) {
    err << "kestrix: the scripted user could not finish the run:\n" << operatorFailure << "\n";
    return kJobScriptFailed;
  }
  if (!written) return kJobBadInput;
  return unmet.empty() ? kJobDone : kJobUnmet;
}

}  // namespace kx
