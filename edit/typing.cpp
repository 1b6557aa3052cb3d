#include "edit/typing.h"

#include <algorithm>
#include <array>
#include <string>

#include "base/limits.h"
#include "base/state.h"
#include "text/marks.h"
#include "edit/lines.h"
#include "edit/prompt.h"
#include "edit/words.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "screen/term.h"
#include "text/heap.h"
#include "text/linestore.h"
#include "text/messages.h"

TypingState Typing;

namespace {

constexpr int FirstLineColumn = 5;   // where a formatted paragraph's text starts

// Byte i (1-based) of s; outside s a blank.
uint8_t At(std::string_view s, int i) {
  return i >= 1 && size_t(i) <= s.size() ? uint8_t(s[size_t(i - 1)]) : uint8_t(' ');
}

bool LineEmpty(int n) { return TrimmedLength(LineBytes(n)) == 0; }

// A line whose text starts at the first tab stop after IndentColumn opens a
// paragraph.
bool BeginsParagraph(int n) {
  const int first = FirstNonBlank(LineBytes(n));
  return first != 0 && first == Ed.TabStops[1];
}

// True when the line after n closes n's paragraph: there is none, or it is
// empty, or it opens a paragraph of its own.
bool NextEndsParagraph(int n) {
  return n >= Txt.LineCount || LineEmpty(n + 1) || BeginsParagraph(n + 1);
}

// The indentation a list item keeps on its following lines: W is the item's
// line, receiving the line its text goes to.  A digit marker ("1 ", "1) ",
// "1. ", the same after a first digit) or "* " counts only when the
// receiving line starts with as many blanks as the marker is wide, so the
// text already there is never torn apart.
int ListMarkerWidth(std::string_view W, std::string_view receiving) {
  auto roomFor = [&](int width) {
    for (int i = 1; i <= width; ++i)
      if (At(receiving, i) != ' ') return false;
    return true;
  };
  static constexpr std::array<std::string_view, 3> Tails = {" ", ") ", ". "};
  const bool twoDigits = At(W, 1) >= '0' && At(W, 1) <= '9';
  for (char d = '0'; d <= '9'; ++d) {
    for (std::string_view tail : Tails) {
      for (int at = 1; at <= (twoDigits ? 2 : 1); ++at) {
        if (At(W, at) != uint8_t(d)) continue;
        bool match = true;
        for (size_t j = 0; j < tail.size(); ++j)
          if (At(W, at + 1 + int(j)) != uint8_t(tail[j])) match = false;
        const int width = at + int(tail.size());
        if (match && roomFor(width)) return width;
      }
    }
  }
  if (At(W, 1) == '*' && At(W, 2) == ' ' && roomFor(2)) return 2;
  return 0;
}

// In insert mode a one-line rectangular block right of an inserted
// character moves with its text; one pushed past FormatWidth is dropped.
void ShiftRectRight(int line, int col) {
  if (!Ed.InsertMode) return;
  if (Ed.RectFirst != line || Ed.RectLast != line || Ed.RectFirstCol < col) return;
  ++Ed.RectFirstCol;
  ++Ed.RectLastCol;
  if (Ed.RectLastCol > Ed.FormatWidth) RemoveAllMarks();
}

// A blank typed just after a full-width line opens the next line instead.
void OpenNextLine(std::string_view W) {
  int16_t n = int16_t(Ed.CurLine + 1);
  const bool reuse = n <= Txt.LineCount && !LineEmpty(n) && !BeginsParagraph(n);
  if (!reuse && !InsertLine(Txt.LineWidth, n)) return;
  Ed.CurLine = n;
  Txt.LineSaved = false;
  Ed.CurCol = std::min(Ed.IndentColumn + ListMarkerWidth(W, LineBytes(n)), MaxLineBytes);
}

// Moves the word W[p+1 .. q] of the cursor line (p: the blank before it) to
// the front of the next line of the paragraph; c is the column where the
// character was typed.  The cursor follows when c lies in the word (or is
// the blank before it, which the word leaves behind at the end of the line).
// False when no line could be made for it; nothing is stored then.
bool BreakLine(std::string W, int p, int q, int c) {
  const int16_t line = Ed.CurLine;
  const int len = q - p;
  const int fw = Ed.FormatWidth;
  const int ic = Ed.IndentColumn;

  int16_t n = int16_t(line + 1);
  if (n > Txt.LineCount || LineEmpty(n) || BeginsParagraph(n)) {
    if (!InsertLine(Txt.LineWidth, n)) return false;
  }
  // A next line too full to take the word in front gets a blank line before it.
  while (fw - TrimmedLength(LineBytes(n)) < ic + len) {
    if (!InsertLine(Txt.LineWidth, n)) return false;
  }

  const bool follows = c >= p;
  if (follows) Txt.LineSaved = false;  // the cursor is leaving for line n
  SaveLineForUndo(n);
  std::string N = LineString(n);
  int k = 1 + ListMarkerWidth(W, N);
  while (k < ic && At(N, k) == ' ') ++k;
  k = std::min(k, MaxLineBytes - len);  // the word and its blank stay within the line

  if (N.size() < size_t(k - 1)) N.resize(size_t(k - 1), ' ');
  N.insert(size_t(k - 1), W.substr(size_t(p), size_t(len)) + ' ');
  if (N.size() > MaxLineBytes) N.resize(MaxLineBytes);  // only blanks stand there
  StoreLine(N, n);
  if (TrimmedLength(N) > StoredLength(n)) return false;  // no memory to grow line n

  W.erase(size_t(p), size_t(len));
  StoreLine(W, line);

  Typing.BreakLine = n;
  if (follows) {
    // The cursor stays right after the typed character, now on line n.
    Ed.CurLine = n;
    Ed.CurCol = c - p + k;
  }
  Typing.BreakCol = Ed.CurCol;
  return true;
}

// The column where the word crossing FormatWidth starts (the first word
// after it when column FormatWidth + 1 is a blank).
int CrossingWordStart(std::string_view W) {
  const int fw = Ed.FormatWidth;
  if (At(W, fw + 1) != ' ') return WordEndRight(W, WordStartLeft(W, fw), WordEnd::NextStart);
  return WordEndRight(W, fw, WordEnd::NextStart);
}

// Single blanks between words, none at the ends, the text from column col
// (less when a long text would not fit).
std::string Normalised(std::string_view s, int col) {
  std::string text;
  bool blank = false;
  for (char ch : s) {
    if (ch == ' ') {
      blank = true;
      continue;
    }
    if (blank && !text.empty()) text += ' ';
    blank = false;
    text += ch;
  }
  const int indent = std::clamp(col - 1, 0, std::max(0, MaxLineBytes - int(text.size())));
  return std::string(size_t(indent), ' ') + text;
}

// Justification: blanks go in before the words, from the first word on and
// pass after pass, until the line's text ends in column FormatWidth.  A line
// without a gap to widen (one word, or words joined by delimiters) stays.
void Spread(int n) {
  const int fw = Ed.FormatWidth;
  std::string J = LineString(n);
  if (TrimmedLength(J) >= fw || FirstNonBlank(J) == 0) return;
  if (J.size() < size_t(fw)) J.resize(size_t(fw), ' ');
  bool filled = false;
  while (!filled) {
    bool widened = false;
    int i = FirstNonBlank(J);
    for (;;) {
      int s = WordEndRight(J, i, WordEnd::NextStart);
      if (s <= i || s > TrimmedLength(J) || s > fw) break;
      if (At(J, s - 1) == ' ') {  // not right after a delimiter
        J.insert(size_t(s - 1), 1, ' ');
        J.erase(size_t(fw), 1);  // the blank pushed out of column FormatWidth
        widened = true;
        ++s;
        if (At(J, fw) != ' ') {
          filled = true;
          break;
        }
      }
      i = s;
    }
    if (!widened) return;
  }
  StoreLine(J, n);
}

}  // namespace

