#include <gtest/gtest.h>

#include "support/driver.h"
#include "text/questions.h"

namespace {
// The first column of the highlighted answer in row 1 (its bar).
int HighlightStart(const RunResult& r) {
  for (int c = 1; c <= r.Width; ++c)
    if (CellAttr(r.At(c, 1)) & 0x80) return c;
  return 0;
}
RunResult Menu(const std::string& keys, const BuildConfig& b = BuildKoi8) {
  RunOptions o;
  o.Build = &b;
  o.Text = "one\ntwo\nthree\n";
  o.Keys = keys;
  return Drive(o);
}
}  // namespace

TEST(Menus, F10OpensTheMainMenuWithItsDirectKeys) {
  RunResult r = Menu("<F10>");
  EXPECT_EQ(r.Row(1).rfind(" Основное:│1 Файл│", 0), 0u) << r.Row(1);
  EXPECT_EQ(r.Row(2).rfind("   Прямо: │", 0), 0u) << r.Row(2);
  EXPECT_NE(r.Row(2).find("F1=Alt+H"), std::string::npos);
  EXPECT_EQ(CellAttr(r.At(2, 1)), 0x3F);  // the title in the main menu's colours
  EXPECT_EQ(HighlightStart(r), 11);       // item 1
  r = Menu("<F10>", Build866);
  EXPECT_NE(r.Row(1).find("8 Rus│"), std::string::npos);
  EXPECT_NE(r.Row(2).find("{Alt^Tab}    Esc"), std::string::npos);
}

TEST(Menus, LeftAndRightWrapAround) {
  int first = HighlightStart(Menu("<F10>"));
  int last = HighlightStart(Menu("<F10><Left>"));
  EXPECT_GT(last, first);
  EXPECT_NE(Menu("<F10><Left>").Row(1).substr(size_t(0)).find("8 Rus"), std::string::npos);
  EXPECT_EQ(HighlightStart(Menu("<F10><Left><Right>")), first);
}

TEST(Menus, DigitsBeyondTheItemsDoNothingAndZeroCloses) {
  RunResult r = Menu("<F10>9");
  EXPECT_EQ(r.Row(1).rfind(" Основное:", 0), 0u) << r.Row(1);
  r = Menu("<F10>0");
  EXPECT_NE(r.Row(1).find("line="), std::string::npos);  // the status line again
}

TEST(Menus, FunctionKeysChooseItems) {
  RunResult r = Menu("<F10><F3>");
  EXPECT_EQ(r.Row(1).rfind(" Cервис:", 0), 0u) << r.Row(1);
  EXPECT_EQ(CellAttr(r.At(2, 1)), 0x4F);  // the second attribute set
}

TEST(Menus, EscGoesBackToTheParentOnTheItemThatOpenedIt) {
  RunResult r = Menu("<F10>26<Esc>");  // text menu, delete menu, back
  EXPECT_EQ(r.Row(1).rfind(" Текст", 0), 0u) << r.Row(1);
  EXPECT_EQ(Q.AskSelection, 6);
  r = Menu("<F10>255<Esc>");  // line menu, restore menu, back to line menu item 5
  EXPECT_EQ(r.Row(1).rfind(" Строка", 0), 0u) << r.Row(1);
  EXPECT_EQ(Q.AskSelection, 5);
}

TEST(Menus, ItemsRunTheirCommands) {
  RunResult r = Menu("<F10>251");  // Текст, Строка, Добавить пустую
  EXPECT_EQ(r.Lines, (std::vector<std::string>{"one", "", "two", "three"}));
  r = Menu("<Down><F10>261");  // Текст, Удаление, Строку
  EXPECT_EQ(r.Lines, (std::vector<std::string>{"one", "three"}));
  r = Menu("<F10>2611");  // the keys after a command are typed again
  EXPECT_EQ(r.Lines, (std::vector<std::string>{"1two", "three"}));
  r = Menu("<F10>8");  // Rus
  EXPECT_EQ(CellAt(76, 1), MakeCell('R', 0x70));
  r = Menu("<F10>7");  // Выход on an unchanged text
  EXPECT_EQ(r.ExitStatus, 0);
}

TEST(Menus, TheChoiceOf80ReturnsToEditingAtOnce) {
  // Ctrl+Q abandons in vesk-koi8.
  RunResult r = Menu("<F10>2<C-q>");
  EXPECT_NE(r.Row(1).find("line="), std::string::npos);
}
