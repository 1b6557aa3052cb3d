// The terminal layer's output replayed through libvterm: whatever bytes
// ScreenOutput sends, an independent emulator must end up showing exactly
// the cell image, in the right colours, with the cursor where it belongs.
#include "screen/output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <vterm.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "screen/glyphs.h"

// Last: term.h defines a macro for every capability name.
#include <term.h>
#undef lines
#undef columns
#undef bell
#undef tab

namespace {

constexpr int kAnsiOfPc[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// Loads a terminfo entry as if the terminal were on /dev/null.
bool UseTerminal(const char* name) {
  unsetenv("VESK_BLINK");
  static const int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  int err = 0;
  return setupterm(name, fd, &err) == 0 && err == 1;
}

std::string Cap(const char* name) {
  char* s = tigetstr(const_cast<char*>(name));
  return s == nullptr || s == reinterpret_cast<char*>(-1) ? std::string() : std::string(s);
}

bool Flag(const char* name) { return tigetflag(const_cast<char*>(name)) > 0; }

// What the terminal in use can show, read from its entry.
struct TermTraits {
  int Colours = 8;
  bool Colour = true;  // 8 colours or more, with setaf and setab
  bool CanBlink = false, CanReverse = false, CanUnderline = false, CanBold = false;
  bool CanHideCursor = false;
  bool CornerUnwritable = false;  // writing the bottom-right cell would scroll
  bool BlinkWanted = false;       // VESK_BLINK=1 when the output was set up
  static TermTraits Current(bool blinkWanted = false) {
    TermTraits t;
    t.Colours = tigetnum(const_cast<char*>("colors"));
    t.Colour = t.Colours >= 8 && !Cap("setaf").empty() && !Cap("setab").empty();
    t.CanBlink = !Cap("blink").empty();
    t.CanReverse = !Cap("rev").empty();
    t.CanUnderline = !Cap("smul").empty();
    t.CanBold = !Cap("bold").empty();
    t.CanHideCursor = !Cap("civis").empty();
    t.CornerUnwritable = Flag("am") && !Flag("xenl") && Cap("ich").empty() && Cap("ich1").empty();
    t.BlinkWanted = blinkWanted;
    return t;
  }
};

std::string CupTo(int col, int row) {
  char* s = tiparm(Cap("cup").c_str(), row - 1, col - 1);
  return s ? s : "";
}

struct Expected {
  char32_t Ch;
  int Fg, Bg;
  bool Bold, Blink, Reverse = false, Underline = false;
};

// Colour terminals: the colours, bright foregrounds bright or bold, the
// blink bit a bright background (16 colours) or underlined (8), never
// blinking unless asked.  Monochrome: a background is reverse video (blue
// underlined), bright is bold, and the blink bit turns reverse video over
// and underlines.
Expected ExpectedOf(Cell c, Charset set, const TermTraits& t) {
  const uint8_t a = CellAttr(c);
  const bool blink = a & 0x80;
  const int bg = (a >> 4) & 7;
  Expected e{GlyphOf(set, CellChar(c)), kAnsiOfPc[a & 7], kAnsiOfPc[bg], false, false};
  if (t.Colour) {
    if (a & 0x08) {
      if (t.Colours >= 16) e.Fg += 8;
      else e.Bold = true;
    }
    if (blink) {
      if (t.BlinkWanted && t.CanBlink) e.Blink = true;
      else if (t.Colours >= 16) e.Bg += 8;
      else if (t.CanUnderline) e.Underline = true;
      else if (!(a & 0x08)) e.Bold = true;
      else e.Reverse = t.CanReverse;
    }
    return e;
  }
  e.Fg = e.Bg = -1;
  e.Bold = (a & 0x08) && t.CanBold;
  bool reverse = bg != 0;
  if (bg == 1 && t.CanUnderline) {
    e.Underline = true;
    reverse = false;
  }
  if (blink) {
    if (t.BlinkWanted && t.CanBlink) {
      e.Blink = true;
    } else {
      reverse = !reverse;
      e.Underline = e.Underline || t.CanUnderline;
    }
  }
  e.Reverse = reverse;
  return e;
}

class Emulator {
 public:
  Emulator(int rows, int cols) : Rows(rows), Cols(cols), Vt(vterm_new(rows, cols)) {
    vterm_set_utf8(Vt, 1);
    Screen = vterm_obtain_screen(Vt);
    Callbacks.settermprop = &Emulator::OnProp;
    Callbacks.sb_pushline = &Emulator::OnScroll;
    vterm_screen_set_callbacks(Screen, &Callbacks, this);
    vterm_screen_reset(Screen, 1);
  }
  ~Emulator() { vterm_free(Vt); }
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  void Write(std::string_view s) { vterm_input_write(Vt, s.data(), s.size()); }

  // The first cell of the emulator's screen that differs from the image
  // (whose top-left Rows x Cols part the emulator shows), or "".
  std::string Compare(const std::vector<Cell>& cells, int width, Charset set, const TermTraits& t) const {
    for (int row = 0; row < Rows; ++row) {
      for (int col = 0; col < Cols; ++col) {
        const size_t i = size_t(row) * size_t(width) + size_t(col);
        if (col >= width || i >= cells.size()) return "image smaller than the emulator";
        if (t.CornerUnwritable && row == Rows - 1 && col == Cols - 1) continue;
        const Expected e = ExpectedOf(cells[i], set, t);
        VTermScreenCell vc{};
        vterm_screen_get_cell(Screen, VTermPos{row, col}, &vc);
        const char32_t got = vc.chars[0] == 0 ? U' ' : char32_t(vc.chars[0]);
        const bool fgOk = e.Fg < 0 ? VTERM_COLOR_IS_DEFAULT_FG(&vc.fg)
                                   : VTERM_COLOR_IS_INDEXED(&vc.fg) && vc.fg.indexed.idx == e.Fg;
        const bool bgOk = e.Bg < 0 ? VTERM_COLOR_IS_DEFAULT_BG(&vc.bg)
                                   : VTERM_COLOR_IS_INDEXED(&vc.bg) && vc.bg.indexed.idx == e.Bg;
        if (got != e.Ch || vc.chars[1] != 0 || vc.width != 1 || !fgOk || !bgOk || vc.attrs.bold != e.Bold ||
            vc.attrs.blink != e.Blink || vc.attrs.reverse != e.Reverse || (vc.attrs.underline != 0) != e.Underline ||
            vc.attrs.italic) {
          char buf[240];
          std::snprintf(buf, sizeof buf,
                        "row %d col %d cell %04X: want U+%04X fg %d bg %d bold %d blink %d reverse %d underline %d; "
                        "got U+%04X width %d fg %s%d bg %s%d bold %d blink %d reverse %d underline %d",
                        row + 1, col + 1, unsigned(cells[i]), unsigned(e.Ch), e.Fg, e.Bg, e.Bold, e.Blink,
                        e.Reverse, e.Underline, unsigned(got), vc.width, VTERM_COLOR_IS_INDEXED(&vc.fg) ? "" : "rgb?",
                        vc.fg.indexed.idx, VTERM_COLOR_IS_INDEXED(&vc.bg) ? "" : "rgb?", vc.bg.indexed.idx,
                        int(vc.attrs.bold), int(vc.attrs.blink), int(vc.attrs.reverse), int(vc.attrs.underline));
          return buf;
        }
      }
    }
    return {};
  }

  // How a cell looks: its glyph, the colours it shows (after reverse
  // video; -1 and -2 the default foreground and background), bold,
  // underline and blink.
  std::string Looks(int row, int col) const {
    VTermScreenCell vc{};
    vterm_screen_get_cell(Screen, VTermPos{row, col}, &vc);
    int fg = VTERM_COLOR_IS_DEFAULT_FG(&vc.fg) ? -1 : vc.fg.indexed.idx;
    int bg = VTERM_COLOR_IS_DEFAULT_BG(&vc.bg) ? -2 : vc.bg.indexed.idx;
    if (vc.attrs.reverse) std::swap(fg, bg);
    return "fg " + std::to_string(fg) + " bg " + std::to_string(bg) + (vc.attrs.bold ? " bold" : "") +
           (vc.attrs.underline ? " underline" : "") + (vc.attrs.blink ? " blink" : "");
  }

  VTermPos Cursor() const {
    VTermPos p{};
    vterm_state_get_cursorpos(vterm_obtain_state(Vt), &p);
    return p;
  }

  bool CursorVisible = true;
  int Scrolls = 0;  // lines pushed off the top

 private:
  static int OnProp(VTermProp prop, VTermValue* val, void* user) {
    if (prop == VTERM_PROP_CURSORVISIBLE) static_cast<Emulator*>(user)->CursorVisible = val->boolean != 0;
    return 1;
  }
  static int OnScroll(int, const VTermScreenCell*, void* user) {
    ++static_cast<Emulator*>(user)->Scrolls;
    return 1;
  }

  int Rows, Cols;
  VTerm* Vt;
  VTermScreen* Screen = nullptr;
  VTermScreenCallbacks Callbacks{};
};

// Successive frames the way an editor changes them: nothing, a cell, a few
// cells, runs of one attribute, a scroll by a row, a block of rows moved up
// or down, characters inserted or deleted within rows, or a whole new
// picture.
class FrameMaker {
 public:
  FrameMaker(unsigned seed, int width, int height) : Rng(seed), Width(width) {
    Frame.assign(size_t(width) * size_t(height), BlankCell);
  }

  const std::vector<Cell>& Next() {
    const size_t n = Frame.size();
    const size_t w = size_t(Width), rows = n / w;
    switch (Below(9)) {
      case 0: break;
      case 1: Frame[Below(n)] = RandomCell(); break;
      case 2:
        for (size_t k = Below(12) + 1; k > 0; --k) Frame[Below(n)] = RandomCell();
        break;
      case 3:
        for (size_t k = Below(6) + 1; k > 0; --k) {
          const size_t start = Below(n), len = Below(size_t(Width) * 2) + 1;
          const uint8_t attr = RandomAttr();
          for (size_t i = start; i < std::min(n, start + len); ++i) Frame[i] = MakeCell(RandomChar(), attr);
        }
        break;
      case 4:
        std::rotate(Frame.begin(), Frame.begin() + Width, Frame.end());
        for (size_t i = n - size_t(Width); i < n; ++i) Frame[i] = RandomCell();
        break;
      case 5: {  // rows top..bottom move by k, new rows come in
        const size_t top = Below(rows - 1), bottom = top + 1 + Below(rows - top - 1);
        const size_t k = 1 + Below(bottom - top);
        auto first = Frame.begin() + long(top * w), last = Frame.begin() + long((bottom + 1) * w);
        const bool up = Below(2) == 0;
        std::rotate(first, up ? first + long(k * w) : last - long(k * w), last);
        auto fresh = up ? last - long(k * w) : first;
        for (auto it = fresh; it != fresh + long(k * w); ++it) *it = RandomCell();
        break;
      }
      case 6:  // characters typed or deleted in a few rows
        for (size_t r = Below(4) + 1; r > 0; --r) {
          const size_t row = Below(rows), col = Below(w), k = 1 + Below(3);
          auto first = Frame.begin() + long(row * w + col), last = Frame.begin() + long((row + 1) * w);
          if (size_t(last - first) <= k) continue;
          if (Below(2) == 0) {
            std::copy_backward(first, last - long(k), last);
            for (size_t j = 0; j < k; ++j) first[long(j)] = RandomCell();
          } else {
            std::copy(first + long(k), last, first);
            for (size_t j = 1; j <= k; ++j) last[-long(j)] = RandomCell();
          }
        }
        break;
      default:
        for (Cell& c : Frame) c = RandomCell();
        break;
    }
    return Frame;
  }

  // A cursor position, now and then outside the screen.
  std::pair<int, int> Cursor(int cols, int rows) {
    static constexpr int kOff[][2] = {{0, 1}, {1, 0}, {-5, 3}, {1, 9999}};
    if (Below(5) == 0) {
      const auto& o = kOff[Below(std::size(kOff))];
      const bool pastEdge = Below(2) == 0;
      return pastEdge ? std::pair{cols + 1 + int(Below(40)), int(Below(size_t(rows))) + 1}
                      : std::pair{o[0], o[1]};
    }
    return {int(Below(size_t(cols))) + 1, int(Below(size_t(rows))) + 1};
  }

  size_t Below(size_t n) { return n == 0 ? 0 : size_t(Rng() % n); }

  // Every byte of the set, weighted to the awkward ones: controls, 127,
  // and the upper half with box drawing and Cyrillic.
  uint8_t RandomChar() {
    switch (Below(4)) {
      case 0: return uint8_t(Below(32));
      case 1: return Below(4) == 0 ? 0x7F : uint8_t(0x20 + Below(0x5F));
      default: return uint8_t(Below(256));
    }
  }
  // Half from a small palette so that runs share a pen, half anything.
  uint8_t RandomAttr() {
    static constexpr uint8_t kPalette[] = {0x07, 0x1E, 0x70, 0x4F};
    return Below(2) ? kPalette[Below(std::size(kPalette))] : uint8_t(Below(256));
  }
  Cell RandomCell() { return MakeCell(RandomChar(), RandomAttr()); }

  std::mt19937 Rng;
  int Width;
  std::vector<Cell> Frame;
};

// Bytes below 0x20 other than ESC, CR and LF (and SI, which some sgr0
// strings end in), DEL, UTF-8 C1 controls, or terminfo padding left in.
std::string ControlLeak(std::string_view bytes) {
  for (size_t pad = bytes.find("$<"); pad != std::string_view::npos; pad = bytes.find("$<", pad + 1)) {
    const size_t end = bytes.find_first_not_of("0123456789.*/", pad + 2);
    if (end != std::string_view::npos && end > pad + 2 && bytes[end] == '>')
      return "padding " + std::string(bytes.substr(pad, end + 1 - pad)) + " at offset " + std::to_string(pad);
  }
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t b = uint8_t(bytes[i]);
    const bool c0 = b < 0x20 && b != 0x1B && b != '\r' && b != '\n' && b != 0x0F;
    const bool c1 = b == 0xC2 && i + 1 < bytes.size() && uint8_t(bytes[i + 1]) >= 0x80 &&
                    uint8_t(bytes[i + 1]) <= 0x9F;
    if (c0 || b == 0x7F || c1) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "byte %02X at offset %zu of %zu", b, i, bytes.size());
      return buf;
    }
  }
  return {};
}

