// Abbreviations and word continuations, both read from the file
// "shorts.vsk".
//
// A line of the file that holds the character 7 (BEL) is an abbreviation,
// "word BEL expansion": Space after the word replaces it by the expansion
// and a blank (no blank when the expansion ends with the character 8).
// Every other line is a continuation line: '\' after the start of a word
// offers the lines that continue it, then the longer words of the text that
// begin with it, one at a time.  An accepted offer leaves the continuation
// open, so that each further '\' types the next character of its source.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t MaxShortsEntries = 100;  // per list; further lines are ignored

struct ShortsState {
  std::vector<std::string> ContinuationLines;  // in file order
  std::vector<std::string> Abbreviations;      // "word\x07expansion", in file order
  // The line the current continuation is taken from, and the position in it
  // of the next character a further '\' types (0: no continuation is open).
  std::string ContinuationSource;
  uint16_t PendingContinuation = 0;
  // A key that ended an offer without answering it: the main loop runs it
  // next, as if it had just been pressed.
  bool KeyWaiting = false;
  uint32_t WaitingKey = 0;
};
extern ShortsState Shorts;

// Frees both lists (the editor's heap gets their room back) and forgets the
// continuation source and a waiting key.
void ResetShorts();

// Reads "shorts.vsk" as the data-file lookup finds it.  False when it is not
// found (the lists stay as they were) or cannot be opened (the lists are
// then empty).
bool LoadShorts();
// The same for a file given by its path.
bool LoadShortsFrom(const std::string& path);

// Alt+Space and the menu's "Перечитать shorts.vsk": LoadShorts, then says
// whether it worked.
void RereadShorts();

// Space: when the word before the cursor is an abbreviation, replaces it by
// its expansion and returns true (the Space is consumed).
bool ExpandAbbreviation();

// '\': types the next character of an open continuation, or offers
// continuations of the word before the cursor.
void ContinueWord();

// For the main loop: when a key ended an offer, puts it into Kbd.KeyEvent
// and returns true (once).
bool TakeKeyToRerun();
