// Mold then load: a generated corpus of blocks (fixed seed) of every
// datatype the lexer loads and the tree can mold; each block molded and
// loaded again must mold the same and compare equal.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "datatypes/float.hpp"
#include "evaluator/actions.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

class LexerRoundTrip : public test::RuntimeFixture {};

// Loads text that must load; a syntax error fails the test with the text.
Cell reload(const std::string& text) {
    try {
        return test::load_source(text);
    } catch (const Thrown&) {
        const RaisedError& e = last_raised_error();
        ADD_FAILURE() << e.category << "/" << e.id << " " << test::arg_text(e.args[1]) << " "
                      << test::arg_text(e.args[2]) << "\n  loading: " << text;
        return block::make(1);
    }
}

struct Generator {
    std::mt19937 rng{20261209};

    uint32_t pick(uint32_t n) { return uint32_t(rng() % n); }

    std::string name() {
        static const char* const heads[] = {"a", "b", "x", "foo", "caf\xc3\xa9", "\xe4\xb8\xad", "is?", "do!",
                                            "+", "-", "*", "<", ">", "=", "<=", "...", "a-b", "a.b", "c'd"};
        std::string n = heads[pick(sizeof heads / sizeof *heads)];
        // Digits only after a letter: "<7" or "+6" would read as other values.
        if (uint8_t(n[0]) >= 'a' && pick(3) == 0) n += std::to_string(pick(100));
        return n;
    }
    Cell word(uint32_t type) {
        std::string n = name();
        // Kinds whose mark clashes with a leading sign or < are left plain.
        if (type == TYPE_REFINEMENT || type == TYPE_ISSUE) n = "r" + n;
        // A word ends before "<" (it may begin a tag).
        if (type == TYPE_REFINEMENT && n.find('<') != std::string::npos) n = "ref";
        Cell w;
        word::init_cell(&w, symbol::intern(n.c_str()));
        w.header = type;
        return w;
    }
    uint32_t code_point() {
        switch (pick(6)) {
        case 0: return 1 + pick(31);                      // controls
        case 1: return "\"{}^%;[]()"[pick(10)];           // delimiters and escapes
        case 2: return 0x80 + pick(0x780);
        case 3: { uint32_t c = 0x800 + pick(0xF000); return c >= 0xD800 && c < 0xE000 ? 0x4E2D : c; }
        case 4: return 0x10000 + pick(0x100000);
        default: return 32 + pick(95);
        }
    }
    Cell text() {
        Cell s = string::make(8);
        gc::CellRoot keep(&s);
        uint32_t n = pick(4) == 0 ? 40 + pick(40) : pick(12);
        for (uint32_t i = 0; i < n; i++) string::append_char(&s, code_point());
        return s;
    }
    Cell number() {
        switch (pick(4)) {
        case 0: return integer::make(int32_t(rng()));
        case 1: return integer::make(int32_t(pick(2000)) - 1000);
        case 2: {
            double d = std::ldexp(double(int32_t(rng())), int(pick(200)) - 100);
            return float_::make(d);
        }
        default: {
            static const double specials[] = {0.0, -0.0, 0.1, 1e300, -1e-300, 5e-324, INFINITY, -INFINITY, NAN};
            return float_::make(specials[pick(9)]);
        }
        }
    }
    Cell time_value() {
        double s = double(pick(400000)) - 200000.0;
        if (pick(2)) s += double(pick(1000)) / 1000.0;
        return time::make(s);
    }
    Cell path(uint32_t depth) {
        static const uint32_t kinds[] = {TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH};
        Cell p = block::make(4);
        gc::CellRoot keep(&p);
        Cell first = word(TYPE_WORD);
        // A path cannot begin with "<" (that begins a tag).
        while (symbol::spelling(word::symbol_of(&first))[0] == '<') first = word(TYPE_WORD);
        block::append_copy(&p, &first);
        for (uint32_t i = 0, n = 1 + pick(3); i < n; i++) {
            Cell e;
            switch (pick(depth < 3 ? 5 : 4)) {
            case 0: e = integer::make(int32_t(pick(100))); break;
            case 1: e = word(TYPE_GET_WORD); break;
            case 2: e = text(); break;
            case 3:
                // "</" begins a closing tag.
                do e = word(TYPE_WORD); while (symbol::spelling(word::symbol_of(&e))[0] == '<');
                break;
            default: e = container(TYPE_PAREN, depth + 1); break;
            }
            gc::CellRoot keep_e(&e);
            block::append_copy(&p, &e);
        }
        p.header = kinds[pick(4)];
        return p;
    }
    Cell value(uint32_t depth) {
        switch (pick(depth < 4 ? 14 : 11)) {
        case 0: case 1: return word(TYPE_WORD);
        case 2: {
            static const uint32_t kinds[] = {TYPE_SET_WORD, TYPE_GET_WORD, TYPE_LIT_WORD, TYPE_REFINEMENT, TYPE_ISSUE};
            return word(kinds[pick(5)]);
        }
        case 3: case 4: return number();
        case 5: return text();
        case 6: return char_::make(code_point());
        case 7: return time_value();
        case 8: return path(depth);
        case 9: {
            static const uint32_t types[] = {TYPE_INTEGER, TYPE_BLOCK, TYPE_STRING, TYPE_WORD};
            return pick(2) ? Cell{TYPE_LOGIC, pick(2), 0, 0} : Cell{TYPE_DATATYPE, types[pick(4)], 0, 0};
        }
        case 10: {
            Cell text_value = text();
            gc::CellRoot keep_text(&text_value);
            switch (pick(4)) {
            case 0: return Cell{TYPE_PAIR, 0, rng(), rng()};
            case 1: {
                // Not "^": the stand-in file! mold writes it as it stands,
                // and "^" begins an escape in a file name.
                std::u32string chars = string::to_code_points(&text_value);
                Cell f = string::make(8);
                gc::CellRoot keep(&f);
                for (char32_t c : chars) string::append_char(&f, c == '^' ? '_' : uint32_t(c));
                f.header = TYPE_FILE;
                return f;
            }
            case 2: {
                // A url ends before "<".
                std::string path = name();
                if (path.find('<') != std::string::npos) path = "index";
                Cell u = string::from_utf8(("http://x.org/" + path).c_str());
                u.header = TYPE_URL;
                return u;
            }
            default: return Cell{TYPE_NONE, 0, 0, 0};
            }
        }
        case 11: case 12: return container(TYPE_BLOCK, depth + 1);
        default: return container(TYPE_PAREN, depth + 1);
        }
    }
    Cell container(uint32_t type, uint32_t depth) {
        Cell b = block::make(4);
        gc::CellRoot keep(&b);
        for (uint32_t i = 0, n = pick(6); i < n; i++) {
            Cell v = value(depth);
            gc::CellRoot keep_v(&v);
            if (pick(5) == 0) v.header |= FLAG_NEW_LINE;
            block::append_copy(&b, &v);
        }
        b.header = type;
        return b;
    }
};

