// Translating a dialog's texts through the catalogs, and catalogs that cover every key the windows
// show.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/ResourceIds.h"
#include "host/Translation.h"
#include "platform/Dialog.h"
#include "tests/support/HostFixture.h"

namespace kx::test {
namespace {

const std::string kPrefix = "(*v*)";

bool IsKey(const std::string& text) { return text.rfind(kPrefix, 0) == 0; }

// Texts of the window and its controls, the window's first.
std::vector<std::string> Texts(const CWnd& window) {
  std::vector<std::string> texts{window.GetWindowText()};
  for (CWnd* child = window.GetWindow(GW_CHILD); child; child = child->GetWindow(GW_HWNDNEXT))
    texts.push_back(child->GetWindowText());
  return texts;
}

class TranslateDialogTest : public HostTest {};

TEST_F(TranslateDialogTest, GermanCatalogTranslatesTheSetupPage) {
  ASSERT_TRUE(m_host.Texts().SetLanguage("de")) << m_host.Texts().LastError();
  CDialog page(IDD_KESTRIX_SETUP);
  ASSERT_TRUE(page.Create(IDD_KESTRIX_SETUP));
  page.SetDlgItemText(IDC_KX_SCALE, "1.5");
  TranslateDialog(&page);

  EXPECT_EQ(page.GetWindowText(), "Kestrix");
  EXPECT_EQ(page.GetDlgItemText(IDC_KX_CALIBRATE), "Kalibrieren");
  EXPECT_EQ(page.GetDlgItemText(IDC_KX_SCALE), "1.5");  // not a key: left as it is
  // Every key is translated, the labels without identifiers too.
  const std::vector<std::string> texts = Texts(page);
  for (const std::string& text : texts) EXPECT_FALSE(IsKey(text)) << text;
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Verstärkung"), texts.end());

  // Translated texts are no keys any more: a second pass changes nothing.
  TranslateDialog(&page);
  EXPECT_EQ(Texts(page), texts);
}

TEST_F(TranslateDialogTest, PlainTextsAndWindowlessObjectsAreLeftAlone) {
  ASSERT_TRUE(m_host.Texts().SetLanguage("de"));
  CDialog acquire(IDD_KESTRIX_ACQUIRE);
  ASSERT_TRUE(acquire.Create(IDD_KESTRIX_ACQUIRE));
  const std::vector<std::string> before = Texts(acquire);
  TranslateDialog(&acquire);
  EXPECT_EQ(Texts(acquire), before);
  EXPECT_EQ(acquire.GetDlgItemText(IDC_KX_ZET_START), "Start");

  CDialog none(IDD_KESTRIX_SETUP);
  TranslateDialog(&none);
  TranslateDialog(nullptr);
  EXPECT_EQ(none.GetSafeHwnd(), nullptr);
}

// Every key a window of the module shows: the templates' captions, the run dialog's buttons and
// messages, the page's title and its light-level entries.
std::vector<std::string> KeysShown() {
  std::vector<std::string> keys{
      "(*v*)Stop",
      "(*v*)Close",
      "(*v*)Kestrix error",
      "(*v*)Unable to locate image. Select 'OK' to manually locate or 'Cancel' to cancel the job.",
      "(*v*)Please locate first registration area and click on Start.",
      "(*v*)This window has no cutter to cut with. The copy was registered but not cut; the run "
      "stops.",
      "(*v*)Kestrix",
      "(*v*)ALC Fixed AGC Off",
      "(*v*)ALC Full Auto AGC On",
      "(*v*)ALC Full Auto AGC Off",
      "(*v*)ALC Fixed AGC On",
  };
  for (const DialogTemplate& t :
       {MakeSetupPageTemplate(), MakeAcquireDialogTemplate(), MakeRunDialogTemplate()}) {
    if (IsKey(t.caption)) keys.push_back(t.caption);
    for (const auto& c : t.controls)
      if (IsKey(c.caption)) keys.push_back(c.caption);
  }
  return keys;
}

TEST_F(TranslateDialogTest, BothCatalogsHoldEveryKeyTheWindowsShow) {
  const std::vector<std::string> keys = KeysShown();
  ASSERT_GT(keys.size(), 20u);
  for (const char* language : {"en", "de"}) {
    ASSERT_TRUE(m_host.Texts().SetLanguage(language)) << m_host.Texts().LastError();
    for (const std::string& key : keys) {
      const auto text = m_host.Texts().Lookup(key);
      ASSERT_TRUE(text.has_value()) << language << ": " << key;
      EXPECT_FALSE(text->empty()) << language << ": " << key;
      if (std::string(language) == "en") {
        EXPECT_EQ(*text, key.substr(kPrefix.size()));
      }
    }
  }
}

}  // namespace
}  // namespace kx::test
