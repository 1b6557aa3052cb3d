#include "core/mainloop.h"

#include <algorithm>

#include "base/keycodes.h"
#include "base/limits.h"
#include "blocks/blocks.h"
#include "blocks/clipboard.h"
#include "blocks/colours.h"
#include "blocks/f12marks.h"
#include "blocks/insertfile.h"
#include "blocks/keybuffer.h"
#include "blocks/keydefs.h"
#include "blocks/marks.h"
#include "blocks/shorts.h"
#include "blocks/transforms.h"
#include "builds/bindings.h"
#include "core/commands.h"
#include "core/editor.h"
#include "core/menu.h"
#include "core/state.h"
#include "edit/lines.h"
#include "edit/search.h"
#include "edit/typing.h"
#include "edit/words.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "screen/term.h"
#include "text/codepage.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/savefile.h"
#include "text/status.h"

namespace {

// Low 16 bits of a completed sequence (Shift 0F) to the scan code whose key
// definition it runs.
constexpr struct {
  uint16_t From;
  uint8_t To;
} CompletedScans[] = {
    {0x875E, 0x2D}, {0x8C5F, 0x2E}, {0x9177, 0x35}, {0x9372, 0x1F}, {0x9559, 0x15}, {0x9579, 0x21},
    {0x9675, 0x10}, {0x9769, 0x22}, {0x986F, 0x17}, {0x9A7B, 0x30}, {0x9B5D, 0x25}, {0x9B7D, 0x13},
    {0x9E61, 0x18}, {0xA064, 0x20}, {0xA166, 0x2F}, {0xA46A, 0x16}, {0xA56B, 0x7F}, {0xA960, 0x2C},
    {0xA97E, 0x32}, {0xAC7A, 0x1E}, {0xAD78, 0x11}, {0xAE63, 0x1C}, {0xB062, 0x19}, {0xB16E, 0xA3},
};

// The Shift variants of the motions read Shift from the key code.
void SetShift3() { Kbd.KeyEvent = (Kbd.KeyEvent & 0xFF00FFFFu) | uint32_t(ShiftEither) << 16; }

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

// A key that reaches typing.  In literal mode it is taken as part of a
// character given by its letter or its code.
void TypeKey() {
  const uint8_t ch = KeyChar();
  if (Loop.LiteralMode) {
    if (ch >= '0' && ch <= '9') {
      Loop.LiteralCode = uint8_t(Loop.LiteralCode * 10 + (ch - '0'));
      return;
    }
    Loop.LiteralMode = false;
    ClearMessageLine();
    if (ch >= 1 && ch <= 12) Type(ch);
    else if (ch >= 0x41 && ch <= 0x5F) Type(uint8_t(ch - 0x40));
    else if (ch >= 0x61 && ch <= 0x7E) Type(uint8_t(ch - 0x60));
    return;
  }
  Loop.PendingContinuation = 0;
  Type(ch);
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

// F1..F12 type the characters 1 to 12 in literal mode.
bool LiteralFunctionKey() {
  if (!Loop.LiteralMode) return false;
  const uint32_t code = Kbd.KeyEvent;
  if ((code >> 24) == FlagsFunction && KeyScan() == FunctionScan && KeyChar() >= 1 && KeyChar() <= 12) {
    Loop.LiteralMode = false;
    ClearMessageLine();
    Type(KeyChar());
    return true;
  }
  return false;
}

void Dispatch(Cmd c) {
  switch (c) {
    case Cmd::SaveFile: SaveFile(); Ed.ExitStatus = 0; break;
    case Cmd::InsertEmptyLine: InsertEmptyLine(); break;
    case Cmd::GoToLine: CmdGoToLine(); break;
    case Cmd::MakeTop: CmdMakeTop(); break;
    case Cmd::DuplicateLine: DuplicateLine(); break;
    case Cmd::Recode: RecodeCommand(); break;
    case Cmd::Home: CmdHome(); break;
    case Cmd::CursorUp: CmdUp(false); break;
    case Cmd::PageUp: PageUp(); break;
    case Cmd::CursorLeft: CursorLeft(); break;
    case Cmd::CursorRight: CursorRight(); break;
    case Cmd::End: CmdEnd(); break;
    case Cmd::CursorDown: CmdDown(false); break;
    case Cmd::PageDown: PageDown(); break;
    case Cmd::ToggleInsert: CmdToggleInsert(); break;
    case Cmd::DeleteChar: CmdDelete(); break;
    case Cmd::BackTab: CmdBackTab(); break;
    case Cmd::Escape: CmdEscape(); break;
    case Cmd::Backspace: CmdBackspace(); break;
    case Cmd::Tab: CmdTab(); break;
    case Cmd::Enter:
      if (Loop.LiteralMode) {
        Loop.LiteralMode = false;
        ClearMessageLine();
        Type(Loop.LiteralCode);
      } else {
        CmdEnter();
      }
      break;
    // Abbreviations and continuations ("shorts.vsk"), taking a file.
    case Cmd::Space:
      // An abbreviation before the cursor takes the Space; otherwise the
      // blank is typed (in literal mode it only ends the mode).
      if (!ExpandAbbreviation()) TypeKey();
      break;
    case Cmd::Continuation: ContinueWord(); break;
    case Cmd::RereadShorts: RereadShorts(); break;
    case Cmd::TakeFile: TakeFile(); break;
    case Cmd::Literal:
      Loop.LiteralMode = true;
      Loop.LiteralCode = 0;
      ShowMessage("Press a letter, or F#, or enter a number, then Enter.", 0);
      break;
    case Cmd::DeleteLine: CmdDeleteLine(); break;
    case Cmd::ClearToLineEnd: ClearToLineEnd(); break;
    case Cmd::DeleteWordLeft: DeleteWordLeft(false); break;
    case Cmd::DeleteWord: DeleteWord(); break;
    case Cmd::JoinLines: JoinLines(); break;
    case Cmd::SplitLine: SplitLine(); break;
    case Cmd::RestoreAsOnEntry: CmdRestoreAsOnEntry(); break;
    case Cmd::RestoreNextLine: CmdRestoreNextLine(); break;
    case Cmd::UndoLastChange: CmdUndoLastChange(); break;
    case Cmd::WordLeft: Ed.CurCol = std::max(1, WordStartLeft(LineBytes(Ed.CurLine), Ed.CurCol)); break;
    case Cmd::WordLeftShift: MarkWordLeft(); break;
    case Cmd::WordRight: Ed.CurCol = std::clamp(WordEndRight(LineBytes(Ed.CurLine), Ed.CurCol, WordEnd::NextStart), 1, MaxLineBytes); break;
    case Cmd::WordRightShift: MarkWordRight(); break;
    case Cmd::WordToPrevEnd:
    case Cmd::WordToEnd: {
      std::string line = LineString(Ed.CurLine);
      int p = Ed.CurCol;
      if (c == Cmd::WordToPrevEnd) p = WordStartLeft(line, WordStartLeft(line, p));
      p = WordEndRight(line, p, WordEnd::End);
      if (p >= 1 && size_t(p) <= line.size() && line[size_t(p - 1)] != ' ' && IsDelimiter(uint8_t(line[size_t(p - 1)])))
        ++p;
      Ed.CurCol = std::clamp(p, 1, MaxLineBytes);
      break;
    }
    case Cmd::Up4: CmdLinesUp(4, false); break;
    case Cmd::Down4: CmdLinesDown(4, false); break;
    case Cmd::Up4Shift: CmdLinesUp(4, true); break;
    case Cmd::Down4Shift: CmdLinesDown(4, true); break;
    case Cmd::Up8: CmdLinesUp(8, false); break;
    case Cmd::Down8: CmdLinesDown(8, false); break;
    case Cmd::Up8Shift: CmdLinesUp(8, true); break;
    case Cmd::Down8Shift: CmdLinesDown(8, true); break;
    case Cmd::LineUpShift: CmdUp(true); break;
    case Cmd::LineDownShift: CmdDown(true); break;
    case Cmd::ColumnLeftShift: SetShift3(); CursorLeft(); break;
    case Cmd::ColumnRightShift: SetShift3(); CursorRight(); break;
    case Cmd::TopOrBottomOfScreen: CmdTopOrBottomOfScreen(); break;
    case Cmd::TopOfFile: CmdTopOfFile(); break;
    case Cmd::BottomOfFile: CmdBottomOfFile(); break;
    case Cmd::ScrollUp: CmdScrollUp(); break;
    case Cmd::ScrollDown: CmdScrollDown(); break;
    case Cmd::MarkLine1: CmdMarkLine(1); break;
    case Cmd::MarkLine2: CmdMarkLine(2); break;
    case Cmd::MarkLine3: CmdMarkLine(3); break;
    case Cmd::GoToLineMark1: CmdGoToLineMark(1); break;
    case Cmd::GoToLineMark2: CmdGoToLineMark(2); break;
    case Cmd::GoToLineMark3: CmdGoToLineMark(3); break;
    case Cmd::MarkPosition1: CmdMarkPosition(1); break;
    case Cmd::MarkPosition2: CmdMarkPosition(2); break;
    case Cmd::GoToPosition1: CmdGoToPosition(1); break;
    case Cmd::GoToPosition2: CmdGoToPosition(2); break;
    case Cmd::MarkColumn: CmdMarkColumn(); break;
    case Cmd::GoToColumnMark: CmdGoToColumnMark(); break;
    case Cmd::GetBack: CmdGetBack(); break;
    case Cmd::WriteToAnotherFile: WriteToDirectory(SaveMode::Plain); break;
    case Cmd::UndoTakeFile: CmdUndoTakeFile(); break;
    case Cmd::EditAnotherFile: CmdEditAnotherFile(); break;
    case Cmd::Help:
      if (Loop.LiteralMode) {
        Loop.LiteralMode = false;
        ClearMessageLine();
        Type(0x01);
      } else {
        CmdHelp();
      }
      break;
    case Cmd::ShowKeyBytes: CmdShowKeyBytes(); break;
    // The keystroke buffer.
    case Cmd::PlayBack: StartPlayback(); break;
    case Cmd::Record: StartOrStopRecording(); break;
    case Cmd::WriteKeyBuffer: KeyBufferFile(DataFileAction::Write); break;
    case Cmd::ReadKeyBuffer: KeyBufferFile(DataFileAction::Read); break;
    case Cmd::QuitAtOnce: CmdQuitAtOnce();
    case Cmd::MarkLineBlock: ExtendLineBlock(); break;
    case Cmd::RectAnyCorner: ExtendRectBlock(Ed.CurCol); break;
    case Cmd::MarkWord: MarkWord(Kbd.KeyEvent); break;
    case Cmd::Unmark: UnmarkBlock(); break;
    case Cmd::CharToUpper: CmdCharCase(true); break;
    case Cmd::CharToLower: CmdCharCase(false); break;
    case Cmd::IndentToCursor: {
      bool insert = Ed.InsertMode;
      Ed.InsertMode = true;
      SetIndentation(Ed.CurCol);
      Ed.InsertMode = insert;
      break;
    }
    case Cmd::IndentToColumn: {
      bool insert = Ed.InsertMode;
      Ed.InsertMode = true;
      SetIndentation(Ed.IndentColumn);
      Ed.InsertMode = insert;
      break;
    }
    case Cmd::ToggleLengthLimit: ToggleLineLimit(); break;
    case Cmd::FormatJustified: FormatParagraph(FormatStyle::Justified); break;
    case Cmd::MainMenu: MainMenu(); break;
    // Blocks, the clipboard and block transforms.
    case Cmd::CopyBlock: case Cmd::CopyBlockKeep: CopyBlock(); break;
    case Cmd::MoveBlock: MoveBlock(); break;
    case Cmd::DeleteBlock: DeleteBlock(); break;
    case Cmd::ShiftBlockRight: case Cmd::ShiftBlockLeft: ShiftBlock(); break;
    case Cmd::WhereIsBlock: WhereIsBlock(); break;
    case Cmd::RectToLineEnd: MarkToLineEnd(); break;
    case Cmd::RectWholeLine: MarkWholeLine(); break;
    case Cmd::WriteBlock:
      if (!WriteBlock()) ColourMark();  // without a line block: colour marking
      break;
    case Cmd::ClipboardCut: case Cmd::ClipboardCopy: BlockToClipboard(); break;
    case Cmd::ClipboardPaste: PasteClipboard(); break;
    case Cmd::BlockToUpper: case Cmd::BlockToLower: case Cmd::BlockLatinToCyrillic:
    case Cmd::BlockCyrillicToLatin:
      ConvertBlock();
      break;
    case Cmd::FillBlock: FillBlock(); break;
    case Cmd::SumBlock: SumOverBlock(); break;
    case Cmd::WordFirstToUpper: case Cmd::WordFirstToLower: FirstLetterCase(); break;
    case Cmd::ColourMarking: ColourMark(); break;
    case Cmd::ToggleLineMark: ToggleLineMark(); break;
    case Cmd::NextMarkedLine: NextMarkedLine(); break;
    // Search and replace.
    case Cmd::SearchForward: SearchForward(); break;
    case Cmd::SearchUp: SearchUp(); break;
    case Cmd::SearchMatchCase: SearchMatchCase(); break;
    case Cmd::SearchMatchCaseUp: SearchMatchCaseUp(); break;
    case Cmd::SearchAgain: SearchAgain(); break;
    case Cmd::NextEmptyLine: NextEmptyLine(); break;
    case Cmd::Replace: Replace(); break;
    case Cmd::ReplaceFromFile: ReplaceFromFile(); break;
    case Cmd::SwitchRusLayout: ToggleRusLayout(); break;
    case Cmd::PasAssign: case Cmd::PasAbsolute: case Cmd::PasBegin: case Cmd::PasEnd: case Cmd::PasElse:
    case Cmd::PasString: case Cmd::PasWriteln: case Cmd::PasDebug: case Cmd::PasInteger: case Cmd::PasRepeat:
    case Cmd::PasUntil: case Cmd::PasProcedure: case Cmd::PasWhile: case Cmd::PasGoto: case Cmd::PasCommentEnd:
    case Cmd::PasCommentStart: case Cmd::PasReadln: case Cmd::PasAssignFile: case Cmd::PasThen:
    case Cmd::PasFunction: case Cmd::PasBackslash:
      PascalKey(c);
      break;
    default:
      // Commands whose part of the editor is not built yet do nothing.
      break;
  }
}

}  // namespace

void RunCommand(Cmd c, bool keepKey) {
  if (!keepKey) {
    const uint32_t code = CodeOf(CurrentBuild(), c);
    if (code != 0) Kbd.KeyEvent = code;
  }
  Dispatch(c);
}

void KeepCursorInWindow() {
  const int height = Scr.ScreenHeight;
  const int width = Scr.ScreenWidth;
  Ed.CurLine = std::clamp<int16_t>(Ed.CurLine, 1, std::max<int16_t>(1, Txt.LineCount));
  // Column 256 is the place after a full line of 255 bytes.
  Ed.CurCol = std::clamp(Ed.CurCol, 1, 256);
  Ed.WindowTop = std::clamp<int16_t>(Ed.WindowTop, 1, std::max<int16_t>(1, Txt.LineCount));
  for (int guard = 0; guard < 16; ++guard) {
    const int row = Ed.CurLine - Ed.WindowTop + 3;
    const int col = Ed.CurCol - Ed.HScroll;
    if (row < 3) {
      Ed.WindowTop = Ed.CurLine;
    } else if (row > height) {
      Ed.WindowTop = int16_t(Ed.CurLine - height + 3);
    } else if (col > width) {
      Ed.HScroll = Ed.HalfScroll ? Ed.HScroll + width / 2 : Ed.CurCol - width;
    } else if (col < 1) {
      Ed.HScroll = Ed.HalfScroll ? std::max(0, Ed.HScroll - width / 2) : Ed.CurCol - 1;
    } else {
      return;
    }
  }
}

void MainLoopTurn() {
  // A closing signal ends the editor between two keys, played ones too: a
  // playback reads no keyboard, so no wait for a key would see it.
  StopIfClosing();
  KeepCursorInWindow();
  // Played-back keys run without drawing: the screen catches up when the
  // playback ends.
  if (!PlaybackRunning()) {
    DrawTextWindow();
    DrawStatusLine();
    MoveCursor(Ed.CurCol - Ed.HScroll, Ed.CurLine - Ed.WindowTop + 3);
    FlushScreen(false);
  }
  // A replace with confirmation asks its question instead of reading a key.
  if (ReplacePending()) {
    Loop.LastCommand = LoopState::Nothing;
    ContinueReplace();
    return;
  }

  // The key: the next one of a playback, else the keyboard's.  An end
  // marker ends the playback and is not run.  A key that ended a
  // continuation offer comes first: it runs as if just pressed.
  const bool rerun = TakeKeyToRerun();
  const PlayedKey played = rerun ? PlayedKey::Key : TakePlayedKey();
  KeyBuf.KeyPlayed = !rerun && played == PlayedKey::Key;
  if (played == PlayedKey::Ended) {
    Loop.LastCommand = LoopState::Nothing;
    return;
  }
  if (played == PlayedKey::NotPlaying) GetKey();
  // A bracketed paste is text, whatever its bytes: it runs no command,
  // fires no abbreviation or continuation and is not recorded as keys.
  // A paste that ended a continuation offer comes back here as the key to
  // run again; the offer read it, so its text is Kbd.Paste.
  if ((played == PlayedKey::NotPlaying || rerun) && Kbd.KeyEvent == PasteKeyCode) {
    Loop.PendingContinuation = 0;
    Loop.InsertedLast = 0;
    Loop.Selector = 1 - Loop.Selector;
    Loop.LineSnapshot[size_t(Loop.Selector)] = {LineString(Ed.CurLine), Ed.CurCol};
    Loop.LastCommand = LoopState::Nothing;
    const std::string note = InsertPastedText(Kbd.Paste);
    Kbd.Paste = {};
    if (!note.empty()) {
      // The pasted text is shown under the message that waits for a key.
      KeepCursorInWindow();
      DrawTextWindow();
      DrawStatusLine();
      MoveCursor(Ed.CurCol - Ed.HScroll, Ed.CurLine - Ed.WindowTop + 3);
      ShowMessage(note, 1);
    }
    return;
  }
  // While recording every key is stored; the key that fills the buffer ends
  // the recording and is not run.
  if (!RecordKey(Kbd.KeyEvent)) {
    Loop.LastCommand = LoopState::Nothing;
    return;
  }
  const uint32_t code = Kbd.KeyEvent;
  if (KeyScan() == FunctionScan || KeyChar() == 0 || (KeyShift() & ShiftCtrlOrAlt) != 0) Loop.PendingContinuation = 0;
  if (code != KeyCtrlF1 && KeyLow16() != Low16(KeyF10)) Loop.InsertedLast = 0;

  // The line as it was before this command, for "undo last change".
  Loop.Selector = 1 - Loop.Selector;
  Loop.LineSnapshot[size_t(Loop.Selector)] = {LineString(Ed.CurLine), Ed.CurCol};

  Loop.LastCommand = LoopState::Nothing;
  if (LiteralFunctionKey()) {
    Loop.LastCommand = LoopState::Typed;
    return;
  }
  if (KeyShift() == ShiftCompleted) {
    Loop.LastCommand = LoopState::KeyDefinition;
    // A completed sequence (Esc-Alt+key): (re)defines the key definition of
    // its re-mapped scan code, whether or not one exists.
    uint8_t scan = KeyScan();
    for (const auto& r : CompletedScans)
      if (r.From == KeyLow16()) scan = r.To;
    RunOrDefineKey(WithLayout(scan), true);
    return;
  }
  if (const Binding* b = FindBinding(CurrentBuild(), code)) {
    Loop.LastCommand = int(b->Command);
    Dispatch(b->Command);
    return;
  }
  // Alt keys without a command run or define key definitions (when they
  // are switched on); other modified or function-key codes without a
  // command do nothing rather than type their key number.
  if (KeyShift() != 0 || KeyFlags() != 0 || KeyScan() == FunctionScan) {
    if (KeyShift() == ShiftAlt && (KeyChar() == 0 || KeyScan() == FunctionScan)) {
      Loop.LastCommand = LoopState::KeyDefinition;
      if (Loop.KeyDefinitionsOn) RunOrDefineKey(KeyIdentifier(code));
    }
    return;
  }
  Loop.LastCommand = LoopState::Typed;
  TypeKey();
}

void MainLoop() {
  for (;;) MainLoopTurn();
}
