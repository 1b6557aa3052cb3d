#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/state.h"
#include "edit/linematch.h"
#include "edit/prompt.h"
#include "edit/search.h"
#include "edit/typing.h"
#include "support/driver.h"
#include "support/fixture.h"
#include "text/codepage.h"
#include "text/heap.h"
#include "text/linestore.h"
#include "text/questions.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t Enter = 0x1C0D, Esc = 0x011B, CtrlK = 0x250B,
                   Dismiss = 0x3920;  // the key that ends a waiting message
uint32_t Char(char c) { return uint8_t(c); }

template <const BuildConfig& B>
class SearchFixture : public EditorTest {
 protected:
  SearchFixture() : EditorTest(B) { ResetSearchState(); }
  ~SearchFixture() override { ResetSearchState(); }

  // Lines in UTF-8, stored in the build's set; the cursor at 1,1.
  void Text(std::initializer_list<std::string> lines) { Text(std::vector<std::string>(lines)); }
  void Text(const std::vector<std::string>& lines) {
    ResetLineStore();
    ASSERT_TRUE(InitLineStore());
    for (const std::string& l : lines) ASSERT_TRUE(AppendLine(ToSet(B.Set, l), Txt.LineWidth));
    At(1, 1);
    Ed.WindowTop = 1;
    Txt.Modified = false;
  }
  static void At(int line, int col) {
    Ed.CurLine = int16_t(line);
    Ed.CurCol = col;
    Txt.LineSaved = false;
  }
  // Line n without its trailing blanks, in UTF-8.
  static std::string Line(int n) {
    return FromSet(B.Set, std::string(LineBytes(n).substr(0, TrimmedLength(LineBytes(n)))));
  }
  static std::vector<std::string> Lines() {
    std::vector<std::string> v;
    for (int n = 1; n <= Txt.LineCount; ++n) v.push_back(Line(n));
    return v;
  }
  // Characters typed into a prompt.
  void Type(const std::string& utf8) {
    for (char c : ToSet(B.Set, utf8)) Keys({uint8_t(c)});
  }
  // The first characters of a screen row, as many as expected has.
  std::string RowHead(int row, const std::string& expected) {
    std::string text = RowText(row);
    size_t bytes = 0;
    for (size_t i = 0; i < expected.size() && bytes < text.size(); ++i) {
      if ((uint8_t(expected[i]) & 0xC0) == 0x80) continue;  // counts characters, not bytes
      ++bytes;
      while (bytes < text.size() && (uint8_t(text[bytes]) & 0xC0) == 0x80) ++bytes;
    }
    return text.substr(0, bytes);
  }
  std::string RowText(int row) {
    std::string s;
    for (int c = 1; c <= Scr.ScreenWidth; ++c) s += char(CellChar(CellAt(c, row)));
    return FromSet(B.Set, s);
  }
  // True when every key was read except one Dismiss left by a waiting
  // message; the leftover is dropped.
  bool OnlyMessageKeyLeft() {
    bool ok = Terminal.Script.empty() && Kbd.Queue.size() == 1 && Kbd.Queue.front() == Dismiss;
    Kbd.Queue.clear();
    return ok;
  }
  bool AllKeysRead() { return Terminal.Script.empty() && Kbd.Queue.empty(); }
  static void Run(void (*command)(), uint32_t code) {
    Kbd.KeyEvent = code;
    command();
  }
};

using SearchTest = SearchFixture<BuildKoi8Rkbd>;
using Search866Test = SearchFixture<Build866>;
using ReplaceTest = SearchFixture<BuildKoi8Rkbd>;

constexpr uint32_t F6 = 0x0200FF06, ByFile = 0x00089B5D;

// ---- FindInLine and FindString ------------------------------------------

TEST_F(SearchTest, FindInLineGivesTheFirstPositionAndFoldsOnlyTheText) {
  EXPECT_EQ(FindInLine("AB", "xxABab", CaseMatch), 3);
  EXPECT_EQ(FindInLine("AB", "xxabAB", CaseIgnore), 3);  // the text is upper-cased, the pattern already is
  EXPECT_EQ(FindInLine("ab", "xxabAB", CaseIgnore), 0);  // a lower-case pattern never matches folded text
  EXPECT_EQ(FindInLine("abc", "ab", CaseMatch), 0);
  EXPECT_EQ(FindInLine("", "ab", CaseMatch), 0);
}

