// The setup page on its own: settings shown and stored, the live view's frames, clicks and moves,
// and the square finder on drawn frames.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "host/Settings.h"
#include "platform/Operator.h"
#include "scenario/Scenario.h"
#include "setup/KestrixSetup.h"
#include "tests/support/RunHarness.h"
#include "tests/support/Scratch.h"

namespace kx::test {
namespace {

const char kSection[] = "Kestrix Setup";

// The page with its protected operations in reach.
class Page : public CKestrixSetup {
 public:
  using CKestrixSetup::LocateCalibrationMark;
  using CKestrixSetup::OnCancel;
  using CKestrixSetup::OnOK;
  CComboBox& AlcList() { return m_cbAlcMode; }
};

// A machine on the virtual clock with the embedded host's settings in a scratch folder, and the
// cutter's port stored, as the page finds them in a host.
class SetupPageTest : public ::testing::Test {
 protected:
  SetupPageTest() : m_scenario(SheetWorld(1, 1), m_scratch / "config") {
    WriteStringDevice("Port Setup", "Port", "USB1");
  }
  // The page, made and initialised as a window of its own.
  std::unique_ptr<Page> OpenPage() {
    auto page = std::make_unique<Page>();
    EXPECT_TRUE(page->Create(IDD_KESTRIX_SETUP));
    return page;
  }
  double StoredNumber(const char* key) { return GetDoubleMorvane(kSection, key, -12345, 1); }
  void Head(cv::Point p) {
    SimCutter& cutter = m_scenario.Machine().Cutter();
    cutter.sendxyNoW(p.x, p.y, kMoveTravel);
    m_scenario.Clock().Advance(cutter.BusyUntil() - m_scenario.Clock().NowMicros() + 1);
  }

