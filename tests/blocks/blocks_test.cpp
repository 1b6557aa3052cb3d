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
};

}  // namespace

// ---- At the line limit; a closing signal ----
// (The other block commands are cases in tests/cases, block-*.)

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

TEST_F(BlockTest, WholeLineOfAFullLineEndsOnItsLastColumn) {
  Exact({"abcdefghij"});
  SetLineWidth(10);
  MarkWholeLine();
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 1, 1, 10}));
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