// Logic and none mold as words; loaded back they are words, so compare the
// molds only.  Everything else must also compare equal.
TEST_F(LexerRoundTrip, MoldThenLoad) {
    Generator g;
    for (int round = 0; round < 300; round++) {
        Cell original = g.container(TYPE_BLOCK, 0);
        gc::CellRoot keep(&original);
        std::string text = test::molded(original, true);
        Cell again = reload(text);
        gc::CellRoot keep_again(&again);
        std::string text_again = test::molded(again, true);
        size_t at = 0;
        while (at < text.size() && at < text_again.size() && text[at] == text_again[at]) at++;
        size_t from = at > 40 ? at - 40 : 0;
        ASSERT_EQ(text_again, text) << "round " << round << ", first difference at " << at << ":\n  "
                                    << text_again.substr(from, 80) << "\n  " << text.substr(from, 80);
        Cell all = reload(test::molded(original, true, true));
        gc::CellRoot keep_all(&all);
        EXPECT_EQ(test::molded(all, true), text) << "round " << round << " (mold/all)";
    }
}

// Values whose mold reloads as the same value compare equal.
TEST_F(LexerRoundTrip, ScalarsCompareEqual) {
    Generator g;
    for (int i = 0; i < 2000; i++) {
        Cell v;
        switch (i % 5) {
        case 0: v = g.number(); break;
        case 1: v = g.text(); break;
        case 2: v = char_::make(g.code_point()); break;
        case 3: v = g.time_value(); break;
        default: v = g.word(TYPE_SET_WORD); break;
        }
        gc::CellRoot keep(&v);
        if (type_of(&v) == TYPE_FLOAT && std::isnan(cell_float(&v))) continue;
        std::string text = test::molded(v);
        Cell loaded = reload(text);
        gc::CellRoot keep_loaded(&loaded);
        ASSERT_EQ(block::length(&loaded), 1u) << text;
        Cell back = *block::item(&loaded, 0);
        EXPECT_TRUE(compare_values(&v, &back, COMP_STRICT_EQUAL) == 0) << text;
    }
}

}  // namespace
}  // namespace qor
