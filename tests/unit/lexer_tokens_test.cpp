// The lexer's token kinds: source texts and the values they load, molded;
// texts of the types this tree does not build yet are recognised (/scan)
// and refused when loaded.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "datatypes/float.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using test::loaded;
using test::load_source;

class LexerTokens : public test::RuntimeFixture {};

struct Case {
    const char* source;
    const char* molded;
};

void check_all(const std::initializer_list<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(loaded(c.source), c.molded) << "source: " << c.source;
}

TEST_F(LexerTokens, WordsOfEveryKind) {
    check_all({
        {"a b-c d? e! *f* _g ~h |i &j `k", "a b-c d? e! *f* _g ~h |i &j `k"},
        {"set: :get 'lit /ref #iss", "set: :get 'lit /ref #iss"},
        {"+ - ++ -- +a -b -> => == = <= >= <> < > << ^", "+ - ++ -- +a -b -> => == = <= >= <> < > << ^"},
        {"/ // '/ :/ /:", "/ // '/ :/ /:"},
        // A lone % is the remainder operator's word; % before anything else
        // still begins a file.
        {"% [%] (%) %a %\"a b\" %\"\" %;c", "% [%] (%) %a %\"a b\" %\"\" %"},
        {"'+ :- 'a.b a.b .a it's", "'+ :- 'a.b a.b .a it's"},
        {"ABC DEF1 Eh1", "ABC DEF1 Eh1"},          // uppercase hexadecimal-looking words
        {"x10 T1 h2", "x10 T1 h2"},
        {"caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87", "caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87"},
        {"#a #1 #a.b #a#b ##", "#a #1 #a.b #a#b ##"},
    });
}

TEST_F(LexerTokens, WordsAreBoundToTheGlobalContext) {
    Cell b = load_source("alpha beta: 'gamma");
    gc::CellRoot keep(&b);
    for (uint32_t i = 0; i < 3; i++) {
        const Cell* w = block::item(&b, i);
        EXPECT_EQ(word::context_of(w), context::global());
        EXPECT_GE(word::index_of(w), 0);
    }
    EXPECT_EQ(test::spelling_of(word::symbol_of(block::item(&b, 1))), "beta");
}

TEST_F(LexerTokens, Integers) {
    check_all({
        {"0 1 -2 +3 007", "0 1 -2 3 7"},
        {"2147483647 -2147483647 -2147483648", "2147483647 -2147483647 -2147483648"},
        // Beyond 32 bits, or more than 10 digits, an integer text is a float.
        {"2147483648 -2147483649 00000000001 12345678901", "2147483648.0 -2147483649.0 1.0 12345678901.0"},
        {"1'000'000 1'0", "1000000 10"},
        {"FFh 12h ABh 7FFFFFFFh FFFFFFFFh 0Ah", "255 18 171 2147483647 -1 10"},
        {"1 2 3", "1 2 3"},
    });
    Cell b = load_source("2147483648 12345678901");
    gc::CellRoot keep(&b);
    EXPECT_EQ(type_of(block::item(&b, 0)), TYPE_FLOAT);
    EXPECT_EQ(cell_float(block::item(&b, 1)), 12345678901.0);
}

TEST_F(LexerTokens, Floats) {
    check_all({
        {"1.5 .5 -.5 +1.5 1. 0.1", "1.5 0.5 -0.5 1.5 1.0 0.1"},
        {"1e3 1E3 1.5e-3 2.5E+2 12E4", "1000.0 1000.0 0.0015 250.0 120000.0"},
        {"1'000.5 1.000'5", "1000.5 1.0005"},
        {"1.#INF -1.#inf +1.#Inf 1.#NaN 1.#nan", "1.#INF -1.#INF 1.#INF 1.#NaN 1.#NaN"},
    });
}

