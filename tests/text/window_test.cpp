// Drawing of text lines and the status line into the cell image.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/state.h"
#include "support/driver.h"
#include "support/fixture.h"
#include "text/heap.h"
#include "text/linestore.h"
#include "text/questions.h"
#include "text/status.h"

using namespace std::string_literals;

namespace {

using Runs = std::vector<std::pair<int, int>>;  // attribute, number of cells

Runs AttrRuns(int row) {
  Runs r;
  for (int c = 1; c <= Scr.ScreenWidth; ++c) {
    int a = CellAttr(CellAt(c, row));
    if (!r.empty() && r.back().first == a) ++r.back().second;
    else r.push_back({a, 1});
  }
  return r;
}

std::string RowChars(int row, int from = 1, int to = 0) {
  if (to == 0) to = Scr.ScreenWidth;
  std::string s;
  for (int c = from; c <= to; ++c) s += char(CellChar(CellAt(c, row)));
  return s;
}

std::string Padded(std::string s, size_t width) {
  s.resize(width, ' ');
  return s;
}

}  // namespace

class WindowTest : public EditorTest {
 protected:
  WindowTest() { Ed.CrossHair = false; }
  // Lines stored exactly as given.
  void SetLines(const std::vector<std::string>& lines) {
    ASSERT_TRUE(InitLineStore());
    for (const std::string& l : lines) ASSERT_TRUE(AppendLine(l, 0));
  }
  // The store holding just this line (StoreLine would drop a colour mark
  // that does not fit the stored block).
  void OneLine(const std::string& line) {
    ResetLineStore();
    SetLines({line});
  }
  void Width(int w) { ResetScreen(w, 25); }
};

