#include "text/codepage.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/limits.h"
#include "builds/build.h"
#include "base/state.h"
#include "screen/glyphs.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/questions.h"
#include "text/savefile.h"
#include "text/utf8blocks.h"

// The columns, one row of the table per line of code.
constexpr std::array<uint8_t, 136> Cp866Column = {
    0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F,  // 1..16
    0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F,  // 17..32
    0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF,  // 33..48
    0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,  // 49..64
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,  // 65..80
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,  // 81..96
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,  // 97..112
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,  // 113..128
    '.',  ',',  '/',  '"',  0xFC, ';',  ':',  '?',                                                   // 129..136
};

// KOI8-R images of the 866 column.  866 Є є Ї ї Ў ў № ¤ (0xF2..0xF7, 0xFC,
// 0xFD), missing from KOI8-R, take ⌠ ⌡ ≈ ≤ ≥ ÷ © ², which 866 lacks.
constexpr std::array<uint8_t, 136> Koi8Column = {
    0xE1, 0xE2, 0xF7, 0xE7, 0xE4, 0xE5, 0xF6, 0xFA, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF, 0xF0,  // А..П
    0xF2, 0xF3, 0xF4, 0xF5, 0xE6, 0xE8, 0xE3, 0xFE, 0xFB, 0xFD, 0xFF, 0xF9, 0xF8, 0xFC, 0xE0, 0xF1,  // Р..Я
    0xC1, 0xC2, 0xD7, 0xC7, 0xC4, 0xC5, 0xD6, 0xDA, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF, 0xD0,  // а..п
    0x90, 0x91, 0x92, 0x81, 0x87, 0xB2, 0xB4, 0xA7, 0xA6, 0xB5, 0xA1, 0xA8, 0xAE, 0xAD, 0xAC, 0x83,  // ░..┐
    0x84, 0x89, 0x88, 0x86, 0x80, 0x8A, 0xAF, 0xB0, 0xAB, 0xA5, 0xBB, 0xB8, 0xB1, 0xA0, 0xBE, 0xB9,  // └..╧
    0xBA, 0xB6, 0xB7, 0xAA, 0xA9, 0xA2, 0xA4, 0xBD, 0xBC, 0x85, 0x82, 0x8D, 0x8C, 0x8E, 0x8F, 0x8B,  // ╨..▀
    0xD2, 0xD3, 0xD4, 0xD5, 0xC6, 0xC8, 0xC3, 0xDE, 0xDB, 0xDD, 0xDF, 0xD9, 0xD8, 0xDC, 0xC0, 0xD1,  // р..я
    0xB3, 0xA3, 0x93, 0x9B, 0x97, 0x98, 0x99, 0x9F, 0x9C, 0x95, 0x9E, 0x96, 0xBF, 0x9D, 0x94, 0x9A,  // Ё..nbsp
    '.',  ',',  '/',  '"',  0xBF, ';',  ':',  '?',                                                   // 129..136
};

constexpr std::array<uint8_t, 136> KeyLayout = {
    'F',  '<',  'D',  'U',  'L',  'T',  ':',  'P',  'B',  'Q',  'R',  'K',  'V',  'Y',  'J',  'G',   // А..П
    'H',  'C',  'N',  'E',  'A',  '{',  'W',  'X',  'I',  'O',  '}',  'S',  'M',  '"',  '>',  'Z',   // Р..Я
    'f',  ',',  'd',  'u',  'l',  't',  ';',  'p',  'b',  'q',  'r',  'k',  'v',  'y',  'j',  'g',   // а..п
    0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,  // 49..64
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,  // 65..80
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,  // 81..96
    'h',  'c',  'n',  'e',  'a',  '[',  'w',  'x',  'i',  'o',  ']',  's',  'm',  '\'', '.',  'z',   // р..я
    '~',  '`',  0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,  // Ё ё ...
    '/',  '?',  '|',  '@',  '#',  '$',  '^',  '&',                                                   // . , / " № ; : ?
};

CodePageState CodePage;

