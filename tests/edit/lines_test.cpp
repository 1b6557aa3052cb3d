#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/state.h"
#include "edit/lines.h"
#include "screen/cells.h"
#include "support/fixture.h"
#include "text/linestore.h"
#include "text/messages.h"

namespace {

constexpr uint32_t Plain = KeyCode(0, 0x4D, 0);
constexpr uint32_t LeftShift = KeyCode(0, 0x4D, 2);
constexpr uint32_t RightShift = KeyCode(0, 0x4D, 1);
constexpr uint32_t CtrlOnly = KeyCode(0, 0x4D, 4);
constexpr uint32_t Enter = 0x1C0D;

class LineTest : public EditorTest {
 protected:
  // A text of the given lines, each padded to LineWidth; cursor at 1,1.
  void Text(std::initializer_list<std::string> lines) {
    ResetLineStore();
    ASSERT_TRUE(InitLineStore());
    for (const std::string& l : lines) ASSERT_TRUE(AppendLine(l, Txt.LineWidth));
    Ed.CurLine = 1;
    Ed.CurCol = 1;
  }
  // Line n without its trailing blanks.
  static std::string Line(int n) { return std::string(LineBytes(n).substr(0, TrimmedLength(LineBytes(n)))); }
  // The keys these tests press stand for a Shift variant when they hold
  // Shift (the commands bound to such keys extend the block).
  static bool Extending() { return (KeyShift() & 3) != 0; }
  static void Rect(int first, int last, int firstCol, int lastCol) {
    Ed.RectFirst = int16_t(first);
    Ed.RectLast = int16_t(last);
    Ed.RectFirstCol = firstCol;
    Ed.RectLastCol = lastCol;
  }
  static void Block(int first, int last) {
    Ed.BlockFirst = int16_t(first);
    Ed.BlockLast = int16_t(last);
  }
  static std::vector<int> Marks() {
    return {Ed.BlockFirst, Ed.BlockLast, Ed.RectFirst, Ed.RectLast, Ed.RectFirstCol, Ed.RectLastCol};
  }
  // The waiting message took exactly the one scripted key and left it queued.
  void ExpectWaitedForKey() {
    EXPECT_TRUE(Terminal.Script.empty());
    EXPECT_EQ(Kbd.Queue.size(), 1u);
  }
  // The right end of the message row.
  static std::string MessageRowEnd(int n) {
    std::string s;
    for (int c = Scr.ScreenWidth - n + 1; c <= Scr.ScreenWidth; ++c) s += char(CellChar(CellAt(c, 2)));
    return s;
  }
};

// ---- Left and right ----

TEST_F(LineTest, LeftAndRightStayWithinTheLine) {
  ResetLineStore();
  ASSERT_TRUE(InitLineStore());
  ASSERT_TRUE(AppendLine("abc", 10));
  Ed.CurLine = 1;
  for (uint32_t key : {Plain, CtrlOnly}) {  // Ctrl alone is not Shift
    Kbd.KeyEvent = key;
    Ed.CurCol = 10;
    CursorRight(Extending());
    EXPECT_EQ(Ed.CurCol, 11);  // one past the stored length
    CursorRight(Extending());
    EXPECT_EQ(Ed.CurCol, 11);
    Ed.CurCol = 2;
    CursorLeft(Extending());
    EXPECT_EQ(Ed.CurCol, 1);
    CursorLeft(Extending());
    EXPECT_EQ(Ed.CurCol, 1);
    EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 0, 0, 0, 0}));
  }
}

TEST_F(LineTest, ShiftRightThreeTimesMarksFourColumns) {
  Text({"first", "some text here"});
  for (uint32_t key : {LeftShift, RightShift}) {
    Rect(0, 0, 0, 0);
    Ed.CurLine = 2;
    Ed.CurCol = 5;
    Kbd.KeyEvent = key;
    CursorRight(Extending());
    EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 2, 2, 5, 6}));  // a first press marks two columns
    EXPECT_EQ(Ed.CurCol, 6);
    CursorRight(Extending());
    CursorRight(Extending());
    EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 2, 2, 5, 8}));
    EXPECT_EQ(Ed.CurCol, 8);
  }
}

