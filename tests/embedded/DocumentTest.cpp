// The object database through the calls the module makes: lists, copies, bounds, undo, selection.
#include <gtest/gtest.h>

#include <random>

#include "host/Database.h"
#include "host/QvBitmap.h"
#include "tests/support/HostFixture.h"

namespace kx::test {
namespace {

BOUNDS BoundsOf(uint64 h) {
  BOUNDS b;
  DBGetObjectBounds(h, &b);
  return b;
}

class DocumentTest : public HostTest {};

// (Iteration in order, from the first member again on every pass, and the mark filter are checked
// by the run dialog's job tests and by every run of more than one copy.)
TEST_F(DocumentTest, ListsBoundTheirMembers) {
  ObjList list = DBCreateEmptyList();
  DBAddToList(list, Doc().AddPath(RectanglePath(0, 0, 1, 1)));
  DBAddToList(list, Doc().AddRegMark(BOUNDS{2, 3, 2, 3}));
  // The bounds of a list cover every member the document knows (not the unknown handle); an
  // empty list has none.
  DBAddToList(list, 987654);
  DBAddToList(list, Doc().AddPath(RectanglePath(-3, 1, 2, 4)));
  BOUNDS b;
  ASSERT_EQ(DBGetMemberBounds(list, &b), 1);
  EXPECT_EQ(b, (BOUNDS{-3, 3, 0, 4, 0}));
  BOUNDS empty{1, 2, 3, 4, 5};
  EXPECT_EQ(DBGetMemberBounds(DBCreateEmptyList(), &empty), 0);
  EXPECT_EQ(empty, BOUNDS{});
}

TEST_F(DocumentTest, CopiesAreIndependentAndDieWithTheirList) {
  const uint64 path = Doc().AddPath(RectanglePath(0, 0, 2, 1));
  const uint64 image =
      Doc().AddBitmapObject(cv::Mat(10, 20, CV_8UC3, cv::Scalar(1, 2, 3)), 0, 0, 2.0, 1.0);
  const std::size_t before = Doc().LiveObjectCount();
  ObjList list = DBCreateEmptyList();
  const uint64 pathCopy = DBCopyObject(path);
  const uint64 imageCopy = DBCopyObject(image);
  ASSERT_NE(pathCopy, 0u);
  ASSERT_NE(pathCopy, path);
  DBAddToList(list, pathCopy);
  DBAddToList(list, imageCopy);
  DBAddToList(list, path);  // a document object in the list is not destroyed with it

  // The copy's bitmap is its own: resampling it leaves the original's pixels alone. (That a
  // transformed path copy leaves the job's path alone, every sheet run checks.)
  auto* copyBitmap = static_cast<GENERIC_ITEM*>(DBGetObjectElement(imageCopy)->item)->bitmap;
  auto* bitmap = static_cast<GENERIC_ITEM*>(DBGetObjectElement(image)->item)->bitmap;
  ASSERT_NE(copyBitmap, bitmap);
  ASSERT_TRUE(copyBitmap->Resample(4, 2, 6, 1));
  EXPECT_EQ(bitmap->Width(), 20);
  EXPECT_EQ(Doc().Objects(), (std::vector<uint64>{path, image}));

  DBDestroyList(list);
  EXPECT_EQ(Doc().LiveObjectCount(), before);
  EXPECT_EQ(Doc().Find(pathCopy), nullptr);
  EXPECT_NE(Doc().Find(path), nullptr);
  EXPECT_EQ(DBGetFirstMember(list), 0u);
  DBDestroyList(list);  // twice is harmless
  DBDestroyList(ObjList{});
  EXPECT_EQ(Doc().LiveObjectCount(), before);
}

TEST_F(DocumentTest, ApplyTmMovesBoundsAsTheTransformSaysWithYUp) {
  const uint64 h = Doc().AddPath(RectanglePath(1, 2, 3, 5));
  // Rotation by +90 degrees: (x, y) -> (-y, x); then shift by (10, 0).
  const TM rotate{0.0, 1.0, -1.0, 0.0, 10.0, 0.0};
  DBApplyTM(h, &rotate);
  DBInvalidateBounds(h);
  DBValidateBounds(h);
  EXPECT_EQ(BoundsOf(h), (BOUNDS{5, 8, 1, 3, 0}));
  TM recorded;
  ASSERT_EQ(DBGetObjectTM(h, &recorded), 1);
  EXPECT_EQ(recorded, rotate);

  // A registration mark and a bitmap object follow the same transform.
  const uint64 mark = Doc().AddRegMark(BOUNDS{0, 1, 0, 2});
  const uint64 image = Doc().AddBitmapObject(cv::Mat(4, 4, CV_8UC3), 0, 0, 1.0, 2.0);
  const TM scale{2.0, 0.0, 0.0, 3.0, 1.0, -1.0};
  DBApplyTM(mark, &scale);
  DBApplyTM(image, &scale);
  EXPECT_EQ(BoundsOf(mark), (BOUNDS{1, 3, -1, 5, 0}));
  EXPECT_EQ(BoundsOf(image), (BOUNDS{1, 3, -1, 5, 0}));
}

TEST_F(DocumentTest, ArcBoundsReachTheArcsExtremesNotOnlyItsEnds) {
  // Half circle of radius 2 around (5, 5) from 0 to 180 degrees: top at y 7.
  const uint64 h = Doc().AddPath({PathSegment::Arc({5, 5}, 2.0, 0.0, 180.0)});
  const BOUNDS b = BoundsOf(h);
  EXPECT_NEAR(b.minX, 3.0, 1e-12);
  EXPECT_NEAR(b.maxX, 7.0, 1e-12);
  EXPECT_NEAR(b.minY, 5.0, 1e-12);
  EXPECT_NEAR(b.maxY, 7.0, 1e-12);
  // A non-uniform scale turns it into half an ellipse, still bounded exactly.
  const TM stretch{3.0, 0.0, 0.0, 0.5, 0.0, 0.0};
  DBApplyTM(h, &stretch);
  const BOUNDS s = BoundsOf(h);
  EXPECT_NEAR(s.minX, 9.0, 1e-12);
  EXPECT_NEAR(s.maxX, 21.0, 1e-12);
  EXPECT_NEAR(s.maxY, 3.5, 1e-12);
}

TEST_F(DocumentTest, UnknownAndNullHandlesGiveDefinedResults) {
  BOUNDS b{1, 2, 3, 4, 5};
  EXPECT_EQ(DBGetObjectBounds(0, &b), 0);
  EXPECT_EQ(b, BOUNDS{});
  EXPECT_EQ(DBGetObjectBounds(424242, &b), 0);
  EXPECT_EQ(DBCopyObject(0), 0u);
  EXPECT_EQ(DBGetObjectElement(0), nullptr);
  EXPECT_EQ(ObjFilter_IsRegMark(0, 0), 0);
  const TM tm = TM::Translation(1, 1);
  DBApplyTM(99, &tm);
  DBApplyTM(99, nullptr);
  DBDestroyObject(99);
  DSAddObject(99);
  DBSelect(99);
  InvalidateObject(99, 1);
  TM out = TM::Translation(3, 3);
  EXPECT_EQ(DBGetObjectTM(99, &out), 0);
  EXPECT_EQ(out, TM::Translation(3, 3));
  EXPECT_EQ(CreateVarnoxRegMark({1, 1}, 0.0, 1.0), 0u);
  EXPECT_TRUE(Doc().Objects().empty());
  EXPECT_TRUE(Doc().Selection().empty());

  // Without a host the calls still return their defaults.
  ScopedHost none(nullptr);
  EXPECT_EQ(DBCopyObject(1), 0u);
  EXPECT_EQ(NewQvBitmap(), nullptr);
  ObjList list = DBCreateEmptyList();
  DBAddToList(list, 5);
  DBDestroyList(list);
  EXPECT_EQ(DBGetFirstMember(list), 0u);
}

TEST_F(DocumentTest, InverseTransformUndoesThePlacement) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> v(-3.0, 3.0);
  for (int i = 0; i < 50; ++i) {
    const TM tm{v(rng), v(rng), v(rng), v(rng), v(rng), v(rng)};
    TM inverse;
    if (set_itm(&tm, &inverse) == 0) continue;
    NewWorldPt p{v(rng), v(rng)};
    const NewWorldPt original = p;
    translate_point(&p, &tm);
    translate_point(&p, &inverse);
    EXPECT_NEAR(p.x, original.x, 1e-6);
    EXPECT_NEAR(p.y, original.y, 1e-6);
  }
  const TM singular{1, 2, 2, 4, 0, 0};
  TM inverse;
  EXPECT_EQ(set_itm(&singular, &inverse), 0);
  EXPECT_EQ(inverse, TM::Identity());
}

TEST_F(DocumentTest, UndoRestoresTransformedAndDestroyedObjects) {
  const uint64 a = Doc().AddPath(RectanglePath(0, 0, 1, 1));
  const uint64 b = Doc().AddRegMark(BOUNDS{0, 1, 0, 1});
  const uint64 step = UNOpenStep("edit", 0);
  const TM shift = TM::Translation(3, 0);
  DBApplyTM(a, &shift);
  DBDestroyObject(b);
  UNCloseStep(step);
  ASSERT_TRUE(Doc().Undo());
  EXPECT_EQ(BoundsOf(a), (BOUNDS{0, 1, 0, 1, 0}));
  EXPECT_EQ(BoundsOf(b), (BOUNDS{0, 1, 0, 1, 0}));
  EXPECT_EQ(Doc().Objects().size(), 2u);
}

}  // namespace
}  // namespace kx::test
