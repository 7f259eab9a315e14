// The main job: the run dialog on a simulated world with a scripted user, reported and pictured.
#include "app/MainJob.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <system_error>

#include <opencv2/imgcodecs.hpp>

#include "app/RunReport.h"
#include "platform/Render.h"
#include "run/KestrixDialog.h"
#include "scenario/RunScript.h"
#include "scenario/Scenario.h"

namespace kx {
namespace {

// Hands each copy on to the recorder, and pictures the dialog once, when the first copy's marks
// have been found and it is about to be cut.
class FirstCopyPicture final : public CCutMachine {
 public:
  FirstCopyPicture(CCutMachine* inner, const CWnd* dialog, std::filesystem::path path)
      : m_inner(inner), m_dialog(dialog), m_path(std::move(path)) {}
  bool CallSection(const ObjList& list, const TM* tm) override {
    if (!m_taken) {
      m_taken = true;
      SaveWindowPng(*m_dialog, m_path.string());
    }
    return m_inner->CallSection(list, tm);
  }

 private:
  CCutMachine* m_inner;
  const CWnd* m_dialog;
  std::filesystem::path m_path;
  bool m_taken = false;
};

bool WriteText(const std::filesystem::path& path, const std::string& text, std::ostream& err) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) {
    err << "kestrix: " << path.string() << ": cannot write the file\n";
    return false;
  }
  return true;
}

bool WritePng(const std::filesystem::path& path, const cv::Mat& image, std::ostream& err) {
  bool ok = false;
  try {
    ok = cv::imwrite(path.string(), image);
  } catch (const cv::Exception&) {
    ok = false;
  }
  if (!ok) err << "kestrix: " << path.string() << ": cannot write the picture\n";
  return ok;
}

}  // namespace

int RunMainJob(const MainJobOptions& options, std::ostream& out, std::ostream& err) {
  MainJobSetup setup = DemoJob();
  std::string name = "demo";
  if (!options.worldFile.empty()) {
    std::string error;
    if (!LoadJobFile(options.worldFile, &setup, &error)) {
      err << "kestrix: " << error << "\n";
      return kJobBadInput;
    }
    name = options.worldFile;
  }
  return RunMainJob(setup, name, options.outDir, out, err);
}

int RunMainJob(const MainJobSetup& setup, const std::string& worldName,
               const std::filesystem::path& outDir, std::ostream& out, std::ostream& err) {
  std::error_code ec;
  std::filesystem::create_directories(outDir / "config", ec);
  if (ec) {
    err << "kestrix: " << (outDir / "config").string()
        << ": cannot create the output folder: " << ec.message() << "\n";
    return kJobBadInput;
  }

  Scenario scenario(setup.world, outDir / "config");
  scenario.StoreCalibration();
  CKestrixDialog dialog(nullptr, scenario.Doc().jobList, scenario.Doc().imageObject);
  RunRecorder recorder(&dialog, &scenario);
  FirstCopyPicture machine(&recorder, &dialog, outDir / "dialog-first-copy.png");

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
  op.Then(ScriptedOperator::Call([&] {
            SaveWindowPng(dialog, (outDir / "dialog.png").string());
          }).When(ended));
  op.Then(ScriptedOperator::PressButton(IDC_KX_STOP).When(ended));

  out << "kestrix: " << worldName << ": " << setup.world.copies.columns << " x "
      << setup.world.copies.rows << " copies on a " << setup.world.copies.layout << ", running "
      << (plan.roll ? "Roll" : "Sheet") << " " << plan.copiesX << " x " << plan.copiesY
      << std::endl;
  const std::int64_t virtualStart = scenario.Clock().NowMicros();
  const auto wallStart = std::chrono::steady_clock::now();
  {
    ScopedOperator install(&op);
    dialog.DoModal(&machine, scenario.Doc().jobList, scenario.Doc().imageObject);
  }
  recorder.Finish();

  RunTotals totals;
  // A copy the cutter did not take is registered, not cut.
  totals.copiesCut =
      static_cast<int>(std::count_if(recorder.Copies().begin(), recorder.Copies().end(),
                                     [](const CopyRecord& c) { return c.cut; }));
  totals.virtualSeconds = static_cast<double>(scenario.Clock().NowMicros() - virtualStart) / 1e6;
  totals.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  totals.head = scenario.Machine().Cutter().Position();
  totals.headAtOrigin = cv::norm(totals.head) <= kOriginTolerance;

  std::vector<std::string> unmet = UnmetExpectations(results, totals, setup.expect);
  if (op.PendingBoxes() > 0)
    unmet.push_back(std::to_string(op.PendingBoxes()) +
                    " scripted answer(s) to the search's failure dialogue never asked for");
  const std::string operatorFailure = op.Failed() ? op.FailureText() : std::string();

  out << SummaryLine(results, totals) << std::endl;
  for (const std::string& u : unmet) out << "not as expected: " << u << std::endl;

  std::vector<BedSegment> cuts;
  for (const KnifeCut& c : scenario.Machine().Cutter().Cuts()) cuts.push_back(c.segment);
  bool written = WriteText(
      outDir / "report.json",
      ReportJson(worldName, setup, results, totals, unmet, operatorFailure).dump(2) + "\n", err);
  written = WritePng(outDir / "bed.png",
                     RenderReportBed(scenario.GetWorld(), cuts, totals.head, results), err) &&
            written;
  if (written) out << "report: " << (outDir / "report.json").string() << std::endl;

  if (!operatorFailure.empty()) {
    err << "kestrix: the scripted user could not finish the run:\n" << operatorFailure << "\n";
    return kJobScriptFailed;
  }
  if (!written) return kJobBadInput;
  return unmet.empty() ? kJobDone : kJobUnmet;
}

}  // namespace kx
