// What a user does with the acquire dialog on the simulated machine: steer, mark the corners of
// a printed copy, capture it, and take the montage as the job's reference.
// Threads: bound to the thread of the acquire dialog it drives.
#pragma once

#include <functional>
#include <vector>

#include <opencv2/core.hpp>

#include "acquire/KestrixAcquireDialog.h"
#include "common/TM.h"
#include "platform/Operator.h"
#include "scenario/RunScript.h"
#include "scenario/Scenario.h"

namespace kx {

// The acquisition a user plans for one printed copy: the head positions to press Start and End
// at (cutter units) and the grid End makes from them. The start corner is chosen so that the
// three marks OK puts at the montage's corners fall on the copy's corner features as well as the
// grid's tile pitch allows, the end corner so that End makes exactly cols x rows tiles.
struct AcquirePlan {
  int copy = 0;
  cv::Point2d startHead;
  cv::Point2d endHead;
  int cols = 1;
  int rows = 1;
  bool pressOk = true;  // false: the user looks at the montage and leaves the dialog open
};
// scale: the "Scale" the dialog reads (cutter units a camera pixel).
AcquirePlan PlanAcquisition(const Scenario& scenario, double scale, int copy = 0);

// A step that clicks in the acquire dialog's live view until its head reference lies within
// tolerance of target() (cutter units): plain clicks near, Ctrl+Shift clicks far.
ScriptStep AcquireSteerStep(CKestrixAcquireDialog* dialog, double scale,
                            std::function<cv::Point2d()> target, double tolerance);

// Queues the user's part: steer to the start corner, Start, steer to the end corner, End, and
// (plan.pressOk) OK once the montage is there.
void ScriptAcquire(ScriptedOperator& op, CKestrixAcquireDialog* dialog, double scale,
                   const AcquirePlan& plan);

// Where the acquired bitmap object shows the points of copy `copy`'s artwork: the affine map from
// artwork coordinates (cutter units, y up) to document units, for a dialog that has created its
// bitmap object from a grid End made (origin tile at the lower left). scale as the dialog read it.
TM DocFromArtworkInMontage(const Scenario& scenario, const CKestrixAcquireDialog& dialog,
                           double scale, int copy);

// Adds the world's cut paths to the document as a user would draw them over the photograph:
// artwork paths through docFromArt. Returns their handles in artwork order.
std::vector<uint64> AddArtworkPaths(Scenario& scenario, const TM& docFromArt);

}  // namespace kx
