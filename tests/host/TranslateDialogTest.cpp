// Translating a dialog's texts through the catalogs, and catalogs that agree on their keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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

  // Nothing to translate without a window.
  CDialog none(IDD_KESTRIX_SETUP);
  TranslateDialog(&none);
  TranslateDialog(nullptr);
  EXPECT_EQ(none.GetSafeHwnd(), nullptr);
}

// The catalogs hold the same keys, English as the key says, and the keys of every template.
TEST_F(TranslateDialogTest, BothCatalogsHoldTheSameKeysAmongThemThoseOfEveryTemplate) {
  std::map<std::string, std::string> en, de;
  std::string error;
  const auto folder = Translator::DefaultCatalogFolder();
  ASSERT_TRUE(LoadMoCatalog(folder / "en" / "LC_MESSAGES" / "kestrix.mo", &en, &error)) << error;
  ASSERT_TRUE(LoadMoCatalog(folder / "de" / "LC_MESSAGES" / "kestrix.mo", &de, &error)) << error;
  ASSERT_GT(en.size(), 20u);
  for (const auto& [key, text] : en) {
    if (key.empty()) continue;  // the catalog's header
    EXPECT_EQ(text, key.substr(kPrefix.size()));
    EXPECT_TRUE(de.count(key) && !de.at(key).empty()) << "no German text for " << key;
  }
  EXPECT_EQ(de.size(), en.size());
  for (const DialogTemplate& t :
       {MakeSetupPageTemplate(), MakeAcquireDialogTemplate(), MakeRunDialogTemplate()}) {
    EXPECT_TRUE(!IsKey(t.caption) || en.count(t.caption)) << t.caption;
    for (const auto& c : t.controls)
      EXPECT_TRUE(!IsKey(c.caption) || en.count(c.caption)) << c.caption;
  }
}

}  // namespace
}  // namespace kx::test
