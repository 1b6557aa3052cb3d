// Block transforms: case and keyboard-layout conversions of a block or the
// word at the cursor, filling a rectangle, the sum over a rectangle, and the
// case of a word's first letter.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "blocks/transforms.h"
#include "builds/bindings.h"
#include "base/state.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "screen/term.h"
#include "support/driver.h"
#include "blocks/block_support.h"
#include "support/fixture.h"
#include "text/linestore.h"
#include "text/messages.h"

namespace {

constexpr uint32_t Esc = 0x011B;

// The characters of screen row `row`, columns from .. from + count - 1.
std::string RowText(int row, int from, int count) {
  std::string s;
  for (int c = from; c < from + count; ++c) s += char(CellChar(CellAt(c, row)));
  return s;
}

class TransformBase : public blocktest::BlockBase {
 protected:
  using BlockBase::BlockBase;
  static void Convert(Cmd which) {
    ConvertBlock(which == Cmd::BlockToUpper   ? Conversion::ToUpper
                 : which == Cmd::BlockToLower ? Conversion::ToLower
                 : which == Cmd::BlockLatinToCyrillic ? Conversion::LatinToCyrillic
                                                      : Conversion::CyrillicToLatin);
  }
  // The message a command leaves standing on row 2.
  static std::string Message(size_t length) { return RowText(2, 1, int(length)); }
};

class TransformTest : public TransformBase {};

class TransformBuildTest : public TransformBase, public ::testing::WithParamInterface<const BuildConfig*> {
 protected:
  TransformBuildTest() : TransformBase(*GetParam()) {}
};

}  // namespace

// ---- Case and layout conversions ----

TEST_P(TransformBuildTest, CaseOfALineBlockLeavesCharactersWithoutCase) {
  const std::string mixed = B("ёж Ъ abc 123 ─│┼ ;");
  Text({mixed, "untouched"});
  Lines(1, 1);
  Convert(Cmd::BlockToUpper);
  EXPECT_EQ(Line(1), B("ЁЖ Ъ ABC 123 ─│┼ ;"));
  EXPECT_TRUE(Txt.Modified);
  EXPECT_EQ(StoredLength(1), Txt.LineWidth);  // converted in place, blanks and all
  Convert(Cmd::BlockToLower);
  // The case sets hold the characters 0 to 254: KOI8-R's Ъ is 255 and stays.
  EXPECT_EQ(Line(1), GetParam()->koi8r ? B("ёж Ъ abc 123 ─│┼ ;") : B("ёж ъ abc 123 ─│┼ ;"));
  EXPECT_EQ(Line(2), "untouched");
}

TEST_P(TransformBuildTest, LatinKeysBecomeTheLettersOfTheRussianLayoutAndBack) {
  Text({"ghbdtn F<D", "Ctl"});
  Lines(1, 2);
  Convert(Cmd::BlockLatinToCyrillic);
  EXPECT_EQ(Line(1), B("привет АБВ"));
  EXPECT_EQ(Line(2), B("Сед"));
  Convert(Cmd::BlockCyrillicToLatin);
  EXPECT_EQ(Line(1), "ghbdtn F<D");
  EXPECT_EQ(Line(2), "Ctl");
}

TEST_P(TransformBuildTest, CyrillicToLatinTakesTheFirstPlaceOfACharacter) {
  // The number sign stands twice in the internal column: among the letters
  // of 866 (or in ©'s place in KOI8-R) and among the punctuation keys.  The
  // first place holds no Latin key, so it stays itself, not the '#' key.
  const uint8_t numberSign = GetParam()->koi8r ? 0xBF : 0xFC;
  Text({std::string(1, char(numberSign)) + "., "});
  Lines(1, 1);
  Convert(Cmd::BlockCyrillicToLatin);
  EXPECT_EQ(Line(1), std::string(1, char(numberSign)) + "/?");
  Convert(Cmd::BlockLatinToCyrillic);
  EXPECT_EQ(Line(1), std::string(1, char(numberSign)) + ".,");
}

TEST_P(TransformBuildTest, LettersAlreadyCyrillicStayLetters) {
  const std::string text = ToSet(GetParam()->Set, "ghbdtn привет");
  Text({text});
  Lines(1, 1);
  Convert(Cmd::BlockLatinToCyrillic);
  EXPECT_EQ(FromSet(GetParam()->Set, Line(1)), "привет привет");
  Convert(Cmd::BlockCyrillicToLatin);
  EXPECT_EQ(Line(1), "ghbdtn ghbdtn");
}

