// The series, text and constructor natives: percent escapes, base codecs,
// letter case, new-line markers, pairs and points, `as`, and the file
// questions.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "datatypes/binary_codecs.hpp"
#include "datatypes/file_path.hpp"
#include "natives_system_fixture.hpp"

namespace qor::test {
namespace {

class SeriesNativesTest : public SystemNativesFixture {};

TEST_F(SeriesNativesTest, PercentEscapes) {
    expect_cases({
        {R"(dehex "a%20b")", R"("a b")"},
        {R"(dehex "%41%42")", R"("AB")"},
        {R"(dehex "%C3%A9t%C3%A9")", R"("été")"},
        {R"(dehex "%E2%82%AC")", R"("€")"},
        // Not escapes: kept as they stand.
        {R"(dehex "100%" )", R"("100%")"},
        {R"(dehex "%zz%4")", R"("%zz%4")"},
        // A lead byte whose sequence is broken gives the byte's own code point.
        {R"(dehex "%C3x")", R"("Ãx")"},
        {R"(dehex "")", R"("")"},
        {R"(enhex "a b")", R"("a%20b")"},
        {R"(enhex "é")", R"("%C3%A9")"},
        {R"(enhex "a-b_c.d~e")", R"("a-b_c.d~e")"},
        // string! uses the strict set: / : ? escaped.
        {R"(enhex "a/b:c?d")", R"("a%2Fb%3Ac%3Fd")"},
        {R"(enhex "100%")", R"("100%25")"},
        // Other text types keep the URL characters.
        {R"(enhex as url! "http://h/a b?x=1")", R"("http://h/a%20b?x=1")"},
        {R"(enhex as file! "dir/a;b")", R"("dir/a%3Bb")"},
        // The round trip gives the text back.
        {R"(dehex enhex "x y/é€")", R"("x y/é€")"},
    });
}

TEST_F(SeriesNativesTest, EnbaseAndDebase) {
    expect_cases({
        {R"(enbase/base "A" 16)", R"("41")"},
        {R"(enbase "Hello")", R"("SGVsbG8=")"},
        {R"(enbase "Hell")", R"("SGVsbA==")"},
        {R"(enbase "")", R"("")"},
        {R"(enbase/base "A" 2)", R"("01000001")"},
        {R"(enbase/base "é" 16)", R"("C3A9")"},   // a string is encoded as UTF-8 first
        {R"(debase/base "0100000" 2)", "none"},   // a short last group fails
        {R"(debase "!!!!")", "none"},
        {R"(debase/base "ab0" 58)", "none"},      // 0 is not in the alphabet
        {R"(enbase/base "A" 10)", "error script/invalid-arg"},
        {R"(debase/base "41" 10)", "error script/invalid-arg"},
    });
    struct Decode {
        const char* text;
        const char* hex;
    };
    const Decode decodes[] = {
        {R"(debase/base "41" 16)", "41"},
        {R"(debase "SGVsbG8=")", "48656C6C6F"},
        {R"(debase "SGVsbG8")", "48656C"},          // an unpadded last group is dropped
        {R"(debase "SGVs bG8=")", "48656C6C6F"},    // blanks are skipped
        {R"(debase "SGVs^/'bG8=")", "48656C6C6F"},
        {R"(debase/base "0 1;x^/FF" 16)", "01FF"},
        {R"(debase/base "4" 16)", ""},              // a lone last digit is dropped
        {R"(debase/base "112" 58)", "000001"},
        {R"(debase/base "ab é0" 58)", "079C"},       // a character above 127 ends the input
        {R"(debase/base "a'b" 58)", "079C"},
        {R"(debase/base "01000001 01000010" 2)", "4142"},
        {R"(debase/base "01000001 ; comment^/" 2)", "41"},
        {R"(debase/base "" 64)", ""},
        {R"(debase next "xSGk=")", "4869"},         // from the string's position
    };
    for (const Decode& d : decodes) {
        Cell r = run(d.text);
        EXPECT_EQ(hex_of(r), d.hex) << d.text;
    }
    bind_value("zeros", binary_from_hex("000001"));
    EXPECT_EQ(run_mold("enbase/base zeros 58"), R"("112")");
    bind_value("empty", binary_from_hex(""));
    EXPECT_EQ(run_mold("enbase/base empty 58"), R"("")");
    // A binary is taken from its position.
    Cell at_one = binary_from_hex("000001");
    at_one.data1 = 1;
    bind_value("at-one", at_one);
    EXPECT_EQ(run_mold("enbase/base at-one 16"), R"("0001")");
}

// Every length from 0 to 40 bytes survives a trip through each codec.
TEST_F(SeriesNativesTest, CodecsRoundTrip) {
    std::vector<uint8_t> bytes;
    for (int n = 0; n <= 40; n++) {
        for (int32_t base : {2, 16, 58, 64}) {
            std::vector<char> text(size_t(binary::encoded_size(base, bytes.size())) + 1);
            size_t chars = 0;
            switch (base) {
            case 2: chars = binary::enbase_2(bytes.data(), bytes.size(), text.data()); break;
            case 16: chars = binary::enbase_16(bytes.data(), bytes.size(), text.data()); break;
            case 58: chars = binary::enbase_58(bytes.data(), bytes.size(), text.data()); break;
            default: chars = binary::enbase_64(bytes.data(), bytes.size(), text.data()); break;
            }
            std::vector<uint8_t> out(binary::decoded_room(base, chars) + 1);
            const auto* t = reinterpret_cast<const uint8_t*>(text.data());
            int32_t got = base == 2    ? binary::debase_2(t, 1, chars, out.data())
                          : base == 16 ? binary::debase_16(t, 1, chars, out.data())
                          : base == 58 ? binary::debase_58(t, 1, chars, out.data())
                                       : binary::debase_64(t, 1, chars, out.data());
            ASSERT_EQ(got, int32_t(bytes.size())) << "base " << base << " length " << n;
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), out.begin())) << "base " << base << " length " << n;
        }
        // Leading zeros exercise base 58's "1" digits.
        bytes.push_back(n % 7 == 0 ? 0 : uint8_t(n * 37 + 11));
    }
    // Text stored two and four bytes wide decodes the same.
    const char16_t wide[] = u"SGk=";
    const char32_t wider[] = U"SGk=";
    uint8_t out[8];
    EXPECT_EQ(binary::debase_64(reinterpret_cast<const uint8_t*>(wide), 2, 4, out), 2);
    EXPECT_EQ(binary::debase_64(reinterpret_cast<const uint8_t*>(wider), 4, 4, out), 2);
    EXPECT_EQ(std::memcmp(out, "Hi", 2), 0);
}

TEST_F(SeriesNativesTest, LetterCase) {
    expect_cases({
        {R"(uppercase "abc")", R"("ABC")"},
        {R"(lowercase "ÀBÇ")", R"("àbç")"},
        {R"(uppercase/part "abcd" 2)", R"("ABcd")"},
        {R"(uppercase/part "abcd" 2.9)", R"("ABcd")"},
        {R"(uppercase/part "abcd" 0)", R"("abcd")"},
        {R"(uppercase/part "abcd" 10)", R"("ABCD")"},
        {R"(s: "abcd" uppercase/part s next next s)", R"("ABcd")"},
        {R"(s: "abc" uppercase next s s)", R"("aBC")"},   // in place, from the position
        {R"(lowercase #"Q")", R"(#"q")"},
        {R"(uppercase/part "abc" "x")", "error script/invalid-refine-arg"},
    });
}

TEST_F(SeriesNativesTest, NewLineMarkers) {
    auto markers = [&](const char* text) {
        Cell b = run(text);
        std::string out;
        uint32_t n = block::remaining_length(&b);
        Cell* first = block::tail_pointer(&b) - n;
        for (uint32_t i = 0; i < n; i++) out += (first[i].header & FLAG_NEW_LINE) ? '1' : '0';
        return out;
    };
    EXPECT_EQ(markers("b: [1 2 3 4 5] new-line b true b"), "10000");
    EXPECT_EQ(markers("b: [1 2 3 4 5] new-line/all next b true b"), "01111");
    EXPECT_EQ(markers("b: [1 2 3 4 5] new-line/skip b true 2 b"), "10101");
    EXPECT_EQ(markers("b: [1 2 3 4 5] new-line/all b true new-line/skip next b false 3 b"), "10110");
    EXPECT_EQ(markers("b: [1 2 3] new-line next next next b true b"), "000");   // at the tail: nothing
    expect_cases({
        {"new-line/skip [1 2] true 0", "error script/out-of-range"},
        {"new-line/skip [1 2] true -1", "error script/out-of-range"},
        {"b: [1 2] new-line next b true new-line? next b", "true"},
        {"b: [1 2] new-line next b true new-line? b", "false"},
        {"new-line? next next [1 2]", "false"},
    });
    // The result is the position.
    Cell r = run("b: [1 2 3] new-line next b true");
    EXPECT_EQ(r.data1, 1u);
}

TEST_F(SeriesNativesTest, PairsAndPoints) {
    struct Row {
        const char* text;
        Cell expected;
    };
    auto single = [](float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        return bits;
    };
    const Row rows[] = {
        {"as-pair 1.9 -1.9", Cell{TYPE_PAIR, 0, 1, uint32_t(-1)}},
        {"as-pair 10 20", Cell{TYPE_PAIR, 0, 10, 20}},
        {"as-pair -2147483648 2147483647.5", Cell{TYPE_PAIR, 0, 0x80000000u, 0x7FFFFFFFu}},
        {"as-point2D 1 2.5", Cell{TYPE_POINT2D, single(1.0f), single(2.5f), 0}},
        {"as-point2D 0.1 -3", Cell{TYPE_POINT2D, single(0.1f), single(-3.0f), 0}},
        {"as-point3D 1 2 3.25", Cell{TYPE_POINT3D, single(1.0f), single(2.0f), single(3.25f)}},
    };
    for (const Row& r : rows) {
        Cell v = run(r.text);
        EXPECT_EQ(v.header, r.expected.header) << r.text;
        EXPECT_EQ(v.data1, r.expected.data1) << r.text;
        EXPECT_EQ(v.data2, r.expected.data2) << r.text;
        EXPECT_EQ(v.data3, r.expected.data3) << r.text;
    }
    bind_value("nan", float_::make(std::numeric_limits<double>::quiet_NaN()));
    bind_value("inf", float_::make(std::numeric_limits<double>::infinity()));
    expect_cases({
        {"as-pair nan 1", "error script/invalid-arg"},
        {"as-pair 1 inf", "error script/invalid-arg"},
        {"as-pair 3e9 1", "error script/invalid-arg"},   // beyond the integer range: never a wrapped value
        {"as-pair 1 \"x\"", "error script/expect-arg"},
        // A code from the library's currency list, and one not on it.
        {"as-money 'USD 10", "USD$10.00"},
        {"as-money 'XYZ 10", "error script/bad-denom"},
    });
}

TEST_F(SeriesNativesTest, AsCoercesWithoutCopying) {
    expect_cases({
        {"as paren! [1 2]", "(1 2)"},
        {"as string! [a]", "error script/not-same-class"},
        {"as block! \"x\"", "error script/not-same-class"},
        {"as integer! \"x\"", "error script/not-same-class"},
        {"as \"example\" as file! \"x\"", R"("x")"},
        {"as path! [a b]", "a/b"},
        {"as block! 'a/b", "[a b]"},
    });
    Cell r = run("s: next \"xyz\" f: as file! s");
    Cell s = global("s");
    EXPECT_EQ(type_of(&r), TYPE_FILE);
    EXPECT_EQ(cell_node(&r), cell_node(&s));   // the same buffer
    EXPECT_EQ(r.data1, s.data1);               // and the same position
    RaisedError e = run_error("as string! [a]");
    ASSERT_TRUE(e.args[0].given && e.args[1].given);
    EXPECT_EQ(e.args[0].value.data1, uint32_t(TYPE_BLOCK));
    EXPECT_EQ(e.args[1].value.data1, uint32_t(TYPE_STRING));
}

TEST_F(SeriesNativesTest, LocalFileNames) {
    expect_cases({
        {"to-local-file %/c/windows/x.txt", R"("c:\windows\x.txt")"},
        {"to-local-file %/c", R"("c:\")"},
        {"to-local-file %/c/", R"("c:\")"},
        {"to-local-file %/", R"("\")"},
        {"to-local-file %/abc/x", R"("\\abc\x")"},
        {"to-local-file %dir/x", R"("dir\x")"},
        {"to-local-file \"dir/sub/\"", R"("dir\sub\")"},
        {"to-local-file/full %/c/x", R"("c:\x")"},   // absolute paths are left alone
    });
    // /full puts the current directory in front of a relative path.
    Cell dir = file::current_dir_local();
    gc::CellRoot keep(&dir);
    std::string expected = "\"" + string::to_utf8(&dir) + "dir\\x\"";
    EXPECT_EQ(run_mold("to-local-file/full %dir/x"), expected);
    EXPECT_EQ(string::to_utf8(&dir).back(), '\\');
}

TEST_F(SeriesNativesTest, SizeOfAFile) {
    const char* name = "qor_natives_size_test.bin";
    {
        std::ofstream out(name, std::ios::binary);
        out << std::string(1234, 'x');
    }
    Cell f = string::from_utf8(name);
    f.header = TYPE_FILE;
    bind_value("f", f);
    EXPECT_EQ(run_mold("size? f"), "1234");
    std::remove(name);
    EXPECT_EQ(run_mold("size? f"), "none");   // a missing file is not an error
    EXPECT_EQ(run_mold("size? %."), "none");  // nor is a directory
}

// Called from compiled code (check? true) the natives check their arguments
// against their specs; the interpreter never reaches these checks.
TEST_F(SeriesNativesTest, ArgumentChecksWithCheckFlag) {
    Cell text = string::from_utf8("x");
    gc::CellRoot keep(&text);
    Cell block = block::make(2);
    gc::CellRoot keep_block(&block);
    const Cell one = integer::make(1), yes{TYPE_LOGIC, 1, 0, 0};
    expect_arg_errors({
        {natives::dehex_star, {one}, {}},
        {natives::enhex_star, {block}, {}},
        {natives::debase_star, {block}, {-1}},
        {natives::debase_star, {text, text}, {1}},   // the /base argument
        {natives::enbase_star, {one}, {-1}},
        {natives::uppercase_star, {block}, {-1}},
        {natives::lowercase_star, {text, block}, {1}},
        {natives::new_line_star, {text, yes}, {-1, -1}},
        {natives::new_line_star, {block, one}, {-1, -1}},
        {natives::new_line_q_star, {text}, {}},
        {natives::as_pair_star, {one, text}, {}},
        {natives::as_point3d_star, {one, one, yes}, {}},
        {natives::as_star, {one, text}, {}},
        {natives::as_star, {text, one}, {}},
        {natives::size_q_star, {text}, {}},
        {natives::to_local_file_star, {block}, {-1}},
    });
}

}  // namespace
}  // namespace qor::test
