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

    // The natives bound by these tests, with their specs.
    void bind_natives() {
        static const char* const specs[][2] = {
            // Control flow.
            {"if", R"~("If conditional expression is truthy, evaluate block; else return NONE"
                      cond [any-type!] then-blk [block!])~"},
            {"unless", R"~("If conditional expression is falsy, evaluate block; else return NONE"
                          cond [any-type!] then-blk [block!])~"},
            {"either", R"~("If conditional expression is truthy, evaluate the first branch; else evaluate the alternative"
                          cond [any-type!] true-blk [block!] false-blk [block!])~"},
            {"any", R"~("Evaluates and returns the first truthy value, if any; else NONE" conds [block!])~"},
            {"all", R"~("Evaluates and returns the last value if all are truthy; else NONE" conds [block!])~"},
            {"while", R"~("Evaluates body as long as condition block evaluates to truthy value"
                         cond [block!] body [block!])~"},
            {"until", R"~("Evaluates body until it is truthy" body [block!])~"},
            {"loop", R"~("Evaluates body a number of times" count [integer! float!] body [block!])~"},
            {"repeat", R"~("Evaluates body a number of times, tracking iteration count"
                          'word [word!] value [integer! float!] body [block!])~"},
            {"forever", R"~("Evaluates body repeatedly forever" body [block!])~"},
            {"foreach", R"~("Evaluates body for each value in a series"
                           'word [word! block!] series [series! map!] body [block!])~"},
            {"forall", R"~("Evaluates body for all values in a series" 'word [word!] body [block!])~"},
            {"remove-each", R"~("Removes values for each block that returns truthy value"
                               'word [word! block!] data [series!] body [block!])~"},
            {"switch", R"~("Evaluates the first block following the value found in cases"
                          value [any-type!] cases [block!] /default case [block!])~"},
            {"case", R"~("Evaluates the block following the first truthy condition" cases [block!] /all)~"},
            {"do", R"~("Evaluates a value, returning the last evaluation result"
                      value [any-type!] /expand /args arg /next position [word!] /trace callback [function!])~"},
            {"reduce", R"~("Returns a copy of a block, evaluating all expressions"
                          value [any-type!] /into "Put results in out block, instead of creating a new block"
                          out [any-block!])~"},
            {"compose", R"~("Returns a copy of a block, evaluating only parens" value [block!]
                           /deep "Compose nested blocks"
                           /only "Compose nested blocks as blocks containing their values"
                           /into "Put results in out block, instead of creating a new block"
                           out [any-block!])~"},
            {"try", R"~("Tries to DO a block and returns its value or an error" block [block!] /all /keep)~"},
            {"catch", R"~("Catches a throw from a block and returns its value"
                         block [block!] /name word [word! block!])~"},
            {"throw", R"~("Throws control back to a previous catch" value [any-type!] /name word [word!])~"},
            {"break", R"~("Breaks out of a loop, while, until, repeat, foreach, etc" /return value [any-type!])~"},
            {"continue", R"~("Throws control back to top of loop")~"},
            {"exit", R"~("Exits a function, returning no value")~"},
            {"return", R"~("Returns a value from a function" value [any-type!])~"},
            // Function makers.
            {"func", R"~("Defines a function with a given spec and body" spec [block!] body [block!])~"},
            {"function", R"~("Defines a function, making all set-words found in body, local"
                            spec [block!] body [block!] /extern "Exclude words that follow this refinement")~"},
            {"does", R"~("Defines a function with no arguments or local variables" body [block!])~"},
            {"has", R"~("Defines a function with local variables, but no arguments" vars [block!] body [block!])~"},
            // Words, contexts and values.
            {"get", R"~("Returns the value a word refers to" word [any-word! any-path! object!] /any /case
                       return: [any-type!])~"},
            {"set", R"~("Sets the value(s) one or more words refer to" word [any-word! block! object! any-path!]
                       value [any-type!] /any /case /only /some return: [any-type!])~"},
            {"value?", R"~("Returns TRUE if the word has a value" value [word!])~"},
            {"unset", R"~("Unsets the value of a word in its current context" word [word! block!])~"},
            {"bind", R"~("Bind words to a context; returns rebound words" word [block! any-word!]
                        context [any-word! any-object! function!] /copy)~"},
            {"in", R"~("Returns the given word bound to the object's context" object [any-object! any-function!]
                      word [any-word! refinement!])~"},
            {"context?", R"~("Returns the context to which a word is bound" word [any-word!])~"},
            {"construct", R"~("Makes a new object from an unevaluated spec; standard logic words are evaluated"
                             block [block!] /with object [object!] /only)~"},
            {"extend", R"~("Extend an object or map value with list of key and value pairs"
                          obj [object! map!] spec [block! hash! map!] /case)~"},
            {"apply", R"~("Apply a function to a reduced block of arguments" func [word! path! any-function!]
                         args [block!] /all /safer)~"},
            {"type?", R"~("Returns the datatype of a value" value [any-type!] /word)~"},
            {"same?", R"~("Returns TRUE if two values have the same identity" value1 [any-type!] value2 [any-type!])~"},
            {"not", R"~("Returns the logical complement of a value (truthy or falsy)" value [any-type!])~"},
            {"equal?", R"~("Returns TRUE if two values are equal" value1 [any-type!] value2 [any-type!])~"},
            {"not-equal?", R"~("Returns TRUE if two values are not equal" value1 [any-type!] value2 [any-type!])~"},
            {"strict-equal?", R"~("Returns TRUE if two values are equal, and also the same datatype"
                                 value1 [any-type!] value2 [any-type!])~"},
            {"lesser?", R"~("Returns TRUE if the first value is less than the second"
                           value1 [any-type!] value2 [any-type!])~"},
            {"greater?", R"~("Returns TRUE if the first value is greater than the second"
                            value1 [any-type!] value2 [any-type!])~"},
            {"lesser-or-equal?", R"~("Returns TRUE if the first value is less than or equal to the second"
                                    value1 [any-type!] value2 [any-type!])~"},
            {"greater-or-equal?", R"~("Returns TRUE if the first value is greater than or equal to the second"
                                     value1 [any-type!] value2 [any-type!])~"},
            // Set operations.
            {"unique", R"~("Returns the data set with duplicates removed" set [block! hash! string!]
                          /case /skip size [integer!] return: [block! hash! string!])~"},
            {"union", R"~("Returns the union of two data sets" set1 [block! hash! string! bitset! typeset!]
                         set2 [block! hash! string! bitset! typeset!] /case /skip size [integer!])~"},
            {"intersect", R"~("Returns the intersection of two data sets" set1 [block! hash! string! bitset! typeset!]
                             set2 [block! hash! string! bitset! typeset!] /case /skip size [integer!])~"},
            {"exclude", R"~("Returns the first data set less the second data set"
                           set1 [block! hash! string! bitset! typeset!] set2 [block! hash! string! bitset! typeset!]
                           /case /skip size [integer!])~"},
            {"difference", R"~("Returns the special difference of two data sets"
                              set1 [block! hash! string! bitset! typeset! date!]
                              set2 [block! hash! string! bitset! typeset! date!] /case /skip size [integer!]
                              return: [block! hash! string! bitset! typeset! time!])~"},
            {"complement?", R"~("Returns TRUE if the bitset is complemented" bits [bitset!])~"},
            // Math.
            {"sine", R"~("Returns the trigonometric sine" angle [float! integer!] /radians return: [float!])~"},
            {"cosine", R"~("Returns the trigonometric cosine" angle [float! integer!] /radians return: [float!])~"},
            {"tangent", R"~("Returns the trigonometric tangent" angle [float! integer!] /radians return: [float!])~"},
            {"arcsine", R"~("Returns the trigonometric arcsine in degrees in range [-90,90]"
                           sine [float! integer!] "in range [-1,1]" /radians)~"},
            {"arccosine", R"~("Returns the trigonometric arccosine in degrees in range [0,180]"
                             cosine [float! integer!] "in range [-1,1]" /radians)~"},
            {"arctangent", R"~("Returns the trigonometric arctangent in degrees in range [-90,90]"
                              tangent [float! integer!] "in range [-inf,+inf]" /radians)~"},
            {"arctangent2", R"~("Returns the smallest angle between the vectors (1,0) and (x,y) in degrees (-180,180]"
                               y [float! integer!] x [float! integer!] /radians)~"},
            {"log-2", R"~("Return the base-2 logarithm" value [float! integer! percent!] return: [float!])~"},
            {"log-10", R"~("Returns the base-10 logarithm" value [float! integer! percent!] return: [float!])~"},
            {"log-e", R"~("Returns the natural (base-E) logarithm of the given value"
                         value [float! integer! percent!] return: [float!])~"},
            {"exp", R"~("Raises E (the base of natural logarithm) to the power specified"
                       value [float! integer! percent!] return: [float!])~"},
            {"square-root", R"~("Returns the square root of a number" value [float! integer! percent!] return: [float!])~"},
            {"negative?", R"~("Returns TRUE if the number is negative" number [number! money! time!] return: [logic!])~"},
            {"positive?", R"~("Returns TRUE if the number is positive" number [number! money! time!] return: [logic!])~"},
            {"sign?", R"~("Returns sign of N as 1, 0, or -1 (to use as a multiplier)"
                        number [number! money! time!] return: [integer!])~"},
            {"zero?", R"~("Returns TRUE if the value is zero"
                        value [number! money! pair! time! char! tuple! any-point!] return: [logic!])~"},
            {"NaN?", R"~("Returns TRUE if the number is Not-a-Number" value [number!] return: [logic!])~"},
            {"max", R"~("Returns the greater of the two values" value1 [scalar! series!] value2 [scalar! series!])~"},
            {"min", R"~("Returns the lesser of the two values" value1 [scalar! series!] value2 [scalar! series!])~"},
            {"shift", R"~("Perform a bit shift operation. Right shift (decreasing) by default"
                         data [integer!] bits [integer!] /left /logical return: [integer!])~"},
            {"to-hex", R"~("Converts numeric value to a hex issue! datatype (with leading # and 0's)"
                          value [integer!] /size length [integer!] return: [issue!])~"},
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
