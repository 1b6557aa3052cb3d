// Key codes that are the same in every build.  A key code is one 32-bit
// number: Char | Scan << 8 | Shift << 16 | Flags << 24; its low 16 bits are
// Scan * 256 + Char.  Codes that differ between builds (the Alt and Ctrl
// combinations whose character depends on the character set) stay in the
// build tables under builds/.
#pragma once
#include <cstdint>

constexpr uint32_t KeyCode(uint8_t ch, uint8_t scan, uint8_t shift = 0, uint8_t flags = 0) {
  return uint32_t(ch) | uint32_t(scan) << 8 | uint32_t(shift) << 16 | uint32_t(flags) << 24;
}

// The low 16 bits, which the prompt line and the small key readers compare
// alone, whatever the modifiers.
constexpr uint16_t Low16(uint32_t code) { return uint16_t(code); }

// Shift byte: the modifier bits, and the mark of a code completed by GetKey
// from an escape sequence.
constexpr uint8_t ShiftRight = 0x01;
constexpr uint8_t ShiftLeft = 0x02;
constexpr uint8_t ShiftCtrl = 0x04;
constexpr uint8_t ShiftAlt = 0x08;
constexpr uint8_t ShiftEither = ShiftRight | ShiftLeft;
constexpr uint8_t ShiftCtrlOrAlt = ShiftCtrl | ShiftAlt;
constexpr uint8_t ShiftCompleted = 0x0F;

// Flags byte: function and cursor keys; keys the terminal layer reports
// untranslated.
constexpr uint8_t FlagsFunction = 2;
constexpr uint8_t FlagsUntranslated = 3;

// Scan byte of the function and cursor keys, whose Char is the key number.
constexpr uint8_t FunctionScan = 0xFF;
constexpr uint32_t FunctionKey(uint8_t number, uint8_t shift = 0) {
  return KeyCode(number, FunctionScan, shift, FlagsFunction);
}

// The scan byte the prompt line gives an input ended with Ctrl+J: the search
// then starts from the first line.
constexpr uint8_t FromTopScan = 0xF0;

// Character keys.
constexpr uint32_t KeyEsc = KeyCode(0x1B, 0x01);
constexpr uint32_t KeyBackspace = KeyCode(0x08, 0x0E);
constexpr uint32_t KeyTab = KeyCode(0x09, 0x0F);
constexpr uint32_t KeyEnter = KeyCode(0x0D, 0x1C);
constexpr uint32_t KeySpace = KeyCode(0x20, 0x39);
constexpr uint32_t KeyLeftBracket = KeyCode('[', 0x1A);

// Ctrl+letter: the letter's code AND 1F on the letter's key.
constexpr uint32_t KeyCtrlC = KeyCode(0x03, 0x2E);
constexpr uint32_t KeyCtrlJ = KeyCode(0x0A, 0x24);
constexpr uint32_t KeyCtrlK = KeyCode(0x0B, 0x25);
constexpr uint32_t KeyCtrlP = KeyCode(0x10, 0x19);
constexpr uint32_t KeyCtrlQ = KeyCode(0x11, 0x10);
constexpr uint32_t KeyCtrlR = KeyCode(0x12, 0x13);
constexpr uint32_t KeyCtrlV = KeyCode(0x16, 0x2F);
constexpr uint32_t KeyCtrlX = KeyCode(0x18, 0x2D);

// Function and cursor keys.
constexpr uint32_t KeyF2 = FunctionKey(0x02);
constexpr uint32_t KeyF5 = FunctionKey(0x05);
constexpr uint32_t KeyF6 = FunctionKey(0x06);
constexpr uint32_t KeyF7 = FunctionKey(0x07);
constexpr uint32_t KeyF8 = FunctionKey(0x08);
constexpr uint32_t KeyF10 = FunctionKey(0x0A);
constexpr uint32_t KeyF12 = FunctionKey(0x0C);
constexpr uint32_t KeyHome = FunctionKey(0x20);
constexpr uint32_t KeyUp = FunctionKey(0x21);
constexpr uint32_t KeyPageUp = FunctionKey(0x22);
constexpr uint32_t KeyLeft = FunctionKey(0x23);
constexpr uint32_t KeyRight = FunctionKey(0x25);
constexpr uint32_t KeyEnd = FunctionKey(0x26);
constexpr uint32_t KeyDown = FunctionKey(0x27);
constexpr uint32_t KeyPageDown = FunctionKey(0x28);
constexpr uint32_t KeyDelete = FunctionKey(0x2A);

// The terminal layer's report of Alt+'[', which GetKey completes with the
// keys that follow it.
constexpr uint32_t KeyAltBracketPrefix = KeyCode(0, 0x1A, ShiftAlt, FlagsUntranslated);

// Alt codes the console delivers alike in every build: Alt+X (mark word;
// also the key-code key of the prompt line) and Ctrl+F1 (undo take file).
constexpr uint32_t KeyAltX = KeyCode('^', 0x87, ShiftAlt);
constexpr uint32_t KeyCtrlF1 = KeyCode('k', 0xA5, ShiftAlt);
