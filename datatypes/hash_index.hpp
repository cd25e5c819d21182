// Upkeep of a hash!'s index through the hash-table operations (used by the
// block and series code; not a public API).
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

// Upkeep of a hash!'s index.  Every function does nothing unless the value
// is a hash! that carries an index (word 3).  Offsets are cell offsets from
// the buffer head.
namespace qor::hash_index {

inline bool indexed_q(const Cell* value) { return type_of(value) == TYPE_HASH && value->data3 != 0; }

// Cells [from, from + count) moved by `delta` places: their indexes follow;
// the index is rebuilt when renumbering is too costly.
// `from` and `count` name the cells' places before the move; a negative
// delta also unindexes the cells the run moved over (from + delta .. from - 1).
void shift(const Cell* value, int32_t delta, uint32_t from, uint32_t count);
void put(const Cell* value, uint32_t offset);
void put_range(const Cell* value, uint32_t from, uint32_t count);
// Unindexes cells while they still hold the values that were indexed.
void unindex(const Cell* value, uint32_t offset);
void delete_range(const Cell* value, uint32_t from, uint32_t count);
// Rebuilds the whole index from the block.
void rebuild(const Cell* value);
// A new index over the cells of the value (stored in word 3).
void make_for(Cell* value);
// Searches with the index: the offset of the first cell matching `key` at
// or after `from` (or before it, backwards) in steps of `skip`; -1 when
// absent.  Answers -2 when there is no usable index.
int32_t find(const Cell* value, const Cell* key, uint32_t from, uint32_t skip, int32_t op, bool last,
             bool reverse);

}  // namespace qor::hash_index
