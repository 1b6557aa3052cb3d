// vesk-koi8-rkbd: text and interface in KOI8-R, the codes of the console
// with the Russian keyboard option.
// This file is the whole of what the build is: the codes in which it
// differs from the shared ones of builds/commands.def, the keys it adds to
// the key map, and its BuildConfig.
#include "builds/build.h"
#include "builds/buildtables.h"

namespace {

constexpr buildtab::CodeRow kOwnCodes[] = {
    {Cmd::DeleteWordLeft, 0x000026AC},
    {Cmd::JoinLines, 0x00001EA1},
    {Cmd::UndoLastChange, 0x00001ABB},
    {Cmd::WordLeft, 0x00002CBA},
    {Cmd::WordRight, 0x00001A9B},
    {Cmd::WordLeftShift, 0x000017A9},
    {Cmd::WordRightShift, 0x00001BBD},
    {Cmd::WordToPrevEnd, 0x11119B00},
    {Cmd::WordToEnd, 0x11119D00},
    {Cmd::Up4, 0x0000258B},
    {Cmd::Down4, 0x0000188F},
    {Cmd::Up4Shift, 0x000008AE},
    {Cmd::Down4Shift, 0x00000D05},
    {Cmd::Up8, 0x00000CBF},
    {Cmd::Down8, 0x00002B9C},
    {Cmd::Up8Shift, 0x11110CBF},
    {Cmd::Down8Shift, 0x11112B9C},
    {Cmd::LineUpShift, 0x0000299E},
    {Cmd::LineDownShift, 0x00001695},
    {Cmd::ColumnLeftShift, 0x00001B9D},
    {Cmd::ColumnRightShift, 0x00000C9F},
    {Cmd::TopOrBottomOfScreen, 0x000019B0},
    {Cmd::TopOfFile, 0x000029A0},
    {Cmd::BottomOfFile, 0x000020A4},
    {Cmd::ScrollDown, 0x000023A8},
    {Cmd::MarkLine1, 0x00001091},
    {Cmd::MarkLine2, 0x00001392},
    {Cmd::MarkLine3, 0x00002DB8},
    {Cmd::GoToLineMark1, 0x000010B1},
    {Cmd::GoToLineMark2, 0x000013B2},
    {Cmd::GoToLineMark3, 0x000014B4},
    {Cmd::MarkPosition1, 0x000022A7},
    {Cmd::MarkPosition2, 0x000021A6},
    {Cmd::GoToPosition1, 0x000016B5},
    {Cmd::GoToPosition2, 0x00001990},
    {Cmd::MarkColumn, 0x000025AB},
    {Cmd::GoToColumnMark, 0x000032AD},
    {Cmd::WriteBlock, 0x00089474},
    {Cmd::Help, 0x00002F96},
    {Cmd::Help, 0x11112F96},
    {Cmd::ShowKeyBytes, 0x00001494},
    {Cmd::QuitAtOnce, 0x10001ABB},
    {Cmd::MarkLineBlock, 0x000018AF},
    {Cmd::RectToLineEnd, 0x0000268C},
    {Cmd::RectWholeLine, 0x000030A2},
    {Cmd::CopyBlockKeep, 0x00089245},
    {Cmd::ShiftBlockRight, 0x00002FB6},
    {Cmd::ShiftBlockLeft, 0x000011B7},
    {Cmd::ToggleLengthLimit, 0x000029BE},
    {Cmd::FormatJustified, 0x000031AE},
    {Cmd::ColourMarking, 0x11189474},
    {Cmd::PasAssign, 0x00002C9A},
    {Cmd::PasString, 0x00001F93},
    {Cmd::PasWriteln, 0x00001599},
    {Cmd::PasInteger, 0x00001197},
    {Cmd::PasProcedure, 0x000015B9},
    {Cmd::PasWhile, 0x000024AA},
    {Cmd::PasCommentEnd, 0x0000318E},
    {Cmd::PasCommentStart, 0x0000328D},
    {Cmd::PasFunction, 0x00002D98},
    {Cmd::PasBackslash, 0x000012A5},
};
constexpr buildtab::RawKey kRawKeys[] = {
    // The first abandon code of questions (the builds without the Russian
    // keyboard option abandon with Ctrl+Q).
    {"<C-A-q>", 0x08001011},
};

constexpr auto kBindings = buildtab::MakeBindings(kOwnCodes);
static_assert(buildtab::SortedAndUnique(kBindings), "a code bound twice in vesk-koi8-rkbd");
static_assert(buildtab::EveryCommandBound(kBindings, {Cmd::SumBlock, Cmd::SwitchRusLayout}), "a command without a code in vesk-koi8-rkbd");
constexpr auto kKeyMap = buildtab::MakeKeyMap<buildtab::KeyMapSize(kBindings, kRawKeys)>(kBindings, kRawKeys);

}  // namespace

// FillChar: the shade character the idle message line is drawn with.
// Questions: the key that answers 1 (the build's first help code, F1), the
// two keys that abandon a question, and the vertical line between answers.
// Then the prompt line's build-dependent keys: line marks 1-3, position
// marks 1-2, lengthen, shorten, key code, write history, Russian layout.
constinit const BuildConfig BuildKoi8Rkbd{
    "vesk-koi8-rkbd", true, true, Charset::Koi8, 0x91, kKeyMap, kBindings,
    0x00002F96, {0x08001011, 0x000029A0}, 0x81,
    {{0x1091, 0x1392, 0x2DB8}, {0x22A7, 0x21A6}, 0x0C9F, 0x1B9D, 0x1494, 0x1599, 0}};
