#include "text/heap.h"

#include <cstdlib>
#include <cstring>

HeapState Heap;

namespace {
size_t BudgetFromEnvironment() {
  const char* e = std::getenv("VESK_HEAP_BUDGET");
  if (e == nullptr || *e == '\0') return size_t(64) << 20;
  char* end = nullptr;
  unsigned long long v = std::strtoull(e, &end, 10);
  if (end && (*end == 'k' || *end == 'K')) v <<= 10;
  if (end && (*end == 'm' || *end == 'M')) v <<= 20;
  if (v > (1ull << 40)) v = 1ull << 40;
  return size_t(v);
}
}  // namespace

void ResetHeap() {
  Heap.Budget = BudgetFromEnvironment();
  Heap.Used = 0;
}

size_t LargestFreeBlock() { return Heap.Used >= Heap.Budget ? 0 : Heap.Budget - Heap.Used; }

bool HeapTake(size_t bytes) {
  if (bytes > LargestFreeBlock()) return false;
  Heap.Used += bytes;
  return true;
}

void HeapGive(size_t bytes) { Heap.Used = bytes > Heap.Used ? 0 : Heap.Used - bytes; }
