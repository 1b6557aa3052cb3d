#include "core/menu.h"

#include "blocks/keydefs.h"
#include "builds/build.h"
#include "core/commandtable.h"
#include "core/commands.h"
#include "core/editor.h"
#include "core/keystrokes.h"
#include "core/mainloop.h"
#include "base/state.h"
#include "edit/typing.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "text/messages.h"
#include "text/questions.h"
#include "text/status.h"

namespace {

struct MenuText {
  Menu Id;
  const char* Items;     // as the KOI8-R builds store it
  const char* Direct;
  const char* Items866;  // where the code-page-866 builds differ
  const char* Direct866;
  bool SecondSet;  // attributes 4F 5F 1C 6E instead of 3F 2F 5F 0D
  Menu Parent;
  int ParentItem;  // the parent's item that opens this menu
};

const MenuText Menus[] = {
    {Menu::Main, " Основное:|1 Файл|2 Текст|3 Сервис|4 Цвета|5 Помощь|6 Keystrokes|7 Выход|8 Rus |",
     "   Прямо: |                          ^F10  F1=Alt+H   {Alt^Tab}     Esc  WinMenu",
     " Основное:|1 Файл|2 Текст|3 Сервис|4 Цвета|5 Помощь|6 Keystrokes|7 Выход|8 Rus|",
     "   Прямо: |                          ^F10  F1=Alt+H   {Alt^Tab}    Esc  WinMenu", false, Menu::Main, 0},
    {Menu::File, " Файл |1 Запись|2 Зап-ь в др.|3 Зап-ь блок|4 Взять файл|5 Отмена п.4|6 Ред. др.|",
     " Прямо|    F2        ^F2         Shift+F2     Shift+F1      ^F1        ^+F4", nullptr, nullptr, true,
     Menu::Main, 1},
    {Menu::Text, " Текст|1 Блоки|2 Поиск|3 Курсор|4 Экран|5 Строка|6 Удаление|7 Формат|8 Get back|", "", nullptr,
     nullptr, true, Menu::Main, 2},
    {Menu::Service, " Cервис:|1 Макросы |2 Буфер |3 Продолжения |4 Счет по блоку |5 Перекодировка |",
     " Прямо: |                                                           F11", nullptr, nullptr, true,
     Menu::Main, 3},
    {Menu::Macro, " Макросы|1 Взять слово|2 Воспр.его|3 Вкл.|4 Выкл.|5 Перечит.файл м-сов|6 Запис.|",
     " Прямо  |  Esc-Alt+кл     Esc-кл", nullptr, nullptr, false, Menu::Service, 1},
    {Menu::Buffer, " Буфер:|1 Начать формир.буфера|2 Воспр. буфер|3 Записать в файл|4 Считать файл|",
     " Прямо:|        Shift+F9              F9            Esc-F9            ^F9", nullptr, nullptr, false,
     Menu::Service, 2},
    {Menu::Continuation, " Продолжение:|1 Строки/слова |2 Перечитать shorts.vsk |",
     " Прямо:      |       \\                Esc-blank", nullptr, nullptr, false, Menu::Service, 3},
    {Menu::Block, " Блоки|1 Строк|2 Прямоуг.|3 Копия|4 Перенос|5 Удал.|6 Сдв>|7 Сдв<|8 Еще|9 Снять|",
     " Прямо|Alt+L,Sh+arrows up/dn         Alt+M   Alt+G   ^Ins   ^Del       Alt+U=Esc", nullptr, nullptr, false,
     Menu::Text, 1},
    {Menu::MoreBlocks, " Еще блоки|1 В большие|2 В малые|3 Заполнить символом|4 QWE>ЙЦУ|5 ЙЦУ>QWE|6 Где|",
     "   Прямо  |  Shift+F5   Shift+F6          Alt+F       Shift+F3  Shift+F4  Alt+/", nullptr, nullptr, true,
     Menu::Block, 8},
    {Menu::Rect, " Блок-прямоугольник|1 Любой угол|2 Слово|3 До конца строки|4 Вся строка|5 Сдвиг|",
     "        Прямо:     |   Alt+B  Alt+V=X,Sh^><  Alt+E=Shift+End    Alt+N   Shift+><", nullptr, nullptr, true,
     Menu::Block, 2},
    {Menu::Copy, " Копировать блок|1 Со снятием разметки|2 Без снятия разм.|3 В буфер|4 Из буфера|",
     "      Прямо     |          Alt+C              Alt+K         ^C,^X        ^V", nullptr, nullptr, true,
     Menu::Block, 3},
    {Menu::Search, " Поиск|1 Б/учета размера|2 С учетом|3 Повтор|4 Вверх|5 Замена|6 Замена по файлу|",
     " Прямо|         F7        Shift+F7   ^+Enter    ^F7      F6", nullptr, nullptr, false, Menu::Text, 2},
    {Menu::ReplaceByFile, " Замена по файлу |1 Нечетные в четные (1 во 2) |2 Четные в нечетные (2 в 1) |",
     "      Прямо      |        Ctrl+Shift+F8", nullptr, nullptr, true, Menu::Search, 6},
    {Menu::Cursor, " Курсор|1 Слово <|2 Слово >|3 Верх эк.|4 Низ эк.|5 4 стр^|6 4 стр_|7 Сдел.верх.|",
     " Прямо |  Ctrl+<    Ctrl+>     ^Tab       ^Tab    Alt+up   Alt+dn        F5", nullptr,
     " Прямо |  Ctrl+<    Ctrl+>     ^Tab       ^Tab    Alt+up   Alt+dn       F5", false, Menu::Text, 3},
    {Menu::Screen, " Экран|1 Верхний файла|2 Нижний файла|3 Строка по #|4 Сдвиг^|5 Сдвиг_|6 Метки|",
     " Прямо|     ^+Home          ^+End            F4       ^PgUp    ^PgDn",
     " Экран|1 Верхний файла|2 Нижний файла|3 Строка по №|4 Сдвиг^|5 Сдвиг_|6 Метки|", nullptr, false,
     Menu::Text, 4},
    {Menu::Line, " Строка|1 Добавить пустую|2 Дублировать|3 Расщепить|4 Объединить|5 Восстановить|",
     " Прямо |        F3              F8          Alt+S       Alt+J", nullptr, nullptr, false, Menu::Text, 5},
    {Menu::Restore, " Восстановить:|1 Строку как до входа|2 Следующую строку|3 Отмена послед.измен-я|",
     "     Прямо:   |       Shift+F10              Alt+R          Alt+BackSpace", nullptr, nullptr, true,
     Menu::Line, 5},
    {Menu::Delete, " Удалить:|1 Строку |2 Слово |3 Слово влево |4 До конца строки |5 Блок |",
     "  Прямо: |  Ctrl+Y    Alt+W   Ctrl+BkSpace        Ctrl+K        Alt+G", nullptr, nullptr, false, Menu::Text,
     6},
    {Menu::Format, " Формат|1 Начало строки - к курсору|2 Toggle огранич. длины|3 Формат SS|4 Ex #9|",
     " Прямо |            Alt+A               Shift+Enter(Ins)",
     " Формат|1 Выровнять по курсору|2 Toggle огранич. длины|3 Формат \x15 |4 Extend #9|",
     " Прямо |          Alt+A            Shift+Enter(Ins)", false, Menu::Text, 7},
    {Menu::Paragraph, " Формат параграфа|1 Справа ровно|2 Справа неровно|3 Длина строки для форматир-я|",
     "      Прямо      | Ctrl+Shift+F       Ctrl+F", nullptr, nullptr, true, Menu::Format, 3},
    {Menu::Mark, " Метки|1 Строки|2 К строке|3 Позиции|4 В позицию|5 Колонки|6 В колонку|7 Д/ F12|",
     " Прямо|                                           Alt+\"-\"    Alt+\"=\"     ^F12", nullptr, nullptr, true,
     Menu::Screen, 6},
    {Menu::MarkLine, " Пометить строку: |  1  |  2  |  3  |", "      Прямо:      |Alt+1 Alt+2 Alt+3", nullptr,
     nullptr, false, Menu::Mark, 1},
    {Menu::GoLineMark, " Перейти к строке: |  1  |  2  |  3  |", "       Прямо:      |Alt+4 Alt+5 Alt+6", nullptr,
     nullptr, false, Menu::Mark, 2},
    {Menu::MarkPos, " Пометить позицию: |  1  |  2  |", "       Прямо:      |Alt+7 Alt+8", nullptr, nullptr, false,
     Menu::Mark, 3},
    {Menu::GoPos, " Перейти в позицию: |  1  |  2  |", "      Прямо:        |Alt+9 Alt+0", nullptr, nullptr, false,
     Menu::Mark, 4},
};

const MenuText& TextOf(Menu m) {
  for (const MenuText& t : Menus)
    if (t.Id == m) return t;
  return Menus[0];
}

// What choosing an item leads to.
struct Next {
  enum Kind { Editing, Open, Reopen } What = Editing;
  Menu Target = Menu::Main;
  int Highlight = 1;
};

Next Open(Menu m) { return {Next::Open, m, 1}; }
Next Reopen(Menu m, int item) { return {Next::Reopen, m, item}; }

// The items that open a sub-menu or do what only the menu does; every
// other item runs the command whose row names it (core/commandtable.cpp).
struct MenuAction {
  Menu Id;
  uint8_t Item;
  Next (*Do)();
};

const MenuAction kActions[] = {
    {Menu::Main, 1, [] { return Open(Menu::File); }},
    {Menu::Main, 2, [] { return Open(Menu::Text); }},
    {Menu::Main, 3, [] { return Open(Menu::Service); }},
    {Menu::Main, 6, [] {
       KeystrokesScreen();
       if (KeyPressed()) GetKey();  // a key still waiting is dropped
       ClearScreenCells();
       return Next{};
     }},
    {Menu::Main, 7, [] { ExitEditor(); return Next{}; }},
    {Menu::Text, 1, [] { return Open(Menu::Block); }},
    {Menu::Text, 2, [] { return Open(Menu::Search); }},
    {Menu::Text, 3, [] { return Open(Menu::Cursor); }},
    {Menu::Text, 4, [] { return Open(Menu::Screen); }},
    {Menu::Text, 5, [] { return Open(Menu::Line); }},
    {Menu::Text, 6, [] { return Open(Menu::Delete); }},
    {Menu::Text, 7, [] { return Open(Menu::Format); }},
    {Menu::Service, 1, [] { return Open(Menu::Macro); }},
    {Menu::Service, 2, [] { return Open(Menu::Buffer); }},
    {Menu::Service, 3, [] { return Open(Menu::Continuation); }},
    {Menu::Macro, 1, [] { RunOrDefineAskedKey(); return Next{}; }},
    {Menu::Macro, 2, [] { RunOrDefineAskedKey(); return Next{}; }},
    {Menu::Macro, 3, [] { Loop.KeyDefinitionsOn = true; return Open(Menu::Buffer); }},
    {Menu::Macro, 4, [] { Loop.KeyDefinitionsOn = false; return Open(Menu::Buffer); }},
    {Menu::Macro, 5, [] { KeyDefFileIO(DataFileAction::Read); return Next{}; }},
    {Menu::Macro, 6, [] { KeyDefFileIO(DataFileAction::Write); return Next{}; }},
    {Menu::Block, 2, [] { return Open(Menu::Rect); }},
    {Menu::Block, 3, [] { return Open(Menu::Copy); }},
    {Menu::Block, 8, [] { return Open(Menu::MoreBlocks); }},
    {Menu::Rect, 5, [] { ShowMessage("  Use keyboard! Shifted arrows left-right.", 1); return Next{}; }},
    {Menu::Search, 6, [] { return Open(Menu::ReplaceByFile); }},
    {Menu::Screen, 6, [] { return Open(Menu::Mark); }},
    {Menu::Line, 5, [] { return Open(Menu::Restore); }},
    {Menu::Format, 3, [] { return Open(Menu::Paragraph); }},
    {Menu::Format, 4, [] { ExpandTabs(); return Next{}; }},
    {Menu::Paragraph, 2, [] { FormatParagraph(FormatStyle::Ragged); return Next{}; }},
    {Menu::Paragraph, 3, [] { return SetFormatWidth() ? Reopen(Menu::Paragraph, 3) : Next{}; }},
    {Menu::Mark, 1, [] { return Open(Menu::MarkLine); }},
    {Menu::Mark, 2, [] { return Open(Menu::GoLineMark); }},
    {Menu::Mark, 3, [] { return Open(Menu::MarkPos); }},
    {Menu::Mark, 4, [] { return Open(Menu::GoPos); }},
};

Next Choose(Menu m, int item) {
  for (const MenuAction& a : kActions)
    if (a.Id == m && a.Item == item) return a.Do();
  const MenuItem* which = nullptr;
  if (const CommandRow* row = CommandOfMenuItem(m, item, &which)) {
    row->Run(which->Variant);
    if (which->Reopen) return Reopen(m, item);
  }
  return {};
}

}  // namespace

