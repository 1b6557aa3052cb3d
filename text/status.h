// The text window (rows 3 and below) and the status line (row 1).
//
// A line is drawn from a private copy of its bytes, with the colours the text
// carries: a whole-line colour mark at its end, NUL marks, inline colour
// codes, comments, and on top of those the line block, the line marks, the
// rectangular block and the cursor cross.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Draws line n into screen row `row` with h columns hidden at the left, and
// flushes.  n = 0 draws the work line (entry 0 of the line table: the status
// text, or a question's row) without the line's own colouring and without
// flushing; a line number beyond the text draws a blank row.
void DrawLine(int h, int n, int row);

// Stores text (at most 132 bytes are kept) as the work line that DrawLine
// draws for n = 0.
void StoreWorkLine(std::string_view text);

// Two upper-case hexadecimal digits.
std::string HexByte(uint8_t b);

// Lines from Ed.WindowTop into rows 3.. with Ed.HScroll hidden columns;
// rows after the end of the text are blank.
void DrawTextWindow();

// Row 1: file name, cursor line and column, line count, free memory, the
// character under the cursor with its code, the keyboard and mode
// indicators and the line marks.
void DrawStatusLine();
