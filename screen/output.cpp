#include "screen/output.h"

#include <curses.h>
#include <term.h>

#include <algorithm>
#include <cstring>

#include "screen/glyphs.h"

#undef lines
#undef columns

namespace {

std::string Cap(const char* name) {
  char* s = tigetstr(const_cast<char*>(name));
  if (s == nullptr || s == reinterpret_cast<char*>(-1)) return {};
  return s;
}

bool Flag(const char* name) { return tigetflag(const_cast<char*>(name)) > 0; }

std::string Param(const std::string& cap, long a) {
  if (cap.empty()) return {};
  char* s = tiparm(cap.c_str(), a);
  return s ? std::string(s) : std::string();
}

std::string Param2(const std::string& cap, long a, long b) {
  if (cap.empty()) return {};
  char* s = tiparm(cap.c_str(), a, b);
  return s ? std::string(s) : std::string();
}

// PC colour number to the terminal's (ANSI) colour number.
constexpr int AnsiOfPc[8] = {0, 4, 2, 6, 1, 5, 3, 7};

}  // namespace

void ScreenOutput::Init(Charset set, OutputEncoding enc) {
  Cup = Cap("cup");
  Hpa = Cap("hpa");
  Cuf = Cap("cuf");
  Clear = Cap("clear");
  Sgr0 = Cap("sgr0");
  Bold = Cap("bold");
  Blink = Cap("blink");
  Setaf = Cap("setaf");
  Setab = Cap("setab");
  Civis = Cap("civis");
  Cnorm = Cap("cnorm");
  NumColours = std::max(0, tigetnum(const_cast<char*>("colors")));
  Bce = Flag("bce");
  AutoMargin = Flag("am");
  EatNewline = Flag("xenl");
  CanBlink = !Blink.empty();
  Ansi = Param(Setaf, 1) == "\x1b[31m" && Param(Setab, 1) == "\x1b[41m";

  for (int b = 0; b < 256; ++b) {
    char32_t u = GlyphOf(set, uint8_t(b));
    std::string g;
    if (enc == OutputEncoding::Utf8) {
      g = Utf8Of(u);
    } else {
      int o = ByteOf(enc == OutputEncoding::Koi8 ? Charset::Koi8 : Charset::Cp866, u);
      g = (o < 0x20 || o == 0x7F) ? std::string("?") : std::string(1, char(o));
    }
    if (g.empty()) g = "?";
    Glyph[b] = g;
  }
  Invalidate();
}

void ScreenOutput::SetTerminalSize(int cols, int rowCount) {
  if (cols != TermCols || rowCount != TermRows) Invalidate();
  TermCols = std::max(1, cols);
  TermRows = std::max(1, rowCount);
}

void ScreenOutput::Invalidate() {
  Known.assign(Known.size(), false);
  CurX = CurY = -1;
  PenKnown = false;
  CursorStateKnown = false;
}

ScreenOutput::Pen ScreenOutput::PenOf(uint8_t attr) const {
  Pen p;
  int fg = attr & 0x0F;
  int bg = (attr >> 4) & 0x07;
  bool blink = attr & 0x80;
  p.Fg = AnsiOfPc[fg & 7];
  p.Bg = AnsiOfPc[bg];
  if (fg & 8) {
    if (NumColours >= 16) p.Fg += 8;
    else p.Bold = true;
  }
  if (blink) {
    if (CanBlink) p.Blink = true;
    else if (NumColours >= 16) p.Bg += 8;
  }
  if (NumColours < 8) {  // a monochrome terminal: keep only what it can show
    p.Fg = p.Bg = -1;
  }
  return p;
}

void ScreenOutput::SetPen(const Pen& p, std::string& out) {
  if (PenKnown && p == Current) return;
  if (Ansi) {
    // One SGR carries every change; bold and blink are switched off by
    // their own parameters (22, 25), so nothing needs a full reset.
    const bool reset = !PenKnown;
    std::string params;
    auto add = [&](int v) {
      if (!params.empty()) params += ';';
      params += std::to_string(v);
    };
    if (reset) add(0);
    if (!reset && Current.Bold && !p.Bold) add(22);
    if (!reset && Current.Blink && !p.Blink) add(25);
    if (p.Bold && (reset || !Current.Bold)) add(1);
    if (p.Blink && (reset || !Current.Blink)) add(5);
    if (p.Fg >= 0 && (reset || p.Fg != Current.Fg)) add(p.Fg < 8 ? 30 + p.Fg : 90 + p.Fg - 8);
    if (p.Bg >= 0 && (reset || p.Bg != Current.Bg)) add(p.Bg < 8 ? 40 + p.Bg : 100 + p.Bg - 8);
    if (params == "0") params.clear();  // "ESC [ m" is the same reset
    out += "\x1b[";
    out += params;
    out += 'm';
  } else {
    const bool reset = !PenKnown || (Current.Bold && !p.Bold) || (Current.Blink && !p.Blink);
    if (reset) out += Sgr0;
    if (p.Bold && (reset || !Current.Bold)) out += Bold;
    if (p.Blink && (reset || !Current.Blink)) out += Blink;
    if (p.Fg >= 0 && (reset || p.Fg != Current.Fg)) out += Param(Setaf, p.Fg);
    if (p.Bg >= 0 && (reset || p.Bg != Current.Bg)) out += Param(Setab, p.Bg);
  }
  Current = p;
  PenKnown = true;
}

