#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/state.h"
#include "edit/words.h"
#include "support/fixture.h"
#include "text/linestore.h"

// Finding words in a line.  (Marking words and extending blocks: cases
// word-mark-* and block-* in tests/cases.)
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
};

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
    int pos, mode, end;
  } cases[] = {
      {"abc, def", 1, 0, 6},   // next word's start
      {"abc, def", 1, 1, 4},   // end of this word
      {"abc, def", 1, 2, 5},   // with its delimiters
      {"abc.  def", 4, 1, 10}, // a delimiter before a blank: on to the next word's end
      {"abc.  def", 4, 0, 7},
      {"ab\x01" "cd x", 3, 0, 7},
      {"abc", 1, 0, 4},        // stops just after the text
      {"abc", 10, 0, 10},
      {std::string(255, 'x'), 1, 0, 256},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WordEndRight(c.line, c.pos, c.mode), c.end) << c.line << " @" << c.pos << " mode " << c.mode;
}

TEST_F(WordTest, WordAtCursorKinds) {
  struct Case {
    std::string line;
    int col, kind;
    std::string word;
  } cases[] = {
      {"(abc)x", 3, 0, "abc"},
      {"(abc) y", 3, 0, "abc)"},   // delimiters before a blank stay
      {"(abc) y", 3, 2, "abc) "},  // kind 2 takes the blank too
      {"(abc) y", 3, 3, "abc)"},
      {"abc.def", 2, 0, "abc"},
      {"abc.def", 2, 3, "abc."},
      {"ab  cd", 4, 0, ""},        // a blank after a blank: no word
      {"  ab", 1, 0, ""},          // a blank in column 1: no word
      {"ab  cd", 3, 0, "ab"},      // just after a word: that word
      {"hello world", 9, 1, "wo"}, // kind 1: up to the cursor
      {"hello world", 9, 0, "world"},
      {"abc\x01", 4, 1, "abc"},    // kind 1 reads a control byte under the cursor as a blank
      {"\xd3\xcc\xcf\xd7\xcf \xd3", 2, 0, "\xd3\xcc\xcf\xd7\xcf"},  // Cyrillic letters are word characters
  };
  for (const Case& c : cases) {
    Text({c.line});
    Ed.CurCol = c.col;
    std::string word = "old";
    WordAtCursor(word, c.kind);
    EXPECT_EQ(word, c.word) << c.line << " @" << c.col << " kind " << c.kind;
    ResetLineStore();
  }
}

TEST_F(WordTest, WordAtCursorStaysInsideLongLines) {
  Text({std::string(255, 'x')});
  Ed.CurCol = 256;  // just after a full line
  std::string word;
  WordAtCursor(word, 0);
  EXPECT_EQ(word, std::string(255, 'x'));
  WordAtCursor(word, 2);
  EXPECT_EQ(word, std::string(255, 'x'));
  Ed.CurCol = 300;
  WordAtCursor(word, 1);
  EXPECT_EQ(word, std::string(255, 'x'));
}

}  // namespace
