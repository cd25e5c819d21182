// The memory manager: OS blocks, node frames, series frames, big buffers,
// allocation and growth of series buffers, and the statistics report.
#include "runtime/memory.hpp"

#include "runtime/collector.hpp"
#include "runtime/heap.hpp"
#include "runtime/platform.hpp"
#include "runtime/runtime_record.hpp"
#include "runtime/series.hpp"
#include "runtime/throw.hpp"

#include <cstring>

namespace qor::memory {

MemoryRecord* record = nullptr;

namespace {

MemoryRecord the_record;
uint32_t init_count = 0;

// Fixed series live on the tracked heap outside every frame; they are listed
// here so that the collector can clear their marks and release_all can free
// them.
SeriesBuffer** fixed_list = nullptr;
uint32_t fixed_count = 0;
uint32_t fixed_capacity = 0;

constexpr uint32_t SCAN_TABLE_INITIAL = 1000;

// Bits that describe where a buffer's storage lives; a buffer that takes
// another's flags word keeps its own.
constexpr uint32_t STORAGE_BITS = SERIES_BIG | SERIES_FIXED | SERIES_MARK | SERIES_PINNED | SERIES_SCANNED;

uint32_t round16(uint32_t n) { return checked_add(n, 15) & ~15u; }

void remember_fixed(SeriesBuffer* s) {
    if (fixed_count == fixed_capacity) {
        uint32_t cap = fixed_capacity ? fixed_capacity * 2 : 16;
        fixed_list = static_cast<SeriesBuffer**>(heap::realloc(fixed_list, cap * sizeof(SeriesBuffer*)));
        fixed_capacity = cap;
    }
    fixed_list[fixed_count++] = s;
}

void ensure_init() {
    if (!record) init();
}

// Makes a new frame and remembers the size rule for the following ones.
SeriesFrame* frame_for(uint32_t total) {
    if (total >= record->frame_size_next) record->frame_size_next = record->frame_size_max;
    return new_series_frame();
}

// The whole allocation, also telling where the old buffer was found again
// after a collection that may have moved it.
SeriesBuffer* expand_impl(SeriesBuffer* buffer, uint32_t new_capacity, SeriesBuffer** old_out) {
    if (new_capacity == 0) {
        if (buffer->capacity > MAX_CAPACITY / 2) raise_no_memory();
        new_capacity = buffer->capacity * 2;
    }
    if (int32_t(new_capacity) <= 0 || new_capacity > MAX_CAPACITY) raise_no_memory();

    Node node = buffer->node;
    uint32_t unit = buffer->unit() ? buffer->unit() : 1;
    SeriesBuffer* fresh = alloc_series_buffer((new_capacity + unit - 1) / unit, unit, 0);
    // The allocation may have collected and moved the old buffer: find it
    // again through its node.
    SeriesBuffer* old = node ? buffer_of(node) : buffer;

    fresh->flags = (old->flags & ~STORAGE_BITS) | (fresh->flags & STORAGE_BITS);
    fresh->node = node;
    uint32_t length = old->byte_length();
    if (length > fresh->capacity) length = fresh->capacity;
    fresh->tail = fresh->head + length;
    if (node) *node = reinterpret_cast<uint32_t>(fresh);
    old->node = nullptr;
    old->flags &= ~SERIES_LIVE;
    *old_out = old;
    return fresh;
}

}  // namespace

// ---- Errors ---------------------------------------------------------------

namespace {

void (*error_raiser)(const char* id) = nullptr;
bool raising = false;

[[noreturn]] void raise_internal(const char* id) {
    if (error_raiser && !raising) {
        raising = true;
        try {
            error_raiser(id);
        } catch (...) {
            raising = false;
            throw;
        }
        raising = false;
    }
    throw Thrown{THROW_ERROR};
}

}  // namespace

void set_error_raiser(void (*raiser)(const char* id)) { error_raiser = raiser; }
void raise_no_memory() { raise_internal("no-memory"); }
void raise_wrong_mem() { raise_internal("wrong-mem"); }

// ---- Life cycle -----------------------------------------------------------

bool initialised() { return record != nullptr; }

uint32_t generation() { return init_count; }

void init() {
    if (record) release_all();
    init_count++;
    record = &the_record;
    std::memset(record, 0, sizeof *record);
    record->frame_size_initial = FRAME_SIZE_INITIAL;
    record->frame_size_next = FRAME_SIZE_INITIAL;
    record->frame_size_max = FRAME_SIZE_MAX;
    record->scan_table = static_cast<ScanEntry*>(heap::alloc(SCAN_TABLE_INITIAL * sizeof(ScanEntry)));
    record->scan_end = record->scan_table;
    record->scan_capacity = SCAN_TABLE_INITIAL;
    gc::init_tables();
    new_node_frame(NODES_PER_FRAME);
    SeriesFrame* first = new_series_frame();
    record->series_active = first;
}

void release_all() {
    if (!record) return;
    for (NodeFrame* f = record->node_first; f;) {
        NodeFrame* next = f->next;
        os_free(f);
        f = next;
    }
    for (SeriesFrame* f = record->series_first; f;) {
        SeriesFrame* next = f->next;
        os_free(f);
        f = next;
    }
    for (BigBlock* b = record->big_first; b;) {
        BigBlock* next = b->next;
        os_free(b);
        b = next;
    }
    for (uint32_t i = 0; i < fixed_count; i++) heap::free(fixed_list[i]);
    heap::free(fixed_list);
    fixed_list = nullptr;
    fixed_count = fixed_capacity = 0;
    heap::free(record->scan_table);
    gc::release_tables();
    record = nullptr;
}

// ---- OS blocks ------------------------------------------------------------

void* os_alloc(uint32_t size, bool executable) {
    uint64_t rounded = (uint64_t(size) + 4 + PAGE_SIZE - 1) & ~uint64_t(PAGE_SIZE - 1);
    if (rounded > MAX_CAPACITY) raise_no_memory();
    void* pages;
    try {
        pages = platform::virtual_alloc(size_t(rounded), executable);
    } catch (const Thrown& t) {
        if (!catches(LEVEL_OS_PAGES, t.code) || t.code < THROW_OS_FREE) throw;
        runtime::record->thrown = 0;
        raise_no_memory();
    }
    uint32_t* base = static_cast<uint32_t*>(pages);
    base[0] = uint32_t(rounded);
    if (record) record->os_total += uint32_t(rounded);
    return base + 1;
}

void os_free(void* block) {
    uint32_t* base = static_cast<uint32_t*>(block) - 1;
    uint32_t size = base[0];
    if (record) record->os_total -= size;
    try {
        platform::virtual_free(base, size);
    } catch (const Thrown& t) {
        if (!catches(LEVEL_OS_PAGES, t.code) || t.code < THROW_OS_FREE) throw;
        runtime::record->thrown = 0;
        raise_wrong_mem();
    }
}

// ---- Node frames ----------------------------------------------------------

NodeFrame* new_node_frame(uint32_t capacity) {
    ensure_init();
    uint32_t bytes = checked_add(sizeof(NodeFrame), checked_mul(capacity, 4));
    NodeFrame* f = static_cast<NodeFrame*>(os_alloc(bytes));
    f->capacity = capacity;
    f->used = 0;
    f->stamp = gc::counters.series_cycles;
    f->last_used = 0;
    f->history = 0;
    f->evacuated = 0;
    // Chain the free slots in address order; the last holds 0.
    uint32_t* slots = f->slots();
    for (uint32_t i = 0; i + 1 < capacity; i++) slots[i] = encode_free_link(&slots[i + 1]);
    if (capacity) slots[capacity - 1] = encode_free_link(nullptr);
    f->free_head = capacity ? slots : nullptr;

    f->next = nullptr;
    f->prev = record->node_last;
    if (record->node_last) record->node_last->next = f;
    else record->node_first = f;
    record->node_last = f;
    if (!record->node_active) record->node_active = f;
    return f;
}

void free_node_frame(NodeFrame* frame) {
    if (frame->prev) frame->prev->next = frame->next;
    else record->node_first = frame->next;
    if (frame->next) frame->next->prev = frame->prev;
    else record->node_last = frame->prev;
    if (record->node_active == frame) record->node_active = record->node_last;
    os_free(frame);
}

Node alloc_node() {
    ensure_init();
    NodeFrame* f = record->node_active;
    if (!f || !f->free_head || f->evacuated) {
        f = nullptr;
        for (NodeFrame* x = record->node_first; x; x = x->next) {
            if (x->free_head && !x->evacuated) {
                f = x;
                break;
            }
        }
        if (!f) f = new_node_frame(NODES_PER_FRAME);
        record->node_active = f;
    }
    uint32_t* slot = f->free_head;
    f->free_head = decode_free_link(*slot);
    *slot = 0;
    f->used++;
    return slot;
}

void free_node(NodeFrame* frame, Node node) {
    *node = encode_free_link(frame->free_head);
    frame->free_head = node;
    frame->used--;
}

void update_node_frames() {
    bool active_chosen = false;
    for (NodeFrame* f = record->node_first; f;) {
        NodeFrame* next = f->next;
        if (f->used == 0 || f->evacuated) {
            free_node_frame(f);
        } else {
            if (!active_chosen && f->used < f->capacity) {
                record->node_active = f;
                active_chosen = true;
            }
            f->history = (f->history << 1) | (f->used == f->last_used ? 1u : 0u);
            f->last_used = f->used;
        }
        f = next;
    }
}

// ---- Series frames and big buffers -----------------------------------------

SeriesFrame* new_series_frame() {
    ensure_init();
    uint32_t size = record->frame_size_next;
    if (record->frame_size_next < record->frame_size_max) {
        record->frame_size_next *= 2;
        if (record->frame_size_next > record->frame_size_max) record->frame_size_next = record->frame_size_max;
    }
    SeriesFrame* f = static_cast<SeriesFrame*>(os_alloc(size + sizeof(SeriesFrame)));
    f->size = size + sizeof(SeriesFrame);
    f->heap = f->payload();
    f->end = f->payload() + size;

    // Keep the list sorted by address.
    SeriesFrame* after = nullptr;
    for (SeriesFrame* x = record->series_first; x && x < f; x = x->next) after = x;
    f->prev = after;
    f->next = after ? after->next : record->series_first;
    if (f->next) f->next->prev = f;
    else record->series_last = f;
    if (after) after->next = f;
    else record->series_first = f;
    if (!record->series_active) record->series_active = f;
    return f;
}

void free_series_frame(SeriesFrame* frame) {
    if (frame->prev) frame->prev->next = frame->next;
    else record->series_first = frame->next;
    if (frame->next) frame->next->prev = frame->prev;
    else record->series_last = frame->prev;
    if (record->series_active == frame) record->series_active = record->series_last;
    os_free(frame);
}

SeriesFrame* find_series_frame(uint32_t size) {
    for (SeriesFrame* f = record->series_first; f; f = f->next)
        if (uint32_t(f->end - f->heap) > size) return f;
    return nullptr;
}

namespace {

// Adds frames until `free` (the bytes free in all frames) reaches `wanted`.
void grow_series_space(uint64_t free, uint64_t wanted) {
    while (free < wanted) {
        SeriesFrame* f = new_series_frame();
        free += uint32_t(f->end - f->heap);
    }
}

}  // namespace

// A collection that leaves little room is followed by another one soon, and
// each one walks the whole live heap: with a large live heap that turns
// allocation quadratic.  Growing until as much as the live size is free
// keeps the work of the collections proportional to what is allocated: a
// heap that only grows (a large load) is walked about twice in all.  Small
// heaps keep the plain rule: a frame with room to spare is used.
void grow_after_collection() {
    uint64_t used = 0, free = 0;
    for (SeriesFrame* f = record->series_first; f; f = f->next) {
        used += uint32_t(f->heap - f->payload());
        free += uint32_t(f->end - f->heap);
    }
    if (used < 4 * uint64_t(FRAME_SIZE_MAX)) return;
    grow_series_space(free, used);
}

// Room made ahead for data known to stay live (the library a start-up
// loads), so that filling it does not collect again and again for little.
void reserve_series_space(uint32_t bytes) {
    ensure_init();
    uint64_t free = 0;
    for (SeriesFrame* f = record->series_first; f; f = f->next) free += uint32_t(f->end - f->heap);
    grow_series_space(free, bytes);
}

SeriesBuffer* alloc_big(uint32_t total) {
    ensure_init();
    BigBlock* b = static_cast<BigBlock*>(os_alloc(checked_add(total, sizeof(BigBlock))));
    b->next = nullptr;
    b->zero = 0;
    b->size = total;
    BigBlock** link = &record->big_first;
    while (*link) link = &(*link)->next;
    *link = b;
    return b->buffer();
}

void free_big(SeriesBuffer* buffer) {
    BigBlock* block = reinterpret_cast<BigBlock*>(buffer) - 1;
    for (BigBlock** link = &record->big_first; *link; link = &(*link)->next) {
        if (*link == block) {
            *link = block->next;
            break;
        }
    }
    os_free(block);
}

void sweep_big() {
    for (BigBlock* b = record->big_first; b;) {
        BigBlock* next = b->next;
        SeriesBuffer* s = b->buffer();
        if (s->flags & SERIES_MARK) {
            s->flags &= ~(SERIES_MARK | SERIES_PINNED | SERIES_SCANNED);
        } else if (s->flags & SERIES_PINNED) {
            // Dead, but a machine-stack word still points in: keep it one
            // more cycle.
            s->flags &= ~SERIES_PINNED;
        } else {
            if (s->node && (s->flags & SERIES_LIVE) && buffer_of(s->node) == s) gc::defer_node_free(s->node);
            free_big(s);
        }
        b = next;
    }
}

// ---- Allocation -----------------------------------------------------------

SeriesBuffer* alloc_series_buffer(uint32_t n, uint32_t unit, int32_t head_offset) {
    ensure_init();
    if (unit == 0) unit = 1;
    uint32_t capacity = round16(checked_mul(n, unit));
    uint32_t total = checked_add(capacity, SERIES_OVERHEAD);
    gc::stress_tick();

    SeriesBuffer* s;
    uint32_t big = 0;
    if (total >= record->frame_size_max) {
        gc::collect_if_allowed();
        s = alloc_big(total);
        big = SERIES_BIG;
    } else {
        SeriesFrame* f = record->series_active;
        if (!f || uint32_t(f->end - f->heap) <= total) {
            f = find_series_frame(total);
            if (!f) {
                gc::collect_if_allowed();
                grow_after_collection();
                f = find_series_frame(total);
                if (!f || uint32_t(f->end - f->heap) < FRAME_MIN_FREE) f = frame_for(total);
            }
            record->series_active = f;
        }
        s = reinterpret_cast<SeriesBuffer*>(f->heap);
        f->heap += total;
    }

    s->capacity = capacity;
    s->flags = unit | SERIES_LIVE | big | SERIES_MADE;
    s->node = nullptr;
    uint8_t* head;
    if (head_offset == -1) {
        head = s->data() + capacity / 2;
        s->flags |= SERIES_HEAD_MIDDLE;
    } else {
        uint32_t offset = head_offset < 0 ? 0 : uint32_t(head_offset);
        head = s->data() + (offset > capacity ? capacity : offset);
    }
    s->head = s->tail = head;
    return s;
}

Node alloc_series(uint32_t n, uint32_t unit, int32_t head_offset) {
    SeriesBuffer* s = alloc_series_buffer(n, unit, head_offset);
    Node node = alloc_node();
    *node = reinterpret_cast<uint32_t>(s);
    s->node = node;
    return node;
}

Node alloc_cells(uint32_t n) { return alloc_series(n, sizeof(Cell), 0); }

Node alloc_cells_unset(uint32_t n) {
    Node node = alloc_cells(n);
    SeriesBuffer* s = buffer_of(node);
    Cell* c = reinterpret_cast<Cell*>(s->data());
    for (uint32_t i = 0; i < s->capacity / sizeof(Cell); i++) c[i] = Cell{TYPE_UNSET, 0, 0, 0};
    return node;
}

Node alloc_bytes(uint32_t n) { return alloc_series(n ? n : 16, 1, 0); }

Node alloc_units(uint32_t n, uint32_t unit) {
    if (unit == 0) unit = 1;
    return alloc_series(n ? n : 16 / unit, unit, 0);
}

Node alloc_bytes_filled(uint32_t n, uint8_t byte) {
    Node node = alloc_bytes(n);
    SeriesBuffer* s = buffer_of(node);
    fill_range(s->data(), s->data_end(), byte);
    return node;
}

Node alloc_fixed_series(uint32_t n, uint32_t unit, int32_t head_offset) {
    ensure_init();
    if (unit == 0) unit = 1;
    uint32_t capacity = round16(checked_mul(n, unit));
    SeriesBuffer* s = static_cast<SeriesBuffer*>(heap::alloc_zero(checked_add(capacity, sizeof(SeriesBuffer))));
    s->capacity = capacity;
    s->flags = unit | SERIES_LIVE | SERIES_FIXED | SERIES_MADE;
    uint32_t offset = head_offset < 0 ? capacity / 2 : uint32_t(head_offset);
    if (head_offset == -1) s->flags |= SERIES_HEAD_MIDDLE;
    s->head = s->tail = s->data() + (offset > capacity ? capacity : offset);
    remember_fixed(s);
    Node node = alloc_node();
    *node = reinterpret_cast<uint32_t>(s);
    s->node = node;
    return node;
}

uint32_t fixed_series_count() { return fixed_count; }
SeriesBuffer* fixed_series_at(uint32_t i) { return fixed_list[i]; }

// ---- Growth ---------------------------------------------------------------

SeriesBuffer* expand_buffer(SeriesBuffer* buffer, uint32_t new_capacity) {
    SeriesBuffer* old;
    SeriesBuffer* fresh = expand_impl(buffer, new_capacity, &old);
    poison(old->data(), old->data_end());
    return fresh;
}

SeriesBuffer* expand_series(SeriesBuffer* buffer, uint32_t new_capacity) {
    SeriesBuffer* old;
    SeriesBuffer* fresh = expand_impl(buffer, new_capacity, &old);
    // Everything from the old head to the end of the old data area; a
    // shrinking expansion keeps what fits.
    uint32_t bytes = uint32_t(old->data_end() - old->head);
    if (bytes > fresh->capacity) bytes = fresh->capacity;
    std::memcpy(fresh->head, old->head, bytes);
    // The old buffer stays in its frame until compaction; only its header
    // must stay readable.
    poison(old->data(), old->data_end());
    return fresh;
}

SeriesBuffer* expand_series_filled(SeriesBuffer* buffer, uint32_t new_capacity, uint8_t byte) {
    uint32_t old_capacity = buffer->capacity;
    SeriesBuffer* fresh = expand_series(buffer, new_capacity);
    if (fresh->capacity > old_capacity) fill_range(fresh->head + old_capacity, fresh->data_end(), byte);
    return fresh;
}

Node clone_series(SeriesBuffer* buffer) {
    Node old_node = buffer->node;
    Node node = alloc_series(buffer->capacity, 1, 0);
    SeriesBuffer* old = old_node ? buffer_of(old_node) : buffer;
    SeriesBuffer* fresh = buffer_of(node);
    fresh->flags = (old->flags & ~STORAGE_BITS) | (fresh->flags & STORAGE_BITS);
    fresh->tail = fresh->head + old->byte_length();
    uint32_t bytes = uint32_t(old->data_end() - old->head);
    if (bytes) std::memcpy(fresh->head, old->head, bytes);
    return node;
}

void fill_range(uint8_t* start, uint8_t* end, uint8_t byte) {
    if (end > start) std::memset(start, byte, size_t(end - start));
}

void zero_words(uint32_t* start, uint32_t* end) {
    for (uint32_t* p = start; p < end; p++) *p = 0;
}

// ---- Statistics -------------------------------------------------------------

namespace {

void push_number(Cell* block, uint64_t n) {
    Cell* c = block_buffer::alloc_tail(block);
    if (n > 2147483647u) {
        c->header = TYPE_FLOAT;
        c->data1 = 0;
        set_cell_float(c, double(n));
    } else {
        *c = Cell{TYPE_INTEGER, 0, uint32_t(n), 0};
    }
}

// Appends a new empty block (with the new-line marker) and answers its node.
Cell* push_block(Cell* block, uint32_t size) {
    Node node = alloc_cells(size);
    Cell* c = block_buffer::alloc_tail(block);
    *c = Cell{uint32_t(TYPE_BLOCK) | FLAG_NEW_LINE, 0, 0, 0};
    set_cell_node(c, node);
    return c;
}

void push_triple(Cell* block, uint64_t a, uint64_t b, uint64_t c) {
    Cell* inner = push_block(block, 3);
    push_number(inner, a);
    push_number(inner, b);
    push_number(inner, c);
}

}  // namespace

namespace {

// The bytes of a series frame's buffers, without the dead fillers that
// compaction leaves in front of pinned buffers: those bytes hold nothing.
uint32_t series_bytes_used(SeriesFrame* f) {
    uint32_t used = 0;
    for (uint8_t* p = f->payload(); p < f->heap;) {
        SeriesBuffer* s = reinterpret_cast<SeriesBuffer*>(p);
        uint32_t size = s->capacity + SERIES_OVERHEAD;
        if (s->node != nullptr || s->flags != 0) used += size;
        p += size;
    }
    return used;
}

}  // namespace

double stats(Cell* block, int mode) {
    ensure_init();
    // Nothing moves meanwhile, so the cells pointed at below stay put.
    gc::NoCollect no_collect;
    uint64_t in_use = 0;
    for (NodeFrame* f = record->node_first; f; f = f->next) in_use += 4ull * f->used;
    for (SeriesFrame* f = record->series_first; f; f = f->next) in_use += series_bytes_used(f);
    for (BigBlock* b = record->big_first; b; b = b->next) in_use += b->size;
    if (mode < 2 || !block) return double(in_use);

    Cell* nodes = push_block(block, 4);
    for (NodeFrame* f = record->node_first; f; f = f->next)
        push_triple(nodes, f->capacity - f->used, f->used, f->capacity);
    Cell* series = push_block(block, 4);
    for (SeriesFrame* f = record->series_first; f; f = f->next) {
        uint32_t payload = uint32_t(f->end - f->payload());
        push_triple(series, uint32_t(f->end - f->heap), series_bytes_used(f), payload);
    }
    Cell* bigs = push_block(block, 4);
    for (BigBlock* b = record->big_first; b; b = b->next) {
        push_number(bigs, b->size);
        SeriesBuffer* s = buffer_of(cell_node(bigs));
        cells_tail(s)[-1].header |= FLAG_NEW_LINE;
    }
    uint64_t tracked = uint64_t(heap::bytes_asked()) + 16ull * heap::block_count();
    push_number(block, uint64_t(record->os_total) + tracked);
    push_number(block, tracked);
    return double(in_use);
}

}  // namespace qor::memory

namespace qor::series {

void set_flags(Node node, uint32_t bits) { buffer_of(node)->flags |= bits; }

}  // namespace qor::series
