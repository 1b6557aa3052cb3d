// Which physical keys deliver codes other than their family code (see
// builds/keymap.h), and so which key runs which command in each build.  One
// table serves all four builds: a row names the key and the command, and
// each build's KeyMap gets the key with that build's code for the command.
// The same key thus runs the same command in every build; a build that lacks
// the command leaves the key to its family code.  Internal to builds/.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "builds/bindings.h"
#include "builds/bindings_table.h"
#include "builds/build.h"

namespace keytab {

using bindtab::Column;
using bindtab::ColumnCount;

struct KeyRow {
  const char* Key;  // canonical notation: KeyName of the parsed key
  Cmd Command;
  uint8_t Slot = 0;       // which of the command's codes
  bool OrFirst = false;   // a build without that slot takes the first code
};

// Keys that must not deliver their family code because it runs a command in
// some build; Code per build, 0 where the family code is fine.
struct RawRow {
  const char* Key;
  uint32_t Code[ColumnCount];
};

inline constexpr KeyRow kKeyRows[] = {
    // Function keys with modifiers.
    {"<F1>", Cmd::Help},
    {"<S-F1>", Cmd::TakeFile},
    {"<C-F1>", Cmd::UndoTakeFile},
    {"<S-F2>", Cmd::WriteBlock},
    {"<C-F2>", Cmd::WriteToAnotherFile},
    {"<S-F3>", Cmd::BlockLatinToCyrillic},
    {"<S-F4>", Cmd::BlockCyrillicToLatin},
    {"<C-F4>", Cmd::EditAnotherFile},
    {"<S-F5>", Cmd::BlockToUpper},
    {"<C-F5>", Cmd::CharToUpper},
    {"<C-S-F5>", Cmd::WordFirstToUpper},
    {"<S-F6>", Cmd::BlockToLower},
    {"<C-F6>", Cmd::CharToLower},
    {"<C-S-F6>", Cmd::WordFirstToLower},
    {"<S-F7>", Cmd::SearchMatchCase},
    {"<C-F7>", Cmd::SearchUp},
    {"<C-S-F7>", Cmd::SearchMatchCaseUp},
    {"<C-S-F8>", Cmd::ReplaceFromFile},
    {"<S-F9>", Cmd::Record},
    {"<C-F9>", Cmd::ReadKeyBuffer},
    {"<S-F10>", Cmd::RestoreAsOnEntry},
    {"<C-F10>", Cmd::ColourMarking},
    {"<C-S-F10>", Cmd::QuitAtOnce},
    {"<S-F11>", Cmd::SwitchRusLayout},

    // Cursor keys with modifiers.
    {"<S-Up>", Cmd::LineUpShift},
    {"<S-Down>", Cmd::LineDownShift},
    {"<S-Left>", Cmd::ColumnLeftShift},
    {"<S-Right>", Cmd::ColumnRightShift},
    {"<C-Left>", Cmd::WordLeft},
    {"<C-Right>", Cmd::WordRight},
    {"<C-S-Left>", Cmd::WordLeftShift},
    {"<C-S-Right>", Cmd::WordRightShift},
    {"<C-A-Left>", Cmd::WordToPrevEnd},
    {"<C-A-Right>", Cmd::WordToEnd},
    {"<A-Left>", Cmd::GetBack},
    {"<A-Up>", Cmd::Up4},
    {"<A-Down>", Cmd::Down4},
    {"<A-S-Up>", Cmd::Up4Shift},
    {"<A-S-Down>", Cmd::Down4Shift},
    {"<C-A-Up>", Cmd::Up8},
    {"<C-A-Down>", Cmd::Down8},
    {"<C-A-S-Up>", Cmd::Up8Shift},
    {"<C-A-S-Down>", Cmd::Down8Shift},
    {"<C-Up>", Cmd::TopOrBottomOfScreen},
    {"<C-Down>", Cmd::TopOrBottomOfScreen},
    {"<C-Tab>", Cmd::TopOrBottomOfScreen},
    {"<C-Home>", Cmd::TopOfFile},
    {"<C-End>", Cmd::BottomOfFile},
    {"<C-PgUp>", Cmd::ScrollUp},
    {"<C-PgDn>", Cmd::ScrollDown},
    {"<C-Ins>", Cmd::ShiftBlockRight},
    {"<C-Del>", Cmd::ShiftBlockLeft},
    {"<S-End>", Cmd::RectToLineEnd},
    {"<S-Ins>", Cmd::ToggleLengthLimit},
    {"<A-Ins>", Cmd::ToggleLengthLimit, 1, true},
    {"<S-Enter>", Cmd::ToggleLengthLimit, 1, true},
    {"<C-Enter>", Cmd::SearchAgain},
    {"<A-BS>", Cmd::UndoLastChange},
    {"<C-BS>", Cmd::DeleteWordLeft},

    // Alt+letter as the menus name them.
    {"<A-a>", Cmd::IndentToCursor},
    {"<A-b>", Cmd::RectAnyCorner},
    {"<A-c>", Cmd::CopyBlock},
    {"<A-e>", Cmd::RectToLineEnd},
    {"<A-f>", Cmd::FillBlock},
    {"<A-g>", Cmd::DeleteBlock},
    {"<A-h>", Cmd::Help, 1},
    {"<A-j>", Cmd::JoinLines},
    {"<A-k>", Cmd::CopyBlockKeep},
    {"<A-l>", Cmd::MarkLineBlock},
    {"<A-m>", Cmd::MoveBlock},
    {"<A-n>", Cmd::RectWholeLine},
    {"<A-q>", Cmd::SumBlock},
    {"<A-r>", Cmd::RestoreNextLine},
    {"<A-s>", Cmd::SplitLine},
    {"<A-u>", Cmd::Unmark},
    {"<A-v>", Cmd::MarkWord, 1},
    {"<A-w>", Cmd::DeleteWord},
    {"<A-x>", Cmd::MarkWord, 0},
    {"<A-z>", Cmd::MarkWord, 2},
    {"<A-1>", Cmd::MarkLine1},
    {"<A-2>", Cmd::MarkLine2},
    {"<A-3>", Cmd::MarkLine3},
    {"<A-4>", Cmd::GoToLineMark1},
    {"<A-5>", Cmd::GoToLineMark2},
    {"<A-6>", Cmd::GoToLineMark3},
    {"<A-7>", Cmd::MarkPosition1},
    {"<A-8>", Cmd::MarkPosition2},
    {"<A-9>", Cmd::GoToPosition1},
    {"<A-0>", Cmd::GoToPosition2},
    {"<A-->", Cmd::MarkColumn},
    {"<A-=>", Cmd::GoToColumnMark},
    {"<A-/>", Cmd::WhereIsBlock},

    // Alt with a shifted character: Pascal keywords and the rest.
    {"<A-F>", Cmd::FormatJustified},
    {"<A-R>", Cmd::PasFunction},
    {"<A-K>", Cmd::ShowKeyBytes},
    {"<A-:>", Cmd::PasAssign, 0},
    {"<A-;>", Cmd::PasAssign, 1},
    {"<A-S>", Cmd::PasString},
    {"<A-L>", Cmd::PasWriteln},
    {"<A-I>", Cmd::PasInteger},
    {"<A-P>", Cmd::PasProcedure},
    {"<A-W>", Cmd::PasWhile},
    {"<A-(>", Cmd::PasCommentStart},
    {"<A-)>", Cmd::PasCommentEnd},
    {"<A-\\>", Cmd::PasBackslash},
};

// In vesk-866 the capital Л (8B) sits on the K key (scan 25), so its family
// code 0000258B would go to line mark 1: it is delivered without its scan code.
inline constexpr RawRow kRawRows[] = {
    {"Л", {0, 0, 0x0000008B, 0}},
    // The first abandon code of questions in the builds with the Russian
    // keyboard option (the others abandon with Ctrl+Q).
    {"<C-A-q>", {0x08001011, 0, 0, 0x08001011}},
};

constexpr uint32_t CodeOf(Column col, const KeyRow& r) {
  uint32_t code = bindtab::CodeIn(col, r.Command, r.Slot);
  if (code == 0 && r.OrFirst) code = bindtab::CodeIn(col, r.Command, 0);
  return code;
}

constexpr size_t KeyCountIn(Column col) {
  size_t n = 0;
  for (const KeyRow& r : kKeyRows) n += CodeOf(col, r) != 0;
  for (const RawRow& r : kRawRows) n += r.Code[col] != 0;
  return n;
}

template <Column Col>
constexpr std::array<KeyMapEntry, KeyCountIn(Col)> MakeKeyMap() {
  std::array<KeyMapEntry, KeyCountIn(Col)> out{};
  size_t n = 0;
  for (const KeyRow& r : kKeyRows)
    if (uint32_t code = CodeOf(Col, r)) out[n++] = KeyMapEntry{r.Key, code};
  for (const RawRow& r : kRawRows)
    if (r.Code[Col] != 0) out[n++] = KeyMapEntry{r.Key, r.Code[Col]};
  return out;
}

inline constexpr auto kKeyMapKoi8Rkbd = MakeKeyMap<bindtab::ColKoi8Rkbd>();
inline constexpr auto kKeyMapKoi8 = MakeKeyMap<bindtab::ColKoi8>();
inline constexpr auto kKeyMap866 = MakeKeyMap<bindtab::Col866>();
inline constexpr auto kKeyMap866Rkbd = MakeKeyMap<bindtab::Col866Rkbd>();

}  // namespace keytab
