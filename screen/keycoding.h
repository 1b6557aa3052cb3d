// Which 32-bit code a physical key delivers is the build's business: the
// terminal layer decodes bytes into physical keys and asks KeyCoding for
// each key's code.  The program fills it in when it picks its build, before
// a terminal is opened.
#pragma once
#include <cstdint>

#include "base/charset.h"
#include "screen/keydecode.h"

struct KeyCoding {
  Charset Set = Charset::Koi8;  // the set typed characters are decoded into
  // The code of a key; 0: the key delivers nothing.
  uint32_t (*CodeFor)(const PhysKey& k) = nullptr;
};
extern KeyCoding TermKeyCoding;

// The code of k by TermKeyCoding; 0 while no build has filled it in.
uint32_t KeyCodeOf(const PhysKey& k);
