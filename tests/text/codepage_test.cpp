#include <gtest/gtest.h>
#include <iconv.h>
#include <locale.h>
#include <unistd.h>
#include <wctype.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/state.h"
#include "screen/glyphs.h"
#include "screen/keys.h"
#include "support/driver.h"
#include "support/fixture.h"
#include "support/scratch.h"
#include "text/codepage.h"
#include "text/linestore.h"
#include "text/questions.h"
#include "text/savefile.h"

namespace {

// glibc's view of a conversion; nullopt when the target set lacks a
// character of the input.
std::optional<std::string> Iconv(const char* from, const char* to, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1)) return std::nullopt;
  std::string src = in;
  std::string out(in.size() * 4 + 4, '\0');
  char* ip = src.data();
  size_t il = src.size();
  char* op = out.data();
  size_t ol = out.size();
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (r == size_t(-1) || il != 0) return std::nullopt;
  out.resize(out.size() - ol);
  return out;
}

std::optional<uint8_t> IconvByte(const char* from, const char* to, uint8_t b) {
  auto r = Iconv(from, to, std::string(1, char(b)));
  if (!r || r->size() != 1) return std::nullopt;
  return uint8_t((*r)[0]);
}

// The Cyrillic letters all three sets share: А..я, Ё, ё.
std::vector<char32_t> RussianLetters() {
  std::vector<char32_t> v;
  for (char32_t u = 0x410; u <= 0x44F; ++u) v.push_back(u);
  v.push_back(0x401);
  v.push_back(0x451);
  return v;
}


// The average of the bytes above 127 of a text, as the load check sees it.
long HighAverage(const std::string& bytes) {
  long count = 0, sum = 0;
  for (unsigned char c : bytes)
    if (c > 127) {
      ++count;
      sum += c;
    }
  return count == 0 ? 0 : sum / count;
}

}  // namespace

// The eight 866 characters KOI8-R lacks and the KOI8-R characters they
// borrow; every other byte goes where glibc puts it.
TEST(CodePageTables, Cp866AndKoi8AgreeWithIconvAndRoundTrip) {
  const std::pair<uint8_t, uint8_t> borrowed[] = {{0xF2, 0x93}, {0xF3, 0x9B}, {0xF4, 0x97}, {0xF5, 0x98},
                                                  {0xF6, 0x99}, {0xF7, 0x9F}, {0xFC, 0xBF}, {0xFD, 0x9D}};
  for (auto [a, k] : borrowed) {
    EXPECT_EQ(Cp866ToKoi8(a), k) << std::hex << int(a);
    EXPECT_EQ(Koi8ToCp866(k), a) << std::hex << int(k);
  }
  int unshared = 0;
  for (int i = 0; i < 256; ++i) {
    const uint8_t b = uint8_t(i);
    if (auto k = IconvByte("CP866", "KOI8-R", b)) {
      EXPECT_EQ(Cp866ToKoi8(b), *k) << "866 " << std::hex << i;
    } else {
      ++unshared;
    }
    if (auto a = IconvByte("KOI8-R", "CP866", b)) {
      EXPECT_EQ(Koi8ToCp866(b), *a) << "KOI8 " << std::hex << i;
    }
    EXPECT_EQ(Koi8ToCp866(Cp866ToKoi8(b)), b) << std::hex << i;
    EXPECT_EQ(Cp866ToKoi8(Koi8ToCp866(b)), b) << std::hex << i;
  }
  EXPECT_EQ(unshared, 8);
  // The columns themselves: 866 in byte order, then the punctuation rows
  // that only the keyboard layout reaches.
  for (int i = 0; i < 128; ++i) EXPECT_EQ(Cp866Column[size_t(i)], 0x80 + i);
  EXPECT_EQ(std::string(Cp866Column.begin() + 128, Cp866Column.end()), ".,/\"\xFC;:?");
  EXPECT_EQ(std::string(Koi8Column.begin() + 128, Koi8Column.end()), ".,/\"\xBF;:?");
}

