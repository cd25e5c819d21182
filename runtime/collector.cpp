// The garbage collector (see collector.hpp for the invariant).
//
// One collection, in order:
//   1. frame tables: node frames and series spans sorted by address;
//   2. machine-stack scan: every word from the scan's own frame up to the
//      stack base that falls inside a frame is recorded;
//   3. node frames that a stack word points into are pinned; the others may
//      be evacuated (sparse and stable for six collections);
//   4. marking: registered roots, guards, root callbacks, then the stack's
//      nodes and the buffers stack words point into (pinned, kept alive);
//   5. weak owner table, resource records;
//   6. compaction of the series frames, big buffers swept, dead nodes freed,
//      node frames updated; marks of the fixed buffers cleared.
#include "runtime/collector.hpp"

#include "runtime/address_map.hpp"
#include "runtime/heap_verifier.hpp"
#include "runtime/heap.hpp"
#include "runtime/ownership.hpp"
#include "runtime/resources.hpp"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__has_include)
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#define QOR_MEMCHECK 1
#endif
#endif

namespace qor::gc {

namespace detail {
void* thread_stack_top();  // collector_posix.cpp, collector_win32.cpp
}

Counters counters{0, 0};
bool collection_enabled = false;
bool node_compaction_enabled = true;
RootLink root_guards{&root_guards, &root_guards, nullptr, 0};

namespace {

// Tuning.
constexpr uint32_t DEFERRED_MAX       = 20000;  // nodes held before a flush
constexpr uint32_t FORWARDING_INITIAL = 20000;
constexpr uint32_t SCAN_TABLE_STEP    = 1000;
constexpr uint32_t EVACUATE_HISTORY   = 0x3F;   // used count unchanged for 6 collections
constexpr uint32_t EVACUATE_MAX_USED  = 5000;   // under half full
constexpr uint32_t CROSS_FRAME_MIN    = 52429;  // a previous frame's tail must have this much room

// Context record header: the values live on the argument stack.
constexpr uint32_t CONTEXT_VALUES_ON_STACK = 0x00400000u;
constexpr uint32_t EVENT_HAS_BLOCK = 0x00001000u;

// A growable array on the tracked heap (never in the frames).
template <class T>
struct Vec {
    T*       data = nullptr;
    uint32_t count = 0;
    uint32_t capacity = 0;

