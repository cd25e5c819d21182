// block! actions: text forms, comparison, searching, sorting, editing,
// copying, path access and the set operations.
#include "datatypes/eval_links.hpp"
#include "datatypes/block_actions.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "runtime_fixture.hpp"
#include "datatypes/hash_table.hpp"
#include "runtime/ownership.hpp"

namespace qor {
namespace {

using namespace test;

class BlockActions : public RuntimeFixture {};

Cell at_index(Cell c, uint32_t index) {
    c.data1 = index;
    return c;
}

// ---- mold and form --------------------------------------------------------------------------

TEST_F(BlockActions, MoldWritesNewLinesAndIndentation) {
    Cell one = integer::make(1), two = integer::make(2);
    Cell inner = block_of({with_new_line(text("a")), integer::make(3)});
    struct Case {
        Cell value;
        bool only, flat;
        const char* expected;
    } cases[] = {
        {ints({1, 2, 3}), false, false, "[1 2 3]"},
        {ints({}), false, false, "[]"},
        {ints({1, 2, 3}), true, false, "1 2 3"},
        {block_of({one, with_new_line(two)}), false, false, "[1\n2]"},
        {block_of({with_new_line(one), two}), false, false, "[\n    1 2\n]"},
        {block_of({with_new_line(one), with_new_line(two)}), false, false, "[\n    1\n    2\n]"},
        {block_of({with_new_line(one), with_new_line(two)}), false, true, "[1 2]"},
        {block_of({with_new_line(one), with_new_line(two)}), true, false, "1\n2"},
        {block_of({with_new_line(inner)}), false, false, "[\n    [\n        \"a\" 3\n    ]\n]"},
        {block_of({one, inner}), false, false, "[1 [\n    \"a\" 3\n]]"},
        {block_of({with_new_line(inner)}), false, true, "[[\"a\" 3]]"},
        {at_index(ints({1, 2, 3}), 1), false, false, "[2 3]"},
        {at_index(ints({1, 2, 3}), 7), false, false, "[]"},
    };
    for (const Case& c : cases) EXPECT_EQ(mold_with(c.value, c.only, false, c.flat), c.expected);
}

TEST_F(BlockActions, MoldAndFormOfASelfContainingBlockStop) {
    Cell b = ints({1, 2});
    block::append_copy(&b, &b);
    EXPECT_EQ(mold_text(b), "[1 2 [...]]");
    EXPECT_EQ(form_text(b), "1 2 ...");
    Cell p = ints({1}, TYPE_PAREN);
    block::append_copy(&p, &p);
    EXPECT_EQ(mold_text(p), "(1 (...))");
    // Mutual containment: a holds b holds a.
    Cell a = ints({1});
    Cell c = ints({2});
    block::append_copy(&a, &c);
    block::append_copy(&c, &a);
    EXPECT_EQ(mold_text(a), "[1 [2 [...]]]");
    EXPECT_EQ(cycle_stack::depth(), 0u);
}

TEST_F(BlockActions, MoldPartStopsWhenTheLimitRunsOut) {
    Cell b = ints({100, 200, 300, 400});
    Cell part = integer::make(0);
    // The walk stops before an element once the limit is used up; the
    // caller cuts the text at its limit.
    std::string t = mold_with(b, false, false, false, &part, 6);
    EXPECT_EQ(t.substr(0, 6), "[100 2");
    EXPECT_LT(t.size(), std::string("[100 200 300 400]").size());
    EXPECT_EQ(cycle_stack::depth(), 0u);
}

TEST_F(BlockActions, FormSeparatesWithSpacesExceptAfterLineBreaks) {
    struct Case {
        Cell value;
        const char* expected;
    } cases[] = {
        {ints({1, 2, 3}), "1 2 3"},
        {block_of({text("a\n"), text("b"), text("c\t"), text("d")}), "a\nb c\td"},
        {block_of({integer::make(1), ints({2, 3}), ints({})}), "1 2 3 "},
        {ints({}), ""},
        {block_of({text(""), text("x")}), " x"},
    };
    for (const Case& c : cases) EXPECT_EQ(form_text(c.value), c.expected);
}

// ---- compare ----------------------------------------------------------------------------------------

TEST_F(BlockActions, CompareCellByCell) {
    struct Case {
        Cell a, b;
        int32_t op;
        int32_t expected;
    } cases[] = {
        {ints({1, 2}), ints({1, 2}), COMP_EQUAL, 0},
        {ints({1, 2}), ints({1, 3}), COMP_EQUAL, -1},
        {ints({1, 2}), ints({1, 2, 3}), COMP_EQUAL, 1},   // lengths differ under equality
        {ints({1, 2}), ints({1, 2, 3}), COMP_LESSER, -1},
        {ints({}), ints({1}), COMP_LESSER, -1},
        {ints({1}), ints({}), COMP_LESSER, 1},
        {ints({3}), ints({1, 5}), COMP_LESSER, 1},
        {block_of({integer::make(1)}), block_of({float_cell(1.0)}), COMP_EQUAL, 0},
        {block_of({integer::make(1)}), block_of({text("1")}), COMP_LESSER, 1},   // type ids decide
        {block_of({text("abc")}), block_of({text("ABC")}), COMP_EQUAL, 0},
        {block_of({text("abc")}), block_of({text("ABC")}), COMP_STRICT_EQUAL, 1},
        {ints({1}), ints({1}, TYPE_PAREN), COMP_EQUAL, COMPARE_INCOMPARABLE},
        {ints({1}, TYPE_PATH), ints({1}, TYPE_LIT_PATH), COMP_EQUAL, COMPARE_INCOMPARABLE},
        {ints({1}, TYPE_PATH), ints({1}, TYPE_LIT_PATH), COMP_WORD_MATCH, 0},
        {ints({1}, TYPE_LIT_PATH), ints({1}, TYPE_PATH), COMP_WORD_MATCH_CANONICAL, 0},
        {ints({1}), ints({1}), COMP_SAME, -1},
    };
    for (const Case& c : cases) {
        Cell a = c.a, b = c.b;
        EXPECT_EQ(block_compare(&a, &b, c.op), c.expected) << mold_text(c.a) << " " << mold_text(c.b) << " op "
                                                           << c.op;
    }
    Cell x = ints({1, 2});
    Cell y = x;
    EXPECT_EQ(block_compare(&x, &y, COMP_SAME), 0);
    Cell z = at_index(x, 1);
    EXPECT_EQ(block_compare(&x, &z, COMP_SAME), -1);
}

TEST_F(BlockActions, ComparingSelfContainingBlocksTerminates) {
    Cell a = ints({1});
    block::append_copy(&a, &a);
    Cell b = ints({1});
    block::append_copy(&b, &b);
    EXPECT_EQ(block_compare(&a, &b, COMP_EQUAL), 0);
    Cell c = ints({1});
    block::append_copy(&c, &a);
    EXPECT_NE(block_compare(&c, &a, COMP_EQUAL), COMPARE_INCOMPARABLE);
    EXPECT_EQ(cycle_stack::depth(), 0u);
}

// ---- find and select ----------------------------------------------------------------------------------

struct FindCase {
    const char* what;
    std::vector<int32_t> series;
    uint32_t index;
    Cell value;
    int32_t part = 0;     // 0: none
    int32_t skip = 0;     // 0: none
    bool only = false, last = false, reverse = false, tail = false, match = false;
    int32_t expected = -1;   // the answer's index, -1 none
};

TEST_F(BlockActions, FindRefinements) {
    std::vector<int32_t> s = {1, 2, 3, 1, 2, 3, 4};
    FindCase cases[] = {
        {"plain", s, 0, integer::make(2), 0, 0, false, false, false, false, false, 1},
        {"from the index", s, 2, integer::make(2), 0, 0, false, false, false, false, false, 4},
        {"absent", s, 0, integer::make(9)},
        {"at the tail", s, 7, integer::make(1)},
        {"run", s, 0, ints({2, 3}), 0, 0, false, false, false, false, false, 1},
        {"run from 2", s, 2, ints({2, 3}), 0, 0, false, false, false, false, false, 4},
        {"run tail", s, 0, ints({3, 4}), 0, 0, false, false, false, true, false, 7},
        {"empty run", s, 0, ints({})},
        {"run past the end", s, 0, ints({4, 5})},
        {"part", s, 0, integer::make(4), 6},
        {"part hit", s, 0, integer::make(4), 7, 0, false, false, false, false, false, 6},
        {"part below 1", s, 0, integer::make(1), -1},
        {"skip", s, 0, integer::make(3), 0, 3, false, false, false, false, false, -1},
        {"skip hit", s, 0, integer::make(4), 0, 3, false, false, false, false, false, 6},
        {"skip tail", s, 0, integer::make(1), 0, 3, false, false, false, true, false, 3},
        {"last", s, 0, integer::make(2), 0, 0, false, true, false, false, false, 4},
        {"last tail", s, 0, integer::make(2), 0, 0, false, true, false, true, false, 5},
        {"last run", s, 0, ints({1, 2}), 0, 0, false, true, false, false, false, 3},
        {"reverse", s, 4, integer::make(2), 0, 0, false, false, true, false, false, 1},
        {"reverse from tail", s, 7, integer::make(4), 0, 0, false, false, true, false, false, 6},
        {"reverse at head", s, 0, integer::make(1), 0, 0, false, false, true},
        {"reverse run", s, 5, ints({2, 3}), 0, 0, false, false, true, false, false, 1},
        {"match", s, 0, integer::make(1), 0, 0, false, false, false, false, true, 0},
        {"match miss", s, 0, integer::make(2), 0, 0, false, false, false, false, true},
        {"tail match", s, 3, integer::make(1), 0, 0, false, false, false, true, true, 4},
        {"match run", s, 3, ints({1, 2, 3}), 0, 0, false, false, false, true, true, 6},
        {"datatype", s, 0, datatype_cell(TYPE_INTEGER), 0, 0, false, false, false, false, false, 0},
        {"datatype only", s, 0, datatype_cell(TYPE_INTEGER), 0, 0, true},
    };
    for (const FindCase& c : cases) {
        Cell b = ints({});
        for (int32_t v : c.series) {
            Cell i = integer::make(v);
            block::append_copy(&b, &i);
        }
        Cell series = at_index(b, c.index);
        Cell value = c.value;
        Cell part = integer::make(c.part), skip = integer::make(c.skip);
        Cell* r = block_find(&series, &value, c.part ? &part : nullptr, c.only, false, false, false, nullptr,
                             c.skip ? &skip : nullptr, c.last, c.reverse, c.tail, c.match);
        EXPECT_EQ(r, &series);
        if (c.expected < 0) {
            EXPECT_EQ(type_of(r), TYPE_NONE) << c.what;
        } else {
            ASSERT_EQ(type_of(r), TYPE_BLOCK) << c.what;
            EXPECT_EQ(r->data1, uint32_t(c.expected)) << c.what;
        }
    }
}

TEST_F(BlockActions, FindOnlyCaseSameAndTypesets) {
    Cell inner = ints({2, 3});
    Cell b = block_of({integer::make(2), integer::make(3), inner, text("Abc"), text("abc")});
    Cell s = b, v = inner;
    block_find(&s, &v, nullptr, true, false, false, false, nullptr, nullptr, false, false, false, false);
    EXPECT_EQ(s.data1, 2u) << "/only: the block as one value";
    s = b;
    v = inner;
    block_find(&s, &v, nullptr, false, false, false, false, nullptr, nullptr, false, false, false, false);
    EXPECT_EQ(s.data1, 0u) << "a run of its cells";
    s = b;
    Cell t = text("abc");
    block_find(&s, &t, nullptr, false, true, false, false, nullptr, nullptr, false, false, false, false);
    EXPECT_EQ(s.data1, 4u) << "/case";
    s = b;
    t = text("abc");
    block_find(&s, &t, nullptr, false, false, false, false, nullptr, nullptr, false, false, false, false);
    EXPECT_EQ(s.data1, 3u);
    s = b;
    Cell copy_of_inner = ints({2, 3});
    block_find(&s, &copy_of_inner, nullptr, true, false, true, false, nullptr, nullptr, false, false, false, false);
    EXPECT_EQ(type_of(&s), TYPE_NONE) << "/same: an equal block is not the same";
    s = b;
    v = inner;
    block_find(&s, &v, nullptr, true, false, true, false, nullptr, nullptr, false, false, false, false);
    EXPECT_EQ(s.data1, 2u);
    s = b;
    Cell set = {TYPE_TYPESET, 0, 0, 0};
    reinterpret_cast<uint8_t*>(&set.data1)[TYPE_STRING >> 3] |= uint8_t(0x80u >> (TYPE_STRING & 7));
    block_find(&s, &set, nullptr, false, false, false, false, nullptr, nullptr, false, false, false, false);
    EXPECT_EQ(s.data1, 3u);
}

TEST_F(BlockActions, FindRefusesBadRefinementArguments) {
    Cell b = ints({1, 2});
    Cell one = integer::make(1), zero = integer::make(0), f = float_cell(1.0), other = ints({1});
    struct Case {
        Cell* part;
        Cell* skip;
        const char* id;
        const char* word;
    } cases[] = {
        {nullptr, &zero, "out-of-range", ""},
        {nullptr, &f, "invalid-refine-arg", "skip"},
        {&other, nullptr, "invalid-refine-arg", "part"},
    };
    for (const Case& c : cases) {
        Cell s = b;
        RaisedError e = raised_by([&] {
            block_find(&s, &one, c.part, false, false, false, false, nullptr, c.skip, false, false, false, false);
        });
        EXPECT_EQ(e.id, c.id);
        EXPECT_EQ(e.args[0].word, c.word);
    }
}

TEST_F(BlockActions, SelectAnswersTheValueAfterTheMatch) {
    Cell b = ints({1, 2, 3, 4, 5});
    struct Case {
        Cell value;
        bool only;
        int32_t expected;   // -1 none
    } cases[] = {
        {integer::make(1), false, 2}, {integer::make(5), false, -1}, {ints({2, 3}), false, 4},
        {ints({4, 5}), false, -1},    {ints({2, 3}), true, -1},
    };
    for (const Case& c : cases) {
        Cell s = b, v = c.value;
        Cell* r = block_select(&s, &v, nullptr, c.only, false, false, false, nullptr, nullptr, false, false);
        if (c.expected < 0) {
            EXPECT_EQ(type_of(r), TYPE_NONE);
        } else {
            EXPECT_EQ(int_of(r), c.expected);
        }
    }
}

TEST_F(BlockActions, PutReplacesOrAppends) {
    Cell b = block_of({text("a"), integer::make(1), text("b")});
    Cell key = text("a"), v = integer::make(10);
    Cell s = b;
    Cell* r = block_put(&s, &key, &v, false);
    EXPECT_EQ(int_of(r), 10);
    EXPECT_EQ(int_of(block::cell_at(&b, 1)), 10);
    Cell kb = text("B"), v2 = integer::make(20);
    s = b;
    block_put(&s, &kb, &v2, false);   // found as the last cell: the value is appended
    EXPECT_EQ(block::length(&b), 4u);
    EXPECT_EQ(int_of(block::cell_at(&b, 3)), 20);
    s = b;
    block_put(&s, &kb, &v2, true);    // /case: "B" is a new key
    EXPECT_EQ(block::length(&b), 6u);
    EXPECT_EQ(string::to_utf8(block::cell_at(&b, 4)), "B");
    EXPECT_EQ(int_of(block::cell_at(&b, 5)), 20);
}

// ---- sort ---------------------------------------------------------------------------------------------

// The comparator function of the tests: "first < second" on integers.
void lesser_hook(const Cell* function, const Cell* args, uint32_t count, Cell* result) {
    (void)function;
    ASSERT_EQ(count, 2u);
    if (type_of(&args[0]) == TYPE_BLOCK) {
        // Records under /all: compare their second cells.
        *result = Cell{TYPE_LOGIC, int_of(block::cell_at(&args[0], 1)) < int_of(block::cell_at(&args[1], 1)), 0, 0};
        return;
    }
    *result = Cell{TYPE_LOGIC, int_of(&args[0]) < int_of(&args[1]) ? 1u : 0u, 0, 0};
}

TEST_F(BlockActions, SortRefinements) {
    Cell function = {TYPE_FUNCTION, 0, 0, 0};
    eval_links::get().call_function = lesser_hook;
    struct Case {
        const char* what;
        std::vector<int32_t> values;
        uint32_t index;
        int32_t part, skip;   // 0: none
        Cell* comparator;
        int32_t compare_offset;   // with comparator == nullptr and offset != 0: /compare offset
        bool all, reverse, stable;
        std::vector<int32_t> expected;
    } cases[] = {
        {"plain", {3, 1, 2}, 0, 0, 0, nullptr, 0, false, false, false, {1, 2, 3}},
        {"reverse", {3, 1, 2}, 0, 0, 0, nullptr, 0, false, true, false, {3, 2, 1}},
        {"from index", {9, 3, 1, 2}, 1, 0, 0, nullptr, 0, false, false, false, {9, 1, 2, 3}},
        {"part", {3, 2, 1, 0}, 0, 3, 0, nullptr, 0, false, false, false, {1, 2, 3, 0}},
        {"part beyond", {3, 2, 1}, 0, 9, 0, nullptr, 0, false, false, false, {1, 2, 3}},
        {"negative part", {3, 2, 1, 0}, 3, -2, 0, nullptr, 0, false, false, false, {3, 1, 2, 0}},
        {"negative part at head", {3, 2}, 0, -2, 0, nullptr, 0, false, false, false, {3, 2}},
        {"skip", {3, 30, 1, 10, 2, 20}, 0, 0, 2, nullptr, 0, false, false, false, {1, 10, 2, 20, 3, 30}},
        {"skip offset", {1, 30, 2, 10, 3, 20}, 0, 0, 2, nullptr, 2, false, false, false, {2, 10, 3, 20, 1, 30}},
        {"skip all", {1, 2, 1, 1, 0, 5}, 0, 0, 2, nullptr, 0, true, false, false, {0, 5, 1, 1, 1, 2}},
        {"function", {3, 1, 2}, 0, 0, 0, &function, 0, false, false, false, {1, 2, 3}},
        {"function reverse", {3, 1, 2}, 0, 0, 0, &function, 0, false, true, false, {3, 2, 1}},
        {"function stable", {5, 4, 3, 2, 1, 0, 9, 8}, 0, 0, 0, &function, 0, false, false, true,
         {0, 1, 2, 3, 4, 5, 8, 9}},
        {"function all records", {1, 9, 2, 3, 3, 5}, 0, 0, 2, &function, 0, true, false, false, {2, 3, 3, 5, 1, 9}},
        {"stable", {2, 1, 2, 0}, 0, 0, 0, nullptr, 0, false, false, true, {0, 1, 2, 2}},
    };
    for (const Case& c : cases) {
        Cell b = ints({});
        for (int32_t v : c.values) {
            Cell i = integer::make(v);
            block::append_copy(&b, &i);
        }
        Cell s = at_index(b, c.index);
        Cell part = integer::make(c.part), skip = integer::make(c.skip), offset = integer::make(c.compare_offset);
        Cell* comparator = c.comparator ? c.comparator : c.compare_offset ? &offset : nullptr;
        Cell* r = block_sort(&s, false, c.skip ? &skip : nullptr, comparator, c.part ? &part : nullptr, c.all,
                             c.reverse, c.stable);
        EXPECT_EQ(r, &s);
        EXPECT_EQ(ints_of(b), c.expected) << c.what;
    }
    eval_links::get().call_function = nullptr;
}

TEST_F(BlockActions, StableSortKeepsTheOrderOfEqualItems) {
    // Records of two cells keyed on the first: equal keys keep their order.
    std::vector<int32_t> values;
    for (int i = 0; i < 200; i++) {
        values.push_back((i * 7) % 5);
        values.push_back(i);
    }
    Cell b = ints({});
    for (int32_t v : values) {
        Cell i = integer::make(v);
        block::append_copy(&b, &i);
    }
    Cell s = b, skip = integer::make(2);
    block_sort(&s, false, &skip, nullptr, nullptr, false, false, true);
    std::vector<int32_t> got = ints_of(b);
    for (size_t i = 2; i < got.size(); i += 2) {
        ASSERT_LE(got[i - 2], got[i]);
        if (got[i - 2] == got[i]) {
            EXPECT_LT(got[i - 1], got[i + 1]) << "equal keys swapped at " << i;
        }
    }
}

TEST_F(BlockActions, SortMixedTypesAndCase) {
    Cell b = block_of({text("b"), integer::make(2), text("A"), text("a"), integer::make(1)});
    Cell s = b;
    block_sort(&s, false, nullptr, nullptr, nullptr, false, false, true);
    // Integers (type 11) after strings (type 7): incomparable pairs order by type id.
    EXPECT_EQ(mold_text(b), "[\"A\" \"a\" \"b\" 1 2]");
    Cell c = block_of({text("b"), text("a"), text("B")});
    s = c;
    block_sort(&s, true, nullptr, nullptr, nullptr, false, false, true);
    EXPECT_EQ(mold_text(c), "[\"B\" \"a\" \"b\"]");
}

TEST_F(BlockActions, SortRefusesBadRefinements) {
    Cell b = ints({1, 2, 3, 4});
    Cell two = integer::make(2), three = integer::make(3), zero = integer::make(0), f = float_cell(1.0);
    Cell other = ints({1});
    struct Case {
        Cell* skip;
        Cell* comparator;
        Cell* part;
        bool all;
        const char* id;
        const char* word;
    } cases[] = {
        {&two, &zero, nullptr, false, "out-of-range", ""},
        {&two, &three, nullptr, false, "out-of-range", ""},
        {nullptr, nullptr, nullptr, true, "bad-refines", ""},
        {nullptr, &two, nullptr, false, "bad-refines", ""},
        {&two, &two, nullptr, true, "bad-refines", ""},
        {&three, nullptr, nullptr, false, "invalid-refine-arg", "skip"},
        {&zero, nullptr, nullptr, false, "invalid-refine-arg", "skip"},
        {nullptr, &f, nullptr, false, "invalid-refine-arg", "compare"},
        {nullptr, nullptr, &other, false, "invalid-refine-arg", "part"},
    };
    for (const Case& c : cases) {
        Cell s = b;
        RaisedError e = raised_by([&] { block_sort(&s, false, c.skip, c.comparator, c.part, c.all, false, false); });
        EXPECT_EQ(e.id, c.id);
        EXPECT_EQ(e.args[0].word, c.word);
        EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1, 2, 3, 4}));
    }
}

