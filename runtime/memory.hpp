// The memory manager: nodes, series buffers and the frames they live in.
//
// Every series of the runtime (blocks, strings, binaries, hash tables,
// contexts, symbol spellings) is a series buffer reached through a node.  A
// node is a 32-bit slot in a node frame that never moves and holds the
// buffer's current address; cells hold nodes, never buffer addresses, so the
// collector can slide buffers around and rewrite one slot per buffer.
//
//   node frame    OS block: 9-word header, then `capacity` node slots
//   series frame  OS block: 5-word header, then buffers cut bump-pointer style
//   big buffer    OS block of its own: 3-word header, then the buffer
//                 (any buffer whose capacity + 24 reaches 2 MB)
//   fixed series  tracked-heap block that never moves (root block, stacks)
//
// A buffer inside a frame occupies capacity + 24 bytes: the 20-byte header,
// the data, and 4 spare bytes so that a pointer one past the data still lies
// inside its own buffer.  Capacities are multiples of 16.
//
// Allocation may collect (collector.hpp) and the collector may move any
// buffer that no machine-stack word points into.  C++ code keeps the node or
// an index across a call that can allocate, never a raw pointer into a buffer
// (docs/design.md, "Holding values across allocation").
#pragma once
#include "runtime/cell.hpp"

#include <cstddef>
#include <cstdint>

namespace qor {

// Flags word of a series buffer.
enum : uint32_t {
    SERIES_UNIT_MASK   = 0x0000001Fu,  // bytes per element: 1, 2, 4, 8 or 16
    SERIES_LIVE        = 0x80000000u,  // cleared when an expansion abandons the buffer
    SERIES_SCANNED     = 0x40000000u,  // collector: a hash-table record's arrays were marked
    SERIES_MADE        = 0x20000000u,  // set on every buffer when it is made
    SERIES_HEAD_MIDDLE = 0x10000000u,  // head was put in the middle of the data
    SERIES_MARK        = 0x08000000u,  // collector mark
    SERIES_PINNED      = 0x04000000u,  // collector: a machine-stack word points in; do not move
    SERIES_BIG         = 0x01000000u,  // has an OS block of its own
    SERIES_FIXED       = 0x00100000u,  // tracked-heap buffer that never moves
    SERIES_BITSET_NOT  = 0x00080000u,  // reserved for bitset! (stored complemented)
    SERIES_OWNED       = 0x00020000u,  // owned by an object field (ownership.hpp)
    SERIES_COMPILED    = 0x00040000u,  // the library's own code: runs as compiled code (interpreter.hpp)
};

struct SeriesBuffer {
    uint32_t  flags;
    uint32_t* node;      // owning node; 0 once an expansion abandoned the buffer
    uint32_t  capacity;  // data bytes, a multiple of 16
    uint8_t*  head;      // first element in use
    uint8_t*  tail;      // one past the last element in use

    uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
    uint8_t* data_end() { return data() + capacity; }
    uint32_t unit() const { return flags & SERIES_UNIT_MASK; }
    uint32_t byte_length() const { return uint32_t(tail - head); }
    uint32_t length() const { return byte_length() / unit(); }
};
static_assert(sizeof(SeriesBuffer) == 20, "a series header is five 32-bit words");
static_assert(offsetof(SeriesBuffer, flags) == 0 && offsetof(SeriesBuffer, node) == 4 &&
              offsetof(SeriesBuffer, capacity) == 8 && offsetof(SeriesBuffer, head) == 12 &&
              offsetof(SeriesBuffer, tail) == 16);

// Bytes a frame-allocated buffer takes: header, data, 4 spare bytes.
constexpr uint32_t SERIES_OVERHEAD = 24;

// Nodes and the buffers behind them.
inline SeriesBuffer* buffer_of(Node node) { return reinterpret_cast<SeriesBuffer*>(*node); }
inline Node cell_node(const Cell* c) { return reinterpret_cast<Node>(c->data2); }
inline void set_cell_node(Cell* c, Node node) { c->data2 = reinterpret_cast<uint32_t>(node); }
inline Cell* cells_head(SeriesBuffer* s) { return reinterpret_cast<Cell*>(s->head); }
inline Cell* cells_tail(SeriesBuffer* s) { return reinterpret_cast<Cell*>(s->tail); }

struct NodeFrame {
    NodeFrame* next;
    NodeFrame* prev;
    uint32_t   capacity;   // node slots (10000 for every frame the runtime makes)
    uint32_t*  free_head;  // first free slot, 0 when full
    uint32_t   used;
    uint32_t   stamp;      // collector's series-cycle count when made
    uint32_t   last_used;  // `used` at the end of the previous collection
    uint32_t   history;    // bit 0 set per collection that left `used` unchanged
    uint32_t   evacuated;  // 1 once the collector moved every live node out

