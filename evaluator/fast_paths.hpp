// Fast paths for the library's own code and C++ natives: integer
// arithmetic, comparisons and block navigation done inline for the common
// case (two integer!s, a block!), falling back to the full action inside a
// native frame named by `word` for everything else.  The interpreter does not
// use them.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::fast {

// Math op codes.
enum MathCode : int32_t { ADD = 0, SUBTRACT = 1, MULTIPLY = 2, OR = 5, AND = 6, XOR = 7 };
// Comparison op codes: 0 equal, 1 not-equal, 2 strict-equal, 3 lesser,
// 4 lesser-or-equal, 5 greater, 6 greater-or-equal.
// Series op codes.
enum SeriesCode : int32_t {
    LENGTH_Q = 1, INDEX_Q = 2, HEAD_Q = 3, TAIL_Q = 4, NEXT = 5, BACK = 6, HEAD = 7, TAIL = 8,
};

// Integer add, subtract and multiply that overflow give the exact float!
// result; or, and, xor are bitwise.  Two float!s add, subtract and multiply
// inline.  An op code outside the list is runtime error 101.
Cell* math(int32_t op, const Cell* word, const Cell* a, const Cell* b);    // pushed
Cell* math_imm(int32_t op, const Cell* word, const Cell* a, int32_t b);    // pushed
Cell* math_top(int32_t op, const Cell* word, const Cell* b);               // over the top cell
Cell* math_top_imm(int32_t op, const Cell* word, int32_t b);               // over the top cell

Cell* compare(int32_t op, const Cell* word, const Cell* a, const Cell* b);     // pushed logic!
Cell* compare_imm(int32_t op, const Cell* word, const Cell* a, int32_t b);     // pushed logic!
bool  compare_keep(int32_t op, const Cell* word, const Cell* a, const Cell* b);   // nothing left
bool  compare_cells(int32_t op, const Cell* word, const Cell* a, const Cell* b);
bool  compare_imm_keep(int32_t op, const Cell* word, const Cell* a, int32_t b);
bool  compare_imm2(int32_t op, const Cell* word, const Cell* a, int32_t b);
Cell* compare_top(int32_t op, const Cell* word, const Cell* b);                // over the top cell
Cell* compare_top_imm(int32_t op, const Cell* word, int32_t b);

// A block!: the value at position + index - 1 when 1 <= index <= length,
// else none, pushed; other series through the eval-path action.
Cell* pick(const Cell* series, int32_t index, const Cell* word);
// The series op on a block! inline; other types through the action.
Cell* series_op(const Cell* series, int32_t op, const Cell* word);

}  // namespace qor::fast
