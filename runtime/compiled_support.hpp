// The routines that compiled code and C++ natives call for ordinary work:
// literals of the boot payload, argument checks, words, locals and object
// fields, calls with refinements decided at run time, paths, and the search
// of a SWITCH or SELECT.  Values are passed on the argument stack: the
// running call's result slot is the arguments base, and "the top" is the last
// pushed cell.  Every check raises through raise_error.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace qor::compiled {

// ---- Literals ------------------------------------------------------------------------------

// Start-up records where root cell 0 of the decoded boot payload lies.
void set_literal_base(Cell* base);
Cell* get_literal(uint32_t n);        // root cell n
uint32_t get_literal_node(uint32_t n); // its first payload word (a context literal's node)

// ---- Errors ----------------------------------------------------------------------------------

[[noreturn]] void raise_bad_make_arg(const Cell* value1, const Cell* value2);
// Builds the error inside a native frame, prints it through the value hooks
// and leaves unset as the frame's result: for code that must report an
// error without unwinding.
void make_and_print_error(const char* category, const char* id, const Cell* arg1 = nullptr,
                          const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);

// ---- Argument checks (position: 0-based argument number for the message) -------------------

// A value whose type bit is clear raises script/expect-arg (the running
// call's word, the value's datatype, the argument's word); else answers it.
const Cell* check_arg_type(const Cell* typeset, int32_t position, const Cell* value);
// index < 0 (an unused refinement's argument) does nothing; else checks the
// cell at base + index.
void native_check_arg_type(int32_t index, const Cell* typeset, int32_t position);
// Checks only when the refinement cell is set (logic payload not 0).
const Cell* check_arg_type_opt(const Cell* refinement, const Cell* typeset, int32_t position,
                               const Cell* value);
// unset! raises script/expect-arg.
const Cell* check_not_unset(int32_t position, const Cell* value);

// ---- Words, locals and fields -------------------------------------------------------------------

// The word's value cell; unset! raises script/no-value with the word.
Cell* get_word_value_checked(const Cell* word);
// Sets the word (with change notification) to the top; an unset top raises
// script/need-value.  _result then empties the frame (top = base).
void set_word(Cell* word);
void set_word_result(Cell* word);
// Copies the top into a slot of the context (its value block, or the
// running call's cells for a stack context); an unset top raises
// script/need-value with the slot's word.  set_local then empties the frame.
void set_local_keep(Node ctx, int32_t slot);
void set_local(Node ctx, int32_t slot);
// Copies the top into the slot without any check, marks an object's slot
// word assigned, then empties the frame.
void set_object_field(Node ctx, int32_t slot);
// The slot's cell; a stack context with no running call raises
// script/not-defined with the slot's word.
Cell* get_context_slot(Node ctx, int32_t slot);
// When the value is true, the refinement cell at base + index becomes true;
// else the `count` argument cells after it become none.
void init_refinement(const Cell* value, int32_t index, int32_t count);

// ---- Calls with refinements decided at run time ---------------------------------------------

struct RefinementUse {
    const Cell* value;       // truth decides whether the refinement is used
    int32_t     slot;        // 1-based refinement position in the callee's spec
    int32_t     argument;    // index of its first argument cell from the base
    int32_t     count;       // number of its argument cells
};
struct CallDescriptor {
    uint32_t             entry;        // 1-based table index
    bool                 native;       // natives table (else the action dispatcher table)
    uint32_t             slots;        // refinement slots of the callee
    const RefinementUse* refinements;
    uint32_t             count;        // entries of `refinements`
};
// Prepares the callee's refinement slots (-1 unused; the argument index of
// each used one; the argument cells of unused ones become none) and calls the
// entry (a native gets the check flag set).  Answers the native's answer (0
// for actions).
int32_t call_with_refinements(const CallDescriptor& d);

// ---- Paths -------------------------------------------------------------------------------------

// Evaluates a get-path or (set) set-path given as a path value; the value to
// store is the result slot; the final value is copied into the result slot.
void eval_path(bool set, const Cell* path);

// ---- SWITCH and SELECT ---------------------------------------------------------------------------

// The value to find is the cell at the base, the cases block the cell after
// it.  push: every cell is a candidate and the result is pushed; else every
// second cell and the result goes into the result slot.  switch_: the result
// is the first block! after the match; else the cell after the match (the
// match itself when it is the last cell).  Not found (or a block! to find):
// none.  Answers the result cell.
Cell* switch_find(bool push, bool switch_);

}  // namespace qor::compiled
