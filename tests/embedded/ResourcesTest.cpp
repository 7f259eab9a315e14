// The embedded host's resources: every template the module opens, with the controls its windows
// bind; the arrow bitmaps; their installation with the host.
#include <gtest/gtest.h>

#include <vector>

#include "embedded/Resources.h"
#include "host/ResourceIds.h"
#include "platform/Dialog.h"
#include "tests/support/HostFixture.h"

namespace {

using kx::ControlKind;

struct Expected {
  int id;
  ControlKind kind;  // what the window's code treats the control as
};

struct WindowControls {
  UINT templateId;
  std::vector<Expected> controls;
};

const std::vector<WindowControls> kWindows{
    {IDD_KESTRIX_RUN,
     {{IDC_KX_LIVE, ControlKind::Picture},
      {IDC_KX_PREVIEW, ControlKind::Picture},
      {IDC_KX_ROLL, ControlKind::Radio},
      {IDC_KX_SHEET, ControlKind::Radio},
      {IDC_KX_COPIES_X, ControlKind::Edit},
      {IDC_KX_COPIES_Y, ControlKind::Edit},
      {IDC_KX_STEP_X, ControlKind::Edit},
      {IDC_KX_STEP_Y, ControlKind::Edit},
      {IDC_KX_STATUS, ControlKind::Static},
      {IDC_KX_START, ControlKind::Button},
      {IDC_KX_STOP, ControlKind::Button}}},
    {IDD_KESTRIX_SETUP,
     {{IDC_KX_AUTO_WHITE_BALANCE, ControlKind::Check},
      {IDC_KX_GAMMA_MODE, ControlKind::Check},
      {IDC_KX_GAIN, ControlKind::Slider},
      {IDC_KX_SHARP, ControlKind::Slider},
      {IDC_KX_GAMMA, ControlKind::Slider},
      {IDC_KX_ALC_MODE, ControlKind::ComboBox},
      {IDC_KX_SCALE, ControlKind::Edit},
      {IDC_KX_X_OFFSET, ControlKind::Edit},
      {IDC_KX_Y_OFFSET, ControlKind::Edit},
      {IDC_KX_LIVE, ControlKind::Picture},
      {IDC_KX_CALIBRATE, ControlKind::Button},
      {IDOK, ControlKind::Button},
      {IDCANCEL, ControlKind::Button}}},
    {IDD_KESTRIX_ACQUIRE,
     {{IDC_KX_ACQUIRE_LIVE, ControlKind::Picture},
      {IDC_KX_MONTAGE, ControlKind::Picture},
      {IDC_KX_MESSAGE, ControlKind::Static},
      {IDC_KX_ORIGIN_TL, ControlKind::BitmapButton},
      {IDC_KX_ORIGIN_TC, ControlKind::BitmapButton},
      {IDC_KX_ORIGIN_TR, ControlKind::BitmapButton},
      {IDC_KX_ORIGIN_CL, ControlKind::BitmapButton},
      {IDC_KX_ORIGIN_CR, ControlKind::BitmapButton},
      {IDC_KX_ORIGIN_BL, ControlKind::BitmapButton},
      {IDC_KX_ORIGIN_BC, ControlKind::BitmapButton},
      {IDC_KX_ORIGIN_BR, ControlKind::BitmapButton},
      {IDC_KX_ZET_START, ControlKind::BitmapButton},
      {IDC_KX_ZET_END, ControlKind::BitmapButton},
      {IDOK, ControlKind::BitmapButton},
      {IDCANCEL, ControlKind::Button}}},
};

const std::vector<UINT> kArrowBitmaps{
    IDB_KX_ARROW_UP_LEFT, IDB_KX_ARROW_RIGHT,     IDB_KX_ARROW_LEFT,       IDB_KX_ARROW_DOWN,
    IDB_KX_ARROW_UP,      IDB_KX_ARROW_DOWN_LEFT, IDB_KX_ARROW_DOWN_RIGHT, IDB_KX_ARROW_UP_RIGHT};

TEST(HostResources, EveryTemplateHasEachControlItsWindowBindsOnceAndUsable) {
  const kx::HostResources resources;
  for (const WindowControls& window : kWindows) {
    const kx::DialogTemplate* t = resources.FindDialogTemplate(window.templateId);
    ASSERT_NE(t, nullptr) << window.templateId;
    for (const Expected& e : window.controls) {
      int seen = 0;
      for (const kx::ControlTemplate& c : t->controls) {
        if (c.id != e.id) continue;
        ++seen;
        EXPECT_EQ(c.kind, e.kind) << "control " << e.id << " of " << window.templateId;
        EXPECT_EQ(c.style & (kx::kHidden | kx::kDisabled), 0u)
            << "control " << e.id << " of " << window.templateId << " must be usable at first";
      }
      EXPECT_EQ(seen, 1) << "control " << e.id << " of " << window.templateId;
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
