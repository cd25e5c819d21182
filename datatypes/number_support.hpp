// Shared plumbing of the numeric datatypes: op codes and their actions,
// error arguments, and handing an operation over to the type of the other
// operand through its action slot.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::number_support {

int         slot_of_op(int32_t op);   // the action slot of a math op code (0-7)
const char* word_of_op(int32_t op);   // its action's name ("add" ... "xor~")

inline Cell datatype_cell(uint32_t type) { return Cell{TYPE_DATATYPE, type, 0, 0}; }

[[noreturn]] void raise_invalid_type(uint32_t type);                  // script/invalid-type
[[noreturn]] void raise_not_related(const char* word, uint32_t type); // script/not-related
[[noreturn]] void raise_expect_exponent(const Cell* exponent);        // power's script/expect-arg
[[noreturn]] void raise_bad_to_arg(uint32_t type, const Cell* spec);  // script/bad-to-arg
[[noreturn]] void raise_math(const char* id);                         // math/<id>
[[noreturn]] void bad_op();                                           // runtime error 101

// Loads the text as the lexer would (its first value); internal/not-done
// when no loader is installed.  May allocate.
const Cell* load_text(Cell* text);

// Exchanges the result slot and the next argument cell.
void swap_operands();

// True when `type` implements the action of the op code.
bool has_math_slot(uint32_t type, int32_t op);
// Runs the action of the op code of `type` on the argument stack as it
// stands; a type without it raises script/invalid-type with the type.
void run_math_slot(uint32_t type, int32_t op);

// The double of an integer!, char!, float!, percent! or time! cell.
double as_double(const Cell* cell);
inline bool is_float_like(uint32_t type) {
    return type == TYPE_FLOAT || type == TYPE_PERCENT || type == TYPE_TIME;
}

// pick hands its index over as an integer, so a word (or any other
// non-integer index) arrives as 0: this gives back the index the caller
// wrote, read from the argument after the value when pick was called with
// one, else the integer.
Cell pick_index_arg(const Cell* value, int32_t index);

// Appends text to an output string of form/mold.
void append_text(Cell* out, const char* text, uint32_t length);

}  // namespace qor::number_support
