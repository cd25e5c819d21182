// Random programs through both of the interpreter's paths.  Each program is
// drawn from a small grammar of what scripts do (calls with refinements,
// operators, branches, loops and their exits, parens, set-words and
// set-paths, functions and methods, series changed under the code that
// runs them, errors caught or not) and must show the same on both paths;
// under the sanitizers, none may fault.
//
// QOR_FUZZ_CASES sets how many programs run (CI runs a few hundred),
// QOR_FUZZ_SEED the first seed; a disagreement names its seed, and
// QOR_FUZZ_CASES=1 QOR_FUZZ_SEED=n runs that one again; QOR_FUZZ_PRINT
// prints each program before it runs and what it showed.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "paths_compare.hpp"
#include "random_cases.hpp"

namespace qor {
namespace {

using namespace test;

// Counts one more level of something around the code being written while
// it lives.
struct Inside {
    int& depth;
    explicit Inside(int& d) : depth(d) { depth++; }
    ~Inside() { depth--; }
};

// Programs are bounded: loops run a few times, each while has a counter of
// its own that only rises, and a function calls only those made before it,
// so no program recurses without end or runs long.
class ProgramWriter {
public:
    explicit ProgramWriter(uint32_t seed) : d_(seed) {}

    // Functions and an object whose bodies are drawn too, the data block,
    // the while counters.
    std::string setup() {
        std::string s = "x: 1 y: 2.5 s: \"abc\" b: [1 2 3 x] c: [1 \"c\"] cb: [] k1: k2: k3: k4: 0 "
                        "cs: charset \"ab\" log: copy [] "
                        "w2: object [n: 0 on-change*: func [w old new] [append log reduce [w old new]]] ";
        in_function_ = true;
        level_ = 1;
        s += "f1: func [a] [" + statements(2, 2) + "] ";
        level_ = 2;
        s += "f2: func [a b /r c] [" + statements(2, 2) + "] ";
        level_ = 3;
        s += "o: object [n: 1 m: func [a /r c] [" + statements(2, 2) + "]] ";
        level_ = 4;
        in_function_ = false;
        return s;
    }

    std::string program() { return statements(3, 4); }

private:
    Draw d_;
    int level_ = 0;        // functions callable: f1 from 2, f2 from 3, o/m from 4
    int counters_ = 0;     // while counters handed out
    bool in_code_block_ = false;
    int searching_ = 0;              // a to or thru around the parse rule being written
    int over_b_ = 0;                 // foreach loops over b around it
    int loops_ = 0;                  // loops around the code being written
    bool in_function_ = false;       // a function's body is being written

    std::string statements(int depth, int most) {
        std::string s;
        for (int n = 1 + int(d_.below(uint32_t(most))); n > 0; n--) s += expression(depth) + " ";
        return s;
    }

    std::string block(int depth) { return "[" + statements(depth, 3) + "]"; }
    std::string loop_body(int depth) {
        Inside loop(loops_);
        return block(depth);
    }

    // Mostly numbers, which most operators and counts take; the rest any kind
    // but time!, whose negative values mold one character over the limit
    // they report (the sign is not counted), which the molding check of
    // the fixture would take for a fault.
    std::string atom() {
        static const char* const numbers[] = {"0", "1", "2", "3", "-1", "7", "0.5", "-0.0", "x", "y", "o/n"};
        static const char* const others[] = {
            "2147483647", "-2147483648", "1e308", "\"ab\"", "\"\"", "#\"a\"", "none", "true", "false",
            "'x", ":x", "s", "b", "[]", "[1 x]", "'b/1", "#issue", "1-Jan-2000", "1.2.3", "$1", "50%", "1x2", "()",
        };
        if (d_.chance(70)) return d_.pick(numbers);
        return d_.pick(others);
    }

    std::string data() {
        static const char* const data[] = {"1", "\"d\"", "[9]", "'w", "none", "x", "2.5", "[x: 1]"};
        return d_.pick(data);
    }

    std::string small_count() {
        static const char* const counts[] = {"0", "1", "2", "3", "-1", "2.5", "none", "\"2\""};
        return d_.pick(counts);
    }

