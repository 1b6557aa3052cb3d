#include "text/status.h"

#include <cstdio>
#include <string>

#include "core/state.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "text/heap.h"
#include "text/linestore.h"

void DrawTextWindow() {
  const int width = Scr.ScreenWidth;
  for (int row = 3; row <= Scr.ScreenHeight; ++row) {
    int n = Ed.WindowTop + row - 3;
    std::string_view s = n >= 1 && n <= Txt.LineCount ? LineBytes(n) : std::string_view();
    for (int c = 1; c <= width; ++c) {
      size_t i = size_t(Ed.HScroll) + size_t(c - 1);
      uint8_t ch = i < s.size() ? uint8_t(s[i]) : uint8_t(' ');
      PutCharAt(c, row, ch, 0x07);
    }
  }
  FlushScreen(false);
}

void DrawStatusLine() {
  char buf[160];
  std::snprintf(buf, sizeof buf, " %c%c Line=%d/%d Col=%d memory=%zu ", Txt.Modified ? '*' : ' ',
                Ed.InsertMode ? 'I' : 'O', int(Ed.CurLine), int(Txt.LineCount), Ed.CurCol, LargestFreeBlock());
  std::string s = buf + Ed.FileName;
  const int width = Scr.ScreenWidth;
  for (int c = 1; c <= width; ++c) {
    uint8_t ch = size_t(c) <= s.size() ? uint8_t(s[size_t(c - 1)]) : uint8_t(' ');
    PutCharAt(c, 1, ch, 0x30);
  }
  if (Kbd.RusLayoutOn) PutCharAt(width - 4, 1, 'R', 0x70);
  FlushScreen(false);
}
