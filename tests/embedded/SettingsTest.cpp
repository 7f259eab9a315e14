// Settings through the module's calls: defaults, round trips, precision, device values, bad files.
#include <gtest/gtest.h>

#include "host/Settings.h"
#include "platform/Operator.h"
#include "tests/support/HostFixture.h"

namespace kx::test {
namespace {

class SettingsTest : public HostTest {
 protected:
  std::filesystem::path File() { return m_host.Store().FileOf(1); }
};

TEST_F(SettingsTest, ValuesRoundTripAndDoublesKeepTheAskedPrecision) {
  WriteIntMorvane("Kestrix Setup", "Gain", 128, 1);
  WriteDoubleMorvane("Kestrix Setup", "Scale", 1.23456, 2, 1);
  WriteDoubleMorvane("Kestrix Setup", "X OffSet", -1234.5, 2, 1);
  EXPECT_EQ(GetIntMorvane("Kestrix Setup", "Gain", 0, 1), 128);
  EXPECT_EQ(GetDoubleMorvane("Kestrix Setup", "Scale", 1.0, 1), 1.23);
  EXPECT_EQ(GetDoubleMorvane("Kestrix Setup", "X OffSet", 0.0, 1), -1234.5);
  // Store types are kept apart.
  EXPECT_EQ(GetIntMorvane("Kestrix Setup", "Gain", 7, 2), 7);
  const std::string text = ReadText(File());
  EXPECT_NE(text.find("Scale=1.23\n"), std::string::npos) << text;
  EXPECT_NE(text.find("X OffSet=-1234.50\n"), std::string::npos) << text;

  // Another store on the same folder (the next program run) reads the same values.
  SettingsStore again(m_host.Store().Folder());
  EXPECT_EQ(again.Read(1, "Kestrix Setup", "Gain"), "128");
  EXPECT_FALSE(std::filesystem::exists(File().string() + ".tmp"));

  // A change made on disk meanwhile is seen.
  WriteText(File(), "[Kestrix Setup]\nGain=222\n");
  EXPECT_EQ(GetIntMorvane("Kestrix Setup", "Gain", 0, 1), 222);
}

TEST_F(SettingsTest, AnEmptyStoreCreatesNothingAndDeviceSettingsLiveInTheirOwnFile) {
  EXPECT_EQ(GetIntDeviceSetup("KestrixMaxError", 6), 6);
  char none[100] = "junk";
  EXPECT_EQ(GetStringDeviceNull("Port Setup", "Port", none, 100), 0);
  EXPECT_STREQ(none, "");
  EXPECT_FALSE(std::filesystem::exists(m_host.Store().Folder()));

  WriteIntDeviceSetup("KestrixRollDir", 1);
  WriteStringDevice("Port Setup", "Port", "sim0");
  EXPECT_EQ(GetIntDeviceSetup("KestrixRollDir", 0), 1);
  char port[100];
  EXPECT_EQ(GetStringDeviceNull("Port Setup", "Port", port, 100), 4);
  EXPECT_STREQ(port, "sim0");
  char small[3];
  EXPECT_EQ(GetStringDeviceNull("Port Setup", "Port", small, 3), 2);
  EXPECT_STREQ(small, "si");
  EXPECT_TRUE(std::filesystem::exists(m_host.Store().FileOf(kDeviceStore)));
  EXPECT_FALSE(std::filesystem::exists(File()));
}

TEST_F(SettingsTest, TextThatIsNotANumberGivesTheDefaultAndTheLastOfARepeatedKeyWins) {
  std::filesystem::create_directories(m_host.Store().Folder());
  WriteText(File(),
            "[Kestrix Setup]\nSharp=3\nGain=12abc\nScale=\nSharp = 40 \nGamma=99999999999\n");
  EXPECT_EQ(GetIntMorvane("Kestrix Setup", "Gain", 5, 1), 5);
  EXPECT_EQ(GetDoubleMorvane("Kestrix Setup", "Scale", 1.0, 1), 1.0);
  EXPECT_EQ(GetIntMorvane("Kestrix Setup", "Sharp", 0, 1), 40);
  EXPECT_EQ(GetIntMorvane("Kestrix Setup", "Gamma", 1, 1), 1);
}

TEST_F(SettingsTest, CorruptFileIsReportedAndKeepsTheReadableKeys) {
  std::filesystem::create_directories(m_host.Store().Folder());
  const std::string original =
      "[Kestrix Setup]\nGain=10\nthis line is garbage\nScale=2.5\n[Broken\nSharp=7\n"
      "[Kestrix Dialog]\nRoll=0\n";
  WriteText(File(), original);
  EXPECT_EQ(GetIntMorvane("Kestrix Setup", "Gain", 0, 1), 10);
  EXPECT_EQ(GetDoubleMorvane("Kestrix Setup", "Scale", 1.0, 1), 2.5);
  EXPECT_EQ(GetIntMorvane("Kestrix Setup", "Sharp", 0, 1), 0);  // under the broken header
  EXPECT_EQ(GetIntMorvane("Kestrix Dialog", "Roll", 1, 1), 0);
  const auto problems = m_host.Store().Problems();
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_EQ(problems[0].rfind(File().string() + ":3: ", 0), 0u) << problems[0];
  EXPECT_NE(problems[1].find(":5: section header"), std::string::npos) << problems[1];
  EXPECT_NE(problems[2].find(":6: key outside"), std::string::npos) << problems[2];

  // The first write keeps a copy of the damaged file and rewrites every readable key.
  WriteIntMorvane("Kestrix Setup", "Gamma", 3, 1);
  EXPECT_EQ(ReadText(File().string() + ".corrupt"), original);
  SettingsStore fresh(m_host.Store().Folder());
  EXPECT_EQ(fresh.Read(1, "Kestrix Setup", "Gain"), "10");
  EXPECT_EQ(fresh.Read(1, "Kestrix Setup", "Scale"), "2.5");
  EXPECT_EQ(fresh.Read(1, "Kestrix Dialog", "Roll"), "0");
  EXPECT_EQ(fresh.Read(1, "Kestrix Setup", "Gamma"), "3");
  EXPECT_TRUE(fresh.Problems().empty());
}

TEST_F(SettingsTest, UnstorableNamesAreRefusedWithoutTouchingTheFile) {
  WriteIntMorvane("Kestrix Setup", "Gain", 1, 1);
  const std::string before = ReadText(File());
  EXPECT_FALSE(m_host.Store().Write(1, "Kestrix Setup", "a=b", "1"));
  EXPECT_FALSE(m_host.Store().Write(1, "Sec]tion", "k", "1"));
  EXPECT_FALSE(m_host.Store().Write(1, "Kestrix Setup", "k", "two\nlines"));
  EXPECT_FALSE(m_host.Store().Write(1, "", "k", "1"));
  EXPECT_EQ(ReadText(File()), before);
}

TEST_F(SettingsTest, ARewriteKeepsCommentsBlankLinesAndKeysNobodyAskedFor) {
  std::filesystem::create_directories(m_host.Store().Folder());
  WriteText(File(),
            "; written by hand\n[Kestrix Setup]\n# the camera\nGain=10\nMyOwnKey = kept\n\n"
            "[Other Tool]\nColour=blue\n");
  WriteIntMorvane("Kestrix Setup", "Gain", 11, 1);
  WriteIntMorvane("Kestrix Setup", "Sharp", 4, 1);
  WriteIntMorvane("Kestrix Dialog", "Roll", 1, 1);
  EXPECT_EQ(ReadText(File()),
            "; written by hand\n[Kestrix Setup]\n# the camera\nGain=11\nMyOwnKey=kept\nSharp=4\n\n"
            "[Other Tool]\nColour=blue\n\n[Kestrix Dialog]\nRoll=1\n");
  EXPECT_TRUE(m_host.Store().Problems().empty());
}

TEST_F(SettingsTest, EveryDamagedVersionIsKeptInANumberedCopy) {
  std::filesystem::create_directories(m_host.Store().Folder());
  const std::string first = "[Kestrix Setup]\nfirst damage\nGain=1\n";
  const std::string second = "[Kestrix Setup]\nGain=2\nsecond damage\n";
  WriteText(File(), first);
  WriteIntMorvane("Kestrix Setup", "Sharp", 1, 1);
  WriteText(File(), second);
  WriteIntMorvane("Kestrix Setup", "Sharp", 2, 1);
  WriteIntMorvane("Kestrix Setup", "Sharp", 3, 1);  // nothing damaged left: no third copy
  EXPECT_EQ(ReadText(File().string() + ".corrupt"), first);
  EXPECT_EQ(ReadText(File().string() + ".corrupt.2"), second);
  EXPECT_FALSE(std::filesystem::exists(File().string() + ".corrupt.3"));
  EXPECT_EQ(GetIntMorvane("Kestrix Setup", "Gain", 0, 1), 2);
  EXPECT_EQ(GetIntMorvane("Kestrix Setup", "Sharp", 0, 1), 3);
}

TEST_F(SettingsTest, ABadLineIsEchoedShortenedWithItsControlCharactersEscaped) {
  std::filesystem::create_directories(m_host.Store().Folder());
  WriteText(File(),
            "[Kestrix Setup]\n\x1b[2Jkestrix: forged" + std::string(1000000, 'x') + "\nGain=5\n");
  EXPECT_EQ(GetIntMorvane("Kestrix Setup", "Gain", 0, 1), 5);
  const auto problems = m_host.Store().Problems();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_LT(problems[0].size(), File().string().size() + 200) << problems[0].substr(0, 300);
  EXPECT_NE(problems[0].find(":2: expected 'key=value', found '\\x1b[2Jkestrix: forged"),
            std::string::npos)
      << problems[0];
  EXPECT_NE(problems[0].find("(1000019 characters)"), std::string::npos) << problems[0];
  EXPECT_EQ(problems[0].find('\x1b'), std::string::npos);

  // Escapes count toward the length shown: a line of control characters is cut as short.
  WriteText(File(), "[Kestrix Setup]\n; note" + std::string(5000, '\0') + "\nGain=6\n");
  EXPECT_EQ(GetIntMorvane("Kestrix Setup", "Gain", 0, 1), 6);
  const auto more = m_host.Store().Problems();
  ASSERT_EQ(more.size(), 2u);
  EXPECT_LT(more[1].size(), File().string().size() + 200) << more[1].substr(0, 300);
  EXPECT_NE(more[1].find(":2: contains a NUL byte: '; note\\x00\\x00"), std::string::npos)
      << more[1];
  EXPECT_NE(more[1].find("(5006 characters)"), std::string::npos) << more[1];
}

TEST_F(SettingsTest, AFailedWriteLosesNothingStoredIsShownToTheUserAndNamesTheFile) {
  WriteIntMorvane("Kestrix Setup", "Gain", 1, 1);
  // A folder in place of the file's temporary name: the write fails, the stored value stays.
  std::filesystem::create_directories(File().string() + ".tmp/x");
  EXPECT_FALSE(m_host.Store().Write(1, "Kestrix Setup", "Gain", "2"));
  EXPECT_EQ(GetIntMorvane("Kestrix Setup", "Gain", 0, 1), 1);
  std::filesystem::remove_all(File().string() + ".tmp");

  // A folder where the file should be.
  std::filesystem::remove(File());
  std::filesystem::create_directories(File());
  ScriptedOperator op;
  op.ExpectBox("The settings could not be saved:\n" + File().string(), IDOK);
  {
    ScopedOperator install(&op);
    WriteIntMorvane("Kestrix Setup", "Gain", 2, 1);
  }
  EXPECT_FALSE(op.Failed()) << op.FailureText();
  EXPECT_EQ(op.PendingBoxes(), 0u);
  const auto failures = m_host.Store().WriteFailures();
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[1].rfind(File().string() + ": ", 0), 0u) << failures[1];
  EXPECT_EQ(GetIntMorvane("Kestrix Setup", "Gain", 0, 1), 0);
  const auto problems = m_host.Store().Problems();
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems.back().find("is not a regular file"), std::string::npos) << problems.back();
}

}  // namespace
}  // namespace kx::test
