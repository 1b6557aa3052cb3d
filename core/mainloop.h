// The main loop: each turn redraws the window and the status line, keeps
// the cursor inside the window, reads one key and runs its command.
#pragma once
#include <cstdint>

void MainLoop();
// One turn (tests drive the loop turn by turn).
void MainLoopTurn();
// Keeps the cursor inside the window: moves WindowTop and HScroll.
void KeepCursorInWindow();

enum class Cmd : uint8_t;
// Runs a command entry as its key would, with KeyEvent set to the build's
// code for it unless keepKey (the menus use this).
void RunCommand(Cmd c, bool keepKey = false);
