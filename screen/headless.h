// A terminal without a terminal: keys come from a script, the screen goes
// nowhere.  The headless driver of the tests runs the editor on it.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "screen/keydecode.h"
#include "screen/term.h"

struct HeadlessTerminal : Terminal {
  struct Input {
    uint32_t Code = 0;  // a key code, or
    std::string Bytes;  // terminal bytes for the key decoder
    // A closing signal (SIGTERM and the like) that comes together with this
    // input: it is recorded as the signal handler would when the input is
    // delivered.
    int Signal = 0;
  };
  std::deque<Input> Script;
  KeyDecoder Decoder;
  int ForcedFlushes = 0;
  int CursorShapeChanges = 0;
  bool LastShapeInsert = true;
  int Suspends = 0;
  int Pauses = 0;     // pauses asked for; a headless pause does not sleep
  long PausedMs = 0;  // and their length
  bool Restored = false;
  // With the script empty, any wait for a key ends the run, so that a test
  // sees the screen as it stood when the keys ran out.  Off: bounded waits
  // just time out.
  bool EndOnWait = true;

  explicit HeadlessTerminal(Charset set);
  void Flush(bool force) override;
  // Moves the next scripted input into the key queue when the editor waits.
  bool Poll(int timeoutMs) override;
  // Counts the pause and looks at the closing signal; no time passes.
  void Pause(int ms) override;
  void SetCursorShape(bool insert) override;
  void Suspend(bool suspend) override;
  void Restore() override;
};