// Whether bytes hold a "CSI params m".
bool HasSgr(std::string_view bytes) {
  for (size_t i = bytes.find("\x1b["); i != std::string_view::npos; i = bytes.find("\x1b[", i + 1)) {
    size_t j = i + 2;
    while (j < bytes.size() && ((bytes[j] >= '0' && bytes[j] <= '9') || bytes[j] == ';')) ++j;
    if (j < bytes.size() && bytes[j] == 'm') return true;
  }
  return false;
}

// 256, 8 and no colours, bce or not, ECMA-48 setaf or 38;5 (so separate
// capabilities), the FreeBSD console and ansi: no xenl, no civis; the DEC
// terminals: no colours, padding in their capabilities.
constexpr const char* kTerminals[] = {"xterm-256color", "xterm", "linux", "screen-256color", "rxvt-unicode-256color",
                                      "cons25", "xterm-mono", "vt100", "vt220", "ansi"};
constexpr Charset kSets[] = {Charset::Koi8, Charset::Cp866};

// Renders `frames` successive frames of an image of width x height on a
// terminal of cols x rows and checks the emulator after each one.
void RunFrames(const char* term, Charset set, int width, int height, int cols, int rows, int frames,
               unsigned seed) {
  SCOPED_TRACE(testing::Message() << term << " set " << int(set) << " image " << width << "x" << height
                                  << " terminal " << cols << "x" << rows << " seed " << seed);
  ASSERT_TRUE(UseTerminal(term));
  const TermTraits traits = TermTraits::Current();
  ScreenOutput out;
  out.Init(set, OutputEncoding::Utf8);
  out.SetTerminalSize(cols, rows);
  Emulator emu(rows, cols);
  FrameMaker maker(seed, width, height);
  for (int f = 0; f < frames; ++f) {
    const std::vector<Cell>& frame = maker.Next();
    const auto [cx, cy] = maker.Cursor(std::min(width, cols), std::min(height, rows));
    const bool force = maker.Below(6) == 0;
    std::string bytes;
    out.Render(frame, width, height, cx, cy, force, bytes);
    emu.Write(bytes);
    SCOPED_TRACE(testing::Message() << "frame " << f << " cursor " << cx << "," << cy << " force " << force);
    ASSERT_EQ(emu.Compare(frame, width, set, traits), "");
    ASSERT_EQ(ControlLeak(bytes), "");
    ASSERT_EQ(emu.Scrolls, 0);
    const bool visible = cx >= 1 && cx <= std::min(width, cols) && cy >= 1 && cy <= std::min(height, rows);
    if (traits.CanHideCursor) {
      ASSERT_EQ(emu.CursorVisible, visible);
    }
    if (visible) {
      ASSERT_EQ(emu.Cursor().row, cy - 1);
      ASSERT_EQ(emu.Cursor().col, cx - 1);
    }
  }
}

