#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/state.h"
#include "text/words.h"
#include "support/fixture.h"
#include "text/linestore.h"

namespace {

class WordTest : public EditorTest {
 protected:
  // A text of the given lines, each padded to LineWidth; cursor on line 1.
  void Text(std::initializer_list<std::string> lines) {
    ASSERT_TRUE(InitLineStore());
    for (const std::string& l : lines) ASSERT_TRUE(AppendLine(l, Txt.LineWidth));
    Ed.CurLine = 1;
    Ed.CurCol = 1;
  }
  void Rect(int first, int last, int firstCol, int lastCol) {
    Ed.RectFirst = int16_t(first);
    Ed.RectLast = int16_t(last);
    Ed.RectFirstCol = firstCol;
    Ed.RectLastCol = lastCol;
  }
  std::vector<int> Marks() const {
    return {Ed.BlockFirst, Ed.BlockLast, Ed.RectFirst, Ed.RectLast, Ed.RectFirstCol, Ed.RectLastCol};
  }
};

TEST_F(WordTest, DelimitersAreExactlyTheTwentyThree) {
  EXPECT_EQ(Delimiters.size(), 23u);
  for (char c : std::string(".,:;?!/\\()-*+=<>{}[]_\"'")) EXPECT_TRUE(IsDelimiter(uint8_t(c))) << c;
  int count = 0;
  for (int c = 0; c < 256; ++c) count += IsDelimiter(uint8_t(c));
  EXPECT_EQ(count, 23);
  // Blank, control bytes, digits, both alphabets (KOI8 and 866 letters) are not.
  for (int c : std::initializer_list<int>{' ', 0, 9, 'a', 'Z', '0', '#', '@', '&', '|', '~', 0xC1, 0xE1, 0xA0, 0x80, 0xFF})
    EXPECT_FALSE(IsDelimiter(uint8_t(c))) << c;
}

TEST_F(WordTest, WordStartLeft) {
  struct Case {
    std::string line;
    int pos, start;
  } cases[] = {
      {"abc def", 5, 1},           // at the start of a word: the previous word
      {"abc def", 6, 1},           // inside a word: the previous word too
      {"abc def", 8, 5},           // after the last word: that word
      {"abc def   ", 9, 5},        // from blanks after a word: that word
      {"x  (abc)", 8, 4},          // from a closing bracket: the bracketed word
      {"a.b", 3, 1},               // delimiters inside a word are passed
      {"ab\x01" "cd", 5, 1},       // and so are control bytes
      {"abc", 1, 1},
      {"abc", 0, 1},
      {"abc", 300, 1},             // far past the line: read as blanks
      {std::string(255, 'x'), 255, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(WordStartLeft(c.line, c.pos), c.start) << c.line << " @" << c.pos;
}

TEST_F(WordTest, WordEndRight) {
  struct Case {
    std::string line;
    int pos;
    WordEnd to;
    int end;
  } cases[] = {
      {"abc, def", 1, WordEnd::NextStart, 6},
      {"abc, def", 1, WordEnd::End, 4},
      {"abc, def", 1, WordEnd::PastDelimiters, 5},
      {"abc.  def", 4, WordEnd::End, 10}, // a delimiter before a blank: on to the next word's end
      {"abc.  def", 4, WordEnd::NextStart, 7},
      {"ab\x01" "cd x", 3, WordEnd::NextStart, 7},
      {"abc", 1, WordEnd::NextStart, 4},        // stops just after the text
      {"abc", 10, WordEnd::NextStart, 10},
      {std::string(255, 'x'), 1, WordEnd::NextStart, 256},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WordEndRight(c.line, c.pos, c.to), c.end) << c.line << " @" << c.pos << " to " << int(c.to);
}

TEST_F(WordTest, WordAtCursorKinds) {
  struct Case {
    std::string line;
    int col;
    WordPart part;
    std::string word;
  } cases[] = {
      {"(abc)x", 3, WordPart::Word, "abc"},
      {"(abc) y", 3, WordPart::Word, "abc)"},   // delimiters before a blank stay
      {"(abc) y", 3, WordPart::WithBlank, "abc) "},
      {"(abc) y", 3, WordPart::WithDelimiters, "abc)"},
      {"abc.def", 2, WordPart::Word, "abc"},
      {"abc.def", 2, WordPart::WithDelimiters, "abc."},
      {"ab  cd", 4, WordPart::Word, ""},        // a blank after a blank: no word
      {"  ab", 1, WordPart::Word, ""},          // a blank in column 1: no word
      {"ab  cd", 3, WordPart::Word, "ab"},      // just after a word: that word
      {"hello world", 9, WordPart::ToCursor, "wo"},
      {"hello world", 9, WordPart::Word, "world"},
      {"abc\x01", 4, WordPart::ToCursor, "abc"},  // a control byte under the cursor reads as a blank
      {"\xd3\xcc\xcf\xd7\xcf \xd3", 2, WordPart::Word, "\xd3\xcc\xcf\xd7\xcf"},  // Cyrillic letters are word characters
  };
  for (const Case& c : cases) {
    Text({c.line});
    Ed.CurCol = c.col;
    std::string word = "old";
    WordAtCursor(word, c.part);
    EXPECT_EQ(word, c.word) << c.line << " @" << c.col << " part " << int(c.part);
    ResetLineStore();
  }
}

TEST_F(WordTest, WordAtCursorStaysInsideLongLines) {
  Text({std::string(255, 'x')});
  Ed.CurCol = 256;  // just after a full line
  std::string word;
  WordAtCursor(word, WordPart::Word);
  EXPECT_EQ(word, std::string(255, 'x'));
  WordAtCursor(word, WordPart::WithBlank);
  EXPECT_EQ(word, std::string(255, 'x'));
  Ed.CurCol = 300;
  WordAtCursor(word, WordPart::ToCursor);
  EXPECT_EQ(word, std::string(255, 'x'));
}

TEST_F(WordTest, MarkWordMarksTheWordAsARectangle) {
  constexpr uint32_t AltV = 0x0008875E, AltVShort = 0x0008A960;
  struct Case {
    std::string line;
    int col;
    uint32_t key;
    int firstCol, lastCol;
  } cases[] = {
      {"abc def", 2, AltV, 1, 4},       // the word and the blank after it
      {"abc def", 2, AltVShort, 1, 3},  // this code leaves the last column out
      {"abc def", 4, AltVShort, 1, 3},  // on the blank after the word: not widened to the cursor
      {"abc def", 4, AltV, 1, 4},
      {"abc.def", 2, AltV, 1, 4},       // its delimiters belong to it
      {"xy (abc) z", 6, AltV, 5, 9},
  };
  for (const Case& c : cases) {
    Text({"first", c.line});
    Ed.CurLine = 2;
    Ed.CurCol = c.col;
    MarkWord(c.key == AltVShort);
    EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 2, 2, c.firstCol, c.lastCol})) << c.line << " @" << c.col;
    ResetLineStore();
    Rect(0, 0, 0, 0);
  }
}

