#include "core/menu.h"

#include "blocks/keydefs.h"
#include "builds/bindings.h"
#include "builds/build.h"
#include "core/commands.h"
#include "core/editor.h"
#include "core/keystrokes.h"
#include "core/mainloop.h"
#include "core/state.h"
#include "edit/typing.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "text/messages.h"
#include "text/questions.h"
#include "text/status.h"

namespace {

enum class Menu {
  Main, File, Text, Service, Macro, Buffer, Continuation, Block, MoreBlocks, Rect, Copy, Search,
  ReplaceByFile, Cursor, Screen, Line, Restore, Delete, Format, Paragraph, Mark, MarkLine, GoLineMark,
  MarkPos, GoPos,
};

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
Next Run(Cmd c) {
  RunCommand(c);
  return {};
}

Next Choose(Menu m, int item) {
  switch (m) {
    case Menu::Main:
      switch (item) {
        case 1: return Open(Menu::File);
        case 2: return Open(Menu::Text);
        case 3: return Open(Menu::Service);
        case 4: RunCommand(Cmd::ColourMarking); return Reopen(Menu::Main, 4);
        case 5: return Run(Cmd::Help);
        case 6:
          KeystrokesScreen();
          if (KeyPressed()) GetKey();  // a key still waiting is dropped
          ClearScreenCells();
          return {};
        case 7: ExitEditor(); return {};
        case 8: ToggleRusLayout(); return {};
      }
      break;
    case Menu::File:
      switch (item) {
        case 1: return Run(Cmd::SaveFile);
        case 2: return Run(Cmd::WriteToAnotherFile);
        case 3: return Run(Cmd::WriteBlock);
        case 4: return Run(Cmd::TakeFile);
        case 5: return Run(Cmd::UndoTakeFile);
        case 6: return Run(Cmd::EditAnotherFile);  // "Ред. др.": edit another file
      }
      break;
    case Menu::Text:
      if (item >= 1 && item <= 7) {
        static const Menu Subs[] = {Menu::Block, Menu::Search, Menu::Cursor, Menu::Screen,
                                    Menu::Line,  Menu::Delete, Menu::Format};
        return Open(Subs[item - 1]);
      }
      if (item == 8) return Run(Cmd::GetBack);
      break;
    case Menu::Service:
      switch (item) {
        case 1: return Open(Menu::Macro);
        case 2: return Open(Menu::Buffer);
        case 3: return Open(Menu::Continuation);
        case 4: return Run(Cmd::SumBlock);
        case 5: return Run(Cmd::Recode);
      }
      break;
    case Menu::Macro:
      switch (item) {
        case 1:
        case 2: RunOrDefineAskedKey(); return {};
        case 3:
        case 4: Loop.KeyDefinitionsOn = item == 3; return Open(Menu::Buffer);
        case 5: KeyDefFileIO(DataFileAction::Read); return {};
        case 6: KeyDefFileIO(DataFileAction::Write); return {};
      }
      break;
    case Menu::Buffer:
      switch (item) {
        case 1: return Run(Cmd::Record);
        case 2: return Run(Cmd::PlayBack);  // its name and key F9: play the buffer back
        case 3: return Run(Cmd::WriteKeyBuffer);
        case 4: return Run(Cmd::ReadKeyBuffer);
      }
      break;
    case Menu::Continuation:
      if (item == 1) return Run(Cmd::Continuation);
      if (item == 2) return Run(Cmd::RereadShorts);
      break;
    case Menu::Block:
      switch (item) {
        case 1: return Run(Cmd::MarkLineBlock);
        case 2: return Open(Menu::Rect);
        case 3: return Open(Menu::Copy);
        case 4: return Run(Cmd::MoveBlock);
        case 5: return Run(Cmd::DeleteBlock);
        case 6: return Run(Cmd::ShiftBlockRight);
        case 7: return Run(Cmd::ShiftBlockLeft);
        case 8: return Open(Menu::MoreBlocks);
        case 9: return Run(Cmd::Unmark);
      }
      break;
    case Menu::MoreBlocks:
      switch (item) {
        case 1: return Run(Cmd::BlockToUpper);
        case 2: return Run(Cmd::BlockToLower);
        case 3: return Run(Cmd::FillBlock);
        case 4: return Run(Cmd::BlockLatinToCyrillic);
        case 5: return Run(Cmd::BlockCyrillicToLatin);
        case 6: return Run(Cmd::WhereIsBlock);
      }
      break;
    case Menu::Rect:
      switch (item) {
        case 1: return Run(Cmd::RectAnyCorner);
        case 2: return Run(Cmd::MarkWord);
        case 3: return Run(Cmd::RectToLineEnd);
        case 4: return Run(Cmd::RectWholeLine);
        case 5: ShowMessage("  Use keyboard! Shifted arrows left-right.", 1); return {};
      }
      break;
    case Menu::Copy:
      switch (item) {
        case 1: return Run(Cmd::CopyBlock);
        case 2: return Run(Cmd::CopyBlockKeep);
        case 3: return Run(Cmd::ClipboardCopy);  // the keys the item names
        case 4: return Run(Cmd::ClipboardPaste);
      }
      break;
    case Menu::Search:
      switch (item) {
        case 1: return Run(Cmd::SearchForward);
        case 2: return Run(Cmd::SearchMatchCase);
        case 3: return Run(Cmd::SearchAgain);
        case 4: return Run(Cmd::SearchUp);
        case 5: return Run(Cmd::Replace);
        case 6: return Open(Menu::ReplaceByFile);
      }
      break;
    case Menu::ReplaceByFile:
      if (item == 1) return Run(Cmd::ReplaceFromFile);
      if (item == 2) {
        Kbd.KeyEvent = (CodeOf(CurrentBuild(), Cmd::ReplaceFromFile) & 0xFF00FFFFu) | 0x00030000u;
        RunCommand(Cmd::ReplaceFromFile, true);
        return {};
      }
      break;
    case Menu::Cursor:
      switch (item) {
        case 1: return Run(Cmd::WordLeft);
        case 2: return Run(Cmd::WordRight);
        case 3: CmdTopOrBottomOfScreen(); return {};
        case 4: CmdTopOrBottomOfScreen(); return {};
        case 5: return Run(Cmd::Up4);
        case 6: return Run(Cmd::Down4);
        case 7: return Run(Cmd::MakeTop);
      }
      break;
    case Menu::Screen:
      switch (item) {
        case 1: return Run(Cmd::TopOfFile);
        case 2: return Run(Cmd::BottomOfFile);
        case 3: return Run(Cmd::GoToLine);
        case 4: return Run(Cmd::ScrollUp);
        case 5: return Run(Cmd::ScrollDown);
        case 6: return Open(Menu::Mark);
      }
      break;
    case Menu::Line:
      switch (item) {
        case 1: return Run(Cmd::InsertEmptyLine);
        case 2: return Run(Cmd::DuplicateLine);
        case 3: return Run(Cmd::SplitLine);
        case 4: return Run(Cmd::JoinLines);
        case 5: return Open(Menu::Restore);
      }
      break;
    case Menu::Restore:
      switch (item) {
        case 1: return Run(Cmd::RestoreAsOnEntry);
        case 2: return Run(Cmd::RestoreNextLine);
        case 3: return Run(Cmd::UndoLastChange);
      }
      break;
    case Menu::Delete:
      switch (item) {
        case 1: return Run(Cmd::DeleteLine);
        case 2: return Run(Cmd::DeleteWord);
        case 3: return Run(Cmd::DeleteWordLeft);
        case 4: return Run(Cmd::ClearToLineEnd);
        case 5: return Run(Cmd::DeleteBlock);
      }
      break;
    case Menu::Format:
      switch (item) {
        case 1: return Run(Cmd::IndentToCursor);
        case 2: return Run(Cmd::ToggleLengthLimit);
        case 3: return Open(Menu::Paragraph);
        case 4: ExpandTabs(); return {};
      }
      break;
    case Menu::Paragraph:
      switch (item) {
        case 1: FormatParagraph(FormatStyle::Justified); return {};
        case 2: FormatParagraph(FormatStyle::Ragged); return {};
        case 3:
          if (SetFormatWidth()) return Reopen(Menu::Paragraph, 3);
          return {};
      }
      break;
    case Menu::Mark:
      switch (item) {
        case 1: return Open(Menu::MarkLine);
        case 2: return Open(Menu::GoLineMark);
        case 3: return Open(Menu::MarkPos);
        case 4: return Open(Menu::GoPos);
        case 5: return Run(Cmd::MarkColumn);
        case 6: return Run(Cmd::GoToColumnMark);
        case 7: return Run(Cmd::ToggleLineMark);
      }
      break;
    case Menu::MarkLine:
      CmdMarkLine(item);
      return {};
    case Menu::GoLineMark:
      CmdGoToLineMark(item);
      return {};
    case Menu::MarkPos:
      CmdMarkPosition(item);
      return {};
    case Menu::GoPos:
      CmdGoToPosition(item);
      return {};
  }
  return {};
}

}  // namespace

void MainMenu() {
  Menu current = Menu::Main;
  int highlight = 1;
  const bool koi8 = CurrentBuild().koi8r;
  for (;;) {
    const MenuText& t = TextOf(current);
    const char* items = !koi8 && t.Items866 ? t.Items866 : t.Items;
    const char* direct = !koi8 && t.Direct866 ? t.Direct866 : t.Direct;
    Q.AskSelection = uint8_t(highlight);
    if (t.SecondSet) Ask(InBuildSet(items), InBuildSet(direct), 0x4F, 0x5F, 0x1C, 0x6E);
    else Ask(InBuildSet(items), InBuildSet(direct), 0x3F, 0x2F, 0x5F, 0x0D);
    const int answer = Q.Answer;
    if (answer == 80) break;
    if (answer == 0) {
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
