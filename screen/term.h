// The terminal layer: the one place that knows terminal bytes.  A Terminal
// sends the cell image and delivers key codes; the real one talks to a tty
// through terminfo, the headless one serves tests.
#pragma once
#include <signal.h>

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
  // Waits ms without taking a key: ends early when a key arrives (it is
  // queued for the next reader) and at once on a closing signal (throws
  // InputLost).  Sends what a held-back flush left first, so that what was
  // drawn before the pause is seen during it.
  virtual void Pause(int ms) = 0;
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

// The closing signal (SIGHUP, SIGTERM, SIGINT, SIGQUIT) that asked the
// editor to end, as its handler recorded it; 0 when none came.
extern volatile sig_atomic_t ClosingSignal;
// Throws InputLost when a closing signal has come, so that the editor ends
// by the way every lost keyboard takes (the emergency copy of a changed
// text).  Each wait for a key looks at the signal; so does every loop that
// runs without reading the keyboard (playback, replace runs, formatting,
// block commands), between two of its steps.
inline void StopIfClosing() {
  if (ClosingSignal != 0) throw InputLost{};
}