TEST(Output, FramesMatchAnEmulator) {
  unsigned seed = 1;
  for (const char* term : kTerminals)
    for (Charset set : kSets)
      for (int width : {80, 100, 132})
        for (int height : {25, 43}) RunFrames(term, set, width, height, width, height, 12, seed++);
}

// A terminal smaller than the image shows its top-left part; nothing is
// written past its right edge (which would wrap) or its bottom (scroll).
TEST(Output, SmallerTerminalShowsTheTopLeft) {
  struct Case {
    int Width, Height, Cols, Rows;
  };
  constexpr Case kCases[] = {{80, 25, 70, 25}, {80, 25, 80, 20}, {132, 43, 100, 30}, {100, 25, 99, 24}};
  unsigned seed = 100;
  for (const char* term : {"xterm-256color", "rxvt-unicode-256color", "cons25"})
    for (const Case& c : kCases) RunFrames(term, Charset::Koi8, c.Width, c.Height, c.Cols, c.Rows, 25, seed++);
}

// Pairs of attributes the editor's screens set side by side to mark
// something: plain text and a marked block, the answers of a question and
// its selected answer (blink bit set), those of the second set of menus,
// a plain line and the cross-hair, the cross-hair and its cursor cell, the
// cross-hair and a block, plain and bright.  On every terminal the two
// must look different, and nothing blinks unless VESK_BLINK=1 asks.
TEST(Output, HighlightsStayVisibleWithoutBlinking) {
  constexpr uint8_t kPairs[][2] = {{0x07, 0x70}, {0x2F, 0xDF}, {0x5F, 0x9C}, {0x3F, 0xDF}, {0x07, 0x17},
                                   {0x17, 0x97}, {0x17, 0x70}, {0x07, 0x0F}, {0x1E, 0x70}, {0x07, 0xF0}};
  for (const char* term : kTerminals) {
    for (bool blinkWanted : {false, true}) {
      SCOPED_TRACE(testing::Message() << term << (blinkWanted ? " VESK_BLINK=1" : ""));
      ASSERT_TRUE(UseTerminal(term));
      if (blinkWanted) setenv("VESK_BLINK", "1", 1);
      const TermTraits traits = TermTraits::Current(blinkWanted);
      ScreenOutput out;
      out.Init(Charset::Koi8, OutputEncoding::Utf8);
      unsetenv("VESK_BLINK");
      std::vector<Cell> frame(80 * 25, BlankCell);
      for (size_t k = 0; k < std::size(kPairs); ++k)
        for (size_t x = 0; x < 80; ++x) frame[(k + 1) * 80 + x] = MakeCell('a' + x % 26, kPairs[k][x / 40]);
      std::string bytes;
      out.Render(frame, 80, 25, 1, 1, true, bytes);
      Emulator emu(25, 80);
      emu.Write(bytes);
      ASSERT_EQ(emu.Compare(frame, 80, Charset::Koi8, traits), "");
      for (size_t k = 0; k < std::size(kPairs); ++k) {
        const int row = int(k) + 1;
        const std::string a = emu.Looks(row, 0), b = emu.Looks(row, 79);
        EXPECT_NE(a, b) << std::hex << "attributes " << int(kPairs[k][0]) << " and " << int(kPairs[k][1]);
        const bool blinks = b.find("blink") != std::string::npos;
        if (!blinkWanted || !traits.CanBlink) {
          EXPECT_FALSE(blinks) << std::hex << int(kPairs[k][1]) << ": " << b;
        } else if (kPairs[k][1] & 0x80) {
          EXPECT_TRUE(blinks) << std::hex << int(kPairs[k][1]) << ": " << b;
        }
      }
    }
  }
}

