// Line and rectangular blocks: marking to the line end, the whole line and
// word by word; copy, move, delete, shift, where is the block, and writing
// a line block to a file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "blocks/block_support.h"
#include "blocks/blocks.h"
#include "builds/bindings.h"
#include "base/state.h"
#include "edit/typing.h"
#include "screen/term.h"
#include "text/linestore.h"

namespace fs = std::filesystem;
using namespace blocktest;

namespace {

using V = std::vector<std::string>;

class BlockTest : public BlockBase {
 protected:
  // Texts of n lines "line 1" .. "line n".
  void Numbered(int n) {
    ResetLineStore();
    ASSERT_TRUE(InitLineStore());
    for (int i = 1; i <= n; ++i) ASSERT_TRUE(AppendLine("line " + std::to_string(i), Txt.LineWidth));
    At(1, 1);
    Lines(0, 0);
    Rect(0, 0, 0, 0);
    Txt.Modified = false;
  }
  // A text one line short of the limit: short lines, so it is cheap.
  void NearlyFull() {
    ResetLineStore();
    ASSERT_TRUE(InitLineStore());
    for (int i = 1; i < MaxLines; ++i) ASSERT_TRUE(AppendLine("line " + std::to_string(i), 0));
    At(1, 1);
  }
  static Outcome Copy() { return CopyBlock(false); }
  static Outcome CopyKeep() { return CopyBlock(true); }
  static Outcome ShiftRight() { return ShiftBlock(true); }
  static Outcome ShiftLeft() { return ShiftBlock(false); }
  std::string Overlap() const { return B("Недопустимое перекрытие блоков!"); }
  std::string NoBlock() const { return B("Нет помеченного блока!"); }
  std::string TooMany() const { return B("СЛИШКОМ МНОГО СТРОК! НЕ ЗАПИСЫВАЙТЕ ЭТОТ ФАЙЛ!"); }
  std::string TooLong() const { return B("Команда не выполнена: строка стала бы длиннее 255 символов."); }
};

}  // namespace

// ---- Copying a line block ----

TEST_F(BlockTest, LineBlockCopiedFromItsLastLineFollowsIt) {
  Numbered(5);
  Lines(2, 3);
  At(3, 4);
  EXPECT_EQ(Copy(), Outcome::Done);
  EXPECT_EQ(All(), (V{"line 1", "line 2", "line 3", "line 2", "line 3", "line 4", "line 5"}));
  EXPECT_EQ(Marks(), NoMarks());
  EXPECT_EQ(Ed.CurLine, 3);
  EXPECT_TRUE(Txt.Modified);
}

TEST_F(BlockTest, LineBlockCopiedFromInsideItselfIsRefused) {
  Numbered(5);
  Lines(2, 4);
  for (int cur : {2, 3}) {
    At(cur, 1);
    Keys({Esc});
    EXPECT_EQ(Copy(), Outcome::Refused);
    EXPECT_EQ(Txt.LineCount, 5);
    EXPECT_EQ(Marks(), (std::vector<int>{2, 4, 0, 0, 0, 0})) << "the block stays marked";
    EXPECT_EQ(Waited(), V{Overlap()});
  }
  EXPECT_FALSE(Txt.Modified);
}

TEST_F(BlockTest, LineBlockCopiedAboveItselfKeepsSourceAndOrder) {
  Numbered(5);
  Lines(3, 4);
  Ed.LineMarks[0] = 4;  // on a block line: it follows its text down
  Ed.LineMarks[1] = 2;  // below the insertion point: moves too
  At(1, 1);
  CopyKeep();
  EXPECT_EQ(All(), (V{"line 1", "line 3", "line 4", "line 2", "line 3", "line 4", "line 5"}));
  // The kept marks still cover the source text, moved down by the copy.
  EXPECT_EQ(Marks(), (std::vector<int>{5, 6, 0, 0, 0, 0}));
  EXPECT_EQ(Line(Ed.LineMarks[0]), "line 4");
  EXPECT_EQ(Line(Ed.LineMarks[1]), "line 2");
  EXPECT_EQ(Ed.CurLine, 1);
}

