// The embedded host's resources: the templates the module opens, the arrow bitmaps, their
// installation with the host.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "embedded/Resources.h"
#include "host/ResourceIds.h"
#include "platform/Dialog.h"
#include "tests/support/HostFixture.h"

namespace {

const std::vector<UINT> kArrowBitmaps{
    IDB_KX_ARROW_UP_LEFT, IDB_KX_ARROW_RIGHT,     IDB_KX_ARROW_LEFT,       IDB_KX_ARROW_DOWN,
    IDB_KX_ARROW_UP,      IDB_KX_ARROW_DOWN_LEFT, IDB_KX_ARROW_DOWN_RIGHT, IDB_KX_ARROW_UP_RIGHT};

// Which control each window binds, and of what kind, the windows' own suites check by running
// them on these templates; here what they cannot see: an identifier given twice, where the
// window would only ever find the first (labels share -1), and a control nobody can use at first.
TEST(HostResources, EveryTemplateGivesEachControlItsOwnIdentifierAndAllAreUsable) {
  const kx::HostResources resources;
  for (UINT id : {IDD_KESTRIX_RUN, IDD_KESTRIX_SETUP, IDD_KESTRIX_ACQUIRE}) {
    const kx::DialogTemplate* t = resources.FindDialogTemplate(id);
    ASSERT_NE(t, nullptr) << id;
    ASSERT_GT(t->controls.size(), 5u) << id;
    std::set<int> seen;
    for (const kx::ControlTemplate& c : t->controls) {
      EXPECT_TRUE(c.id <= 0 || seen.insert(c.id).second) << "control " << c.id << " of " << id;
      EXPECT_EQ(c.style & (kx::kHidden | kx::kDisabled), 0u) << "control " << c.id << " of " << id;
    }
  }
}

TEST(HostResources, ArrowBitmapsAreDistinctBgrSquaresOnTheMaskColour) {
  const kx::HostResources resources;
  const COLORREF rgb = kx::kArrowMaskColour;
  const cv::Vec3b mask((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);  // blue, green, red
  std::vector<cv::Mat> seen;
  for (UINT id : kArrowBitmaps) {
    SCOPED_TRACE(id);
    const cv::Mat arrow = resources.FindBitmap(id);
    ASSERT_EQ(arrow.type(), CV_8UC3);
    ASSERT_EQ(arrow.cols, kx::kArrowBitmapSize);
    ASSERT_EQ(arrow.rows, kx::kArrowBitmapSize);
    // The buttons draw exactly the mask colour transparent: the background must be exactly it,
    // and the arrow something else.
    const int last = kx::kArrowBitmapSize - 1;
    for (const cv::Point corner :
         {cv::Point(0, 0), cv::Point(last, 0), cv::Point(0, last), cv::Point(last, last)})
      EXPECT_EQ(arrow.at<cv::Vec3b>(corner), mask) << corner;
    cv::Mat isMask;
    cv::inRange(arrow, mask, mask, isMask);
    EXPECT_GT(cv::countNonZero(isMask == 0), 0) << "no arrow on the background";
    for (const cv::Mat& other : seen) EXPECT_GT(cv::norm(arrow, other, cv::NORM_L1), 0.0);
    seen.push_back(arrow);
  }
  for (UINT id : {0u, IDD_KESTRIX_ACQUIRE, IDD_KESTRIX_RUN, IDD_KESTRIX_SETUP, 0xFFFFFFFFu})
    EXPECT_TRUE(resources.FindBitmap(id).empty()) << id;
}

TEST(EmbeddedHostResources, InstallPutsThemInPlaceAndTheDestructorTakesThemAway) {
  kx::test::ScratchFolder scratch;
  {
    kx::EmbeddedHost host(kx::EmbeddedHostOptions{scratch / "config"});
    EXPECT_EQ(kx::Resources(), nullptr);
    host.Install();
    EXPECT_EQ(kx::Resources(), &host.Resources());
    CDialog page(IDD_KESTRIX_SETUP);
    EXPECT_TRUE(page.Create(IDD_KESTRIX_SETUP));
  }
  EXPECT_EQ(kx::Resources(), nullptr);
  EXPECT_EQ(kx::Host(), nullptr);

  // Resources someone installed later stay where they are.
  kx::HostResources other;
  {
    kx::EmbeddedHost host(kx::EmbeddedHostOptions{scratch / "config"});
    host.Install();
    kx::InstallResources(&other);
  }
  EXPECT_EQ(kx::Resources(), &other);
  kx::InstallResources(nullptr);
}

}  // namespace
