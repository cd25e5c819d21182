// The heap verifier (see heap_verifier.hpp for what it checks).
//
// Order matters: node frames are checked first, so that afterwards every
// node in use is known to name a real buffer and a cell's node can be
// followed without reading wild memory.
#include "runtime/heap_verifier.hpp"

#include "runtime/collector.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace qor::heap_verifier {

namespace {

constexpr uint32_t CONTEXT_VALUES_ON_STACK = 0x00400000u;
constexpr uint32_t EVENT_HAS_BLOCK = 0x00001000u;
constexpr uint32_t COLLECTOR_BITS = SERIES_MARK | SERIES_PINNED | SERIES_SCANNED;

// Storage that may hold buffers, sorted by address: series-frame payloads
// up to their heap end, big buffers, fixed series.
struct Span {
    uint32_t start;
    uint32_t end;
};

// Scratch tables on the tracked heap, kept between checks.
template <class T>
struct Table {
    T*       data = nullptr;
    uint32_t count = 0;
    uint32_t capacity = 0;

    void push(const T& v) {
        if (count == capacity) {
            capacity = capacity ? capacity * 2 : 64;
            data = static_cast<T*>(heap::realloc(data, size_t(capacity) * sizeof(T)));
        }
        data[count++] = v;
    }
};

Table<NodeFrame*> node_frames;
NodeFrame*        last_frame = nullptr;  // references cluster: most land in the frame of the one before
Table<Span>       spans;

char report[512];
bool failed = false;

// The cell being checked, named in a report only (formatting it for every
// cell would cost more than the check).
struct Location {
    const void* holder;  // the buffer, or the global cell itself
    const void* node;    // the buffer's node; null for a global
    uint32_t    index;
};
Location here;

int describe_location(char* out, size_t size) {
    if (here.node)
        return std::snprintf(out, size, "cell %u of buffer %p (node %p): ", unsigned(here.index), here.holder, here.node);
    return std::snprintf(out, size, "global cell %p: ", here.holder);
}

// Keeps the first fault only; a cell's fault is prefixed with its location.
void report_fault(bool at_cell, const char* format, va_list args) {
    if (failed) return;
    failed = true;
    int n = std::snprintf(report, sizeof report, "heap check: ");
    if (at_cell) n += describe_location(report + n, sizeof report - size_t(n));
    std::vsnprintf(report + n, sizeof report - size_t(n), format, args);
}

[[gnu::format(printf, 1, 2)]] void fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    report_fault(false, format, args);
    va_end(args);
}

[[gnu::format(printf, 1, 2)]] void cell_fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    report_fault(true, format, args);
    va_end(args);
}

void build_tables() {
    MemoryRecord* r = memory::record;
    node_frames.count = 0;
    last_frame = nullptr;
    for (NodeFrame* f = r->node_first; f; f = f->next) node_frames.push(f);
    std::sort(node_frames.data, node_frames.data + node_frames.count);
    spans.count = 0;
    for (SeriesFrame* f = r->series_first; f; f = f->next) spans.push(Span{uint32_t(f->payload()), uint32_t(f->heap)});
    for (BigBlock* b = r->big_first; b; b = b->next)
        spans.push(Span{uint32_t(b->buffer()), uint32_t(b->buffer()) + b->size});
    for (uint32_t i = 0; i < memory::fixed_series_count(); i++) {
        SeriesBuffer* s = memory::fixed_series_at(i);
        spans.push(Span{uint32_t(s), uint32_t(s->data_end())});
    }
    std::sort(spans.data, spans.data + spans.count, [](const Span& a, const Span& b) { return a.start < b.start; });
}

NodeFrame* node_frame_at(uint32_t address) {
    if (last_frame && address >= uint32_t(last_frame->slots()) && address < uint32_t(last_frame->slots_end()))
        return last_frame;
    uint32_t lo = 0, hi = node_frames.count;
    while (lo < hi) {  // first frame whose slot area ends above the address
        uint32_t mid = (lo + hi) / 2;
        if (uint32_t(node_frames.data[mid]->slots_end()) <= address) lo = mid + 1;
        else hi = mid;
    }
    if (lo == node_frames.count) return nullptr;
    NodeFrame* f = node_frames.data[lo];
    if (address < uint32_t(f->slots())) return nullptr;
    last_frame = f;
    return f;
}

// Whether a whole buffer header fits inside storage that may hold buffers.
bool header_in_spans(uint32_t address) {
    uint32_t lo = 0, hi = spans.count;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        if (spans.data[mid].end <= address) lo = mid + 1;
        else hi = mid;
    }
    return lo < spans.count && address >= spans.data[lo].start &&
           address + sizeof(SeriesBuffer) <= spans.data[lo].end;
}

