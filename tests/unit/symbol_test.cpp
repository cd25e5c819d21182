// The symbol table: interning, case variants and their aliases, spellings
// and their decoded strings, the intern index's growth, and symbol!'s
// compare action.
#include "memory_fixture.hpp"
#include "runtime_fixture.hpp"

#include "datatypes/registry.hpp"

#include <string>
#include <vector>

namespace qor::testing {
namespace {

using namespace qor::test;

class Symbols : public CoreTypesFixture {
protected:
    void register_types() override {
        series::init();
        block::init();
        string_actions::init();
        integer::init();
    }
};

std::string spelling_of(int32_t id) {
    return std::string(reinterpret_cast<const char*>(symbol::spelling(id)), symbol::spelling_length(id));
}

TEST_F(Symbols, CaseVariantsAliasTheFirstSpelling) {
    int32_t foo = symbol::intern("foo");
    EXPECT_EQ(foo, 1);
    EXPECT_EQ(symbol::intern("foo"), foo);
    int32_t Foo = symbol::intern("Foo");
    int32_t FOO = symbol::intern("FOO");
    EXPECT_EQ(Foo, 2);
    EXPECT_EQ(FOO, 3);
    EXPECT_EQ(symbol::alias_of(foo), -1);
    EXPECT_EQ(symbol::alias_of(Foo), foo);
    EXPECT_EQ(symbol::alias_of(FOO), foo);  // not Foo
    for (int32_t id : {foo, Foo, FOO}) EXPECT_EQ(symbol::resolve_alias(id), foo);

    // Without regard to case, the canonical spelling answers and nothing is added.
    EXPECT_EQ(symbol::intern_nocase("FOO"), foo);
    EXPECT_EQ(symbol::intern_nocase("fOO"), foo);
    EXPECT_EQ(symbol::count(), 3);
    int32_t bar = symbol::intern_nocase("BAR");
    EXPECT_EQ(bar, 4);
    EXPECT_EQ(symbol::alias_of(bar), -1);
    EXPECT_EQ(symbol::find("bar"), 0);
    EXPECT_EQ(symbol::find("bar", true), bar);
    EXPECT_EQ(symbol::find("BAR"), bar);
    EXPECT_EQ(symbol::count(), 4);
}

TEST_F(Symbols, OnlyAsciiLettersFoldInSpellings) {
    // e with acute accent, small and capital: two canonical symbols.
    int32_t small = symbol::intern("caf\xC3\xA9");
    int32_t capital = symbol::intern("caf\xC3\x89");
    EXPECT_NE(small, capital);
    EXPECT_EQ(symbol::alias_of(capital), -1);
    EXPECT_EQ(symbol::resolve_alias(capital), capital);
    int32_t upper = symbol::intern("CAF\xC3\xA9");
    EXPECT_EQ(symbol::alias_of(upper), small);
    // Bytes next to the letter range do not fold: @ [ ` {.
    int32_t at = symbol::intern("@["), backtick = symbol::intern("`{");
    EXPECT_EQ(symbol::alias_of(backtick), -1);
    EXPECT_NE(at, backtick);
}

TEST_F(Symbols, SpellingsAreKeptExactlyWithATerminatingNul) {
    struct Case {
        std::string text;
    } cases[] = {{""}, {"a"}, {"set-word!"}, {"\xE4\xB8\xAD\xE6\x96\x87"}, {std::string(300, 'q')}};
    for (const Case& c : cases) {
        int32_t id = symbol::intern_n(c.text.data(), uint32_t(c.text.size()));
        EXPECT_EQ(spelling_of(id), c.text);
        EXPECT_EQ(symbol::spelling(id)[c.text.size()], 0);
        EXPECT_EQ(symbol::intern_n(c.text.data(), uint32_t(c.text.size())), id);
        const SymbolRecord* r = symbol::record(id);
        EXPECT_EQ(r->header, uint32_t(TYPE_SYMBOL));
        EXPECT_EQ(r->cached, 0u);  // decoded only on demand
    }
    EXPECT_EQ(symbol::intern(""), symbol::intern_n("", 0));
    EXPECT_EQ(symbol::spelling_length(symbol::intern("")), 0u);
}

TEST_F(Symbols, EntryDecodesTheSpellingOnce) {
    int32_t id = symbol::intern("\xC3\xA9t\xC3\xA9");  // été
    SymbolRecord* r = symbol::entry(id);
    ASSERT_NE(r->cached, 0u);
    Node first = reinterpret_cast<Node>(r->cached);
    Cell text{TYPE_STRING, 0, reinterpret_cast<uint32_t>(first), 0};
    EXPECT_EQ(string::to_utf8(&text), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(string::length(&text), 3u);
    EXPECT_EQ(reinterpret_cast<Node>(symbol::entry(id)->cached), first);
    EXPECT_EQ(symbol::ensure_string(id), first);
    const uint8_t* c = symbol::c_string(id);
    EXPECT_EQ(c[3 * buffer_of(first)->unit()], 0);
}

TEST_F(Symbols, InternStringTakesTheTextFromItsIndex) {
    Cell s = string::from_utf8("xx\xE2\x82\xAC" "euro");  // a unit-2 string
    gc::CellRoot keep(&s);
    s.data1 = 2;
    int32_t id = symbol::intern_string(&s);
    EXPECT_EQ(spelling_of(id), "\xE2\x82\xAC" "euro");
    EXPECT_EQ(symbol::intern("\xE2\x82\xAC" "euro"), id);
}

TEST_F(Symbols, GrowingTheIndexKeepsEveryIdAndAlias) {
    // Enough spellings to pass the intern index's bound (12615 of 16384),
    // with case variants on both sides of the growth.  Every interning
    // allocates and a collection marks the whole table: under the stress mode
    // collect less often, or the test turns quadratic.
    if (gc::stress_interval()) gc::set_stress_interval(97);
    std::vector<int32_t> canonical;
    for (int i = 0; i < 9000; i++) canonical.push_back(symbol::intern(("word" + std::to_string(i)).c_str()));
    for (int i = 0; i < 9000; i += 3) symbol::intern(("WORD" + std::to_string(i)).c_str());
    EXPECT_EQ(hashtable::record(symbol::index_node())->bucket_count, 16384);
    for (int i = 9000; i < 13000; i++) canonical.push_back(symbol::intern(("word" + std::to_string(i)).c_str()));
    EXPECT_GT(hashtable::record(symbol::index_node())->bucket_count, 16384);
    for (int i = 0; i < 13000; i++) {
        std::string lower = "word" + std::to_string(i);
        ASSERT_EQ(symbol::intern(lower.c_str()), canonical[size_t(i)]) << lower;
        ASSERT_EQ(spelling_of(canonical[size_t(i)]), lower);
        // A new variant after the growth still aliases the canonical spelling,
        // and so does every lookup without regard to case.
        std::string mixed = "Word" + std::to_string(i);
        int32_t variant = symbol::intern(mixed.c_str());
        ASSERT_EQ(symbol::alias_of(variant), canonical[size_t(i)]) << mixed;
        ASSERT_EQ(symbol::intern_nocase(("WORD" + std::to_string(i)).c_str()), canonical[size_t(i)]);
    }
    EXPECT_EQ(hashtable::record(symbol::index_node())->size, symbol::count());
}

TEST_F(Symbols, SpellingsAndStringsSurviveCollections) {
    std::vector<int32_t> ids;
    for (int i = 0; i < 300; i++) {
        ids.push_back(symbol::intern(("s" + std::to_string(i)).c_str()));
        if (i % 2) symbol::entry(ids.back());
        memory::alloc_cells(16);  // garbage between the records
    }
    gc::collect();
    for (int i = 0; i < 300; i++) {
        ASSERT_EQ(spelling_of(ids[size_t(i)]), "s" + std::to_string(i));
        if (i % 2) {
            Cell text{TYPE_STRING, 0, symbol::record(ids[size_t(i)])->cached, 0};
            ASSERT_EQ(string::to_utf8(&text), "s" + std::to_string(i));
        }
    }
}

TEST_F(Symbols, CompareActionComparesSpellings) {
    CompareFn compare = registry::action<SLOT_COMPARE>(TYPE_SYMBOL);
    ASSERT_NE(compare, nullptr);
    EXPECT_EQ(registry::action<SLOT_FORM>(TYPE_SYMBOL), nullptr);
    int32_t apple = symbol::intern("apple"), APPLE = symbol::intern("APPLE"), pear = symbol::intern("pear");
    auto cmp = [&](int32_t a, int32_t b, int32_t op) {
        return compare(reinterpret_cast<Cell*>(symbol::record(a)), reinterpret_cast<Cell*>(symbol::record(b)), op);
    };
    EXPECT_EQ(cmp(apple, APPLE, COMP_EQUAL), 0);
    EXPECT_NE(cmp(apple, APPLE, COMP_STRICT_EQUAL), 0);
    EXPECT_LT(cmp(apple, pear, COMP_LESSER), 0);
    EXPECT_GT(cmp(pear, apple, COMP_LESSER), 0);
    // Comparing decoded both strings, and they stay cached.
    EXPECT_NE(symbol::record(apple)->cached, 0u);
    EXPECT_NE(symbol::record(pear)->cached, 0u);
}

TEST_F(Symbols, AnyTypeWordMatchesByCanonicalSymbol) {
    Cell word{TYPE_WORD, 0, uint32_t(symbol::intern("ANY-TYPE!")), 0};
    EXPECT_FALSE(word::any_type_q(&word));  // any-type! itself is not interned yet
    symbol::intern("any-type!");
    Cell variant{TYPE_WORD, 0, uint32_t(symbol::intern("Any-Type!")), 0};
    EXPECT_TRUE(word::any_type_q(&variant));
    Cell other{TYPE_WORD, 0, uint32_t(symbol::intern("any-typo!")), 0};
    EXPECT_FALSE(word::any_type_q(&other));
}

}  // namespace
}  // namespace qor::testing
