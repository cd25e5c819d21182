#include "datatypes/unicode.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datatypes/string.hpp"
#include "memory_fixture.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using testing::MemoryFixture;
using test::raised_by;

class Unicode : public MemoryFixture {};

using Bytes = std::vector<uint8_t>;

// The decoder's input always ends with a NUL, as the runtime's buffers do.
int32_t decode(Bytes bytes, uint32_t* consumed) {
    bytes.push_back(0);
    int32_t cp;
    const uint8_t* after = unicode::utf8_decode_char(bytes.data(), &cp);
    *consumed = uint32_t(after - bytes.data());
    return cp;
}

// Well-formed UTF-8 by the standard's table of byte ranges.
int32_t reference_decode(const uint8_t* p, uint32_t* length) {
    uint8_t b = p[0];
    auto in = [](uint8_t v, uint8_t lo, uint8_t hi) { return v >= lo && v <= hi; };
    if (b < 0x80) { *length = 1; return b; }
    if (in(b, 0xC2, 0xDF) && in(p[1], 0x80, 0xBF)) { *length = 2; return (b & 0x1F) << 6 | (p[1] & 0x3F); }
    uint8_t lo = b == 0xE0 ? 0xA0 : 0x80, hi = b == 0xED ? 0x9F : 0xBF;
    if (in(b, 0xE0, 0xEF) && in(p[1], lo, hi) && in(p[2], 0x80, 0xBF)) {
        *length = 3;
        return (b & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F);
    }
    lo = b == 0xF0 ? 0x90 : 0x80;
    hi = b == 0xF4 ? 0x8F : 0xBF;
    if (in(b, 0xF0, 0xF4) && in(p[1], lo, hi) && in(p[2], 0x80, 0xBF) && in(p[3], 0x80, 0xBF)) {
        *length = 4;
        return (b & 0x07) << 18 | (p[1] & 0x3F) << 12 | (p[2] & 0x3F) << 6 | (p[3] & 0x3F);
    }
    return -1;
}

TEST_F(Unicode, DecoderCases) {
    struct Case {
        Bytes bytes;
        int32_t cp;
        uint32_t consumed;
    } cases[] = {
        {{0x41}, 0x41, 1},
        {{0xE2, 0x82, 0xAC}, 0x20AC, 3},
        {{0xF0, 0x9F, 0x98, 0x80}, 0x1F600, 4},
        {{0xC0, 0x80}, -1, 1},               // overlong lead fails at once
        {{0xED, 0xA0, 0x80}, -1, 2},         // surrogate
        {{0xF4, 0x90, 0x80, 0x80}, -1, 2},   // beyond U+10FFFF
        {{0xE2, 0x28, 0xA1}, -1, 2},         // bad continuation consumed with its lead
        {{0x80}, -1, 1},                     // stray continuation
        {{0xE2, 0x82}, -1, 3},               // cut by the end: the NUL stops it
    };
    for (const Case& c : cases) {
        uint32_t consumed;
        EXPECT_EQ(decode(c.bytes, &consumed), c.cp) << int(c.bytes[0]);
        EXPECT_EQ(consumed, c.consumed) << int(c.bytes[0]);
    }
}

