#include "screen/keys.h"

#include <cstdio>
#include <utility>

#include "base/keycodes.h"
#include "screen/cells.h"
#include "screen/term.h"

KeyState Kbd;

void ResetKeyState() { Kbd = KeyState{}; }

bool KeyPressed() {
  if (!Kbd.Queue.empty()) return true;
  return Term && Term->Poll(0);
}

bool WaitForKey(int ms) {
  if (!Kbd.Queue.empty()) return true;
  return Term && Term->Poll(ms);
}

void ReadKeyEvent() {
  StopIfClosing();  // keys typed ahead are not run after a closing signal
  while (Kbd.Queue.empty()) {
    if (!Term) throw InputLost{};
    Term->Poll(-1);
  }
  Kbd.KeyEvent = Kbd.Queue.front();
  Kbd.Queue.pop_front();
  Kbd.MessageKeyPending = false;
  if (Kbd.KeyEvent == PasteKeyCode) {
    Kbd.Paste = {};
    if (!Kbd.Pastes.empty()) {
      Kbd.Paste = std::move(Kbd.Pastes.front());
      Kbd.Pastes.pop_front();
    }
  }
}

namespace {
// A completed sequence keeps the last key's character and marks its scan
// code as the Alt half of the keyboard.
void MarkCompletedScan() {
  uint8_t scan = KeyScan();
  scan = scan >= 0x80 ? 0x7F : uint8_t(scan + 0x80);
  Kbd.KeyEvent = (Kbd.KeyEvent & 0xFFFF00FFu) | uint32_t(scan) << 8;
}
void SetShift(uint8_t shift) { Kbd.KeyEvent = (Kbd.KeyEvent & 0xFF00FFFFu) | uint32_t(shift) << 16; }
}  // namespace

void GetKey() {
  ReadKeyEvent();
  if (Kbd.KeyEvent == KeyAltBracketPrefix) {  // Alt+'[' reported as a prefix
    ReadKeyEvent();
    if (KeyPressed()) ReadKeyEvent();
    MarkCompletedScan();
    SetShift(ShiftAlt);
    return;
  }
  if (KeyLow16() == Low16(KeyEsc) && KeyPressed()) {
    ReadKeyEvent();
    if (KeyLow16() == Low16(KeyLeftBracket)) {
      ReadKeyEvent();
      ReadKeyEvent();
      MarkCompletedScan();
      SetShift(ShiftCompleted);
    }
  }
}

void ShowKeyCode(uint8_t attr) {
  ++Kbd.ShowRow;
  if (Kbd.ShowRow > Scr.ScreenHeight) Kbd.ShowRow = 1;
  if (Kbd.ShowRow == 1) ClearScreenCells();
  char buf[64];
  std::snprintf(buf, sizeof buf, "  %3u  %02X %02X %02X %02X  %u", unsigned(KeyChar()), unsigned(KeyChar()),
                unsigned(KeyScan()), unsigned(KeyShift()), unsigned(KeyFlags()), unsigned(KeyShift()));
  std::string line(1, char(KeyChar()));
  line += buf;
  Kbd.LastKeyLine = line;
  PutStringAt(1, Kbd.ShowRow, line, attr);
}

void ReadAndShowKey(uint8_t) {
  ReadKeyEvent();
  ShowKeyCode(0x1C);
}

void ToggleRusLayout() {
  Kbd.RusLayoutOn = !Kbd.RusLayoutOn;
  if (Kbd.RusLayoutOn) PutCharAt(Scr.ScreenWidth - 4, 1, 'R', 0x70);
  else PutCharAt(Scr.ScreenWidth - 4, 1, ' ', 0x07);
  FlushScreen(false);
}

void RefusalPause() {
  StopIfClosing();
  // Keys typed ahead (a paste into a full line) are refused without a pause
  // each: the pause is for the eye, and the last of them still gets it.
  if (!Term || !Kbd.Queue.empty()) return;
  Term->Pause(RefusalPauseMs);
}