namespace {

// Every conversion is a 256-byte lookup built at compile time from the
// columns and rules, so converting a line costs one load per byte.
using ByteMap = std::array<uint8_t, 256>;
using Column = std::array<uint8_t, 136>;

constexpr ByteMap Identity() {
  ByteMap m{};
  for (int b = 0; b < 256; ++b) m[size_t(b)] = uint8_t(b);
  return m;
}

// Element of the first place of b in col, or -1.
constexpr int PlaceIn(const Column& col, uint8_t b) {
  for (size_t i = 0; i < col.size(); ++i)
    if (col[i] == b) return int(i);
  return -1;
}

// The upper half through `from` -> `to` by first place; the lower half
// stays (the punctuation rows at the end only matter to RusKey).
constexpr ByteMap Across(const Column& from, const Column& to) {
  ByteMap m = Identity();
  for (int b = 0x80; b < 256; ++b) {
    int p = PlaceIn(from, uint8_t(b));
    if (p >= 0) m[size_t(b)] = to[size_t(p)];
  }
  return m;
}

constexpr ByteMap MakeCp866ToCp1251() {
  ByteMap m = Identity();
  for (int b = 0x80; b <= 0xAF; ++b) m[size_t(b)] = uint8_t(b + 0x40);  // А..п
  for (int b = 0xE0; b <= 0xEF; ++b) m[size_t(b)] = uint8_t(b + 0x10);  // р..я
  m[0xF0] = 0xA8;                                                       // Ё
  m[0xF1] = 0xB8;                                                       // ё
  // Box drawing: a vertical stroke through the cell or at its side becomes
  // the broken bar, everything else a minus; the shades and blocks stay.
  for (int b = 0xB3; b <= 0xDA; ++b) m[size_t(b)] = '-';
  for (int b : {0xB3, 0xB4, 0xB5, 0xB6, 0xB9, 0xBA, 0xC3, 0xC6, 0xC7, 0xCC}) m[size_t(b)] = 0xA6;
  return m;
}

constexpr ByteMap MakeCp1251ToCp866() {
  ByteMap m = Identity();
  for (int b = 0xC0; b <= 0xEF; ++b) m[size_t(b)] = uint8_t(b - 0x40);
  for (int b = 0xF0; b <= 0xFF; ++b) m[size_t(b)] = uint8_t(b - 0x10);
  m[0xA8] = 0xF0;  // Ё
  m[0xB8] = 0xF1;  // ё
  m[0xB9] = 0xFC;  // №
  m[0xA6] = 0xB3;  // ¦ -> │
  m[0xAC] = 0xBF;  // ¬ -> ┐
  m[0x86] = 0xC5;  // † -> ┼
  return m;
}

constexpr ByteMap Then(const ByteMap& first, const ByteMap& second) {
  ByteMap m{};
  for (size_t b = 0; b < 256; ++b) m[b] = second[first[b]];
  return m;
}

constexpr ByteMap kCp866ToKoi8 = Across(Cp866Column, Koi8Column);
constexpr ByteMap kKoi8ToCp866 = Across(Koi8Column, Cp866Column);
constexpr ByteMap kCp866ToCp1251 = MakeCp866ToCp1251();
constexpr ByteMap kCp1251ToCp866 = MakeCp1251ToCp866();
constexpr ByteMap kCp1251ToKoi8 = Then(kCp1251ToCp866, kCp866ToKoi8);
constexpr ByteMap kKoi8ToCp1251 = Then(kKoi8ToCp866, kCp866ToCp1251);
constexpr ByteMap kIdentity = Identity();

// RusKey: a Latin key's byte through its first place in KeyLayout.  Bytes
// from 0x80 on are already letters of the set (today's terminals send
// Cyrillic themselves) and stay as they are; KeyLayout lists some of them
// only to fill its columns.
constexpr ByteMap MakeRusKey(const Column& internal) {
  ByteMap m = Identity();
  for (int b = 0; b < 0x80; ++b) {
    int p = PlaceIn(KeyLayout, uint8_t(b));
    if (p >= 0) m[size_t(b)] = internal[size_t(p)];
  }
  return m;
}
constexpr ByteMap kRusKeyKoi8 = MakeRusKey(Koi8Column);
constexpr ByteMap kRusKey866 = MakeRusKey(Cp866Column);

constexpr ByteMap MakeUpper(bool koi8) {
  ByteMap m = Identity();
  for (int b = 'a'; b <= 'z'; ++b) m[size_t(b)] = uint8_t(b - 0x20);
  if (koi8) {
    for (int b = 0xC0; b <= 0xDF; ++b) m[size_t(b)] = uint8_t(b + 0x20);
    m[0xA3] = 0xB3;
  } else {
    for (int b = 0xA0; b <= 0xAF; ++b) m[size_t(b)] = uint8_t(b - 0x20);
    for (int b = 0xE0; b <= 0xEF; ++b) m[size_t(b)] = uint8_t(b - 0x50);
    m[0xF1] = 0xF0;
  }
  return m;
}

// The inverse of the upper-case map on the letters it moves.
constexpr ByteMap MakeLower(bool koi8) {
  const ByteMap up = MakeUpper(koi8);
  ByteMap m = Identity();
  for (size_t b = 0; b < 256; ++b)
    if (up[b] != b) m[up[b]] = uint8_t(b);
  return m;
}
constexpr ByteMap kUpperKoi8 = MakeUpper(true), kLowerKoi8 = MakeLower(true);
constexpr ByteMap kUpper866 = MakeUpper(false), kLower866 = MakeLower(false);

bool Koi8Build() { return CurrentBuild().koi8r; }

// The save conversion of the current state.
const ByteMap& DiskMap() {
  if (DiskIs(Charset::Cp1251)) return Koi8Build() ? kKoi8ToCp1251 : kCp866ToCp1251;
  if (DiskIs(Koi8Build() ? Charset::Cp866 : Charset::Koi8)) return Koi8Build() ? kKoi8ToCp866 : kCp866ToKoi8;
  return kIdentity;
}

// Every stored byte of lines first..last, trailing blanks included, in
// place: the stored length never changes.
void RecodeLines(int first, int last, const ByteMap& map) {
  first = std::max(first, 1);
  last = std::min<int>({last, Txt.LineCount, int(Txt.LineTable.size()) - 1});
  for (int n = first; n <= last; ++n) MapLineBytes(n, map);
}

int AskRecode(const std::string& question) {
  Q.AskSelection = 1;
  return Ask(question, "", 0x3F, 0x2F, 0x5F, 0x0D);
}

// UTF-8 of the internal set.  Characters below U+0800 (the Cyrillic block,
// Latin-1) go through a table indexed by the character; the rest (box
// drawing, ≈, №) through the sorted reverse table of the glyphs.
struct SmallReverse {
  std::array<int16_t, 0x800> Byte{};
};

SmallReverse MakeSmallReverse(Charset set) {
  SmallReverse r;
  r.Byte.fill(-1);
  for (int b = 0; b < 256; ++b) {
    char32_t u = UnicodeOf(set, uint8_t(b));
    if (u < 0x800) r.Byte[u] = int16_t(b);
  }
  return r;
}

const SmallReverse& SmallReverseOf(Charset set) {
  static const SmallReverse koi8 = MakeSmallReverse(Charset::Koi8);
  static const SmallReverse cp866 = MakeSmallReverse(Charset::Cp866);
  static const SmallReverse cp1251 = MakeSmallReverse(Charset::Cp1251);
  return set == Charset::Koi8 ? koi8 : set == Charset::Cp866 ? cp866 : cp1251;
}

// The two-byte sequences of the set, indexed by their two bytes: the byte
// of the set, or -1 for a pair that is not such a sequence.  Most Cyrillic
// text is made of them, so converting it costs one look-up per letter.
struct PairTable {
  std::array<int16_t, 65536> Byte{};
};

std::unique_ptr<PairTable> MakePairTable(Charset set) {
  auto t = std::make_unique<PairTable>();
  t->Byte.fill(-1);
  const SmallReverse& small = SmallReverseOf(set);
  for (char32_t u = 0x80; u < 0x800; ++u)
    if (small.Byte[u] >= 0) t->Byte[size_t(0xC0 | (u >> 6)) << 8 | size_t(0x80 | (u & 0x3F))] = small.Byte[u];
  return t;
}

const PairTable& PairTableOf(Charset set) {
  if (set == Charset::Koi8) {
    static const std::unique_ptr<PairTable> koi8 = MakePairTable(Charset::Koi8);
    return *koi8;
  }
  static const std::unique_ptr<PairTable> cp866 = MakePairTable(Charset::Cp866);
  return *cp866;
}

// The byte of the set for u, or -1.
inline int SetByte(Charset set, const SmallReverse& small, char32_t u) {
  return u < 0x800 ? small.Byte[u] : ByteOf(set, u);
}

// UTF-8 of the set's bytes: the bytes in the low three bytes, their count
// in the top one, so that one four-byte copy writes any of them.
struct Utf8Tables {
  std::array<uint32_t, 256> Encoded{};
  // For the block conversions (text/utf8blocks.h): the two bytes of the
  // bytes 0x80..0xFF (lead 0 where three are needed), and the set's bytes of
  // U+0400..U+047F by the lead's low bit and the continuation's six (0
  // where the set lacks the character).
  alignas(64) std::array<uint8_t, 128> Lead{};
  alignas(64) std::array<uint8_t, 128> Cont{};
  alignas(64) std::array<uint8_t, 128> FromCyrillic{};
};

Utf8Tables MakeUtf8Tables(Charset set) {
  Utf8Tables t;
  for (int b = 0; b < 256; ++b) {
    std::string u = Utf8Of(UnicodeOf(set, uint8_t(b)));
    u.resize(std::min<size_t>(u.size(), 3));
    uint32_t e = uint32_t(u.size()) << 24;
    for (size_t k = 0; k < u.size(); ++k) e |= uint32_t(uint8_t(u[k])) << (8 * k);
    t.Encoded[size_t(b)] = e;
    if (b >= 0x80 && u.size() == 2) {
      t.Lead[size_t(b - 0x80)] = uint8_t(u[0]);
      t.Cont[size_t(b - 0x80)] = uint8_t(u[1]);
    }
  }
  const SmallReverse& small = SmallReverseOf(set);
  for (size_t k = 0; k < 128; ++k) {
    const int b = small.Byte[0x400 + k];
    if (b >= 0x80) t.FromCyrillic[k] = uint8_t(b);
  }
  return t;
}

const Utf8Tables& Utf8TablesOf(Charset set) {
  static const Utf8Tables koi8 = MakeUtf8Tables(Charset::Koi8);
  static const Utf8Tables cp866 = MakeUtf8Tables(Charset::Cp866);
  return set == Charset::Koi8 ? koi8 : cp866;
}

constexpr char32_t kBom = 0xFEFF;
constexpr std::string_view kBomBytes = "\xEF\xBB\xBF";

// What one line of UTF-8 holds: 0 nothing the set lacks, 1 a character the
// set lacks, 2 bytes that are not UTF-8.  A byte-order mark at the start
// counts as nothing when `atStart`.
int Utf8LineProblem(std::string_view s, bool atStart) {
  const Charset set = CurrentBuild().Set;
  const SmallReverse& small = SmallReverseOf(set);
  int problem = 0;
  size_t i = 0;
  while (i < s.size()) {
    if (uint8_t(s[i]) < 0x80) {
      ++i;
      continue;
    }
    const size_t at = i;
    const int32_t u = DecodeUtf8(s, i);
    if (u < 0 || (u == 0xFFFD && i - at == 1)) return 2;
    if (u == char32_t(kBom) && at == 0 && atStart) continue;
    if (SetByte(set, small, char32_t(u)) < 0) problem = 1;
  }
  return problem;
}

// Bytes of a line without its trailing blanks and NUL bytes, as saved.
std::string_view SavedPart(std::string_view s) {
  size_t len = s.size();
  while (len > 0 && (s[len - 1] == ' ' || s[len - 1] == '\0')) --len;
  return s.substr(0, len);
}

// The recode command's UTF-8 answer outside the UTF-8 state: lines
// first..last taken as UTF-8 into the internal set and then into the set
// the state names.  Refused, with the line, when a character is missing.
bool DecodeLines(int first, int last, bool whole) {
  for (int n = first; n <= last; ++n) {
    const int problem = Utf8LineProblem(LineBytes(n), whole && n == 1);
    if (problem == 0) continue;
    Utf8Verdict v;
    v.Form = problem == 1 ? Utf8Verdict::Foreign : Utf8Verdict::Broken;
    v.Line = n;
    ReportUnconverted(v, "текст не перекодирован");
    return false;
  }
  const ByteMap& toState = DiskMap();
  for (int n = first; n <= last; ++n) {
    std::string_view s = LineBytes(n);
    if (whole && n == 1 && s.substr(0, kBomBytes.size()) == kBomBytes) CodePage.Utf8Bom = 1;
    StoreLine(Utf8ToInternal(s, whole && n == 1), n);
  }
  RecodeLines(first, last, toState);
  return true;
}

// The recode command in the UTF-8 state: lines first..last through `map`
// into the internal set and then into UTF-8 bytes (the byte-order mark of
// the file, if any, before the first line of the whole text).  Refused when
// a line would pass 255 bytes.
bool EncodeLines(int first, int last, const ByteMap& map, bool whole) {
  std::vector<std::string> out;
  out.reserve(size_t(std::max(last - first + 1, 0)));
  for (int n = first; n <= last; ++n) {
    std::string s(SavedPart(LineBytes(n)));
    for (char& c : s) c = char(map[uint8_t(c)]);
    std::string u = (whole && n == 1 && CodePage.Utf8Bom ? std::string(kBomBytes) : std::string()) + InternalToUtf8(s);
    if (u.size() > size_t(MaxLineBytes)) {
      ShowMessage(InBuildSet("Строка " + std::to_string(n) + ": длиннее 255 байт в UTF-8; текст не перекодирован"), 1);
      return false;
    }
    out.push_back(std::move(u));
  }
  for (int n = first; n <= last; ++n) StoreLine(out[size_t(n - first)], n);
  return true;
}

}  // namespace