// ---- append, insert, change -----------------------------------------------------------------------

TEST_F(BlockActions, AppendAndInsert) {
    struct Case {
        const char* what;
        uint32_t index;
        Cell value;
        int32_t part, dup;
        bool only, append;
        std::vector<int32_t> expected;
        uint32_t answer_index;
    } cases[] = {
        {"append", 1, integer::make(9), -1, 1, false, true, {1, 2, 9}, 0},
        {"append spliced", 1, ints({8, 9}), -1, 1, false, true, {1, 2, 8, 9}, 0},
        {"append part", 0, ints({7, 8, 9}), 2, 1, false, true, {1, 2, 7, 8}, 0},
        {"append dup", 0, ints({7, 8}), -1, 3, false, true, {1, 2, 7, 8, 7, 8, 7, 8}, 0},
        {"insert", 1, integer::make(9), -1, 1, false, false, {1, 9, 2}, 2},
        {"insert spliced dup", 1, ints({7, 8}), -1, 3, false, false, {1, 7, 8, 7, 8, 7, 8, 2}, 7},
        {"insert past tail", 9, integer::make(9), -1, 1, false, false, {1, 2, 9}, 3},
        {"insert big dup", 0, integer::make(5), -1, 6, false, false, {5, 5, 5, 5, 5, 5, 1, 2}, 6},
        {"empty splice", 0, ints({}), -1, 1, false, false, {1, 2}, 0},
    };
    for (const Case& c : cases) {
        Cell b = ints({1, 2});
        Cell s = at_index(b, c.index), v = c.value;
        Cell* r = block_insert(&s, &v, c.part, c.only, c.dup, c.append);
        EXPECT_EQ(r, &s);
        EXPECT_EQ(ints_of(b), c.expected) << c.what;
        EXPECT_EQ(s.data1, c.answer_index) << c.what;
    }
    // /only inserts the block as one value.
    Cell b = ints({1});
    Cell inner = ints({2, 3});
    Cell s = b;
    block_insert(&s, &inner, -1, true, 1, true);
    EXPECT_EQ(mold_text(b), "[1 [2 3]]");
    // Appending and inserting a block into itself.
    Cell self = ints({1, 2});
    s = self;
    Cell v = self;
    block_insert(&s, &v, -1, false, 1, true);
    EXPECT_EQ(ints_of(self), (std::vector<int32_t>{1, 2, 1, 2}));
    Cell self2 = ints({1, 2, 3});
    s = at_index(self2, 1);
    v = self2;
    block_insert(&s, &v, -1, false, 2, false);
    EXPECT_EQ(ints_of(self2), (std::vector<int32_t>{1, 1, 2, 3, 1, 2, 3, 2, 3}));
}

