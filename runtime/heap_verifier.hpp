// The heap verifier: a whole-heap consistency check, run after collections
// in the checking builds (QOR_HEAP_VERIFY, defined by the debug and
// sanitizer presets) beside the poisoning of vacated storage (memory.hpp).
//
// It checks what the collector and every series operation rely on:
//   - each node frame: its free list stays inside the frame and is as long
//     as `used` says; every node in use names the start of a buffer in a
//     series frame, a big block or a fixed series, whose back-pointer is
//     that node;
//   - each series frame is a run of well-formed buffers up to its heap end
//     (capacity a multiple of 16, head and tail inside the data, a valid
//     unit, no collector bits left behind); every live buffer's node points
//     back at it, and live buffers and nodes in use are equally many;
//   - every reachable cell (those of live cell buffers and registered
//     globals) has a known type id and refers only to nodes in use whose
//     buffers have the unit its type stores; a bound word's slot index lies
//     inside its context.  Cells under root guards are left out: a guard is
//     often set up before its cell is written, and the collector only marks
//     what it recognises there.
// The first fault found is reported: which cell, buffer or node, and what is
// wrong with it.
#pragma once
#include <cstdint>

namespace qor::heap_verifier {

// Checks the whole heap now.  Answers null when it is sound, else the report
// of the first fault (valid until the next check).  Never allocates from
// the frames and never collects.
const char* check();

// The collector's hook, compiled in by QOR_HEAP_VERIFY: every N-th
// collection is checked, N from the environment variable QOR_HEAP_VERIFY
// (default 1, 0 = never); a fault prints its report on standard error and
// aborts.
void after_collection();
void set_interval(uint32_t n);  // overrides the environment (tests)

}  // namespace qor::heap_verifier