TEST(CodePageTables, EveryLetterAgreesWithIconvInEveryDirection) {
  for (char32_t u : RussianLetters()) {
    const std::string utf8 = Utf8Of(u);
    const uint8_t a = uint8_t(Iconv("UTF-8", "CP866", utf8).value()[0]);
    const uint8_t k = uint8_t(Iconv("UTF-8", "KOI8-R", utf8).value()[0]);
    const uint8_t w = uint8_t(Iconv("UTF-8", "CP1251", utf8).value()[0]);
    SCOPED_TRACE(utf8);
    EXPECT_EQ(Cp866ToKoi8(a), k);
    EXPECT_EQ(Koi8ToCp866(k), a);
    EXPECT_EQ(Cp866ToCp1251(a), w);
    EXPECT_EQ(Cp1251ToCp866(w), a);
    EXPECT_EQ(Cp1251ToKoi8(w), k);
    EXPECT_EQ(Koi8ToCp1251(k), w);
  }
  for (int b = 0; b < 128; ++b) {
    for (auto f : {Cp866ToKoi8, Koi8ToCp866, Cp866ToCp1251, Cp1251ToCp866, Cp1251ToKoi8, Koi8ToCp1251})
      EXPECT_EQ(f(uint8_t(b)), b);
  }
}

TEST(CodePageTables, BoxDrawingBecomesBrokenBarOrMinusIn1251) {
  // A stroke through or at the side of the cell keeps a vertical mark.
  EXPECT_EQ(Cp866ToCp1251(0xBA), 0xA6);  // ║
  EXPECT_EQ(Cp866ToCp1251(0xB3), 0xA6);  // │
  EXPECT_EQ(Cp866ToCp1251(0xC3), 0xA6);  // ├
  EXPECT_EQ(Cp866ToCp1251(0xC9), '-');   // ╔
  EXPECT_EQ(Cp866ToCp1251(0xC4), '-');   // ─
  EXPECT_EQ(Cp866ToCp1251(0xC5), '-');   // ┼
  int bars = 0, minuses = 0;
  for (int b = 0xB0; b <= 0xDF; ++b) {
    const uint8_t r = Cp866ToCp1251(uint8_t(b));
    if (r == 0xA6) ++bars;
    else if (r == '-') ++minuses;
    else EXPECT_TRUE((b <= 0xB2 || b >= 0xDB) && r == b) << std::hex << b;  // shades and blocks stay
  }
  EXPECT_EQ(bars, 10);
  EXPECT_EQ(minuses, 30);
  for (int b = 0xF2; b <= 0xFF; ++b) EXPECT_EQ(Cp866ToCp1251(uint8_t(b)), b);
  // The same through KOI8-R: ╔ is 0xA5 there.
  EXPECT_EQ(Koi8ToCp1251(0xA5), '-');
  EXPECT_EQ(Koi8ToCp1251(0xA1), 0xA6);  // ║
}

TEST(CodePageTables, AnsiSpecialsAndUnchangedBytes) {
  const std::pair<uint8_t, uint8_t> specials[] = {{0xA8, 0xF0}, {0xB8, 0xF1}, {0xB9, 0xFC},
                                                  {0xA6, 0xB3}, {0xAC, 0xBF}, {0x86, 0xC5}};
  for (auto [w, a] : specials) EXPECT_EQ(Cp1251ToCp866(w), a) << std::hex << int(w);
  EXPECT_EQ(Cp1251ToCp866(0xB9), *IconvByte("CP1251", "CP866", 0xB9));  // № is № in both
  for (int b : {0x80, 0x85, 0x98, 0xA0, 0xAA, 0xAF, 0xB0, 0xBF}) EXPECT_EQ(Cp1251ToCp866(uint8_t(b)), b);
  EXPECT_EQ(Cp1251ToKoi8(0xB9), 0xBF);  // № takes ©'s place in KOI8-R
  EXPECT_EQ(Cp1251ToKoi8(0x86), 0x8A);  // ┼
}

