// Colour marking: the menus, the bytes each kind of mark puts into the
// line, how the text window draws them and how they are saved.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "blocks/colours.h"
#include "base/state.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "screen/term.h"
#include "support/fixture.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/questions.h"
#include "text/savefile.h"
#include "text/status.h"

using namespace std::string_literals;

namespace {

constexpr uint32_t Enter = 0x1C0D, Esc = 0x011B;

// Menu answers: a digit or letter is its code minus 48 ('>' = 14, '?' = 15).
uint32_t Key(char c) { return uint8_t(c); }

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

std::string RowText(int row, int from, int count) {
  std::string s;
  for (int c = from; c < from + count; ++c) s += char(CellChar(CellAt(c, row)));
  return s;
}

class ColourBase : public EditorTest {
 protected:
  using EditorTest::EditorTest;
  // One line padded with blanks to LineWidth; the cursor on it at col.
  void Text(const std::string& line, int col) {
    ResetLineStore();
    ASSERT_TRUE(InitLineStore());
    ASSERT_TRUE(AppendLine(line, Txt.LineWidth));
    Ed.CurLine = 1;
    Ed.CurCol = col;
    Ed.CrossHair = false;
    Txt.Modified = false;
    Txt.LineSaved = false;
  }
  // The line's bytes up to its last non-blank (a whole-line mark included).
  static std::string Bytes(int n = 1) {
    std::string s = LineString(n);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }
  void Mark(std::initializer_list<uint32_t> keys) {
    Keys(keys);
    ColourMark();
  }
};

class ColourTest : public ColourBase {};

class ColourBuildTest : public ColourBase, public ::testing::WithParamInterface<const BuildConfig*> {
 protected:
  ColourBuildTest() : ColourBase(*GetParam()) {}
};

}  // namespace

TEST_F(ColourTest, AWordMarkStandsDirectlyBeforeTheWord) {
  // Foreground 14, background 0 (Enter on the first item), no blinking.
  Text("abc def", 6);
  Mark({'2', Key('>'), Enter, '1'});
  EXPECT_EQ(Bytes(), "abc\x02\x0E" "def");  // the blank before the word made room
  EXPECT_EQ(Ed.CurCol, 6);
  EXPECT_TRUE(Txt.Modified);

  // Background 1 with blinking: 1 + 8.
  Text("abc def", 7);
  Mark({'2', Key('>'), '1', '2'});
  EXPECT_EQ(Bytes(), "abc\x02\x0E\x09" "def");
  EXPECT_EQ(Ed.CurCol, 7);

  // A word at the start of the line has no blanks before it: it moves.
  Text("abc def", 2);
  Mark({'2', '4', Enter, '1'});
  EXPECT_EQ(Bytes(), "\x02\x04" "abc def");
  EXPECT_EQ(Ed.CurCol, 2);
}

TEST_F(ColourTest, AWholeLineMarkFollowsTheText) {
  Text("text", 2);
  Mark({'3', Key('?'), '4', '1'});
  EXPECT_EQ(Bytes(), "text\x04\x0F\x09");
  EXPECT_EQ(TrimmedLength(LineBytes(1)), 4);
  EXPECT_EQ(Ed.CurCol, 2);

  // Without a background the mark is two bytes.
  Text("text", 1);
  Mark({'3', '2', Enter, '1'});
  EXPECT_EQ(Bytes(), "text\x02\x09");
  EXPECT_EQ(TrimmedLength(LineBytes(1)), 4);
}

TEST_F(ColourTest, MarksToTheEndTakeTheBlanksBeforeTheCursor) {
  struct Case {
    const char* Name;
    std::initializer_list<uint32_t> Keys;
    std::string Want;
  } cases[] = {
      {"to end of line", {'4', '2', Enter, '1'}, "ab\0\x02" "cd"s},
      {"to end of line with background", {'4', '2', '3', '1'}, "ab\0\x02\x03" "cd"s},
      {"to end of text", {'5', '2', Enter, '1'}, "ab\x01\x02" "cd"},
      {"foreground 0 by Enter", {'4', Enter, Enter, '1'}, "ab\0\0cd"s},
  };
  for (const Case& c : cases) {
    Text("ab  cd", 5);
    Mark(c.Keys);
    EXPECT_EQ(Bytes(), c.Want) << c.Name;
    EXPECT_EQ(Ed.CurCol, 5) << c.Name;
  }
}

