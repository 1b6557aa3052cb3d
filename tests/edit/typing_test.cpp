#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/mainloop.h"
#include "base/state.h"
#include "edit/typing.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "screen/term.h"
#include "support/fixture.h"
#include "text/heap.h"
#include "text/linestore.h"

namespace {

constexpr uint32_t Enter = 0x1C0D, Esc = 0x011B;
uint32_t Char(char c) { return uint8_t(c); }

class TypingTest : public EditorTest {
 protected:
  TypingTest() { ResetTypingState(); }
  // A text of the given lines, each padded to LineWidth; cursor at 1,1.
  void Text(std::initializer_list<std::string> lines) {
    ResetLineStore();
    ASSERT_TRUE(InitLineStore());
    for (const std::string& l : lines) ASSERT_TRUE(AppendLine(l, Txt.LineWidth));
    At(1, 1);
  }
  static void At(int line, int col) {
    Ed.CurLine = int16_t(line);
    Ed.CurCol = col;
    Txt.LineSaved = false;
  }
  static void Type(const std::string& s) {
    for (char c : s) TypeChar(uint8_t(c));
  }
  // Line n without its trailing blanks.
  static std::string Line(int n) { return std::string(LineBytes(n).substr(0, TrimmedLength(LineBytes(n)))); }
  static std::vector<std::string> Lines() {
    std::vector<std::string> v;
    for (int n = 1; n <= Txt.LineCount; ++n) v.push_back(Line(n));
    return v;
  }
  static std::pair<int, int> Cursor() { return {Ed.CurLine, Ed.CurCol}; }
  static void LimitOff() { Ed.LineLimitOff = true; }
};

std::vector<std::string> Words(const std::vector<std::string>& lines) {
  std::vector<std::string> w;
  for (const std::string& l : lines) {
    std::istringstream in(l);
    for (std::string s; in >> s;) w.push_back(s);
  }
  return w;
}

// ---- Plain typing ----
// (Typing, breaking at the width and formatting paragraphs through the keys:
// cases typing-* and format-* in tests/cases.)

TEST_F(TypingTest, TypeStringTypesInOrderAndPlacesTheCursor) {
  Text({"ab"});
  At(1, 2);
  TypeString("123");
  EXPECT_EQ(Line(1), "a123b");
  EXPECT_EQ(Cursor(), std::make_pair(1, 5));
  EXPECT_EQ(Scr.CursorColumn, 5);
  EXPECT_EQ(Scr.CursorRow, 3);
}

TEST_F(TypingTest, DeleteCharsRemovesAndKeepsTheStoredLength) {
  Text({"abcdef"});
  DeleteChars(1, 2, 3);
  EXPECT_EQ(Line(1), "aef");
  EXPECT_EQ(StoredLength(1), 254);
  DeleteChars(1, 300, 1);  // outside: nothing
  DeleteChars(7, 1, 1);
  EXPECT_EQ(Line(1), "aef");
}

// ---- Breaking at FormatWidth ----

// With IndentColumn 3 a word moved on lands at the indentation.  (The other
// places a moved word goes: cases typing-moved-word-*.)
TEST_F(TypingTest, AMovedWordLandsAtTheIndentation) {
  Ed.FormatWidth = 9;
  Ed.IndentColumn = 3;
  ComputeTabStops();
  Text({"  aaa bbbb"});
  At(1, 11);
  TypeChar('c');
  EXPECT_EQ(Lines(), (std::vector<std::string>{"  aaa", "  bbbbc"}));
  EXPECT_EQ(Cursor(), std::make_pair(2, 8));
}

TEST_F(TypingTest, ACharacterWithNoBlankBeforeItIsRefused) {
  Ed.FormatWidth = 10;
  Ed.IndentColumn = 3;
  ComputeTabStops();
  Text({"  abcdefgh"});  // the only blanks are the indentation
  At(1, 11);
  TypeChar('i');
  EXPECT_EQ(Lines(), (std::vector<std::string>{"  abcdefgh"}));
  EXPECT_EQ(Cursor(), std::make_pair(1, 11));

  // (Overwriting and a blank that would move the whole line: cases
  // typing-*-is-refused.)
}

TEST_F(TypingTest, KeysTypedAheadIntoAFullLineDoNotPauseEach) {
  // A paste into a line with no room: every character is refused, but only
  // the last one pauses, and a closing signal ends the editor at once.
  Ed.FormatWidth = 10;
  Ed.IndentColumn = 3;
  ComputeTabStops();
  Text({"  abcdefgh"});
  At(1, 11);
  TypeChar('i');
  EXPECT_EQ(Terminal.Pauses, 1);
  EXPECT_EQ(Terminal.PausedMs, RefusalPauseMs);

  Terminal.Pauses = 0;
  const auto began = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i) Burst({KeyCode('x', 0x2D)});
  for (int i = 0; i < 5; ++i) MainLoopTurn();
  const auto took = std::chrono::steady_clock::now() - began;
  EXPECT_EQ(Lines(), (std::vector<std::string>{"  abcdefgh"}));
  EXPECT_EQ(Terminal.Pauses, 1);
  EXPECT_LT(took, std::chrono::milliseconds(RefusalPauseMs)) << "a headless pause takes no time";