TEST_F(BlockTest, LineCopyStopsAtTheLineLimitAndKeepsTheBlock) {
  NearlyFull();
  Lines(1, 3);
  At(10, 1);
  Keys({Esc});
  EXPECT_EQ(Copy(), Outcome::Refused);
  EXPECT_EQ(Txt.LineCount, MaxLines);
  EXPECT_EQ(Line(11), "line 3");  // the last line goes first, and only it found room
  EXPECT_EQ(Line(12), "line 11");
  EXPECT_EQ(Marks(), (std::vector<int>{1, 3, 0, 0, 0, 0}));
  EXPECT_EQ(Waited(), V{TooMany()});
}

TEST_F(BlockTest, AClosingSignalStopsALineCopyBetweenTwoLines) {
  Text({"a", "b", "c"});
  Lines(1, 2);
  At(3, 1);
  ClosingSignal = SIGTERM;
  EXPECT_THROW(Copy(), InputLost);
  EXPECT_EQ(All(), (V{"a", "b", "c"}));
}

// ---- Moving and deleting a line block ----

TEST_F(BlockTest, LineBlockMovesDownAndUpWithTheCursorOnItsText) {
  Numbered(5);
  Lines(1, 2);
  At(4, 3);
  MoveBlock();
  EXPECT_EQ(All(), (V{"line 3", "line 4", "line 1", "line 2", "line 5"}));
  EXPECT_EQ(Line(Ed.CurLine), "line 4");
  EXPECT_EQ(Marks(), NoMarks());

  Numbered(5);
  Lines(4, 5);
  At(1, 1);
  MoveBlock();
  EXPECT_EQ(All(), (V{"line 1", "line 4", "line 5", "line 2", "line 3"}));
  EXPECT_EQ(Ed.CurLine, 1);
}

TEST_F(BlockTest, LineBlockMovedAfterItsOwnLastLineStaysAsItWas) {
  Numbered(4);
  Lines(2, 3);
  At(3, 1);
  MoveBlock();
  EXPECT_EQ(All(), (V{"line 1", "line 2", "line 3", "line 4"}));
  EXPECT_EQ(Marks(), NoMarks());
}

TEST_F(BlockTest, LineMoveThatCannotInsertLeavesTheSourceInPlace) {
  NearlyFull();
  Lines(1, 2);
  At(5, 1);
  Keys({Esc});
  EXPECT_EQ(MoveBlock(), Outcome::Refused);
  EXPECT_EQ(Line(1), "line 1");
  EXPECT_EQ(Line(2), "line 2");
  EXPECT_EQ(Line(6), "line 2");  // the one line that fitted is a copy
  EXPECT_EQ(Marks(), (std::vector<int>{1, 2, 0, 0, 0, 0}));
}

TEST_F(BlockTest, DeletingALineBlockPullsTheCursorAndWindowAlong) {
  Numbered(10);
  Lines(3, 8);
  Ed.WindowTop = 6;
  At(7, 1);
  Ed.LineMarks[2] = 5;  // on a deleted line: cleared
  Ed.LineMarks[0] = 9;  // after the block: follows its text
  DeleteBlock();
  EXPECT_EQ(All(), (V{"line 1", "line 2", "line 9", "line 10"}));
  EXPECT_EQ(Ed.CurLine, 3);
  EXPECT_EQ(Ed.WindowTop, 3);
  EXPECT_EQ(Ed.LineMarks[2], 0);
  EXPECT_EQ(Ed.LineMarks[0], 3);
  EXPECT_EQ(Marks(), NoMarks());
}

TEST_F(BlockTest, DeletingTheWholeTextLeavesOneBlankLine) {
  Numbered(3);
  Lines(1, 3);
  At(2, 4);
  DeleteBlock();
  EXPECT_EQ(Txt.LineCount, 1);
  EXPECT_EQ(Line(1), "");
  EXPECT_EQ(Ed.CurLine, 1);
  EXPECT_EQ(Marks(), NoMarks());
}

TEST_F(BlockTest, CommandsWithoutABlockSaySoAndChangeNothing) {
  Numbered(3);
  for (Outcome (*command)() : {&DeleteBlock, &MoveBlock, &Copy, &ShiftRight}) {
    Keys({Esc});
    EXPECT_EQ(command(), Outcome::Refused);
    EXPECT_EQ(Waited(), V{NoBlock()});
    EXPECT_TRUE(Rec.Script.empty());
  }
  EXPECT_EQ(All(), (V{"line 1", "line 2", "line 3"}));
  EXPECT_FALSE(Txt.Modified);
}

