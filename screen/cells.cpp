#include "screen/cells.h"

#include "base/limits.h"
#include "screen/term.h"

ScreenState Scr;
Terminal* Term = nullptr;
volatile sig_atomic_t ClosingSignal = 0;

uint16_t SupportedWidth(int columns) {
  if (columns >= 132) return 132;
  if (columns >= 100) return 100;
  return 80;
}

void ResetScreen(int width, int height) {
  Scr.ScreenWidth = uint16_t(width);
  Scr.ScreenHeight = uint8_t(height);
  Scr.ScreenCells.assign(size_t(width) * size_t(height), BlankCell);
  Scr.WritePos = 0;
  Scr.CursorColumn = 1;
  Scr.CursorRow = 1;
  Scr.Flushes = 0;
}

bool WidthSupported() {
  return Scr.ScreenWidth == 80 || Scr.ScreenWidth == 100 || Scr.ScreenWidth == 132;
}

void PutCharAt(int column, int row, uint8_t ch, uint8_t attr) {
  if (!WidthSupported()) return;
  // Callers keep inside the screen; a stray position must still not write
  // outside the image.
  if (column < 1 || column > Scr.ScreenWidth || row < 1 || row > Scr.ScreenHeight) return;
  Scr.ScreenCells[size_t(row - 1) * Scr.ScreenWidth + size_t(column - 1)] = MakeCell(ch, attr);
}

void PutStringAt(int column, int row, std::string_view text, uint8_t attr) {
  if (text.size() > size_t(MaxLineBytes)) text = text.substr(0, size_t(MaxLineBytes));
  for (size_t i = 0; i < text.size(); ++i) PutCharAt(column + int(i), row, uint8_t(text[i]), attr);
  FlushScreen(false);
}

void SetWritePos(int row, int column) {
  if (!WidthSupported()) return;
  if (row < 1 || column < 1) return;
  Scr.WritePos = size_t(row - 1) * Scr.ScreenWidth + size_t(column - 1);
}

void PutRunCell(int k, uint8_t ch, uint8_t attr) {
  if (k < 1) return;
  size_t i = Scr.WritePos + size_t(k - 1);
  if (i < Scr.ScreenCells.size()) Scr.ScreenCells[i] = MakeCell(ch, attr);
}

void PutRunAttr(int k, uint8_t attr) {
  if (k < 1) return;
  size_t i = Scr.WritePos + size_t(k - 1);
  if (i < Scr.ScreenCells.size()) Scr.ScreenCells[i] = MakeCell(CellChar(Scr.ScreenCells[i]), attr);
}

void MoveCursor(int column, int row) {
  Scr.CursorColumn = column;
  Scr.CursorRow = row;
}

void FlushScreen(bool force) {
  ++Scr.Flushes;
  if (Term) Term->Flush(force);
}

void ClearScreenCells() {
  for (Cell& c : Scr.ScreenCells) c = BlankCell;
  FlushScreen(true);
}

Cell CellAt(int column, int row) {
  if (column < 1 || column > Scr.ScreenWidth || row < 1 || row > Scr.ScreenHeight) return BlankCell;
  return Scr.ScreenCells[size_t(row - 1) * Scr.ScreenWidth + size_t(column - 1)];
}
