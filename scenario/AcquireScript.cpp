// What a user does with the acquire dialog on the simulated machine.
#include "scenario/AcquireScript.h"

#include <algorithm>
#include <cmath>

#include "common/Frame.h"
#include "common/Units.h"
#include "embedded/DocPath.h"
#include "geometry/Registration.h"
#include "host/Database.h"
#include "platform/Input.h"

namespace kx {

namespace {

constexpr int kSteerClicks = 25;

// The number of tile pitches between the first and the last column (or row) that puts the two
// outer marks nearest the two features `separation` apart, and how far the marks then miss.
// Outer mark centres lie 0.2 pitch outside the outer tile centres.
std::pair<int, double> PitchesBetween(double separation, double pitch) {
  const int n = std::max(0, static_cast<int>(std::lround((separation - 0.4 * pitch) / pitch)));
  return {n, n * pitch + 0.4 * pitch - separation};
}

cv::Point2d Centre(const cv::Rect2d& r) { return {r.x + r.width / 2, r.y + r.height / 2}; }

}  // namespace

AcquirePlan PlanAcquisition(const Scenario& scenario, double scale, int copy) {
  const World& world = scenario.GetWorld();
  const auto& corners = world.Art().CornerAreas();
  const cv::Point2d lowerLeft = Centre(corners[0]);
  const cv::Point2d lowerRight = Centre(corners[1]);
  const cv::Point2d upperLeft = Centre(corners[2]);
  const double pitchX = Trunc(scale * 480.0);
  const double pitchY = Trunc(scale * 640.0);
  const auto [nx, missX] = PitchesBetween(lowerRight.x - lowerLeft.x, pitchX);
  const auto [ny, missY] = PitchesBetween(upperLeft.y - lowerLeft.y, pitchY);
  // The lower-left mark's centre, half the miss outside the feature's, is 0.2 pitch left of and
  // below the first tile's centre.
  const cv::Point2d firstTile(lowerLeft.x - missX / 2 + 0.2 * pitchX,
                              lowerLeft.y - missY / 2 + 0.2 * pitchY);
  AcquirePlan plan;
  plan.copy = copy;
  plan.cols = nx + 1;
  plan.rows = ny + 1;
  plan.startHead = world.HeadForCameraAt(world.BedFromArtwork(copy, firstTile));
  // Half a pitch short of the last tile centre: End then counts exactly cols x rows, with room
  // for the steering's own error.
  plan.endHead = plan.startHead + cv::Point2d(nx > 0 ? (nx - 0.5) * pitchX : 0.0,
                                              ny > 0 ? (ny - 0.5) * pitchY : 0.0);
  return plan;
}

ScriptStep AcquireSteerStep(CKestrixAcquireDialog* dialog, double scale,
                            std::function<cv::Point2d()> target, double tolerance) {
  ScriptStep step;
  step.description = "steer the acquire dialog's camera by clicking in the live view";
  step.ready = [dialog] { return dialog->GetSafeHwnd() && !dialog->IsCapturing(); };
  step.act = [=] {
    const cv::Point2d aim(std::max(target().x, 0.0), std::max(target().y, 0.0));
    const POINT head = dialog->HeadReference();
    const cv::Point2d d = aim - cv::Point2d(head.x, head.y);
    if (std::fabs(d.x) <= tolerance && std::fabs(d.y) <= tolerance) return true;
    return ClickTowards(*dialog, IDC_KX_ACQUIRE_LIVE, d, scale);
  };
  return step;
}

void ScriptAcquire(ScriptedOperator& op, CKestrixAcquireDialog* dialog, double scale,
                   const AcquirePlan& plan) {
  const double tolerance = 0.1 * scale * 480.0;
  for (int i = 0; i < kSteerClicks; ++i)
    op.Then(AcquireSteerStep(
        dialog, scale, [plan] { return plan.startHead; }, tolerance));
  op.Then(ScriptedOperator::PressButton(IDC_KX_ZET_START));
  for (int i = 0; i < kSteerClicks; ++i)
    op.Then(AcquireSteerStep(
        dialog, scale, [plan] { return plan.endHead; }, tolerance));
  op.Then(ScriptedOperator::PressButton(IDC_KX_ZET_END));
  if (plan.pressOk)
    op.Then(ScriptedOperator::PressButton(IDOK).When(
        [dialog] { return dialog->MontageBits() != nullptr && !dialog->IsCapturing(); }));
}

TM DocFromArtworkInMontage(const Scenario& scenario, const CKestrixAcquireDialog& dialog,
                           double scale, int copy) {
  const World& world = scenario.GetWorld();
  BOUNDS b{};
  DBGetObjectBounds(dialog.ImageObject(), &b);
  const double docPerPixel = scale * 2.54 / 1000;
  const POINT h = dialog.HeadReference();
  const cv::Point2d head(h.x, h.y);
  // Pixels of the tile centred on the head reference, counted in the whole montage.
  const auto docOf = [&](cv::Point2d art) {
    const cv::Point2d p = world.PixelFromBed(head, world.BedFromArtwork(copy, art));
    const double u = p.x + dialog.OriginColumn() * kFrameWidth;
    const double v = p.y + dialog.OriginRow() * kFrameHeight;
    return NewWorldPt{b.minX + u * docPerPixel, b.maxY - v * docPerPixel};
  };
  const cv::Point2d a0(0, 0), a1(1000, 0), a2(0, 1000);
  return GetTM(NewWorldPt{a0.x, a0.y}, NewWorldPt{a1.x, a1.y}, NewWorldPt{a2.x, a2.y}, docOf(a0),
               docOf(a1), docOf(a2));
}

std::vector<uint64> AddArtworkPaths(Scenario& scenario, const TM& docFromArt) {
  Document& doc = scenario.Host().Doc();
  std::vector<uint64> handles;
  for (const CutPath& path : scenario.GetWorld().Art().CutPaths()) {
    std::vector<PathSegment> segments = SegmentsOf(path);
    if (segments.empty()) continue;
    const uint64 h = doc.AddPath(std::move(segments));
    doc.ApplyTM(h, docFromArt);
    handles.push_back(h);
  }
  return handles;
}

}  // namespace kx
