// The tracked heap: malloc'd blocks kept on one list so that the runtime's
// exit path frees them all.  Exhaustion is fatal (runtime error 94); no
// function here ever returns a null pointer for a non-zero request.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qor::heap {

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
