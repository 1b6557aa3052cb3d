// The editor's own heap budget.  The memory-short paths (refusing a line,
// reloading a file in compact form, refusing to start) are decided against
// this budget rather than against the machine, so they behave the same
// everywhere and can be tested.  VESK_HEAP_BUDGET (bytes, or with a K or M
// suffix) overrides the default of 64 MiB.
#pragma once
#include <cstddef>

struct HeapState {
  size_t Budget = size_t(64) << 20;
  size_t Used = 0;
};
extern HeapState Heap;

void ResetHeap();          // budget from the environment, nothing used
size_t LargestFreeBlock();  // what is left of the budget
// Accounts for a block; false (and nothing accounted) when it does not fit.
bool HeapTake(size_t bytes);
void HeapGive(size_t bytes);