TEST_F(SearchTest, FoldedSearchFindsWhatSearchingAnUpperCasedCopyFinds) {
  // Letters of both cases, Cyrillic ones included, and blanks; patterns
  // cut from the text itself, so that most are found.
  std::mt19937 rnd(11);
  for (const BuildConfig* b : {&BuildKoi8Rkbd, &Build866}) {
    SelectBuild(*b);
    const std::string alphabet = ToSet(b->Set, "aAeEzZ ёЁеЕжЖяЯ1");
    for (int round = 0; round < 3000; ++round) {
      std::string text;
      for (int i = int(rnd() % 60); i > 0; --i) text += alphabet[rnd() % alphabet.size()];
      std::string pat = text.substr(text.empty() ? 0 : rnd() % text.size(), 1 + rnd() % 3);
      if (rnd() % 4 == 0) pat = alphabet.substr(rnd() % alphabet.size(), 1);
      UpCaseStr(pat);
      std::string up = text;
      UpCaseStr(up);
      const size_t at = pat.empty() ? std::string::npos : up.find(pat);
      ASSERT_EQ(FindInLine(pat, text, CaseIgnore), at == std::string::npos ? 0 : int(at) + 1)
          << b->Name << " [" << text << "] [" << pat << "]";
    }
  }
}

// The line-by-line search reads the lines in place; whatever it finds must
// be what FindInLine finds in the whole stored line, blanks past the text
// included.
TEST_F(SearchTest, TheLineScanFindsWhatFindInLineFindsInTheStoredLine) {
  Text({"abc abc", "xx  ", "Привет, ПРИВЕТ мир", "aaaab", "", "  lead", "tab\there  z",
        std::string(250, 'y') + "yz"});
  // A line stored with only a few blanks of padding, and one that is full.
  int16_t n = 9;
  InsertLine(12, n);
  StoreLine("ends b", 9);
  n = 10;
  InsertLine(255, n);
  StoreLine(std::string(255, 'q'), 10);
  const std::vector<std::string> patterns = {
      "abc", "c a", "ABC", "b", "x ", "xx   ", "   ", " ", "b  ", "b      ", "ПРИВЕТ", "привет", "ет, п",
      "aab", "lead", "\there", "z", "yz", "yyyz", std::string(255, 'q'), std::string(256, 'q'), "  z ", "qq"};
  for (const std::string& raw : patterns) {
    for (int8_t cs : {CaseMatch, CaseIgnore}) {
      std::string pat = ToSet(Charset::Koi8, raw);
      if (cs > 0) UpCaseStr(pat);
      const LineMatcher m(pat, cs > 0);
      for (int line = 1; line <= Txt.LineCount; ++line)
        EXPECT_EQ(m.In(line), FindInLine(pat, LineBytes(line), cs)) << "\"" << raw << "\" in line " << line << " case "
                                                                    << int(cs);
    }
  }
  // Through FindString: a pattern ending in blanks finds its place in the
  // padding of a short line.
  int8_t cs = CaseMatch;
  At(1, 1);
  ASSERT_TRUE(FindString("ends b    ", 1, Txt.LineCount, 0, FindFor::Search, cs));
  EXPECT_EQ(Ed.CurLine, 9);
  EXPECT_EQ(Ed.CurCol, 1);
}

