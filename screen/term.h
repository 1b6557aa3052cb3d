// The terminal layer: the one place that knows terminal bytes.  A Terminal
// sends the cell image and delivers key codes; the real one talks to a tty
// through terminfo, the headless one serves tests.
#pragma once
#include <cstdint>
#include <string>

#include "screen/cells.h"

struct Terminal {
  virtual ~Terminal() = default;
  // Sends the cells that differ from what the terminal shows (all when
  // force), then puts the cursor where MoveCursor asked.  A terminal may
  // hold an unforced flush back until Sync or the next wait for a key, so
  // that the several writers of one turn cost one update.
  virtual void Flush(bool force) = 0;
  // Sends what a held-back flush left.
  virtual void Sync() {}
  // Moves decoded key codes into Kbd.Queue.  Waits at most timeoutMs
  // (negative: without limit) for the first one.  Returns whether the queue
  // holds a key.
  virtual bool Poll(int timeoutMs) = 0;
  // The cursor shape for insert (true) or overwrite mode.
  virtual void SetCursorShape(bool insert) = 0;
  // Hands the terminal to another program (true) and takes it back (false).
  virtual void Suspend(bool suspend) = 0;
  // Restores the terminal as it was found.  Safe to call twice.
  virtual void Restore() = 0;
};

// The terminal in use; null before start-up.
extern Terminal* Term;

// The program ends by throwing this; RunEditor catches it, restores the
// terminal and returns the status.
struct ProgramExit {
  int Status;
};
// Thrown when the keyboard is gone for good (end of input, a closing signal).
struct InputLost {};
