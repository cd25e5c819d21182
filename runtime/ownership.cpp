// Ownership marking.
#include "runtime/ownership.hpp"

#include "runtime/address_map.hpp"
#include "runtime/collector.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"

namespace qor::owner {

namespace {

struct Entry {
    Cell     value;
    Cell     owner;
    Cell     word;
    uint32_t key;   // 0 when the entry is free
    uint32_t next;  // free list
};

constexpr uint32_t NONE = 0xFFFFFFFFu;
constexpr uint32_t CONTEXT_VALUES_ON_STACK = 0x00400000u;

addrmap::AddressMap* series_keys = nullptr;  // node -> entry index
addrmap::AddressMap* image_keys = nullptr;   // image handle -> entry index
Entry*   entries = nullptr;
uint32_t entry_capacity = 0;
uint32_t free_entry = NONE;
DeepChangeHook deep_change_hook = nullptr;

bool is_block_like(uint32_t t) { return is_any_block(t); }
bool is_ownable_series(uint32_t t) {
    return is_any_block(t) || is_any_string(t) || t == TYPE_BINARY || t == TYPE_VECTOR || t == TYPE_BITSET;
}

uint32_t new_entry() {
    if (free_entry == NONE) {
        uint32_t cap = entry_capacity ? entry_capacity * 2 : 64;
        entries = static_cast<Entry*>(heap::realloc(entries, cap * sizeof(Entry)));
        for (uint32_t i = entry_capacity; i < cap; i++) entries[i] = Entry{{}, {}, {}, 0, i + 1 < cap ? i + 1 : NONE};
        free_entry = entry_capacity;
        entry_capacity = cap;
    }
    uint32_t i = free_entry;
    free_entry = entries[i].next;
    return i;
}

void drop_entry(uint32_t i) {
    entries[i] = Entry{{TYPE_UNSET, 0, 0, 0}, {TYPE_UNSET, 0, 0, 0}, {TYPE_UNSET, 0, 0, 0}, 0, free_entry};
    free_entry = i;
}

addrmap::AddressMap* map_for(bool image) { return image ? image_keys : series_keys; }

void put(bool image, uint32_t key, const Cell* value, const Cell* owner, const Cell* word) {
    if (!series_keys) init_table();
    addrmap::AddressMap* map = map_for(image);
    uint32_t* found = addrmap::get(map, key);
    uint32_t i = found ? *found : new_entry();
    entries[i].value = *value;
    entries[i].owner = *owner;
    entries[i].word = *word;
    entries[i].key = key;
    if (!found) addrmap::put(map, key, i);
}

Entry* find(bool image, uint32_t key) {
    if (!series_keys) return nullptr;
    uint32_t* found = addrmap::get(map_for(image), key);
    return found ? &entries[*found] : nullptr;
}

void remove(bool image, uint32_t key) {
    if (!series_keys) return;
    addrmap::AddressMap* map = map_for(image);
    uint32_t* found = addrmap::get(map, key);
    if (!found) return;
    uint32_t i = *found;
    addrmap::delete_key(map, key);
    drop_entry(i);
}

Cell* context_record(Node context) { return cells_head(buffer_of(context)); }

// A pending walk over the cells of a block (from a position) or over the
// fields of an object.  Positions, not addresses: nothing here allocates
// from the frames, but the walk stays valid even if that changes.
struct Frame {
    Node     node;     // block node, or object context node
    uint32_t pos;      // next cell / field
    bool     object;
    Cell     word;     // field word for a block walk
};

struct Walk {
    const Cell* owner;
    bool        attaching;
    Frame*      stack = nullptr;
    uint32_t    depth = 0;
    uint32_t    capacity = 0;
    addrmap::AddressMap* visited = nullptr;

