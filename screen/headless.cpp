#include "screen/headless.h"

#include "screen/keycoding.h"
#include "screen/keys.h"

HeadlessTerminal::HeadlessTerminal(Charset set) { Decoder.Configure(set, InputEncoding::Utf8, 35); }

void HeadlessTerminal::Flush(bool force) {
  if (force) ++ForcedFlushes;
}

bool HeadlessTerminal::Poll(int timeoutMs) {
  // Each scripted input arrives after the one before it was read: a look
  // that does not wait (KeyPressed) never sees it yet.  The keys of one
  // chunk of bytes arrive together.
  while (timeoutMs != 0 && Kbd.Queue.empty() && !Script.empty()) {
    Input in = std::move(Script.front());
    Script.pop_front();
    if (in.Signal != 0) {
      ClosingSignal = in.Signal;
      if (in.Code == 0 && in.Bytes.empty()) continue;  // the signal alone
    }
    if (in.Bytes.empty()) {
      Kbd.Queue.push_back(in.Code);
      continue;
    }
    // Each chunk arrives as one read; the clock then runs past the Esc
    // timeout, so a chunk never waits for the next one.
    Decoder.Feed(in.Bytes, 0);
    PhysKey k;
    while (Decoder.Next(k, 1000000)) {
      if (k.Id == K_Paste) {  // as the terminal queues a bracketed paste
        Kbd.Pastes.push_back(Decoder.TakePaste());
        Kbd.Queue.push_back(PasteKeyCode);
        continue;
      }
      if (uint32_t code = KeyCodeOf(k)) Kbd.Queue.push_back(code);
    }
  }
  if (!Kbd.Queue.empty()) return true;
  StopIfClosing();
  if (timeoutMs < 0 || (timeoutMs > 0 && EndOnWait)) throw InputLost{};
  return false;
}

void HeadlessTerminal::Pause(int ms) {
  Sync();
  ++Pauses;
  PausedMs += ms;
  StopIfClosing();
}

void HeadlessTerminal::SetCursorShape(bool insert) {
  ++CursorShapeChanges;
  LastShapeInsert = insert;
}

void HeadlessTerminal::Suspend(bool suspend) {
  if (suspend) ++Suspends;
}

void HeadlessTerminal::Restore() { Restored = true; }
