#include "edit/lines.h"

#include <algorithm>
#include <string>

#include "base/limits.h"
#include "base/state.h"
#include "text/marks.h"
#include "edit/words.h"
#include "text/linestore.h"
#include "text/messages.h"

namespace {


uint8_t At(std::string_view s, int i) {
  return i >= 1 && size_t(i) <= s.size() ? uint8_t(s[size_t(i - 1)]) : uint8_t(' ');
}
bool IsBlank(uint8_t c) { return c == ' '; }

// Column of the first non-blank of s, 0 for a line of blanks.
int FirstNonBlankCol(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i)
    if (s[i] != ' ') return int(i) + 1;
  return 0;
}

// Refuses a new line when the text already has as many lines as it may.
bool AtLineLimit() {
  if (Txt.LineCount < MaxLines) return false;
  ShowMessage(InBuildSet("СЛИШКОМ МНОГО СТРОК! НЕ ЗАПИСЫВАЙТЕ ЭТОТ ФАЙЛ!"), 1);
  return true;
}

// Shift+Left/Right begin alike: a line block gives way, and without a
// rectangular block one is started at the cursor.
void StartRectForShift() {
  if (Ed.BlockFirst > 0) UnmarkBlock();
  if (Ed.RectFirst <= 0) ExtendRectBlock(Ed.CurCol);
}

}  // namespace

void DeleteCharAtCursor() {
  SaveLineForUndo(Ed.CurLine);
  std::string W = LineString(Ed.CurLine);
  if (Ed.CurCol >= 1 && size_t(Ed.CurCol) <= W.size()) {
    W.erase(size_t(Ed.CurCol - 1), 1);
    StoreLine(W, Ed.CurLine);  // the store fills the end with a blank
  }
  if (Ed.RectFirst == Ed.CurLine && Ed.RectLast == Ed.CurLine && Ed.RectFirstCol > Ed.CurCol) {
    --Ed.RectFirstCol;
    --Ed.RectLastCol;
  }
}

void CursorRight(bool extend) {
  const int p = Ed.CurCol;
  const int length = StoredLength(Ed.CurLine);
  if (!extend) {
    if (Ed.CurCol <= length) ++Ed.CurCol;
    return;
  }
  StartRectForShift();
  if (p == Ed.RectFirstCol || p == Ed.RectLastCol)
    if (Ed.CurCol <= length) ++Ed.CurCol;
  if (p == Ed.RectFirstCol && Ed.RectLastCol > Ed.RectFirstCol)
    ++Ed.RectFirstCol;
  else if (Ed.RectLastCol < MaxLineBytes)
    ++Ed.RectLastCol;
}

void CursorLeft(bool extend) {
  const int p = Ed.CurCol;
  if (!extend) {
    if (Ed.CurCol > 1) --Ed.CurCol;
    return;
  }
  StartRectForShift();
  if (p == Ed.RectFirstCol || p == Ed.RectLastCol)
    if (Ed.CurCol > 1) --Ed.CurCol;
  if (p != Ed.RectFirstCol)
    --Ed.RectLastCol;
  else if (Ed.RectFirstCol > 1)
    --Ed.RectFirstCol;
  if (Ed.RectLastCol < Ed.RectFirstCol) RemoveAllMarks();
}

void CursorDown(bool extend) {
  if (Ed.CurLine >= Txt.LineCount) {
    ShowMessage(InBuildSet("Эта строка - последняя. Добавка новой - F3 или ВВОД."), 1);
    return;
  }
  if (extend) {
    const int16_t c = Ed.CurLine;
    if (Ed.RectLast == c) ++Ed.RectLast;
    else if (Ed.RectFirst == c) ++Ed.RectFirst;
    else if (Ed.BlockLast == c) ++Ed.BlockLast;
    else if (Ed.BlockFirst == c) ++Ed.BlockFirst;
    else {
      RemoveAllMarks();
      Ed.BlockFirst = c;
      Ed.BlockLast = int16_t(c + 1);
    }
    ClearMessageLine();
  }
  ++Ed.CurLine;
  Txt.LineSaved = false;
}

