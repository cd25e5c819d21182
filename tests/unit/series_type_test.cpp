// series!: the position and editing actions shared by every series type,
// exercised on blocks, strings of each width, binaries and vectors.
#include "datatypes/series.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "runtime_fixture.hpp"
#include "runtime/ownership.hpp"
#include "runtime/random.hpp"

namespace qor {
namespace {

using namespace test;

class SeriesType : public RuntimeFixture {};

Cell binary_of(std::initializer_list<uint8_t> bytes) {
    Node node = memory::alloc_bytes(uint32_t(bytes.size()));
    SeriesBuffer* s = buffer_of(node);
    for (uint8_t b : bytes) *s->tail++ = b;
    Cell c = {TYPE_BINARY, 0, 0, 0};
    set_cell_node(&c, node);
    return c;
}

Cell int_vector(std::initializer_list<int32_t> values, uint32_t unit = 4) {
    Node node = memory::alloc_units(uint32_t(values.size()), unit);
    SeriesBuffer* s = buffer_of(node);
    for (int32_t v : values) {
        std::memcpy(s->tail, &v, unit);
        s->tail += unit;
    }
    Cell c = {TYPE_VECTOR, 0, 0, TYPE_INTEGER};
    set_cell_node(&c, node);
    return c;
}

std::string bytes_of(const Cell& c) {
    SeriesBuffer* s = buffer_of(cell_node(&c));
    return std::string(reinterpret_cast<char*>(s->head) + c.data1, s->byte_length() - c.data1);
}

Cell at_index(Cell c, uint32_t index) {
    c.data1 = index;
    return c;
}

TEST_F(SeriesType, PositionActionsClampAndAnswer) {
    Cell b = ints({10, 20, 30});
    struct Case {
        DirectFn fn;
        uint32_t index;
        uint32_t expected_index;
    } moves[] = {
        {series_head, 2, 0}, {series_tail, 0, 3}, {series_next, 1, 2}, {series_next, 3, 3},
        {series_next, 7, 7}, {series_back, 2, 1}, {series_back, 0, 0},
    };
    for (const Case& c : moves) {
        Cell r = run_direct(c.fn, at_index(b, c.index));
        EXPECT_EQ(r.data1, c.expected_index) << c.index;
        EXPECT_EQ(type_of(&r), TYPE_BLOCK);
    }
    struct Query {
        DirectFn fn;
        uint32_t index;
        uint32_t type;
        uint32_t answer;
    } queries[] = {
        {series_head_q, 0, TYPE_LOGIC, 1}, {series_head_q, 1, TYPE_LOGIC, 0},
        {series_tail_q, 2, TYPE_LOGIC, 0}, {series_tail_q, 3, TYPE_LOGIC, 1},
        {series_tail_q, 9, TYPE_LOGIC, 1}, {series_index_q, 0, TYPE_INTEGER, 1},
        {series_index_q, 9, TYPE_INTEGER, 10},   // past a shortened tail: still index + 1
    };
    for (const Query& q : queries) {
        Cell r = run_direct(q.fn, at_index(b, q.index));
        ASSERT_EQ(type_of(&r), q.type);
        EXPECT_EQ(q.type == TYPE_LOGIC ? r.data1 : r.data2, q.answer) << q.index;
    }
    // length? of a position past the tail answers 0 and pulls it back.
    Cell past = at_index(b, 9);
    EXPECT_EQ(series_length_q(&past), 0);
    EXPECT_EQ(past.data1, 3u);
    Cell mid = at_index(b, 1);
    EXPECT_EQ(series_length_q(&mid), 2);
}

TEST_F(SeriesType, AtAndSkipStayWithinTheBuffer) {
    Cell s = text("abcdef");
    struct Case {
        bool at;
        uint32_t index;
        int32_t n;
        uint32_t expected;
    } cases[] = {
        {true, 2, 0, 2},  {true, 2, 1, 2},    {true, 2, 2, 3},  {true, 2, -1, 1},   {true, 2, -9, 0},
        {true, 2, 99, 6}, {true, 0, INT32_MAX, 6}, {true, 5, INT32_MIN, 0},
        {false, 2, 0, 2}, {false, 2, 1, 3},   {false, 2, -2, 0}, {false, 2, -3, 0}, {false, 2, 4, 6},
        {false, 2, 5, 6}, {false, 9, -1, 6},  // from past the tail, clamped to the buffer
    };
    for (const Case& c : cases) {
        Cell n = integer::make(c.n);
        Cell r = run_direct(c.at ? series_at : series_skip, at_index(s, c.index), &n);
        EXPECT_EQ(r.data1, c.expected) << (c.at ? "at " : "skip ") << c.index << " " << c.n;
    }
    Cell bad = float_cell(1.0);
    RaisedError e = raised_by([&] { run_direct(series_at, s, &bad); });
    EXPECT_EQ(e.id, "invalid-arg");
    EXPECT_EQ(type_of(&e.args[0].value), TYPE_FLOAT);
}

TEST_F(SeriesType, PickAnswersByTypeAndPokeStores) {
    Cell b = ints({1, 2, 3});
    Cell* item = series_pick(&b, 2);
    EXPECT_EQ(int_of(item), 2);
    EXPECT_EQ(item, block::cell_at(&b, 1));   // a reference to the cell itself
    struct PickCase {
        uint32_t index;
        int32_t n;
        int32_t expected;   // 0: none
    } picks[] = {{1, 1, 2}, {1, -1, 1}, {1, 0, 0}, {1, 3, 0}, {1, -2, 0}, {3, -1, 3}, {0, INT32_MIN, 0}};
    for (const PickCase& p : picks) {
        Cell at = at_index(b, p.index);
        Cell* r = series_pick(&at, p.n);
        if (p.expected == 0) {
            EXPECT_EQ(type_of(r), TYPE_NONE) << p.index << " " << p.n;
        } else {
            EXPECT_EQ(int_of(r), p.expected) << p.index << " " << p.n;
        }
    }

    Cell s = text("héllo");
    Cell s2 = s;
    Cell* ch = series_pick(&s2, 2);
    ASSERT_EQ(type_of(ch), TYPE_CHAR);
    EXPECT_EQ(ch->data2, 0xE9u);
    Cell bin = binary_of({7, 200});
    Cell bin2 = bin;   // pick answers in the series cell, the result slot
    Cell* byte = series_pick(&bin2, 2);
    ASSERT_EQ(type_of(byte), TYPE_INTEGER);
    EXPECT_EQ(int_of(byte), 200);
    Cell vec = int_vector({-5, 6}, 2);
    Cell* elem = series_pick(&vec, 1);
    EXPECT_EQ(elem, &vec);
    ASSERT_EQ(type_of(elem), TYPE_INTEGER);
    EXPECT_EQ(int_of(elem), -5);

    // poke: blocks take any value, strings widen for a wider character.
    Cell word = text("xyz");
    Cell* answer = series_poke(&b, 3, &word);
    EXPECT_EQ(answer, &word);
    EXPECT_EQ(type_of(block::cell_at(&b, 2)), TYPE_STRING);
    Cell euro = char_::make(0x20AC);
    series_poke(&s, 1, &euro);
    EXPECT_EQ(string::to_utf8(&s), "\xE2\x82\xAC" "éllo");
    EXPECT_EQ(string::buffer(&s)->unit(), 2u);
    Cell big = integer::make(0x1FF);
    series_poke(&bin, 1, &big);
    EXPECT_EQ(uint8_t(bytes_of(bin)[0]), 0xFF);
    Cell seven = integer::make(70000);
    Cell v4 = int_vector({1, 2});
    series_poke(&v4, 2, &seven);
    Cell v4b = v4;
    Cell* back = series_pick(&v4b, 2);
    EXPECT_EQ(int_of(back), 70000);
}

TEST_F(SeriesType, PokeRefusesBadPositionsAndTypesBeforeChangingAnything) {
    Cell b = ints({1, 2});
    Cell s = text("ab");
    Cell vec = int_vector({1});
    Cell one = integer::make(1);
    Cell x = char_::make('x');
    Cell f = float_cell(2.0);
    struct Case {
        Cell* series;
        int32_t n;
        Cell* value;
        const char* id;
    } cases[] = {
        {&b, 0, &one, "out-of-range"},  {&b, 3, &one, "out-of-range"}, {&b, -1, &one, "out-of-range"},
        {&s, 1, &one, "invalid-arg"},   {&s, 5, &x, "out-of-range"},   {&vec, 1, &f, "invalid-arg"},
    };
    for (const Case& c : cases) {
        RaisedError e = raised_by([&] { series_poke(c.series, c.n, c.value); });
        EXPECT_EQ(e.id, c.id) << c.n;
        if (e.id == "out-of-range") {
            ASSERT_EQ(type_of(&e.args[0].value), TYPE_INTEGER);
            EXPECT_EQ(int_of(&e.args[0].value), c.n);
        }
    }
    EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(string::to_utf8(&s), "ab");
}

TEST_F(SeriesType, ClearAndRemove) {
    Cell b = ints({1, 2, 3, 4, 5});
    Cell at3 = at_index(b, 3);
    series_clear(&at3);
    EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1, 2, 3}));
    Cell past = at_index(b, 8);
    series_clear(&past);   // nothing from a position past the tail
    EXPECT_EQ(block::total_length(&b), 3u);

    struct Case {
        std::vector<int32_t> start;
        uint32_t index;
        int32_t part;   // INT32_MIN: no /part
        std::vector<int32_t> left;
    } cases[] = {
        {{1, 2, 3, 4}, 1, INT32_MIN, {1, 3, 4}}, {{1, 2, 3, 4}, 3, INT32_MIN, {1, 2, 3}},
        {{1, 2, 3, 4}, 4, INT32_MIN, {1, 2, 3, 4}}, {{1, 2, 3, 4}, 1, 2, {1, 4}},
        {{1, 2, 3, 4}, 1, 99, {1}},              {{1, 2, 3, 4}, 1, 0, {1, 2, 3, 4}},
        {{1, 2, 3, 4}, 1, -3, {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        Cell blk = block::make(4);
        gc::CellRoot keep(&blk);
        for (int32_t v : c.start) {
            Cell i = integer::make(v);
            block::append_copy(&blk, &i);
        }
        Cell pos = at_index(blk, c.index);
        Cell part = integer::make(c.part);
        Cell* r = series_remove(&pos, c.part == INT32_MIN ? nullptr : &part, nullptr);
        EXPECT_EQ(r, &pos);
        EXPECT_EQ(ints_of(blk), c.left) << c.index << " " << c.part;
    }
    // /part as a series of the same buffer; of another one it is refused.
    Cell s = text("abcdef");
    Cell from = at_index(s, 1), to = at_index(s, 4);
    series_remove(&from, &to, nullptr);
    EXPECT_EQ(string::to_utf8(&s), "aef");
    Cell other = text("zz");
    RaisedError e = raised_by([&] { series_remove(&s, &other, nullptr); });
    EXPECT_EQ(e.id, "invalid-refine-arg");
    EXPECT_EQ(e.args[0].word, "part");
}

TEST_F(SeriesType, RemoveKeyTakesTheKeyAndTheItemAfterIt) {
    Cell a = text("a"), b = text("b"), k = text("k"), v = text("v");
    Cell blk = block_of({a, k, v, b});
    Cell key = text("k");
    Cell pos = blk;
    series_remove(&pos, nullptr, &key);
    ASSERT_EQ(block::length(&blk), 2u);
    EXPECT_EQ(string::to_utf8(block::item(&blk, 1)), "b");
    Cell missing = text("K");   // /case: another spelling does not match
    Cell pos2 = blk;
    Cell* r = series_remove(&pos2, nullptr, &missing);
    EXPECT_EQ(type_of(r), TYPE_NONE);
    EXPECT_EQ(block::length(&blk), 2u);
}

TEST_F(SeriesType, ReverseWithPartAndSkip) {
    struct Case {
        uint32_t index;
        int32_t part;   // INT32_MIN: none
        int32_t skip;   // 0: none
        std::vector<int32_t> expected;
        const char* error;
    } cases[] = {
        {0, INT32_MIN, 0, {6, 5, 4, 3, 2, 1}, nullptr},
        {1, 3, 0, {1, 4, 3, 2, 5, 6}, nullptr},
        {4, 99, 0, {1, 2, 3, 4, 6, 5}, nullptr},   // a part beyond the tail stops there
        {0, 0, 0, {1, 2, 3, 4, 5, 6}, nullptr},
        {0, INT32_MIN, 2, {5, 6, 3, 4, 1, 2}, nullptr},
        {0, INT32_MIN, 3, {4, 5, 6, 1, 2, 3}, nullptr},
        {0, INT32_MIN, 6, {1, 2, 3, 4, 5, 6}, nullptr},
        {6, INT32_MIN, 2, {1, 2, 3, 4, 5, 6}, nullptr},   // at the tail: nothing
        {0, INT32_MIN, 4, {}, "invalid-refine-arg"},
        {0, INT32_MIN, 7, {}, "invalid-refine-arg"},
        {0, INT32_MIN, 0 - 1, {}, "out-of-range"},
    };
    for (const Case& c : cases) {
        Cell b = ints({1, 2, 3, 4, 5, 6});
        Cell pos = at_index(b, c.index);
        Cell part = integer::make(c.part), skip = integer::make(c.skip);
        Cell* p = c.part == INT32_MIN ? nullptr : &part;
        Cell* k = c.skip == 0 ? nullptr : &skip;
        if (c.error) {
            RaisedError e = raised_by([&] { series_reverse(&pos, p, k); });
            EXPECT_EQ(e.id, c.error) << c.skip;
            EXPECT_EQ(ints_of(b), (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
        } else {
            series_reverse(&pos, p, k);
            EXPECT_EQ(ints_of(b), c.expected) << c.index << " " << c.part << " " << c.skip;
        }
    }
    // The same routine works on characters of every width.
    for (const char* t : {"abc", "aé€", "a€\xF0\x9F\x98\x80"}) {
        Cell s = text(t);
        series_reverse(&s, nullptr, nullptr);
        std::u32string cps = string::to_code_points(&s);
        Cell orig = text(t);
        std::u32string want = string::to_code_points(&orig);
        std::reverse(want.begin(), want.end());
        EXPECT_EQ(cps, want) << t;
    }
}

TEST_F(SeriesType, RandomShufflesPicksAndSeeds) {
    Cell empty = ints({});
    Cell* r = series_random(&empty, false, false, true);
    EXPECT_EQ(type_of(r), TYPE_NONE);
    Cell one = ints({42});
    series_random(&one, false, false, false);
    EXPECT_EQ(ints_of(one), (std::vector<int32_t>{42}));

    Cell b = ints({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    Cell pos = at_index(b, 2);
    series_random(&pos, false, false, false);
    std::vector<int32_t> got = ints_of(b);
    EXPECT_EQ(got[0], 1);
    EXPECT_EQ(got[1], 2);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    Cell pick_from = ints({5, 6, 7});
    for (int i = 0; i < 20; i++) {
        Cell p = pick_from;
        Cell* item = series_random(&p, false, false, true);
        ASSERT_EQ(type_of(item), TYPE_INTEGER);
        EXPECT_TRUE(int_of(item) >= 5 && int_of(item) <= 7);
    }

    // /seed: the same bytes give the same sequence.
    Cell seed_text = text("seed me");
    Cell s1 = seed_text;
    EXPECT_EQ(type_of(series_random(&s1, true, false, false)), TYPE_UNSET);
    int32_t first = random::next();
    Cell s2 = seed_text;
    series_random(&s2, true, false, false);
    EXPECT_EQ(random::next(), first);
}

TEST_F(SeriesType, CopyPartForms) {
    Cell b = ints({1, 2, 3, 4, 5});
    struct Case {
        uint32_t index;
        int kind;   // 0 none, 1 integer, 2 pair, 3 same series at `n`
        int32_t n, y;
        std::vector<int32_t> expected;
    } cases[] = {
        {1, 0, 0, 0, {2, 3, 4, 5}},  {7, 0, 0, 0, {}},           {1, 1, 2, 0, {2, 3}},
        {1, 1, 99, 0, {2, 3, 4, 5}}, {3, 1, -2, 0, {2, 3}},      {1, 1, -5, 0, {1}},
        {0, 2, 2, 4, {2, 3}},        {1, 2, 0, 2, {2, 3}},       {0, 2, 4, 2, {}},
        {1, 3, 3, 0, {2, 3}},        {3, 3, 1, 0, {2, 3}},       {1, 2, -9, 1, {1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        Cell src = at_index(b, c.index);
        Cell part;
        if (c.kind == 1) part = integer::make(c.n);
        if (c.kind == 2) part = Cell{TYPE_PAIR, 0, uint32_t(c.n), uint32_t(c.y)};
        if (c.kind == 3) part = at_index(b, uint32_t(c.n));
        Cell result = {TYPE_NONE, 0, 0, 0};
        series_copy(&src, &result, c.kind ? &part : nullptr, false, nullptr);
        ASSERT_EQ(type_of(&result), TYPE_BLOCK);
        EXPECT_EQ(result.data1, 0u);
        EXPECT_EQ(ints_of(result), c.expected) << c.index << " kind " << c.kind << " " << c.n;
        EXPECT_NE(cell_node(&result), cell_node(&b));
    }
    Cell other = ints({1});
    Cell result{};
    RaisedError e = raised_by([&] { series_copy(&b, &result, &other, false, nullptr); });
    EXPECT_EQ(e.id, "invalid-refine-arg");

    // The copy keeps the new-line marker and drops the owned flag.
    Cell marked = with_new_line(text("abc"));
    series::set_flags(cell_node(&marked), SERIES_OWNED);
    Cell c{};
    series_copy(&marked, &c, nullptr, false, nullptr);
    EXPECT_TRUE(c.header & FLAG_NEW_LINE);
    EXPECT_FALSE(string::buffer(&c)->flags & SERIES_OWNED);
    EXPECT_EQ(string::to_utf8(&c), "abc");
}

TEST_F(SeriesType, MoveWithinOneBuffer) {
    struct Case {
        uint32_t from;
        int32_t part;   // 0: none
        uint32_t to;
        std::vector<int32_t> expected;
    } cases[] = {
        {0, 0, 2, {2, 3, 1, 4, 5}},   // forward: just after the item that was at the target
        {0, 2, 3, {3, 4, 1, 2, 5}},
        {0, 0, 5, {2, 3, 4, 5, 1}},   // to the tail: appended
        {0, 0, 9, {2, 3, 4, 5, 1}},   // past the tail: the tail
        {3, 0, 1, {1, 4, 2, 3, 5}},   // backward
        {3, 2, 0, {4, 5, 1, 2, 3}},
        {2, 0, 2, {1, 2, 3, 4, 5}},   // onto itself
        {0, 2, 4, {1, 2, 3, 4, 5}},   // too close to the tail for the run
        {0, 3, 1, {1, 2, 3, 4, 5}},   // a target inside the run
        {5, 0, 0, {1, 2, 3, 4, 5}},   // origin at its tail
    };
    for (const Case& c : cases) {
        Cell b = ints({1, 2, 3, 4, 5});
        Cell origin = at_index(b, c.from), target = at_index(b, c.to);
        Cell part = integer::make(c.part);
        series_move(&origin, &target, c.part ? &part : nullptr);
        EXPECT_EQ(ints_of(b), c.expected) << c.from << " " << c.part << " " << c.to;
    }
}

TEST_F(SeriesType, MoveBetweenBuffers) {
    Cell a = ints({1, 2, 3, 4});
    Cell b = ints({9});
    Cell origin = at_index(a, 1), target = b;
    Cell two = integer::make(2);
    Cell* r = series_move(&origin, &target, &two);
    EXPECT_EQ(r, &target);
    EXPECT_EQ(ints_of(a), (std::vector<int32_t>{1, 4}));
    EXPECT_EQ(ints_of(b), (std::vector<int32_t>{2, 3, 9}));

    // Strings of different widths move characters, widening the target.
    Cell wide = text("x€y");
    Cell narrow = text("ab");
    Cell o = at_index(wide, 1), t = at_index(narrow, 1);
    series_move(&o, &t, nullptr);
    EXPECT_EQ(string::to_utf8(&wide), "xy");
    EXPECT_EQ(string::to_utf8(&narrow), "a€b");

    Cell s = text("abc");
    Cell blk = ints({1});
    RaisedError e = raised_by([&] { series_move(&blk, &s, nullptr); });
    EXPECT_EQ(e.id, "move-bad");
    Cell bin = binary_of({1, 2});
    Cell w = text("€");
    e = raised_by([&] { series_move(&w, &bin, nullptr); });
    EXPECT_EQ(e.id, "move-bad");
    Cell n = integer::make(3);
    e = raised_by([&] { series_move(&blk, &n, nullptr); });
    EXPECT_EQ(e.id, "expect-arg");
    EXPECT_EQ(ints_of(blk), (std::vector<int32_t>{1}));
}

TEST_F(SeriesType, TakeOfCharactersAndBytes) {
    // The shared take on a binary: a one-unit result without /part.
    Cell bin = binary_of({1, 2, 3, 4});
    Cell* r = series_take(&bin, nullptr, false, false);
    ASSERT_EQ(type_of(r), TYPE_BINARY);
    EXPECT_EQ(bytes_of(*r), std::string("\x01", 1));
    EXPECT_EQ(bytes_of(bin), std::string("\x02\x03\x04", 3));
    stack::pop(1);
    Cell two = integer::make(2);
    Cell pos = bin;
    r = series_take(&pos, &two, false, true);
    EXPECT_EQ(bytes_of(*r), std::string("\x03\x04", 2));
    EXPECT_EQ(bytes_of(bin), std::string("\x02", 1));
    stack::pop(1);
    Cell tail = at_index(bin, 1);
    EXPECT_EQ(type_of(series_take(&tail, nullptr, false, false)), TYPE_NONE);
}

const Cell* words_for_test(const char* spelling) {
    static Cell word;
    word = word_cell(spelling);
    return &word;
}

TEST_F(SeriesType, ReflectAndModifyTheOwner) {
    owner::init_table();
    series::set_word_provider(words_for_test);
    Cell context = ints({});
    Cell owner_object = {TYPE_OBJECT, context.data2, 0, 0};
    Cell b = ints({1});
    Cell field = word_cell("OWNED");   // fields compare without regard to case
    Cell r = b;
    EXPECT_EQ(type_of(series_reflect(&r, &field)), TYPE_NONE);
    Cell spec = block_of({owner_object, word_cell("items")});
    Cell target = b;
    EXPECT_EQ(series_modify(&target, &field, &spec, false), &spec);
    EXPECT_TRUE(block::buffer(&b)->flags & SERIES_OWNED);
    r = b;
    Cell* owner_answer = series_reflect(&r, &field);
    ASSERT_EQ(type_of(owner_answer), TYPE_OBJECT);
    EXPECT_EQ(owner_answer->data1, context.data2);
    Cell none = none_cell();
    series_modify(&target, &field, &none, false);
    r = b;
    EXPECT_EQ(type_of(series_reflect(&r, &field)), TYPE_NONE);
    Cell other = word_cell("size");
    r = b;
    RaisedError e = raised_by([&] { series_reflect(&r, &other); });
    EXPECT_EQ(e.category, "internal");
    EXPECT_EQ(e.id, "not-done");
    series::set_word_provider(nullptr);
}

}  // namespace
}  // namespace qor
