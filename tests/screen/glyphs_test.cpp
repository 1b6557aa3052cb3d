#include "screen/glyphs.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <array>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::array<Charset, 3> kSets = {Charset::Koi8, Charset::Cp866, Charset::Cp1251};

const char* NameOf(Charset set) {
  switch (set) {
    case Charset::Koi8:
      return "KOI8-R";
    case Charset::Cp866:
      return "CP866";
    case Charset::Cp1251:
      return "CP1251";
  }
  return "?";
}

// The 66 letters of the Russian alphabet.
std::vector<char32_t> RussianLetters() {
  std::vector<char32_t> letters;
  for (char32_t u = U'А'; u <= U'я'; ++u) letters.push_back(u);
  letters.push_back(U'Ё');
  letters.push_back(U'ё');
  return letters;
}

// glibc's converters serve as an independent reference for the tables.
class IconvOracle {
 public:
  explicit IconvOracle(std::initializer_list<const char*> names) {
    for (const char* name : names) {
      cd_ = iconv_open("UTF-32LE", name);
      if (cd_ != reinterpret_cast<iconv_t>(-1)) return;
    }
  }
  ~IconvOracle() {
    if (ok()) iconv_close(cd_);
  }
  IconvOracle(const IconvOracle&) = delete;
  IconvOracle& operator=(const IconvOracle&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // The character of byte b, or -1 when the converter rejects the byte.
  int64_t Convert(uint8_t b) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char in[1] = {static_cast<char>(b)};
    unsigned char out[8] = {};
    char* inp = in;
    char* outp = reinterpret_cast<char*>(out);
    size_t inleft = 1, outleft = sizeof out;
    if (iconv(cd_, &inp, &inleft, &outp, &outleft) == static_cast<size_t>(-1)) return -1;
    if (sizeof out - outleft != 4) return -1;
    return out[0] | out[1] << 8 | out[2] << 16 | static_cast<int64_t>(out[3]) << 24;
  }

 private:
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
};

void CheckAgainstIconv(Charset set, std::initializer_list<const char*> names) {
  IconvOracle oracle(names);
  if (!oracle.ok()) GTEST_SKIP() << "iconv lacks " << NameOf(set);
  for (int b = 0; b < 256; ++b) {
    int64_t expected = oracle.Convert(static_cast<uint8_t>(b));
    if (expected < 0) expected = 0xFFFD;  // a byte the set leaves undefined
    EXPECT_EQ(static_cast<int64_t>(UnicodeOf(set, static_cast<uint8_t>(b))), expected)
        << NameOf(set) << " byte 0x" << std::hex << b;
  }
}

TEST(GlyphsTables, Koi8MatchesIconv) { CheckAgainstIconv(Charset::Koi8, {"KOI8-R"}); }
TEST(GlyphsTables, Cp866MatchesIconv) { CheckAgainstIconv(Charset::Cp866, {"CP866", "IBM866"}); }
TEST(GlyphsTables, Cp1251MatchesIconv) { CheckAgainstIconv(Charset::Cp1251, {"CP1251"}); }

TEST(GlyphsTables, OnlyCp1251HasAnUndefinedByte) {
  for (Charset set : kSets) {
    for (int b = 0; b < 256; ++b) {
      const bool undefined = set == Charset::Cp1251 && b == 0x98;
      EXPECT_EQ(UnicodeOf(set, static_cast<uint8_t>(b)) == 0xFFFD, undefined)
          << NameOf(set) << " byte 0x" << std::hex << b;
    }
  }
}

TEST(GlyphsByteOf, InvertsUnicodeOfOnEveryByte) {
  for (Charset set : kSets) {
    for (int b = 0; b < 256; ++b) {
      const char32_t u = UnicodeOf(set, static_cast<uint8_t>(b));
      if (u == 0xFFFD) continue;
      EXPECT_EQ(ByteOf(set, u), b) << NameOf(set) << " byte 0x" << std::hex << b;
    }
  }
}

