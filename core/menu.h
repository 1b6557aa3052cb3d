// The two-line menu bar: F10 opens the main menu over the status and message
// lines; every item opens a sub-menu or runs the command entry its key runs.
#pragma once

void MainMenu();