// On a terminal that scrolls when its bottom-right cell is written (ansi,
// the FreeBSD console) the cell is still drawn, by inserting: a text whose
// line reaches the last column keeps its last character in sight, and
// nothing scrolls.
TEST(Output, BottomRightCellIsDrawnWithoutScrolling) {
  for (const char* term : {"ansi", "cons25"}) {
    SCOPED_TRACE(term);
    ASSERT_TRUE(UseTerminal(term));
    ASSERT_TRUE(Flag("am") && !Flag("xenl"));
    EXPECT_TRUE(CornerDrawable());
    const TermTraits traits = TermTraits::Current();
    for (int width : {80, 132}) {
      ScreenOutput out;
      out.Init(Charset::Koi8, OutputEncoding::Utf8);
      out.SetTerminalSize(width, 25);
      Emulator emu(25, width);
      std::vector<Cell> frame(size_t(width) * 25, BlankCell);
      const size_t last = frame.size() - 1;
      for (int step = 0; step < 6; ++step) {
        frame[last] = MakeCell(uint8_t('Z' - step), step % 2 ? 0x70 : 0x1E);
        if (step >= 3) frame[last - 1] = MakeCell(uint8_t('a' + step), 0x4F);
        std::string bytes;
        out.Render(frame, width, 25, 1 + step, 3, step == 4, bytes);
        emu.Write(bytes);
        ASSERT_EQ(emu.Compare(frame, width, Charset::Koi8, traits), "") << "step " << step;
        ASSERT_EQ(emu.Scrolls, 0);
      }
    }
  }
  // Without insert character the editor's screen leaves the last row.
  ASSERT_TRUE(UseTerminal("vt52"));
  EXPECT_EQ(Flag("am") && !Flag("xenl") && Cap("ich").empty() && Cap("ich1").empty(), !CornerDrawable());
}

