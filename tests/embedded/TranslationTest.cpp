// Translation through the compiled catalogs: the active language, fallbacks, broken catalogs and
// cutting into buffers.
#include <gtest/gtest.h>

#include <cstring>

#include "host/Translation.h"
#include "tests/support/HostFixture.h"

namespace kx::test {
namespace {

class TranslationTest : public HostTest {};

TEST_F(TranslationTest, KeysTranslateInTheActiveLanguageAndOtherTextsStayAsTheyAre) {
  ASSERT_EQ(m_host.Texts().LastError(), "") << "catalogs are built next to the tests";
  EXPECT_EQ(Translate("(*v*)Close"), "Close");
  // Unknown keys fall back to the text after the prefix; other texts come back as they are.
  EXPECT_EQ(m_host.Texts().Lookup("(*v*)No such key"), std::nullopt);
  EXPECT_EQ(Translate("(*v*)No such key"), "No such key");
  EXPECT_EQ(Translate("Ready"), "Ready");
  EXPECT_EQ(Translate("x(*v*)Stop"), "x(*v*)Stop");

  ASSERT_TRUE(m_host.Texts().SetLanguage("de")) << m_host.Texts().LastError();
  EXPECT_EQ(Translate("(*v*)Close"), "Schließen");
  EXPECT_EQ(Translate("(*v*)No such key"), "No such key");
  EXPECT_EQ(Translate("Ready"), "Ready");
}

// The printf conversions of a text, in order: "%d%d" for "Images %d X %d".
std::string Conversions(const std::string& text) {
  std::string out;
  for (std::size_t i = text.find('%'); i != std::string::npos; i = text.find('%', i + 2))
    out += text.substr(i, 2);
  return out;
}

TEST_F(TranslationTest, GermanTextsKeepTheConversionsOfTheirKeys) {
  const auto file = Translator::DefaultCatalogFolder() / "de" / "LC_MESSAGES" / "kestrix.mo";
  std::map<std::string, std::string> catalog;
  std::string error;
  ASSERT_TRUE(LoadMoCatalog(file, &catalog, &error)) << error;
  ASSERT_GT(catalog.size(), 20u);
  int formats = 0;
  for (const auto& [key, text] : catalog) {
    if (key.empty()) continue;  // the catalog's header
    EXPECT_EQ(Conversions(text), Conversions(key)) << key;
    formats += !Conversions(key).empty();
  }
  EXPECT_GT(formats, 0) << "no key with a conversion to check";
}

TEST_F(TranslationTest, MissingLanguageKeepsTheCurrentOneAndSaysWhy) {
  EXPECT_FALSE(m_host.Texts().SetLanguage("xx"));
  EXPECT_NE(m_host.Texts().LastError().find("xx/LC_MESSAGES/kestrix.mo: cannot be opened"),
            std::string::npos)
      << m_host.Texts().LastError();
  EXPECT_EQ(m_host.Texts().Language(), "en");
  EXPECT_EQ(Translate("(*v*)Stop"), "Stop");
}

TEST_F(TranslationTest, TruncatedOrForeignCatalogsAreRefusedWithTheFileNamed) {
  const auto good = Translator::DefaultCatalogFolder() / "de" / "LC_MESSAGES" / "kestrix.mo";
  const std::string bytes = ReadText(good);
  ASSERT_GT(bytes.size(), 100u);
  const auto bad = m_scratch / "bad.mo";
  std::map<std::string, std::string> catalog;
  std::string error;
  for (std::size_t cut : {std::size_t{10}, std::size_t{40}, bytes.size() - 20}) {
    WriteText(bad, bytes.substr(0, cut));
    EXPECT_FALSE(LoadMoCatalog(bad, &catalog, &error)) << cut;
    EXPECT_NE(error.find(bad.string()), std::string::npos) << error;
  }
  WriteText(bad, std::string(64, 'x'));
  EXPECT_FALSE(LoadMoCatalog(bad, &catalog, &error));
  EXPECT_NE(error.find("bad magic number"), std::string::npos) << error;
  EXPECT_TRUE(LoadMoCatalog(good, &catalog, &error));
  EXPECT_EQ(catalog.at("(*v*)Camera Image"), "Kamerabild");
}

TEST_F(TranslationTest, TStringCutsToTheBufferWithoutSplittingACharacter) {
  ASSERT_TRUE(m_host.Texts().SetLanguage("de"));
  // "Schließen": the ß takes bytes 6 and 7; an 8-byte buffer has room for 7 bytes, which would end
  // in half of it, so it holds "Schlie"; a 9-byte buffer holds the whole ß.
  const struct {
    const char* key;
    int size;
    const char* expect;
  } cases[] = {{"(*v*)Camera Image", 256, "Kamerabild"},
               {"(*v*)Camera Image", 5, "Kame"},
               {"(*v*)Close", 8, "Schlie"},
               {"(*v*)Close", 9, "Schlie\xC3\x9F"},
               {"(*v*)Close", 1, ""}};
  char buffer[256];
  for (const auto& c : cases) {
    std::memset(buffer, 'x', sizeof buffer);
    TString(c.key, buffer, c.size);
    EXPECT_STREQ(buffer, c.expect) << c.key << " in " << c.size << " bytes";
  }
  TString("(*v*)Close", nullptr, 10);
  TString(nullptr, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "");
}

}  // namespace
}  // namespace kx::test