TEST_F(LexerTokens, Strings) {
    check_all({
        {"\"\" \"abc\" \"a b\"", "\"\" \"abc\" \"a b\""},
        {"\"a^/b^-c\"", "\"a^/b^-c\""},
        {"\"^(41)^(3b1)^(1F600)^(tab)^(LINE)^(null)\"", "\"A\xce\xb1\xf0\x9f\x98\x80^-^/^@\""},
        {"\"^\"^^^{^}^~^a^Z^[^@^!\"", "{\"^^{}^~^A^Z^[^@!}"},
        {"\"caf\xc3\xa9\"", "\"caf\xc3\xa9\""},
        {"{a {b} c}", "\"a {b} c\""},
        {"{}", "\"\""},
        {"{a^}b} {^{}", "\"a}b\" \"{\""},
        {"{line one\nline two}", "\"line one^/line two\""},
        {"%{a}b}% %%{x}%% %{a\"b}%", "\"a}b\" \"x\" {a\"b}"},
        {"%{raw ^/ stays}%", "\"raw ^^/ stays\""},
        {"%%{a}%b}%%", "\"a}%b\""},
    });
    // The unit follows the widest character.
    Cell b = load_source("\"abc\" \"caf\xc3\xa9\" \"\xce\xb1\" \"\xf0\x9f\x98\x80\"");
    gc::CellRoot keep(&b);
    uint32_t units[4] = {1, 1, 2, 4};
    for (uint32_t i = 0; i < 4; i++) EXPECT_EQ(string::buffer(block::item(&b, i))->unit(), units[i]) << i;
}

TEST_F(LexerTokens, Characters) {
    check_all({
        {"#\"a\" #\"^/\" #\"^(41)\" #\"^\"\" #\"^^\"", "#\"a\" #\"^/\" #\"A\" #\"^\"\" #\"^^\""},
        {"#\"\xc3\xa9\" #\"^(10FFFF)\" #\"^(tab)\"", "#\"\xc3\xa9\" #\"\xf4\x8f\xbf\xbf\" #\"^-\""},
    });
}

TEST_F(LexerTokens, BlocksParensAndComments) {
    check_all({
        {"[] [a [b [c]]] (1 (2)) [(a)]", "[] [a [b [c]]] (1 (2)) [(a)]"},
        {"a ; comment\nb ;another", "a\nb"},
        {"[a\n b]", "[a\nb]"},
        {"(1 + 2)", "(1 + 2)"},
    });
    // Comments of every length around the four-byte steps of their search.
    for (size_t n = 0; n < 10; n++) {
        std::string comment = "a ;" + std::string(n, 'x');
        EXPECT_EQ(loaded(comment + "\nb"), "a\nb") << n;
        EXPECT_EQ(loaded(comment), "a") << n;
    }
}

TEST_F(LexerTokens, Paths) {
    check_all({
        {"a/b a/b/c 'a/b :a/b a/b:", "a/b a/b/c 'a/b :a/b a/b:"},
        {"a/1 a/b/2 a/(b) a/(b)/c a/:b a/'b", "a/1 a/b/2 a/(b) a/(b)/c a/:b a/'b"},
        {"a/\"s\" a/#i a/-1", "a/\"s\" a/#i a/-1"},
        {"[a/b c/d]", "[a/b c/d]"},
        {"a/b:c", "a/b: c"},
    });
    Cell b = load_source("a/b 'a/b :a/b a/b:");
    gc::CellRoot keep(&b);
    uint32_t types[4] = {TYPE_PATH, TYPE_LIT_PATH, TYPE_GET_PATH, TYPE_SET_PATH};
    for (uint32_t i = 0; i < 4; i++) EXPECT_EQ(type_of(block::item(&b, i)), types[i]) << i;
}

