#include "datatypes/string_actions.hpp"

#include <gtest/gtest.h>

#include <string>

#include "datatypes/eval_links.hpp"
#include "datatypes/block.hpp"
#include "datatypes/char.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/call.hpp"
#include "evaluator/lexer.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/series.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "memory_fixture.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using test::raised_by;

class StringActions : public test::RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        stack::seam_start_call();
    }
};

Cell str(const char* utf8, uint32_t index = 0, uint32_t type = TYPE_STRING) {
    Cell c = string::from_utf8(utf8);
    c.header = type;
    c.data1 = index;
    return c;
}

// The text of a series from its head, whatever its index.
std::string whole(const Cell& c) {
    Cell h = c;
    h.data1 = 0;
    return string::to_utf8(&h);
}

Cell ch(uint32_t cp) { return char_::make(cp); }
Cell num(int32_t n) { return integer::make(n); }
std::string err(const RaisedError& e) { return e.category + "/" + e.id; }

TEST_F(StringActions, Registration) {
    EXPECT_EQ(registry::action<SLOT_FIND>(TYPE_STRING), &string_find);
    EXPECT_EQ(registry::action<SLOT_PICK>(TYPE_STRING), registry::action<SLOT_PICK>(TYPE_SERIES));
    EXPECT_EQ(registry::action<SLOT_COPY>(TYPE_STRING), registry::action<SLOT_COPY>(TYPE_SERIES));
    EXPECT_EQ(registry::action<SLOT_ADD>(TYPE_STRING), nullptr);
    EXPECT_EQ(registry::action<SLOT_PUT>(TYPE_STRING), nullptr);
}

TEST_F(StringActions, MoldDelimiters) {
    std::string s49(49, 'x'), s50(50, 'x');
    struct Case {
        std::string text;
        std::string molded;
    } cases[] = {
        {s49, "\"" + s49 + "\""},
        {s50, "{" + s50 + "}"},
        {"a\nb\nc", "\"a^/b^/c\""},                 // two line feeds: quotes
        {"a\nb\nc\nd", "{a^/b^/c^/d}"},             // three: braces, still escaped
        {"say \"hi\"", "{say \"hi\"}"},            // a double quote forces braces
        {"{", "\"{\""},                            // quote form writes braces as they are
        {"\"{", "{\"^{}"},                         // an unmatched left brace gets a caret
        {"\"}", "{\"^}}"},                         // so does an unmatched right brace
        {"\"{a}", "{\"{a}}"},
        {"\"{a}}{", "{\"{a}^}^{}"},
        {"\"{{a}", "{\"^{^{a^}}"},                 // the first unmatched one, and those after
        {"\"}{", "{\"^}^{}"},
        {"", "\"\""},
        {"caf\xC3\xA9", "\"caf\xC3\xA9\""},
        {"tab\there", "\"tab^-here\""},
        {"^", "\"^^\""},
        {std::string("\x1E\x7F\xC2\x80", 4), "\"^(1E)^~^(80)\""},
        {std::string("\0z", 2), "\"^@z\""},
        {"\"^\t", "{\"^^^-}"},
    };
    for (const Case& c : cases) {
        Cell v = string::from_utf8(c.text.data(), c.text.size());
        EXPECT_EQ(test::mold_of(v), c.molded) << c.text;
    }
    Cell e = str("\xC3\xA9\xCE\xB1");
    EXPECT_EQ(test::mold_of(e, true), "\"^(E9)^(3B1)\"");
}

TEST_F(StringActions, MoldFromIndexAndWithPart) {
    Cell v = str("abcdef", 2);
    EXPECT_EQ(test::mold_of(v), "\"cdef\"");
    Cell out = string::make();
    Cell part = num(2);
    int32_t left = string_mold(&v, &out, false, false, false, &part, 2, 0);
    EXPECT_EQ(string::to_utf8(&out), "\"cd\"");
    EXPECT_EQ(left, -2);
}

