#include "core/keystrokes.h"

#include <cstdio>
#include <string>

#include "base/keycodes.h"
#include "builds/build.h"
#include "builds/keymap.h"
#include "base/state.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "text/codepage.h"
#include "text/linestore.h"
#include "text/messages.h"

namespace {

// The code that ends the screen: the character ■ of the build's set on the
// key of Alt+Shift+K, which every terminal sends (as Esc K).
uint32_t ExitCode() { return CurrentBuild().koi8r ? 0x00001494u : 0x000029FEu; }

// The key the first line names ends it too, in whichever form the terminal
// sends it (Esc Tab, or Ctrl+Alt+Tab where it tells Ctrl apart).
bool EndsTheScreen(uint32_t code) {
  PhysKey tab;
  tab.Id = K_Tab;
  tab.Mods = M_Ctrl | M_Alt;
  return code == ExitCode() || code == KeyCodeFor(CurrentBuild(), tab);
}

// Reads a number of one or two digits typed on the given row, echoing it;
// -1 when Esc ends the input.
int ReadSlotNumber(int row) {
  for (;;) {
    std::string digits;
    PutStringAt(1, row, std::string(size_t(Scr.ScreenWidth), ' '), 0x07);
    for (;;) {
      MoveCursor(3 + int(digits.size()), row);
      FlushScreen(false);
      ReadKeyEvent();
      if (KeyLow16() == Low16(KeyEsc)) return -1;
      if (KeyLow16() == Low16(KeyEnter)) break;
      if (KeyLow16() == Low16(KeyBackspace) && !digits.empty()) digits.pop_back();
      else if (KeyChar() >= '0' && KeyChar() <= '9' && digits.size() < 3) digits += char(KeyChar());
      PutStringAt(1, row, "  " + digits + " ", 0x07);
    }
    if (!digits.empty()) {
      int n = std::stoi(digits);
      if (n >= 0 && n <= 15) return n;
    }
  }
}

void Restore(int row) {
  PutStringAt(1, row, "  Enter number of a line you want to restore.        ", 0x07);
  int n = ReadSlotNumber(row + 1 > Scr.ScreenHeight ? row : row + 1);
  if (n < 0) return;
  std::string slot(RingSlot(n));
  int16_t at = Ed.CurLine;
  const bool inserted = InsertLine(uint8_t(slot.size()), at);
  Txt.LineSaved = false;
  if (inserted) StoreLine(slot, at);
}

}  // namespace

void KeystrokesScreen() {
  ClearScreenCells();
  MoveCursor(1, 1);
  int row = 1;
  auto line = [&](const std::string& text) {
    if (row <= Scr.ScreenHeight) PutStringAt(1, row, text.substr(0, size_t(Scr.ScreenWidth)), 0x07);
    ++row;
  };
  line("  To get back, press Alt+Ctrl+Tab or Alt+Shift+K. Now press any key.");
  line(DiskIs(Charset::Cp866) ? " ASCII" : DiskIs(Charset::Koi8) ? " KOI8" : CodePage.DiskUtf8 ? " UTF-8" : " ANSI");
  line("");
  std::string options = " {$DEFINE BSD}";
  if (CurrentBuild().koi8r) options += " {$DEFINE koi8r}";
  options += " {$DEFINE RUSSIAN}";
  if (CurrentBuild().rusKBD) options += " {$DEFINE rusKBD}";
  line(options);
  line("");
  for (int k = 16; k >= 1; --k) {
    int i = (Txt.UndoIndex + k) % 16;
    char number[8];
    std::snprintf(number, sizeof number, "%2d: ", i);
    line(number + std::string(RingSlot(i).substr(0, 75)));
  }

  Kbd.ShowRow = 0;
  for (bool first = true;; first = false) {
    MoveCursor(1, Kbd.ShowRow + 1);
    FlushScreen(false);
    ReadKeyEvent();
    if (first && Kbd.KeyEvent == KeySpace) {
      Restore(std::min<int>(row, Scr.ScreenHeight));
      break;
    }
    ShowKeyCode(0x1E);
    // The completion of GetKey, each key shown as it comes.
    if (Kbd.KeyEvent == KeyAltBracketPrefix) {
      ReadAndShowKey(0x1C);
      if (KeyPressed()) ReadAndShowKey(0x1C);
      uint8_t scan = KeyScan() >= 0x80 ? 0x7F : uint8_t(KeyScan() + 0x80);
      Kbd.KeyEvent = (Kbd.KeyEvent & 0xFF0000FFu) | uint32_t(scan) << 8 | uint32_t(ShiftAlt) << 16;
      ShowKeyCode(0x70);
    } else if (KeyLow16() == Low16(KeyEsc) && KeyPressed()) {
      ReadAndShowKey(0x1C);
      if (KeyLow16() == Low16(KeyLeftBracket)) {
        ReadAndShowKey(0x1C);
        ReadAndShowKey(0x1C);
        uint8_t scan = KeyScan() >= 0x80 ? 0x7F : uint8_t(KeyScan() + 0x80);
        Kbd.KeyEvent = (Kbd.KeyEvent & 0xFF0000FFu) | uint32_t(scan) << 8 | uint32_t(ShiftCompleted) << 16;
        ShowKeyCode(0x70);
      }
    }
    if (EndsTheScreen(Kbd.KeyEvent)) {
      PutStringAt(1, std::max(1, Kbd.ShowRow), Kbd.LastKeyLine, 0x1C);
      break;
    }
  }
  ClearMessageLine();
  Kbd.KeyEvent &= 0xFFFFFF00u;
}
