#include "text/linepool.h"

#include <sys/mman.h>

#include <array>
#include <cstdlib>
#include <new>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define VESK_PLAIN_ALLOCATION 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VESK_PLAIN_ALLOCATION 1
#endif
#endif

#ifdef VESK_PLAIN_ALLOCATION
// Under AddressSanitizer every block is its own allocation, so that an
// overrun of a line is caught at its first byte.
void* TakeMappedBlock(size_t bytes) { return ::operator new(bytes); }
void GiveMappedBlock(void* p, size_t) { ::operator delete(p); }
uint8_t* TakeLineBlock(size_t n) { return new uint8_t[n]; }
void GiveLineBlock(uint8_t* block, size_t) { delete[] block; }
size_t LineBlockCapacity(size_t n) { return n; }
#else

namespace {

// Chunks of 256 KiB: a large text takes a few of them and a small one does
// not hold more than it needs.
constexpr size_t ChunkSize = size_t(256) << 10;
constexpr size_t Classes = MaxLineBlock / 8 + 1;

size_t ClassOf(size_t n) {
  if (n == 0 || n > MaxLineBlock) n = MaxLineBlock;
  return (n + 7) / 8;
}

struct Pool {
  std::array<std::vector<uint8_t*>, Classes> Free;  // by size class
  uint8_t* Chunk = nullptr;
  size_t Left = 0;
};

Pool& ThePool() {
  static Pool* pool = new Pool;  // lives as long as the process
  return *pool;
}

// A chunk is filled as a file loads; its pages are mapped in one go, which
// costs far less than a page fault for each.
uint8_t* NewChunk() {
  void* p = mmap(nullptr, ChunkSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  return static_cast<uint8_t*>(p);
}

}  // namespace

void* TakeMappedBlock(size_t bytes) {
  if (bytes < (size_t(64) << 10)) return ::operator new(bytes);
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  return p;
}

void GiveMappedBlock(void* p, size_t bytes) {
  if (p == nullptr) return;
  if (bytes < (size_t(64) << 10)) ::operator delete(p);
  else munmap(p, bytes);
}

uint8_t* TakeLineBlock(size_t n) {
  const size_t c = ClassOf(n);
  const size_t bytes = c * 8;
  Pool& pool = ThePool();
  auto& free = pool.Free[c];
  if (!free.empty()) {
    uint8_t* b = free.back();
    free.pop_back();
    return b;
  }
  if (pool.Left < bytes) {
    pool.Chunk = NewChunk();
    pool.Left = ChunkSize;
  }
  uint8_t* b = pool.Chunk;
  pool.Chunk += bytes;
  pool.Left -= bytes;
  return b;
}

size_t LineBlockCapacity(size_t n) { return ClassOf(n) * 8; }

void GiveLineBlock(uint8_t* block, size_t n) {
  if (block == nullptr) return;
  ThePool().Free[ClassOf(n)].push_back(block);
}

#endif