TEST_F(StringActions, Form) {
    EXPECT_EQ(test::form_of(str("hello", 1)), "ello");
    Cell v = str("h\xC3\xA9llo");
    Cell out = str("x");
    Cell part = num(3);
    int32_t left = string_form(&v, &out, &part, 3);
    EXPECT_EQ(string::to_utf8(&out), "xh\xC3\xA9l");
    EXPECT_EQ(left, -2);   // the limit less the whole length: the caller sees it ran out
}

TEST_F(StringActions, Compare) {
    struct Case {
        Cell a, b;
        int32_t op;
        int32_t expected;
    } cases[] = {
        {str("abc"), str("ABC"), COMP_EQUAL, 0},
        {str("abc"), str("ABC"), COMP_STRICT_EQUAL, 1},
        {str("abc"), str("abd"), COMP_LESSER, -1},
        {str("abc"), str("abc", 0, TYPE_FILE), COMP_EQUAL, 0},
        {str("abc"), str("abx", 0, TYPE_FILE), COMP_NOT_EQUAL, -1},
        {str("abc"), str("abc", 0, TYPE_FILE), COMP_LESSER, COMPARE_INCOMPARABLE},
        {str("abc"), str("abc", 0, TYPE_FILE), COMP_STRICT_EQUAL, COMPARE_INCOMPARABLE},
        {str("1"), num(1), COMP_EQUAL, COMPARE_INCOMPARABLE},
    };
    for (const Case& c : cases) EXPECT_EQ(test::compare_of(c.a, c.b, c.op), c.expected);
}

struct FindArgs {
    Cell* part = nullptr;
    bool case_ = false, same = false, any = false;
    Cell* with = nullptr;
    Cell* skip = nullptr;
    bool last = false, reverse = false, tail = false, match = false;
};

// The index found, or -1 for none.
int32_t find(Cell series, Cell value, FindArgs a = {}) {
    Cell* r = string_find(&series, &value, a.part, false, a.case_, a.same, a.any, a.with, a.skip, a.last, a.reverse,
                          a.tail, a.match);
    if (type_of(r) == TYPE_NONE) return -1;
    EXPECT_EQ(type_of(r), type_of(&value) == TYPE_NONE ? TYPE_NONE : type_of(&series));
    return int32_t(r->data1);
}

