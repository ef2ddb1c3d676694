// fake_heap.h -- the plug-in's malloc and free under test: logged, and any chosen allocation made to fail.
#pragma once

#include <set>

namespace fake {

struct HeapState {
    bool recording = false;   // log and count only while a test runs
    long allocations = 0;     // mallocs seen while recording, the failed ones included
    std::set<long> failing;   // numbers (from 0) of the allocations that return null
};

HeapState& heap();
void resetHeap();

} // namespace fake
