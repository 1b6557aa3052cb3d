// Changing or evaluating the characters of a marked block in place: upper
// and lower case, Latin keys to Cyrillic letters and back, filling a
// rectangle with one character, the sum of the numbers in a rectangle, and
// the case of the first letter of the word at the cursor.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Cmd::BlockToUpper, Cmd::BlockToLower, Cmd::BlockLatinToCyrillic and
// Cmd::BlockCyrillicToLatin: converts the line block, else the rectangular
// block, else the word at the cursor.
enum class Conversion : uint8_t { ToUpper, ToLower, LatinToCyrillic, CyrillicToLatin };
void ConvertBlock(Conversion c);

// Cmd::FillBlock: asks for one key (Kbd.KeyEvent afterwards holds it) and
// writes its Char byte, through RusKey when the Russian layout is on, into
// every cell of the rectangular block that lies within its line.
void FillBlock();

// Cmd::SumBlock (and the service menu's "Счет по блоку"): adds up the
// numbers in the rectangular block's columns and shows the total on the
// message line.
void SumOverBlock();

// Cmd::WordFirstToUpper and Cmd::WordFirstToLower: the first character with
// a case difference from the start of the word at the cursor on gets its
// upper-case or lower-case form.
void FirstLetterCase(bool upper);

// The pieces of the sum, for its tests.
//
// The value of one field in units of 1/100000: thousands separators are
// dropped (a comma before the first point, or points before the first
// comma), blanks skipped, a minus anywhere makes it negative, text before
// the number is skipped and text after it ends the field.  False when the
// field holds two decimal separators.  A whole part above 2147483647 is
// taken as 2147483647.
bool SumFieldValue(std::string field, int64_t& units);
// A total in units of 1/100000 as the sum shows it: the whole part, a
// point, and the fraction without its trailing zeros ("12." for twelve).
std::string SumText(int64_t units);

// The column where the word at col of line starts: the start of the next
// word after col, then the start of the word before that one (so a column
// inside a word, or on a blank after it, gives that word's first column).
int WordStartAt(std::string_view line, int col);