TEST_F(StringActions, Find) {
    Cell two = num(2), zero = num(0), three = num(3);
    FindArgs cased;
    cased.case_ = true;
    FindArgs last;
    last.last = true;
    FindArgs reverse;
    reverse.reverse = true;
    FindArgs tail;
    tail.tail = true;
    FindArgs match;
    match.match = true;
    FindArgs skip2;
    skip2.skip = &two;
    FindArgs part3;
    part3.part = &three;
    FindArgs part0;
    part0.part = &zero;
    FindArgs reverse_match;
    reverse_match.reverse = true;
    reverse_match.match = true;
    FindArgs last_part3;
    last_part3.last = true;
    last_part3.part = &three;

    Cell huge = num(0x7FFFFFFF);
    FindArgs skip_huge;
    skip_huge.skip = &huge;
    FindArgs last_skip2;
    last_skip2.last = true;
    last_skip2.skip = &two;
    FindArgs last_skip_huge;
    last_skip_huge.last = true;
    last_skip_huge.skip = &huge;

    Cell tag = str("b", 0, TYPE_TAG);
    struct Case {
        Cell series, value;
        FindArgs args;
        int32_t expected;
    } cases[] = {
        {str("abc"), ch('A'), skip_huge, 0},                    // steps never overflow
        {str("abc"), ch('b'), skip_huge, -1},
        {str("abcde"), ch('c'), last_skip2, 2},                 // from the end: e, c, a
        {str("abcde"), ch('d'), last_skip2, -1},
        {str("abc"), ch('c'), last_skip_huge, 2},
        {str("abcabc"), str("BC"), {}, 1},
        {str("abcabc"), str("BC"), cased, -1},
        {str("abcABC"), str("BC"), cased, 4},
        {str("abcabc"), str("bc"), last, 4},
        {str("abcabc", 6), str("bc"), reverse, 4},
        {str("abcabc", 4), str("bc"), reverse, 1},
        {str("abcabc"), str("bc"), tail, 3},
        {str("abcabc"), str("ab"), match, 0},
        {str("abcabc"), str("bc"), match, -1},
        {str("abcabc", 1), ch('A'), {}, 3},
        {str("abcabc"), ch('A'), cased, -1},
        {str("abcdef"), ch('c'), skip2, 2},
        {str("abcdef"), ch('d'), skip2, -1},                   // only every second position
        {str("abcdef"), str("de"), part3, -1},                 // the match would run past the range
        {str("abcdef"), str("bc"), part3, 1},
        {str("abcdef"), ch('a'), part0, -1},
        {str("abcabc"), ch('c'), last_part3, 2},
        {str(""), ch('a'), {}, -1},
        {str("abc", 3), ch('a'), {}, -1},
        {str("abc", 3), ch('a'), reverse_match, -1},
        {str("a<b>c"), tag, {}, 1},                            // a tag is searched with its brackets
        {str("x12y"), num(12), {}, 1},                         // other values are formed
        {str("x\xE2\x82\xAC" "y"), ch(0x20AC), {}, 1},
        {str("\xC3\x84rger"), str("\xC3\xA4r"), {}, 0},        // folding beyond ASCII
        {str("abc"), str(""), {}, -1},
    };
    for (const Case& c : cases) {
        try {
            EXPECT_EQ(find(c.series, c.value, c.args), c.expected)
                << string::to_utf8(&c.series) << " " << type_of(&c.value);
        } catch (const Thrown&) {
            ADD_FAILURE() << string::to_utf8(&c.series) << " raised " << err(last_raised_error());
        }
    }
}

TEST_F(StringActions, FindWithWordsAndBitsets) {
    Cell word{TYPE_WORD, 0, uint32_t(symbol::intern("Cat")), 0xFFFFFFFFu};
    EXPECT_EQ(find(str("the cat"), word), 4);

    Node node = memory::alloc_bytes(16);
    SeriesBuffer* b = buffer_of(node);
    std::memset(b->head, 0, 16);
    b->head['y' >> 3] |= uint8_t(0x80 >> ('y' & 7));
    b->tail = b->head + 16;
    Cell set{TYPE_BITSET, 0, 0, 0};
    set_cell_node(&set, node);
    EXPECT_EQ(find(str("xxyz"), set), 2);
    EXPECT_EQ(find(str("\xE2\x82\xAC"), set), -1);   // beyond the bits: not a member
}

TEST_F(StringActions, FindErrors) {
    Cell zero = num(0);
    Cell other = str("abc");
    Cell binary = str("ab");
    binary.header = TYPE_BINARY;
    FindArgs skip0;
    skip0.skip = &zero;
    FindArgs any;
    any.any = true;
    FindArgs part_other;
    part_other.part = &other;
    struct Case {
        Cell value;
        FindArgs args;
        const char* error;
    } cases[] = {
        {ch('a'), skip0, "script/out-of-range"},
        {ch('a'), any, "internal/not-done"},
        {ch('a'), part_other, "script/invalid-refine-arg"},
        {binary, {}, "script/invalid-arg"},
    };
    for (const Case& c : cases) EXPECT_EQ(err(raised_by([&] { find(str("abc"), c.value, c.args); })), c.error);
}

TEST_F(StringActions, FindInBinaries) {
    Cell bin = str("a\x01\x02");
    bin.header = TYPE_BINARY;
    Cell pattern = str("\x02");
    pattern.header = TYPE_BINARY;
    EXPECT_EQ(find(bin, pattern), 2);
    EXPECT_EQ(find(bin, num(1)), 1);   // a number is one byte compared numerically
    EXPECT_EQ(find(bin, str("A")), -1);   // bytes compare exactly
}

