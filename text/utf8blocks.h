// UTF-8 converted in blocks where the processor can (x86-64): the common
// blocks of a Russian text, ASCII and the Cyrillic block U+0400..U+047F, a
// block of bytes at a time.  Everything else is left to the byte-by-byte
// conversion in text/codepage.cpp, which is the reference: the blocks give
// exactly its result for what they take.
#pragma once
#include <cstddef>
#include <cstdint>

// The ways of converting, from the slowest.  Ssse3 (every x86-64 processor
// but the oldest; plain SSE2 has no byte shuffle) and Avx2 take 16 and 32
// bytes a step, with the letters looked up in the table 16 bytes at a time
// (four look-ups when all are А to я, eight otherwise) and the bytes
// squeezed 8 at a time by byte shuffles; Avx512 (VBMI2) takes 64 bytes a
// step with one look-up in the whole table and one instruction that
// squeezes.
enum class Utf8Blocks : uint8_t { Off, Ssse3, Avx2, Avx512 };

// Whether a way runs on this processor (Off always does); the fastest of
// them; and the one in use, the fastest unless changed (the tests and the
// bench try each).
bool Utf8BlocksAvailable(Utf8Blocks way);
Utf8Blocks BestUtf8Blocks();
extern Utf8Blocks UseUtf8Blocks;
const char* Utf8BlocksName(Utf8Blocks way);

// Decoding with UseUtf8Blocks, from in[i] on: converts whole blocks of W
// bytes (W + 1 when the last one is a lead byte; W is 16, 32 or 64) that
// hold only ASCII and two-byte sequences of U+0400..U+047F whose character
// the set holds, and stops before the first other block or when fewer than
// W + 1 bytes are left.  i and o advance; out may be in (the conversion is
// then made in place: o never passes i) or must have room for 64 bytes past
// every o it reaches below n.  fromCyrillic[(lead & 1) << 6 | (cont & 0x3F)]
// is the set's byte for the character, or 0 where the set lacks it.
// Returns whether a sequence was converted.
bool DecodeUtf8Blocks(const char* in, size_t n, char* out, size_t& i, size_t& o, const uint8_t* fromCyrillic);

// Encoding with UseUtf8Blocks, from in[i] on: converts 32 bytes at a time
// (Avx512: the rest of in at the end) or 16 (Ssse3 and Avx2: stops when
// fewer are left) and stops before the first block holding a byte whose character
// takes three bytes.  lead[b - 0x80] and
// cont[b - 0x80] are the two bytes of a byte b >= 0x80 of the set, lead 0
// when it takes three.  out needs room for 64 bytes past every o it reaches.
void EncodeUtf8Blocks(const char* in, size_t n, char* out, size_t& i, size_t& o, const uint8_t* lead,
                      const uint8_t* cont);
