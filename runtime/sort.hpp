// The system's own sorts over fixed-width records in raw memory: a stable
// natural merge sort (powersort merge policy) and an unstable in-place
// quicksort.  They know nothing of values; a comparison callback orders two
// records.  Sorting that can run Qor code must use these, never the C
// runtime's qsort, since a comparator may throw through them.
//
// Exception safety: a comparator may throw (qor::Thrown or anything else).
// The throw propagates, any memory the sort took is released, and the
// records are left a permutation of the input: none lost, none duplicated,
// merely partly sorted.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qor::sort {

// Orders record a against record b: a result > 0 means a must come after b;
// <= 0 means a may stay before b (0 means the two are equal).  opt1 and opt2
// are the caller's, passed through untouched.
using Compare = int32_t (*)(const void* a, const void* b, intptr_t opt1, intptr_t opt2);

constexpr size_t MIN_RUN = 24;          // merge sort extends shorter runs by insertion
constexpr size_t INSERTION_LIMIT = 7;   // quicksort finishes this few records by insertion

// Swaps two records of `width` bytes, byte by byte or by 32-bit words.
void swap(void* p, void* q, size_t width, bool bytewise);

// Bytes of merge buffer that merge_sort needs for `count` records of
// `width` bytes: floor(count / 2) records.  Above 0x7FFFFFFF the sort refuses.
uint64_t merge_buffer_size(size_t count, size_t width);

// Stable sort of `count` records of `width` bytes at `base`.  The merge
// buffer is taken from the tracked heap, or is `buffer` when one is given
// (at least merge_buffer_size bytes; a caller whose records hold values that
// the collector must see passes a buffer it scans, since records wait there
// while the comparator runs).  Answers false, sorting nothing, when the
// buffer size does not fit 31 bits: the caller raises script/too-long.
bool merge_sort(void* base, size_t count, size_t width, intptr_t opt1, intptr_t opt2,
                Compare compare, void* buffer = nullptr);

// Unstable in-place sort: measures how far the input is already ordered
// (by sampling), then calls quick with the length of its ordered prefix as
// the hint (0 when the input is not mostly ordered).  Uses no heap memory.
void qsort(void* base, size_t count, size_t width, intptr_t opt1, intptr_t opt2, Compare compare);

// The quicksort proper.  The first `hint` records must already be in order;
// a hint of `count` leaves everything as it is.
void quick(void* base, size_t hint, size_t count, size_t width, intptr_t opt1, intptr_t opt2,
           Compare compare);

}  // namespace qor::sort