// One line drawn into row 3: its colours and, where given, its characters.
TEST_F(WindowTest, ColoursStoredInTheTextAndComments) {
  struct Case {
    const char* Name;
    std::string Line;
    uint8_t Brace;  // 2: Pascal mode
    int H;
    Runs Want;
    std::string Chars = "";  // the row's first characters, when checked
  } cases[] = {
      // Line colour marks: [bg] fg TAB after the last visible character.
      {"mark fg and bg", "abc\x01\x04\x09", 0, 0, {{0x14, 80}}, Padded("abc", 8)},
      {"mark fg only", "abc\x04\x09   ", 0, 0, {{0x04, 80}}, Padded("abc", 8)},
      {"mark colour 1 shows as 13", "abc\x01\x09", 0, 0, {{0x0D, 80}}},
      {"mark of fg 0 and bg 7", "abc\x07\x00\x09"s, 0, 0, {{0x70, 80}}, Padded("abc", 8)},
      {"TAB inside the text is no mark", "a\x04\x09z", 0, 0, {{0x07, 1}, {0x40, 1}, {0x09, 1}, {0x07, 77}}},
      // NUL marks.
      {"NUL last", "abc\0  "s, 0, 0, {{0x1E, 80}}, Padded("abc", 6)},
      {"NUL inside", "a\0b"s, 0, 0, {{0x07, 1}, {0xA0, 1}, {0x07, 78}}, "a0b "},
      // Comments.
      {"braces in Pascal mode", "x := 1; { note } y", 2, 0, {{0x07, 8}, {0x03, 8}, {0x07, 64}}},
      {"braces elsewhere", "x := 1; { note } y", 0, 0, {{0x07, 80}}},
      {"open brace to the row end", "a { b", 2, 0, {{0x07, 2}, {0x03, 78}}},
      {"hash elsewhere", "a # b", 0, 0, {{0x07, 2}, {0x03, 78}}},
      {"hash in Pascal mode", "a # b", 2, 0, {{0x07, 80}}},
      {"slashes elsewhere", "a // b", 0, 0, {{0x07, 2}, {0x03, 78}}},
      {"slashes in Pascal mode", "a // b", 2, 0, {{0x07, 2}, {0x03, 78}}},
      {"one slash", "a / b", 0, 0, {{0x07, 80}}},
      // Inline codes: the code shows as blanks, the limit follows the code.
      {"code 2: a word", "ab\x02\x04" "word rest", 0, 0, {{0x07, 4}, {0x04, 4}, {0x07, 72}}, "ab  word rest "},
      {"code 2 with bg", "ab\x02\x04\x01" "word rest", 0, 0, {{0x07, 5}, {0x14, 4}, {0x07, 71}}, "ab   word rest "},
      {"code 1: the text", "ab\x01\x04" "word rest  ", 0, 0, {{0x07, 4}, {0x04, 9}, {0x07, 67}}},
      {"code 0: the row", "ab\x00\x04" "word rest"s, 0, 0, {{0x07, 4}, {0x04, 76}}, "ab  word rest "},
      {"code 31: the row", "ab\x1F\x04" "word rest", 0, 0, {{0x07, 4}, {0x04, 76}}},
      {"code first in the line", "\x02\x04" "word x", 0, 0, {{0x07, 2}, {0x04, 4}, {0x07, 74}}},
      {"code colour 1 shows as 13", "a\x01\x01" "bc", 0, 0, {{0x07, 3}, {0x0D, 2}, {0x07, 75}}},
      {"code at the line end is a glyph", "ab\x02", 0, 0, {{0x07, 2}, {0x02, 1}, {0x07, 77}}},
      {"two NULs are no code", "a\0\0\0b"s, 0, 0, {{0x07, 1}, {0xA0, 3}, {0x07, 76}}, "a000b"},
      // After code 31 the byte 1 is its colour, not a code of its own.
      {"code after 31 is its colour", "\x1F\x01\x04" "ab", 0, 0, {{0x07, 3}, {0x41, 77}}},
      // Overlaps: the nearest opener to the left wins.
      {"word inside a row code", "\x00\x04" "ab \x02\x05" "cd ef"s, 0, 0,
       {{0x07, 2}, {0x04, 5}, {0x05, 2}, {0x04, 71}}},
      {"code inside a comment", "# a \x02\x04" "bc d", 0, 0, {{0x03, 6}, {0x04, 2}, {0x03, 72}}},
      {"comment inside a code", "\x00\x04" "a # b"s, 0, 0, {{0x07, 2}, {0x04, 2}, {0x03, 76}}},
      {"an invisible span is taken over", "\x00\x04" "a\x02\x00" "bc d"s, 0, 0, {{0x07, 2}, {0x04, 78}}},
      // Scrolled right: openers in the hidden part.
      {"scrolled past an open brace", "ab { cd } ef", 2, 4, {{0x03, 5}, {0x07, 75}}, " cd } ef"},
      {"scrolled past a closed comment", "{ a } bc", 2, 5, {{0x07, 80}}},
      {"closing brace hidden, no blank", "{ab}cd", 2, 5, {{0x07, 80}}},
      {"open brace, blanks passed", "{a b", 2, 3, {{0x03, 80}}},
      {"scrolled past a hash", "a # bc", 0, 3, {{0x03, 80}}},
      {"hash hidden in Pascal mode", "a # bc", 2, 3, {{0x07, 80}}},
      {"scrolled into slashes", "x // yz", 0, 3, {{0x03, 80}}},
      {"scrolled past slashes", "x // yz", 2, 4, {{0x03, 80}}},
      {"scrolled past code 0", "\x00\x04" "abc def"s, 0, 3, {{0x04, 80}}, "bc def "},
      {"scrolled past code 31", "\x1F\x04" "abc def", 0, 3, {{0x04, 80}}},
      {"scrolled past code 1", "\x01\x04" "abc def", 0, 3, {{0x04, 6}, {0x07, 74}}},
      {"scrolled into a code-2 word", "\x02\x04" "abc def", 0, 3, {{0x04, 2}, {0x07, 78}}},
      {"scrolled past a code-2 word", "\x02\x04" "a bc", 0, 4, {{0x07, 80}}},
      {"hidden code 0 of colour 1", "\x00\x01" "abc"s, 0, 2, {{0x0D, 80}}},
      {"hidden code 2 of colour 1 stays 1", "\x02\x01" "abc d", 0, 2, {{0x01, 3}, {0x07, 77}}},
      {"scrolled beyond the text", "abc", 0, 100, {{0x07, 80}}, Padded("", 80)},
      {"beyond the text, hash hidden", "ab # c", 0, 100, {{0x03, 80}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    OneLine(c.Line);
    Ed.Source = c.Brace == 2 ? SourceMode::Pascal : SourceMode::Plain;
    DrawLine(c.H, 1, 3);
    EXPECT_EQ(AttrRuns(3), c.Want);
    if (!c.Chars.empty()) {
      EXPECT_EQ(RowChars(3, 1, int(c.Chars.size())), c.Chars);
    }
  }
}

TEST_F(WindowTest, ControlBytesHaveTheirOwnGlyphsAndColours) {
  const std::pair<int, int> table[32] = {
      {'0', 0xA0}, {1, 0x09},   {2, 0x02},   {3, 0x30},   {4, 0x40},   {5, 0x50},   {6, 0x60},   {'G', 0xA0},
      {'H', 0xB0}, {9, 0x09},   {10, 0x0A},  {11, 0x0B},  {12, 0x0C},  {13, 0x0D},  {14, 0x0E},  {15, 0x0F},
      {'P', 0xC0}, {17, 0x16},  {18, 0x25},  {19, 0x34},  {20, 0x43},  {21, 0x52},  {22, 0x61},  {'W', 0xD0},
      {'X', 0xE0}, {25, 0x16},  {26, 0x25},  {27, 0x34},  {28, 0x43},  {29, 0x52},  {30, 0x61},  {31, 0x0D}};
  for (int b = 0; b < 32; ++b) {
    SCOPED_TRACE(b);
    // In a line of colour 0x04 (a line colour mark), which they ignore.
    OneLine("x"s + char(b) + "x\x04\x09");
    DrawLine(0, 1, 3);
    EXPECT_EQ(CellAt(1, 3), MakeCell('x', 0x04));
    EXPECT_EQ(CellAt(2, 3), MakeCell(uint8_t(table[b].first), uint8_t(table[b].second)));
    EXPECT_EQ(CellAt(3, 3), MakeCell('x', 0x04));
  }
}

TEST_F(WindowTest, LineBlockOverridesTheLinesOwnColours) {
  SetLines({"abc\x04\x09", "ab\x02\x04" "word # c", "a\x07" "b", "plain"});
  Ed.BlockFirst = 1;
  Ed.BlockLast = 3;
  Ed.LineMarks = {0, 2, 0};  // mark 2 on a block line
  for (int n = 1; n <= 4; ++n) DrawLine(0, n, n + 2);
  EXPECT_EQ(AttrRuns(3), (Runs{{0x70, 80}}));
  EXPECT_EQ(RowChars(3, 1, 6), "abc   ");
  EXPECT_EQ(AttrRuns(4), (Runs{{0x70, 80}}));
  EXPECT_EQ(RowChars(4, 1, 10), "ab  word #");
  EXPECT_EQ(AttrRuns(5), (Runs{{0x70, 1}, {0xA0, 1}, {0x70, 78}}));  // control cells keep theirs
  EXPECT_EQ(AttrRuns(6), (Runs{{0x07, 80}}));
}

TEST_F(WindowTest, LineMarksColourTheCellsStillInPlainColour) {
  SetLines({"plain", "a # b", "two marks"});
  Ed.LineMarks = {3, 1, 3};
  for (int n = 1; n <= 3; ++n) DrawLine(0, n, n + 2);
  EXPECT_EQ(AttrRuns(3), (Runs{{0x2F, 80}}));
  EXPECT_EQ(AttrRuns(4), (Runs{{0x07, 2}, {0x03, 78}}));  // no mark on line 2
  EXPECT_EQ(AttrRuns(5), (Runs{{0x3F, 80}}));             // mark 3 wins over 1
  Ed.LineMarks = {2, 0, 0};
  DrawLine(0, 2, 4);
  EXPECT_EQ(AttrRuns(4), (Runs{{0x1F, 2}, {0x03, 78}}));
}

TEST_F(WindowTest, RectangularBlockColumnsAreClippedToTheRow) {
  struct Case {
    int First, Last, H;
    Runs Want;
  } cases[] = {
      {3, 5, 0, {{0x07, 2}, {0x70, 3}, {0x07, 75}}},
      {3, 12, 8, {{0x70, 4}, {0x07, 76}}},   // partly left of the window
      {78, 90, 0, {{0x07, 77}, {0x70, 3}}},  // partly right of it
      {100, 120, 0, {{0x07, 80}}},
      {1, 5, 10, {{0x07, 80}}},
      {9, 4, 0, {{0x07, 80}}},
      {-5, 100000, 0, {{0x70, 80}}},
  };
  SetLines({"line one", "line two", "line three"});
  Ed.RectFirst = 2;
  Ed.RectLast = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.First) + ".." + std::to_string(c.Last));
    Ed.RectFirstCol = c.First;
    Ed.RectLastCol = c.Last;
    DrawLine(c.H, 2, 4);
    EXPECT_EQ(AttrRuns(4), c.Want);
    DrawLine(c.H, 3, 5);  // not a block line
    EXPECT_EQ(AttrRuns(5), (Runs{{0x07, 80}}));
  }
}