    uint32_t* slots() { return reinterpret_cast<uint32_t*>(this + 1); }
    uint32_t* slots_end() { return slots() + capacity; }
};
static_assert(sizeof(NodeFrame) == 36, "a node-frame header is nine 32-bit words");

// Heap checking (debug and sanitizer builds, QOR_HEAP_VERIFY): vacated
// storage is filled with a poison pattern, so that a stale pointer reads
// garbage instead of the old, plausible contents.  A poisoned cell has an
// impossible type id and odd, unaligned payload words.
#ifdef QOR_HEAP_VERIFY
constexpr bool     HEAP_POISONING = true;
#else
constexpr bool     HEAP_POISONING = false;
#endif
constexpr uint8_t  HEAP_POISON    = 0xDB;
constexpr uint32_t POISON_WORD    = 0xDBDBDBDBu;

// A free node slot holds the next free slot of its frame (0 for the last)
// XORed with this key.  In the checking builds the key makes a stale node
// read as an odd address far from any buffer; elsewhere it is 0.  In-use
// slots hold 4-aligned buffer addresses, so the two never meet.
constexpr uint32_t NODE_FREE_KEY = HEAP_POISONING ? POISON_WORD : 0u;
namespace memory {
inline uint32_t encode_free_link(uint32_t* next) { return reinterpret_cast<uint32_t>(next) ^ NODE_FREE_KEY; }
inline uint32_t* decode_free_link(uint32_t value) { return reinterpret_cast<uint32_t*>(value ^ NODE_FREE_KEY); }
// Whether a slot of `frame` holding `value` is on the free list.
inline bool is_free_slot_value(NodeFrame* frame, uint32_t value) {
    uint32_t link = value ^ NODE_FREE_KEY;
    return link == 0 || (link >= uint32_t(frame->slots()) && link < uint32_t(frame->slots_end()) && !(link & 3u));
}
}  // namespace memory

struct SeriesFrame {
    SeriesFrame* next;
    SeriesFrame* prev;
    uint32_t     size;  // payload + 20
    uint8_t*     heap;  // next free byte
    uint8_t*     end;   // one past the payload

    uint8_t* payload() { return reinterpret_cast<uint8_t*>(this + 1); }
};
static_assert(sizeof(SeriesFrame) == 20, "a series-frame header is five 32-bit words");

struct BigBlock {
    BigBlock* next;
    uint32_t  zero;
    uint32_t  size;  // capacity + 24

