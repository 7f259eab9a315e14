// Documents on disk: a sample job saved and loaded back, read through the module's own calls.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "embedded/DocFile.h"
#include "embedded/HostBitmap.h"
#include "host/Database.h"
#include "host/HostServices.h"
#include "tests/support/HostFixture.h"

namespace kx::test {
namespace {

class DocFileTest : public HostTest {
 protected:
  // A reference bitmap object at (1, 2), three marks over three of its corners and a cut path
  // with a line part and an arc part; the last mark is selected.
  void BuildSample() {
    m_artwork = cv::Mat(200, 300, CV_8UC3, cv::Scalar(255, 255, 255));
    cv::rectangle(m_artwork, cv::Rect(10, 10, 30, 30), cv::Scalar(0, 0, 0), cv::FILLED);
    cv::circle(m_artwork, cv::Point(150, 100), 40, cv::Scalar(0, 0, 200), 3);
    m_image = Doc().AddBitmapObject(m_artwork, 1.0, 2.0, 3.0, 2.0);
    m_marks[0] = Doc().AddRegMark(BOUNDS{1.0, 1.4, 2.0, 2.4});
    m_marks[1] = Doc().AddRegMark(BOUNDS{1.0, 1.4, 3.6, 4.0});
    m_marks[2] = Doc().AddRegMark(BOUNDS{3.6, 4.0, 2.0, 2.4});
    m_path = Doc().AddPath({PathSegment::Line({2.0, 2.5}, {2.5, 2.5}),
                            PathSegment::Arc({2.5, 3.0}, 0.5, -90.0, 180.0),
                            PathSegment::Line({2.5, 3.5}, {2.0, 2.5})});
    const TM skew{1.0, 0.01, 0.02, 1.0, 0.1, -0.1};
    DBApplyTM(m_path, &skew);
    DBSelect(m_marks[2]);
  }

  // Bounds of the document's objects, as the installed host gives them.
  std::vector<BOUNDS> AllBounds() {
    std::vector<BOUNDS> out;
    for (uint64 h : Doc().Objects()) {
      BOUNDS b;
      DBGetObjectBounds(h, &b);
      out.push_back(b);
    }
    return out;
  }

  cv::Mat m_artwork;
  uint64 m_image = 0;
  uint64 m_marks[3] = {0, 0, 0};
  uint64 m_path = 0;
};

TEST_F(DocFileTest, SampleJobSurvivesSaveAndLoadAsTheModuleReadsIt) {
  BuildSample();
  const auto bounds = AllBounds();
  const auto path = m_scratch / "job.kxdoc";
  std::string error;
  ASSERT_TRUE(SaveDocument(Doc(), path, &error)) << error;
  EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));

  EmbeddedHost other(EmbeddedHostOptions{m_scratch / "config2"});
  ScopedHost use(&other);
  ASSERT_TRUE(LoadDocument(other.Doc(), path, &error)) << error;
  EXPECT_EQ(other.Doc().Objects(),
            (std::vector<uint64>{m_image, m_marks[0], m_marks[1], m_marks[2], m_path}));
  EXPECT_EQ(other.Doc().SelectedObjects(), std::vector<uint64>{m_marks[2]});

  // The job as a run dialog sees it: the marks by the filter, bounds and the path unchanged.
  for (uint64 h : other.Doc().Objects())
    EXPECT_EQ(ObjFilter_IsRegMark(h, 0) != 0, h != m_image && h != m_path) << h;
  EXPECT_EQ(AllBounds(), bounds);
  EXPECT_EQ(*other.Doc().Find(m_path), *Doc().Find(m_path));

  // The reference bitmap: same pixels (PNG is lossless), placement and real size.
  auto* bitmap = static_cast<HostBitmap*>(ObjectBitmap(m_image));
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->GetRealWidth(), 3.0);
  EXPECT_EQ(bitmap->GetRealHeight(), 2.0);
  EXPECT_EQ(cv::norm(bitmap->Original(), m_artwork, cv::NORM_INF), 0.0);
  // Mark 0's corner lies on the bitmap's lower left: column 0, last row.
  int px = 0, py = 0;
  bitmap->MapRealToBitmap(1.0, 2.0, &px, &py, false);
  EXPECT_EQ(px, 0);
  EXPECT_EQ(py, 200);

  // New objects after loading do not reuse a loaded handle.
  EXPECT_GT(DBCopyObject(m_path), m_path);
}

std::string Base64(const std::vector<uchar>& bytes) {
  static const char* const k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    unsigned n = static_cast<unsigned>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) n |= static_cast<unsigned>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) n |= bytes[i + 2];
    out += k[(n >> 18) & 63];
    out += k[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? k[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? k[n & 63] : '=';
  }
  return out;
}

