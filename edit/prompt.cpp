#include "edit/prompt.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <utility>

#include "base/keycodes.h"
#include "base/limits.h"
#include "builds/build.h"
#include "base/safefile.h"
#include "base/state.h"
#include "edit/words.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "text/codepage.h"
#include "text/linestore.h"
#include "text/messages.h"

PromptState Prompt;

void ResetPromptState() { Prompt = PromptState{}; }

namespace {

constexpr int FieldStart = 28;  // the first column of the edited text
constexpr size_t HistoryWidth = 53;

// The edited value keeps all 255 bytes, so that shortening and lengthening
// it shows again what stood past its end.
struct Field {
  std::array<char, MaxLineBytes> Bytes;
  size_t Length = 0;
  int Cursor = FieldStart;  // FieldCursor
  bool Edited = false;

  Field() { Bytes.fill(' '); }
  void Set(std::string_view s) {
    Length = std::min<size_t>(s.size(), Bytes.size());
    std::copy_n(s.begin(), Length, Bytes.begin());
  }
  std::string Text() const { return std::string(Bytes.data(), Length); }
  int End() const { return FieldStart - 1 + int(Length); }  // FieldEnd
};

void FillRow(int from, int to, uint8_t attr) {
  for (int c = from; c <= to; ++c) PutCharAt(c, 2, ' ', attr);
}

void Redraw(Field& f) {
  FillRow(FieldStart, Scr.ScreenWidth - 1, 0x07);
  f.Cursor = FieldStart;
}

// FieldInsert: a typed character at the cursor.
void Insert(Field& f, uint8_t ch, bool mapLayout = true) {
  if (mapLayout && Kbd.RusLayoutOn) ch = RusKey(ch);
  if (!f.Edited && f.Cursor == FieldStart) {
    f.Length = 0;
    FillRow(FieldStart, Scr.ScreenWidth, 0x0F);
  }
  if (Scr.ScreenWidth > f.End() && f.Length < f.Bytes.size()) {
    size_t at = std::min<size_t>(size_t(f.Cursor - FieldStart), f.Length);
    std::copy_backward(f.Bytes.begin() + long(at), f.Bytes.begin() + long(f.Length),
                       f.Bytes.begin() + long(f.Length) + 1);
    f.Bytes[at] = char(ch);
    ++f.Length;
    f.Edited = true;
    if (Scr.ScreenWidth > f.Cursor) ++f.Cursor;
  }
}

// FieldDelete: the character under the cursor.
void Delete(Field& f) {
  size_t at = size_t(f.Cursor - FieldStart);
  if (at < f.Length) {
    std::copy(f.Bytes.begin() + long(at) + 1, f.Bytes.begin() + long(f.Length), f.Bytes.begin() + long(at));
    PutCharAt(f.End(), 2, ' ', 0x07);
    --f.Length;
  }
  f.Edited = true;
}

// Keeps the piece between dots that holds the cursor; k is the cursor's
// offset in the word, 1 for its first character.
std::string MacroWord(std::string word, int k) {
  for (;;) {
    size_t dot = word.find('.');
    if (dot == std::string::npos) return word;
    int p = int(dot) + 1;
    if (k > p) {
      word.erase(0, size_t(p));
      k -= p;
    } else {
      word.resize(dot);
    }
  }
}

// The column where the word taken at the cursor starts in the cursor line.
int WordStartColumn(const std::string& word) {
  std::string_view line = LineBytes(Ed.CurLine);
  for (int b = std::min<int>(Ed.CurCol, int(line.size())); b >= 1; --b)
    if (line.substr(size_t(b - 1), word.size()) == word) return b;
  return Ed.CurCol;
}

void StoreInHistory(const std::string& text) {
  std::string s = text.substr(0, HistoryWidth);
  for (int step = 1; step <= 15; ++step) {
    Prompt.HistoryIndex = uint8_t((Prompt.HistoryIndex + 1) % 16);
    if (Prompt.StringHistory[Prompt.HistoryIndex].empty()) break;
  }
  Prompt.StringHistory[Prompt.HistoryIndex] = s;
}

std::string HexCode(uint32_t code) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08X", code);
  return buf;
}

}  // namespace

