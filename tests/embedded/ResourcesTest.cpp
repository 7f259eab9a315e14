// The embedded host's resources: templates with the controls the windows bind, readable layouts,
// the arrow bitmaps, and their installation with the host.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "host/Translation.h"
#include "platform/Dialog.h"
#include "platform/Render.h"
#include "embedded/Resources.h"
#include "tests/support/HostFixture.h"

namespace {

using kx::ControlKind;

struct Expected {
  int id;
  ControlKind kind;
};

// The controls each window binds, with the kind its code treats them as.
const std::vector<Expected> kSetupControls{
    {9666, ControlKind::Check},     {9692, ControlKind::Check},  {9663, ControlKind::Slider},
    {9665, ControlKind::Slider},    {9664, ControlKind::Slider}, {9662, ControlKind::ComboBox},
    {9659, ControlKind::Edit},      {9660, ControlKind::Edit},   {9661, ControlKind::Edit},
    {9629, ControlKind::Picture},   {9667, ControlKind::Button}, {IDOK, ControlKind::Button},
    {IDCANCEL, ControlKind::Button}};

const std::vector<Expected> kAcquireControls{
    {9632, ControlKind::Picture},      {9630, ControlKind::Picture},
    {9656, ControlKind::Static},       {9646, ControlKind::BitmapButton},
    {9647, ControlKind::BitmapButton}, {9648, ControlKind::BitmapButton},
    {9649, ControlKind::BitmapButton}, {9651, ControlKind::BitmapButton},
    {9652, ControlKind::BitmapButton}, {9653, ControlKind::BitmapButton},
    {9654, ControlKind::BitmapButton}, {9634, ControlKind::BitmapButton},
    {9636, ControlKind::BitmapButton}, {IDOK, ControlKind::BitmapButton}};

// Arrow button of the acquire dialog -> the bitmap it shows -> where that arrow points, as a step
// in image coordinates (x right, y down).
struct Arrow {
  int button;
  UINT bitmap;
  int dx;
  int dy;
};
const std::vector<Arrow> kArrows{{9646, 2849, -1, -1}, {9647, 2853, 0, -1}, {9648, 2856, 1, -1},
                                 {9649, 2851, -1, 0},  {9651, 2850, 1, 0},  {9652, 2854, -1, 1},
                                 {9653, 2852, 0, 1},   {9654, 2855, 1, 1}};

// Live views the windows resize to 192 x 256 at initialisation, keeping their top-left corner.
const std::map<int, std::pair<LONG, LONG>> kResizedViews{{9629, {192, 256}}, {9632, {192, 256}}};

const cv::Vec3b kMask(0xC0, 0xC0, 0xC0);

std::vector<const kx::ControlTemplate*> WithId(const kx::DialogTemplate& t, int id) {
  std::vector<const kx::ControlTemplate*> found;
  for (const auto& c : t.controls)
    if (c.id == id) found.push_back(&c);
  return found;
}

void ExpectControls(const kx::DialogTemplate& t, const std::vector<Expected>& expected) {
  for (const Expected& e : expected) {
    const auto found = WithId(t, e.id);
    ASSERT_EQ(found.size(), 1u) << "control " << e.id << " in \"" << t.caption << "\"";
    EXPECT_EQ(found[0]->kind, e.kind) << "control " << e.id;
    EXPECT_EQ(found[0]->style & (kx::kHidden | kx::kDisabled), 0u)
        << "control " << e.id << " must be usable when the window opens";
  }
}

RECT Placed(const kx::ControlTemplate& c) {
  RECT r = c.rect;
  const auto resized = kResizedViews.find(c.id);
  if (resized != kResizedViews.end()) {
    r.right = r.left + resized->second.first;
    r.bottom = r.top + resized->second.second;
  }
  return r;
}

bool Overlap(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
         inner.bottom <= outer.bottom;
}

// Every control inside the client area, none on top of another (also once the live view has its
// working size), none straddling a group frame.
void ExpectReadableLayout(const kx::DialogTemplate& t) {
  const RECT client{0, 0, t.width, t.height};
  for (std::size_t i = 0; i < t.controls.size(); ++i) {
    const auto& a = t.controls[i];
    const RECT ra = Placed(a);
    EXPECT_TRUE(Inside(ra, client)) << "\"" << a.caption << "\" (" << a.id << ") leaves the client";
    EXPECT_GT(ra.right - ra.left, 0);
    EXPECT_GT(ra.bottom - ra.top, 0);
    for (std::size_t j = i + 1; j < t.controls.size(); ++j) {
      const auto& b = t.controls[j];
      const RECT rb = Placed(b);
      const bool aGroup = a.kind == ControlKind::GroupBox;
      const bool bGroup = b.kind == ControlKind::GroupBox;
      if (aGroup != bGroup) {
        const RECT& frame = aGroup ? ra : rb;
        const RECT& inner = aGroup ? rb : ra;
        EXPECT_TRUE(!Overlap(frame, inner) || Inside(inner, frame))
            << "\"" << a.caption << "\" (" << a.id << ") and \"" << b.caption << "\" (" << b.id
            << ") in \"" << t.caption << "\"";
      } else {
        EXPECT_FALSE(Overlap(ra, rb))
            << "\"" << a.caption << "\" (" << a.id << ") and \"" << b.caption << "\" (" << b.id
            << ") in \"" << t.caption << "\"";
      }
    }
  }
}

TEST(HostResources, SetupPageTemplateHasEveryControlThePageBinds) {
  const kx::DialogTemplate t = kx::MakeSetupPageTemplate();
  ExpectControls(t, kSetupControls);
  ExpectReadableLayout(t);
}

TEST(HostResources, AcquireDialogTemplateHasEveryControlTheDialogBinds) {
  const kx::DialogTemplate t = kx::MakeAcquireDialogTemplate();
  ExpectControls(t, kAcquireControls);
  ExpectReadableLayout(t);
  // Escape is the dialog's cancel; a button for it must still be an ordinary one.
  for (const auto* cancel : WithId(t, IDCANCEL)) EXPECT_EQ(cancel->kind, ControlKind::Button);
  // The buttons keep their size when they load their arrows, so the arrows must fit.
  for (const Arrow& a : kArrows) {
    const auto found = WithId(t, a.button);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_GE(found[0]->rect.right - found[0]->rect.left, kx::kArrowBitmapSize) << a.button;
    EXPECT_GE(found[0]->rect.bottom - found[0]->rect.top, kx::kArrowBitmapSize) << a.button;
  }
}

TEST(HostResources, RunDialogTemplateIsReadable) {
  ExpectReadableLayout(kx::MakeRunDialogTemplate());
}

TEST(HostResources, LookupFindsTheThreeTemplatesAndTheEightArrowsOnly) {
  const kx::HostResources resources;
  for (UINT id : {kx::kAcquireDialogTemplate, kx::kRunDialogTemplate, kx::kSetupPageTemplate})
    EXPECT_NE(resources.FindDialogTemplate(id), nullptr) << id;
  for (UINT id : {0u, 2846u, 2849u, 2857u, 2859u})
    EXPECT_EQ(resources.FindDialogTemplate(id), nullptr) << id;
  for (UINT id = 2840; id <= 2862; ++id) {
    const bool arrow = id >= 2849 && id <= 2856;
    EXPECT_EQ(resources.FindBitmap(id).empty(), !arrow) << id;
    EXPECT_EQ(kx::MakeArrowBitmap(id).empty(), !arrow) << id;
  }
  EXPECT_TRUE(kx::MakeArrowBitmap(0).empty());
  EXPECT_TRUE(kx::MakeArrowBitmap(0xFFFFFFFFu).empty());
}

// Ink of an arrow on either side of a line through the bitmap's centre across direction (dx, dy):
// positive when there is more ink on the side the direction points to.
long InkImbalance(const cv::Mat& arrow, double dx, double dy) {
  const double centre = (arrow.cols - 1) / 2.0;
  long balance = 0;
  for (int y = 0; y < arrow.rows; ++y) {
    for (int x = 0; x < arrow.cols; ++x) {
      if (arrow.at<cv::Vec3b>(y, x) == kMask) continue;
      const double along = (x - centre) * dx + (y - centre) * dy;
      balance += along > 0.5 ? 1 : along < -0.5 ? -1 : 0;
    }
  }
  return balance;
}

TEST(HostResources, ArrowsAreTwoColouredOnTheMaskAndPointTheirWay) {
  std::vector<cv::Mat> seen;
  for (const Arrow& a : kArrows) {
    SCOPED_TRACE(a.bitmap);
    const cv::Mat arrow = kx::MakeArrowBitmap(a.bitmap);
    ASSERT_EQ(arrow.type(), CV_8UC3);
    ASSERT_EQ(arrow.cols, kx::kArrowBitmapSize);
    ASSERT_EQ(arrow.rows, kx::kArrowBitmapSize);
    // The border is background, and the background exactly the mask colour: every other pixel is
    // the one ink, so nothing blended shows as a fringe around the transparent part.
    std::optional<cv::Vec3b> ink;
    int inkPixels = 0;
    for (int y = 0; y < arrow.rows; ++y) {
      for (int x = 0; x < arrow.cols; ++x) {
        const cv::Vec3b px = arrow.at<cv::Vec3b>(y, x);
        const bool border = x == 0 || y == 0 || x == arrow.cols - 1 || y == arrow.rows - 1;
        if (border) {
          EXPECT_EQ(px, kMask) << x << ", " << y;
        }
        if (px == kMask) continue;
        if (!ink) ink = px;
        EXPECT_EQ(px, *ink) << x << ", " << y;
        ++inkPixels;
      }
    }
    EXPECT_GT(inkPixels, arrow.total() / 6) << "an arrow a user can see";
    // Of the eight directions, the one with the most ink ahead of the centre is the arrow's.
    int best = -1;
    long bestBalance = 0;
    for (int k = 0; k < 8; ++k) {
      const double angle = k * CV_PI / 4;
      const long balance = InkImbalance(arrow, std::cos(angle), std::sin(angle));
      if (best < 0 || balance > bestBalance) {
        best = k;
        bestBalance = balance;
      }
    }
    const double bestAngle = best * CV_PI / 4;
    EXPECT_EQ(std::lround(std::cos(bestAngle)), a.dx);
    EXPECT_EQ(std::lround(std::sin(bestAngle)), a.dy);
    for (const cv::Mat& other : seen) EXPECT_GT(cv::norm(arrow, other, cv::NORM_L1), 0.0);
    seen.push_back(arrow);
  }
}

// The acquire dialog's way with its arrows: bitmap buttons loaded without resizing, grey drawn
// transparent.
class ArrowPadDialog : public CDialog {
 public:
  ArrowPadDialog() : CDialog(kx::kAcquireDialogTemplate) {}
  CBitmapButton m_buttons[8];
  bool m_bLoaded = true;

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    for (std::size_t i = 0; i < kArrows.size(); ++i)
      m_bLoaded =
          m_buttons[i].LoadBitmap(kArrows[i].bitmap, FALSE, kx::kArrowMaskColour) && m_bLoaded;
    return TRUE;
  }

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    for (std::size_t i = 0; i < kArrows.size(); ++i)
      DDX_Control(pDX, kArrows[i].button, m_buttons[i]);
  }
};

