// F12 marks: toggling the mark of the cursor line, walking to the next
// marked line, drawing and saving marked lines.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "blocks/f12marks.h"
#include "base/state.h"
#include "screen/cells.h"
#include "support/fixture.h"
#include "text/linestore.h"
#include "text/status.h"

using namespace std::string_literals;

namespace {

class F12Test : public EditorTest {
 protected:
  F12Test() { Ed.CrossHair = false; }
  // Lines padded with blanks to LineWidth; the cursor at 1,1.
  void Text(std::initializer_list<std::string> lines, uint8_t width = 254) {
    ResetLineStore();
    ASSERT_TRUE(InitLineStore());
    for (const std::string& l : lines) ASSERT_TRUE(AppendLine(l, width));
    Ed.CurLine = 1;
    Ed.CurCol = 1;
    Ed.WindowTop = 1;
    Txt.Modified = false;
    Txt.LineSaved = false;
  }
  // A text of n lines "line 1", "line 2", ... with F12 marks on the given
  // lines.
  void Marked(int n, const std::vector<int>& marked) {
    ResetLineStore();
    MakeText(n);
    for (int m : marked) {
      Ed.CurLine = int16_t(m);
      ToggleLineMark();
    }
    Txt.Modified = false;
  }
  static bool IsMarked(int n) { return LineMarkedF12(LineBytes(n)); }
  static std::string Bytes(int n = 1) {
    std::string s = LineString(n);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }
};

}  // namespace

// (Walking to marked lines, and saving without the marks: cases f12-* in
// tests/cases.)

TEST_F(F12Test, TheMarkIsABlankAndAZeroAfterTheText) {
  Text({"abc", ""});
  Ed.CurCol = 2;
  ToggleLineMark();
  EXPECT_EQ(Bytes(1), "abc \0"s);
  EXPECT_TRUE(IsMarked(1));
  EXPECT_EQ(Ed.CurCol, 2);
  EXPECT_EQ(StoredLength(1), 254);

  // An empty line gets it at columns 1 and 2.
  Ed.CurLine = 2;
  ToggleLineMark();
  EXPECT_EQ(Bytes(2), " \0"s);
  EXPECT_TRUE(IsMarked(2));
}

TEST_F(F12Test, TogglingTwiceLeavesTheTextAndItsStateAsTheyWere) {
  for (bool modified : {false, true}) {
    for (bool saved : {false, true}) {
      Text({"some text"});
      const std::string before = LineString(1);
      Txt.Modified = modified;
      Txt.LineSaved = saved;
      Ed.CurCol = 4;
      const Cell fill = Ed.FillCell;
      const uint8_t undo = Txt.UndoIndex;
      ToggleLineMark();
      EXPECT_EQ(Txt.Modified, modified);
      EXPECT_EQ(Txt.LineSaved, saved);
      ToggleLineMark();
      EXPECT_FALSE(IsMarked(1));
      EXPECT_EQ(LineString(1), before);  // the stored line, blanks and all
      EXPECT_EQ(Txt.Modified, modified);
      EXPECT_EQ(Txt.LineSaved, saved);
      EXPECT_EQ(Ed.CurCol, 4);
      EXPECT_EQ(Ed.FillCell, fill);
      EXPECT_EQ(Txt.UndoIndex, undo);
    }
  }
  // A line stored without padding keeps the two blanks.
  Text({"xy"}, 0);
  ToggleLineMark();
  ToggleLineMark();
  EXPECT_EQ(LineString(1), "xy  ");
  EXPECT_EQ(TrimmedLength(LineBytes(1)), 2);
}

TEST_F(F12Test, AMarkedLineIsItsTrimmedTextEndingInZero) {
  EXPECT_TRUE(LineMarkedF12("a \0  "s));
  EXPECT_TRUE(LineMarkedF12("\0"s));
  EXPECT_FALSE(LineMarkedF12("a \0x"s));  // a 0 inside the text
  EXPECT_FALSE(LineMarkedF12("abc   "));
  EXPECT_FALSE(LineMarkedF12(""));
  EXPECT_FALSE(LineMarkedF12("   "));
}

TEST_F(F12Test, AWholeLineColourMarkStaysBehindTheF12Mark) {
  for (bool insert : {true, false}) {
    Text({"abc\x04\x0F\x09"});
    Ed.InsertMode = insert;
    ToggleLineMark();
    EXPECT_EQ(Bytes(), "abc \0\x04\x0F\x09"s) << insert;
    EXPECT_TRUE(IsMarked(1));
    ToggleLineMark();
    EXPECT_EQ(Bytes(), "abc  \x04\x0F\x09") << insert;
    EXPECT_EQ(TrimmedLength(LineBytes(1)), 3);
  }
}

TEST_F(F12Test, ALineTooLongForTheMarkStaysWithinTheLimit) {
  // 253 characters: the blank and the 0 take columns 254 and 255.
  Text({std::string(253, 'x')});
  ToggleLineMark();
  EXPECT_TRUE(IsMarked(1));
  EXPECT_EQ(LineString(1).size(), 255u);
  ToggleLineMark();
  EXPECT_FALSE(IsMarked(1));

  // 254 and 255 characters: the 0 falls off the end; nothing is marked.
  for (size_t len : {254u, 255u}) {
    Text({std::string(len, 'x')}, 0);
    ToggleLineMark();
    EXPECT_FALSE(IsMarked(1)) << len;
    EXPECT_LE(LineString(1).size(), 255u);
    EXPECT_EQ(LineString(1).substr(0, len), std::string(len, 'x'));
  }
}

TEST_F(F12Test, AMarkedLineIsDrawnYellowOnBlue) {
  Text({"abc", "def"});
  ToggleLineMark();
  DrawLine(0, 1, 3);
  DrawLine(0, 2, 4);
  for (int c = 1; c <= Scr.ScreenWidth; ++c) {
    EXPECT_EQ(CellAttr(CellAt(c, 3)), 0x1E) << c;
    EXPECT_EQ(CellAttr(CellAt(c, 4)), 0x07) << c;
  }
  EXPECT_EQ(CellChar(CellAt(3, 3)), 'c');
  EXPECT_EQ(CellChar(CellAt(5, 3)), ' ');  // the 0 itself is not shown
}
