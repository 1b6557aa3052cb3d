// Abbreviations (Space) and word continuations ('\') from "shorts.vsk".
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "blocks/block_support.h"
#include "blocks/shorts.h"
#include "builds/bindings.h"
#include "core/commands.h"
#include "core/mainloop.h"
#include "base/state.h"
#include "support/driver.h"
#include "support/fixture.h"
#include "support/scratch.h"
#include "text/heap.h"
#include "text/linestore.h"

namespace fs = std::filesystem;

namespace {


std::string K(const std::string& utf8) { return ToSet(Charset::Koi8, utf8); }

// A run of the KOI8-R build with shorts.vsk (given in UTF-8) in the current
// directory.
RunResult Edit(const std::string& shorts, const std::string& text, const std::string& keys) {
  Put("shorts.vsk", K(shorts));
  RunOptions o;
  o.Text = text;
  o.Keys = keys;
  return Drive(o);
}

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// Columns from..to of row 2 as UTF-8.
std::string Columns(const RunResult& r, int from, int to) {
  std::string bytes;
  for (int c = from; c <= to; ++c) bytes += char(CellChar(r.At(c, 2)));
  return FromSet(Charset::Koi8, bytes);
}
// The candidate an offer shows from column 22, "(no offer)" without one.
std::string Offered(const RunResult& r) {
  if (Columns(r, 1, 20) != " Подходящая строка: ") return "(no offer)";
  std::string s = Columns(r, 22, 74);
  return s.substr(0, s.find_last_not_of(' ') + 1);
}
// The attribute of the index it shows at columns 76 to 80.
uint8_t OfferAttr(const RunResult& r) { return CellAttr(r.At(80, 2)); }

}  // namespace

// ---- Reading the file ----

class ShortsFile : public EditorTest {
 protected:
  ScratchDir Here;
};

TEST_F(ShortsFile, LinesWithBelAreAbbreviationsAllOthersContinuationsInFileOrder) {
  Put("shorts.vsk", "one\r\nab\x07" "alpha beta\r\n\ntwo\rcd\x07\x08\nthree");
  ASSERT_TRUE(LoadShorts());
  EXPECT_EQ(Shorts.Abbreviations, (std::vector<std::string>{"ab\x07" "alpha beta", "cd\x07\x08"}));
  EXPECT_EQ(Shorts.ContinuationLines, (std::vector<std::string>{"one", "", "two", "three"}));
}

TEST(ShortsFromElsewhere, AFileOfAnotherUserIsNotUsed) {
  ScratchDir here;
  if (geteuid() != 0) GTEST_SKIP() << "a file of another user needs root to make (chown)";
  Put("shorts.vsk", "ab\x07" "alpha beta\n");
  ASSERT_EQ(chown("shorts.vsk", 65534, 65534), 0);
  RunOptions o;
  o.Text = "\n";
  o.Keys = "ab ";  // "a" answers the message and is typed
  RunResult r = Drive(o);
  EXPECT_EQ(r.Lines[0], "ab");
  ASSERT_EQ(chown("shorts.vsk", 0, 0), 0);
  r = Drive(o);
  EXPECT_EQ(r.Lines[0], "alpha beta");
}

TEST_F(ShortsFile, EachListKeepsItsFirstHundred) {
  std::string f;
  for (int i = 1; i <= 150; ++i) f += "c" + std::to_string(i) + "\nA" + std::to_string(i) + "\x07x\n";
  f += "late\x07y\n";
  Put("shorts.vsk", f);
  ASSERT_TRUE(LoadShorts());
  ASSERT_EQ(Shorts.ContinuationLines.size(), 100u);
  ASSERT_EQ(Shorts.Abbreviations.size(), 100u);
  EXPECT_EQ(Shorts.ContinuationLines.back(), "c100");
  EXPECT_EQ(Shorts.Abbreviations.back(), "A100\x07x");
}