TEST_F(WordTest, MarkWordKeepsOnlyARectangleOnTheCursorLine) {
  Text({"abc def ghi", "second"});
  Rect(1, 1, 9, 11);
  Ed.CurCol = 5;
  MarkWord(0x0008875E);
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 5, 11}));

  // A rectangle elsewhere, or a line block, gives way.
  Rect(2, 2, 1, 3);
  MarkWord(false);
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 5, 8}));
  Rect(0, 0, 0, 0);
  Ed.BlockFirst = 1;
  Ed.BlockLast = 2;
  MarkWord(false);
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 5, 8}));

  // No word under the cursor: the old marks are gone and nothing is marked.
  ResetLineStore();
  Text({"a   b"});
  Rect(3, 4, 1, 1);
  Ed.CurCol = 3;
  MarkWord(false);
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 0, 0, 0, 0}));
}

TEST_F(WordTest, ExtendLineBlock) {
  Text({"1", "2", "3", "4", "5", "6", "7", "8", "9"});
  struct Case {
    int first, last, cur, newFirst, newLast;
  } cases[] = {
      {0, 0, 4, 4, 4},  // none: the cursor line
      {3, 5, 7, 3, 7},  // below: the last line follows
      {3, 5, 1, 1, 5},  // above: the first line follows
      {3, 5, 4, 3, 5},  // inside: unchanged
  };
  for (const Case& c : cases) {
    Ed.BlockFirst = int16_t(c.first);
    Ed.BlockLast = int16_t(c.last);
    Ed.CurLine = int16_t(c.cur);
    ExtendLineBlock();
    EXPECT_EQ(Ed.BlockFirst, c.newFirst);
    EXPECT_EQ(Ed.BlockLast, c.newLast);
  }
  // A rectangle becomes a line block over its lines first.
  Ed.BlockFirst = Ed.BlockLast = 0;
  Rect(3, 5, 2, 4);
  Ed.CurLine = 8;
  ExtendLineBlock();
  EXPECT_EQ(Ed.BlockFirst, 3);
  EXPECT_EQ(Ed.BlockLast, 8);
  EXPECT_EQ(Ed.RectFirst, 0);
  EXPECT_EQ(Ed.RectLast, 0);
}

TEST_F(WordTest, ExtendRectBlock) {
  Text({"1", "2", "3", "4", "5", "6"});
  Ed.CurLine = 3;
  ExtendRectBlock(10);  // none: one cell
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 3, 3, 10, 10}));
  Ed.CurLine = 5;
  ExtendRectBlock(12);
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 3, 5, 10, 12}));
  Ed.CurLine = 1;
  ExtendRectBlock(4);
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 5, 4, 12}));
  Ed.CurLine = 2;
  ExtendRectBlock(8);  // inside: unchanged
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 5, 4, 12}));
  // Past the line's stored length the column before it is used.
  ExtendRectBlock(Txt.LineWidth + 1);
  EXPECT_EQ(Ed.RectLastCol, Txt.LineWidth);
  // With a line block marked, the line block is widened instead.
  Rect(0, 0, 0, 0);
  Ed.BlockFirst = Ed.BlockLast = 4;
  Ed.CurLine = 6;
  ExtendRectBlock(3);
  EXPECT_EQ(Marks(), (std::vector<int>{4, 6, 0, 0, 0, 0}));
}

}  // namespace
