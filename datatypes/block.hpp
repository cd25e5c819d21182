// Block storage: series whose unit is one 16-byte cell.
//
//   block! cell  header type 5 (also paren! 6, the paths 25-28, hash! 36)
//                word 1 index in cells
//                word 2 node of a series buffer of unit 16
//                word 3 0 (hash!: the node of its hash table)
//
// The cells between the buffer's head and tail are the items in order;
// cells past the tail up to the capacity are free room.  These routines are
// how the runtime, the evaluator, the loader and the datatypes create, walk,
// fill and search blocks without going through action dispatch.
//
// Every routine here may allocate unless it says otherwise, and allocation
// may move any buffer: the Cell* arguments must be reachable by the
// collector (a rooted C++ local, a cell of a live block, an argument-stack
// slot), and addresses of cells inside a buffer are stale after the call.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace qor::block {

// ---- Read access (never allocates) ---------------------------------------------

inline SeriesBuffer* buffer(const Cell* block) { return buffer_of(cell_node(block)); }
// Cells between head and tail.
inline uint32_t total_length(const Cell* block) { return buffer(block)->byte_length() >> 4; }
// Cells from the index to the tail (0 when the index lies past the tail).
uint32_t remaining_length(const Cell* block);
inline uint32_t length(const Cell* block) { return remaining_length(block); }
// index + 1 when a cell follows the position; answers whether the (new)
// position is the tail.
bool advance(Cell* block);
// Pulls an index past the tail back to the tail, then answers the cell at it.
Cell* head_pointer(Cell* block);
Cell* tail_pointer(const Cell* block);
bool at_tail_q(const Cell* block);
// The n-th cell from the buffer head (0-based, not checked).
Cell* cell_at(const Cell* block, uint32_t n);
// The n-th cell from the index (0-based), or null past the tail.
Cell* item(const Cell* block, uint32_t n);
// From the index: the cell after the first cell equal to `value` (op 12,
// the value's type deciding); none_value when absent or when the match is
// the last cell.
Cell* select_value(Cell* block, const Cell* value);
// From the (clamped) index: the cell after the first any-word cell spelled
// as `word` (the same symbol with the case flag, else the same canonical
// symbol); none_value when absent or when the match is the last cell.
Cell* select_word(Cell* block, const Cell* word, bool case_sensitive);

// ---- Construction -----------------------------------------------------------------

// An empty block! value with room for `capacity` cells (below 1: 1).  The
// builder that tests and natives use; keep the answer in a rooted cell.
Cell make(int32_t capacity);
// The cell becomes an empty block! (capacity < 0: 1); only the type byte of
// the header is written, so header flags survive.
Cell* init_cell(Cell* cell, int32_t capacity);
// The same; with `fixed` the buffer never moves, else every free cell reads
// unset!.
Cell* init_cell_unset_or_fixed(Cell* cell, int32_t capacity, bool fixed);
// An empty block with a non-moving buffer in a new cell at the parent's
// tail, or in the runtime's fixed global cell when the parent is null (or
// none).
Cell* new_fixed_in(Cell* parent);
// An empty block of the capacity at the parent's tail, or in the runtime's
// global cell when the parent is null.
Cell* new_empty_in(Cell* parent, int32_t capacity);
// A new empty block pushed on the argument stack (capacity 0: 1).
Cell* push_new(int32_t capacity);
// A copy of the block value pushed on the argument stack.
Cell* push_cell(const Cell* block);

// ---- Changing ---------------------------------------------------------------------

// A copy of the value in a new cell at the tail; answers that cell.  The
// value may lie in the block itself.
Cell* append_copy(Cell* block, const Cell* value);
// Appends every cell of `source` from its index.  Answers `destination`.
Cell* append_cells_of(Cell* destination, const Cell* source);
// Inserts one copy of the value at the index (at the buffer head with
// at_head); cells behind move up; a hash! keeps its index in step; with
// advance the index moves past the new cell.  Answers the block.
Cell* insert_value(Cell* block, const Cell* value, bool advance, bool at_head);
// Inserts the source's cells (from its index) at the destination's index,
// advancing it after each, so they keep their order.
Cell* insert_cells_of(Cell* destination, const Cell* source);
// Argument-stack helpers of the loader and natives:
//  append_stack_arg: the value at the arguments base is inserted into the
//    block in the slot below it (at that block's index, advancing it);
//  append_next_arg: the value in the slot after the base is appended to the
//    block (or hash!) at the base, which is the result;
//  append_stack_arg_hashed: the value at the base is appended to the block
//    in the slot below it, a hash! indexing the new cell.
void  append_stack_arg();
Cell* append_next_arg();
void  append_stack_arg_hashed();

void clear_at_index(Cell* block);            // tail = the block's position
void truncate_at(Cell* block, uint32_t n);   // tail = head + n cells
// Drops the last cell (when any); an index then past the tail is pulled back.
void remove_last(Cell* block);
// Removes the first cell equal to the value (op 12), searching from the head
// with the flag, else from the index.  Answers false when nothing matched,
// else whether the removed cell's offset from the head was not greater than
// the block's index.
bool remove_value(Cell* block, const Cell* value, bool from_head);

// ---- Copies -----------------------------------------------------------------------

// A new block of the cells from the index to the tail, pushed on the
// argument stack (capacity = the count, 1 when empty), with the source's
// type byte.  With deep every nested block!, and with paths also every
// nested paren! and path kind, is replaced by its own clone (same flags),
// keeping the nested cell's header.  A block met again inside itself raises
// internal/no-cycle; nesting deeper than the cycle stack raises
// internal/too-deep.
Cell* clone(const Cell* block, bool deep, bool paths);
// A shallow copy from the index as a new value (not pushed).
Cell copy(const Cell* block);
// For the cells [first, end) of the buffer of `node` (cell offsets from the
// head) stepping `step` cells: each cell whose type the spec names (a
// typeset! bit, or a datatype!'s id) and that is a series or object-like
// value is replaced by its copy through the copy action (passing deep, and
// the spec when deep).  Offsets, not addresses: every copy may move the
// buffer.
void copy_typed_values(Node node, uint32_t first, uint32_t end, uint32_t step, bool deep,
                       const Cell* types);

// ---- Registration -------------------------------------------------------------------

void init();   // registers block! (id 5); after series::init

// Registers the runtime's global block cells with the collector (after
// every memory::init); block::init calls it.
void init_storage();

}  // namespace qor::block
