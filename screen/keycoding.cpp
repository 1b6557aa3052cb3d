#include "screen/keycoding.h"

KeyCoding TermKeyCoding;

uint32_t KeyCodeOf(const PhysKey& k) { return TermKeyCoding.CodeFor ? TermKeyCoding.CodeFor(k) : 0; }