PromptResult PromptLine(PromptKind kind, std::string_view offered) {
  const PromptKeyCodes& keys = CurrentBuild().PromptKeys;
  Field f;
  f.Set(offered);
  bool restart = true;
  PromptResult result;

  if (kind == PromptKind::MacroWord) {
    DrawMessage(InBuildSet("        Слово для макроса: "));
    std::string word;
    WordAtCursor(word, WordPart::Word);
    f.Set(MacroWord(word, Ed.CurCol - WordStartColumn(word) + 1));
    kind = PromptKind::Other;
    f.Edited = true;
    Redraw(f);
    restart = false;
  }

  for (;;) {
    if (restart) {
      if (kind == PromptKind::Search) DrawMessage(InBuildSet("Введите строку для поиска: "));
      if (kind == PromptKind::Replace) DrawMessage(InBuildSet("Введите строку для замены: "));
      if (kind == PromptKind::Search || kind == PromptKind::Replace) f.Set(Prompt.StringHistory[Prompt.HistoryIndex]);
      f.Edited = false;
      Redraw(f);
      restart = false;
    }
    PutStringAt(FieldStart, 2, f.Text(), 0x5A);
    MoveCursor(f.Cursor, 2);
    FlushScreen(false);
    GetKey();
    const uint16_t low = KeyLow16();

    if (low == Low16(KeyEnter)) {
      result.End = PromptEnd::Accepted;
      break;
    }
    if (low == Low16(KeyEsc)) {
      result.End = PromptEnd::Cancelled;
      break;
    }
    if (low == Low16(KeyCtrlP)) {
      result.End = PromptEnd::IntoText;
      break;
    }
    const bool keyCodeKey = low == keys.KeyCode || (Kbd.KeyEvent & 0x00FFFFFFu) == KeyAltX;
    bool fromTop = false;
    if (low == Low16(KeyCtrlJ)) {
      // On a search string Ctrl+J ends the prompt; the key reads as Enter
      // with scan F0 from here on.
      fromTop = kind == PromptKind::Search;
      if (fromTop) Kbd.KeyEvent = (Kbd.KeyEvent & 0xFFFF0000u) | KeyCode(0x0D, FromTopScan);
    } else if (low == Low16(KeyLeft)) {  // Left
      if (f.Cursor > FieldStart) --f.Cursor;
      else f.Edited = true;
    } else if (low == Low16(KeyRight)) {  // Right
      if (f.Cursor <= f.End() && f.Cursor < Scr.ScreenWidth) ++f.Cursor;
      f.Edited = true;
    } else if (low == Low16(KeyHome)) {  // Home
      f.Cursor = FieldStart;
      f.Edited = true;
    } else if (low == Low16(KeyEnd)) {  // End
      f.Cursor = std::min<int>(f.End() + 1, Scr.ScreenWidth);
    } else if (low == Low16(KeyBackspace)) {  // Backspace
      if (f.Cursor > FieldStart) {
        --f.Cursor;
        Delete(f);
      }
    } else if (low == Low16(KeyDelete)) {  // Delete
      Delete(f);
    } else if (low == Low16(KeyCtrlK)) {  // Ctrl+K
      size_t at = size_t(f.Cursor - FieldStart);
      if (at < f.Length) f.Length = at;
      FillRow(f.End() + 1, Scr.ScreenWidth, 0x07);
      f.Edited = true;
    } else if (low == Low16(KeyUp) || low == Low16(KeyPageUp) || low == Low16(KeyF7)) {  // Up, PgUp, F7
      Prompt.HistoryIndex = uint8_t((Prompt.HistoryIndex + 15) % 16);
      restart = true;
    } else if (low == Low16(KeyDown) || low == Low16(KeyPageDown)) {  // Down, PgDn
      Prompt.HistoryIndex = uint8_t((Prompt.HistoryIndex + 1) % 16);
      restart = true;
    } else if (low == Low16(KeyF6) || low == Low16(KeyF8)) {  // F6, F8: the word at the cursor
      std::string word;
      WordAtCursor(word, WordPart::Word);
      f.Set(word);
      f.Edited = true;
      Redraw(f);
    } else if (low == Low16(KeyF5)) {  // F5: a one-line rectangle, or the word with its blank
      std::string word;
      if (Ed.RectFirst > 0 && Ed.RectFirst == Ed.RectLast) {
        std::string_view line = LineBytes(Ed.RectFirst);
        int from = std::max(1, Ed.RectFirstCol), to = std::min<int>(Ed.RectLastCol, int(line.size()));
        if (from <= to) word = std::string(line.substr(size_t(from - 1), size_t(to - from + 1)));
      } else {
        WordAtCursor(word, WordPart::WithBlank);
      }
      f.Set(word);
      f.Edited = true;
      Redraw(f);
    } else if (low == Low16(KeyCtrlC) || low == Low16(KeyCtrlX)) {  // Ctrl+C, Ctrl+X
      if (WriteSharedFile(Ed.ClipboardPath, "B\n" + f.Text() + "\n") && low == Low16(KeyCtrlX)) {
        f.Length = 0;
        Redraw(f);
        FillRow(FieldStart, Scr.ScreenWidth, 0x07);
      }
    } else if (low == Low16(KeyCtrlV)) {  // Ctrl+V
      if (auto clip = ReadSharedFile(Ed.ClipboardPath)) {
        std::istringstream in(*clip);
        std::string first, second;
        std::getline(in, first);
        if (!first.empty() && first[0] != ' ') {
          std::getline(in, second);
          f.Set(second.substr(0, size_t(MaxLineBytes)));
          f.Edited = true;
          Redraw(f);
        }
      }
    } else if (low == Low16(KeyCtrlQ)) {  // Ctrl+Q: a byte by its code or its letter
      unsigned number = 0;
      uint8_t byte;
      for (;;) {
        GetKey();
        uint8_t c = KeyChar();
        if (c >= 0x41) {
          byte = uint8_t(c - 0x40);
          if (byte > 0x20) byte = uint8_t(byte - 0x20);
          break;
        }
        if (KeyLow16() == Low16(KeyEnter)) {
          byte = uint8_t(number % 256);
          break;
        }
        number = (number * 10 + unsigned(c - 48)) % 1000000;
      }
      Insert(f, byte);
    } else if (low == Low16(KeyCtrlR)) {  // Ctrl+R
      LoadStringHistory();
    } else if (low == keys.WriteHistory) {
      SaveStringHistory();
    } else if (keyCodeKey) {
      GetKey();
      const uint32_t code = Kbd.KeyEvent;
      for (char d : HexCode(code)) Insert(f, uint8_t(d), false);
      PutCharAt(f.Cursor + 2, 2, uint8_t(0x30 + KeyShift()), 0x1C);
      Kbd.KeyEvent &= 0xFFFFFF00u;
    } else if (low == keys.Lengthen) {
      if (f.Length < f.Bytes.size()) ++f.Length;
      f.Edited = true;
      Redraw(f);
    } else if (low == keys.Shorten) {
      if (f.Length > 0) --f.Length;
      f.Edited = true;
      Redraw(f);
    } else if (low == keys.LineMark[0] || low == keys.LineMark[1] || low == keys.LineMark[2]) {
      int n = low == keys.LineMark[0] ? 0 : low == keys.LineMark[1] ? 1 : 2;
      Ed.LineMarks[size_t(n)] = Ed.CurLine;
    } else if (low == keys.PositionMark[0] || low == keys.PositionMark[1]) {
      int n = low == keys.PositionMark[0] ? 0 : 1;
      Ed.PositionMarks[size_t(n)] = {Ed.CurLine, Ed.WindowTop, uint8_t(std::clamp(Ed.CurCol, 0, 255))};
    } else if (keys.RusLayout != 0 && low == keys.RusLayout) {
      ToggleRusLayout();
    } else if (Kbd.KeyEvent == PasteKeyCode) {
      // A paste types its first line; the prompt holds one line.
      for (char c : Kbd.Paste.Text) {
        if (c == '\n') break;
        Insert(f, c == '\t' ? uint8_t(' ') : uint8_t(c), false);
      }
      Kbd.Paste = {};
    } else {
      Insert(f, KeyChar());
    }
    if (KeyChar() == 13) {
      result.End = fromTop ? PromptEnd::AcceptedFromTop : PromptEnd::Accepted;
      break;
    }
  }

  result.Text = f.Text();
  if (f.Edited && (kind == PromptKind::Search || kind == PromptKind::Replace)) StoreInHistory(result.Text);
  ClearMessageLine();
  return result;
}

