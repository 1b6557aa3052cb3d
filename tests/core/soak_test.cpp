// Random keys against every build, turn by turn through the main loop.
// After each key the text, the cursor, the window, the marks and the screen
// image must still be sound; a key that the editor reads inside a command
// (a prompt, a question, a waiting message) is followed by the same check.
//
// VESK_SOAK_SEED changes the seed, VESK_SOAK_KEYS the number of keys per
// build.  A failure names the seed, the build and the key number, and lists
// the last keys, so that it can be replayed and cut down to a named case at
// the end of this file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "builds/bindings.h"
#include "builds/build.h"
#include "builds/keymap.h"
#include "core/commands.h"
#include "core/editor.h"
#include "core/mainloop.h"
#include "base/state.h"
#include "edit/typing.h"
#include "screen/cells.h"
#include "screen/glyphs.h"
#include "screen/headless.h"
#include "screen/keydecode.h"
#include "screen/keys.h"
#include "screen/term.h"
#include "support/driver.h"
#include "text/linestore.h"
#include "text/savefile.h"

namespace fs = std::filesystem;

namespace {

using Input = HeadlessTerminal::Input;

constexpr uint64_t DefaultSeed = 0x5EEDC0DE;
constexpr long DefaultKeys = 200000;
constexpr long MaxKeysPerTurn = 10000;
constexpr long MaxIdleTurns = 10000;
constexpr int MaxSoakLines = 2000;
constexpr long MaxPausesPerTurn = 3;
// No key for this long: the editor is looping without reading the keyboard.
constexpr auto Stalled = std::chrono::seconds(120);

// GetKey reads the key after this code as the second half of an Alt key
// whose code no physical key delivers; the soak never sends it.
constexpr uint32_t AltBracketPrefix = 0x03081A00;

uint64_t EnvNumber(const char* name, uint64_t fallback) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return fallback;
  char* end = nullptr;
  unsigned long long n = std::strtoull(v, &end, 0);
  return end != v && *end == '\0' ? uint64_t(n) : fallback;
}

// Thrown by the soak terminal.
struct KeyBudgetExceeded {};
struct SecondProgram {};
// Thrown to end a run from inside a command.
struct StopRun {};
struct TooManyPauses {};

// Help and "edit another file" run a second editor (fork and exec of this
// test binary); "write to another directory" writes under whatever absolute
// path the random keys spell.  Their codes never reach the editor.  The
// menus run them too: there the soak answers the path prompts with Esc, and
// the terminal stops a second editor before it is started.
bool Forbidden(const BuildConfig& b, uint32_t code) {
  if (code == AltBracketPrefix) return true;
  const Binding* x = FindBinding(b, code);
  return x != nullptr && (x->Command == Cmd::Help || x->Command == Cmd::EditAnotherFile ||
                          x->Command == Cmd::WriteToAnotherFile);
}

std::string Hex(uint32_t code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", code);
  return buf;
}

std::string Escaped(const std::string& bytes) {
  std::string s;
  for (unsigned char c : bytes) {
    char buf[8];
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      s += char(c);
    } else {
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      s += buf;
    }
  }
  return s;
}

// The keys a build's soak draws from.
struct KeyPool {
  std::vector<uint32_t> Printable;  // ASCII and Cyrillic characters but the blank
  std::vector<uint32_t> Special;    // editing, cursor and function keys
  std::vector<uint32_t> Mapped;     // every code of the build's KeyMap
  std::vector<uint32_t> Control;    // Ctrl+letters
  std::vector<uint32_t> Modified;   // cursor and function keys with modifiers, Alt+characters
  uint32_t Space = 0, Esc = 0, Enter = 0;
  std::vector<std::string> CyrillicUtf8;
};

KeyPool PoolFor(const BuildConfig& b) {
  KeyPool p;
  auto add = [&](std::vector<uint32_t>& to, const PhysKey& k) {
    uint32_t code = KeyCodeFor(b, k);
    if (code != 0 && !Forbidden(b, code)) to.push_back(code);
  };
  auto key = [](KeyId id, uint8_t mods = 0, uint8_t ch = 0) {
    PhysKey k;
    k.Id = id;
    k.Mods = mods;
    k.Ch = ch;
    return k;
  };
  for (int c = 0x21; c <= 0x7E; ++c) add(p.Printable, key(K_Char, 0, uint8_t(c)));
  std::vector<char32_t> cyrillic = {U'Ё', U'ё'};
  for (char32_t u = U'А'; u <= U'я'; ++u) cyrillic.push_back(u);
  for (char32_t u : cyrillic) {
    p.CyrillicUtf8.push_back(Utf8Of(u));
    int byte = ByteOf(b.Set, u);
    if (byte > 0) add(p.Printable, key(K_Char, 0, uint8_t(byte)));
  }
  p.Space = KeyCodeFor(b, key(K_Char, 0, ' '));
  p.Esc = KeyCodeFor(b, key(K_Esc));
  p.Enter = KeyCodeFor(b, key(K_Enter));
  for (KeyId id : {K_Enter, K_Tab, K_Backspace, K_Delete, K_Insert, K_Up, K_Down, K_Left, K_Right, K_PgUp, K_PgDn,
                   K_Home, K_End, K_F1, K_F2, K_F3, K_F4, K_F5, K_F6, K_F7, K_F8, K_F9, K_F10, K_F11, K_F12})
    add(p.Special, key(id));
  for (const KeyMapEntry& e : b.KeyMap)
    if (e.Code != 0 && !Forbidden(b, e.Code)) p.Mapped.push_back(e.Code);
  for (char c = 'a'; c <= 'z'; ++c) add(p.Control, key(K_Char, M_Ctrl, uint8_t(c)));
  for (int id = K_F1; id <= K_Delete; ++id)
    for (int mods = 1; mods <= (M_Shift | M_Alt | M_Ctrl); ++mods) add(p.Modified, key(KeyId(id), uint8_t(mods)));
  for (int c = 0x21; c <= 0x7E; ++c) add(p.Modified, key(K_Char, M_Alt, uint8_t(c)));
  return p;
}