// vt100's capabilities carry padding ("$<5>"); none of it reaches the
// screen.
TEST(Output, PaddingNeverReachesTheScreen) {
  for (const char* term : {"vt100", "vt220", "vt102"}) {
    SCOPED_TRACE(term);
    ASSERT_TRUE(UseTerminal(term));
    for (const char* cap : {"cup", "clear", "sgr0", "rev", "bold", "el"}) {
      const std::string raw = Cap(cap);
      const std::string sent = TerminalBytes(raw);
      EXPECT_EQ(sent.find("$<"), std::string::npos) << cap << ": " << testing::PrintToString(sent);
    }
  }
}

// Output split into escape sequences, single bytes and UTF-8 characters.
std::vector<std::string_view> Tokens(std::string_view s) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (i < s.size()) {
    size_t j = i + 1;
    if (s[i] == '\x1b' && j < s.size()) {
      if (s[j] == '[') {
        ++j;
        while (j < s.size() && !(s[j] >= 0x40 && s[j] <= 0x7E)) ++j;
        ++j;
      } else {
        j += s[j] == '(' || s[j] == ')' ? 2 : 1;
      }
    } else if (uint8_t(s[i]) >= 0xC0) {
      while (j < s.size() && (uint8_t(s[j]) & 0xC0) == 0x80) ++j;
    }
    j = std::min(j, s.size());
    tokens.push_back(s.substr(i, j - i));
    i = j;
  }
  return tokens;
}

