// The keystroke buffer: Shift+F9 records up to 31 keys of the main loop, F9
// plays them back, and the file "kbdbufer.vsk" keeps the 32 slots as raw
// key codes between sessions.
#pragma once
#include <array>
#include <cstdint>

#include "text/savefile.h"

constexpr int KeyBufferSlots = 32;

struct KeyBufferState {
  // Slot n (1..32) is KeyBuffer[n - 1]: a whole 32-bit key code.
  std::array<uint32_t, KeyBufferSlots> KeyBuffer{};
  uint8_t RecordCount = 0;  // 0: not recording; else the slot the next key goes to
  uint8_t PlayCount = 0;    // 0: not playing; else the slot the next key comes from
  // The key the main loop runs now came from the buffer.  Such a key never
  // starts a playback: a buffer that holds F9 would otherwise replay itself
  // for ever without reading the keyboard.
  bool KeyPlayed = false;
};
extern KeyBufferState KeyBuf;

// All slots zero, neither recording nor playing.
void ResetKeyBuffer();
// Start-up: stops any recording or playback, keeping the slots.
void ClearKeyBufferCounters();

// A slot whose Char and Scan bytes are both 0 ends a recording.
constexpr bool IsEndMarker(uint32_t code) { return (code & 0xFFFFu) == 0; }

// Shift+F9: starts recording, or stops it when it runs.
void StartOrStopRecording();
// Stops a recording: the slot that received the last key gets that key's
// code with Char and Scan cleared, as the end marker.
void StopRecording();
// F9: plays the buffer back from slot 1 (in literal mode F9 types its
// character instead, so nothing starts then; nor during a playback, nor for
// a played key).
void StartPlayback();
bool PlaybackRunning();

// The main loop's key source during playback.
enum class PlayedKey {
  NotPlaying,  // read the keyboard
  Key,         // Kbd.KeyEvent holds the next recorded key
  Ended,       // an end marker stopped playback; it is not run
};
PlayedKey TakePlayedKey();

// The main loop stores every key it obtains while recording.  False when
// that key filled the buffer: the recording has ended and the key must not
// be run.
bool RecordKey(uint32_t code);

// The file "kbdbufer.vsk".
void KeyBufferFile(DataFileAction action);