TEST_F(LineTest, ShiftLeftAndRightAtTheBlockEdges) {
  struct Case {
    uint32_t dir;  // 'L' or 'R'
    int firstCol, lastCol, col;
    int newFirst, newLast, newCol;  // newFirst 0: unmarked
  } cases[] = {
      {'R', 5, 8, 5, 6, 8, 6},    // on the left edge of a wide block: narrows from the left
      {'R', 5, 8, 8, 5, 9, 9},    // on the right edge: widens
      {'R', 5, 8, 7, 5, 9, 7},    // inside: widens, the cursor stays
      {'L', 5, 5, 5, 4, 5, 4},    // one column, cursor on it: widens to the left
      {'L', 5, 5, 7, 0, 0, 7},    // one column, cursor elsewhere: empty, unmarked
      {'L', 5, 8, 8, 5, 7, 7},    // right edge: narrows
      {'L', 5, 8, 5, 4, 8, 4},    // left edge: widens to the left
      {'L', 1, 3, 1, 1, 3, 1},    // column 1 is the limit
      {'R', 250, 255, 255, 250, 255, 255},  // the right end of the longest line is the limit
  };
  for (const Case& c : cases) {
    Text({"x", "a line of text"});
    Ed.CurLine = 2;
    Rect(2, 2, c.firstCol, c.lastCol);
    Ed.CurCol = c.col;
    Kbd.KeyEvent = RightShift;
    c.dir == 'R' ? CursorRight(Extending()) : CursorLeft(Extending());
    if (c.newFirst == 0) {
      EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 0, 0, 0, 0}));
    } else {
      EXPECT_EQ(Ed.RectFirstCol, c.newFirst) << char(c.dir) << c.col;
      EXPECT_EQ(Ed.RectLastCol, c.newLast) << char(c.dir) << c.col;
    }
    EXPECT_EQ(Ed.CurCol, c.newCol) << char(c.dir) << c.col;
  }
}

TEST_F(LineTest, ShiftLeftOrRightDropsALineBlock) {
  Text({"1", "2", "3", "4"});
  Block(2, 4);
  Ed.CurLine = 3;
  Ed.CurCol = 3;
  ClearMessageLine();
  ASSERT_EQ(MessageRowEnd(3), " 3 ");
  Kbd.KeyEvent = LeftShift;
  CursorLeft(Extending());
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 3, 3, 2, 3}));
  EXPECT_EQ(Ed.CurCol, 2);
  EXPECT_EQ(MessageRowEnd(3)[1], char(CellChar(Ed.FillCell)));  // no block size shown any more
}

// ---- Up and down ----

TEST_F(LineTest, ShiftDownGrowsTheBlockAtTheCursorEdge) {
  struct Case {
    std::vector<int> before, after;  // BlockFirst, BlockLast, RectFirst, RectLast
  } cases[] = {
      {{0, 0, 3, 5}, {0, 0, 3, 6}},   // the cursor (line 5) on RectLast
      {{0, 0, 5, 7}, {0, 0, 6, 7}},   // on RectFirst: the block shrinks from above
      {{3, 5, 0, 0}, {3, 6, 0, 0}},   // on BlockLast
      {{5, 8, 0, 0}, {6, 8, 0, 0}},   // on BlockFirst
      {{1, 2, 0, 0}, {5, 6, 0, 0}},   // elsewhere: a new two-line block
      {{0, 0, 8, 9}, {5, 6, 0, 0}},   // a rectangle elsewhere gives way
      {{0, 0, 0, 0}, {5, 6, 0, 0}},
  };
  for (const Case& c : cases) {
    Text({"1", "2", "3", "4", "5", "6", "7", "8", "9"});
    Block(c.before[0], c.before[1]);
    Rect(c.before[2], c.before[3], c.before[2] ? 2 : 0, c.before[2] ? 4 : 0);
    Ed.CurLine = 5;
    Txt.LineSaved = true;
    Kbd.KeyEvent = LeftShift;
    CursorDown(Extending());
    EXPECT_EQ(Ed.CurLine, 6);
    EXPECT_FALSE(Txt.LineSaved);
    EXPECT_EQ((std::vector<int>{Ed.BlockFirst, Ed.BlockLast, Ed.RectFirst, Ed.RectLast}), c.after)
        << c.before[0] << c.before[1] << c.before[2] << c.before[3];
  }
  // The message row shows the new size.
  EXPECT_EQ(MessageRowEnd(3), " 2 ");
}