// A terminal with automatic margins but without xenl (the FreeBSD console)
// moves to the next row as soon as the last column is written, where xenl
// terminals like libvterm stay put.  So after a glyph in the last column the
// next move must be a cursor address, whatever the emulator would accept,
// and the bottom-right cell is never written.
TEST(Output, AfterTheLastColumnOnlyACursorAddressMoves) {
  ASSERT_TRUE(UseTerminal("cons25"));
  ASSERT_TRUE(Flag("am") && !Flag("xenl"));
  const TermTraits traits = TermTraits::Current();
  const std::string cnorm = Cap("cnorm"), civis = Cap("civis");
  int lastColumnGlyphs = 0;
  for (int width : {80, 132}) {
    ScreenOutput out;
    out.Init(Charset::Cp866, OutputEncoding::Utf8);
    out.SetTerminalSize(width, 25);
    Emulator emu(25, width);
    FrameMaker maker(unsigned(width), width, 25);
    bool afterLast = false;
    for (int f = 0; f < 40; ++f) {
      const std::vector<Cell>& frame = maker.Next();
      const auto [cx, cy] = maker.Cursor(width, 25);
      std::string bytes;
      out.Render(frame, width, 25, cx, cy, maker.Below(6) == 0, bytes);
      for (std::string_view tok : Tokens(bytes)) {
        const bool csi = tok.size() > 2 && tok[0] == '\x1b' && tok[1] == '[';
        const bool glyph = uint8_t(tok[0]) >= 0x20;
        if (afterLast) {
          if (csi && tok.back() == 'H') {
            afterLast = false;
          } else {
            ASSERT_TRUE((csi && tok.back() == 'm') || tok == cnorm || tok == civis)
                << "frame " << f << ": " << testing::PrintToString(std::string(tok))
                << " after a glyph in the last column";
          }
        }
        if (glyph && emu.Cursor().col == width - 1) {
          ASSERT_NE(emu.Cursor().row, 24) << "frame " << f << ": the bottom-right cell scrolls this terminal";
          afterLast = true;
          ++lastColumnGlyphs;
        }
        emu.Write(tok);
      }
      ASSERT_EQ(emu.Compare(frame, width, Charset::Cp866, traits), "") << "frame " << f;
    }
  }
  EXPECT_GT(lastColumnGlyphs, 20);
}

// After someone else wrote to the terminal, Invalidate makes the next
// render repaint every cell, pen and cursor state from scratch.
TEST(Output, InvalidateRepaintsWhatOthersOverwrote) {
  for (const char* term : {"xterm-256color", "cons25"}) {
    ASSERT_TRUE(UseTerminal(term));
    const TermTraits traits = TermTraits::Current();
    ScreenOutput out;
    out.Init(Charset::Koi8, OutputEncoding::Utf8);
    Emulator emu(25, 80);
    FrameMaker maker(5, 80, 25);
    std::vector<Cell> frame(80 * 25);
    for (Cell& c : frame) c = maker.RandomCell();
    std::string bytes;
    out.Render(frame, 80, 25, 10, 10, false, bytes);
    emu.Write(bytes);
    emu.Write("\x1b[0;1;5;7;35;42m\x1b[H\x1b[2Jshell output\r\n$ \x1b[?25l\x1b[4;4H");
    out.Invalidate();
    bytes.clear();
    out.Render(frame, 80, 25, 10, 10, false, bytes);
    emu.Write(bytes);
    EXPECT_EQ(emu.Compare(frame, 80, Charset::Koi8, traits), "") << term;
    if (traits.CanHideCursor) {
      EXPECT_TRUE(emu.CursorVisible) << term;
    }
    EXPECT_EQ(emu.Cursor().row, 9) << term;
    EXPECT_EQ(emu.Cursor().col, 9) << term;
  }
}

// Frames made of nothing but control bytes and DEL, in every output
// encoding: none of them reaches the terminal as a control.
TEST(Output, CellBytesNeverReachTheTerminalAsControls) {
  for (const char* term : kTerminals) {
    ASSERT_TRUE(UseTerminal(term));
    for (Charset set : kSets) {
      for (OutputEncoding enc : {OutputEncoding::Utf8, OutputEncoding::Koi8, OutputEncoding::Cp866}) {
        ScreenOutput out;
        out.Init(set, enc);
        FrameMaker maker(7, 80, 25);
        std::vector<Cell> frame(80 * 25);
        for (int f = 0; f < 4; ++f) {
          for (size_t i = 0; i < frame.size(); ++i) {
            const uint8_t ch = i % 33 == 32 ? 0x7F : uint8_t(i % 33);
            frame[i] = MakeCell(ch, maker.RandomAttr());
          }
          std::string bytes;
          out.Render(frame, 80, 25, 1 + f, 1, f == 2, bytes);
          EXPECT_EQ(ControlLeak(bytes), "") << term << " set " << int(set) << " encoding " << int(enc);
        }
      }
    }
  }
}