    void reserve(uint32_t n) {
        if (n <= capacity) return;
        data = static_cast<T*>(heap::realloc(data, size_t(n) * sizeof(T)));
        capacity = n;
    }
    void push(const T& v) {
        if (count == capacity) reserve(capacity ? capacity * 2 : 64);
        data[count++] = v;
    }
    void release() {
        heap::free(data);
        data = nullptr;
        count = capacity = 0;
    }
};

struct Span {
    uint32_t start;  // first byte that can belong to a buffer
    uint32_t end;
    void*    frame;  // SeriesFrame* or BigBlock*
    bool     big;
};

std::atomic<uint32_t> collecting{0};
bool     startup_done = false;
uint32_t stress_every = 0;
uint32_t stress_count = 0;
void*    stack_top = nullptr;
bool     scan_stack = true;
CellHook image_hook = nullptr;

Vec<RootCallback> root_callbacks;
Vec<Cell*>        global_cells;
Vec<uint32_t*>    global_nodes;
RootLink&         guards = root_guards;

Vec<uint32_t>   mark_stack;  // nodes of cell buffers still to scan
Vec<uint32_t*>  deferred;
Vec<NodeFrame*> node_table;
Vec<Span>       series_table;
Vec<uint32_t>   node_candidates;  // stack words that are node slots
Vec<NodeFrame*> pinned_frames;    // node frames stack words point into
uint32_t range_lo = 0, range_hi = 0;

// The node frame of each 4 KB page the table's frames cover, in two levels
// (1024 leaves of 1024 pages), so that finding the frame of an address
// costs two loads rather than a search.  Frames are whole OS pages of their
// own, so a page belongs to one frame; a page that two frames would share
// is marked SHARED_PAGE and searched.
constexpr uint32_t PAGE_SHIFT = 12;
constexpr uint32_t LEAF_BITS = 10;
constexpr uint32_t LEAF_PAGES = 1u << LEAF_BITS;
NodeFrame* const SHARED_PAGE = reinterpret_cast<NodeFrame*>(uintptr_t(1));
NodeFrame** page_leaves[1u << (32 - PAGE_SHIFT - LEAF_BITS)];
Vec<uint32_t> mapped_pages;   // the pages set, cleared at the next build
// The context the last word marked in this collection referred to.
uint32_t last_word_context = 0;

addrmap::AddressMap* forwarding = nullptr;

// ---- Frame tables -----------------------------------------------------------

void map_frame_pages() {
    for (uint32_t i = 0; i < mapped_pages.count; i++) {
        uint32_t page = mapped_pages.data[i];
        page_leaves[page >> LEAF_BITS][page & (LEAF_PAGES - 1)] = nullptr;
    }
    mapped_pages.count = 0;
    for (uint32_t i = 0; i < node_table.count; i++) {
        NodeFrame* f = node_table.data[i];
        uint32_t first = uint32_t(f->slots()) >> PAGE_SHIFT;
        uint32_t last = (uint32_t(f->slots_end()) - 1) >> PAGE_SHIFT;
        for (uint32_t page = first; page <= last; page++) {
            NodeFrame**& leaf = page_leaves[page >> LEAF_BITS];
            if (!leaf) {
                leaf = static_cast<NodeFrame**>(heap::alloc(LEAF_PAGES * sizeof(NodeFrame*)));
                std::memset(leaf, 0, LEAF_PAGES * sizeof(NodeFrame*));
            }
            NodeFrame*& entry = leaf[page & (LEAF_PAGES - 1)];
            entry = entry ? SHARED_PAGE : f;
            mapped_pages.push(page);
        }
    }
}

void release_page_map() {
    for (NodeFrame**& leaf : page_leaves) {
        heap::free(leaf);
        leaf = nullptr;
    }
    mapped_pages.release();
}

void build_frame_tables() {
    MemoryRecord* r = memory::record;
    node_table.count = 0;
    for (NodeFrame* f = r->node_first; f; f = f->next) node_table.push(f);
    std::sort(node_table.data, node_table.data + node_table.count);

    series_table.count = 0;
    for (SeriesFrame* f = r->series_first; f; f = f->next)
        series_table.push(Span{uint32_t(f->payload()), uint32_t(f->end), f, false});
    for (BigBlock* b = r->big_first; b; b = b->next)
        series_table.push(Span{uint32_t(b->buffer()), uint32_t(b->buffer()) + b->size, b, true});
    std::sort(series_table.data, series_table.data + series_table.count,
              [](const Span& a, const Span& b) { return a.start < b.start; });

    range_lo = 0xFFFFFFFFu;
    range_hi = 0;
    for (uint32_t i = 0; i < node_table.count; i++) {
        range_lo = std::min(range_lo, uint32_t(node_table.data[i]->slots()));
        range_hi = std::max(range_hi, uint32_t(node_table.data[i]->slots_end()));
    }
    map_frame_pages();
    for (uint32_t i = 0; i < series_table.count; i++) {
        range_lo = std::min(range_lo, series_table.data[i].start);
        range_hi = std::max(range_hi, series_table.data[i].end);
    }
}

[[gnu::noinline]] NodeFrame* search_node_frame(uint32_t address) {
    uint32_t lo = 0, hi = node_table.count;
    while (lo < hi) {  // first frame whose slot area ends above the address
        uint32_t mid = (lo + hi) / 2;
        if (uint32_t(node_table.data[mid]->slots_end()) <= address) lo = mid + 1;
        else hi = mid;
    }
    if (lo == node_table.count) return nullptr;
    NodeFrame* f = node_table.data[lo];
    if (address < uint32_t(f->slots())) return nullptr;
    return f;
}

inline NodeFrame* node_frame_at(uint32_t address) {
    NodeFrame** leaf = page_leaves[address >> (PAGE_SHIFT + LEAF_BITS)];
    if (!leaf) return nullptr;
    NodeFrame* f = leaf[(address >> PAGE_SHIFT) & (LEAF_PAGES - 1)];
    if (f == SHARED_PAGE) [[unlikely]] return search_node_frame(address);
    if (f && address >= uint32_t(f->slots()) && address < uint32_t(f->slots_end())) return f;
    return nullptr;
}

const Span* span_at(uint32_t address) {
    if (address < range_lo || address >= range_hi) return nullptr;
    uint32_t lo = 0, hi = series_table.count;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        if (series_table.data[mid].end <= address) lo = mid + 1;
        else hi = mid;
    }
    if (lo == series_table.count) return nullptr;
    const Span* s = &series_table.data[lo];
    return address >= s->start ? s : nullptr;
}

// A word that names a node in use: inside a slot area, aligned, holding a
// buffer address rather than a free-list link or 0.
bool is_node(uint32_t v) {
    if (v & 3u) return false;
    NodeFrame* f = node_frame_at(v);
    if (!f) return false;
    return !memory::is_free_slot_value(f, *reinterpret_cast<uint32_t*>(v));
}

// ---- Marking ----------------------------------------------------------------

constexpr uint32_t COLLECTOR_BITS = SERIES_MARK | SERIES_PINNED | SERIES_SCANNED;

uint32_t* table_words(uint32_t node, uint32_t min_bytes) {
    SeriesBuffer* s = buffer_of(reinterpret_cast<Node>(node));
    return s->byte_length() >= min_bytes ? reinterpret_cast<uint32_t*>(s->head) : nullptr;
}

void mark_cell(Cell* c) {
    switch (type_of(c)) {
    case TYPE_BLOCK: case TYPE_PAREN:
    case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH:
        if (c->data2) mark_series_cells(&c->data2);
        break;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
        mark_node(&c->data2);
        if (c->data3) mark_node(&c->data3);
        break;
    case TYPE_SYMBOL:
        mark_node(&c->data3);
        if (c->data2) mark_node(&c->data2);
        break;
    case TYPE_CONTEXT:
        mark_hashtable(&c->data1);
        if (!(c->header & CONTEXT_VALUES_ON_STACK)) mark_series_cells(&c->data2);
        break;
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_REFINEMENT:
    case TYPE_ISSUE:
        // A context is a two-cell block (record, self): marking its cells
        // marks the word index, the values and the owner.  Runs of words
        // share their context: marking it again would change nothing,
        // unless nodes move in this collection.
        if (c->data1 && (c->data1 != last_word_context || forwarding)) {
            mark_context(&c->data1);
            last_word_context = c->data1;
        }
        break;
    case TYPE_OP: {
        uint32_t from = (c->header >> 16) & 0xFFu;
        if (from == TYPE_FUNCTION || from == TYPE_ROUTINE) mark_context(&c->data1);
        mark_series_cells(&c->data2);
        mark_series_cells(&c->data3);
        break;
    }
    case TYPE_NATIVE: case TYPE_ACTION:
        mark_series_cells(&c->data2);
        mark_series_cells(&c->data3);
        break;
    case TYPE_FUNCTION: case TYPE_ROUTINE:
        mark_context(&c->data1);
        mark_series_cells(&c->data2);
        mark_series_cells(&c->data3);
        break;
    case TYPE_BITSET: case TYPE_VECTOR: case TYPE_BINARY:
        mark_node(&c->data2);
        break;
    case TYPE_OBJECT: case TYPE_ERROR: case TYPE_PORT:
        mark_context(&c->data1);
        if (c->data3) mark_node(&c->data3);
        break;
    case TYPE_HASH: case TYPE_MAP:
        mark_series_cells(&c->data2);
        if (c->data3) mark_hashtable(&c->data3);
        break;
    case TYPE_HANDLE:
        if (int32_t(c->data3) >= 0) resource_table::mark(int32_t(c->data3), 0);
        break;
    case TYPE_IMAGE:
        // Word 2 is the backend's handle, not a node: the backend marks it.
        if (c->data2 && image_hook) image_hook(c);
        break;
    case TYPE_EVENT:
        if ((c->header & EVENT_HAS_BLOCK) && c->data2) mark_series_cells(&c->data2);
        break;
    default:
        break;
    }
}

// ---- Machine stack ------------------------------------------------------------

void record_candidate(uint32_t k, uint32_t* slot) {
    MemoryRecord* r = memory::record;
    if (uint32_t(r->scan_end - r->scan_table) == r->scan_capacity) {
        uint32_t used = r->scan_capacity;
        r->scan_capacity += SCAN_TABLE_STEP;
        r->scan_table = static_cast<ScanEntry*>(heap::realloc(r->scan_table, r->scan_capacity * sizeof(ScanEntry)));
        r->scan_end = r->scan_table + used;
    }
    *r->scan_end++ = ScanEntry{k, slot};
}

// Reads the machine stack word by word from `from` up to the base, which
// sanitizers would take for out-of-frame accesses: the reads are
// uninstrumented and, under valgrind, each copy is declared defined (dead
// stack slots hold garbage by design).
__attribute__((noinline, no_sanitize_address)) void scan_stack_words(uint32_t* from) {
    uint32_t* top = static_cast<uint32_t*>(stack_top);
    for (uint32_t* p = from; p < top; p++) {
        uint32_t k = *static_cast<volatile uint32_t*>(p);
#ifdef QOR_MEMCHECK
        volatile uint32_t copy = k;
        VALGRIND_MAKE_MEM_DEFINED(&copy, sizeof copy);
        k = copy;
#endif
        if (k > 0xFFFFu && k < 0xFFFFF000u && k >= range_lo && k < range_hi) record_candidate(k, p);
    }
}

void pin_node_frame(NodeFrame* f) {
    for (uint32_t i = 0; i < pinned_frames.count; i++)
        if (pinned_frames.data[i] == f) return;
    pinned_frames.push(f);
}

bool is_pinned_frame(NodeFrame* f) {
    for (uint32_t i = 0; i < pinned_frames.count; i++)
        if (pinned_frames.data[i] == f) return true;
    return false;
}

// Splits the stack words into node candidates (their frames pinned) and
// pointers into series storage (kept in the scan table, sorted).
void classify_candidates() {
    MemoryRecord* r = memory::record;
    ScanEntry* out = r->scan_table;
    for (ScanEntry* e = r->scan_table; e < r->scan_end; e++) {
        if (NodeFrame* f = node_frame_at(e->pointer)) {
            pin_node_frame(f);
            if (is_node(e->pointer)) node_candidates.push(e->pointer);
        } else if (span_at(e->pointer)) {
            *out++ = *e;
        }
    }
    r->scan_end = out;
    std::sort(r->scan_table, r->scan_end,
              [](const ScanEntry& a, const ScanEntry& b) { return a.pointer < b.pointer; });
}

// A buffer a stack word points into stays where it is; a live one is kept
// alive with everything it references.
void pin_buffer(SeriesBuffer* s) {
    s->flags |= SERIES_PINNED;
    if ((s->flags & SERIES_LIVE) && s->node && *s->node == reinterpret_cast<uint32_t>(s)) {
        uint32_t node = reinterpret_cast<uint32_t>(s->node);
        mark_node(&node);
    }
}

void resolve_interior_pointers() {
    MemoryRecord* r = memory::record;
    ScanEntry* c = r->scan_table;
    ScanEntry* end = r->scan_end;
    for (uint32_t i = 0; i < series_table.count && c < end; i++) {
        const Span& span = series_table.data[i];
        while (c < end && c->pointer < span.start) c++;
        if (c == end || c->pointer >= span.end) continue;
        if (span.big) {
            pin_buffer(reinterpret_cast<SeriesBuffer*>(span.start));
        } else {
            SeriesFrame* f = static_cast<SeriesFrame*>(span.frame);
            uint8_t* b = f->payload();
            while (c < end && c->pointer < span.end && b < f->heap) {
                SeriesBuffer* s = reinterpret_cast<SeriesBuffer*>(b);
                uint32_t b_end = uint32_t(b) + s->capacity + SERIES_OVERHEAD;
                if (c->pointer < b_end) {
                    pin_buffer(s);
                    while (c < end && c->pointer < b_end) c++;
                }
                b += s->capacity + SERIES_OVERHEAD;
            }
        }
        while (c < end && c->pointer < span.end) c++;
    }
}

// ---- Node evacuation --------------------------------------------------------

uint32_t free_slots_besides(NodeFrame* skip) {
    uint32_t n = 0;
    for (NodeFrame* f = memory::record->node_first; f; f = f->next)
        if (f != skip && !f->evacuated && f->free_head) n += f->capacity - f->used;
    return n;
}

NodeFrame* pick_target(NodeFrame* leaving) {
    MemoryRecord* r = memory::record;
    NodeFrame* a = r->node_active;
    if (a && a != leaving && !a->evacuated && a->free_head) return a;
    for (NodeFrame* f = r->node_first; f; f = f->next) {
        if (f != leaving && !f->evacuated && f->free_head) {
            r->node_active = f;
            return f;
        }
    }
    return nullptr;
}

void evacuate(NodeFrame* f) {
    for (uint32_t* s = f->slots(); s < f->slots_end(); s++) {
        uint32_t v = *s;
        if (memory::is_free_slot_value(f, v)) continue;
        NodeFrame* t = pick_target(f);
        uint32_t* slot = t->free_head;
        t->free_head = memory::decode_free_link(*slot);
        t->used++;
        *slot = v;
        addrmap::put(forwarding, uint32_t(s), uint32_t(slot));
        SeriesBuffer* b = reinterpret_cast<SeriesBuffer*>(v);
        if (b->node == s) b->node = slot;
        f->used--;
    }
    f->evacuated = 1;
}

void plan_evacuation() {
    MemoryRecord* r = memory::record;
    NodeFrame* active = nullptr;
    for (NodeFrame* f = r->node_first; f; f = f->next) {
        if (f->free_head && !f->evacuated) {
            active = f;
            break;
        }
    }
    if (!active) return;
    r->node_active = active;
    uint32_t free = free_slots_besides(nullptr);
    bool moved = false;
    for (NodeFrame* f = r->node_last; f; f = f->prev) {
        if ((f->history & EVACUATE_HISTORY) != EVACUATE_HISTORY) continue;
        if (f->used >= EVACUATE_MAX_USED || free <= memory::NODES_PER_FRAME) continue;
        if (f == r->node_active || f->evacuated || is_pinned_frame(f)) continue;
        if (free_slots_besides(f) < f->used) continue;
        if (!forwarding) forwarding = addrmap::make(FORWARDING_INITIAL);
        free -= memory::NODES_PER_FRAME;
        evacuate(f);
        moved = true;
    }
    if (moved) counters.nodes_cycles++;
}

// ---- Roots --------------------------------------------------------------------

void mark_roots() {
    for (uint32_t i = 0; i < global_cells.count; i++)
        if (global_cells.data[i]) mark_cells(global_cells.data[i], global_cells.data[i] + 1);
    for (uint32_t i = 0; i < global_nodes.count; i++)
        if (global_nodes.data[i]) mark_node(global_nodes.data[i]);
    for (RootLink* l = guards.next; l != &guards; l = l->next) {
        if (!l->target) continue;  // a guard over an absent optional cell
        if (l->count) mark_cells(static_cast<Cell*>(l->target), static_cast<Cell*>(l->target) + l->count);
        else mark_node(static_cast<uint32_t*>(l->target));
    }
    drain();
    for (uint32_t i = 0; i < root_callbacks.count; i++) {
        if (root_callbacks.data[i]) {
            root_callbacks.data[i]();
            drain();
        }
    }
    for (uint32_t i = 0; i < node_candidates.count; i++) {
        uint32_t node = node_candidates.data[i];
        mark_node(&node);
    }
    drain();
}

// ---- Compaction -------------------------------------------------------------

}  // namespace

