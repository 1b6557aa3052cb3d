// The two-line menu bar: F10 opens the main menu over the status and message
// lines; every item opens a sub-menu, runs a command (its row in the command
// table names the item) or does what only the menu does.
#pragma once
#include <cstdint>

enum class Menu : uint8_t {
  Main, File, Text, Service, Macro, Buffer, Continuation, Block, MoreBlocks, Rect, Copy, Search,
  ReplaceByFile, Cursor, Screen, Line, Restore, Delete, Format, Paragraph, Mark, MarkLine, GoLineMark,
  MarkPos, GoPos,
};

void MainMenu();