TEST_F(WindowTest, CrossHairMarksTheCursorColumnAndLine) {
  SetLines({"a # b", "cursor line # x", "block"});
  Ed.CurLine = 2;
  Ed.CurCol = 4;
  Ed.BlockFirst = Ed.BlockLast = 3;
  Ed.CrossHair = true;
  for (int n = 1; n <= 3; ++n) DrawLine(0, n, n + 2);
  DrawLine(0, 9, 12);  // beyond the text
  EXPECT_EQ(AttrRuns(3), (Runs{{0x07, 2}, {0x03, 1}, {0x13, 1}, {0x03, 76}}));
  EXPECT_EQ(AttrRuns(4), (Runs{{0x17, 3}, {0x97, 1}, {0x17, 8}, {0x13, 68}}));
  EXPECT_EQ(AttrRuns(5), (Runs{{0x70, 80}}));  // attributes of 0x10 and above stay
  EXPECT_EQ(AttrRuns(12), (Runs{{0x07, 3}, {0x17, 1}, {0x07, 76}}));

  Ed.CurLine = 3;  // the cursor cell on a block line gets only the blink bit
  DrawLine(0, 3, 5);
  EXPECT_EQ(AttrRuns(5), (Runs{{0x70, 3}, {0xF0, 1}, {0x70, 76}}));

  Ed.HScroll = 10;  // column off the window: only the cursor line
  Ed.CurLine = 2;
  DrawLine(Ed.HScroll, 1, 3);
  EXPECT_EQ(AttrRuns(3), (Runs{{0x03, 80}}));  // the hidden '#' still colours
  DrawLine(Ed.HScroll, 2, 4);
  EXPECT_EQ(AttrRuns(4), (Runs{{0x17, 2}, {0x13, 78}}));

  Ed.CrossHair = false;
  DrawLine(0, 2, 4);
  EXPECT_EQ(AttrRuns(4), (Runs{{0x07, 12}, {0x03, 68}}));
}