uint8_t Cp866ToKoi8(uint8_t b) { return kCp866ToKoi8[b]; }
uint8_t Koi8ToCp866(uint8_t b) { return kKoi8ToCp866[b]; }
uint8_t Cp866ToCp1251(uint8_t b) { return kCp866ToCp1251[b]; }
uint8_t Cp1251ToCp866(uint8_t b) { return kCp1251ToCp866[b]; }
uint8_t Cp1251ToKoi8(uint8_t b) { return kCp1251ToKoi8[b]; }
uint8_t Koi8ToCp1251(uint8_t b) { return kKoi8ToCp1251[b]; }

uint8_t UpCaseChar(uint8_t b) { return (Koi8Build() ? kUpperKoi8 : kUpper866)[b]; }
const uint8_t* UpCaseTable() { return (Koi8Build() ? kUpperKoi8 : kUpper866).data(); }
uint8_t LowCaseChar(uint8_t b) { return (Koi8Build() ? kLowerKoi8 : kLower866)[b]; }

void UpCaseStr(std::string& s) {
  const ByteMap& m = Koi8Build() ? kUpperKoi8 : kUpper866;
  for (char& c : s) c = char(m[uint8_t(c)]);
}

void LowCaseStr(std::string& s) {
  const ByteMap& m = Koi8Build() ? kLowerKoi8 : kLower866;
  for (char& c : s) c = char(m[uint8_t(c)]);
}

