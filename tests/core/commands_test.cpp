#include <gtest/gtest.h>

#include "blocks/insertfile.h"
#include "blocks/shorts.h"
#include "core/commands.h"
#include "base/state.h"
#include "edit/typing.h"
#include "support/fixture.h"
#include "text/linestore.h"

class CommandsTest : public EditorTest {
 protected:
  CommandsTest() {
    MakeText(40);
    Ed.PageLines = Scr.ScreenHeight - 3;
    ResetLoopState();
  }
  std::string Line(int n) {
    std::string_view s = LineBytes(n);
    return std::string(s.substr(0, TrimmedLength(s)));
  }
};

TEST_F(CommandsTest, HomeGoesToTheTextThenTheIndentThenColumnOne) {
  StoreLine("    text", 1);
  Ed.CurCol = 9;
  CmdHome();
  EXPECT_EQ(Ed.CurCol, 5);
  CmdHome();
  EXPECT_EQ(Ed.CurCol, 1);
  CmdHome();
  EXPECT_EQ(Ed.CurCol, 1);
  Ed.IndentColumn = 3;
  Ed.CurCol = 4;
  StoreLine("", 2);
  Ed.CurLine = 2;  // a blank line: the indent
  CmdHome();
  EXPECT_EQ(Ed.CurCol, 3);
  CmdHome();
  EXPECT_EQ(Ed.CurCol, 1);
}

TEST_F(CommandsTest, EndAndTabStops) {
  StoreLine("abc", 1);
  CmdEnd();
  EXPECT_EQ(Ed.CurCol, 4);
  ComputeTabStops();
  Ed.CurCol = 3;
  CmdTab();
  EXPECT_EQ(Ed.CurCol, 9);
  Ed.CurCol = 249;
  CmdTab();
  EXPECT_EQ(Ed.CurCol, 249);  // past the last stop: stays
  Ed.CurCol = 12;
  CmdBackTab();
  EXPECT_EQ(Ed.CurCol, 9);
  Ed.CurCol = 1;
  CmdBackTab();
  EXPECT_EQ(Ed.CurCol, 1);
}

TEST_F(CommandsTest, EnterMovesDownAndAddsALineOnlyAtTheEnd) {
  StoreLine("keep whole", 3);
  Ed.CurLine = 3;
  Ed.CurCol = 5;
  CmdEnter();
  EXPECT_EQ(Ed.CurLine, 4);
  EXPECT_EQ(Ed.CurCol, 1);
  EXPECT_EQ(Line(3), "keep whole");
  EXPECT_EQ(Txt.LineCount, 40);
  Ed.CurLine = 40;
  CmdEnter();
  EXPECT_EQ(Txt.LineCount, 41);
  EXPECT_EQ(Ed.CurLine, 41);
}

TEST_F(CommandsTest, BackspaceAndDelete) {
  StoreLine("abc", 1);
  Ed.CurCol = 1;
  CmdBackspace();
  EXPECT_EQ(Line(1), "abc");
  Ed.CurCol = 3;
  CmdBackspace();
  EXPECT_EQ(Line(1), "ac");
  EXPECT_EQ(Ed.CurCol, 2);
  Txt.LineSaved = false;
  Ed.CurCol = 10;  // beyond the end: Delete joins the next line
  CmdDelete();
  EXPECT_EQ(Txt.LineCount, 39);
  EXPECT_EQ(Line(1).substr(0, 2), "ac");
  EXPECT_NE(Line(1).find("line 2"), std::string::npos);
}

TEST_F(CommandsTest, DeleteWithABlockAsksFirst) {
  StoreLine("abc", 1);
  Ed.BlockFirst = Ed.BlockLast = 5;
  Ed.CurCol = 1;
  Keys({0x0433});  // 3: nothing
  CmdDelete();
  EXPECT_EQ(Line(1), "abc");
  Keys({0x0332});  // 2: the character
  CmdDelete();
  EXPECT_EQ(Line(1), "bc");
}

TEST_F(CommandsTest, DeletingTheLastLineAsks) {
  Ed.CurLine = 40;
  Keys({0x0332});
  CmdDeleteLine();
  EXPECT_EQ(Txt.LineCount, 40);
  Keys({0x0231});
  CmdDeleteLine();
  EXPECT_EQ(Txt.LineCount, 39);
  EXPECT_EQ(Ed.CurLine, 39);
  Ed.CurLine = 5;
  CmdDeleteLine();  // not the last: no question
  EXPECT_EQ(Line(5), "line 6");
}

