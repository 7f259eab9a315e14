// The acquire dialog on the simulated machine: grids grown by arrows and restarted by clicks, the
// tiles each change takes, OK's bitmap object and marks, and what happens when things go wrong.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "acquire/KestrixAcquireDialog.h"
#include "acquire/TileGrid.h"
#include "host/Settings.h"
#include "platform/Gdi.h"
#include "platform/Input.h"
#include "scenario/AcquireScript.h"
#include "scenario/Scenario.h"
#include "tests/support/RunHarness.h"
#include "tests/support/Scratch.h"

namespace kx {
namespace {

// A one-copy sheet without camera noise or blur, so that a tile can be compared with the frame
// the world renders at a head position; the document starts empty.
struct AcquireHarness {
  explicit AcquireHarness(double dialogScale)
      : scenario(World(), scratch.Path()), scale(dialogScale) {
    scenario.StoreCalibration();
    WriteDoubleMorvane("Kestrix Setup", "Scale", scale, 2, 1);
    scenario.ClearDocument();
    dialog = std::make_unique<CKestrixAcquireDialog>();
  }
  static WorldOptions World() {
    WorldOptions w = test::SheetWorld(1, 1);
    w.camera.noiseSigma = 0;
    w.camera.blurSigma = 0;
    return w;
  }
  // Steers the head reference to (5000, 5000) (a click there captures one tile).
  void SteerToMiddle() {
    for (int i = 0; i < 12; ++i)
      op.Then(AcquireSteerStep(
          dialog.get(), scale, [] { return cv::Point2d(5000, 5000); }, 20));
  }
  void Press(int id) { op.Then(ScriptedOperator::PressButton(id)); }
  void Observe(std::function<void()> f) { op.Then(ScriptedOperator::Call(std::move(f))); }
  INT_PTR Run() {
    ScopedOperator install(&op);
    const INT_PTR result = dialog->DoModal();
    EXPECT_FALSE(op.Failed()) << op.FailureText();
    return result;
  }
  // Mean absolute difference between a tile and the frame the world shows with the head at head.
  double Difference(const cv::Mat& tile, POINT head) {
    const cv::Mat truth = scenario.GetWorld().RenderFrame(cv::Point2d(head.x, head.y), {}, 0);
    return cv::norm(tile, truth, cv::NORM_L1) / static_cast<double>(tile.total() * 3);
  }