namespace detail {

// Mended: the distance of a move is taken modulo 2^32 on addresses, never as
// a signed 32-bit difference; frames more than 2 GiB apart overflowed it.
void relocate_run(uint8_t* to, const uint8_t* from, uint32_t length) {
    const uintptr_t old_base = reinterpret_cast<uintptr_t>(from);
    for (uint32_t at = 0; at < length;) {
        SeriesBuffer* s = reinterpret_cast<SeriesBuffer*>(to + at);
        const uintptr_t old_place = old_base + at;
        *s->node = reinterpret_cast<uint32_t>(s);
        s->head = s->data() + (reinterpret_cast<uintptr_t>(s->head) - old_place - sizeof(SeriesBuffer));
        s->tail = s->data() + (reinterpret_cast<uintptr_t>(s->tail) - old_place - sizeof(SeriesBuffer));
        at += s->capacity + SERIES_OVERHEAD;
    }
}

}  // namespace detail

namespace {

// A dead placeholder over a gap left in front of a pinned buffer, so that the
// frame stays walkable buffer by buffer.
void write_filler(uint8_t* at, uint32_t size) {
    SeriesBuffer* s = reinterpret_cast<SeriesBuffer*>(at);
    s->flags = 0;
    s->node = nullptr;
    s->capacity = size - SERIES_OVERHEAD;
    s->head = s->tail = s->data();
    memory::poison(s->data(), at + size);
}

void reclaim(SeriesBuffer* s) {
    if (s->node && (s->flags & SERIES_LIVE) && *s->node == reinterpret_cast<uint32_t>(s)) defer_node_free(s->node);
}

void compact_series_frames() {
    MemoryRecord* r = memory::record;
    SeriesFrame* prev = nullptr;
    for (SeriesFrame* f = r->series_first; f;) {
        SeriesFrame* next = f->next;
        bool into_prev = prev && uint32_t(prev->end - prev->heap) >= CROSS_FRAME_MIN;
        uint8_t* cursor = f->payload();  // end of what stays in this frame
        uint8_t* p = f->payload();
        uint8_t* limit = f->heap;
        while (p < limit) {
            SeriesBuffer* s = reinterpret_cast<SeriesBuffer*>(p);
            uint32_t size = s->capacity + SERIES_OVERHEAD;
            if (s->flags & SERIES_PINNED) {
                if (cursor < p) write_filler(cursor, uint32_t(p - cursor));
                s->flags &= ~COLLECTOR_BITS;
                p += size;
                cursor = p;
                continue;
            }
            if (!(s->flags & SERIES_MARK)) {
                reclaim(s);
                p += size;
                continue;
            }
            // A run of marked, movable buffers.
            uint8_t* run = p;
            while (p < limit) {
                SeriesBuffer* q = reinterpret_cast<SeriesBuffer*>(p);
                if ((q->flags & (SERIES_MARK | SERIES_PINNED)) != SERIES_MARK) break;
                q->flags &= ~COLLECTOR_BITS;
                p += q->capacity + SERIES_OVERHEAD;
            }
            if (into_prev) {
                // As much of the run as fits the previous frame's tail.
                uint32_t room = uint32_t(prev->end - prev->heap);
                uint8_t* fit = run;
                while (fit < p) {
                    uint32_t b = reinterpret_cast<SeriesBuffer*>(fit)->capacity + SERIES_OVERHEAD;
                    if (uint32_t(fit - run) + b > room) break;
                    fit += b;
                }
                if (fit > run) {
                    uint32_t length = uint32_t(fit - run);
                    std::memmove(prev->heap, run, length);
                    detail::relocate_run(prev->heap, run, length);
                    prev->heap += length;
                    run = fit;
                }
                if (run < p) into_prev = false;
            }
            if (run < p) {
                uint32_t length = uint32_t(p - run);
                if (cursor != run) {
                    std::memmove(cursor, run, length);
                    detail::relocate_run(cursor, run, length);
                }
                cursor += length;
            }
        }
        f->heap = cursor;
        if (cursor == f->payload() && f != r->series_last) {
            memory::free_series_frame(f);
        } else {
            memory::poison(cursor, limit);  // dead and moved-from buffers
            prev = f;
        }
        f = next;
    }
}

void clear_fixed_marks() {
    for (uint32_t i = 0; i < memory::fixed_series_count(); i++)
        memory::fixed_series_at(i)->flags &= ~COLLECTOR_BITS;
}

}  // namespace

