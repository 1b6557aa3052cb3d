// Every item of every menu opens a menu, acts, or runs a command (the
// commands name their items in the command table, the menu its own); and
// no command names an item a menu does not have.
#include <gtest/gtest.h>

#include "builds/bindings.h"
#include "core/commandtable.h"
#include "core/menu.h"

TEST(MenuItems, EveryItemDoesSomething) {
  for (int m = 0; m <= int(Menu::GoPos); ++m) {
    const int count = MenuItemCount(Menu(m));
    EXPECT_GT(count, 0) << "menu " << m;
    for (int item = 1; item <= count; ++item)
      EXPECT_TRUE(MenuItemHandled(Menu(m), item)) << "menu " << m << " item " << item;
  }
}

TEST(MenuItems, CommandsNameItemsTheMenusHave) {
  for (size_t c = 0; c < kCmdCount; ++c)
    for (const MenuItem& i : CommandRowOf(Cmd(c)).Items)
      if (i.Item != 0) {
        EXPECT_LE(i.Item, MenuItemCount(i.Id)) << CommandName(Cmd(c));
      }
}
