#include <gtest/gtest.h>

#include "screen/keys.h"
#include "support/fixture.h"

class GetKeyTest : public EditorTest {};

TEST_F(GetKeyTest, LoneEscAndEscFollowedByAKey) {
  Keys({0x011B, 0x2D78});  // pressed one after the other: both count
  GetKey();
  EXPECT_EQ(Kbd.KeyEvent, 0x011Bu);
  GetKey();
  EXPECT_EQ(Kbd.KeyEvent, 0x2D78u);
  Burst({0x011B, 0x2D78});  // Esc and 'x' in one burst: the Esc is dropped
  GetKey();
  EXPECT_EQ(Kbd.KeyEvent, 0x2D78u);
}

TEST_F(GetKeyTest, AltBracketCompletesWithTheNextKeys) {
  Burst({0x03081A00, 0x2567});
  GetKey();
  EXPECT_EQ(KeyScan(), 0xA5);
  EXPECT_EQ(KeyShift(), 8);
  EXPECT_EQ(KeyChar(), 0x67);
  Burst({0x03081A00, 0x9000});
  GetKey();
  EXPECT_EQ(KeyScan(), 0x7F);
  // With a third key waiting, the last one read is kept.
  Burst({0x03081A00, 0x1E61, 0x3062});
  GetKey();
  EXPECT_EQ(KeyChar(), 0x62);
  EXPECT_EQ(KeyScan(), 0xB0);
  EXPECT_TRUE(Kbd.Queue.empty());
}

TEST_F(GetKeyTest, EscBracketSequenceIsCompletedWithShift0F) {
  // Esc, '[', '2', '^' as one burst: '^' with 80 added to its scan code.
  Burst({0x011B, 0x1A5B, 0x0332, 0x075E});
  GetKey();
  EXPECT_EQ(KeyChar(), 0x5E);
  EXPECT_EQ(KeyScan(), 0x87);
  EXPECT_EQ(KeyShift(), 0x0F);
  EXPECT_FALSE(KeyPressed());
}

TEST_F(GetKeyTest, ShowKeyCodeWritesRowsAndStartsAgainAtTheTop) {
  ResetScreen(80, 3);
  Kbd.ShowRow = 0;
  Keys({0x1C0D, 0x1E61, 0x0200FF0A, 0x3062});
  for (int i = 0; i < 3; ++i) ReadAndShowKey(0);
  EXPECT_EQ(CellChar(CellAt(1, 1)), 0x0D);
  EXPECT_EQ(CellAttr(CellAt(1, 1)), 0x1C);
  EXPECT_EQ(Kbd.LastKeyLine.substr(1), "   10  0A FF 00 02  0");
  ReadAndShowKey(0);  // past the last row: cleared, row 1 again
  EXPECT_EQ(Kbd.ShowRow, 1);
  EXPECT_EQ(CellChar(CellAt(1, 1)), 'b');
  EXPECT_EQ(CellAt(1, 2), BlankCell);
  // Enter: the character, its code in three places, the four bytes, Shift.
  Kbd.KeyEvent = 0x1C0D;
  ShowKeyCode(7);
  EXPECT_EQ(Kbd.LastKeyLine, std::string("\r") + "   13  0D 1C 00 00  0");
}

TEST_F(GetKeyTest, RusIndicatorTogglesAndClears) {
  ToggleRusLayout();
  EXPECT_TRUE(Kbd.RusLayoutOn);
  EXPECT_EQ(CellAt(76, 1), MakeCell('R', 0x70));
  ToggleRusLayout();
  EXPECT_FALSE(Kbd.RusLayoutOn);
  EXPECT_EQ(CellAt(76, 1), MakeCell(' ', 0x07));
}

TEST_F(GetKeyTest, ReadingWithNoKeyLeftMeansTheKeyboardIsGone) {
  EXPECT_FALSE(KeyPressed());
  EXPECT_THROW(ReadKeyEvent(), InputLost);
}