// Every lead byte against every second byte and a spread of third and
// fourth bytes, compared with the standard's table.
TEST_F(Unicode, DecoderAgreesWithTheStandard) {
    const uint8_t tails[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
    for (int b0 = 0x80; b0 < 0x100; b0++)
        for (int b1 = 0; b1 < 0x100; b1++)
            for (uint8_t b2 : tails)
                for (uint8_t b3 : {uint8_t(0x80), uint8_t(0xBF), uint8_t(0x41)}) {
                    uint8_t seq[5] = {uint8_t(b0), uint8_t(b1), b2, b3, 0};
                    uint32_t ref_length = 0;
                    int32_t expected = reference_decode(seq, &ref_length);
                    int32_t cp;
                    const uint8_t* after = unicode::utf8_decode_char(seq, &cp);
                    ASSERT_EQ(cp, expected) << std::hex << b0 << " " << b1 << " " << int(b2) << " " << int(b3);
                    if (expected >= 0) {
                        ASSERT_EQ(uint32_t(after - seq), ref_length);
                    }
                }
}

TEST_F(Unicode, CountingAndSkipping) {
    Bytes text = {0x61, 0xFF, 0x62, 0xE2, 0x82, 0xAC, 0x63};
    EXPECT_EQ(unicode::utf8_count_chars(text.data(), text.data() + 3), 3u);
    EXPECT_EQ(unicode::utf8_count_chars(text.data(), text.data() + text.size()), 5u);
    // A sequence cut by the end of the range counts once and stops there.
    EXPECT_EQ(unicode::utf8_count_chars(text.data(), text.data() + 5), 4u);
    EXPECT_EQ(unicode::utf8_skip_chars(text.data(), text.data() + text.size(), 4), text.data() + 6);
    EXPECT_EQ(unicode::utf8_skip_chars(text.data(), text.data() + 5, 9), text.data() + 5);
    // ASCII runs of every length beside a wide character, an invalid byte
    // and a cut sequence: the count is the character-by-character walk's.
    for (const char* middle : {"", "\xC3\xA9", "\xFF", "\xE2\x82", "\xF0\x9F\x98\x80"})
        for (int before = 0; before < 9; before++)
            for (int after = 0; after < 6; after++) {
                std::string t = std::string(size_t(before), 'a') + middle + std::string(size_t(after), 'b');
                auto* first = reinterpret_cast<const uint8_t*>(t.data());
                const uint8_t* last = first + t.size();
                uint32_t walked = 0;
                for (const uint8_t* p = first; p < last; p = unicode::utf8_skip_chars(p, last, 1)) walked++;
                EXPECT_EQ(unicode::utf8_count_chars(first, last), walked) << t;
            }
    EXPECT_EQ(unicode::utf8_lead_length(0xF1), 4u);
    EXPECT_EQ(unicode::utf8_lead_length(0xE1), 3u);
    EXPECT_EQ(unicode::utf8_lead_length(0xC3), 2u);
    EXPECT_EQ(unicode::utf8_lead_length(0x41), 0u);
}

TEST_F(Unicode, StrictDecoding) {
    struct Case {
        Bytes bytes;
        int32_t cp;     // -2: raises access/invalid-utf8
        int32_t length;
    } cases[] = {
        {{0x41}, 0x41, 1},
        {{0xC3, 0xA9}, 0xE9, 2},
        {{0xED, 0xA0, 0x80}, 0xD800, 3},     // high surrogates pass
        {{0xED, 0xB0, 0x80}, -2, 0},         // U+DC00 does not
        {{0xEF, 0xBF, 0xBE}, -2, 0},         // U+FFFE does not
        {{0xF4, 0x90, 0x80, 0x80}, -2, 0},
        {{0x80}, -2, 0},
        {{0xF8, 0x80, 0x80, 0x80}, -2, 0},
        {{0xC3, 0x41}, -2, 0},
        {{0xE2, 0x82}, -1, 3},               // input ends inside the character
    };
    for (const Case& c : cases) {
        int32_t avail = int32_t(c.bytes.size());
        if (c.cp == -2) {
            RaisedError e = raised_by([&] { unicode::utf8_decode_char_strict(c.bytes.data(), &avail); });
            EXPECT_EQ(e.category + "/" + e.id, "access/invalid-utf8");
            // The argument holds the bytes at the position, never more than were given.
            ASSERT_TRUE(e.args[0].given);
            EXPECT_EQ(type_of(&e.args[0].value), TYPE_BINARY);
            EXPECT_EQ(string::buffer(&e.args[0].value)->byte_length(), std::min<size_t>(4, c.bytes.size()));
        } else {
            EXPECT_EQ(unicode::utf8_decode_char_strict(c.bytes.data(), &avail), c.cp);
            EXPECT_EQ(avail, c.length);
        }
    }
}

Cell load(const std::string& bytes, uint32_t* remaining = nullptr, bool crlf = false) {
    Cell c{TYPE_STRING, 0, 0, 0};
    set_cell_node(&c, unicode::load_utf8(reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size()),
                                         nullptr, remaining, crlf));
    return c;
}