TEST_P(TransformBuildTest, WithoutABlockTheWordAtTheCursorIsConverted) {
  struct Case {
    const char* Name;
    int Col;
    const char* Want;  // UTF-8
  } cases[] = {
      {"cursor right after the word", 10, "ab привет cd"},
      {"cursor inside the word", 6, "ab привет cd"},
      {"cursor on its first letter", 4, "ab привет cd"},
      {"cursor on column 1", 1, "фи ghbdtn cd"},
      {"cursor on the last word", 12, "ab ghbdtn св"},
  };
  for (const Case& c : cases) {
    Text({"ab ghbdtn cd"});
    At(1, c.Col);
    Convert(Cmd::BlockLatinToCyrillic);
    EXPECT_EQ(Line(1), B(c.Want)) << c.Name;
    EXPECT_EQ(Ed.CurCol, c.Col) << c.Name;
    EXPECT_TRUE(Txt.Modified) << c.Name;
  }
  // Two blanks before the cursor: the word after the cursor.
  Text({"ab  cd"});
  At(1, 4);
  Convert(Cmd::BlockToUpper);
  EXPECT_EQ(Line(1), "ab  CD");
}

TEST_F(TransformTest, ARectangleConvertsItsColumnsWithinEachLine) {
  Exact({"abcdef", "ab", "abcdef"});
  Rect(1, 3, 2, 4);
  Convert(Cmd::BlockToUpper);
  EXPECT_EQ(LineString(1), "aBCDef");
  EXPECT_EQ(LineString(2), "aB");  // no column beyond the stored line is made
  EXPECT_EQ(LineString(3), "aBCDef");
  EXPECT_TRUE(Txt.Modified);
}

TEST_F(TransformTest, ABlockOnTheCursorLineAloneIsSavedForUndo) {
  Text({"abc", "def"});
  At(1, 2);
  Rect(1, 1, 1, 3);
  Convert(Cmd::BlockToUpper);
  EXPECT_EQ(Line(1), "ABC");
  RestoreLineAsOnEntry(1);
  EXPECT_EQ(Line(1), "abc");

  Ed.RectFirst = Ed.RectLast = 0;
  At(2, 1);
  Lines(2, 2);
  Convert(Cmd::BlockToUpper);
  RestoreLineAsOnEntry(2);
  EXPECT_EQ(Line(2), "def");
}

// ---- Fill ----

TEST_P(TransformBuildTest, FillWritesTheKeysCharacterIntoTheRectangle) {
  Exact({"abcdef", "ab", "abcdef", "abcdef"});
  Rect(1, 3, 2, 3);
  Keys({'*'});
  FillBlock();
  EXPECT_EQ(LineString(1), "a**def");
  EXPECT_EQ(LineString(2), "a*");
  EXPECT_EQ(LineString(3), "a**def");
  EXPECT_EQ(LineString(4), "abcdef");
  EXPECT_TRUE(Txt.Modified);

  // Whatever key it is: Esc gives the character 27.
  Keys({Esc});
  FillBlock();
  EXPECT_EQ(LineString(1), "a\x1b\x1b" "def");

  // With the Russian layout on, the key is taken as typed text is.
  Kbd.RusLayoutOn = true;
  Keys({'q'});
  FillBlock();
  EXPECT_EQ(LineString(3), "a" + B("йй") + "def");
}

TEST_F(TransformTest, FillAsksForTheCharacterOnTheMessageLine) {
  Text({"abc"});
  Rect(1, 1, 1, 2);
  EXPECT_THROW(FillBlock(), InputLost);  // no key: the prompt stands
  const std::string prompt = B("Введите символ заполнения: ");
  EXPECT_EQ(Message(prompt.size()), prompt);
  EXPECT_EQ(Line(1), "abc");
}

TEST_F(TransformTest, FillAndSumNeedARectangle) {
  const std::string none = B("Нет помеченного блока!");
  for (void (*command)() : {&FillBlock, &SumOverBlock}) {
    for (bool lineBlock : {false, true}) {
      Text({"12", "34"});
      if (lineBlock) Lines(1, 2);
      EXPECT_THROW(command(), InputLost);  // the message waits for a key
      EXPECT_EQ(Message(none.size()), none);
      EXPECT_EQ(Line(1), "12");
      EXPECT_FALSE(Txt.Modified);
    }
  }
}

// ---- Sum ----