// One case per message; the limits keep a value from hanging the reader (an arc of a trillion
// radians), wrapping (a version or handle beyond 32 bits) or exhausting memory (a PNG header
// claiming 20000 x 20000 pixels). A file and an uploaded text are refused alike, each named.
TEST_F(DocFileTest, BadDocumentsAreRefusedNamingWhatIsWrongAndLeaveTheDocumentAlone) {
  BuildSample();
  const auto saved = m_scratch / "job.kxdoc";
  std::string error;
  ASSERT_TRUE(SaveDocument(Doc(), saved, &error)) << error;
  const std::string text = ReadText(saved);

  EmbeddedHost other(EmbeddedHostOptions{m_scratch / "config2"});
  const uint64 keep = other.Doc().AddPath(RectanglePath(0, 0, 1, 1));
  const auto bad = m_scratch / "bad.kxdoc";
  const std::string head = R"({"format": "kestrix-document", "version": 1, "objects": [)";
  const std::string mark =
      R"("kind": "regmark", "tm": [1,0,0,1,0,0], "corners": [[0,0],[1,0],[1,1],[0,1]]})";
  auto arc = [&](const std::string& t0, const std::string& t1) {
    return head + R"({"handle": 5, "kind": "path", "tm": [1,0,0,1,0,0], "segments": [
        {"type": "line", "start": [0, 0], "end": [1, 0]},
        {"type": "arc", "centre": [0,0], "u": [1,0], "v": [0,1], "t0": )" +
           t0 + ", \"t1\": " + t1 + "}]}]}";
  };
  std::vector<uchar> png;
  cv::imencode(".png", cv::Mat(4, 4, CV_8UC3, cv::Scalar(1, 2, 3)), png);
  for (std::size_t at : {std::size_t{16}, std::size_t{20}}) {
    png[at] = 0;
    png[at + 1] = 0;
    png[at + 2] = 20000 >> 8;
    png[at + 3] = 20000 & 0xff;
  }
  auto bitmap = [&](const std::string& base64) {
    return head + R"({"handle": 2, "kind": "bitmap", "tm": [1,0,0,1,0,0], "origin": [0,0],
      "width": 1, "height": 1, "png": ")" + base64 + "\"}]}";
  };
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {text.substr(0, text.size() / 2), "broken JSON"},
      {"[1, 2]", "not a document"},
      {R"({"format": "kestrix-document", "version": 4294967297, "objects": []})",
       "unsupported version 4294967297"},
      {head + R"({"handle": 1, "kind": "path", "tm": [1,0,0,1,0,0]}]})",
       "object 0: field 'segments' is missing"},
      {head + R"({"handle": 1, )" + mark + R"(, {"handle": 1, )" + mark + "]}",
       "object 1: handle 1 is used twice"},
      {head + R"({"handle": 0, )" + mark + "]}", "object 0: 'handle' must be a positive integer"},
      {head + R"({"handle": 18446744073709551615, )" + mark + "]}",
       "object 0: handle 18446744073709551615 is above 4294967295"},
      {bitmap("AAAA"), "object 0: 'png' does not hold a readable PNG"},
      {bitmap(Base64(png)),
       "object 0: the image is 20000 x 20000 pixels, more than the 67108864 allowed"},
      {arc("0", "1e12"), "object 0 segment 1: arc angles 't0' and 't1' must lie within"},
      {arc("-3.2", "3.2"), "object 0 segment 1: the arc sweeps more than one full turn"},
  };
  for (const auto& c : cases) {
    WriteText(bad, c.text);
    std::string message;
    EXPECT_FALSE(LoadDocument(other.Doc(), bad, &message)) << c.text.substr(0, 200);
    EXPECT_NE(message.find("document " + bad.string() + ": " + c.message), std::string::npos)
        << message;
    EXPECT_FALSE(ParseDocumentText(other.Doc(), c.text, "upload.json", &message));
    EXPECT_NE(message.find("document upload.json: " + c.message), std::string::npos) << message;
    EXPECT_EQ(other.Doc().Objects(), std::vector<uint64>{keep});
  }
  std::string message;
  EXPECT_FALSE(LoadDocument(other.Doc(), m_scratch / "missing.kxdoc", &message));
  EXPECT_NE(message.find("missing.kxdoc: cannot be opened"), std::string::npos) << message;
  EXPECT_FALSE(LoadDocument(other.Doc(), m_scratch.Path(), &message));
  EXPECT_NE(message.find("is not a regular file"), std::string::npos) << message;
  EXPECT_EQ(other.Doc().Objects(), std::vector<uint64>{keep});

  // Next to the limits: the largest handle still leaves room for a copy's new handle, and a whole
  // turn is an ordinary arc.
  ASSERT_TRUE(ParseDocumentText(other.Doc(), head + R"({"handle": 4294967295, )" + mark + "]}",
                                "upload.json", &message))
      << message;
  ScopedHost use(&other);
  EXPECT_EQ(DBCopyObject(4294967295ULL), 4294967296ULL);
  EXPECT_TRUE(ParseDocumentText(other.Doc(), arc("-3.14159", "3.14159"), "upload.json", &message))
      << message;
  BOUNDS b;
  EXPECT_NE(DBGetObjectBounds(5, &b), 0);
  EXPECT_NEAR(b.maxX, 1.0, 1e-6);
}

TEST_F(DocFileTest, SavingOverAnExistingFileReplacesItWhole) {
  BuildSample();
  const auto path = m_scratch / "job.kxdoc";
  std::string error;
  ASSERT_TRUE(SaveDocument(Doc(), path, &error));
  DBDestroyObject(m_path);
  ASSERT_TRUE(SaveDocument(Doc(), path, &error));
  EmbeddedHost other(EmbeddedHostOptions{m_scratch / "config2"});
  ASSERT_TRUE(LoadDocument(other.Doc(), path, &error)) << error;
  EXPECT_EQ(other.Doc().Objects().size(), 4u);
  // A save that cannot write (a folder where the file should go) leaves no debris and reports.
  std::filesystem::create_directories(m_scratch / "dir.kxdoc");
  EXPECT_FALSE(SaveDocument(Doc(), m_scratch / "dir.kxdoc", &error));
  EXPECT_NE(error.find("dir.kxdoc"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(m_scratch / "dir.kxdoc.tmp"));
}

}  // namespace
}  // namespace kx::test