TEST_F(Unicode, LoadingUtf8) {
    uint32_t remaining = 99;
    Cell bom = load("\xEF\xBB\xBF", &remaining);
    EXPECT_EQ(string::length(&bom), 0u);
    EXPECT_EQ(remaining, 0u);

    Cell cut = load("a\xE2\x82", &remaining);
    EXPECT_EQ(string::to_utf8(&cut), "a");
    EXPECT_EQ(remaining, 2u);

    Cell bom_text = load("\xEF\xBB\xBFok");
    EXPECT_EQ(string::to_utf8(&bom_text), "ok");

    Cell lines = load("a\r\nb\rc\n", nullptr, true);
    EXPECT_EQ(string::to_utf8(&lines), "a\nb\nc\n");
    Cell kept = load("a\r\nb", nullptr, false);
    EXPECT_EQ(string::to_utf8(&kept), "a\r\nb");

    EXPECT_EQ(test::raised_by([] { load("a\xFF"); }).id, "invalid-utf8");
}

TEST_F(Unicode, LoadingWidensAsCharactersArrive) {
    struct Case {
        const char* text;
        uint32_t unit;
    } cases[] = {
        {"caf\xC3\xA9", 1},                                      // U+00E9 fits Latin-1
        {"caf\xC3\xA9 \xE2\x82\xAC", 2},                         // U+20AC
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", 4},        // U+1F600
        {"\xF0\x9F\x98\x80 first", 4},                           // straight from 1 to 4
        {"\xE2\x82\xAC\xF0\x9F\x98\x80", 4},                     // 2 then 4
    };
    for (const Case& c : cases) {
        Cell s = load(c.text);
        EXPECT_EQ(string::buffer(&s)->unit(), c.unit) << c.text;
        EXPECT_EQ(string::to_utf8(&s), c.text);
    }
    // Long inputs keep growing correctly after widening.
    std::string big;
    for (int i = 0; i < 500; i++) big += "\xF0\x9F\x98\x80";
    Cell s = load(big);
    EXPECT_EQ(string::length(&s), 500u);
    EXPECT_EQ(string::to_utf8(&s), big);
}

TEST_F(Unicode, LoadingIntoATargetReplacesItsText) {
    Cell s = string::from_utf8("old text that is long");
    unicode::load_utf8_into(reinterpret_cast<const uint8_t*>("new"), 3, &s);
    EXPECT_EQ(string::to_utf8(&s), "new");
    // A wide target keeps its unit.
    Cell w = string::from_utf8("\xE2\x82\xAC");
    unicode::load_utf8_into(reinterpret_cast<const uint8_t*>("ab"), 2, &w);
    EXPECT_EQ(string::buffer(&w)->unit(), 2u);
    EXPECT_EQ(string::to_utf8(&w), "ab");
}

Cell load16(std::vector<uint16_t> units, bool crlf = false) {
    Cell c{TYPE_STRING, 0, 0, 0};
    set_cell_node(&c, unicode::load_utf16(units.data(), uint32_t(units.size()), nullptr, crlf));
    return c;
}

TEST_F(Unicode, LoadingUtf16) {
    struct Case {
        std::vector<uint16_t> units;
        std::u32string chars;
        uint32_t unit;
    } cases[] = {
        {{0x0061, 0x00E9}, U"a\u00E9", 1},
        {{0x0061, 0x20AC}, U"a\u20AC", 2},
        {{0xD83D, 0xDE00}, U"\U0001F600", 4},
        {{0xDC00, 0x0041}, std::u32string{char32_t(0xDC00), U'A'}, 4},   // a lone low surrogate is kept
        {{}, U"", 2},
    };
    for (const Case& c : cases) {
        Cell s = load16(c.units);
        EXPECT_EQ(string::to_code_points(&s), c.chars);
        EXPECT_EQ(string::buffer(&s)->unit(), c.unit);
        EXPECT_TRUE(string::buffer(&s)->flags & unicode::SERIES_FROM_UTF16);
    }
    Cell crlf = load16({'a', 0x0D, 0x0A, 'b', 0x0D}, true);
    EXPECT_EQ(string::to_utf8(&crlf), "a\nb");
}