// Where PNGs of the rendered windows go for a look, when asked for.
std::optional<std::filesystem::path> RenderFolder() {
  const char* folder = std::getenv("KX_RENDER_DIR");
  if (!folder || !*folder) return std::nullopt;
  return std::filesystem::path(folder);
}

cv::Mat Rendered(CDialog& dlg, const std::string& name) {
  dlg.ShowWindow(SW_SHOW);
  const cv::Mat img = kx::RenderWindow(dlg);
  CRect window;
  dlg.GetWindowRect(&window);
  EXPECT_EQ(img.cols, window.Width()) << name;
  EXPECT_EQ(img.rows, window.Height()) << name;
  if (const auto folder = RenderFolder()) {
    EXPECT_TRUE(kx::SaveWindowPng(dlg, *folder / name));
  }
  return img;
}

class HostResourcesInstalled : public kxtest::HostTest {};

TEST_F(HostResourcesInstalled, EveryTemplateMakesAWindowThatRenders) {
  for (const char* language : {"en", "de"}) {
    ASSERT_TRUE(m_host.Texts().SetLanguage(language));
    for (UINT id : {kx::kAcquireDialogTemplate, kx::kRunDialogTemplate, kx::kSetupPageTemplate}) {
      CDialog dlg(id);
      ASSERT_TRUE(dlg.Create(id)) << id;
      TranslateDialog(&dlg);  // as the windows show them
      const cv::Mat img = Rendered(dlg, "template-" + std::to_string(id) + "-" + language + ".png");
      ASSERT_FALSE(img.empty());
      // Not a blank sheet: the controls drew something besides the face.
      cv::Mat grey;
      cv::cvtColor(img, grey, cv::COLOR_BGR2GRAY);
      EXPECT_GT(cv::countNonZero(grey < 128), 500) << id;
    }
  }
}

