#include "text/status.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/limits.h"
#include "base/state.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "text/heap.h"
#include "text/linestore.h"

namespace {

constexpr int MaxWidth = 132;
constexpr int NoStop = -1;  // a span that runs to its last column

// The work line used while the line store is not set up yet (a question
// asked before the text is loaded still draws through DrawLine).
uint8_t SpareWorkLine[WorkLineBytes];

uint8_t* WorkLine() {
  if (!Txt.LineTable.empty() && Txt.LineTable[StatusRowEntry] != nullptr) return Txt.LineTable[StatusRowEntry];
  return SpareWorkLine;
}

// A private copy of a line, counted from 1; a read outside it gives -1, so
// "the next byte" and "the previous byte" tests need no length checks.
struct LineCopy {
  std::array<uint8_t, 256> b{};
  int len = 0;
  int At(int i) const { return i >= 1 && i <= len ? b[size_t(i)] : -1; }
};

// The row being drawn, counted from 1; written to the screen at the end.
struct RowImage {
  std::array<uint8_t, MaxWidth + 1> ch{};
  std::array<uint8_t, MaxWidth + 1> attr{};
  int width = 0;
};

// From column `from` to `last`, gives `colour` to the cells that still have
// the line colour lc (or attribute 0, an invisible span that a nearer opener
// may take over).  The span ends after a cell holding `stop`; with stop a
// blank it ends before the first blank.
void ColourSpan(RowImage& r, int from, int last, int stop, uint8_t lc, uint8_t colour) {
  from = std::max(from, 1);
  last = std::min(last, r.width);
  for (int c = from; c <= last; ++c) {
    const size_t k = size_t(c);
    if (stop == ' ' && r.ch[k] == ' ') break;
    if (r.attr[k] == lc || r.attr[k] == 0) r.attr[k] = colour;
    if (stop != NoStop && stop != ' ' && r.ch[k] == stop) break;
  }
}

// How a byte below 32 is shown: its glyph and attribute, whatever the
// line's colour.
void ControlCell(uint8_t b, uint8_t& ch, uint8_t& attr) {
  ch = b;
  switch (b) {
    case 0: ch = '0'; attr = 0xA0; return;
    case 1: attr = 0x09; return;
    case 2: attr = 0x02; return;
    case 7: ch = 'G'; attr = 0xA0; return;
    case 8: ch = 'H'; attr = 0xB0; return;
    case 16: ch = 'P'; attr = 0xC0; return;
    case 23: ch = 'W'; attr = 0xD0; return;
    case 24: ch = 'X'; attr = 0xE0; return;
    case 31: attr = 0x0D; return;
    default: break;
  }
  if (b >= 3 && b <= 6) attr = uint8_t(b * 16);
  else if (b >= 9 && b <= 15) attr = b;
  else attr = uint8_t(0x07 + 15 * (b % 8));
}

bool IsCodeByte(int b) { return b == 0 || b == 1 || b == 2 || b == 31; }

// A code byte may open a colour only when it is not itself the colour byte
// of another code: the byte before it is above 2 and not 31, or there is none.
bool OpensAfter(const LineCopy& t, int i) {
  const int prev = t.At(i - 1);
  return i == 1 || (prev > 2 && prev != 31);
}

// The attribute of the code at i: fg, plus 16 * bg when the byte after fg is
// below 32 too.  Sets `bytes` to the code's length (2 or 3).
uint8_t CodeColour(const LineCopy& t, int i, int& bytes) {
  const int fg = t.At(i + 1);
  const int bg = t.At(i + 2);
  bytes = bg >= 0 && bg < 32 ? 3 : 2;
  return uint8_t(fg + (bytes == 3 ? bg * 16 : 0));
}

uint8_t NotOne(uint8_t a) { return a == 1 ? 13 : a; }

void ReadLine(int n, LineCopy& t) {
  std::string_view s;
  if (n == 0) {
    const uint8_t* w = WorkLine();
    s = std::string_view(reinterpret_cast<const char*>(w + 1), std::min<size_t>(w[0], WorkLineBytes - 1));
  } else if (n >= 1 && n <= Txt.LineCount) {
    s = LineBytes(n);
  } else {
    s = std::string_view(reinterpret_cast<const char*>(Txt.Blanks.data() + 1), Txt.Blanks[0]);
  }
  t.len = int(std::min<size_t>(s.size(), MaxLineBytes));
  std::memcpy(t.b.data() + 1, s.data(), size_t(t.len));
}

// Scans from the end over blanks, NUL marks and a line colour mark (blanked
// in the copy), cuts the copy after the last other byte and returns the
// line colour.
uint8_t TakeLineColour(LineCopy& t) {
  uint8_t lc = 0x07;
  int i = t.len;
  while (i > 0) {
    const uint8_t b = t.b[size_t(i)];
    if (b == ' ') {
      --i;
    } else if (b == 0) {
      lc = 0x1E;
      --i;
    } else if (b == 9 && i > 1 && t.b[size_t(i - 1)] < 16) {
      lc = t.b[size_t(i - 1)];
      t.b[size_t(i)] = ' ';
      t.b[size_t(i - 1)] = ' ';
      if (i > 2 && t.b[size_t(i - 2)] < 16) {
        lc = uint8_t(lc + t.b[size_t(i - 2)] * 16);
        t.b[size_t(i - 2)] = ' ';
      }
      lc = NotOne(lc);
    } else {
      break;
    }
  }
  t.len = i;
  return lc;
}

// Draws the visible characters right to left, so that each span only takes
// cells that no nearer opener (to their left, drawn earlier) has coloured.
void DrawVisible(RowImage& r, const LineCopy& t, int h, int v, int n, uint8_t lc, uint8_t a) {
  for (int i = h + v; i >= h + 1; --i) {
    const int col = i - h;
    const size_t k = size_t(col);
    const uint8_t b = t.b[size_t(i)];
    if (b >= 32) {
      r.ch[k] = b;
      r.attr[k] = a;
      if (n < 1) continue;
      if (Ed.Source == SourceMode::Pascal && b == '{') ColourSpan(r, col, r.width, '}', lc, Ed.CommentColour);
      if (Ed.Source != SourceMode::Pascal && b == '#') ColourSpan(r, col, r.width, NoStop, lc, Ed.CommentColour);
      if (b == '/' && t.At(i + 1) == '/') ColourSpan(r, col, r.width, NoStop, lc, Ed.CommentColour);
      continue;
    }
    ControlCell(b, r.ch[k], r.attr[k]);
    const int next = t.At(i + 1);
    if (!IsCodeByte(b) || next < 0 || next >= 32 || !OpensAfter(t, i) || (next == 0 && t.At(i + 2) == 0)) continue;
    int bytes = 2;
    const uint8_t colour = NotOne(CodeColour(t, i, bytes));
    for (int c = col; c < col + bytes && c <= r.width; ++c) {
      r.ch[size_t(c)] = ' ';
      r.attr[size_t(c)] = a;
    }
    const int from = col + bytes;
    if (b == 2) ColourSpan(r, from, r.width, ' ', lc, colour);
    else if (b == 1) ColourSpan(r, from, v, NoStop, lc, colour);
    else ColourSpan(r, from, r.width, NoStop, lc, colour);
  }
}

// Openers in the hidden part left of the window whose colour reaches into
// it.  w counts 2 per blank passed and, in Pascal mode, 1 for a closing
// brace passed while w is even: an odd w means a "}" closed any "{" found
// further left, and w >= 2 that a word coloured by code 2 has ended.
void ColourFromHiddenPart(RowImage& r, const LineCopy& t, int h, int v, uint8_t lc) {
  const bool pascal = Ed.Source == SourceMode::Pascal;
  int w = 0;
  for (int i = std::min(h, t.len); i >= 1; --i) {
    const uint8_t b = t.b[size_t(i)];
    if (b == ' ') {
      w += 2;
      continue;
    }
    if (pascal && b == '}') {
      if (w % 2 == 0) ++w;
      continue;
    }
    const int next = t.At(i + 1);
    if ((b == 0 || b == 31 || b == 1) && OpensAfter(t, i) && next >= 0 && next < 32) {
      int bytes = 2;
      const uint8_t colour = NotOne(CodeColour(t, i, bytes));
      ColourSpan(r, 1, b == 1 ? v : r.width, NoStop, lc, colour);
    } else if (b == 2 && next >= 0 && next < 32) {
      if (w < 2) {
        int bytes = 2;
        ColourSpan(r, 1, r.width, ' ', lc, CodeColour(t, i, bytes));
      }
    } else if (pascal && b == '{') {
      if (w % 2 == 0) ColourSpan(r, 1, r.width, '}', lc, Ed.CommentColour);
    } else if (!pascal && b == '#') {
      ColourSpan(r, 1, r.width, NoStop, lc, Ed.CommentColour);
    } else if (b == '/' && next == '/') {
      ColourSpan(r, 1, r.width, NoStop, lc, Ed.CommentColour);
    }
  }
}

void MarkAndCross(RowImage& r, int h, int n) {
  for (int k = 3; k >= 1; --k)
    if (Ed.LineMarks[size_t(k - 1)] == n)
      for (int c = 1; c <= r.width; ++c)
        if (r.attr[size_t(c)] == 0x07) r.attr[size_t(c)] = uint8_t(k * 16 + 15);

  if (Ed.RectFirst <= n && n <= Ed.RectLast) {
    const long from = std::max<long>(1, long(Ed.RectFirstCol) - h);
    const long to = std::min<long>(r.width, long(Ed.RectLastCol) - h);
    for (long c = from; c <= to; ++c) r.attr[size_t(c)] = 0x70;
  }

  if (Ed.CrossHair) {
    const long cur = long(Ed.CurCol) - h;
    const bool onScreen = cur >= 1 && cur <= r.width;
    if (onScreen && r.attr[size_t(cur)] < 0x10) r.attr[size_t(cur)] |= 0x10;
    if (n == Ed.CurLine) {
      for (int c = 1; c <= r.width; ++c)
        if (r.attr[size_t(c)] < 0x10) r.attr[size_t(c)] |= 0x10;
      if (onScreen) r.attr[size_t(cur)] |= 0x80;
    }
  }
}

void WriteRow(const RowImage& r, int row) {
  SetWritePos(row, 1);
  for (int c = 1; c <= r.width; ++c) PutRunCell(c, r.ch[size_t(c)], r.attr[size_t(c)]);
}

}  // namespace