void ResetTypingState() { Typing = TypingState{}; }

int FirstNonBlank(std::string_view line) {
  for (size_t i = 0; i < line.size(); ++i)
    if (line[i] != ' ') return int(i) + 1;
  return 0;
}

bool LineLimitOn() { return !Ed.LineLimitOff; }

void ToggleLineLimit() {
  Ed.LineLimitOff = !Ed.LineLimitOff;
  ClearMessageLine();
}

bool TypeChar(uint8_t ch) {
  Typing.BreakLine = 0;
  const int16_t line = Ed.CurLine;
  if (line < 1 || line > Txt.LineCount) {
    ++Typing.Lost;
    return false;
  }
  if (Ed.CurCol < 1) Ed.CurCol = 1;
  const int c = Ed.CurCol;
  const int fw = Ed.FormatWidth;
  const int ic = Ed.IndentColumn;
  const bool limit = LineLimitOn();

  SaveLineForUndo(line);
  std::string W = LineString(line);
  const int stored = int(W.size());
  // Overwriting: the character under the cursor goes first.  Done on the
  // copy, so that a refused character leaves the line as it was.
  if (!Ed.InsertMode && size_t(c) <= W.size()) W.erase(size_t(c - 1), 1);

  if (c > Txt.LineWidth && ch == ' ' && limit && stored <= Txt.LineWidth && c > TrimmedLength(W)) {
    const int16_t before = Ed.CurLine;
    OpenNextLine(W);
    if (Ed.CurLine != before) return true;
    ++Typing.Lost;  // no line could be opened
    return false;
  }
  if (c > MaxLineBytes) {  // no column left for it
    ++Typing.Lost;
    return false;
  }

  if (W.size() < size_t(c - 1)) W.resize(size_t(c - 1), ' ');
  W.insert(size_t(c - 1), 1, char(ch));
  if (W.size() > MaxLineBytes) {  // a full line loses its last character
    if (W.back() != ' ') ++Typing.Lost;
    W.resize(MaxLineBytes);
  }
  int p = std::max<int>(TrimmedLength(W), c);

  // A line that must grow keeps its old contents when memory is short; the
  // character is then dropped.
  auto storeWhole = [&] {
    StoreLine(W, line);
    if (TrimmedLength(W) <= StoredLength(line)) return true;
    ++Typing.Lost;
    return false;
  };
  if (p <= fw || !limit || stored > Txt.LineWidth) {
    // Within the width, or no breaking: the line grows past FormatWidth.
    if (!storeWhole()) return false;
  } else {
    const int q = p;
    while (p > 0 && At(W, p) != ' ') --p;
    if (p < ic || (ch == ' ' && p <= ic)) {
      ++Typing.Lost;
      if (Typing.Trials == 0) RefusalPause();
      return false;
    }
    if (ic + (q - p) > fw) {
      if (!storeWhole()) return false;  // a word that can never fit stays where it is
    } else {
      if (!BreakLine(W, p, q, c)) {
        ++Typing.Lost;
        return false;
      }
      if (Ed.CurLine != line) {
        ShiftRectRight(line, c);
        return true;
      }
    }
  }
  // The cursor goes on after the character, also past FormatWidth: a long
  // word that stays on its line is typed in order.
  Ed.CurCol = c + 1;
  ShiftRectRight(line, c);
  return true;
}