TEST_F(LineTest, ShiftUpGrowsTheBlockAtTheCursorEdge) {
  struct Case {
    std::vector<int> before, after;
  } cases[] = {
      {{0, 0, 5, 7}, {0, 0, 4, 7}},   // on RectFirst
      {{0, 0, 3, 5}, {0, 0, 3, 4}},   // on RectLast: shrinks from below
      {{5, 8, 0, 0}, {4, 8, 0, 0}},   // on BlockFirst
      {{3, 5, 0, 0}, {3, 4, 0, 0}},   // on BlockLast
      {{7, 9, 0, 0}, {4, 5, 0, 0}},   // elsewhere: a new two-line block
      {{0, 0, 0, 0}, {4, 5, 0, 0}},
  };
  for (const Case& c : cases) {
    Text({"1", "2", "3", "4", "5", "6", "7", "8", "9"});
    Block(c.before[0], c.before[1]);
    Rect(c.before[2], c.before[3], c.before[2] ? 2 : 0, c.before[2] ? 4 : 0);
    Ed.CurLine = 5;
    Kbd.KeyEvent = RightShift;
    CursorUp(Extending());
    EXPECT_EQ(Ed.CurLine, 4);
    EXPECT_EQ((std::vector<int>{Ed.BlockFirst, Ed.BlockLast, Ed.RectFirst, Ed.RectLast}), c.after)
        << c.before[0] << c.before[1] << c.before[2] << c.before[3];
  }
}

TEST_F(LineTest, UpAndDownWithoutShiftLeaveTheMarks) {
  Text({"1", "2", "3"});
  Block(1, 2);
  Ed.CurLine = 2;
  Kbd.KeyEvent = CtrlOnly;
  CursorDown(Extending());
  EXPECT_EQ(Ed.CurLine, 3);
  CursorUp(Extending());
  CursorUp(Extending());
  EXPECT_EQ(Ed.CurLine, 1);
  CursorUp(Extending());  // the first line is the limit
  EXPECT_EQ(Ed.CurLine, 1);
  EXPECT_EQ(Marks(), (std::vector<int>{1, 2, 0, 0, 0, 0}));
}

TEST_F(LineTest, DownOnTheLastLineSaysSoAndStays) {
  Text({"1", "2"});
  Ed.CurLine = 2;
  Block(1, 2);
  Keys({Enter});
  Kbd.KeyEvent = LeftShift;  // Shift changes nothing there either
  CursorDown(Extending());
  EXPECT_EQ(Ed.CurLine, 2);
  EXPECT_EQ(Marks(), (std::vector<int>{1, 2, 0, 0, 0, 0}));
  ExpectWaitedForKey();
}

// ---- Pages ----

