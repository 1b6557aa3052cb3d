// Memory for stored lines.  A text of 24,575 lines is as many small blocks;
// taking them from large chunks with a free list per size class (multiples
// of 8 bytes) costs far less than one allocation each.  Chunks are filled
// in order and only the pages in use are touched, so the memory the process
// holds follows the text's size.  Blocks are never given back to the
// system (the editor frees lines only to reuse the memory).
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t MaxLineBlock = 264;  // the largest block a line needs

// A block of at least n bytes (1..MaxLineBlock); give it back with the same n.
uint8_t* TakeLineBlock(size_t n);
void GiveLineBlock(uint8_t* block, size_t n);
// The bytes a block taken for n bytes really has: a block taken for n may
// be refilled with m bytes in place when both give the same.
size_t LineBlockCapacity(size_t n);

// Memory for a large table that is filled at once (the line table): its
// pages are mapped in one call rather than faulted in one by one.
void* TakeMappedBlock(size_t bytes);
void GiveMappedBlock(void* p, size_t bytes);

template <class T>
struct MappedAllocator {
  using value_type = T;
  MappedAllocator() = default;
  template <class U>
  MappedAllocator(const MappedAllocator<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(TakeMappedBlock(n * sizeof(T))); }
  void deallocate(T* p, size_t n) { GiveMappedBlock(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const MappedAllocator<U>&) const { return true; }
};
