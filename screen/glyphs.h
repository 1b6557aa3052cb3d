// What each byte of the editor's character sets is, in Unicode, and which PC
// key carries a character.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "base/charset.h"

// The character byte b stands for in the set.  Bytes 0..127 are ASCII except
// that 0..31 are not characters (returns the control code itself).  Bytes the
// set leaves undefined (0x98 in Windows-1251) return 0xFFFD.
char32_t UnicodeOf(Charset set, uint8_t b);

// What the screen shows for byte b: UnicodeOf, but bytes 1..31 as the glyphs
// of the PC console font (☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼), 0 as a blank
// and 127 as ⌂.
char32_t GlyphOf(Charset set, uint8_t b);

// The byte of the set for character u, or -1 when the set lacks it.  ASCII
// 32..126 map to themselves; control codes 0..31 and 127 map to themselves.
int ByteOf(Charset set, char32_t u);

// The PC keyboard scan code of the key that carries character u: US layout
// for ASCII ('a' and 'A' 1E, '1' and '!' 02, ' ' 39, '\\' 2B, '`' 29 ...);
// for Cyrillic letters the key that carries them on the Russian ЙЦУКЕН layout
// ('й' and 'Й' 10 like 'q', 'ё' 29, 'х' 1A, 'ъ' 1B, 'ж' 27, 'э' 28, 'б' 33,
// 'ю' 34).  0 for a character no key carries.
uint8_t ScanCodeOf(char32_t u);

// The character the key with scan code `scan` types in the US layout
// (shifted: the upper row), 0 when none.  The inverse of ScanCodeOf for ASCII.
char32_t UsCharOfScan(uint8_t scan, bool shifted);

// UTF-8 of one character.
std::string Utf8Of(char32_t u);
// Decodes one UTF-8 character from s at i; advances i.  Returns 0xFFFD for a
// malformed sequence (consuming one byte) and -1 when s ends inside a
// sequence (i unchanged).
int32_t DecodeUtf8(std::string_view s, size_t& i);