TEST(GlyphsByteOf, AbsentCharactersGiveMinusOne) {
  // Each set lacks something the others have.
  EXPECT_EQ(ByteOf(Charset::Koi8, U'Є'), -1);
  EXPECT_EQ(ByteOf(Charset::Koi8, U'№'), -1);
  EXPECT_EQ(ByteOf(Charset::Cp866, U'≈'), -1);
  EXPECT_EQ(ByteOf(Charset::Cp866, U'©'), -1);
  EXPECT_EQ(ByteOf(Charset::Cp1251, U'─'), -1);
  EXPECT_EQ(ByteOf(Charset::Cp1251, U'∙'), -1);
  for (Charset set : kSets) {
    EXPECT_EQ(ByteOf(set, 0xFFFD), -1) << NameOf(set);
    EXPECT_EQ(ByteOf(set, U'ѣ'), -1) << NameOf(set);
    EXPECT_EQ(ByteOf(set, 0x80), -1) << NameOf(set);
    EXPECT_EQ(ByteOf(set, 0x10000 + U'а'), -1) << NameOf(set);  // must not wrap to 16 bits
    EXPECT_EQ(ByteOf(set, 0x10410), -1) << NameOf(set);
    EXPECT_EQ(ByteOf(set, 0x110000), -1) << NameOf(set);
    EXPECT_EQ(ByteOf(set, 0xFFFFFFFF), -1) << NameOf(set);
  }
}

TEST(GlyphsByteOf, AsciiAndControlsMapToThemselves) {
  for (Charset set : kSets) {
    for (char32_t u = 0; u < 0x80; ++u) EXPECT_EQ(ByteOf(set, u), static_cast<int>(u));
  }
}

TEST(GlyphsByteOf, RussianLettersExistInEverySet) {
  for (char32_t u : RussianLetters()) {
    for (Charset set : kSets) {
      const int b = ByteOf(set, u);
      ASSERT_GE(b, 0x80) << NameOf(set) << " U+" << std::hex << static_cast<uint32_t>(u);
      EXPECT_EQ(UnicodeOf(set, static_cast<uint8_t>(b)), u);
    }
  }
}

TEST(GlyphsByteOf, RecodingBetweenSetsRoundTrips) {
  // 866 -> KOI8-R -> 866 through Unicode, for every letter's 866 byte.
  for (char32_t letter : RussianLetters()) {
    const int b866 = ByteOf(Charset::Cp866, letter);
    ASSERT_GE(b866, 0);
    const char32_t u1 = UnicodeOf(Charset::Cp866, static_cast<uint8_t>(b866));
    const int koi = ByteOf(Charset::Koi8, u1);
    ASSERT_GE(koi, 0);
    const char32_t u2 = UnicodeOf(Charset::Koi8, static_cast<uint8_t>(koi));
    EXPECT_EQ(ByteOf(Charset::Cp866, u2), b866) << std::hex << b866;
  }
  // Every character both 8-bit sets share comes back to its byte too
  // (the box-drawing characters, nbsp, ° and the like).
  int shared = 0;
  for (int b = 0x80; b < 256; ++b) {
    const char32_t u = UnicodeOf(Charset::Koi8, static_cast<uint8_t>(b));
    const int other = ByteOf(Charset::Cp866, u);
    if (other < 0) continue;
    ++shared;
    EXPECT_EQ(ByteOf(Charset::Koi8, UnicodeOf(Charset::Cp866, static_cast<uint8_t>(other))), b);
  }
  EXPECT_GE(shared, 66 + 40);  // letters plus most of the box drawing
}

