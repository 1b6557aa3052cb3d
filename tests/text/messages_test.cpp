#include <gtest/gtest.h>

#include "base/state.h"
#include "screen/keys.h"
#include "support/fixture.h"
#include "text/messages.h"

class MessagesTest : public EditorTest {
 protected:
  std::string RowText(int row) {
    std::string s;
    for (int c = 1; c <= Scr.ScreenWidth; ++c) s += char(CellChar(CellAt(c, row)));
    return s;
  }
};

TEST_F(MessagesTest, CommasAndBracketsChangeTheColour) {
  DrawMessage("Press a letter, or F#, or enter a number, then Enter.");
  EXPECT_EQ(CellAttr(CellAt(1, 2)), 0x0E);   // "Press a letter"
  EXPECT_EQ(CellAttr(CellAt(14, 2)), 0x0E);
  EXPECT_EQ(CellAttr(CellAt(15, 2)), 0x0E);  // the comma and its blank
  EXPECT_EQ(CellAttr(CellAt(16, 2)), 0x0E);
  EXPECT_EQ(CellAttr(CellAt(17, 2)), 0x4F);  // "or F#"
  EXPECT_EQ(CellAttr(CellAt(21, 2)), 0x4F);
  EXPECT_EQ(CellAttr(CellAt(24, 2)), 0x3F);  // the rest
  EXPECT_EQ(CellAttr(CellAt(80, 2)), 0x3F);
  DrawMessage("Name (new)");
  EXPECT_EQ(CellAttr(CellAt(4, 2)), 0x0E);
  EXPECT_EQ(CellAttr(CellAt(5, 2)), 0x2F);  // the blank before the bracket
  EXPECT_EQ(CellAttr(CellAt(6, 2)), 0x2F);
  DrawMessage("a (b), c");
  EXPECT_EQ(CellAttr(CellAt(8, 2)), 0x4F);  // a comma after green turns red
}

TEST_F(MessagesTest, AWaitingMessageStaysUntilAKeyAndLeavesTheKey) {
  Keys({0x1E61});
  ShowMessage("Wait for me", 1);
  EXPECT_EQ(Kbd.Queue.size(), 1u);  // the key is still there for the next reader
  EXPECT_EQ(CellAt(1, 2), Ed.FillCell);  // and the row is cleared
  Kbd.Queue.clear();
  EXPECT_THROW(ShowMessage("No key comes", 1), InputLost) << "waits while no key comes";
  EXPECT_EQ(RowText(2).substr(0, 12), "No key comes");
}

TEST_F(MessagesTest, EachWaitingMessageWaitsForAKeyOfItsOwn) {
  constexpr uint32_t A = 0x1E61, B = 0x3062;
  Keys({A, B});
  ShowMessage("first", 1);
  ShowMessage("second", 1);
  // A ended the first message, B the second; B is left for the next reader.
  ASSERT_EQ(Kbd.Queue.size(), 1u);
  EXPECT_EQ(Kbd.Queue.front(), B);
  ReadKeyEvent();
  EXPECT_EQ(Kbd.KeyEvent, B);

  // With one key only, the second message stands and waits.
  Keys({A});
  ShowMessage("first", 1);
  EXPECT_THROW(ShowMessage("second", 1), InputLost);
  EXPECT_EQ(RowText(2).substr(0, 6), "second");

  // A key that was read in between was nobody's message key: the next
  // waiting message takes nothing that is queued.
  Kbd.Queue.clear();
  Keys({A, B});
  ShowMessage("first", 1);
  ReadKeyEvent();
  ShowMessage("second", 1);
  ASSERT_EQ(Kbd.Queue.size(), 1u);
  EXPECT_EQ(Kbd.Queue.front(), B);
}

TEST_F(MessagesTest, WaitCodesBelowAndAt30) {
  ShowMessage("standing", 0);
  EXPECT_EQ(RowText(2).substr(0, 8), "standing");
  ShowMessage("prompt", 22);
  EXPECT_EQ(RowText(2).substr(0, 6), "prompt");
  ShowMessage("gone", 30);
  EXPECT_EQ(CellAt(1, 2), Ed.FillCell);
  // Above 30 a message stays at most wait - 30 passes when no key comes.
  Terminal.EndOnWait = false;
  ShowMessage("brief", 35);
  EXPECT_EQ(CellAt(1, 2), Ed.FillCell);
}

TEST_F(MessagesTest, TheIdleLineShowsTheBlockSize) {
  ClearMessageLine();
  EXPECT_EQ(RowText(2), std::string(80, char(0x91)));
  Ed.BlockFirst = 10;
  Ed.BlockLast = 14;
  ClearMessageLine();
  EXPECT_EQ(RowText(2).substr(77), " 5 ");
  EXPECT_EQ(CellAttr(CellAt(78, 2)), 0x07);
  Ed.BlockFirst = 1;
  Ed.BlockLast = 24575;
  ClearMessageLine();
  EXPECT_EQ(RowText(2).substr(73), " 24575 ");
}

TEST_F(MessagesTest, TextsComeInTheBuildsSet) {
  EXPECT_EQ(InBuildSet("Новый файл."), "\xEE\xCF\xD7\xD9\xCA \xC6\xC1\xCA\xCC.");
  SelectBuild(Build866);
  EXPECT_EQ(InBuildSet("Новый"), "\x8D\xAE\xA2\xEB\xA9");
  EXPECT_EQ(InBuildSet("€"), "?");
}