uint8_t RusKey(uint8_t b) { return (Koi8Build() ? kRusKeyKoi8 : kRusKey866)[b]; }

void ResetCodePageState() {
  CodePage = CodePageState{};
  CodePage.Disk = Koi8Build() ? Charset::Koi8 : Charset::Cp866;
}

uint8_t DiskByte(uint8_t b) { return DiskMap()[b]; }

void AppendForDisk(std::string& out, std::string_view bytes) {
  if (!CodePage.DiskUtf8) {
    const size_t start = out.size();
    out.append(bytes);
    RecodeForDisk(out, start);
    return;
  }
  // Through a buffer on the stack, 256 bytes at a time.
  char buf[Utf8Room(256)];
  for (size_t i = 0; i < bytes.size(); i += 256) {
    const size_t n = std::min<size_t>(bytes.size() - i, 256);
    out.append(buf, EncodeUtf8(bytes.data() + i, n, buf));
  }
}

size_t EncodeUtf8(const char* in, size_t n, char* out) {
  const Utf8Tables& t = Utf8TablesOf(CurrentBuild().Set);
  size_t i = 0, o = 0;
  for (;;) {
    if (UseUtf8Blocks != Utf8Blocks::Off) EncodeUtf8Blocks(in, n, out, i, o, t.Lead.data(), t.Cont.data());
    if (i >= n) return o;
    // What the blocks leave: 32 bytes, eight at a time, copied when they
    // are ASCII.
    const size_t stop = std::min(n, i + 32);
    for (; i + 8 <= stop; i += 8) {
      uint64_t w;
      std::memcpy(&w, in + i, 8);
      if ((w & 0x8080808080808080ull) == 0) {
        std::memcpy(out + o, &w, 8);
        o += 8;
        continue;
      }
      for (int k = 0; k < 8; ++k) {
        const uint32_t e = t.Encoded[uint8_t(w >> (8 * k))];
        std::memcpy(out + o, &e, 4);
        o += e >> 24;
      }
    }
    for (; i < stop; ++i) {
      const uint32_t e = t.Encoded[uint8_t(in[i])];
      std::memcpy(out + o, &e, 4);
      o += e >> 24;
    }
  }
}

