#include "screen/output.h"

#include <curses.h>
#include <term.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "screen/glyphs.h"

#undef lines
#undef columns

namespace {

bool Flag(const char* name) { return tigetflag(const_cast<char*>(name)) > 0; }

std::string Cap(const char* name) {
  char* s = tigetstr(const_cast<char*>(name));
  if (s == nullptr || s == reinterpret_cast<char*>(-1)) return {};
  return s;
}

std::string Param(const std::string& cap, long a) {
  if (cap.empty()) return {};
  char* s = tiparm(cap.c_str(), a);
  return s ? TerminalBytes(s) : std::string();
}

std::string Param2(const std::string& cap, long a, long b) {
  if (cap.empty()) return {};
  char* s = tiparm(cap.c_str(), a, b);
  return s ? TerminalBytes(s) : std::string();
}

// What tputs hands its output function, collected.
std::string* PaddedInto = nullptr;
int CollectPadded(int c) {
  if (PaddedInto) PaddedInto->push_back(char(c));
  return c;
}

// n inserted or deleted lines or characters: the one-unit form when n is 1
// and the terminal has it, else the counted form, else the one-unit form n
// times; empty when the terminal has neither.
std::string Counted(const std::string& one, const std::string& many, int n) {
  std::string p = Param(many, n);
  if (n == 1 && !one.empty() && (p.empty() || one.size() <= p.size())) return one;
  if (!p.empty() || one.empty()) return p;
  std::string s;
  for (int i = 0; i < n; ++i) s += one;
  return s;
}

// PC colour number to the terminal's (ANSI) colour number.
constexpr int AnsiOfPc[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// The widest shift of cells within a row that is looked for.
constexpr int kMaxCellShift = 8;
// What a cursor address costs, roughly, when a run of changed cells starts.
constexpr size_t kAddressCost = 6;

}  // namespace

// Padding ("$<5>", "$<2*>", "$<50/>") is a delay for the terminals of old
// serial lines.  Sent as it stands it shows on the screen; a terminal with
// XON/XOFF flow control, or one that takes no pad character, needs none.
// Elsewhere tputs turns it into pad characters.
std::string TerminalBytes(const std::string& cap) {
  if (cap.find("$<") == std::string::npos) return cap;
  if (Flag("xon") || Flag("npc")) {
    std::string out;
    for (size_t i = 0; i < cap.size(); ++i) {
      if (cap[i] == '$' && i + 1 < cap.size() && cap[i + 1] == '<') {
        const size_t end = cap.find('>', i + 2);
        if (end != std::string::npos &&
            cap.find_first_not_of("0123456789.*/", i + 2) == end) {
          i = end;
          continue;
        }
      }
      out += cap[i];
    }
    return out;
  }
  std::string out;
  PaddedInto = &out;
  tputs(cap.c_str(), 1, CollectPadded);
  PaddedInto = nullptr;
  return out;
}

std::string TerminalCap(const char* name) { return TerminalBytes(Cap(name)); }

bool CornerDrawable() {
  if (!Flag("am") || Flag("xenl")) return true;
  return !Cap("ich1").empty() || !Cap("ich").empty();
}

void ScreenOutput::Init(Charset set, OutputEncoding enc) {
  Cup = Cap("cup");
  Hpa = Cap("hpa");
  Cuf = Cap("cuf");
  Clear = TerminalCap("clear");
  Sgr0 = TerminalCap("sgr0");
  Bold = TerminalCap("bold");
  Blink = TerminalCap("blink");
  Setaf = Cap("setaf");
  Setab = Cap("setab");
  Civis = TerminalCap("civis");
  Cnorm = TerminalCap("cnorm");
  Il = Cap("il");
  Il1 = TerminalCap("il1");
  Dl = Cap("dl");
  Dl1 = TerminalCap("dl1");
  Ich = Cap("ich");
  Ich1 = TerminalCap("ich1");
  Dch = Cap("dch");
  Dch1 = TerminalCap("dch1");
  Rev = TerminalCap("rev");
  Smul = TerminalCap("smul");
  MemoryBelow = Flag("db");
  CupCache.Clear();
  HpaCache.Clear();
  CufCache.Clear();
  NumColours = std::max(0, tigetnum(const_cast<char*>("colors")));
  Bce = Flag("bce");
  AutoMargin = Flag("am");
  EatNewline = Flag("xenl");
  CanBlink = !Blink.empty();
  CanReverse = !Rev.empty();
  Colour = NumColours >= 8 && !Setaf.empty() && !Setab.empty();
  const char* blinkEnv = std::getenv("VESK_BLINK");
  BlinkWanted = blinkEnv != nullptr && std::strcmp(blinkEnv, "1") == 0;
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
  if (cols != TermCols || rowCount != TermRows) {
    Invalidate();
    CupCache.Clear();
  }
  TermCols = std::max(1, cols);
  TermRows = std::max(1, rowCount);
}

// The cursor address of a place on the screen; empty outside it.
const std::string& ScreenOutput::CupFor(int col, int row) {
  static std::string none;
  if (col < 1 || row < 1 || col > TermCols || row > TermRows) return none;
  return CupCache.Get(size_t(row - 1) * size_t(TermCols) + size_t(col - 1),
                      [&] { return Param2(Cup, row - 1, col - 1); });
}

void ScreenOutput::Invalidate() {
  Known.assign(Known.size(), false);
  CurX = CurY = -1;
  PenKnown = false;
  CursorStateKnown = false;
}

// Colour terminals show the attribute's colours.  The blink bit is a bright
// background where the terminal has 16 colours; with 8 it underlines (or,
// without underline, makes the foreground bright or else reverses), so that a highlight never vanishes half the
// time.  Real blinking only when VESK_BLINK=1 asks for it.
//
// Monochrome terminals cannot tell the colours apart, so what the colours
// mean is shown by the attributes they have: a background other than black
// is reverse video (blue, the faintest, is underlined where the terminal can
// underline), a bright foreground is bold, and the blink bit turns reverse
// video over and underlines, so that a highlight inside a reversed line (the
// selected answer of a question), one on black and one on the cross-hair
// line all stand out.
ScreenOutput::Pen ScreenOutput::PenOf(uint8_t attr) const {
  Pen p;
  const int fg = attr & 0x0F;
  const int bg = (attr >> 4) & 0x07;
  const bool blink = attr & 0x80;
  if (Colour) {
    p.Fg = AnsiOfPc[fg & 7];
    p.Bg = AnsiOfPc[bg];
    if (fg & 8) {
      if (NumColours >= 16) p.Fg += 8;
      else p.Bold = true;
    }
    if (blink) {
      if (BlinkWanted && CanBlink) p.Blink = true;
      else if (NumColours >= 16) p.Bg += 8;
      else if (!Smul.empty()) p.Underline = true;
      else if (!(fg & 8)) p.Bold = true;
      else if (CanReverse) p.Reverse = true;
      else p.Blink = CanBlink;
    }
    return p;
  }
  p.Bold = (fg & 8) && !Bold.empty();
  bool reverse = bg != 0;
  if (bg == 1 && !Smul.empty()) {
    p.Underline = true;
    reverse = false;
  }
  if (blink) {
    if (BlinkWanted && CanBlink) {
      p.Blink = true;
    } else {
      reverse = !reverse;
      if (!Smul.empty()) p.Underline = true;
    }
  }
  if (reverse) {
    if (CanReverse) p.Reverse = true;
    else if (!Smul.empty()) p.Underline = true;
    else p.Bold = !Bold.empty();
  }
  return p;
}

void ScreenOutput::SetPen(const Pen& p, std::string& out) {
  if (PenKnown && p == Current) return;
  if (Ansi) {
    // One SGR carries every change; bold, blink, reverse and underline are
    // switched off by their own parameters (22, 25, 27, 24), so nothing
    // needs a full reset.
    const bool reset = !PenKnown;
    std::string params;
    auto add = [&](int v) {
      if (!params.empty()) params += ';';
      params += std::to_string(v);
    };
    if (reset) add(0);
    if (!reset && Current.Bold && !p.Bold) add(22);
    if (!reset && Current.Blink && !p.Blink) add(25);
    if (!reset && Current.Reverse && !p.Reverse) add(27);
    if (!reset && Current.Underline && !p.Underline) add(24);
    if (p.Bold && (reset || !Current.Bold)) add(1);
    if (p.Blink && (reset || !Current.Blink)) add(5);
    if (p.Reverse && (reset || !Current.Reverse)) add(7);
    if (p.Underline && (reset || !Current.Underline)) add(4);
    if (p.Fg >= 0 && (reset || p.Fg != Current.Fg)) add(p.Fg < 8 ? 30 + p.Fg : 90 + p.Fg - 8);
    if (p.Bg >= 0 && (reset || p.Bg != Current.Bg)) add(p.Bg < 8 ? 40 + p.Bg : 100 + p.Bg - 8);
    if (params == "0") params.clear();  // "ESC [ m" is the same reset
    out += "\x1b[";
    out += params;
    out += 'm';
  } else {
    const bool reset = !PenKnown || (Current.Bold && !p.Bold) || (Current.Blink && !p.Blink) ||
                       (Current.Reverse && !p.Reverse) || (Current.Underline && !p.Underline);
    if (reset) out += Sgr0;
    if (p.Bold && (reset || !Current.Bold)) out += Bold;
    if (p.Blink && (reset || !Current.Blink)) out += Blink;
    if (p.Reverse && (reset || !Current.Reverse)) out += Rev;
    if (p.Underline && (reset || !Current.Underline)) out += Smul;
    if (p.Fg >= 0 && (reset || p.Fg != Current.Fg)) out += Param(Setaf, p.Fg);
    if (p.Bg >= 0 && (reset || p.Bg != Current.Bg)) out += Param(Setab, p.Bg);
  }
  Current = p;
  PenKnown = true;
}

bool ScreenOutput::PenDraws(Cell c) const { return PenKnown && PenOf(CellAttr(c)) == Current; }

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
  std::string best = CupFor(col, row);
  if (best.empty()) best = Param2(Cup, row - 1, col - 1);
  auto consider = [&](std::string s) {
    if (!s.empty() && (best.empty() || s.size() < best.size())) best = std::move(s);
  };
  // Rewriting the cells from fromCol to col - 1 of the row, which must be
  // unchanged and known, in the current pen.
  auto rewrite = [&](int fromCol, std::string prefix) {
    std::string s = std::move(prefix);
    for (int x = fromCol; x < col; ++x) {
      size_t i = size_t(row - 1) * size_t(width) + size_t(x - 1);
      if (!Known[i] || Front[i] != cells[i] || !PenDraws(cells[i])) return;
      s += Glyph[CellChar(cells[i])];
      if (!best.empty() && s.size() >= best.size()) return;
    }
    consider(std::move(s));
  };
  const bool known = CurX > 0 && CurY > 0;
  const bool inMargin = known && CurX > TermCols;
  if (known && CurY == row) {
    consider(HpaCache.Get(size_t(col), [&] { return Param(Hpa, col - 1); }));
    if (!inMargin && col > CurX) {
      consider(CufCache.Get(size_t(col - CurX), [&] { return Param(Cuf, col - CurX); }));
      rewrite(CurX, {});
    }
    rewrite(1, "\r");
  }
  if (known && row > CurY && row - CurY <= 4) rewrite(1, "\r" + std::string(size_t(row - CurY), '\n'));
  out += best;
  CurX = col;
  CurY = row;
}

