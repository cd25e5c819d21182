// Block storage and the helpers that build, walk and search blocks.
#include "datatypes/block.hpp"

#include <gtest/gtest.h>

#include "runtime_fixture.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/none.hpp"
#include "datatypes/unset.hpp"

namespace qor {
namespace {

using namespace test;

class BlockStorage : public RuntimeFixture {};

uint32_t capacity_cells(const Cell& b) { return block::buffer(&b)->capacity / 16; }

TEST_F(BlockStorage, NewBlocksGetAtLeastOneCell) {
    for (int32_t requested : {-5, 0, 1, 7}) {
        Cell b = block::make(requested);
        EXPECT_EQ(type_of(&b), TYPE_BLOCK);
        EXPECT_EQ(block::length(&b), 0u);
        EXPECT_EQ(capacity_cells(b), uint32_t(requested < 1 ? 1 : requested)) << requested;
    }
    // init_cell writes only the type byte: header flags survive; the free
    // room reads unset!.
    Cell c = {TYPE_INTEGER | FLAG_NEW_LINE, 1, 2, 3};
    block::init_cell(&c, 3);
    EXPECT_EQ(c.header, TYPE_BLOCK | FLAG_NEW_LINE);
    EXPECT_EQ(c.data1, 0u);
    EXPECT_EQ(c.data3, 0u);
    EXPECT_EQ(type_of(block::cell_at(&c, 2)), TYPE_UNSET);

    Cell fixed = {TYPE_NONE, 0, 0, 0};
    block::init_cell_unset_or_fixed(&fixed, -1, true);
    EXPECT_TRUE(block::buffer(&fixed)->flags & SERIES_FIXED);
}

TEST_F(BlockStorage, ReadAccessClampsPastTheTail) {
    Cell b = ints({1, 2, 3});
    EXPECT_EQ(block::remaining_length(&b), 3u);
    b.data1 = 2;
    EXPECT_FALSE(block::at_tail_q(&b));
    EXPECT_TRUE(block::advance(&b));   // now at the tail
    EXPECT_EQ(b.data1, 3u);
    EXPECT_TRUE(block::advance(&b));   // stays there
    EXPECT_EQ(b.data1, 3u);
    b.data1 = 10;
    EXPECT_EQ(block::remaining_length(&b), 0u);
    EXPECT_EQ(block::item(&b, 0), nullptr);
    Cell* p = block::head_pointer(&b);
    EXPECT_EQ(b.data1, 3u);
    EXPECT_EQ(p, block::tail_pointer(&b));
    b.data1 = 1;
    EXPECT_EQ(int_of(block::item(&b, 1)), 3);
    EXPECT_EQ(block::item(&b, 2), nullptr);
}

TEST_F(BlockStorage, AppendingAndInsertingKeepCellsInOrder) {
    Cell b = block::make(1);
    // Appending a cell of the block itself while the buffer grows.
    Cell first = integer::make(7);
    block::append_copy(&b, &first);
    for (int i = 0; i < 40; i++) block::append_copy(&b, block::cell_at(&b, 0));
    EXPECT_EQ(block::length(&b), 41u);
    EXPECT_EQ(int_of(block::cell_at(&b, 40)), 7);

    Cell c = ints({1, 2});
    block::append_cells_of(&c, &c);   // onto itself
    EXPECT_EQ(ints_of(c), (std::vector<int32_t>{1, 2, 1, 2}));

    Cell d = ints({1, 4});
    d.data1 = 1;
    Cell two = integer::make(2), three = integer::make(3), zero = integer::make(0);
    block::insert_value(&d, &two, true, false);
    EXPECT_EQ(d.data1, 2u);
    block::insert_value(&d, &three, false, false);
    EXPECT_EQ(d.data1, 2u);
    block::insert_value(&d, &zero, false, true);
    d.data1 = 0;
    EXPECT_EQ(ints_of(d), (std::vector<int32_t>{0, 1, 2, 3, 4}));

    Cell e = ints({1, 5});
    e.data1 = 1;
    Cell src = ints({9, 2, 3, 4});
    src.data1 = 1;
    block::insert_cells_of(&e, &src);
    EXPECT_EQ(e.data1, 4u);
    e.data1 = 0;
    EXPECT_EQ(ints_of(e), (std::vector<int32_t>{1, 2, 3, 4, 5}));
    Cell f = ints({1, 2, 3});
    Cell into = f;
    into.data1 = 1;
    block::insert_cells_of(&into, &f);   // from its own buffer
    EXPECT_EQ(ints_of(f), (std::vector<int32_t>{1, 1, 2, 3, 2, 3}));
}

TEST_F(BlockStorage, TruncatingAndRemoving) {
    Cell b = ints({1, 2, 3, 4, 5});
    b.data1 = 4;
    block::truncate_at(&b, 9);   // beyond the tail: nothing
    EXPECT_EQ(block::total_length(&b), 5u);
    block::remove_last(&b);
    EXPECT_EQ(block::total_length(&b), 4u);
    EXPECT_EQ(b.data1, 4u);
    block::remove_last(&b);
    EXPECT_EQ(b.data1, 3u);   // pulled back to the new tail
    b.data1 = 1;
    block::clear_at_index(&b);
    EXPECT_EQ(block::total_length(&b), 1u);
    block::truncate_at(&b, 0);
    block::remove_last(&b);   // empty: nothing
    EXPECT_EQ(block::total_length(&b), 0u);

    struct Case {
        uint32_t index;
        bool from_head;
        int32_t value;
        bool answer;
        std::vector<int32_t> left;
    } cases[] = {
        {0, false, 1, true, {2, 3, 2}},   // the first cell of a block at index 0
        {0, false, 2, false, {1, 3, 2}},  // a later cell
        {2, false, 2, false, {1, 2, 3}},  // from the index: the second 2 (offset 3 > 2)
        {2, true, 2, true, {1, 3, 2}},    // from the head: offset 1 <= index 2
        {0, false, 9, false, {1, 2, 3, 2}},
    };
    for (const Case& c : cases) {
        Cell blk = ints({1, 2, 3, 2});
        blk.data1 = c.index;
        Cell v = integer::make(c.value);
        EXPECT_EQ(block::remove_value(&blk, &v, c.from_head), c.answer) << c.value;
        blk.data1 = 0;
        EXPECT_EQ(ints_of(blk), c.left) << c.value;
    }
}

TEST_F(BlockStorage, SelectAnswersTheCellAfterTheMatch) {
    Cell b = ints({1, 2, 1, 3});
    Cell one = integer::make(1), three = integer::make(3), nine = integer::make(9);
    EXPECT_EQ(int_of(block::select_value(&b, &one)), 2);
    EXPECT_EQ(type_of(block::select_value(&b, &three)), TYPE_NONE) << "a match in the last cell";
    EXPECT_EQ(type_of(block::select_value(&b, &nine)), TYPE_NONE);
    b.data1 = 1;
    EXPECT_EQ(int_of(block::select_value(&b, &one)), 3) << "searches from the index";
    b.data1 = 3;
    EXPECT_EQ(type_of(block::select_value(&b, &one)), TYPE_NONE);

    Cell lower = word_cell("abc"), upper = word_cell("ABC", TYPE_SET_WORD);
    Cell words = block_of({integer::make(0), upper, integer::make(1), lower, integer::make(2)});
    Cell probe = word_cell("abc");
    EXPECT_EQ(int_of(block::select_word(&words, &probe, true)), 2);
    EXPECT_EQ(int_of(block::select_word(&words, &probe, false)), 1);
    Cell other = word_cell("abd");
    EXPECT_EQ(type_of(block::select_word(&words, &other, false)), TYPE_NONE);
    Cell last = block_of({integer::make(0), lower});
    EXPECT_EQ(type_of(block::select_word(&last, &probe, true)), TYPE_NONE);
    last.data1 = 5;   // past the tail: clamped, nothing found
    EXPECT_EQ(type_of(block::select_word(&last, &probe, true)), TYPE_NONE);
}

TEST_F(BlockStorage, CloneCopiesFromTheIndexAndDeepensOnRequest) {
    Cell at_tail = ints({1, 2});
    at_tail.data1 = 2;
    Cell* empty = block::clone(&at_tail, false, false);
    EXPECT_EQ(block::length(empty), 0u);
    EXPECT_EQ(capacity_cells(*empty), 1u);
    stack::pop(1);

    Cell inner = ints({5});
    Cell paren = ints({6}, TYPE_PAREN);
    Cell path = ints({7}, TYPE_PATH);
    Cell outer = block_of({with_new_line(inner), paren, path}, TYPE_PAREN);
    Cell* deep = block::clone(&outer, true, false);
    EXPECT_EQ(type_of(deep), TYPE_PAREN);   // the source's type byte
    Cell* c0 = block::cell_at(deep, 0);
    EXPECT_NE(cell_node(c0), cell_node(&inner));
    EXPECT_TRUE(c0->header & FLAG_NEW_LINE);
    EXPECT_EQ(int_of(block::cell_at(c0, 0)), 5);
    EXPECT_EQ(cell_node(block::cell_at(deep, 1)), cell_node(&paren)) << "parens shared without the paths flag";
    EXPECT_EQ(cell_node(block::cell_at(deep, 2)), cell_node(&path));
    stack::pop(1);
    Cell* all = block::clone(&outer, true, true);
    EXPECT_NE(cell_node(block::cell_at(all, 1)), cell_node(&paren));
    EXPECT_NE(cell_node(block::cell_at(all, 2)), cell_node(&path));
    EXPECT_EQ(type_of(block::cell_at(all, 2)), TYPE_PATH);
    stack::pop(1);

    Cell plain = block::copy(&outer);
    EXPECT_EQ(cell_node(block::cell_at(&plain, 0)), cell_node(&inner));
}

TEST_F(BlockStorage, DeepCloneOfASelfContainingBlockRaisesInsteadOfLooping) {
    Cell b = ints({1});
    block::append_copy(&b, &b);
    RaisedError e = raised_by([&] { block::clone(&b, true, false); });
    EXPECT_EQ(e.category, "internal");
    EXPECT_EQ(e.id, "no-cycle");
    EXPECT_EQ(cycle_stack::depth(), 0u);
}

TEST_F(BlockStorage, CopyTypedValuesReplacesTheNamedTypes) {
    Cell inner = ints({1});
    Cell s = text("abc");
    Cell b = block_of({inner, s, integer::make(3), inner});
    Cell string_type = datatype_cell(TYPE_STRING);
    block::copy_typed_values(cell_node(&b), 0, 4, 1, false, &string_type);
    EXPECT_EQ(cell_node(block::cell_at(&b, 0)), cell_node(&inner));
    EXPECT_NE(cell_node(block::cell_at(&b, 1)), cell_node(&s));
    EXPECT_EQ(string::to_utf8(block::cell_at(&b, 1)), "abc");

    // A typeset naming block!, stepping two cells: only cells 0 and 2.
    Cell set = {TYPE_TYPESET, 0, 0, 0};
    reinterpret_cast<uint8_t*>(&set.data1)[TYPE_BLOCK >> 3] |= uint8_t(0x80u >> (TYPE_BLOCK & 7));
    block::copy_typed_values(cell_node(&b), 0, 4, 2, false, &set);
    EXPECT_NE(cell_node(block::cell_at(&b, 0)), cell_node(&inner));
    EXPECT_EQ(cell_node(block::cell_at(&b, 3)), cell_node(&inner));
}

TEST_F(BlockStorage, BuildersThatUseTheArgumentStackAndGlobalCells) {
    open_call();
    Cell* fresh = block::push_new(0);
    EXPECT_EQ(capacity_cells(*fresh), 1u);
    EXPECT_EQ(stack::top_value(), fresh);

    Cell parent = ints({});
    Cell* made = block::new_empty_in(&parent, 4);
    EXPECT_EQ(type_of(made), TYPE_BLOCK);
    EXPECT_EQ(block::length(&parent), 1u);
    Cell* fixed = block::new_fixed_in(nullptr);
    EXPECT_TRUE(block::buffer(fixed)->flags & SERIES_FIXED);
    Cell* global = block::new_empty_in(nullptr, 2);
    gc::collect();
    EXPECT_EQ(block::length(global), 0u);
    Cell one = integer::make(1);
    block::append_copy(global, &one);
    gc::collect();
    EXPECT_EQ(int_of(block::cell_at(global, 0)), 1);
}

TEST_F(BlockStorage, AppendNextArgAppendsToTheBaseBlock) {
    open_call();
    Cell b = ints({1});
    stack::push(&b);
    Cell two = integer::make(2);
    stack::push(&two);
    Cell* r = block::append_next_arg();
    EXPECT_EQ(r, stack::arguments_base());
    EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1, 2}));
}