// What a cell's node reference must be: a node in use (then its buffer is
// sound, check_node_frames saw to that).  Answers the buffer, or null after
// reporting the fault.
SeriesBuffer* buffer_of_cell_node(uint32_t node, const Cell* c, const char* field) {
    NodeFrame* f = (node & 3u) ? nullptr : node_frame_at(node);
    if (!f) {
        cell_fail("type %u refers in %s to %#x, which is not a node", unsigned(type_of(c)), field,
             unsigned(node));
        return nullptr;
    }
    uint32_t held = *reinterpret_cast<uint32_t*>(node);
    if (memory::is_free_slot_value(f, held)) {
        cell_fail("type %u refers in %s to node %#x, which is a free slot (a stale reference)",
             unsigned(type_of(c)), field, unsigned(node));
        return nullptr;
    }
    return reinterpret_cast<SeriesBuffer*>(held);
}

enum Units : uint32_t { ANY_UNIT = 0, CELLS = 1u << 16, TEXT = (1u << 1) | (1u << 2) | (1u << 4), BYTES = 1u << 1 };

// A node word of a cell: 0 is allowed (the collector skips it); anything else
// must be a node in use whose buffer's unit is among `units` (bit per unit).
SeriesBuffer* check_ref(uint32_t node, uint32_t units, const Cell* c, const char* field) {
    if (!node) return nullptr;
    SeriesBuffer* s = buffer_of_cell_node(node, c, field);
    if (s && units && !(units & (1u << s->unit()))) {
        cell_fail("type %u refers in %s to node %#x, whose buffer %p has unit %u, not one this type stores",
             unsigned(type_of(c)), field, unsigned(node), static_cast<void*>(s), unsigned(s->unit()));
        return nullptr;
    }
    return s;
}

// Words come in runs bound to one context: its slot count is kept.
uint32_t last_context = 0;
uint32_t last_slots = 0;

// A bound word's slot must lie inside its context's value block.
void check_word(const Cell* c) {
    int32_t index = int32_t(c->data3);
    if (c->data1 && c->data1 == last_context && index >= -1 && index < int32_t(last_slots)) return;
    SeriesBuffer* ctx = check_ref(c->data1, CELLS, c, "its context");
    if (!ctx || ctx->byte_length() < sizeof(Cell)) return;
    const Cell* record = cells_head(ctx);
    if (index < -1) {
        cell_fail("word bound to context %#x has slot index %d", unsigned(c->data1), int(index));
        return;
    }
    if (type_of(record) != TYPE_CONTEXT || index < 0) return;
    // A slot is added to the word list and the value block one after the
    // other, and either may grow (and collect) in between: the slot must lie
    // inside the longer of the two.
    uint32_t slots = 0;
    if (SeriesBuffer* table = check_ref(record->data1, ANY_UNIT, record, "the word index of its context")) {
        if (table->byte_length() >= 6 * sizeof(uint32_t)) {
            uint32_t words = reinterpret_cast<const uint32_t*>(table->head)[5];
            if (SeriesBuffer* list = check_ref(words, CELLS, record, "the word list of its context"))
                slots = list->length();
        }
    }
    if (!(record->header & CONTEXT_VALUES_ON_STACK)) {
        if (SeriesBuffer* values = check_ref(record->data2, CELLS, record, "the value block of its context"))
            slots = std::max(slots, values->length());
    }
    last_context = c->data1;
    last_slots = slots;
    if (!failed && uint32_t(index) >= slots)
        cell_fail("word bound to context %#x has slot index %d, but the context has %u slots",
             unsigned(c->data1), int(index), unsigned(slots));
}

