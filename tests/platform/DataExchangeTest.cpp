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

TEST_F(DataExchangeTest, LoadFillsTheControls) {
  EXPECT_EQ(m_dlg.GetDlgItemText(kIdCount), "3");
  EXPECT_EQ(m_dlg.GetDlgItemText(kIdScale), "2.5");
  EXPECT_EQ(m_dlg.GetDlgItemText(kIdStep), "0.125");
  EXPECT_EQ(m_dlg.GetDlgItemText(kIdName), "sheet");
  EXPECT_EQ(m_dlg.GetDlgItemText(kIdStatus), "Ready");
  EXPECT_EQ(m_dlg.IsDlgButtonChecked(kIdAuto), 1u);
  EXPECT_EQ(m_dlg.IsDlgButtonChecked(kIdRoll), 1u);
  EXPECT_EQ(m_dlg.IsDlgButtonChecked(kIdSheet), 0u);
  EXPECT_EQ(m_dlg.m_sldGain.GetPos(), 40);
  EXPECT_EQ(m_dlg.m_cbMode.GetCurSel(), 1);
}

TEST_F(DataExchangeTest, NumbersRoundTripInTheirShortestForm) {
  const double doubles[] = {0.1, 1.0 / 3.0, -2.5e-7, 123456789.125, 0.0};
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

TEST_F(DataExchangeTest, SaveReadsEveryKindOfControl) {
  m_dlg.SetDlgItemText(kIdCount, " 17 ");
  m_dlg.SetDlgItemText(kIdName, "roll");
  m_dlg.CheckDlgButton(kIdAuto, 0);
  m_dlg.CheckRadioButton(kIdRoll, kIdSheet, kIdSheet);
  m_dlg.m_sldGain.SetPos(99);
  m_dlg.m_cbMode.SetCurSel(2);
  ASSERT_TRUE(m_dlg.UpdateData(TRUE));
  EXPECT_EQ(m_dlg.m_nCount, 17);
  EXPECT_EQ(m_dlg.m_strName, "roll");
  EXPECT_EQ(m_dlg.m_bAuto, 0);
  EXPECT_EQ(m_dlg.m_nRollSheet, 1);
  EXPECT_EQ(m_dlg.m_nGain, 99);
  EXPECT_EQ(m_dlg.m_nMode, 2);

  m_dlg.CheckRadioButton(kIdRoll, kIdSheet, 0);  // none checked
  ASSERT_TRUE(m_dlg.UpdateData(TRUE));
  EXPECT_EQ(m_dlg.m_nRollSheet, -1);
}

TEST_F(DataExchangeTest, TextThatDoesNotParseFailsAndKeepsTheMember) {
  const char* badInts[] = {"", "12a", "1.5", "99999999999", "  "};
  for (const char* text : badInts) {
    m_operator.ExpectBox("Please enter an integer.", IDOK);
    m_dlg.SetDlgItemText(kIdCount, text);
    m_dlg.m_nCount = 5;
    m_dlg.m_dScale = 8;
    m_dlg.SetDlgItemText(kIdScale, "9");
    EXPECT_FALSE(m_dlg.UpdateData(TRUE)) << text;
    EXPECT_EQ(m_dlg.m_nCount, 5);
    EXPECT_EQ(m_dlg.m_dScale, 8);  // the exchange stopped at the failing control
  }
  m_dlg.SetDlgItemText(kIdCount, "1");
  const char* badNumbers[] = {"abc", "1e999", "nan", "2,5"};
  for (const char* text : badNumbers) {
    m_operator.ExpectBox("Please enter a number.", IDOK);
    m_dlg.SetDlgItemText(kIdScale, text);
    EXPECT_FALSE(m_dlg.UpdateData(TRUE)) << text;
    EXPECT_EQ(m_dlg.m_dScale, 8);
  }
  m_dlg.SetDlgItemText(kIdScale, "1");
  m_operator.ExpectBox("Please enter a number.", IDOK);
  m_dlg.SetDlgItemText(kIdStep, "1e39");  // beyond a float
  EXPECT_FALSE(m_dlg.UpdateData(TRUE));
  EXPECT_EQ(m_operator.PendingBoxes(), 0u);
  EXPECT_FALSE(m_operator.Failed()) << m_operator.FailureText();
}

TEST_F(DataExchangeTest, SliderClampsIntoItsRange) {
  CSliderCtrl& s = m_dlg.m_sldGain;
  s.SetPos(300);
  EXPECT_EQ(s.GetPos(), 255);
  s.SetPos(-4);
  EXPECT_EQ(s.GetPos(), 0);
  s.SetPos(100);
  s.SetRange(500, 1);  // swapped, and the position moves into it
  EXPECT_EQ(s.GetRangeMin(), 1);
  EXPECT_EQ(s.GetRangeMax(), 500);
  s.SetRange(200, 400);
  EXPECT_EQ(s.GetPos(), 200);
  m_dlg.m_nGain = 1000;
  m_dlg.UpdateData(FALSE);
  EXPECT_EQ(s.GetPos(), 400);
}

TEST_F(DataExchangeTest, ListSelectionOutsideTheListIsNone) {
  CComboBox& c = m_dlg.m_cbMode;
  ASSERT_EQ(c.GetCount(), 3);
  EXPECT_EQ(c.SetCurSel(3), CB_ERR);
  EXPECT_EQ(c.GetCurSel(), -1);
  EXPECT_EQ(c.SetCurSel(1), 1);
  EXPECT_EQ(c.SetCurSel(-1), CB_ERR);
  EXPECT_EQ(c.GetCurSel(), -1);
  m_dlg.m_nMode = 7;
  m_dlg.UpdateData(FALSE);
  m_dlg.UpdateData(TRUE);
  EXPECT_EQ(m_dlg.m_nMode, -1);
  int data = 5;
  EXPECT_EQ(c.GetItemDataPtr(3), nullptr);
  EXPECT_EQ(c.SetItemDataPtr(3, &data), CB_ERR);
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