TEST_F(ShortsFile, AnyBytesAndOverlongLinesAreReadSafely) {
  std::string f;
  f += std::string("bin\0\xff\x01\x1a", 7) + "\n";
  f += "ab\x07" + std::string(400, 'x') + "\n";  // cut to 255: still an abbreviation
  f += std::string(300, 'y') + "\x07z\n";         // its BEL lies in the part cut off
  for (int i = 0; i < 5000; ++i) f += char(i * 37 % 256);
  Put("shorts.vsk", f);
  ASSERT_TRUE(LoadShorts());
  ASSERT_GE(Shorts.ContinuationLines.size(), 2u);
  EXPECT_EQ(Shorts.ContinuationLines[0], std::string("bin\0\xff\x01\x1a", 7));
  EXPECT_EQ(Shorts.ContinuationLines[1], std::string(255, 'y'));
  ASSERT_GE(Shorts.Abbreviations.size(), 1u);
  EXPECT_EQ(Shorts.Abbreviations[0], "ab\x07" + std::string(252, 'x'));
  for (const auto* list : {&Shorts.ContinuationLines, &Shorts.Abbreviations})
    for (const std::string& s : *list) EXPECT_LE(s.size(), 255u);
}

TEST_F(ShortsFile, AHugeFileIsReadSafelyAndKeepsItsFirstLines) {
  {
    std::ofstream f("shorts.vsk", std::ios::binary);
    const std::string chunk = std::string(1000, 'w') + "\n";
    for (int i = 0; i < 40000; ++i) f << chunk;  // 40 MB
    f << "ab\x07" "late\n";
  }
  ASSERT_TRUE(LoadShorts());
  EXPECT_EQ(Shorts.ContinuationLines.size(), 100u);
  EXPECT_EQ(Shorts.ContinuationLines[0], std::string(255, 'w'));
}

TEST_F(ShortsFile, AFullHeapStopsReadingAndFreeingGivesEverythingBack) {
  const size_t before = Heap.Used;
  Put("shorts.vsk", "first\nsecond\nthird\n");
  Heap.Budget = Heap.Used + 6 + 7 + 3;  // "first" and "second" fit, "third" not
  ASSERT_TRUE(LoadShorts());
  EXPECT_EQ(Shorts.ContinuationLines, (std::vector<std::string>{"first", "second"}));
  Heap.Budget = size_t(64) << 20;
  // Reading again frees the old entries first.
  ASSERT_TRUE(LoadShorts());
  EXPECT_EQ(Heap.Used, before + 6 + 7 + 6);
  ResetShorts();
  EXPECT_EQ(Heap.Used, before);
}

TEST_F(ShortsFile, NoFileKeepsTheLists) {
  Put("shorts.vsk", "kept\n");
  ASSERT_TRUE(LoadShorts());
  fs::remove("shorts.vsk");
  EXPECT_FALSE(LoadShorts());
  EXPECT_EQ(Shorts.ContinuationLines, (std::vector<std::string>{"kept"}));
  // A path that is not a readable regular file empties them.
  EXPECT_FALSE(LoadShortsFrom(Here.Path("nothing")));
  EXPECT_TRUE(Shorts.ContinuationLines.empty());
}

class ShortsLoop : public blocktest::BlockBase {
 protected:
  bool WaitedOn(const std::string& utf8) {
    for (const std::string& row : Waited())
      if (Contains(row, B(utf8.c_str()))) return true;
    return false;
  }
  ScratchDir Here;
};

TEST_F(ShortsLoop, AltSpaceRereadsTheChangedFileAndSaysSo) {
  Put("shorts.vsk", "ab\x07" "old\n");
  ASSERT_TRUE(LoadShorts());
  Put("shorts.vsk", "ab\x07" "new\n");
  Text({""});
  Keys({CodeOf(Build, Cmd::RereadShorts), blocktest::Esc});
  MainLoopTurn();
  EXPECT_EQ(Shorts.Abbreviations, (std::vector<std::string>{"ab\x07" "new"}));
  EXPECT_TRUE(WaitedOn(" shorts.vsk - OK!"));
}

TEST(ShortsCommand, AltSpaceWithoutTheFileSaysItIsMissing) {
  ScratchDir here;
  RunOptions o;
  o.Text = "\n";
  o.Keys = "<A-Space>";
  RunResult r = Drive(o);
  EXPECT_TRUE(Contains(r.Row(2), "Файл не найден: shorts.vsk")) << r.Row(2);
}

