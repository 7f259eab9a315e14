// Translation through the compiled catalogs: English, German, fallbacks, cutting into buffers.
#include <gtest/gtest.h>

#include <cstring>

#include "host/Translation.h"
#include "tests/support/HostFixture.h"

namespace {

using kxtest::HostTest;

class TranslationTest : public HostTest {};

TEST_F(TranslationTest, EnglishCatalogGivesTheTextAfterThePrefix) {
  ASSERT_EQ(m_host.Texts().LastError(), "") << "catalogs are built next to the tests";
  EXPECT_EQ(m_host.Texts().Lookup("(*v*)Kestrix error"), "Kestrix error");
  EXPECT_EQ(kx::Translate("(*v*)Close"), "Close");
  EXPECT_EQ(kx::Translate("(*v*)ALC Full Auto AGC On"), "ALC Full Auto AGC On");
  EXPECT_EQ(kx::Translate(
                "(*v*)Please move camera above reference square and click \"Calibrate\" button."),
            "Please move camera above reference square and click \"Calibrate\" button.");
  // Unknown keys fall back to the text after the prefix; other texts come back as they are.
  EXPECT_EQ(m_host.Texts().Lookup("(*v*)No such key"), std::nullopt);
  EXPECT_EQ(kx::Translate("(*v*)No such key"), "No such key");
  EXPECT_EQ(kx::Translate("Ready"), "Ready");
  EXPECT_EQ(kx::Translate("x(*v*)Stop"), "x(*v*)Stop");
}

TEST_F(TranslationTest, GermanCatalogTranslatesTheRunDialogsTexts) {
  ASSERT_TRUE(m_host.Texts().SetLanguage("de")) << m_host.Texts().LastError();
  EXPECT_EQ(kx::Translate("(*v*)Stop"), "Stopp");
  EXPECT_EQ(kx::Translate("(*v*)Close"), "Schließen");
  EXPECT_EQ(kx::Translate("(*v*)Kestrix error"), "Kestrix-Fehler");
  EXPECT_EQ(kx::Translate("(*v*)ALC Fixed AGC On"), "ALC fest, AGC ein");
  EXPECT_EQ(
      kx::Translate("(*v*)Click on Arrows for camera direction, OK Button to select reference. "
                    "Images %d X %d"),
      "Pfeile klicken, um die Kamera zu bewegen, OK wählt die Referenz. Bilder %d X %d");
  EXPECT_EQ(kx::Translate("Ready"), "Ready");
}

TEST_F(TranslationTest, MissingLanguageKeepsTheCurrentOneAndSaysWhy) {
  EXPECT_FALSE(m_host.Texts().SetLanguage("xx"));
  EXPECT_NE(m_host.Texts().LastError().find("xx/LC_MESSAGES/kestrix.mo: cannot be opened"),
            std::string::npos)
      << m_host.Texts().LastError();
  EXPECT_EQ(m_host.Texts().Language(), "en");
  EXPECT_EQ(kx::Translate("(*v*)Stop"), "Stop");
}

TEST_F(TranslationTest, TruncatedOrForeignCatalogsAreRefusedWithTheFileNamed) {
  const auto good = kx::Translator::DefaultCatalogFolder() / "de" / "LC_MESSAGES" / "kestrix.mo";
  const std::string bytes = kxtest::ReadText(good);
  ASSERT_GT(bytes.size(), 100u);
  const auto bad = m_scratch / "bad.mo";
  std::map<std::string, std::string> catalog;
  std::string error;
  for (std::size_t cut : {std::size_t{10}, std::size_t{40}, bytes.size() - 20}) {
    kxtest::WriteText(bad, bytes.substr(0, cut));
    EXPECT_FALSE(kx::LoadMoCatalog(bad, &catalog, &error)) << cut;
    EXPECT_NE(error.find(bad.string()), std::string::npos) << error;
  }
  kxtest::WriteText(bad, std::string(64, 'x'));
  EXPECT_FALSE(kx::LoadMoCatalog(bad, &catalog, &error));
  EXPECT_NE(error.find("bad magic number"), std::string::npos) << error;
  EXPECT_TRUE(kx::LoadMoCatalog(good, &catalog, &error));
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
