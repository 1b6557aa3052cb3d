// The commands of the main loop and the key codes that run them.  Each build
// binds the same commands; many codes differ between builds because the
// console delivered them for Alt and Ctrl combinations whose character
// depends on the character set and the keyboard map.  The commands and the
// codes all builds share are listed in builds/commands.def, each build's
// own codes in its data file (builds/koi8.cpp and the like).
#pragma once
#include <cstddef>
#include <cstdint>

#include "builds/build.h"

enum class Cmd : uint8_t {
#define VESK_COMMAND(id, ...) id,
#include "builds/commands.def"
#undef VESK_COMMAND
};

inline constexpr size_t kCmdCount = 0
#define VESK_COMMAND(...) +1
#include "builds/commands.def"
#undef VESK_COMMAND
    ;

// A short English name ("delete line"); "?" for a value out of range.
const char* CommandName(Cmd c);

// The binding of a whole 32-bit key code in the build, or nullptr.
// BuildConfig::Bindings must be sorted by code (the four builds' tables are).
const Binding* FindBinding(const BuildConfig& b, uint32_t code);

// The slot-th code (0 first) that runs c in the build: the shared codes of
// builds/commands.def first, then the build's own, in their order (help: F1's
// code, then Alt+H's); 0 when there is none.
uint32_t CodeOf(const BuildConfig& b, Cmd c, int slot = 0);