void LoadStringHistory() {
  auto content = ReadSharedFile(Ed.SavedStringsPath, 64 * 1024);
  if (!content) return;
  std::istringstream in(*content);
  std::string line;
  for (int k = 0; k < 16; ++k) {
    if (!std::getline(in, line)) line.clear();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Prompt.StringHistory[size_t((Prompt.HistoryIndex + 16 - k) % 16)] = line.substr(0, HistoryWidth);
  }
  if (Prompt.HistoryIndex == 0 && std::getline(in, line)) {
    long v = std::strtol(line.c_str(), nullptr, 10);
    Prompt.LoadedCase = int8_t(std::clamp<long>(v, -128, 127));
  }
  Ed.SearchString = Prompt.StringHistory[Prompt.HistoryIndex];
}

void SaveStringHistory() {
  std::string out;
  for (int k = 0; k < 16; ++k) out += Prompt.StringHistory[size_t((Prompt.HistoryIndex + 16 - k) % 16)] + "\n";
  out += std::to_string(int(Prompt.QuickSearchCase)) + "\n";
  WriteSharedFile(Ed.SavedStringsPath, out);
}

NameAnswer PromptName(std::string_view offered) {
  PromptResult typed = PromptLine(PromptKind::Other, offered);
  const bool given = typed.Accepted();
  return {std::move(typed.Text), given};
}