void CursorUp(bool extend) {
  if (Ed.CurLine <= 1) return;
  if (extend) {
    const int16_t c = Ed.CurLine;
    if (Ed.RectFirst == c) --Ed.RectFirst;
    else if (Ed.RectLast == c) --Ed.RectLast;
    else if (Ed.BlockFirst == c) --Ed.BlockFirst;
    else if (Ed.BlockLast == c) --Ed.BlockLast;
    else {
      RemoveAllMarks();
      Ed.BlockFirst = int16_t(c - 1);
      Ed.BlockLast = c;
    }
    ClearMessageLine();
  }
  Txt.LineSaved = false;
  --Ed.CurLine;
}

void PageUp() {
  Txt.LineSaved = false;
  const int page = Ed.PageLines;
  int line;
  if (Ed.WindowTop - page >= 1) {
    Ed.WindowTop = int16_t(Ed.WindowTop - page);
    line = Ed.CurLine - page;
  } else {
    line = Ed.CurLine - Ed.WindowTop + 1;  // the line on the cursor's screen row once the top is 1
    Ed.WindowTop = 1;
  }
  Ed.CurLine = int16_t(std::clamp(line, 1, std::max<int>(1, Txt.LineCount)));
}

void PageDown() {
  if (Ed.CurLine <= 0) Ed.CurLine = 1;
  Txt.LineSaved = false;
  const int page = Ed.PageLines;
  if (Ed.WindowTop + page <= Txt.LineCount) {
    Ed.WindowTop = int16_t(Ed.WindowTop + page);
    Ed.CurLine = int16_t(std::min<int>(Ed.CurLine + page, Txt.LineCount));
  } else {
    Ed.WindowTop = Ed.CurLine = Txt.LineCount;
  }
}

Outcome InsertEmptyLine() {
  if (AtLineLimit()) return Outcome::Refused;
  Ed.CurCol = Ed.IndentColumn;
  int16_t n = int16_t(Ed.CurLine + 1);
  if (!InsertLine(Txt.LineWidth, n)) return Outcome::Refused;
  Txt.LineSaved = false;
  // The cursor goes to the new line; when that is below the window the
  // main loop scrolls the window to it.
  Ed.CurLine = n;
  return Outcome::Done;
}

Outcome DuplicateLine() {
  if (AtLineLimit()) return Outcome::Refused;
  const int16_t from = Ed.CurLine;
  int16_t n = int16_t(from + 1);
  if (!InsertLine(StoredLength(from), n)) return Outcome::Refused;
  Txt.LineSaved = false;
  Ed.CurLine = n;
  StoreLine(LineBytes(from), n);
  return Outcome::Done;
}

Outcome SplitLine() {
  const std::string_view W = LineBytes(Ed.CurLine);
  std::string tail;
  if (Ed.CurCol >= 1 && size_t(Ed.CurCol) <= W.size()) tail = W.substr(size_t(Ed.CurCol - 1));
  // The new line may not pass 255 bytes: its trailing blanks go first, then
  // as much of the indentation as needed; the moved text is always kept.
  int indent = std::max(0, Ed.IndentColumn - 1);
  if (indent + tail.size() > MaxLineBytes)
    while (!tail.empty() && tail.back() == ' ') tail.pop_back();
  indent = std::min<int>(indent, MaxLineBytes - int(tail.size()));
  const std::string text = std::string(size_t(indent), ' ') + tail;

  int16_t n = int16_t(Ed.CurLine + 1);
  if (!InsertLine(uint8_t(std::max<size_t>(text.size(), Txt.LineWidth)), n)) return Outcome::Refused;
  StoreLine(text, n);
  ClearToLineEnd();
  return Outcome::Done;
}

void JoinLines() {
  if (Ed.CurLine >= Txt.LineCount) return;
  const int16_t cur = Ed.CurLine;
  const int16_t next = int16_t(cur + 1);
  // Both lines go into the ring, the cursor line last, so that restoring
  // the cursor line gives it back as it was before the join.
  Txt.LineSaved = false;
  SaveLineForUndo(next);
  Txt.LineSaved = false;
  SaveLineForUndo(cur);

  const int col = std::clamp(Ed.CurCol, 1, MaxLineBytes + 1);
  std::string A(LineBytes(cur).substr(0, size_t(col - 1)));
  A.resize(size_t(col - 1), ' ');

  std::string B(LineBytes(next));
  int k = FirstNonBlankCol(B);
  if (k == 0) k = int(B.size()) + 1;
  // One blank stays between the two texts.
  if (k > 1 && !A.empty() && A.back() != ' ') --k;
  const int n = TrimmedLength(B);

  if (col + n - k <= Ed.FormatWidth) {
    if (n >= k) A += B.substr(size_t(k - 1), size_t(n - k + 1));
    int16_t d = next;
    DeleteLine(d);
  } else {
    // Only whole words move: up to the last blank that still fits.
    int m = std::min(k + Ed.FormatWidth - col + 1, MaxLineBytes + 1);
    while (m > k && !IsBlank(At(B, m))) --m;
    if (m <= k) return;
    A += B.substr(size_t(k - 1), size_t(m - k));
    size_t rest = size_t(m - 1);
    while (rest < B.size() && B[rest] == ' ') ++rest;
    B = B.substr(0, size_t(k - 1)) + B.substr(rest);
    StoreLine(B, next);
  }
  if (A.size() > MaxLineBytes) A.resize(MaxLineBytes);  // only blanks can stand there
  StoreLine(A, cur);
}

