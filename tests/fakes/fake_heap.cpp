// fake_heap.cpp -- malloc and free of the statically linked code, wrapped (-Wl,--wrap) to log them and fail on demand.
#include "tests/fakes/fake_heap.h"

#include <cstddef>
#include <cstdint>

#include "tests/fakes/call_log.h"

namespace fake {

HeapState& heap()
{
    static HeapState* state = new HeapState; // never destroyed: frees may arrive during exit
    return *state;
}

void resetHeap()
{
    heap().recording = false;
    heap().allocations = 0;
    heap().failing.clear();
}

} // namespace fake

extern "C" {

void* __real_malloc(size_t size);
void __real_free(void* block);

void* __wrap_malloc(size_t size)
{
    fake::HeapState& heap = fake::heap();
    if (!heap.recording)
        return __real_malloc(size);
    long number = heap.allocations++;
    void* block = heap.failing.count(number) ? nullptr : __real_malloc(size);
    fake::log().record("malloc", {(double)size, (double)(uintptr_t)block});
    return block;
}

void __wrap_free(void* block)
{
    if (fake::heap().recording)
        fake::log().record("free", {(double)(uintptr_t)block});
    __real_free(block);
}

} // extern "C"
