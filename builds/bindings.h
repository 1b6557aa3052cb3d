// The commands of the main loop and the key codes that run them.  Each build
// binds the same commands; many codes differ between builds because the
// console delivered them for Alt and Ctrl combinations whose character
// depends on the character set and the keyboard map (builds/bindings_table.h).
#pragma once
#include <cstddef>
#include <cstdint>

#include "builds/build.h"

enum class Cmd : uint8_t {
  // Function and cursor keys.
  SaveFile,          // F2
  InsertEmptyLine,   // F3
  GoToLine,          // F4
  MakeTop,           // F5
  Replace,           // F6
  SearchForward,     // F7, ignoring case
  DuplicateLine,     // F8
  PlayBack,          // F9: play back the keystroke buffer
  MainMenu,          // F10
  Recode,            // F11
  NextMarkedLine,    // F12
  Home,
  CursorUp,
  PageUp,
  CursorLeft,
  CursorRight,
  End,
  CursorDown,
  PageDown,
  ToggleInsert,
  DeleteChar,        // Delete: character or block
  WriteKeyBuffer,    // Alt+F9: write the keystroke buffer file
  RereadShorts,      // Alt+Space
  BackTab,           // Shift+Tab
  Escape,
  Backspace,
  Tab,
  Enter,
  Space,             // abbreviation expansion, else a blank
  Literal,           // Ctrl+Q
  // Lines and words.
  DeleteLine,
  ClearToLineEnd,
  DeleteWordLeft,
  DeleteWord,
  JoinLines,
  SplitLine,
  RestoreAsOnEntry,
  RestoreNextLine,
  UndoLastChange,
  WordLeft,
  WordRight,
  WordLeftShift,
  WordRightShift,
  WordToPrevEnd,     // twice WordStartLeft, then WordEndRight (mode 1)
  WordToEnd,         // WordEndRight (mode 1)
  // Cursor and window.
  Up4,
  Down4,
  Up4Shift,
  Down4Shift,
  Up8,
  Down8,
  Up8Shift,
  Down8Shift,
  LineUpShift,
  LineDownShift,
  ColumnLeftShift,
  ColumnRightShift,
  TopOrBottomOfScreen,
  TopOfFile,
  BottomOfFile,
  ScrollUp,
  ScrollDown,
  // Marks and the position history.
  MarkLine1,
  MarkLine2,
  MarkLine3,
  GoToLineMark1,
  GoToLineMark2,
  GoToLineMark3,
  MarkPosition1,
  MarkPosition2,
  GoToPosition1,
  GoToPosition2,
  MarkColumn,
  GoToColumnMark,
  GetBack,
  ToggleLineMark,    // the F12 mark of the cursor line
  // Search and replace.
  SearchUp,          // SearchForward with Alt in the code: upwards
  SearchMatchCase,   // ignores the shift state of its code
  SearchMatchCaseUp, // reads the shift state of its code, which holds Alt
  SearchAgain,
  NextEmptyLine,
  ReplaceFromFile,
  // Files.
  WriteToAnotherFile,
  WriteBlock,        // the line block to a file; colour marking without one
  TakeFile,
  UndoTakeFile,
  EditAnotherFile,
  Help,
  ShowKeyBytes,
  QuitAtOnce,
  // Blocks.
  MarkLineBlock,
  DeleteBlock,
  RectAnyCorner,
  MarkWord,
  RectToLineEnd,
  RectWholeLine,
  CopyBlock,         // unmarking
  CopyBlockKeep,     // keeping the marking
  MoveBlock,
  ClipboardCut,
  ClipboardCopy,
  ClipboardPaste,
  ShiftBlockRight,
  ShiftBlockLeft,
  Unmark,
  WhereIsBlock,
  FillBlock,
  BlockToUpper,
  BlockToLower,
  BlockLatinToCyrillic,
  BlockCyrillicToLatin,
  WordFirstToUpper,
  WordFirstToLower,
  CharToUpper,
  CharToLower,
  SumBlock,          // builds without rusKBD only
  // Indentation and formatting.
  IndentToCursor,
  IndentToColumn,
  ToggleLengthLimit,
  FormatJustified,
  Continuation,      // '\'
  // Keystroke buffer, colours, keyboard.
  ReadKeyBuffer,
  Record,
  ColourMarking,
  SwitchRusLayout,   // builds without rusKBD only
  // Pascal keyword keys (a control character or a command in plain text).
  PasAssign,         // " := "
  PasAbsolute,
  PasBegin,
  PasEnd,            // "End; "
  PasElse,
  PasString,
  PasWriteln,
  PasDebug,
  PasInteger,
  PasRepeat,
  PasUntil,
  PasProcedure,
  PasWhile,
  PasGoto,
  PasCommentEnd,     // " *) "
  PasCommentStart,   // "(* "
  PasReadln,
  PasAssignFile,     // "Assign(); "
  PasThen,
  PasFunction,       // paragraph formatting, ragged right, in plain text
  PasBackslash,
};

inline constexpr size_t kCmdCount = size_t(Cmd::PasBackslash) + 1;

// A short English name ("delete line"); "?" for a value out of range.
const char* CommandName(Cmd c);

// The binding of a whole 32-bit key code in the build, or nullptr.
// BuildConfig::Bindings must be sorted by code (the four builds' tables are).
const Binding* FindBinding(const BuildConfig& b, uint32_t code);

// The slot-th code (0 first) that runs c in the build, in the order of the
// rows of builds/bindings_table.h (help: F1's code, then Alt+H's); 0 when
// there is none.
// Menus use it to set the key code of the command they run.
uint32_t CodeOf(const BuildConfig& b, Cmd c, int slot = 0);
