#include "blocks/blocks.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/limits.h"
#include "base/state.h"
#include "text/marks.h"
#include "edit/typing.h"
#include "edit/words.h"
#include "screen/cells.h"
#include "screen/term.h"
#include "text/heap.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/savefile.h"

BlockState Blk;

void ResetBlockState() { Blk = BlockState{}; }

namespace {


// Byte i (1-based) of s; outside s a blank.
uint8_t At(std::string_view s, int i) {
  return i >= 1 && size_t(i) <= s.size() ? uint8_t(s[size_t(i - 1)]) : uint8_t(' ');
}

void Notice(std::string_view utf8) { ShowMessage(InBuildSet(utf8), 1); }

void ReportOverlap() {
  Notice("Недопустимое перекрытие блоков!");
}


// Puts the cursor on a line and a column of the text; false without text.
bool CursorOnText() {
  if (Txt.LineCount < 1) return false;
  Ed.CurLine = std::clamp<int16_t>(Ed.CurLine, 1, Txt.LineCount);
  Ed.CurCol = std::clamp(Ed.CurCol, 1, MaxLineBytes);
  return true;
}

int RectWidth() { return Ed.RectLastCol - Ed.RectFirstCol + 1; }
int RectHeight() { return Ed.RectLast - Ed.RectFirst + 1; }

// Columns first .. first + width - 1 of line n; positions past the stored
// length read as blanks, so the result is always width bytes.
std::string Columns(int n, int first, int width) {
  const std::string_view s = LineBytes(n);
  std::string out(size_t(std::max(width, 0)), ' ');
  for (int i = 0; i < width; ++i) out[size_t(i)] = char(At(s, first + i));
  return out;
}

void EraseColumns(std::string& s, int col, int count) {
  if (col < 1 || size_t(col) > s.size() || count <= 0) return;
  s.erase(size_t(col - 1), size_t(count));
}

// s with text inserted at col (s filled with blanks up to col - 1 first, so
// the text lands in its column even on a short line).  Not cut: Fits says
// whether the result may be.
std::string InsertedAt(std::string s, int col, std::string_view text) {
  col = std::max(col, 1);
  if (s.size() < size_t(col - 1)) s.resize(size_t(col - 1), ' ');
  s.insert(size_t(col - 1), text);
  return s;
}

// A line may be cut to 255 bytes only where it holds blanks.
bool Fits(std::string_view s) {
  std::string t(s);
  return FitLine(t);
}

// The new contents of the lines a command changes, by line number.  Built
// completely before anything is stored, so that a command either changes
// every line it should or none.
using Plan = std::map<int16_t, std::string>;

std::string& PlannedLine(Plan& plan, int16_t n) {
  auto it = plan.find(n);
  if (it == plan.end()) it = plan.emplace(n, LineString(n)).first;
  return it->second;
}

bool PlanFits(const Plan& plan) {
  for (const auto& [n, text] : plan)
    if (!Fits(text)) return false;
  return true;
}

// Stores the planned lines, each saved in the ring first.  Refused (nothing
// stored, false) when a line would lose text past column 255 or the
// lines that must grow would not all find memory.
bool Commit(Plan& plan) {
  if (!PlanFits(plan)) {
    RefuseLongLine();
    return false;
  }
  size_t need = 0;
  for (auto& [n, text] : plan) {
    if (n < 1 || n > Txt.LineCount) continue;
    FitLine(text);
    const int length = TrimmedLength(text);
    if (length > StoredLength(n)) need += size_t(length) + 1;
  }
  if (need > 0 && LargestFreeBlock() <= need) {
    Notice("НЕ ХВАТАЕТ ПАМЯТИ!");
    return false;
  }
  for (const auto& [n, text] : plan) {
    if (n < 1 || n > Txt.LineCount) continue;
    // Each line goes into the ring, not only the first one the command
    // touches; the flag is cleared afterwards so that the cursor line is
    // saved again by its next change.
    Txt.LineSaved = false;
    SaveLineForUndo(n);
    StoreLine(text, n);
  }
  Txt.LineSaved = false;
  Txt.Modified = true;
  return true;
}

// Appends blank lines of LineWidth until the text has line `last`; false
// (the line store has said why) when one is refused.
bool AppendLinesUpTo(int last) {
  while (Txt.LineCount < last) {
    int16_t n = int16_t(Txt.LineCount + 1);
    if (!InsertLine(Txt.LineWidth, n)) return false;
  }
  return true;
}

}  // namespace

