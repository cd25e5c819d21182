#include "datatypes/char.hpp"

#include <gtest/gtest.h>

#include "datatypes/integer.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "memory_fixture.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using test::raised_by;

class CharType : public test::RuntimeFixture {};

Cell ch(uint32_t cp) { return char_::make(cp); }

Cell binary(const std::string& bytes, uint32_t index = 0) {
    Node node = memory::alloc_bytes(uint32_t(bytes.size()));
    SeriesBuffer* s = buffer_of(node);
    std::memcpy(s->head, bytes.data(), bytes.size());
    s->tail = s->head + bytes.size();
    Cell c{TYPE_BINARY, index, 0, 0};
    set_cell_node(&c, node);
    return c;
}

// Runs one arithmetic action on the stand-in argument stack.
Cell arith(void (*action)(), Cell left, Cell right) {
    stack::seam_start_call();
    stack::push(&left);
    stack::push(&right);
    action();
    return *stack::arguments_base();
}

TEST_F(CharType, ArithmeticStaysAChar) {
    struct Case {
        void (*action)();
        uint32_t left;
        Cell right;
        uint32_t expected;
    } cases[] = {
        {char_add, 'a', integer::make(1), 'b'},
        {char_subtract, 'a', integer::make(32), 'A'},
        {char_divide, 'z', integer::make(2), '='},          // truncated, not promoted
        {char_add, 'a', test::float_cell(1.9), 'b'},         // float truncated toward zero
        {char_subtract, 'c', test::float_cell(-1.9), 'd'},
        {char_multiply, 'a', integer::make(0), 0},
        {char_add, 'a', ch(1), 'b'},
        {char_remainder, 'a', integer::make(10), 7},
        {char_and, 'a', integer::make(0xDF), 'A'},
        {char_or, 'A', integer::make(0x20), 'a'},
        {char_xor, 'a', integer::make(0x20), 'A'},
        {char_add, 0x10FFFE, integer::make(1), 0x10FFFF},
    };
    for (const Case& c : cases) {
        Cell r = arith(c.action, ch(c.left), c.right);
        EXPECT_EQ(type_of(&r), TYPE_CHAR);
        EXPECT_EQ(r.data2, c.expected) << c.left;
    }
}

TEST_F(CharType, ArithmeticErrors) {
    struct Case {
        void (*action)();
        uint32_t left;
        Cell right;
        const char* error;
    } cases[] = {
        {char_add, 0x10FFFF, integer::make(1), "math/overflow"},
        {char_subtract, 0, integer::make(1), "math/overflow"},
        {char_multiply, 0x10000, integer::make(0x10000), "math/overflow"},   // beyond 32 bits
        {char_add, 'a', test::float_cell(1e300), "math/overflow"},
        {char_divide, 'a', integer::make(0), "math/zero-divide"},
        {char_remainder, 'a', integer::make(0), "math/zero-divide"},
        {char_add, 'a', test::logic_cell(true), "script/invalid-type"},
    };
    for (const Case& c : cases) {
        RaisedError e = raised_by([&] { arith(c.action, ch(c.left), c.right); });
        EXPECT_EQ(e.category + "/" + e.id, c.error) << c.left;
    }
}

Cell make_char(Cell spec) {
    stack::seam_start_call();
    Cell proto = test::datatype_cell(TYPE_CHAR);
    Cell* base = stack::push(&proto);
    Cell* s = stack::push(&spec);
    return *char_make(base, s);
}

TEST_F(CharType, MakeAndTo) {
    Cell bin = binary("\xC3\xA9x");
    Cell text = string::from_utf8("abc");
    struct Case {
        Cell spec;
        uint32_t expected;
    } cases[] = {
        {integer::make(1114111), 0x10FFFF},
        {integer::make(0), 0},
        {test::float_cell(65.9), 'A'},
        {test::float_cell(-0.5), 0},
        {test::float_cell(0.65, TYPE_PERCENT), 0},
        {bin, 0xE9},
        {text, 'a'},
        {ch('q'), 'q'},
    };
    for (const Case& c : cases) {
        Cell r = make_char(c.spec);
        EXPECT_EQ(type_of(&r), TYPE_CHAR);
        EXPECT_EQ(r.data2, c.expected);
    }
    Cell later = text;
    later.data1 = 2;
    EXPECT_EQ(make_char(later).data2, uint32_t('c'));
}

