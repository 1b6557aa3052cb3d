// The prompt line: every string the editor asks for is typed on the message
// row, with a history of search and replacement strings that the
// saved-strings file carries from one run to the next.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/savefile.h"

// What is asked for.  Search and Replace offer the history and keep what
// was typed in it; MacroWord offers a macro word made from the word at the
// cursor.
enum class PromptKind { Search, Replace, Other, MacroWord };

// How the prompt ended: Enter; Ctrl+J on a search string (search from the
// top); Esc; Ctrl+P (the string goes into the text instead).
enum class PromptEnd { Accepted, AcceptedFromTop, Cancelled, IntoText };

struct PromptResult {
  std::string Text;  // the edited text, however the prompt ended
  PromptEnd End = PromptEnd::Cancelled;
  bool Accepted() const { return End == PromptEnd::Accepted || End == PromptEnd::AcceptedFromTop; }
};

struct PromptState {
  std::array<std::string, 16> StringHistory;  // each at most 53 bytes
  uint8_t HistoryIndex = 0;
  int8_t QuickSearchCase = 0;
  int8_t LoadedCase = 0;  // line 17 of the saved-strings file
};
extern PromptState Prompt;

void ResetPromptState();

// Edits a string on row 2, starting from offered (Search and Replace start
// from the history instead).
[[nodiscard]] PromptResult PromptLine(PromptKind kind, std::string_view offered = {});

void LoadStringHistory();
void SaveStringHistory();

// The prompt line as the file-name dialogs read a name (UseNameLine).
NameAnswer PromptName(std::string_view offered);