// Random keys and random terminal bytes, never one the soak must not send.
class KeySource {
 public:
  KeySource(const BuildConfig& b, uint64_t seed) : B(b), Pool(PoolFor(b)), Rng(seed) {}

  // decoder: the terminal's decoder as it stands, to see the keys that
  // bytes will give before they are sent.
  Input Next(const KeyDecoder& decoder) {
    if (uint32_t answer = SteeredAnswer()) return {answer, {}};
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const int r = Uniform(1000);
      if (r < 80) {
        std::string bytes = RandomBytes();
        if (Acceptable(decoder, bytes)) return {0, bytes};
        continue;
      }
      uint32_t code;
      if (r < 460) code = Pick(Pool.Printable);
      else if (r < 540) code = Pool.Space;
      else if (r < 560) code = Pool.Enter;
      else if (r < 780) code = Pick(Pool.Special);
      else if (r < 785) code = Pool.Esc;
      else if (r < 930) code = Pick(Pool.Mapped);
      else if (r < 980) code = Pick(Pool.Control);
      else code = Pick(Pool.Modified);
      // On a line that refuses what is typed, keys that may type (a
      // character, a control character, a key definition, a Pascal word, a
      // search string typed into the text with Ctrl+P) give way to a blank
      // or to an editing or cursor key.
      const bool types = r < 540 || r >= 785;
      if (types && TypingRefused())
        code = r < 540 && Ed.CurCol > Ed.IndentColumn ? Pool.Space : Pick(Pool.Special);
      if (!Forbidden(B, code)) return {code, {}};
    }
    ADD_FAILURE() << "no acceptable key in 1000 attempts";
    return {Pool.Space, {}};
  }

 private:
  int Uniform(int n) { return int(Rng() % uint64_t(n)); }
  uint32_t Pick(const std::vector<uint32_t>& v) { return v.empty() ? Pool.Space : v[size_t(Uniform(int(v.size())))]; }
  template <size_t N>
  const char* PickOf(const char* const (&v)[N]) {
    return v[size_t(Uniform(int(N)))];
  }

  // The answer the soak gives itself to a prompt or question on the screen,
  // or 0 for a random key.
  uint32_t SteeredAnswer() {
    const Steered* asking = nullptr;
    for (const Steered& st : Steering) {
      bool same = int(st.Text.size()) <= Scr.ScreenWidth;
      for (size_t i = 0; same && i < st.Text.size(); ++i)
        same = CellChar(CellAt(int(i) + 1, st.Row)) == uint8_t(st.Text[i]);
      if (same) asking = &st;
    }
    if (asking == nullptr) {
      LastSteered = nullptr;
      return 0;
    }
    // A prompt still there after its answer gets the next one: Esc does
    // not end the byte entry that Ctrl+Q starts in a prompt, a letter does.
    if (asking->InTurn) {
      AnswerIndex = asking == LastSteered ? (AnswerIndex + 1) % asking->Answers.size() : 0;
    } else {
      AnswerIndex = size_t(Uniform(int(asking->Answers.size())));
    }
    LastSteered = asking;
    return asking->Answers[AnswerIndex];
  }

  // Typing into a line that is full to FormatWidth and has no blank to
  // break it at is refused with a pause; the soak types a blank or a motion
  // there instead, so that such pauses stay rare.
  static bool TypingRefused() {
    if (!LineLimitOn() || Ed.CurLine < 1 || Ed.CurLine > Txt.LineCount) return false;
    const std::string_view line = LineBytes(Ed.CurLine);
    const int length = TrimmedLength(line);
    if (length < Ed.FormatWidth || StoredLength(Ed.CurLine) > Txt.LineWidth) return false;
    for (int i = Ed.IndentColumn; i <= length; ++i)
      if (line[size_t(i - 1)] == ' ') return false;
    return true;
  }

  bool Acceptable(const KeyDecoder& decoder, const std::string& bytes) const {
    KeyDecoder probe = decoder;
    probe.Feed(bytes, 0);
    PhysKey k;
    const bool refused = TypingRefused();
    int keys = 0;
    bool enter = false;
    // The headless terminal decodes a chunk as one read long after it came.
    while (probe.Next(k, 1000000)) {
      ++keys;
      enter = enter || k.Id == K_Enter;
      if (uint32_t code = KeyCodeFor(B, k); code != 0 && Forbidden(B, code)) return false;
      // A chunk may type a whole run of characters (the digits of an
      // overlong sequence, say): not into a line that refuses them.
      if (refused && k.Id == K_Char) return false;
    }
    // The keys of a chunk after its first one reach the editor without a
    // wait, past the answers the soak gives to prompts: Enter comes alone,
    // so that no prompt takes a path from a chunk.
    return keys < 2 || !enter;
  }

  std::string Piece() {
    static const char* const Params[] = {"",    "1",   "2",    "3",    "4",    "5",    "6",    "7",     "8",
                                         "11",  "12",  "15",   "17",   "21",   "23",   "24",   "1;2",   "1;3",
                                         "1;5", "1;6", "1;7",  "1;8",  "3;5",  "5;5",  "6;2",  "2;3",   "27;5;97",
                                         "27;3;120", "99", "1;", ";5", "?1", "1:2", "65536;70000"};
    static const char* const Finals[] = {"A", "B", "C", "D", "H", "F", "P", "Q", "R", "S", "~", "$", "^", "@", "Z", "u"};
    static const char* const Ss3[] = {"A", "B", "C", "D", "H", "F", "P", "Q", "R", "S", "M", "j", "k",
                                      "m", "n", "o", "p", "t", "y", "X", "a", "b", "c", "d", "z"};
    std::string s;
    switch (Uniform(16)) {
      case 0:
      case 1:
        s = std::string("\x1b[") + PickOf(Params) + PickOf(Finals);
        break;
      case 2:
        s = std::string("\x1bO") + PickOf(Ss3);
        break;
      case 3:
        s = std::string("\x1b[[") + char('A' + Uniform(6));
        break;
      case 4:  // Alt with a character
        s = "\x1b" + (Uniform(2) ? std::string(1, char(0x21 + Uniform(94))) : PickCyrillic());
        break;
      case 5:  // Esc pressed and at once an Alt key
        s = Uniform(2) ? std::string("\x1b\x1b[") + PickOf(Params) + PickOf(Finals)
                       : "\x1b\x1b" + std::string(1, char(0x21 + Uniform(94)));
        break;
      case 6:
        s = "\x1b";
        break;
      case 7:
        s = std::string(1, char(Uniform(2) ? Uniform(0x20) : 0x7F));
        break;
      case 8:
      case 9:
        s = PickCyrillic();
        break;
      case 10:
        s = std::string(1, char(0x20 + Uniform(95)));
        break;
      case 11:  // a byte that is no UTF-8 of its own
        s = std::string(1, char(0x80 + Uniform(0x80)));
        break;
      case 12: {  // a sequence cut short
        std::string full = std::string("\x1b[") + PickOf(Params) + PickOf(Finals);
        s = full.substr(0, size_t(1 + Uniform(int(full.size()))));
        break;
      }
      case 13: {  // a character cut short
        std::string c = PickCyrillic();
        s = c.substr(0, 1);
        break;
      }
      case 14:  // parameters up to and past the longest sequence (whose tail is typed)
        s = "\x1b[" + std::string(size_t(37 + Uniform(8)), char('0' + Uniform(10))) + "~";
        break;
      default:
        for (int i = Uniform(6); i >= 0; --i) s += char(Uniform(256));
        break;
    }
    return s;
  }

  std::string PickCyrillic() { return Pool.CyrillicUtf8[size_t(Uniform(int(Pool.CyrillicUtf8.size())))]; }

  std::string RandomBytes() {
    std::string s;
    for (int i = Uniform(3); i >= 0; --i) s += Piece();
    return s;
  }

  const BuildConfig& B;
  KeyPool Pool;
  std::mt19937_64 Rng;
  // Prompts and questions the soak answers itself, by the text that starts
  // their row.  Random keys could spell any path (the root directory, say)
  // and the editor would write there: file names and directories get Esc.
  // A replace run without confirmation, or "all" of one, types its
  // replacement at every match of the text; with random strings that grows
  // the text to the line limit, and every character refused on a full line
  // sleeps 777 ms: runs go match by match, each answered yes, no or stop.
  struct Steered {
    std::string Text;
    int Row;
    std::vector<uint32_t> Answers;
    bool InTurn;  // the answers in turn, else one at random
  };
  const std::vector<Steered> Steering = {
      {ToSet(B.Set, "Введите имя файла или Esc: "), 2, {Pool.Esc, CharKey('A')}, true},
      {ToSet(B.Set, "   Введите букву или путь:"), 2, {Pool.Esc, CharKey('A')}, true},
      {ToSet(B.Set, " С подтверждением каждого ?"), 1, {CharKey('1')}, false},
      {ToSet(B.Set, " Менять ?"), 1, {CharKey('1'), CharKey('2'), Pool.Esc}, false},
  };
  const Steered* LastSteered = nullptr;
  size_t AnswerIndex = 0;
  uint32_t CharKey(char d) const {  // a character key
    PhysKey k;
    k.Id = K_Char;
    k.Ch = uint8_t(d);
    return KeyCodeFor(B, k);
  }
};

