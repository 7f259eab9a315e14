// The page's messages: each kind read whole, and everything else refused with a reason.
#include <gtest/gtest.h>

#include "platform/WinDefs.h"
#include "web/ClientMessage.h"

namespace kx::test {
namespace {

ClientMessage Read(const std::string& json) {
  ClientMessage m;
  std::string error;
  EXPECT_TRUE(ParseClientMessage(json, &m, &error)) << json << ": " << error;
  return m;
}

std::string Refusal(const std::string& json) {
  ClientMessage m;
  m.x = 77;
  std::string error;
  EXPECT_FALSE(ParseClientMessage(json, &m, &error)) << json;
  EXPECT_EQ(m.x, 77) << "a refused message leaves the message alone";
  return error;
}

TEST(ClientMessage, ReadsEveryKindThePageSendsWithItsValues) {
  ClientMessage m = Read(R"({"type":"click","window":65537,"x":12,"y":340,"ctrl":true})");
  EXPECT_EQ(m.action, ClientAction::Click);
  EXPECT_EQ(m.window, 65537u);
  EXPECT_EQ(m.x, 12);
  EXPECT_EQ(m.y, 340);
  EXPECT_TRUE(m.ctrl);
  EXPECT_FALSE(m.shift);

  m = Read(R"({"type":"text","window":9,"control":9641,"text":"3"})");
  EXPECT_EQ(m.action, ClientAction::Text);
  EXPECT_EQ(m.control, 9641);
  EXPECT_EQ(m.text, "3");

  m = Read(R"({"type":"key","window":9,"key":"Escape"})");
  EXPECT_EQ(m.action, ClientAction::Key);
  EXPECT_EQ(m.text, "Escape");

  m = Read(R"({"type":"answer","box":4,"button":"Cancel"})");
  EXPECT_EQ(m.action, ClientAction::Answer);
  EXPECT_EQ(m.box, 4u);
  EXPECT_EQ(m.button, IDCANCEL);

  m = Read(R"({"type":"select","window":9,"control":5,"index":2})");
  EXPECT_EQ(m.action, ClientAction::Select);
  EXPECT_EQ(m.index, 2);

  m = Read(R"({"type":"command","name":"save","file":"job.json"})");
  EXPECT_EQ(m.action, ClientAction::Command);
  EXPECT_EQ(m.text, "save");
  EXPECT_EQ(m.file, "job.json");
  EXPECT_EQ(Read(R"({"type":"command","name":"run"})").file, "");
  EXPECT_EQ(Read(R"({"type":"close","window":3})").action, ClientAction::Close);

  m = Read(R"({"type":"command","name":"world","columns":3,"rows":20})");
  EXPECT_EQ(m.text, "world");
  EXPECT_EQ(m.columns, 3);
  EXPECT_EQ(m.rows, 20);
  EXPECT_EQ(m.file, "");
  m = Read(R"({"type":"command","name":"world","file":"w.json"})");
  EXPECT_EQ(m.file, "w.json");
  EXPECT_EQ(m.columns, 0) << "a world file, not a grid";
}

TEST(ClientMessage, RefusesWhatIsNotAMessageOfThePage) {
  EXPECT_NE(Refusal("{").find("not a JSON message"), std::string::npos);
  EXPECT_NE(Refusal("[1,2]").find("JSON object"), std::string::npos);
  EXPECT_NE(Refusal(R"({"type":"format"})").find("unknown message type \"format\""),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"window":1})").find("\"type\" is missing"), std::string::npos);
  EXPECT_NE(
      Refusal(R"({"type":"click","window":1,"x":"3","y":4})").find("\"x\" must be an integer"),
      std::string::npos);
  EXPECT_NE(Refusal(R"({"type":"click","window":1,"x":-1,"y":4})").find("\"x\" must lie between"),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"type":"click","window":1,"x":1.5,"y":4})").find("integer"),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"type":"click","window":18446744073709551615,"x":1,"y":4})")
                .find("\"window\" must lie between"),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"type":"click","window":0,"x":1,"y":4})").find("\"window\""),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"type":"click","window":1,"x":1,"y":4,"ctrl":1})").find("true or false"),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"type":"key","window":1,"key":"F1"})").find("\"Enter\" or \"Escape\""),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"type":"answer","box":1,"button":"Retry"})").find("\"button\""),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"type":"command","name":"open"})").find("\"file\" is missing"),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"type":"command","name":"world","columns":2})").find("\"rows\" is missing"),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"type":"command","name":"world","columns":0,"rows":1})")
                .find("\"columns\" must lie between 1 and 20"),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"type":"command","name":"world","file":7})").find("\"file\" must be a text"),
            std::string::npos);
  const std::string typed(kMaxTypedText + 1, '7');
  EXPECT_NE(Refusal(R"({"type":"text","window":1,"control":2,"text":")" + typed + "\"}")
                .find("longer than"),
            std::string::npos);
  EXPECT_NE(Refusal(std::string(kMaxClientMessage + 1, ' ')).find("longer than"),
            std::string::npos);
  // Exactly the longest text is taken.
  EXPECT_EQ(Read(R"({"type":"text","window":1,"control":2,"text":")" +
                 std::string(kMaxTypedText, '7') + "\"}")
                .text.size(),
            kMaxTypedText);
}

}  // namespace
}  // namespace kx::test