// Bytes to bring n cells showing `shown` (nullptr: not known) to `want`:
// the glyphs of the cells that differ and an address for each run of them.
size_t ScreenOutput::SpanCost(const Cell* want, const Cell* shown, int n) const {
  size_t cost = 0;
  bool inRun = false;
  for (int x = 0; x < n; ++x) {
    const bool differs = shown == nullptr || shown[x] != want[x];
    if (differs) cost += Glyph[CellChar(want[x])].size() + (inRun ? 0 : kAddressCost);
    inRun = differs;
  }
  return cost;
}

// Which rows the terminal shows wholly known, and which of those already
// show the image.
void ScreenOutput::ScanRows(const std::vector<Cell>& cells, int width, int visCols, int visRows) {
  RowKnown.assign(size_t(visRows) + 1, 0);
  RowSame.assign(size_t(visRows) + 1, 0);
  for (int y = 1; y <= visRows; ++y) {
    const size_t i = size_t(y - 1) * size_t(width);
    RowKnown[size_t(y)] = std::memchr(Known.data() + i, 0, size_t(visCols)) == nullptr;
    const Cell* want = cells.data() + i;
    RowSame[size_t(y)] = RowKnown[size_t(y)] && std::equal(want, want + visCols, Front.data() + i);
  }
}

