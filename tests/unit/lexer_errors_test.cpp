// Syntax errors of the lexer: each kind of error with the datatype it
// names and the text near it, the line it reports, and bad input of every
// sort (invalid UTF-8, NUL bytes, huge numbers, deep nesting) giving a
// value or a syntax error.
#include <gtest/gtest.h>

#include <string>

#include "runtime_fixture.hpp"

namespace qor {
namespace {

using test::load_error;
using test::load_source;

class LexerErrors : public test::RuntimeFixture {};

struct Case {
    const char* source;
    const char* error;  // "id datatype @ near text"
};

void check_all(const std::initializer_list<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(load_error(c.source), c.error) << "source: " << c.source;
}

TEST_F(LexerErrors, InvalidValues) {
    check_all({
        {"1''0", "invalid integer! @ 1''0"},
        {"1a", "invalid integer! @ 1a"},
        {"1+2", "invalid integer! @ 1+2"},
        {"1.5x", "invalid pair! @ 1.5x"},
        {"1.5.", "invalid tuple! @ 1.5."},
        {"1e", "invalid float! @ 1e"},
        {"1e+-2", "invalid float! @ 1e+-2"},
        {"1.#INFX", "invalid float! @ 1.#INFX"},
        {"1.#x", "invalid float! @ 1.#x"},
        // A float text longer than 312 bytes.
        {"0.00000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "0000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "0000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "000000000000000000000000000000000000000000000000000000000000000000000000000000001",
         "invalid float! @ 0.0000000000000000000000000000"},
        {"\"abc", "invalid string! @ \"abc"},
        {"\"a\nb\"", "invalid string! @ \"a"},
        {"\"^(zz)\"", "invalid string! @ \"^(zz)\""},
        {"\"^(110000)\"", "invalid string! @ \"^(110000)\""},
        {"\"^(1234567)\"", "invalid string! @ \"^(1234567)\""},
        {"{abc", "invalid string! @ {abc"},
        {"{a{b}", "invalid string! @ {a{b}"},
        {"x {a\nb", "invalid string! @ {a"},
        {"%{abc}", "invalid string! @ %{abc}"},
        {"%%{abc}%", "invalid string! @ %%{abc}%"},
        {"#\"\"", "invalid char! @ #\"\""},
        {"#\"ab\"", "invalid char! @ #\"ab\""},
        {"#\"^(110000)\"", "invalid char! @ #\"^(110000)\""},
        {"#\"a", "invalid char! @ #\"a"},
        {"#", "invalid issue! @ #"},
        {"# a", "invalid issue! @ # a"},
        {"#a:", "invalid issue! @ #a:"},
        {"#a/b", "invalid issue! @ #a/b"},
        {"%\"abc", "invalid file! @ %\"abc"},
        {"%%", "invalid file! @ %%"},
        {"%%]", "invalid file! @ %%]"},
        {"a,", "invalid word! @ a,"},
        {"a%", "invalid word! @ a%"},
        {"'", "invalid word! @ '"},
        {":", "invalid word! @ :"},
        {"'a:", "invalid lit-word! @ 'a:"},
        {":a:", "invalid word! @ :a:"},
        {":a:b", "invalid get-word! @ :a:b"},
        {"'a:b", "invalid lit-word! @ 'a:b"},
        {"/a:", "invalid refinement! @ /a:"},
        {"'/a", "invalid refinement! @ '/a"},
        {"1:", "invalid time! @ 1:"},
        {"1:2:", "invalid time! @ 1:2:"},
        {"1:-2", "invalid time! @ 1:-2"},
        {"1:2:60", "invalid time! @ 1:2:60"},
        {"1:2e3", "invalid time! @ 1:2e3"},
        {"1:2:3:4", "invalid time! @ 1:2:3:4"},
        {"2147483647:60", "invalid time! @ 2147483647:60"},
        {"1h", "invalid integer! @ 1h"},
        {"123456789h", "invalid integer! @ 123456789h"},
        {"1'0h", "invalid integer! @ 1'0h"},
        {"-12h", "invalid integer! @ -12h"},
        {"Ah", "invalid integer! @ Ah"},
    });
}

TEST_F(LexerErrors, InvalidValuesOfTypesNotBuiltYet) {
    check_all({
        {"#{1}", "invalid binary! @ #{1}"},
        {"#{0G}", "invalid binary! @ #{0G}"},
        {"2#{0000000}", "invalid binary! @ 2#{0000000}"},
        {"3#{00}", "invalid binary! @ 3#{00}"},
        {"64#{AQ=}", "invalid binary! @ 64#{AQ=}"},
        {"64#{A}", "invalid binary! @ 64#{A}"},
        {"#{00", "invalid binary! @ #{00"},
        {"1.256.3", "invalid tuple! @ 1.256.3"},
        {"1..2", "invalid tuple! @ 1..2"},
        {"1.2.3.4.5.6.7.8.9.10.11.12.13", "invalid tuple! @ 1.2.3.4.5.6.7.8.9.10.11.12.13"},
        {"29-Feb-2001", "invalid date! @ 29-Feb-2001"},
        {"32-Jan-2000", "invalid date! @ 32-Jan-2000"},
        {"1-Foo-2000", "invalid date! @ 1-Foo-2000"},
        {"1-13-2000", "invalid date! @ 1-13-2000"},
        {"1-Jan/2000", "invalid date! @ 1-Jan/2000"},
        {"1-Jan-2000/24:00", "invalid date! @ 1-Jan-2000/24:00"},
        {"1-Jan-2000/10:00+16:00", "invalid date! @ 1-Jan-2000/10:00+16:00"},
        {"2000-000", "invalid date! @ 2000-000"},
        {"2000-W54", "invalid date! @ 2000-W54"},
        {"2000-W01-8", "invalid date! @ 2000-W01-8"},
        {"$1''0", "invalid money! @ $1''0"},
        {"$1'", "invalid money! @ $1'"},
        {"$1.123456", "invalid money! @ $1.123456"},
        {"$", "invalid money! @ $"},
        {"$123456789012345678", "invalid money! @ $123456789012345678"},
        {"ABCD$1", "invalid money! @ ABCD$1"},
        {"1.5x2", "invalid pair! @ 1.5x2"},
        {"1x", "invalid pair! @ 1x"},
        {"1x2.5", "invalid pair! @ 1x2.5"},
        {"1.5e%", "invalid float! @ 1.5e%"},
        {"<a", "invalid tag! @ <a"},
        {"'<a>", "invalid tag! @ '<a>"},
        {"(1, 2", "invalid point2D! @ (1, 2"},
        {"(a, b)", "invalid float! @ (a, b)"},   // a part that is not a number
        {"(1, 2, x)", "invalid point2D! @ (1, 2, x)"},
        {"(1, 2, 3, 4)", "invalid point3D! @ (1, 2, 3, 4)"},
        {"#[a 1 b]", "invalid map! @ ]"},
    });
}

TEST_F(LexerErrors, ContainersAndStructure) {
    check_all({
        {"[a", "missing ] @ [a"},
        {"[a [b]", "missing ] @ [a [b]"},
        {"(a", "missing ) @ (a"},
        {"#[a", "missing ] @ [a"},
        {"a]", "missing [ @ ]"},
        {"a)", "missing ( @ )"},
        {"(a]", "missing ) @ ]"},
        {"[a)", "missing ] @ )"},
        {"#[a)", "missing ] @ )"},
        {"}", "bad-char @ }"},
        {"\\", "bad-char @ \\"},
        {"a/", "invalid path! @ a/"},
        {"a/ b", "invalid path! @  b"},
        {"a/b:/c", "invalid path! @ b:/c"},
        {":a/b:", "invalid path! @ b:"},
        {"(a/)", "invalid path! @ )"},
        {"a/b,c", "invalid path! @ b,c"},
        {"a/99999999999", "invalid integer! @ 99999999999"},
        {"a/<<b/c", "invalid path! @ <<b/c"},
        {"#(truex)", "malconstruct @ #(truex)"},
        {"#(foo!)", "malconstruct @ #(foo!)"},
        {"#(true", "malconstruct @ #(true"},
        {"#()", "malconstruct @ #()"},
        // Commas: only inside a point literal.
        {"1,", "invalid point2D! @ ,"},
        {"[1 , 2]", "invalid point2D! @ , 2]"},
        {"(x , y)", "missing ( @ )"},
        {"(1 , [2])", "invalid point2D! @ (1 , [2])"},
        {"(x , [2])", "invalid point2D! @ [2])"},
        {"(x, y)", "invalid word! @ x, y)"},
    });
}

// The position text names the line of the error; the near text stops at
// a line end and after 30 bytes.
TEST_F(LexerErrors, PositionAndNearText) {
    std::string position;
    EXPECT_EQ(load_error("a\nb\n  1a c\nd", &position), "invalid integer! @ 1a c");
    EXPECT_EQ(position, "(line 3)");
    EXPECT_EQ(load_error("x\n\"abc", &position), "invalid string! @ \"abc");
    EXPECT_EQ(position, "(line 2)");
    EXPECT_EQ(load_error("{a\nb\nc}\n}", &position), "bad-char @ }");
    EXPECT_EQ(position, "(line 4)");
    // Lines ended inside comments, blank runs and multi-line strings.
    EXPECT_EQ(load_error("; one\n;two caf\xc3\xa9\n\n\r\n  1a", &position), "invalid integer! @ 1a");
    EXPECT_EQ(position, "(line 5)");
    EXPECT_EQ(load_error("x: {a\nb} ;c\n\"s\" 1a", &position), "invalid integer! @ 1a");
    EXPECT_EQ(position, "(line 3)");
    EXPECT_EQ(load_error("1a3456789012345678901234567890123456"),
              "invalid integer! @ 1a3456789012345678901234567890");
    EXPECT_EQ(load_error("[\n\na"), "missing ] @ [");
}

// Bytes that cannot start a token, invalid UTF-8 and NUL bytes, in binary
// input.
TEST_F(LexerErrors, BadBytes) {
    struct ByteCase {
        std::string source;
        const char* result;  // molded values, or the error
    } cases[] = {
        {"\x80", "bad-char @ \xef\xbf\xbd"},
        {"\xbf" "a", "bad-char @ \xef\xbf\xbd" "a"},
        {"\xc0\x80", "bad-char @ \xef\xbf\xbd\xef\xbf\xbd"},
        {"\xff", "bad-char @ \xef\xbf\xbd"},
        {"a\xff", "invalid word! @ a\xef\xbf\xbd"},
        {"\"a\xff\"", "invalid string! @ \"a\xef\xbf\xbd\""},
        {"\"\xed\xa0\x80\"", "invalid string! @ \"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
        {"\xc3(", "invalid word! @ \xef\xbf\xbd("},
        {std::string("a\0b", 3), "a"},
        {std::string("a ;c\0\nb", 7), "a"},   // a NUL ends a comment and the input
        {std::string("\"a\0b\"", 5), "invalid string! @ \"a"},
        {std::string("[a\0]", 4), "missing ] @ [a"},
    };
    for (const ByteCase& c : cases) {
        std::string result;
        Cell bin{TYPE_BINARY, 0, 0, 0};
        Node node = memory::alloc_bytes(uint32_t(c.source.size()));
        SeriesBuffer* s = buffer_of(node);
        std::memcpy(s->head, c.source.data(), c.source.size());
        s->tail = s->head + c.source.size();
        set_cell_node(&bin, node);
        gc::CellRoot keep(&bin);
        try {
            Cell out{TYPE_NONE, 0, 0, 0};
            gc::CellRoot keep_out(&out);
            lexer::transcode(&bin, {}, &out);
            result = test::molded(out, true);
        } catch (const Thrown&) {
            const RaisedError& e = last_raised_error();
            result = e.id + (e.id == "bad-char" ? "" : " " + test::arg_text(e.args[1])) + " @ " +
                     test::arg_text(e.args[e.id == "bad-char" ? 1 : 2]);
        }
        EXPECT_EQ(result, c.result) << "source bytes: " << c.source;
    }
}

// Huge and deep input ends in a value or a syntax error, never a crash.
TEST_F(LexerErrors, DeepNestingAndLongTokens) {
    std::string deep(1000000, '[');
    EXPECT_EQ(load_error(deep).substr(0, 12), "missing ] @ ");
    std::string parens(200000, '(');
    EXPECT_EQ(load_error(parens).substr(0, 12), "missing ) @ ");
    EXPECT_GE(lexer::value_stack_capacity(), 1000000u);

    std::string nested = std::string(5000, '[') + std::string(5000, ']');
    Cell b = load_source(nested);
    gc::CellRoot keep(&b);
    uint32_t depth = 0;
    for (Cell c = b; block::length(&c) == 1; c = *block::item(&c, 0)) depth++;
    EXPECT_EQ(depth, 5000u);

    std::string digits(100000, '7');
    EXPECT_EQ(load_error(digits).substr(0, 17), "invalid float! @ ");
    std::string word(100000, 'w');
    EXPECT_EQ(load_error(word), "no error");
    EXPECT_EQ(load_error("\"" + std::string(100000, 'x')), "invalid string! @ \"" + std::string(29, 'x'));
}

}  // namespace
}  // namespace qor
