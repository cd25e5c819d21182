// paren! and the four path kinds: registrations, text forms, make and to.
#include "datatypes/path.hpp"

#include <gtest/gtest.h>

#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class Paths : public RuntimeFixture {};

TEST_F(Paths, MoldAndFormByKind) {
    // a/b/1 with the words given as strings of the word's spelling would mold
    // quoted; integers and a nested block keep the test to registered types.
    struct Case {
        uint32_t type;
        const char* mold;
    } cases[] = {
        {TYPE_PATH, "1/2/3"}, {TYPE_LIT_PATH, "'1/2/3"}, {TYPE_SET_PATH, "1/2/3:"}, {TYPE_GET_PATH, ":1/2/3"},
        {TYPE_PAREN, "(1 2 3)"},
    };
    for (const Case& c : cases) {
        Cell p = ints({1, 2, 3}, c.type);
        EXPECT_EQ(mold_text(p), c.mold) << c.type;
        EXPECT_EQ(form_text(p), c.type == TYPE_PAREN ? "1 2 3" : "1/2/3") << c.type;
    }
    EXPECT_EQ(mold_text(ints({}, TYPE_PATH)), "");
    EXPECT_EQ(mold_text(ints({}, TYPE_SET_PATH)), ":");
    EXPECT_EQ(mold_text(ints({}, TYPE_PAREN)), "()");
    EXPECT_EQ(mold_with(ints({1, 2}, TYPE_PAREN), true, false, false), "1 2");
    // Elements mold as values; a block inside a path keeps its brackets.
    Cell p = block_of({text("a"), ints({1, 2})}, TYPE_PATH);
    EXPECT_EQ(mold_text(p), "\"a\"/[1 2]");
    EXPECT_EQ(form_text(p), "a/1 2");
}

TEST_F(Paths, ParenMoldKeepsNewLinesAndMarksCycles) {
    Cell p = block_of({with_new_line(integer::make(1)), integer::make(2)}, TYPE_PAREN);
    EXPECT_EQ(mold_text(p), "(\n    1 2\n)");
    block::append_copy(&p, &p);
    EXPECT_EQ(mold_text(p), "(\n    1 2 (...)\n)");
    Cell path = ints({1}, TYPE_PATH);
    block::append_copy(&path, &path);
    EXPECT_EQ(mold_text(path), "1/...");
    EXPECT_EQ(form_text(path), "1/...");
    Cell lit = ints({1}, TYPE_LIT_PATH);
    block::append_copy(&lit, &lit);
    EXPECT_EQ(mold_text(lit), "'1/'...");
}

TEST_F(Paths, MakeAndTo) {
    struct Case {
        Cell spec;
        uint32_t capacity_cells;
    } cases[] = {{integer::make(0), 1}, {float_cell(2.9), 2}, {integer::make(-4), 1}, {float_cell(0.5, TYPE_PERCENT), 1},
                 {float_cell(3.0, TYPE_PERCENT), 3}};
    for (const Case& c : cases) {
        Cell proto = datatype_cell(TYPE_SET_PATH);
        Cell spec = c.spec;
        path_make(&proto, &spec);
        EXPECT_EQ(type_of(&proto), TYPE_SET_PATH);
        EXPECT_EQ(block::length(&proto), 0u);
        EXPECT_EQ(block::buffer(&proto)->capacity / 16, c.capacity_cells);
    }
    Cell proto = datatype_cell(TYPE_PATH);
    Cell spec = ints({1, 2}, TYPE_PAREN);
    path_make(&proto, &spec);
    EXPECT_EQ(type_of(&proto), TYPE_PATH);
    EXPECT_EQ(mold_text(proto), "1/2");
    Cell bad = text("a");
    Cell p2 = datatype_cell(TYPE_PATH);
    EXPECT_EQ(raised_by([&] { path_make(&p2, &bad); }).id, "bad-make-arg");

    Cell set = {TYPE_TYPESET, 0, 0, 0};
    Cell p3 = datatype_cell(TYPE_GET_PATH);
    path_to(&p3, &set);
    EXPECT_EQ(type_of(&p3), TYPE_GET_PATH);
    ASSERT_EQ(block::length(&p3), 1u);
    EXPECT_EQ(type_of(block::cell_at(&p3, 0)), TYPE_TYPESET);
    Cell n = integer::make(4);
    Cell p4 = datatype_cell(TYPE_LIT_PATH);
    path_to(&p4, &n);
    EXPECT_EQ(mold_text(p4), "'4");

    Cell c = ints({1, 2, 3}, TYPE_SET_PATH);
    Cell r{};
    path_copy(&c, &r, nullptr, false, nullptr);
    EXPECT_EQ(type_of(&r), TYPE_SET_PATH);
    EXPECT_NE(cell_node(&r), cell_node(&c));
}

TEST_F(Paths, RegistrationsInheritAndRefuseAsSpecified) {
    struct Case {
        uint32_t type;
        int slot;
        bool supported;
    } cases[] = {
        {TYPE_PAREN, SLOT_SORT, true},      {TYPE_PAREN, SLOT_RANDOM, true},   {TYPE_PAREN, SLOT_TRIM, false},
        {TYPE_PAREN, SLOT_MOLD, true},      {TYPE_PATH, SLOT_SORT, false},     {TYPE_PATH, SLOT_RANDOM, false},
        {TYPE_PATH, SLOT_TRIM, false},      {TYPE_PATH, SLOT_FIND, true},      {TYPE_SET_PATH, SLOT_MAKE, true},
        {TYPE_GET_PATH, SLOT_SORT, false},  {TYPE_LIT_PATH, SLOT_APPEND, true}, {TYPE_PATH, SLOT_ADD, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(registry::entry(c.type, c.slot) != ACTION_NONE, c.supported) << c.type << " slot " << c.slot;
    }
    EXPECT_EQ(registry::action<SLOT_MAKE>(TYPE_LIT_PATH), path_make);
    EXPECT_EQ(registry::action<SLOT_FIND>(TYPE_PAREN), block_find);
}

TEST_F(Paths, PushRetypedClearsFlagsAndPushes) {
    open_call();
    Cell c = with_new_line(ints({1}));
    Cell* pushed = set_path::push_retyped(&c);
    EXPECT_EQ(c.header, uint32_t(TYPE_SET_PATH));
    EXPECT_EQ(pushed->header, uint32_t(TYPE_SET_PATH));
    EXPECT_EQ(cell_node(pushed), cell_node(&c));
    Cell fresh = {TYPE_INTEGER, 0, 0, 0};
    path::init_cell(&fresh, 0);
    EXPECT_EQ(type_of(&fresh), TYPE_PATH);
    EXPECT_EQ(block::length(&fresh), 0u);
}

}  // namespace
}  // namespace qor
