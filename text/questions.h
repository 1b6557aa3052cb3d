// One-line questions: numbered answers separated by '|' in row 1, an
// optional line of direct keys in row 2, answered by a digit, F2..F12,
// Enter on the highlighted answer, or Esc.  The menus use the same Ask.
#pragma once
#include <cstdint>
#include <string_view>

struct QuestionState {
  uint8_t AskSelection = 1;
  int AnswerCount = 0;
  int16_t Answer = 0;
};
extern QuestionState Q;

// Texts are in the build's character set.  Result in Q.Answer: 0 for Esc,
// 1..AnswerCount for a choice, 80 for abandon.
void Ask(std::string_view question, std::string_view direct, uint8_t aPrompt, uint8_t aAnswer, uint8_t aHigh,
         uint8_t aDirect);
