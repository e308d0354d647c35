// Host-only additions to the memory helpers, for tests that walk every
// out-of-memory path of their callers.
#pragma once

#include <stdint.h>

// Makes the `n`-th allocation from now on fail, both of its tries; the
// others succeed. 0 turns the failure off.
void FailNthAllocation(uint32_t n);

// Allocations made (or failed) since the last FailNthAllocation call.
uint32_t AllocationsSinceReset();
