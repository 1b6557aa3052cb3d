// Every command that lengthens lines at the 255-byte limit: blanks at a
// line's end may go to make room, any other byte never; a command that
// could only be carried out by cutting text changes nothing, keeps its
// block and says why.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "blocks/block_support.h"
#include "blocks/blocks.h"
#include "blocks/clipboard.h"
#include "builds/bindings.h"
#include "base/state.h"
#include "edit/typing.h"
#include "text/heap.h"
#include "text/linestore.h"

namespace fs = std::filesystem;
using namespace blocktest;

namespace {

using V = std::vector<std::string>;

const std::string X255(255, 'x'), X254(254, 'x'), X253(253, 'x'), X250(250, 'x');

struct Case {
  const char* name;
  bool limit;          // the line-length limit on
  V text;              // stored exactly as given
  std::vector<int> marks;  // BlockFirst, BlockLast, RectFirst, RectLast, RectFirstCol, RectLastCol
  int line, col;       // the cursor
  std::string clip;    // the clipboard file, for the paste
  Outcome (*command)();
  V after;             // the text afterwards; empty: refused, unchanged
};

// The command entries as the main loop runs them.
Outcome Copy() { return CopyBlock(false); }
Outcome Move() { return MoveBlock(); }
Outcome ShiftRight() { return ShiftBlock(true); }
Outcome Paste() { return PasteClipboard(); }

const Case Cases[] = {
    // Shift right: a full line would lose its last byte.
    {"shift right", true, {"abc", X255}, {1, 2, 0, 0, 0, 0}, 1, 1, "", ShiftRight, {}},
    {"shift right drops a blank", true, {"abc", X254 + " "}, {1, 2, 0, 0, 0, 0}, 1, 1, "", ShiftRight,
     {" abc", " " + X254}},
    // A rectangle of two lines copied and moved in front of long text.
    {"rectangle copy", true, {"ab", "cd", X254, "y"}, {0, 0, 1, 2, 1, 2}, 3, 1, "", Copy, {}},
    {"rectangle copy onto blanks", true, {"ab", "cd", X250 + "   ", "y"}, {0, 0, 1, 2, 1, 2}, 3, 1, "", Copy,
     {"ab", "cd", "ab" + X250, "cdy"}},
    {"rectangle move", true, {"ab", "cd", "x"}, {0, 0, 1, 2, 1, 2}, 3, 255, "", Move, {}},
    // A one-line rectangle is typed: without the limit the line ends at
    // column 255; with it, a word without a blank cannot be broken.
    {"one-line copy, no limit", false, {"", "..abcd"}, {0, 0, 2, 2, 3, 6}, 1, 254, "", Copy, {}},
    {"one-line copy into a full line", false, {X255, "..abcd"}, {0, 0, 2, 2, 3, 6}, 1, 1, "", Copy, {}},
    {"one-line copy, limit on", true, {X253, "..abcd"}, {0, 0, 2, 2, 3, 6}, 1, 254, "", Copy, {}},
    {"one-line copy up to the width", true, {X250, "..abcd"}, {0, 0, 2, 2, 3, 6}, 1, 251, "", Copy,
     {X250 + "abcd", "..abcd"}},
    {"one-line move, no limit", false, {"", "..abcd"}, {0, 0, 2, 2, 3, 6}, 1, 254, "", Move, {}},
    {"one-line move, limit on", true, {X253, "..abcd"}, {0, 0, 2, 2, 3, 6}, 1, 254, "", Move, {}},
    // Paste: what the clipboard holds past 255 bytes, and typing it in.
    {"paste a long line", true, {"a"}, {0, 0, 0, 0, 0, 0}, 1, 1, "L\n" + X255 + "y\n", Paste, {}},
    {"paste a line ending in blanks", false, {"a"}, {0, 0, 0, 0, 0, 0}, 1, 1, "L\n" + X255 + "   \n", Paste,
     {X255, "a"}},
    {"paste a rectangle, no limit", false, {"", "z"}, {0, 0, 0, 0, 0, 0}, 1, 252, "B\nabcdef", Paste, {}},
    {"paste into a full line, no limit", false, {X255}, {0, 0, 0, 0, 0, 0}, 1, 1, "B\nab", Paste, {}},
    {"paste over a line block, no limit", false, {"keep", "a"}, {2, 2, 0, 0, 0, 0}, 1, 1,
     "L\nabc\n" + std::string(300, 'q') + "\n", Paste, {}},
};

class LongLines : public BlockBase {
 protected:
  LongLines() {
    dir = testing::TempDir() + "vesk-long-" + std::to_string(getpid());
    fs::remove_all(dir);
    fs::create_directories(dir);
    Ed.ClipboardPath = dir + "/VeskClip";
  }
  ~LongLines() override { fs::remove_all(dir); }
  std::string dir;
};

}  // namespace

TEST_F(LongLines, EachCommandAtTheLimit) {
  const std::string refusal = B("Команда не выполнена: строка стала бы длиннее 255 символов.");
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.name);
    Ed.LineLimitOff = !c.limit;
    ResetLineStore();
    ASSERT_TRUE(InitLineStore());
    for (const std::string& l : c.text) ASSERT_TRUE(AppendLine(l, uint8_t(std::max<size_t>(l.size(), 1))));
    Lines(c.marks[0], c.marks[1]);
    Rect(c.marks[2], c.marks[3], c.marks[4], c.marks[5]);
    At(c.line, c.col);
    Txt.Modified = false;
    Ed.InsertMode = true;
    std::ofstream(Ed.ClipboardPath, std::ios::binary) << c.clip;
    std::vector<std::string> stored;
    for (int n = 1; n <= Txt.LineCount; ++n) stored.emplace_back(LineBytes(n));
    const size_t heap = Heap.Used;
    const int undo = Txt.UndoIndex;
    Keys({Esc});
    const Outcome outcome = c.command();
    const V waited = Waited();
    if (!c.after.empty()) {
      EXPECT_EQ(All(), c.after);
      EXPECT_TRUE(waited.empty()) << waited.front();
      continue;
    }
    std::vector<std::string> now;
    for (int n = 1; n <= Txt.LineCount; ++n) now.emplace_back(LineBytes(n));
    EXPECT_EQ(now, stored) << "nothing changed";
    EXPECT_EQ(Marks(), c.marks) << "the block stays marked";
    EXPECT_EQ(Ed.CurLine, c.line);
    EXPECT_EQ(Ed.CurCol, c.col);
    EXPECT_FALSE(Txt.Modified);
    EXPECT_EQ(Txt.UndoIndex, undo);
    EXPECT_EQ(Heap.Used, heap);
    EXPECT_EQ(outcome, Outcome::Refused);
    EXPECT_EQ(waited, V{refusal});
  }
}
