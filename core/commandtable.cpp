#include "core/commandtable.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "blocks/blocks.h"
#include "blocks/clipboard.h"
#include "blocks/colours.h"
#include "blocks/f12marks.h"
#include "blocks/insertfile.h"
#include "blocks/keybuffer.h"
#include "blocks/keydefs.h"
#include "text/marks.h"
#include "blocks/shorts.h"
#include "blocks/transforms.h"
#include "builds/build.h"
#include "core/commands.h"
#include "core/editor.h"
#include "base/limits.h"
#include "base/state.h"
#include "edit/lines.h"
#include "edit/search.h"
#include "edit/typing.h"
#include "edit/words.h"
#include "screen/keys.h"
#include "text/codepage.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/savefile.h"

namespace {

// The vertical box-drawing lines, typed downwards.
bool VerticalLine(uint8_t ch) {
  return CurrentBuild().koi8r ? (ch == 0x81 || ch == 0xA1) : (ch == 0xB3 || ch == 0xBA);
}

void Type(uint8_t ch) {
  TypeChar(ch);
  if (VerticalLine(ch)) {
    if (Ed.CurCol > 1) --Ed.CurCol;
    if (Ed.CurLine < Txt.LineCount) {
      ++Ed.CurLine;
      Txt.LineSaved = false;
    }
  }
}

// Keys of the keyword table: a keyword in Pascal source mode; in plain text
// a control character, or a command.
void PascalKey(Cmd c) {
  struct Row {
    Cmd Command;
    const char* Keyword;
    bool Back3;
    int Plain;  // the character typed in plain text; -1: see below
  };
  static const Row Rows[] = {
      {Cmd::PasAssign, " := ", false, ' '},       {Cmd::PasAbsolute, "Absolute ", false, -1},
      {Cmd::PasBegin, "Begin ", false, 0x02},     {Cmd::PasEnd, "End; ", false, -2},
      {Cmd::PasElse, "else ", false, 0x05},       {Cmd::PasString, "String", false, -3},
      {Cmd::PasWriteln, "Writeln(); ", true, 0x17}, {Cmd::PasDebug, "debug(); ", true, 0x04},
      {Cmd::PasInteger, "Integer", false, 0x09},  {Cmd::PasRepeat, "Repeat ", false, 0x10},
      {Cmd::PasUntil, "Until ", false, 0x15},     {Cmd::PasProcedure, "Procedure ", false, 0x0A},
      {Cmd::PasWhile, "While ", false, 0x08},     {Cmd::PasGoto, "Goto ", false, 0x07},
      {Cmd::PasCommentEnd, " *) ", false, 0x1D},  {Cmd::PasCommentStart, "(* ", false, 0x1B},
      {Cmd::PasReadln, "Readln(); ", true, -4},   {Cmd::PasAssignFile, "Assign(); ", true, 0x13},
      {Cmd::PasThen, "then ", false, -5},         {Cmd::PasFunction, "Function ", false, -6},
      {Cmd::PasBackslash, "\\", false, '\\'},
  };
  for (const Row& r : Rows) {
    if (r.Command != c) continue;
    if (Ed.Source == SourceMode::Pascal) {
      TypeString(r.Keyword);
      if (r.Back3) Ed.CurCol = std::max(1, Ed.CurCol - 3);
      return;
    }
    switch (r.Plain) {
      case -1: MarkAll(); return;
      case -2: TypeString("and "); return;
      case -3: return;
      case -4: {
        int v = TrimmedLength(LineBytes(Ed.CurLine));
        if (Txt.LineWidth <= 132 && v < Txt.LineWidth + 1) CmdAlignRight();
        else Type(0x12);
        return;
      }
      case -5: TypeString("the "); return;
      case -6: FormatParagraph(FormatStyle::Ragged); return;
      default: Type(uint8_t(r.Plain)); return;
    }
  }
}

// The end of the word at the cursor, or of the one before it.
void WordEnd(bool previous) {
  std::string line = LineString(Ed.CurLine);
  int p = Ed.CurCol;
  if (previous) p = WordStartLeft(line, WordStartLeft(line, p));
  p = WordEndRight(line, p, WordEnd::End);
  if (p >= 1 && size_t(p) <= line.size() && line[size_t(p - 1)] != ' ' && IsDelimiter(uint8_t(line[size_t(p - 1)])))
    ++p;
  Ed.CurCol = std::clamp(p, 1, MaxLineBytes);
}

// The line's first non-blank to column col, in insert mode whatever the mode.
void IndentTo(int col) {
  bool insert = Ed.InsertMode;
  Ed.InsertMode = true;
  SetIndentation(col);
  Ed.InsertMode = insert;
}

constexpr CommandRow Row(Cmd c, CommandFn f, MenuItem a = {}, MenuItem b = {}) { return {c, f, {a, b}}; }

// In the order of builds/commands.def (checked below).
constexpr CommandRow kRows[] = {
    Row(Cmd::SaveFile, [](int) { SaveFile(); Ed.ExitStatus = 0; }, {Menu::File, 1}),
    Row(Cmd::InsertEmptyLine, [](int) { InsertEmptyLine(); }, {Menu::Line, 1}),
    Row(Cmd::GoToLine, [](int) { CmdGoToLine(); }, {Menu::Screen, 3}),
    Row(Cmd::MakeTop, [](int) { CmdMakeTop(); }, {Menu::Cursor, 7}),
    Row(Cmd::Replace, [](int) { Replace(); }, {Menu::Search, 5}),
    Row(Cmd::SearchForward, [](int) { SearchForward(); }, {Menu::Search, 1}),
    Row(Cmd::DuplicateLine, [](int) { DuplicateLine(); }, {Menu::Line, 2}),
    Row(Cmd::PlayBack, [](int) { StartPlayback(); }, {Menu::Buffer, 2}),
    Row(Cmd::MainMenu, [](int) { MainMenu(); }),
    Row(Cmd::Recode, [](int) { RecodeCommand(); }, {Menu::Service, 5}),
    Row(Cmd::NextMarkedLine, [](int) { NextMarkedLine(); }),
    Row(Cmd::Home, [](int) { CmdHome(); }),
    Row(Cmd::CursorUp, [](int) { CmdUp(false); }),
    Row(Cmd::PageUp, [](int) { PageUp(); }),
    Row(Cmd::CursorLeft, [](int) { CursorLeft(false); }),
    Row(Cmd::CursorRight, [](int) { CursorRight(false); }),
    Row(Cmd::End, [](int) { CmdEnd(); }),
    Row(Cmd::CursorDown, [](int) { CmdDown(false); }),
    Row(Cmd::PageDown, [](int) { PageDown(); }),
    Row(Cmd::ToggleInsert, [](int) { CmdToggleInsert(); }),
    Row(Cmd::DeleteChar, [](int) { CmdDelete(); }),
    Row(Cmd::WriteKeyBuffer, [](int) { KeyBufferFile(DataFileAction::Write); }, {Menu::Buffer, 3}),
    Row(Cmd::RereadShorts, [](int) { RereadShorts(); }, {Menu::Continuation, 2}),
    Row(Cmd::BackTab, [](int) { CmdBackTab(); }),
    Row(Cmd::Escape, [](int) { CmdEscape(); }),
    Row(Cmd::Backspace, [](int) { CmdBackspace(); }),
    Row(Cmd::Tab, [](int) { CmdTab(); }),
    Row(Cmd::Enter, [](int) { Typing.LiteralMode ? TypeLiteral(Typing.LiteralCode) : CmdEnter(); }),
    // An abbreviation before the cursor takes the Space; otherwise the blank
    // is typed (in literal mode it only ends the mode).
    Row(Cmd::Space, [](int) { if (!ExpandAbbreviation()) TypeKey(); }),
    Row(Cmd::Literal, [](int) {
      Typing.LiteralMode = true;
      Typing.LiteralCode = 0;
      ShowMessage("Press a letter, or F#, or enter a number, then Enter.", 0);
    }),
    Row(Cmd::DeleteLine, [](int) { CmdDeleteLine(); }, {Menu::Delete, 1}),
    Row(Cmd::ClearToLineEnd, [](int) { ClearToLineEnd(); }, {Menu::Delete, 4}),
    Row(Cmd::DeleteWordLeft, [](int) { DeleteWordLeft(false); }, {Menu::Delete, 3}),
    Row(Cmd::DeleteWord, [](int) { DeleteWord(); }, {Menu::Delete, 2}),
    Row(Cmd::JoinLines, [](int) { JoinLines(); }, {Menu::Line, 4}),
    Row(Cmd::SplitLine, [](int) { SplitLine(); }, {Menu::Line, 3}),
    Row(Cmd::RestoreAsOnEntry, [](int) { CmdRestoreAsOnEntry(); }, {Menu::Restore, 1}),
    Row(Cmd::RestoreNextLine, [](int) { CmdRestoreNextLine(); }, {Menu::Restore, 2}),
    Row(Cmd::UndoLastChange, [](int) { CmdUndoLastChange(); }, {Menu::Restore, 3}),
    Row(Cmd::WordLeft, [](int) { Ed.CurCol = std::max(1, WordStartLeft(LineBytes(Ed.CurLine), Ed.CurCol)); },
        {Menu::Cursor, 1}),
    Row(Cmd::WordRight, [](int) { Ed.CurCol = std::clamp(WordEndRight(LineBytes(Ed.CurLine), Ed.CurCol, WordEnd::NextStart), 1, MaxLineBytes); },
        {Menu::Cursor, 2}),
    Row(Cmd::WordLeftShift, [](int) { MarkWordLeft(); }),
    Row(Cmd::WordRightShift, [](int) { MarkWordRight(); }),
    Row(Cmd::WordToPrevEnd, [](int) { WordEnd(true); }),
    Row(Cmd::WordToEnd, [](int) { WordEnd(false); }),
    Row(Cmd::Up4, [](int) { CmdLinesUp(4, false); }, {Menu::Cursor, 5}),
    Row(Cmd::Down4, [](int) { CmdLinesDown(4, false); }, {Menu::Cursor, 6}),
    Row(Cmd::Up4Shift, [](int) { CmdLinesUp(4, true); }),
    Row(Cmd::Down4Shift, [](int) { CmdLinesDown(4, true); }),
    Row(Cmd::Up8, [](int) { CmdLinesUp(8, false); }),
    Row(Cmd::Down8, [](int) { CmdLinesDown(8, false); }),
    Row(Cmd::Up8Shift, [](int) { CmdLinesUp(8, true); }),
    Row(Cmd::Down8Shift, [](int) { CmdLinesDown(8, true); }),
    Row(Cmd::LineUpShift, [](int) { CmdUp(true); }),
    Row(Cmd::LineDownShift, [](int) { CmdDown(true); }),
    Row(Cmd::ColumnLeftShift, [](int) { CursorLeft(true); }),
    Row(Cmd::ColumnRightShift, [](int) { CursorRight(true); }),
    Row(Cmd::TopOrBottomOfScreen, [](int) { CmdTopOrBottomOfScreen(); }, {Menu::Cursor, 3}, {Menu::Cursor, 4}),
    Row(Cmd::TopOfFile, [](int) { CmdTopOfFile(); }, {Menu::Screen, 1}),
    Row(Cmd::BottomOfFile, [](int) { CmdBottomOfFile(); }, {Menu::Screen, 2}),
    Row(Cmd::ScrollUp, [](int) { CmdScrollUp(); }, {Menu::Screen, 4}),
    Row(Cmd::ScrollDown, [](int) { CmdScrollDown(); }, {Menu::Screen, 5}),
    Row(Cmd::MarkLine1, [](int) { CmdMarkLine(1); }, {Menu::MarkLine, 1}),
    Row(Cmd::MarkLine2, [](int) { CmdMarkLine(2); }, {Menu::MarkLine, 2}),
    Row(Cmd::MarkLine3, [](int) { CmdMarkLine(3); }, {Menu::MarkLine, 3}),
    Row(Cmd::GoToLineMark1, [](int) { CmdGoToLineMark(1); }, {Menu::GoLineMark, 1}),
    Row(Cmd::GoToLineMark2, [](int) { CmdGoToLineMark(2); }, {Menu::GoLineMark, 2}),
    Row(Cmd::GoToLineMark3, [](int) { CmdGoToLineMark(3); }, {Menu::GoLineMark, 3}),
    Row(Cmd::MarkPosition1, [](int) { CmdMarkPosition(1); }, {Menu::MarkPos, 1}),
    Row(Cmd::MarkPosition2, [](int) { CmdMarkPosition(2); }, {Menu::MarkPos, 2}),
    Row(Cmd::GoToPosition1, [](int) { CmdGoToPosition(1); }, {Menu::GoPos, 1}),
    Row(Cmd::GoToPosition2, [](int) { CmdGoToPosition(2); }, {Menu::GoPos, 2}),
    Row(Cmd::MarkColumn, [](int) { CmdMarkColumn(); }, {Menu::Mark, 5}),
    Row(Cmd::GoToColumnMark, [](int) { CmdGoToColumnMark(); }, {Menu::Mark, 6}),
    Row(Cmd::GetBack, [](int) { CmdGetBack(); }, {Menu::Text, 8}),
    Row(Cmd::ToggleLineMark, [](int) { ToggleLineMark(); }, {Menu::Mark, 7}),
    Row(Cmd::SearchUp, [](int) { SearchUp(); }, {Menu::Search, 4}),
    Row(Cmd::SearchMatchCase, [](int) { SearchMatchCase(); }, {Menu::Search, 2}),
    Row(Cmd::SearchMatchCaseUp, [](int) { SearchMatchCaseUp(); }),
    Row(Cmd::SearchAgain, [](int) { SearchAgain(); }, {Menu::Search, 3}),
    Row(Cmd::NextEmptyLine, [](int) { NextEmptyLine(); }),
    // Variant 1: the second line of each pair into the first.
    Row(Cmd::ReplaceFromFile, [](int v) { ReplaceFromFile(v == 1); }, {Menu::ReplaceByFile, 1},
        {Menu::ReplaceByFile, 2, 1}),
    Row(Cmd::WriteToAnotherFile, [](int) { WriteToDirectory(SaveMode::Plain); }, {Menu::File, 2}),
    // Without a line block: colour marking.
    Row(Cmd::WriteBlock, [](int) { if (!WriteBlock(true)) ColourMark(); }, {Menu::File, 3}),
    Row(Cmd::TakeFile, [](int) { TakeFile(); }, {Menu::File, 4}),
    Row(Cmd::UndoTakeFile, [](int) { CmdUndoTakeFile(); }, {Menu::File, 5}),
    Row(Cmd::EditAnotherFile, [](int) { CmdEditAnotherFile(); }, {Menu::File, 6}),
    Row(Cmd::Help, [](int) { Typing.LiteralMode ? TypeLiteral(0x01) : CmdHelp(); }, {Menu::Main, 5}),
    Row(Cmd::ShowKeyBytes, [](int) { CmdShowKeyBytes(); }),
    Row(Cmd::QuitAtOnce, [](int) { CmdQuitAtOnce(); }),
    Row(Cmd::MarkLineBlock, [](int) { ExtendLineBlock(); }, {Menu::Block, 1}),
    Row(Cmd::DeleteBlock, [](int) { DeleteBlock(); }, {Menu::Block, 5}, {Menu::Delete, 5}),
    Row(Cmd::RectAnyCorner, [](int) { ExtendRectBlock(Ed.CurCol); }, {Menu::Rect, 1}),
    // Variant 2, the third key, leaves the word's last character out.
    Row(Cmd::MarkWord, [](int v) { MarkWord(v == 2); }, {Menu::Rect, 2}),
    Row(Cmd::RectToLineEnd, [](int) { MarkToLineEnd(); }, {Menu::Rect, 3}),
    Row(Cmd::RectWholeLine, [](int) { MarkWholeLine(); }, {Menu::Rect, 4}),
    Row(Cmd::CopyBlock, [](int) { CopyBlock(false); }, {Menu::Copy, 1}),
    Row(Cmd::CopyBlockKeep, [](int) { CopyBlock(true); }, {Menu::Copy, 2}),
    Row(Cmd::MoveBlock, [](int) { MoveBlock(); }, {Menu::Block, 4}),
    Row(Cmd::ClipboardCut, [](int) { BlockToClipboard(true); }),
    Row(Cmd::ClipboardCopy, [](int) { BlockToClipboard(false); }, {Menu::Copy, 3}),
    Row(Cmd::ClipboardPaste, [](int) { PasteClipboard(); }, {Menu::Copy, 4}),
    Row(Cmd::ShiftBlockRight, [](int) { ShiftBlock(true); }, {Menu::Block, 6}),
    Row(Cmd::ShiftBlockLeft, [](int) { ShiftBlock(false); }, {Menu::Block, 7}),
    Row(Cmd::Unmark, [](int) { UnmarkBlock(); }, {Menu::Block, 9}),
    Row(Cmd::WhereIsBlock, [](int) { WhereIsBlock(); }, {Menu::MoreBlocks, 6}),
    Row(Cmd::FillBlock, [](int) { FillBlock(); }, {Menu::MoreBlocks, 3}),
    Row(Cmd::BlockToUpper, [](int) { ConvertBlock(Conversion::ToUpper); }, {Menu::MoreBlocks, 1}),
    Row(Cmd::BlockToLower, [](int) { ConvertBlock(Conversion::ToLower); }, {Menu::MoreBlocks, 2}),
    Row(Cmd::BlockLatinToCyrillic, [](int) { ConvertBlock(Conversion::LatinToCyrillic); }, {Menu::MoreBlocks, 4}),
    Row(Cmd::BlockCyrillicToLatin, [](int) { ConvertBlock(Conversion::CyrillicToLatin); }, {Menu::MoreBlocks, 5}),
    Row(Cmd::WordFirstToUpper, [](int) { FirstLetterCase(true); }),
    Row(Cmd::WordFirstToLower, [](int) { FirstLetterCase(false); }),
    Row(Cmd::CharToUpper, [](int) { CmdCharCase(true); }),
    Row(Cmd::CharToLower, [](int) { CmdCharCase(false); }),
    Row(Cmd::SumBlock, [](int) { SumOverBlock(); }, {Menu::Service, 4}),
    Row(Cmd::IndentToCursor, [](int) { IndentTo(Ed.CurCol); }, {Menu::Format, 1}),
    Row(Cmd::IndentToColumn, [](int) { IndentTo(Ed.IndentColumn); }),
    Row(Cmd::ToggleLengthLimit, [](int) { ToggleLineLimit(); }, {Menu::Format, 2}),
    Row(Cmd::FormatJustified, [](int) { FormatParagraph(FormatStyle::Justified); }, {Menu::Paragraph, 1}),
    Row(Cmd::Continuation, [](int) { ContinueWord(); }, {Menu::Continuation, 1}),
    Row(Cmd::ReadKeyBuffer, [](int) { KeyBufferFile(DataFileAction::Read); }, {Menu::Buffer, 4}),
    Row(Cmd::Record, [](int) { StartOrStopRecording(); }, {Menu::Buffer, 1}),
    Row(Cmd::ColourMarking, [](int) { ColourMark(); }, {Menu::Main, 4, 0, true}),
    Row(Cmd::SwitchRusLayout, [](int) { ToggleRusLayout(); }, {Menu::Main, 8}),
    Row(Cmd::PasAssign, [](int) { PascalKey(Cmd::PasAssign); }),
    Row(Cmd::PasAbsolute, [](int) { PascalKey(Cmd::PasAbsolute); }),
    Row(Cmd::PasBegin, [](int) { PascalKey(Cmd::PasBegin); }),
    Row(Cmd::PasEnd, [](int) { PascalKey(Cmd::PasEnd); }),
    Row(Cmd::PasElse, [](int) { PascalKey(Cmd::PasElse); }),
    Row(Cmd::PasString, [](int) { PascalKey(Cmd::PasString); }),
    Row(Cmd::PasWriteln, [](int) { PascalKey(Cmd::PasWriteln); }),
    Row(Cmd::PasDebug, [](int) { PascalKey(Cmd::PasDebug); }),
    Row(Cmd::PasInteger, [](int) { PascalKey(Cmd::PasInteger); }),
    Row(Cmd::PasRepeat, [](int) { PascalKey(Cmd::PasRepeat); }),
    Row(Cmd::PasUntil, [](int) { PascalKey(Cmd::PasUntil); }),
    Row(Cmd::PasProcedure, [](int) { PascalKey(Cmd::PasProcedure); }),
    Row(Cmd::PasWhile, [](int) { PascalKey(Cmd::PasWhile); }),
    Row(Cmd::PasGoto, [](int) { PascalKey(Cmd::PasGoto); }),
    Row(Cmd::PasCommentEnd, [](int) { PascalKey(Cmd::PasCommentEnd); }),
    Row(Cmd::PasCommentStart, [](int) { PascalKey(Cmd::PasCommentStart); }),
    Row(Cmd::PasReadln, [](int) { PascalKey(Cmd::PasReadln); }),
    Row(Cmd::PasAssignFile, [](int) { PascalKey(Cmd::PasAssignFile); }),
    Row(Cmd::PasThen, [](int) { PascalKey(Cmd::PasThen); }),
    Row(Cmd::PasFunction, [](int) { PascalKey(Cmd::PasFunction); }),
    Row(Cmd::PasBackslash, [](int) { PascalKey(Cmd::PasBackslash); }),
};

// Every command has its row, in order, with something to run.
constexpr bool EveryCommandHasItsRow() {
  if (std::size(kRows) != kCmdCount) return false;
  for (size_t i = 0; i < kCmdCount; ++i)
    if (kRows[i].Command != Cmd(i) || kRows[i].Run == nullptr) return false;
  return true;
}
static_assert(EveryCommandHasItsRow(), "kRows must hold one row per command, in the order of builds/commands.def");

// A menu item runs one command.
constexpr bool MenuItemsDistinct() {
  constexpr size_t n = std::size(kRows) * 2;
  for (size_t i = 0; i < n; ++i) {
    const MenuItem& a = kRows[i / 2].Items[i % 2];
    if (a.Item == 0) continue;
    for (size_t j = i + 1; j < n; ++j) {
      const MenuItem& b = kRows[j / 2].Items[j % 2];
      if (b.Item == a.Item && b.Id == a.Id) return false;
    }
  }
  return true;
}
static_assert(MenuItemsDistinct(), "a menu item named by two commands");

}  // namespace