size_t TypeBlockText(std::string_view text, int* pushed) {
  size_t typed = 0;
  for (char ch : text) {
    StopIfClosing();
    const int16_t line = Ed.CurLine;
    const int col = Ed.CurCol;
    const int16_t count = Txt.LineCount;
    const std::string was = LineString(line);
    const int16_t watch = Ed.RectFirst;
    const bool watching = pushed && watch >= 1 && watch <= Txt.LineCount;
    const int before = watching ? TrimmedLength(LineBytes(watch)) : 0;
    TypeChar(uint8_t(ch));
    const bool moved = Ed.CurLine != line || Ed.CurCol != col;
    if (!moved && Txt.LineCount == count && LineBytes(line) == was) break;  // refused
    ++typed;
    if (watching && Typing.BreakLine == watch && Ed.RectFirst == watch)
      *pushed += TrimmedLength(LineBytes(watch)) - before;
    // Typed into the last column, where the cursor stays: a further
    // character would push this one out of the line.
    if (!moved) break;
  }
  // What was not typed is lost, unless it is only blanks.
  if (text.find_first_not_of(' ', typed) != std::string_view::npos) ++Typing.Lost;
  Ed.CurCol = std::clamp(Ed.CurCol, 1, MaxLineBytes);
  TypeString({});  // the terminal cursor follows, as after any typing
  return typed;
}

