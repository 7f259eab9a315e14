// The session behind the page: the job's picture, documents uploaded and downloaded, new worlds,
// and the configured real devices in place of the simulated ones.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "devices/FakePlotter.h"
#include "embedded/DocFile.h"
#include "host/Database.h"
#include "tests/support/Scratch.h"
#include "web/ServeSession.h"

namespace kx::test {
namespace {

ServeOptions SmallWorld(const ScratchFolder& folder) {
  ServeOptions options;
  options.world.copies.columns = 2;
  options.world.copies.rows = 1;
  options.configDir = folder / "config";
  options.jobDir = folder / "job";
  options.worldName = "two copies";
  return options;
}

// How many pixels of the picture are close to colour (BGR).
int PixelsNear(const cv::Mat& picture, cv::Vec3b colour) {
  int n = 0;
  for (int y = 0; y < picture.rows; ++y)
    for (int x = 0; x < picture.cols; ++x) {
      const cv::Vec3b p = picture.at<cv::Vec3b>(y, x);
      if (std::abs(p[0] - colour[0]) + std::abs(p[1] - colour[1]) + std::abs(p[2] - colour[2]) < 60)
        ++n;
    }
  return n;
}

// How many objects a document's text holds; -1 when it is not a whole document.
int ObjectsIn(const std::string& text) {
  Document doc;
  std::string error;
  if (!ParseDocumentText(doc, text, "the download", &error)) {
    ADD_FAILURE() << error;
    return -1;
  }
  return static_cast<int>(doc.Objects().size());
}

bool SamePicture(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

TEST(ServeJobView, DrawsTheBitmapWithItsMarksAndPathsAtTheDocumentsProportions) {
  ScratchFolder folder;
  ServeSession session(SmallWorld(folder));
  const cv::Mat job = session.JobPicture(480);
  ASSERT_FALSE(job.empty());
  EXPECT_EQ(job.cols, 480);
  // One copy of 9000 x 7000 units, with its marks at the corners: close to its proportions.
  EXPECT_GT(job.rows, 300);
  EXPECT_LT(job.rows, 480);
  EXPECT_GT(PixelsNear(job, {200, 60, 0}), 100) << "the marks";
  EXPECT_GT(PixelsNear(job, {0, 0, 220}), 200) << "the cut paths";
  EXPECT_EQ(session.JobPicture(800).cols, 800);
}

TEST(ServeDocuments, ABadUploadIsRefusedByNameAndTheOpenJobStays) {
  ScratchFolder folder;
  ServeSession session(SmallWorld(folder));
  const cv::Mat before = session.JobPicture();
  std::string downloaded;
  std::string error;
  ASSERT_TRUE(session.DocumentText(&downloaded, &error)) << error;

  struct Bad {
    std::string content;
    std::string says;
  };
  for (const Bad& bad : {Bad{"", "mine.json"}, Bad{"{\"format\": 1", "mine.json"},
                         Bad{downloaded.substr(0, downloaded.size() / 2), "mine.json"},
                         Bad{"[1, 2]", "not a document"},
                         Bad{std::string(kMaxUploadBytes + 1, ' '), "bytes a document may have"}}) {
    error.clear();
    EXPECT_FALSE(session.OpenUploaded("mine.json", bad.content, &error));
    EXPECT_NE(error.find(bad.says), std::string::npos) << error;
  }
  EXPECT_TRUE(SamePicture(session.JobPicture(), before)) << "the open job stays";
  std::string again;
  ASSERT_TRUE(session.DocumentText(&again, &error)) << error;
  EXPECT_EQ(again, downloaded);
}

TEST(ServeDocuments, AnUploadedDocumentBecomesTheJobAndDownloadsAsItsFileHoldsIt) {
  ScratchFolder folder;
  ServeOptions options = SmallWorld(folder);
  std::string twoCopies;
  std::string error;
  {
    ServeSession session(options);
    ASSERT_TRUE(session.DocumentText(&twoCopies, &error)) << error;
  }
  options.world.artwork.shapes = 3;
  ServeSession session(options);
  const cv::Mat one = session.JobPicture();
  ASSERT_TRUE(session.OpenUploaded("two.json", twoCopies, &error)) << error;
  EXPECT_FALSE(SamePicture(session.JobPicture(), one));
  std::string text;
  ASSERT_TRUE(session.DocumentText(&text, &error)) << error;
  EXPECT_EQ(text, twoCopies);
  EXPECT_FALSE(std::filesystem::exists(options.jobDir / "two.json"))
      << "an upload writes nothing into the job folder";
}

// A window's thread changes the document call by call, as the acquire dialog adds its marks and
// the run dialog copies, transforms and destroys the job for each cut, while the page draws the
// job, downloads it and saves it: each of those sees the document between two calls, whole.
TEST(ServeDocuments, TheJobViewDownloadAndSaveSeeAWholeDocumentWhileAWindowChangesIt) {
  ScratchFolder folder;
  ServeSession session(SmallWorld(folder));
  std::string text;
  std::string error;
  ASSERT_TRUE(session.DocumentText(&text, &error)) << error;
  const int objects = ObjectsIn(text);
  constexpr int kAdded = 12;

  std::atomic<bool> stop{false};
  std::thread window([&] {
    const TM shift{1, 0, 0, 1, 0.5, 0.25};
    while (!stop) {
      std::vector<uint64> marks;
      for (int i = 0; i < kAdded; ++i)
        marks.push_back(CreateVarnoxRegMark({1.0 * i, 2.0}, 0.4, 0.4));
      const ObjList copies = DBCreateEmptyList();
      for (const uint64 h : marks) DBAddToList(copies, DBCopyObject(h));
      for (uint64 h = DBGetFirstMember(copies); h != 0; h = DBGetNextMember(copies))
        DBApplyTM(h, &shift);
      DBDestroyList(copies);
      for (const uint64 h : marks) DBDestroyObject(h);
      // A window pauses between two steps; a bare yield lets this thread take the lock back at
      // once and starve the readers (badly so under the thread sanitizer).
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(session.JobPicture(160).empty());
    ASSERT_TRUE(session.DocumentText(&text, &error)) << error;
    const int n = ObjectsIn(text);
    EXPECT_GE(n, objects);
    EXPECT_LE(n, objects + kAdded);
    if (i % 3 == 0) {
      ASSERT_TRUE(session.Command(kCommandSave, "during.json", &error)) << error;
      EXPECT_GE(ObjectsIn(ReadText(folder / "job" / "during.json")), objects);
    }
  }
  stop = true;
  window.join();
}

TEST(ServeWorlds, ANewGridReplacesTheMachineAndTheJob) {
  ScratchFolder folder;
  ServeSession session(SmallWorld(folder));
  const cv::Mat bed = session.BedPicture();
  const cv::Mat job = session.JobPicture();
  std::string error;
  ASSERT_TRUE(session.NewWorld("", 3, 2, &error)) << error;
  cv::Mat difference;
  cv::absdiff(session.BedPicture(), bed, difference);
  cv::cvtColor(difference, difference, cv::COLOR_BGR2GRAY);
  EXPECT_GT(cv::countNonZero(difference > 40), static_cast<int>(bed.total() / 20))
      << "four more copies lie on the bed";
  EXPECT_EQ(session.JobPicture().size(), job.size()) << "the job is one copy, as before";
  EXPECT_NE(session.MachineName().find("3 x 2"), std::string::npos) << session.MachineName();
}

TEST(ServeWorlds, AWorldThatCannotBeUsedIsRefusedAndTheOldOneStays) {
  ScratchFolder folder;
  const ServeOptions options = SmallWorld(folder);
  ServeSession session(options);
  const cv::Mat bed = session.BedPicture();
  std::filesystem::create_directories(options.jobDir);
  WriteText(options.jobDir / "broken.json", "{\"copies\": {\"rows\": \"two\"}}");
  WriteText(folder / "outside.json", "{}");
  std::string error;
  EXPECT_FALSE(session.NewWorld("broken.json", 0, 0, &error));
  EXPECT_NE(error.find("broken.json"), std::string::npos) << error;
  EXPECT_NE(error.find("rows"), std::string::npos) << error;
  EXPECT_FALSE(session.NewWorld("../outside.json", 0, 0, &error));
  EXPECT_NE(error.find("job folder"), std::string::npos) << error;
  EXPECT_FALSE(session.NewWorld("missing.json", 0, 0, &error));
  EXPECT_NE(error.find("missing.json"), std::string::npos) << error;
  EXPECT_EQ(session.BedPicture().size(), bed.size());
  EXPECT_NE(session.MachineName().find("two copies"), std::string::npos);

  // A window in use keeps its machine.
  ASSERT_TRUE(session.Command(kCommandSetup, "", &error)) << error;
  EXPECT_FALSE(session.NewWorld("", 1, 1, &error));
  EXPECT_NE(error.find("close every window"), std::string::npos) << error;
  session.CloseWindows();
  EXPECT_TRUE(session.NewWorld("", 1, 1, &error)) << error;
}

TEST(ServeDevices, APortSetupThatNamesACutterServesOnItAndOneThatCannotBeOpenedIsNamed) {
  ScratchFolder folder;
  const ServeOptions options = SmallWorld(folder);
  std::filesystem::create_directories(options.configDir);
  std::string error;
  {
    WriteText(options.configDir / "device.ini", "[Port Setup]\nPort=/dev/kestrix-no-such-port\n");
    EXPECT_EQ(ServeSession::Open(options, &error), nullptr);
    EXPECT_NE(error.find("/dev/kestrix-no-such-port"), std::string::npos) << error;
  }
  FakePlotter plotter(CutterProtocol::Hpgl);
  ASSERT_TRUE(plotter.Start(&error)) << error;
  WriteText(options.configDir / "device.ini", "[Port Setup]\nPort=" + plotter.PortPath() + "\n");
  std::unique_ptr<ServeSession> session = ServeSession::Open(options, &error);
  ASSERT_NE(session, nullptr) << error;
  EXPECT_FALSE(session->Simulated());
  EXPECT_NE(session->MachineName().find(plotter.PortPath()), std::string::npos)
      << session->MachineName();
  EXPECT_TRUE(session->BedPicture().empty()) << "no simulated bed beside a real cutter";
  EXPECT_FALSE(session->NewWorld("", 1, 1, &error));
  EXPECT_FALSE(std::filesystem::exists(options.configDir / "settings.ini"))
      << "no simulated calibration is stored for a real machine";
}

TEST(ServeDevices, WithoutPortSetupTheMachineIsSimulated) {
  ScratchFolder folder;
  std::string error;
  std::unique_ptr<ServeSession> session = ServeSession::Open(SmallWorld(folder), &error);
  ASSERT_NE(session, nullptr) << error;
  EXPECT_TRUE(session->Simulated());
  EXPECT_FALSE(session->BedPicture().empty());
  EXPECT_NE(session->MachineName().find("simulated"), std::string::npos);
}

}  // namespace
}  // namespace kx::test