TEST_F(Unicode, BrokenSurrogatePairIsAnError) {
    Cell target = string::from_utf8("keep");
    for (std::vector<uint16_t> units : {std::vector<uint16_t>{0xD83D, 0x0041}, std::vector<uint16_t>{0x0041, 0xD83D}}) {
        RaisedError e = raised_by([&] { unicode::load_utf16(units.data(), uint32_t(units.size()), &target, false); });
        EXPECT_EQ(e.category + "/" + e.id, "script/invalid-data");
        EXPECT_EQ(string::to_utf8(&target), "keep");   // refused before anything was written
    }
}

TEST_F(Unicode, EncodingOut) {
    Cell s = string::make();
    string::append_char(&s, 0x10000);
    int32_t length = -1;
    const char* utf8 = unicode::to_utf8(&s, &length);
    EXPECT_EQ(std::string(utf8, size_t(length)), "\xF0\x90\x80\x80");
    const uint16_t* utf16 = unicode::to_utf16(&s);
    ASSERT_NE(utf16, nullptr);
    EXPECT_EQ(std::vector<uint16_t>(utf16, utf16 + 3), (std::vector<uint16_t>{0xD800, 0xDC00, 0}));

    Cell lines = string::from_utf8("a\nb");
    utf16 = unicode::to_utf16(&lines);
    EXPECT_EQ(std::vector<uint16_t>(utf16, utf16 + 5), (std::vector<uint16_t>{0x61, 0x0D, 0x0A, 0x62, 0}));
    int32_t units = -1;
    unicode::to_utf16_part(&lines, &units, true);
    EXPECT_EQ(units, 4);
    units = 2;
    utf16 = unicode::to_utf16_part(&lines, &units, false);
    EXPECT_EQ(units, 2);
    EXPECT_EQ(utf16[1], 0x0A);

    length = -1;
    utf8 = unicode::to_utf8_lines(&lines, &length, true);
    EXPECT_EQ(std::string(utf8), "a\r\nb");
    EXPECT_EQ(length, 4);

    // From the index, and a part length.
    Cell wide = string::from_utf8("x\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    wide.data1 = 1;
    length = 2;
    utf8 = unicode::to_utf8(&wide, &length);
    EXPECT_EQ(std::string(utf8), "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(length, 5);
}

TEST_F(Unicode, BoundedEncodingNeverCutsACharacter) {
    Cell s = string::from_utf8("a\xC3\xA9\xE2\x82\xAC");
    uint8_t out[8];
    std::memset(out, 0xAA, sizeof out);
    EXPECT_EQ(unicode::to_utf8_bounded(&s, out, 3, 0, false), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "a\xC3\xA9");
    EXPECT_EQ(out[3], 0xAA);   // nothing written past the room
    SeriesBuffer* b = string::buffer(&s);
    EXPECT_EQ(unicode::utf8_size_of_range(b->head, b->tail, b->unit()), 6u);
    EXPECT_EQ(unicode::to_utf8_into(&s, out, -1, true), 6u);
    EXPECT_EQ(out[6], 0);
    EXPECT_EQ(unicode::to_utf8_bounded(&s, out, 8, 2, true), 3u);   // part limits the characters
    EXPECT_EQ(out[3], 0);

    // A wide string into every room: the encoding's first bytes, up to the room.
    const std::string text = "ab\xC3\xA9" "cdefg\xE2\x82\xAC" "hij";
    Cell wide = string::from_utf8(text.c_str());
    ASSERT_EQ(string::buffer(&wide)->unit(), 2u);
    for (uint32_t room = 0; room <= text.size() + 2; room++) {
        uint8_t into[32];
        std::memset(into, 0xAA, sizeof into);
        uint32_t n = unicode::to_utf8_bounded(&wide, into, room, 0, false);
        uint32_t expected = std::min<uint32_t>(room, uint32_t(text.size()));
        EXPECT_EQ(n, expected) << room;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(into), n), text.substr(0, expected)) << room;
        EXPECT_EQ(into[n], 0xAA) << room;
    }
}