std::string HexByte(uint8_t b) {
  static const char digits[] = "0123456789ABCDEF";
  return {digits[b >> 4], digits[b & 15]};
}

void StoreWorkLine(std::string_view text) {
  uint8_t* w = WorkLine();
  const size_t len = std::min(text.size(), WorkLineBytes - 1);
  w[0] = uint8_t(len);
  std::memcpy(w + 1, text.data(), len);
}

void DrawLine(int h, int n, int row) {
  if (!WidthSupported() || row < 1 || row > Scr.ScreenHeight) return;
  RowImage r;
  r.width = std::min<int>(Scr.ScreenWidth, MaxWidth);
  h = std::max(h, 0);

  LineCopy t;
  ReadLine(n, t);
  const uint8_t lc = n >= 1 ? TakeLineColour(t) : uint8_t(0x07);
  const uint8_t a = n >= 1 && Ed.BlockFirst <= n && n <= Ed.BlockLast ? uint8_t(0x70) : lc;
  const int v = std::clamp(t.len - h, 0, r.width);

  r.ch.fill(' ');
  r.attr.fill(a);
  DrawVisible(r, t, h, v, n, lc, a);
  if (n >= 1) {
    if (h > 0) ColourFromHiddenPart(r, t, h, v, lc);
    MarkAndCross(r, h, n);
  }
  WriteRow(r, row);
  if (n != 0) FlushScreen(false);
}

