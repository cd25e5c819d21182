// Trace callbacks of the lexer (transcode/trace): the events sent, their
// arguments, the event filter read from the callback's body, and what the
// callback's answers do; and the full text of a syntax error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datatypes/error.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using test::molded;

// What the callback saw, one line per event: "event type line token".
std::vector<std::string> g_events;
// The answer per event word (default yes), and an input move for errors.
std::string g_refuse;        // events answered no, e.g. "prescan,error"
int32_t     g_error_move = 0;
bool        g_nested = false;   // each load event loads another text meanwhile
std::string g_nested_result;

std::string spelling(const Cell* w) {
    int32_t id = word::symbol_of(w);
    return std::string(reinterpret_cast<const char*>(symbol::spelling(id)), symbol::spelling_length(id));
}

void trace_hook(const Cell*, const Cell* args, uint32_t count, Cell* result) {
    EXPECT_EQ(count, 5u);
    std::string event = spelling(&args[0]);
    std::string type = type_of(&args[2]) == TYPE_DATATYPE ? test::arg_text({true, args[2], ""})
                     : is_any_word(type_of(&args[2])) ? spelling(&args[2])
                     : "none";
    std::string token = type_of(&args[4]) == TYPE_PAIR
        ? std::to_string(args[4].data2) + "-" + std::to_string(args[4].data3)
        : molded(args[4]);
    g_events.push_back(event + " " + type + " " + std::to_string(integer::get_value(&args[3])) + " " +
                       token + " @" + std::to_string(args[1].data1));
    if (g_nested && event == "load") {
        // A nested run starts on top of the outer run's values.
        g_nested = false;
        Cell inner = test::load_source("[x 1] \"y\" (z)");
        gc::CellRoot keep(&inner);
        gc::collect();
        g_nested_result = molded(inner, true);
        g_nested = true;
    }
    bool refuse = ("," + g_refuse + ",").find("," + event + ",") != std::string::npos;
    if (event == "error" && g_error_move) const_cast<Cell*>(args)[1].data1 += uint32_t(g_error_move);
    *result = Cell{TYPE_LOGIC, refuse ? 0u : 1u, 0, 0};
}

class LexerTrace : public test::ObjectFixture {
protected:
    void SetUp() override {
        ObjectFixture::SetUp();
        time::init();
        lexer::init();
        g_events.clear();
        g_refuse.clear();
        g_error_move = 0;
        g_nested = false;
        interp::set_call_hook(trace_hook);
    }
    // The hook would answer every later call from C++ in this process.
    void TearDown() override {
        interp::set_call_hook(nullptr);
        ObjectFixture::TearDown();
    }
    // transcode/trace with a callback whose body is `body`.
    std::string trace(const char* source, const char* body = "[true]") {
        Cell fn = test::make_function("[event input type line token]", body);
        gc::CellRoot keep(&fn);
        lexer::TranscodeOptions options;
        options.trace = &fn;
        Cell out = test::load_source(source, options);
        return molded(out, true);
    }
};

TEST_F(LexerTrace, EventsOfALoad) {
    EXPECT_EQ(trace("a [1] \"s\""), "a [1] \"s\"");
    std::vector<std::string> expected = {
        "prescan word! 1 1-2 @1", "scan word! 1 1-2 @1", "load word! 1 a @1",
        "prescan block 1 3-4 @2", "open block! 1 3-4 @2",
        "prescan integer! 1 4-5 @4", "scan integer! 1 4-5 @4", "load integer! 1 1 @4",
        "prescan block-end 1 5-6 @4", "close block! 1 5-6 @5",
        "prescan string! 1 7-10 @9", "scan string! 1 7-10 @9", "load string! 1 \"s\" @9",
    };
    EXPECT_EQ(g_events, expected);
}

TEST_F(LexerTrace, TheBodyFiltersEvents) {
    EXPECT_EQ(trace("x [y]", "[[open close] true]"), "x [y]");
    std::vector<std::string> expected = {"open block! 1 3-4 @2", "close block! 1 5-6 @5"};
    EXPECT_EQ(g_events, expected);
    g_events.clear();
    trace("; note\nz", "[[scan] true]");
    expected = {"scan comment! 1 1-7 @6", "scan word! 2 8-9 @8"};
    EXPECT_EQ(g_events, expected);
}

TEST_F(LexerTrace, AnswersSkipTokensAndValues) {
    g_refuse = "load";
    EXPECT_EQ(trace("a b", "[[load] false]"), "");
    g_refuse = "scan";
    EXPECT_EQ(trace("a 1", "[[scan] false]"), "");
    g_refuse = "prescan";
    EXPECT_EQ(trace("[a] \"b\" c", "[[prescan] false]"), "");
    g_refuse = "open,close";
    EXPECT_EQ(trace("(a) [b]", "[[open close] false]"), "a b");
}

