// Shared set-up for the tests of the memory manager and the collector: a
// fresh manager per test, with start-up finished (collection on, and the
// stress mode of QOR_GC_STRESS armed); and the same with a few datatypes
// for the tests that need a partial registry.
//
// The machine-stack scan is bounded just above the test body's frame (the
// body runs at the depth of SetUp), as start-up bounds it above main in the
// program: the test runner's frames above hold arbitrary words that could
// pass for pointers and keep garbage alive.
#pragma once
#include "datatypes/datatype.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/none.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/unset.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace qor::testing {

// Zeroes 64 KB of dead stack below the caller.
[[gnu::noinline, gnu::no_sanitize_address]] inline void scrub_below() {
    volatile uint8_t pad[65536];
    for (uint32_t i = 0; i < sizeof pad; i++) pad[i] = 0;
}

class MemoryFixture : public ::testing::Test {
protected:
    void SetUp() override {
        saved_base_ = gc::stack_base();
        gc::set_stack_base(static_cast<uint8_t*>(__builtin_frame_address(0)) + 256);
        memory::init();
        gc::finish_startup();
        // The test body's frame will lie where earlier tests left their
        // words: start it clean.
        scrub_below();
    }
    // For assertions on what a collection reclaims: only precise roots count
    // (a stray stack word may legitimately keep garbage alive).
    static void collect_precise() {
        gc::set_stack_scan(false);
        gc::collect();
        gc::set_stack_scan(true);
    }
    void TearDown() override {
        gc::set_stack_scan(true);
        memory::release_all();
        gc::set_stack_base(saved_base_);
    }

private:
    void* saved_base_ = nullptr;
};

// Below start-up with a few datatypes: the memory manager, the core types
// (datatype!, unset!, none!, logic!) and those register_types() adds, and
// an empty symbol table.  For the tests whose cases need types left
// unregistered, symbol ids counted from an empty table, or the fixed words
// made from scratch; every other test boots through start-up
// (runtime_fixture.hpp).
class CoreTypesFixture : public MemoryFixture {
protected:
    void SetUp() override {
        MemoryFixture::SetUp();
        // Nothing that an earlier test of the process registered stays.
        registry::tables() = RegistryTables{};
        registry::set_word_factory(nullptr);
        number_hooks::get() = number_hooks::Hooks{};
        datatype::init();
        unset::init();
        none::init();
        logic::init();
        register_types();
        symbol::init();
        symbol::make_table();
        symbol::make_index();
    }
    virtual void register_types() {}
};

inline Cell block_cell(Node node, uint32_t type = TYPE_BLOCK) {
    Cell c{type, 0, 0, 0};
    set_cell_node(&c, node);
    return c;
}

[[gnu::noinline]] inline Cell new_block(uint32_t room) { return block_cell(memory::alloc_cells(room)); }

inline Cell integer_cell(int32_t v) { return Cell{TYPE_INTEGER, 0, uint32_t(v), 0}; }

[[gnu::noinline]] inline void append(Cell* block, const Cell& value) {
    Cell copy = value;  // `value` may live in the buffer that grows
    *block_buffer::alloc_tail(block) = copy;
}

// A string! of bytes (unit 1) holding `text`.
[[gnu::noinline]] inline Cell new_string(const char* text) {
    uint32_t n = uint32_t(std::strlen(text));
    Node node = memory::alloc_bytes(n);
    SeriesBuffer* s = buffer_of(node);
    std::memcpy(s->head, text, n);
    s->tail = s->head + n;
    return block_cell(node, TYPE_STRING);
}

[[gnu::noinline]] inline std::string text_of(const Cell& c) {
    SeriesBuffer* s = buffer_of(cell_node(&c));
    return std::string(reinterpret_cast<char*>(s->head), s->byte_length());
}

// A node still names its buffer (it was not freed and relinked).
[[gnu::noinline]] inline bool node_alive(Node n) {
    SeriesBuffer* s = buffer_of(n);
    return s && s->node == n && (s->flags & SERIES_LIVE);
}

inline uint32_t nodes_in_use() {
    uint32_t n = 0;
    for (NodeFrame* f = memory::record->node_first; f; f = f->next) n += f->used;
    return n;
}

inline uint32_t count_node_frames() {
    uint32_t n = 0;
    for (NodeFrame* f = memory::record->node_first; f; f = f->next) n++;
    return n;
}

inline uint32_t count_series_frames() {
    uint32_t n = 0;
    for (SeriesFrame* f = memory::record->series_first; f; f = f->next) n++;
    return n;
}

// Stale words of earlier calls in the dead stack can pass for pointers in the
// conservative scan and keep garbage alive.  collect_clean() zeroes 64 KB
// below the caller before it collects; run_deep() runs a function 80 KB
// further down, below where any later collect_clean() scan begins, for code
// that walks data the test expects to die.

// Where a buffer lies relative to the frame payloads, as a plain offset
// (a tested value held as an address would pin the buffer).
[[gnu::noinline]] inline int32_t frame_index_of(const Cell& c) {
    uint8_t* b = reinterpret_cast<uint8_t*>(buffer_of(cell_node(&c)));
    int32_t i = 0;
    for (SeriesFrame* f = memory::record->series_first; f; f = f->next, i++)
        if (b >= f->payload() && b < f->end) return i;
    return -1;
}
[[gnu::noinline]] inline uint32_t offset_in_frame(const Cell& c) {
    uint8_t* b = reinterpret_cast<uint8_t*>(buffer_of(cell_node(&c)));
    for (SeriesFrame* f = memory::record->series_first; f; f = f->next)
        if (b >= f->payload() && b < f->end) return uint32_t(b - f->payload());
    return 0xFFFFFFFFu;
}

[[gnu::noinline, gnu::no_sanitize_address]] inline void collect_clean() {
    volatile uint8_t pad[65536];
    for (uint32_t i = 0; i < sizeof pad; i++) pad[i] = 0;
    gc::collect();
    pad[0] = 0;
}

template <class F>
[[gnu::noinline, gnu::no_sanitize_address]] void run_deep(F f) {
    volatile uint8_t pad[81920];
    for (uint32_t i = 0; i < sizeof pad; i++) pad[i] = 0;
    f();
    pad[0] = 0;
}

}  // namespace qor::testing
