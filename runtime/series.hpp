// Cell and series primitives: retyping and copying single cells, growing a
// buffer at its tail, and reaching the word list of a context record.  These
// and the memory manager are the only code that moves a buffer's tail by
// itself.
#pragma once
#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

#include <cstdint>

namespace qor::cell {

// header = (header without the type byte) | type: every flag is kept.
inline void set_type(Cell* c, uint32_t type) { c->header = (c->header & ~uint32_t(TYPE_MASK)) | (type & TYPE_MASK); }
inline void clear_new_line(Cell* c) { c->header &= ~FLAG_NEW_LINE; }
inline Cell* copy(const Cell* source, Cell* destination) {
    if (source != destination) *destination = *source;
    return destination;
}

}  // namespace qor::cell

namespace qor::series_buffer {

// A new cell at the tail (type unset!, payload not written), doubling the
// buffer when it is full.  Answers the cell's address in the possibly new
// buffer; the old buffer address is stale afterwards: take it from the node.
Cell* alloc_tail_cell(SeriesBuffer* buffer);
// Reserves n bytes at the tail (not initialised) and answers their address;
// a full buffer doubles, or grows to 2n when n exceeds its capacity.
uint8_t* alloc_tail_bytes(SeriesBuffer* buffer, uint32_t n);

}  // namespace qor::series_buffer

namespace qor::block_buffer {

// alloc_tail_cell on the buffer of a block cell's node.
Cell* alloc_tail(Cell* block);

}  // namespace qor::block_buffer

namespace qor::series {

// A new byte-allocated buffer holding `count` units of `node` from `offset`
// (both in units), with the source's flags less the owned bit.
Node copy_units(Node node, uint32_t offset, uint32_t count);

}  // namespace qor::series

namespace qor::context {

// The record is cell 0 of a context; its first payload word is the node of
// the context's hash table, whose word 5 is the node of the word list.
Node          word_list_node(const Cell* record);
SeriesBuffer* word_list_buffer(const Cell* record);
Cell*         word_at(const Cell* record, uint32_t index);

}  // namespace qor::context
