// Shared set-up for the series, block, path and triple tests: a fresh memory
// manager, the datatypes the tests put in blocks, an empty symbol table, the
// argument stack kept reachable by the collector, and the collector armed
// (QOR_GC_STRESS applies).
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/block_actions.hpp"
#include "datatypes/char.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/call.hpp"
#include "evaluator/lexer.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/path.hpp"
#include "datatypes/series.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/string_actions.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/triple.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "runtime/memory.hpp"
#include "value_support.hpp"

namespace qor::test {

// The stand-in argument stack is not a collector root; the evaluator's
// stack will be.  Until then the tests mark the cells pushed since the call
// was opened.
inline Cell* seam_bottom = nullptr;
inline void mark_seam_stack() {
    if (!seam_bottom) return;
    Cell* top = stack::push_slot();
    stack::pop(1);
    gc::mark_cells(seam_bottom, top);
}

// Opens a fresh call: the next pushed cell is the arguments base.
inline void open_call() {
    stack::seam_start_call();
    seam_bottom = stack::arguments_base();
}

class BlockFixture : public ::testing::Test {
protected:
    void SetUp() override {
        memory::init();
        cycle_stack::reset();
        init_core_types();
        series::init();
        block::init();
        string_actions::init();
        integer::init();
        char_::init();
        float_::init();
        path::init();
        paren::init();
        triple::init();
        symbol::init();
        symbol::make_table();
        symbol::make_index();
        open_call();
        gc::push_root(mark_seam_stack);
        gc::finish_startup();
    }
    void TearDown() override {
        seam_bottom = nullptr;
        cycle_stack::reset();
        memory::release_all();
    }
};

// A block of the given type holding the cells.
inline Cell block_of(std::initializer_list<Cell> cells, uint32_t type = TYPE_BLOCK) {
    Cell b = block::make(int32_t(cells.size()));
    gc::CellRoot keep(&b);
    for (const Cell& c : cells) block::append_copy(&b, &c);
    b.header = type;
    return b;
}

// A block of integers.
inline Cell ints(std::initializer_list<int32_t> values, uint32_t type = TYPE_BLOCK) {
    Cell b = block::make(int32_t(values.size()));
    gc::CellRoot keep(&b);
    for (int32_t v : values) {
        Cell c = integer::make(v);
        block::append_copy(&b, &c);
    }
    b.header = type;
    return b;
}

inline Cell text(const char* utf8) { return string::from_utf8(utf8); }

inline Cell with_new_line(Cell c) {
    c.header |= FLAG_NEW_LINE;
    return c;
}

// A word cell of a symbol (no context needed by the block code).
inline Cell word_cell(const char* spelling, uint32_t type = TYPE_WORD) {
    return Cell{type, 0, uint32_t(symbol::intern(spelling)), 0xFFFFFFFFu};
}

// Molds with every flag; checks the remaining limit like mold_of does.
inline std::string mold_with(Cell value, bool only, bool all, bool flat, Cell* part = nullptr,
                             int32_t limit = 100000, int32_t indent = 0) {
    Cell out;
    string::init_cell(&out, 16);
    gc::CellRoot keep(&out), keep_value(&value);
    int32_t left = dispatch::mold(&value, &out, only, all, flat, part, limit, indent);
    std::string t = string::to_utf8(&out);
    if (!part) {
        EXPECT_EQ(left, limit - int32_t(t.size())) << "limit after molding " << t;
    }
    return t;
}

inline std::string mold_text(Cell value) { return mold_with(value, false, false, false); }

inline std::string form_text(Cell value) {
    Cell out;
    string::init_cell(&out, 16);
    gc::CellRoot keep(&out), keep_value(&value);
    int32_t left = dispatch::form(&value, &out, nullptr, 100000);
    std::string t = string::to_utf8(&out);
    EXPECT_EQ(left, 100000 - int32_t(t.size())) << "limit after forming " << t;
    return t;
}

// Runs a direct (stack) slot with the series at the arguments base and an
// optional argument after it; answers the result slot.
inline Cell run_direct(DirectFn fn, Cell series, const Cell* arg = nullptr) {
    open_call();
    stack::push(&series);
    if (arg) stack::push(arg);
    fn();
    return *stack::arguments_base();
}

// Pushes the series as the call's first argument (the result slot).
inline Cell* base_with(Cell series) {
    open_call();
    return stack::push(&series);
}

inline int32_t int_of(const Cell* c) { return integer::get_value(c); }

// The integers of a block from its index (a non-integer cell shows as
// -999999).
inline std::vector<int32_t> ints_of(const Cell& b) {
    std::vector<int32_t> out;
    for (uint32_t i = 0; i < block::length(&b); i++) {
        const Cell* c = block::item(&b, i);
        out.push_back(type_of(c) == TYPE_INTEGER ? int_of(c) : -999999);
    }
    return out;
}

}  // namespace qor::test