void DrawTextWindow() {
  const int height = Scr.ScreenHeight;
  int row = 3;
  for (int n = Ed.WindowTop; row <= height && n >= 1 && n <= Txt.LineCount; ++row, ++n) DrawLine(Ed.HScroll, n, row);
  if (!WidthSupported()) return;
  for (; row <= height; ++row) {
    SetWritePos(row, 1);
    for (int c = 1; c <= Scr.ScreenWidth; ++c) PutRunCell(c, ' ', 0x07);
  }
  FlushScreen(false);
}

void DrawStatusLine() {
  if (!WidthSupported()) return;
  // The text is 80 characters on every width; each field is cut where the
  // next one starts.
  std::string text(80, ' ');
  auto field = [&text](int column, int next, std::string_view s) {
    for (size_t i = 0; i < s.size() && column + int(i) < next; ++i) text[size_t(column - 1) + i] = s[i];
  };
  field(1, 22, std::string_view(Ed.FileName).substr(0, 21));
  field(22, 32, "line=" + std::to_string(Ed.CurLine));
  field(32, 43, "column=" + std::to_string(Ed.CurCol));
  field(43, 53, "size=" + std::to_string(Txt.LineCount));
  const std::string kib = std::to_string(LargestFreeBlock() / 1024);
  field(53, 60, "memory=");
  field(60, 66, kib);
  field(kib.size() <= 3 ? 63 : 60 + int(kib.size()), 66, "K");

  const std::string_view line = LineBytes(Ed.CurLine);
  const uint8_t under = Ed.CurCol >= 1 && size_t(Ed.CurCol) <= line.size() ? uint8_t(line[size_t(Ed.CurCol - 1)]) : ' ';
  field(66, 67, "'");
  field(67, 68, std::string(1, char(under)));
  field(68, 70, "'=");
  field(70, 72, HexByte(under));
  field(72, 77, "/" + std::to_string(under));
  field(77, 81, "123 ");

  StoreWorkLine(text);
  DrawLine(0, 0, 1);

  SetWritePos(1, 1);
  for (int c = 1; c <= Scr.ScreenWidth; ++c) PutRunAttr(c, 0x07);
  PutRunCell(76, Kbd.RusLayoutOn ? 'R' : ' ', Kbd.RusLayoutOn ? 0x70 : 0x07);
  if (Ed.InsertMode) PutRunAttr(67, 0x70);
  for (int k = 0; k < 3; ++k) {
    const int16_t m = Ed.LineMarks[size_t(k)];
    PutRunAttr(77 + k, m == 0 ? 0x00 : m == Ed.CurLine ? 0x4B : 0x07);
  }
  if (Ed.BlockFirst > 0 || Ed.RectFirst > 0) PutRunAttr(80, 0x70);
  if (Ed.CrossHair) {
    const long c = long(Ed.CurCol) - Ed.HScroll;
    if (c >= 1 && c <= Scr.ScreenWidth) PutRunAttr(int(c), 0xF0);
  }
  FlushScreen(false);
}