// ---- Public -------------------------------------------------------------------

bool mark_node(uint32_t* ref) {
    uint32_t v = *ref;
    if (!v) return false;
    if (forwarding) {
        if (uint32_t* to = addrmap::get(forwarding, v)) {
            v = *to;
            *ref = v;
        }
    }
    if (!is_node(v)) return false;
    SeriesBuffer* s = buffer_of(reinterpret_cast<Node>(v));
    if (s->flags & SERIES_MARK) return false;
    s->flags |= SERIES_MARK;
    // Every cell buffer has its cells marked, whichever path reached it
    // first; the scan happens in drain(), off the C++ stack.
    if (s->unit() == sizeof(Cell)) mark_stack.push(v);
    return true;
}

void unmark_node(uint32_t* ref) {
    last_word_context = 0;
    if (*ref && is_node(*ref)) buffer_of(reinterpret_cast<Node>(*ref))->flags &= ~SERIES_MARK;
}

void mark_series_cells(uint32_t* ref) { mark_node(ref); }  // cells follow from mark_node

void mark_block(Cell* block) { mark_series_cells(&block->data2); }

void mark_context(uint32_t* ref) { mark_series_cells(ref); }

void mark_cells(Cell* first, Cell* end) {
    for (Cell* c = first; c < end; c++) mark_cell(c);
}