// Rows that moved up or down as a block, as when the text window scrolls,
// are moved on the terminal by deleting and inserting lines; the rows that
// came in are then drawn like any other change.  The block and the shift
// are the ones that save the most bytes.  Lines are deleted only from row 2
// down, so nothing leaves through the top of the screen (a terminal may keep
// such lines in its scrollback history).  Inserted rows are blank in the
// current background where the terminal fills so (bce), and are taken as
// unknown elsewhere.
bool ScreenOutput::MoveRows(const std::vector<Cell>& cells, int width, int visCols, int visRows,
                            std::string& out) {
  if (visCols != TermCols || visRows < 3 || Cup.empty()) return false;
  if ((Dl.empty() && Dl1.empty()) || (Il.empty() && Il1.empty())) return false;
  const size_t rows = size_t(visRows) + 1;  // indexed by row, from 1
  const long changedRows = long(rows) - 1 - std::count(RowSame.begin() + 1, RowSame.begin() + long(rows), 1);
  if (changedRows < 3) return false;
  const size_t w = size_t(width);
  auto newRow = [&](int y) { return cells.data() + size_t(y - 1) * w; };
  auto oldRow = [&](int y) { return Front.data() + size_t(y - 1) * w; };
  auto hash = [&](const Cell* c) {  // four cells at a time
    uint64_t h = 1469598103934665603ull;
    int x = 0;
    for (; x + 4 <= visCols; x += 4) {
      uint64_t v;
      std::memcpy(&v, c + x, sizeof v);
      h = (h ^ v) * 1099511628211ull;
    }
    for (; x < visCols; ++x) h = (h ^ c[x]) * 1099511628211ull;
    return h;
  };
  std::vector<uint64_t>& newHash = NewHash;
  std::vector<uint64_t>& oldHash = OldHash;
  newHash.assign(rows, 0);
  oldHash.assign(rows, 0);
  for (int y = 1; y <= visRows; ++y) {
    newHash[size_t(y)] = hash(newRow(y));
    if (RowKnown[size_t(y)]) oldHash[size_t(y)] = hash(oldRow(y));
  }
  auto same = [&](int y, int z) {  // new row y is what old row z shows
    return RowKnown[size_t(z)] && newHash[size_t(y)] == oldHash[size_t(z)] &&
           std::equal(newRow(y), newRow(y) + visCols, oldRow(z));
  };

  const bool blankKnown = Bce;
  // cost[y][z]: drawing new row y over old row z (z = 0: an inserted row),
  // worked out when first needed.
  std::vector<long> cost;
  std::vector<Cell> blankRow;
  auto costOver = [&](int y, int z) {
    if (cost.empty()) {
      cost.assign(rows * rows, -1);
      blankRow.assign(size_t(visCols), BlankCell);
    }
    long& c = cost[size_t(y) * rows + size_t(z)];
    if (c < 0) {
      const Cell* shown = z == 0 ? (blankKnown ? blankRow.data() : nullptr) : RowKnown[size_t(z)] ? oldRow(z) : nullptr;
      c = long(SpanCost(newRow(y), shown, visCols));
    }
    return c;
  };
  auto cup = [&](int row) { return CupFor(1, row); };
  // Up: rows t..b show what rows t+k..b showed, k blank rows at b.  Down:
  // rows t..b show what rows t-k..b-k showed, k blank rows at t.
  auto sequence = [&](int t, int b, int k, bool up) {
    const std::string del = Counted(Dl1, Dl, k), ins = Counted(Il1, Il, k);
    std::string s;
    if (up) {
      s = cup(t) + del;
      if (b < TermRows) s += cup(b - k + 1) + ins;
    } else {
      if (b < TermRows) s = cup(b - k + 1) + del;
      s += cup(t) + ins;
    }
    return s;
  };
  struct Choice {
    long Gain = 0;
    int T = 0, B = 0, K = 0;
    bool Up = false;
  } best;
  auto consider = [&](int t, int b, int k, bool up) {
    long gain = -long(sequence(t, b, k, up).size());
    for (int y = t; y <= b; ++y) {
      const int src = up ? y + k : y - k;
      const bool moved = up ? src <= b : src >= t;
      gain += costOver(y, y) - costOver(y, moved ? src : 0);
    }
    if (gain > best.Gain) best = {gain, t, b, k, up};
  };
  for (int k = 1; k <= visRows - 2; ++k) {
    // Up by k: runs of rows y (from row 2) that show old row y + k.
    for (int y = 2; y + k <= visRows;) {
      if (!same(y, y + k)) {
        ++y;
        continue;
      }
      const int y0 = y;
      bool useful = false;
      for (; y + k <= visRows && same(y, y + k); ++y) useful = useful || !RowSame[size_t(y)];
      if (!useful) continue;
      consider(y0, y - 1 + k, k, true);
      if (y - 1 + k < visRows && visRows == TermRows) consider(y0, visRows, k, true);
    }
    // Down by k: runs of rows y that show old row y - k.
    for (int y = 1 + k; y <= visRows;) {
      if (!same(y, y - k)) {
        ++y;
        continue;
      }
      const int y0 = y;
      bool useful = false;
      for (; y <= visRows && same(y, y - k); ++y) useful = useful || !RowSame[size_t(y)];
      if (!useful) continue;
      consider(y0 - k, y - 1, k, false);
      if (y - 1 < visRows && visRows == TermRows) consider(y0 - k, visRows, k, false);
    }
  }
  if (best.Gain <= 0) return false;

  const auto [gain, t, b, k, up] = best;
  if (blankKnown) SetPen(PenOf(CellAttr(BlankCell)), out);  // the colours the new rows get
  out += sequence(t, b, k, up);
  CurX = CurY = -1;  // some terminals put the cursor in column 1
  auto copyRow = [&](int to, int from) {
    std::copy_n(Front.begin() + long(size_t(from - 1) * w), w, Front.begin() + long(size_t(to - 1) * w));
    std::copy_n(Known.begin() + long(size_t(from - 1) * w), w, Known.begin() + long(size_t(to - 1) * w));
  };
  // Deleted lines may come back from below on a terminal with memory there.
  const bool blankRowsKnown = blankKnown && !(MemoryBelow && up && b == TermRows);
  auto blankRowAt = [&](int to) {
    const size_t i = size_t(to - 1) * w;
    std::fill_n(Front.begin() + long(i), w, BlankCell);
    std::fill_n(Known.begin() + long(i), w, blankRowsKnown);
  };
  if (up) {
    for (int y = t; y <= b; ++y) y + k <= b ? copyRow(y, y + k) : blankRowAt(y);
  } else {
    for (int y = b; y >= t; --y) y - k >= t ? copyRow(y, y - k) : blankRowAt(y);
  }
  return true;
}