  // A closing signal: no pause, and keys still queued are not run.
  Burst({KeyCode('x', 0x2D), KeyCode('y', 0x15)});
  ClosingSignal = SIGTERM;
  EXPECT_THROW(MainLoopTurn(), InputLost);
  EXPECT_THROW(TypeChar('i'), InputLost);
  EXPECT_EQ(Kbd.Queue.size(), 2u);
  EXPECT_EQ(Terminal.Pauses, 1);
}

// The message row shows the limit off brighter.  (Typing without it: cases
// typing-without-the-limit-*.)
TEST_F(TypingTest, TheMessageRowShowsTheLimitOff) {
  Text({"x"});
  ToggleLineLimit();
  EXPECT_FALSE(LineLimitOn());
  EXPECT_EQ(CellAttr(CellAt(1, 2)), 0x0F);
  ToggleLineLimit();
  EXPECT_TRUE(LineLimitOn());
  EXPECT_EQ(CellAttr(CellAt(1, 2)), 0x07);
}

TEST_F(TypingTest, GrowingWithoutMemoryDropsTheCharacter) {
  ResetLineStore();
  ASSERT_TRUE(InitLineStore());
  ASSERT_TRUE(AppendLine("abcdefghij", 10));
  LimitOff();
  Ed.FormatWidth = 5;
  Heap.Budget = Heap.Used;
  At(1, 11);
  TypeChar('k');
  EXPECT_EQ(Line(1), "abcdefghij");
  EXPECT_EQ(Cursor(), std::make_pair(1, 11));
  Heap.Budget = Heap.Used + 1000;
  TypeChar('k');
  EXPECT_EQ(Line(1), "abcdefghijk");
  EXPECT_EQ(StoredLength(1), 11);
}

// ---- The right end of a line ----

TEST_F(TypingTest, WrappingAtTheLineLimit) {
  ResetLineStore();
  ASSERT_TRUE(InitLineStore());
  for (int i = 1; i < MaxLines; ++i) ASSERT_TRUE(AppendLine("", Txt.LineWidth));
  StoreLine("aaaa bbbb", 1);
  Ed.FormatWidth = 9;
  At(1, 10);
  TypeChar('c');  // 24,574 lines: the break may still add one
  EXPECT_EQ(Txt.LineCount, MaxLines);
  EXPECT_EQ(Line(2), "bbbbc");
  EXPECT_EQ(Cursor(), std::make_pair(2, 6));

  StoreLine("dddd eeee", 5);
  At(5, 10);
  Keys({Enter});  // answers the message
  EXPECT_FALSE(TypeChar('f'));
  EXPECT_EQ(Txt.LineCount, MaxLines);
  EXPECT_EQ(Line(5), "dddd eeee");
  EXPECT_EQ(Line(6), "");
  EXPECT_EQ(Cursor(), std::make_pair(5, 10));
  EXPECT_TRUE(Terminal.Script.empty());
}

// ---- Paragraph formatting ----

class FormatTest : public TypingTest {
 protected:
  FormatTest() { Ed.FormatWidth = 40; }
};