void drain() {
    while (mark_stack.count) {
        SeriesBuffer* s = buffer_of(reinterpret_cast<Node>(mark_stack.data[--mark_stack.count]));
        for (Cell* c = cells_head(s); c < cells_tail(s); c++) mark_cell(c);
    }
}

// The table record is eleven words: size, index array (kind 0) or stride,
// chain list, flags, buckets, keys block, occupied, bucket count, bound,
// kind, address stamp.
void mark_hashtable(uint32_t* ref) {
    mark_node(ref);
    if (!*ref || !is_node(*ref)) return;
    // The record may have been marked as a plain node first (from the
    // machine stack): its arrays are marked once, on the first table visit.
    SeriesBuffer* record = buffer_of(reinterpret_cast<Node>(*ref));
    if (record->flags & SERIES_SCANNED) return;
    record->flags |= SERIES_SCANNED;
    uint32_t* t = table_words(*ref, 44);
    if (!t) return;
    uint32_t kind = t[9];
    if (kind == 0) {
        mark_node(&t[1]);
        if (mark_node(&t[2])) {
            SeriesBuffer* chains = buffer_of(reinterpret_cast<Node>(t[2]));
            for (uint32_t* e = reinterpret_cast<uint32_t*>(chains->head); e + 1 <= reinterpret_cast<uint32_t*>(chains->tail); e++)
                mark_node(e);
        }
    }
    mark_node(&t[3]);
    mark_node(&t[4]);
    if ((kind == 3 || kind == 4) && t[3] && t[4] && t[5] && is_node(t[3]) && is_node(t[4]) && is_node(t[5])) {
        uint32_t buckets = t[7];
        uint32_t* flags = reinterpret_cast<uint32_t*>(buffer_of(reinterpret_cast<Node>(t[3]))->head);
        SeriesBuffer* bucket_buf = buffer_of(reinterpret_cast<Node>(t[4]));
        SeriesBuffer* keys = buffer_of(reinterpret_cast<Node>(t[5]));
        if (buffer_of(reinterpret_cast<Node>(t[3]))->byte_length() * 4 >= buckets && bucket_buf->byte_length() >= buckets * 4) {
            uint32_t* offsets = reinterpret_cast<uint32_t*>(bucket_buf->head);
            for (uint32_t i = 0; i < buckets; i++) {
                if ((flags[i >> 4] >> ((i & 15u) << 1)) & 3u) continue;  // not live
                uint32_t off = offsets[i];
                if (off + sizeof(Cell) > keys->byte_length()) continue;
                Cell* key = reinterpret_cast<Cell*>(keys->head + off);
                mark_node(&key->data1);
            }
        }
    }
    mark_series_cells(&t[5]);
}