void TypeString(std::string_view text) {
  for (char ch : text) TypeChar(uint8_t(ch));
  const int col = Ed.CurCol - Ed.HScroll;
  const int row = Ed.CurLine - Ed.WindowTop + 3;
  if (col >= 1 && col <= Scr.ScreenWidth && row >= 3 && row <= Scr.ScreenHeight) MoveCursor(col, row);
}

bool FitLine(std::string& s) {
  if (s.size() <= size_t(MaxLineBytes)) return true;
  if (s.find_first_not_of(' ', size_t(MaxLineBytes)) != std::string::npos) return false;
  s.resize(size_t(MaxLineBytes));
  return true;
}

void RefuseLongLine() {
  ShowMessage(InBuildSet("Команда не выполнена: строка стала бы длиннее 255 символов."), 1);
}

bool SpliceAtCursor(int count, std::string_view text) {
  const int line = Ed.CurLine;
  const int col = Ed.CurCol;
  if (line < 1 || line > Txt.LineCount || col < 1 || count < 0 || !Ed.InsertMode) return false;
  const std::string_view s = LineBytes(line);
  const size_t stored = s.size();
  if (size_t(col) > stored) return false;  // nothing to delete there: typing pads the line
  const int last = col + int(text.size()) - 1;  // the column of the last typed character
  if (last > MaxLineBytes) return false;
  // The line as typing would leave it: each insertion into a full line
  // pushes out its last byte, which comes to the same as cutting the whole
  // at 255, and that may take blanks only.
  static std::string W;  // kept, so that a run of replacements allocates once
  W.clear();
  W.append(s.substr(0, size_t(col - 1)));
  W.append(text);
  W.append(s.substr(std::min(stored, size_t(col - 1) + size_t(count))));
  if (W.size() < stored) W.resize(stored, ' ');
  if (!FitLine(W)) return false;
  const int t = TrimmedLength(W);
  // With the limit on, a character typed where the line's text passes
  // FormatWidth breaks the line, and a blank past LineWidth opens the next
  // line.  Every step's text is at most the final one's, so checking the
  // final line and the last column covers them all.
  if (LineLimitOn() && stored <= Txt.LineWidth && (std::max(t, last) > Ed.FormatWidth || last > Txt.LineWidth))
    return false;
  // A line that grows takes a new block; typing grows it step by step,
  // each step needing at most a line's length of free memory.
  if (size_t(t) > stored && LargestFreeBlock() <= 3 * 256) return false;

  SaveLineForUndo(line);
  StoreLine(W, line);
  if (!text.empty()) {
    Typing.BreakLine = 0;
    for (int c = col; c <= last; ++c) ShiftRectRight(line, c);
    Ed.CurCol = last + 1;
  }
  return true;
}

