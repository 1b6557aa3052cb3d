// The text window (rows 3 and below) and the status line (row 1).
#pragma once

// Draws the lines from Ed.WindowTop, each from column HScroll + 1, plainly.
void DrawTextWindow();
// The status line: file name, cursor line and column, line count, insert
// mode, modified flag, memory left.
void DrawStatusLine();