std::string DiskPrefix() { return CodePage.DiskUtf8 && CodePage.Utf8Bom ? std::string(kBomBytes) : std::string(); }

void RecodeForDisk(std::string& s, size_t from) {
  if (CodePage.DiskUtf8) {
    if (from >= s.size()) return;
    const std::string rest = s.substr(from);
    s.resize(from);
    AppendForDisk(s, rest);
    return;
  }
  const ByteMap& m = DiskMap();
  if (&m == &kIdentity) return;
  for (size_t i = from; i < s.size(); ++i) s[i] = char(m[uint8_t(s[i])]);
}

void RecodeOnLoad(int first, int last, bool whole) {
  first = std::max(first, 1);
  last = std::min<int>(last, Txt.LineCount);
  long count = 0, sum = 0;
  for (int n = first; n <= last; ++n)
    for (char c : LineBytes(n))
      if (uint8_t(c) > 127) {
        ++count;
        sum += uint8_t(c);
      }
  if (count < 20) return;
  const long avg = sum / count;
  // Cyrillic in KOI8-R or 1251 averages high, in 866 low: only a text that
  // looks foreign to the build is worth the question.
  const bool koi8 = Koi8Build();
  if (koi8 ? avg >= 200 : avg < 200) return;
  const int answer = AskRecode(" X = " + std::to_string(avg) +
            (koi8 ? ": recode FROM | 1 - ASCII | 2 - ANSI | 3 or Esc - not to convert |"
                  : ": recode FROM | 1 - KOI8-R | 2 - ANSI | 3 or Esc - not to convert |"));
  const int end = whole ? int(Txt.LineCount) : last;
  if (answer == 1) RecodeLines(first, end, koi8 ? kCp866ToKoi8 : kKoi8ToCp866);
  else if (answer == 2) RecodeLines(first, end, koi8 ? kCp1251ToKoi8 : kCp1251ToCp866);
  else return;
  // A whole text recoded on its way in goes back out in the same set.
  if (first == 1 && end == Txt.LineCount) {
    const Charset foreign = koi8 ? Charset::Cp866 : Charset::Koi8;
    CodePage.Disk = answer == 1 ? foreign : Charset::Cp1251;
  }
}