TEST_F(StringActions, Select) {
    auto select = [](Cell series, Cell value) {
        string_select(&series, &value, nullptr, false, false, false, false, nullptr, nullptr, false, false);
        return series;
    };
    Cell r = select(str("abcd"), str("BC"));
    EXPECT_EQ(type_of(&r), TYPE_CHAR);
    EXPECT_EQ(r.data2, uint32_t('d'));
    r = select(str("abcd"), ch('d'));
    EXPECT_EQ(type_of(&r), TYPE_NONE);   // the last character has nothing after it
    Cell bin = str("ab");
    bin.header = TYPE_BINARY;
    r = select(bin, num('a'));
    EXPECT_EQ(type_of(&r), TYPE_INTEGER);
    EXPECT_EQ(r.data2, uint32_t('b'));
}

Cell block_of(std::initializer_list<Cell> items) {
    Cell b = block::make(4);
    for (const Cell& item : items) block::append_copy(&b, &item);
    return b;
}

TEST_F(StringActions, AppendAndInsert) {
    struct Case {
        Cell series;
        Cell value;
        int32_t part, dup;
        bool append;
        std::string text;
        uint32_t index;
    } cases[] = {
        {str("a"), str("b", 0, TYPE_TAG), -1, 1, true, "a<b>", 0},
        {str("a", 1), block_of({num(1), str("x"), ch('y')}), -1, 1, true, "a1xy", 0},
        {str("abc", 1), str("XYZ"), 2, 1, true, "abcXY", 0},
        {str("ab", 1), str("xy"), -1, 3, true, "abxyxyxy", 0},
        {str("ab", 1), str(""), -1, 1, true, "ab", 1},          // nothing appended: unchanged
        {str("ab", 1), str("xy"), -1, 0, true, "ab", 1},
        {str("abc", 1), str("XY"), -1, 1, false, "aXYbc", 3},
        {str("abc", 1), str("XY"), -1, 2, false, "aXYXYbc", 5},
        {str("abc", 3), str("XY"), -1, 1, false, "abcXY", 5},   // at the tail: left at the tail
        {str("abc", 1), num(42), -1, 1, false, "a42bc", 3},
        {str("abc", 1), ch(0x1F600), -1, 1, false, "a\xF0\x9F\x98\x80" "bc", 2},
        {str("ab"), str("\xE2\x82\xAC", 0, TYPE_FILE), -1, 1, true, "ab\xE2\x82\xAC", 0},
    };
    for (Case& c : cases) {
        Cell* r = string_insert(&c.series, &c.value, c.part, false, c.dup, c.append);
        EXPECT_EQ(whole(*r), c.text);
        EXPECT_EQ(r->data1, c.index) << c.text;
    }
}

TEST_F(StringActions, InsertingAStringIntoItself) {
    Cell s = str("abc", 1);
    Cell same = s;
    string_insert(&s, &same, -1, false, 1, false);
    EXPECT_EQ(whole(s), "abcbc");
    Cell t = str("xy");
    Cell t_again = t;
    string_insert(&t, &t_again, -1, false, 1, true);
    EXPECT_EQ(whole(t), "xyxy");
}

TEST_F(StringActions, AppendSizeOverflowIsAMemoryError) {
    Cell s = str("ab");
    Cell v = str("xyz");
    EXPECT_EQ(err(raised_by([&] { string_insert(&s, &v, -1, false, 0x7FFFFFFF, true); })), "internal/no-memory");
    EXPECT_EQ(whole(s), "ab");   // nothing changed
}