    ~Walk() {
        heap::free(stack);
        addrmap::free(visited);
    }
    bool first_visit(Node n) {
        if (!visited) visited = addrmap::make(64);
        uint32_t key = reinterpret_cast<uint32_t>(n);
        if (addrmap::get(visited, key)) return false;
        addrmap::put(visited, key, 1);
        return true;
    }
    void push(Node n, uint32_t pos, bool object, const Cell* word) {
        if (depth == capacity) {
            capacity = capacity ? capacity * 2 : 32;
            stack = static_cast<Frame*>(heap::realloc(stack, capacity * sizeof(Frame)));
        }
        stack[depth++] = Frame{n, pos, object, word ? *word : Cell{TYPE_UNSET, 0, 0, 0}};
    }

    void visit(Cell* v, const Cell* word);
    void run();
};

void Walk::visit(Cell* v, const Cell* word) {
    uint32_t t = type_of(v);
    if (t == TYPE_IMAGE) {
        if (attaching) {
            if (!(v->header & CELL_OWNED_IMAGE)) {
                v->header |= CELL_OWNED_IMAGE;
                put(true, v->data2, v, owner, word);
            }
        } else {
            v->header &= ~CELL_OWNED_IMAGE;
            remove(true, v->data2);
        }
        return;
    }
    if (is_ownable_series(t)) {
        Node n = cell_node(v);
        if (!n || !*n) return;
        SeriesBuffer* s = buffer_of(n);
        if (attaching) {
            if (!(s->flags & SERIES_OWNED)) {
                s->flags |= SERIES_OWNED;
                put(false, reinterpret_cast<uint32_t>(n), v, owner, word);
            }
        } else {
            s->flags &= ~SERIES_OWNED;
            if (Entry* e = find(false, reinterpret_cast<uint32_t>(n))) {
                e->value = e->owner = e->word = Cell{TYPE_UNSET, 0, 0, 0};
                remove(false, reinterpret_cast<uint32_t>(n));
            }
        }
        if (is_block_like(t) && first_visit(n)) push(n, v->data1, false, word);
        return;
    }
    if (t == TYPE_OBJECT) {
        Node ctx = reinterpret_cast<Node>(v->data1);
        if (!ctx || !*ctx) return;
        if (context_record(ctx)->header & CONTEXT_OWNER) return;
        if (first_visit(ctx)) push(ctx, 0, true, nullptr);
    }
}

void Walk::run() {
    while (depth) {
        Frame& f = stack[depth - 1];
        if (!f.object) {
            SeriesBuffer* s = buffer_of(f.node);
            uint32_t length = s->length();
            if (f.pos >= length) {
                depth--;
                continue;
            }
            Cell word = f.word;
            Cell* cell = cells_head(s) + f.pos++;
            visit(cell, &word);  // may grow the stack: `f` is not used after this
        } else {
            Cell* record = context_record(f.node);
            if (record->header & CONTEXT_VALUES_ON_STACK) {
                depth--;
                continue;
            }
            SeriesBuffer* values = buffer_of(reinterpret_cast<Node>(record->data2));
            if (f.pos >= values->length()) {
                depth--;
                continue;
            }
            uint32_t i = f.pos++;
            Cell* value = cells_head(values) + i;
            // A field that holds the owner itself is not walked into.
            if (attaching && type_of(value) == TYPE_OBJECT && value->data1 == owner->data1) continue;
            Cell word = *context::word_at(record, i);
            visit(value, &word);
        }
    }
}

void walk(const Cell* value, const Cell* owner, const Cell* word, bool attaching) {
    static const Cell none{TYPE_NONE, 0, 0, 0};
    Walk w{owner ? owner : &none, attaching};
    // The walk sets the image flag in the cell it is given.
    w.visit(const_cast<Cell*>(value), word ? word : &none);
    w.run();
}

}  // namespace

void init_table() {
    release();
    series_keys = addrmap::make(1000);
    image_keys = addrmap::make(16);
}

void release() {
    addrmap::free(series_keys);
    addrmap::free(image_keys);
    series_keys = image_keys = nullptr;
    heap::free(entries);
    entries = nullptr;
    entry_capacity = 0;
    free_entry = NONE;
}

bool table_exists() { return series_keys != nullptr; }

void attach(const Cell* value, const Cell* owner, const Cell* word) { walk(value, owner, word, true); }

void attach_object(const Cell* value, const Cell* owner, const Cell* word) {
    attach(value, owner, word);
    Node ctx = reinterpret_cast<Node>(owner->data1);
    if (ctx && *ctx) context_record(ctx)->header |= CONTEXT_OWNER;
}

void detach(const Cell* value) { walk(value, nullptr, nullptr, false); }

void detach_range(const Cell* block, uint32_t index, uint32_t count) {
    Node n = cell_node(block);
    for (uint32_t i = 0; i < count; i++) {
        SeriesBuffer* s = buffer_of(n);
        if (index + i >= s->length()) break;
        detach(cells_head(s) + index + i);
    }
}

const Cell* get(Node node) {
    Entry* e = find(false, reinterpret_cast<uint32_t>(node));
    return e ? &e->owner : nullptr;
}

bool notify(const Cell* changed, const Cell* action, const Cell* new_value, int32_t index, int32_t part) {
    uint32_t t = type_of(changed);
    Entry* e = t == TYPE_OBJECT  ? find(false, changed->data1)
               : t == TYPE_IMAGE ? find(true, changed->data2)
                                 : find(false, changed->data2);
    if (!e || e->owner.data3 == 0) return false;
    // Copies: the handler runs Qor code, which may grow the table.
    Cell owner = e->owner, word = e->word, target = *changed, act = *action, fresh = *new_value;
    gc::CellRoot keep_owner(&owner), keep_word(&word), keep_target(&target), keep_action(&act),
        keep_new(&fresh);
    if (deep_change_hook) deep_change_hook(&owner, &word, &target, &act, &fresh, index, part);
    return true;
}

void set_deep_change_hook(DeepChangeHook hook) { deep_change_hook = hook; }

uint32_t entry_count() {
    return series_keys ? addrmap::size(series_keys) + addrmap::size(image_keys) : 0;
}

void gc_sweep() {
    if (!series_keys) return;
    // Entries are decided to a fixed point: marking the cells of a live
    // entry may make another entry's key or owner live.
    enum : uint8_t { UNDECIDED, LIVE };
    uint8_t* state = static_cast<uint8_t*>(heap::alloc_zero(entry_capacity ? entry_capacity : 1));
    bool changed = true;
    while (changed) {
        changed = false;
        for (uint32_t i = 0; i < entry_capacity; i++) {
            Entry& e = entries[i];
            if (!e.key || state[i] == LIVE) continue;
            bool image = type_of(&e.value) == TYPE_IMAGE;
            bool key_live = image || gc::is_marked(reinterpret_cast<Node>(e.key));
            Node owner_ctx = reinterpret_cast<Node>(e.owner.data1);
            bool owner_live = type_of(&e.owner) != TYPE_OBJECT || !owner_ctx || gc::is_marked(owner_ctx);
            if (!key_live || !owner_live) continue;
            state[i] = LIVE;
            changed = true;
            gc::mark_cells(&e.value, &e.value + 1);
            gc::mark_cells(&e.owner, &e.owner + 1);
            gc::mark_cells(&e.word, &e.word + 1);
            gc::drain();
        }
    }
    for (uint32_t i = 0; i < entry_capacity; i++) {
        Entry& e = entries[i];
        if (!e.key) continue;
        bool image = type_of(&e.value) == TYPE_IMAGE;
        if (state[i] != LIVE) {
            addrmap::delete_key(map_for(image), e.key);
            drop_entry(i);
            continue;
        }
        if (!image) {
            // An evacuated node: keep the entry under the node's new address.
            uint32_t moved = reinterpret_cast<uint32_t>(gc::forwarded(reinterpret_cast<Node>(e.key)));
            if (moved != e.key) {
                addrmap::delete_key(series_keys, e.key);
                e.key = moved;
                addrmap::put(series_keys, moved, i);
            }
        }
    }
    heap::free(state);
}

}  // namespace qor::owner