void RecodeCommand() {
  const bool block = Ed.BlockFirst > 0;
  int first = 1, last = Txt.LineCount;
  if (block) {
    first = Ed.BlockFirst;
    last = Ed.BlockLast;
  } else if (Txt.Modified) {
    const int answer = AskRecode(" No line block marked - all file! To save it? |1 - yes|2 - no|3 - not to change|");
    if (answer == 1) SaveFile();
    else if (answer != 2) return;
  }

  const bool koi8 = Koi8Build();
  if (CodePage.DiskUtf8) {
    // The text becomes the UTF-8 bytes it is written as, and is written as
    // it is from then on: the file's bytes come back as they are on disk.
    // Only the internal set is offered: a text taken to be in another set
    // would be written through that set's conversion on top of UTF-8.
    if (AskRecode(koi8 ? "  Recode from: | 1 - koi8-r | 2 or Esc - not to change |"
                       : "  Recode from: | 1 - ASCII | 2 or Esc - not to change |") != 1)
      return;
    const ByteMap* map = &kIdentity;
    if (!EncodeLines(first, last, *map, !block)) return;
    if (block) {
      Txt.Modified = true;
    } else {
      CodePage.DiskUtf8 = false;
      CodePage.Utf8Bom = 0;
      CodePage.Disk = koi8 ? Charset::Koi8 : Charset::Cp866;
    }
    return;
  }

  // The answer names the set the text is taken to be in; the state names
  // the set it is converted into and becomes the named set.  Answer 4 takes
  // the text for UTF-8.
  Charset next1, next2;
  const ByteMap *map1, *map2;
  int answer;
  if (CodePage.Disk == Charset::Cp866) {
    answer = AskRecode("  Recode from: | 1 - ANSI | 2 - koi8-r | 3 or Esc - not to change | 4 - UTF-8 |");
    map1 = &kCp1251ToCp866, next1 = Charset::Cp1251;
    map2 = &kKoi8ToCp866, next2 = Charset::Koi8;
  } else if (CodePage.Disk == Charset::Koi8) {
    answer = AskRecode("  Recode from: | 1 - ANSI | 2 - ASCII | 3 or Esc - not to change | 4 - UTF-8 |");
    map1 = &kCp1251ToKoi8, next1 = Charset::Cp1251;
    map2 = &kCp866ToKoi8, next2 = Charset::Cp866;
  } else {
    answer = AskRecode("  Recode from: | 1 - ASCII | 2 - koi8-r | 3 or Esc - not to change | 4 - UTF-8 |");
    map1 = &kCp866ToCp1251, next1 = Charset::Cp866;
    map2 = &kKoi8ToCp1251, next2 = Charset::Koi8;
  }
  if (answer == 4) {
    if (!DecodeLines(first, last, !block)) return;
    if (block) {
      Txt.Modified = true;
    } else {
      CodePage.DiskUtf8 = true;
    }
    return;
  }
  if (answer != 1 && answer != 2) return;
  RecodeLines(first, last, answer == 1 ? *map1 : *map2);
  if (block) {
    Txt.Modified = true;
  } else {
    CodePage.Disk = answer == 1 ? next1 : next2;
  }
}

