// The tracked heap: the system heap behind a list of every live block.
#include "runtime/heap.hpp"

#include "runtime/output_hooks.hpp"
#include "runtime/runtime_error.hpp"
#include "runtime/runtime_record.hpp"

#include <cstdlib>
#include <cstring>

namespace qor::heap {

static Block*& head() { return runtime::record->heap_head; }

static Block* block_of(void* p) { return static_cast<Block*>(p) - 1; }

[[noreturn]] static void out_of_memory(const void* frame, const void* caller) {
    runtime::error(runtime::ERR_OUT_OF_MEMORY, runtime::record_fault_position(frame, caller));
}

// size + header, or 0 when that does not fit in a size_t.
// The header records sizes in 32 bits.
static_assert(sizeof(size_t) == 4);

static size_t total_size(size_t size) {
    size_t total;
    if (__builtin_add_overflow(size, sizeof(Block), &total)) return 0;
    return total;
}

static void link_front(Block* b) {
    b->previous = nullptr;
    b->next = head();
    if (b->next) b->next->previous = b;
    head() = b;
}

static void unlink(Block* b) {
    if (b->previous) b->previous->next = b->next;
    else head() = b->next;
    if (b->next) b->next->previous = b->previous;
}

// A new block linked at the front, or null when the system heap has none.
static Block* take(size_t size) {
    size_t total = total_size(size);
    Block* b = total ? static_cast<Block*>(std::malloc(total)) : nullptr;
    if (!b) return nullptr;
    b->size = uint32_t(size);
    b->zero = 0;
    link_front(b);
    return b;
}

// noinline keeps the return address that of the caller, which an
// out-of-memory report names.
__attribute__((noinline)) void* alloc(size_t size) {
    Block* b = take(size);
    if (!b) out_of_memory(__builtin_frame_address(0), __builtin_return_address(0));
    return b + 1;
}

__attribute__((noinline)) void* alloc_zero(size_t size) {
    Block* b = take(size);
    if (!b) out_of_memory(__builtin_frame_address(0), __builtin_return_address(0));
    std::memset(b + 1, 0, size);
    return b + 1;
}

void free(void* p) {
    if (!p) return;
    Block* b = block_of(p);
    unlink(b);
    std::free(b);
}

__attribute__((noinline)) void* realloc(void* p, size_t size) {
    if (!p) {
        Block* b = take(size);
        if (!b) out_of_memory(__builtin_frame_address(0), __builtin_return_address(0));
        return b + 1;
    }
    if (size == 0) {
        free(p);
        return nullptr;
    }
    Block* old = block_of(p);
    size_t total = total_size(size);
    Block* b = total ? static_cast<Block*>(std::realloc(old, total)) : nullptr;
    if (!b) out_of_memory(__builtin_frame_address(0), __builtin_return_address(0));
    // The block may have moved: its neighbours point at it again.
    if (b->previous) b->previous->next = b;
    else head() = b;
    if (b->next) b->next->previous = b;
    b->size = uint32_t(size);
    return b + 1;
}

void free_all() {
    Block* b = head();
    head() = nullptr;
    while (b) {
        Block* next = b->next;
        std::free(b);
        b = next;
    }
}

void stats() {
    using namespace system_print;
    const TypedRecord title[] = {string("-- Heap-allocations --")};
    const TypedRecord columns[] = {string("Asked   Real")};
    print_line(1, title);
    print_line(1, columns);
    uint32_t sum = 0;
    for (Block* b = head(); b; b = b->next) {
        const TypedRecord line[] = {integer(int32_t(b->size)), string("\t"),
                                    integer(int32_t(b->size + sizeof(Block)))};
        print_line(3, line);
        sum += b->size;
    }
    const TypedRecord total[] = {string("-- Sum: "), integer(int32_t(sum)), string(" --")};
    print_line(3, total);
}

size_t block_count() {
    size_t n = 0;
    for (Block* b = head(); b; b = b->next) ++n;
    return n;
}

size_t bytes_asked() {
    size_t n = 0;
    for (Block* b = head(); b; b = b->next) n += b->size;
    return n;
}

}  // namespace qor::heap
