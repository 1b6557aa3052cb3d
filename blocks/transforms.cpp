#include "blocks/transforms.h"

#include <algorithm>
#include <array>
#include <climits>

#include "base/limits.h"
#include "base/state.h"
#include "builds/build.h"
#include "edit/words.h"
#include "screen/keys.h"
#include "text/codepage.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/status.h"

namespace {


// Byte i (1-based) of s; outside s a blank.
uint8_t At(std::string_view s, int i) {
  return i >= 1 && size_t(i) <= s.size() ? uint8_t(s[size_t(i - 1)]) : uint8_t(' ');
}

// Lines a..b of the block cut to the text.
int FirstLineOf(int a) { return std::max(a, 1); }
int LastLineOf(int b) { return std::min<int>(b, Txt.LineCount); }

void NoBlock() {
  ShowMessage(InBuildSet("Нет помеченного блока!"), 1);
}

// A line block wins over a rectangle, should both ever be set.
bool RectangleMarked() { return Ed.BlockFirst <= 0 && Ed.RectFirst > 0; }

using ByteMap = std::array<uint8_t, 256>;

ByteMap Identity() {
  ByteMap m{};
  for (int b = 0; b < 256; ++b) m[size_t(b)] = uint8_t(b);
  return m;
}

// Source set S into target set T: the first place of a byte in S decides,
// so the table is filled from the last place to the first.
ByteMap FromSets(const std::array<uint8_t, 136>& S, const std::array<uint8_t, 136>& T) {
  ByteMap m = Identity();
  for (size_t p = S.size(); p-- > 0;) m[S[p]] = T[p];
  return m;
}

const std::array<uint8_t, 136>& InternalColumn() { return CurrentBuild().koi8r ? Koi8Column : Cp866Column; }

// The byte map of a conversion.
ByteMap MapOf(Conversion conversion) {
  ByteMap m = Identity();
  switch (conversion) {
    case Conversion::ToUpper:
    case Conversion::ToLower: {
      const bool upper = conversion == Conversion::ToUpper;
      // The case sets hold the characters 0 to 254: 255 never changes.
      for (int c = 0; c < 255; ++c) m[size_t(c)] = upper ? UpCaseChar(uint8_t(c)) : LowCaseChar(uint8_t(c));
      break;
    }
    case Conversion::LatinToCyrillic:
      m = FromSets(KeyLayout, InternalColumn());
      // Only Latin keys turn into letters: bytes from 0x80 on are letters
      // already (KeyLayout lists some of them only to fill its columns).
      for (int c = 0x80; c < 256; ++c) m[size_t(c)] = uint8_t(c);
      break;
    case Conversion::CyrillicToLatin:
      m = FromSets(InternalColumn(), KeyLayout);
      // Only what a Latin key types comes out: a character whose place in
      // KeyLayout holds a byte from 0x80 on stays as it is.
      for (int c = 0; c < 256; ++c)
        if (m[size_t(c)] >= 0x80) m[size_t(c)] = uint8_t(c);
      break;
  }
  return m;
}

// Converts columns from..to of line n (those within its stored length).
void ConvertLine(int n, int from, int to, const ByteMap& m) {
  std::string s = LineString(n);
  from = std::max(from, 1);
  to = std::min<int>(to, int(s.size()));
  if (from > to) return;
  for (int i = from; i <= to; ++i) s[size_t(i - 1)] = char(m[At(s, i)]);
  StoreLine(s, n);
}

// Both separators in a field: the one that comes first groups thousands
// and goes.  A comma alone, or a point alone, is the decimal separator.
void DropThousandsSeparators(std::string& field) {
  const size_t comma = field.find(',');
  const size_t point = field.find('.');
  if (comma == std::string::npos || point == std::string::npos) return;
  const char sep = comma < point ? ',' : '.';
  field.erase(std::remove(field.begin(), field.end(), sep), field.end());
}

}  // namespace

int WordStartAt(std::string_view line, int col) {
  return std::clamp(WordStartLeft(line, WordEndRight(line, col, WordEnd::NextStart)), 1, MaxLineBytes);
}

