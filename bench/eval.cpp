// The interpreter's inner loop: a counting loop and a recursive function,
// loaded from text and run with the real natives.  Times are the best of
// three runs.
//
//   bench_eval [iterations] [fib-n]      (defaults 1000000 and 24)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "harness.hpp"
#include "evaluator/interpreter.hpp"
#include "datatypes/stack.hpp"
#include "runtime/collector.hpp"

namespace {

using namespace qor;
using bench::best_seconds;

Cell g_code{TYPE_NONE, 0, 0, 0};

void run_code() {
    stack::Checkpoint cp = stack::checkpoint();
    interp::eval_block(&g_code, false);
    stack::restore(cp);
}

}  // namespace

int main(int argc, char** argv) {
    int32_t iterations = argc > 1 ? std::atoi(argv[1]) : 1000000;
    int32_t fib_n = argc > 2 ? std::atoi(argv[2]) : 24;
    bench::start_runtime();
    gc::register_global_cell(&g_code);

    g_code = bench::load_source("n: 0 loop " + std::to_string(iterations) + " [n: n + 1]");
    double s = best_seconds(run_code);
    std::printf("%-44s %9.2f ms %9.1f ns/round\n", "loop [n: n + 1]", s * 1e3, s * 1e9 / iterations);

    g_code = bench::load_source("fib: func [n] [if n < 2 [return n] (fib n - 1) + fib n - 2]");
    run_code();
    g_code = bench::load_source("fib " + std::to_string(fib_n));
    // fib(n) makes fib(n + 1) * 2 - 1 calls.
    int64_t a = 0, b = 1;
    for (int32_t i = 0; i <= fib_n; i++) {
        int64_t t = a + b;
        a = b;
        b = t;
    }
    int64_t calls = 2 * a - 1;
    s = best_seconds(run_code);
    std::printf("%-44s %9.2f ms %9.1f ns/call\n", "fib (recursive function calls)", s * 1e3, s * 1e9 / double(calls));
    return 0;
}
