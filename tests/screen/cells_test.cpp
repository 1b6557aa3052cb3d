#include <gtest/gtest.h>

#include "screen/cells.h"
#include "support/fixture.h"

class CellsTest : public EditorTest {};

TEST_F(CellsTest, PutCharAtAddressesEachSupportedWidth) {
  PutCharAt(1, 1, 'A', 7);
  PutCharAt(80, 25, 'Z', 7);
  EXPECT_EQ(Scr.ScreenCells[0], MakeCell('A', 7));
  EXPECT_EQ(Scr.ScreenCells[1999], MakeCell('Z', 7));
  for (int width : {100, 132}) {
    ResetScreen(width, 25);
    PutCharAt(1, 2, 'B', 0x1E);
    EXPECT_EQ(Scr.ScreenCells[size_t(width)], MakeCell('B', 0x1E)) << width;
    EXPECT_EQ(CellAt(1, 2), MakeCell('B', 0x1E));
  }
}

TEST_F(CellsTest, UnsupportedWidthAndStrayPositionsStoreNothing) {
  ResetScreen(90, 25);
  PutCharAt(1, 1, 'A', 7);
  EXPECT_EQ(Scr.ScreenCells[0], BlankCell);
  ResetScreen(80, 25);
  PutCharAt(0, 1, 'A', 7);
  PutCharAt(81, 1, 'A', 7);
  PutCharAt(1, 26, 'A', 7);
  for (Cell c : Scr.ScreenCells) EXPECT_EQ(c, BlankCell);
}

TEST_F(CellsTest, PutStringAtWritesInOrderAndFlushesOnce) {
  uint32_t before = Scr.Flushes;
  PutStringAt(5, 2, "abc", 0x1E);
  EXPECT_EQ(Scr.Flushes, before + 1);
  EXPECT_EQ(CellAt(5, 2), MakeCell('a', 0x1E));
  EXPECT_EQ(CellAt(7, 2), MakeCell('c', 0x1E));
  EXPECT_EQ(CellAt(8, 2), BlankCell);
  PutStringAt(1, 1, "", 7);  // nothing written, still flushed
  EXPECT_EQ(Scr.Flushes, before + 2);
  PutStringAt(79, 1, "xyz", 7);  // no wrap onto the next row
  EXPECT_EQ(CellAt(80, 1), MakeCell('y', 7));
  EXPECT_EQ(CellAt(1, 2), BlankCell);
}

TEST_F(CellsTest, RunWritersStayInsideTheImage) {
  SetWritePos(25, 79);
  for (int k = 1; k <= 10; ++k) PutRunCell(k, 'x', 7);
  PutRunAttr(2, 0x4F);
  EXPECT_EQ(CellAt(79, 25), MakeCell('x', 7));
  EXPECT_EQ(CellAt(80, 25), MakeCell('x', 0x4F));
  EXPECT_EQ(Scr.ScreenCells.size(), 2000u);
}

TEST_F(CellsTest, ClearScreenCellsBlanksEverythingAndForcesTheFlush) {
  PutCharAt(3, 3, 'q', 0x70);
  int forced = Terminal.ForcedFlushes;
  ClearScreenCells();
  for (Cell c : Scr.ScreenCells) EXPECT_EQ(c, MakeCell(32, 7));
  EXPECT_EQ(Terminal.ForcedFlushes, forced + 1);
}

TEST(ScreenWidth, WidestThatFits) {
  EXPECT_EQ(SupportedWidth(40), 80);
  EXPECT_EQ(SupportedWidth(80), 80);
  EXPECT_EQ(SupportedWidth(99), 80);
  EXPECT_EQ(SupportedWidth(100), 100);
  EXPECT_EQ(SupportedWidth(131), 100);
  EXPECT_EQ(SupportedWidth(200), 132);
}