TEST_F(BlockStorage, ValuesSurviveCollectionsWhileBlocksGrow) {
    gc::set_stress_interval(1);
    Cell outer = block::make(1);
    for (int i = 0; i < 50; i++) {
        Cell inner = ints({i, i + 1});
        Cell s = text(std::to_string(i).c_str());
        block::append_copy(&inner, &s);
        block::append_copy(&outer, &inner);
        Cell* copied = block::clone(&outer, true, false);
        EXPECT_EQ(block::length(copied), uint32_t(i + 1));
        stack::pop(1);
    }
    for (int i = 0; i < 50; i++) {
        Cell* inner = block::cell_at(&outer, uint32_t(i));
        ASSERT_EQ(block::length(inner), 3u);
        EXPECT_EQ(int_of(block::cell_at(inner, 1)), i + 1);
        EXPECT_EQ(string::to_utf8(block::cell_at(inner, 2)), std::to_string(i));
    }
}

}  // namespace
}  // namespace qor

namespace qor {
namespace {

// The constant types add their values to a block's tail.
TEST_F(BlockStorage, ConstantTypesAppendTheirValues) {
    Cell b = block::make(0);
    gc::CellRoot keep(&b);
    none::new_in_block(&b);
    unset::new_in_block(&b);
    logic::new_in_block(&b, 1);
    datatype::new_in_block(&b, TYPE_BLOCK);
    ASSERT_EQ(block::length(&b), 4u);
    EXPECT_EQ(type_of(block::item(&b, 0)), TYPE_NONE);
    EXPECT_EQ(type_of(block::item(&b, 1)), TYPE_UNSET);
    EXPECT_EQ(type_of(block::item(&b, 2)), TYPE_LOGIC);
    EXPECT_EQ(block::item(&b, 2)->data1, 1u);
    EXPECT_EQ(type_of(block::item(&b, 3)), TYPE_DATATYPE);
    EXPECT_EQ(block::item(&b, 3)->data1, uint32_t(TYPE_BLOCK));
}

}  // namespace
}  // namespace qor
