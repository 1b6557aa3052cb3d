#include "builds/bindings.h"

#include <algorithm>
#include <array>
#include <utility>

#include "builds/bindings_table.h"

namespace {

struct Named {
  Cmd Command;
  const char* Name;
};

constexpr Named kNames[] = {
    {Cmd::SaveFile, "save file"},
    {Cmd::InsertEmptyLine, "insert empty line"},
    {Cmd::GoToLine, "go to line number"},
    {Cmd::MakeTop, "make top"},
    {Cmd::Replace, "replace"},
    {Cmd::SearchForward, "search ignoring case"},
    {Cmd::DuplicateLine, "duplicate line"},
    {Cmd::PlayBack, "play back keystrokes"},
    {Cmd::MainMenu, "main menu"},
    {Cmd::Recode, "recode"},
    {Cmd::NextMarkedLine, "next F12-marked line"},
    {Cmd::Home, "home"},
    {Cmd::CursorUp, "up"},
    {Cmd::PageUp, "page up"},
    {Cmd::CursorLeft, "left"},
    {Cmd::CursorRight, "right"},
    {Cmd::End, "end"},
    {Cmd::CursorDown, "down"},
    {Cmd::PageDown, "page down"},
    {Cmd::ToggleInsert, "toggle insert mode"},
    {Cmd::DeleteChar, "delete character or block"},
    {Cmd::WriteKeyBuffer, "write keystroke buffer file"},
    {Cmd::RereadShorts, "reread shorts.vsk"},
    {Cmd::BackTab, "previous tab stop"},
    {Cmd::Escape, "cancel, unmark or exit"},
    {Cmd::Backspace, "delete left"},
    {Cmd::Tab, "next tab stop"},
    {Cmd::Enter, "next line"},
    {Cmd::Space, "abbreviation or blank"},
    {Cmd::Literal, "literal character"},
    {Cmd::DeleteLine, "delete line"},
    {Cmd::ClearToLineEnd, "delete to end of line"},
    {Cmd::DeleteWordLeft, "delete word left"},
    {Cmd::DeleteWord, "delete word"},
    {Cmd::JoinLines, "join lines"},
    {Cmd::SplitLine, "split line"},
    {Cmd::RestoreAsOnEntry, "restore line as on entry"},
    {Cmd::RestoreNextLine, "restore next saved line"},
    {Cmd::UndoLastChange, "undo last change"},
    {Cmd::WordLeft, "word left"},
    {Cmd::WordRight, "word right"},
    {Cmd::WordLeftShift, "word left, extending block"},
    {Cmd::WordRightShift, "word right, extending block"},
    {Cmd::WordToPrevEnd, "end of previous word"},
    {Cmd::WordToEnd, "end of word"},
    {Cmd::Up4, "4 lines up"},
    {Cmd::Down4, "4 lines down"},
    {Cmd::Up4Shift, "4 lines up, extending block"},
    {Cmd::Down4Shift, "4 lines down, extending block"},
    {Cmd::Up8, "8 lines up"},
    {Cmd::Down8, "8 lines down"},
    {Cmd::Up8Shift, "8 lines up, extending block"},
    {Cmd::Down8Shift, "8 lines down, extending block"},
    {Cmd::LineUpShift, "up, extending block"},
    {Cmd::LineDownShift, "down, extending block"},
    {Cmd::ColumnLeftShift, "left, extending block"},
    {Cmd::ColumnRightShift, "right, extending block"},
    {Cmd::TopOrBottomOfScreen, "top or bottom of screen"},
    {Cmd::TopOfFile, "top of file"},
    {Cmd::BottomOfFile, "bottom of file"},
    {Cmd::ScrollUp, "scroll up one line"},
    {Cmd::ScrollDown, "scroll down one line"},
    {Cmd::MarkLine1, "mark line 1"},
    {Cmd::MarkLine2, "mark line 2"},
    {Cmd::MarkLine3, "mark line 3"},
    {Cmd::GoToLineMark1, "go to line mark 1"},
    {Cmd::GoToLineMark2, "go to line mark 2"},
    {Cmd::GoToLineMark3, "go to line mark 3"},
    {Cmd::MarkPosition1, "mark position 1"},
    {Cmd::MarkPosition2, "mark position 2"},
    {Cmd::GoToPosition1, "go to position 1"},
    {Cmd::GoToPosition2, "go to position 2"},
    {Cmd::MarkColumn, "mark column"},
    {Cmd::GoToColumnMark, "go to column mark"},
    {Cmd::GetBack, "get back"},
    {Cmd::ToggleLineMark, "toggle F12 mark of line"},
    {Cmd::SearchUp, "search upwards"},
    {Cmd::SearchMatchCase, "search matching case"},
    {Cmd::SearchMatchCaseUp, "search matching case upwards"},
    {Cmd::SearchAgain, "search again"},
    {Cmd::NextEmptyLine, "next empty line"},
    {Cmd::ReplaceFromFile, "replace from file"},
    {Cmd::WriteToAnotherFile, "write to another file"},
    {Cmd::WriteBlock, "write block to file"},
    {Cmd::TakeFile, "take file"},
    {Cmd::UndoTakeFile, "undo take file"},
    {Cmd::EditAnotherFile, "edit another file"},
    {Cmd::Help, "help"},
    {Cmd::ShowKeyBytes, "show key bytes"},
    {Cmd::QuitAtOnce, "quit at once"},
    {Cmd::MarkLineBlock, "mark line block"},
    {Cmd::DeleteBlock, "delete block"},
    {Cmd::RectAnyCorner, "rectangle, any corner"},
    {Cmd::MarkWord, "rectangle, word"},
    {Cmd::RectToLineEnd, "rectangle to end of line"},
    {Cmd::RectWholeLine, "rectangle, whole line"},
    {Cmd::CopyBlock, "copy block, unmarking"},
    {Cmd::CopyBlockKeep, "copy block, keeping marking"},
    {Cmd::MoveBlock, "move block"},
    {Cmd::ClipboardCut, "cut to clipboard"},
    {Cmd::ClipboardCopy, "copy to clipboard"},
    {Cmd::ClipboardPaste, "paste clipboard"},
    {Cmd::ShiftBlockRight, "shift line block right"},
    {Cmd::ShiftBlockLeft, "shift line block left"},
    {Cmd::Unmark, "unmark block"},
    {Cmd::WhereIsBlock, "where is the block"},
    {Cmd::FillBlock, "fill block"},
    {Cmd::BlockToUpper, "block to upper case"},
    {Cmd::BlockToLower, "block to lower case"},
    {Cmd::BlockLatinToCyrillic, "block Latin keys to Cyrillic"},
    {Cmd::BlockCyrillicToLatin, "block Cyrillic to Latin keys"},
    {Cmd::WordFirstToUpper, "first letter of word to upper case"},
    {Cmd::WordFirstToLower, "first letter of word to lower case"},
    {Cmd::CharToUpper, "character to upper case"},
    {Cmd::CharToLower, "character to lower case"},
    {Cmd::SumBlock, "sum over block"},
    {Cmd::IndentToCursor, "line start to cursor"},
    {Cmd::IndentToColumn, "line start to indent column"},
    {Cmd::ToggleLengthLimit, "toggle length limit"},
    {Cmd::FormatJustified, "format paragraph, justified"},
    {Cmd::Continuation, "continue word"},
    {Cmd::ReadKeyBuffer, "read keystroke buffer file"},
    {Cmd::Record, "start or stop recording"},
    {Cmd::ColourMarking, "colour marking"},
    {Cmd::SwitchRusLayout, "switch Russian layout"},
    {Cmd::PasAssign, "Pascal \" := \""},
    {Cmd::PasAbsolute, "Pascal \"Absolute\" / mark whole text"},
    {Cmd::PasBegin, "Pascal \"Begin\""},
    {Cmd::PasEnd, "Pascal \"End;\" / \"and\""},
    {Cmd::PasElse, "Pascal \"else\""},
    {Cmd::PasString, "Pascal \"String\""},
    {Cmd::PasWriteln, "Pascal \"Writeln();\""},
    {Cmd::PasDebug, "Pascal \"debug();\""},
    {Cmd::PasInteger, "Pascal \"Integer\""},
    {Cmd::PasRepeat, "Pascal \"Repeat\""},
    {Cmd::PasUntil, "Pascal \"Until\""},
    {Cmd::PasProcedure, "Pascal \"Procedure\""},
    {Cmd::PasWhile, "Pascal \"While\""},
    {Cmd::PasGoto, "Pascal \"Goto\""},
    {Cmd::PasCommentEnd, "Pascal \" *) \""},
    {Cmd::PasCommentStart, "Pascal \"(* \""},
    {Cmd::PasReadln, "Pascal \"Readln();\" / align right"},
    {Cmd::PasAssignFile, "Pascal \"Assign();\""},
    {Cmd::PasThen, "Pascal \"then\" / \"the\""},
    {Cmd::PasFunction, "Pascal \"Function\" / format paragraph, ragged"},
    {Cmd::PasBackslash, "backslash"},
};

constexpr bool NamesInOrder() {
  if (std::size(kNames) != kCmdCount) return false;
  for (size_t i = 0; i < kCmdCount; ++i)
    if (kNames[i].Command != Cmd(i)) return false;
  return true;
}
static_assert(NamesInOrder(), "kNames must list every command in enum order");

}  // namespace

const char* CommandName(Cmd c) {
  size_t i = size_t(c);
  return i < std::size(kNames) ? kNames[i].Name : "?";
}

const Binding* FindBinding(const BuildConfig& b, uint32_t code) {
  auto it = std::lower_bound(b.Bindings.begin(), b.Bindings.end(), code,
                             [](const Binding& x, uint32_t c) { return x.Code < c; });
  if (it == b.Bindings.end() || it->Code != code) return nullptr;
  return &*it;
}

uint32_t CodeOf(const BuildConfig& b, Cmd c, int slot) {
  if (slot < 0) return 0;
  return bindtab::CodeIn(bindtab::ColumnOf(b.koi8r, b.rusKBD), c, slot);
}
