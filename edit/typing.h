// Typing with automatic line breaking, paragraph formatting and the
// settings of the format menu.
//
// Every character that reaches the text as typed text (keyboard, macros,
// continuations, replacements, pastes) goes through TypeChar.  While the
// line-length limit is on, a word that would pass FormatWidth moves to the
// next line of the paragraph, keeping the indentation of a list item.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// How FormatParagraph leaves the right edge of a paragraph.
enum class FormatStyle : uint8_t {
  Justified,  // "Справа ровно": blanks spread so the lines end at FormatWidth
  Ragged,     // "Справа неровно"
};

struct TypingState {
  FormatStyle FormatMode = FormatStyle::Justified;  // the style last used for a paragraph
  // Set by a break of TypeChar: the line that received the moved word and
  // the cursor column afterwards, for the main loop's record of the last
  // change; BreakLine is 0 when the last TypeChar did not break.
  int16_t BreakLine = 0;
  int BreakCol = 0;
  // Characters TypeChar could not place (refused, no column or no memory
  // left, no line for a break) and bytes other than blanks it pushed off
  // the end of a full line.  Only ever counts up.
  int Lost = 0;
  // While above 0 a refused character makes no pause: a trial of typing
  // (below) is running, and its command reports the refusal instead.
  int Trials = 0;
  // Literal mode: the next keys give one character by its letter or its
  // decimal code (collected in LiteralCode until Enter).
  bool LiteralMode = false;
  uint8_t LiteralCode = 0;
};
extern TypingState Typing;

void ResetTypingState();

// The position of the first non-blank of line, 0 for a line of blanks.
int FirstNonBlank(std::string_view line);

// The line-length limit (on unless switched off).
bool LineLimitOn();
// Flips the limit and redraws the message row (whose brightness shows it).
void ToggleLineLimit();

// Types one character at (CurLine, CurCol): inserts or overwrites by
// InsertMode and breaks the line at FormatWidth while the limit is on.
// False when the character could not be placed (it counts in Typing.Lost).
bool TypeChar(uint8_t ch);
// TypeChar for each character; the terminal cursor is placed afterwards.
void TypeString(std::string_view text);

// The one rule for text that would pass 255 bytes, for every command that
// lengthens lines: blanks at a line's end may be dropped to make room, no
// other byte is ever cut.  True when s can be a line, cut to 255 bytes if
// only blanks stood past them; false, s unchanged, when text would be lost.
bool FitLine(std::string& s);
// A command that could only be carried out by cutting text changes nothing
// and says why: "Команда не выполнена: строка стала бы длиннее 255
// символов." (waits for a key).
void RefuseLongLine();

// Deletes count characters at the cursor and types text there, in one step,
// when that is certain to give what deleting and then typing text character
// by character (in insert mode) gives: no line break can happen, no byte
// other than a blank is pushed out of the line, and memory is plenty for a
// line that grows.  The line is saved for undo first, the cursor goes after
// the text, and a one-line rectangle right of it moves along as typing moves
// it.  False, with nothing changed, when typing must do it.
bool SpliceAtCursor(int count, std::string_view text);

// A trial of a command that types: the lines first..last and the state a
// command changes (cursor, window, marks and blocks, the undo ring,
// Modified) as they stood when the trial began.  When the typing lost text
// (Typing.Lost went up), Undo puts everything back as it was, so that the
// command changes nothing.  The command may insert and delete lines, but
// only within first..last; lines after last just move.
class TypingTrial {
 public:
  TypingTrial(int first, int last);
  ~TypingTrial();
  TypingTrial(const TypingTrial&) = delete;
  TypingTrial& operator=(const TypingTrial&) = delete;
  bool Lost() const { return Typing.Lost != lostAtStart; }
  void Undo();

 private:
  int first, last;
  int16_t count;
  std::vector<std::string> lines;
  std::vector<uint8_t> widths;
  struct Saved;
  std::unique_ptr<Saved> saved;
  int lostAtStart;
};

// Removes count characters at col of line lineNo and stores the line.
void DeleteChars(int lineNo, int col, int count);

// Reflows the paragraph around the cursor to FormatWidth, justified or
// ragged; the cursor goes to the line after the paragraph.
void FormatParagraph(FormatStyle style);

// Tabs become blanks up to the next column 8k + 1, in every line.
void ExpandTabs();

// Asks "Сколько колонок в строке?" until a number from 2 to LineWidth is
// given (FormatWidth then takes it, result true) or the answer is empty or
// cancelled (false).
bool SetFormatWidth();
