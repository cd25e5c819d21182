// Helpers shared by the series, block and path code: buffer room, gaps,
// clamped indexes, range copies and element reads (not a public API).
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