    std::string call(int depth) {
        int e = depth - 1;
        switch (d_.below(level_ >= 2 ? 50 : 47)) {
        case 0: return "either " + expression(e) + " " + block(e) + " " + block(e);
        case 1: return "if " + expression(e) + " " + block(e);
        case 2: return "unless " + expression(e) + " " + block(e);
        case 3: return "case [" + expression(e) + " " + block(e) + " " + expression(e) + " " + block(e) + "]";
        case 4: return "loop " + small_count() + " " + loop_body(e);
        case 5: return "repeat i " + small_count() + " " + loop_body(e);
        case 6: return "foreach v [1 \"two\" x] " + loop_body(e);
        case 7: {
            // Appending to the series a foreach walks would keep it going
            // (functions, which it may call, never append to b).
            Inside walk(over_b_);
            return "foreach [v w] b " + loop_body(e);
        }
        case 8: {
            if (counters_ == 4) return "loop 2 " + loop_body(e);
            std::string k = "k" + std::to_string(++counters_);
            Inside loop(loops_);
            return "while [" + k + " < 3] [" + k + ": " + k + " + 1 " + statements(e, 2) + "]";
        }
        case 9: return (over_b_ || in_function_ ? "append copy b " : "append b ") + expression(e);
        case 10: return (over_b_ || in_function_ ? "append/only copy b " : "append/only b ") + data();
        case 11: return "first b";
        case 12: return "length? b";
        case 13: return "copy/part b " + small_count();
        case 14: return "remove b";
        case 15: return "clear next b";
        case 16: return "reduce " + block(e);
        case 17: return "do " + block(e);
        case 18: return "all " + block(e);
        case 19: return "any " + block(e);
        case 20: return "try " + block(e);
        case 21: return "catch " + block(e);
        case 22: return "attempt " + block(e);
        case 23:
            if (!loops_ && d_.chance(90)) return atom();
            return d_.chance(50) ? "break" : "break/return " + expression(e);
        case 24: return !loops_ && d_.chance(90) ? atom() : "continue";
        case 25: return "throw " + expression(e);
        case 26:
            if (!in_function_ && d_.chance(90)) return atom();
            return d_.chance(50) ? "return " + expression(e) : "exit";
        case 27: return "type? " + expression(e);
        case 28: return "mold " + expression(e);
        case 29: return "set 'x " + expression(e);
        case 30: return code_block(e);
        case 31: return "switch " + expression(e) + " [1 " + block(e) + " 2.5 " + block(e) + "]";
        case 32: return "compose [" + expression(e) + " (" + statements(e, 2) + ")]";
        case 33: return "catch/name [throw/name " + expression(e) + " 'n] 'n";
        case 34: return "try/all " + block(e);
        case 35: return "plus: make op! :add " + expression(e) + " plus " + expression(e);
        case 36: return std::string(d_.chance(50) ? "only: true" : "only: none") + " append/:only copy b " + expression(e);
        case 37: return "apply :append [copy b " + expression(e) + "]";
        case 38: return parse_call();
        case 39: return "collect [keep " + expression(e) + " " + statements(e, 2) + "]";
        case 40: return "remove-each v copy b " + loop_body(e);
        case 41: return "forall c " + loop_body(e);
        case 42: return "w2/n: " + expression(e);
        case 43: return "w2/n";
        case 44: return "switch/default " + expression(e) + " [1 " + block(e) + "] " + block(e);
        case 45: return "set [x y] reduce [" + expression(e) + " " + expression(e) + "]";
        case 46: return d_.chance(50) ? "get in o 'n" : "(does " + block(e) + ")";
        case 47: return "f1 " + expression(e);
        case 48:
            if (level_ < 3) return "f1 " + expression(e);
            return d_.chance(50) ? "f2 " + expression(e) + " " + expression(e)
                                 : "f2/r " + expression(e) + " " + expression(e) + " " + expression(e);
        default:
            if (level_ < 4) return "f1 " + expression(e);
            return d_.chance(50) ? "o/m " + expression(e) : "o/m/r " + expression(e) + " " + expression(e);
        }
    }

    // parse over a fresh input with a rule drawn from its keywords.  Rules
    // that never end are left out: while (which goes on without progress);
    // an insert or a change of nothing, which each iteration of a
    // repetition would repeat on the text it just put in (a rule of several
    // values is bracketed, so that a repetition takes all of it); and a
    // change of the input inside to or thru, whose search tries each
    // position and may lengthen the input by one at each.
    std::string parse_call() {
        static const char* const inputs[] = {"\"abcab\"", "\"\"", "\"aab\"", "[a 1 \"b\" [c 2]]",
                                             "[1 2 3]", "#{0102}", "\"ABC\""};
        return "parse copy " + std::string(d_.pick(inputs)) + " [" + rule_sequence(3) + "]";
    }

    std::string rule_sequence(int depth) {
        std::string s;
        for (int n = 1 + int(d_.below(3)); n > 0; n--) s += rule(depth) + " ";
        if (depth > 0 && d_.chance(20)) s += "| " + rule_sequence(depth - 1);
        return s;
    }

