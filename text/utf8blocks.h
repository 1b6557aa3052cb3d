// UTF-8 converted 64 bytes at a time, where the processor can (x86-64 with
// AVX-512 VBMI2): the common blocks of a Russian text, ASCII and the Cyrillic
// block U+0400..U+047F, in a few instructions each.  Everything else is left
// to the byte-by-byte conversion in text/codepage.cpp, which is the
// reference: the blocks give exactly its result for what they take.
#pragma once
#include <cstddef>
#include <cstdint>

// Whether the block conversions run on this processor.  UseUtf8Blocks is
// that, unless turned off (the tests compare both ways).
bool Utf8BlocksAvailable();
extern bool UseUtf8Blocks;

// Decoding, from in[i] on: converts whole blocks of 64 bytes (65 when the
// last one is a lead byte) that hold only ASCII and two-byte sequences of
// U+0400..U+047F whose character the set holds, and stops before the first
// other block or when fewer than 65 bytes are left.  i and o advance; out
// may be in (the conversion is then made in place: o never passes i) or
// must have room for 64 bytes past every o it reaches below n.
// fromCyrillic[(lead & 1) << 6 | (cont & 0x3F)] is the set's byte for the
// character, or 0 where the set lacks it.  Returns whether a sequence was
// converted.
bool DecodeUtf8Blocks(const char* in, size_t n, char* out, size_t& i, size_t& o, const uint8_t* fromCyrillic);

// Encoding, from in[i] on: converts 32 bytes at a time (the rest of in at the
// end) and stops before the first block holding a byte whose character
// takes three bytes.  lead[b - 0x80] and cont[b - 0x80] are the two bytes of
// a byte b >= 0x80 of the set, lead 0 when it takes three.  out needs room
// for 64 bytes past every o it reaches.
void EncodeUtf8Blocks(const char* in, size_t n, char* out, size_t& i, size_t& o, const uint8_t* lead,
                      const uint8_t* cont);