namespace {

// ---- Line blocks ----

// The block's lines after the cursor line, last line first, so the copy
// keeps their order.  When the copy goes above the block, each insertion
// moves the block's marks down, and the next source line is found through
// them.  False when refused.
bool CopyLineBlock() {
  const int16_t cur = Ed.CurLine;
  if (Ed.BlockFirst <= cur && cur < Ed.BlockLast) {
    ReportOverlap();
    return false;
  }
  SaveLineForUndo(cur);
  const int count = Ed.BlockLast - Ed.BlockFirst + 1;
  for (int i = count - 1; i >= 0; --i) {
    StopIfClosing();
    const int src = Ed.BlockFirst + i;
    if (src < 1 || src > Txt.LineCount) break;
    const std::string text = LineString(src);
    int16_t n = int16_t(cur + 1);
    if (!InsertLine(uint8_t(text.size()), n)) return false;  // the lines copied so far stay
    StoreLine(text, n);
  }
  Txt.LineSaved = false;
  return true;
}

void DeleteLineBlock() {
  const int count = Ed.BlockLast - Ed.BlockFirst + 1;
  for (int i = 0; i < count; ++i) {
    StopIfClosing();
    int16_t n = Ed.BlockFirst;
    if (n < 1 || n > Txt.LineCount) break;
    if (Txt.LineCount == 1) {
      // The text never becomes empty: its one line is blanked, and the
      // marks stay, so the loop must end here.
      Ed.CurLine = 1;
      DeleteLine(n);
      break;
    }
    DeleteLine(n);
  }
  if (Ed.CurLine < Ed.WindowTop) Ed.WindowTop = Ed.CurLine;
  Txt.LineSaved = false;
  UnmarkBlock();
}

// ---- Rectangular blocks ----

// The rectangle's lines keep their text with the block's columns removed.
bool DeleteRectColumns() {
  Plan plan;
  for (int16_t n = Ed.RectFirst; n <= Ed.RectLast; ++n) EraseColumns(PlannedLine(plan, n), Ed.RectFirstCol, RectWidth());
  return Commit(plan);
}

// The texts of the rectangle's lines, read before anything changes, so
// that a target overlapping the source lines never reads moved text.
std::vector<std::string> RectTexts() {
  std::vector<std::string> texts;
  for (int16_t n = Ed.RectFirst; n <= Ed.RectLast; ++n) texts.push_back(Columns(n, Ed.RectFirstCol, RectWidth()));
  return texts;
}

// Whether the rectangle of the block's size at the cursor meets the block.
bool TargetMeetsBlock() {
  const int cur = Ed.CurLine;
  const int col = Ed.CurCol;
  return cur <= Ed.RectLast && col <= Ed.RectLastCol && Ed.RectFirst <= cur + RectHeight() - 1 &&
         Ed.RectFirstCol <= col + RectWidth() - 1;
}

// Puts texts[i] into line cur + i at column col, for lines already in plan
// or in the text; lines past the end are appended (blank) only once every
// line is known to fit.
bool PlaceTexts(Plan& plan, const std::vector<std::string>& texts, bool overwrite) {
  const int16_t cur = Ed.CurLine;
  const int col = Ed.CurCol;
  const int width = RectWidth();
  std::vector<std::string> appended;
  for (size_t i = 0; i < texts.size(); ++i) {
    const int target = cur + int(i);
    if (target > Txt.LineCount) {
      appended.push_back(InsertedAt(std::string(), col, texts[i]));
      continue;
    }
    std::string& s = PlannedLine(plan, int16_t(target));
    if (overwrite) EraseColumns(s, col, width);
    s = InsertedAt(s, col, texts[i]);
  }
  for (const std::string& s : appended)
    if (!Fits(s)) {
      RefuseLongLine();
      return false;
    }
  if (!PlanFits(plan)) {
    RefuseLongLine();
    return false;
  }
  const int firstNew = Txt.LineCount + 1;
  if (!appended.empty() && !AppendLinesUpTo(cur + int(texts.size()) - 1)) return false;
  for (size_t i = 0; i < appended.size(); ++i) {
    const int16_t n = int16_t(firstNew + int(i));
    PlannedLine(plan, n) = InsertedAt(LineString(n), col, texts[texts.size() - appended.size() + i]);
  }
  return Commit(plan);
}

// A one-line rectangle is typed at the cursor (inserting or overwriting,
// with automatic line breaking).  False when refused.
bool CopyOneLineRect(int* pushed) {
  if (Ed.CurLine == Ed.RectFirst && Ed.RectFirstCol < Ed.CurCol && Ed.CurCol <= Ed.RectLastCol) {
    ReportOverlap();
    return false;
  }
  TypingTrial trial(1, Txt.LineCount);
  SaveLineForUndo(Ed.CurLine);
  TypeBlockText(Columns(Ed.RectFirst, Ed.RectFirstCol, RectWidth()), pushed);
  if (!trial.Lost()) return true;
  trial.Undo();
  RefuseLongLine();
  return false;
}

// A rectangle of several lines goes into the rectangle of the same size at
// the cursor.  It may start on the block's first line at or left of it: the
// block's text then moves right on its own lines.  False when refused.
bool CopyRectLines() {
  if (TargetMeetsBlock() && !(Ed.CurLine == Ed.RectFirst && Ed.CurCol <= Ed.RectFirstCol)) {
    ReportOverlap();
    return false;
  }
  Plan plan;
  return PlaceTexts(plan, RectTexts(), !Ed.InsertMode);
}

// The block's columns move to the cursor column on their own lines.  False
// when refused.
bool MoveRectAlongLines() {
  const int width = RectWidth();
  int col = Ed.CurCol;
  if (col > Ed.RectLastCol) {
    col -= width;  // where the cursor column is once the block is out
  } else if (col > Ed.RectFirstCol) {
    ReportOverlap();
    return false;
  }
  Plan plan;
  for (int16_t n = Ed.RectFirst; n <= Ed.RectLast; ++n) {
    std::string& s = PlannedLine(plan, n);
    const std::string text = Columns(n, Ed.RectFirstCol, width);
    EraseColumns(s, Ed.RectFirstCol, width);
    s = InsertedAt(s, col, text);
  }
  if (!Commit(plan)) return false;
  Ed.CurCol = col;
  return true;
}

// A one-line rectangle on another line is cut from its line and typed at
// the cursor; when typing could not take all of it, nothing changes (and
// the result is false).
bool MoveOneLineRect() {
  const std::string text = Columns(Ed.RectFirst, Ed.RectFirstCol, RectWidth());
  TypingTrial trial(1, Txt.LineCount);
  Plan plan;
  EraseColumns(PlannedLine(plan, Ed.RectFirst), Ed.RectFirstCol, RectWidth());
  if (!Commit(plan)) return false;
  SaveLineForUndo(Ed.CurLine);
  TypeBlockText(text, nullptr);
  if (!trial.Lost()) return true;
  trial.Undo();
  RefuseLongLine();
  return false;
}

// A rectangle of several lines moves into the rectangle of its size at the
// cursor: all of its columns are taken out first, then inserted at the
// cursor column of each target line (always inserted), so the moved text
// stays a rectangle even where target and source lines are the same.
// False when refused.
bool MoveRectLines() {
  if (TargetMeetsBlock()) {
    ReportOverlap();
    return false;
  }
  const std::vector<std::string> texts = RectTexts();
  Plan plan;
  for (int16_t n = Ed.RectFirst; n <= Ed.RectLast; ++n) EraseColumns(PlannedLine(plan, n), Ed.RectFirstCol, RectWidth());
  return PlaceTexts(plan, texts, false);
}

// A rectangle from column col to one past the end of the cursor line's text.
void MarkLineFrom(int col) {
  const std::string_view s = LineBytes(Ed.CurLine);
  RemoveAllMarks();
  ExtendRectBlock(col);
  const int t = TrimmedLength(s);
  ExtendRectBlock(t >= Txt.LineWidth ? t : t + 1);
}

}  // namespace

