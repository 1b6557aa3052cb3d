#include "text/messages.h"

#include "builds/build.h"
#include "base/state.h"
#include "screen/cells.h"
#include "screen/glyphs.h"
#include "screen/keys.h"

std::string InBuildSet(std::string_view utf8) {
  std::string out;
  size_t i = 0;
  while (i < utf8.size()) {
    int32_t u = DecodeUtf8(utf8, i);
    if (u < 0) break;
    int b = ByteOf(CurrentBuild().Set, char32_t(u));
    out += b < 0 ? '?' : char(b);
  }
  return out;
}

void DrawMessage(std::string_view text) {
  const int width = Scr.ScreenWidth;
  auto at = [&](int i) -> uint8_t {  // t[i], 1-based, blanks past the text
    return i >= 1 && size_t(i) <= text.size() ? uint8_t(text[size_t(i - 1)]) : uint8_t(' ');
  };
  uint8_t a = 0x0E;
  int i = 1;
  while (i <= width) {
    if (a == 0x0E && at(i + 1) == '(') {
      a = 0x2F;
    } else if (at(i) == ',') {
      PutCharAt(i, 2, ',', a);
      if (i + 1 <= width) PutCharAt(i + 1, 2, ' ', a);
      a = (a == 0x2F || a == 0x0E) ? 0x4F : 0x3F;
      i += 2;
      continue;
    }
    PutCharAt(i, 2, at(i), a);
    ++i;
  }
  FlushScreen(false);
}

void ShowMessage(std::string_view text, int wait) {
  int k = wait == 1 ? 196607 : wait;
  // The key that ended the waiting message before this one is still queued:
  // it was meant for that message, so this one waits for another.
  if (k > 30) {
    // A paste is never dropped: it ends this message too and goes in.
    if (Kbd.MessageKeyPending && !Kbd.Queue.empty() && Kbd.Queue.front() != PasteKeyCode) Kbd.Queue.pop_front();
    Kbd.MessageKeyPending = false;
  }
  for (;;) {
    DrawMessage(text);
    if (k > 30) {
      --k;
      if (WaitForKey(1)) {
        // The key stays for the next reader.
        Kbd.MessageKeyPending = true;
        ClearMessageLine();
        return;
      }
      continue;
    }
    if (k == 30) ClearMessageLine();
    return;
  }
}

Cell MessageRowFill() {
  return MakeCell(CellChar(Ed.FillCell), uint8_t(CellAttr(Ed.FillCell) | (Ed.LineLimitOff ? 0x08 : 0)));
}

void ClearMessageLine() {
  const int width = Scr.ScreenWidth;
  const Cell fill = MessageRowFill();
  for (int c = 1; c <= width; ++c) PutCharAt(c, 2, CellChar(fill), CellAttr(fill));
  if (Ed.BlockFirst > 0) {
    std::string s = " " + std::to_string(Ed.BlockLast - Ed.BlockFirst + 1) + " ";
    if (s.size() > 7) s.resize(7);
    int start = width - int(s.size()) + 1;
    for (size_t j = 0; j < s.size(); ++j)
      PutCharAt(start + int(j), 2, uint8_t(s[j]), CellAttr(CellAt(start + int(j), 2)));
  }
  FlushScreen(false);
}