TEST_F(SearchTest, ForwardsTheStartLineIsSearchedAfterTheCursorOnly) {
  Text({"foo bar foo", "xx Foo"});
  int8_t cs = CaseIgnore;
  At(1, 1);
  ASSERT_TRUE(FindString("foo", 1, 2, 1, FindFor::Search, cs));
  EXPECT_EQ(Ed.CurLine, 1);
  EXPECT_EQ(Ed.CurCol, 9);  // p + startCol: the one at the cursor is passed over
  ASSERT_TRUE(FindString("foo", 1, 2, 9, FindFor::Search, cs));
  EXPECT_EQ(Ed.CurLine, 2);
  EXPECT_EQ(Ed.CurCol, 4);
  EXPECT_EQ(Ed.WindowTop, 2);  // the match line is shown at the top
  // Column 0: the whole start line.
  ASSERT_TRUE(FindString("foo", 1, 2, 0, FindFor::Search, cs));
  EXPECT_EQ(Ed.CurCol, 1);
  // A start column beyond the line's bytes finds nothing there.
  ASSERT_TRUE(FindString("foo", 1, 2, 255, FindFor::Search, cs));
  EXPECT_EQ(Ed.CurLine, 2);
}

TEST_F(SearchTest, AMatchInTheStartLineKeepsUndoStateAndScroll) {
  Text({"abc abc", "abc"});
  int8_t cs = CaseMatch;
  Txt.LineSaved = true;
  Ed.HScroll = 7;
  ASSERT_TRUE(FindString("abc", 1, 2, 1, FindFor::Replace, cs));
  EXPECT_EQ(Ed.CurCol, 5);
  EXPECT_TRUE(Txt.LineSaved);
  EXPECT_EQ(Ed.HScroll, 7);
  ASSERT_TRUE(FindString("abc", 1, 2, 5, FindFor::Replace, cs));
  EXPECT_EQ(Ed.CurLine, 2);
  EXPECT_FALSE(Txt.LineSaved);
  EXPECT_EQ(Ed.HScroll, 0);
}

TEST_F(SearchTest, AnEmptyPatternFindsTheNextEmptyOrBlankLine) {
  Text({"", "a", "   ", "b", ""});
  Ed.IndentColumn = 3;
  int8_t cs = CaseUndecided;
  ASSERT_TRUE(FindString("", 1, 5, 1, FindFor::Search, cs));  // the start line itself is not examined
  EXPECT_EQ(Ed.CurLine, 3);
  EXPECT_EQ(Ed.CurCol, 3);
  ASSERT_TRUE(FindString("", 3, 5, 3, FindFor::Search, cs));
  EXPECT_EQ(Ed.CurLine, 5);
  ASSERT_TRUE(FindString("", 5, 1, 3, FindFor::Search, cs));  // upwards
  EXPECT_EQ(Ed.CurLine, 3);
  Keys({Dismiss});
  EXPECT_FALSE(FindString("", 5, 5, 3, FindFor::Search, cs));
  EXPECT_TRUE(OnlyMessageKeyLeft());
  EXPECT_EQ(cs, CaseUndecided);  // no case question for it
}

TEST_F(SearchTest, TheCaseQuestionIsAskedOnlyForLettersAndOnlyWhenUndecided) {
  Text({"x 1.5 abc ABC"});
  int8_t cs = CaseUndecided;
  ASSERT_TRUE(FindString("1.5", 1, 1, 0, FindFor::Search, cs));  // no key queued: a question would throw
  EXPECT_EQ(cs, CaseUndecided);
  Keys({Char('2')});
  ASSERT_TRUE(FindString("ABC", 1, 1, 0, FindFor::Search, cs));
  EXPECT_EQ(cs, CaseMatch);
  EXPECT_EQ(Ed.CurCol, 11);
  ASSERT_TRUE(FindString("abc", 1, 1, 0, FindFor::Search, cs));  // decided: not asked again
  EXPECT_EQ(Ed.CurCol, 7);
  cs = CaseUndecided;
  Keys({Char('1')});
  ASSERT_TRUE(FindString("ABC", 1, 1, 0, FindFor::Search, cs));
  EXPECT_EQ(cs, CaseIgnore);
  EXPECT_EQ(Ed.CurCol, 7);
  for (uint32_t refuse : {uint32_t('3'), Esc}) {
    cs = CaseUndecided;
    At(1, 1);
    Keys({refuse});
    EXPECT_FALSE(FindString("abc", 1, 1, 0, FindFor::Search, cs));  // nothing searched, no message
    EXPECT_EQ(cs, CaseUndecided);
    EXPECT_EQ(Ed.CurCol, 1);
    EXPECT_TRUE(AllKeysRead());
  }
}