TEST_F(LineTest, PageUpAndDown) {
  struct Case {
    char dir;
    int top, cur, newTop, newCur;
  } cases[] = {
      {'U', 50, 55, 28, 33},
      {'U', 23, 30, 1, 8},     // exactly one page up
      {'U', 10, 15, 1, 6},     // near the top: the line on the cursor's screen row
      {'U', 1, 1, 1, 1},
      {'D', 50, 55, 72, 77},
      {'D', 70, 95, 92, 100},  // the cursor stops at the last line
      {'D', 80, 90, 100, 100}, // no full page left: both go to the last line
      {'D', 1, 0, 23, 23},     // a cursor line of 0 counts as 1
  };
  Text({});
  for (int i = 1; i <= 100; ++i) ASSERT_TRUE(AppendLine("l", Txt.LineWidth));
  for (const Case& c : cases) {
    Ed.WindowTop = int16_t(c.top);
    Ed.CurLine = int16_t(c.cur);
    Txt.LineSaved = true;
    c.dir == 'U' ? PageUp() : PageDown();
    EXPECT_EQ(Ed.WindowTop, c.newTop) << c.dir << c.top << "/" << c.cur;
    EXPECT_EQ(Ed.CurLine, c.newCur) << c.dir << c.top << "/" << c.cur;
    EXPECT_FALSE(Txt.LineSaved);
  }
}

// ---- Inserting lines ----

TEST_F(LineTest, InsertEmptyLinePutsTheCursorOnTheNewLine) {
  // Whether or not the new line is still inside the window (24 text rows
  // on a 25-row screen), the cursor ends on it; the main loop scrolls.
  for (int top : {1, 2}) {
    Text({});
    for (int i = 1; i <= 30; ++i) ASSERT_TRUE(AppendLine("line " + std::to_string(i), Txt.LineWidth));
    Ed.IndentColumn = 3;
    Ed.WindowTop = int16_t(top);
    Ed.CurLine = 23;  // the last text row when top is 1
    Ed.CurCol = 7;
    Ed.LineMarks = {24, 23, 0};
    Block(24, 26);
    Txt.LineSaved = true;
    InsertEmptyLine();
    EXPECT_EQ(Txt.LineCount, 31);
    EXPECT_EQ(Ed.CurLine, 24);
    EXPECT_EQ(Ed.CurCol, 3);
    EXPECT_FALSE(Txt.LineSaved);
    EXPECT_EQ(LineBytes(24), std::string(Txt.LineWidth, ' '));
    EXPECT_EQ(Line(25), "line 24");
    EXPECT_EQ(Ed.LineMarks, (std::array<int16_t, 3>{25, 23, 0}));
    EXPECT_EQ(Marks(), (std::vector<int>{25, 27, 0, 0, 0, 0}));
    EXPECT_EQ(Ed.WindowTop, top);
  }
}

TEST_F(LineTest, DuplicateLineCopiesTheWholeStoredLine) {
  ResetLineStore();
  ASSERT_TRUE(InitLineStore());
  const std::string full(255, 'z');
  ASSERT_TRUE(AppendLine("one", 254));
  ASSERT_TRUE(AppendLine(full, 255));
  ASSERT_TRUE(AppendLine("three", 254));
  Ed.CurLine = 2;
  Ed.CurCol = 9;
  Rect(3, 3, 1, 2);
  DuplicateLine();
  EXPECT_EQ(Txt.LineCount, 4);
  EXPECT_EQ(Ed.CurLine, 3);
  EXPECT_EQ(Ed.CurCol, 9);
  EXPECT_EQ(LineBytes(3), full);
  EXPECT_EQ(LineBytes(2), full);
  EXPECT_EQ(Line(4), "three");
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 4, 4, 1, 2}));
  EXPECT_FALSE(Txt.LineSaved);
}