BlockKind MarkedBlock() {
  if (Ed.BlockFirst > 0) {
    if (Ed.BlockLast > Txt.LineCount) Ed.BlockLast = Txt.LineCount;
    if (Ed.BlockFirst <= Ed.BlockLast) return BlockKind::Lines;
    Ed.BlockFirst = Ed.BlockLast = 0;
  }
  if (Ed.RectFirst > 0) {
    if (Ed.RectLast > Txt.LineCount) Ed.RectLast = Txt.LineCount;
    Ed.RectFirstCol = std::max(Ed.RectFirstCol, 1);
    Ed.RectLastCol = std::min(Ed.RectLastCol, MaxLineBytes);
    if (Ed.RectFirst <= Ed.RectLast && Ed.RectFirstCol <= Ed.RectLastCol) return BlockKind::Rect;
    Ed.RectFirst = Ed.RectLast = 0;
    Ed.RectFirstCol = Ed.RectLastCol = 0;
  }
  return BlockKind::None;
}

void ReportNoBlock() {
  Notice("Нет помеченного блока!");
}

void MarkToLineEnd() {
  if (!CursorOnText()) return;
  MarkLineFrom(Ed.CurCol);
}

void MarkWholeLine() {
  if (!CursorOnText()) return;
  const std::string_view s = LineBytes(Ed.CurLine);
  int first = 1;
  while (first < Txt.LineWidth && At(s, first) == ' ') ++first;
  MarkLineFrom(first);
}

void MarkAll() {
  if (!CursorOnText()) return;
  const int16_t cur = Ed.CurLine;
  Ed.CurLine = 1;
  ExtendLineBlock();
  Ed.CurLine = Txt.LineCount;
  ExtendLineBlock();
  Ed.CurLine = cur;
}

