#include "datatypes/string.hpp"

#include <gtest/gtest.h>

#include <string>

#include "datatypes/stack.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_out.hpp"
#include "memory_fixture.hpp"
#include "datatypes/unicode.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using test::raised_by;

class StringStorage : public testing::MemoryFixture {};

Cell text(const char* utf8, uint32_t index = 0) {
    Cell c = string::from_utf8(utf8);
    c.data1 = index;
    return c;
}

Cell text_of_unit(const std::u32string& chars, uint32_t unit) {
    Cell c;
    string::init_cell_sized(&c, unit, uint32_t(chars.size()));
    for (char32_t ch : chars) string::write_char_at(&c, string::length_from_head(&c), uint32_t(ch));
    return c;
}

Cell text_at_head(Cell c) {
    c.data1 = 0;
    return c;
}

uint32_t unit(const Cell& c) { return string::buffer(&c)->unit(); }

TEST_F(StringStorage, WritersWidenAtTheirThresholds) {
    enum Writer { APPEND, WRITE, INSERT, POKE };
    struct Case {
        Writer writer;
        uint32_t start_unit;
        uint32_t cp;
        uint32_t expected_unit;
    } cases[] = {
        {APPEND, 1, 127, 1},     {APPEND, 1, 233, 2},     {APPEND, 1, 0x1F600, 4},
        {WRITE, 1, 233, 1},      {WRITE, 1, 256, 2},      {WRITE, 1, 0x10000, 4},
        {INSERT, 1, 255, 1},     {INSERT, 1, 0x100, 2},   {INSERT, 2, 0x10FFFF, 4},
        {POKE, 1, 233, 1},       {POKE, 1, 0x20AC, 2},    {POKE, 2, 0xFFFF, 2},
        {POKE, 2, 0x10000, 4},   {APPEND, 4, 'a', 4},
    };
    for (const Case& c : cases) {
        Cell s = text_of_unit(U"xyz", c.start_unit);
        std::u32string expected;
        switch (c.writer) {
        case APPEND: string::append_char(&s, c.cp); expected = U"xyz" + std::u32string(1, char32_t(c.cp)); break;
        case WRITE: string::write_char_at(&s, 3, c.cp); expected = U"xyz" + std::u32string(1, char32_t(c.cp)); break;
        case INSERT: string::insert_char_at(&s, 1, c.cp); expected = U"x" + std::u32string(1, char32_t(c.cp)) + U"yz"; break;
        case POKE: string::poke_char(cell_node(&s), 1, c.cp); expected = U"x" + std::u32string(1, char32_t(c.cp)) + U"z"; break;
        }
        EXPECT_EQ(unit(s), c.expected_unit) << c.writer << " " << c.cp;
        EXPECT_EQ(string::to_code_points(&s), expected) << c.writer << " " << c.cp;
    }
}

TEST_F(StringStorage, WritingPastTheTailGrows) {
    Cell s = text("ab");
    string::write_char_at(&s, 40, 'z');
    EXPECT_EQ(string::length(&s), 41u);
    EXPECT_EQ(string::char_at(&s, 40), uint32_t('z'));
    EXPECT_EQ(string::char_at(&s, 2), 0u);   // the gap holds no stale bytes
    // A poke never stores beyond the tail.
    string::poke_char(cell_node(&s), 41, 'q');
    EXPECT_EQ(string::length(&s), 41u);
}

TEST_F(StringStorage, PositionsAndLengths) {
    Cell s = text("hello");
    s.data1 = 9;   // past the tail, as after another value shortened the buffer
    EXPECT_TRUE(string::at_tail_q(&s));
    EXPECT_EQ(string::remaining_length(&s), 0u);
    EXPECT_EQ(s.data1, 5u);   // clamped
    s.data1 = 2;
    EXPECT_EQ(string::index_pointer(&s), string::buffer(&s)->head + 2);
    EXPECT_EQ(string::length_from_head(&s), 5u);
    EXPECT_FALSE(string::skip_by(&s, 2));
    EXPECT_EQ(s.data1, 4u);
    EXPECT_FALSE(string::skip_by(&s, 5));   // would pass the tail: unchanged
    EXPECT_EQ(s.data1, 4u);
    EXPECT_TRUE(string::skip_one(&s));
    EXPECT_EQ(string::tail_pointer(&s), string::buffer(&s)->tail);
}

