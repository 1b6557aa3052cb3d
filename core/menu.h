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

// The menus as data, for the check that every item does something: the
// number of items of a menu (0 for none), and whether item `item` opens a
// menu, acts or runs a command.
int MenuItemCount(Menu m);
bool MenuItemHandled(Menu m, int item);
