// Search and replace: a plain string searched forwards or upwards, with or
// without regard to letter case; one string replaced by another over the
// whole text or the line block, with or without a question at every match;
// and a batch of such replacements read as pairs of lines from a file.  All
// of them go through FindString.
//
// The quick-search string of the search commands is Ed.SearchString (the
// string history sets it at start-up); its case setting is
// Prompt.QuickSearchCase, saved with the history.
//
// The search direction that "search again" repeats lives in Q.AskSelection,
// the highlighted answer of menus and questions: a search upwards leaves
// UpwardsMark there, a value Ask never leaves behind, so any menu or
// question shown since turns the next "search again" forwards.
#pragma once
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "text/outcome.h"

// Case settings (signed bytes): not decided yet, ignore case, match case.
constexpr int8_t CaseUndecided = 0;
constexpr int8_t CaseIgnore = 0x0F;
constexpr int8_t CaseMatch = int8_t(0xF1);

constexpr uint8_t UpwardsMark = 0;

struct SearchState {
  std::string ReplaceSearchString;
  std::string ReplacementString;
  int8_t ReplaceCase = CaseUndecided;
  bool InBlock = false;      // ReplaceScope: BlockFirst..BlockLast, else the whole text
  bool Confirm = false;      // ReplaceConfirm: ask at every match

  // A replace run.  Running from its start to its end; QuestionPending
  // while it waits at a match for the main loop to ask " Менять ?".
  bool Running = false;
  bool QuestionPending = false;
  bool Cancelled = false;        // "4 или Esc - отмена процесса", or the case question refused
  int16_t PrevLine = 0;          // the previous match; 0: none
  int PrevCol = 0;
  bool PrevShrank = false;       // its replacement took text out of the line and typed nothing
  int16_t SavedTop = 1, SavedLine = 1;
  int SavedCol = 1;
  bool SavedInsert = true;
  int TooLong = 0;               // matches left alone: the line would pass 255 bytes
  // Replacements that cannot change the line's breaking go in in one step,
  // which gives what typing them gives; false types every one (the tests
  // compare the two).
  bool Splice = true;

  // Replace by file.
  bool Batch = false;            // pairs are being applied
  bool Reverse = false;          // the second line of each pair into the first
  std::string PairFileName;      // offered again by the next use
  std::ifstream PairFile;
  bool PairUtf8 = false;         // the pair file is UTF-8 the internal set holds
};
extern SearchState Search;

void ResetSearchState();

// Who searches: a search command or a replace run.
enum class FindFor : uint8_t { Replace, Search };

// The position of the first occurrence of pattern in text (1-based), 0 if
// none.  With caseSetting above 0 the text is compared in upper case; the
// pattern must already be upper-cased then.
int FindInLine(std::string_view pattern, std::string_view text, int8_t caseSetting);

// Searches from (startLine, startCol) towards endLine: forwards when
// endLine >= startLine, after the first startCol characters of the start
// line; upwards otherwise, in the characters before startCol of the start
// line.  An empty pattern finds the next line that is empty or blank (the
// start line is not examined), at IndentColumn.  A search command shows
// progress and "not found" messages; a replace run does not.  A pattern
// with letters and an undecided caseSetting asks whether to ignore case and
// keeps the answer in caseSetting.  On a match the cursor goes there, the
// match line becomes the window's top line and the result is true;
// otherwise the cursor stays and the result is false.
bool FindString(std::string_view pattern, int startLine, int endLine, int startCol, FindFor what,
                int8_t& caseSetting);

// Command entries.
//
// Cmd::SearchForward (F7, 0200FF07) and menu "Поиск" item 1: asks for the
// string and searches forwards, ignoring case.  Ctrl+J in the prompt (scan
// F0) searches from the top of the text.
void SearchForward();
// Cmd::SearchUp (00089071) and menu item 4 "Вверх": the same upwards.
void SearchUp();
// Cmd::SearchMatchCase (Shift+F7, 00089265) and menu item 2: matches case
// and keeps the direction of the previous search (forwards after any menu
// or question).
void SearchMatchCase();
// Cmd::SearchMatchCaseUp (0008AB5C): matches case, upwards.
void SearchMatchCaseUp();
// Cmd::SearchAgain (Ctrl+Enter, 0000240A) and menu item 3: the previous
// string and case setting, in the previous direction (see above).
void SearchAgain();
// Cmd::NextEmptyLine (00002C1A): empties the search string and searches
// again, which finds the next empty or blank line.
void NextEmptyLine();
// Cmd::Replace (F6, 0200FF06) and menu item 5.
void Replace();
// Cmd::ReplaceFromFile (Ctrl+Shift+F8, 00089B5D) and the replace-by-file
// menu: the first line of each pair into the second; the other way round
// when reverse (menu item 2).
void ReplaceFromFile(bool reverse);

// Each turn of the main loop, while ReplacePending() is true, it calls
// ContinueReplace() instead of reading a key, after it has drawn the window
// with the cursor on the match, and then starts its next turn:
//   if (ReplacePending()) { ContinueReplace(); return; }
// ContinueReplace asks " Менять ?", acts on the answer and goes on to the
// next match, which may leave the question pending again.  Cancelled when
// the answer ended the run.
bool ReplacePending();
Outcome ContinueReplace();