TEST_F(BlockTest, MarksOutsideTheTextAreMendedOrDropped) {
  Numbered(3);
  Lines(2, 40);  // the last line is past the end: cut to it
  EXPECT_EQ(MarkedBlock(), BlockKind::Lines);
  EXPECT_EQ(Ed.BlockLast, 3);
  Lines(7, 9);
  Rect(1, 1, 0, 400);
  EXPECT_EQ(MarkedBlock(), BlockKind::Rect);
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 1, 255}));
  Rect(3, 2, 1, 1);
  EXPECT_EQ(MarkedBlock(), BlockKind::None);
}

// ---- Shifting a line block ----

TEST_F(BlockTest, ShiftRightAndLeftByTheKeyCode) {
  Text({"one", "  two", "three", "four"});
  Lines(1, 3);
  ShiftRight();
  EXPECT_EQ(All(), (V{" one", "   two", " three", "four"}));
  ShiftLeft();
  ShiftLeft();
  // Shifting left takes whatever stands in column 1.
  EXPECT_EQ(All(), (V{"ne", " two", "hree", "four"}));
  EXPECT_TRUE(Txt.Modified);
  EXPECT_FALSE(Txt.LineSaved);
  EXPECT_EQ(Marks(), (std::vector<int>{1, 3, 0, 0, 0, 0}));
}

TEST_F(BlockTest, ShiftRightNeverPushesTextOutOfAFullLine) {
  const std::string full(255, 'x');
  const std::string endsInBlank = std::string(254, 'y') + " ";
  Exact({endsInBlank, "abc"});
  Lines(1, 2);
  ShiftRight();
  EXPECT_EQ(LineString(1), " " + std::string(254, 'y'));  // only the blank fell off
  EXPECT_EQ(Line(2), " abc");

  Exact({"abc", full});
  Lines(1, 2);
  Keys({Esc});
  EXPECT_EQ(ShiftRight(), Outcome::Refused);
  EXPECT_EQ(Waited(), V{TooLong()});
  EXPECT_EQ(Line(1), "abc");
  EXPECT_EQ(LineString(2), full);
  EXPECT_FALSE(Txt.Modified);
}

TEST_F(BlockTest, ShiftNeedsALineBlock) {
  Text({"abc"});
  Rect(1, 1, 1, 2);
  Keys({Esc});
  ShiftRight();
  EXPECT_EQ(Waited(), V{NoBlock()});
  EXPECT_EQ(Line(1), "abc");
}

// ---- Where is the block ----

TEST_F(BlockTest, WhereIsTheBlockJumpsToItsFirstLineAndRemembersTheWayBack) {
  Numbered(30);
  Ed.WindowTop = 2;
  At(5, 7);
  WhereIsBlock();  // no block: nothing
  EXPECT_EQ(Ed.CurLine, 5);
  EXPECT_EQ(Ed.HistoryIndex, 0);

  Rect(20, 22, 3, 4);
  WhereIsBlock();
  EXPECT_EQ(Ed.CurLine, 20);
  EXPECT_EQ(Ed.WindowTop, 20);
  EXPECT_EQ(Ed.CurCol, 7);
  const PositionMark& back = Ed.PositionHistory[Ed.HistoryIndex];
  EXPECT_EQ(back.Line, 5);
  EXPECT_EQ(back.Top, 2);
  EXPECT_EQ(back.Column, 7);

  Lines(12, 13);  // a line block wins
  WhereIsBlock();
  EXPECT_EQ(Ed.CurLine, 12);
}

// ---- Marking rectangles ----

TEST_F(BlockTest, WholeLineAndToLineEndMarkOnePastTheText) {
  Text({"   abc def", "", "xyz"});
  Lines(2, 3);  // any block gives way
  At(1, 6);
  MarkWholeLine();
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 4, 11}));
  MarkToLineEnd();
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 6, 11}));
  At(1, 20);  // past the text: from its end to the cursor
  MarkToLineEnd();
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 11, 20}));
  At(2, 5);  // a blank line: the search for text stops at LineWidth
  MarkWholeLine();
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 2, 2, 1, Txt.LineWidth}));
}