// A headless terminal that hands out the next key whenever the editor waits
// for one, counts the keys of each turn, and fails when the editor tries to
// start a second program.
class SoakTerminal : public HeadlessTerminal {
 public:
  SoakTerminal(const BuildConfig& b, std::function<bool(Input&)> source)
      : HeadlessTerminal(b.Set), Source(std::move(source)) {
    // A chunk of bytes that decodes to nothing is followed by the next one.
    EndOnWait = false;
  }

  bool Poll(int timeoutMs) override {
    if (timeoutMs == 0) return !Kbd.Queue.empty();
    while (Kbd.Queue.empty()) {
      if (Script.empty()) {
        if (BeforeKey) BeforeKey();
        Input in;
        if (!Source(in)) throw InputLost{};
        if (++TurnKeys > MaxKeysPerTurn) throw KeyBudgetExceeded{};
        ++Keys;
        History.push_back(in);
        if (History.size() > 64) History.pop_front();
        if (Record) Record->push_back(in);
        Script.push_back(std::move(in));
      }
      HeadlessTerminal::Poll(1);
    }
    return true;
  }

  // A character that has no room is refused with a pause.  A command that
  // types a whole string (a replacement, a key definition, a search string)
  // into a full line pauses for each character: past a few pauses the turn
  // is cut short.
  void Pause(int ms) override {
    ++Pauses;
    if (++TurnPauses > MaxPausesPerTurn) throw TooManyPauses{};
    HeadlessTerminal::Pause(ms);
  }