struct TypingTrial::Saved {
  EditorState editor;
  TypingState typing;
  bool modified, lineSaved;
  uint8_t undoIndex;
  decltype(Txt.UndoRing) ring;
};

TypingTrial::TypingTrial(int first_, int last_)
    : first(std::max(first_, 1)),
      last(std::min<int>(last_, Txt.LineCount)),
      count(Txt.LineCount),
      saved(new Saved{Ed, Typing, Txt.Modified, Txt.LineSaved, Txt.UndoIndex, Txt.UndoRing}),
      lostAtStart(Typing.Lost) {
  for (int n = first; n <= last; ++n) {
    lines.emplace_back(LineBytes(n));
    widths.push_back(StoredLength(n));
  }
  ++Typing.Trials;
}

TypingTrial::~TypingTrial() { --Typing.Trials; }

void TypingTrial::Undo() {
  if (!lines.empty()) {
    // The region as it stands now: its lines after the first go, the saved
    // ones come back after it, and the first is stored back (in a block of
    // its old length, when it grew).
    const int lastNow = std::max(first, last + (Txt.LineCount - count));
    for (int n = lastNow; n > first; --n) {
      int16_t k = int16_t(n);
      DeleteLine(k);
    }
    bool stored = false;
    if (StoredLength(first) != widths[0]) {
      int16_t n = int16_t(first);
      if (InsertLine(widths[0], n) && n == first) {
        StoreLine(lines[0], n);
        int16_t old = int16_t(first + 1);
        DeleteLine(old);
        stored = true;
      }
    }
    if (!stored) StoreLine(lines[0], first);
    for (size_t i = 1; i < lines.size(); ++i) {
      int16_t n = int16_t(first + int(i));
      if (InsertLine(widths[i], n)) StoreLine(lines[i], n);
    }
  }
  const int lost = Typing.Lost, trials = Typing.Trials;
  Ed = saved->editor;
  Typing = saved->typing;
  Typing.Lost = lost;
  Typing.Trials = trials;
  Txt.Modified = saved->modified;
  Txt.LineSaved = saved->lineSaved;
  Txt.UndoIndex = saved->undoIndex;
  Txt.UndoRing = saved->ring;
}

void DeleteChars(int lineNo, int col, int count) {
  if (lineNo < 1 || lineNo > Txt.LineCount || col < 1 || count <= 0) return;
  std::string W = LineString(lineNo);
  if (size_t(col) > W.size()) return;
  W.erase(size_t(col - 1), size_t(count));
  StoreLine(W, lineNo);  // the store fills the end with blanks
}