void ScreenOutput::PutCell(Cell c, std::string& out) {
  SetPen(PenOf(CellAttr(c)), out);
  out += Glyph[CellChar(c)];
}

// Moves the terminal cursor to (col, row) by the cheapest of: cursor
// address, column address, cursor forward, CR and LFs, each possibly
// followed by rewriting the unchanged cells up to col.  After a glyph in the
// last column of a terminal that defers the wrap (xenl), the cursor waits in
// the margin (CurX past the last column): only absolute moves and CR are
// safe from there.
void ScreenOutput::MoveTo(int col, int row, const std::vector<Cell>& cells, int width, std::string& out) {
  if (CurX == col && CurY == row) return;
  std::string best = Param2(Cup, row - 1, col - 1);
  auto consider = [&](std::string s) {
    if (!s.empty() && (best.empty() || s.size() < best.size())) best = std::move(s);
  };
  // Rewriting the cells from fromCol to col - 1 of the row, which must be
  // unchanged and known, in the current pen.
  auto rewrite = [&](int fromCol, std::string prefix) {
    std::string s = std::move(prefix);
    for (int x = fromCol; x < col; ++x) {
      size_t i = size_t(row - 1) * size_t(width) + size_t(x - 1);
      if (!Known[i] || Front[i] != cells[i] || !PenKnown || PenOf(CellAttr(cells[i])) != Current) return;
      s += Glyph[CellChar(cells[i])];
      if (!best.empty() && s.size() >= best.size()) return;
    }
    consider(std::move(s));
  };
  const bool known = CurX > 0 && CurY > 0;
  const bool inMargin = known && CurX > TermCols;
  if (known && CurY == row) {
    consider(Param(Hpa, col - 1));
    if (!inMargin && col > CurX) {
      consider(Param(Cuf, col - CurX));
      rewrite(CurX, {});
    }
    rewrite(1, "\r");
  }
  if (known && row > CurY && row - CurY <= 4) rewrite(1, "\r" + std::string(size_t(row - CurY), '\n'));
  out += best;
  CurX = col;
  CurY = row;
}

void ScreenOutput::Render(const std::vector<Cell>& cells, int width, int height, int curCol, int curRow,
                          bool force, std::string& out) {
  if (width != FrontWidth || height != FrontHeight || Front.size() != cells.size()) {
    Front.assign(cells.size(), BlankCell);
    Known.assign(cells.size(), false);
    FrontWidth = width;
    FrontHeight = height;
  }
  const int visCols = std::min(width, TermCols);
  const int visRows = std::min(height, TermRows);

  if (force) {
    Known.assign(Known.size(), false);
    if (Bce && !Clear.empty()) {
      // Clear in grey on black, then send only what is not blank.
      SetPen(PenOf(CellAttr(BlankCell)), out);
      out += Clear;
      std::fill(Front.begin(), Front.end(), BlankCell);
      Known.assign(Known.size(), true);
      CurX = CurY = 1;
    }
  }

  for (int y = 1; y <= visRows; ++y) {
    for (int x = 1; x <= visCols; ++x) {
      size_t i = size_t(y - 1) * size_t(width) + size_t(x - 1);
      if (Known[i] && Front[i] == cells[i]) continue;
      // The bottom-right cell would scroll a terminal that wraps at once.
      if (AutoMargin && !EatNewline && y == TermRows && x == TermCols) continue;
      MoveTo(x, y, cells, width, out);
      PutCell(cells[i], out);
      Front[i] = cells[i];
      Known[i] = true;
      if (x < TermCols) {
        CurX = x + 1;
      } else if (AutoMargin && EatNewline) {
        CurX = TermCols + 1;  // waiting in the margin
      } else {
        CurX = CurY = -1;  // wrapped, or not: its place is unsure
      }
    }
  }

  bool visible = curCol >= 1 && curCol <= visCols && curRow >= 1 && curRow <= visRows;
  if (visible) {
    MoveTo(curCol, curRow, cells, width, out);
    if (!CursorStateKnown || CursorHidden) out += Cnorm;
  } else if (!CursorStateKnown || !CursorHidden) {
    out += Civis;
  }
  CursorHidden = !visible;
  CursorStateKnown = true;
}

std::string ScreenOutput::ResetSequence() const { return Sgr0; }
