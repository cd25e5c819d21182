// series!: the registration that holds the position and editing actions
// shared by every series type (blocks, strings, binaries, vectors, images).
//
//   parent   none; never the type of a value
//   cell     word 1 index in units from the buffer head (0-based)
//            word 2 node of the series buffer
//            word 3 type extra (hash! table node, vector! element type)
//
// The code works on any unit width (1, 2, 4 or 16 bytes): the same routine
// moves the characters of a string and the cells of a block.  Work that is
// specific to one type (a hash! index kept in step, characters that need a
// wider unit, vector elements) is dispatched inside on the type byte.
//
// A position may lie past the tail when another value sharing the buffer was
// shortened; every action clamps such an index before it works.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace qor::series {

// ---- Geometry ----------------------------------------------------------------

inline SeriesBuffer* buffer(const Cell* value) { return buffer_of(cell_node(value)); }
inline uint32_t index_of(const Cell* value) { return value->data1; }
inline void set_index(Cell* value, uint32_t index) { value->data1 = index; }
// log2 of a unit of 1, 2, 4, 8 or 16 bytes.
inline uint32_t shift_of(uint32_t unit) {
    return unit >= 16 ? 4 : unit >= 8 ? 3 : unit >= 4 ? 2 : unit >= 2 ? 1 : 0;
}
inline uint32_t shift(const Cell* value) { return shift_of(buffer(value)->unit()); }
// Address of the value's position (may lie past the tail).
inline uint8_t* position(const Cell* value) {
    return buffer(value)->head + (uint32_t(value->data1) << shift(value));
}

// 1 when the position is at or past the tail.
bool past_tail_q(const Cell* value);
// Units between head and tail.
uint32_t buffer_units(const Cell* value);
// Adds n to the index only when the new position stays within the tail;
// answers whether the (possibly unchanged) position is at the tail.
bool skip_by(Cell* value, int32_t n);
// Units from the index (from the head with the flag) to the tail; an index
// past the tail is first pulled back to the tail (the answer is then 0).
uint32_t length_from(Cell* value, bool from_head);
// For the at (base 1) and skip (base 0) actions: reads the integer second
// argument of the running call and answers the clamped new index.
uint32_t position_from_arg(bool base);

// Reads an integer! argument as the count of a /part-like refinement, or the
// distance to a series of the same type and buffer; anything else raises
// script/invalid-refine-arg with the refinement's word.
int32_t part_count(const Cell* value, const Cell* part, const char* refinement);

// ---- Change notification -------------------------------------------------------

// Tells the owner of an owned series of a change (before: the action word,
// after: its past form).  `action` is the word's spelling ("append",
// "appended" ...).  Answers whether an owner was told; series whose buffer is
// not owned answer false at once.
bool notify(const Cell* series, const char* action, const Cell* new_value, int32_t index, int32_t count);

// Words for change notices and refinement-named fields come from the word
// module once words exist; until then a provider answers null and no notice
// is sent.
using WordProvider = const Cell* (*)(const char* spelling);
void set_word_provider(WordProvider provider);
const Cell* word_for(const char* spelling);   // null when no provider or no word

// ---- Registration ----------------------------------------------------------------

void init();   // registers series! (id 42); before block! and string!

}  // namespace qor::series

namespace qor {

// The series! action entries (slot numbers of the registry).
Cell*   series_random(Cell* value, bool seed, bool secure, bool only);
Cell*   series_reflect(Cell* value, Cell* field);
void    series_at();
void    series_back();
Cell*   series_clear(Cell* value);
Cell*   series_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
void    series_head();
void    series_head_q();
void    series_index_q();
int32_t series_length_q(Cell* value);
Cell*   series_move(Cell* origin, Cell* target, Cell* part);
void    series_next();
Cell*   series_pick(Cell* value, int32_t index);
Cell*   series_poke(Cell* value, int32_t index, Cell* new_value);
Cell*   series_remove(Cell* value, Cell* part, Cell* key);
Cell*   series_reverse(Cell* value, Cell* part, Cell* skip);
void    series_skip();
void    series_tail();
void    series_tail_q();
Cell*   series_take(Cell* value, Cell* part, bool deep, bool last);
Cell*   series_modify(Cell* target, Cell* field, Cell* value, bool case_sensitive);

}  // namespace qor