  // The editor hands the terminal over right before it starts another
  // program: it never gets that far.
  void Suspend(bool suspend) override {
    if (suspend) throw SecondProgram{};
  }

  std::function<bool(Input&)> Source;
  std::function<void()> BeforeKey;  // runs before each key the editor reads
  long Keys = 0;
  long TurnKeys = 0;
  long Pauses = 0;
  long TurnPauses = 0;
  std::deque<Input> History;  // the last keys, oldest first
  std::vector<Input>* Record = nullptr;  // every key, when set
};

// Where the soak looks at the editor's state.
enum class At {
  LoopWait,  // the main loop waits for the key of a turn
  TurnEnd,   // a turn has ended
  Command,   // a command waits for a key (a prompt, a question, a message)
};

// What must hold at `at`; empty when it does.  The text, its table of lines
// and the marks and blocks (which the line store keeps in step with the
// text) must be sound everywhere.  The cursor must be in the text when a
// turn ends; inside a command it may stand aside (a replace run searches
// from column 0 and may show a message from there).  WindowTop is not kept
// in step with the text: the main loop brings it back before it reads a key,
// and only there is it checked.  A stored length is one byte, so no line can
// be longer than 255.
std::string Violation(At at) {
  std::ostringstream o;
  const int count = Txt.LineCount;
  if (count < 1 || count > MaxLines) {
    o << "LineCount " << count;
    return o.str();
  }
  if (Txt.LineTable.size() != size_t(LineTableSize)) {
    o << "line table of " << Txt.LineTable.size() << " entries";
    return o.str();
  }
  // Between the end of a turn and the wait that starts the next one only the
  // window moves: the lines were walked at the end of the turn.
  if (at != At::LoopWait) {
    const auto first = Txt.LineTable.begin() + 1;
    const auto missing = std::find(first, first + count, nullptr);
    if (missing != first + count) {
      o << "line " << (missing - first) + 1 << " of " << count << " has no block";
      return o.str();
    }
  }
  if (at != At::Command) {
    if (Ed.CurLine < 1 || Ed.CurLine > count) o << "CurLine " << Ed.CurLine << " of " << count << "; ";
    // Column 256 is the place after a full line of 255 bytes.
    if (Ed.CurCol < 1 || Ed.CurCol > 256) o << "CurCol " << Ed.CurCol << "; ";
    if (Ed.HScroll < 0) o << "HScroll " << Ed.HScroll << "; ";
  }
  if (at == At::LoopWait && (Ed.WindowTop < 1 || Ed.WindowTop > count))
    o << "WindowTop " << Ed.WindowTop << " of " << count << "; ";
  if (count < MaxLines && Txt.LineTable[size_t(count) + 1] != nullptr) o << "entry after the last line is set; ";
  auto inText = [&](int n) { return n >= 1 && n <= count; };
  for (size_t i = 0; i < Ed.LineMarks.size(); ++i)
    if (Ed.LineMarks[i] != 0 && !inText(Ed.LineMarks[i]))
      o << "line mark " << i + 1 << " at " << Ed.LineMarks[i] << " of " << count << "; ";
  for (size_t i = 0; i < Ed.PositionMarks.size(); ++i) {
    const PositionMark& p = Ed.PositionMarks[i];
    if (p.Line != 0 && (!inText(p.Line) || !inText(p.Top)))
      o << "position mark " << i + 1 << " at line " << p.Line << " top " << p.Top << " of " << count << "; ";
  }
  auto range = [&](const char* name, int first, int last) {
    if (first == 0 && last == 0) return;
    if (!inText(first) || !inText(last) || first > last)
      o << name << " " << first << ".." << last << " of " << count << "; ";
  };
  range("line block", Ed.BlockFirst, Ed.BlockLast);
  range("rectangular block", Ed.RectFirst, Ed.RectLast);
  if (Ed.RectFirst != 0 && (Ed.RectFirstCol < 1 || Ed.RectFirstCol > Ed.RectLastCol || Ed.RectLastCol > 255))
    o << "rectangular block columns " << Ed.RectFirstCol << ".." << Ed.RectLastCol << "; ";
  if (Scr.ScreenCells.size() != size_t(Scr.ScreenWidth) * Scr.ScreenHeight)
    o << "screen image of " << Scr.ScreenCells.size() << " cells for " << Scr.ScreenWidth << "x"
      << int(Scr.ScreenHeight) << "; ";
  return o.str();
}

