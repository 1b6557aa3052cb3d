// What the block and clipboard tests share: texts, marks, and a terminal
// that remembers every message the editor waited on.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "blocks/blocks.h"
#include "builds/bindings.h"
#include "base/state.h"
#include "screen/cells.h"
#include "screen/headless.h"
#include "screen/keys.h"
#include "support/fixture.h"
#include "text/linestore.h"
#include "text/messages.h"

namespace blocktest {

constexpr uint32_t Esc = 0x011B;
constexpr uint32_t Enter = 0x1C0D;

// Row 2 as it stood each time the editor waited for a key.
struct MessageRecorder : HeadlessTerminal {
  using HeadlessTerminal::HeadlessTerminal;
  std::vector<std::string> Waited;
  bool Poll(int timeoutMs) override {
    if (timeoutMs != 0) {
      std::string row;
      for (int c = 1; c <= Scr.ScreenWidth; ++c) row += char(CellChar(CellAt(c, 2)));
      row.erase(row.find_last_not_of(' ') + 1);
      if (Waited.empty() || Waited.back() != row) Waited.push_back(row);
    }
    return HeadlessTerminal::Poll(timeoutMs);
  }
};

class BlockBase : public EditorTest {
 protected:
  explicit BlockBase(const BuildConfig& b = BuildKoi8Rkbd) : EditorTest(b), Rec(b.Set) {
    Term = &Rec;
    ResetBlockState();
  }
  // Keys for the messages and prompts, on the recording terminal.
  void Keys(std::initializer_list<uint32_t> codes) {
    for (uint32_t c : codes) Rec.Script.push_back({c, {}});
  }
  // The messages the editor waited on since the last call.  The keys that
  // ended the waits are dropped, as the main loop would have read them.
  std::vector<std::string> Waited() {
    std::vector<std::string> w = std::move(Rec.Waited);
    Rec.Waited.clear();
    Kbd.Queue.clear();
    return w;
  }
  // Lines padded with blanks to LineWidth; the cursor at 1,1, no block.
  void Text(std::initializer_list<std::string> lines) { Store(lines, Txt.LineWidth); }
  // Lines stored exactly as long as given.
  void Exact(std::initializer_list<std::string> lines) { Store(lines, 0); }
  void Store(std::initializer_list<std::string> lines, uint8_t width) {
    ResetLineStore();
    ASSERT_TRUE(InitLineStore());
    for (const std::string& l : lines) ASSERT_TRUE(AppendLine(l, width));
    At(1, 1);
    Lines(0, 0);
    Rect(0, 0, 0, 0);
    Txt.Modified = false;
  }
  static void At(int line, int col) {
    Ed.CurLine = int16_t(line);
    Ed.CurCol = col;
    Txt.LineSaved = false;
  }
  static void Lines(int first, int last) {
    Ed.BlockFirst = int16_t(first);
    Ed.BlockLast = int16_t(last);
  }
  static void Rect(int first, int last, int firstCol, int lastCol) {
    Ed.RectFirst = int16_t(first);
    Ed.RectLast = int16_t(last);
    Ed.RectFirstCol = firstCol;
    Ed.RectLastCol = lastCol;
  }
  static std::vector<int> Marks() {
    return {Ed.BlockFirst, Ed.BlockLast, Ed.RectFirst, Ed.RectLast, Ed.RectFirstCol, Ed.RectLastCol};
  }
  static std::vector<int> NoMarks() { return {0, 0, 0, 0, 0, 0}; }
  // Line n without its trailing blanks.
  static std::string Line(int n) {
    std::string_view s = LineBytes(n);
    return std::string(s.substr(0, TrimmedLength(s)));
  }
  // Every line without its trailing blanks.
  static std::vector<std::string> All() {
    std::vector<std::string> v;
    for (int n = 1; n <= Txt.LineCount; ++n) v.push_back(Line(n));
    return v;
  }
  static std::string B(const char* utf8) { return InBuildSet(utf8); }
  MessageRecorder Rec;
};

}  // namespace blocktest