int MenuItemCount(Menu m) {
  for (const MenuText& t : Menus)
    if (t.Id == m) {
      // " Title|1 item|2 item|": a bar after the title and after every item.
      int bars = 0;
      for (const char* p = t.Items; *p != '\0'; ++p) bars += *p == '|';
      return bars - 1;
    }
  return 0;
}

bool MenuItemHandled(Menu m, int item) {
  for (const MenuAction& a : kActions)
    if (a.Id == m && a.Item == item) return true;
  return CommandOfMenuItem(m, item, nullptr) != nullptr;
}

void MainMenu() {
  Menu current = Menu::Main;
  int highlight = 1;
  const bool koi8 = CurrentBuild().koi8r;
  for (;;) {
    const MenuText& t = TextOf(current);
    const char* items = !koi8 && t.Items866 ? t.Items866 : t.Items;
    const char* direct = !koi8 && t.Direct866 ? t.Direct866 : t.Direct;
    Q.AskSelection = uint8_t(highlight);
    const int answer = t.SecondSet ? Ask(InBuildSet(items), InBuildSet(direct), 0x4F, 0x5F, 0x1C, 0x6E)
                                   : Ask(InBuildSet(items), InBuildSet(direct), 0x3F, 0x2F, 0x5F, 0x0D);
    if (answer == AnswerAbandon) break;
    if (answer == AnswerEsc) {
      if (current == Menu::Main) break;
      highlight = t.ParentItem;
      current = t.Parent;
      continue;
    }
    Next next = Choose(current, answer);
    if (next.What == Next::Editing) break;
    current = next.Target;
    highlight = next.Highlight;
  }
  DrawStatusLine();
  ClearMessageLine();
}