// Once the terminal shows a frame, one changed cell costs a cursor address,
// perhaps an SGR, and the glyph; an unchanged frame costs nothing but the
// cursor's move.
TEST(Output, ChangesCostOnlyTheirOwnBytes) {
  ASSERT_TRUE(UseTerminal("xterm-256color"));
  const TermTraits traits = TermTraits::Current();
  constexpr size_t kMaxSgr = 14;  // "ESC [ 0;1;5;37;47 m"
  for (bool uniform : {true, false}) {
    SCOPED_TRACE(uniform ? "one attribute everywhere" : "random attributes");
    ScreenOutput out;
    out.Init(Charset::Koi8, OutputEncoding::Utf8);
    Emulator emu(25, 80);
    FrameMaker maker(uniform ? 11 : 12, 80, 25);
    std::vector<Cell> frame(80 * 25);
    for (Cell& c : frame) c = uniform ? MakeCell(maker.RandomChar(), 0x1E) : maker.RandomCell();
    std::string bytes;
    out.Render(frame, 80, 25, 0, 0, true, bytes);  // cursor hidden
    emu.Write(bytes);
    for (int k = 0; k < 200; ++k) {
      const size_t i = maker.Below(frame.size());
      const int col = int(i % 80) + 1, row = int(i / 80) + 1;
      const uint8_t ch = uint8_t(CellChar(frame[i]) ^ (1 + maker.Below(255)));
      frame[i] = MakeCell(ch, uniform ? 0x1E : maker.RandomAttr());
      bytes.clear();
      out.Render(frame, 80, 25, 0, 0, false, bytes);
      emu.Write(bytes);
      const size_t glyph = Utf8Of(GlyphOf(Charset::Koi8, ch)).size();
      const size_t bound = CupTo(col, row).size() + (uniform ? 0 : kMaxSgr) + glyph;
      ASSERT_LE(bytes.size(), bound) << "cell " << col << "," << row << " change " << k;
      if (uniform) {
        ASSERT_FALSE(HasSgr(bytes)) << "an SGR for an unchanged pen";
      }
      ASSERT_EQ(emu.Compare(frame, 80, Charset::Koi8, traits), "") << "change " << k;
    }
    // Unchanged frames: nothing, then just the cursor's moves.
    bytes.clear();
    out.Render(frame, 80, 25, 0, 0, false, bytes);
    EXPECT_EQ(bytes, "");
    const int moves[][2] = {{10, 5}, {10, 5}, {11, 5}, {1, 6}, {80, 25}, {40, 12}};
    for (const auto& m : moves) {
      bytes.clear();
      out.Render(frame, 80, 25, m[0], m[1], false, bytes);
      emu.Write(bytes);
      EXPECT_LE(bytes.size(), CupTo(m[0], m[1]).size() + Cap("cnorm").size()) << m[0] << "," << m[1];
      EXPECT_TRUE(emu.CursorVisible);
      EXPECT_EQ(emu.Cursor().col, m[0] - 1);
      EXPECT_EQ(emu.Cursor().row, m[1] - 1);
      EXPECT_EQ(emu.Compare(frame, 80, Charset::Koi8, traits), "");
    }
    bytes.clear();
    out.Render(frame, 80, 25, 40, 12, false, bytes);
    EXPECT_EQ(bytes, "") << "the cursor did not move";
    bytes.clear();
    out.Render(frame, 80, 25, 81, 12, false, bytes);
    EXPECT_EQ(bytes, Cap("civis"));
  }
}

// An editor's screen: a status row, a message row and a text window of
// lines of words (Cyrillic and Latin letters, blanks), blank after the
// line's end.
struct EditorScreen {
  static constexpr int kCols = 80, kRows = 25, kTop = 3;
  std::vector<std::vector<Cell>> Lines;
  int WindowTop = 0;
  EditorScreen(unsigned seed, int count) {
    std::mt19937 rng(seed);
    for (int n = 0; n < count; ++n) {
      std::vector<Cell> line(kCols, BlankCell);
      const int len = 20 + int(rng() % 55);
      for (int x = 0; x < len; ++x) {
        const uint8_t ch = rng() % 6 == 0 ? uint8_t(' ') : rng() % 2 ? uint8_t('a' + rng() % 26)
                                                                      : uint8_t(0xC0 + rng() % 64);
        line[size_t(x)] = MakeCell(ch, 0x07);
      }
      Lines.push_back(line);
    }
  }
  std::vector<Cell> Frame(int status) const {
    std::vector<Cell> f(size_t(kCols) * kRows, BlankCell);
    const std::string s = "line=" + std::to_string(status);
    for (size_t x = 0; x < s.size(); ++x) f[x] = MakeCell(uint8_t(s[x]), 0x1E);
    for (int x = 0; x < kCols; ++x) f[size_t(kCols + x)] = MakeCell(0x91, 0x07);
    for (int r = kTop; r <= kRows; ++r) {
      const size_t n = size_t(WindowTop + r - kTop);
      if (n < Lines.size()) std::copy(Lines[n].begin(), Lines[n].end(), f.begin() + long(size_t(r - 1) * kCols));
    }
    return f;
  }
};

// Glyph bytes of the cells of `now` that differ from `before`.
size_t ChangedGlyphBytes(const std::vector<Cell>& before, const std::vector<Cell>& now) {
  size_t n = 0;
  for (size_t i = 0; i < now.size(); ++i)
    if (before[i] != now[i]) n += Utf8Of(GlyphOf(Charset::Koi8, CellChar(now[i]))).size();
  return n;
}

