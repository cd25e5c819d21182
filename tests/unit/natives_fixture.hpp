// Shared set-up for the natives' tests: the evaluator fixture (datatypes,
// catalog, stacks, a test vocabulary of actions and operators), plus time!,
// the lexer and the natives table with real native! values bound to their
// words.  Source text is loaded by the lexer and evaluated by the
// interpreter; results come back molded, errors as "category/id".
//
// Each native gets its spec from the table in bind_natives() below; a native
// whose spec is listed there replaces the evaluator fixture's stand-in of
// the same name.  Add a line when a native is implemented.
// QOR_GC_STRESS applies.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "datatypes/time.hpp"
#include "eval_support.hpp"
#include "evaluator/lexer.hpp"
#include "evaluator/natives.hpp"

namespace qor::test {

// The native words in table order (index = position + 1).  ORDER NATIVES
inline const char* const NATIVE_NAMES[] = {
    "if", "unless", "either", "any", "all", "while", "until", "loop", "repeat", "forever",
    "foreach", "forall", "remove-each", "func", "function", "does", "has", "switch", "case", "do",
    "get", "set", "print", "prin", "equal?", "not-equal?", "strict-equal?", "lesser?", "greater?",
    "lesser-or-equal?", "greater-or-equal?", "same?", "not", "type?", "reduce", "compose", "stats",
    "bind", "in", "parse", "union", "intersect", "unique", "difference", "exclude", "complement?",
    "dehex", "enhex", "negative?", "positive?", "max", "min", "shift", "to-hex", "sine", "cosine",
    "tangent", "arcsine", "arccosine", "arctangent", "arctangent2", "NaN?", "log-2", "log-10",
    "log-e", "exp", "square-root", "construct", "value?", "try", "uppercase", "lowercase",
    "as-pair", "as-point2D", "as-point3D", "as-money", "break", "continue", "exit", "return",
    "throw", "catch", "extend", "debase", "to-local-file", "wait", "checksum", "unset", "new-line",
    "new-line?", "enbase", "context?", "set-env", "get-env", "list-env", "now", "sign?", "as",
    "call", "zero?", "size?", "browse", "compress", "decompress", "recycle", "transcode", "apply",
};
static_assert(sizeof(NATIVE_NAMES) / sizeof(NATIVE_NAMES[0]) == natives::NATIVE_COUNT);

inline uint32_t native_index(const char* name) {
    for (uint32_t i = 0; i < natives::NATIVE_COUNT; i++)
        if (std::string(NATIVE_NAMES[i]) == name) return i + 1;
    ADD_FAILURE() << "no native named " << name;
    return 0;
}

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
        set_global("any-string!", typeset_of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF}));
        set_global("any-word!", typeset_of({TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD}));
        set_global("any-function!", typeset_of({TYPE_NATIVE, TYPE_ACTION, TYPE_OP, TYPE_FUNCTION, TYPE_ROUTINE}));
        set_global("number!", typeset_of({TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT}));
    }

    // The natives bound by these tests, with their specs.
    void bind_natives() {
        static const char* const specs[][2] = {
            // Control flow.
            {"if", R"("If conditional expression is truthy, evaluate block; else return NONE"
                      cond [any-type!] then-blk [block!])"},
            {"unless", R"("If conditional expression is falsy, evaluate block; else return NONE"
                          cond [any-type!] then-blk [block!])"},
            {"either", R"("If conditional expression is truthy, evaluate the first branch; else evaluate the alternative"
                          cond [any-type!] true-blk [block!] false-blk [block!])"},
            {"any", R"("Evaluates and returns the first truthy value, if any; else NONE" conds [block!])"},
            {"all", R"("Evaluates and returns the last value if all are truthy; else NONE" conds [block!])"},
            {"while", R"("Evaluates body as long as condition block evaluates to truthy value"
                         cond [block!] body [block!])"},
            {"until", R"("Evaluates body until it is truthy" body [block!])"},
            {"loop", R"("Evaluates body a number of times" count [integer! float!] body [block!])"},
            {"repeat", R"("Evaluates body a number of times, tracking iteration count"
                          'word [word!] value [integer! float!] body [block!])"},
            {"forever", R"("Evaluates body repeatedly forever" body [block!])"},
            {"foreach", R"("Evaluates body for each value in a series"
                           'word [word! block!] series [series! map!] body [block!])"},
            {"forall", R"("Evaluates body for all values in a series" 'word [word!] body [block!])"},
            {"remove-each", R"("Removes values for each block that returns truthy value"
                               'word [word! block!] data [series!] body [block!])"},
            {"switch", R"("Evaluates the first block following the value found in cases"
                          value [any-type!] cases [block!] /default case [block!])"},
            {"case", R"("Evaluates the block following the first truthy condition" cases [block!] /all)"},
            {"do", R"("Evaluates a value, returning the last evaluation result"
                      value [any-type!] /expand /args arg /next position [word!] /trace callback [function!])"},
            {"reduce", R"("Returns a copy of a block, evaluating all expressions"
                          value [any-type!] /into "Put results in out block, instead of creating a new block"
                          out [any-block!])"},
            {"compose", R"("Returns a copy of a block, evaluating only parens" value [block!]
                           /deep "Compose nested blocks"
                           /only "Compose nested blocks as blocks containing their values"
                           /into "Put results in out block, instead of creating a new block"
                           out [any-block!])"},
            {"try", R"("Tries to DO a block and returns its value or an error" block [block!] /all /keep)"},
            {"catch", R"("Catches a throw from a block and returns its value"
                         block [block!] /name word [word! block!])"},
            {"throw", R"("Throws control back to a previous catch" value [any-type!] /name word [word!])"},
            {"break", R"("Breaks out of a loop, while, until, repeat, foreach, etc" /return value [any-type!])"},
            {"continue", R"("Throws control back to top of loop")"},
            {"exit", R"("Exits a function, returning no value")"},
            {"return", R"("Returns a value from a function" value [any-type!])"},
            // Function makers.
            {"func", R"("Defines a function with a given spec and body" spec [block!] body [block!])"},
            {"function", R"("Defines a function, making all set-words found in body, local"
                            spec [block!] body [block!] /extern "Exclude words that follow this refinement")"},
            {"does", R"("Defines a function with no arguments or local variables" body [block!])"},
            {"has", R"("Defines a function with local variables, but no arguments" vars [block!] body [block!])"},
        };
        for (const auto& s : specs) bind_native(s[0], s[1]);
    }

    // Binds the word to a native! of its table index over the spec text.
    void bind_native(const char* name, const char* spec_text) {
        Cell spec = load_source(spec_text);
        gc::CellRoot keep(&spec);
        Cell v{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_v(&v);
        native::init_native(&v, &spec, native_index(name));
        context::set_global_value(symbol::intern(name), &v);
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
        return molded(result);
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
