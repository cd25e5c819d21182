// Source text loaded by the lexer and evaluated.
#include "datatypes/time.hpp"
#include "runtime_fixture.hpp"
#include "evaluator/lexer.hpp"

namespace qor {
namespace {

using namespace test;

class EvalText : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        time::init();
        lexer::init();
    }
    // Loads the text with the lexer and evaluates it; answers the value.
    Cell run(const char* text) {
        Cell src = string::from_utf8(text);
        gc::CellRoot keep(&src);
        Cell code{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_code(&code);
        lexer::transcode(&src, lexer::TranscodeOptions{}, &code);
        EXPECT_EQ(type_of(&code), TYPE_BLOCK) << text;
        stack::Checkpoint cp = stack::checkpoint();
        Cell result{TYPE_NONE, 0, 0, 0};
        try {
            interp::eval_block(&code, false);
            result = *stack::top_value();
        } catch (const Thrown&) {
            const RaisedError& e = last_raised_error();
            ADD_FAILURE() << text << ": " << e.category << "/" << e.id;
        }
        stack::restore(cp);
        return result;
    }
    std::string run_molded(const char* text) { return molded(run(text)); }
};

TEST_F(EvalText, ExpressionsFromText) {
    struct Case {
        const char* code;
        const char* molded;
    } cases[] = {
        {"1 + 2 * 3", "9"},
        {"2 * (1 + 2)", "6"},
        {"a: b: 10 a + b", "20"},
        {"'a/b", "a/b"},
        {"'foo", "foo"},
        {"b: [1 2 3] b/(1 + 1)", "2"},
        {"b: [1 2 3] b/2: 20 b", "[1 20 3]"},
        {"#system", "#system"},
        {"1.5 + 1", "2.5"},
        {"x: [a [b 5]] x/a/b", "5"},
        {"[]", "[]"},
        {"do []", "unset"},
    };
    for (const Case& c : cases) {
        Cell r = run(c.code);
        if (std::string(c.molded) == "unset") {
            EXPECT_EQ(type_of(&r), TYPE_UNSET) << c.code;
        } else {
            EXPECT_EQ(molded(r), c.molded) << c.code;
        }
    }
}

TEST_F(EvalText, AScriptWithFunctionsAndLoops) {
    const char* script = R"(
        fib: func [n] [
            if n < 2 [return n]
            (fib n - 1) + fib n - 2
        ]
        total: 0
        loop 10 [total: total + 1]
        collect: func [n /twice /local out] [
            out: copy []
            loop n [append out either-twice twice]
            out
        ]
        either-twice: func [t] [if t [return 2] 1]
        reduce-all: copy []
        append reduce-all fib 12
        append reduce-all total
        append/only reduce-all collect/twice 2
        append/only reduce-all collect 1
        reduce-all
    )";
    EXPECT_EQ(run_molded(script), "[144 10 [2 2] [1]]");
}

TEST_F(EvalText, ErrorsFromText) {
    struct Case {
        const char* code;
        const char* id;
    } cases[] = {
        {"x:", "need-value"},
        {"x: ()", "need-value"},
        {"+ 1 2", "no-op-arg"},
        {"#system [x]", "qor-system"},
        {"append/only/only [] 1", "dup-refine"},
        {"append/foo [] 1", "no-refine"},
        {"unset-word-here", "no-value"},
        {"no-such-word/1", "unset-path"},
    };
    for (const Case& c : cases) {
        Cell src = string::from_utf8(c.code);
        gc::CellRoot keep(&src);
        Cell code{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_code(&code);
        lexer::transcode(&src, lexer::TranscodeOptions{}, &code);
        stack::Checkpoint cp = stack::checkpoint();
        try {
            interp::eval_block(&code, false);
            ADD_FAILURE() << c.code;
        } catch (const Thrown& t) {
            EXPECT_EQ(t.code, THROW_ERROR);
            EXPECT_EQ(last_raised_error().id, c.id) << c.code;
        }
        stack::restore(cp);
    }
}

}  // namespace
}  // namespace qor