// Stops the process when the editor has read no key for a long time, so
// that a loop that never asks for a key cannot hang the test run.
class Watchdog {
 public:
  explicit Watchdog(std::string what) : What(std::move(what)), Thread([this] { Watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> g(Lock);
      Done = true;
    }
    Wake.notify_all();
    Thread.join();
  }
  void Beat(long keys) { Keys.store(keys, std::memory_order_relaxed); }

 private:
  void Watch() {
    std::unique_lock<std::mutex> g(Lock);
    long last = -1;
    while (!Done) {
      if (Wake.wait_for(g, Stalled, [this] { return Done; })) return;
      long now = Keys.load(std::memory_order_relaxed);
      if (now == last) {
        std::fprintf(stderr, "soak stalled: %s, no key read for %lld s after key %ld\n", What.c_str(),
                     static_cast<long long>(Stalled.count()), now);
        std::abort();
      }
      last = now;
    }
  }
  std::string What;
  std::atomic<long> Keys{0};
  std::mutex Lock;
  std::condition_variable Wake;
  bool Done = false;
  std::thread Thread;
};

struct SoakCase {
  const BuildConfig* Build;
  int Width, Height;
  std::string FileName;  // its extension sets the line width or Pascal mode
  std::vector<std::string> Switches;
};

void PrintTo(const SoakCase& c, std::ostream* os) {
  *os << c.Build->Name << " " << c.Width << "x" << c.Height << " " << c.FileName;
}

std::string StartText() {
  std::string t =
      "Первая строка текста, в которой есть слова.\n"
      "    Абзац с отступом: (a+b)*c; x := y; {комментарий}\n"
      "\n"
      "1) пункт списка\n"
      "* ещё один пункт\n"
      "Ёлка, ёж и 12345 -- разделители: ,.;:!?\n";
  t += std::string(255, 'x') + "\n";
  t += std::string(200, ' ') + "хвост\n";
  for (int i = 1; i <= 60; ++i) t += "строка " + std::to_string(i) + " line " + std::to_string(i) + "\n";
  return t;
}

struct SoakReport {
  std::string Failure;  // empty: every check held
  long Keys = 0, Turns = 0, Restarts = 0, Pauses = 0;
  long SecondPrograms = 0;  // second editors a menu asked for (refused)
  long CutBacks = 0;        // starts on the first text again, the text being too long
  long CutShort = 0;        // turns cut short after MaxPausesPerTurn refusal pauses
  int MaxLineCount = 0;
  double Seconds = 0;
  // Fingerprint of every screen at a turn's end (cells and cursor) and of
  // the files in the case's folder at each restart and at the end: two
  // versions of the editor that behave the same give the same value.
  uint64_t Digest = 0xCBF29CE484222325ull;
};

void Mix(uint64_t& h, const void* data, size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
}