TEST(TransformSum, FieldValues) {
  struct Case {
    const char* Field;
    int64_t Units;  // 1/100000
  } cases[] = {
      {"1,234.50", 123450000},  {"1.234,50", 123450000}, {"1234.5", 123450000},
      {"1,5", 150000},          {"1.5", 150000},         {" 42 ", 4200000},
      {"abc 12 xyz 7", 1200000}, {"0 x 5", 500000},       {"5-", -500000},
      {"-0.5", -50000},         {"0.123456", 12345},     {"", 0},
      {"1.", 100000},           {"x", 0},                {"1 2", 1200000},
      {"99999999999999", int64_t(2147483647) * 100000},
  };
  for (const Case& c : cases) {
    int64_t units = -1;
    EXPECT_TRUE(SumFieldValue(c.Field, units)) << c.Field;
    EXPECT_EQ(units, c.Units) << c.Field;
  }
  for (const char* bad : {"1,234,567", "1.2.3", "1..", ".5,5,"}) {
    int64_t units = 0;
    EXPECT_FALSE(SumFieldValue(bad, units)) << bad;
  }
}

TEST(TransformSum, TotalsAsShown) {
  EXPECT_EQ(SumText(10000), "0.1");
  EXPECT_EQ(SumText(80000), "0.8");
  EXPECT_EQ(SumText(-50000), "-0.5");
  EXPECT_EQ(SumText(500000), "5.");
  EXPECT_EQ(SumText(0), "0.");
  EXPECT_EQ(SumText(123450000), "1234.5");
  EXPECT_EQ(SumText(1), "0.00001");
  EXPECT_EQ(SumText(-100001), "-1.00001");
}

TEST_F(TransformTest, SumOverTheRectangleIsShownOnTheMessageLine) {
  struct Case {
    std::initializer_list<std::string> Lines;
    const char* Want;
  } cases[] = {
      {{"a 0.05 z", "b 0.05 z"}, "0.1"},
      {{"a 1.5  z", "b -0.7 z"}, "0.8"},
      {{"a -0.5 z"}, "-0.5"},
      {{"a 2    z", "b 3    z"}, "5."},
      {{"a 1,234.50", "b 1.234,50", "c 1234.5"}, "3703.5"},
      {{"a 7", "b", "c 1"}, "8."},  // a line without a number adds nothing
  };
  for (const Case& c : cases) {
    Text(c.Lines);
    Rect(1, int(c.Lines.size()), 3, 12);
    SumOverBlock();
    const std::string want = B("Сумма  по  блоку = ") + c.Want;
    EXPECT_EQ(Message(want.size() + 1), want + " ") << c.Want;
    EXPECT_FALSE(Txt.Modified);
  }
}

TEST_F(TransformTest, SumReportsAFieldWithTwoDecimalSeparators) {
  Text({"  1.5", "  1,234,567", "  2"});
  Rect(1, 3, 3, 11);
  EXPECT_THROW(SumOverBlock(), InputLost);  // the message waits for a key
  const std::string prefix = B("Некорректные данные для данной функции: ");
  EXPECT_EQ(Message(prefix.size()), prefix);
  // The field follows, then the bell (the message line blanks the cell
  // after each comma).
  EXPECT_EQ(RowText(2, int(prefix.size()) + 1, 10), "1, 34, 67\x07");
}

// ---- First letter of a word ----

TEST_P(TransformBuildTest, FirstLetterOfTheWordAtTheCursor) {
  struct Case {
    const char* Line;  // UTF-8
    int Col;
    bool Upper;
    const char* Want;
  } cases[] = {
      {"one two", 6, true, "one Two"},
      {"one two", 5, true, "one Two"},
      {"one two", 4, true, "One two"},  // a blank after a word belongs to it
      {"one two", 2, true, "One two"},
      {"x 12ab", 5, true, "x 12Ab"},    // digits have no case
      {"ёлка", 3, true, "Ёлка"},
      {"ЁЛКА", 1, false, "ёЛКА"},
      {"x 12 34", 4, true, "x 12 34"},  // nothing with a case follows
  };
  for (const Case& c : cases) {
    Text({B(c.Line)});
    At(1, c.Col);
    FirstLetterCase(c.Upper);
    EXPECT_EQ(Line(1), B(c.Want)) << c.Line << " at " << c.Col;
    EXPECT_EQ(Ed.CurCol, c.Col);
  }
}

TEST_F(TransformTest, FirstLetterIsSavedForUndo) {
  Text({"word"});
  At(1, 2);
  FirstLetterCase(true);
  EXPECT_EQ(Line(1), "Word");
  EXPECT_TRUE(Txt.Modified);
  RestoreLineAsOnEntry(1);
  EXPECT_EQ(Line(1), "word");
}

INSTANTIATE_TEST_SUITE_P(Transform, TransformBuildTest, ::testing::ValuesIn(AllBuilds()),
                         [](const auto& info) {
                           std::string n = info.param->Name;
                           for (char& ch : n)
                             if (ch == '-') ch = '_';
                           return n;
                         });