class CaseMappingTest : public ::testing::TestWithParam<const BuildConfig*> {};

// Both sets follow Unicode's case mapping, except that 866 leaves Є Ї Ў
// and their lower-case letters alone.
TEST_P(CaseMappingTest, FollowsUnicodeInTheBuildsSet) {
  const BuildConfig& b = *GetParam();
  SelectBuild(b);
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
  ASSERT_NE(utf8, locale_t(0));
  for (int i = 0; i < 256; ++i) {
    const uint8_t c = uint8_t(i);
    const wint_t u = wint_t(UnicodeOf(b.Set, c));
    int up = ByteOf(b.Set, char32_t(towupper_l(u, utf8)));
    int low = ByteOf(b.Set, char32_t(towlower_l(u, utf8)));
    if (!b.koi8r && c >= 0xF2 && c <= 0xF7) up = low = c;
    EXPECT_EQ(UpCaseChar(c), up < 0 ? c : up) << std::hex << i;
    EXPECT_EQ(LowCaseChar(c), low < 0 ? c : low) << std::hex << i;
  }
  freelocale(utf8);
  std::string s = ToSet(b.Set, "ёж Є z");
  UpCaseStr(s);
  EXPECT_EQ(FromSet(b.Set, s), b.koi8r ? "ЁЖ ? Z" : "ЁЖ Є Z");
  LowCaseStr(s);
  EXPECT_EQ(FromSet(b.Set, s), b.koi8r ? "ёж ? z" : "ёж Є z");
  SelectBuild(BuildKoi8Rkbd);
}

INSTANTIATE_TEST_SUITE_P(Builds, CaseMappingTest, ::testing::Values(&BuildKoi8, &Build866),
                         [](const auto& info) { return info.param->koi8r ? "Koi8" : "Cp866"; });

// Each Russian letter comes from the key that carries it on the ЙЦУКЕН
// layout, shifted for capitals; punctuation from the keys of the table.
TEST(RusKeyLayout, LatinKeysGiveTheRussianLetterOfTheirKey) {
  for (const BuildConfig* b : {&BuildKoi8, &Build866}) {
    SelectBuild(*b);
    SCOPED_TRACE(b->Name);
    for (char32_t u : RussianLetters()) {
      const bool capital = u < 0x430 || u == 0x401;
      const char32_t key = UsCharOfScan(ScanCodeOf(u), capital);
      ASSERT_NE(key, 0u);
      EXPECT_EQ(RusKey(uint8_t(key)), ByteOf(b->Set, u)) << Utf8Of(u);
    }
    EXPECT_EQ(RusKey('q'), b->koi8r ? 0xCA : 0xA9);  // й
    EXPECT_EQ(RusKey('#'), b->koi8r ? 0xBF : 0xFC);  // №, ©'s byte in KOI8-R
    EXPECT_EQ(FromSet(b->Set, std::string(1, char(RusKey('/')))), ".");
    EXPECT_EQ(FromSet(b->Set, std::string(1, char(RusKey('?')))), ",");
    EXPECT_EQ(FromSet(b->Set, std::string(1, char(RusKey('@')))), "\"");
    EXPECT_EQ(FromSet(b->Set, std::string(1, char(RusKey('&')))), "?");
    EXPECT_EQ(RusKey('1'), '1');
    EXPECT_EQ(RusKey(' '), ' ');
  }
  SelectBuild(BuildKoi8Rkbd);
}

class RecodeTest : public EditorTest {
 protected:
  void Use(const BuildConfig& b) {
    SelectBuild(b);
    ResetCodePageState();
  }
  void Text(std::initializer_list<std::string> lines) {
    ASSERT_TRUE(InitLineStore());
    for (const std::string& l : lines) ASSERT_TRUE(AppendLine(l, Txt.LineWidth));
  }
  // True when RecodeOnLoad asked: with no key scripted, a question ends
  // the run.
  bool Asks(int first, int last) {
    try {
      RecodeOnLoad(first, last, true);
    } catch (const InputLost&) {
      return true;
    }
    return false;
  }
  std::string Row1() {
    std::string s;
    for (int c = 1; c <= Scr.ScreenWidth; ++c) s += char(CellChar(CellAt(c, 1)));
    return s;
  }
  std::string Trimmed(int n) {
    std::string_view s = LineBytes(n);
    return std::string(s.substr(0, TrimmedLength(s)));
  }
};