void MarkWordRight() {
  if (!CursorOnText()) return;
  const auto rectMarked = [] { return Ed.BlockFirst <= 0 && Ed.RectFirst > 0; };
  if (rectMarked() && Ed.CurCol == Ed.RectFirstCol)
    Ed.RectFirstCol = Ed.RectLastCol;  // the cursor on the left edge: the block gives way from there
  else
    ExtendRectBlock(Ed.CurCol);
  const std::string_view s = LineBytes(Ed.CurLine);
  int p = WordEndRight(s, Ed.CurCol, WordEnd::NextStart);
  if (p > StoredLength(Ed.CurLine)) p = TrimmedLength(s) + 1;
  Ed.CurCol = std::clamp(p, 1, MaxLineBytes);
  if (!rectMarked()) return;  // a line block only took the cursor line in
  if (Ed.CurCol < Ed.RectFirstCol)
    ExtendRectBlock(Ed.CurCol);
  else if (Ed.CurCol == Ed.RectFirstCol + 1 || Ed.CurCol <= 1)
    RemoveAllMarks();
  else
    ExtendRectBlock(Ed.CurCol - 1);
}

void MarkWordLeft() {
  if (!CursorOnText() || Ed.CurCol <= 1) return;
  const auto rectMarked = [] { return Ed.BlockFirst <= 0 && Ed.RectFirst > 0; };
  if (rectMarked() && Ed.CurLine == Ed.RectFirst && Ed.CurCol == Ed.RectLastCol + 1) {
    Ed.RectLastCol = Ed.RectFirstCol;  // the cursor just right of the block: it gives way from there
  } else if (!rectMarked()) {
    --Ed.CurCol;
    ExtendRectBlock(Ed.CurCol);
  }
  const std::string_view s = LineBytes(Ed.CurLine);
  int start = Ed.CurCol;
  // At the end of the text the search starts after the last word, so that
  // it finds that word's start rather than the one before.
  if (start >= TrimmedLength(s) && At(s, start - 1) != ' ') ++start;
  const int p = WordStartLeft(s, start);
  Ed.CurCol = std::clamp(p, 1, MaxLineBytes);
  if (p == start && Ed.CurCol > 1) --Ed.CurCol;
  if (!rectMarked()) return;
  if (Ed.CurCol < Ed.RectFirstCol)
    ExtendRectBlock(Ed.CurCol);
  else if (Ed.CurCol == Ed.RectFirstCol)
    RemoveAllMarks();
  else
    ExtendRectBlock(Ed.CurCol - 1);
}

Outcome CopyBlock(bool keep) {
  const BlockKind kind = MarkedBlock();
  if (kind == BlockKind::None) {
    ReportNoBlock();
    return Outcome::Refused;
  }
  if (!CursorOnText()) return Outcome::Done;

  const int16_t cur = Ed.CurLine;
  const int col = Ed.CurCol;
  const int lastCol = Ed.RectLastCol;
  const bool severalLines = kind == BlockKind::Rect && Ed.RectLast > Ed.RectFirst;
  const bool startsOnCursorLine = Ed.RectFirst == cur;
  const bool startsOnNextLine = Ed.RectFirst == cur + 1;
  int pushed = 0;

  const bool copied = kind == BlockKind::Lines ? CopyLineBlock()
                     : severalLines              ? CopyRectLines()
                                                 : CopyOneLineRect(&pushed);
  if (!copied) return Outcome::Refused;  // refused or stopped: the block stays marked

  if (!keep) {
    UnmarkBlock();
    return Outcome::Done;
  }
  // Keeping the marks on the same text: only a rectangle can have moved
  // under them, and only when the copy inserted text before it.  (A
  // one-line rectangle on the cursor line is kept in step by the typing.)
  if (kind != BlockKind::Rect || !Ed.InsertMode || Ed.RectFirst <= 0 || Ed.BlockFirst > 0) return Outcome::Done;
  int shift = 0;
  if (severalLines && startsOnCursorLine && col <= lastCol + 1)
    shift = RectWidth();
  else if (startsOnNextLine && pushed > 0)
    shift = pushed;
  if (shift == 0) return Outcome::Done;
  Ed.RectFirstCol += shift;
  Ed.RectLastCol += shift;
  if (Ed.RectLastCol > Ed.FormatWidth || Ed.RectLastCol > MaxLineBytes) RemoveAllMarks();
  return Outcome::Done;
}