void SetIndentation(int target) {
  SaveLineForUndo(Ed.CurLine);
  std::string W = LineString(Ed.CurLine);
  const int k = FirstNonBlankCol(W);
  if (k == 0) return;  // nothing to move
  target = std::clamp(target, 1, MaxLineBytes);
  if (target > k) {
    // The text moves right only as far as it still fits in a line.
    const int room = MaxLineBytes - TrimmedLength(W);
    const int shift = std::min(target - k, std::max(0, room));
    W.insert(0, size_t(shift), ' ');
    if (W.size() > MaxLineBytes) W.resize(MaxLineBytes);
  } else if (target < k) {
    W.erase(0, size_t(k - target));
  }
  StoreLine(W, Ed.CurLine);
}

void ClearToLineEnd() {
  SaveLineForUndo(Ed.CurLine);
  std::string W = LineString(Ed.CurLine);
  if (Ed.CurCol >= 1 && size_t(Ed.CurCol) <= W.size()) {
    W.resize(size_t(Ed.CurCol - 1));  // the store blanks the rest
    StoreLine(W, Ed.CurLine);
  }
}

void DeleteWordLeft(bool afterBlank) {
  if (Ed.CurCol <= 1) return;
  SaveLineForUndo(Ed.CurLine);
  std::string W = LineString(Ed.CurLine);
  int p = std::min<int>(Ed.CurCol, int(W.size()) + 1);
  if (IsBlank(At(W, Ed.CurCol - 1))) afterBlank = true;
  if (IsDelimiter(At(W, p)) && IsDelimiter(At(W, p - 1))) ++p;
  p = WordStartLeft(W, p);
  int e = WordEndRight(W, p, WordEnd::NextStart);
  while (p > 1 && IsDelimiter(At(W, p - 1)) && At(W, p) > ' ') --p;
  if (!IsBlank(At(W, e)) && !(IsDelimiter(At(W, e)) && !afterBlank)) --e;

  if (e >= p && size_t(p) <= W.size()) W.erase(size_t(p - 1), size_t(e - p + 1));
  Ed.CurCol = p;
  if (Ed.CurCol > 1 && !IsBlank(At(W, Ed.CurCol - 1))) {
    if (size_t(Ed.CurCol - 1) <= W.size()) W.insert(size_t(Ed.CurCol - 1), 1, ' ');
    ++Ed.CurCol;
  }
  if (W.size() > MaxLineBytes) W.resize(MaxLineBytes);
  StoreLine(W, Ed.CurLine);
}

void DeleteWord() {
  SaveLineForUndo(Ed.CurLine);
  const std::string W = LineString(Ed.CurLine);
  const uint8_t c = At(W, Ed.CurCol);
  const bool onBlank = IsBlank(c);
  if (onBlank && Ed.CurCol > TrimmedLength(W)) return;
  if (onBlank || (IsDelimiter(c) && (Ed.CurCol == 1 || IsBlank(At(W, Ed.CurCol - 1))))) {
    // Each deletion shortens the text by one, so the loops end.
    auto here = [] { return At(LineBytes(Ed.CurLine), Ed.CurCol); };
    while (IsDelimiter(here()) && Ed.CurCol <= TrimmedLength(LineBytes(Ed.CurLine))) DeleteCharAtCursor();
    while (IsBlank(here()) && Ed.CurCol <= TrimmedLength(LineBytes(Ed.CurLine))) DeleteCharAtCursor();
    return;
  }
  Ed.CurCol = WordEndRight(W, Ed.CurCol, WordEnd::NextStart);
  DeleteWordLeft(true);
}