TEST_F(RecodeTest, TheQuestionNeedsTwentyHighBytesAndAForeignLookingAverage) {
  struct Case {
    const BuildConfig* Build;
    std::string Bytes;
    bool Asked;
  } cases[] = {
      {&BuildKoi8, std::string(20, char(199)), true},
      {&BuildKoi8, std::string(20, char(200)), false},
      {&BuildKoi8, std::string(19, char(200)) + char(199), true},  // 3999 / 20 = 199
      {&BuildKoi8, std::string(19, char(0x80)), false},
      {&Build866, std::string(20, char(200)), true},
      {&Build866, std::string(19, char(200)) + char(199), false},
      {&Build866, std::string(19, char(0xF0)), false},
  };
  for (const Case& c : cases) {
    Use(*c.Build);
    ResetLineStore();
    Text({c.Bytes.substr(0, 10), "ascii only", c.Bytes.substr(10)});
    EXPECT_EQ(Asks(1, 3), c.Asked) << c.Build->Name << " " << c.Bytes.size() << " bytes";
  }
  // Only lines first..last count.
  Use(BuildKoi8);
  ResetLineStore();
  Text({std::string(10, char(0xA0)), std::string(10, char(0xA0))});
  EXPECT_FALSE(Asks(1, 1));
  EXPECT_FALSE(Asks(2, 2));
  EXPECT_TRUE(Asks(1, 2));
  EXPECT_EQ(Row1().substr(0, 25), " X = 160: recode FROM \x81 1");
}

TEST_F(RecodeTest, AnswersConvertEveryStoredByteAndSetTheDiskFlags) {
  Use(BuildKoi8);
  const std::string full(Txt.LineWidth, char(0x80));  // 866 А up to the stored length
  Text({full, "\xAF\xE0", "\x8F"});
  EXPECT_EQ(StoredLength(1), 254);
  Keys({0x0231});  // "1 - ASCII"
  RecodeOnLoad(1, 1, true);
  EXPECT_EQ(LineString(1), std::string(254, char(0xE1)));  // А in KOI8-R, to the last stored byte
  EXPECT_EQ(Trimmed(2), "\xD0\xD2");  // п р: the whole text, not only line 1
  EXPECT_EQ(Trimmed(3), "\xF0");
  EXPECT_EQ(StoredLength(2), 254);
  EXPECT_TRUE(DiskIs(Charset::Cp866));
  EXPECT_FALSE(DiskIs(Charset::Koi8));
  EXPECT_FALSE(DiskIs(Charset::Cp1251));
  EXPECT_FALSE(Txt.Modified);
  // Saving writes code page 866 again.
  std::string out;
  AppendLineForSave(out, 2);
  EXPECT_EQ(out, "\xAF\xE0\n");

  // Not a whole-text check: only first..last, and the flags stay.
  Use(BuildKoi8);
  ResetLineStore();
  Text({"x", std::string(20, char(0xC0)), "\xC0"});
  Keys({0x0332});  // "2 - ANSI"
  RecodeOnLoad(2, 2, false);
  EXPECT_EQ(Trimmed(2), std::string(20, char(0xE1)));
  EXPECT_EQ(Trimmed(3), "\xC0");
  EXPECT_TRUE(DiskIs(Charset::Koi8));
  EXPECT_FALSE(DiskIs(Charset::Cp1251));

  // Esc converts nothing.
  ResetLineStore();
  Text({std::string(20, char(0x80))});
  Keys({0x011B});
  RecodeOnLoad(1, 1, true);
  EXPECT_TRUE(Terminal.Script.empty());  // it was asked
  EXPECT_EQ(Trimmed(1), std::string(20, char(0x80)));
  EXPECT_TRUE(DiskIs(Charset::Koi8));
}