TEST_F(StringActions, Change) {
    struct Case {
        Cell series, value;
        int32_t part, dup;
        std::string text;
        uint32_t index;
    } cases[] = {
        {str("abcdef", 1), str("XY"), -1, 1, "aXYdef", 3},
        {str("abcdef", 1), str("XY"), 4, 1, "aXYf", 3},       // /part: the range replaced
        {str("abcdef", 1), str("XY"), 0, 1, "aXYbcdef", 3},
        {str("abcdef", 4), str("WXYZ"), -1, 1, "abcdWXYZ", 8},
        {str("abc", 3), str("XY"), -1, 1, "abcXY", 5},        // at the tail: append
        {str("abcdef"), ch('Z'), -1, 3, "ZZZdef", 3},
        {str("abc"), str("\xE2\x82\xAC"), -1, 1, "\xE2\x82\xAC" "bc", 1},
        {str("abcdef", 9), ch('Z'), -1, 1, "abcdefZ", 7},    // index past the tail clamps
    };
    for (Case& c : cases) {
        Cell* r = string_change(&c.series, &c.value, c.part, false, c.dup);
        EXPECT_EQ(whole(*r), c.text);
        EXPECT_EQ(r->data1, c.index) << c.text;
    }
    Cell s = str("abcdef", 1);
    Cell own = s;
    own.data1 = 3;
    string_change(&s, &own, -1, false, 1);   // the source shares the buffer
    EXPECT_EQ(whole(s), "adefef");
}

struct SortArgs {
    bool case_ = false;
    Cell* skip = nullptr;
    Cell* compare = nullptr;
    Cell* part = nullptr;
    bool all = false, reverse = false, stable = false;
};

std::string sorted(Cell s, SortArgs a = {}) {
    string_sort(&s, a.case_, a.skip, a.compare, a.part, a.all, a.reverse, a.stable);
    return whole(s);
}

TEST_F(StringActions, Sort) {
    Cell two = num(2), minus2 = num(-2), offset2 = num(2);
    SortArgs cased;
    cased.case_ = true;
    SortArgs rev;
    rev.reverse = true;
    SortArgs pairs;
    pairs.skip = &two;
    SortArgs pairs_all;
    pairs_all.skip = &two;
    pairs_all.all = true;
    SortArgs by_second;
    by_second.skip = &two;
    by_second.compare = &offset2;
    SortArgs part_back;
    part_back.part = &minus2;
    SortArgs stable;
    stable.stable = true;
    stable.skip = &two;
    struct Case {
        Cell series;
        SortArgs args;
        std::string expected;
    } cases[] = {
        {str("dCbA"), {}, "AbCd"},
        {str("dCbA"), cased, "ACbd"},
        {str("abc"), rev, "cba"},
        {str("b2a1a0"), pairs, "a?a?b2"},            // checked by prefix below
        {str("b2a1a0"), pairs_all, "a0a1b2"},
        {str("x3y1z2"), by_second, "y1z2x3"},
        {str("dcba", 3), part_back, "dbca"},
        {str("b1a2a1b0"), stable, "a2a1b1b0"},       // equal keys keep their order
        {str("\xCE\x92\xCE\xB1"), {}, "\xCE\xB1\xCE\x92"},   // wide text folds too
        {str("\xF0\x9F\x98\x80" "ba"), {}, "ab\xF0\x9F\x98\x80"},
    };
    for (const Case& c : cases) {
        std::string got = sorted(c.series, c.args);
        if (c.expected == "a?a?b2") {
            EXPECT_EQ(got.substr(4), "b2");
            EXPECT_EQ(got[0], 'a');
            EXPECT_EQ(got[2], 'a');
        } else {
            EXPECT_EQ(got, c.expected);
        }
    }
    Cell s = str("dcba", 3);
    string_sort(&s, false, nullptr, nullptr, &minus2, false, false, false);
    EXPECT_EQ(s.data1, 1u);   // the index moved back
}