TEST_F(FormatTest, AThousandLineParagraph) {
  ResetLineStore();
  ASSERT_TRUE(InitLineStore());
  const std::vector<std::string> pool = {"a", "bb", "ccc", "dddd", "eeeee", "ffffff", "ggggggg", "hhhhhhhhhhhh"};
  std::vector<std::string> text;
  unsigned seed = 7;
  for (int i = 0; i < 1000; ++i) {
    std::string l;
    for (int w = 0; w < 6; ++w) {
      seed = seed * 1103515245u + 12345u;
      l += (l.empty() ? "" : "  ") + pool[(seed >> 16) % pool.size()];
    }
    text.push_back(l);
    ASSERT_TRUE(AppendLine(l, Txt.LineWidth));
  }
  ASSERT_TRUE(AppendLine("", Txt.LineWidth));
  ASSERT_TRUE(AppendLine("end", Txt.LineWidth));
  Ed.FormatWidth = 60;
  At(500, 1);
  FormatParagraph(FormatStyle::Justified);
  auto after = Lines();
  ASSERT_GE(after.size(), 3u);
  EXPECT_EQ(after.back(), "end");
  EXPECT_EQ(after[after.size() - 2], "");
  after.resize(after.size() - 2);
  EXPECT_EQ(Words(after), Words(text));
  for (size_t i = 0; i + 1 < after.size(); ++i) ASSERT_EQ(after[i].size(), 60u) << i << ": " << after[i];
  EXPECT_LE(after.back().size(), 60u);
  EXPECT_EQ(Ed.CurLine, Txt.LineCount - 1);
}

TEST_F(FormatTest, AClosingSignalStopsTheFormatting) {
  Text({"one two three four five six seven eight nine ten eleven twelve thirteen fourteen fifteen"});
  ClosingSignal = SIGTERM;
  EXPECT_THROW(FormatParagraph(FormatStyle::Ragged), InputLost);
  EXPECT_EQ(Txt.LineCount, 1) << "no line was broken";
}

// ---- Settings ----

TEST_F(TypingTest, FormatWidthIsAskedUntilItMakesSense) {
  Text({"x"});
  Ed.FormatWidth = 70;
  Keys({Char('0'), Enter, Char('1'), Enter, Char('q'), Enter, Char('2'), Char('5'), Char('5'), Enter, Char('4'),
        Char('0'), Enter});
  EXPECT_TRUE(SetFormatWidth());
  EXPECT_EQ(Ed.FormatWidth, 40);
  EXPECT_TRUE(Terminal.Script.empty());

  Keys({Esc});
  EXPECT_FALSE(SetFormatWidth());
  Keys({Enter});  // an empty answer
  EXPECT_FALSE(SetFormatWidth());
  EXPECT_EQ(Ed.FormatWidth, 40);
  Keys({Char('2'), Enter});
  EXPECT_TRUE(SetFormatWidth());
  EXPECT_EQ(Ed.FormatWidth, 2);
}

TEST_F(TypingTest, TabsExpandToColumnsOfEight) {
  Text({"a\tb", "abcdefg\tx", "abcdefgh\tx", "\t\ty", "none"});
  Txt.Modified = false;
  ExpandTabs();
  EXPECT_EQ(Lines(), (std::vector<std::string>{"a       b", "abcdefg x", "abcdefgh        x", "                y", "none"}));
  EXPECT_TRUE(Txt.Modified);
  // What would pass 255 bytes is lost.
  Text({std::string(240, 'a') + "\t" + std::string(14, 'z')});
  ExpandTabs();
  EXPECT_EQ(Line(1), std::string(240, 'a') + std::string(8, ' ') + std::string(7, 'z'));
  EXPECT_EQ(StoredLength(1), 255);
}

}  // namespace

// ---- Replacing in one step, and trials of typing ----

