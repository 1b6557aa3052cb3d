// Memory for stored lines.  A text of 24,575 lines is as many small blocks
// of up to 256 bytes; taking them from large chunks with a free list per
// size costs far less than one allocation each, and the chunks ask the
// kernel for huge pages where it has them, so that loading a big file does
// not spend its time in page faults.  Blocks are never given back to the
// system (the editor frees lines only to reuse the memory).
#pragma once
#include <cstddef>
#include <cstdint>

// A block of n bytes (1..256).
uint8_t* TakeLineBlock(size_t n);
void GiveLineBlock(uint8_t* block, size_t n);
