#include "text/questions.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/keycodes.h"
#include "builds/build.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "text/messages.h"
#include "text/status.h"

QuestionState Q;

namespace {

// The text filled with blanks to the screen width in `row`, drawn as the
// work line; every cell whose character is 32 or above gets attr, so control
// bytes keep their own colours.
void ShowRow(std::string_view text, int row, uint8_t attr) {
  if (!WidthSupported()) return;
  const size_t width = Scr.ScreenWidth;
  std::string t(text.substr(0, std::min(text.size(), width)));
  t.resize(width, ' ');
  StoreWorkLine(t);
  DrawLine(0, 0, row);
  SetWritePos(row, 1);
  for (int c = 1; c <= Scr.ScreenWidth; ++c)
    if (CellChar(CellAt(c, row)) >= 32) PutRunAttr(c, attr);
}

}  // namespace

int Ask(std::string_view question, std::string_view direct, uint8_t aPrompt, uint8_t aAnswer, uint8_t aHigh,
        uint8_t aDirect) {
  const BuildConfig& b = CurrentBuild();
  const uint8_t bar = b.BarByte;
  aHigh = uint8_t(aHigh + 0x80);
  Q.AnswerCount = 0;
  if (!direct.empty()) {
    std::string d(direct);
    size_t p = d.find('|');
    if (p != std::string::npos) d[p] = char(bar);
    ShowRow(d, 2, aDirect);
  }
  std::string q(question);
  std::vector<int> bars;  // 1-based columns of the bars
  for (size_t i = 0; i < q.size(); ++i)
    if (q[i] == '|') {
      q[i] = char(bar);
      bars.push_back(int(i) + 1);
    }
  Q.AnswerCount = bars.empty() ? 0 : int(bars.size()) - 1;
  if (Q.AskSelection < 1 || Q.AskSelection > Q.AnswerCount) Q.AskSelection = 1;

  int answer;
  for (;;) {
    ShowRow(q, 1, aAnswer);
    if (!bars.empty())
      for (int c = 1; c < bars[0] && c <= Scr.ScreenWidth; ++c) {
        Cell cell = CellAt(c, 1);
        if (CellChar(cell) >= 32) PutCharAt(c, 1, CellChar(cell), aPrompt);
      }
    if (Q.AnswerCount > 0) {
      int from = bars[size_t(Q.AskSelection - 1)];
      int to = bars[size_t(Q.AskSelection)];
      for (int c = from; c <= to && c <= Scr.ScreenWidth; ++c) {
        Cell cell = CellAt(c, 1);
        if (CellAttr(cell) == aAnswer) PutCharAt(c, 1, CellChar(cell), aHigh);
      }
    }
    FlushScreen(false);

    answer = 255;
    GetKey();
    const uint32_t code = Kbd.KeyEvent;
    if (code == KeyEsc) {
      answer = AnswerEsc;
      break;
    }
    if (code == b.AskAbandonKeys[0] || code == b.AskAbandonKeys[1]) {
      answer = AnswerAbandon;
      break;
    }
    if (code == KeyEnter) {
      answer = Q.AskSelection;
    } else if (code >= KeyF2 && code <= KeyF12) {
      answer = int(code & 0xFF);
    } else if (code == KeyHome) {
      Q.AskSelection = 1;
    } else if (code == KeyEnd) {
      if (Q.AnswerCount > 0) Q.AskSelection = uint8_t(Q.AnswerCount);
    } else if (code == KeyLeft) {
      if (Q.AnswerCount > 0) Q.AskSelection = Q.AskSelection <= 1 ? uint8_t(Q.AnswerCount) : uint8_t(Q.AskSelection - 1);
    } else if (code == KeyRight) {
      if (Q.AnswerCount > 0) Q.AskSelection = Q.AskSelection >= Q.AnswerCount ? 1 : uint8_t(Q.AskSelection + 1);
    } else if (code == b.AskYesKey && code != 0) {
      answer = 1;
    } else {
      answer = int(KeyChar()) - 48;
    }
    if (answer >= 0 && answer <= Q.AnswerCount) break;
  }
  DrawStatusLine();
  ClearMessageLine();
  return answer;
}