TEST_F(WindowTest, EveryWidthShowsAsMuchOfALongLineAsFits) {
  std::string line;
  for (int i = 0; i < 255; ++i) line += char('a' + i % 26);
  for (int w : {80, 100, 132}) {
    SCOPED_TRACE(w);
    Width(w);
    OneLine(line);
    Ed.RectFirst = Ed.RectLast = 1;
    Ed.RectFirstCol = 250;
    Ed.RectLastCol = 400;
    DrawLine(0, 1, 25);
    EXPECT_EQ(RowChars(25), line.substr(0, size_t(w)));
    EXPECT_EQ(AttrRuns(25), (Runs{{0x07, w}}));
    DrawLine(200, 1, 25);  // the last 55 bytes, then blanks
    EXPECT_EQ(RowChars(25), Padded(line.substr(200), size_t(w)));
    EXPECT_EQ(AttrRuns(25), (Runs{{0x07, 49}, {0x70, w - 49}}));
    EXPECT_EQ(CellAt(w, 24), BlankCell);  // nothing spilt into other rows
    EXPECT_EQ(CellAt(1, 1), BlankCell);
  }
}

TEST_F(WindowTest, WindowShowsLinesFromTheTopAndBlanksAfterTheEnd) {
  SetLines({"one", "two", "three"});
  Ed.CrossHair = true;
  Ed.CurLine = 3;
  Ed.CurCol = 3;
  Ed.WindowTop = 2;
  Ed.HScroll = 1;
  for (int r = 1; r <= 25; ++r) PutCharAt(1, r, '*', 0x4E);  // stale cells
  const uint32_t flushes = Scr.Flushes;
  DrawTextWindow();
  EXPECT_EQ(RowChars(3, 1, 4), "wo  ");
  EXPECT_EQ(AttrRuns(3), (Runs{{0x07, 1}, {0x17, 1}, {0x07, 78}}));
  EXPECT_EQ(RowChars(4, 1, 5), "hree ");
  EXPECT_EQ(AttrRuns(4), (Runs{{0x17, 1}, {0x97, 1}, {0x17, 78}}));
  for (int r = 5; r <= 25; ++r) EXPECT_EQ(AttrRuns(r), (Runs{{0x07, 80}})) << r;
  EXPECT_EQ(RowChars(25), Padded("", 80));
  EXPECT_EQ(CellAt(1, 1), MakeCell('*', 0x4E));  // rows 1 and 2 untouched
  EXPECT_EQ(CellAt(1, 2), MakeCell('*', 0x4E));
  EXPECT_GT(Scr.Flushes, flushes);

  // A line number beyond the text draws a blank row, and flushes.
  PutCharAt(5, 10, '*', 0x4E);
  const uint32_t before = Scr.Flushes;
  Ed.CrossHair = false;
  DrawLine(0, 4, 10);
  EXPECT_EQ(AttrRuns(10), (Runs{{0x07, 80}}));
  EXPECT_EQ(RowChars(10), Padded("", 80));
  EXPECT_EQ(Scr.Flushes, before + 1);
}