    std::string rule(int depth) {
        static const char* const leaves[] = {
            "skip", "end", "none", "fail", "\"a\"", "\"ab\"", "#\"b\"", "cs", "integer!", "word!",
            "block!", "[quote 1]", "'a", "break", "reject", "(x: x + 1)", "[if (x > 1)]", "p:", "[to end]",
            "[2 skip]",
        };
        static const char* const changing_leaves[] = {
            "[remove skip]", "[change skip \"zz\"]", "[change \"a\" 'q]", "[insert \"z\" skip]",
        };
        if (depth <= 0 || d_.chance(50))
            return !searching_ && d_.chance(20) ? d_.pick(changing_leaves) : d_.pick(leaves);
        static const char* const takers[] = {"any ", "some ", "opt ", "not ", "ahead ", "to ", "thru ",
                                             "copy v ", "set v ", "remove ", "1 3 ", "0 2 ", "case ",
                                             "collect keep ", "keep "};
        switch (d_.below(4)) {
        case 0: return "[" + rule_sequence(depth - 1) + "]";
        case 1: return "into [" + rule_sequence(depth - 1) + "]";
        case 2: return "collect [" + rule_sequence(depth - 1) + "]";
        default: {
            std::string taker = d_.pick(takers);
            if (taker != "to " && taker != "thru ") return taker + rule(depth - 1);
            Inside search(searching_);
            return taker + rule(depth - 1);
        }
        }
    }

    // A block that changes itself while it runs: cut, appended to with
    // data, overwritten ahead of the position.
    std::string code_block(int depth) {
        if (in_code_block_) return "length? cb";
        in_code_block_ = true;
        std::string s = "do cb: [";
        for (int n = 1 + int(d_.below(4)); n > 0; n--) {
            switch (d_.below(6)) {
            case 0: s += "clear skip cb " + std::to_string(d_.below(8)) + " "; break;
            case 1: s += "remove/part skip cb " + std::to_string(d_.below(8)) + " 2 "; break;
            case 2: s += "append cb " + data() + " "; break;
            case 3: s += "change skip cb " + std::to_string(d_.below(8)) + " " + data() + " "; break;
            default: s += expression(depth) + " "; break;
            }
        }
        in_code_block_ = false;
        return s + "]";
    }

    std::string expression(int depth) {
        std::string left;
        uint32_t form = depth <= 0 ? 0 : d_.below(10);
        switch (form) {
        case 0: case 1: left = atom(); break;
        case 2: left = "(" + statements(depth - 1, 2) + ")"; break;
        case 3: {
            static const char* const targets[] = {"x: ", "y: ", "o/n: ", "b/1: ", "x: y: ", "b/9: "};
            return d_.pick(targets) + expression(depth - 1);
        }
        case 4: {
            static const char* const reads[] = {"b/1", "b/2", "o/n", "s/1", ":b/1", "b/x"};
            left = d_.pick(reads);
            break;
        }
        default: left = call(depth); break;
        }
        // After a call whose last argument is a block, an operator would
        // take the block.
        if (left.back() != ']' && d_.chance(30)) {
            static const char* const ops[] = {"+", "-", "*", "/", "<", "=", ">", "//", "and", "or", "<>"};
            left += std::string(" ") + d_.pick(ops) + " " + (d_.chance(70) ? atom() : expression(depth - 1));
        }
        return left;
    }
};

class EvalFuzz : public PathsCompare {};

TEST_F(EvalFuzz, RandomProgramsAgreeOnBothPaths) {
    uint32_t first = env_number("QOR_FUZZ_SEED", 1), cases = env_number("QOR_FUZZ_CASES", 300);
    const bool print = fuzz_printing();
    for (uint32_t seed = first; seed < first + cases; seed++) {
        ProgramWriter writer(seed);
        std::string setup = writer.setup();
        std::string program = writer.program();
        SCOPED_TRACE("seed " + std::to_string(seed) + "\nsetup: " + setup + "\nprogram: " + program);
        if (print) std::printf("setup %u: %s\n%u: %s\n", seed, setup.c_str(), seed, program.c_str()), std::fflush(stdout);
        Shown shown = on_both(setup, program);
        if (print) std::printf("=> %s\n", shown.fast.c_str());
        // The general path recurses in C++ where the loop does not: with the
        // larger frames of a sanitizer build, code that recurses without end
        // can exhaust the machine's stack there before the frame limit
        // stops both.  Both must still report the overflow.
        const std::string overflow = "*** Internal Error: stack overflow";
        if (shown.fast.starts_with(overflow) && shown.reference.starts_with(overflow)) continue;
        EXPECT_EQ(shown.fast, shown.reference);
        if (HasFailure()) break;
    }
}

}  // namespace
}  // namespace qor