  test::ScratchFolder scratch;
  Scenario scenario;
  double scale;
  ScriptedOperator op;
  std::unique_ptr<CKestrixAcquireDialog> dialog;
};

std::vector<std::pair<LONG, LONG>> Points(const std::vector<POINT>& points, std::size_t from) {
  std::vector<std::pair<LONG, LONG>> out;
  for (std::size_t i = from; i < points.size(); ++i) out.emplace_back(points[i].x, points[i].y);
  return out;
}

TEST(AcquireArrows, GrowTheGridOnEachSideTakingOnlyTheNewTilesInRowMajorOrder) {
  AcquireHarness h(1.6);
  CKestrixAcquireDialog& d = *h.dialog;
  h.SteerToMiddle();
  POINT head{};
  std::size_t taken = 0;
  std::vector<std::pair<LONG, LONG>> afterTopLeft, afterRight, afterBottom;
  int movesBefore = 0, movesAfterTopLeft = 0;
  int bitmapsAfterFirst = 0, bitmapsAfterLast = 0;
  std::string message;
  h.Observe([&] {
    head = d.HeadReference();
    taken = d.TilePositions().size();
    movesBefore = d.HeadMoves();
    bitmapsAfterFirst = LiveBitmapCount();
  });
  h.Press(IDC_KX_ORIGIN_TL);
  h.Observe([&] {
    afterTopLeft = Points(d.TilePositions(), taken);
    taken = d.TilePositions().size();
    movesAfterTopLeft = d.HeadMoves();
  });
  h.Press(IDC_KX_ORIGIN_CR);
  h.Observe([&] {
    afterRight = Points(d.TilePositions(), taken);
    taken = d.TilePositions().size();
  });
  h.Press(IDC_KX_ORIGIN_BC);
  h.Observe([&] {
    afterBottom = Points(d.TilePositions(), taken);
    message = d.GetDlgItemText(IDC_KX_MESSAGE);
    bitmapsAfterLast = LiveBitmapCount();
  });
  h.Press(IDCANCEL);
  EXPECT_EQ(h.Run(), IDCANCEL);

  // The centre tile was taken by the last steering click: top-left adds the three around it.
  const LONG x = head.x, y = head.y;
  EXPECT_EQ(afterTopLeft,
            (std::vector<std::pair<LONG, LONG>>{{x - 768, y + 1024}, {x, y + 1024}, {x - 768, y}}));
  EXPECT_EQ(movesAfterTopLeft - movesBefore, 4);  // three tiles and back to the reference
  // Each capture replaces the montage and display bitmaps instead of adding to them.
  EXPECT_EQ(bitmapsAfterLast, bitmapsAfterFirst);
  EXPECT_EQ(afterRight, (std::vector<std::pair<LONG, LONG>>{{x + 768, y + 1024}, {x + 768, y}}));
  EXPECT_EQ(afterBottom, (std::vector<std::pair<LONG, LONG>>{
                             {x - 768, y - 1024}, {x, y - 1024}, {x + 768, y - 1024}}));
  EXPECT_EQ(d.Columns(), 3);
  EXPECT_EQ(d.Rows(), 3);
  EXPECT_EQ(d.OriginColumn(), 1);
  EXPECT_EQ(d.OriginRow(), 1);
  EXPECT_EQ(d.Captured(), std::vector<std::vector<int>>(3, std::vector<int>(3, 1)));
  EXPECT_EQ(message,
            "Click on Arrows for camera direction, OK Button to select reference. "
            "Images 3 X 3");

  // Each tile stands at its cell's row-major place: it shows what the camera sees there, and not
  // what it sees at the neighbouring cell.
  ASSERT_EQ(d.Tiles().size(), 9u);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      const cv::Mat& tile = d.Tiles()[static_cast<std::size_t>(r * 3 + c)];
      const POINT at = TileTarget(head, c, r, 1, 1, 1.6);
      const POINT next = TileTarget(head, (c + 1) % 3, r, 1, 1, 1.6);
      const double own = h.Difference(tile, at);
      EXPECT_LT(own, 1.0) << "cell " << c << ", " << r;
      EXPECT_GT(h.Difference(tile, next), own + 5.0) << "cell " << c << ", " << r;
    }
  }
}

TEST(AcquireClick, RestartsTheAcquisitionWithOneTileAtTheClickedPoint) {
  AcquireHarness h(1.6);
  CKestrixAcquireDialog& d = *h.dialog;
  h.SteerToMiddle();
  h.Press(IDC_KX_ORIGIN_BR);
  POINT before{}, after{};
  std::size_t tilesBefore = 0;
  h.Observe([&] {
    before = d.HeadReference();
    tilesBefore = d.TilePositions().size();
  });
  // The view's centre: the head stays, the grid starts again.
  h.op.Then(ScriptedOperator::Click(IDC_KX_ACQUIRE_LIVE, POINT{96, 128}));
  std::string message;
  h.Observe([&] {
    after = d.HeadReference();
    message = d.GetDlgItemText(IDC_KX_MESSAGE);
  });
  h.Press(IDCANCEL);
  h.Run();
  EXPECT_EQ(after.x, before.x);
  EXPECT_EQ(after.y, before.y);
  EXPECT_EQ(d.Columns(), 1);
  EXPECT_EQ(d.Rows(), 1);
  EXPECT_EQ(d.OriginColumn(), 0);
  EXPECT_EQ(d.OriginRow(), 0);
  EXPECT_EQ(d.Tiles().size(), 1u);
  EXPECT_EQ(d.TilePositions().size(), tilesBefore + 1);
  EXPECT_EQ(message,
            "Click on Arrows for camera direction, OK Button to select reference. Images 1 X 1");
}