bool is_marked(Node node) {
    uint32_t v = reinterpret_cast<uint32_t>(node);
    if (!v || !is_node(v)) return false;
    return buffer_of(node)->flags & SERIES_MARK;
}

Node forwarded(Node node) {
    if (forwarding) {
        if (uint32_t* to = addrmap::get(forwarding, reinterpret_cast<uint32_t>(node))) return reinterpret_cast<Node>(*to);
    }
    return node;
}

void set_image_mark_hook(CellHook hook) { image_hook = hook; }

void defer_node_free(Node node) {
    if (!node) return;
    if (deferred.count == DEFERRED_MAX) free_deferred_nodes();
    deferred.push(node);
}

// In the order they came: the page map finds each one's frame in two
// loads, so sorting them first cost more than it saved.
void free_deferred_nodes() {
    for (uint32_t i = 0; i < deferred.count; i++) {
        uint32_t* node = deferred.data[i];
        if (NodeFrame* f = node_frame_at(uint32_t(node))) memory::free_node(f, node);
    }
    deferred.count = 0;
}

bool in_frames(uint32_t address, int kind, void** frame) {
    void* found = nullptr;
    if (kind == 0) {
        found = node_frame_at(address);
    } else if (const Span* s = span_at(address)) {
        found = s->frame;
    }
    if (frame) *frame = found;
    return found != nullptr;
}

