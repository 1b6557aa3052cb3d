#include "blocks/keybuffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/safefile.h"
#include "edit/typing.h"
#include "screen/keys.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/savefile.h"
#include "text/status.h"

KeyBufferState KeyBuf;

namespace {

const char* const BufferFileName = "kbdbufer.vsk";
constexpr size_t FileBytes = size_t(KeyBufferSlots) * 4;
// What reading past the end of a text file gives.
constexpr uint8_t PastEnd = 26;

// Reads the slots from path: four bytes per slot, Char first.  A file
// shorter than 128 bytes leaves the missing bytes at 26; a read error ends
// the transfer, and the bytes read before it keep their new values.
// False when the file cannot be opened as a regular file.
bool ReadSlots(const std::string& path) {
  const int fd = OpenRegularForReading(path);
  if (fd < 0) return false;
  uint8_t bytes[FileBytes];
  size_t got = 0;
  bool error = false;
  while (got < FileBytes) {
    const ssize_t n = read(fd, bytes + got, FileBytes - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = true;
    if (n <= 0) break;
    got += size_t(n);
  }
  close(fd);
  const size_t valid = error ? got : FileBytes;
  for (size_t i = got; i < FileBytes; ++i) bytes[i] = PastEnd;
  for (size_t i = 0; i < valid; ++i) {
    const size_t slot = i / 4, shift = (i % 4) * 8;
    uint32_t& code = KeyBuf.KeyBuffer[slot];
    code = (code & ~(uint32_t(0xFF) << shift)) | uint32_t(bytes[i]) << shift;
  }
  return true;
}

std::string SlotBytes() {
  std::string out;
  out.reserve(FileBytes);
  for (uint32_t code : KeyBuf.KeyBuffer)
    for (int b = 0; b < 4; ++b) out += char(uint8_t(code >> (8 * b)));
  return out;
}

}  // namespace

void ResetKeyBuffer() { KeyBuf = KeyBufferState{}; }

void ClearKeyBufferCounters() {
  KeyBuf.RecordCount = 0;
  KeyBuf.PlayCount = 0;
}

void StartOrStopRecording() {
  if (KeyBuf.RecordCount != 0) {
    StopRecording();
    return;
  }
  KeyBuf.RecordCount = 1;
  ShowMessage(InBuildSet("В конце набора команд снова нажмите Shift+F9."), 22);
}

void StopRecording() {
  if (KeyBuf.RecordCount == 0) return;
  // RecordCount now names the slot after the last key stored; that key (the
  // stop key, or the key that filled the buffer) becomes the end marker.
  --KeyBuf.RecordCount;
  if (KeyBuf.RecordCount >= 1 && KeyBuf.RecordCount <= KeyBufferSlots) {
    uint32_t& last = KeyBuf.KeyBuffer[size_t(KeyBuf.RecordCount - 1)];
    last &= 0xFFFF0000u;
  }
  KeyBuf.RecordCount = 0;
  DrawStatusLine();
}

void StartPlayback() {
  if (Typing.LiteralMode) return;
  // A played-back F9 does not start again, in any slot (after slot 32 the
  // playback has already ended): a buffer that holds F9 would otherwise
  // replay itself for ever without reading the keyboard.
  if (PlaybackRunning() || KeyBuf.KeyPlayed) return;
  KeyBuf.PlayCount = 1;
}

bool PlaybackRunning() { return KeyBuf.PlayCount != 0; }

PlayedKey TakePlayedKey() {
  if (KeyBuf.PlayCount == 0) return PlayedKey::NotPlaying;
  if (KeyBuf.PlayCount > KeyBufferSlots) {
    KeyBuf.PlayCount = 0;
    return PlayedKey::NotPlaying;
  }
  const uint32_t code = KeyBuf.KeyBuffer[size_t(KeyBuf.PlayCount - 1)];
  ++KeyBuf.PlayCount;
  if (KeyBuf.PlayCount > KeyBufferSlots) KeyBuf.PlayCount = 0;  // slot 32 was the last
  if (IsEndMarker(code)) {
    KeyBuf.PlayCount = 0;
    return PlayedKey::Ended;
  }
  Kbd.KeyEvent = code;
  return PlayedKey::Key;
}

bool RecordKey(uint32_t code) {
  if (KeyBuf.RecordCount == 0) return true;
  if (KeyBuf.RecordCount > KeyBufferSlots) {  // cannot happen; never index past the end
    StopRecording();
    return false;
  }
  KeyBuf.KeyBuffer[size_t(KeyBuf.RecordCount - 1)] = code;
  ++KeyBuf.RecordCount;
  if (KeyBuf.RecordCount > KeyBufferSlots) {
    StopRecording();
    return false;
  }
  return true;
}

void KeyBufferFile(DataFileAction action) {
  std::string name = BufferFileName;
  if (action == DataFileAction::LoadAtStart) {
    std::string found;
    if (!FindDataFile(name, found)) return;
    if (!AskFileName(found, FileNameUse::Found)) return;
    ReadSlots(found);
    return;
  }
  if (action == DataFileAction::Write) {
    if (!AskFileName(name, FileNameUse::Write)) return;
    if (!WriteFileSafely(name, SlotBytes())) {
      ShowMessage(InBuildSet("Ошибка записи или файл - только для чтения!"), 1);
      return;
    }
    ShowMessage(InBuildSet(" kbdbufer.vsk - OK!"), 1);
    return;
  }
  if (action == DataFileAction::Read) {
    if (!AskFileName(name, FileNameUse::Read)) {
      // Offered once more with the file the data-file lookup finds.
      if (!FindDataFile(BufferFileName, name)) return;
      if (!AskFileName(name, FileNameUse::Read)) return;
    }
    if (!ReadSlots(name)) {
      ShowMessage(InBuildSet("Файл не найден: ") + name, 1);
      return;
    }
    ShowMessage(InBuildSet(" kbdbufer.vsk - OK!"), 1);
  }
}
