// The natives: the built-in functions implemented inside the runtime.  Each
// entry point follows the NativeFn convention of evaluator/call.hpp: it takes
// the check flag and one position per refinement, finds its arguments on the
// argument stack from the arguments base and leaves its result in the result
// slot (the arguments base); it answers 0, or for `try` and `do` called from
// compiled code, a pending exit code that caller must continue.
//
// C++ names: the word in lower case, '-' -> '_', '?' -> "_q", then "_star"
// for the word's trailing '*' (`if*` -> if_star, `equal?*` -> equal_q_star,
// `to-hex*` -> to_hex_star, `NaN?*` -> nan_q_star).
//
// Files: natives_control.cpp (the control natives, do, try, catch, throw and
// the exits), natives_compose.cpp (reduce, compose), natives_func.cpp (func,
// function, does, has), parse.cpp (parse); the others by family in
// natives_*.cpp.
//
// ORDER NATIVES: the order, the indexes and the spellings are those of
// native_list.hpp.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "evaluator/native_list.hpp"

namespace qor::natives {

// Allocates the natives table and the print block, then registers all 107
// entry points in table order.  Called once at start-up after the global
// context and the symbol table exist.
void init();

// The 32-cell block inside the root block into which print and prin reduce
// a block argument; null before init (or after a new memory::init).  The
// cell stays put (the root block's buffer does not move).
Cell* print_block();

// The entry points, in table order (if_star ... apply_star).
#define QOR_NATIVE_ENTRY(c_name, index, spelling) int32_t c_name(bool check, const int32_t* refinements);
QOR_NATIVE_LIST(QOR_NATIVE_ENTRY)
#undef QOR_NATIVE_ENTRY

constexpr uint32_t NATIVE_COUNT = 107;

// case without /all in two steps, so that the interpreter's loop can run the
// chosen block itself as the native would.  case_choose (case's call frame
// on top) evaluates the conditions: with a block to run it answers true,
// case's own frame pushed, the block in `chosen` and the position after it
// in `after`; otherwise case is done, its result set, and it answers false.
// case_chosen_done takes the block's result from the stack top and ends case.
bool case_choose(const Cell* cases, Cell* chosen, uint32_t* after);
void case_chosen_done(const Cell* cases, uint32_t after);

// What while, loop, repeat and foreach decide between runs of their
// blocks, shared with the interpreter's loop, which runs them itself.
// strict_true: whether a
// condition's value holds (unset raises no-return).  loop_count: the count
// of loop and repeat; a float is truncated toward zero, values beyond the
// 64-bit range saturate (a NaN counts as 0), so no count wraps.
bool strict_true(const Cell* value);
int64_t loop_count(const Cell* value);
// foreach in its steps, over its arguments `a` (words, series, body):
// foreach_words checks the words against the series and answers their
// count; foreach_next sets them from the series' position and moves it on,
// answering false at its end.
uint32_t foreach_words(Cell* a);
bool foreach_next(Cell* a, uint32_t n);

namespace native_list_detail {
// The list runs 1..NATIVE_COUNT without a gap.
constexpr bool indexes_are_dense() {
    uint32_t expected = 1;
#define QOR_NATIVE_INDEX(c_name, index, spelling) \
    if (index != expected++) return false;
    QOR_NATIVE_LIST(QOR_NATIVE_INDEX)
#undef QOR_NATIVE_INDEX
    return expected == NATIVE_COUNT + 1;
}
}  // namespace native_list_detail
static_assert(native_list_detail::indexes_are_dense(), "native indexes run 1..107 in list order");

// The native words' spellings in table order (index = position + 1).
inline constexpr const char* NATIVE_NAMES[NATIVE_COUNT] = {
#define QOR_NATIVE_NAME(c_name, index, spelling) spelling,
    QOR_NATIVE_LIST(QOR_NATIVE_NAME)
#undef QOR_NATIVE_NAME
};

// Compiled code's own try, after it caught an error: the error is the top
// value of the argument stack; with `keep` the call stack is captured into
// it; an error of type and id `throw` (a throw that found no catch) is raised
// again, any other becomes the result.
void try_caught(bool keep);

}  // namespace qor::natives
