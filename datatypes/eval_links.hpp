// The evaluator's services that objects and errors use: evaluating a spec
// block, calling a change handler inside a labelled frame, and reading the
// interpreter's position and call frames for error reports.
//
// The datatypes sit below the evaluator, so they reach it through these
// links, which the evaluator installs when it starts.  Each is optional:
//   eval_block       without it, a block spec that must be evaluated raises
//                    internal/not-done
//   call_in_frame    without it, interp::call_function runs the handler
//                    (no frame label)
//   current_position without it, an error's `near` stays none
//   current_call     without it, the running call is unknown (<anon>)
//   list_calls, print_calls   without them, stacks list nothing
//   in_native_frame  without it, the function runs without a frame
//   guarded          without it, f runs unguarded
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::eval_links {

struct Links {
    // Evaluates the block from its index to its end (the last value is
    // dropped); errors propagate.
    void (*eval_block)(Cell* block) = nullptr;
    // Calls `function` with `count` argument cells inside a function call
    // frame labelled with the word `label`; the result goes to *result.
    void (*call_in_frame)(const Cell* label, const Cell* function, const Cell* args,
                          uint32_t count, Cell* result) = nullptr;
    // The block position being evaluated (an error's `near`), or null.
    const Cell* (*current_position)() = nullptr;
    // The word of the innermost function or native call frame, or null.
    const Cell* (*current_call)() = nullptr;
    // Appends the call words from the recorded frame outward, separated by
    // single spaces, at most `depth` of them; answers the remaining limit.
    int32_t (*list_calls)(int32_t depth, int32_t frame, Cell* out, int32_t limit) = nullptr;
    // Appends the call words from the recorded frame outward to the block,
    // at most `depth` of them.
    void (*print_calls)(int32_t depth, Cell* block, int32_t frame) = nullptr;
    // Runs f(data) between a native call frame labelled with the word and
    // its pop.
    void (*in_native_frame)(const Cell* word, void (*f)(void*), void* data) = nullptr;
    // Runs f(data) and answers true; an error raised inside is stopped there,
    // the stacks put back as they were, and the answer is false.
    bool (*guarded)(void (*f)(void*), void* data) = nullptr;
};

Links& get();

}  // namespace qor::eval_links