TEST_F(CharType, MakeErrors) {
    Cell empty = string::make();
    Cell bin_tail = binary("a", 1);
    Cell bin_cut = binary("\xE2\x82");
    Cell bin_bad = binary("\xFF");
    struct Case {
        Cell spec;
        const char* error;
    } cases[] = {
        {integer::make(1114112), "script/out-of-range"},
        {integer::make(-1), "script/out-of-range"},
        {test::float_cell(1114112.0), "script/out-of-range"},
        {test::float_cell(-1.0), "script/out-of-range"},
        {test::float_cell(0.0 / 0.0), "script/out-of-range"},
        {empty, "script/bad-to-arg"},
        {bin_tail, "script/bad-to-arg"},   // nothing to decode: never read past the tail
        {bin_cut, "script/bad-to-arg"},
        {bin_bad, "access/invalid-utf8"},
        {test::logic_cell(true), "script/bad-to-arg"},
    };
    for (const Case& c : cases) {
        RaisedError e = raised_by([&] { make_char(c.spec); });
        EXPECT_EQ(e.category + "/" + e.id, c.error);
    }
    RaisedError e = raised_by([&] { make_char(integer::make(-1)); });
    EXPECT_EQ(type_of(&e.args[0].value), TYPE_INTEGER);
    e = raised_by([&] { make_char(empty); });
    EXPECT_EQ(type_of(&e.args[0].value), TYPE_DATATYPE);
    EXPECT_EQ(e.args[0].value.data1, uint32_t(TYPE_CHAR));
}

TEST_F(CharType, Mold) {
    struct Case {
        uint32_t cp;
        bool all;
        const char* text;
    } cases[] = {
        {0, false, "#\"^@\""},     {1, false, "#\"^A\""},     {9, false, "#\"^-\""},
        {10, false, "#\"^/\""},    {27, false, "#\"^[\""},    {30, false, "#\"^(1E)\""},
        {31, false, "#\"^_\""},    {'"', false, "#\"^\"\""},  {'^', false, "#\"^^\""},
        {127, false, "#\"^~\""},   {128, false, "#\"^(80)\""}, {159, false, "#\"^(9F)\""},
        {0xE9, false, "#\"\xC3\xA9\""}, {0xE9, true, "#\"^(E9)\""}, {0x3B1, true, "#\"^(3B1)\""},
        {'a', false, "#\"a\""},    {' ', false, "#\" \""},    {0x1F600, false, "#\"\xF0\x9F\x98\x80\""},
        {0x10FFFF, true, "#\"^(10FFFF)\""}, {'{', false, "#\"{\""},
    };
    for (const Case& c : cases) EXPECT_EQ(test::mold_of(ch(c.cp), c.all), c.text) << c.cp;
}

TEST_F(CharType, Form) {
    EXPECT_EQ(test::form_of(ch('\n')), "\n");
    EXPECT_EQ(test::form_of(ch(0x20AC)), "\xE2\x82\xAC");
    // Forming into a Latin-1 output widens it.
    Cell out = string::from_utf8("x");
    Cell e = ch(0x1F600);
    char_form(&e, &out, nullptr, 10);
    EXPECT_EQ(string::buffer(&out)->unit(), 4u);
}

TEST_F(CharType, Compare) {
    struct Case {
        Cell b;
        int32_t op;
        int32_t expected;
    } cases[] = {
        {integer::make(65), COMP_EQUAL, 0},
        {integer::make(65), COMP_STRICT_EQUAL, 1},
        {integer::make(65), COMP_FIND, 1},
        {ch('a'), COMP_EQUAL, -1},                 // no case folding
        {ch('A'), COMP_STRICT_EQUAL, 0},
        {ch('B'), COMP_LESSER, -1},
        {integer::make(-5), COMP_GREATER, 1},
        {test::float_cell(65.0), COMP_EQUAL, COMPARE_INCOMPARABLE},
    };
    for (const Case& c : cases) {
        Cell a = ch('A');
        EXPECT_EQ(test::compare_of(a, c.b, c.op), c.expected);
    }
}

TEST_F(CharType, InheritedIntegerActions) {
    EXPECT_NE(registry::action<SLOT_EVEN_Q>(TYPE_CHAR), nullptr);
    EXPECT_EQ(registry::action<SLOT_EVEN_Q>(TYPE_CHAR), registry::action<SLOT_EVEN_Q>(TYPE_INTEGER));
    EXPECT_EQ(registry::action<SLOT_NEGATE>(TYPE_CHAR), nullptr);
    Cell c = ch('d');
    EXPECT_EQ(registry::action<SLOT_ODD_Q>(TYPE_CHAR)(&c), 0);
}

}  // namespace
}  // namespace qor