// The files of a folder by content; the names of emergency copies are
// random, so names do not count.
void MixFolder(uint64_t& h, const std::string& dir) {
  std::vector<uint64_t> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    std::ifstream f(e.path(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    uint64_t one = 0xCBF29CE484222325ull;
    Mix(one, bytes.data(), bytes.size());
    files.push_back(one);
  }
  std::sort(files.begin(), files.end());
  Mix(h, files.data(), files.size() * sizeof(uint64_t));
}

// Runs the editor on a headless terminal fed by source until `keys` keys
// were read (or the source runs dry), checking after each key.  An editor
// that ends is started again on its text.
SoakReport RunSoak(const SoakCase& c, const std::string& text, std::function<bool(Input&)> source, long keys,
                   const std::string& what, std::vector<Input>* record = nullptr) {
  static int counter = 0;
  SoakReport rep;
  const BuildConfig& b = *c.Build;
  // With VESK_SOAK_DIGEST set the folder's name is the same in every run,
  // since messages and saved state may show it.
  const bool digest = std::getenv("VESK_SOAK_DIGEST") != nullptr;
  const std::string dir = (fs::temp_directory_path() / ("vesk-soak-" + (digest ? "d" : std::to_string(getpid())) +
                                                        "-" + std::to_string(++counter)))
                              .string();
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string path = dir + "/" + c.FileName;
  {
    std::ofstream f(path, std::ios::binary);
    f << ToSet(b.Set, text);
  }
  std::vector<std::string> args = {"-X" + dir + "/", "-I" + dir + "/"};
  args.insert(args.end(), c.Switches.begin(), c.Switches.end());
  args.push_back(path);

  SelectBuild(b);
  SoakTerminal term(b, std::move(source));
  term.Record = record;
  Watchdog dog(what);
  // Where the editor stands when it asks for a key.
  enum class Phase { StartUp, LoopWait, Command } phase = Phase::StartUp;
  std::string failure;
  auto fail = [&](const std::string& why) {
    if (!failure.empty()) return;
    std::ostringstream o;
    o << what << ": " << why << " after key " << term.Keys << " (turn " << rep.Turns << ")\nlast keys:";
    for (const Input& in : term.History)
      o << (in.Bytes.empty() ? " " + Hex(in.Code) : " \"" + Escaped(in.Bytes) + "\"");
    failure = o.str();
  };
  auto check = [&](At at) {
    if (std::string v = Violation(at); !v.empty()) fail((at == At::Command ? "inside a command: " : "") + v);
    return failure.empty();
  };
  term.BeforeKey = [&] {
    dog.Beat(term.Keys);
    const Phase now = phase;
    if (phase == Phase::LoopWait) phase = Phase::Command;  // the keys after it are read by the command
    if (now == Phase::StartUp) return;
    // The first key of a turn is read right after the window was brought
    // to the cursor; later keys of the turn are read inside a command.
    if (!check(now == Phase::LoopWait ? At::LoopWait : At::Command))
      throw StopRun{};  // unwinds the command
  };

  // Starts the editor on the file; false when it ended at once.
  auto start = [&]() {
    ResetAllState();
    ResetScreen(c.Width, c.Height);
    Loop.Arguments = args;
    term.Script.clear();
    Term = &term;
    phase = Phase::StartUp;
    try {
      StartEditor(args);
      return true;
    } catch (const ProgramExit& e) {
      fail("the editor ended at start-up with status " + std::to_string(e.Status));
      return false;
    }
  };

  // Whatever the editor writes under a relative name lands in the case's
  // folder.
  struct InFolder {
    explicit InFolder(const std::string& dir) { fs::current_path(dir); }
    ~InFolder() { fs::current_path(Old); }
    fs::path Old = fs::current_path();
  } inFolder(dir);
  // Starts again on the text as the editor held it.
  auto restart = [&]() {
    std::string saved = Txt.LineTable.empty() ? std::string() : TextForSave();
    MixFolder(rep.Digest, dir);
    Mix(rep.Digest, saved.data(), saved.size());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << saved;
    ++rep.Restarts;
    return start();
  };
  // A text copied onto itself a few times doubles up to the line limit,
  // where every turn costs as much as the whole text: MaxSoakLines past its
  // first length the soak starts again on the text it began with (the line
  // limit has a case of its own).
  const int cap = int(std::count(text.begin(), text.end(), '\n')) + MaxSoakLines;
  auto cutBack = [&]() {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << ToSet(b.Set, text);
    ++rep.CutBacks;
    return start();
  };

  const auto began = std::chrono::steady_clock::now();
  try {
    bool running = start();
    long idleTurns = 0;  // turns in a row that read no key from the terminal
    while (running && term.Keys < keys && check(At::TurnEnd)) {
      rep.MaxLineCount = std::max<int>(rep.MaxLineCount, Txt.LineCount);
      term.TurnKeys = 0;
      term.TurnPauses = 0;
      // Codes left from a chunk of bytes are read without a wait.
      phase = Kbd.Queue.empty() ? Phase::LoopWait : Phase::Command;
      try {
        MainLoopTurn();
        Mix(rep.Digest, Scr.ScreenCells.data(), Scr.ScreenCells.size() * sizeof(Cell));
        Mix(rep.Digest, &Scr.CursorColumn, sizeof Scr.CursorColumn);
        Mix(rep.Digest, &Scr.CursorRow, sizeof Scr.CursorRow);
        if (Txt.LineCount > cap && check(At::TurnEnd)) running = cutBack();
      } catch (const ProgramExit&) {
        running = restart();
      } catch (const TooManyPauses&) {
        // As if the editor had been stopped there: start again on its text.
        ++rep.CutShort;
        running = restart();
      } catch (const SecondProgram&) {
        // Only a menu item may get here: the keys that run help or edit
        // another file are never sent.
        if (Loop.LastCommand != int(Cmd::MainMenu)) {
          fail("the editor was about to start a second program (key " + Hex(Kbd.KeyEvent) + ")");
          break;
        }
        ++rep.SecondPrograms;
        running = restart();
      }
      // Keys that come from elsewhere (a playback, a chunk of bytes) run
      // turns of their own, but never endlessly.
      idleTurns = term.TurnKeys == 0 ? idleTurns + 1 : 0;
      if (idleTurns > MaxIdleTurns) {
        fail(std::to_string(MaxIdleTurns) + " turns in a row read no key (key " + Hex(Kbd.KeyEvent) + ")");
        break;
      }
      ++rep.Turns;
    }
  } catch (const InputLost&) {
    // The scripted keys ran out: the state must be sound all the same.
    check(At::TurnEnd);
  } catch (const KeyBudgetExceeded&) {
    fail("one turn read more than " + std::to_string(MaxKeysPerTurn) + " keys");
  } catch (const StopRun&) {
    // A check inside a command failed; the failure is kept.
  } catch (const SecondProgram&) {
    fail("the editor was about to start a second program at start-up");
  } catch (const TooManyPauses&) {
    fail("the editor paused at start-up");
  }
  Term = nullptr;
  rep.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  rep.Keys = term.Keys;
  rep.Pauses = term.Pauses;
  rep.Failure = failure;
  if (!Txt.LineTable.empty()) {
    const std::string last = TextForSave();
    Mix(rep.Digest, last.data(), last.size());
  }
  MixFolder(rep.Digest, dir);
  ResetLineStore();
  fs::remove_all(dir);
  return rep;
}

// Random keys from the seed's stream; what names the case in messages.
SoakReport RandomSoak(const SoakCase& c, const std::string& text, uint64_t stream, long keys,
                      const std::string& what, std::vector<Input>* record = nullptr) {
  KeySource keysource(*c.Build, stream);
  // The source looks at the decoder of the terminal RunSoak puts in use.
  auto source = [&](Input& in) {
    const auto* t = dynamic_cast<const HeadlessTerminal*>(Term);
    in = keysource.Next(t ? t->Decoder : KeyDecoder{});
    return true;
  };
  SoakReport rep = RunSoak(c, text, source, keys, what, record);
  std::printf("[ soak     ] %s: %ld keys, %ld turns, %ld restarts (%ld second editors refused), up to %d lines "
              "(%ld cut back), %ld refusal pauses (%ld turns cut short), digest %016llX, %.1f s\n",
              what.c_str(), rep.Keys, rep.Turns, rep.Restarts, rep.SecondPrograms, rep.MaxLineCount, rep.CutBacks,
              rep.Pauses, rep.CutShort, (unsigned long long)rep.Digest, rep.Seconds);
  return rep;
}

// Replays fixed input (codes and byte chunks) on a text; the first
// violation, or empty.
std::string Replay(const SoakCase& c, const std::string& text, const std::vector<Input>& inputs) {
  size_t next = 0;
  auto source = [&](Input& in) {
    if (next >= inputs.size()) return false;
    in = inputs[next++];
    return true;
  };
  return RunSoak(c, text, source, long(inputs.size()) + 1, c.Build->Name).Failure;
}

const SoakCase kCases[] = {
    {&BuildKoi8, 80, 25, "text.txt", {"-w"}},
    {&Build866, 132, 43, "notes.60", {"-w", "-t4"}},
    {&Build866Rkbd, 100, 4, "prog.pas", {"-w", "-j"}},
    {&BuildKoi8Rkbd, 80, 25, "short.30", {"-w"}},
};

uint64_t Seed() { return EnvNumber("VESK_SOAK_SEED", DefaultSeed); }

std::string Describe(const SoakCase& c, uint64_t seed) {
  std::ostringstream o;
  o << c.Build->Name << " " << c.Width << "x" << c.Height << " " << c.FileName << ", VESK_SOAK_SEED=0x" << std::hex
    << seed;
  return o.str();
}

class SoakTest : public ::testing::TestWithParam<SoakCase> {};

TEST_P(SoakTest, RandomKeysKeepTextCursorMarksAndScreenSound) {
  const SoakCase& c = GetParam();
  const uint64_t seed = Seed();
  const long keys = long(EnvNumber("VESK_SOAK_KEYS", DefaultKeys));
  // Each build gets its own stream of the seed.
  uint64_t index = 0;
  while (index < std::size(kCases) && kCases[index].Build != c.Build) ++index;
  const SoakReport rep = RandomSoak(c, StartText(), seed ^ (0x9E3779B97F4A7C15ull * (index + 1)), keys,
                                    Describe(c, seed));
  EXPECT_EQ(rep.Failure, "") << "the same keys again: VESK_SOAK_SEED=0x" << std::hex << seed << std::dec
                             << " VESK_SOAK_KEYS=" << rep.Keys;
  EXPECT_GE(rep.Keys, keys);
}

INSTANTIATE_TEST_SUITE_P(EveryBuild, SoakTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SoakCase>& info) {
                           std::string n = info.param.Build->Name;
                           for (char& ch : n)
                             if (ch == '-') ch = '_';
                           return n;
                         });

