// Shared set-up for the natives' tests: the evaluator fixture (datatypes,
// catalog, stacks, a test vocabulary of actions and operators), plus time!,
// the lexer and the natives table with real native! values bound to their
// words.  Source text is loaded by the lexer and evaluated by the
// interpreter; results come back molded, errors as "category/id".
//
// Every native gets its spec from boot/natives.qor, as at start-up, and
// replaces the evaluator fixture's stand-in of the same name.
// QOR_GC_STRESS applies.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "boot/payload.hpp"
#include "datatypes/time.hpp"
#include "eval_support.hpp"
#include "evaluator/lexer.hpp"
#include "evaluator/natives.hpp"

namespace qor::test {

// The values loaded from UTF-8 text by the lexer, as a block.
inline Cell load_source(const std::string& source) {
    Cell src = string::from_utf8(source.data(), source.size());
    gc::CellRoot keep(&src);
    Cell result{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_result(&result);
    lexer::transcode(&src, lexer::TranscodeOptions{}, &result);
    return result;
}

// A typeset! of the type ids.
inline Cell typeset_of(std::initializer_list<uint32_t> types) {
    Cell ts{TYPE_TYPESET, 0, 0, 0};
    for (uint32_t t : types) typeset_set_bit(&ts, t);
    return ts;
}

class NativesFixture : public EvalFixture {
protected:
    void SetUp() override {
        EvalFixture::SetUp();
        time::init();
        {   // time! registers after the base fixture named the datatypes
            Cell dt{TYPE_DATATYPE, TYPE_TIME, 0, 0};
            context::set_global_value(symbol::intern("time!"), &dt);
        }
        lexer::init();
        natives::init();
        define_typesets();
        bind_natives();
    }

    // The named typesets that native specs use.
    void define_typesets() {
        set_global("series!", typeset_of({TYPE_BLOCK, TYPE_PAREN, TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_PATH,
                                          TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH, TYPE_VECTOR, TYPE_HASH,
                                          TYPE_BINARY, TYPE_TAG, TYPE_EMAIL, TYPE_REF, TYPE_IMAGE}));
        set_global("any-block!", typeset_of({TYPE_BLOCK, TYPE_PAREN, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH,
                                             TYPE_GET_PATH, TYPE_HASH}));
        set_global("any-list!", typeset_of({TYPE_BLOCK, TYPE_PAREN, TYPE_HASH}));
        set_global("any-string!", typeset_of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF}));
        set_global("any-word!", typeset_of({TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD}));
        set_global("any-function!", typeset_of({TYPE_NATIVE, TYPE_ACTION, TYPE_OP, TYPE_FUNCTION, TYPE_ROUTINE}));
        set_global("number!", typeset_of({TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT}));
        set_global("any-path!", typeset_of({TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH}));
        set_global("any-object!", typeset_of({TYPE_OBJECT, TYPE_ERROR, TYPE_PORT}));
        set_global("any-point!", typeset_of({TYPE_POINT2D, TYPE_POINT3D}));
        set_global("scalar!", typeset_of({TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT, TYPE_POINT2D, TYPE_POINT3D,
                                          TYPE_MONEY, TYPE_CHAR, TYPE_PAIR, TYPE_TUPLE, TYPE_TIME, TYPE_DATE}));
    }

    // Every native word bound to its native! over the real spec, read from
    // the boot definitions by start-up's own code.
    void bind_natives() {
        Cell defs = payload::definitions();
        gc::CellRoot keep(&defs);
        EXPECT_EQ(payload::bind_natives(&defs), natives::NATIVE_COUNT);
    }

    void set_global(const char* name, Cell value) { context::set_global_value(symbol::intern(name), &value); }

    // Evaluates source text loaded by the lexer; answers its value.  A throw
    // fails the test (and answers none); the stacks must come back as they
    // were.
    Cell run(const std::string& text) {
        Cell code = load_source(text);
        gc::CellRoot keep(&code);
        stack::Checkpoint cp = stack::checkpoint();
        try {
            interp::eval_block(&code, false);
        } catch (const Thrown& t) {
            stack::restore(cp);
            const RaisedError& e = last_raised_error();
            ADD_FAILURE() << text << ": throw " << std::hex << t.code << std::dec << " " << e.category << "/"
                          << e.id << " " << arg_spelling(e, 0);
            return Cell{TYPE_NONE, 0, 0, 0};
        }
        Cell result = *stack::top_value();
        EXPECT_EQ(stack::state.top, cp.top + 1) << text;
        EXPECT_EQ(stack::state.frames_top, cp.frames_top) << text;
        stack::restore(cp);
        return result;
    }

    // The value of the text molded; a raised error reads "error category/id",
    // any other throw "throw <code in hex>".
    std::string run_mold(const std::string& text) {
        Cell code = load_source(text);
        gc::CellRoot keep(&code);
        stack::Checkpoint cp = stack::checkpoint();
        try {
            interp::eval_block(&code, false);
        } catch (const Thrown& t) {
            stack::restore(cp);
            if (t.code == THROW_ERROR) {
                const RaisedError& e = last_raised_error();
                return "error " + e.category + "/" + e.id;
            }
            char hex[16];
            std::snprintf(hex, sizeof hex, "%x", t.code);
            return std::string("throw ") + hex;
        }
        Cell result = *stack::top_value();
        EXPECT_EQ(stack::state.top, cp.top + 1) << text;
        EXPECT_EQ(stack::state.frames_top, cp.frames_top) << text;
        stack::restore(cp);
        if (type_of(&result) == TYPE_UNSET) return "unset";
        if (type_of(&result) == TYPE_ERROR) {
            Cell type = *error::field(&result, ERR_TYPE), id = *error::field(&result, ERR_ID);
            return "error! " + spelling_of(int32_t(type.data2)) + "/" + spelling_of(int32_t(id.data2));
        }
        try {
            return molded(result);
        } catch (const Thrown&) {
            return "(no mold for " + std::to_string(type_of(&result)) + ")";
        }
    }

    // Source text that must raise a language error: what was raised.
    RaisedError run_error(const std::string& text) {
        Cell code = load_source(text);
        gc::CellRoot keep(&code);
        stack::Checkpoint cp = stack::checkpoint();
        try {
            interp::eval_block(&code, false);
        } catch (const Thrown& t) {
            EXPECT_EQ(t.code, THROW_ERROR) << text;
            stack::restore(cp);
            return last_raised_error();
        }
        stack::restore(cp);
        ADD_FAILURE() << "no error raised by " << text;
        return RaisedError{};
    }

    // A table of cases: each text must give the expected molded value (or
    // "error category/id", "unset", "error! type/id" as run_mold writes them).
    struct Case {
        const char* text;
        const char* expected;
    };
    void expect_cases(std::initializer_list<Case> cases) {
        for (const Case& c : cases) EXPECT_EQ(run_mold(c.text), c.expected) << c.text;
    }
};

}  // namespace qor::test
