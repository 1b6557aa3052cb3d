// The clipboard file: copying and cutting a block into it, pasting it back,
// and a clipboard path that is not a plain file of our own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "blocks/block_support.h"
#include "blocks/clipboard.h"
#include "screen/keydecode.h"
#include "support/driver.h"
#include "builds/bindings.h"
#include "base/state.h"
#include "edit/typing.h"
#include "text/linestore.h"

namespace fs = std::filesystem;
using namespace blocktest;

namespace {

using V = std::vector<std::string>;

class ClipTest : public BlockBase {
 protected:
  ClipTest() {
    dir = testing::TempDir() + "vesk-clip-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    fs::remove_all(dir);
    fs::create_directories(dir);
    Ed.ClipboardPath = dir + "/VeskClip";
  }
  ~ClipTest() override { fs::remove_all(dir); }
  static std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  std::string Clip() const { return Slurp(Ed.ClipboardPath); }
  void PutClip(const std::string& content) const { std::ofstream(Ed.ClipboardPath, std::ios::binary) << content; }
  static Outcome CopyToClip() { return BlockToClipboard(false); }
  static Outcome Cut() { return BlockToClipboard(true); }
  static Outcome Paste() { return PasteClipboard(); }
  std::string dir;
  static inline int counter = 0;
};

}  // namespace

// (Copying, cutting and pasting through the keys: cases clip-* in tests/cases.)

// ---- Line blocks ----

TEST_F(ClipTest, CopyWritesTheLinesWithoutTrailingBlanksAndUnmarks) {
  Text({"one  ", "  two", "", "three"});
  Lines(1, 3);
  CopyToClip();
  EXPECT_EQ(Clip(), "L\none\n  two\n\n");
  EXPECT_EQ(All(), (V{"one", "  two", "", "three"}));
  EXPECT_EQ(Marks(), NoMarks());
  EXPECT_FALSE(Txt.Modified);
  struct stat st;
  ASSERT_EQ(stat(Ed.ClipboardPath.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ClipboardKind(), 'L');
}

TEST_F(ClipTest, PastedLinesAreIndentedToTheIndentColumn) {
  Ed.IndentColumn = 3;
  Text({"abc"});
  PutClip("L\nX\nY\n");
  Paste();
  EXPECT_EQ(All(), (V{"X", "Y", "  abc"}));
  EXPECT_EQ(Ed.CurLine, 3);
  EXPECT_EQ(Ed.CurCol, 3);
}

TEST_F(ClipTest, PasteStopsAtTheLineLimit) {
  ResetLineStore();
  ASSERT_TRUE(InitLineStore());
  for (int i = 1; i < MaxLines; ++i) ASSERT_TRUE(AppendLine("line " + std::to_string(i), 0));
  At(1, 1);
  PutClip("L\na\nb\nc\n");
  Keys({Esc});
  EXPECT_EQ(Paste(), Outcome::Refused);  // what came before the limit stays
  EXPECT_EQ(Waited(), V{B("СЛИШКОМ МНОГО СТРОК! НЕ ЗАПИСЫВАЙТЕ ЭТОТ ФАЙЛ!")});
  EXPECT_EQ(Txt.LineCount, MaxLines);
  EXPECT_EQ(Line(1), "a");
  EXPECT_EQ(Line(2), "line 1");
}

// ---- What is not a clipboard ----

TEST_F(ClipTest, AClipboardThatIsASymlinkIsNeitherWrittenNorRead) {
  const std::string victim = dir + "/victim";
  std::ofstream(victim) << "L\nplanted\n";
  fs::create_symlink(victim, Ed.ClipboardPath);

  Text({"abc", "def"});
  Lines(1, 1);
  Cut();
  EXPECT_EQ(Slurp(victim), "L\nplanted\n");
  EXPECT_EQ(All(), (V{"abc", "def"}));  // not written, so not cut
  EXPECT_EQ(Marks(), (std::vector<int>{1, 1, 0, 0, 0, 0}));

  Lines(0, 0);
  Paste();
  EXPECT_EQ(All(), (V{"abc", "def"}));
  EXPECT_EQ(ClipboardKind(), ' ');
}

TEST_F(ClipTest, AClipboardThatCannotBeWrittenKeepsTheBlock) {
  fs::create_directories(Ed.ClipboardPath);
  Text({"abc", "def"});
  Rect(1, 2, 1, 2);
  EXPECT_EQ(Cut(), Outcome::Refused);
  EXPECT_EQ(All(), (V{"abc", "def"}));
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 2, 1, 2}));
}

// ---- Bracketed pastes from the terminal ----

// A paste is typed in at the cursor as text: new lines at its line ends,
// not indented even where typing would indent, tabs as blanks to the next
// column 8k + 1, the rest of the cursor line after it, insert mode whatever
// the mode, and one entry in the ring of saved lines however many lines it
// brings.
TEST_F(ClipTest, PastedTextGoesInAsTextWithoutIndentation) {
  Text({"head tail", "next"});
  At(1, 6);
  Ed.IndentColumn = 5;
  Ed.InsertMode = false;
  const uint8_t ringBefore = Txt.UndoIndex;
  Txt.LineSaved = false;
  PastedText p;
  p.Text = "one\n  two\ta\n\nlast ";
  const std::string note = InsertPastedText(p);
  EXPECT_EQ(note, "");
  EXPECT_EQ(All(), (V{"head one", "  two   a", "", "last tail", "next"}));
  EXPECT_EQ(Ed.CurLine, 4);
  EXPECT_EQ(Ed.CurCol, 6);
  EXPECT_FALSE(Ed.InsertMode);
  EXPECT_EQ(Txt.UndoIndex, uint8_t((ringBefore + 1) % 16));
  EXPECT_EQ(std::string(RingSlot(Txt.UndoIndex)).substr(0, 9), "head tail");
  EXPECT_TRUE(Txt.Modified);
}

// Characters the set lacked are counted in the message; a line longer than
// a line can hold goes on in the next line, so nothing is lost.
TEST_F(ClipTest, PasteCountsMissingCharactersAndLosesNothingOfALongLine) {
  Text({""});
  At(1, 1);
  PastedText p;
  p.Text = "a?b" + std::string(300, 'w');
  p.Missing = 1;
  const std::string note = InsertPastedText(p);
  EXPECT_NE(note.find("1 ("), std::string::npos) << note;
  std::string joined;
  for (const std::string& l : All()) joined += l;
  EXPECT_EQ(joined, p.Text);
  EXPECT_GE(All().size(), 2u);
}

// A paste is one key: where typing refuses a character at the line's end
// the paste goes on in a new line, with none of the pauses that tell a
// typist "no room"; they would hold a long paste up for seconds.
TEST(PasteFromTerminal, GoesOnInNewLinesWithoutRefusalPauses) {
  for (const std::string& text : {std::string(600, 'w'), std::string(40, 'a') + " " + std::string(300, 'b')}) {
    RunOptions o;
    o.Text = "\n";
    o.ExtraInput.push_back({0, "\x1b[200~" + text + "\x1b[201~", 0});
    RunResult r = Drive(o);
    EXPECT_EQ(r.Pauses, 0) << text.size();
    std::string joined;
    for (const std::string& l : r.Lines) joined += l;
    std::string expected = text;
    expected.erase(std::remove(expected.begin(), expected.end(), ' '), expected.end());
    joined.erase(std::remove(joined.begin(), joined.end(), ' '), joined.end());
    EXPECT_EQ(joined, expected);
  }
}
