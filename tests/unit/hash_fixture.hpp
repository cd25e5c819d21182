// Shared set-up for the hash table and symbol tests: a fresh memory manager,
// the datatypes whose keys the tests use, an empty symbol table, and the
// collector armed (QOR_GC_STRESS applies).
#pragma once
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/none.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/string_actions.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/unset.hpp"
#include "runtime/collector.hpp"
#include "datatypes/hash_table.hpp"
#include "runtime/memory.hpp"
#include "datatypes/murmur3.hpp"
#include "runtime/series.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace qor::testing {

class HashFixture : public ::testing::Test {
protected:
    void SetUp() override {
        memory::init();
        datatype::init();
        unset::init();
        none::init();
        logic::init();
        series::init();
        block::init();
        string_actions::init();
        integer::init();
        symbol::init();
        symbol::make_table();
        symbol::make_index();
        gc::finish_startup();
    }
    void TearDown() override { memory::release_all(); }
};

inline Cell int_cell(int32_t v) { return Cell{TYPE_INTEGER, 0, uint32_t(v), 0}; }

// A block-kind cell over a new buffer with room for `room` cells.
inline Cell fresh_block(uint32_t room, uint32_t type = TYPE_BLOCK) {
    return Cell{type, 0, reinterpret_cast<uint32_t>(memory::alloc_cells(room)), 0};
}

inline void append_cell(Cell* block, Cell value) {
    *block_buffer::alloc_tail(block) = value;  // `value` is a copy: the buffer may move
}

inline Cell* cell_at(const Cell* block, int32_t i) { return cells_head(buffer_of(cell_node(block))) + i; }
inline int32_t cell_count(const Cell* block) { return int32_t(buffer_of(cell_node(block))->length()); }
inline Node table_of(const Cell* value) { return reinterpret_cast<Node>(value->data3); }

// A string value of unit 1, 2 or 4 holding the code points of `text`.
inline Cell text_cell(const std::u32string& text, uint32_t unit, uint32_t type = TYPE_STRING) {
    Node node = memory::alloc_units(uint32_t(text.size()) + 1, unit);
    SeriesBuffer* s = buffer_of(node);
    for (char32_t c : text) {
        uint32_t cp = uint32_t(c);
        std::memcpy(s->tail, &cp, unit);  // little-endian: the low bytes
        s->tail += unit;
    }
    return Cell{type, 0, reinterpret_cast<uint32_t>(node), 0};
}

}  // namespace qor::testing