TEST(GlyphsGlyphOf, ControlBytesShowConsolePictures) {
  const std::u32string pictures = U"☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼";
  ASSERT_EQ(pictures.size(), 31u);
  for (Charset set : kSets) {
    EXPECT_EQ(GlyphOf(set, 0), U' ');
    for (size_t b = 1; b < 32; ++b)
      EXPECT_EQ(GlyphOf(set, static_cast<uint8_t>(b)), pictures[b - 1]) << "byte " << b;
    EXPECT_EQ(GlyphOf(set, 0x7F), U'⌂');
  }
}

TEST(GlyphsGlyphOf, PrintableBytesShowTheirCharacter) {
  for (Charset set : kSets) {
    for (int b = 0x20; b < 256; ++b) {
      if (b == 0x7F) continue;
      EXPECT_EQ(GlyphOf(set, static_cast<uint8_t>(b)), UnicodeOf(set, static_cast<uint8_t>(b)))
          << NameOf(set) << " byte 0x" << std::hex << b;
    }
  }
  EXPECT_EQ(GlyphOf(Charset::Cp1251, 0x98), 0xFFFDu);
  EXPECT_EQ(GlyphOf(Charset::Koi8, 0xC1), U'а');
  EXPECT_EQ(GlyphOf(Charset::Cp866, 0x80), U'А');
}

TEST(GlyphsGlyphOf, UnicodeOfKeepsControlCodes) {
  for (Charset set : kSets) {
    for (char32_t b = 0; b < 32; ++b) EXPECT_EQ(UnicodeOf(set, static_cast<uint8_t>(b)), b);
    EXPECT_EQ(UnicodeOf(set, 0x7F), 0x7Fu);
  }
}

// The Russian letters in the order of the US keys listed alongside.
constexpr std::u32string_view kRussianKeys = U"йцукенгшщзхъфывапролджэячсмитьбюё";
constexpr std::string_view kUsKeys = "qwertyuiop[]asdfghjkl;'zxcvbnm,.`";

TEST(GlyphsScanCode, AnchorsOfTheUsLayout) {
  const struct {
    char32_t u;
    uint8_t scan;
  } cases[] = {
      {U'1', 0x02}, {U'!', 0x02}, {U'0', 0x0B}, {U')', 0x0B}, {U'-', 0x0C}, {U'_', 0x0C},
      {U'=', 0x0D}, {U'+', 0x0D}, {U'q', 0x10}, {U'Q', 0x10}, {U'p', 0x19}, {U'[', 0x1A},
      {U'{', 0x1A}, {U'}', 0x1B}, {U'a', 0x1E}, {U'A', 0x1E}, {U'l', 0x26}, {U':', 0x27},
      {U'"', 0x28}, {U'`', 0x29}, {U'~', 0x29}, {U'\\', 0x2B}, {U'|', 0x2B}, {U'z', 0x2C},
      {U'M', 0x32}, {U'<', 0x33}, {U'>', 0x34}, {U'/', 0x35}, {U'?', 0x35}, {U' ', 0x39},
      {U'й', 0x10}, {U'Й', 0x10}, {U'Ж', 0x27}, {U'э', 0x28}, {U'ё', 0x29}, {U'Ё', 0x29},
      {U'х', 0x1A}, {U'Ъ', 0x1B}, {U'я', 0x2C}, {U'Б', 0x33}, {U'ю', 0x34},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ScanCodeOf(c.u), c.scan) << "U+" << std::hex << static_cast<uint32_t>(c.u);
}

TEST(GlyphsScanCode, RussianLettersShareTheUsKeys) {
  ASSERT_EQ(kRussianKeys.size(), kUsKeys.size());
  std::set<uint8_t> scans;
  for (size_t k = 0; k < kRussianKeys.size(); ++k) {
    const char32_t lower = kRussianKeys[k];
    const char32_t upper = lower == U'ё' ? U'Ё' : lower - 0x20;
    const uint8_t us = ScanCodeOf(static_cast<unsigned char>(kUsKeys[k]));
    ASSERT_NE(us, 0) << kUsKeys[k];
    EXPECT_EQ(ScanCodeOf(lower), us) << "key " << kUsKeys[k];
    EXPECT_EQ(ScanCodeOf(upper), us) << "key " << kUsKeys[k];
    scans.insert(us);
  }
  EXPECT_EQ(scans.size(), 33u);  // one key per letter
  for (char32_t u : RussianLetters()) EXPECT_NE(ScanCodeOf(u), 0) << std::hex << static_cast<uint32_t>(u);
}