Outcome MoveBlock() {
  const BlockKind kind = MarkedBlock();
  if (kind == BlockKind::None) {
    ReportNoBlock();
    return Outcome::Refused;
  }
  if (!CursorOnText()) return Outcome::Done;
  if (kind == BlockKind::Lines) {
    if (!CopyLineBlock()) return Outcome::Refused;  // the source stays, and so does its marking
    DeleteLineBlock();
    return Outcome::Done;
  }
  const bool moved = Ed.CurLine == Ed.RectFirst ? MoveRectAlongLines()
                     : Ed.RectLast == Ed.RectFirst ? MoveOneLineRect()
                                                   : MoveRectLines();
  if (!moved) return Outcome::Refused;
  UnmarkBlock();
  return Outcome::Done;
}

Outcome DeleteBlock() {
  switch (MarkedBlock()) {
    case BlockKind::None: ReportNoBlock(); return Outcome::Refused;
    case BlockKind::Lines: DeleteLineBlock(); return Outcome::Done;
    case BlockKind::Rect:
      if (!DeleteRectColumns()) return Outcome::Refused;
      UnmarkBlock();
      return Outcome::Done;
  }
  return Outcome::Done;
}

Outcome ShiftBlock(bool right) {
  if (MarkedBlock() != BlockKind::Lines) {
    ReportNoBlock();
    return Outcome::Refused;
  }
  Plan plan;
  for (int16_t n = Ed.BlockFirst; n <= Ed.BlockLast; ++n) {
    std::string& s = PlannedLine(plan, n);
    if (right)
      s.insert(0, 1, ' ');  // a full line may lose only a blank at its end
    else if (!s.empty())
      s.erase(0, 1);  // whatever stands in column 1
  }
  return Commit(plan) ? Outcome::Done : Outcome::Refused;
}

void WhereIsBlock() {
  int16_t first = 0;
  switch (MarkedBlock()) {
    case BlockKind::None: return;
    case BlockKind::Lines: first = Ed.BlockFirst; break;
    case BlockKind::Rect: first = Ed.RectFirst; break;
  }
  PushPosition();
  Ed.CurLine = Ed.WindowTop = first;
  Txt.LineSaved = false;
}

namespace {

// The whole content of a file the user names, through a symlink too (it is
// the user's own file, as for saving).  False when it cannot be read.
bool ReadWhole(const std::string& path, std::string& out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  out.assign(std::istreambuf_iterator<char>(f), {});
  return !f.bad();
}

}  // namespace

bool WriteBlock(bool append) {
  if (MarkedBlock() != BlockKind::Lines) return false;
  if (!Blk.BlockFileNameSet) {
    Blk.BlockFileName = Ed.FileName;
    Blk.BlockFileNameSet = true;
  }
  std::string name = Blk.BlockFileName;
  if (!AskFileName(name, FileNameUse::Write)) return true;
  Blk.BlockFileName = name;
  const int first = Ed.BlockFirst;
  const int last = Ed.BlockLast;

  std::string old;
  struct stat st;
  const bool appending = append && stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  bool ok;
  if (!appending) {
    ok = WriteLines(first, last, name, SaveMode::Plain);
  } else {
    // Appending rewrites the file safely with the block after what it held.
    DrawMessage(InBuildSet("Записывается "));
    MoveCursor(Scr.ScreenWidth + 1, Scr.ScreenHeight + 1);
    ok = ReadWhole(name, old) && WriteFileSafely(name, old + TextForSave(first, last, SaveMode::Plain));
    if (!ok) ShowMessage(InBuildSet("Ошибка записи или файл - только для чтения!"), 1);
    ClearMessageLine();
  }
  // The whole text written under a new name makes that name the edited
  // file's, but only when the file holds nothing else: after appending to
  // another text, saving there would destroy that text.
  if (ok && old.empty() && first == 1 && last == Txt.LineCount) Ed.FileName = name;
  return true;
}