TEST_F(StringStorage, Searching) {
    Cell s = text("aBcAbC", 1);
    EXPECT_EQ(string::find_char_offset(&s, 'A'), 2);
    EXPECT_EQ(string::find_char_offset(&s, 'a'), -1);   // exact, from the index
    EXPECT_TRUE(string::contains_char_q(&s, 'b', 1, false));
    EXPECT_FALSE(string::contains_char_q(&s, 'x', 1, false));
    Cell pairs = text("abcdef");
    EXPECT_TRUE(string::contains_char_q(&pairs, 'e', 2, true));   // records start at a, c, e
    EXPECT_FALSE(string::contains_char_q(&pairs, 'd', 2, true));
    EXPECT_FALSE(string::contains_char_q(&pairs, 'E', 2, true));

    Cell wide = text("ab\xE2\x82\xAC");
    EXPECT_TRUE(string::starts_with_c_string_q(&wide, "ab"));
    EXPECT_FALSE(string::starts_with_c_string_q(&wide, "abc"));
    EXPECT_FALSE(string::starts_with_c_string_q(&wide, "abcd"));   // longer than the rest
    EXPECT_FALSE(string::starts_with_c_string_q(&s, "bc"));         // exact
}

Cell bitset(std::initializer_list<uint32_t> members, uint32_t bytes, bool complemented) {
    Node node = memory::alloc_bytes(bytes);
    SeriesBuffer* b = buffer_of(node);
    std::memset(b->head, 0, bytes);
    for (uint32_t m : members) b->head[m >> 3] |= uint8_t(0x80 >> (m & 7));
    b->tail = b->head + bytes;
    if (complemented) b->flags |= SERIES_BITSET_NOT;
    Cell c{TYPE_BITSET, 0, 0, 0};
    set_cell_node(&c, node);
    return c;
}

TEST_F(StringStorage, BitsetMembership) {
    Cell plain = bitset({'A'}, 9, false);
    Cell complemented = bitset({'A'}, 9, true);
    EXPECT_TRUE(string::code_point_in_bitset_q('A', &plain));
    EXPECT_FALSE(string::code_point_in_bitset_q('B', &plain));
    EXPECT_FALSE(string::code_point_in_bitset_q(72, &plain));          // the bit count itself
    EXPECT_TRUE(string::code_point_in_bitset_q(72, &complemented));
    EXPECT_TRUE(string::code_point_in_bitset_q(0x10FFFF, &complemented));
    Cell s = text("xA", 1);
    EXPECT_TRUE(string::char_in_bitset_q(&s, &plain));
    s.data1 = 2;
    EXPECT_FALSE(string::char_in_bitset_q(&s, &complemented));   // at the tail
}

TEST_F(StringStorage, TagsAndParseMatching) {
    Cell tag = text("b");
    tag.header = TYPE_TAG;
    Cell s = text("<b>rest");
    EXPECT_TRUE(string::tag_delimited_at_q(&s, &tag));
    Cell short_text = text("<b");
    EXPECT_FALSE(string::tag_delimited_at_q(&short_text, &tag));
    EXPECT_TRUE(string::match_at_q(&s, &tag, 0));

    Cell pattern = text("<B");
    EXPECT_TRUE(string::match_at_q(&s, &pattern, 0));
    EXPECT_FALSE(string::match_at_q(&s, &pattern, 2));
    Cell c = Cell{TYPE_CHAR, 0, '<', 0};
    EXPECT_TRUE(string::match_at_q(&s, &c, 0));
    Cell n = test::integer_cell(1);
    EXPECT_FALSE(string::match_at_q(&s, &n, 0));
}

