#include "core/mainloop.h"

#include <algorithm>

#include "core/editor.h"
#include "core/state.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "screen/term.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/savefile.h"
#include "text/status.h"

void KeepCursorInWindow() {
  const int height = Scr.ScreenHeight;
  const int width = Scr.ScreenWidth;
  for (int guard = 0; guard < 8; ++guard) {
    const int row = Ed.CurLine - Ed.WindowTop + 3;
    const int col = Ed.CurCol - Ed.HScroll;
    if (row < 3) {
      Ed.WindowTop = Ed.CurLine;
    } else if (row > height) {
      Ed.WindowTop = int16_t(Ed.CurLine - height + 3);
    } else if (col > width) {
      Ed.HScroll = Ed.HalfScroll ? Ed.HScroll + width / 2 : Ed.CurCol - width;
    } else if (col < 1) {
      Ed.HScroll = Ed.HalfScroll ? std::max(0, Ed.HScroll - width / 2) : Ed.CurCol - 1;
    } else {
      return;
    }
  }
}

void MainLoopTurn() {
  KeepCursorInWindow();
  DrawTextWindow();
  DrawStatusLine();
  MoveCursor(Ed.CurCol - Ed.HScroll, Ed.CurLine - Ed.WindowTop + 3);
  FlushScreen(false);
  GetKey();
  const int16_t last = Txt.LineCount;
  switch (Kbd.KeyEvent) {
    case 0x0000011Bu:  // Esc
      ExitEditor();
      break;
    case 0x0200FF02u:  // F2
      SaveFile();
      Ed.ExitStatus = 0;
      break;
    case 0x0200FF21u:  // Up
      if (Ed.CurLine > 1) --Ed.CurLine;
      break;
    case 0x0200FF27u:  // Down
      if (Ed.CurLine < last) ++Ed.CurLine;
      break;
    case 0x0200FF22u:  // PgUp
      Ed.CurLine = int16_t(std::max(1, Ed.CurLine - Ed.PageLines));
      Ed.WindowTop = int16_t(std::max(1, Ed.WindowTop - Ed.PageLines));
      break;
    case 0x0200FF28u:  // PgDn
      Ed.CurLine = int16_t(std::min<int>(last, Ed.CurLine + Ed.PageLines));
      Ed.WindowTop = int16_t(std::min<int>(std::max<int>(1, last - Ed.PageLines + 1), Ed.WindowTop + Ed.PageLines));
      break;
    case 0x0200FF23u:  // Left
      if (Ed.CurCol > 1) --Ed.CurCol;
      break;
    case 0x0200FF25u:  // Right
      if (Ed.CurCol < 255) ++Ed.CurCol;
      break;
    case 0x0200FF20u:  // Home
      Ed.CurCol = 1;
      break;
    case 0x0200FF26u:  // End
      Ed.CurCol = std::min(255, TrimmedLength(LineBytes(Ed.CurLine)) + 1);
      break;
    case 0x0200FF29u:  // Insert
      Ed.InsertMode = !Ed.InsertMode;
      if (Term) Term->SetCursorShape(Ed.InsertMode);
      break;
    default:
      break;
  }
}

void MainLoop() {
  for (;;) MainLoopTurn();
}