TEST_F(LexerTokens, Times) {
    check_all({
        {"12:30 1:02:03.5 0:0:0.25", "12:30:00 1:02:03.5 0:00:00.25"},
        {"-1:30 +1:30 -0:30", "-1:30:00 1:30:00 -0:30:00"},
        {"1:30.5 1:30,5 100:00 1:75", "0:01:30.5 0:01:30.5 100:00:00 2:15:00"},
        {"1'000:00", "1000:00:00"},
        // minutes:seconds with the most negative 32-bit minutes
        {"-2147483648:0,5", "-35791394:08:00.5"},
    });
}

TEST_F(LexerTokens, Construction) {
    check_all({
        {"#(true) #(TRUE) #(false) #(none) #(unset)", "true true false none unset"},
        {"#(integer!) #(Block!)", "integer! block!"},
    });
    Cell b = load_source("#(true) #(none)");
    gc::CellRoot keep(&b);
    EXPECT_EQ(type_of(block::item(&b, 0)), TYPE_LOGIC);
    EXPECT_EQ(type_of(block::item(&b, 1)), TYPE_NONE);
}

TEST_F(LexerTokens, PairsFilesAndUrls) {
    check_all({
        {"10x20 -1x-2 1X2 0x0 2147483647x-2147483648 1'000x2", "10x20 -1x-2 1x2 0x0 2147483647x-2147483648 1000x2"},
        {"%foo.txt %\"a b\" %a%20b %/c/dir/ %\"\"", "%foo.txt %\"a b\" %\"a b\" %/c/dir/ %\"\""},
        {"http://x.com/a?b=1 mailto:a@b", "http://x.com/a?b=1 mailto:a@b"},
    });
}

// file!, url! and ref! are loaded as text values of their type.
TEST_F(LexerTokens, FilesUrlsAndRefs) {
    struct TextCase {
        const char* source;
        uint32_t    type;
        const char* text;
    } cases[] = {
        {"%foo.txt", TYPE_FILE, "foo.txt"},
        {"%\"a b\"", TYPE_FILE, "a b"},
        {"%a%20b%C3%A9", TYPE_FILE, "a b\xc3\xa9"},
        {"%/c/dir/", TYPE_FILE, "/c/dir/"},
        {"%\"\"", TYPE_FILE, ""},
        {"http://x.com/a?b=1", TYPE_URL, "http://x.com/a?b=1"},
        {"mailto:a@b", TYPE_URL, "mailto:a@b"},
        {"http://x/a%20b", TYPE_URL, "http://x/a b"},
        {"ftp://x/%FF", TYPE_URL, "ftp://x/\xc3\xbf"},
        {"@ref", TYPE_REF, "ref"},
        {"@", TYPE_REF, ""},
    };
    for (const TextCase& c : cases) {
        Cell b = load_source(c.source);
        gc::CellRoot keep(&b);
        ASSERT_EQ(block::length(&b), 1u) << c.source;
        EXPECT_EQ(type_of(block::item(&b, 0)), c.type) << c.source;
        EXPECT_EQ(string::to_utf8(block::item(&b, 0)), c.text) << c.source;
    }
}