TEST_F(WindowTest, WorkLineIsDrawnPlainlyAndNotFlushed) {
  SetLines({"x"});
  Ed.Source = SourceMode::Plain;
  Ed.LineMarks = {0, 0, 0};
  Ed.CrossHair = true;
  Ed.CurLine = 0;
  StoreWorkLine("# no comment \x07 here");
  const uint32_t flushes = Scr.Flushes;
  DrawLine(0, 0, 2);
  EXPECT_EQ(Scr.Flushes, flushes);
  EXPECT_EQ(RowChars(2, 1, 20), "# no comment G here ");
  EXPECT_EQ(AttrRuns(2), (Runs{{0x07, 13}, {0xA0, 1}, {0x07, 66}}));
}

TEST_F(WindowTest, HexByteGivesTwoUpperCaseDigits) {
  EXPECT_EQ(HexByte(0), "00");
  EXPECT_EQ(HexByte(0x0A), "0A");
  EXPECT_EQ(HexByte(0xBF), "BF");
  EXPECT_EQ(HexByte(255), "FF");
}

class StatusLineTest : public WindowTest {
 protected:
  StatusLineTest() {
    Ed.FileName = "/home/user/a-long-file-name.txt";
    Ed.InsertMode = false;
    SetLines({"first", "line 2", "third"});
  }
  void FreeKiB(size_t kib) { Heap.Budget = Heap.Used + kib * 1024 + 1023; }
};

TEST_F(StatusLineTest, FieldsStandInFixedColumns) {
  Ed.CurLine = 2;
  Ed.CurCol = 6;
  FreeKiB(12);
  DrawStatusLine();
  //                  1        10        20        30        40        50        60        70        80
  EXPECT_EQ(RowChars(1), "/home/user/a-long-filline=2    column=6   size=3    memory=12 K  '2'=32/50  123 ");
  EXPECT_EQ(LineBytes(0), RowChars(1));  // kept as the work line
  EXPECT_EQ(AttrRuns(1), (Runs{{0x07, 76}, {0x00, 3}, {0x07, 1}}));

  FreeKiB(12345);
  Ed.CurLine = 12345;
  Ed.CurCol = 255;  // beyond the stored line: a blank
  DrawStatusLine();
  EXPECT_EQ(RowChars(1, 22), "line=12345column=255 size=3    memory=12345K' '=20/32  123 ");

  FreeKiB(123456);  // no room left for the K
  DrawStatusLine();
  EXPECT_EQ(RowChars(1, 53, 66), "memory=123456'");

  Ed.FileName = "short";
  DrawStatusLine();
  EXPECT_EQ(RowChars(1, 1, 22), Padded("short", 21) + "l");
}

TEST_F(StatusLineTest, ControlByteUnderTheCursor) {
  StoreLine("a\x07" "b", 1);
  Ed.CurLine = 1;
  Ed.CurCol = 2;
  DrawStatusLine();
  EXPECT_EQ(RowChars(1, 66, 80), "'G'=07/7   123 ");
  EXPECT_EQ(CellAttr(CellAt(67, 1)), 0x07);
}

