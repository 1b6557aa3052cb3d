// The real terminal: terminfo through setupterm, raw input, the alternate
// screen and keypad mode, and restoring all of it on every way out.
#pragma once
#include <string>

#include "screen/term.h"

struct TtySetup {
  int Columns = 0;  // the terminal's size
  int Rows = 0;
  int ScreenRows = 0;  // the rows the editor's screen may use
};

// Reads the terminal's description and size.  Does not touch the screen.
// On failure returns false with a message for stderr.
bool ProbeTty(TtySetup& setup, std::string& error);

// Takes over the terminal (raw mode, alternate screen, keypad mode, cleared)
// and makes it the Terminal in use.  ProbeTty must have succeeded.
Terminal* OpenTty(const TtySetup& setup);

// The signal that asked the editor to end (SIGHUP, SIGTERM, SIGINT,
// SIGQUIT), or 0.
int PendingSignal();
// The handlers for the closing and the crashing signals; installed by OpenTty.
void InstallSignalHandlers();