TEST_F(RecodeTest, CommandOverTheWholeTextChangesTheFlags) {
  Use(BuildKoi8);
  const std::string ansi = Iconv("UTF-8", "CP1251", "Привет, Ёж").value();
  Text({ansi, "\xC0"});
  Keys({0x0231});  // 1 - ANSI
  RecodeCommand();
  EXPECT_EQ(FromSet(Charset::Koi8, Trimmed(1)), "Привет, Ёж");
  EXPECT_TRUE(DiskIs(Charset::Cp1251));
  EXPECT_FALSE(DiskIs(Charset::Koi8));
  EXPECT_FALSE(Txt.Modified);
  EXPECT_EQ(TextForSave(), ansi + "\n\xC0\n");

  // In the ANSI state the question names ASCII and koi8-r, and converts
  // into 1251.
  EXPECT_THROW(RecodeCommand(), InputLost);
  EXPECT_NE(Row1().find("Recode from: \x81 1 - ASCII \x81 2 - koi8-r \x81"), std::string::npos);
  StoreLine("\x80", 2);
  Txt.Modified = false;
  Keys({0x0231});  // 1 - ASCII: 866 -> 1251
  RecodeCommand();
  EXPECT_EQ(Trimmed(2), "\xC0");
  EXPECT_TRUE(DiskIs(Charset::Cp866));
  EXPECT_FALSE(DiskIs(Charset::Cp1251));
}

TEST_F(RecodeTest, CommandOverABlockKeepsTheFlagsAndMarksTheTextModified) {
  Use(Build866);
  Text({"\xC1", "\xC1", "\xC1", "\xC1"});  // KOI8-R а
  Ed.BlockFirst = 2;
  Ed.BlockLast = 3;
  EXPECT_THROW(RecodeCommand(), InputLost);
  EXPECT_EQ(Row1().find("  Recode from: \xB3 1 - ANSI \xB3 2 - koi8-r \xB3"), 0u);
  Keys({0x0332});  // 2 - koi8-r
  RecodeCommand();
  EXPECT_EQ(Trimmed(1), "\xC1");
  EXPECT_EQ(Trimmed(2), "\xA0");
  EXPECT_EQ(Trimmed(3), "\xA0");
  EXPECT_EQ(Trimmed(4), "\xC1");
  EXPECT_TRUE(Txt.Modified);
  EXPECT_TRUE(DiskIs(Charset::Cp866));
  EXPECT_FALSE(DiskIs(Charset::Koi8));
}

TEST_F(RecodeTest, AModifiedTextWithoutABlockIsOfferedASaveFirst) {
  Use(BuildKoi8);
  std::string made = testing::TempDir() + "vesk-recode-XXXXXX";
  char* dir = made.data();
  ASSERT_NE(mkdtemp(dir), nullptr);
  Ed.FileName = std::string(dir) + "/t.txt";
  Text({"\x80"});
  Txt.Modified = true;

  Keys({0x0433});  // 3 - not to change: no second question
  RecodeCommand();
  EXPECT_EQ(Trimmed(1), "\x80");

  Keys({0x011B});  // Esc ends it too
  RecodeCommand();
  EXPECT_EQ(Trimmed(1), "\x80");

  Keys({0x0332, 0x011B});  // 2 goes on without saving; Esc at the second question
  RecodeCommand();
  EXPECT_EQ(Trimmed(1), "\x80");
  EXPECT_EQ(access(Ed.FileName.c_str(), F_OK), -1);

  Keys({0x0231, 0x0332});  // 1 saves, then 2 - ASCII
  RecodeCommand();
  EXPECT_EQ(Slurp(Ed.FileName), "\x80\n");
  EXPECT_EQ(Trimmed(1), "\xE1");
  EXPECT_TRUE(DiskIs(Charset::Cp866));
  unlink(Ed.FileName.c_str());
  rmdir(dir);
}

