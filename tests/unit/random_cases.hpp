// What the random tests share: a small generator that draws the same in
// every build, and a run that lets a case fail as it may but checks that
// the stacks come back as they were.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime_fixture.hpp"

namespace qor::test {

// xorshift, seeded so that no seed gives the zero state.
class Draw {
public:
    explicit Draw(uint32_t seed) : state_(seed * 2654435761u + 1) {}
    uint32_t below(uint32_t n) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_ % n;
    }
    bool chance(uint32_t percent) { return below(100) < percent; }
    template <class T, size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(N)];
    }

private:
    uint32_t state_;
};

// QOR_FUZZ_PRINT: each case is printed before it runs (a fault then names
// it), and what it gave after.
inline bool fuzz_printing() { return std::getenv("QOR_FUZZ_PRINT") != nullptr; }

// Runs the text.  An error or an exit it leaves is fine; the stacks must
// come back as they were.
inline void run_unharmed(const std::string& text) {
    const bool print = fuzz_printing();
    if (print) std::printf("%s\n", text.c_str()), std::fflush(stdout);
    SCOPED_TRACE(text);
    Cell code = load_source(text);
    gc::CellRoot keep(&code);
    stack::Checkpoint cp = stack::checkpoint();
    try {
        interp::eval_block(&code, false);
        if (print) {
            Cell r = *stack::top_value();
            std::printf("=> %s\n", type_of(&r) == TYPE_ERROR ? form_text(r).c_str() : "a value");
        }
        EXPECT_EQ(stack::state.top, cp.top + 1);
        EXPECT_EQ(stack::state.frames_top, cp.frames_top);
    } catch (const Thrown&) {
        // An exit nothing stopped (a throw, a break out of the call).
    }
    stack::restore(cp);
}

}  // namespace qor::test