// The scan starts in this frame, at the spilled registers, so that the
// collector's own dead temporaries further down are not taken for roots.
__attribute__((noinline, no_sanitize_address)) void collect() {
    MemoryRecord* r = memory::record;
    if (!r || collecting.load(std::memory_order_relaxed)) return;
    uint32_t regs[4] = {0, 0, 0, 0};
#if defined(__i386__)
    // Callee-saved registers may hold the only copy of a node or pointer.
    asm volatile(
        "movl %%ebx, 0(%0)\n\t"
        "movl %%esi, 4(%0)\n\t"
        "movl %%edi, 8(%0)\n\t"
        "movl %%ebp, 12(%0)"
        :
        : "r"(regs)
        : "memory");
#endif
    collecting.store(1, std::memory_order_seq_cst);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (!stack_top) stack_top = detail::thread_stack_top();

    build_frame_tables();
    last_word_context = 0;
    r->scan_end = r->scan_table;
    node_candidates.count = 0;
    pinned_frames.count = 0;
    if (scan_stack) scan_stack_words(regs);
    classify_candidates();
    if (node_compaction_enabled) plan_evacuation();

    mark_roots();
    resolve_interior_pointers();
    drain();
    owner::gc_sweep();
    if (resource_table::initialised()) resource_table::sweep();

    compact_series_frames();
    memory::sweep_big();
    free_deferred_nodes();
    memory::update_node_frames();
    if (forwarding) {
        addrmap::free(forwarding);
        forwarding = nullptr;
    }
    clear_fixed_marks();

    counters.series_cycles++;
    std::atomic_thread_fence(std::memory_order_seq_cst);
    collecting.store(0, std::memory_order_seq_cst);
#ifdef QOR_HEAP_VERIFY
    heap_verifier::after_collection();
#endif
}