// Loading through the editor's start-up: the question, its answer, and a
// save that gives the file back byte for byte.
TEST(RecodeOnLoading, AForeignFileIsAskedAboutRecodedAndSavedBackUnchanged) {
  const std::string text =
      "Съешь же ещё этих мягких французских булок, да выпей чаю.\n"
      "ЁЖИК И ЁЛКА\n"
      "plain ASCII line\n"
      "\n"
      "ВДВ, ГБ: где еда?\n";
  // 1251 capitals from the start of the alphabet average below 200.
  const std::string capitals = "ВДВ, ГБ, АБВГД, ЁЁ ЕЁ АББА ДЕДА ЖЕЖА\nplain ASCII line\n\nАД БЕДА ВДВ ЁЖ\n";
  const char* bar = "\xE2\x94\x82";
  struct Case {
    const BuildConfig* Build;
    const char* Set;  // iconv name of the file's set
    std::string Utf8;
    const char* Keys;  // the answer
    std::string Prompt;
  } cases[] = {
      {&BuildKoi8, "CP866", text, "1", std::string(": recode FROM ") + bar + " 1 - ASCII " + bar + " 2 - ANSI " + bar},
      {&BuildKoi8, "CP1251", capitals, "2", ": recode FROM "},
      {&Build866, "KOI8-R", text, "1", std::string(": recode FROM ") + bar + " 1 - KOI8-R " + bar + " 2 - ANSI " + bar},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Build->Name) + " " + c.Set);
    const std::string file = Iconv("UTF-8", c.Set, c.Utf8).value();
    const long avg = HighAverage(file);
    ASSERT_EQ(avg >= 200, !c.Build->koi8r) << "the file must look foreign to the build: " << avg;

    RunOptions o;
    o.Build = c.Build;
    o.Raw = true;
    o.Text = file;
    const std::string prompt = " X = " + std::to_string(avg) + c.Prompt;
    EXPECT_EQ(Drive(o).Row(1).substr(0, prompt.size()), prompt);

    o.Keys = c.Keys;
    RunResult r = Drive(o);
    EXPECT_EQ(r.Row(1).find("recode"), std::string::npos) << r.Row(1);  // the question is over
    // The text is in the build's set now.
    std::string first(LineBytes(1));
    first.resize(TrimmedLength(first));
    EXPECT_EQ(FromSet(c.Build->Set, first), c.Utf8.substr(0, c.Utf8.find('\n')));
    EXPECT_FALSE(Txt.Modified);
    Txt.Modified = true;
    SaveFile();
    EXPECT_FALSE(Txt.Modified);
    EXPECT_EQ(r.FileContent(), file);
  }
  SelectBuild(BuildKoi8Rkbd);
}

TEST(RecodeOnLoading, NoQuestionForTheBuildsOwnSetFewHighBytesOrMinusP) {
  const std::string words = "Съешь же ещё этих мягких французских булок.";
  struct Case {
    const BuildConfig* Build;
    std::string Utf8;
    const char* Set;
    std::vector<std::string> Switches;
  } cases[] = {
      {&BuildKoi8, words, "KOI8-R", {"-w"}},
      {&Build866, words, "CP866", {"-w"}},
      {&BuildKoi8, "abc ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ", "CP866", {"-w"}},  // 19 bytes
      {&BuildKoi8, words, "CP866", {"-w", "-P"}},
  };
  for (const Case& c : cases) {
    RunOptions o;
    o.Build = c.Build;
    o.Raw = true;
    o.Text = Iconv("UTF-8", c.Set, c.Utf8 + "\n").value();
    o.Switches = c.Switches;
    RunResult r = Drive(o);
    EXPECT_EQ(r.Row(1).find("recode"), std::string::npos) << c.Build->Name << " " << c.Set << " " << c.Utf8;
    EXPECT_EQ(r.Lines.at(0), o.Text.substr(0, o.Text.size() - 1));
  }
  SelectBuild(BuildKoi8Rkbd);
}