TEST_F(BlockTest, WholeLineOfAFullLineEndsOnItsLastColumn) {
  Exact({"abcdefghij"});
  SetLineWidth(10);
  MarkWholeLine();
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 1, 10}));
}

TEST_F(BlockTest, MarkAllTakesEveryLineAndKeepsTheCursor) {
  Numbered(7);
  Rect(2, 3, 1, 1);
  At(4, 2);
  MarkAll();
  EXPECT_EQ(Marks(), (std::vector<int>{1, 7, 0, 0, 1, 1}));
  EXPECT_EQ(Ed.CurLine, 4);
}

TEST_F(BlockTest, WordMarkingRightGrowsAndShrinksFromTheLeft) {
  Text({"abc def ghi"});
  MarkWordRight();
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 1, 4}));
  EXPECT_EQ(Ed.CurCol, 5);
  MarkWordRight();
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 1, 8}));
  EXPECT_EQ(Ed.CurCol, 9);

  // From the block's left edge the block gives way a word at a time.
  Text({"abc def"});
  Rect(1, 1, 1, 7);
  MarkWordRight();
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 5, 7}));
  EXPECT_EQ(Ed.CurCol, 5);
  MarkWordRight();  // past its last column: nothing is left
  EXPECT_EQ(Marks(), NoMarks());
  EXPECT_EQ(Ed.CurCol, 8);
}

TEST_F(BlockTest, WordMarkingLeftGrowsAndShrinksFromTheRight) {
  Text({"abc def"});
  At(1, 8);
  MarkWordLeft();
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 5, 7}));
  EXPECT_EQ(Ed.CurCol, 5);
  MarkWordLeft();
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 1, 7}));
  EXPECT_EQ(Ed.CurCol, 1);
  MarkWordLeft();  // column 1: nothing to do
  EXPECT_EQ(Ed.CurCol, 1);

  Rect(1, 1, 1, 7);
  At(1, 8);  // just right of the block
  MarkWordLeft();
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 1, 4}));
  EXPECT_EQ(Ed.CurCol, 5);
}

TEST_F(BlockTest, WordMarkingWithALineBlockOnlyWidensIt) {
  Text({"abc def", "ghi"});
  Lines(2, 2);
  MarkWordRight();
  EXPECT_EQ(Marks(), (std::vector<int>{1, 2, 0, 0, 0, 0}));
  EXPECT_EQ(Ed.CurCol, 5);
  MarkWordLeft();
  EXPECT_EQ(Marks(), (std::vector<int>{1, 2, 0, 0, 0, 0}));
  EXPECT_EQ(Ed.CurCol, 1);
}

// ---- Copying a rectangle ----

TEST_F(BlockTest, OneLineRectangleIsTypedAtTheCursor) {
  Text({"abcdef", "XY"});
  Rect(1, 1, 2, 4);
  At(2, 2);
  Copy();
  EXPECT_EQ(All(), (V{"abcdef", "XbcdY"}));
  EXPECT_EQ(Ed.CurCol, 5);
  EXPECT_EQ(Marks(), NoMarks());

  // Overwriting when insert mode is off.
  Text({"abcdef", "XYZW"});
  Rect(1, 1, 2, 3);
  At(2, 2);
  Ed.InsertMode = false;
  Copy();
  EXPECT_EQ(Line(2), "XbcW");
}

TEST_F(BlockTest, OneLineRectangleOnItsOwnLine) {
  Text({"abcdef"});
  Rect(1, 1, 2, 3);
  At(1, 3);  // inside: refused
  Keys({Esc});
  Copy();
  EXPECT_EQ(Waited(), V{Overlap()});
  EXPECT_EQ(Line(1), "abcdef");
  At(1, 4);  // just after it
  Copy();
  EXPECT_EQ(Line(1), "abcbcdef");

  // Keeping the marks: typing in front of the block carries them along.
  Text({"abcdef"});
  Rect(1, 1, 4, 5);
  At(1, 1);
  CopyKeep();
  EXPECT_EQ(Line(1), "deabcdef");
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 6, 7}));
}

