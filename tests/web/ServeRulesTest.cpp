// The server's rules: which address needs a token, how tokens compare, which names stay in the
// job folder, and message boxes answered from another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "web/BrowserOperator.h"
#include "web/ServeSession.h"
#include "web/WebServer.h"

namespace kx::test {
namespace {

TEST(ListenAddress, ReadsAddressAndPortAndRefusesTheRest) {
  ListenAddress a;
  std::string error;
  ASSERT_TRUE(ParseListenAddress("0.0.0.0:8443", &a, &error)) << error;
  EXPECT_EQ(a.host, "0.0.0.0");
  EXPECT_EQ(a.port, 8443);
  EXPECT_TRUE(NeedsToken(a));
  ASSERT_TRUE(ParseListenAddress("127.0.0.1:65535", &a, &error));
  EXPECT_FALSE(NeedsToken(a));
  ASSERT_TRUE(ParseListenAddress("localhost:1", &a, &error));
  EXPECT_FALSE(NeedsToken(a));
  EXPECT_TRUE(NeedsToken(ListenAddress{"192.168.1.20", 8080}));

  const ListenAddress before = a;
  for (const char* bad :
       {"8080", "127.0.0.1:", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:80x", "127.0.0.256:80",
        "127.0.0:80", "1.2.3.4.5:80", ":80", "host:80", "127.0.0.1:123456"}) {
    EXPECT_FALSE(ParseListenAddress(bad, &a, &error)) << bad;
    EXPECT_NE(error.find(bad), std::string::npos) << "the error names the value: " << error;
  }
  EXPECT_EQ(a.host, before.host);
  EXPECT_EQ(a.port, before.port);
}

TEST(Token, IsFreshHexAndMatchesOnlyItself) {
  const std::string t = NewToken();
  EXPECT_EQ(t.size(), 32u);
  EXPECT_EQ(t.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(t, NewToken());
  EXPECT_TRUE(TokenMatches(t, t));
  EXPECT_FALSE(TokenMatches(t, ""));
  EXPECT_FALSE(TokenMatches(t, t.substr(0, 31)));
  EXPECT_FALSE(TokenMatches(t, t + "0"));
  std::string last = t;
  last.back() = last.back() == '0' ? '1' : '0';
  EXPECT_FALSE(TokenMatches(t, last));
}

TEST(JobFilePath, KeepsDocumentsInTheJobFolder) {
  std::filesystem::path path;
  std::string error;
  ASSERT_TRUE(JobFilePath("out", "job.json", &path, &error)) << error;
  EXPECT_EQ(path, std::filesystem::path("out") / "job.json");
  const std::filesystem::path before = path;
  for (const char* bad : {"", "../job.json", "/etc/passwd", "sub/job.json", "..", "a\\b.json",
                          "job.txt", ".json", "job\n.json", "job.json/"}) {
    EXPECT_FALSE(JobFilePath("out", bad, &path, &error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  EXPECT_EQ(path, before);
}

TEST(BrowserOperator, ABoxWaitsForTheAnswerFromAnotherThread) {
  std::atomic<int> changes{0};
  BrowserOperator op([&] { ++changes; });
  int answer = 0;
  std::thread window([&] {
    answer = op.AnswerMessageBox(nullptr, "Unable to locate image.", "Kestrix", MB_OKCANCEL);
  });
  std::vector<OpenBox> boxes;
  while ((boxes = op.Boxes()).empty()) std::this_thread::yield();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Unable to locate image.");
  EXPECT_EQ(boxes[0].buttons, (std::vector<std::string>{"OK", "Cancel"}));
  EXPECT_FALSE(op.Answer(boxes[0].id, IDYES)) << "not a button of the box";
  EXPECT_FALSE(op.Answer(boxes[0].id + 1, IDOK)) << "no such box";
  EXPECT_TRUE(op.Answer(boxes[0].id, IDOK));
  window.join();
  EXPECT_EQ(answer, IDOK);
  EXPECT_TRUE(op.Boxes().empty());
  EXPECT_EQ(changes, 2) << "shown, then gone";
  EXPECT_FALSE(op.Answer(boxes[0].id, IDOK)) << "answered once only";
}

TEST(BrowserOperator, ShutdownAnswersEveryBoxWithItsWayOut) {
  BrowserOperator op;
  int okCancel = 0, yesNo = 0;
  std::thread a([&] { okCancel = op.AnswerMessageBox(nullptr, "a", "", MB_OKCANCEL); });
  std::thread b([&] { yesNo = op.AnswerMessageBox(nullptr, "b", "", MB_YESNO); });
  while (op.Boxes().size() < 2) std::this_thread::yield();
  op.Shutdown();
  a.join();
  b.join();
  EXPECT_EQ(okCancel, IDCANCEL);
  EXPECT_EQ(yesNo, IDNO);
  EXPECT_EQ(op.AnswerMessageBox(nullptr, "c", "", MB_OK), IDOK) << "nobody left to ask";
}

}  // namespace
}  // namespace kx::test
