// The command table: one row per command of builds/commands.def (where its
// name and shared codes are; each build's file adds its own codes), in the
// same order: what the command does and the menu items that run it.  The
// main loop looks a key's code up in the build's bindings and runs the row
// of its command; a menu item runs the row that names it.
#pragma once
#include <cstdint>

#include "builds/bindings.h"
#include "core/menu.h"

// What a command does.  variant: which of the command's codes ran it (0
// first: Binding::Slot), or the variant its menu item names.
using CommandFn = void (*)(int variant);

struct MenuItem {
  Menu Id = Menu::Main;
  uint8_t Item = 0;     // 1 first; 0: no item
  uint8_t Variant = 0;  // passed to the command
  bool Reopen = false;  // the menu shows again afterwards, on this item
};

struct CommandRow {
  Cmd Command;
  CommandFn Run;
  MenuItem Items[2];  // the menu items that run the command
};

const CommandRow& CommandRowOf(Cmd c);
// Runs command c as its key (the variant-th of its codes) or its menu item would.
void RunCommand(Cmd c, int variant = 0);
// The command row and item that menu item `item` of m runs; nullptr when
// the item runs no command.
const CommandRow* CommandOfMenuItem(Menu m, int item, const MenuItem** which);

// A key that reaches typing: its character, or in literal mode a part of the
// character given by its letter or its code.
void TypeKey();
// Ends literal mode and types ch.
void TypeLiteral(uint8_t ch);
