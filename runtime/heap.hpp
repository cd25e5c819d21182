// The tracked heap: malloc'd blocks kept on one list so that the runtime's
// exit path frees them all.  Exhaustion is fatal (runtime error 94); no
// function here ever returns a null pointer for a non-zero request.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qor::heap {

// Every block starts with this header; the caller's bytes follow it.  Live
// blocks form one doubly linked list, newest first, whose head is kept in
// the runtime record.
struct Block {
    Block*   previous;
    Block*   next;
    uint32_t size;   // bytes asked by the caller
    uint32_t zero;
};
static_assert(sizeof(Block) == 16, "a heap block header is four 32-bit words");

void* alloc(size_t size);
void* alloc_zero(size_t size);
void  free(void* p);
void* realloc(void* p, size_t size);   // null allocates; size 0 frees and answers null
void  free_all();
void  stats();                          // prints the block list through the low-level printer

// Introspection for statistics and tests.
size_t block_count();
size_t bytes_asked();

}  // namespace qor::heap