TEST_F(ColourTest, TheCharacterMenuTypesAControlCharacter) {
  Text("ab", 2);
  Mark({'1', '7'});
  EXPECT_EQ(Bytes(), "a\x07" "b");
  EXPECT_EQ(Ed.CurCol, 3);  // typed: the cursor moves on

  Text("ab", 2);
  Mark({'1', Enter});  // the first item is code 0
  EXPECT_EQ(Bytes(), "a\0b"s);

  Text("ab", 2);
  Mark({'1', Key('O')});  // the last item: 'O' - 48 = 31
  EXPECT_EQ(Bytes(), "a\x1F" "b");
}

TEST_F(ColourTest, LeavingTheMenusInsertsNothing) {
  const uint32_t abandon = CurrentBuild().AskAbandonKeys[0];
  struct Case {
    const char* Name;
    std::initializer_list<uint32_t> Keys;
  } cases[] = {
      {"Esc at the kind menu", {Esc}},
      {"0 at the foreground goes back, then Esc", {'2', '0', Esc}},
      {"Esc at the background goes back, then 0", {'3', '4', Esc, '0'}},
      {"Esc at the character menu goes back, then Esc", {'1', Esc, Esc}},
      {"3 at the blink question", {'2', '4', '1', '3'}},
      {"Esc at the blink question", {'2', '4', '1', Esc}},
      {"abandon at the kind menu", {abandon}},
      {"abandon at the foreground", {'4', abandon}},
      {"abandon at the character menu", {'1', abandon}},
  };
  for (const Case& c : cases) {
    Text("abc def", 5);
    Mark(c.Keys);
    EXPECT_EQ(Bytes(), "abc def") << c.Name;
    EXPECT_FALSE(Txt.Modified) << c.Name;
    EXPECT_TRUE(Terminal.Script.empty() && Kbd.Queue.empty()) << c.Name << ": keys left over";
    Terminal.Script.clear();
    Kbd.Queue.clear();
  }
  // Back from a picker and choosing again.
  Text("abc def", 5);
  Mark({'2', '0', '4', '5', Enter, '1'});
  EXPECT_EQ(Bytes(), "abc\0\x05" "def"s);
}

TEST_F(ColourTest, ANumberPastTheLastItemAsksAgain) {
  // '@' names 16, one past the foreground menu's last colour.
  Text("abc", 1);
  Mark({'4', Key('@'), '5', '8', '6', '1'});  // and 8 is past the last background
  EXPECT_EQ(Bytes(), "\0\x05\x06" "abc"s);
}

TEST_F(ColourTest, PickerMenusListTheCodesInOrder) {
  Text("abc", 1);
  Keys({'4'});
  EXPECT_THROW(ColourMark(), InputLost);  // the foreground menu stays open
  const std::string title = InBuildSet(" Цвет букв: ");
  EXPECT_EQ(RowText(1, 1, int(title.size())), title);
  EXPECT_EQ(Q.AnswerCount, 16);

  Keys({'1'});
  EXPECT_THROW(ColourMark(), InputLost);
  EXPECT_EQ(Q.AnswerCount, 32);
  EXPECT_EQ(RowText(2, 1, 20), "         Ctrl+Q, the");
}

