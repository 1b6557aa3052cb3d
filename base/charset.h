// The character sets a text can be in.  A program keeps its text and its
// interface in one of the first two; 1251 is only ever a file's code page.
#pragma once
#include <cstdint>

enum class Charset : uint8_t { Koi8, Cp866, Cp1251 };