TEST(AcquireOk, CreatesOneUndoableBitmapObjectAndThreeCornerMarks) {
  AcquireHarness h(1.0);
  CKestrixAcquireDialog& d = *h.dialog;
  h.SteerToMiddle();
  h.Press(IDC_KX_ORIGIN_CR);
  h.Press(IDOK);
  EXPECT_EQ(h.Run(), IDOK);

  Document& doc = h.scenario.Host().Doc();
  ASSERT_NE(d.ImageObject(), 0u);
  BOUNDS b{};
  ASSERT_TRUE(doc.GetBounds(d.ImageObject(), &b));
  EXPECT_NEAR(b.maxX - b.minX, 2.4384, 1e-12);
  EXPECT_NEAR(b.maxY - b.minY, 1.6256, 1e-12);
  ASSERT_EQ(d.Marks().size(), 3u);
  const double cx[3] = {0.36576, 0.36576, 2.07264};
  const double cy[3] = {0.16256, 1.46304, 0.16256};
  for (int i = 0; i < 3; ++i) {
    BOUNDS m{};
    ASSERT_TRUE(doc.GetBounds(d.Marks()[static_cast<std::size_t>(i)], &m));
    EXPECT_TRUE(doc.IsRegMark(d.Marks()[static_cast<std::size_t>(i)]));
    EXPECT_NEAR(m.maxX - m.minX, 0.73152, 1e-12) << "mark " << i;  // 60 % of a tile: 2 columns
    EXPECT_NEAR(m.maxY - m.minY, 0.32512, 1e-12) << "mark " << i;  // 20 %: 1 row
    EXPECT_NEAR((m.minX + m.maxX) / 2 - b.minX, cx[i], 1e-12) << "mark " << i;
    EXPECT_NEAR((m.minY + m.maxY) / 2 - b.minY, cy[i], 1e-12) << "mark " << i;
  }
  EXPECT_EQ(doc.SelectedObjects(), std::vector<uint64>{d.Marks()[2]});
  // The document shows the material the right way up: its top row is the left tile's top row.
  const DocObject* image = doc.Find(d.ImageObject());
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->bitmap->Original().cols, 960);
  ASSERT_EQ(image->bitmap->Original().rows, 640);
  EXPECT_EQ(std::memcmp(image->bitmap->Original().ptr(0), d.Tiles()[0].ptr(0), 1440), 0);
  // One step, named from the translation, holding the bitmap object only.
  EXPECT_EQ(doc.StepNames(), std::vector<std::string>{"Camera Image"});
  EXPECT_TRUE(doc.Undo());
  EXPECT_EQ(doc.Find(d.ImageObject()), nullptr);
  EXPECT_EQ(doc.Objects().size(), 3u);
}

TEST(AcquireOk, MarksAreAFifthOfATileAlongADirectionWithOneTile) {
  AcquireHarness h(1.0);
  CKestrixAcquireDialog& d = *h.dialog;
  h.op.Then(ScriptedOperator::Click(IDC_KX_ACQUIRE_LIVE, POINT{96, 128}));
  h.Press(IDOK);
  EXPECT_EQ(h.Run(), IDOK);
  Document& doc = h.scenario.Host().Doc();
  BOUNDS b{};
  ASSERT_TRUE(doc.GetBounds(d.ImageObject(), &b));
  EXPECT_NEAR(b.maxX - b.minX, 1.2192, 1e-12);
  EXPECT_NEAR(b.maxY - b.minY, 1.6256, 1e-12);
  ASSERT_EQ(d.Marks().size(), 3u);
  for (const uint64 mark : d.Marks()) {
    BOUNDS m{};
    ASSERT_TRUE(doc.GetBounds(mark, &m));
    EXPECT_NEAR(m.maxX - m.minX, 0.24384, 1e-12);
    EXPECT_NEAR(m.maxY - m.minY, 0.32512, 1e-12);
  }
}

TEST(AcquireOk, SkipsAMarkTheHostRefusesAndReleasesItsBitmapsWhenDestroyed) {
  const int bitmapsBefore = LiveBitmapCount();
  {
    // Scale 0: the host keeps the bitmap's own size and refuses marks of no size.
    AcquireHarness h(0.0);
    CKestrixAcquireDialog& d = *h.dialog;
    h.op.Then(ScriptedOperator::Click(IDC_KX_ACQUIRE_LIVE, POINT{96, 128}));
    h.Press(IDOK);
    EXPECT_EQ(h.Run(), IDOK);
    EXPECT_NE(d.ImageObject(), 0u);
    EXPECT_TRUE(d.Marks().empty());
    EXPECT_TRUE(h.scenario.Host().Doc().SelectedObjects().empty());
    EXPECT_EQ(h.scenario.Host().Doc().Objects(), std::vector<uint64>{d.ImageObject()});
  }
  EXPECT_EQ(LiveBitmapCount(), bitmapsBefore);
}