void Utf8Detector::Count(uint8_t c) {
  if (c == '\n') {
    if (!PrevCr) ++Line;
  } else if (c == '\r') {
    ++Line;
  }
  PrevCr = c == '\r';
}

void Utf8Detector::Feed(std::string_view s) {
  if (Invalid) return;
  const Charset set = CurrentBuild().Set;
  const SmallReverse& small = SmallReverseOf(set);
  size_t i = 0;
  // A sequence begun in the last chunk: completed with the first bytes of
  // this one.
  auto take = [&](int32_t u, long offset) {
    Multibyte = true;
    if (u == int32_t(kBom) && offset == 0) {
      Bom = true;
      return;
    }
    if (ForeignLine == 0 && SetByte(set, small, char32_t(u)) < 0) ForeignLine = Line;
  };
  if (!Carry.empty()) {
    const size_t had = Carry.size();
    std::string t = Carry;
    t.append(s.substr(0, 4));
    size_t k = 0;
    const int32_t u = DecodeUtf8(t, k);
    if (u < 0) {
      Carry = t;  // still cut (only when this chunk was tiny)
      Offset += long(s.size());
      return;
    }
    if (u == 0xFFFD && k == 1) {
      Invalid = true;
      InvalidLine = Line;
      return;
    }
    take(u, Offset - long(had));
    Carry.clear();
    i = k - had;
  }
  const size_t n = s.size();
  while (i < n) {
    const uint8_t c = uint8_t(s[i]);
    if (c < 0x80) {
      if (c <= '\r') Count(c);
      else PrevCr = false;
      ++i;
      continue;
    }
    PrevCr = false;
    const size_t at = i;
    const int32_t u = DecodeUtf8(s, i);
    if (u < 0) {
      Carry.assign(s.substr(at));
      break;
    }
    if (u == 0xFFFD && i - at == 1) {
      Invalid = true;
      InvalidLine = Line;
      return;
    }
    take(u, Offset + long(at));
  }
  Offset += long(n);
}

Utf8Verdict Utf8Detector::Finish() {
  Utf8Verdict v;
  v.Bom = Bom;
  if (!Invalid && !Carry.empty()) {
    // The file ends inside a sequence.
    Invalid = true;
    InvalidLine = Line;
  }
  if (Invalid) {
    if (Bom) {
      v.Form = Utf8Verdict::Broken;
      v.Line = InvalidLine;
    }
    return v;
  }
  if (!Multibyte) return v;
  if (ForeignLine > 0) {
    v.Form = Utf8Verdict::Foreign;
    v.Line = ForeignLine;
  } else {
    v.Form = Utf8Verdict::Convertible;
  }
  return v;
}

Utf8Verdict DetectUtf8(std::string_view bytes) {
  Utf8Detector d;
  d.Feed(bytes);
  return d.Finish();
}

