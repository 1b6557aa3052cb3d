// The screen cell image and the primitives that write it.  Nothing here knows
// a terminal byte: FlushScreen hands the image to the terminal layer, which
// sends only what changed.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

using Cell = uint16_t;  // character in the low byte, attribute in the high byte

constexpr Cell MakeCell(uint8_t ch, uint8_t attr) { return Cell(ch | (attr << 8)); }
constexpr uint8_t CellChar(Cell c) { return uint8_t(c & 0xFF); }
constexpr uint8_t CellAttr(Cell c) { return uint8_t(c >> 8); }
constexpr Cell BlankCell = MakeCell(' ', 0x07);

struct ScreenState {
  uint16_t ScreenWidth = 80;  // 80, 100 or 132
  uint8_t ScreenHeight = 25;  // 3 .. 255 rows
  std::vector<Cell> ScreenCells;
  size_t WritePos = 0;          // cell index used by the run writers
  int CursorColumn = 1;         // last MoveCursor, counted from 1
  int CursorRow = 1;
  uint32_t Flushes = 0;         // number of FlushScreen calls (tests count them)
};
extern ScreenState Scr;

// Sizes the image and blanks it.  Called by the terminal layer at start-up.
void ResetScreen(int width, int height);

// The widest supported width that fits `columns` terminal columns (80 when
// even 80 does not fit).
uint16_t SupportedWidth(int columns);

bool WidthSupported();
void PutCharAt(int column, int row, uint8_t ch, uint8_t attr);
void PutStringAt(int column, int row, std::string_view text, uint8_t attr);
void SetWritePos(int row, int column);
// Writes the k-th cell of a run from WritePos (k from 1); ignores cells past
// the end of the image, so no writer can write outside it.
void PutRunCell(int k, uint8_t ch, uint8_t attr);
void PutRunAttr(int k, uint8_t attr);
void MoveCursor(int column, int row);
void FlushScreen(bool force);
void ClearScreenCells();
Cell CellAt(int column, int row);  // blank for positions outside the image
