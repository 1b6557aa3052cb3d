#include "blocks/clipboard.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "blocks/blocks.h"
#include "blocks/marks.h"
#include "builds/bindings.h"
#include "core/safefile.h"
#include "core/state.h"
#include "edit/lines.h"
#include "edit/typing.h"
#include "screen/keys.h"
#include "screen/term.h"
#include "text/linestore.h"

namespace {

constexpr size_t MaxLine = 255;
constexpr uint8_t PasteLineWidth = 254;  // the blank line a replaced block at the end leaves

std::optional<std::string> ReadClipboard() { return ReadSharedFile(Ed.ClipboardPath); }

// Puts the cursor on a line and a column of the text; false without text.
bool CursorOnText() {
  if (Txt.LineCount < 1) return false;
  Ed.CurLine = std::clamp<int16_t>(Ed.CurLine, 1, Txt.LineCount);
  Ed.CurCol = std::clamp(Ed.CurCol, 1, int(MaxLine));
  return true;
}

// The lines after the type line: each ends at an LF (the last one may
// not).  A line longer than a line can hold loses the blanks at its end;
// false when it would lose more.
bool BlockLines(const std::string& data, std::vector<std::string>& lines) {
  lines.clear();
  size_t at = data.find('\n');
  if (at == std::string::npos) return true;
  ++at;
  while (at < data.size()) {
    size_t end = data.find('\n', at);
    if (end == std::string::npos) end = data.size();
    lines.push_back(data.substr(at, end - at));
    if (!FitLine(lines.back())) return false;
    at = end + 1;
  }
  return true;
}

// A line block replaced by the clipboard's lines, or the lines put in at
// the cursor: the cursor line is split at the cursor before each line, so
// the rest of that line ends up after the last pasted line.
void PasteLines(const std::vector<std::string>& lines) {
  if (MarkedBlock() == BlockKind::Lines) {
    if (Ed.BlockLast >= Txt.LineCount) {
      // Something must stay after the block for the pasted lines to go in
      // front of.
      int16_t n = int16_t(Txt.LineCount + 1);
      InsertLine(PasteLineWidth, n);
      if (Txt.Failed != 0) return;
    }
    Ed.CurLine = Ed.BlockFirst;
    Ed.CurCol = 1;
    Txt.LineSaved = false;
    DeleteBlock();
  } else {
    SaveLineForUndo(Ed.CurLine);
  }
  Txt.Failed = 0;
  for (const std::string& line : lines) {
    StopIfClosing();
    SplitLine();
    if (Txt.Failed != 0) break;
    TypeBlockText(line);
    if (Ed.CurLine < Txt.LineCount) ++Ed.CurLine;
    Ed.CurCol = 1;
    Txt.LineSaved = false;
    if (Ed.IndentColumn > 1) SetIndentation(Ed.IndentColumn);
  }
  Ed.CurCol = Ed.IndentColumn;
}

// A rectangle replaced by the clipboard's, or put in at the cursor: each
// line typed at the same column of successive lines, a line added below
// the end of the text when needed.
void PasteRect(const std::vector<std::string>& lines) {
  if (MarkedBlock() == BlockKind::Rect) {
    Ed.CurLine = Ed.RectFirst;
    Ed.CurCol = Ed.RectFirstCol;
    Txt.LineSaved = false;
    DeleteBlock();
    if (Txt.Failed != 0) return;
  }
  const int k = Ed.CurCol;
  for (size_t i = 0; i < lines.size(); ++i) {
    Ed.CurCol = k;
    TypeBlockText(lines[i]);
    if (i + 1 == lines.size()) break;
    if (Ed.CurLine >= Txt.LineCount) {
      Ed.CurCol = TrimmedLength(LineBytes(Ed.CurLine)) + 1;
      Txt.Failed = 0;
      SplitLine();
      if (Txt.Failed != 0) break;
    }
    ++Ed.CurLine;
    Txt.LineSaved = false;
  }
}

}  // namespace

char ClipboardKind() {
  const std::optional<std::string> data = ReadClipboard();
  return data && !data->empty() ? (*data)[0] : ' ';
}

void BlockToClipboard() {
  const bool cut = Kbd.KeyEvent == CodeOf(CurrentBuild(), Cmd::ClipboardCut);
  Txt.Failed = 0;
  const BlockKind kind = MarkedBlock();
  if (kind == BlockKind::None) {
    ReportNoBlock();
    return;
  }
  std::string out;
  if (kind == BlockKind::Lines) {
    out = "L\n";
    for (int n = Ed.BlockFirst; n <= Ed.BlockLast; ++n) {
      const std::string_view s = LineBytes(n);
      size_t len = s.size();
      while (len > 0 && s[len - 1] == ' ') --len;
      out.append(s.data(), len);
      out += '\n';
    }
  } else {
    out = "B\n";
    for (int n = Ed.RectFirst; n <= Ed.RectLast; ++n) {
      if (n > Ed.RectFirst) out += '\n';
      const std::string_view s = LineBytes(n);
      for (int c = Ed.RectFirstCol; c <= Ed.RectLastCol; ++c)
        out += c >= 1 && size_t(c) <= s.size() ? s[size_t(c - 1)] : ' ';
    }
  }
  if (!WriteSharedFile(Ed.ClipboardPath, out)) return;  // the block stays marked
  if (cut)
    DeleteBlock();
  else
    UnmarkBlock();
}

void PasteClipboard() {
  if (!CursorOnText()) return;
  const std::optional<std::string> data = ReadClipboard();
  const char kind = data && !data->empty() ? (*data)[0] : ' ';
  if (kind != 'L' && kind != 'B') return;
  std::vector<std::string> lines;
  if (!BlockLines(*data, lines)) {
    RefuseLongLine();
    return;
  }
  // Typing that loses any of the text takes the whole paste back.
  TypingTrial trial(1, Txt.LineCount);
  const bool insertMode = Ed.InsertMode;
  Ed.InsertMode = true;
  Txt.Failed = 0;
  if (kind == 'L')
    PasteLines(lines);
  else
    PasteRect(lines);
  Ed.InsertMode = insertMode;
  if (trial.Lost()) {
    trial.Undo();
    RefuseLongLine();
    return;
  }
  Ed.CurCol = std::clamp(Ed.CurCol, 1, int(MaxLine));  // typing into column 255 leaves it one past
  Txt.Modified = true;
}
