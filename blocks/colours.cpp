#include "blocks/colours.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "base/limits.h"
#include "blocks/transforms.h"
#include "builds/build.h"
#include "base/state.h"
#include "edit/typing.h"
#include "screen/keys.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/questions.h"

namespace {

// Kinds of the first menu, by their answer numbers.
enum class MarkKind { ControlChar = 1, Word, WholeLine, ToLineEnd, ToTextEnd };

// What a picker gives besides a code.
constexpr int Back = -1;   // 0 or Esc: back to the kind menu
constexpr int Leave = -2;  // the abandon keys: the command ends

constexpr uint8_t EnterScan = 0x1C;

// Byte i (1-based) of s; outside s a blank.
uint8_t At(std::string_view s, int i) {
  return i >= 1 && size_t(i) <= s.size() ? uint8_t(s[size_t(i - 1)]) : uint8_t(' ');
}

// A menu of the characters 0 .. count-1 after the title.  The answer is the
// item's number, one less when Enter took the highlighted item, so that the
// first item stands for code 0 whichever way it is chosen; a digit or
// letter names the code itself.  A number past the last item (a letter
// can name one) asks again rather than making a mark the text window
// cannot read.
int PickCode(std::string_view title, int count, std::string_view hint) {
  std::string q = InBuildSet(title);
  for (int c = 0; c < count; ++c) {
    q += char(c);
    q += '|';
  }
  for (;;) {
    Q.AskSelection = 1;
    const int answer = Ask(q, hint, 0x17, 0x01, 0x0F, 0x0D);
    if (answer == AnswerEsc) return Back;
    if (answer == AnswerAbandon) return Leave;
    const int code = answer - (KeyScan() == EnterScan ? 1 : 0);
    if (code >= 0 && code < count) return code;
  }
}

// Inserts the mark of the kind with foreground f and background b at the
// cursor line; the cursor comes back to its column.
void InsertMark(MarkKind kind, int f, int b) {
  const int n = Ed.CurLine;
  if (n < 1 || n > Txt.LineCount) return;
  std::string m(1, '\0');
  m += char(f);
  if (b > 0) m += char(b);
  const int remembered = Ed.CurCol;
  SaveLineForUndo(n);
  const std::string line = LineString(n);
  switch (kind) {
    case MarkKind::Word:
      Ed.CurCol = WordStartAt(line, Ed.CurCol);
      m[0] = 2;
      break;
    case MarkKind::WholeLine:
      m[0] = 9;
      std::reverse(m.begin(), m.end());  // [bg] fg 9
      Ed.CurCol = TrimmedLength(line) + 1;
      break;
    case MarkKind::ToTextEnd:
      m[0] = 1;
      break;
    case MarkKind::ControlChar:
    case MarkKind::ToLineEnd:  // to the end of the line: the kind byte stays 0
      break;
  }
  if (kind != MarkKind::WholeLine) {
    // Blanks just before the insertion point make room for the mark, so the
    // text after it stays in its columns.
    for (size_t k = 0; k < m.size(); ++k) {
      if (Ed.CurCol <= 1 || At(LineBytes(n), Ed.CurCol - 1) != ' ') break;
      --Ed.CurCol;
      DeleteChars(n, Ed.CurCol, 1);
    }
  }
  // A mark that does not fit into the 255 columns of a line loses its last
  // bytes: only those with a column to land on are typed.
  m.resize(std::min(m.size(), size_t(std::max(0, MaxLineBytes + 1 - Ed.CurCol))));
  const bool insert = Ed.InsertMode;
  Ed.InsertMode = true;
  TypeString(m);
  Ed.InsertMode = insert;
  Ed.CurCol = remembered;
}

}  // namespace

void ColourMark() {
  const std::string kinds =
      InBuildSet(" Цвета | 1 Символ | 2 Слово | 3 Строка | 4 До конца строки | 5 = 4 без пробелов|");
  const std::string blink = InBuildSet(CurrentBuild().koi8r
                                           ? " ? | 1 - Без мерцания | 2 - с мерцанием | 3 или Esc - отказ |"
                                           : " ? | 1 - без мерцания | 2 - с мерцанием | 3 или Esc - отказ |");
  uint8_t highlight = 1;
  for (;;) {
    Q.AskSelection = highlight;
    const int answer = Ask(kinds, "", 0x3F, 0x2F, 0x50, 0x0D);
    if (answer < int(MarkKind::ControlChar) || answer > int(MarkKind::ToTextEnd)) return;  // Esc, 0 or abandon
    const MarkKind kind = MarkKind(answer);
    highlight = uint8_t(kind);

    if (kind == MarkKind::ControlChar) {
      const int code = PickCode(" Символ: |", 32, "         Ctrl+Q, then any number (and Enter), F# or letter.");
      if (code == Back) continue;
      if (code == Leave) return;
      TypeString(std::string(1, char(code)));
      return;
    }
    const int f = PickCode(" Цвет букв: |", 16, "");
    if (f == Back) continue;
    if (f == Leave) return;
    int b = PickCode(" Цвет фона: |", 8, "");
    if (b == Back) continue;
    if (b == Leave) return;
    Q.AskSelection = 1;
    const int bright = Ask(blink, "", 0x3F, 0x2F, 0x5F, 0x0D);
    if (bright == 2) b += 8;
    else if (bright != 1) return;  // 3, Esc, 0 or abandon
    InsertMark(kind, f, b);
    return;
  }
}
