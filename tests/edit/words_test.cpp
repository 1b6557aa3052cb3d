#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/state.h"
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

}  // namespace