TEST_F(BlockTest, RectangleCopiedOntoItsOwnFirstLine) {
  Text({"abcdef", "ghijkl", "mnopqr"});
  Rect(1, 2, 3, 4);
  At(1, 4);  // one column right of its first column: refused
  Keys({Esc});
  Copy();
  EXPECT_EQ(Waited(), V{Overlap()});
  EXPECT_EQ(All(), (V{"abcdef", "ghijkl", "mnopqr"}));

  At(1, 3);  // at its first column: accepted, the block moves right
  CopyKeep();
  EXPECT_EQ(All(), (V{"abcdcdef", "ghijijkl", "mnopqr"}));
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 2, 5, 6}));
  EXPECT_EQ(Line(1).substr(4, 2), "cd");

  At(1, 1);  // left of it, overwriting
  Ed.InsertMode = false;
  Copy();
  EXPECT_EQ(All(), (V{"cdcdcdef", "ijijijkl", "mnopqr"}));
  EXPECT_EQ(Marks(), NoMarks());
}

TEST_F(BlockTest, RectangleBesideItselfOnLowerLinesReadsTheSourceBeforeWriting) {
  // The target shares lines with the block but not columns; the copy into
  // line 2 must not shift what line 2 gives to line 3.
  Text({"....ab", "....cd", "....ef"});
  Rect(1, 3, 5, 6);
  At(2, 1);
  Copy();
  EXPECT_EQ(All(), (V{"....ab", "ab....cd", "cd....ef", "ef"}));
}

TEST_F(BlockTest, RectangleCopyAppendsLinesPastTheEnd) {
  Text({"12345", "abcde"});
  Rect(1, 2, 2, 3);
  At(2, 7);
  Copy();
  EXPECT_EQ(All(), (V{"12345", "abcde 23", "      bc"}));
  EXPECT_EQ(StoredLength(3), Txt.LineWidth);
}

TEST_F(BlockTest, RectangleColumnsPastShortLinesAreBlanks) {
  Exact({"abcdef", "ab", "abcdef", "0000000000", "0000000000", "0000000000"});
  Rect(1, 3, 2, 4);
  At(4, 3);
  Copy();
  // Every target line gets three columns, so the rest stays aligned.
  EXPECT_EQ(All(), (V{"abcdef", "ab", "abcdef", "00bcd00000000", "00b  00000000", "00bcd00000000"}));
}

TEST_F(BlockTest, RectangleCopyThatWouldPushTextPastColumn255IsRefused) {
  Text({"ab", "cd", std::string(254, 'x'), "y"});
  Rect(1, 2, 1, 2);
  At(3, 1);
  Keys({Esc});
  EXPECT_EQ(Copy(), Outcome::Refused);
  EXPECT_EQ(Waited(), V{TooLong()});
  EXPECT_EQ(Line(3), std::string(254, 'x'));
  EXPECT_EQ(Line(4), "y");
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 2, 1, 2}));
  EXPECT_FALSE(Txt.Modified);

  // Trailing blanks may go.
  Text({"ab", "cd", std::string(250, 'x'), "y"});
  Rect(1, 2, 1, 2);
  At(3, 1);
  Copy();
  EXPECT_EQ(Line(3), "ab" + std::string(250, 'x'));
  EXPECT_EQ(Line(4), "cdy");
}

TEST_F(BlockTest, RectangleCopyStopsAtTheLineLimit) {
  NearlyFull();
  Rect(1, 3, 1, 2);
  At(MaxLines - 1, 1);  // needs two new lines, one fits
  Keys({Esc});
  EXPECT_EQ(Copy(), Outcome::Refused);
  EXPECT_EQ(Waited(), V{TooMany()});
  EXPECT_EQ(Txt.LineCount, MaxLines);
  EXPECT_EQ(Line(MaxLines - 1), "line " + std::to_string(MaxLines - 1));  // nothing copied
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 3, 1, 2}));
}

TEST_F(BlockTest, KeptRectangleFollowsTextTheLineBreakPushedOntoItsLine) {
  Ed.FormatWidth = 12;
  Text({"aaaa bbbbbbb", "x y"});
  Rect(2, 2, 3, 3);  // the "y"
  At(1, 13);
  CopyKeep();
  EXPECT_EQ(All(), (V{"aaaa", "bbbbbbby x y"}));
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 2, 2, 12, 12}));

  // A next line too full for the word gets a new line in front of it: the
  // block's text stays where it was, and so do its columns.
  Text({"aaaa bbbbbbb", "xxx yy"});
  Rect(2, 2, 5, 6);
  At(1, 13);
  CopyKeep();
  EXPECT_EQ(All(), (V{"aaaa", "bbbbbbbyy", "xxx yy"}));
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 3, 3, 5, 6}));
}

