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
  // The keys these tests press stand for a Shift variant when they hold
  // Shift (the commands bound to such keys extend the block).
  static bool Extending() { return (KeyShift() & 3) != 0; }
  // Line n without its trailing blanks.
  static std::string Line(int n) { return std::string(LineBytes(n).substr(0, TrimmedLength(LineBytes(n)))); }
  static std::vector<int> Marks() {
    return {Ed.BlockFirst, Ed.BlockLast, Ed.RectFirst, Ed.RectLast, Ed.RectFirstCol, Ed.RectLastCol};
  }
  // The waiting message took exactly the one scripted key and left it queued.
  void ExpectWaitedForKey() {
    EXPECT_TRUE(Terminal.Script.empty());
    EXPECT_EQ(Kbd.Queue.size(), 1u);
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
      // (At the full format width: cases line-join-*.)
      {"one", 4, 8, "   two three", "one two", "  three"},  // only whole words that fit
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

// ---- Indentation ----

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

}  // namespace