TEST_F(SearchTest, TheCaseQuestionText) {
  Text({"abc"});
  int8_t cs = CaseUndecided;
  EXPECT_THROW(FindString("a", 1, 1, 0, FindFor::Search, cs), InputLost);
  const std::string q = "Величину букв игнорировать ? │ 1 - да │ 2 - нет │ 3 или Esc - отказ от поиска │";
  EXPECT_EQ(RowHead(1, q), q);
}

// ---- Case folding of the two character sets -------------------------------

TEST_F(SearchTest, CyrillicCaseFoldingInKoi8) {
  Text({"мир", "ПРИВЕТ, Ёлка", "привет ёлка"});
  int8_t cs = CaseIgnore;
  ASSERT_TRUE(FindString(ToSet(Charset::Koi8, "Привет"), 1, 3, 0, FindFor::Search, cs));
  EXPECT_EQ(Ed.CurLine, 2);
  ASSERT_TRUE(FindString(ToSet(Charset::Koi8, "ёЛКА"), 1, 3, 0, FindFor::Search, cs));
  EXPECT_EQ(Ed.CurLine, 2);
  EXPECT_EQ(Ed.CurCol, 9);
  cs = CaseMatch;
  ASSERT_TRUE(FindString(ToSet(Charset::Koi8, "ёлка"), 1, 3, 0, FindFor::Search, cs));
  EXPECT_EQ(Ed.CurLine, 3);
  cs = CaseUndecided;  // a Cyrillic pattern has letters: asked
  Keys({Char('1')});
  ASSERT_TRUE(FindString(ToSet(Charset::Koi8, "МИР"), 1, 3, 0, FindFor::Search, cs));
  EXPECT_EQ(cs, CaseIgnore);
  EXPECT_EQ(Ed.CurLine, 1);
}

TEST_F(Search866Test, CyrillicCaseFoldingIn866) {
  Text({"мир", "ПРИВЕТ, Ёлка", "привет ёлка"});
  int8_t cs = CaseIgnore;
  ASSERT_TRUE(FindString(ToSet(Charset::Cp866, "Привет"), 1, 3, 0, FindFor::Search, cs));
  EXPECT_EQ(Ed.CurLine, 2);
  ASSERT_TRUE(FindString(ToSet(Charset::Cp866, "ёЛКА"), 1, 3, 0, FindFor::Search, cs));
  EXPECT_EQ(Ed.CurLine, 2);
  EXPECT_EQ(Ed.CurCol, 9);
  cs = CaseMatch;
  ASSERT_TRUE(FindString(ToSet(Charset::Cp866, "ёлка"), 1, 3, 0, FindFor::Search, cs));
  EXPECT_EQ(Ed.CurLine, 3);
  cs = CaseUndecided;
  Keys({Char('1')});
  ASSERT_TRUE(FindString(ToSet(Charset::Cp866, "МИР"), 1, 3, 0, FindFor::Search, cs));
  EXPECT_EQ(Ed.CurLine, 1);
}

// ---- The search commands ----------------------------------------------------
// (Through the keys: cases search-* in tests/cases.)

TEST_F(SearchTest, SearchAgainAsksTheCaseWhenTheSettingIsUndecided) {
  Text({"x ABC", "abc"});
  Ed.SearchString = "abc";
  Prompt.QuickSearchCase = CaseUndecided;
  Keys({Char('2')});
  Run(SearchAgain, 0x240A);
  EXPECT_EQ(Prompt.QuickSearchCase, CaseMatch);
  EXPECT_EQ(Ed.CurLine, 2);
  // Digits and punctuation never ask.
  Text({"a", "b 3.14"});
  Ed.SearchString = "3.14";
  Prompt.QuickSearchCase = CaseUndecided;
  Run(SearchAgain, 0x240A);
  EXPECT_EQ(Ed.CurLine, 2);
  EXPECT_EQ(Ed.CurCol, 3);
}

