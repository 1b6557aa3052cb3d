// Turns the cell image into terminal bytes.
//
// Every sequence this file sends comes from the terminal's terminfo entry:
//   cup            cursor address (hpa, cuf, and CR LF when cheaper)
//   clear          clear the screen (only on a forced flush where the
//                  terminal fills with the current background: bce)
//   sgr0 bold blink setaf setab   attributes; on terminals whose setaf and
//                  setab are the ECMA-48 forms, one combined SGR
//                  "ESC [ p ; p ... m" carries all attribute changes at once
//   civis cnorm    hide the cursor when it is outside the screen
//   dl dl1 il il1  rows that moved up or down as a block (a scrolled text
//                  window) are moved on the terminal, not drawn again
//   ich ich1 dch dch1   likewise cells that moved right or left in a row
//                  (a character typed or deleted in the middle of a line)
// and the glyph bytes of the cells: each character of the build's set as
// UTF-8 (or as a KOI8-R or CP866 byte in such a locale).  No byte of a cell
// is ever sent as a control: bytes 0..31 and 127 become the PC console
// glyphs, and a character the locale cannot show becomes '?'.
//
// Colours: the PC colour numbers (0 black, 1 blue, 2 green, 3 cyan, 4 red,
// 5 magenta, 6 brown, 7 grey) go to the terminal's order.  Foreground 8..15
// are the bright colours where the terminal has 16 colours, bold otherwise.
// The blink bit is a bright background where the terminal has 16 colours,
// reverse video where it has 8; it blinks only when VESK_BLINK=1.  On a
// monochrome terminal (fewer than 8 colours, or no setaf) the attributes
// become reverse video, underline and bold (see PenOf).
//
// Capability strings go out without their padding ("$<5>"), or padded by
// tputs on a terminal that needs it (TerminalBytes).
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/charset.h"
#include "screen/cells.h"

enum class OutputEncoding : uint8_t { Utf8, Koi8, Cp866 };

// A capability string of the terminal set up with setupterm as the bytes to
// send: its padding processed.
std::string TerminalBytes(const std::string& cap);
std::string TerminalCap(const char* name);
// Whether the terminal can show a character in its bottom-right cell
// without scrolling: it defers the wrap (xenl), has no automatic margins,
// or can insert a character there.
bool CornerDrawable();

class ScreenOutput {
 public:
  // Reads the capabilities of the terminal set up with setupterm.
  void Init(Charset set, OutputEncoding enc);
  void SetTerminalSize(int cols, int rowCount);
  // Forget what the terminal shows (after a clear by someone else).
  void Invalidate();
  // Appends to out the bytes that make the terminal show `cells` (width
  // columns by height rows) with the cursor at (curCol, curRow), counted
  // from 1; a cursor outside the visible screen is hidden.
  void Render(const std::vector<Cell>& cells, int width, int height, int curCol, int curRow, bool force,
              std::string& out);
  // Bytes that leave the attributes as the terminal had them.
  std::string ResetSequence() const;

  int Colours() const { return NumColours; }

 private:
  struct Pen {
    int Fg = -1, Bg = -1;
    bool Bold = false, Blink = false, Reverse = false, Underline = false;
    bool operator==(const Pen&) const = default;
  };
  Pen PenOf(uint8_t attr) const;
  void SetPen(const Pen& p, std::string& out);
  void MoveTo(int col, int row, const std::vector<Cell>& cells, int width, std::string& out);
  void PutCell(Cell c, std::string& out);
  // Whether the current pen is c's.
  bool PenDraws(Cell c) const;
  size_t SpanCost(const Cell* want, const Cell* shown, int n) const;
  void ScanRows(const std::vector<Cell>& cells, int width, int visCols, int visRows);
  bool MoveRows(const std::vector<Cell>& cells, int width, int visCols, int visRows, std::string& out);
  void MoveCells(const std::vector<Cell>& cells, int width, int visCols, int visRows, std::string& out);
  const std::string& CupFor(int col, int row);
  void DrawCorner(const std::vector<Cell>& cells, int width, std::string& out);

  // Capability strings made once for each argument: tiparm parses the
  // capability every time.  Only the arguments used are kept (a screen has
  // thousands of cursor addresses and a frame uses a few dozen).
  struct ParamCache {
    std::unordered_map<size_t, std::string> Text;
    template <class Make>
    const std::string& Get(size_t i, Make make) {
      auto it = Text.find(i);
      if (it == Text.end()) it = Text.emplace(i, make()).first;
      return it->second;
    }
    void Clear() { Text.clear(); }
  };
  ParamCache CupCache, HpaCache, CufCache;

  std::string Glyph[256];
  std::vector<Cell> Front;     // what the terminal shows
  std::vector<uint8_t> Known;  // whether Front is known for the cell
  // Per row of the last ScanRows (from 1): every visible cell known; and
  // known and the same as the image.
  std::vector<uint8_t> RowKnown, RowSame;
  std::vector<uint64_t> NewHash, OldHash;  // MoveRows' row hashes, kept for their storage
  int FrontWidth = 0, FrontHeight = 0;
  int TermCols = 80, TermRows = 25;
  int CurX = -1, CurY = -1;    // terminal cursor, 1-based; -1 unknown
  bool CursorHidden = false;
  bool CursorStateKnown = false;
  Pen Current;
  bool PenKnown = false;

  // Capabilities.
  bool Ansi = false;  // setaf/setab are the ECMA-48 forms
  bool Bce = false, AutoMargin = true, EatNewline = true, CanBlink = false, CanReverse = false;
  bool Colour = false;       // colors >= 8 with setaf and setab
  bool BlinkWanted = false;  // VESK_BLINK=1: the blink bit blinks
  int NumColours = 8;
  bool MemoryBelow = false;  // db: deleted lines may come back from below
  std::string Cup, Hpa, Cuf, Clear, Sgr0, Bold, Blink, Rev, Smul, Setaf, Setab, Civis, Cnorm;
  std::string Il, Il1, Dl, Dl1, Ich, Ich1, Dch, Dch1;
};