namespace {

// Everything typing may change.
struct Snapshot {
  std::vector<std::string> lines;
  std::vector<int> marks;
  bool modified, lineSaved;
  int undoIndex;
  std::vector<std::string> ring;
  size_t heapUsed;
  int breakLine;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take() {
  Snapshot s;
  for (int n = 1; n <= Txt.LineCount; ++n) s.lines.emplace_back(LineBytes(n));
  s.marks = {Ed.CurLine,        Ed.CurCol,       Ed.WindowTop,  Ed.BlockFirst,  Ed.BlockLast,
             Ed.RectFirst,      Ed.RectLast,     Ed.RectFirstCol, Ed.RectLastCol, Ed.LineMarks[0],
             Ed.LineMarks[1],   Ed.PositionMarks[0].Line};
  s.modified = Txt.Modified;
  s.lineSaved = Txt.LineSaved;
  s.undoIndex = Txt.UndoIndex;
  s.ring = RingListing();
  s.heapUsed = Heap.Used;
  s.breakLine = Typing.BreakLine;
  return s;
}

std::ostream& operator<<(std::ostream& o, const Snapshot& s) {
  for (const std::string& l : s.lines) o << "[" << l.size() << ":" << l.substr(0, TrimmedLength(l)) << "]\n";
  for (int m : s.marks) o << m << ' ';
  return o << "mod " << s.modified << " saved " << s.lineSaved << " undo " << s.undoIndex << " heap " << s.heapUsed
           << " break " << s.breakLine;
}

}  // namespace

// 6000 random rounds in four parts of their own seed, run in parallel.
class SpliceTest : public TypingTest, public ::testing::WithParamInterface<int> {};

TEST_P(SpliceTest, ASplicedReplacementIsWhatTypingItGives) {
  std::mt19937 rnd(7 + unsigned(GetParam()));
  auto pick = [&](int n) { return int(rnd() % unsigned(n)); };
  auto words = [&](int length) {
    std::string s;
    while (int(s.size()) < length) s += pick(5) == 0 ? ' ' : char('a' + pick(26));
    return s;
  };
  int spliced = 0, lost = 0;
  for (int round = 0; round < 1500; ++round) {
    // A line of words, stored padded to LineWidth, at its own length or at
    // 255; a short line and an empty one after it.
    const std::string first = words(pick(4) == 0 ? 230 + pick(26) : pick(120));
    const int kind = pick(3);
    const uint8_t width = kind == 0 ? Txt.LineWidth : kind == 1 ? uint8_t(first.size()) : uint8_t(255);
    ResetLineStore();
    ASSERT_TRUE(InitLineStore());
    ASSERT_TRUE(AppendLine(first, width));
    ASSERT_TRUE(AppendLine(words(pick(40)), Txt.LineWidth));
    ASSERT_TRUE(AppendLine("", Txt.LineWidth));
    if (StoredLength(1) == 0) continue;
    Ed.FormatWidth = uint8_t(std::vector<int>{20, 60, 72, 200, 254}[size_t(pick(5))]);
    Ed.LineLimitOff = pick(2);
    Ed.InsertMode = true;
    Ed.BlockFirst = Ed.BlockLast = 0;
    Ed.RectFirst = Ed.RectLast = pick(2) ? 1 : 0;
    Ed.RectFirstCol = 1 + pick(StoredLength(1));
    Ed.RectLastCol = std::min(255, Ed.RectFirstCol + pick(6));
    Ed.LineMarks[0] = int16_t(pick(4));
    Txt.LineSaved = pick(2) != 0;
    Txt.Modified = false;
    const int col = 1 + pick(StoredLength(1));
    const int count = pick(6);
    const std::string text = words(pick(10));
    At(1, col);
    Txt.LineSaved = pick(2) != 0;
    const Snapshot before = Take();

    // Typing, as the replace run did it, on trial.
    {
      TypingTrial trial(1, 1 + int(text.size()) + 2);
      SaveLineForUndo(1);
      DeleteChars(1, col, count);
      for (char ch : text) TypeChar(uint8_t(ch));
      if (trial.Lost()) {
        ++lost;
        trial.Undo();
        ASSERT_EQ(Take(), before) << "round " << round << ": the trial puts everything back";
        continue;
      }
    }
    const Snapshot typed = Take();

    // The same from the same start in one step.
    ResetLineStore();
    ASSERT_TRUE(InitLineStore());
    for (const std::string& l : before.lines) ASSERT_TRUE(AppendLine(l, uint8_t(l.size())));
    Ed.CurLine = 1;
    Ed.CurCol = col;
    Ed.RectFirst = Ed.RectLast = int16_t(before.marks[5]);
    Ed.RectFirstCol = before.marks[7];
    Ed.RectLastCol = before.marks[8];
    Ed.LineMarks[0] = int16_t(before.marks[9]);
    Txt.Modified = before.modified;
    Txt.LineSaved = before.lineSaved;
    Txt.UndoIndex = uint8_t(before.undoIndex);
    Typing.BreakLine = int16_t(before.breakLine);
    Heap.Used = before.heapUsed;
    if (!SpliceAtCursor(count, text)) continue;
    ++spliced;
    ASSERT_EQ(Take(), typed) << "round " << round << " col " << col << " count " << count << " text [" << text
                             << "] width " << int(Ed.FormatWidth) << " limit " << LineLimitOn() << "\nbefore\n"
                             << before;
  }
  // Both ways were tried often enough to mean something.
  EXPECT_GT(spliced, 1000);
  EXPECT_GT(lost, 15);
}

INSTANTIATE_TEST_SUITE_P(Part, SpliceTest, ::testing::Range(0, 4));