void ConvertBlock(Conversion conversion) {
  const ByteMap m = MapOf(conversion);
  if (Ed.BlockFirst > 0) {
    if (Ed.BlockFirst == Ed.CurLine && Ed.BlockLast == Ed.CurLine) SaveLineForUndo(Ed.CurLine);
    for (int n = FirstLineOf(Ed.BlockFirst); n <= LastLineOf(Ed.BlockLast); ++n) ConvertLine(n, 1, MaxLineBytes, m);
  } else if (Ed.RectFirst > 0) {
    Txt.Modified = true;
    if (Ed.RectFirst == Ed.CurLine && Ed.RectLast == Ed.CurLine) SaveLineForUndo(Ed.CurLine);
    for (int n = FirstLineOf(Ed.RectFirst); n <= LastLineOf(Ed.RectLast); ++n)
      ConvertLine(n, Ed.RectFirstCol, Ed.RectLastCol, m);
  } else {
    // The word the cursor is in or has just left: from the character before
    // the cursor (the cursor's own when a blank stands before it) left to
    // the word's start, then right up to the first blank.
    const int n = Ed.CurLine;
    if (n < 1 || n > Txt.LineCount) return;
    SaveLineForUndo(n);
    const std::string s = LineString(n);
    const int c = std::clamp(Ed.CurCol, 1, MaxLineBytes);
    int i = c > 1 ? c - 1 : 1;
    if (c > 1 && At(s, i) == ' ') i = c;
    while (i > 1 && At(s, i) > 32) --i;
    if (At(s, i) <= 32) ++i;
    int e = i;
    while (e <= int(s.size()) && At(s, e) != ' ') ++e;
    ConvertLine(n, i, e - 1, m);
  }
  Txt.Modified = true;
}

void FillBlock() {
  if (!RectangleMarked()) {
    NoBlock();
    return;
  }
  ShowMessage(InBuildSet("Введите символ заполнения: "), 22);
  GetKey();
  uint8_t ch = KeyChar();  // whatever key it was: Esc fills with 27
  if (Kbd.RusLayoutOn) ch = RusKey(ch);
  DrawStatusLine();
  ClearMessageLine();  // the prompt has been answered
  for (int n = FirstLineOf(Ed.RectFirst); n <= LastLineOf(Ed.RectLast); ++n) {
    SaveLineForUndo(n);
    std::string s = LineString(n);
    const int from = std::max(Ed.RectFirstCol, 1);
    const int to = std::min<int>(Ed.RectLastCol, int(s.size()));
    for (int i = from; i <= to; ++i) s[size_t(i - 1)] = char(ch);
    StoreLine(s, n);
  }
  Txt.Modified = true;
}

bool SumFieldValue(std::string field, int64_t& units) {
  units = 0;
  DropThousandsSeparators(field);
  constexpr int64_t MaxWhole = INT32_MAX;
  constexpr int64_t Unit = 100000;
  int64_t value = 0, fraction = 0, scale = 0, sign = 1;
  for (char ch : field) {
    const uint8_t b = uint8_t(ch);
    if (b == ' ') continue;
    if (b == ',' || b == '.') {
      if (scale != 0) return false;
      scale = 1;
    } else if (b == '-') {
      sign = -1;
    } else if (b >= '0' && b <= '9') {
      if (scale == 0) {
        value = std::min(value * 10 + (b - '0'), MaxWhole);
      } else if (scale < Unit) {
        fraction = fraction * 10 + (b - '0');
        scale *= 10;
      }
    } else if (value + fraction > 0) {
      break;  // text after the number
    }
  }
  if (scale > 0)
    while (scale < Unit) {
      fraction *= 10;
      scale *= 10;
    }
  units = sign * (value * Unit + fraction);
  return true;
}

std::string SumText(int64_t units) {
  std::string out = units < 0 ? "-" : "";
  // At most a few thousand fields of at most 2147483647 each: far from the
  // end of the 64-bit range, so the negation cannot overflow.
  const int64_t a = units < 0 ? -units : units;
  out += std::to_string(a / 100000) + '.';
  std::string frac = std::to_string(a % 100000);
  frac.insert(0, 5 - frac.size(), '0');
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  return out + frac;
}

void SumOverBlock() {
  if (!RectangleMarked()) {
    NoBlock();
    return;
  }
  const int from = std::max(Ed.RectFirstCol, 1);
  const int width = std::max(0, Ed.RectLastCol - from + 1);
  int64_t total = 0;
  for (int n = FirstLineOf(Ed.RectFirst); n <= LastLineOf(Ed.RectLast); ++n) {
    const std::string_view s = LineBytes(n);
    std::string field;
    if (size_t(from) <= s.size()) field = std::string(s.substr(size_t(from - 1), size_t(width)));
    int64_t units = 0;
    if (!SumFieldValue(field, units)) {
      // The field as the scan saw it, and the bell.
      DropThousandsSeparators(field);
      ShowMessage(InBuildSet("Некорректные данные для данной функции: ") + field + '\x07', 1);
      return;
    }
    total += units;
  }
  ShowMessage(InBuildSet("Сумма  по  блоку = ") + SumText(total), 22);
}

void FirstLetterCase(bool upper) {
  const int n = Ed.CurLine;
  if (n < 1 || n > Txt.LineCount) return;
  Txt.Modified = true;
  std::string s = LineString(n);
  for (int i = WordStartAt(s, Ed.CurCol); i <= int(s.size()); ++i) {
    const uint8_t c = At(s, i);
    if (UpCaseChar(c) == LowCaseChar(c)) continue;
    SaveLineForUndo(n);
    s[size_t(i - 1)] = char(upper ? UpCaseChar(c) : LowCaseChar(c));
    StoreLine(s, n);
    return;
  }
}