void collect_if_allowed() {
    if (collection_enabled) collect();
}

bool is_active() { return collecting.load(std::memory_order_seq_cst) == 1; }

void finish_startup() {
    startup_done = true;
    collection_enabled = true;
    stress_count = 0;
    stress_every = 0;
    if (const char* s = std::getenv("QOR_GC_STRESS")) {
        long n = std::strtol(s, nullptr, 10);
        if (n > 0) stress_every = uint32_t(n);
    }
}

void set_stress_interval(uint32_t n) {
    stress_every = n;
    stress_count = 0;
}

uint32_t stress_interval() { return stress_every; }

void stress_tick() {
    if (!stress_every || !startup_done) return;
    if (++stress_count >= stress_every) {
        stress_count = 0;
        collect_if_allowed();
    }
}

void set_stack_base(void* base) { stack_top = base; }

void set_stack_scan(bool on) { scan_stack = on; }

void* stack_base() {
    if (!stack_top) stack_top = detail::thread_stack_top();
    return stack_top;
}

// ---- Root registration ------------------------------------------------------

void push_root(RootCallback callback) { root_callbacks.push(callback); }

void remove_root(RootCallback callback) {
    for (uint32_t i = 0; i < root_callbacks.count; i++) {
        if (root_callbacks.data[i] == callback) {
            root_callbacks.data[i] = nullptr;
            return;
        }
    }
}

void register_global_cell(Cell* cell) { global_cells.push(cell); }
void register_global_node(Node* ref) { global_nodes.push(reinterpret_cast<uint32_t*>(ref)); }

void unregister_global_cell(Cell* cell) {
    for (uint32_t i = 0; i < global_cells.count; i++) {
        if (global_cells.data[i] == cell) {
            global_cells.data[i] = global_cells.data[--global_cells.count];
            return;
        }
    }
}

void unregister_global_node(Node* ref) {
    for (uint32_t i = 0; i < global_nodes.count; i++) {
        if (global_nodes.data[i] == reinterpret_cast<uint32_t*>(ref)) {
            global_nodes.data[i] = global_nodes.data[--global_nodes.count];
            return;
        }
    }
}

uint32_t global_cell_count() { return global_cells.count; }
Cell* global_cell_at(uint32_t i) { return global_cells.data[i]; }
uint32_t global_node_count() { return global_nodes.count; }
Node* global_node_at(uint32_t i) { return reinterpret_cast<Node*>(global_nodes.data[i]); }

// ---- State ------------------------------------------------------------------

void init_tables() {
    release_tables();
    counters = Counters{0, 0};
    collection_enabled = false;
    node_compaction_enabled = true;
    startup_done = false;
    stress_every = 0;
    stress_count = 0;
    deferred.reserve(DEFERRED_MAX);
    node_table.reserve(1000);
    series_table.reserve(1000);
    mark_stack.reserve(1024);
    if (!stack_top) stack_top = detail::thread_stack_top();
}

void release_tables() {
    owner::release();
    root_callbacks.release();
    global_cells.release();
    global_nodes.release();
    mark_stack.release();
    deferred.release();
    node_table.release();
    release_page_map();
    series_table.release();
    node_candidates.release();
    pinned_frames.release();
    if (forwarding) {
        addrmap::free(forwarding);
        forwarding = nullptr;
    }
}

}  // namespace qor::gc