TEST_F(StringStorage, Hex) {
    struct Case {
        int32_t n;
        bool trim;
        const char* text;
    } cases[] = {
        {0, true, "00"},  {30, true, "1E"},  {945, true, "3B1"},  {-1, true, "F"},
        {-1, false, "FFFFFFFF"},  {255, false, "000000FF"},  {0, false, "00000000"},
        {-256, false, "FFFFFF00"},  {INT32_MIN, false, "80000000"},  {0x7FFFFFFF, true, "7FFFFFFF"},
    };
    for (const Case& c : cases) EXPECT_STREQ(string::int_to_hex(c.n, c.trim), c.text) << c.n;
    EXPECT_EQ(std::string(string::byte_to_hex(0xAB), 2), "AB");
    EXPECT_EQ(std::string(string::byte_to_hex(0x05), 2), "05");
}

TEST_F(StringStorage, Comparison) {
    Cell abc = text("abc"), ABC = text("ABC"), ab = text("ab"), empty = text("");
    Cell wide_abc = text_of_unit(U"abc", 4);
    struct Case {
        Cell a, b;
        int32_t op;
        bool prefix;
        int32_t expected;
    } cases[] = {
        {abc, ABC, COMP_EQUAL, false, 0},
        {abc, ABC, COMP_STRICT_EQUAL, false, 1},
        {ABC, abc, COMP_STRICT_EQUAL, false, -1},
        {ab, abc, COMP_LESSER, false, -1},            // shorter is smaller
        {abc, ab, COMP_GREATER, false, 1},
        {ab, abc, COMP_EQUAL, false, 1},              // lengths differ: unequal at once
        {abc, wide_abc, COMP_STRICT_EQUAL, false, 0},  // units do not matter
        {abc, ABC, COMP_CASE_SORT, false, 1},
        {abc, ABC, COMP_SORT, false, 0},
        {empty, empty, COMP_LESSER, false, 0},
        {abc, empty, COMP_GREATER, false, 1},
        {abc, empty, COMP_EQUAL, true, 0},            // an empty pattern matches ...
        {abc, empty, COMP_FIND, true, 1},             // ... except under find's equality
        {abc, ab, COMP_EQUAL, true, 0},
        {ab, abc, COMP_EQUAL, true, 1},
        {abc, ABC, COMP_STRICT_EQUAL, true, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(string::compare_strings(&c.a, &c.b, c.op, c.prefix), c.expected)
            << string::to_utf8(&c.a) << " " << string::to_utf8(&c.b) << " op " << c.op;

    Cell same = abc;
    EXPECT_EQ(string::compare_strings(&abc, &same, COMP_SAME, false), 0);
    Cell copy = text("abc");
    EXPECT_EQ(string::compare_strings(&abc, &copy, COMP_SAME, false), -1);
    Cell moved = abc;
    moved.data1 = 1;
    EXPECT_EQ(string::compare_strings(&abc, &moved, COMP_SAME, false), -1);

    // A slice compares only its first characters.
    Cell slice = text("abz");
    slice.header = TYPE_STRING_SLICE;
    slice.data3 = 2;
    EXPECT_EQ(string::compare_strings(&ab, &slice, COMP_EQUAL, false), 0);
    // Case folding is one code point to one (U+00DF folds to S, not SS).
    Cell sharp = text("\xC3\x9F"), s_upper = text("S"), o_umlaut = text("\xC3\xB6"), O_umlaut = text("\xC3\x96");
    EXPECT_EQ(string::compare_strings(&sharp, &s_upper, COMP_EQUAL, false), 0);
    EXPECT_EQ(string::compare_strings(&o_umlaut, &O_umlaut, COMP_EQUAL, false), 0);
}

TEST_F(StringStorage, ConcatenationWidens) {
    // A unit-2 source widens a unit-1 target.
    Cell target = text("ab");
    Cell source = text("\xE2\x82\xAC");
    string::concatenate(&target, &source, -1, 0, false, string::CONCAT_APPEND);
    EXPECT_EQ(unit(target), 2u);
    EXPECT_EQ(string::to_utf8(&target), "ab\xE2\x82\xAC");

    // Keeping the source: a unit-1 source goes into a unit-4 target
    // character by character and stays unit 1.
    Cell wide = text("\xF0\x9F\x98\x80");
    Cell narrow = text("xy\xC3\xA9");
    ASSERT_EQ(unit(narrow), 1u);
    string::concatenate(&wide, &narrow, -1, 0, true, string::CONCAT_APPEND);
    EXPECT_EQ(unit(narrow), 1u);
    EXPECT_EQ(string::to_utf8(&wide), "\xF0\x9F\x98\x80xy\xC3\xA9");
    // Without keeping it, the source widens in place.
    Cell narrow2 = text("q");
    string::concatenate(&wide, &narrow2, -1, 0, false, string::CONCAT_APPEND);
    EXPECT_EQ(unit(narrow2), 4u);
}

TEST_F(StringStorage, ConcatenationModes) {
    struct Case {
        const char* target;
        uint32_t index;
        const char* source;
        int32_t limit, offset, mode;
        const char* expected;
    } cases[] = {
        {"abc", 0, "XYZ", -1, 0, string::CONCAT_APPEND, "abcXYZ"},
        {"abc", 0, "XYZ", 2, 0, string::CONCAT_APPEND, "abcXY"},
        {"abc", 1, "XY", -1, 0, string::CONCAT_INSERT, "aXYbc"},
        {"abc", 1, "XY", -1, 1, string::CONCAT_INSERT, "abXYc"},
        {"abc", 1, "XY", -1, 0, string::CONCAT_OVERWRITE, "aXY"},
        {"abc", 2, "XYZ", -1, 0, string::CONCAT_OVERWRITE, "abXYZ"},
        {"abcdef", 0, "XY", -1, 1, string::CONCAT_OVERWRITE, "aXYdef"},
        {"", 0, "", -1, 0, string::CONCAT_APPEND, ""},
    };
    for (const Case& c : cases) {
        Cell t = text(c.target, c.index);
        Cell s = text(c.source);
        string::concatenate(&t, &s, c.limit, c.offset, true, c.mode);
        t.data1 = 0;
        EXPECT_EQ(string::to_utf8(&t), c.expected) << c.target << " " << c.source << " mode " << c.mode;
    }
}

TEST_F(StringStorage, ConcatenationWithItself) {
    Cell s = text("abcdefghijklmnop");   // grows while its own text is the source
    string::append_string(&s, &s);
    EXPECT_EQ(string::to_utf8(&s), "abcdefghijklmnopabcdefghijklmnop");
    Cell t = text("abc");
    Cell tail_part = t;
    tail_part.data1 = 1;
    Cell at_head = t;
    string::concatenate(&at_head, &tail_part, -1, 0, true, string::CONCAT_INSERT);
    EXPECT_EQ(string::to_utf8(&t), "bcabc");
    // Inserted into the middle of its own text, before, inside or after the gap.
    struct Case {
        uint32_t target_index, source_index;
        const char* expected;
    } cases[] = {
        {3, 1, "abcbcdefdef"},
        {1, 4, "aefbcdef"},
        {4, 0, "abcdabcdefef"},
        {2, 2, "abcdefcdef"},
    };
    for (const Case& c : cases) {
        Cell u = text("abcdef", c.target_index);
        Cell src = u;
        src.data1 = c.source_index;
        string::concatenate(&u, &src, -1, 0, true, string::CONCAT_INSERT);
        Cell whole = text_at_head(u);
        EXPECT_EQ(string::to_utf8(&whole), c.expected) << c.target_index << " " << c.source_index;
    }
}

TEST_F(StringStorage, SymbolsStandForTheirText) {
    symbol::make_table();
    int32_t id = symbol::intern("Hello");
    Cell t = text("say ");
    string::concatenate(&t, reinterpret_cast<Cell*>(symbol::record(id)), -1, 0, true, string::CONCAT_APPEND);
    EXPECT_EQ(string::to_utf8(&t), "say Hello");
    Cell hello = text("HELLO");
    EXPECT_EQ(string::compare_strings(&hello, reinterpret_cast<Cell*>(symbol::record(id)), COMP_EQUAL, false), 0);
}

TEST_F(StringStorage, BufferPrimitives) {
    Cell s = text("abcdef");
    string::remove_units(&s, 1, 2);
    EXPECT_EQ(string::to_utf8(&s), "adef");
    string::remove_units(&s, 3, 10);   // only what is there
    EXPECT_EQ(string::to_utf8(&s), "ade");
    string::remove_char_at(&s, 0);
    EXPECT_EQ(string::to_utf8(&s), "de");
    string::truncate_tail(&s, 1);
    EXPECT_EQ(string::to_utf8(&s), "d");
    string::truncate_tail(&s, 5);   // not below the tail: unchanged
    EXPECT_EQ(string::to_utf8(&s), "d");

    Cell w = text("\xF0\x9F\x98\x80z", 1);
    string::reset_empty(&w);
    EXPECT_EQ(unit(w), 1u);
    EXPECT_EQ(string::length(&w), 0u);
    EXPECT_EQ(w.data1, 0u);

    // Moving characters between strings of different units.
    Cell from = text("x\xE2\x82\xAC" "y", 1);
    Cell to = text("ab");
    string::move_chars(&from, &to, 1, 2);
    EXPECT_EQ(string::to_utf8(&to), "a\xE2\x82\xAC" "yb");
    from.data1 = 0;
    EXPECT_EQ(string::to_utf8(&from), "x");

    Cell narrow = text("h\xC3\xA9llo");
    Node copy = string::copy_widened(cell_node(&narrow), 1, 3, nullptr, 4, true);
    Cell c{TYPE_STRING, 0, 0, 0};
    set_cell_node(&c, copy);
    EXPECT_EQ(unit(c), 4u);
    EXPECT_EQ(string::to_utf8(&c), "\xC3\xA9ll");
}

TEST_F(StringStorage, RotateRanges) {
    for (uint32_t a : {1u, 5u, 70000u}) {
        for (uint32_t b : {3u, 70001u}) {
            std::string bytes(a, 'a');
            bytes += std::string(b, 'b');
            bytes[0] = 'A';
            bytes[a] = 'B';
            string::rotate_ranges(reinterpret_cast<uint8_t*>(bytes.data()), a, b);
            std::string expected = std::string(b, 'b') + std::string(a, 'a');
            expected[0] = 'B';
            expected[b] = 'A';
            EXPECT_EQ(bytes, expected) << a << " " << b;
        }
    }
}

TEST_F(StringStorage, BuildersAndLoading) {
    Cell s = string::make();
    string::append_ascii(&s, "x=");
    string::append_utf8(&s, "\xE2\x82\xAC");
    string::append_c_string(&s, "!");
    uint8_t bytes[] = {0xE9};
    string::append_bytes(&s, bytes, 1);
    EXPECT_EQ(string::to_utf8(&s), "x=\xE2\x82\xAC!\xC3\xA9");
    EXPECT_EQ(string::length(&s), 5u);
    EXPECT_EQ(raised_by([] { string::from_utf8("a\xC3"); }).id, "invalid-utf8");

    Cell latin = string::from_latin1("caf\xE9");
    EXPECT_EQ(string::to_utf8(&latin), "caf\xC3\xA9");

    stack::seam_start_call();
    const char16_t wide[] = u"h\u00E9\u20AC";
    Cell* loaded = string::load(wide, 3, -1);
    EXPECT_EQ(string::to_utf8(loaded), "h\xC3\xA9\xE2\x82\xAC");
    Cell into;
    string::load_encoded("abc\xC3\xA9", 5, &into, 0);
    EXPECT_EQ(string::to_utf8(&into), "abc\xC3\xA9");
    EXPECT_EQ(type_of(&into), TYPE_STRING);
    RaisedError e = raised_by([&] { string::load_encoded("x", 1, &into, 3); });
    EXPECT_EQ(e.category + "/" + e.id, "script/invalid-arg");

    EXPECT_DOUBLE_EQ(string::bytes_to_float(reinterpret_cast<const uint8_t*>("12.5xyz"), 4), 12.5);
}

TEST_F(StringStorage, Utf8Binaries) {
    auto binary = [](const std::string& bytes, uint32_t index) {
        Node node = memory::alloc_bytes(uint32_t(bytes.size()));
        SeriesBuffer* s = buffer_of(node);
        std::memcpy(s->head, bytes.data(), bytes.size());
        s->tail = s->head + bytes.size();
        Cell c{TYPE_BINARY, index, 0, 0};
        set_cell_node(&c, node);
        return c;
    };
    Cell ok = binary("xa\xC3\xA9", 1);
    Cell out;
    string::from_utf8_binary(&ok, &out);
    EXPECT_EQ(string::to_utf8(&out), "a\xC3\xA9");
    Cell cut = binary("ab\xE2\x82", 0);
    RaisedError e = raised_by([&] { string::from_utf8_binary(&cut, &out); });
    EXPECT_EQ(e.category + "/" + e.id, "access/invalid-utf8");
    EXPECT_EQ(type_of(&e.args[0].value), TYPE_BINARY);
    EXPECT_EQ(string::buffer(&e.args[0].value)->byte_length(), 2u);   // the undecoded rest
}

TEST_F(StringStorage, OutputSeamWritesRealStrings) {
    Cell out;
    string_new_output(&out);
    EXPECT_EQ(type_of(&out), TYPE_STRING);
    string_append_ascii(&out, "none");
    string_append_ascii(&out, "#(xyz", 2);
    EXPECT_EQ(string_text_of(&out), "none#(");
}

TEST_F(StringStorage, CaseChange) {
    struct Case {
        const char* before;
        bool upper;
        std::u32string after;
        uint32_t unit;
    } cases[] = {
        {"y\xC3\xBF", true, U"Y\u0178", 2},                   // U+00FF widens to unit 2
        {"stra\xC3\x9F" "e", true, U"STRASE", 1},              // one code point, not two
        {"\xC4\xB0", false, U"i", 2},                          // U+0130
        {"\xC4\xB1", true, U"I", 2},                           // U+0131
        {"\xF0\x9E\xA4\xA2", true, U"\U0001E900", 4},
        {"\xF0\x9E\xA4\x80", false, U"\U0001E922", 4},
        {"\xF0\x90\x90\xA8", true, U"\U00010400", 4},
        {"\xF0\x90\x90\x80", false, U"\U00010428", 4},
        {"MiXeD 1!", false, U"mixed 1!", 1},
    };
    for (const Case& c : cases) {
        Cell s = text(c.before);
        case_::change(&s, 0, c.upper);
        EXPECT_EQ(string::to_code_points(&s), c.after) << c.before;
        EXPECT_EQ(unit(s), c.unit) << c.before;
    }
    Cell nul = text_of_unit(std::u32string(1, U'\0') + U"a", 1);
    case_::change(&nul, 0, true);
    EXPECT_EQ(string::to_code_points(&nul), std::u32string(1, U'\0') + U"A");

    Cell ch{TYPE_CHAR, 0, 0xDF, 0};
    case_::change(&ch, 0, true);
    EXPECT_EQ(ch.data2, uint32_t('S'));
}

TEST_F(StringStorage, CaseChangeWithPart) {
    Cell s = text("abcdef", 2);
    Cell n = test::integer_cell(99);
    case_::change_part(&s, &n, true);
    s.data1 = 0;
    EXPECT_EQ(string::to_utf8(&s), "abCDEF");   // the rest only

    Cell t = text("abcdef", 1);
    Cell upto = t;
    upto.data1 = 3;
    case_::change_part(&t, &upto, true);
    t.data1 = 0;
    EXPECT_EQ(string::to_utf8(&t), "aBCdef");

    Cell neg = test::integer_cell(-2);
    case_::change_part(&t, &neg, false);
    EXPECT_EQ(string::to_utf8(&t), "aBCdef");

    Cell other = text("abcdef", 3);
    RaisedError e = raised_by([&] { case_::change_part(&t, &other, true); });
    EXPECT_EQ(e.category + "/" + e.id, "script/invalid-refine-arg");
}

}  // namespace
}  // namespace qor
