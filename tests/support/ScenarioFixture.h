// Runs the run dialog on a simulated world with a scripted user, for end-to-end scenarios.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "scenario/RunScript.h"
#include "scenario/Scenario.h"

namespace kx::test {

// A small sheet world: columns x rows copies of 6000 x 5000 cutter units (15 x 13 cm), default
// placement error, noise and blur. Smaller copies than the default keep the reference images,
// and so the tests, quick.
inline WorldOptions SheetWorld(int columns, int rows, std::uint64_t seed = 7) {
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

// A fresh settings folder per test.
inline std::filesystem::path TempConfig(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() / ("kestrix-test-" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// The world, host and machine of one scenario with the dialog, the recorder and the operator.
struct RunHarness {
  RunHarness(const WorldOptions& world, const std::string& name,
             const std::function<void(JobDescription&)>& editJob = nullptr)
      : scenario(world, TempConfig(name), editJob), jobList(scenario.Doc().jobList) {
    scenario.StoreCalibration();
  }

  // Runs the dialog modally with the plan's script plus anything queued on op before; returns
  // DoModal's result.
  INT_PTR Run(const RunPlan& plan) {
    dialog = std::make_unique<CKestrixDialog>(nullptr, jobList, scenario.Doc().imageObject);
    recorder = std::make_unique<RunRecorder>(dialog.get(), &scenario);
    ScriptRun(op, dialog.get(), &scenario, plan);
    ScopedOperator install(&op);
    const INT_PTR result = dialog->DoModal(recorder.get(), jobList, scenario.Doc().imageObject);
    recorder->Finish();
    return result;
  }

  // A plan for the world's own grid: counts and steps as the copies are laid out.
  RunPlan GridPlan(int copiesX, int copiesY) const {
    RunPlan plan;
    plan.copiesX = copiesX;
    plan.copiesY = copiesY;
    plan.stepX = scenario.GetWorld().Options().copies.pitchX / 1000.0;
    plan.stepY = scenario.GetWorld().Options().copies.pitchY / 1000.0;
    return plan;
  }

  // Copies cut, as (column, row) in cutting order.
  std::vector<std::pair<int, int>> CutOrder() const {
    std::vector<std::pair<int, int>> order;
    for (const CopyRecord& c : recorder->Copies()) order.emplace_back(c.column, c.row);
    return order;
  }

  cv::Point2d Head() const { return const_cast<Scenario&>(scenario).Machine().Cutter().Position(); }

  Scenario scenario;
  ObjList jobList;  // the job handed to the dialog: the scenario's unless a test replaces it
  ScriptedOperator op;
  std::unique_ptr<CKestrixDialog> dialog;
  std::unique_ptr<RunRecorder> recorder;
};

}  // namespace kx::test
