// The cycle-detection stack and the small value helpers beside it.
#include "datatypes/cycle_stack.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <algorithm>
#include <limits>
#include <vector>

#include "runtime_fixture.hpp"
#include "datatypes/value_helpers.hpp"

namespace qor {
namespace {

using namespace test;

class CycleStack : public RuntimeFixture {};

Node fake_node(uint32_t i) { return reinterpret_cast<Node>(uintptr_t(0x1000 + 4 * i)); }

TEST_F(CycleStack, PushPopFindAndTheDepthLimit) {
    cycle_stack::push(fake_node(1));
    cycle_stack::push(fake_node(2));
    EXPECT_TRUE(cycle_stack::find(fake_node(1)));
    EXPECT_TRUE(cycle_stack::find(fake_node(2)));
    EXPECT_FALSE(cycle_stack::find(fake_node(3)));
    cycle_stack::pop();
    EXPECT_FALSE(cycle_stack::find(fake_node(2)));
    cycle_stack::pop();
    cycle_stack::pop();   // empty: nothing happens
    EXPECT_EQ(cycle_stack::depth(), 0u);

    // 999 levels nest; the push that fills the 1000th entry empties the
    // stack and raises too-deep.
    for (uint32_t i = 0; i < cycle_stack::CAPACITY - 1; i++) cycle_stack::push(fake_node(i));
    EXPECT_EQ(cycle_stack::depth(), 999u);
    RaisedError e = raised_by([] { cycle_stack::push(fake_node(5000)); });
    EXPECT_EQ(e.category, "internal");
    EXPECT_EQ(e.id, "too-deep");
    EXPECT_EQ(cycle_stack::depth(), 0u);

    cycle_stack::push(fake_node(1));
    cycle_stack::push(fake_node(2));
    cycle_stack::drop(5);
    EXPECT_EQ(cycle_stack::depth(), 0u);
}

TEST_F(CycleStack, GuardRestoresTheDepthWhenAWalkThrows) {
    cycle_stack::push(fake_node(1));
    try {
        cycle_stack::Guard guard;
        cycle_stack::push(fake_node(2));
        cycle_stack::push(fake_node(3));
        throw Thrown{THROW_ERROR};
    } catch (const Thrown&) {
    }
    EXPECT_EQ(cycle_stack::depth(), 1u);
    EXPECT_TRUE(cycle_stack::find(fake_node(1)));
    cycle_stack::reset();
}

// Fills the fixed holder with one-byte binaries until a node frame made
// for them is nearly full, then thins that last frame out to every tenth
// node and frees a few thousand of the others, so that the collector
// evacuates the last frame (however many frames start-up left in use).
[[gnu::noinline]] void fill_and_thin(Cell* holder) {
    NodeFrame* first_last = memory::record->node_last;
    for (int i = 0; i < 200000; i++) {
        NodeFrame* last = memory::record->node_last;
        if (last != first_last && last->used >= memory::NODES_PER_FRAME - 1000) break;
        Cell c = {TYPE_BINARY, 0, 0, 0};
        set_cell_node(&c, memory::alloc_bytes(1));
        block::append_copy(holder, &c);
    }
    NodeFrame* last = memory::record->node_last;
    std::vector<std::pair<NodeFrame*, uint32_t>> seen;
    for (uint32_t i = 0; i < block::length(holder); i++) {
        Cell* c = block::cell_at(holder, i);
        if (type_of(c) != TYPE_BINARY) continue;
        Node n = cell_node(c);
        NodeFrame* f = memory::record->node_first;
        while (f && (n < f->slots() || n >= f->slots_end())) f = f->next;
        if (!f) continue;
        auto it = std::find_if(seen.begin(), seen.end(), [f](auto& e) { return e.first == f; });
        if (it == seen.end()) it = seen.insert(seen.end(), {f, 0});
        uint32_t k = it->second++;
        bool drop = f == last ? (k % 10) != 0 : k < 3000;
        if (drop) *c = Cell{TYPE_NONE, 0, 0, 0};
    }
}

// Runs f a few kilobytes further down the stack, where the scrubbing before
// each collection reaches the node addresses its frames leave behind.
template <class F>
[[gnu::noinline]] void deep(F f) {
    volatile uint8_t pad[4096];
    pad[0] = 0;
    f();
    pad[1] = pad[0];
}

// The holder index of the last binary (its node lies in the last frame).
[[gnu::noinline]] uint32_t last_binary(const Cell* holder) {
    uint32_t at = 0;
    for (uint32_t i = 0; i < block::length(holder); i++)
        if (type_of(block::cell_at(holder, i)) == TYPE_BINARY) at = i;
    return at;
}

[[gnu::noinline]] void push_node_of(const Cell* holder, uint32_t i) {
    cycle_stack::push(cell_node(block::cell_at(holder, i)));
}

[[gnu::noinline]] bool on_stack(const Cell* holder, uint32_t i) {
    return cycle_stack::find(cell_node(block::cell_at(holder, i)));
}

[[gnu::noinline]] void collect_with_clean_stack() {
    volatile uint8_t pad[32768];
    for (uint32_t i = 0; i < sizeof pad; i++) pad[i] = 0;
    gc::collect();
}

TEST_F(CycleStack, EntriesFollowNodesTheCollectorEvacuates) {
    gc::set_stress_interval(0);
    static Cell holder;
    holder = Cell{TYPE_BLOCK, 0, 0, 0};
    set_cell_node(&holder, memory::alloc_fixed_series(30000, 16, 0));
    gc::register_global_cell(&holder);
    deep([] { fill_and_thin(&holder); });
    uint32_t frames_before = 0;
    for (NodeFrame* f = memory::record->node_first; f; f = f->next) frames_before++;
    ASSERT_GE(frames_before, 3u);
    uint32_t at = last_binary(&holder);
    deep([at] { push_node_of(&holder, at); });
    uint32_t cycles = gc::counters.nodes_cycles;
    for (int i = 0; i < 20 && gc::counters.nodes_cycles == cycles; i++) collect_with_clean_stack();
    ASSERT_EQ(gc::counters.nodes_cycles, cycles + 1) << "no node frame was evacuated";
    EXPECT_TRUE(on_stack(&holder, at));
    cycle_stack::reset();
    gc::unregister_global_cell(&holder);
}

TEST_F(CycleStack, MarkersByTypeAndMode) {
    struct Case {
        uint32_t type;
        bool molding;
        const char* marker;
    } cases[] = {
        {TYPE_BLOCK, true, "[...]"}, {TYPE_HASH, true, "[...]"},   {TYPE_PAREN, true, "(...)"},
        {TYPE_PATH, true, "..."},    {TYPE_SET_PATH, true, "..."}, {TYPE_MAP, true, "#[...]"},
        {TYPE_BLOCK, false, "..."},  {TYPE_PAREN, false, "..."},
    };
    for (const Case& c : cases) {
        Cell v = ints({1});
        v.header = c.type;
        Cell out = string::make();
        gc::CellRoot keep(&v), keep_out(&out);
        int32_t limit = 50;
        EXPECT_FALSE(mold::cycle_marker(&v, &out, &limit, c.molding));
        EXPECT_EQ(limit, 50);
        cycle_stack::push(cell_node(&v));
        EXPECT_TRUE(mold::cycle_marker(&v, &out, &limit, c.molding));
        cycle_stack::reset();
        EXPECT_EQ(string::to_utf8(&out), c.marker) << c.type;
        EXPECT_EQ(limit, 50 - int32_t(std::strlen(c.marker)));
    }
    // An object is keyed by its context node (word 1).
    Cell obj = ints({});
    Cell object_value = {TYPE_OBJECT, obj.data2, 0, 0};
    Cell out = string::make();
    gc::CellRoot keep(&obj), keep_out(&out);
    int32_t limit = 100;
    cycle_stack::push(cell_node(&obj));
    EXPECT_TRUE(mold::cycle_marker(&object_value, &out, &limit, true));
    cycle_stack::reset();
    EXPECT_EQ(string::to_utf8(&out), "make object! [...]");
    EXPECT_EQ(limit, 82);
}

TEST_F(CycleStack, IndentAppendsFourSpacesPerLevel) {
    Cell out = string::make();
    gc::CellRoot keep(&out);
    EXPECT_EQ(mold::indent(&out, 3, 20), 8);
    EXPECT_EQ(string::to_utf8(&out), std::string(12, ' '));
    EXPECT_EQ(mold::indent(&out, 0, 20), 20);
}

TEST(ValueHelpers, FillRepeatCopiesTheFirstUnitOverTheWholeRun) {
    for (uint32_t unit : {1u, 2u, 4u, 16u, 48u}) {
        for (uint32_t count : {1u, 2u, 3u, 7u, 8u, 33u}) {
            std::vector<uint8_t> buf(unit * count + 8, 0xEE);
            for (uint32_t i = 0; i < unit; i++) buf[i] = uint8_t(i * 7 + 1);
            uint8_t* end = memory::fill_repeat(buf.data(), unit, count);
            ASSERT_EQ(end, buf.data() + unit * count);
            for (uint32_t i = 0; i < unit * count; i++) ASSERT_EQ(buf[i], uint8_t((i % unit) * 7 + 1));
            for (uint32_t i = unit * count; i < buf.size(); i++) ASSERT_EQ(buf[i], 0xEE) << "wrote past the run";
        }
    }
}

TEST(ValueHelpers, FloatToIntCheckedTruncatesOrRaises) {
    struct Case {
        double value;
        bool fits;
        int32_t expected;
    } cases[] = {
        {2147483647.0, true, 2147483647}, {2147483647.9, true, 2147483647}, {-2147483648.0, true, INT32_MIN},
        {-2.7, true, -2},                 {2.7, true, 2},                   {2147483648.0, false, 0},
        {-2147483649.0, false, 0},        {std::nan(""), false, 0},          {1e300, false, 0},
        {-std::numeric_limits<double>::infinity(), false, 0},
    };
    for (const Case& c : cases) {
        Cell f = float_cell(c.value);
        if (c.fits) {
            EXPECT_EQ(number::float_to_int_checked(&f), c.expected) << c.value;
        } else {
            RaisedError e = raised_by([&] { number::float_to_int_checked(&f); });
            EXPECT_EQ(e.id, "out-of-range") << c.value;
        }
    }
    Cell i = integer_cell(-77);
    EXPECT_EQ(number::float_to_int_checked(&i), -77);
}

}  // namespace
}  // namespace qor
