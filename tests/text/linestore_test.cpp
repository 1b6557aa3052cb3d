#include <gtest/gtest.h>

#include "base/state.h"
#include "support/fixture.h"
#include "text/heap.h"
#include "text/linestore.h"

class LineStoreTest : public EditorTest {};

TEST_F(LineStoreTest, TrimmedLengthIgnoresBlanksAndATrailingColourMark) {
  EXPECT_EQ(TrimmedLength("abc   "), 3);
  EXPECT_EQ(TrimmedLength("     "), 0);
  EXPECT_EQ(TrimmedLength(""), 0);
  EXPECT_EQ(TrimmedLength(std::string("text\x02\x05\x09", 7)), 4);
  EXPECT_EQ(TrimmedLength(std::string("text\x05\x09  ", 8)), 4);
  EXPECT_EQ(TrimmedLength("a\tb"), 3);   // a TAB inside the text is text
  EXPECT_EQ(TrimmedLength("\t"), 1);     // a TAB alone is not a mark
}

TEST_F(LineStoreTest, InsertionAtTheLimitIsRefused) {
  MakeText(MaxLines - 1);
  int16_t n = 5;
  EXPECT_TRUE(InsertLine(Txt.LineWidth, n));
  EXPECT_EQ(Txt.LineCount, MaxLines);
  EXPECT_EQ(n, 5);
  Keys({0x1C0D});  // the key that answers the message
  n = 7;
  EXPECT_FALSE(InsertLine(Txt.LineWidth, n));
  EXPECT_EQ(n, 6);
  EXPECT_EQ(Txt.LineCount, MaxLines);
  // The message waited for the key and left it for the next reader.
  EXPECT_EQ(Kbd.Queue.size(), 1u);
  EXPECT_TRUE(Terminal.Script.empty());
}

TEST_F(LineStoreTest, InsertionWhenTheBudgetIsExhaustedIsRefused) {
  MakeText(3);
  Heap.Budget = Heap.Used + 100;  // less than a line of 254 blanks
  Keys({0x1C0D});
  int16_t n = 2;
  EXPECT_FALSE(InsertLine(254, n));
  EXPECT_EQ(n, 1);
  EXPECT_EQ(Txt.LineCount, 3);
  int16_t m = 2;
  EXPECT_TRUE(InsertLine(50, m));  // a short line still fits
  EXPECT_EQ(Txt.LineCount, 4);
}

TEST_F(LineStoreTest, InsertionMovesMarksAndBlocksButNotTheCursorLine) {
  MakeText(10);
  Ed.LineMarks = {4, 5, 3};
  Ed.PositionMarks[0] = {4, 4, 7};
  Ed.PositionMarks[1] = {2, 1, 1};
  Ed.BlockFirst = 4;
  Ed.BlockLast = 6;
  Ed.RectFirst = 3;
  Ed.RectLast = 4;
  Ed.CurLine = 4;
  int16_t n = 4;
  InsertLine(10, n);
  EXPECT_EQ(Ed.LineMarks, (std::array<int16_t, 3>{5, 6, 3}));
  EXPECT_EQ(Ed.PositionMarks[0].Line, 5);
  EXPECT_EQ(Ed.PositionMarks[0].Top, 5);
  EXPECT_EQ(Ed.PositionMarks[1].Line, 2);
  EXPECT_EQ(Ed.BlockFirst, 5);
  EXPECT_EQ(Ed.BlockLast, 7);
  EXPECT_EQ(Ed.RectFirst, 3);
  EXPECT_EQ(Ed.RectLast, 5);
  EXPECT_EQ(Ed.CurLine, 4);  // now on the new line
  EXPECT_EQ(LineBytes(4), std::string(10, ' '));
  EXPECT_EQ(LineBytes(5).substr(0, 6), "line 4");
  EXPECT_TRUE(Txt.Modified);
}

