#include "blocks/f12marks.h"

#include <string>

#include "base/limits.h"
#include "base/state.h"
#include "text/linestore.h"

namespace {


}  // namespace

bool LineMarkedF12(std::string_view line) {
  const uint8_t t = TrimmedLength(line);
  return t >= 1 && size_t(t) <= line.size() && line[size_t(t) - 1] == '\0';
}

void ToggleLineMark() {
  const int n = Ed.CurLine;
  if (n < 1 || n > Txt.LineCount) return;
  std::string line = LineString(n);
  const size_t t = TrimmedLength(line);
  if (LineMarkedF12(line)) {
    line[t - 1] = ' ';  // the blank before it stays
  } else {
    // A blank and the 0 right after the text, in front of a whole-line
    // colour mark if the line has one (which TrimmedLength does not count).
    // On a line of 254 or 255 characters the 0 (and the blank) fall off
    // the end, as typed characters would: such a line cannot be marked.
    if (line.size() < t) line.resize(t, ' ');
    line.insert(t, std::string(" \0", 2));
    if (line.size() > size_t(MaxLineBytes)) line.resize(size_t(MaxLineBytes));
  }
  // Stored without SaveLineForUndo: the mark is no change of the text, so
  // Modified and LineSaved stay as they were.
  StoreLine(line, n);
}

void NextMarkedLine() {
  const int count = Txt.LineCount;
  if (count < 1) return;
  const int from = Ed.CurLine >= 1 && Ed.CurLine <= count ? Ed.CurLine : 1;
  // The lines after the cursor line, then from line 1 on; not the cursor
  // line itself.
  for (int k = 1; k < count; ++k) {
    const int n = (from - 1 + k) % count + 1;
    if (!LineMarkedF12(LineBytes(n))) continue;
    PushPosition();
    Ed.CurLine = int16_t(n);
    Ed.WindowTop = int16_t(n);
    Txt.LineSaved = false;  // the cursor is on another line now
    return;
  }
}
