// The 32-bit key code a physical key delivers in a build.
//
// A key listed in the build's KeyMap delivers the code listed there.  Every
// other key delivers its family code:
//   character key:        Char = the byte, Scan = the scan code of its key
//                         (Space 00003920, 'a' 00001E61); Shift on a
//                         character key is ignored, the character carries it
//   Ctrl+character:       Char = character AND 1F, Scan as above (Ctrl+Y
//                         00001519)
//   Alt+character:        a key-definition key: Shift 8, Char 0, Scan as
//                         above (00082D00 for Alt+x unless the KeyMap binds
//                         it); Alt+Space 03083900
//   EscAlt+character:     Char = the character, Scan + 80 (7F when the scan
//                         is 80 or more), Shift 0F
//   F1..F12, cursor keys: Flags 2, Shift = Alt 8 | Ctrl 4 | Shift 1, Scan FF,
//                         Char = the key number (F10 0200FF0A, Alt+F9
//                         0208FF09); EscAlt counts as Alt
//   Esc 0000011B, Tab 00000F09, Enter 00001C0D, Backspace 00000E08, each
//   with Ctrl or Shift the same code; Shift+Tab 03000F00; with Alt a
//   key-definition key (Shift 8, Char 0, Scan of the key).
// A character key whose key has no scan code delivers Scan 0; with Ctrl or
// Alt such a key does not exist and delivers nothing (0).
#pragma once
#include <cstdint>

#include "builds/build.h"
#include "screen/keydecode.h"

uint32_t KeyCodeFor(const BuildConfig& b, const PhysKey& k);

// The family code alone, without the build's KeyMap.
uint32_t FamilyCodeFor(Charset set, const PhysKey& k);