TEST_F(LineStoreTest, DeletionClearsMarksOnTheLineAndEmptyBlocks) {
  MakeText(10);
  Ed.LineMarks = {2, 5, 8};
  Ed.PositionMarks[0] = {5, 3, 2};
  Ed.BlockFirst = Ed.BlockLast = 5;
  Ed.RectFirst = 4;
  Ed.RectLast = 6;
  Ed.CurLine = 7;
  int16_t n = 5;
  DeleteLine(n);
  EXPECT_EQ(Ed.LineMarks, (std::array<int16_t, 3>{2, 0, 7}));
  EXPECT_EQ(Ed.PositionMarks[0].Line, 0);
  EXPECT_EQ(Ed.BlockFirst, 0);
  EXPECT_EQ(Ed.BlockLast, 0);
  EXPECT_EQ(Ed.RectFirst, 4);
  EXPECT_EQ(Ed.RectLast, 5);
  EXPECT_EQ(Ed.CurLine, 6);
  EXPECT_EQ(Txt.LineCount, 9);
  EXPECT_EQ(LineBytes(5).substr(0, 6), "line 6");
  EXPECT_EQ(RingSlot(Txt.UndoIndex).substr(0, 6), "line 5");
}

TEST_F(LineStoreTest, DeletingTheLastLineLeavesTheCursorOnTheNewLastLine) {
  MakeText(3);
  Ed.CurLine = 3;
  int16_t n = 3;
  DeleteLine(n);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(Ed.CurLine, 2);
  EXPECT_EQ(Txt.LineCount, 2);
}

TEST_F(LineStoreTest, TheOnlyLineIsBlankedNotDeleted) {
  MakeText(1);
  Ed.CurCol = 5;
  uint8_t stored = StoredLength(1);
  int16_t n = 1;
  DeleteLine(n);
  EXPECT_EQ(Txt.LineCount, 1);
  EXPECT_EQ(Ed.CurCol, 1);
  EXPECT_EQ(StoredLength(1), stored);
  EXPECT_EQ(TrimmedLength(LineBytes(1)), 0);
}

TEST_F(LineStoreTest, StoreKeepsTheBlockOrGrowsItToTheVisibleLength) {
  MakeText(2);
  EXPECT_EQ(StoredLength(1), 254);
  StoreLine("abc", 1);
  EXPECT_EQ(StoredLength(1), 254);
  EXPECT_EQ(LineBytes(1), "abc" + std::string(251, ' '));
  // A 255-byte text without trailing blanks into a line of length 10.
  int16_t n = 3;
  InsertLine(10, n);
  std::string full(255, 'x');
  size_t used = Heap.Used;
  StoreLine(full, 3);
  EXPECT_EQ(StoredLength(3), 255);
  EXPECT_EQ(LineBytes(3), full);
  EXPECT_EQ(Heap.Used, used - 11 + 256);
  // Trailing blanks do not count when the block grows.
  StoreLine("yy      ", 2);
  EXPECT_EQ(StoredLength(2), 254);
}

TEST_F(LineStoreTest, StoreWithTooLittleMemoryKeepsTheOldText) {
  ASSERT_TRUE(InitLineStore());
  ASSERT_TRUE(AppendLine("short", 5));
  Heap.Budget = Heap.Used + 20;
  StoreLine(std::string(100, 'q'), 1);
  EXPECT_EQ(LineBytes(1), "short");
}

TEST_F(LineStoreTest, TheRingKeepsTheSixteenNewestLinesNewestFirst) {
  MakeText(20);
  for (int i = 1; i <= 17; ++i) {
    Txt.LineSaved = false;
    SaveLineForUndo(i);
  }
  EXPECT_EQ(Txt.UndoIndex, 0);  // the 17th went to slot 0 again
  std::vector<std::string> list = RingListing();
  ASSERT_EQ(list.size(), 16u);
  for (size_t k = 0; k < 16; ++k)
    EXPECT_EQ(list[k].substr(0, TrimmedLength(list[k])), "line " + std::to_string(17 - k)) << k;
  // Saving twice on one visit keeps the first copy.
  Txt.LineSaved = false;
  SaveLineForUndo(1);
  StoreLine("changed", 1);
  SaveLineForUndo(1);
  EXPECT_EQ(RingSlot(Txt.UndoIndex).substr(0, 6), "line 1");
  RestoreLineAsOnEntry(1);
  EXPECT_EQ(LineBytes(1).substr(0, 7), "line 1 ");
}

