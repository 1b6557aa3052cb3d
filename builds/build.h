// The four programs differ only in the data collected here: which character
// set the text and the interface use, which keyboard codes the console
// delivered for the Alt and Ctrl combinations, and the texts that depend on
// the character set.  A program picks one BuildConfig at start and keeps it.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "base/charset.h"

// Every command of the bindings table.  The main loop dispatches on these;
// the tables below say which 32-bit key code runs which command per build.
enum class Cmd : uint8_t;

struct Binding {
  uint32_t Code;
  Cmd Command;
  uint8_t Slot;  // which of the command's codes (0 first): the variant the key runs
};

// One physical key, in the symbolic notation of ParseKeyNotation
// ("<A-w>", "<C-Left>", "<S-F7>"), and the code it delivers in a build.
struct KeyMapEntry {
  const char* Key;
  uint32_t Code;
};

// Keys of the prompt line whose codes differ by build (low 16 bits; 0: none).
struct PromptKeyCodes {
  uint16_t LineMark[3];
  uint16_t PositionMark[2];
  uint16_t Lengthen, Shorten;
  uint16_t KeyCode;
  uint16_t WriteHistory;
  uint16_t RusLayout;
};

struct BuildConfig {
  const char* Name;  // program name, "vesk-koi8"
  bool koi8r;        // text and interface in KOI8-R (else code page 866)
  bool rusKBD;       // Russian-layout key codes
  Charset Set;       // Charset::Koi8 or Charset::Cp866
  uint8_t FillChar;  // character of the idle message line
  std::span<const KeyMapEntry> KeyMap;  // keys whose code is not their family code
  std::span<const Binding> Bindings;    // the whole bindings table of the build
  // Questions: the key that answers 1 and the keys that abandon a question.
  uint32_t AskYesKey = 0;
  uint32_t AskAbandonKeys[2] = {0, 0};
  uint8_t BarByte = 0;  // the vertical line between the answers of a question
  PromptKeyCodes PromptKeys{};
};

// The help file of a build, in the build's own character set: the KOI8-R
// text for the KOI8-R programs, the same text in code page 866 (made at
// build time) for the others.
inline const char* HelpFileName(const BuildConfig& b) { return b.koi8r ? "veskinfo.hlp" : "vesk866.hlp"; }

extern const BuildConfig BuildKoi8;
extern const BuildConfig Build866;
extern const BuildConfig Build866Rkbd;
extern const BuildConfig BuildKoi8Rkbd;

// The configuration of the running program (BuildKoi8Rkbd until selected).
const BuildConfig& CurrentBuild();
void SelectBuild(const BuildConfig& b);

// All four, for tests and tools that walk every build.
std::span<const BuildConfig* const> AllBuilds();
const BuildConfig* FindBuild(std::string_view name);