// Tokens of datatypes not built yet: /scan names them, loading refuses.
TEST_F(LexerTokens, LiteralsOfTheLaterTypesScanAndLoad) {
    struct TypeCase {
        const char* source;
        uint32_t    type;
    } cases[] = {
        {"#{00FF}", TYPE_BINARY}, {"2#{00000001}", TYPE_BINARY}, {"64#{AQ==}", TYPE_BINARY},
        {"#{0A ; comment\n 0B}", TYPE_BINARY}, {"12%", TYPE_PERCENT}, {"1.5%", TYPE_PERCENT},
        {"1.2.3", TYPE_TUPLE}, {"1.2.3.4.5.6.7.8.9.10.11.12", TYPE_TUPLE}, {"255.255.255", TYPE_TUPLE},
        {"10-Jan-99", TYPE_DATE}, {"1/2/2000", TYPE_DATE}, {"2000-01-15", TYPE_DATE},
        {"29-Feb-2000", TYPE_DATE}, {"1-Jan-2000/10:00", TYPE_DATE}, {"2000-01-01T10:00:00Z", TYPE_DATE},
        {"1-Jan-2000/10:00+5:30", TYPE_DATE}, {"2000-032", TYPE_DATE}, {"2009-W01-1", TYPE_DATE},
        {"20000115T1030", TYPE_DATE}, {"1-September-2000", TYPE_DATE},
        {"(1, 2)", TYPE_POINT2D}, {"(1.5, -2, 3e2)", TYPE_POINT3D}, {"(1.#INF, 1.#NaN)", TYPE_POINT2D},
        {"$1", TYPE_MONEY}, {"$1.50", TYPE_MONEY}, {"-$1", TYPE_MONEY}, {"USD$1'000.50", TYPE_MONEY},
        {"-EUR$2,5", TYPE_MONEY},
        {"<a>", TYPE_TAG}, {"</a>", TYPE_TAG}, {"<a href=\"x>y\">", TYPE_TAG},
        {"a@b.c", TYPE_EMAIL}, {"1@x", TYPE_EMAIL}, {"#[a 1]", TYPE_MAP},
    };
    for (const TypeCase& c : cases) {
        EXPECT_EQ(lexer::scan_token_type(c.source, uint32_t(std::strlen(c.source))), c.type) << c.source;
        Cell b = load_source(c.source);
        EXPECT_EQ(type_of(block::item(&b, 0)), c.type) << c.source;
    }
}

// The type of the first token, told apart for the word kinds.
TEST_F(LexerTokens, ScanTokenType) {
    struct TypeCase {
        const char* source;
        uint32_t    type;
    } cases[] = {
        {"a", TYPE_WORD}, {"a:", TYPE_SET_WORD}, {":a", TYPE_GET_WORD}, {"'a", TYPE_LIT_WORD},
        {"/a", TYPE_REFINEMENT}, {"#a", TYPE_ISSUE}, {"/", TYPE_WORD}, {"1", TYPE_INTEGER},
        {"1.5", TYPE_FLOAT}, {"\"s\"", TYPE_STRING}, {"{s}", TYPE_STRING}, {"[a]", TYPE_BLOCK},
        {"(a)", TYPE_PAREN}, {"a/b", TYPE_PATH}, {"a/b:", TYPE_SET_PATH}, {"%f", TYPE_FILE},
        {"a:b", TYPE_URL}, {"@r", TYPE_REF}, {"1:30", TYPE_TIME}, {"#\"c\"", TYPE_CHAR},
        {"FFh", TYPE_INTEGER}, {"99999999999", TYPE_FLOAT}, {"#(true)", TYPE_LOGIC},
        {"a b", TYPE_WORD}, {"", 0}, {"  ", 0}, {"; c", 0}, {"1a", 0}, {"a,", 0},
    };
    for (const TypeCase& c : cases)
        EXPECT_EQ(lexer::scan_token_type(c.source, uint32_t(std::strlen(c.source))), c.type) << c.source;
}

TEST_F(LexerTokens, NewLineMarkers) {
    Cell b = load_source("a\nb c\n\n[d\ne]");
    gc::CellRoot keep(&b);
    bool marks[4] = {false, true, false, true};
    for (uint32_t i = 0; i < 4; i++)
        EXPECT_EQ((block::item(&b, i)->header & FLAG_NEW_LINE) != 0, marks[i]) << i;
    const Cell* inner = block::item(&b, 3);
    EXPECT_TRUE(block::item(inner, 1)->header & FLAG_NEW_LINE);
}

TEST_F(LexerTokens, BlanksAndControlBytes) {
    check_all({
        {"a\tb\r\nc\x01\x1f" "d", "a b\nc d"},
        // Unicode blanks separate tokens; a token of them alone is none.
        {"a\xc2\xa0" "b \xe2\x80\x83 c\xe3\x80\x80", "a b c"},
        {"\xc2\xa0", ""},
    });
}

}  // namespace
}  // namespace qor
