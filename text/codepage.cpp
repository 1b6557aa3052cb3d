#include "text/codepage.h"

#include <algorithm>
#include <string>

#include "builds/build.h"
#include "core/state.h"
#include "text/linestore.h"
#include "text/questions.h"
#include "text/savefile.h"

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

constexpr ByteMap MakeAsciiToAnsi() {
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

constexpr ByteMap MakeAnsiToAscii() {
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

constexpr ByteMap kAsciiToKoi8 = Across(Cp866Column, Koi8Column);
constexpr ByteMap kKoi8ToAscii = Across(Koi8Column, Cp866Column);
constexpr ByteMap kAsciiToAnsi = MakeAsciiToAnsi();
constexpr ByteMap kAnsiToAscii = MakeAnsiToAscii();
constexpr ByteMap kAnsiToKoi8 = Then(kAnsiToAscii, kAsciiToKoi8);
constexpr ByteMap kKoi8ToAnsi = Then(kKoi8ToAscii, kAsciiToAnsi);
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
  if (CodePage.DiskIsAnsi) return Koi8Build() ? kKoi8ToAnsi : kAsciiToAnsi;
  if (Koi8Build() ? CodePage.DiskIsAscii : CodePage.DiskIsKoi8) return Koi8Build() ? kKoi8ToAscii : kAsciiToKoi8;
  return kIdentity;
}

// Every stored byte of lines first..last, trailing blanks included, in
// place: the stored length never changes.
void RecodeLines(int first, int last, const ByteMap& map) {
  first = std::max(first, 1);
  last = std::min<int>({last, Txt.LineCount, int(Txt.LineTable.size()) - 1});
  for (int n = first; n <= last; ++n) MapLineBytes(n, map);
}

void AskRecode(const std::string& question) {
  Q.AskSelection = 1;
  Ask(question, "", 0x3F, 0x2F, 0x5F, 0x0D);
}

}  // namespace

uint8_t AsciiToKoi8(uint8_t b) { return kAsciiToKoi8[b]; }
uint8_t Koi8ToAscii(uint8_t b) { return kKoi8ToAscii[b]; }
uint8_t AsciiToAnsi(uint8_t b) { return kAsciiToAnsi[b]; }
uint8_t AnsiToAscii(uint8_t b) { return kAnsiToAscii[b]; }
uint8_t AnsiToKoi8(uint8_t b) { return kAnsiToKoi8[b]; }
uint8_t Koi8ToAnsi(uint8_t b) { return kKoi8ToAnsi[b]; }

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
  if (Koi8Build()) CodePage.DiskIsKoi8 = 1;
  else CodePage.DiskIsAscii = 1;
}

uint8_t DiskByte(uint8_t b) { return DiskMap()[b]; }

void RecodeForDisk(std::string& s, size_t from) {
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
  AskRecode(" X = " + std::to_string(avg) +
            (koi8 ? ": recode FROM | 1 - ASCII | 2 - ANSI | 3 or Esc - not to convert |"
                  : ": recode FROM | 1 - KOI8-R | 2 - ANSI | 3 or Esc - not to convert |"));
  const int end = whole ? int(Txt.LineCount) : last;
  if (Q.Answer == 1) RecodeLines(first, end, koi8 ? kAsciiToKoi8 : kKoi8ToAscii);
  else if (Q.Answer == 2) RecodeLines(first, end, koi8 ? kAnsiToKoi8 : kAnsiToAscii);
  else return;
  // A whole text recoded on its way in goes back out in the same set.
  if (first == 1 && end == Txt.LineCount) {
    uint8_t& internal = koi8 ? CodePage.DiskIsKoi8 : CodePage.DiskIsAscii;
    uint8_t& foreign = koi8 ? CodePage.DiskIsAscii : CodePage.DiskIsKoi8;
    internal = 0;
    (Q.Answer == 1 ? foreign : CodePage.DiskIsAnsi) = 1;
  }
}

void RecodeCommand() {
  const bool block = Ed.BlockFirst > 0;
  int first = 1, last = Txt.LineCount;
  if (block) {
    first = Ed.BlockFirst;
    last = Ed.BlockLast;
  } else if (Txt.Modified) {
    AskRecode(" No line block marked - all file! To save it? |1 - yes|2 - no|3 - not to change|");
    if (Q.Answer == 1) SaveFile();
    else if (Q.Answer != 2) return;
  }

  // The answer names the set the text is taken to be in; the state names
  // the set it is converted into and becomes the named set.
  uint8_t* current;
  uint8_t *next1, *next2;
  const ByteMap *map1, *map2;
  if (CodePage.DiskIsAscii) {
    AskRecode("  Recode from: | 1 - ANSI | 2 - koi8-r | 3 or Esc - not to change |");
    current = &CodePage.DiskIsAscii;
    map1 = &kAnsiToAscii, next1 = &CodePage.DiskIsAnsi;
    map2 = &kKoi8ToAscii, next2 = &CodePage.DiskIsKoi8;
  } else if (CodePage.DiskIsKoi8) {
    AskRecode("  Recode from: | 1 - ANSI | 2 - ASCII | 3 or Esc - not to change |");
    current = &CodePage.DiskIsKoi8;
    map1 = &kAnsiToKoi8, next1 = &CodePage.DiskIsAnsi;
    map2 = &kAsciiToKoi8, next2 = &CodePage.DiskIsAscii;
  } else {
    AskRecode("  Recode from: | 1 - ASCII | 2 - koi8-r | 3 or Esc - not to change |");
    current = &CodePage.DiskIsAnsi;
    map1 = &kAsciiToAnsi, next1 = &CodePage.DiskIsAscii;
    map2 = &kKoi8ToAnsi, next2 = &CodePage.DiskIsKoi8;
  }
  if (Q.Answer != 1 && Q.Answer != 2) return;
  RecodeLines(first, last, Q.Answer == 1 ? *map1 : *map2);
  if (block) {
    Txt.Modified = true;
  } else {
    *current = 0;
    *(Q.Answer == 1 ? next1 : next2) = 1;
  }
}
