// logic!: true and false, and the truth tests of conditionals.
//
//   parent   none
//   header   TYPE_LOGIC
//   word 1   0 false, 1 true
//   words 2-3 unused
//
// Truth: every value is true except none and false; 0, 0.0, empty series and
// unset are true for the plain tests, while the checked tests refuse unset.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor {

extern Cell* const true_value;    // the global true and false cells; never
extern Cell* const false_value;   // written after start-up

namespace logic {

void init();   // writes the global cells, registers logic!

inline void set(Cell* cell, uint32_t value) {   // the whole header: flags cleared
    cell->header = TYPE_LOGIC;
    cell->data1 = value;
}

// None and false are the only false values.
inline bool is_false(const Cell* cell) {
    uint32_t t = type_of(cell);
    return t == TYPE_NONE || (t == TYPE_LOGIC && cell->data1 == 0);
}

inline uint32_t get_value(const Cell* cell) { return cell->data1; }

void  set_result(uint32_t value);                // the result slot becomes a logic!
Cell* new_in_block(Cell* block, uint32_t value); // a logic! at the block's tail
Cell* push_new(uint32_t value);                  // a logic! pushed on the argument stack

// True unless none or false.  With `check`, an unset value raises
// script/no-value with `name` (the value naming it) as the argument.
bool truthy_checked_q(const Cell* value, bool check, const Cell* name);
// The result slot is true unless none or false; unset raises script/no-return.
bool condition_true_q();
// The result slot is none or false (unset is not).
bool result_false_q();
// The last evaluated value (the result slot when nothing lies above it, else
// the top of the stack) is none or false; and its negation.
bool stack_top_false_q();
bool stack_top_true_q();

// and~, or~, xor~ on the argument stack: the first argument (the result slot)
// takes payload1 op payload2; the second must be a logic!, else
// script/expect-arg.  `op` is MATH_AND, MATH_OR or MATH_XOR.
void bitwise_op(int32_t op);

}  // namespace logic

Cell*   logic_make(Cell* prototype, Cell* spec);
Cell*   logic_to(Cell* prototype, Cell* spec);
Cell*   logic_random(Cell* value, bool seed, bool secure, bool only);
int32_t logic_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t logic_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                   int32_t limit, int32_t indent);
int32_t logic_compare(Cell* value1, Cell* value2, int32_t op);
void    logic_and();
Cell*   logic_complement(Cell* value);
void    logic_or();
void    logic_xor();

}  // namespace qor