// ---- Replace ------------------------------------------------------------------
// (The replace command through the keys: cases replace-* in tests/cases.)

TEST_F(ReplaceTest, AClosingSignalStopsTheRun) {
  Text({"1 1 1", "1"});
  Type("1");
  Keys({Enter});
  Type("2");
  Keys({Enter});
  Terminal.Script.push_back({Char('2'), {}, SIGTERM});  // no confirmation; the signal comes with it
  EXPECT_THROW(Run(Replace, F6), InputLost);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1 1 1", "1"}));
}

// Replaces every occurrence of from by to without questions (ignoring
// case, for a string with letters) and waits out the closing message.
#define REPLACE_ALL(from, to)                                                           \
  do {                                                                                  \
    const std::string f = from;                                                         \
    Keys({CtrlK});                                                                      \
    Type(f);                                                                            \
    Keys({Enter, CtrlK});                                                               \
    Type(to);                                                                           \
    Keys({Enter, Char('2')});                                                           \
    if (std::any_of(f.begin(), f.end(), [](char c) { return std::isalpha(c) != 0; })) \
      Keys({Char('1')});                                                                \
    Keys({Dismiss});                                                                    \
    Run(Replace, F6);                                                                   \
  } while (0)

TEST_F(ReplaceTest, EveryMatchIsReplacedOnceWhereverItStands) {
  // Matches in the same column of lines 1, 257 and 258: line numbers that
  // agree in their low byte are still different lines.
  std::vector<std::string> text(258, "x");
  text[0] = text[256] = text[257] = "x12";
  Text(text);
  REPLACE_ALL("12", "34");
  EXPECT_TRUE(OnlyMessageKeyLeft());
  for (int n : {1, 257, 258}) EXPECT_EQ(Line(n), "x34") << n;
  EXPECT_EQ(Line(256), "x");

  // Deleting a match brings the next one to its place: that one goes too.
  Text({"aab", "axxb", "a"});
  REPLACE_ALL("a", "");
  EXPECT_TRUE(OnlyMessageKeyLeft());
  EXPECT_EQ(Lines(), (std::vector<std::string>{"b", "xxb", ""}));
  REPLACE_ALL("x", "");
  EXPECT_TRUE(OnlyMessageKeyLeft());
  EXPECT_EQ(Lines(), (std::vector<std::string>{"b", "b", ""}));

  // A replacement holding its own search string doubles each one once,
  // on every line.
  Text(std::vector<std::string>(300, "1 11"));
  REPLACE_ALL("1", "11");
  EXPECT_TRUE(OnlyMessageKeyLeft());
  for (int n = 1; n <= 300; ++n) ASSERT_EQ(Line(n), "11 1111") << n;
}