const CommandRow& CommandRowOf(Cmd c) { return kRows[std::min(size_t(c), kCmdCount - 1)]; }

void RunCommand(Cmd c, int variant) { CommandRowOf(c).Run(variant); }

const CommandRow* CommandOfMenuItem(Menu m, int item, const MenuItem** which) {
  for (const CommandRow& r : kRows)
    for (const MenuItem& i : r.Items)
      if (i.Item != 0 && i.Id == m && i.Item == item) {
        if (which) *which = &i;
        return &r;
      }
  return nullptr;
}

void TypeKey() {
  const uint8_t ch = KeyChar();
  if (Typing.LiteralMode) {
    if (ch >= '0' && ch <= '9') {
      Typing.LiteralCode = uint8_t(Typing.LiteralCode * 10 + (ch - '0'));
      return;
    }
    Typing.LiteralMode = false;
    ClearMessageLine();
    if (ch >= 1 && ch <= 12) Type(ch);
    else if (ch >= 0x41 && ch <= 0x5F) Type(uint8_t(ch - 0x40));
    else if (ch >= 0x61 && ch <= 0x7E) Type(uint8_t(ch - 0x60));
    return;
  }
  Shorts.PendingContinuation = 0;
  Type(ch);
}

void TypeLiteral(uint8_t ch) {
  Typing.LiteralMode = false;
  ClearMessageLine();
  Type(ch);
}
