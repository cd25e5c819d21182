// What every benchmark program shares: the runtime booted through the
// program's own start-up, and the best-of-N timing of a piece of work.
#pragma once
#include <chrono>
#include <string>

#include "boot/library.hpp"
#include "boot/start.hpp"
#include "datatypes/string.hpp"
#include "evaluator/lexer.hpp"
#include "runtime/collector.hpp"
#include "datatypes/root_block.hpp"

namespace qor::bench {

using Clock = std::chrono::steady_clock;

// The runtime as the program has it when the console would launch: every
// datatype, word, native and action, the stacks, the lexer and the
// library's words; the collector on.
inline void start_runtime() {
    boot::runtime_init();
    gc::finish_startup();
    root_block::set_collecting(false);
    boot::boot_library();
}

// The shortest of three timings of `body` in seconds; `setup` runs before
// each, untimed.
template <typename Setup, typename Body>
double best_seconds(Setup&& setup, Body&& body) {
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        setup();
        auto t0 = Clock::now();
        body();
        double s = std::chrono::duration<double>(Clock::now() - t0).count();
        if (s < best) best = s;
    }
    return best;
}
template <typename Body>
double best_seconds(Body&& body) {
    return best_seconds([] {}, body);
}

// The values of UTF-8 source text, loaded by the lexer, as a block.
inline Cell load_source(const std::string& source) {
    Cell src = string::from_utf8(source.data(), source.size());
    gc::CellRoot keep(&src);
    Cell result{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_result(&result);
    lexer::transcode(&src, lexer::TranscodeOptions{}, &result);
    return result;
}

}  // namespace qor::bench