// The references the collector follows for each type (collector.cpp,
// mark_cell), with the unit each one's buffer must have.
void check_cell(const Cell* c) {
    uint32_t type = type_of(c);
    if (type > TYPE_COUNT) {
        cell_fail("impossible type id %u (header %#x): poisoned or overwritten", unsigned(type),
             unsigned(c->header));
        return;
    }
    switch (type) {
    case TYPE_BLOCK: case TYPE_PAREN:
    case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH:
        check_ref(c->data2, CELLS, c, "word 2");
        break;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
        check_ref(c->data2, TEXT, c, "word 2");
        check_ref(c->data3, ANY_UNIT, c, "word 3");
        break;
    case TYPE_SYMBOL:
        check_ref(c->data3, ANY_UNIT, c, "word 3");
        check_ref(c->data2, TEXT, c, "word 2");
        break;
    case TYPE_CONTEXT:
        check_ref(c->data1, ANY_UNIT, c, "word 1");
        if (!(c->header & CONTEXT_VALUES_ON_STACK)) check_ref(c->data2, CELLS, c, "word 2");
        break;
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_REFINEMENT:
    case TYPE_ISSUE:
        check_word(c);
        break;
    case TYPE_OP: {
        uint32_t from = (c->header >> 16) & 0xFFu;
        if (from == TYPE_FUNCTION || from == TYPE_ROUTINE) check_ref(c->data1, CELLS, c, "word 1");
        check_ref(c->data2, CELLS, c, "word 2");
        check_ref(c->data3, CELLS, c, "word 3");
        break;
    }
    case TYPE_NATIVE: case TYPE_ACTION:
        check_ref(c->data2, CELLS, c, "word 2");
        check_ref(c->data3, CELLS, c, "word 3");
        break;
    case TYPE_FUNCTION: case TYPE_ROUTINE:
        check_ref(c->data1, CELLS, c, "word 1");
        check_ref(c->data2, CELLS, c, "word 2");
        check_ref(c->data3, CELLS, c, "word 3");
        break;
    case TYPE_BITSET:
        check_ref(c->data2, BYTES, c, "word 2");
        break;
    case TYPE_BINARY: case TYPE_VECTOR:
        // `take` hands out its fixed scratch series as a binary! of any unit.
        check_ref(c->data2, ANY_UNIT, c, "word 2");
        break;
    case TYPE_OBJECT: case TYPE_ERROR: case TYPE_PORT:
        check_ref(c->data1, CELLS, c, "word 1");
        check_ref(c->data3, ANY_UNIT, c, "word 3");
        break;
    case TYPE_HASH: case TYPE_MAP:
        check_ref(c->data2, CELLS, c, "word 2");
        check_ref(c->data3, ANY_UNIT, c, "word 3");
        break;
    case TYPE_EVENT:
        if (c->header & EVENT_HAS_BLOCK) check_ref(c->data2, CELLS, c, "word 2");
        break;
    default:
        break;
    }
}

bool valid_unit(uint32_t unit) { return unit == 1 || unit == 2 || unit == 4 || unit == 8 || unit == 16; }

// Nodes in use, frame by frame; answers how many there are.
uint32_t check_node_frames() {
    uint32_t in_use = 0;
    for (uint32_t i = 0; i < node_frames.count && !failed; i++) {
        NodeFrame* f = node_frames.data[i];
        uint32_t free_count = 0;
        for (uint32_t* link = f->free_head; link; link = memory::decode_free_link(*link)) {
            if (uint32_t(link) & 3u || link < f->slots() || link >= f->slots_end()) {
                fail("node frame %p: its free list leads out of the frame, to %p", static_cast<void*>(f),
                     static_cast<void*>(link));
                return in_use;
            }
            if (!memory::is_free_slot_value(f, *link)) {
                fail("node frame %p: slot %p is on the free list but holds %#x", static_cast<void*>(f),
                     static_cast<void*>(link), unsigned(*link));
                return in_use;
            }
            if (++free_count > f->capacity) {
                fail("node frame %p: its free list loops", static_cast<void*>(f));
                return in_use;
            }
        }
        uint32_t used = 0;
        for (uint32_t* slot = f->slots(); slot < f->slots_end(); slot++) {
            uint32_t v = *slot;
            if (memory::is_free_slot_value(f, v)) continue;
            used++;
            if (!header_in_spans(v)) {
                fail("node %p holds %#x, which is no buffer of the series frames, big or fixed buffers",
                     static_cast<void*>(slot), unsigned(v));
                return in_use;
            }
            SeriesBuffer* s = reinterpret_cast<SeriesBuffer*>(v);
            if (s->node != slot || !(s->flags & SERIES_LIVE)) {
                fail("node %p names buffer %p, whose back-pointer is %p (flags %#x)", static_cast<void*>(slot),
                     static_cast<void*>(s), static_cast<void*>(s->node), unsigned(s->flags));
                return in_use;
            }
        }
        if (used != f->used || free_count != f->capacity - used) {
            fail("node frame %p: %u slots in use and %u on the free list, but its count of used slots is %u",
                 static_cast<void*>(f), unsigned(used), unsigned(free_count), unsigned(f->used));
            return in_use;
        }
        in_use += used;
    }
    return in_use;
}

