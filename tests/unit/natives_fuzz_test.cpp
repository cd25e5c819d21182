// Every function the system defines, called with arguments of every kind:
// natives, actions and the library's functions must answer a value or
// raise an error, never fault, and leave the stacks as they found them.
// Each is called a few times with refinements and arguments drawn from a
// pool of values (edge numbers, empty and tail series, every kind of
// value).  Functions that end the run, wait for input, touch files or run
// without end on some arguments are left out.
//
// QOR_FUZZ_CALLS sets the calls per function; QOR_FUZZ_SEED the seed;
// QOR_FUZZ_PRINT prints each call before it runs.
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "random_cases.hpp"

namespace qor {
namespace {

using namespace test;

struct Shape {
    std::string name;
    int args = 0;
    std::vector<std::pair<std::string, int>> refinements;
};

// Each function's leading argument count and its refinements with theirs,
// a line each: "name n /ref k /ref k".
const char* const kShapes = R"(
    lines: copy ""
    foreach w words-of system/words [
        if any-function? get/any w [
            n: 0 refs: copy []
            foreach item spec-of get w [
                if item = /local [break]
                case [
                    refinement? item [append refs item append refs 0]
                    any [word? item lit-word? item get-word? item] [
                        either empty? refs [n: n + 1] [poke refs length? refs 1 + last refs]
                    ]
                ]
            ]
            append lines rejoin [w " " n " " form refs newline]
        ]
    ]
    lines
)";

// Functions a run of arbitrary calls must not make: they end the process
// or the evaluation, wait for a person or the clock, print (which would
// bury a failure's report), run a loop whose count comes from the
// arguments, or change settings the calls after them depend on.  Files
// are made and removed in a directory of the test's own.
const std::set<std::string> kLeftOut = {
    // ending, exits
    "quit", "q", "halt", "exit", "return", "break", "continue", "throw", "quit-return",
    // other programs, people, the clock
    "call", "launch", "browse", "wait", "input", "ask", "confirm", "debug", "do-events", "view", "show",
    "unview", "hide", "alert", "request-file", "request-dir", "request-font",
    // printing
    "print", "prin", "probe", "help", "?", "??", "source", "what", "about", "license", "usage", "dump-obj",
    "list-dir", "ls", "ll", "dir", "pwd", "echo", "write-stdout", "parse-trace", "transcode-trace",
    "show-memory-stats", "dt", "time-it", "clock", "dump-face", "dump-reactions", "expand", "profile",
    // loops run by a count or a condition
    "forever", "while", "until", "loop", "repeat", "for",
    // settings, the environment, the network and its cache
    "secure", "recycle", "trace", "set-tracing", "stats", "set-env", "set-current-dir", "change-dir", "cd",
    "protect", "unprotect", "set", "unset", "set-quiet", "set-slot-quiet", "write-clipboard", "_save-cfg",
    "read-thru", "load-thru", "do-thru", "path-thru", "exists-thru?",
    // evaluating the pool's blocks, which hold words of the context
    "do", "reduce", "compose", "bind",
};

const char* const kPool[] = {
    "0", "1", "-1", "3", "2147483647", "-2147483648", "3.5", "-0.0", "1e308", "none", "true", "false",
    "#\"a\"", "#\"^@\"", "\"\"", "\"abc\"", "tail \"abc\"", "[]", "[1 2 3]", "tail [1 2]", "[a b c]",
    "[\"x\" 2 [3]]", "'w", "quote (1 + 2)", "'a/b", "#iss", "%nonexistent-file.txt", "1x2", "-3x0",
    "10:00", "1-Jan-2000", "$1.5", "50%", "1.2.3", "<tag>", "me@x.y", "#{0102}", "#{}",
    "make bitset! \"ab\"", "make map! [a 1]", "object [a: 1]", "make hash! [a 1]", "make image! 2x2",
    "func [x] [x]", ":append", "make typeset! [integer!]", "integer!", "try [1 / 0]", "to word! \"w\"",
    "make vector! [integer! 32 3]", "make vector! [float! 64 [1.5 2.5]]", "@ref", "(1.5, 2)", "(1, 2, 3)",
    "first [a/b:]", "to get-path! [a b]", "first [a:]", "to refinement! 'x", "\"é€😀\"", "1.#INF",
    "make map! []", "make op! :add", "make bitset! 0", "make object! []", "#{FF00FF00}",
    "make image! [2x2 #{000000000000000000000000}]", "\"line^/two\"",
};

class NativesFuzz : public RuntimeFixture {};

std::vector<Shape> read_shapes(const std::string& lines) {
    std::vector<Shape> shapes;
    std::istringstream in(lines);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        Shape s;
        if (!(words >> s.name >> s.args)) continue;
        std::string ref;
        int count;
        while (words >> ref >> count) s.refinements.emplace_back(ref, count);
        shapes.push_back(s);
    }
    return shapes;
}

TEST_F(NativesFuzz, EveryFunctionTakesAnyArgumentsWithoutFault) {
#ifdef _WIN32
    // There the GUI functions open real windows, some of them modal, which
    // no list of functions left out can be proven to cover here.
    GTEST_SKIP() << "the GUI functions of the Windows build open real windows";
#endif
    // The calls' files go to a directory of their own, removed afterwards.
    namespace fs = std::filesystem;
    struct Workspace {
        fs::path before = fs::current_path();
        fs::path dir = fs::temp_directory_path() / ("qor-natives-fuzz-" + std::to_string(::getpid()));
        Workspace() {
            fs::create_directories(dir);
            fs::current_path(dir);
        }
        ~Workspace() {
            std::error_code ec;
            fs::current_path(before, ec);
            fs::remove_all(dir, ec);
        }
    } workspace;
    std::vector<Shape> shapes = read_shapes(form_text(eval(kShapes)));
    ASSERT_GT(shapes.size(), 300u);
    Draw d(env_number("QOR_FUZZ_SEED", 1));
    const uint32_t calls = env_number("QOR_FUZZ_CALLS", 8);
    for (const Shape& s : shapes) {
        if (kLeftOut.count(s.name)) continue;
        for (uint32_t k = 0; k < calls; k++) {
            std::string head = s.name, args;
            int count = s.args;
            for (const auto& [ref, n] : s.refinements)
                if (d.below(3) == 0) {
                    head += "/" + ref;
                    count += n;
                }
            for (int i = 0; i < count; i++) args += std::string(" (") + d.pick(kPool) + ")";
            run_unharmed("w: 'w try [" + head + args + "]");
            if (HasFailure()) return;
        }
    }
}

}  // namespace
}  // namespace qor
