#include "blocks/clipboard.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/limits.h"
#include "blocks/blocks.h"
#include "base/safefile.h"
#include "base/state.h"
#include "text/marks.h"
#include "edit/lines.h"
#include "edit/typing.h"
#include "screen/keydecode.h"
#include "screen/term.h"
#include "text/messages.h"
#include "text/linestore.h"

namespace {

constexpr uint8_t PasteLineWidth = 254;  // the blank line a replaced block at the end leaves

std::optional<std::string> ReadClipboard() { return ReadSharedFile(Ed.ClipboardPath); }

// Puts the cursor on a line and a column of the text; false without text.
bool CursorOnText() {
  if (Txt.LineCount < 1) return false;
  Ed.CurLine = std::clamp<int16_t>(Ed.CurLine, 1, Txt.LineCount);
  Ed.CurCol = std::clamp(Ed.CurCol, 1, MaxLineBytes);
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
// the rest of that line ends up after the last pasted line.  False when a
// line could not be made (the line store has said why).
bool PasteLines(const std::vector<std::string>& lines) {
  if (MarkedBlock() == BlockKind::Lines) {
    if (Ed.BlockLast >= Txt.LineCount) {
      // Something must stay after the block for the pasted lines to go in
      // front of.
      int16_t n = int16_t(Txt.LineCount + 1);
      if (!InsertLine(PasteLineWidth, n)) return false;
    }
    Ed.CurLine = Ed.BlockFirst;
    Ed.CurCol = 1;
    Txt.LineSaved = false;
    DeleteBlock();
  } else {
    SaveLineForUndo(Ed.CurLine);
  }
  bool whole = true;
  for (const std::string& line : lines) {
    StopIfClosing();
    if (SplitLine() != Outcome::Done) {
      whole = false;
      break;
    }
    TypeBlockText(line);
    if (Ed.CurLine < Txt.LineCount) ++Ed.CurLine;
    Ed.CurCol = 1;
    Txt.LineSaved = false;
    if (Ed.IndentColumn > 1) SetIndentation(Ed.IndentColumn);
  }
  Ed.CurCol = Ed.IndentColumn;
  return whole;
}

// A rectangle replaced by the clipboard's, or put in at the cursor: each
// line typed at the same column of successive lines, a line added below
// the end of the text when needed.  False when the marked rectangle could
// not be taken out or a line could not be added.
bool PasteRect(const std::vector<std::string>& lines) {
  if (MarkedBlock() == BlockKind::Rect) {
    Ed.CurLine = Ed.RectFirst;
    Ed.CurCol = Ed.RectFirstCol;
    Txt.LineSaved = false;
    if (DeleteBlock() != Outcome::Done) return false;
  }
  const int k = Ed.CurCol;
  for (size_t i = 0; i < lines.size(); ++i) {
    Ed.CurCol = k;
    TypeBlockText(lines[i]);
    if (i + 1 == lines.size()) break;
    if (Ed.CurLine >= Txt.LineCount) {
      Ed.CurCol = TrimmedLength(LineBytes(Ed.CurLine)) + 1;
      if (SplitLine() != Outcome::Done) return false;
    }
    ++Ed.CurLine;
    Txt.LineSaved = false;
  }
  return true;
}

}  // namespace

char ClipboardKind() {
  const std::optional<std::string> data = ReadClipboard();
  return data && !data->empty() ? (*data)[0] : ' ';
}

Outcome BlockToClipboard(bool cut) {
  const BlockKind kind = MarkedBlock();
  if (kind == BlockKind::None) {
    ReportNoBlock();
    return Outcome::Refused;
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
  if (!WriteSharedFile(Ed.ClipboardPath, out)) return Outcome::Refused;  // the block stays marked
  if (cut) return DeleteBlock();
  UnmarkBlock();
  return Outcome::Done;
}

Outcome PasteClipboard() {
  if (!CursorOnText()) return Outcome::Done;
  const std::optional<std::string> data = ReadClipboard();
  const char kind = data && !data->empty() ? (*data)[0] : ' ';
  if (kind != 'L' && kind != 'B') return Outcome::Done;
  std::vector<std::string> lines;
  if (!BlockLines(*data, lines)) {
    RefuseLongLine();
    return Outcome::Refused;
  }
  // Typing that loses any of the text takes the whole paste back.
  TypingTrial trial(1, Txt.LineCount);
  const bool insertMode = Ed.InsertMode;
  Ed.InsertMode = true;
  const bool whole = kind == 'L' ? PasteLines(lines) : PasteRect(lines);
  Ed.InsertMode = insertMode;
  if (trial.Lost()) {
    trial.Undo();
    RefuseLongLine();
    return Outcome::Refused;
  }
  Ed.CurCol = std::clamp(Ed.CurCol, 1, MaxLineBytes);  // typing into column 255 leaves it one past
  Txt.Modified = true;
  return whole ? Outcome::Done : Outcome::Refused;
}

namespace {

// The rest of the cursor line goes to a new line after it, not indented;
// the cursor goes to column 1 of that line.  False when the text takes no
// more lines (InsertLine said why).
bool BreakPastedLine() {
  const std::string W = LineString(Ed.CurLine);
  std::string tail;
  if (Ed.CurCol >= 1 && size_t(Ed.CurCol) <= W.size()) tail = W.substr(size_t(Ed.CurCol - 1));
  while (!tail.empty() && tail.back() == ' ') tail.pop_back();
  int16_t n = int16_t(Ed.CurLine + 1);
  if (!InsertLine(uint8_t(std::max<size_t>(tail.size(), Txt.LineWidth)), n)) return false;
  StoreLine(tail, n);
  if (!tail.empty()) StoreLine(W.substr(0, size_t(Ed.CurCol - 1)), Ed.CurLine);
  Ed.CurLine = n;
  Ed.CurCol = 1;
  return true;
}

// TypeChar, and whether the character went in (the line changed or the
// cursor moved).  *stuck: typed into the last column, where the cursor stays.
bool TypePastedChar(uint8_t ch, bool* stuck) {
  const int16_t line = Ed.CurLine;
  const int col = Ed.CurCol;
  const int16_t count = Txt.LineCount;
  const std::string was = LineString(line);
  TypeChar(ch);
  const bool moved = Ed.CurLine != line || Ed.CurCol != col;
  *stuck = !moved;
  return moved || Txt.LineCount != count || LineString(line) != was;
}

}  // namespace

std::string InsertPastedText(const PastedText& paste) {
  if (!CursorOnText()) return {};
  const bool insertMode = Ed.InsertMode;
  Ed.InsertMode = true;
  // One entry in the ring: the cursor line as it was.  The lines the paste
  // creates are new, and the ring is not filled with them.
  Txt.LineSaved = false;
  SaveLineForUndo(Ed.CurLine);
  long lost = 0;
  bool full = false;
  bool stuck = false;  // the last character went into the last column
  // A character the line refuses goes on in a new line (below), so the
  // refusal pause that tells a typist "no room" is not made.
  struct NoPause {
    NoPause() { ++Typing.Trials; }
    ~NoPause() { --Typing.Trials; }
  } noPause;
  const std::string& text = paste.Text;
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t ch = uint8_t(text[i]);
    if (full) {
      if (ch != '\n') ++lost;
      continue;
    }
    if (ch == '\n') {
      stuck = false;
      full = !BreakPastedLine();
      continue;
    }
    int blanks = 1;
    uint8_t c = ch;
    if (ch == '\t') {
      c = ' ';
      blanks = 8 - (Ed.CurCol - 1) % 8;
    }
    for (int b = 0; b < blanks && !full; ++b) {
      // A character after one typed into the last column, or one the line
      // refuses, goes on in a new line.
      if (stuck) {
        full = !BreakPastedLine();
        if (full) break;
      }
      if (TypePastedChar(c, &stuck)) continue;
      if (stuck && Ed.CurCol > 1) {
        full = !BreakPastedLine();
        stuck = false;
        if (!full && TypePastedChar(c, &stuck)) continue;
      }
      if (!full && c != ' ') ++lost;
    }
    if (full && ch != '\n') ++lost;
  }
  Ed.InsertMode = insertMode;
  Ed.CurCol = std::clamp(Ed.CurCol, 1, MaxLineBytes);
  TypeString({});  // the terminal cursor follows
  Txt.Modified = true;
  std::string msg;
  if (paste.Missing > 0)
    msg = "Вставлено символов, которых нет в кодировке: " + std::to_string(paste.Missing) + " (заменены на ?)";
  if (lost > 0) {
    if (!msg.empty()) msg += "; ";
    msg += "не вставлено символов: " + std::to_string(lost);
  }
  return msg.empty() ? msg : InBuildSet(msg);
}