// A text at the line limit: new lines are refused until lines are deleted
// (Enter, a line broken by typing, a duplicated or restored line), and each
// refusal must leave the text and the marks as sound as a success does.
TEST(SoakNearTheLineLimit, RefusedLinesKeepTheEditorSound) {
  const SoakCase c{&BuildKoi8Rkbd, 80, 25, "limit.40", {"-w"}};
  std::string text;
  for (int i = 1; i <= MaxLines; ++i) text += "l " + std::to_string(i) + " слово\n";
  const uint64_t seed = Seed();
  const long keys = long(EnvNumber("VESK_SOAK_KEYS", DefaultKeys)) / 10;
  const SoakReport rep = RandomSoak(c, text, seed ^ 0x4C494D4954ull, keys, Describe(c, seed) + " near the limit");
  EXPECT_EQ(rep.Failure, "");
  EXPECT_EQ(rep.MaxLineCount, MaxLines);
}

// Short key sequences that once broke the checks of the soak.
namespace regression {

const SoakCase Koi8{&BuildKoi8, 80, 25, "text.txt", {"-w"}};

// A character typed in column 255, the last a line has, leaves the cursor
// just after the line (column 256) and no further: on a full line, and with
// the line-length limit switched off.
TEST(SoakRegression, TypingInTheLastColumnKeepsTheCursorInTheLine) {
  EXPECT_EQ(Replay(Koi8, std::string(255, 'x') + "\n", KeysFor(BuildKoi8, "<End>a")), "");
  EXPECT_EQ(Replay(Koi8, "abc\n", KeysFor(BuildKoi8, "<S-Ins>" + std::string(252, ' ') + "<Right><Right>z")), "");
}

// F9 recorded into the keystroke buffer plays the buffer back from its first
// key again: the playback must still come to an end.
TEST(SoakRegression, PlayingBackARecordedF9Ends) {
  EXPECT_EQ(Replay(Koi8, "text\n", KeysFor(BuildKoi8, "<S-F9><F9>")), "");
}

}  // namespace regression