TEST_F(LineTest, InsertionsAtTheLineLimitAreRefused) {
  for (auto command : {InsertEmptyLine, DuplicateLine, SplitLine}) {
    MakeText(MaxLines);
    Ed.CurLine = 10;
    Ed.CurCol = 4;
    Ed.IndentColumn = 1;
    Keys({Enter});
    EXPECT_EQ(command(), Outcome::Refused);
    EXPECT_EQ(Txt.LineCount, MaxLines);
    EXPECT_EQ(Ed.CurLine, 10);
    EXPECT_EQ(Ed.CurCol, 4);
    EXPECT_EQ(Line(10), "line 10");
    EXPECT_EQ(Line(11), "line 11");
    ExpectWaitedForKey();
    Kbd.Queue.clear();
    ResetLineStore();
  }
  // One line below the limit they still work.
  for (auto command : {InsertEmptyLine, DuplicateLine, SplitLine}) {
    MakeText(MaxLines - 1);
    Ed.CurLine = 10;
    Ed.CurCol = 4;
    EXPECT_EQ(command(), Outcome::Done);
    EXPECT_EQ(Txt.LineCount, MaxLines);
    EXPECT_TRUE(Terminal.Script.empty());
    ResetLineStore();
  }
}

// ---- Split and join ----

TEST_F(LineTest, SplitLine) {
  Text({"abcdef", "next"});
  Ed.IndentColumn = 3;
  Ed.CurCol = 4;
  Block(2, 2);
  SplitLine();
  EXPECT_EQ(Line(1), "abc");
  EXPECT_EQ(StoredLength(1), Txt.LineWidth);
  EXPECT_EQ(Line(2), "  def");
  EXPECT_EQ(StoredLength(2), Txt.LineWidth);
  EXPECT_EQ(Line(3), "next");
  EXPECT_EQ(Ed.CurLine, 1);
  EXPECT_EQ(Ed.CurCol, 4);
  EXPECT_EQ(Marks(), (std::vector<int>{3, 3, 0, 0, 0, 0}));
  EXPECT_EQ(RingSlot(Txt.UndoIndex).substr(0, 6), "abcdef");  // saved before the change
}

TEST_F(LineTest, SplitLineNeverMakesALineLongerThan255Bytes) {
  struct Case {
    std::string line;  // stored without padding
    int col, indent;
    std::string newLine;
  } cases[] = {
      // A full line split at column 1: the indentation is dropped, the text kept.
      {std::string(255, 'x'), 1, 3, std::string(255, 'x')},
      {std::string(255, 'x'), 2, 3, " " + std::string(254, 'x')},
      // Trailing blanks go before the indentation.
      {std::string(250, 'x') + "     ", 1, 3, "  " + std::string(250, 'x')},
  };
  for (const Case& c : cases) {
    ResetLineStore();
    ASSERT_TRUE(InitLineStore());
    ASSERT_TRUE(AppendLine(c.line, 0));
    Ed.CurLine = 1;
    Ed.CurCol = c.col;
    Ed.IndentColumn = uint8_t(c.indent);
    SplitLine();
    ASSERT_EQ(Txt.LineCount, 2);
    EXPECT_LE(StoredLength(2), 255);
    EXPECT_EQ(Line(2), c.newLine);
    EXPECT_EQ(Line(1), c.line.substr(0, size_t(c.col - 1)));
  }
}

TEST_F(LineTest, JoinLines) {
  struct Case {
    std::string cur;
    int col, width;
    std::string next, joined, rest;  // rest: the next line afterwards, "-" when deleted
  } cases[] = {
      {"one", 4, 254, "   two", "one two", "-"},
      {"one", 4, 8, "   two three", "one two", "  three"},  // only whole words that fit
      {"one ", 5, 254, "   two", "one two", "-"},            // a blank already stands there
      {"one cut", 5, 254, "two", "one two", "-"},           // the cursor cuts the line
      {"one", 6, 254, "two", "one  two", "-"},              // past the text: padded
      {"one", 1, 254, "  two", "two", "-"},                 // at column 1 no blank is kept
      {"one", 4, 254, "", "one", "-"},                      // an empty next line just goes
      {"one", 4, 8, "   abcdefghij", "one", "   abcdefghij"},  // no word fits: unchanged
  };
  for (const Case& c : cases) {
    Text({c.cur, c.next, "last"});
    Ed.CurCol = c.col;
    Ed.FormatWidth = uint8_t(c.width);
    JoinLines();
    EXPECT_EQ(Line(1), c.joined) << c.cur << "|" << c.next;
    if (c.rest == "-") {
      EXPECT_EQ(Txt.LineCount, 2);
      EXPECT_EQ(Line(2), "last");
    } else {
      EXPECT_EQ(Txt.LineCount, 3);
      EXPECT_EQ(Line(2), c.rest) << c.cur << "|" << c.next;
    }
    EXPECT_EQ(Ed.CurLine, 1);
    EXPECT_EQ(Ed.CurCol, c.col);
  }
}