void FormatParagraph(FormatStyle style) {
  Typing.FormatMode = style;
  if (Txt.LineCount < 1) return;
  const bool insertMode = Ed.InsertMode;
  Ed.InsertMode = true;
  const int fw = Ed.FormatWidth;
  const int ic = Ed.IndentColumn;

  // The paragraph: from the cursor (or the first text below it) up to the
  // line that opens it.
  int16_t first = int16_t(std::clamp<int>(Ed.CurLine, 1, Txt.LineCount));
  while (first < Txt.LineCount && LineEmpty(first)) ++first;
  while (!LineEmpty(first) && first > 1 && !BeginsParagraph(first)) --first;
  if (LineEmpty(first)) ++first;
  if (first > Txt.LineCount) {
    Ed.CurLine = Txt.LineCount;
    Ed.CurCol = ic;
    Txt.LineSaved = false;
    Ed.InsertMode = insertMode;
    return;
  }

  // Single blanks, the first line indented, the others at IndentColumn.
  int16_t last = first;
  while (!NextEndsParagraph(last)) ++last;
  for (int n = first; n <= last; ++n) {
    Txt.LineSaved = false;
    SaveLineForUndo(n);
    StoreLine(Normalised(LineBytes(n), n == first ? FirstLineColumn : ic), n);
  }

  Ed.CurLine = first;
  Txt.LineSaved = false;
  int repeats = 0;
  for (;;) {
    StopIfClosing();
    const int16_t cur = Ed.CurLine;
    const int t = TrimmedLength(LineBytes(cur));
    const bool lastLine = NextEndsParagraph(cur);
    if (lastLine && t <= fw) break;
    // Pull up as many whole words of the next line as fit.
    if (!lastLine) {
      int col = t;
      if (ic == 1) {
        if (t + 2 <= fw) col = t + 2;
      } else if (t < fw) {
        col = t + 1;
      }
      Ed.CurCol = col;
      if (col > t) JoinLines();
    }
    // A line still too long breaks before the word that crosses the width
    // (never before its first word: the line would be left empty).
    const std::string W = LineString(cur);
    if (TrimmedLength(W) > fw) {
      const int s = CrossingWordStart(W);
      if (s <= fw + 2 && s <= TrimmedLength(W) && s > FirstNonBlank(W)) {
        Ed.CurCol = s;
        if (SplitLine() != Outcome::Done) break;
      }
    }
    const int t2 = TrimmedLength(LineBytes(cur));
    Ed.CurCol = t2;
    if (t2 != t && t2 <= fw && ++repeats < 1000) continue;
    repeats = 0;
    if (cur >= Txt.LineCount || NextEndsParagraph(cur)) break;
    if (style == FormatStyle::Justified) Spread(cur);
    Ed.CurLine = int16_t(cur + 1);
    Txt.LineSaved = false;
    SetIndentation(ic);
  }

  if (Ed.CurLine < Txt.LineCount) ++Ed.CurLine;
  Ed.CurCol = ic;
  Txt.LineSaved = false;
  Ed.InsertMode = insertMode;
}

void ExpandTabs() {
  Txt.Modified = true;
  for (int n = 1; n <= Txt.LineCount; ++n) {
    const std::string_view s = LineBytes(n);
    if (s.find('\t') == std::string_view::npos) continue;
    std::string out;
    for (char ch : s) {
      if (ch != '\t') {
        out += ch;
        continue;
      }
      out += ' ';
      while (out.size() % 8 != 0) out += ' ';
    }
    if (out.size() > MaxLineBytes) out.resize(MaxLineBytes);
    StoreLine(out, n);
  }
}

bool SetFormatWidth() {
  for (;;) {
    DrawMessage(InBuildSet("Сколько колонок в строке?"));
    const PromptResult typed = PromptLine(PromptKind::Other);
    const std::string& answer = typed.Text;
    if (!typed.Accepted() || answer.empty()) return false;
    // A whole number, blanks around it allowed.
    size_t b = answer.find_first_not_of(' ');
    size_t e = answer.find_last_not_of(' ');
    if (b == std::string::npos) continue;
    std::string_view num(answer.data() + b, e - b + 1);
    bool negative = false;
    if (num[0] == '+' || num[0] == '-') {
      negative = num[0] == '-';
      num.remove_prefix(1);
    }
    if (num.empty() || num.find_first_not_of("0123456789") != std::string_view::npos) continue;
    long value = 0;
    for (char d : num) value = std::min(value * 10 + (d - '0'), 100000L);
    if (negative) value = -value;
    if (value <= 1 || value > Txt.LineWidth) continue;
    Ed.FormatWidth = uint8_t(value);
    return true;
  }
}
