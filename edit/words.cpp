#include "edit/words.h"

#include <algorithm>

#include "base/keycodes.h"
#include "base/limits.h"
#include "base/state.h"
#include "text/marks.h"
#include "screen/keys.h"
#include "text/linestore.h"

namespace {


// Byte i (1-based) of s; outside s a blank, so every line reads as if it
// were padded with blanks on both sides.
uint8_t At(std::string_view s, int i) {
  return i >= 1 && size_t(i) <= s.size() ? uint8_t(s[size_t(i - 1)]) : uint8_t(' ');
}

bool IsBlank(uint8_t c) { return c == ' '; }
bool IsControl(uint8_t c) { return c < 32; }
bool IsWordChar(uint8_t c) { return c > 32 && !IsDelimiter(c); }

// Steps shared by WordAtCursor and MarkWord: the word around the cursor in
// a copy W of the cursor line, from b to e (e: the column after the word
// and its trailing delimiters).  False when the cursor stands on a blank
// after a blank (or at column 1).
bool WordAround(std::string& W, WordPart part, int& b, int& e) {
  W = LineString(Ed.CurLine);
  e = std::min<int>(Ed.CurCol, int(W.size()));
  if (e < 1) return false;
  // Word completion treats a control byte under the cursor as a blank.
  if (part == WordPart::ToCursor && IsControl(At(W, e))) W[size_t(e - 1)] = ' ';
  if (IsBlank(At(W, e)) && (e == 1 || IsBlank(At(W, e - 1)))) return false;
  if (e > 1 && IsDelimiter(At(W, e)) && IsBlank(At(W, e - 1))) ++e;
  e = WordEndRight(W, e, WordEnd::PastDelimiters);
  b = std::min(WordStartLeft(W, e), Ed.CurCol);
  while (b < e && IsDelimiter(At(W, b))) ++b;
  return true;
}

}  // namespace

bool IsDelimiter(uint8_t ch) { return ch != 0 && Delimiters.find(char(ch)) != std::string_view::npos; }

int WordStartLeft(std::string_view line, int pos) {
  int i = std::clamp(pos, 0, MaxLineBytes + 1);
  auto delimiters = [&] {
    if (i > 0 && IsDelimiter(At(line, i))) {
      --i;
      while (i > 0 && IsDelimiter(At(line, i))) --i;
    }
  };
  auto wordAndControls = [&] {
    while (i > 0 && IsWordChar(At(line, i))) --i;
    while (i > 0 && IsControl(At(line, i))) --i;
  };
  delimiters();
  wordAndControls();
  if (i > 0 && !IsDelimiter(At(line, i))) {
    --i;
    while (i > 0 && IsBlank(At(line, i))) --i;
  }
  delimiters();
  wordAndControls();
  return i + 1;
}

int WordEndRight(std::string_view line, int pos, WordEnd to) {
  const int n = TrimmedLength(line);
  int i = std::clamp(pos, 0, MaxLineBytes + 1);
  auto skip = [&](bool (*cls)(uint8_t)) {
    while (i <= n && cls(At(line, i))) ++i;
  };
  if (i <= n && IsDelimiter(At(line, i)) && IsBlank(At(line, i + 1))) ++i;
  if (to == WordEnd::End) skip(IsBlank);
  skip(IsControl);
  skip(IsWordChar);
  if (to == WordEnd::NextStart || to == WordEnd::PastDelimiters) {
    skip(IsDelimiter);
    if (to == WordEnd::NextStart) skip(IsBlank);
  }
  return i;
}

void WordAtCursor(std::string& text, WordPart part) {
  text.clear();
  std::string W;
  int b = 0, e = 0;
  if (!WordAround(W, part, b, e)) return;
  switch (part) {
    case WordPart::Word:  // trailing delimiters go unless a blank follows them
      while (e > b && !IsBlank(At(W, e)) && IsDelimiter(At(W, e - 1))) --e;
      while (b < e && IsControl(At(W, b))) ++b;
      break;
    case WordPart::ToCursor:
      e = Ed.CurCol;
      break;
    case WordPart::WithBlank:
      if (IsBlank(At(W, e))) ++e;
      break;
    case WordPart::WithDelimiters:
      break;
  }
  e = std::min(e, b + MaxLineBytes);
  for (int i = b; i < e; ++i) text += char(At(W, i));
}

void MarkWord(bool leaveLastOut) {
  if (!(Ed.RectFirst == Ed.CurLine && Ed.RectLast == Ed.CurLine)) RemoveAllMarks();
  std::string W;
  int b = 0, e = 0;
  if (!WordAround(W, WordPart::WithDelimiters, b, e)) return;
  ExtendRectBlock(b);
  if (IsWordChar(At(W, e))) --e;
  if (leaveLastOut || IsControl(At(W, e))) --e;
  ExtendRectBlock(e);
  if (!(leaveLastOut && IsBlank(At(W, Ed.CurCol)))) ExtendRectBlock(Ed.CurCol);
}

void ExtendLineBlock() {
  if (Ed.RectFirst > 0) {
    Ed.BlockFirst = Ed.RectFirst;
    Ed.BlockLast = Ed.RectLast;
    Ed.RectFirst = Ed.RectLast = 0;
  }
  if (Ed.BlockFirst > 0) {
    if (Ed.CurLine > Ed.BlockLast)
      Ed.BlockLast = Ed.CurLine;
    else if (Ed.CurLine < Ed.BlockFirst)
      Ed.BlockFirst = Ed.CurLine;
  } else {
    Ed.BlockFirst = Ed.BlockLast = Ed.CurLine;
  }
}

void ExtendRectBlock(int col) {
  if (col > StoredLength(Ed.CurLine)) --col;
  col = std::clamp(col, 1, MaxLineBytes);
  if (Ed.BlockFirst > 0) {
    ExtendLineBlock();
    return;
  }
  if (Ed.RectFirst <= 0) {
    Ed.RectFirst = Ed.RectLast = Ed.CurLine;
    Ed.RectFirstCol = Ed.RectLastCol = col;
    return;
  }
  if (Ed.CurLine > Ed.RectLast)
    Ed.RectLast = Ed.CurLine;
  else if (Ed.CurLine < Ed.RectFirst)
    Ed.RectFirst = Ed.CurLine;
  if (col > Ed.RectLastCol)
    Ed.RectLastCol = col;
  else if (col < Ed.RectFirstCol)
    Ed.RectFirstCol = col;
}