// Cuts the keys of a failing soak down to a short sequence that fails the
// same way, for a named case above: VESK_SOAK_MINIMIZE=<build name>
// (VESK_SOAK_SEED as in the failure), VESK_SOAK_MATCH=<part of the message>.
TEST(SoakMinimize, DISABLED_ShortestFailingKeys) {
  const char* name = std::getenv("VESK_SOAK_MINIMIZE");
  const char* match = std::getenv("VESK_SOAK_MATCH");
  ASSERT_TRUE(name != nullptr && match != nullptr);
  uint64_t index = 0;
  while (index < std::size(kCases) && std::string(kCases[index].Build->Name) != name) ++index;
  ASSERT_LT(index, std::size(kCases));
  const SoakCase& c = kCases[index];
  const uint64_t seed = Seed();
  std::vector<Input> keys;
  const SoakReport rep = RandomSoak(c, StartText(), seed ^ (0x9E3779B97F4A7C15ull * (index + 1)),
                                    long(EnvNumber("VESK_SOAK_KEYS", DefaultKeys)), Describe(c, seed), &keys);
  ASSERT_NE(rep.Failure.find(match), std::string::npos) << rep.Failure;
  auto fails = [&](const std::vector<Input>& k) { return Replay(c, StartText(), k).find(match) != std::string::npos; };
  ASSERT_TRUE(fails(keys));
  for (size_t chunk = keys.size() / 2; chunk >= 1; chunk /= 2) {
    for (size_t at = 0; at < keys.size();) {
      std::vector<Input> shorter(keys.begin(), keys.begin() + long(at));
      shorter.insert(shorter.end(), keys.begin() + long(std::min(at + chunk, keys.size())), keys.end());
      if (fails(shorter)) keys = std::move(shorter);
      else at += chunk;
    }
  }
  std::ostringstream o;
  for (const Input& in : keys) o << (in.Bytes.empty() ? "{0x" + Hex(in.Code) + ", {}}, " : "{0, \"" + Escaped(in.Bytes) + "\"}, ");
  std::printf("%zu keys: %s\n%s\n", keys.size(), o.str().c_str(), Replay(c, StartText(), keys).c_str());
}

}  // namespace