// No to an error stops the run quietly with the values loaded so far; a
// callback that also moved its input goes on after the bad token.
TEST_F(LexerTrace, ErrorAnswers) {
    g_refuse = "error";
    EXPECT_EQ(trace("a b 1a c", "[[error] false]"), "a b");
    EXPECT_EQ(g_events.back(), "error integer! 1 5-6 @5");
    g_events.clear();
    EXPECT_EQ(trace("a [b 1a c] d", "[[error] false]"), "a");
    g_events.clear();
    g_error_move = 1;
    EXPECT_EQ(trace("a 1a c \\ d", "[[error] false]"), "a c d");
    EXPECT_EQ(g_events.size(), 2u);
    g_events.clear();
    g_error_move = 0;
    EXPECT_EQ(trace("[a", "[[error] false]"), "none");
    EXPECT_EQ(g_events.back().substr(0, 18), "error block! 1 1-3");
    // Yes raises the error.
    g_refuse.clear();
    RaisedError e = test::raised_by([&] { trace("1a", "[[error] true]"); });
    EXPECT_EQ(e.id, "invalid");
}

// A callback may run the lexer itself; both runs keep their values.
TEST_F(LexerTrace, NestedRuns) {
    g_nested = true;
    EXPECT_EQ(trace("[a [b \"c\"]] d", "[[load] true]"), "[a [b \"c\"]] d");
    g_nested = false;
    EXPECT_EQ(g_nested_result, "[x 1] \"y\" (z)");
}

// Brace strings and points are reported as one token each.
TEST_F(LexerTrace, BraceStringsAndPoints) {
    trace("{a {b}} x", "[[open close scan] true]");
    std::vector<std::string> expected = {
        "open string! 1 1-2 @0", "close string! 1 1-8 @7", "scan string! 1 1-8 @7", "scan word! 1 9-10 @9",
    };
    EXPECT_EQ(g_events, expected);
    g_events.clear();
    lexer::TranscodeOptions scan;
    scan.scan = true;
    Cell fn = test::make_function("[event input type line token]", "[[scan prescan] true]");
    gc::CellRoot keep(&fn);
    scan.trace = &fn;
    Cell src = string::from_utf8("(1, 2)");
    gc::CellRoot keep_src(&src);
    Cell out{TYPE_NONE, 0, 0, 0};
    lexer::transcode(&src, scan, &out);
    expected = {"prescan point2D! 1 1-7 @6", "scan point2D! 1 1-7 @6"};
    EXPECT_EQ(g_events, expected);
}

// The error value and its printed form.
TEST_F(LexerTrace, SyntaxErrorMessage) {
    struct Case {
        const char* source;
        const char* message;
    } cases[] = {
        {"a\n1''0", "*** Syntax Error: (line 2) invalid integer? at 1''0"},
        {"[a b", "*** Syntax Error: (line 1) missing ] at [a b"},
        {"#(foo)", "*** Syntax Error: (line 1) invalid construction spec at #(foo)"},
        {"x }", "*** Syntax Error: (line 1) invalid character at }"},
    };
    for (const Case& c : cases) {
        try {
            test::load_source(c.source);
            ADD_FAILURE() << "no error: " << c.source;
        } catch (const Thrown&) {
            Cell err = *errors::last_raised();
            gc::CellRoot keep(&err);
            ASSERT_EQ(type_of(&err), TYPE_ERROR);
            Cell out = string::make(64);
            gc::CellRoot keep_out(&out);
            dispatch::form(&err, &out, nullptr, 1 << 20);
            std::string text = string::to_utf8(&out);
            // A datatype argument is formed as datatype! values are.
            std::string expected = c.message;
            size_t mark = expected.find('?');
            if (mark != std::string::npos) {
                Cell dt{TYPE_DATATYPE, TYPE_INTEGER, 0, 0};
                expected.replace(mark - 7, 8, test::form_text(dt));
            }
            EXPECT_EQ(text.substr(0, text.find("\n")), expected) << c.source;
        }
    }
}

// Tracing a string costs work in proportion to its length: twice the words
// walk at most a little over twice the bytes to turn positions into
// character indexes (the walk was restarted from the input's start for every
// event).  The positions reported stay right, characters of two bytes too.
TEST_F(LexerTrace, TracingAStringIsLinear) {
    auto traced = [&](uint32_t words) {
        std::string source;
        for (uint32_t i = 0; i < words; i++) source += "\xc3\xa9" "a [b] ";  // 7 characters, 8 events
        g_events.clear();
        uint64_t before = lexer::position_steps();
        trace(source.c_str(), "[[prescan scan load] true]");
        uint64_t steps = lexer::position_steps() - before;
        // The last word's events: 1-based token positions, index at its end.
        uint32_t first = 7 * (words - 1) + 1;
        std::string span = std::to_string(first) + "-" + std::to_string(first + 2);
        std::string end = " @" + std::to_string(first + 1);
        std::vector<std::string> last(g_events.end() - 9, g_events.end());  // and the end
        std::vector<std::string> expected = {"prescan word! 1 " + span + end, "scan word! 1 " + span + end};
        EXPECT_EQ(std::vector<std::string>(last.begin(), last.begin() + 2), expected) << words;
        return steps;
    };
    uint64_t n = traced(1000), n2 = traced(2000);
    EXPECT_GT(n, 0u);
    EXPECT_LT(double(n2) / double(n), 2.5) << n << " then " << n2;
}

}  // namespace
}  // namespace qor
