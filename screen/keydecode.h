// Turns the bytes a terminal sends into physical keys.  A pure function of
// the bytes and a clock, so split reads and the lone-Esc timeout are tested
// without a terminal.  Which 32-bit code a physical key delivers is the
// build's business (screen/keycoding.h).
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "base/charset.h"

enum KeyId : uint8_t {
  K_None = 0,
  K_Char,  // a character key: PhysKey::Ch holds it in the build's set
  K_F1, K_F2, K_F3, K_F4, K_F5, K_F6, K_F7, K_F8, K_F9, K_F10, K_F11, K_F12,
  K_Home, K_Up, K_PgUp, K_Left, K_Right, K_End, K_Down, K_PgDn, K_Insert, K_Delete,
  K_Esc, K_Tab, K_Enter, K_Backspace,
  K_Paste,  // a bracketed paste ended: TakePaste holds its text
};

enum KeyMod : uint8_t {
  M_Shift = 1,
  M_Alt = 2,
  M_Ctrl = 4,
  M_EscAlt = 8,  // Esc pressed and at once followed by an Alt key
};

struct PhysKey {
  KeyId Id = K_None;
  uint8_t Mods = 0;
  uint8_t Ch = 0;  // K_Char: the character (Ctrl+letter: the lower-case letter)
  bool operator==(const PhysKey&) const = default;
  auto operator<=>(const PhysKey&) const = default;
};

// How characters arrive from the terminal.
enum class InputEncoding : uint8_t { Utf8, Koi8, Cp866 };

// The text of one bracketed paste in the build's set: line ends (CR, LF,
// CR LF) are '\n', tabs stay; a character the set lacks, and any other
// control character, is '?' and counted in Missing.
struct PastedText {
  std::string Text;
  int Missing = 0;
};

class KeyDecoder {
 public:
  // internal: the build's set, into which characters are translated.
  void Configure(Charset internal, InputEncoding enc, int escTimeoutMs);
  // A key sequence the terminal's description lists (terminfo's key
  // capabilities); these take precedence over the built-in forms.
  void AddSequence(std::string_view bytes, PhysKey key);
  // The byte the terminal sends for Backspace (terminfo's kbs); the other of
  // 08 and 7F then is Ctrl+Backspace.
  void SetBackspaceByte(uint8_t b) { BackspaceByte = b; }

  void Feed(std::string_view bytes, int64_t nowMs);
  // Takes one decoded key.  Returns false when nothing is decidable yet.
  bool Next(PhysKey& out, int64_t nowMs);
  // When pending bytes become decidable by the timeout alone, or -1.
  int64_t Deadline() const;
  bool Pending() const { return !Buf.empty() || Pasting; }
  int EscTimeoutMs() const { return EscTimeout; }
  // The text of the paste a K_Paste key announced (the oldest one not
  // taken yet).
  PastedText TakePaste();
  // The terminal answered the keyboard-protocol query ("CSI ? flags u")
  // since the last call.
  bool TakeProtocolReply();
  // The terminal answered the device-attributes query ("CSI ? ... c")
  // since the last call.
  bool TakeAttributesReply();

 private:
  enum class Parse { Key, Skip, NeedMore, ProtocolReply, AttributesReply };
  Parse Decode(size_t& used, PhysKey& out, bool final) const;
  Parse DecodeEscape(size_t& used, PhysKey& out, bool final) const;
  Parse DecodeCsi(size_t start, size_t& used, PhysKey& out) const;
  Parse DecodeChar(size_t start, size_t& used, PhysKey& out) const;
  bool UnicodeKey(int code, int shifted, uint8_t mods, PhysKey& out) const;
  bool ContinuePaste(int64_t nowMs);
  PastedText ConvertPaste(std::string_view raw) const;

  struct Seq {
    std::string Bytes;
    PhysKey Key;
  };
  std::vector<Seq> Sequences;
  std::string Buf;
  // A bracketed paste in progress: its raw bytes so far.
  bool Pasting = false;
  std::string PasteRaw;
  std::deque<PastedText> Pastes;
  bool ProtocolReplied = false;
  bool AttributesReplied = false;
  int64_t LastFeedMs = 0;
  int EscTimeout = 35;
  Charset Internal = Charset::Koi8;
  InputEncoding Enc = InputEncoding::Utf8;
  uint8_t BackspaceByte = 0x7F;
};

// Symbolic key notation shared by tests, key tables and the docs:
// "<F2>", "<C-y>", "<A-w>", "<S-Up>", "<C-A-Down>", "<Esc>", "<Tab>",
// "<Enter>", "<BS>", "<Space>", "<lt>" for '<', "<EscAlt-x>", and plain text
// (UTF-8) for character keys.  Characters the set lacks make parsing fail.
bool ParseKeyNotation(std::string_view text, Charset set, std::vector<PhysKey>& out);
std::string KeyName(const PhysKey& k, Charset set);  // the notation of one key
