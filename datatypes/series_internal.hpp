// Helpers shared by the series, block and path code (not a public API).
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace qor::series {

// Room for `extra` more bytes at the tail of the node's buffer.  When the
// free room is short, the buffer grows to `grow_to(needed)` bytes, where
// needed = used bytes + extra; the answer is the buffer as it stands
// afterwards (possibly new: addresses taken before are stale).
enum class Growth { Double, Exact };
SeriesBuffer* reserve(Node node, uint32_t extra, Growth growth);

// Opens a gap of `bytes` at byte offset `at` from the head (room must have
// been reserved); the tail moves up.
void open_gap(SeriesBuffer* s, uint32_t at, uint32_t bytes);
// Closes `bytes` at byte offset `at`; the tail drops.
void close_gap(SeriesBuffer* s, uint32_t at, uint32_t bytes);

// The unit count of a value's position clamped to the tail (the index is
// pulled back in the cell too).
uint32_t clamp_index(Cell* value);

// True when `other` is a series of the same type and buffer as `value`.
bool same_series_q(const Cell* value, const Cell* other);

// Copies the value's bytes [start, start + count units) into a new buffer of
// the same unit and flags (less the owned bit); the result cell becomes the
// value's type with index 0 (and the new-line marker of the source).
void copy_range_into(const Cell* source, uint32_t start, uint32_t count, Cell* result);

// Reads element `offset` (units from the head) of a series that is not a
// block into `out`: a vector element as a value of its element type, a
// binary byte as integer!, else a char! read with the unit width.
void read_element(const Cell* value, uint32_t offset, Cell* out);

}  // namespace qor::series

namespace qor::block {

// Registers the runtime's global block cells with the collector (after
// every memory::init); block::init calls it.
void init_storage();

}  // namespace qor::block

namespace qor::symbols {

// The canonical symbol of an id (the first spelling that differs only in
// letter case).
uint32_t canonical(uint32_t id);

}  // namespace qor::symbols

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