// How the text window draws what the colour command wrote.
TEST_F(ColourTest, MarksAreDrawnInTheirColours) {
  // A whole-line mark: the row in background 4, foreground 15.
  Text("text", 1);
  Mark({'3', Key('?'), '4', '1'});
  DrawLine(0, 1, 3);
  EXPECT_EQ(AttrRuns(3), (Runs{{0x4F, 80}}));
  EXPECT_EQ(RowText(3, 1, 8), "text    ");

  // A word mark: the word in yellow, the mark's cells blank.
  Text("abc def ghi", 5);
  Mark({'2', Key('>'), Enter, '1'});
  DrawLine(0, 1, 3);
  EXPECT_EQ(RowText(3, 1, 12), "abc  def ghi");
  EXPECT_EQ(AttrRuns(3), (Runs{{0x07, 5}, {0x0E, 3}, {0x07, 72}}));

  // To the end of the text and to the end of the row, with a background:
  // three bytes take the two blanks and move the text one column right.
  Text("ab  cd  ", 5);
  Mark({'5', '2', '1', '1'});
  DrawLine(0, 1, 3);
  EXPECT_EQ(AttrRuns(3), (Runs{{0x07, 5}, {0x12, 2}, {0x07, 73}}));
  Text("ab  cd  ", 5);
  Mark({'4', '2', '1', '1'});
  DrawLine(0, 1, 3);
  EXPECT_EQ(AttrRuns(3), (Runs{{0x07, 5}, {0x12, 75}}));

  // Blue on black shows as light magenta.
  Text("text", 1);
  Mark({'3', '1', Enter, '1'});
  DrawLine(0, 1, 3);
  EXPECT_EQ(AttrRuns(3), (Runs{{0x0D, 80}}));
}

TEST_F(ColourTest, MarksAreSavedWithTheText) {
  Text("one two", 1);
  Mark({'3', Key('?'), '4', '1'});
  Ed.CurCol = 5;
  Mark({'2', Key('>'), Enter, '1'});
  EXPECT_EQ(TextForSave(1, 1, SaveMode::Plain), "one\x02\x0Etwo\x04\x0F\x09\n");
  EXPECT_EQ(TextForSave(1, 1, SaveMode::BlankControls), "one  two   \n");
  EXPECT_EQ(TextForSave(1, 1, SaveMode::SpellControls), "one#2#14two#4#15#9\n");
}

TEST_F(ColourTest, AMarkThatDoesNotFitLosesItsLastBytes) {
  // Typed as text is: without the line-length limit (which would break or
  // refuse the line at FormatWidth) the line is cut at 255 bytes.
  Ed.LineLimitOff = true;
  Text(std::string(253, 'x'), 1);
  Mark({'3', Key('?'), '4', '1'});  // three bytes, two columns left
  EXPECT_EQ(LineString(1).size(), 255u);
  EXPECT_EQ(LineString(1).substr(253), "\x04\x0F");

  Text(std::string(254, 'x'), 1);
  Mark({'2', '5', Enter, '1'});  // insertion pushes the line's last bytes out
  EXPECT_EQ(LineString(1), "\x02\x05" + std::string(253, 'x'));
}

TEST_F(ColourTest, TheLineIsSavedForUndo) {
  Text("abc def", 5);
  Mark({'2', Key('>'), Enter, '1'});
  RestoreLineAsOnEntry(1);
  EXPECT_EQ(Bytes(), "abc def");
}

TEST_P(ColourBuildTest, TheBlinkQuestionInTheBuildsWording) {
  Text("abc", 1);
  Keys({'4', '1', '1'});
  EXPECT_THROW(ColourMark(), InputLost);  // the blink question stays open
  const std::string want = InBuildSet(GetParam()->koi8r ? " ? | 1 - Без мерцания | 2 - с мерцанием |"
                                                        : " ? | 1 - без мерцания | 2 - с мерцанием |");
  std::string row = RowText(1, 1, int(want.size()));
  for (char& c : row)
    if (uint8_t(c) == GetParam()->BarByte) c = '|';
  EXPECT_EQ(row, want);
  EXPECT_EQ(Bytes(), "abc");
}

INSTANTIATE_TEST_SUITE_P(Colour, ColourBuildTest, ::testing::ValuesIn(AllBuilds()),
                         [](const auto& info) {
                           std::string n = info.param->Name;
                           for (char& ch : n)
                             if (ch == '-') ch = '_';
                           return n;
                         });