TEST_F(BlockActions, InsertSizesThatOverflowRaiseNoMemory) {
    Cell b = ints({1});
    Cell v = ints({1, 2, 3, 4});
    Cell s = b;
    RaisedError e = raised_by([&] { block_insert(&s, &v, -1, false, INT32_MAX, true); });
    EXPECT_EQ(e.category, "internal");
    EXPECT_EQ(e.id, "no-memory");
    EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1}));
    e = raised_by([&] { block_change(&s, &v, -1, false, INT32_MAX); });
    EXPECT_EQ(e.id, "no-memory");
}

TEST_F(BlockActions, ChangeReplacesAndAnswersThePositionAfter) {
    struct Case {
        const char* what;
        uint32_t index;
        Cell value;
        int32_t part, dup;
        bool only;
        std::vector<int32_t> expected;
        uint32_t answer_index;
    } cases[] = {
        {"one", 1, integer::make(9), -1, 1, false, {1, 9, 3, 4}, 2},
        {"spliced", 1, ints({8, 9}), -1, 1, false, {1, 8, 9, 4}, 3},
        {"past the end", 3, ints({8, 9}), -1, 1, false, {1, 2, 3, 8, 9}, 5},
        {"part shorter", 0, ints({8, 9}), 1, 1, false, {8, 9, 2, 3, 4}, 2},
        {"part longer", 0, integer::make(0), 3, 1, false, {0, 4}, 1},
        {"part beyond", 1, integer::make(0), 99, 1, false, {1, 0}, 2},
        {"dup", 0, integer::make(7), -1, 3, false, {7, 7, 7, 4}, 3},
        {"at tail", 4, integer::make(5), -1, 1, false, {1, 2, 3, 4, 5}, 5},
        {"index past tail", 9, integer::make(5), -1, 1, false, {1, 2, 3, 4, 5}, 5},
    };
    for (const Case& c : cases) {
        Cell b = ints({1, 2, 3, 4});
        Cell s = at_index(b, c.index), v = c.value;
        block_change(&s, &v, c.part, c.only, c.dup);
        EXPECT_EQ(ints_of(b), c.expected) << c.what;
        EXPECT_EQ(s.data1, c.answer_index) << c.what;
    }
    // Changing a block with a part of itself that lies behind the range.
    Cell b = ints({1, 2, 3, 4, 5});
    Cell s = b, v = at_index(b, 3);
    block_change(&s, &v, 1, false, 1);
    EXPECT_EQ(ints_of(b), (std::vector<int32_t>{4, 5, 2, 3, 4, 5}));
}