TEST_F(StatusLineTest, IndicatorsAndMarks) {
  Ed.CurLine = 2;
  Ed.CurCol = 3;
  Ed.HScroll = 0;
  Ed.InsertMode = true;
  Kbd.RusLayoutOn = true;
  Ed.LineMarks = {2, 3, 0};
  Ed.BlockFirst = Ed.BlockLast = 1;
  Ed.CrossHair = true;
  DrawStatusLine();
  EXPECT_EQ(CellAt(3, 1), MakeCell('o', 0xF0));  // the cursor column
  EXPECT_EQ(CellAttr(CellAt(67, 1)), 0x70);       // insert mode
  EXPECT_EQ(CellAt(76, 1), MakeCell('R', 0x70));
  EXPECT_EQ(CellAt(77, 1), MakeCell('1', 0x4B));  // mark 1 on the cursor line
  EXPECT_EQ(CellAt(78, 1), MakeCell('2', 0x07));  // mark 2 elsewhere
  EXPECT_EQ(CellAt(79, 1), MakeCell('3', 0x00));  // mark 3 not set
  EXPECT_EQ(CellAttr(CellAt(80, 1)), 0x70);       // a block is marked

  Ed.BlockFirst = Ed.BlockLast = 0;
  Ed.RectFirst = Ed.RectLast = 3;
  Ed.HScroll = 5;  // cursor column left of the window
  Kbd.RusLayoutOn = false;
  Ed.InsertMode = false;
  DrawStatusLine();
  EXPECT_EQ(AttrRuns(1), (Runs{{0x07, 76}, {0x4B, 1}, {0x07, 1}, {0x00, 1}, {0x70, 1}}));
  EXPECT_EQ(CellAt(76, 1), MakeCell(' ', 0x07));

  Ed.RectFirst = Ed.RectLast = 0;
  DrawStatusLine();
  EXPECT_EQ(CellAttr(CellAt(80, 1)), 0x07);
}

TEST_F(StatusLineTest, WiderScreensKeepTheEightyColumnLayout) {
  for (int w : {100, 132}) {
    SCOPED_TRACE(w);
    Width(w);
    Ed.CurLine = 1;
    Ed.CurCol = 90;
    Ed.CrossHair = true;
    Kbd.RusLayoutOn = true;
    Ed.LineMarks = {1, 0, 0};
    const uint32_t flushes = Scr.Flushes;
    DrawStatusLine();
    EXPECT_EQ(Scr.Flushes, flushes + 1);
    EXPECT_EQ(RowChars(1, 72, 80), "/32 R123 ");
    EXPECT_EQ(RowChars(1, 81), Padded("", size_t(w - 80)));
    EXPECT_EQ(CellAt(77, 1), MakeCell('1', 0x4B));
    EXPECT_EQ(CellAt(90, 1), MakeCell(' ', 0xF0));
    EXPECT_EQ(CellAttr(CellAt(w, 1)), 0x07);
    EXPECT_EQ(StoredLength(0), 80);
  }
}

// Questions draw their rows as the work line: control bytes keep their own
// colours, everything else takes the question's.
TEST_F(WindowTest, QuestionRowsGoThroughTheWorkLine) {
  Width(132);
  Q.AskSelection = 1;
  EXPECT_THROW(Ask(" Go \x04 ? | 1 - yes | 2 - no |", "", 0x3F, 0x2F, 0x5F, 0x0D), InputLost);
  EXPECT_EQ(CellAt(5, 1), MakeCell(4, 0x40));
  EXPECT_EQ(CellAttr(CellAt(4, 1)), 0x3F);
  EXPECT_EQ(CellAt(132, 1), MakeCell(' ', 0x2F));
}

TEST(WindowRun, PascalCommentsAndTheStatusLineInTheRunningEditor) {
  RunOptions o;
  o.FileName = "unit.pas";
  o.Text = "begin\nx := 1; { note } y\n";
  o.Switches = {"-w", "-+"};
  o.Keys = "<Down>";
  RunResult r = Drive(o);
  EXPECT_EQ(r.Row(4).substr(0, 18), "x := 1; { note } y");
  for (int c = 1; c <= 20; ++c) {
    const bool comment = c >= 9 && c <= 16;
    EXPECT_EQ(CellAttr(r.At(c, 4)), comment ? 0x03 : 0x07) << c;
  }
  EXPECT_NE(r.Row(1).find("line=2    column=3   size=2"), std::string::npos) << r.Row(1);
}
