// The key event record and the primitives that fill it.
#pragma once
#include <cstdint>
#include <deque>
#include <string>

#include "base/keycodes.h"
#include "base/limits.h"
#include "screen/keydecode.h"

struct KeyState {
  uint32_t KeyEvent = 0;     // Char | Scan << 8 | Shift << 16 | Flags << 24
  bool RusLayoutOn = false;  // Russian layout for prompts and key definitions
  int ShowRow = 0;           // row counter of ShowKeyCode
  std::string LastKeyLine;   // the last line written by ShowKeyCode
  std::deque<uint32_t> Queue;  // codes decoded but not yet read
  // The key at the front of Queue ended a waiting message and nobody has
  // read it yet: a waiting message that comes next takes it, so that each
  // waiting message is seen until a key of its own.
  bool MessageKeyPending = false;
  // Bracketed pastes: each PasteKeyCode in Queue takes the oldest, and
  // reading that code makes it Paste.
  std::deque<PastedText> Pastes;
  PastedText Paste;  // the paste of the last PasteKeyCode read
};
extern KeyState Kbd;

inline uint8_t KeyChar() { return uint8_t(Kbd.KeyEvent); }
inline uint8_t KeyScan() { return uint8_t(Kbd.KeyEvent >> 8); }
inline uint8_t KeyShift() { return uint8_t(Kbd.KeyEvent >> 16); }
inline uint8_t KeyFlags() { return uint8_t(Kbd.KeyEvent >> 24); }
inline uint16_t KeyLow16() { return uint16_t(Kbd.KeyEvent); }

// The code that stands in the queue for a bracketed paste; no key has it.
constexpr uint32_t PasteKeyCode = KeyCode(0, 0xFF, 0, 0x80);

void ResetKeyState();
bool KeyPressed();            // a key is waiting; never waits
bool WaitForKey(int ms);      // waits at most ms for a key; never takes it
void ReadKeyEvent();          // waits for the next key and stores it in KeyEvent
void GetKey();                // ReadKeyEvent plus completion of escape sequences
void ShowKeyCode(uint8_t attr);
void ReadAndShowKey(uint8_t attr);
void ToggleRusLayout();
// The short pause that says "no room for that" when a character or a change
// is refused, with no message.  A key ends it early (and stays queued), a
// closing signal ends it at once (InputLost); with keys already queued
// there is no pause at all.
void RefusalPause();
