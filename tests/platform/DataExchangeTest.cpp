// Data exchange in both directions, failures on text that does not parse, control ranges.
#include <gtest/gtest.h>

#include "ExampleDialog.h"
#include "common/Log.h"
#include "platform/Operator.h"

namespace kx::test {
namespace {

class DataExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kx::InstallOperator(&m_operator);
    ASSERT_TRUE(m_dlg.Create(kExampleTemplate));
  }
  void TearDown() override {
    m_dlg.DestroyWindow();
    kx::InstallOperator(nullptr);
  }
  ScopedExampleResources m_resources;
  kx::ScriptedOperator m_operator;
  CExampleDialog m_dlg;
};

TEST_F(DataExchangeTest, NumbersRoundTripInTheirShortestForm) {
  const double doubles[] = {1.0 / 3.0, -2.5e-7, 123456789.125};
  for (double d : doubles) {
    m_dlg.m_dScale = d;
    ASSERT_TRUE(m_dlg.UpdateData(FALSE));
    m_dlg.m_dScale = 99;
    ASSERT_TRUE(m_dlg.UpdateData(TRUE));
    EXPECT_NEAR(m_dlg.m_dScale, d, std::abs(d) * 1e-14) << m_dlg.GetDlgItemText(kIdScale);
  }
  m_dlg.m_dScale = 0.1;
  m_dlg.m_fStep = 0.1f;
  m_dlg.UpdateData(FALSE);
  EXPECT_EQ(m_dlg.GetDlgItemText(kIdScale), "0.1");
  EXPECT_EQ(m_dlg.GetDlgItemText(kIdStep), "0.1");
  m_dlg.UpdateData(TRUE);
  EXPECT_EQ(m_dlg.m_fStep, 0.1f);
}

// One text per refusal: blank, trailing characters, beyond the member's type, not finite.
TEST_F(DataExchangeTest, TextThatDoesNotParseFailsAndKeepsTheMember) {
  const struct {
    int id;
    const char* text;
    const char* box;
  } cases[] = {{kIdCount, "  ", "Please enter an integer."},
               {kIdCount, "12a", "Please enter an integer."},
               {kIdCount, "99999999999", "Please enter an integer."},
               {kIdScale, "2,5", "Please enter a number."},
               {kIdScale, "1e999", "Please enter a number."},
               {kIdScale, "nan", "Please enter a number."},
               {kIdStep, "1e39", "Please enter a number."}};
  for (const auto& c : cases) {
    m_operator.ExpectBox(c.box, IDOK);
    m_dlg.m_nCount = 5;
    m_dlg.m_dScale = 8;
    m_dlg.m_fStep = 2;
    m_dlg.SetDlgItemText(kIdCount, "1");
    m_dlg.SetDlgItemText(kIdScale, "9");
    m_dlg.SetDlgItemText(kIdStep, "3");
    m_dlg.SetDlgItemText(c.id, c.text);
    EXPECT_FALSE(m_dlg.UpdateData(TRUE)) << c.text;
    // The exchange stopped at the failing control: it and the members after it are kept.
    EXPECT_EQ(m_dlg.m_nCount, c.id == kIdCount ? 5 : 1) << c.text;
    EXPECT_EQ(m_dlg.m_dScale, c.id == kIdStep ? 9 : 8) << c.text;
    EXPECT_EQ(m_dlg.m_fStep, 2) << c.text;
  }
  EXPECT_EQ(m_operator.PendingBoxes(), 0u);
  EXPECT_FALSE(m_operator.Failed()) << m_operator.FailureText();
}

