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
#include "text/marks.h"
#include "blocks/shorts.h"
#include "blocks/transforms.h"
#include "builds/bindings.h"
#include "core/commandtable.h"
#include "core/commands.h"
#include "core/editor.h"
#include "core/menu.h"
#include "base/state.h"
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


// F1..F12 type the characters 1 to 12 in literal mode.
bool LiteralFunctionKey() {
  if (!Typing.LiteralMode) return false;
  const uint32_t code = Kbd.KeyEvent;
  if ((code >> 24) == FlagsFunction && KeyScan() == FunctionScan && KeyChar() >= 1 && KeyChar() <= 12) {
    TypeLiteral(KeyChar());
    return true;
  }
  return false;
}


}  // namespace

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
    Shorts.PendingContinuation = 0;
    Insert.InsertedLast = 0;
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
  if (KeyScan() == FunctionScan || KeyChar() == 0 || (KeyShift() & ShiftCtrlOrAlt) != 0) Shorts.PendingContinuation = 0;
  if (code != KeyCtrlF1 && KeyLow16() != Low16(KeyF10)) Insert.InsertedLast = 0;

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
    RunCommand(b->Command, b->Slot);
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
