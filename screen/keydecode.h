// Turns the bytes a terminal sends into physical keys.  A pure function of
// the bytes and a clock, so split reads and the lone-Esc timeout are tested
// without a terminal.  Which 32-bit code a physical key delivers is the
// build's business (builds/keymap.h).
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "builds/build.h"

enum KeyId : uint8_t {
  K_None = 0,
  K_Char,  // a character key: PhysKey::Ch holds it in the build's set
  K_F1, K_F2, K_F3, K_F4, K_F5, K_F6, K_F7, K_F8, K_F9, K_F10, K_F11, K_F12,
  K_Home, K_Up, K_PgUp, K_Left, K_Right, K_End, K_Down, K_PgDn, K_Insert, K_Delete,
  K_Esc, K_Tab, K_Enter, K_Backspace,
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
  bool Pending() const { return !Buf.empty(); }
  int EscTimeoutMs() const { return EscTimeout; }

 private:
  enum class Parse { Key, Skip, NeedMore };
  Parse Decode(size_t& used, PhysKey& out, bool final) const;
  Parse DecodeEscape(size_t& used, PhysKey& out, bool final) const;
  Parse DecodeCsi(size_t start, size_t& used, PhysKey& out) const;
  Parse DecodeChar(size_t start, size_t& used, PhysKey& out) const;

  struct Seq {
    std::string Bytes;
    PhysKey Key;
  };
  std::vector<Seq> Sequences;
  std::string Buf;
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