TEST_F(LineTest, JoinLinesSavesBothLinesAndKeepsMarksInStep) {
  Text({"a", "one", "   two", "b", "c"});
  Ed.CurLine = 2;
  Ed.CurCol = 4;
  Ed.LineMarks = {3, 4, 0};
  Block(2, 3);
  JoinLines();
  EXPECT_EQ(Line(2), "one two");
  EXPECT_EQ(RingSlot(Txt.UndoIndex).substr(0, 3), "one");           // the cursor line, newest
  EXPECT_EQ(RingSlot(Txt.UndoIndex - 1).substr(0, 6), "   two");    // the joined line before it
  EXPECT_EQ(Ed.LineMarks, (std::array<int16_t, 3>{0, 3, 0}));       // the mark on the joined line is gone
  EXPECT_EQ(Marks(), (std::vector<int>{2, 2, 0, 0, 0, 0}));

  // On the last line nothing happens.
  Ed.CurLine = Txt.LineCount;
  const int count = Txt.LineCount;
  JoinLines();
  EXPECT_EQ(Txt.LineCount, count);
}

TEST_F(LineTest, JoinLinesStaysWithin255Bytes) {
  ResetLineStore();
  ASSERT_TRUE(InitLineStore());
  ASSERT_TRUE(AppendLine(std::string(255, 'x'), 0));
  ASSERT_TRUE(AppendLine("tail words", 254));
  ASSERT_TRUE(AppendLine("", 254));
  Ed.CurLine = 1;
  Ed.FormatWidth = 254;
  Ed.CurCol = 256;  // after the full line: nothing of the next line fits
  JoinLines();
  EXPECT_EQ(LineBytes(1), std::string(255, 'x'));
  EXPECT_EQ(Line(2), "tail words");
  Ed.CurLine = 2;
  Ed.CurCol = 250;  // the blank third line joins without growing anything
  JoinLines();
  EXPECT_EQ(Txt.LineCount, 2);
  EXPECT_LE(StoredLength(2), 255);
  EXPECT_EQ(Line(2), "tail words");
}

// ---- Indentation and clearing ----

TEST_F(LineTest, SetIndentation) {
  struct Case {
    std::string line;
    int target;
    std::string result;
  } cases[] = {
      {"   abc def", 1, "abc def"},
      {"abc", 4, "   abc"},
      {"  abc", 3, "  abc"},
      {"", 5, ""},
      {"  " + std::string(250, 'x'), 10, "     " + std::string(250, 'x')},  // only as far as it fits
  };
  for (const Case& c : cases) {
    Text({c.line});
    Ed.CurCol = 7;
    SetIndentation(c.target);
    EXPECT_EQ(Line(1), c.result) << c.line << " -> " << c.target;
    EXPECT_EQ(Ed.CurCol, 7);
    EXPECT_TRUE(Txt.LineSaved);
  }
}

TEST_F(LineTest, ClearToLineEnd) {
  Text({"abcdef"});
  Ed.CurCol = 3;
  ClearToLineEnd();
  EXPECT_EQ(Line(1), "ab");
  EXPECT_EQ(StoredLength(1), Txt.LineWidth);
  EXPECT_EQ(RingSlot(Txt.UndoIndex).substr(0, 6), "abcdef");
  Ed.CurCol = Txt.LineWidth + 1;  // past the stored end: nothing to clear
  ClearToLineEnd();
  EXPECT_EQ(Line(1), "ab");
}

