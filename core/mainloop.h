// The main loop: each turn redraws the window and the status line, keeps
// the cursor inside the window, reads one key and runs its command.
#pragma once
#include <cstdint>

void MainLoop();
// One turn (tests drive the loop turn by turn).
void MainLoopTurn();
// Keeps the cursor inside the window: moves WindowTop and HScroll.
void KeepCursorInWindow();
