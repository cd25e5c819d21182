// The hook table: the one way up from the value level to the evaluator.
//
// The datatypes sit below the evaluator, so the few services they need from
// it (evaluating a spec block, calling a function value, loading text,
// reading the interpreter's position and call frames for error reports)
// are entries of this table, which the evaluator fills when it starts
// (interp::install_links, lexer::init).  Hot paths never go through it.
// Each entry is optional:
//   raise            without it, a raised error gets no `where` or stack
//                    position and no trace event
//   call_function    without it, calling a function value raises
//                    internal/not-done
//   transcode, load_value_from_string, scan_token_type
//                    without them, loading text raises internal/not-done
//   eval_block       without it, a block spec that must be evaluated raises
//                    internal/not-done
//   call_in_frame    without it, the call_function entry runs the handler
//                    (no frame label)
//   call_spread      without it, call_in_frame runs the plain arguments (the
//                    refinements keep their defaults)
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
    // Every raise, once the error is built and before it is thrown.
    void (*raise)(Cell* error) = nullptr;
    // Calls a function value (any kind) with `count` argument values and
    // copies its result into *result.
    void (*call_function)(const Cell* function, const Cell* args, uint32_t count, Cell* result) = nullptr;
    // The lexer: the values of a string (from its index) appended to a
    // block (to block! "..."); one value loaded from a text (none when the
    // text is not consumed whole, unset when it holds nothing; valid until
    // the caller copies it); the datatype id of the token that starts a
    // UTF-8 text, or 0.
    void (*transcode)(const Cell* string, Cell* block) = nullptr;
    Cell* (*load_value_from_string)(Cell* text) = nullptr;
    uint32_t (*scan_token_type)(const char* utf8, uint32_t length) = nullptr;
    // Evaluates the block from its index to its end (the last value is
    // dropped); errors propagate.
    void (*eval_block)(Cell* block) = nullptr;
    // Calls `function` with `count` argument cells inside a function call
    // frame labelled with the word `label`; the result goes to *result.
    void (*call_in_frame)(const Cell* label, const Cell* function, const Cell* args,
                          uint32_t count, Cell* result) = nullptr;
    // The same for a function! given a value for every slot of its spec in
    // order: plain arguments, then each refinement's flag (logic!) and its
    // arguments (none when the flag is false).  Missing slots take their
    // defaults; values past the spec are dropped.
    void (*call_spread)(const Cell* label, const Cell* function, const Cell* args,
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

// The entries that must be there, checked.
void call_function(const Cell* function, const Cell* args, uint32_t count, Cell* result);
void transcode(const Cell* string, Cell* block);
uint32_t scan_token_type(const char* utf8, uint32_t length);

}  // namespace qor::eval_links
