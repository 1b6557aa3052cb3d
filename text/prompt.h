// The prompt line: every string the editor asks for is typed on the message
// row, with a history of search and replacement strings that the
// saved-strings file carries from one run to the next.
#pragma once
#include <array>
#include <cstdint>
#include <string>

// Prompt kinds.
constexpr int PromptSearch = 1;
constexpr int PromptReplace = 2;
constexpr int PromptOther = 3;
constexpr int PromptMacroWord = 255;

struct PromptState {
  std::array<std::string, 16> StringHistory;  // each at most 53 bytes
  uint8_t HistoryIndex = 0;
  int8_t QuickSearchCase = 0;
  int8_t LoadedCase = 0;  // line 17 of the saved-strings file
};
extern PromptState Prompt;

void ResetPromptState();

// Edits text on row 2.  Result in Txt.Failed: 0 Enter, 1 Esc, 31 Ctrl+P.
// The edited text is left in text in every case.
void PromptLine(std::string& text, int kind);

void LoadStringHistory();
void SaveStringHistory();