    SeriesBuffer* buffer() { return reinterpret_cast<SeriesBuffer*>(this + 1); }
};
static_assert(sizeof(BigBlock) == 12);

// One entry of the collector's stack-scan table.
struct ScanEntry {
    uint32_t  pointer;  // the word found
    uint32_t* slot;     // where it was found
};
static_assert(sizeof(ScanEntry) == 8);

struct MemoryRecord {
    uint32_t     os_total;  // bytes obtained through os_alloc (rounded sizes)
    NodeFrame*   node_first;
    NodeFrame*   node_last;
    NodeFrame*   node_active;
    SeriesFrame* series_first;  // kept sorted by address
    SeriesFrame* series_active;
    SeriesFrame* series_last;
    uint32_t     frame_size_initial;
    uint32_t     frame_size_next;
    uint32_t     frame_size_max;  // also the big-buffer threshold
    BigBlock*    big_first;
    ScanEntry*   scan_table;
    ScanEntry*   scan_end;
    uint32_t     scan_capacity;  // entries
};

namespace memory {

constexpr uint32_t NODES_PER_FRAME    = 10000;
constexpr uint32_t FRAME_SIZE_INITIAL = 0x100000;  // 1 MB
constexpr uint32_t FRAME_SIZE_MAX     = 0x200000;  // 2 MB
constexpr uint32_t FRAME_MIN_FREE     = 52428;     // below this a frame found after a collection is skipped
constexpr uint32_t PAGE_SIZE          = 4096;
// Largest capacity the manager hands out; bigger requests raise no-memory.
constexpr uint32_t MAX_CAPACITY       = 0x7FFF0000u;

extern MemoryRecord* record;  // null before init

// Start-up: fills the record, makes the collector's tables, the first node
// frame (10000 nodes) and the first series frame (1 MB).  Calling it again
// releases everything first (tests start from a clean manager).
void init();
// Gives back every frame, big buffer and collector table; the manager is
// then uninitialised.  Not called by the runtime, which lets the OS reclaim.
void release_all();
bool initialised();
// Counts init() calls: a module that keeps nodes or fixed buffers in globals
// compares it with the value it saw when it built them, and builds them
// again after a new init() (tests re-initialise the manager).
uint32_t generation();

// OS blocks: size + 4 rounded up to pages; the size is kept in the first
// word.  Page-allocator failure raises internal/no-memory (or wrong-mem).
void* os_alloc(uint32_t size, bool executable = false);
void  os_free(void* block);

// Node frames.
NodeFrame* new_node_frame(uint32_t capacity);
void       free_node_frame(NodeFrame* frame);
Node       alloc_node();                        // slot cleared to 0; never collects
void       free_node(NodeFrame* frame, Node node);
void       update_node_frames();                // after each collection

// Series frames and big buffers.
SeriesFrame*  new_series_frame();
void          free_series_frame(SeriesFrame* frame);
SeriesFrame*  find_series_frame(uint32_t size);  // first with heap + size < end
void          reserve_series_space(uint32_t bytes);  // new frames until that much is free
SeriesBuffer* alloc_big(uint32_t total);
void          free_big(SeriesBuffer* buffer);
void          sweep_big();                       // collector phase

// Allocation.  Every allocation returns zero-length storage (head = tail).
// n is in units of `unit` bytes; head_offset is a byte offset of the head
// into the data, or -1 for the middle.  May collect before cutting.
SeriesBuffer* alloc_series_buffer(uint32_t n, uint32_t unit, int32_t head_offset);
Node alloc_series(uint32_t n, uint32_t unit, int32_t head_offset);
Node alloc_cells(uint32_t n);
Node alloc_cells_unset(uint32_t n);        // every cell of the capacity reads unset!
Node alloc_bytes(uint32_t n);              // n = 0 means 16
Node alloc_units(uint32_t n, uint32_t unit);  // unit 1, 2 or 4; n = 0 means 16 bytes' worth
Node alloc_bytes_filled(uint32_t n, uint8_t byte);
Node alloc_fixed_series(uint32_t n, uint32_t unit, int32_t head_offset);  // never moves
// Every fixed buffer made so far (the collector clears their marks).
uint32_t      fixed_series_count();
SeriesBuffer* fixed_series_at(uint32_t i);

// Growth.  new_capacity is in bytes; 0 doubles.  The old buffer is
// abandoned (node 0, live bit cleared) and reclaimed by the collector; the
// returned buffer is the one the node now points at.
SeriesBuffer* expand_buffer(SeriesBuffer* buffer, uint32_t new_capacity);
SeriesBuffer* expand_series(SeriesBuffer* buffer, uint32_t new_capacity);  // also copies the data
SeriesBuffer* expand_series_filled(SeriesBuffer* buffer, uint32_t new_capacity, uint8_t byte);
Node          clone_series(SeriesBuffer* buffer);

void fill_range(uint8_t* start, uint8_t* end, uint8_t byte);
// Fills vacated storage with HEAP_POISON in the checking builds; does
// nothing elsewhere.
inline void poison(uint8_t* start, uint8_t* end) {
    if constexpr (HEAP_POISONING) fill_range(start, end, HEAP_POISON);
}
void zero_words(uint32_t* start, uint32_t* end);

// Memory statistics for the `stats` native.  Mode 1 answers the bytes in
// use; mode 2 and above also append the frame tables to `block` (see
// memory.cpp).  Collection is off meanwhile.
double stats(Cell* block, int mode);


// The language errors of the memory manager: internal/no-memory and
// internal/wrong-mem through the raiser that the error catalog installs (it
// makes the error value and throws); before it is installed, or when making
// the value fails in turn, a bare Thrown{THROW_ERROR}.
[[noreturn]] void raise_no_memory();

// Checked size arithmetic for sizes that come from user input: raise
// internal/no-memory on overflow or beyond MAX_CAPACITY.  Inline: every
// allocation does both.
inline uint32_t checked_mul(uint32_t a, uint32_t b) {
    uint64_t r = uint64_t(a) * b;
    if (r > MAX_CAPACITY) [[unlikely]] raise_no_memory();
    return uint32_t(r);
}
inline uint32_t checked_add(uint32_t a, uint32_t b) {
    uint64_t r = uint64_t(a) + b;
    if (r > MAX_CAPACITY) [[unlikely]] raise_no_memory();
    return uint32_t(r);
}
[[noreturn]] void raise_wrong_mem();
void set_error_raiser(void (*raiser)(const char* id));

}  // namespace memory

namespace series {
void set_flags(Node node, uint32_t bits);  // ORs bits into the buffer's flags
}

}  // namespace qor
