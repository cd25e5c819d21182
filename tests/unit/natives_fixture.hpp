// Set-up for the natives' tests: the runtime fixture, with every native
// word bound again to its native! over the real spec, read from the boot
// definitions by start-up's own code.  Results come back molded, errors as
// "category/id".  QOR_GC_STRESS applies.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "boot/payload.hpp"
#include "evaluator/natives.hpp"
#include "runtime_fixture.hpp"

namespace qor::test {

class NativesFixture : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        bind_natives();
    }

    // Every native word bound to its native! over the real spec, read from
    // the boot definitions by start-up's own code.
    void bind_natives() {
        Cell defs = payload::definitions();
        gc::CellRoot keep(&defs);
        EXPECT_EQ(payload::bind_natives(&defs), natives::NATIVE_COUNT);
    }

    // Evaluates source text loaded by the lexer; answers its value.  A throw
    // fails the test (and answers none); the stacks must come back as they
    // were.
    Cell run(const std::string& text) { return eval(text); }

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
    RaisedError run_error(const std::string& text) { return eval_error(text); }

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