// A slider keeps its position within its range, a list its selection among its entries; a radio
// group with none checked reads -1. (The windows' own suites exchange every kind of control.)
TEST_F(DataExchangeTest, ControlsKeepTheirValuesInRange) {
  CSliderCtrl& s = m_dlg.m_sldGain;
  s.SetPos(300);
  EXPECT_EQ(s.GetPos(), 255);
  s.SetPos(-4);
  EXPECT_EQ(s.GetPos(), 0);
  s.SetRange(500, 200);  // swapped, and the position moves into it
  EXPECT_EQ(s.GetRangeMin(), 200);
  EXPECT_EQ(s.GetRangeMax(), 500);
  EXPECT_EQ(s.GetPos(), 200);
  m_dlg.m_nGain = 1000;

  CComboBox& c = m_dlg.m_cbMode;
  ASSERT_EQ(c.GetCount(), 3);
  EXPECT_EQ(c.SetCurSel(3), CB_ERR);
  EXPECT_EQ(c.GetCurSel(), -1);
  int data = 5;
  EXPECT_EQ(c.SetItemDataPtr(3, &data), CB_ERR);
  EXPECT_EQ(c.GetItemDataPtr(3), nullptr);
  m_dlg.m_nMode = 7;
  m_dlg.UpdateData(FALSE);
  EXPECT_EQ(s.GetPos(), 500);
  m_dlg.CheckRadioButton(kIdRoll, kIdSheet, 0);
  ASSERT_TRUE(m_dlg.UpdateData(TRUE));
  EXPECT_EQ(m_dlg.m_nMode, -1);
  EXPECT_EQ(m_dlg.m_nRollSheet, -1);
}

TEST_F(DataExchangeTest, MissingControlFailsTheExchange) {
  class CBroken : public CDialog {
   public:
    CBroken() : CDialog(kExampleTemplate) {}
    int m_n = 1;
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, 4711, m_n); }
  };
  kx::ScopedLogCapture log;
  CBroken broken;
  ASSERT_TRUE(broken.Create(kExampleTemplate));  // its first load fails too
  EXPECT_FALSE(broken.UpdateData(FALSE));
  EXPECT_FALSE(broken.UpdateData(TRUE));
  EXPECT_EQ(broken.m_n, 1);
  const std::string line =
      "kestrix: window: data exchange: the dialog \"Example\" has no control 4711";
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{line, line, line}));
}

TEST_F(DataExchangeTest, BitmapButtonsTakeOnlyBgrBitmapsOfTheResources) {
  m_resources.m_bitmaps[300] = cv::Mat(8, 8, CV_8UC1, cv::Scalar(0));
  CBitmapButton& button = m_dlg.m_btnArrow;
  RECT before{};
  button.GetWindowRect(&before);
  kx::ScopedLogCapture log;
  EXPECT_FALSE(button.LoadBitmap(999));
  EXPECT_FALSE(button.LoadBitmap(300));
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                             "kestrix: window: LoadBitmap: bitmap 999 is not among the resources",
                             "kestrix: window: LoadBitmap: bitmap 300 is not 8-bit BGR"}));
  RECT after{};
  button.GetWindowRect(&after);
  EXPECT_EQ(after.right - after.left, before.right - before.left);  // failures change nothing

  ASSERT_TRUE(button.LoadBitmap(kArrowBitmap, TRUE));
  button.GetWindowRect(&after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.right - after.left, 24);
  EXPECT_EQ(after.bottom - after.top, 24);
  EXPECT_EQ(log.Lines().size(), 2u);
}

TEST_F(DataExchangeTest, PictureTakesAndGivesBackBitmaps) {
  BITMAPINFO info{};
  info.bmiHeader = kx::MakeBgrHeader(8, 4);
  void* bits = nullptr;
  HBITMAP first = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HBITMAP second = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(m_dlg.m_wndLive.SetBitmap(first), nullptr);
  const LRESULT previous = ::SendMessage(m_dlg.m_wndLive.m_hWnd, STM_SETIMAGE, IMAGE_BITMAP,
                                         reinterpret_cast<LPARAM>(second));
  EXPECT_EQ(reinterpret_cast<HBITMAP>(previous), first);
  EXPECT_EQ(reinterpret_cast<HBITMAP>(
                ::SendMessage(m_dlg.m_wndLive.m_hWnd, STM_GETIMAGE, IMAGE_BITMAP, 0)),
            second);
  EXPECT_TRUE(DeleteObject(first));
  EXPECT_EQ(m_dlg.m_wndLive.SetBitmap(nullptr), second);
  EXPECT_TRUE(DeleteObject(second));
}

}  // namespace
}  // namespace kx::test
