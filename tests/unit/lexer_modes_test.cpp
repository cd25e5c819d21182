// The lexer's entries and modes: transcode with /next, /one, /scan,
// /prescan, /part and /into, over strings and binaries; loading one value
// from a text; the block conversion of strings.
#include <gtest/gtest.h>

#include <string>

#include "datatypes/eval_links.hpp"
#include "datatypes/none.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using test::load_source;
using test::molded;

class LexerModes : public test::RuntimeFixture {
protected:
    // A binary! over the bytes (the datatype itself is not needed here).
    static Cell binary_of(const std::string& bytes) {
        Cell bin{TYPE_BINARY, 0, 0, 0};
        Node node = memory::alloc_bytes(uint32_t(bytes.size()));
        SeriesBuffer* s = buffer_of(node);
        std::memcpy(s->head, bytes.data(), bytes.size());
        s->tail = s->head + bytes.size();
        set_cell_node(&bin, node);
        return bin;
    }
    static Cell run(Cell source, lexer::TranscodeOptions options) {
        gc::CellRoot keep(&source);
        Cell out{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_out(&out);
        lexer::transcode(&source, options, &out);
        return out;
    }
};

TEST_F(LexerModes, NextAnswersTheValueAndTheRest) {
    lexer::TranscodeOptions next;
    next.next = true;
    struct Case {
        const char* source;
        const char* value;
        uint32_t    rest_index;
    } cases[] = {
        {"a b c", "a", 1},
        {"  [a b] c", "[a b]", 7},
        {"{x {y}} z", "\"x {y}\"", 7},
        {"a/b/c d", "a/b/c", 5},
        {"; note\n12 13", "12", 9},
        {"caf\xc3\xa9 x", "caf\xc3\xa9", 4},   // characters, not bytes
        {"", "unset", 0},
        {"   ", "unset", 3},
    };
    for (const Case& c : cases) {
        Cell r = run(string::from_utf8(c.source), next);
        gc::CellRoot keep(&r);
        ASSERT_EQ(type_of(&r), TYPE_BLOCK) << c.source;
        ASSERT_EQ(block::length(&r), 2u);
        const Cell* v = block::item(&r, 0);
        EXPECT_EQ(type_of(v) == TYPE_UNSET ? std::string("unset") : molded(*v), c.value) << c.source;
        EXPECT_EQ(block::item(&r, 1)->data1, c.rest_index) << c.source;
    }
}

TEST_F(LexerModes, OneAnswersTheFirstValue) {
    lexer::TranscodeOptions one;
    one.one = true;
    Cell r = run(string::from_utf8("[1 2] 3"), one);
    EXPECT_EQ(molded(r), "[1 2]");
    r = run(string::from_utf8("\n42"), one);
    EXPECT_EQ(type_of(&r), TYPE_INTEGER);
    EXPECT_EQ(r.header & FLAG_NEW_LINE, 0u);  // a lone value carries no line mark
    r = run(string::from_utf8(""), one);
    EXPECT_EQ(type_of(&r), TYPE_UNSET);
}

TEST_F(LexerModes, ScanAndPrescanNameTheFirstType) {
    struct Case {
        const char* source;
        uint32_t    scan;
        uint32_t    prescan;
    } cases[] = {
        {"a:", TYPE_SET_WORD, TYPE_WORD},
        {"[a b] c", TYPE_BLOCK, TYPE_BLOCK},
        {"a/b c", TYPE_PATH, TYPE_PATH},
        {"123 x", TYPE_INTEGER, TYPE_INTEGER},
        {"99999999999", TYPE_FLOAT, TYPE_INTEGER},
        {"1.2.3", TYPE_TUPLE, TYPE_TUPLE},
        {"{a}", TYPE_STRING, TYPE_STRING},
        {"(1, 2)", TYPE_POINT2D, TYPE_POINT2D},
        {"1.2.999", 0, TYPE_TUPLE},      // prescan guesses, loading nothing
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        lexer::TranscodeOptions scan;
        scan.scan = true;
        lexer::TranscodeOptions prescan;
        prescan.prescan = true;
        Cell r{TYPE_NONE, 0, 0, 0};
        try {
            r = run(string::from_utf8(c.source), scan);
        } catch (const Thrown&) {
            r = Cell{TYPE_NONE, 0, 0, 0};
        }
        EXPECT_EQ(type_of(&r) == TYPE_DATATYPE ? r.data1 : 0u, c.scan) << "scan " << c.source;
        r = run(string::from_utf8(c.source), prescan);
        EXPECT_EQ(type_of(&r) == TYPE_DATATYPE ? r.data1 : 0u, c.prescan) << "prescan " << c.source;
    }
    // With /next: the type and the rest.
    lexer::TranscodeOptions scan_next;
    scan_next.scan = scan_next.next = true;
    Cell r = run(string::from_utf8("abc def"), scan_next);
    gc::CellRoot keep(&r);
    EXPECT_EQ(block::item(&r, 0)->data1, uint32_t(TYPE_WORD));
    EXPECT_EQ(block::item(&r, 1)->data1, 3u);
}

TEST_F(LexerModes, PartAndInto) {
    lexer::TranscodeOptions part;
    Cell count = integer::make(5);
    part.part = &count;
    EXPECT_EQ(molded(run(string::from_utf8("abc def ghi"), part), true), "abc d");
    // On a string, an integer counts bytes of its UTF-8 text; a position
    // counts characters.
    Cell wide = string::from_utf8("\xc3\xa9\xc3\xa9 x");
    gc::CellRoot keep_wide(&wide);
    count = integer::make(4);
    EXPECT_EQ(molded(run(wide, part), true), "\xc3\xa9\xc3\xa9");
    Cell at = wide;
    at.data1 = 1;
    part.part = &at;
    EXPECT_EQ(molded(run(wide, part), true), "\xc3\xa9");
    part.part = &count;
    count = integer::make(5);
    Cell bin = binary_of("12 34 56");
    gc::CellRoot keep_bin(&bin);
    EXPECT_EQ(molded(run(bin, part), true), "12 34");
    // A position in the same binary.
    Cell stop = bin;
    stop.data1 = 2;
    part.part = &stop;
    EXPECT_EQ(molded(run(bin, part), true), "12");
    // A binary of another buffer is refused.
    Cell other = binary_of("x");
    gc::CellRoot keep_other(&other);
    part.part = &other;
    RaisedError e = test::raised_by([&] { run(bin, part); });
    EXPECT_EQ(e.id, "not-same-type");

    Cell into = test::ints({1, 2});
    gc::CellRoot keep_into(&into);
    lexer::TranscodeOptions options;
    options.into = &into;
    Cell r = run(string::from_utf8("a [b]"), options);
    EXPECT_EQ(cell_node(&r), cell_node(&into));
    EXPECT_EQ(molded(into, true), "1 2 a [b]");
}

TEST_F(LexerModes, StringSourceFromItsIndex) {
    Cell s = string::from_utf8("skip a b");
    gc::CellRoot keep(&s);
    string::set_index(&s, 5);
    EXPECT_EQ(molded(run(s, {}), true), "a b");
    // A wide string is converted to UTF-8 first.
    Cell wide = string::from_utf8("\xce\xb1 \xf0\x9f\x98\x80 x");
    gc::CellRoot keep_wide(&wide);
    EXPECT_EQ(molded(run(wide, {}), true), "\xce\xb1 \xf0\x9f\x98\x80 x");
}

TEST_F(LexerModes, LoadValueFromString) {
    struct Case {
        const char* text;
        const char* value;
    } cases[] = {
        {"123", "123"}, {"a:", "a:"}, {"[x y]", "[x y]"}, {"\"s\"", "\"s\""},
        {"", "unset"}, {"  ", "unset"}, {"1 2", "none"}, {"1 ", "none"},
    };
    for (const Case& c : cases) {
        Cell text = string::from_utf8(c.text);
        gc::CellRoot keep(&text);
        Cell* v = eval_links::get().load_value_from_string(&text);
        ASSERT_NE(v, nullptr);
        std::string got = type_of(v) == TYPE_UNSET ? "unset" : type_of(v) == TYPE_NONE ? "none" : molded(*v);
        EXPECT_EQ(got, c.value) << c.text;
    }
    Cell none_text = string::from_utf8("1 2");
    gc::CellRoot keep(&none_text);
    EXPECT_EQ(lexer::load_value_from_string(&none_text), none_value);
}

TEST_F(LexerModes, BlockConversionOfStrings) {
    Cell text = string::from_utf8("a [b] 3");
    gc::CellRoot keep(&text);
    Cell b = block::make(1);
    gc::CellRoot keep_b(&b);
    lexer::transcode(&text, &b);
    EXPECT_EQ(molded(b, true), "a [b] 3");
}

// Conversions of the datatypes that load their text.
TEST_F(LexerModes, ConversionsThroughTheLoader) {
    Cell text = string::from_utf8("1:30");
    gc::CellRoot keep(&text);
    Cell* v = lexer::load_value_from_string(&text);
    EXPECT_EQ(type_of(v), TYPE_TIME);
    EXPECT_EQ(cell_float(v), 5400.0);
}

// Many values: the value stack grows (integers allocate nothing), and the
// values loaded so far survive the collections that later ones cause.
TEST_F(LexerModes, LargeInputsGrowTheValueStack) {
    std::string source = "[";
    for (int i = 0; i < 5000; i++) source += std::to_string(i) + " ";
    source += "]";
    for (int i = 0; i < 300; i++) source += " [w" + std::to_string(i) + " \"s\"]";
    Cell b = load_source(source);
    gc::CellRoot keep(&b);
    ASSERT_EQ(block::length(&b), 301u);
    EXPECT_GE(lexer::value_stack_capacity(), 5000u);
    EXPECT_EQ(block::length(block::item(&b, 0)), 5000u);
    gc::collect();
    EXPECT_EQ(molded(*block::item(&b, 300)), "[w299 \"s\"]");
}

// A long load collects many times on its way (every 61st allocation here):
// the values, words and new-line markers come out as from a quiet load,
// also when they are appended to a given block.  Words repeat, differ only
// in case, and exceed the length the lexer remembers spellings for.
TEST_F(LexerModes, LongLoadCollectingOnTheWay) {
    std::string source;
    for (int i = 0; i < 1500; i++) {
        std::string n = std::to_string(i);
        source += "w" + n + ": [Foo foo FOO 'foo :foo a/b/c \"caf\xc3\xa9 " + n + "\" " + n + " {x}]\n";
        source += "a-very-long-word-of-thirty-three-" + n + " w" + std::to_string(i % 7) + " (w" + n + ")\n";
    }
    Cell quiet = load_source(source);
    gc::CellRoot keep_quiet(&quiet);
    std::string expected = molded(quiet, true);
    lexer::TranscodeOptions into;
    Cell dst = block::make(1);
    gc::CellRoot keep_dst(&dst);
    into.into = &dst;
    uint32_t interval = gc::stress_interval();
    gc::set_stress_interval(61);
    Cell stressed = load_source(source);
    gc::CellRoot keep_stressed(&stressed);
    Cell appended = load_source(source, into);
    gc::CellRoot keep_appended(&appended);
    gc::set_stress_interval(interval);
    gc::collect();
    EXPECT_EQ(molded(stressed, true), expected);
    EXPECT_EQ(molded(dst, true), expected);
    // Spellings that differ only in case stay different words.
    const Cell* inner = block::item(&stressed, 1);
    EXPECT_EQ(word::symbol_of(block::item(inner, 0)), symbol::intern("Foo"));
    EXPECT_EQ(word::symbol_of(block::item(inner, 1)), symbol::intern("foo"));
    EXPECT_EQ(word::symbol_of(block::item(inner, 2)), symbol::intern("FOO"));
}

}  // namespace
}  // namespace qor