// ---- Deleting words ----

TEST_F(LineTest, DeleteWord) {
  struct Case {
    std::string line;
    int col;
    std::string result;
    int newCol;
  } cases[] = {
      {"one two three", 6, "one three", 5},  // from inside a word, with its blank
      {"one two three", 5, "one three", 5},
      {"one two", 6, "one", 5},              // the last word
      {"one   two", 4, "onetwo", 4},         // on blanks: they go
      {"(abc) x", 1, "abc) x", 1},           // a delimiter at column 1 goes
      {" -- x", 2, " x", 2},                 // delimiters after a blank, then blanks
      {"one, two", 4, "two", 1},             // a delimiter after a word goes with the word
      {"abc   ", 5, "abc", 5},               // past the text: nothing
      {"abc", 254, "abc", 254},
  };
  for (const Case& c : cases) {
    Text({c.line});
    Ed.CurCol = c.col;
    DeleteWord();
    EXPECT_EQ(Line(1), c.result) << c.line << " @" << c.col;
    EXPECT_EQ(Ed.CurCol, c.newCol) << c.line << " @" << c.col;
    EXPECT_EQ(StoredLength(1), Txt.LineWidth);
  }
}

TEST_F(LineTest, DeleteWordLeft) {
  struct Case {
    std::string line;
    int col;
    bool afterBlank;
    std::string result;
    int newCol;
  } cases[] = {
      {"one two three", 9, false, "one three", 5},
      {"one two three", 8, false, "one three", 5},  // on the blank after the word
      {"a(bc d", 6, false, "a d", 3},               // a blank keeps the words apart
      {"one two", 1, false, "one two", 1},          // column 1: nothing
  };
  for (const Case& c : cases) {
    Text({c.line});
    Ed.CurCol = c.col;
    DeleteWordLeft(c.afterBlank);
    EXPECT_EQ(Line(1), c.result) << c.line << " @" << c.col;
    EXPECT_EQ(Ed.CurCol, c.newCol) << c.line << " @" << c.col;
    EXPECT_EQ(Txt.LineSaved, c.col > 1);  // only a change saves the line
  }
}

TEST_F(LineTest, DeleteWordLeftOnAFullLine) {
  Text({});
  const std::string full = "a(bc d" + std::string(249, 'y');
  ASSERT_TRUE(AppendLine(full, 0));
  Ed.CurCol = 6;
  DeleteWordLeft(false);
  EXPECT_EQ(LineBytes(1), "a d" + std::string(249, 'y') + "   ");
  EXPECT_EQ(StoredLength(1), 255);
}

TEST_F(LineTest, DeletionsAtTheCursorMoveAOneLineRectangleOnTheRight) {
  struct Case {
    int first, last, firstCol, lastCol;
    int newFirstCol, newLastCol;
  } cases[] = {
      {1, 1, 6, 7, 4, 5},  // right of the cursor on its line: follows its text
      {1, 1, 3, 7, 3, 7},  // starting at the cursor: stays
      {1, 2, 6, 7, 6, 7},  // two lines high: stays
      {2, 2, 6, 7, 6, 7},  // another line: stays
  };
  for (const Case& c : cases) {
    Text({"ab  cd", "x"});
    Ed.CurCol = 3;
    Rect(c.first, c.last, c.firstCol, c.lastCol);
    DeleteWord();  // two blanks at the cursor
    EXPECT_EQ(Line(1), "abcd");
    EXPECT_EQ(Ed.RectFirstCol, c.newFirstCol);
    EXPECT_EQ(Ed.RectLastCol, c.newLastCol);
  }
  Text({"abcdef"});
  Ed.CurCol = 2;
  Rect(1, 1, 4, 5);
  DeleteCharAtCursor();
  EXPECT_EQ(Line(1), "acdef");
  EXPECT_EQ(StoredLength(1), Txt.LineWidth);
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 3, 4}));
}

}  // namespace
