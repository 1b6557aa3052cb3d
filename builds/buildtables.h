// Internal to builds/: how a build's tables are made from the data every
// build shares and the build's own data.
//
// Bindings: the codes of builds/commands.def, then the build's own codes
// (a CodeRow list in its data file), each with its slot (the how-manyth
// code of its command, 0 first), sorted by code.
//
// KeyMap: which physical keys deliver codes other than their family code
// (see builds/keymap.h).  kKeyRows names the key and the command; each build
// gets the key with that build's code for the command, so the same key runs
// the same command in every build, and a build that lacks the command leaves
// the key to its family code.  A build's own RawKey rows follow: keys that
// must not deliver their family code because it runs a command there.
#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "builds/bindings.h"
#include "builds/build.h"

namespace buildtab {

// One code of a command, in a build's own list.
struct CodeRow {
  Cmd Command;
  uint32_t Code;
};

// A key and the code it delivers, in a build's own list.
struct RawKey {
  const char* Key;
  uint32_t Code;
};

struct SharedRow {
  Cmd Command;
  uint32_t Codes[3];  // 0 where there are fewer
};

inline constexpr SharedRow kShared[] = {
#define VESK_COMMAND(id, name, ...) {Cmd::id, {__VA_ARGS__}},
#include "builds/commands.def"
#undef VESK_COMMAND
};

constexpr size_t SharedCount() {
  size_t n = 0;
  for (const SharedRow& r : kShared)
    for (uint32_t code : r.Codes) n += code != 0;
  return n;
}

struct KeyRow {
  const char* Key;  // canonical notation: KeyName of the parsed key
  Cmd Command;
  uint8_t Slot = 0;       // which of the command's codes
  bool OrFirst = false;   // a build without that slot takes the first code
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

template <size_t N>
constexpr std::array<Binding, SharedCount() + N> MakeBindings(const CodeRow (&own)[N]) {
  std::array<Binding, SharedCount() + N> out{};
  size_t n = 0;
  const auto add = [&](Cmd c, uint32_t code) {
    uint8_t slot = 0;
    for (size_t i = 0; i < n; ++i) slot = uint8_t(slot + (out[i].Command == c));
    out[n++] = Binding{code, c, slot};
  };
  for (const SharedRow& r : kShared)
    for (uint32_t code : r.Codes)
      if (code != 0) add(r.Command, code);
  for (const CodeRow& r : own) add(r.Command, r.Code);
  std::sort(out.begin(), out.end(), [](const Binding& a, const Binding& b) { return a.Code < b.Code; });
  return out;
}

// The slot-th code of c, 0 when none.
constexpr uint32_t CodeIn(std::span<const Binding> t, Cmd c, int slot) {
  for (const Binding& b : t)
    if (b.Command == c && b.Slot == slot) return b.Code;
  return 0;
}

// Sorted by code, so that FindBinding can search them; a code may run only
// one command in a build.
constexpr bool SortedAndUnique(std::span<const Binding> t) {
  for (size_t i = 1; i < t.size(); ++i)
    if (t[i - 1].Code >= t[i].Code) return false;
  return true;
}

// Every command has a code, except those the build lacks.
constexpr bool EveryCommandBound(std::span<const Binding> t, std::initializer_list<Cmd> lacking) {
  for (size_t c = 0; c < kCmdCount; ++c) {
    const bool lacks = std::find(lacking.begin(), lacking.end(), Cmd(c)) != lacking.end();
    if (lacks == (CodeIn(t, Cmd(c), 0) != 0)) return false;
  }
  return true;
}

constexpr uint32_t KeyCode(std::span<const Binding> t, const KeyRow& r) {
  uint32_t code = CodeIn(t, r.Command, r.Slot);
  if (code == 0 && r.OrFirst) code = CodeIn(t, r.Command, 0);
  return code;
}

constexpr size_t KeyMapSize(std::span<const Binding> t, std::span<const RawKey> raw) {
  size_t n = raw.size();
  for (const KeyRow& r : kKeyRows) n += KeyCode(t, r) != 0;
  return n;
}

template <size_t N>
constexpr std::array<KeyMapEntry, N> MakeKeyMap(std::span<const Binding> t, std::span<const RawKey> raw) {
  std::array<KeyMapEntry, N> out{};
  size_t n = 0;
  for (const KeyRow& r : kKeyRows)
    if (uint32_t code = KeyCode(t, r)) out[n++] = KeyMapEntry{r.Key, code};
  for (const RawKey& r : raw) out[n++] = KeyMapEntry{r.Key, r.Code};
  return out;
}

}  // namespace buildtab