TEST_F(LineStoreTest, InsertingSavedLinesWalksFromNewestToOlder) {
  MakeText(5);
  for (int i : {2, 3}) {
    Txt.LineSaved = false;
    SaveLineForUndo(i);
  }
  InsertNextSavedLine(1);
  InsertNextSavedLine(1);
  EXPECT_EQ(LineBytes(1).substr(0, 6), "line 2");
  EXPECT_EQ(LineBytes(2).substr(0, 6), "line 3");
  EXPECT_EQ(Txt.LineCount, 7);
}

TEST_F(LineStoreTest, ReadsOutsideTheTextAreEmpty) {
  MakeText(2);
  EXPECT_TRUE(LineBytes(3).empty());
  EXPECT_TRUE(LineBytes(-1).empty());
  EXPECT_EQ(StoredLength(99), 0);
  StoreLine("x", 3);  // ignored
  int16_t n = 9;
  DeleteLine(n);      // ignored
  EXPECT_EQ(Txt.LineCount, 2);
}

// A line keeps only its bytes up to the last non-blank; what it reads as
// must not change with that: the stored length, the padding, the bytes
// written over as a line grows and shrinks, the budget.
TEST_F(LineStoreTest, ALineReadsAsItsStoredBytesWhateverItKeeps) {
  MakeText(2);
  const size_t used = Heap.Used;
  std::string want(Txt.LineWidth, ' ');
  auto check = [&](const std::string& what) {
    EXPECT_EQ(std::string(LineBytes(2)), want) << what;
    EXPECT_EQ(StoredLength(2), want.size()) << what;
    EXPECT_EQ(Heap.Used, used + (want.size() - Txt.LineWidth)) << what;
  };
  want.replace(0, 6, "line 2");
  check("loaded");
  // Texts that cross block sizes both ways, with inner and trailing blanks.
  for (size_t len : {1u, 7u, 8u, 9u, 60u, 61u, 120u, 5u, 200u, 0u, 254u, 30u}) {
    std::string t;
    for (size_t i = 0; i < len; ++i) t += i % 7 == 3 ? ' ' : char('a' + i % 26);
    StoreLine(t + "   ", 2);
    want.assign(want.size(), ' ');
    want.replace(0, len, t);
    check("stored " + std::to_string(len));
  }
  // Growing past the stored length: the block is the visible length.
  StoreLine(std::string(255, 'w'), 2);
  want.assign(255, 'w');
  check("grown");
  EXPECT_EQ(std::string(LineBytes(1)).substr(0, 7), "line 1 ");
}

TEST_F(LineStoreTest, ViewsOfStoredLinesStayGoodWhileOtherLinesAreRead) {
  MakeText(70);
  const std::string_view first = LineBytes(1);
  for (int n = 2; n <= 64; ++n) (void)LineBytes(n);
  EXPECT_EQ(first.substr(0, 7), "line 1 ");
  EXPECT_EQ(first.size(), Txt.LineWidth);
}

TEST_F(LineStoreTest, MappingLineBytesReachesThePaddingToo) {
  MakeText(1);
  std::array<uint8_t, 256> map;
  for (int i = 0; i < 256; ++i) map[size_t(i)] = uint8_t(i == ' ' ? '_' : i == 'l' ? 'L' : i);
  MapLineBytes(1, map);
  EXPECT_EQ(std::string(LineBytes(1)), "Line_1" + std::string(Txt.LineWidth - 6, '_'));
  EXPECT_EQ(StoredLength(1), Txt.LineWidth);
}
