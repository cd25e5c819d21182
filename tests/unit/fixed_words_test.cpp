// The fixed names made at start-up: creation order, kinds and bindings, the
// datatype name words, and their survival across collections.
#include "datatypes/fixed_words.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "memory_fixture.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class FixedWords : public testing::CoreTypesFixture {
protected:
    void register_types() override {
        series::init();
        block::init();
        string_actions::init();
        integer::init();
        char_::init();
        float_::init();
        path::init();
        paren::init();
        triple::init();
    }
    void SetUp() override {
        CoreTypesFixture::SetUp();
        context::init();
        word::init();
        issue::init();
        root_block::make();
        context::make_global();
        symbols_before = symbol::count();
        words::init_fixed();
        words::init_refinements();
        words::make_ooo_issue();
    }
    void TearDown() override {
        datatype::unbind_names();
        words::reset();
        root_block::set_collecting(false);
        CoreTypesFixture::TearDown();
    }
    int32_t symbols_before = 0;  // spellings interned before the fixed names
};

TEST_F(FixedWords, SymbolsAndWordsAreMadeInListOrder) {
    // Spellings met for the first time get increasing ids in list order:
    // first every symbol, then every word.
    std::set<std::string> seen;
    int32_t last = symbols_before;
    for (int i = 0; i < words::SYMBOL_COUNT; i++) {
        auto s = words::FixedSymbol(i);
        int32_t id = words::symbol(s);
        EXPECT_EQ(spelling_of(id), words::spelling(s));
        if (seen.insert(words::spelling(s)).second && id > symbols_before) {
            EXPECT_GT(id, last) << words::spelling(s);
            last = id;
        }
    }
    for (int i = 0; i < words::WORD_COUNT; i++) {
        auto w = words::FixedWord(i);
        const Cell* cell = words::word(w);
        EXPECT_EQ(type_of(cell), TYPE_WORD);
        EXPECT_EQ(ctx_of(*cell), context::global());
        EXPECT_EQ(spelling_of(words::word_symbol(w)), words::spelling(w));
        EXPECT_EQ(context::find_symbol(context::global(), words::word_symbol(w), false), word::index_of(cell));
        if (seen.insert(words::spelling(w)).second && words::word_symbol(w) > symbols_before) {
            EXPECT_GT(words::word_symbol(w), last) << words::spelling(w);
            last = words::word_symbol(w);
        }
    }
    // A few spellings that must stay exactly as notifications use them.
    EXPECT_EQ(spelling_of(words::word_symbol(words::W_PUT_ED)), "put-ed");
    EXPECT_EQ(spelling_of(words::word_symbol(words::W_SWAPED)), "swaped");
    EXPECT_EQ(words::word_symbol(words::W_THROW), words::word_symbol(words::W_CAT_THROW));
    EXPECT_EQ(words::symbol(words::SYM_CODE), words::symbol(words::SYM_EVENT_CODE));
    EXPECT_EQ(words::word_symbol(words::W_HEAD), words::symbol(words::SYM_HEAD));
    EXPECT_TRUE(words::ready());
}

TEST_F(FixedWords, RefinementsAndTheIssue) {
    for (int i = 0; i < words::REFINEMENT_COUNT; i++) {
        auto r = words::FixedRefinement(i);
        const Cell* cell = words::refinement(r);
        EXPECT_EQ(type_of(cell), TYPE_REFINEMENT);
        EXPECT_EQ(cell->data1, 0u);
        EXPECT_EQ(spelling_of(word::symbol_of(cell)), words::spelling(r));
    }
    EXPECT_EQ(mold_text(*words::refinement(words::REF_PART)), "/part");
    EXPECT_EQ(root_block::length(), uint32_t(words::REFINEMENT_COUNT));

    const Cell* ooo = words::ooo_issue();
    EXPECT_EQ(type_of(ooo), TYPE_ISSUE);
    EXPECT_EQ(mold_text(*ooo), "#ooo");
    EXPECT_EQ(word::index_of(ooo), -1);
}

TEST_F(FixedWords, DatatypeNamesBecomeWords) {
    datatype::bind_names();
    for (uint32_t id = 1; id <= registry::highest_type(); id++) {
        const TypeNameEntry& entry = registry::type_name(id);
        if (!entry.name[0]) {
            EXPECT_EQ(entry.word, nullptr);
            continue;
        }
        ASSERT_NE(entry.word, nullptr) << entry.name;
        EXPECT_EQ(spelling_of(word::symbol_of(entry.word)), entry.name);
        EXPECT_EQ(ctx_of(*entry.word), context::global());
    }
    // A datatype registered later gets its word at once.
    RegistryTables saved = registry::tables();
    TypeSpec spec = make_type_spec(TYPE_TIME);
    install_datatype(TYPE_SPEC_WORDS, &spec);
    const Cell* time_word = registry::type_name(TYPE_TIME).word;
    ASSERT_NE(time_word, nullptr);
    EXPECT_EQ(spelling_of(word::symbol_of(time_word)), "time!");
    registry::tables() = saved;

    // Conversions read the recorded word.
    Cell word_type = datatype_cell(TYPE_WORD);
    open_call();
    Cell block_type = datatype_cell(TYPE_BLOCK);
    Cell* r = word_make(&word_type, stack::push(&block_type));
    EXPECT_EQ(type_of(r), TYPE_WORD);
    EXPECT_EQ(r->data2, registry::type_name(TYPE_BLOCK).word->data2);
}

TEST_F(FixedWords, SurviveCollectionsThatMoveNodes) {
    datatype::bind_names();
    // Garbage, then collections: the words keep naming the global context
    // and their slots, whatever the collector moved.
    for (int round = 0; round < 8; round++) {
        for (int i = 0; i < 2000; i++) block::make(4);
        qor::testing::collect_clean();
    }
    Node g = context::global();
    for (int i = 0; i < words::WORD_COUNT; i += 11) {
        const Cell* w = words::word(words::FixedWord(i));
        EXPECT_EQ(ctx_of(*w), g);
        EXPECT_EQ(spelling_of(word::symbol_of(w)), words::spelling(words::FixedWord(i)));
        EXPECT_EQ(type_of(context::get_word_value(w)), TYPE_UNSET);
    }
    EXPECT_EQ(ctx_of(*registry::type_name(TYPE_INTEGER).word), g);
}

}  // namespace
}  // namespace qor
