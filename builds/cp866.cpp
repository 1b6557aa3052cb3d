// vesk-866: text and interface in code page 866, the codes of the console
// with its own keyboard map.
// This file is the whole of what the build is: the codes in which it
// differs from the shared ones of builds/commands.def, the keys it adds to
// the key map, and its BuildConfig.
#include "builds/build.h"
#include "builds/buildtables.h"

namespace {

constexpr buildtab::CodeRow kOwnCodes[] = {
    {Cmd::DeleteWordLeft, 0x000029BE},
    {Cmd::JoinLines, 0x00000CDF},
    {Cmd::UndoLastChange, 0x0000188F},
    {Cmd::WordLeft, 0x00001392},
    {Cmd::WordRight, 0x0000248A},
    {Cmd::WordLeftShift, 0x000011D7},
    {Cmd::WordRightShift, 0x00002DD8},
    {Cmd::WordToPrevEnd, 0x00002E83},
    {Cmd::WordToEnd, 0x00002084},
    {Cmd::Up4, 0x00002FD6},
    {Cmd::Down4, 0x000016D5},
    {Cmd::Up4Shift, 0x00001285},
    {Cmd::Down4Shift, 0x00001F93},
    {Cmd::Up8, 0x000011F7},
    {Cmd::Down8, 0x00002DF8},
    {Cmd::Up8Shift, 0x00003082},
    {Cmd::Down8Shift, 0x00001E81},
    {Cmd::LineUpShift, 0x000015F9},
    {Cmd::LineDownShift, 0x00002CFA},
    {Cmd::ColumnLeftShift, 0x000016F5},
    {Cmd::ColumnRightShift, 0x00002FF6},
    {Cmd::TopOrBottomOfScreen, 0x000022C7},
    {Cmd::TopOfFile, 0x000010D1},
    {Cmd::BottomOfFile, 0x000013D2},
    {Cmd::ScrollDown, 0x000014D4},
    {Cmd::MarkLine1, 0x000010B1},
    {Cmd::MarkLine2, 0x000013B2},
    {Cmd::MarkLine3, 0x00001789},
    {Cmd::GoToLineMark1, 0x0000258B},
    {Cmd::GoToLineMark2, 0x000016B5},
    {Cmd::GoToLineMark3, 0x00002FB6},
    {Cmd::MarkPosition1, 0x000011B7},
    {Cmd::MarkPosition2, 0x00002DB8},
    {Cmd::GoToPosition1, 0x0000328D},
    {Cmd::GoToPosition2, 0x000019B0},
    {Cmd::MarkColumn, 0x00001FD3},
    {Cmd::GoToColumnMark, 0x00001BBD},
    {Cmd::WriteBlock, 0x00002186},
    {Cmd::Help, 0x00011AFB},
    {Cmd::Help, 0x00001AFB},
    {Cmd::ShowKeyBytes, 0x000029FE},
    {Cmd::QuitAtOnce, 0x00002287},
    {Cmd::MarkLineBlock, 0x000021C6},
    {Cmd::RectToLineEnd, 0x00002BDC},
    {Cmd::RectWholeLine, 0x000029DE},
    {Cmd::CopyBlockKeep, 0x00001494},
    {Cmd::ShiftBlockRight, 0x0000318E},
    {Cmd::ShiftBlockLeft, 0x00001BFD},
    {Cmd::SumBlock, 0x00089675},
    {Cmd::ToggleLengthLimit, 0x0000268C},
    {Cmd::ToggleLengthLimit, 0x1000268C},
    {Cmd::FormatJustified, 0x00002106},
    {Cmd::ColourMarking, 0x00089474},
    {Cmd::SwitchRusLayout, 0x00002980},
    {Cmd::PasAssign, 0x00000CFF},
    {Cmd::PasString, 0x000014F4},
    {Cmd::PasWriteln, 0x00001091},
    {Cmd::PasInteger, 0x00001FF3},
    {Cmd::PasProcedure, 0x000018CF},
    {Cmd::PasWhile, 0x000019D0},
    {Cmd::PasCommentEnd, 0x00001BDD},
    {Cmd::PasCommentStart, 0x00001ADB},
    {Cmd::PasFunction, 0x000013F2},
    {Cmd::PasBackslash, 0x00002388},
};
constexpr buildtab::RawKey kRawKeys[] = {
    // The capital Л (8B) sits on the K key (scan 25), so its family code
    // 0000258B would go to line mark 1: it is delivered without its scan code.
    {"Л", 0x0000008B},
};

constexpr auto kBindings = buildtab::MakeBindings(kOwnCodes);
static_assert(buildtab::SortedAndUnique(kBindings), "a code bound twice in vesk-866");
static_assert(buildtab::EveryCommandBound(kBindings, {}), "a command without a code in vesk-866");
constexpr auto kKeyMap = buildtab::MakeKeyMap<buildtab::KeyMapSize(kBindings, kRawKeys)>(kBindings, kRawKeys);

}  // namespace

// FillChar: the shade character the idle message line is drawn with.
// Questions: the key that answers 1 (the build's first help code, F1), the
// two keys that abandon a question, and the vertical line between answers.
// Then the prompt line's build-dependent keys: line marks 1-3, position
// marks 1-2, lengthen, shorten, key code, write history, Russian layout.
constinit const BuildConfig Build866{
    "vesk-866", false, false, Charset::Cp866, 0xB0, kKeyMap, kBindings,
    0x00011AFB, {0x00001011, 0x00001BFD}, 0xB3,
    {{0x10B1, 0x13B2, 0x1789}, {0x11B7, 0x2DB8}, 0x2FF6, 0x16F5, 0x29FE, 0x1091, 0x2980}};