TEST_F(CommandsTest, GetBackWalksBackThroughTheJumps) {
  Ed.CurLine = 30;
  Ed.WindowTop = 20;
  Ed.CurCol = 4;
  CmdTopOfFile();
  EXPECT_EQ(Ed.WindowTop, 1);
  EXPECT_EQ(Ed.CurLine, 11);  // the cursor keeps its screen row
  Ed.CurLine = 12;
  Ed.CurCol = 2;
  CmdMarkLine(1);
  Ed.CurLine = 1;
  CmdGoToLineMark(1);
  EXPECT_EQ(Ed.CurLine, 12);
  CmdGetBack();
  EXPECT_EQ(Ed.CurLine, 1);
  CmdGetBack();
  EXPECT_EQ(Ed.CurLine, 30);
  EXPECT_EQ(Ed.WindowTop, 20);
  EXPECT_EQ(Ed.CurCol, 4);
}

TEST_F(CommandsTest, MarksThatAreUnsetOrHereDoNotMove) {
  Keys({0x1C0D});
  CmdGoToLineMark(2);  // "Нет такой пометки!" waits for the key
  EXPECT_EQ(Kbd.Queue.size(), 1u);
  Kbd.Queue.clear();
  Ed.CurLine = 7;
  CmdMarkLine(3);
  uint8_t before = Ed.HistoryIndex;
  CmdGoToLineMark(3);
  EXPECT_EQ(Ed.CurLine, 7);
  EXPECT_NE(Ed.HistoryIndex, before);  // the position was pushed
  Ed.CurCol = 6;
  Ed.WindowTop = 3;
  CmdMarkPosition(2);
  Ed.CurLine = 20;
  Ed.CurCol = 1;
  CmdGoToPosition(2);
  EXPECT_EQ(Ed.CurLine, 7);
  EXPECT_EQ(Ed.CurCol, 6);
  EXPECT_EQ(Ed.WindowTop, 3);
  CmdMarkColumn();
  Ed.CurCol = 30;
  CmdGoToColumnMark();
  EXPECT_EQ(Ed.CurCol, 6);
}

TEST_F(CommandsTest, BottomOfFileAndScreenJumps) {
  CmdBottomOfFile();
  EXPECT_EQ(Ed.WindowTop, 40 - 22);
  EXPECT_EQ(Ed.CurLine, 18);
  Ed.CurLine = 25;
  CmdTopOrBottomOfScreen();
  EXPECT_EQ(Ed.CurLine, 18);
  CmdTopOrBottomOfScreen();
  EXPECT_EQ(Ed.CurLine, 40);
  CmdMakeTop();
  EXPECT_EQ(Ed.WindowTop, 40);
}

TEST_F(CommandsTest, UndoTakeFileRemovesExactlyTheTakenLines) {
  Ed.CurLine = 5;
  Insert.InsertedLast = 15;
  CmdUndoTakeFile();
  EXPECT_EQ(Txt.LineCount, 30);
  EXPECT_EQ(Line(6), "line 16");
  CmdUndoTakeFile();
  EXPECT_EQ(Txt.LineCount, 30);
}

TEST_F(CommandsTest, LengthLimitAndCaseOfOneCharacter) {
  Cell before = Ed.FillCell;
  ToggleLineLimit();
  EXPECT_TRUE(Ed.LineLimitOff);
  EXPECT_EQ(Ed.FillCell, before);
  EXPECT_EQ(CellAttr(CellAt(1, 2)), 0x0F);
  StoreLine("\xC1\xC2", 1);  // KOI8-R аб
  Ed.CurCol = 2;
  CmdCharCase(true);
  EXPECT_EQ(Line(1), "\xC1\xE2");
}

TEST_F(CommandsTest, EscUnmarksBeforeItLeaves) {
  Ed.RectFirst = Ed.RectLast = 3;
  Ed.RectFirstCol = 1;
  Ed.RectLastCol = 4;
  CmdEscape();
  EXPECT_EQ(Ed.RectFirst, 0);
  Shorts.PendingContinuation = 3;
  CmdEscape();
  EXPECT_EQ(Shorts.PendingContinuation, 0);
}

TEST_F(CommandsTest, QuitAtOnceEndsWithZero) {
  Txt.Modified = true;
  try {
    CmdQuitAtOnce();
    FAIL();
  } catch (const ProgramExit& e) {
    EXPECT_EQ(e.Status, 0);
  }
}