// Cells that moved right or left within a row from its first changed cell
// on, as when a character is typed or deleted in the middle of a line, are
// moved with insert or delete character; the cells that came in are drawn.
// Where the terminal erases in the current background (bce) and the image
// wants plain blanks there (a line's end after a deletion), the pen is set
// for them first and they need nothing more.  Coloured blanks are always
// written: erased cells hold no character, and a multiplexer's capture of
// the screen reports them as nothing.
void ScreenOutput::MoveCells(const std::vector<Cell>& cells, int width, int visCols, int visRows,
                             std::string& out) {
  if (visCols != TermCols) return;
  const bool canInsert = !Ich.empty() || !Ich1.empty(), canDelete = !Dch.empty() || !Dch1.empty();
  if (!canInsert && !canDelete) return;
  const size_t w = size_t(width);
  // Whether n cells that come in erased can be left so, with the pen set
  // for them if need be (its cost in *pen).
  auto blanksWanted = [&](const Cell* c, int n, size_t* pen) {
    if (!Bce || !std::all_of(c, c + n, [](Cell x) { return x == BlankCell; })) return false;
    *pen = PenDraws(BlankCell) ? 0 : kAddressCost;
    return true;
  };
  for (int y = 1; y <= visRows; ++y) {
    if (RowSame[size_t(y)] || !RowKnown[size_t(y)]) continue;
    const size_t i = size_t(y - 1) * w;
    const Cell* want = cells.data() + i;
    const Cell* shown = Front.data() + i;
    const int a = int(std::mismatch(want, want + visCols, shown).first - want);  // the first changed cell
    if (a >= visCols - 1) continue;
    const int n = visCols - a;
    long before = -1;  // the cost without a shift, once a shift is worth weighing
    long bestGain = 0;
    int bestK = 0;  // > 0 insert, < 0 delete
    // A shift by k must at least bring the next few cells into place.
    auto lineUp = [&](const Cell* p, const Cell* q, int len) {
      return std::equal(p, p + std::min(len, 3), q);
    };
    auto incomingCost = [&](const Cell* c, int k) {
      size_t pen = 0;
      return blanksWanted(c, k, &pen) ? pen : SpanCost(c, nullptr, k);
    };
    for (int k = 1; k <= kMaxCellShift && k < n; ++k) {
      if (canInsert && lineUp(want + a + k, shown + a, n - k)) {
        if (before < 0) before = long(SpanCost(want + a, shown + a, n));
        const long after = long(incomingCost(want + a, k) + SpanCost(want + a + k, shown + a, n - k));
        const long gain = before - after - long(Counted(Ich1, Ich, k).size());
        if (gain > bestGain) bestGain = gain, bestK = k;
      }
      if (canDelete && lineUp(want + a, shown + a + k, n - k)) {
        if (before < 0) before = long(SpanCost(want + a, shown + a, n));
        const long after = long(SpanCost(want + a, shown + a + k, n - k) + incomingCost(want + visCols - k, k));
        const long gain = before - after - long(Counted(Dch1, Dch, k).size());
        if (gain > bestGain) bestGain = gain, bestK = -k;
      }
    }
    if (bestK == 0) continue;
    const int k = bestK > 0 ? bestK : -bestK;
    const int in = bestK > 0 ? a : visCols - k;  // where the new cells come in
    size_t pen = 0;
    const bool blanks = blanksWanted(want + in, k, &pen);
    MoveTo(a + 1, y, cells, width, out);
    if (blanks && pen > 0) SetPen(PenOf(CellAttr(want[in])), out);
    auto front = Front.begin() + long(i);
    if (bestK > 0) {
      out += Counted(Ich1, Ich, k);
      std::copy_backward(front + a, front + visCols - k, front + visCols);
    } else {
      out += Counted(Dch1, Dch, k);
      std::copy(front + a + k, front + visCols, front + a);
    }
    std::copy_n(want + in, k, front + in);
    std::fill_n(Known.begin() + long(i) + in, k, blanks);
  }
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

  if (!force) {
    ScanRows(cells, width, visCols, visRows);
    if (MoveRows(cells, width, visCols, visRows, out)) ScanRows(cells, width, visCols, visRows);
    MoveCells(cells, width, visCols, visRows, out);
  }

  for (int y = 1; y <= visRows; ++y) {
    for (int x = 1; x <= visCols; ++x) {
      size_t i = size_t(y - 1) * size_t(width) + size_t(x - 1);
      if (Known[i] && Front[i] == cells[i]) continue;
      // The bottom-right cell would scroll a terminal that wraps at once:
      // its character is written in the cell to its left and pushed into
      // place by inserting the left one before it.  Without insert
      // character the corner stays blank (the editor's screen then leaves
      // the terminal's last row alone, see CornerDrawable).
      if (AutoMargin && !EatNewline && y == TermRows && x == TermCols) {
        if (TermCols >= 2 && (!Ich1.empty() || !Ich.empty())) DrawCorner(cells, width, out);
        continue;
      }
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

void ScreenOutput::DrawCorner(const std::vector<Cell>& cells, int width, std::string& out) {
  const size_t i = size_t(TermRows - 1) * size_t(width) + size_t(TermCols - 1);
  if (i < 1 || i >= cells.size()) return;
  MoveTo(TermCols - 1, TermRows, cells, width, out);
  PutCell(cells[i], out);
  Known[i - 1] = false;
  CurX = TermCols;
  MoveTo(TermCols - 1, TermRows, cells, width, out);
  out += Counted(Ich1, Ich, 1);
  PutCell(cells[i - 1], out);
  Front[i - 1] = cells[i - 1];
  Front[i] = cells[i];
  Known[i - 1] = Known[i] = true;
  CurX = TermCols;
}

std::string ScreenOutput::ResetSequence() const { return Sgr0; }