TEST(ShortsCommand, StartUpReadsTheFileQuietly) {
  ScratchDir here;
  RunResult r = Edit("ab\x07" "expanded\n", "\n", "");
  EXPECT_FALSE(Contains(r.Row(2), "OK")) << r.Row(2);
  EXPECT_EQ(Shorts.Abbreviations.size(), 1u);
}

// ---- Abbreviations ----

TEST_F(ShortsLoop, ASpaceThatWasNotTypedOnTheKeyboardExpandsNothing) {
  Put("shorts.vsk", "ab\x07X\n");
  ASSERT_TRUE(LoadShorts());
  Text({"ab"});
  At(1, 3);
  Kbd.KeyEvent = 0x00000020;
  EXPECT_FALSE(ExpandAbbreviation());
  Kbd.KeyEvent = CodeOf(Build, Cmd::Space);
  EXPECT_TRUE(ExpandAbbreviation());
  EXPECT_EQ(Line(1), "X");
  EXPECT_EQ(Ed.CurCol, 3);
}

// ---- Continuations ----
// (Abbreviations and continuations through the keys: cases abbrev-* and
// continue-* in tests/cases.)

// The colour of the offer's index tells where it comes from: the list, the
// text above, the text below (after Down), the text ignoring case.
TEST(Continuation, TheIndexColourTellsWhereTheOfferComesFrom) {
  ScratchDir here;
  const std::string text = "alpha1x\nalpha2x\n\nalpha4x\n";
  EXPECT_EQ(OfferAttr(Edit("inte\ninternational\n", "\n", "inte\\")), 0x10);
  EXPECT_EQ(OfferAttr(Edit("ab1\nab2\nab3\n", "\n", "ab\\<BS><BS><Down>")), 0x14);
  EXPECT_EQ(OfferAttr(Edit("", text, "<Down><Down>alp\\<BS><BS>")), 0x12);
  EXPECT_EQ(OfferAttr(Edit("", text, "<Down><Down>alp\\<Down>")), 0x14);
  EXPECT_EQ(OfferAttr(Edit("", text, "<Down><Down>alp\\<Down><Up>")), 0x10);
  EXPECT_EQ(OfferAttr(Edit("", "International\n\n", "<Down>inte\\")), 0x11);
}

// No offer: past the end of a taken line, for short words, for the word
// being typed, for a word only one letter longer, and after Esc.
TEST(Continuation, WhereNothingIsOffered) {
  ScratchDir here;
  EXPECT_EQ(Offered(Edit("international\n", "\n", "inte\\\n\\")), "(no offer)");
  EXPECT_EQ(Offered(Edit("", "ab\n\n", "<Down>a\\")), "(no offer)");
  EXPECT_EQ(Offered(Edit("", "helper\n", "<End>\\")), "(no offer)");
  EXPECT_EQ(Offered(Edit("", "коты\n\n", "<Down>кот\\")), "(no offer)");
  EXPECT_EQ(Offered(Edit("international\n", "\n", "inte\\<Esc>")), "(no offer)");
  EXPECT_EQ(Offered(Edit("international\n", "\n", "inte\\\\x\\")), "(no offer)");
  EXPECT_EQ(Offered(Edit("interval\n", "internet\n\n", "<Down>inte\\<Esc>")), "(no offer)");
  EXPECT_EQ(Offered(Edit("", "abcdef\n\n", "<Down>ab\\<BS><BS>z")), "(no offer)");
}

TEST(ContinuationList, APasteThatEndsTheOfferGoesInAsText) {
  ScratchDir here;
  // The paste is the key that ends the offer: it then goes in as any paste
  // does, not run (and dropped) as a key.
  Put("shorts.vsk", K("international\n"));
  RunOptions o;
  o.Text = "\n";
  o.Keys = "inte\\";
  o.ExtraInput.push_back({0, "\x1b[200~xy\x1b[201~", 0});
  RunResult r = Drive(o);
  EXPECT_EQ(r.Lines[0], "intexy");
}