// ---- take, swap, trim ------------------------------------------------------------------------------------

TEST_F(BlockActions, TakeAnswersTheValueOrABlock) {
    Cell b = ints({1, 2, 3});
    Cell s = b;
    Cell* r = block_take(&s, nullptr, false, false);
    ASSERT_EQ(type_of(r), TYPE_INTEGER);
    EXPECT_EQ(int_of(r), 1);
    EXPECT_EQ(ints_of(b), (std::vector<int32_t>{2, 3}));
    Cell one = integer::make(1);
    s = b;
    r = block_take(&s, &one, false, false);
    ASSERT_EQ(type_of(r), TYPE_BLOCK);
    EXPECT_EQ(ints_of(*r), (std::vector<int32_t>{2}));
    Cell c = ints({1, 2, 3});
    Cell two = integer::make(2);
    s = c;
    r = block_take(&s, &two, false, true);
    EXPECT_EQ(ints_of(*r), (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(ints_of(c), (std::vector<int32_t>{1}));
    Cell d = ints({1, 2, 3, 4});
    s = at_index(d, 3);
    Cell minus2 = integer::make(-2);
    r = block_take(&s, &minus2, false, false);
    EXPECT_EQ(ints_of(*r), (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(ints_of(d), (std::vector<int32_t>{1, 4}));
    s = at_index(d, 2);
    r = block_take(&s, nullptr, false, false);
    EXPECT_EQ(type_of(r), TYPE_NONE);

    // /deep copies the series it takes.
    Cell inner = ints({7});
    Cell e = block_of({inner, integer::make(1)});
    s = e;
    r = block_take(&s, nullptr, true, false);
    ASSERT_EQ(type_of(r), TYPE_BLOCK);
    EXPECT_NE(cell_node(r), cell_node(&inner));
    EXPECT_EQ(ints_of(*r), (std::vector<int32_t>{7}));
}

TEST_F(BlockActions, SwapAndTrim) {
    Cell a = ints({1, 2}), b = ints({3, 4});
    Cell s1 = at_index(a, 1), s2 = b;
    EXPECT_EQ(block_swap(&s1, &s2), &s1);
    EXPECT_EQ(ints_of(a), (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(ints_of(b), (std::vector<int32_t>{2, 4}));
    Cell t = at_index(b, 2);
    block_swap(&s1, &t);   // one side at its tail: nothing
    EXPECT_EQ(ints_of(a), (std::vector<int32_t>{1, 3}));
    Cell str = text("x");
    RaisedError e = raised_by([&] { block_swap(&s1, &str); });
    EXPECT_EQ(e.id, "invalid-arg");

    Cell n = none_cell();
    Cell c = block_of({n, integer::make(1), n, n, integer::make(2), n});
    Cell s = at_index(c, 1);
    block_trim(&s, false, false, false, false, false, nullptr);
    EXPECT_EQ(mold_text(c), "[none 1 2]");
}

// ---- copy -------------------------------------------------------------------------------------------------

TEST_F(BlockActions, CopyDeepCopiesNestedSeries) {
    Cell inner = ints({1});
    Cell s = text("abc");
    Cell paren = ints({2}, TYPE_PAREN);
    Cell b = block_of({inner, s, paren, integer::make(3)});
    Cell result{};
    block_copy(&b, &result, nullptr, true, nullptr);
    EXPECT_NE(cell_node(block::cell_at(&result, 0)), cell_node(&inner));
    EXPECT_NE(cell_node(block::cell_at(&result, 1)), cell_node(&s));
    EXPECT_NE(cell_node(block::cell_at(&result, 2)), cell_node(&paren));
    EXPECT_EQ(mold_text(result), "[[1] \"abc\" (2) 3]");
    Cell shallow{};
    block_copy(&b, &shallow, nullptr, false, nullptr);
    EXPECT_EQ(cell_node(block::cell_at(&shallow, 0)), cell_node(&inner));

    Cell types = datatype_cell(TYPE_STRING);
    Cell typed{};
    block_copy(&b, &typed, nullptr, false, &types);
    EXPECT_EQ(cell_node(block::cell_at(&typed, 0)), cell_node(&inner));
    EXPECT_NE(cell_node(block::cell_at(&typed, 1)), cell_node(&s));

    Cell self = ints({1});
    block::append_copy(&self, &self);
    Cell r{};
    RaisedError e = raised_by([&] { block_copy(&self, &r, nullptr, true, nullptr); });
    EXPECT_EQ(e.category, "internal");
    EXPECT_EQ(e.id, "no-cycle");
    EXPECT_EQ(cycle_stack::depth(), 0u);
}

// ---- deep nesting -------------------------------------------------------------------------------------------

// A block nested a million levels deep.  The walks stop at the cycle
// stack's limit with internal/too-deep instead of running off the end of
// the machine stack.
TEST_F(BlockActions, AMillionLevelsDeepEndInTooDeep) {
    gc::set_stress_interval(0);
    Cell outer = ints({1});
    Cell other = ints({1});
    gc::NoCollect building;   // the chains are all live: collecting while building only costs time
    for (int i = 0; i < 1000000; i++) {
        Cell next = block::make(1);
        block::append_copy(&next, &outer);
        outer = next;
        Cell next_other = block::make(1);
        block::append_copy(&next_other, &other);
        other = next_other;
    }
    Cell out = string::make();
    struct Walk {
        const char* what;
        std::function<void()> run;
    } walks[] = {
        {"mold", [&] { dispatch::mold(&outer, &out, false, false, false, nullptr, 1 << 30, 0); }},
        {"form", [&] { dispatch::form(&outer, &out, nullptr, 1 << 30); }},
        {"copy", [&] {
             Cell r{};
             block_copy(&outer, &r, nullptr, true, nullptr);
         }},
        {"clone", [&] { block::clone(&outer, true, false); }},
        {"compare", [&] { block_compare(&outer, &other, COMP_EQUAL); }},
    };
    for (const Walk& w : walks) {
        open_call();
        RaisedError e = raised_by(w.run);
        EXPECT_EQ(e.id, "too-deep") << w.what;
        EXPECT_EQ(cycle_stack::depth(), 0u) << w.what;
    }
    gc::collection_enabled = true;
    gc::collect();   // the collector marks the chain without recursion
    EXPECT_EQ(block::length(&outer), 1u);
}

// ---- path access ---------------------------------------------------------------------------------------------

TEST_F(BlockActions, EvalPathGetsAndSets) {
    Cell w = word_cell("size"), w_upper = word_cell("Size");
    Cell b = block_of({w, integer::make(10), text("k"), integer::make(20)});
    Cell two = integer::make(2), nine = integer::make(9);
    Cell s = b;
    Cell* r = block_eval_path(&s, &two, nullptr, nullptr, nullptr, nullptr, 0, false, 0, false, false);
    EXPECT_EQ(int_of(r), 10);
    r = block_eval_path(&s, &nine, nullptr, nullptr, nullptr, nullptr, 0, false, 0, false, false);
    EXPECT_EQ(type_of(r), TYPE_NONE);
    r = block_eval_path(&s, &w_upper, nullptr, nullptr, nullptr, nullptr, 0, false, 0, false, false);
    EXPECT_EQ(int_of(r), 10);
    r = block_eval_path(&s, &w_upper, nullptr, nullptr, nullptr, nullptr, 0, true, 0, false, false);
    EXPECT_EQ(type_of(r), TYPE_NONE);
    Cell k = text("k");
    r = block_eval_path(&s, &k, nullptr, nullptr, nullptr, nullptr, 0, false, 0, false, false);
    EXPECT_EQ(int_of(r), 20);

    Cell v = integer::make(30);
    r = block_eval_path(&s, &k, &v, nullptr, nullptr, nullptr, 0, false, 0, false, false);
    EXPECT_EQ(r, &v);
    EXPECT_EQ(int_of(block::cell_at(&b, 3)), 30);
    Cell first = integer::make(1);
    block_eval_path(&s, &first, &v, nullptr, nullptr, nullptr, 0, false, 0, false, false);
    EXPECT_EQ(int_of(block::cell_at(&b, 0)), 30);
    Cell missing = text("zz");
    RaisedError e = raised_by(
        [&] { block_eval_path(&s, &missing, &v, nullptr, nullptr, nullptr, 0, false, 0, false, false); });
    EXPECT_EQ(e.id, "bad-path-set");
}

// ---- make and to -------------------------------------------------------------------------------------------

TEST_F(BlockActions, MakeAndTo) {
    Cell proto = datatype_cell(TYPE_BLOCK);
    Cell n = integer::make(0);
    block_make(&proto, &n);
    EXPECT_EQ(type_of(&proto), TYPE_BLOCK);
    EXPECT_EQ(block::buffer(&proto)->capacity, 16u);
    Cell paren_type = datatype_cell(TYPE_PAREN);
    Cell spec = at_index(ints({1, 2, 3}), 1);
    block_make(&paren_type, &spec);
    EXPECT_EQ(mold_text(paren_type), "(2 3)");
    EXPECT_NE(cell_node(&paren_type), cell_node(&spec));
    Cell f = float_cell(3.9);
    Cell p2 = datatype_cell(TYPE_BLOCK);
    block_make(&p2, &f);
    EXPECT_EQ(block::buffer(&p2)->capacity, 48u);
    Cell big = float_cell(1e12);
    Cell p3 = datatype_cell(TYPE_BLOCK);
    EXPECT_EQ(raised_by([&] { block_make(&p3, &big); }).id, "out-of-range");
    Cell t = text("x");
    Cell p4 = datatype_cell(TYPE_BLOCK);
    RaisedError e = raised_by([&] { block_make(&p4, &t); });
    EXPECT_EQ(e.id, "bad-make-arg");
    EXPECT_EQ(type_of(&e.args[0].value), TYPE_DATATYPE);

    Cell p5 = datatype_cell(TYPE_BLOCK);
    Cell one = integer::make(5);
    block_to(&p5, &one);
    EXPECT_EQ(mold_text(p5), "[5]");
    Cell set = {TYPE_TYPESET, 0, 0, 0};
    for (uint32_t id : {uint32_t(TYPE_INTEGER), uint32_t(TYPE_BLOCK)})
        reinterpret_cast<uint8_t*>(&set.data1)[id >> 3] |= uint8_t(0x80u >> (id & 7));
    Cell p6 = datatype_cell(TYPE_BLOCK);
    block_to(&p6, &set);
    EXPECT_EQ(mold_text(p6), "[block! integer!]");
    Cell p7 = datatype_cell(TYPE_PATH);
    Cell src = ints({1, 2});
    block_to(&p7, &src);
    EXPECT_EQ(type_of(&p7), TYPE_PATH);
    EXPECT_EQ(mold_text(p7), "1/2");
}

// ---- set operations -----------------------------------------------------------------------------------------

TEST_F(BlockActions, SetOperations) {
    struct Case {
        int32_t op;
        std::vector<int32_t> a, b;
        int32_t skip;
        std::vector<int32_t> expected;
    } cases[] = {
        {SET_UNIQUE, {1, 2, 1, 3, 2}, {}, 0, {1, 2, 3}},
        {SET_UNION, {1, 2, 2}, {3, 1, 4}, 0, {1, 2, 3, 4}},
        {SET_INTERSECT, {1, 2, 3, 2}, {2, 3, 4}, 0, {2, 3}},
        {SET_EXCLUDE, {1, 2, 3, 1}, {2}, 0, {1, 3}},
        {SET_DIFFERENCE, {1, 2, 3}, {3, 4, 1}, 0, {2, 4}},
        {SET_UNIQUE, {1, 10, 2, 20, 1, 30}, {}, 2, {1, 10, 2, 20}},
        {SET_INTERSECT, {1, 10, 2, 20}, {2, 99}, 2, {2, 20}},
        {SET_UNIQUE, {}, {}, 0, {}},
    };
    for (const Case& c : cases) {
        open_call();
        Cell a = ints({}), b = ints({});
        for (int32_t v : c.a) {
            Cell i = integer::make(v);
            block::append_copy(&a, &i);
        }
        for (int32_t v : c.b) {
            Cell i = integer::make(v);
            block::append_copy(&b, &i);
        }
        stack::push(&a);
        stack::push(&b);
        Cell skip = integer::make(c.skip);
        block::set_operation(false, c.skip ? &skip : nullptr, c.op);
        Cell* r = stack::arguments_base();
        ASSERT_EQ(type_of(r), TYPE_BLOCK);
        EXPECT_EQ(r->data1, 0u);
        EXPECT_EQ(ints_of(*r), c.expected) << "op " << c.op;
    }
    // Case: strings equal without regard to case unless /case.
    for (bool case_sensitive : {false, true}) {
        open_call();
        Cell a = block_of({text("a"), text("A"), text("b")});
        stack::push(&a);
        block::set_operation(case_sensitive, nullptr, SET_UNIQUE);
        EXPECT_EQ(block::length(stack::arguments_base()), case_sensitive ? 3u : 2u);
    }
    open_call();
    Cell a = ints({1});
    stack::push(&a);
    Cell zero = integer::make(0);
    EXPECT_EQ(raised_by([&] { block::set_operation(false, &zero, SET_UNIQUE); }).id, "invalid-refine-arg");
}

// ---- change notification ---------------------------------------------------------------------------------------

struct Notice {
    std::string action;
    int32_t index, part;
};
std::vector<Notice> notices;

const Cell* test_words(const char* spelling) {
    static Cell word;
    word = word_cell(spelling);
    return &word;
}

void record_notice(const Cell*, const Cell*, const Cell*, const Cell* action, const Cell*, int32_t index,
                   int32_t part) {
    notices.push_back({reinterpret_cast<const char*>(symbol::spelling(int32_t(action->data2))), index, part});
}

TEST_F(BlockActions, OwnedSeriesTellTheirOwnerBeforeAndAfterAChange) {
    owner::init_table();
    series::set_word_provider(test_words);
    owner::set_deep_change_hook(record_notice);
    Cell context = ints({});
    Cell owner_object = {TYPE_OBJECT, context.data2, 0, 1};
    Cell field = word_cell("items");
    Cell b = ints({3, 1, 2});
    owner::attach(&b, &owner_object, &field);
    notices.clear();

    Cell s = b, v = integer::make(9);
    block_insert(&s, &v, -1, false, 1, true);
    s = b;
    block_sort(&s, false, nullptr, nullptr, nullptr, false, false, false);
    s = b;
    series_remove(&s, nullptr, nullptr);
    std::vector<std::string> got;
    for (const Notice& n : notices) got.push_back(n.action + " " + std::to_string(n.index) + " " + std::to_string(n.part));
    EXPECT_EQ(got, (std::vector<std::string>{"append 3 1", "appended 3 1", "sort 0 4", "sorted 0 4", "remove 0 1",
                                             "removed 0 1"}));
    series::set_word_provider(nullptr);
    owner::set_deep_change_hook(nullptr);
}

}  // namespace
}  // namespace qor

namespace qor {
namespace {

using namespace test;

// ---- hash! index upkeep -----------------------------------------------------------------------------

class HashUpkeep : public RuntimeFixture {
protected:
    // A hash! of distinct integers with an index over its cells.
    static Cell hash_of(std::initializer_list<int32_t> values) {
        Cell h = ints(values);
        gc::CellRoot keep(&h);
        Node table = hashtable::make(int32_t(values.size() ? values.size() : 1), &h, hashtable::KIND_HASH);
        h.header = TYPE_HASH;
        h.data3 = reinterpret_cast<uint32_t>(table);
        return h;
    }
    // Every cell is found through the index at its own place, and values
    // that left the block are not found.
    static void expect_index_matches(const Cell& h, std::initializer_list<int32_t> gone = {}) {
        Node table = reinterpret_cast<Node>(h.data3);
        uint32_t n = block::total_length(&h);
        for (uint32_t i = 0; i < n; i++) {
            Cell key = *block::cell_at(&h, i);
            Cell* hit = hashtable::find(table, &key, 0, 1, COMP_EQUAL, false, false);
            ASSERT_NE(hit, nullptr) << "cell " << i << " is not indexed";
            EXPECT_EQ(hit, block::cell_at(&h, i)) << "cell " << i;
        }
        for (int32_t v : gone) {
            Cell key = integer::make(v);
            EXPECT_EQ(hashtable::find(table, &key, 0, 1, COMP_EQUAL, false, false), nullptr) << v;
        }
    }
};

TEST_F(HashUpkeep, EditingActionsKeepTheIndexInStep) {
    Cell h = hash_of({1, 2, 3, 4, 5, 6});
    gc::CellRoot keep(&h);
    Cell s = block::make(1);
    gc::CellRoot keep_s(&s);

    s = h;
    s.data1 = 2;
    Cell v = ints({10, 11});
    block_insert(&s, &v, -1, false, 1, false);
    expect_index_matches(h);
    s = h;
    s.data1 = 1;
    Cell two = integer::make(2);
    series_remove(&s, &two, nullptr);   // removes 2 and 10
    expect_index_matches(h, {2, 10});
    s = h;
    s.data1 = 1;
    Cell nine = integer::make(9);
    series_poke(&s, 1, &nine);          // 11 -> 9
    expect_index_matches(h, {11});
    s = h;
    series_reverse(&s, nullptr, nullptr);
    expect_index_matches(h);
    s = h;
    block_sort(&s, false, nullptr, nullptr, nullptr, false, false, false);
    expect_index_matches(h);
    s = h;
    block_take(&s, nullptr, false, false);
    expect_index_matches(h, {1});
    s = h;
    s.data1 = 1;
    Cell w = ints({20, 21, 22});
    block_change(&s, &w, 1, false, 1);
    expect_index_matches(h);
    Cell other = block::make(2);
    gc::CellRoot keep_other(&other);
    s = h;
    s.data1 = block::total_length(&h) - 1;
    block_swap(&s, &other);   // other is at its tail: nothing
    Cell x = ints({99});
    s = h;
    block_swap(&s, &x);
    expect_index_matches(h);
    s = h;
    Cell key = integer::make(99), val = integer::make(100);
    block_put(&s, &key, &val, false);
    expect_index_matches(h);
    s = h;
    Cell newkey = integer::make(500), newval = integer::make(501);
    block_put(&s, &newkey, &newval, false);
    expect_index_matches(h);
    s = h;
    s.data1 = 3;
    series_clear(&s);
    expect_index_matches(h, {500, 501});
    EXPECT_EQ(block::total_length(&h), 3u);
}

TEST_F(HashUpkeep, FindUsesTheIndexAndHonoursPartAndTail) {
    Cell h = hash_of({5, 6, 7, 8});
    gc::CellRoot keep(&h);
    struct Case {
        int32_t value;
        uint32_t index;
        int32_t part;
        bool tail, last, reverse;
        int32_t expected;
    } cases[] = {
        {7, 0, 0, false, false, false, 2}, {7, 0, 2, false, false, false, -1}, {7, 0, 3, false, false, false, 2},
        {7, 0, 0, true, false, false, 3},  {5, 1, 0, false, false, false, -1}, {5, 2, 0, false, false, true, 0},
        {8, 0, 0, false, true, false, 3},
    };
    for (const Case& c : cases) {
        Cell s = h;
        s.data1 = c.index;
        Cell v = integer::make(c.value), part = integer::make(c.part);
        block_find(&s, &v, c.part ? &part : nullptr, false, false, false, false, nullptr, nullptr, c.last,
                   c.reverse, c.tail, false);
        if (c.expected < 0) {
            EXPECT_EQ(type_of(&s), TYPE_NONE) << c.value;
        } else {
            ASSERT_EQ(type_of(&s), TYPE_HASH) << c.value;
            EXPECT_EQ(s.data1, uint32_t(c.expected)) << c.value;
        }
    }
}

TEST_F(HashUpkeep, MovesBetweenHashesIndexBothSides) {
    // Rooted before the second is made: a table found only through a stack
    // word would keep its record but not its arrays.
    Cell a{}, b{};
    gc::CellRoot keep_a(&a), keep_b(&b);
    a = hash_of({1, 2, 3, 4});
    b = hash_of({10, 20});
    Cell o = a, t = b;
    o.data1 = 1;
    t.data1 = 1;
    Cell two = integer::make(2);
    series_move(&o, &t, &two);
    EXPECT_EQ(ints_of(a), (std::vector<int32_t>{1, 4}));
    EXPECT_EQ(ints_of(b), (std::vector<int32_t>{10, 2, 3, 20}));
    expect_index_matches(a, {2, 3});
    expect_index_matches(b);
    o = a;
    t = a;
    t.data1 = 2;
    series_move(&o, &t, nullptr);
    expect_index_matches(a);
    // take with /part gives a hash of its own.
    Cell s = b;
    Cell n = integer::make(2);
    Cell* r = block_take(&s, &n, false, false);
    ASSERT_EQ(type_of(r), TYPE_HASH);
    EXPECT_NE(r->data3, b.data3);
    expect_index_matches(*r);
    expect_index_matches(b, {10, 2});
}

TEST_F(HashUpkeep, SetOperationsKeepAHashResultIndexed) {
    open_call();
    Cell a{};
    gc::CellRoot keep(&a);
    a = hash_of({1, 2, 2, 3});
    Cell b = ints({3, 4});
    stack::push(&a);
    stack::push(&b);
    block::set_operation(false, nullptr, SET_UNION);
    Cell* r = stack::arguments_base();
    ASSERT_EQ(type_of(r), TYPE_HASH);
    EXPECT_EQ(ints_of(*r), (std::vector<int32_t>{1, 2, 3, 4}));
    expect_index_matches(*r);
}

}  // namespace
}  // namespace qor
