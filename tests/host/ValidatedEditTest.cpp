// The validated edit through the user's input path: refused texts revert, the dialog reads only
// valid values.
#include <gtest/gtest.h>

#include <string>

#include "host/ResourceIds.h"
#include "host/ValidatedEdit.h"
#include "platform/Dialog.h"
#include "platform/Input.h"
#include "tests/support/HostFixture.h"

namespace {

// The setup page's Scale and X offset edits, set up the way the page sets them up.
class EditDialog : public CDialog {
 public:
  EditDialog() : CDialog(IDD_KESTRIX_SETUP) {}

  CValidatedEdit m_edtScale;
  CValidatedEdit m_edtXOffset;
  double m_dScale = 1.5;
  double m_dXOffset = -20.0;

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_edtScale.SetDecimalMode(0);
    m_edtScale.SetMinRange(0.0);
    m_edtXOffset.GetSettings(m_edtScale);
    m_edtXOffset.SetMinRange(-100000.0);
    m_edtScale.SetValue(CValue(m_dScale, 0), FALSE, TRUE);
    m_edtXOffset.SetValue(CValue(m_dXOffset, 0), FALSE, TRUE);
    return TRUE;
  }

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, IDC_KX_SCALE, m_edtScale);
    DDX_Control(pDX, IDC_KX_X_OFFSET, m_edtXOffset);
    DDX_Text(pDX, IDC_KX_SCALE, m_dScale);
    DDX_Text(pDX, IDC_KX_X_OFFSET, m_dXOffset);
  }
};

class ValidatedEditTest : public kx::test::HostTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dlg.Create(IDD_KESTRIX_SETUP));
    m_dlg.ShowWindow(SW_SHOW);
  }

  // Types text into the edit as a user would and lets the dialog handle what that posted; returns
  // what the edit shows afterwards.
  std::string Type(int id, const std::string& text) {
    EXPECT_TRUE(kx::SetControlText(m_dlg.m_hWnd, id, text)) << id;
    MSG msg;
    while (::PeekMessage(&msg, m_dlg.m_hWnd, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessage(&msg);
    }
    return m_dlg.GetDlgItemText(id);
  }

  EditDialog m_dlg;
};

TEST_F(ValidatedEditTest, RefusedTextsRevertToTheLastValidValue) {
  EXPECT_EQ(m_dlg.GetDlgItemText(IDC_KX_SCALE), "1.5");
  const struct {
    const char* typed;
    const char* shown;  // what the edit shows afterwards
    double value;       // what the dialog then reads
  } steps[] = {
      {"-0.001", "1.5", 1.5},  // below the minimum
      {"2.5x", "1.5", 1.5},   {"", "1.5", 1.5},
      {"3.25", "3.25", 3.25},  // taken: now the last valid value
      {"0", "0", 0.0},         // the minimum itself is allowed
      {"1e400", "0", 0.0},     // out of range of a double
      {" 4 ", " 4 ", 4.0},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.typed);
    EXPECT_EQ(Type(IDC_KX_SCALE, s.typed), s.shown);
    EXPECT_TRUE(m_dlg.UpdateData(TRUE));
    EXPECT_EQ(m_dlg.m_dScale, s.value);
    EXPECT_EQ(m_dlg.m_edtScale.Value(), s.value);
  }
}

TEST_F(ValidatedEditTest, IntegerModeRefusesDecimals) {
  m_dlg.m_edtScale.SetIntegerMode(2);
  EXPECT_EQ(Type(IDC_KX_SCALE, "7"), "7");
  EXPECT_EQ(Type(IDC_KX_SCALE, "2.5"), "7");
  EXPECT_EQ(Type(IDC_KX_SCALE, "3e2"), "7");
  EXPECT_EQ(Type(IDC_KX_SCALE, "-1"), "7");  // the minimum still holds
  EXPECT_TRUE(m_dlg.UpdateData(TRUE));
  EXPECT_EQ(m_dlg.m_dScale, 7.0);
  // A value given in code is cut to a whole number.
  EXPECT_TRUE(m_dlg.m_edtScale.SetValue(CValue(8.9, 2), FALSE, TRUE));
  EXPECT_EQ(m_dlg.GetDlgItemText(IDC_KX_SCALE), "8");
  EXPECT_FALSE(m_dlg.m_edtScale.SetValue(CValue(-3.0, 2), FALSE, TRUE));
  EXPECT_EQ(m_dlg.GetDlgItemText(IDC_KX_SCALE), "8");
}

TEST(ValidatedEdit, GetSettingsCopiesTheSettingsNotTheValue) {
  CValidatedEdit source;
  source.SetIntegerMode(3);
  source.SetMinRange(5.0);
  source.SetSpinMode(true, 2.0, false);
  ASSERT_TRUE(source.SetValue(CValue(40.0, 3), FALSE, FALSE));

  CValidatedEdit copy;
  ASSERT_TRUE(copy.SetValue(CValue(9.5, 0), FALSE, FALSE));
  copy.GetSettings(source);
  EXPECT_EQ(copy.Value(), 9.5);
  double v = 0.0;
  EXPECT_FALSE(copy.Accepts("4", &v));
  EXPECT_FALSE(copy.Accepts("6.5", &v));
  EXPECT_TRUE(copy.Accepts("6", &v));
  EXPECT_EQ(v, 6.0);
  EXPECT_TRUE(copy.Spin(1));  // the step came along
  EXPECT_EQ(copy.Value(), 11.0);
  // The source is not tied to the copy.
  copy.SetMinRange(-1.0);
  EXPECT_EQ(source.MinRange(), 5.0);
  EXPECT_EQ(source.Value(), 40.0);
}

}  // namespace