TEST_F(StringActions, SortErrors) {
    Cell three = num(3), zero = num(0), two = num(2), bad_offset = num(3), text_cmp = str("x");
    SortArgs skip3;
    skip3.skip = &three;
    SortArgs skip0;
    skip0.skip = &zero;
    SortArgs all_alone;
    all_alone.all = true;
    SortArgs offset_no_skip;
    offset_no_skip.compare = &two;
    SortArgs offset_out;
    offset_out.skip = &two;
    offset_out.compare = &bad_offset;
    SortArgs bad_comparator;
    bad_comparator.compare = &text_cmp;
    struct Case {
        SortArgs args;
        const char* error;
    } cases[] = {
        {skip3, "script/invalid-refine-arg"},
        {skip0, "script/invalid-refine-arg"},
        {all_alone, "script/bad-refines"},
        {offset_no_skip, "script/bad-refines"},
        {offset_out, "script/out-of-range"},
        {bad_comparator, "script/invalid-refine-arg"},
    };
    for (const Case& c : cases) EXPECT_EQ(err(raised_by([&] { sorted(str("abcd"), c.args); })), c.error);
}

// Stand-in for calling a function: the comparator "greater" of two chars.
void greater_hook(const Cell* function, const Cell* args, uint32_t count, Cell* result) {
    *result = Cell{TYPE_LOGIC, args[0].data2 > args[1].data2 ? 1u : 0u, 0, 0};
}

TEST_F(StringActions, SortWithAFunction) {
    eval_links::get().call_function = greater_hook;
    Cell f{TYPE_FUNCTION, 0, 0, 0};
    SortArgs a;
    a.compare = &f;
    // Called with (second, first): true means the first sorts after the second.
    EXPECT_EQ(sorted(str("bdac"), a), "dcba");
    a.reverse = true;
    EXPECT_EQ(sorted(str("bdac"), a), "abcd");
    eval_links::get().call_function = nullptr;
}

Cell* g_sorted_series = nullptr;

// A comparator that empties the series it is sorting and allocates.
void clearing_hook(const Cell* function, const Cell* args, uint32_t count, Cell* result) {
    string::buffer(g_sorted_series)->tail = string::buffer(g_sorted_series)->head;
    Cell garbage = string::from_utf8("allocate while sorting");
    (void)garbage;
    *result = Cell{TYPE_LOGIC, args[0].data2 > args[1].data2 ? 1u : 0u, 0, 0};
}

TEST_F(StringActions, SortSurvivesAComparatorThatChangesTheSeries) {
    eval_links::get().call_function = clearing_hook;
    Cell f{TYPE_FUNCTION, 0, 0, 0};
    Cell s = str("dcbaxyz");
    g_sorted_series = &s;
    string_sort(&s, false, nullptr, &f, nullptr, false, false, true);
    EXPECT_EQ(whole(s), "");   // nothing written past the shortened series
    eval_links::get().call_function = nullptr;
}

TEST_F(StringActions, Swap) {
    Cell a = str("abc"), b = str("\xE2\x82\xAC" "z");
    string_swap(&a, &b);
    EXPECT_EQ(whole(a), "\xE2\x82\xAC" "bc");
    EXPECT_EQ(whole(b), "az");
    Cell at_tail = str("q", 1);
    string_swap(&a, &at_tail);
    EXPECT_EQ(whole(a), "\xE2\x82\xAC" "bc");
    Cell n = num(1);
    EXPECT_EQ(err(raised_by([&] { string_swap(&a, &n); })), "script/invalid-arg");
}

TEST_F(StringActions, Take) {
    Cell s = str("abc");
    Cell* r = string_take(&s, nullptr, false, false);
    EXPECT_EQ(type_of(r), TYPE_CHAR);
    EXPECT_EQ(r->data2, uint32_t('a'));
    EXPECT_EQ(whole(s), "bc");
    r = string_take(&s, nullptr, false, true);
    EXPECT_EQ(r->data2, uint32_t('c'));
    Cell t = str("hello");
    Cell two = num(2);
    r = string_take(&t, &two, false, false);
    EXPECT_EQ(type_of(r), TYPE_STRING);
    EXPECT_EQ(string::to_utf8(r), "he");
    Cell one = num(1);
    r = string_take(&t, &one, false, false);
    EXPECT_EQ(type_of(r), TYPE_STRING);   // with /part a string even for one character
}

