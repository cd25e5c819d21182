// Shared set-up for the lexer tests: the word fixture's datatypes, symbols
// and global context, plus time! and the lexer; helpers that load source
// text and mold what it loaded, and that read back the syntax error a text
// raises.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "datatypes/file_seam.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/point.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/time.hpp"
#include "evaluator/lexer.hpp"
#include "word_fixture.hpp"

namespace qor::test {

class LexerFixture : public WordFixture {
protected:
    void SetUp() override {
        WordFixture::SetUp();
        time::init();
        file_seam::init();
        pair::init();
        percent::init();
        point::init2d();
        point::init3d();
        lexer::init();
    }
};

// The values loaded from UTF-8 text, as a block.
inline Cell load_text(const std::string& source, lexer::TranscodeOptions options = {}) {
    Cell src = string::from_utf8(source.data(), source.size());
    gc::CellRoot keep(&src);
    Cell result{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_result(&result);
    lexer::transcode(&src, options, &result);
    return result;
}

// A value molded (with `only`, a block without its brackets).
inline std::string molded(Cell value, bool only = false, bool all = false) {
    Cell out = string::make(16);
    gc::CellRoot keep(&out), keep_value(&value);
    dispatch::mold(&value, &out, only, all, false, nullptr, 1 << 30, 0);
    return string::to_utf8(&out);
}

// What a text loads as, molded (the block's values without brackets).
inline std::string loaded(const std::string& source) {
    Cell b = load_text(source);
    gc::CellRoot keep(&b);
    return molded(b, true);
}

// The spelling of an error argument: a string's text, a datatype's name.
inline std::string arg_text(const RaisedError::Arg& a) {
    if (!a.given) return "-";
    if (!a.word.empty()) return a.word;
    if (type_of(&a.value) == TYPE_DATATYPE) {
        // By id: some of the named types are not registered in these tests.
        return a.value.data1 >= 1 && a.value.data1 <= uint32_t(TYPE_COUNT) ? TYPE_NAMES[a.value.data1] : "?";
    }
    if (is_any_string(type_of(&a.value))) return string::to_utf8(&a.value);
    return "?";
}

// "id arg2 @ arg3" of the syntax error a text raises (the position text
// is checked apart), or "no error".
inline std::string load_error(const std::string& source, std::string* position = nullptr) {
    try {
        load_text(source);
    } catch (const Thrown& t) {
        EXPECT_EQ(t.code, THROW_ERROR);
        const RaisedError& e = last_raised_error();
        EXPECT_EQ(e.category, "syntax");
        if (position) *position = arg_text(e.args[0]);
        if (e.id == "invalid" || e.id == "missing")
            return e.id + " " + arg_text(e.args[1]) + " @ " + arg_text(e.args[2]);
        return e.id + " @ " + arg_text(e.args[1]);
    }
    return "no error";
}

}  // namespace qor::test
