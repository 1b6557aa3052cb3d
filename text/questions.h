// One-line questions: numbered answers separated by '|' in row 1, an
// optional line of direct keys in row 2, answered by a digit, F2..F12,
// Enter on the highlighted answer, or Esc.  The menus use the same Ask.
#pragma once
#include <cstdint>
#include <string_view>

// What stays between questions: the highlighted answer (callers set it
// before asking) and the number of answers the last question offered.
struct QuestionState {
  uint8_t AskSelection = 1;
  int AnswerCount = 0;
};
extern QuestionState Q;

// The answers Ask returns besides 1..AnswerCount for a choice.
constexpr int AnswerEsc = 0;
constexpr int AnswerAbandon = 80;

// Texts are in the build's character set.  Returns AnswerEsc for Esc,
// 1..AnswerCount for a choice, AnswerAbandon for abandon.
int Ask(std::string_view question, std::string_view direct, uint8_t aPrompt, uint8_t aAnswer, uint8_t aHigh,
        uint8_t aDirect);