struct TrimArgs {
    bool head = false, tail = false, auto_ = false, lines = false, all = false;
    Cell* with = nullptr;
};

std::string trimmed(Cell s, TrimArgs a = {}) {
    string_trim(&s, a.head, a.tail, a.auto_, a.lines, a.all, a.with);
    return whole(s);
}

TEST_F(StringActions, Trim) {
    Cell ab = str("ab"), x = ch('x'), empty = str("");
    TrimArgs head;
    head.head = true;
    TrimArgs tail;
    tail.tail = true;
    TrimArgs both;
    both.head = both.tail = true;
    TrimArgs lines;
    lines.lines = true;
    TrimArgs all;
    all.all = true;
    TrimArgs with_ab;
    with_ab.with = &ab;
    TrimArgs with_x;
    with_x.with = &x;
    TrimArgs with_empty;
    with_empty.with = &empty;
    struct Case {
        Cell series;
        TrimArgs args;
        std::string expected;
    } cases[] = {
        {str("  a  \n  b  \n  "), {}, "a\nb\n"},
        {str("  a b  \n\tc\t\n"), {}, "a b\nc\n"},
        {str("  a  "), {}, "a"},
        {str("\xE3\x80\x80" "a\xC2\xA0"), {}, "a"},          // Unicode spaces
        {str("  a  "), head, "a  "},
        {str("  a  \n"), tail, "  a"},
        {str("  a \n "), both, "a"},
        {str(" a \t b\n\nc  "), lines, "a b c"},
        {str(" a b\tc\n"), all, "abc"},
        {str("abcab"), with_ab, "c"},
        {str("axbx"), with_x, "ab"},
        {str("ab"), with_empty, "ab"},
        {str("  x  ", 1), head, " x  "},                       // from the index
        {str(""), {}, ""},
        {str(std::string("\0 a", 3).c_str()), {}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(trimmed(c.series, c.args), c.expected) << whole(c.series);
    Cell nul = string::from_utf8(std::string("\0 a ", 4).data(), 4);
    EXPECT_EQ(trimmed(nul), std::string("\0 a", 3));   // NUL is not whitespace

    TrimArgs auto_;
    auto_.auto_ = true;
    EXPECT_EQ(err(raised_by([&] { trimmed(str("x"), auto_); })), "internal/not-done");
}

TEST_F(StringActions, SetOperations) {
    struct Case {
        const char* a;
        const char* b;
        int32_t op;
        bool case_;
        std::string expected;
    } cases[] = {
        {"abcabd", "", SET_UNIQUE, false, "abcd"},
        {"aAb", "", SET_UNIQUE, false, "ab"},
        {"aAb", "", SET_UNIQUE, true, "aAb"},
        {"abc", "cde", SET_UNION, false, "abcde"},
        {"abcd", "dbx", SET_INTERSECT, false, "bd"},
        {"abcd", "DB", SET_EXCLUDE, false, "ac"},
        {"abcd", "DB", SET_EXCLUDE, true, "abcd"},
        {"abc", "bcd", SET_DIFFERENCE, false, "ad"},
    };
    for (const Case& c : cases) {
        Cell a = str(c.a), b = str(c.b), result;
        string_actions::set_operation(&a, &b, c.case_, nullptr, c.op, &result);
        EXPECT_EQ(whole(result), c.expected) << c.a << " " << c.b << " " << c.op;
    }
    Cell a = str("a1b2a3"), b = str(""), two = num(2), zero = num(0), result;
    string_actions::set_operation(&a, &b, false, &two, SET_UNIQUE, &result);
    EXPECT_EQ(whole(result), "a1b2");   // whole records, tested on their first character
    EXPECT_EQ(err(raised_by([&] { string_actions::set_operation(&a, &b, false, &zero, SET_UNIQUE, &result); })),
              "script/invalid-refine-arg");
}

Cell make_or_to(MakeFn fn, uint32_t type, Cell spec) {
    stack::seam_start_call();
    Cell proto = test::datatype_cell(type);
    Cell* base = stack::push(&proto);
    Cell* s = stack::push(&spec);
    return *fn(base, s);
}

TEST_F(StringActions, MakeAndTo) {
    Cell made = make_or_to(string_make, TYPE_STRING, num(10));
    EXPECT_EQ(type_of(&made), TYPE_STRING);
    EXPECT_EQ(string::length(&made), 0u);
    EXPECT_GE(string::buffer(&made)->capacity, 10u);
    made = make_or_to(string_make, TYPE_FILE, test::float_cell(3.7));
    EXPECT_EQ(type_of(&made), TYPE_FILE);

    struct Case {
        uint32_t type;
        Cell spec;
        uint32_t result_type;
        std::string text;
    } cases[] = {
        {TYPE_STRING, block_of({num(1), str("x"), ch('y')}), TYPE_STRING, "1xy"},
        {TYPE_STRING, str("abc", 1, TYPE_FILE), TYPE_STRING, "bc"},
        {TYPE_FILE, str("abc"), TYPE_FILE, "abc"},
        {TYPE_STRING, num(-12), TYPE_STRING, "-12"},
        {TYPE_STRING, ch('q'), TYPE_STRING, "q"},
        {TYPE_STRING, str("t", 0, TYPE_TAG), TYPE_STRING, "t"},
    };
    for (const Case& c : cases) {
        Cell r = make_or_to(string_to, c.type, c.spec);
        EXPECT_EQ(type_of(&r), c.result_type);
        EXPECT_EQ(whole(r), c.text);
    }
    // The copy is a new buffer.
    Cell source = str("abc");
    Cell copy = make_or_to(string_to, TYPE_STRING, source);
    EXPECT_NE(cell_node(&copy), cell_node(&source));

    Node node = memory::alloc_bytes(3);
    SeriesBuffer* b = buffer_of(node);
    std::memcpy(b->head, "\xC3\xA9!", 3);
    b->tail = b->head + 3;
    Cell bin{TYPE_BINARY, 0, 0, 0};
    set_cell_node(&bin, node);
    Cell r = make_or_to(string_to, TYPE_STRING, bin);
    EXPECT_EQ(whole(r), "\xC3\xA9!");

    EXPECT_EQ(err(raised_by([&] { make_or_to(string_make, TYPE_STRING, num(-1)); })), "script/out-of-range");
    EXPECT_EQ(err(raised_by([&] { make_or_to(string_to, TYPE_STRING, test::none_cell()); })), "script/bad-to-arg");
}

TEST_F(StringActions, PathSteps) {
    auto step = [](Cell value, Cell element, Cell* new_value) {
        Cell* r = string_eval_path(&value, &element, new_value, nullptr, nullptr, nullptr, 0, false, 0, true, false);
        return *r;
    };
    Cell r = step(str("abc"), num(2), nullptr);
    EXPECT_EQ(type_of(&r), TYPE_CHAR);
    EXPECT_EQ(r.data2, uint32_t('b'));
    r = step(str("abc"), ch('A'), nullptr);   // select
    EXPECT_EQ(r.data2, uint32_t('b'));

    Cell s = str("abc");
    Cell x = ch('X');
    step(s, num(3), &x);
    EXPECT_EQ(whole(s), "abX");
    Cell key = str("ab");
    Cell y = ch('Y');
    step(s, key, &y);
    EXPECT_EQ(whole(s), "aYX");   // the second character of the match

    Cell word{TYPE_WORD, 0, uint32_t(symbol::intern("w")), 0};
    EXPECT_EQ(err(raised_by([&] { step(s, word, nullptr); })), "script/invalid-path");
    Cell missing = str("zz");
    EXPECT_EQ(err(raised_by([&] { step(s, missing, &y); })), "script/bad-path-set");
}

}  // namespace
}  // namespace qor
