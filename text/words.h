// What a word is, the word scanners every word command shares, the word
// under the cursor, and widening the line or rectangular block.
//
// Positions are 1-based byte columns of a line; a position outside the
// line reads as a blank.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// The 23 characters that end a word besides blanks and control bytes.
inline constexpr std::string_view Delimiters = ".,:;?!/\\()-*+=<>{}[]_\"'";

bool IsDelimiter(uint8_t ch);

// The start of the word before pos (from inside or at the start of a word:
// the previous word; from a blank after a word: that word).
int WordStartLeft(std::string_view line, int pos);
// A position after pos.  mode 0: start of the next word; 1: end of the
// current word; 2: end of the word with its trailing delimiters.
int WordEndRight(std::string_view line, int pos, int mode);

// The word of the cursor line at the cursor into text (empty when the
// cursor stands on a blank after a blank).  kind 0: the word without
// trailing delimiters unless a blank follows them; 1: the word up to the
// cursor; 2: the word, its delimiters and one following blank; 3: the word
// with its delimiters.  A kind above 3 is a key code: the word is marked as
// a rectangular block instead (MarkWord).
void WordAtCursor(std::string& text, int kind);
// The word at the cursor as a rectangular block; leaveLastOut (the third
// key of the command) leaves its last character out.
void MarkWord(bool leaveLastOut);

// Widens the line block to the cursor line (a rectangular block first
// becomes a line block over its lines).
void ExtendLineBlock();
// Widens the rectangular block to the cell (cursor line, col); with a line
// block marked, ExtendLineBlock instead.
void ExtendRectBlock(int col);
