// The bindings tables of the four builds, as one table with a column per
// build, and the per-build tables made from it at compile time.  Internal to
// builds/: the rest of the program reaches them through BuildConfig.
#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "builds/bindings.h"
#include "builds/build.h"

namespace bindtab {

// Columns: vesk-koi8-rkbd first, since the other builds are best read as
// the codes in which they differ from it.
enum Column : uint8_t { ColKoi8Rkbd, ColKoi8, Col866, Col866Rkbd, ColumnCount };

constexpr Column ColumnOf(bool koi8r, bool rusKBD) {
  if (koi8r) return rusKBD ? ColKoi8Rkbd : ColKoi8;
  return rusKBD ? Col866Rkbd : Col866;
}

// One code of a command in every build; 0 where the build lacks it.  A
// command with several codes has several rows, in slot order.
struct Row {
  Cmd Command;
  uint32_t Code[ColumnCount];
};

constexpr Row All(Cmd c, uint32_t code) { return {c, {code, code, code, code}}; }
constexpr Row Per(Cmd c, uint32_t koi8rkbd, uint32_t koi8, uint32_t cp866, uint32_t cp866rkbd) {
  return {c, {koi8rkbd, koi8, cp866, cp866rkbd}};
}

//                                          koi8-rkbd   koi8        866         866-rkbd
inline constexpr Row kRows[] = {
    All(Cmd::SaveFile, 0x0200FF02),
    All(Cmd::InsertEmptyLine, 0x0200FF03),
    All(Cmd::GoToLine, 0x0200FF04),
    All(Cmd::MakeTop, 0x0200FF05),
    All(Cmd::Replace, 0x0200FF06),
    All(Cmd::SearchForward, 0x0200FF07),
    All(Cmd::DuplicateLine, 0x0200FF08),
    All(Cmd::PlayBack, 0x0200FF09),
    All(Cmd::MainMenu, 0x0200FF0A),
    All(Cmd::Recode, 0x0200FF0B),
    All(Cmd::NextMarkedLine, 0x0200FF0C),
    All(Cmd::Home, 0x0200FF20),
    All(Cmd::CursorUp, 0x0200FF21),
    All(Cmd::PageUp, 0x0200FF22),
    All(Cmd::CursorLeft, 0x0200FF23),
    All(Cmd::CursorRight, 0x0200FF25),
    All(Cmd::End, 0x0200FF26),
    All(Cmd::CursorDown, 0x0200FF27),
    All(Cmd::PageDown, 0x0200FF28),
    All(Cmd::ToggleInsert, 0x0200FF29),
    All(Cmd::DeleteChar, 0x0200FF2A),
    All(Cmd::WriteKeyBuffer, 0x0208FF09),
    All(Cmd::RereadShorts, 0x03083900),
    All(Cmd::BackTab, 0x03000F00),
    All(Cmd::Escape, 0x0000011B),
    All(Cmd::Backspace, 0x00000E08),
    All(Cmd::Tab, 0x00000F09),
    All(Cmd::Enter, 0x00001C0D),
    All(Cmd::Space, 0x00003920),
    All(Cmd::Literal, 0x00001011),

    All(Cmd::DeleteLine, 0x00001519),
    All(Cmd::ClearToLineEnd, 0x0000250B),
    Per(Cmd::DeleteWordLeft,      0x000026AC, 0x000026AC, 0x000029BE, 0x000029BE),
    All(Cmd::DeleteWord, 0x0008AD78),
    Per(Cmd::JoinLines,           0x00001EA1, 0x000014D4, 0x00000CDF, 0x00000CDF),
    All(Cmd::SplitLine, 0x00089372),
    All(Cmd::RestoreAsOnEntry, 0x0008A368),
    All(Cmd::RestoreNextLine, 0x00089B7D),
    Per(Cmd::UndoLastChange,      0x00001ABB, 0x000010D1, 0x0000188F, 0x000024CA),
    Per(Cmd::WordLeft,            0x00002CBA, 0x00002CBA, 0x00001392, 0x00002CBA),
    Per(Cmd::WordRight,           0x00001A9B, 0x00001A9B, 0x0000248A, 0x00001ABB),
    Per(Cmd::WordLeftShift,       0x000017A9, 0x000017A9, 0x000011D7, 0x000011D7),
    Per(Cmd::WordRightShift,      0x00001BBD, 0x00001BBD, 0x00002DD8, 0x00002DD8),
    Per(Cmd::WordToPrevEnd,       0x11119B00, 0x000020C4, 0x00002E83, 0x11119B00),
    Per(Cmd::WordToEnd,           0x11119D00, 0x000012C5, 0x00002084, 0x11119D00),

    Per(Cmd::Up4,                 0x0000258B, 0x0000258B, 0x00002FD6, 0x00002FD6),
    Per(Cmd::Down4,               0x0000188F, 0x0000188F, 0x000016D5, 0x000016D5),
    Per(Cmd::Up4Shift,            0x000008AE, 0x000022C7, 0x00001285, 0x000008AE),
    Per(Cmd::Down4Shift,          0x00000D05, 0x000023C8, 0x00001F93, 0x00000D05),
    Per(Cmd::Up8,                 0x00000CBF, 0x00000CBF, 0x000011F7, 0x000011F7),
    Per(Cmd::Down8,               0x00002B9C, 0x00002B9C, 0x00002DF8, 0x00002DF8),
    Per(Cmd::Up8Shift,            0x11110CBF, 0x00002EC3, 0x00003082, 0x11110CBF),
    Per(Cmd::Down8Shift,          0x11112B9C, 0x000030C2, 0x00001E81, 0x11112B9C),
    Per(Cmd::LineUpShift,         0x0000299E, 0x0000299E, 0x000015F9, 0x000015F9),
    Per(Cmd::LineDownShift,       0x00001695, 0x00001695, 0x00002CFA, 0x00002CFA),
    Per(Cmd::ColumnLeftShift,     0x00001B9D, 0x00001B9D, 0x000016F5, 0x000016F5),
    Per(Cmd::ColumnRightShift,    0x00000C9F, 0x00000C9F, 0x00002FF6, 0x00002FF6),
    Per(Cmd::TopOrBottomOfScreen, 0x000019B0, 0x000019B0, 0x000022C7, 0x000022C7),
    Per(Cmd::TopOfFile,           0x000029A0, 0x000016D5, 0x000010D1, 0x000010D1),
    Per(Cmd::BottomOfFile,        0x000020A4, 0x000020A4, 0x000013D2, 0x000013D2),
    All(Cmd::ScrollUp, 0x00002BBC),
    Per(Cmd::ScrollDown,          0x000023A8, 0x000026CC, 0x000014D4, 0x000014D4),

    Per(Cmd::MarkLine1,           0x00001091, 0x00001091, 0x000010B1, 0x000010B1),
    Per(Cmd::MarkLine2,           0x00001392, 0x00001392, 0x000013B2, 0x000013B2),
    Per(Cmd::MarkLine3,           0x00002DB8, 0x000025CB, 0x00001789, 0x000025CB),
    Per(Cmd::GoToLineMark1,       0x000010B1, 0x000032CD, 0x0000258B, 0x000026CC),
    Per(Cmd::GoToLineMark2,       0x000013B2, 0x000013B2, 0x000016B5, 0x000016B5),
    Per(Cmd::GoToLineMark3,       0x000014B4, 0x000014B4, 0x00002FB6, 0x00002FB6),
    Per(Cmd::MarkPosition1,       0x000022A7, 0x000022A7, 0x000011B7, 0x000011B7),
    Per(Cmd::MarkPosition2,       0x000021A6, 0x000021A6, 0x00002DB8, 0x00002DB8),
    Per(Cmd::GoToPosition1,       0x000016B5, 0x000018CF, 0x0000328D, 0x000015B9),
    Per(Cmd::GoToPosition2,       0x00001990, 0x00001990, 0x000019B0, 0x000019B0),
    Per(Cmd::MarkColumn,          0x000025AB, 0x000019D0, 0x00001FD3, 0x00001FD3),
    Per(Cmd::GoToColumnMark,      0x000032AD, 0x000032AD, 0x00001BBD, 0x00001BBD),
    All(Cmd::GetBack, 0x0008B26D),
    // Ctrl+F12 as the function-key family delivers it.  The console build had
    // no key for this command (only the marks menu ran it).
    All(Cmd::ToggleLineMark, 0x0204FF0C),

    All(Cmd::SearchUp, 0x00089071),
    All(Cmd::SearchMatchCase, 0x00089265),
    All(Cmd::SearchMatchCaseUp, 0x0008AB5C),
    All(Cmd::SearchAgain, 0x0000240A),
    All(Cmd::NextEmptyLine, 0x00002C1A),
    All(Cmd::ReplaceFromFile, 0x00089B5D),

    All(Cmd::WriteToAnotherFile, 0x0008A66C),
    Per(Cmd::WriteBlock,          0x00089474, 0x000021C6, 0x00002186, 0x00089474),
    All(Cmd::TakeFile, 0x00089559),
    All(Cmd::UndoTakeFile, 0x0008A56B),
    All(Cmd::EditAnotherFile, 0x0008B16E),
    Per(Cmd::Help,                0x00002F96, 0x10002F96, 0x00011AFB, 0x00001AFB),
    Per(Cmd::Help,                0x11112F96, 0x00002F96, 0x00001AFB, 0x11111AFB),
    Per(Cmd::ShowKeyBytes,        0x00001494, 0x00001494, 0x000029FE, 0x000029FE),
    Per(Cmd::QuitAtOnce,          0x10001ABB, 0x000017C9, 0x00002287, 0x10001ABB),

    Per(Cmd::MarkLineBlock,       0x000018AF, 0x000018AF, 0x000021C6, 0x000021C6),
    All(Cmd::DeleteBlock, 0x00089769),
    All(Cmd::RectAnyCorner, 0x00089A7B),
    // Alt+X, Alt+V, Alt+Z; MarkWord leaves the word's last character out for
    // the third.
    All(Cmd::MarkWord, 0x0008875E),
    All(Cmd::MarkWord, 0x0008A166),
    All(Cmd::MarkWord, 0x0008A960),
    Per(Cmd::RectToLineEnd,       0x0000268C, 0x0000268C, 0x00002BDC, 0x00002BDC),
    Per(Cmd::RectWholeLine,       0x000030A2, 0x000030A2, 0x000029DE, 0x000029DE),
    All(Cmd::CopyBlock, 0x00088C5F),
    Per(Cmd::CopyBlockKeep,       0x00089245, 0x00002FD6, 0x00001494, 0x00089245),
    All(Cmd::MoveBlock, 0x0008A97E),
    All(Cmd::ClipboardCut, 0x00002D18),
    All(Cmd::ClipboardCopy, 0x00002E03),
    All(Cmd::ClipboardPaste, 0x00002F16),
    Per(Cmd::ShiftBlockRight,     0x00002FB6, 0x00002FB6, 0x0000318E, 0x000023C8),
    Per(Cmd::ShiftBlockLeft,      0x000011B7, 0x000011B7, 0x00001BFD, 0x00001BFD),
    All(Cmd::Unmark, 0x0008A46A),
    All(Cmd::WhereIsBlock, 0x00089177),
    All(Cmd::FillBlock, 0x00089579),
    All(Cmd::BlockToUpper, 0x0008AE63),
    All(Cmd::BlockToLower, 0x0008A064),
    All(Cmd::BlockLatinToCyrillic, 0x00089E61),
    All(Cmd::BlockCyrillicToLatin, 0x0008B062),
    All(Cmd::WordFirstToUpper, 0x00088340),
    All(Cmd::WordFirstToLower, 0x00089A5B),
    All(Cmd::CharToUpper, 0x0008986F),
    All(Cmd::CharToLower, 0x00089970),
    Per(Cmd::SumBlock,            0,          0x00089675, 0x00089675, 0),

    All(Cmd::IndentToCursor, 0x0008AC7A),
    All(Cmd::IndentToColumn, 0x0000260C),
    Per(Cmd::ToggleLengthLimit,   0x000029BE, 0x000031CE, 0x0000268C, 0x000031CE),
    Per(Cmd::ToggleLengthLimit,   0,          0x100031CE, 0x1000268C, 0),
    Per(Cmd::FormatJustified,     0x000031AE, 0x000013D2, 0x00002106, 0x00002106),
    All(Cmd::Continuation, 0x00002B5C),

    All(Cmd::ReadKeyBuffer, 0x00089F73),
    All(Cmd::Record, 0x0008A267),
    Per(Cmd::ColourMarking,       0x11189474, 0x00089474, 0x00089474, 0x11189474),
    Per(Cmd::SwitchRusLayout,     0,          0x00001EC1, 0x00002980, 0),

    All(Cmd::PasAssign, 0x00000001),
    Per(Cmd::PasAssign,           0x00002C9A, 0x00002C9A, 0x00000CFF, 0x00000CFF),
    All(Cmd::PasAbsolute, 0x00001E01),
    All(Cmd::PasBegin, 0x00003002),
    All(Cmd::PasEnd, 0x0000310E),
    All(Cmd::PasElse, 0x00001205),
    Per(Cmd::PasString,           0x00001F93, 0x00001F93, 0x000014F4, 0x000014F4),
    Per(Cmd::PasWriteln,          0x00001599, 0x00001599, 0x00001091, 0x000032CD),
    All(Cmd::PasDebug, 0x00002004),
    Per(Cmd::PasInteger,          0x00001197, 0x00001197, 0x00001FF3, 0x00001FF3),
    All(Cmd::PasRepeat, 0x00001910),
    All(Cmd::PasUntil, 0x00001615),
    Per(Cmd::PasProcedure,        0x000015B9, 0x000015B9, 0x000018CF, 0x000018CF),
    Per(Cmd::PasWhile,            0x000024AA, 0x000024AA, 0x000019D0, 0x000019D0),
    All(Cmd::PasGoto, 0x00002207),
    Per(Cmd::PasCommentEnd,       0x0000318E, 0x0000318E, 0x00001BDD, 0x00001BDD),
    Per(Cmd::PasCommentStart,     0x0000328D, 0x0000328D, 0x00001ADB, 0x00001ADB),
    All(Cmd::PasReadln, 0x00001312),
    All(Cmd::PasAssignFile, 0x00001F13),
    All(Cmd::PasThen, 0x00001414),
    Per(Cmd::PasFunction,         0x00002D98, 0x00002D98, 0x000013F2, 0x000013F2),
    Per(Cmd::PasBackslash,        0x000012A5, 0x000024CA, 0x00002388, 0x000017C9),
};

// The slot-th code of c in column col, 0 when none.
constexpr uint32_t CodeIn(Column col, Cmd c, int slot) {
  for (const Row& r : kRows) {
    if (r.Command != c || r.Code[col] == 0) continue;
    if (slot-- == 0) return r.Code[col];
  }
  return 0;
}

constexpr size_t CountIn(Column col) {
  size_t n = 0;
  for (const Row& r : kRows) n += r.Code[col] != 0;
  return n;
}

template <Column Col>
constexpr std::array<Binding, CountIn(Col)> MakeBindings() {
  std::array<Binding, CountIn(Col)> out{};
  size_t n = 0;
  for (const Row& r : kRows)
    if (r.Code[Col] != 0) out[n++] = Binding{r.Code[Col], r.Command};
  std::sort(out.begin(), out.end(), [](const Binding& a, const Binding& b) { return a.Code < b.Code; });
  return out;
}

// Sorted by code, so that FindBinding can search them; a code may run only
// one command in a build.
template <size_t N>
constexpr bool SortedAndUnique(const std::array<Binding, N>& t) {
  for (size_t i = 1; i < N; ++i)
    if (t[i - 1].Code >= t[i].Code) return false;
  return true;
}

// Every command is bound in every build, except the two that only the
// builds without rusKBD have.
constexpr bool EveryCommandBound() {
  for (size_t c = 0; c < kCmdCount; ++c) {
    for (int col = 0; col < ColumnCount; ++col) {
      Cmd cmd = Cmd(c);
      bool optional = (cmd == Cmd::SumBlock || cmd == Cmd::SwitchRusLayout) &&
                      (col == ColKoi8Rkbd || col == Col866Rkbd);
      if (!optional && CodeIn(Column(col), cmd, 0) == 0) return false;
    }
  }
  return true;
}

inline constexpr auto kBindingsKoi8Rkbd = MakeBindings<ColKoi8Rkbd>();
inline constexpr auto kBindingsKoi8 = MakeBindings<ColKoi8>();
inline constexpr auto kBindings866 = MakeBindings<Col866>();
inline constexpr auto kBindings866Rkbd = MakeBindings<Col866Rkbd>();

static_assert(SortedAndUnique(kBindingsKoi8Rkbd), "a code bound twice in vesk-koi8-rkbd");
static_assert(SortedAndUnique(kBindingsKoi8), "a code bound twice in vesk-koi8");
static_assert(SortedAndUnique(kBindings866), "a code bound twice in vesk-866");
static_assert(SortedAndUnique(kBindings866Rkbd), "a code bound twice in vesk-866-rkbd");
static_assert(EveryCommandBound(), "a command without a code");

}  // namespace bindtab