TEST_F(BlockTest, KeptRectanglePushedPastTheFormatWidthIsUnmarked) {
  Ed.FormatWidth = 10;
  Text({"abcdefgh", "ijklmnop"});
  Rect(1, 2, 5, 8);
  CopyKeep();
  EXPECT_EQ(All(), (V{"efghabcdefgh", "mnopijklmnop"}));
  EXPECT_EQ(Marks(), NoMarks());
}

// ---- Moving a rectangle ----

TEST_F(BlockTest, RectangleMovesAlongItsOwnLines) {
  Text({"abcdef", "ghijkl"});
  Rect(1, 2, 2, 3);
  At(1, 6);  // right of it: the cursor column counts without the block
  MoveBlock();
  EXPECT_EQ(All(), (V{"adebcf", "gjkhil"}));
  EXPECT_EQ(Ed.CurCol, 4);
  EXPECT_EQ(Marks(), NoMarks());

  Text({"abcdef", "ghijkl"});
  Rect(1, 2, 4, 5);
  At(1, 1);
  MoveBlock();
  EXPECT_EQ(All(), (V{"deabcf", "jkghil"}));

  Text({"abcdef"});
  Rect(1, 1, 2, 4);
  At(1, 3);  // inside
  Keys({Esc});
  MoveBlock();
  EXPECT_EQ(Waited(), V{Overlap()});
  EXPECT_EQ(Line(1), "abcdef");
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 2, 4}));
}

TEST_F(BlockTest, OneLineRectangleMovesToAnotherLine) {
  Text({"abcdef", "XY"});
  Rect(1, 1, 3, 4);
  At(2, 2);
  MoveBlock();
  EXPECT_EQ(All(), (V{"abef", "XcdY"}));
  EXPECT_EQ(Marks(), NoMarks());
}

TEST_F(BlockTest, OneLineMoveThatTypingCannotFinishChangesNothing) {
  ToggleLineLimit();  // no line breaking: typing stops at column 255
  Text({"", "..abcd"});
  Rect(2, 2, 3, 6);
  At(1, 254);
  Keys({Esc});
  EXPECT_EQ(MoveBlock(), Outcome::Refused);
  EXPECT_EQ(Waited(), V{TooLong()});
  EXPECT_EQ(All(), (V{"", "..abcd"}));  // the source too
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 2, 2, 3, 6}));
  EXPECT_EQ(Ed.CurCol, 254);
  EXPECT_FALSE(Txt.Modified);
}

TEST_F(BlockTest, RectangleMovesElsewhereAndStaysARectangle) {
  Text({"abcdef", "ghijkl", "mnopqr"});
  Rect(1, 2, 2, 3);
  At(3, 1);
  MoveBlock();
  EXPECT_EQ(All(), (V{"adef", "gjkl", "bcmnopqr", "hi"}));
  EXPECT_EQ(Marks(), NoMarks());

  // Target lines that are also block lines take the text at the same
  // column as the others.
  Text({"AAxxxxxxyy", "BBxxxxxxyy", "CCxxxxxxyy", "zzzzzzzzzz"});
  Rect(1, 3, 1, 2);
  At(2, 8);
  MoveBlock();
  EXPECT_EQ(All(), (V{"xxxxxxyy", "xxxxxxyAAy", "xxxxxxyBBy", "zzzzzzzCCzzz"}));

  Text({"abcdef", "ghijkl", "mnopqr"});
  Rect(1, 2, 2, 3);
  At(2, 3);  // the target meets the block
  Keys({Esc});
  MoveBlock();
  EXPECT_EQ(Waited(), V{Overlap()});
  EXPECT_EQ(All(), (V{"abcdef", "ghijkl", "mnopqr"}));
}

TEST_F(BlockTest, RectangleMoveThatCannotPlaceItsTextChangesNothing) {
  Text({"ab", "cd", "x"});
  Rect(1, 2, 1, 2);
  At(3, 255);  // the text would not fit in a line
  Keys({Esc});
  EXPECT_EQ(MoveBlock(), Outcome::Refused);
  EXPECT_EQ(Waited(), V{TooLong()});
  EXPECT_EQ(All(), (V{"ab", "cd", "x"}));
  EXPECT_EQ(Txt.LineCount, 3);
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 2, 1, 2}));
}