TEST_F(HostResourcesInstalled, ArrowButtonsShowTheirArrowsWithTheGreyTransparent) {
  ArrowPadDialog dlg;
  ASSERT_TRUE(dlg.Create(kx::kAcquireDialogTemplate));
  EXPECT_TRUE(dlg.m_bLoaded);
  const cv::Mat img = Rendered(dlg, "acquire-arrows.png");
  CRect window;
  dlg.GetWindowRect(&window);
  const cv::Vec3b ink = kx::MakeArrowBitmap(kx::kFirstArrowBitmap).at<cv::Vec3b>(15, 15);
  for (std::size_t i = 0; i < kArrows.size(); ++i) {
    CRect box;
    dlg.m_buttons[i].GetWindowRect(&box);
    EXPECT_EQ(box.Width(), 40) << "loading the arrow left the button's size alone";
    const cv::Mat face =
        img(cv::Rect(box.left - window.left, box.top - window.top, box.Width(), box.Height()));
    EXPECT_EQ(face.at<cv::Vec3b>(box.Height() / 2, box.Width() / 2), ink) << kArrows[i].button;
    cv::Mat mask;
    cv::inRange(face, cv::Scalar(0xC0, 0xC0, 0xC0), cv::Scalar(0xC0, 0xC0, 0xC0), mask);
    EXPECT_EQ(cv::countNonZero(mask), 0) << "grey shows on button " << kArrows[i].button;
  }
}

TEST(EmbeddedHostResources, InstallPutsThemInPlaceAndTheDestructorTakesThemAway) {
  kxtest::ScratchFolder scratch;
  {
    kx::EmbeddedHost host(kx::EmbeddedHostOptions{scratch / "config"});
    EXPECT_EQ(kx::Resources(), nullptr);
    host.Install();
    EXPECT_EQ(kx::Resources(), &host.Resources());
    CDialog page(kx::kSetupPageTemplate);
    EXPECT_TRUE(page.Create(kx::kSetupPageTemplate));
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
