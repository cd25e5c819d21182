// Shared set-up for the context, word and fixed-word tests: the block
// fixture's datatypes and argument stack, plus context! and the word kinds,
// the root block and the global context.  QOR_GC_STRESS applies.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "block_support.hpp"
#include "datatypes/context.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "evaluator/lexer.hpp"
#include "datatypes/fixed_words.hpp"
#include "datatypes/root_block.hpp"

namespace qor::test {

class WordFixture : public BlockFixture {
protected:
    void SetUp() override {
        BlockFixture::SetUp();
        context::init();
        word::init();
        issue::init();
        root_block::make();
        context::make_global();
        eval_links::get().scan_token_type = lexer::scan_token_type;
    }
    void TearDown() override {
        datatype::unbind_names();
        words::reset();
        eval_links::get().load_value_from_string = nullptr;
        eval_links::get().scan_token_type = nullptr;
        context::set_on_change_hook(nullptr);
        root_block::set_collecting(false);
        BlockFixture::TearDown();
    }
};

inline int32_t sym(const char* spelling) { return symbol::intern(spelling); }

// A word of the given kind bound to nothing (slot -1, context 0).
inline Cell loose_word(const char* spelling, uint32_t type = TYPE_WORD) {
    return Cell{type, 0, uint32_t(sym(spelling)), 0xFFFFFFFFu};
}

// The global word of a spelling (added when absent), as a value.
inline Cell global_word(const char* spelling, uint32_t type = TYPE_WORD) {
    Cell w = *word::make_from_c_string(spelling);
    w.header = type;
    return w;
}

inline Node ctx_of(const Cell& word) { return word::context_of(&word); }

// The text of a symbol.
inline std::string spelling_of(int32_t id) {
    return std::string(reinterpret_cast<const char*>(symbol::spelling(id)), symbol::spelling_length(id));
}

// A stand-in loader for conversions from text: one token, read with the
// scan seam; words of every kind come out bound to the global context,
// integers as integer!, and anything else (or more than one token) as none.
inline Cell* fake_load(Cell* text) {
    static Cell result;
    std::string s = string::to_utf8(text);
    uint32_t type = lexer::scan_token_type(s.data(), uint32_t(s.size()));
    if (s.find(' ') != std::string::npos) type = 0;
    if (type == TYPE_INTEGER) {
        result = integer::make(std::atoi(s.c_str()));
    } else if (is_word_kind(type)) {
        std::string name = s;
        if (type == TYPE_SET_WORD) name.pop_back();
        else if (type != TYPE_WORD) name.erase(0, 1);
        result = global_word(name.c_str(), type);
    } else {
        result = Cell{TYPE_NONE, 0, 0, 0};
    }
    return &result;
}

}  // namespace qor::test