// ---- Deleting a rectangle ----

TEST_F(BlockTest, DeletingARectangleTakesItsColumnsFromEachLine) {
  Exact({"abcdef", "ab", "abcdef", "keep"});
  Rect(1, 3, 2, 4);
  DeleteBlock();
  EXPECT_EQ(All(), (V{"aef", "a", "aef", "keep"}));
  EXPECT_EQ(StoredLength(1), 6);  // the lines keep their length, blank-filled
  EXPECT_EQ(Marks(), NoMarks());
  EXPECT_TRUE(Txt.Modified);
  // Each changed line went into the ring; the newest is the last one.
  EXPECT_EQ(RingSlot(Txt.UndoIndex).substr(0, 6), "abcdef");
  EXPECT_FALSE(Txt.LineSaved);
}

// ---- Writing a line block to a file ----

class BlockWriteTest : public BlockTest {
 protected:
  BlockWriteTest() {
    dir = testing::TempDir() + "vesk-wblock-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~BlockWriteTest() override { fs::remove_all(dir); }
  static std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  // The command as a menu item or its key starts it: appending.
  static bool ByKey() { return WriteBlock(true); }
  std::string dir;
  static inline int counter = 0;
};

TEST_F(BlockWriteTest, WithoutALineBlockTheKeyIsLeftToColourMarking) {
  Numbered(3);
  Rect(1, 1, 1, 2);
  EXPECT_FALSE(ByKey());
  EXPECT_TRUE(Rec.Waited.empty());
}

TEST_F(BlockWriteTest, TheBlockGoesToTheNamedFileAndIsAppendedAfterwards) {
  Numbered(4);
  Ed.FileName = dir + "/text.txt";
  Blk.BlockFileName = dir + "/part.txt";
  Blk.BlockFileNameSet = true;
  Lines(2, 3);
  Keys({Enter});  // the offered name
  EXPECT_TRUE(ByKey());
  EXPECT_EQ(Slurp(dir + "/part.txt"), "line 2\nline 3\n");
  Keys({Enter});
  Lines(4, 4);
  EXPECT_TRUE(ByKey());
  EXPECT_EQ(Slurp(dir + "/part.txt"), "line 2\nline 3\nline 4\n");
  EXPECT_EQ(Ed.FileName, dir + "/text.txt");
  EXPECT_EQ(Marks(), (std::vector<int>{4, 4, 0, 0, 0, 0}));

  // Without appending the file is written anew.
  Keys({Enter});
  EXPECT_TRUE(WriteBlock(false));
  EXPECT_EQ(Slurp(dir + "/part.txt"), "line 4\n");
}

TEST_F(BlockWriteTest, TheNameStartsAsTheFilesAndEscWritesNothing) {
  Numbered(2);
  Ed.FileName = dir + "/text.txt";
  Lines(1, 1);
  Keys({Esc});
  EXPECT_TRUE(ByKey());
  EXPECT_EQ(Blk.BlockFileName, dir + "/text.txt");
  EXPECT_FALSE(fs::exists(dir + "/text.txt"));
}

TEST_F(BlockWriteTest, TheWholeTextUnderANewNameRenamesTheFile) {
  Numbered(2);
  Ed.FileName = dir + "/text.txt";
  Blk.BlockFileName = dir + "/new.txt";
  Blk.BlockFileNameSet = true;
  Lines(1, 2);
  Keys({Enter});
  ByKey();
  EXPECT_EQ(Slurp(dir + "/new.txt"), "line 1\nline 2\n");
  EXPECT_EQ(Ed.FileName, dir + "/new.txt");

  // Appended to another text, the whole text leaves the name alone: saving
  // there later would destroy what the file held before.
  std::ofstream(dir + "/other.txt") << "other\n";
  Blk.BlockFileName = dir + "/other.txt";
  Keys({Enter});
  ByKey();
  EXPECT_EQ(Slurp(dir + "/other.txt"), "other\nline 1\nline 2\n");
  EXPECT_EQ(Ed.FileName, dir + "/new.txt");
}
