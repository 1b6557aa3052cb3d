#include <gtest/gtest.h>

#include "support/fixture.h"
#include "text/questions.h"

namespace {
const char* const Question = " ? | 1 - без мерцания | 2 - с мерцанием | 3 или Esc - отказ |";
}

class QuestionsTest : public EditorTest {
 protected:
  int AskWith(std::initializer_list<uint32_t> keys, uint8_t selection = 1) {
    Keys(keys);
    Q.AskSelection = selection;
    return Ask(Question, "", 0x3F, 0x2F, 0x5F, 0x0D);
  }
};

TEST_F(QuestionsTest, DigitsEnterEscAndZero) {
  EXPECT_EQ(AskWith({0x0332}), 2);
  EXPECT_EQ(Q.AnswerCount, 3);
  EXPECT_EQ(AskWith({0x1C0D}), 1);
  EXPECT_EQ(AskWith({0x1C0D}, 3), 3);
  EXPECT_EQ(AskWith({0x0534, 0x011B}), 0);  // '4' only redraws
  EXPECT_EQ(AskWith({0x0B30}), 0);
  EXPECT_EQ(AskWith({0x0200FF03}), 3);        // F3 answers 3
  EXPECT_EQ(AskWith({0x0200FF01, 0x011B}), 0);  // F1 is no answer
}

TEST_F(QuestionsTest, LeftAndRightWrapHomeAndEndJump) {
  EXPECT_EQ(AskWith({0x0200FF23, 0x1C0D}), 3);
  EXPECT_EQ(AskWith({0x0200FF25, 0x1C0D}, 3), 1);
  EXPECT_EQ(AskWith({0x0200FF26, 0x1C0D}, 1), 3);
  EXPECT_EQ(AskWith({0x0200FF20, 0x1C0D}, 2), 1);
  EXPECT_EQ(Q.AskSelection, 1);  // the selection outlives the question
}

TEST_F(QuestionsTest, FunctionKeysBeyondTheAnswersAreIgnored) {
  Keys({0x0200FF03, 0x0231});
  Q.AskSelection = 1;
  EXPECT_EQ(Ask(" Delete ? | 1 - yes | 2 - no |", "", 0x3F, 0x2F, 0x5F, 0x0D), 1);
}

TEST_F(QuestionsTest, TheQuestionRowIsDrawnBeforeTheKeyIsRead) {
  Q.AskSelection = 2;
  EXPECT_THROW(Ask(" Save ? | 1 - yes | 2 - no |", "Direct | F2", 0x3F, 0x2F, 0x5F, 0x0D), InputLost);
  EXPECT_EQ(CellAt(9, 1), MakeCell(0x81, 0x2F));       // the first bar, not highlighted
  EXPECT_EQ(CellAttr(CellAt(2, 1)), 0x3F);             // the prompt
  EXPECT_EQ(CellAttr(CellAt(10, 1)), 0x2F);
  EXPECT_EQ(CellAt(19, 1), MakeCell(0x81, 0x5F + 0x80));  // bar 2 opens the highlight
  EXPECT_EQ(CellAttr(CellAt(20, 1)), 0x5F + 0x80);
  EXPECT_EQ(CellAt(28, 1), MakeCell(0x81, 0x5F + 0x80));  // and bar 3 closes it
  EXPECT_EQ(CellAttr(CellAt(29, 1)), 0x2F);
  EXPECT_EQ(CellAt(8, 2), MakeCell(0x81, 0x0D));       // the direct-key line's bar
}

TEST(QuestionKeys, EachBuildHasItsOwnYesAndAbandonKeys) {
  struct Case {
    const BuildConfig* Build;
    uint32_t Yes, Abandon;
  } cases[] = {{&BuildKoi8, 0x10002F96, 0x00001011},
               {&Build866, 0x00011AFB, 0x00001BFD},
               {&Build866Rkbd, 0x00001AFB, 0x000029A0},
               {&BuildKoi8Rkbd, 0x00002F96, 0x08001011}};
  for (const Case& c : cases) {
    SelectBuild(*c.Build);
    ResetAllState();
    ResetScreen(80, 25);
    HeadlessTerminal t(c.Build->Set);
    Term = &t;
    t.Script.push_back({c.Yes, {}});
    Q.AskSelection = 2;
    EXPECT_EQ(Ask(" ? | 1 | 2 | 3 |", "", 0x3F, 0x2F, 0x5F, 0x0D), 1) << c.Build->Name;
    t.Script.push_back({c.Abandon, {}});
    EXPECT_EQ(Ask(" ? | 1 | 2 | 3 |", "", 0x3F, 0x2F, 0x5F, 0x0D), AnswerAbandon) << c.Build->Name;
    Term = nullptr;
  }
}