TEST_F(ReplaceTest, ReplacingInOneStepGivesWhatTypingGives) {
  // Whole runs over generated texts, once with the one-step replacements
  // and once typing every replacement: the texts, the cursor, the marks,
  // the undo ring and the screen must come out the same.
  std::mt19937 rnd(5);
  auto pick = [&](int n) { return int(rnd() % unsigned(n)); };
  const std::vector<std::pair<std::string, std::string>> pairs = {
      {"e", "ea"}, {"e", ""}, {"de", "d e"}, {"a", "aaaa"}, {"x", " "}, {"e", "ee ee"}};
  struct Outcome {
    std::vector<std::string> lines;
    std::vector<int> state;
    std::vector<std::string> ring;
    std::vector<Cell> cells;
    bool operator==(const Outcome&) const = default;
  };
  int differentRuns = 0;
  for (int round = 0; round < 240; ++round) {
    std::vector<std::string> text;
    std::vector<uint8_t> widths;
    for (int n = 1 + pick(30); n > 0; --n) {
      std::string l;
      const int length = pick(3) == 0 ? 200 + pick(56) : pick(70);
      while (int(l.size()) < length) l += "abcdex   "[pick(9)];
      text.push_back(l);
      widths.push_back(pick(2) ? Txt.LineWidth : uint8_t(l.size()));
    }
    const auto& [from, to] = pairs[size_t(pick(int(pairs.size())))];
    const int width = std::vector<int>{30, 60, 254}[size_t(pick(3))];
    const bool limit = pick(2) != 0;
    const int rect = pick(int(text.size()) + 1);
    const int rectCol = 1 + pick(80);
    const int mark = pick(int(text.size()) + 1);

    auto run = [&](bool splice) {
      ResetSearchState();
      Search.Splice = splice;
      ResetLineStore();
      EXPECT_TRUE(InitLineStore());
      for (size_t i = 0; i < text.size(); ++i) EXPECT_TRUE(AppendLine(text[i], widths[i]));
      ResetScreen(80, 25);
      At(1, 1);
      Ed.WindowTop = 1;
      Ed.FormatWidth = uint8_t(width);
      Ed.LineLimitOff = !limit;
      Ed.InsertMode = true;
      Ed.RectFirst = Ed.RectLast = int16_t(rect);
      Ed.RectFirstCol = rectCol;
      Ed.RectLastCol = rectCol + 2;
      Ed.LineMarks[0] = int16_t(mark);
      Txt.Modified = false;
      Keys({CtrlK});
      Type(from);
      Keys({Enter, CtrlK});
      Type(to);
      Keys({Enter, Char('2')});
      if (from.find_first_not_of(' ') != std::string::npos) Keys({Char('1')});
      Keys({Dismiss});
      Run(Replace, F6);
      Kbd.Queue.clear();
      Outcome o;
      for (int n = 1; n <= Txt.LineCount; ++n) o.lines.emplace_back(LineBytes(n));
      o.state = {Ed.CurLine,     Ed.CurCol,          Ed.WindowTop,    Ed.RectFirst,       Ed.RectLast,
                 Ed.RectFirstCol, Ed.RectLastCol,     Ed.LineMarks[0], int(Txt.Modified),  int(Txt.LineSaved),
                 Txt.UndoIndex,   int(Heap.Used),     Search.TooLong,  int(Ed.InsertMode), Txt.LineCount};
      o.ring = RingListing();
      o.cells = Scr.ScreenCells;
      return o;
    };
    const Outcome spliced = run(true);
    const Outcome typed = run(false);
    ASSERT_TRUE(spliced == typed) << "round " << round << " [" << from << "] -> [" << to << "] width " << width
                                  << " limit " << limit;
    if (spliced.lines != [&] {
          std::vector<std::string> v;
          for (size_t i = 0; i < text.size(); ++i)
            v.push_back(text[i] + std::string(std::max<size_t>(widths[i], text[i].size()) - text[i].size(), ' '));
          return v;
        }())
      ++differentRuns;
  }
  EXPECT_GT(differentRuns, 150);  // most runs replaced something
}

// ---- Replace by file ----------------------------------------------------------

class ReplaceFromFileTest : public ReplaceTest {
 protected:
  ReplaceFromFileTest() {
    dir = testing::TempDir() + "vesk-pairs-" + std::to_string(getpid());
    fs::create_directories(dir);
  }
  ~ReplaceFromFileTest() override { fs::remove_all(dir); }
  // Writes the pair file and offers its name to the file-name prompt.
  void Pairs(const std::string& content) {
    std::string path = dir + "/pairs.txt";
    std::ofstream(path, std::ios::binary) << ToSet(Charset::Koi8, content);
    Search.PairFileName = path;
  }
  std::string dir;
};

TEST_F(ReplaceFromFileTest, OddLinesIntoEvenLines) {
  Text({"cat red", "red cat", "dog"});
  At(2, 3);
  Pairs("cat\ndog\nred\nblue\n");
  Keys({Enter, Char('2'), Char('1')});  // the name, no confirmation, ignore case; nothing said after the pairs
  Run([] { ReplaceFromFile(false); }, ByFile);
  EXPECT_TRUE(AllKeysRead());
  EXPECT_EQ(Lines(), (std::vector<std::string>{"dog blue", "blue dog", "dog"}));
  EXPECT_EQ(Ed.CurLine, 2);
  EXPECT_EQ(Ed.CurCol, 3);
  EXPECT_FALSE(Search.PairFile.is_open());
}