TEST_F(Unicode, CodePointsBeyondTheRange) {
    EXPECT_EQ(raised_by([] { unicode::utf8_char_size(0x110000); }).id, "invalid-char");
    uint8_t buf[4];
    EXPECT_EQ(raised_by([&] { unicode::utf8_encode_char(0x110000, buf); }).id, "invalid-char");
    EXPECT_EQ(unicode::utf8_encode_char(0xD800, buf), 3u);   // surrogates encode like any value
    uint16_t units[2];
    EXPECT_EQ(unicode::utf16_encode_char(0x110000, units), 0u);

    Cell s = string::make();
    string::append_char(&s, 0x110000);
    int32_t length = -1;
    EXPECT_EQ(unicode::to_utf16_part(&s, &length, false), nullptr);
}

TEST_F(Unicode, WideningKeepsTheNodeAndTheCharacters) {
    struct Case {
        uint32_t from, to;
    } cases[] = {{1, 2}, {1, 4}, {2, 4}};
    for (const Case& c : cases) {
        Cell s;
        string::init_cell_sized(&s, c.from, 4);
        for (uint32_t cp : {0x41u, 0xE9u, 0x7Fu}) string::write_char_at(&s, string::length(&s), cp);
        Cell other = s;   // a second value on the same buffer
        other.data1 = 1;
        Node node = cell_node(&s);
        SeriesBuffer* b = string::buffer(&s);
        b = c.to == 2 ? unicode::widen_latin1_to_ucs2(b)
            : c.from == 1 ? unicode::widen_latin1_to_ucs4(b) : unicode::widen_ucs2_to_ucs4(b);
        EXPECT_EQ(b->node, node);
        EXPECT_EQ(b->unit(), c.to);
        EXPECT_EQ(string::to_code_points(&s), U"A\u00E9\x7F");
        EXPECT_EQ(string::to_code_points(&other), U"\u00E9\x7F");
    }
}

TEST_F(Unicode, ScratchBufferIsReusedAndGrown) {
    Cell s = string::from_utf8("abc");
    int32_t length = -1;
    unicode::to_utf8(&s, &length);
    Node scratch = reinterpret_cast<Node>(s.data3);
    ASSERT_NE(scratch, nullptr);
    uint8_t* area = unicode::scratch_buffer(&s, 1000);
    EXPECT_EQ(reinterpret_cast<Node>(s.data3), scratch);   // same node, grown
    EXPECT_GE(buffer_of(scratch)->capacity, 1000u);
    EXPECT_EQ(area, buffer_of(scratch)->head);
}

TEST_F(Unicode, AsciiToUtf16AndExtraSize) {
    uint16_t out[4];
    unicode::ascii_to_utf16("ok", out);
    EXPECT_EQ(std::vector<uint16_t>(out, out + 3), (std::vector<uint16_t>{'o', 'k', 0}));
    Cell s = string::from_utf8("a\n\xF0\x9F\x98\x80");
    SeriesBuffer* b = string::buffer(&s);
    EXPECT_EQ(unicode::utf16_extra_size(b->head, b->tail, b->unit()), 4u);
}

TEST_F(Unicode, Windows1251) {
    const uint8_t bytes[] = {'a', 0xC0, 0xE0, 0xB8, 0x98, 0x88, '\r', '\n', 'b', '\r'};
    Node node = unicode::load_cp1251(bytes, sizeof bytes, nullptr, true);
    Cell s{TYPE_STRING, 0, 0, 0};
    set_cell_node(&s, node);
    EXPECT_EQ(string::to_code_points(&s), U"a\u0410\u0430\u0451\u0098\u20AC\nb\n");
}

}  // namespace
}  // namespace qor