size_t DecodeUtf8Chunk(const char* in, size_t n, char* out, size_t& consumed, bool atStart, bool last,
                       Utf8Decoding* strict) {
  const Charset set = CurrentBuild().Set;
  const SmallReverse& small = SmallReverseOf(set);
  const PairTable& pairs = PairTableOf(set);
  const std::string_view s(in, n);
  size_t i = 0, o = 0;
  if (atStart) {
    if (s.substr(0, kBomBytes.size()) == kBomBytes) {
      i = kBomBytes.size();
      if (strict) strict->Multibyte = strict->Bom = true;
    } else if (!last && n < kBomBytes.size() && kBomBytes.substr(0, n) == s) {
      consumed = 0;  // too little to tell yet
      return 0;
    }
  }
  bool multibyte = false;
  const Utf8Tables& blocks = Utf8TablesOf(set);
  while (i < n) {
    if (UseUtf8Blocks != Utf8Blocks::Off && DecodeUtf8Blocks(in, n, out, i, o, blocks.FromCyrillic.data())) multibyte = true;
    if (i >= n) break;
    // Runs of ASCII, eight bytes at a time while they last, and runs of
    // two-byte sequences of the set, one look-up of the pair each.
    while (i + 8 <= n) {
      uint64_t w;
      std::memcpy(&w, in + i, 8);
      if ((w & 0x8080808080808080ull) != 0) break;
      std::memcpy(out + o, &w, 8);
      i += 8;
      o += 8;
    }
    while (i < n && uint8_t(in[i]) < 0x80) out[o++] = in[i++];
    // Two sequences at a time while both are of the set.
    while (i + 4 <= n) {
      const uint8_t c0 = uint8_t(in[i]), c2 = uint8_t(in[i + 2]);
      if ((c0 & c2 & 0x80) == 0) break;
      const int16_t b0 = pairs.Byte[size_t(c0) << 8 | uint8_t(in[i + 1])];
      const int16_t b1 = pairs.Byte[size_t(c2) << 8 | uint8_t(in[i + 3])];
      if ((b0 | b1) < 0) break;
      out[o] = char(b0);
      out[o + 1] = char(b1);
      o += 2;
      i += 4;
      multibyte = true;
    }
    while (i + 1 < n) {
      const uint8_t c = uint8_t(in[i]);
      if (c < 0x80) break;
      const int16_t b = pairs.Byte[size_t(c) << 8 | uint8_t(in[i + 1])];
      if (b < 0) break;
      out[o++] = char(b);
      i += 2;
      multibyte = true;
    }
    if (i >= n || uint8_t(in[i]) < 0x80) continue;
    const size_t at = i;
    const int32_t u = DecodeUtf8(s, i);
    if (u < 0) {
      if (!last) break;
      if (strict) {  // the file ends inside a sequence
        strict->Problem = true;
        i = at;
        break;
      }
      std::memmove(out + o, in + at, n - at);  // cut at the end of the file: kept
      o += n - at;
      i = n;
      break;
    }
    const int b = (u == 0xFFFD && i - at == 1) ? -1 : SetByte(set, small, char32_t(u));
    if (b < 0) {
      if (strict) {
        strict->Problem = true;
        i = at;
        break;
      }
      std::memmove(out + o, in + at, i - at);
      o += i - at;
    } else {
      out[o++] = char(b);
      multibyte = true;
    }
  }
  if (strict && multibyte) strict->Multibyte = true;
  consumed = i;
  return o;
}

std::string Utf8ToInternal(std::string_view utf8, bool atStart) {
  std::string out(utf8.size(), '\0');
  size_t consumed = 0;
  out.resize(DecodeUtf8Chunk(utf8.data(), utf8.size(), out.data(), consumed, atStart, true));
  return out;
}

std::string InternalToUtf8(std::string_view bytes) {
  std::string out(Utf8Room(bytes.size()), '\0');
  out.resize(EncodeUtf8(bytes.data(), bytes.size(), out.data()));
  return out;
}

void ReportUnconverted(const Utf8Verdict& v, std::string_view what) {
  if (v.Form != Utf8Verdict::Foreign && v.Form != Utf8Verdict::Broken) return;
  std::string text = "Строка " + std::to_string(v.Line) + ": ";
  text += v.Form == Utf8Verdict::Foreign ? "символ, которого нет в кодировке; " : "неверная последовательность UTF-8; ";
  text += what;
  ShowMessage(InBuildSet(text), 1);
}
