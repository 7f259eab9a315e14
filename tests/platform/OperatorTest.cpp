// Message boxes answered by the scripted and terminal operators, and without one.
#include <gtest/gtest.h>

#include <sstream>

#include "ExampleDialog.h"
#include "common/Log.h"
#include "platform/Operator.h"

namespace kx::test {
namespace {

using Op = kx::ScriptedOperator;

TEST(ScriptedOperator, FailsLoudlyOnAnUnexpectedBox) {
  kx::ScopedLogCapture log;
  Op op;
  kx::ScopedOperator scoped(&op);
  op.ExpectBox("second", IDOK);
  EXPECT_EQ(MessageBox(nullptr, "first", "Caption", MB_OK), IDCANCEL);
  EXPECT_TRUE(op.Failed());
  EXPECT_NE(op.FailureText().find("\"Caption\": \"first\""), std::string::npos);
  EXPECT_EQ(op.PendingBoxes(), 1u);  // still waiting for its own box

  Op wrong;
  kx::ScopedOperator scoped2(&wrong);
  wrong.ExpectBox("Sure?", IDYES);
  EXPECT_EQ(MessageBox(nullptr, "Sure?", "", MB_OKCANCEL), IDCANCEL);  // YES is not a button here
  EXPECT_TRUE(wrong.Failed());
  const std::vector<kx::LogEntry> entries = log.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].level, kx::LogLevel::Error);
  EXPECT_EQ(entries[0].line,
            "kestrix: operator: scripted operator: unexpected message box \"Caption\": \"first\"");
  EXPECT_EQ(entries[1].line,
            "kestrix: operator: scripted operator: answer 6 is not a button of message box \"\": "
            "\"Sure?\"");
}

TEST(ScriptedOperator, AModalLoopWithNothingLeftToDoFailsInsteadOfHanging) {
  kx::ScopedLogCapture log;
  const ScopedExampleResources resources;
  Op op;
  op.SetPatience(3);
  kx::ScopedOperator scoped(&op);
  CExampleDialog dlg;
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);  // closed for the script that ran out
  EXPECT_TRUE(op.Failed());
  EXPECT_NE(op.FailureText().find("no step left"), std::string::npos);
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{"kestrix: operator: scripted operator: the script "
                                     "has no step left while a window waits for input"});
}

TEST(MessageBoxes, WithoutAnOperatorTheAnswerIsCancel) {
  kx::ScopedLogCapture log;
  kx::ScopedOperator none(nullptr);
  EXPECT_EQ(MessageBox(nullptr, "Nobody is there", "Headless", MB_OKCANCEL), IDCANCEL);
  // Nobody saw the box, so its text goes to the log.
  const std::vector<kx::LogEntry> entries = log.Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].level, kx::LogLevel::Warning);
  EXPECT_EQ(entries[0].line,
            "kestrix: operator: message box (no operator; answered Cancel) \"Headless\": "
            "\"Nobody is there\"");
}

TEST(TerminalOperator, ReadsAnAnswerThatFitsTheBox) {
  std::istringstream in("maybe\nok\nY\n");
  std::ostringstream out;
  kx::TerminalOperator op(in, out);
  kx::ScopedOperator scoped(&op);
  EXPECT_EQ(MessageBox(nullptr, "Continue?", "Run", MB_YESNO), IDYES);  // "maybe", "ok" refused
  EXPECT_NE(out.str().find("[Run] Continue?"), std::string::npos);
  EXPECT_NE(out.str().find("(y)es, (n)o"), std::string::npos);
  EXPECT_EQ(MessageBox(nullptr, "Again?", "Run", MB_YESNO), IDCANCEL);  // end of input
}

}  // namespace
}  // namespace kx::test