  ScratchFolder m_scratch;
  Scenario m_scenario;
};

TEST_F(SetupPageTest, NothingStoredShowsTheDefaultsAndOkStoresThem) {
  auto page = OpenPage();
  EXPECT_EQ(page->IsDlgButtonChecked(IDC_KX_AUTO_WHITE_BALANCE), 0u);
  EXPECT_EQ(page->IsDlgButtonChecked(IDC_KX_GAMMA_MODE), 0u);
  EXPECT_EQ(static_cast<CSliderCtrl*>(page->GetDlgItem(IDC_KX_GAIN))->GetPos(), 0);
  EXPECT_EQ(static_cast<CSliderCtrl*>(page->GetDlgItem(IDC_KX_SHARP))->GetPos(), 0);
  EXPECT_EQ(static_cast<CSliderCtrl*>(page->GetDlgItem(IDC_KX_GAMMA))->GetPos(), 1);
  EXPECT_EQ(page->AlcList().GetCurSel(), 0);
  CString entry;
  page->AlcList().GetLBText(0, entry);
  EXPECT_EQ(entry, "ALC Fixed AGC Off");
  EXPECT_EQ(page->AlcList().GetCount(), 4);
  EXPECT_EQ(page->GetDlgItemText(IDC_KX_SCALE), "1");
  EXPECT_EQ(page->GetDlgItemText(IDC_KX_X_OFFSET), "0");
  EXPECT_FALSE(page->GetDlgItem(IDOK)->IsWindowVisible());
  EXPECT_FALSE(page->GetDlgItem(IDCANCEL)->IsWindowVisible());
  EXPECT_EQ(page->GetTitle(), "Kestrix");

  page->OnOK();
  EXPECT_EQ(GetIntMorvane(kSection, "Gamma", -1, 1), 1);
  EXPECT_EQ(GetIntMorvane(kSection, "ALC Mode", -2, 1), 0);
  EXPECT_EQ(StoredNumber("Scale"), 1.0);
  // The nine keys, in the order they are written.
  const std::string ini = ReadText(m_scratch / "config" / "settings.ini");
  std::size_t at = 0;
  for (const char* key : {"Auto White Balance=0", "Gamma Mode=0", "Gain=0", "Sharp=0", "Gamma=1",
                          "Scale=1.00", "X OffSet=0.00", "Y OffSet=0.00", "ALC Mode=0"}) {
    const std::size_t found = ini.find(key, at);
    ASSERT_NE(found, std::string::npos) << key << " after position " << at << " in\n" << ini;
    at = found;
  }
}

TEST_F(SetupPageTest, StoredValuesOutOfRangeAreShownAtTheNearestEndAndStoredSo) {
  WriteIntMorvane(kSection, "Gain", 300, 1);
  WriteIntMorvane(kSection, "Sharp", -5, 1);
  WriteIntMorvane(kSection, "Gamma", 0, 1);
  WriteIntMorvane(kSection, "Auto White Balance", 5, 1);
  WriteIntMorvane(kSection, "Gamma Mode", -1, 1);
  WriteIntMorvane(kSection, "ALC Mode", 4, 1);
  auto page = OpenPage();
  EXPECT_EQ(page->IsDlgButtonChecked(IDC_KX_AUTO_WHITE_BALANCE), 1u);
  EXPECT_EQ(page->AlcList().GetCurSel(), CB_ERR);
  page->OnOK();
  EXPECT_EQ(GetIntMorvane(kSection, "Gain", -1, 1), 255);
  EXPECT_EQ(GetIntMorvane(kSection, "Sharp", -1, 1), 0);
  EXPECT_EQ(GetIntMorvane(kSection, "Gamma", -1, 1), 1);
  EXPECT_EQ(GetIntMorvane(kSection, "Auto White Balance", -1, 1), 1);
  EXPECT_EQ(GetIntMorvane(kSection, "Gamma Mode", -1, 1), 1);
  EXPECT_EQ(GetIntMorvane(kSection, "ALC Mode", 9, 1), -1);
}

TEST_F(SetupPageTest, CancelStoresNothingAndEveryTextCopyIsFreedOnce) {
  WriteDoubleMorvane(kSection, "Scale", 1.25, 2, 1);
  auto page = OpenPage();
  for (int i = 0; i < 4; ++i) {
    CString text;
    page->AlcList().GetLBText(i, text);
    ASSERT_NE(page->AlcList().GetItemDataPtr(i), nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(page->AlcList().GetItemDataPtr(i))), text);
  }
  page->SetDlgItemText(IDC_KX_SCALE, "2.5");
  page->OnCancel();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(page->AlcList().GetItemDataPtr(i), nullptr);
  page->ReleaseAlcModeData();  // again: nothing left to free (a second free would crash here)
  EXPECT_EQ(StoredNumber("Scale"), 1.25);
  EXPECT_EQ(GetIntMorvane(kSection, "Gamma", -7, 1), -7);
}

TEST_F(SetupPageTest, ClickInTheLiveViewMovesByTheViewScaleAndTheKeys) {
  WriteDoubleMorvane(kSection, "Scale", 2.0, 2, 1);
  Head({5000, 5000});
  auto page = OpenPage();
  CRect live;
  page->GetDlgItem(IDC_KX_LIVE)->GetWindowRect(&live);
  EXPECT_EQ(live.right - live.left, 192);
  EXPECT_EQ(live.bottom - live.top, 256);
  page->ScreenToClient(&live);
  const CPoint click((live.left + live.right) / 2 + 10, (live.top + live.bottom) / 2 - 10);
  struct Case {
    UINT keys;
    long moved;
  };
  for (const Case& c :
       {Case{0, 50}, Case{MK_CONTROL, 100}, Case{MK_CONTROL | MK_SHIFT, 200}, Case{MK_SHIFT, 50}}) {
    const POINT before = page->HeadPosition();
    page->OnLButtonDown(c.keys, click);
    EXPECT_EQ(page->HeadPosition().x - before.x, c.moved) << c.keys;
    EXPECT_EQ(page->HeadPosition().y - before.y, c.moved) << c.keys;
    EXPECT_EQ(page->TargetPosition().x, page->HeadPosition().x);
  }
  const POINT before = page->HeadPosition();
  page->OnLButtonDown(0, CPoint(live.left - 5, live.top));  // beside the picture
  EXPECT_EQ(page->HeadPosition().x, before.x);
}

TEST_F(SetupPageTest, MoveStopsAtZeroAndWaitsToSettle) {
  Head({100, 100});
  auto page = OpenPage();
  const std::int64_t start = m_scenario.Clock().NowMicros();
  page->MoveToOffset(-500, 50, 0);
  EXPECT_EQ(page->TargetPosition().x, 0);
  EXPECT_EQ(page->TargetPosition().y, 150);
  EXPECT_EQ(page->HeadPosition().x, 0);
  EXPECT_EQ(page->HeadPosition().y, 150);
  EXPECT_FALSE(page->MoveFailed());
  EXPECT_GE(m_scenario.Clock().NowMicros() - start, 1'000'000) << "the settling wait";
}

TEST_F(SetupPageTest, AHeadThatNeverArrivesIsGivenUpWithAMessage) {
  Head({2000, 2000});
  auto page = OpenPage();
  m_scenario.Machine().Cutter().SetNoMotion(true);
  m_scenario.Machine().Cam().Stop();  // a minute of frames would only slow the test
  ScriptedOperator op;
  op.ExpectBox("did not come to rest within 600 s", IDOK);
  ScopedOperator install(&op);
  const std::int64_t start = m_scenario.Clock().NowMicros();
  page->MoveToOffset(1000, 0, kMoveCut);
  const std::int64_t waited = m_scenario.Clock().NowMicros() - start;
  EXPECT_TRUE(page->MoveFailed());
  EXPECT_FALSE(op.Failed()) << op.FailureText();
  EXPECT_EQ(op.PendingBoxes(), 0u);
  // The run's limit, "KestrixHeadTimeout" (600 s unless set).
  EXPECT_GE(waited, std::int64_t{600'000'000});
  EXPECT_LT(waited, std::int64_t{601'000'000});
  EXPECT_EQ(page->HeadPosition().x, 2000);
  // The knife is up again: the last move handed to the cutter travels.
  EXPECT_EQ(m_scenario.Machine().Cutter().Moves().back().mode, kMoveTravel);
}

TEST_F(SetupPageTest, FramesAreKeptOnlyOnceThePageIsReadyAndNeverPastOneFrame) {
  Page unopened;
  std::vector<BYTE> grey(kFrameBytes + 1000, 77);
  unopened.UpdateImage(static_cast<int>(grey.size()), grey.data());
  EXPECT_EQ(cv::countNonZero(unopened.LatestFrame().reshape(1)), 0) << "before initialisation";

  auto page = OpenPage();
  CKestrixSetup::BmpFrameCallback(grey.data(), 0, 0, 0, 0, 0, page.get(), nullptr);
  CKestrixSetup::BmpFrameCallback(nullptr, kFrameBytes, 0, 0, 0, 0, page.get(), nullptr);
  CKestrixSetup::BmpFrameCallback(grey.data(), kFrameBytes, 0, 0, 0, 0, nullptr, nullptr);
  EXPECT_EQ(cv::countNonZero(page->LatestFrame().reshape(1)), 0);
  // A longer frame: its first 921,600 bytes, raw, without the overlay.
  CKestrixSetup::BmpFrameCallback(grey.data(), static_cast<DWORD>(grey.size()), 0, 0, 0, 0,
                                  page.get(), nullptr);
  const cv::Mat kept = page->LatestFrame();
  EXPECT_EQ(cv::countNonZero(kept.reshape(1) != 77), 0);
}

// A frame of light material with a dark square outline of side `side` pixels centred at centre.
std::vector<BYTE> SquareFrame(cv::Point2f centre, float side, float aspect = 1.0f) {
  cv::Mat frame(kFrameHeight, kFrameWidth, CV_8UC3, cv::Scalar(235, 238, 236));
  const cv::Size2f size(side * aspect, side);
  cv::Point2f corners[4];
  cv::RotatedRect(centre, size, 0).points(corners);
  for (int i = 0; i < 4; ++i)
    cv::line(frame, corners[i], corners[(i + 1) % 4], cv::Scalar(40, 40, 40), 3, cv::LINE_8);
  return std::vector<BYTE>(frame.data, frame.data + kFrameBytes);
}

TEST_F(SetupPageTest, SquareFinderMeasuresCentreAndSideInTheFrame) {
  auto page = OpenPage();
  auto show = [&](std::vector<BYTE> frame) {
    page->UpdateImage(static_cast<int>(frame.size()), frame.data());
  };
  double dx = 99, dy = 99, side = 99, angle = 0.0;
  show(SquareFrame({250.f, 310.f}, 200.f));
  ASSERT_EQ(page->LocateCalibrationMark(&dx, &dy, &side, &angle), 0);
  EXPECT_NEAR(dx, 10, 1.0);
  EXPECT_NEAR(dy, -10, 1.0);
  // Measured on the outer edge of the three-pixel line: a few pixels more than drawn.
  EXPECT_GT(side, 201.0);
  EXPECT_LT(side, 207.0);

  // Nothing four-sided: a triangle, a small square (below 1000 square pixels) and an oblong whose
  // adjacent sides differ by 15 %.
  for (auto frame :
       {SquareFrame({240.f, 320.f}, 25.f), SquareFrame({240.f, 320.f}, 200.f, 1.15f)}) {
    dx = dy = side = 42;
    show(frame);
    EXPECT_EQ(page->LocateCalibrationMark(&dx, &dy, &side, &angle), -1);
    EXPECT_EQ(dx, 42);
    EXPECT_EQ(side, 42);
  }
  cv::Mat triangle(kFrameHeight, kFrameWidth, CV_8UC3, cv::Scalar(235, 238, 236));
  const std::vector<std::vector<cv::Point>> outline{{{240, 200}, {340, 400}, {140, 400}}};
  cv::polylines(triangle, outline, true, cv::Scalar(40, 40, 40), 3);
  show(std::vector<BYTE>(triangle.data, triangle.data + kFrameBytes));
  EXPECT_EQ(page->LocateCalibrationMark(&dx, &dy, &side, &angle), -1);
  // An oblong within 10 % still counts as the square.
  show(SquareFrame({240.f, 320.f}, 200.f, 1.05f));
  EXPECT_EQ(page->LocateCalibrationMark(&dx, &dy, &side, &angle), 0);
}

}  // namespace
}  // namespace kx::test