TEST(GlyphsScanCode, NoKeyForOtherCharacters) {
  const char32_t none[] = {0,      U'\t',   U'\r',   0x1B,    0x7F,    U'Є', U'є', U'Ї', U'ї',
                           U'Ў',   U'ў',    U'І',    U'ѣ',    U'№',    U'─', U'°', 0xA0, 0x3FF,
                           0x460,  0xFFFD,  0x10410, 0x110000, 0xFFFFFFFF};
  for (char32_t u : none) EXPECT_EQ(ScanCodeOf(u), 0) << std::hex << static_cast<uint32_t>(u);
}

TEST(GlyphsScanCode, UsCharOfScanInvertsScanCodeOf) {
  for (char32_t c = 0x20; c < 0x7F; ++c) {
    const uint8_t scan = ScanCodeOf(c);
    ASSERT_NE(scan, 0) << static_cast<char>(c);
    const bool shifted = UsCharOfScan(scan, true) == c;
    EXPECT_TRUE(shifted || UsCharOfScan(scan, false) == c) << static_cast<char>(c);
  }
  // And the other way: whatever a key types leads back to that key.
  int keys = 0;
  for (int scan = 0; scan < 256; ++scan) {
    for (bool shifted : {false, true}) {
      const char32_t c = UsCharOfScan(static_cast<uint8_t>(scan), shifted);
      if (c == 0) continue;
      EXPECT_EQ(ScanCodeOf(c), scan) << std::hex << scan;
      if (!shifted) ++keys;
    }
  }
  EXPECT_EQ(keys, 48);  // 47 character keys and the space bar
}

TEST(GlyphsScanCode, UsCharOfScanShiftsTheRightCharacters) {
  EXPECT_EQ(UsCharOfScan(0x02, false), U'1');
  EXPECT_EQ(UsCharOfScan(0x02, true), U'!');
  EXPECT_EQ(UsCharOfScan(0x1E, false), U'a');
  EXPECT_EQ(UsCharOfScan(0x1E, true), U'A');
  EXPECT_EQ(UsCharOfScan(0x28, true), U'"');
  EXPECT_EQ(UsCharOfScan(0x39, false), U' ');
  EXPECT_EQ(UsCharOfScan(0x39, true), U' ');
  for (uint8_t scan : {0x00, 0x01, 0x0E, 0x0F, 0x1C, 0x1D, 0x2A, 0x36, 0x3A, 0x80, 0xFF}) {
    EXPECT_EQ(UsCharOfScan(scan, false), 0u) << std::hex << +scan;
    EXPECT_EQ(UsCharOfScan(scan, true), 0u) << std::hex << +scan;
  }
}

TEST(GlyphsUtf8, EncodesEachLength) {
  EXPECT_EQ(Utf8Of(0), std::string(1, '\0'));
  EXPECT_EQ(Utf8Of(0x7F), "\x7F");
  EXPECT_EQ(Utf8Of(0x80), "\xC2\x80");
  EXPECT_EQ(Utf8Of(U'я'), "\xD1\x8F");
  EXPECT_EQ(Utf8Of(0x7FF), "\xDF\xBF");
  EXPECT_EQ(Utf8Of(0x800), "\xE0\xA0\x80");
  EXPECT_EQ(Utf8Of(U'─'), "\xE2\x94\x80");
  EXPECT_EQ(Utf8Of(0xFFFF), "\xEF\xBF\xBF");
  EXPECT_EQ(Utf8Of(0x10000), "\xF0\x90\x80\x80");
  EXPECT_EQ(Utf8Of(0x10FFFF), "\xF4\x8F\xBF\xBF");
  // No UTF-8 form: replacement character.
  EXPECT_EQ(Utf8Of(0xD800), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8Of(0xDFFF), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8Of(0x110000), "\xEF\xBF\xBD");
}