TEST_F(ReplaceFromFileTest, EvenLinesIntoOddLinesReversed) {
  Text({"dog blue", "blue dog"});
  Pairs("cat\r\ndog\r\nred\r\nblue");  // CR LF, no line end at the end
  Keys({Enter, Char('2'), Char('1')});
  ReplaceFromFile(true);  // menu item 2
  EXPECT_TRUE(AllKeysRead());
  EXPECT_EQ(Lines(), (std::vector<std::string>{"cat red", "red cat"}));
}

TEST_F(ReplaceFromFileTest, AnOddLineCountStopsAfterTheCompletePairs) {
  Text({"cat red"});
  Pairs("cat\ndog\nred\n");
  Keys({Enter, Char('2'), Char('1')});
  EXPECT_THROW(Run([] { ReplaceFromFile(false); }, ByFile), InputLost);
  EXPECT_EQ(RowHead(2, "Нечетное число строк в файле!"), "Нечетное число строк в файле!");
  EXPECT_EQ(Line(1), "dog red");
  ResetSearchState();
  Text({"cat red"});
  Pairs("cat\ndog\nred\n");
  Keys({Enter, Char('2'), Char('1'), Dismiss});
  Run([] { ReplaceFromFile(false); }, ByFile);
  EXPECT_TRUE(OnlyMessageKeyLeft());
  EXPECT_FALSE(Search.PairFile.is_open());
}

TEST_F(ReplaceFromFileTest, QuestionsAreAskedOnceForTheBatch) {
  Text({"Cat red", "cat"});
  Ed.BlockFirst = Ed.BlockLast = 1;
  Pairs("cat\ndog\nred\nblue\n");
  // Scope: the block; confirmation: yes; case (first pair): match.
  Keys({Enter, Char('2'), Char('1'), Char('2')});
  Run([] { ReplaceFromFile(false); }, ByFile);
  ASSERT_TRUE(ReplacePending());  // "cat" matched with case nowhere in the block: the second pair asks
  EXPECT_EQ(Ed.CurLine, 1);
  EXPECT_EQ(Ed.CurCol, 5);
  Keys({Char('1')});
  ContinueReplace();
  EXPECT_FALSE(ReplacePending());
  EXPECT_TRUE(AllKeysRead());
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Cat blue", "cat"}));
  EXPECT_EQ(Search.ReplaceCase, CaseMatch);
}

TEST_F(ReplaceFromFileTest, ConfirmationRunsAcrossPairsThroughTheMainLoop) {
  Text({"cat red"});
  Pairs("cat\ndog\nred\nblue\n");
  Keys({Enter, Char('1'), Char('1')});  // confirm; ignore case
  Run([] { ReplaceFromFile(false); }, ByFile);
  int asked = 0;
  while (ReplacePending() && asked < 10) {  // as each turn of the main loop does
    Keys({Char('1')});
    ContinueReplace();
    ++asked;
  }
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(Line(1), "dog blue");
  EXPECT_TRUE(AllKeysRead());
}

TEST_F(ReplaceFromFileTest, CancellingEndsTheBatch) {
  Text({"cat red"});
  Pairs("cat\ndog\nred\nblue\n");
  Keys({Enter, Char('1'), Char('1')});
  Run([] { ReplaceFromFile(false); }, ByFile);
  ASSERT_TRUE(ReplacePending());
  Keys({Char('4')});
  ContinueReplace();
  EXPECT_FALSE(ReplacePending());
  EXPECT_EQ(Line(1), "cat red");
  EXPECT_FALSE(Search.PairFile.is_open());
}

TEST_F(ReplaceFromFileTest, AMissingFileIsAskedForAgainUntilEsc) {
  Text({"cat"});
  Search.PairFileName = dir + "/none.txt";
  Keys({Enter, Esc});  // the message waits; Esc then ends the new prompt
  Run([] { ReplaceFromFile(false); }, ByFile);
  EXPECT_TRUE(AllKeysRead());
  EXPECT_EQ(Line(1), "cat");
  EXPECT_FALSE(Search.Running);
}

}  // namespace
