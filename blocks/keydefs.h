// Key definitions: a text bound to a key identifier (an Alt key's scan code,
// or a function key's number, plus 128 in the Russian keyboard mode), typed
// at the cursor when that key is pressed, and kept in the file "keydef.vsk"
// as lines of the identifier in decimal, a blank and the text.
#pragma once
#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/savefile.h"

struct KeyDefState {
  std::array<std::string, 256> KeyDefs;  // the text of each identifier
  std::bitset<256> Defined;              // which identifiers have a text
  bool KeyDefsChanged = false;           // a definition was made from the keyboard
};
extern KeyDefState Defs;
// The key-definition file name is Ed.KeyDefFileName ("keydef.vsk"), which
// "edit another file" also offers.

// Frees every definition; nothing changed.
void ResetKeyDefs();

// Stores text under id, replacing an earlier text.  The text is held on the
// editor's heap (its length plus one byte); false, with nothing changed,
// when the heap has no room for it.
bool DefineKey(uint8_t id, std::string_view text);

// The identifier of a key read with Alt: its Scan byte, or its Char byte
// when Scan is FF (function and cursor keys); plus 128 in RusLayoutOn.
uint8_t KeyIdentifier(uint32_t code);
// The same with the Russian-mode offset applied to a ready scan code.
uint8_t WithLayout(uint8_t scan);

// Types the definition of id at the cursor, or asks for one when id has
// none (always asks when redefine is set, as Esc-Alt+key does).
void RunOrDefineKey(uint8_t id, bool redefine = false);

// Menu items "1 Взять слово" and "2 Воспр.его": reads one key and runs or
// defines its definition, whether key definitions are switched on or not.
void RunOrDefineAskedKey();

// The file "keydef.vsk"; loading it at start-up shows no message when it is
// not found.
void KeyDefFileIO(DataFileAction action);

// When the editor is left: offers to write changed definitions.
void AskKeyDefsSave();
