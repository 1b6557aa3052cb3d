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
// Where WordEndRight stops.
enum class WordEnd : uint8_t {
  NextStart,       // the start of the next word
  End,             // the end of the current word
  PastDelimiters,  // the end of the word with its trailing delimiters
};
// A position after pos.
int WordEndRight(std::string_view line, int pos, WordEnd to);

// Which part of the word WordAtCursor takes.
enum class WordPart : uint8_t {
  Word,            // without trailing delimiters unless a blank follows them
  ToCursor,        // up to the cursor
  WithBlank,       // with its delimiters and one following blank
  WithDelimiters,  // with its delimiters
};
// The word of the cursor line at the cursor into text (empty when the
// cursor stands on a blank after a blank).
void WordAtCursor(std::string& text, WordPart part);
// The word at the cursor as a rectangular block; leaveLastOut (the third
// key of the command) leaves its last character out.
void MarkWord(bool leaveLastOut);

// Widens the line block to the cursor line (a rectangular block first
// becomes a line block over its lines).
void ExtendLineBlock();
// Widens the rectangular block to the cell (cursor line, col); with a line
// block marked, ExtendLineBlock instead.
void ExtendRectBlock(int col);