// One buffer's header; for a live cell buffer, its cells from head to tail.
// Answers whether it is a live buffer with a node.
bool check_buffer(SeriesBuffer* s) {
    if (s->flags & COLLECTOR_BITS) {
        fail("buffer %p: collector bits %#x left set after the collection", static_cast<void*>(s),
             unsigned(s->flags & COLLECTOR_BITS));
        return false;
    }
    // Dead buffers and the fillers in front of pinned ones only need to be
    // walkable.
    if (!(s->flags & SERIES_LIVE) || !s->node) return false;
    if (s->capacity & 15u) {
        fail("buffer %p: capacity %u is not a multiple of 16", static_cast<void*>(s), unsigned(s->capacity));
        return false;
    }
    uint32_t unit = s->unit();
    if (!valid_unit(unit) || s->head < s->data() || s->tail < s->head || s->tail > s->data_end() ||
        (s->tail - s->head) % unit != 0) {
        fail("buffer %p of node %p: unit %u, head %+d and tail %+d for capacity %u", static_cast<void*>(s),
             static_cast<void*>(s->node), unsigned(unit), int(s->head - s->data()), int(s->tail - s->data()),
             unsigned(s->capacity));
        return false;
    }
    uint32_t node = uint32_t(s->node);
    NodeFrame* f = (node & 3u) ? nullptr : node_frame_at(node);
    if (!f || *s->node != uint32_t(s)) {
        fail("buffer %p: its back-pointer %p %s", static_cast<void*>(s), static_cast<void*>(s->node),
             f ? "is a node that points elsewhere" : "is not a node");
        return false;
    }
    if (unit == sizeof(Cell)) {
        Cell* first = cells_head(s);
        here.holder = s;
        here.node = s->node;
        for (Cell* c = first; c < cells_tail(s) && !failed; c++) {
            here.index = uint32_t(c - first);
            check_cell(c);
        }
    }
    return true;
}

uint32_t check_series() {
    MemoryRecord* r = memory::record;
    uint32_t live = 0;
    for (SeriesFrame* f = r->series_first; f && !failed; f = f->next) {
        if (f->heap < f->payload() || f->heap > f->end) {
            fail("series frame %p: heap end %p outside its payload", static_cast<void*>(f), static_cast<void*>(f->heap));
            return live;
        }
        for (uint8_t* p = f->payload(); p < f->heap && !failed;) {
            SeriesBuffer* s = reinterpret_cast<SeriesBuffer*>(p);
            uint32_t size = s->capacity + SERIES_OVERHEAD;
            if (size < SERIES_OVERHEAD || size > uint32_t(f->heap - p)) {
                fail("series frame %p: buffer %p (capacity %u) runs past the heap end %p", static_cast<void*>(f),
                     static_cast<void*>(s), unsigned(s->capacity), static_cast<void*>(f->heap));
                return live;
            }
            if (check_buffer(s)) live++;
            p += size;
        }
    }
    for (BigBlock* b = r->big_first; b && !failed; b = b->next)
        if (check_buffer(b->buffer())) live++;
    for (uint32_t i = 0; i < memory::fixed_series_count() && !failed; i++)
        if (check_buffer(memory::fixed_series_at(i))) live++;
    return live;
}

void check_roots() {
    for (uint32_t i = 0; i < gc::global_cell_count() && !failed; i++) {
        Cell* c = gc::global_cell_at(i);
        here = Location{c, nullptr, 0};
        if (c) check_cell(c);
    }
    for (uint32_t i = 0; i < gc::global_node_count() && !failed; i++) {
        Node* ref = gc::global_node_at(i);
        if (!ref || !*ref) continue;
        NodeFrame* f = (uint32_t(*ref) & 3u) ? nullptr : node_frame_at(uint32_t(*ref));
        if (!f || memory::is_free_slot_value(f, **ref))
            fail("global node variable %p holds %p, which is %s", static_cast<void*>(ref), static_cast<void*>(*ref),
                 f ? "a free slot (a stale reference)" : "not a node");
    }
}

uint32_t interval = 1;
uint32_t countdown = 0;
bool interval_read = false;

}  // namespace

const char* check() {
    if (!memory::initialised()) return nullptr;
    failed = false;
    last_context = 0;
    build_tables();
    uint32_t nodes = check_node_frames();
    uint32_t buffers = failed ? 0 : check_series();
    if (!failed) check_roots();
    if (!failed && nodes != buffers)
        fail("%u nodes in use but %u live buffers with a node", unsigned(nodes), unsigned(buffers));
    return failed ? report : nullptr;
}

void set_interval(uint32_t n) {
    interval = n;
    interval_read = true;
    countdown = 0;
}

void after_collection() {
    if (!interval_read) {
        interval_read = true;
        if (const char* s = std::getenv("QOR_HEAP_VERIFY")) interval = uint32_t(std::strtoul(s, nullptr, 10));
    }
    if (!interval || ++countdown < interval) return;
    countdown = 0;
    if (const char* fault = check()) {
        std::fprintf(stderr, "%s\n", fault);
        std::fflush(stderr);
        std::abort();
    }
}

}  // namespace qor::heap_verifier