TEST(AcquireOk, BeforeAnyCaptureLeavesTheDialogOpenAndTheDocumentUnchanged) {
  AcquireHarness h(1.6);
  bool openAfterOk = false;
  h.Press(IDOK);
  h.Observe([&] { openAfterOk = h.dialog->GetSafeHwnd() != nullptr; });
  h.Press(IDCANCEL);
  EXPECT_EQ(h.Run(), IDCANCEL);
  EXPECT_TRUE(openAfterOk);
  EXPECT_TRUE(h.scenario.Host().Doc().Objects().empty());
  EXPECT_TRUE(h.scenario.Host().Doc().StepNames().empty());
  EXPECT_EQ(h.dialog->HeadMoves(), 0);
}

TEST(AcquireFailures, AHeadThatNeverArrivesGivesUpWithAMessageAndKeepsTheGridConsistent) {
  AcquireHarness h(1.6);
  CKestrixAcquireDialog& d = *h.dialog;
  h.SteerToMiddle();
  h.Observe([&] { h.scenario.Machine().Cutter().SetNoMotion(true); });
  h.op.ExpectBox("did not reach", IDOK);
  h.Press(IDC_KX_ORIGIN_CR);
  std::vector<std::vector<int>> flags;
  std::size_t tiles = 0;
  bool montage = true;
  h.Observe([&] {
    flags = d.Captured();
    tiles = d.Tiles().size();
    montage = d.MontageBits() != nullptr;
  });
  h.Press(IDOK);  // no montage: nothing happens
  // The head moves again: the next change takes the tile still missing, and OK works.
  h.Observe([&] { h.scenario.Machine().Cutter().SetNoMotion(false); });
  h.Press(IDC_KX_ORIGIN_BC);
  h.Press(IDOK);
  EXPECT_EQ(h.Run(), IDOK);
  EXPECT_EQ(flags, (std::vector<std::vector<int>>{{1, 0}}));
  EXPECT_EQ(tiles, 1u);
  EXPECT_FALSE(montage);
  EXPECT_EQ(d.Tiles().size(), 4u);
  EXPECT_EQ(d.Marks().size(), 3u);
  EXPECT_EQ(h.scenario.Host().Doc().StepNames().size(), 1u);
}

TEST(AcquireFailures, AGridBeyondMemoryIsRefusedBeforeAnyHeadMove) {
  // Scale 0.05: a tile is 24 x 32 cutter units, so a modest rectangle needs thousands of tiles.
  AcquireHarness h(0.05);
  CKestrixAcquireDialog& d = *h.dialog;
  for (int i = 0; i < 40; ++i)
    h.op.Then(AcquireSteerStep(
        &d, 0.05, [] { return cv::Point2d(400, 400); }, 2));
  h.Press(IDC_KX_ZET_START);
  for (int i = 0; i < 60; ++i)
    h.op.Then(AcquireSteerStep(
        &d, 0.05, [] { return cv::Point2d(1700, 2100); }, 2));
  int moves = 0;
  POINT head{};
  h.Observe([&] {
    moves = d.HeadMoves();
    head = d.HeadReference();
  });
  h.op.ExpectBox("needs", IDOK);
  h.Press(IDC_KX_ZET_END);
  h.Press(IDCANCEL);
  h.Run();
  EXPECT_EQ(d.HeadMoves(), moves);
  EXPECT_EQ(d.Columns(), 1);
  EXPECT_EQ(d.Rows(), 1);
  EXPECT_EQ(d.HeadReference().x, head.x);
  EXPECT_EQ(d.HeadReference().y, head.y);
  EXPECT_EQ(d.Tiles().size(), 1u);
}

}  // namespace
}  // namespace kx