TEST(GlyphsUtf8, DecodesWhatItEncodes) {
  for (char32_t u = 0; u <= 0x10FFFF; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    const std::string s = Utf8Of(u);
    size_t i = 0;
    ASSERT_EQ(DecodeUtf8(s, i), static_cast<int32_t>(u)) << std::hex << static_cast<uint32_t>(u);
    ASSERT_EQ(i, s.size());
  }
}

TEST(GlyphsUtf8, WalksAMixedString) {
  const std::string s = "a\xD0\x96\xE2\x95\x90\xF0\x9F\x98\x80z";  // a Ж ═ 😀 z
  const int32_t expected[] = {'a', 0x416, 0x2550, 0x1F600, 'z'};
  size_t i = 0;
  for (int32_t e : expected) EXPECT_EQ(DecodeUtf8(s, i), e);
  EXPECT_EQ(i, s.size());
  EXPECT_EQ(DecodeUtf8(s, i), -1);  // nothing left
  EXPECT_EQ(i, s.size());
}

TEST(GlyphsUtf8, TruncatedSequencesWaitForMore) {
  for (const std::string full : {"\xD0\x96", "\xE2\x95\x90", "\xE0\xA0\x80", "\xED\x9F\xBF",
                                 "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF"}) {
    for (size_t n = 1; n < full.size(); ++n) {
      const std::string s = "x" + full.substr(0, n);
      size_t i = 1;
      EXPECT_EQ(DecodeUtf8(s, i), -1) << "prefix " << n << " of " << full.size();
      EXPECT_EQ(i, 1u);
    }
  }
  std::string_view empty;
  size_t i = 0;
  EXPECT_EQ(DecodeUtf8(empty, i), -1);
  EXPECT_EQ(i, 0u);
}

TEST(GlyphsUtf8, MalformedBytesGiveReplacementOneByteAtATime) {
  const char* cases[] = {
      "\x80",              // lone continuation
      "\xBF",              //
      "\xC0\x80",          // overlong NUL
      "\xC1\xBF",          // overlong 7F
      "\xE0\x80\x80",      // overlong 3-byte
      "\xE0\x9F\xBF",      //
      "\xED\xA0\x80",      // surrogate D800
      "\xED\xBF\xBF",      // surrogate DFFF
      "\xF0\x80\x80\x80",  // overlong 4-byte
      "\xF0\x8F\xBF\xBF",  //
      "\xF4\x90\x80\x80",  // past U+10FFFF
      "\xF5\x80\x80\x80",  // lead bytes that never occur
      "\xF8\x88\x80\x80",
      "\xFF",
      "\xC3" "A",          // lead byte followed by no continuation
      "\xE2\x95" "A",      // continuation missing in the middle
      "\xF0\x9F\x98" "A",
      "\xE0\x80",          // invalid even though cut short
      "\xF4\x90",
  };
  for (const char* c : cases) {
    const std::string s = c;
    size_t i = 0;
    EXPECT_EQ(DecodeUtf8(s, i), 0xFFFD) << "case " << std::hex << +static_cast<uint8_t>(s[0])
                                        << " len " << s.size();
    EXPECT_EQ(i, 1u);
  }
  // Decoding resumes right after the bad byte.
  const std::string s = "\xE2\x95" "A";
  size_t i = 0;
  EXPECT_EQ(DecodeUtf8(s, i), 0xFFFD);
  EXPECT_EQ(DecodeUtf8(s, i), 0xFFFD);  // the stray continuation 0x95
  EXPECT_EQ(DecodeUtf8(s, i), 'A');
}

}  // namespace