// A text window that scrolls by a line or a few, either way, moves its rows
// on the terminal: the bytes are those of the lines that come in and a
// little more, not a redraw of the window.  Nothing is pushed into the
// terminal's scrollback, and on terminals without bce or without xenl the
// picture is still right.
TEST(Output, ScrolledWindowMovesItsRows) {
  for (const char* term : {"xterm-256color", "linux", "screen-256color", "cons25", "xterm-mono"}) {
    SCOPED_TRACE(term);
    ASSERT_TRUE(UseTerminal(term));
    const TermTraits traits = TermTraits::Current();
    const bool measured = std::string(term) == "xterm-256color";
    ScreenOutput out;
    out.Init(Charset::Koi8, OutputEncoding::Utf8);
    out.SetTerminalSize(80, 25);
    Emulator emu(25, 80);
    EditorScreen ed(21, 400);
    std::vector<Cell> frame = ed.Frame(1);
    std::string bytes;
    out.Render(frame, 80, 25, 1, 3, true, bytes);
    emu.Write(bytes);
    const int steps[] = {1, 1, 1, -1, 5, -3, 22, -22, 1, 12, -1};
    int line = 1;
    for (int step : steps) {
      SCOPED_TRACE(testing::Message() << "window moved by " << step);
      ed.WindowTop += step;
      line += step;
      const std::vector<Cell> next = ed.Frame(line);
      bytes.clear();
      out.Render(next, 80, 25, 1, step > 0 ? 25 : 3, false, bytes);
      emu.Write(bytes);
      ASSERT_EQ(emu.Compare(next, 80, Charset::Koi8, traits), "");
      ASSERT_EQ(emu.Scrolls, 0);
      if (measured && std::abs(step) <= 5) {
        // The lines that came in, drawn, plus the status line, the moves
        // and the pens; a redraw of the window costs several times as much.
        const std::vector<Cell> blank(next.size(), BlankCell);
        size_t incoming = 0;
        for (int k = 0; k < std::abs(step); ++k) {
          const long r = step > 0 ? 24 - k : 2 + k;
          incoming += ChangedGlyphBytes({blank.begin() + r * 80, blank.begin() + (r + 1) * 80},
                                        {next.begin() + r * 80, next.begin() + (r + 1) * 80});
        }
        EXPECT_LE(bytes.size(), incoming + 60 + 12 * size_t(std::abs(step))) << testing::PrintToString(bytes);
        EXPECT_LT(bytes.size() * 3, ChangedGlyphBytes(frame, next));
      }
      frame = next;
    }
    // A block in the middle moves while the rows below it stay.
    std::vector<Cell> next = frame;
    std::rotate(next.begin() + 5 * 80, next.begin() + 7 * 80, next.begin() + 18 * 80);
    std::fill(next.begin() + 16 * 80, next.begin() + 18 * 80, MakeCell('#', 0x4F));
    bytes.clear();
    out.Render(next, 80, 25, 2, 2, false, bytes);
    emu.Write(bytes);
    EXPECT_EQ(emu.Compare(next, 80, Charset::Koi8, traits), "");
    EXPECT_EQ(emu.Scrolls, 0);
    if (measured) {
      EXPECT_LT(bytes.size(), 250u);
    }
  }
}

// A character typed or deleted in the middle of a line shifts the rest of
// it with insert or delete character: a few bytes, not the rest of the
// line.  Terminals without those capabilities get the cells drawn.
TEST(Output, TypingInALineShiftsItsCells) {
  for (const char* term : {"xterm-256color", "rxvt-unicode-256color", "cons25", "xterm-mono"}) {
    SCOPED_TRACE(term);
    ASSERT_TRUE(UseTerminal(term));
    const TermTraits traits = TermTraits::Current();
    const bool measured = std::string(term) == "xterm-256color";
    ScreenOutput out;
    out.Init(Charset::Koi8, OutputEncoding::Utf8);
    Emulator emu(25, 80);
    EditorScreen ed(22, 30);
    std::vector<Cell> frame = ed.Frame(1);
    std::string bytes;
    out.Render(frame, 80, 25, 1, 3, true, bytes);
    emu.Write(bytes);
    const size_t row = 9;  // 0-based
    struct Edit {
      int Col;    // 0-based
      int Count;  // > 0 typed, < 0 deleted
    };
    constexpr Edit kEdits[] = {{30, 1}, {31, 1}, {32, 1}, {32, -1}, {10, -2}, {0, 3}, {60, 1}, {78, 1}, {5, -8}};
    for (const Edit& e : kEdits) {
      SCOPED_TRACE(testing::Message() << "column " << e.Col + 1 << " count " << e.Count);
      std::vector<Cell> next = frame;
      auto first = next.begin() + long(row * 80 + size_t(e.Col)), last = next.begin() + long((row + 1) * 80);
      if (e.Count > 0) {
        std::copy_backward(first, last - e.Count, last);
        std::fill(first, first + e.Count, MakeCell('x', 0x07));
      } else {
        std::copy(first - e.Count, last, first);
        std::fill(last + e.Count, last, BlankCell);
      }
      bytes.clear();
      out.Render(next, 80, 25, e.Col + 1 + std::max(0, e.Count), int(row) + 1, false, bytes);
      emu.Write(bytes);
      ASSERT_EQ(emu.Compare(next, 80, Charset::Koi8, traits), "");
      ASSERT_EQ(emu.Cursor().col, e.Col + std::max(0, e.Count));
      if (measured) {
        // An address, the shift, the typed letters and the cursor's way
        // back; the rest of the line would be twenty bytes and more.
        EXPECT_LE(bytes.size(), 2 * CupTo(e.Col + 1, int(row) + 1).size() + 4 + size_t(std::max(0, e.Count)))
            << testing::PrintToString(bytes);
      }
      frame = next;
    }
  }
}

}  // namespace
