// Hash tables (see hash_table.hpp for the layout and the kinds).
//
// Anything that allocates may collect, and the collector may move every
// buffer: the record, its arrays and the keys block are re-read through
// their nodes after each such call (the `View` below), and keys are carried
// across as cell indexes, never as addresses.
#include "datatypes/hash_table.hpp"

#include "datatypes/registry.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "runtime/address_map.hpp"
#include "runtime/growable_array.hpp"
#include "runtime/heap.hpp"
#include "datatypes/murmur3.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/series.hpp"

#include <cstring>

namespace qor::hashtable {

namespace {

NormalizeKeyFn normalize_key = nullptr;

// The chains visited by one renumbering pass.  A scratch set on the tracked
// heap: it lives only for the length of a call that does not allocate.
addrmap::AddressMap* visited = nullptr;

constexpr uint32_t STRIDE_LIVE = TYPE_UNSET;  // key cell header of a live stride entry

inline uint32_t* words_of(uint32_t node) { return reinterpret_cast<uint32_t*>(buffer_of(reinterpret_cast<Node>(node))->head); }
inline int32_t* ints_of(uint32_t node) { return reinterpret_cast<int32_t*>(buffer_of(reinterpret_cast<Node>(node))->head); }
inline SeriesBuffer* buffer_at(uint32_t node) { return buffer_of(reinterpret_cast<Node>(node)); }

inline void set_flag(uint32_t* flags, uint32_t i, uint32_t value) {
    uint32_t shift = (i & 15u) << 1;
    flags[i >> 4] = (flags[i >> 4] & ~(3u << shift)) | (value << shift);
}

inline uint32_t next_bucket(uint32_t i, uint32_t& step, uint32_t mask) { return (i + ++step) & mask; }

// Current addresses of a table's parts.  load() again after anything that
// may allocate.
struct View {
    Node      node;
    Table*    r;
    uint32_t* flags;
    int32_t*  buckets;
    Cell*     keys;

    uint32_t  cycles;  // the collector's count when the addresses were taken

    explicit View(Node table) : node(table) { load(); }
    // After a call that cannot touch this table's buffers but may collect
    // (a comparison): only a collection can have moved them.
    void refresh() {
        if (cycles != gc::counters.series_cycles) load();
    }
    void load() {
        cycles = gc::counters.series_cycles;
        r = record(node);
        flags = r->flags ? words_of(r->flags) : nullptr;
        buckets = r->buckets ? ints_of(r->buckets) : nullptr;
        keys = r->keys ? cells_head(buffer_at(r->keys)) : nullptr;
    }
    uint32_t mask() const { return uint32_t(r->bucket_count) - 1; }
    uint32_t flag(uint32_t i) const { return flag_at(flags, i); }
    int32_t  key_count() const { return int32_t(buffer_at(r->keys)->length()); }
    // The first cell index held by a bucket entry (a chain's first index).
    // A chain emptied by deletion answers -1.
    int32_t first_index(int32_t entry) const {
        if (entry >= 0) return entry;
        uint32_t chain = uint32_t(ints_of(r->chains)[-entry - 1]);
        return chain && buffer_at(chain)->byte_length() ? ints_of(chain)[0] : -1;
    }
    Node chain(int32_t entry) const { return reinterpret_cast<Node>(ints_of(r->chains)[-entry - 1]); }
};

int32_t keys_length(Node table) { return int32_t(buffer_at(record(table)->keys)->length()); }

// Whether `compare` (a, b, op) holds, as the evaluator's comparison answers
// it: the equality ops hold on 0, an incomparable pair counts as unequal,
// and only ordering ops refuse it.
bool compare_holds(Cell* a, Cell* b, int32_t op) {
    CompareFn compare = registry::action<SLOT_COMPARE>(a->header & TYPE_MASK);
    int32_t answer = compare ? compare(a, b, op) : COMPARE_INCOMPARABLE;
    switch (op) {
    case COMP_NOT_EQUAL:
        return answer != 0;
    case COMP_LESSER: case COMP_LESSER_EQUAL: case COMP_GREATER: case COMP_GREATER_EQUAL:
        if (answer == COMPARE_INCOMPARABLE) raise_error("script", "invalid-compare", a, b);
        if (op == COMP_LESSER) return answer < 0;
        if (op == COMP_LESSER_EQUAL) return answer < 1;
        if (op == COMP_GREATER) return answer >= 1;
        return answer >= 0;
    default:
        return answer == 0;
    }
}

uint32_t bucket_count_for(int32_t size) {
    return round_up_pow2(uint32_t(double(size) / LOAD_FACTOR));
}

void fill_tail(Node node) {
    SeriesBuffer* s = buffer_of(node);
    s->tail = s->data_end();
}

// The index array of a kind-0 table holds at least `entries` entries.
void reserve_index(Node table, uint32_t entries) {
    SeriesBuffer* s = buffer_at(record(table)->index);
    uint32_t need = memory::checked_mul(entries, 4);
    if (need <= s->capacity) return;
    // Grows by twice the bytes in use, as appends come one cell at a time.
    uint32_t grown = memory::checked_add(s->capacity, memory::checked_mul(entries - 1, 8));
    s = memory::expand_series_filled(s, grown > need ? grown : need, 0xFF);
    s->tail = s->data_end();
}

// Removes cell index `idx` from its bucket of a kind-0 table.
void unindex(View& v, int32_t idx) {
    SeriesBuffer* index = buffer_at(v.r->index);
    if (idx < 0 || uint32_t(idx) * 4 >= index->byte_length()) return;
    int32_t* entries = reinterpret_cast<int32_t*>(index->head);
    int32_t b = entries[idx] - 1;
    if (b < 0 || b >= v.r->bucket_count || v.flag(uint32_t(b)) != BUCKET_LIVE) return;
    entries[idx] = -1;
    int32_t e = v.buckets[b];
    if (e < 0) {
        Node chain = v.chain(e);
        if (!chain) return;
        int32_t at = array::find_int32(chain, idx);
        if (at >= 0) array::remove_bytes(chain, uint32_t(at), 4);
        if (array::length(chain) > 0) return;
        ints_of(v.r->chains)[-e - 1] = 0;
    } else if (e != idx) {
        return;  // the bucket was taken over since; nothing of ours is left in it
    }
    set_flag(v.flags, uint32_t(b), BUCKET_DELETED);
    v.r->size--;
}

// A new table record, zero-filled.
Node new_record() { return alloc_zeroed(sizeof(Table)); }

void copy_context_table(TableRoot& guard, const Cell* context) {
    Node source = reinterpret_cast<Node>(context->data1);
    std::memcpy(record(guard.node()), record(source), sizeof(Table));
    Node keys = memory::clone_series(buffer_at(record(source)->keys));
    record(guard.node())->keys = reinterpret_cast<uint32_t>(keys);
    Node buckets = memory::clone_series(buffer_at(record(source)->buckets));
    record(guard.node())->buckets = reinterpret_cast<uint32_t>(buckets);
    Node flags = memory::clone_series(buffer_at(record(source)->flags));
    record(guard.node())->flags = reinterpret_cast<uint32_t>(flags);
}

// Places a stride entry whose key is known to be absent, at the first empty
// bucket of its probe sequence; no resizing, no stamp check.
void place_stride_entry(View& v, uint32_t key_word, uint32_t offset) {
    uint32_t mask = v.mask();
    uint32_t i = hash_pointer(key_word) & mask, step = 0;
    while (v.flag(i) != BUCKET_EMPTY) i = next_bucket(i, step, mask);
    set_flag(v.flags, i, BUCKET_LIVE);
    v.buckets[i] = int32_t(offset);
    v.r->size++;
    v.r->occupied++;
}

uint32_t stride_of(const Table* r) { return r->index ? r->index : sizeof(Cell); }

// Probes a stride table for `key`: the live bucket holding it, else -1;
// `site` gets the first deleted bucket met and `empty` the empty bucket
// that ended the search (-1 after a full turn).
int32_t probe_pointer(const View& v, uint32_t key, int32_t* site, int32_t* empty) {
    uint32_t mask = v.mask();
    uint32_t home = hash_pointer(key) & mask, i = home, step = 0;
    if (site) *site = -1;
    if (empty) *empty = -1;
    auto* bytes = reinterpret_cast<uint8_t*>(v.keys);
    for (;;) {
        uint32_t f = v.flag(i);
        if (f == BUCKET_EMPTY) {
            if (empty) *empty = int32_t(i);
            return -1;
        }
        if (f == BUCKET_LIVE) {
            auto* entry = reinterpret_cast<Cell*>(bytes + v.buckets[i]);
            if (entry->data1 == key) return int32_t(i);
        } else if (site && *site < 0) {
            *site = int32_t(i);
        }
        i = next_bucket(i, step, mask);
        if (i == home) return -1;
    }
}

uint32_t entry_hash(const View& v, int32_t entry) {
    if (v.r->kind == KIND_POINTER || v.r->kind == KIND_OWNER)
        return hash_pointer(reinterpret_cast<Cell*>(reinterpret_cast<uint8_t*>(v.keys) + entry)->data1);
    return hash_value(v.keys + v.first_index(entry), false);
}

}  // namespace

void set_normalize_key(NormalizeKeyFn fn) { normalize_key = fn; }

// ---- Byte helpers -----------------------------------------------------------

Node alloc_zeroed(uint32_t n) { return alloc_filled(n, 0); }

Node alloc_filled(uint32_t n, uint8_t byte) {
    Node node = memory::alloc_bytes_filled(n ? n : 16, byte);
    fill_tail(node);
    return node;
}

void fill(Node node, uint8_t byte) {
    SeriesBuffer* s = buffer_of(node);
    memory::fill_range(s->data(), s->data_end(), byte);
}

// ---- Making -------------------------------------------------------------------

Node make(int32_t size, const Cell* source_cell, int32_t kind, int32_t extra) {
    // The source may lie in a buffer that the allocations below move.
    Cell source_copy = source_cell ? *source_cell : Cell{};
    const Cell* source = source_cell ? &source_copy : nullptr;
    TableRoot guard(new_record());
    if (kind == KIND_SYMBOL) {
        if (extra == 2 && source) {
            copy_context_table(guard, source);
            return guard.node();
        }
        if (size >= 4000) size *= 2;
    }
    Table* r = record(guard.node());
    r->kind = kind;
    if (kind == KIND_POINTER || kind == KIND_OWNER) {
        r->index = uint32_t(extra + 1) * sizeof(Cell);
        r->stamp = gc::counters.nodes_cycles + 1;
    }
    if (size < 4) size = 4;
    uint32_t buckets = bucket_count_for(size);
    r->bucket_count = int32_t(buckets);
    r->bound = int32_t(double(buckets) * LOAD_FACTOR);

    Node flags = alloc_filled(buckets / 4, 0xAA);
    record(guard.node())->flags = reinterpret_cast<uint32_t>(flags);
    Node bucket_array = alloc_zeroed(memory::checked_mul(buckets, 4));
    record(guard.node())->buckets = reinterpret_cast<uint32_t>(bucket_array);
    if (kind == KIND_HASH) {
        Node index = alloc_filled(memory::checked_mul(uint32_t(size), 4), 0xFF);
        record(guard.node())->index = reinterpret_cast<uint32_t>(index);
        Node chains = array::make(4, 4);  // 16 bytes of int32 elements
        record(guard.node())->chains = reinterpret_cast<uint32_t>(chains);
    }
    if (kind == KIND_POINTER || kind == KIND_OWNER || !source) {
        Node keys = memory::alloc_cells(uint32_t(size));
        record(guard.node())->keys = reinterpret_cast<uint32_t>(keys);
    } else {
        record(guard.node())->keys = source->data2;
        put_all(guard.node(), int32_t(source->data1), kind == KIND_MAP ? 2 : 1);
    }
    return guard.node();
}

void put_all(Node table, int32_t from, int32_t skip) {
    if (skip < 1) skip = 1;
    if (from < 0) from = 0;
    int32_t kind = record(table)->kind;
    for (int32_t i = from;;) {
        SeriesBuffer* keys = buffer_at(record(table)->keys);
        int32_t length = int32_t(keys->length());
        if (i >= length) break;
        Cell* key = cells_head(keys) + i;
        if (kind == KIND_MAP) {
            // The lookup retypes word keys for the search: probe with a copy.
            Cell probe = *key;
            gc::CellRoot keep(&probe);
            if (Cell* found = find(table, &probe, 0, 0, COMP_STRICT_EQUAL, false, false)) {
                // A repeated key: its value replaces the earlier one and the
                // pair leaves the block.
                keys = buffer_at(record(table)->keys);
                Cell* head = cells_head(keys);
                int32_t at = int32_t(found - head);
                length = int32_t(keys->length());
                if (i + 1 < length && at + 1 < length) head[at + 1] = head[i + 1];
                int32_t gone = i + 2 <= length ? 2 : 1;
                std::memmove(head + i, head + i + gone, size_t(length - i - gone) * sizeof(Cell));
                keys->tail -= gone * int32_t(sizeof(Cell));
                continue;
            }
            put(table, cells_head(buffer_at(record(table)->keys)) + i);
            if (normalize_key) normalize_key(cells_head(buffer_at(record(table)->keys)) + i);
        } else {
            int32_t status = 0;
            put_key(table, key, &status);
            if (status == 2) break;
        }
        i += skip;
    }
}

// ---- Inserting ----------------------------------------------------------------

Cell* put_key(Node table, Cell* key, int32_t* status) {
    if (status) *status = 0;
    View v(table);
    int32_t idx = int32_t(key - v.keys);
    int32_t kind = v.r->kind;
    if (v.r->occupied >= v.r->bound) {
        int32_t n = v.r->bucket_count > 2 * v.r->size ? v.r->bucket_count - 1 : v.r->bucket_count + 1;
        if (kind == KIND_HASH) {
            rebuild(table, n);
            if (status) *status = 2;
            return cells_head(buffer_at(record(table)->keys)) + idx;
        }
        if (kind == KIND_MAP) n = v.r->bucket_count + 1;
        grow(table, n);
        v.load();
        key = v.keys + idx;
    }
    if (kind == KIND_HASH) {
        // A cell overwritten in place (poke, put, change) may still be listed
        // under its old value: each cell lives in one bucket only.
        unindex(v, idx);
        if (v.r->stamp == 0 && is_address_keyed(key)) v.r->stamp = gc::counters.nodes_cycles + 1;
    }

    uint32_t mask = v.mask();
    uint32_t home = hash_value(key, false) & mask;
    int32_t x = -1, site = -1;
    if (v.flag(home) == BUCKET_EMPTY) {
        x = int32_t(home);
    } else {
        uint32_t i = home, step = 0;
        bool turned = false;
        for (;;) {
            uint32_t f = v.flag(i);
            if (f == BUCKET_EMPTY) break;
            if (f == BUCKET_DELETED) {
                site = int32_t(i);
            } else {
                Cell* stored = v.keys + v.first_index(v.buckets[i]);
                Cell* mine = v.keys + idx;
                bool same_type = (stored->header & TYPE_MASK) == (mine->header & TYPE_MASK);
                if (kind == KIND_HASH) {
                    bool equal = same_type && compare_holds(stored, mine, COMP_EQUAL);
                    v.refresh();
                    if (equal) {
                        int32_t e = v.buckets[i];
                        if (e >= 0) {
                            Node chain = array::make(4, 4);
                            array::append_int32(chain, e);
                            array::append_int32_node(&record(table)->chains, int32_t(reinterpret_cast<uint32_t>(chain)));
                            v.load();
                            v.buckets[i] = -int32_t(array::length(reinterpret_cast<Node>(v.r->chains)));
                        }
                        array::append_int32(v.chain(v.buckets[i]), idx);
                        v.load();
                        x = int32_t(i);
                        break;
                    }
                } else {
                    bool equal = compare_holds(stored, mine, COMP_STRICT_EQUAL);
                    v.refresh();
                    if (equal) break;
                }
            }
            i = next_bucket(i, step, mask);
            if (i == home) {
                x = site;
                turned = true;
                break;
            }
        }
        if (x < 0 && !turned) x = (v.flag(i) == BUCKET_EMPTY && site >= 0) ? site : int32_t(i);
    }
    if (x < 0) {
        // A full turn over live buckets only: cannot happen under the bound,
        // but a table must never lose a key, so make room and start over.
        if (kind == KIND_HASH) {
            rebuild(table, v.r->bucket_count * 2);
            if (status) *status = 2;
            return cells_head(buffer_at(record(table)->keys)) + idx;
        }
        grow(table, v.r->bucket_count * 2);
        return put_key(table, cells_head(buffer_at(record(table)->keys)) + idx, status);
    }

    uint32_t f = v.flag(uint32_t(x));
    if (f != BUCKET_LIVE) {
        v.buckets[x] = idx;
        set_flag(v.flags, uint32_t(x), BUCKET_LIVE);
        v.r->size++;
        if (f == BUCKET_EMPTY) v.r->occupied++;
    }
    if (kind == KIND_HASH) {
        reserve_index(table, uint32_t(idx) + 1);
        v.load();
        ints_of(v.r->index)[idx] = x + 1;
    }
    return v.keys + idx;
}

// ---- Finding ------------------------------------------------------------------

Cell* find(Node table, Cell* key, int32_t start, int32_t skip, int32_t op, bool last, bool reverse) {
    check_stamp(table);
    if (reverse) last = true;
    if (skip < 1) skip = 1;
    View v(table);
    int32_t kind = v.r->kind;
    if (kind == KIND_POINTER || kind == KIND_OWNER) return nullptr;

    uint32_t key_type = key->header & TYPE_MASK;
    bool retyped = kind == KIND_MAP && is_any_word(key_type);
    if (retyped) key->header = TYPE_SET_WORD;
    uint32_t mask = v.mask();
    uint32_t home = hash_value(key, false) & mask, i = home, step = 0;
    Cell* result = nullptr;

    if (kind == KIND_HASH) {
        int32_t best = last ? -1 : v.key_count();
        bool qualified = false;
        for (;;) {
            uint32_t f = v.flag(i);
            if (f == BUCKET_EMPTY) break;
            if (f == BUCKET_LIVE) {
                int32_t first = v.first_index(v.buckets[i]);
                bool equal = compare_holds(v.keys + first, key, COMP_EQUAL);
                v.refresh();
                if (equal) {
                    int32_t e = v.buckets[i];
                    int32_t count = e >= 0 ? 1 : int32_t(array::length(v.chain(e)));
                    for (int32_t k = 0; k < count; k++) {
                        e = v.buckets[i];
                        int32_t cell = e >= 0 ? e : reinterpret_cast<int32_t*>(buffer_of(v.chain(e))->head)[k];
                        // /last aligns like the forward search: candidates lie at or after start.
                        int32_t d = reverse ? start - 1 - cell : cell - start;
                        int32_t rem = d % skip;
                        if (rem < 0) rem += skip;
                        if (rem != 0) continue;
                        bool in_range = reverse ? (cell < start && cell > best)
                                      : last    ? (cell >= start && cell > best)
                                                : (cell >= start && cell < best);
                        if (!in_range) continue;
                        // The first key was just compared under `equal`.
                        bool holds = (cell == first && op == COMP_EQUAL) || compare_holds(v.keys + cell, key, op);
                        v.refresh();
                        if (holds) {
                            best = cell;
                            qualified = true;
                        }
                    }
                    if (qualified) break;
                }
            }
            i = next_bucket(i, step, mask);
            if (i == home) break;
        }
        if (qualified) result = v.keys + best;
    } else {
        for (;;) {
            uint32_t f = v.flag(i);
            if (f == BUCKET_EMPTY) break;
            if (f == BUCKET_LIVE) {
                Cell* stored = v.keys + v.buckets[i];
                if ((stored->header & TYPE_MASK) == (key->header & TYPE_MASK) || key_type == TYPE_STRING_SLICE) {
                    bool holds = compare_holds(stored, key, op);
                    v.refresh();
                    if (holds) {
                        result = v.keys + v.buckets[i];
                        break;
                    }
                }
            }
            i = next_bucket(i, step, mask);
            if (i == home) break;
        }
    }
    if (retyped) key->header = key_type;
    return result;
}

Cell* find_next(Node table, const Cell* key, int32_t* position, int32_t* first_bucket, int32_t* step) {
    View v(table);
    uint32_t mask = v.mask();
    if (*position == -1) {
        *first_bucket = int32_t(hash_value(key, false) & mask);
        *position = *first_bucket;
        *step = 0;
    }
    Cell* probe = const_cast<Cell*>(key);
    while (*position >= 0) {
        uint32_t i = uint32_t(*position);
        if (v.flag(i) == BUCKET_EMPTY) break;
        uint32_t s = uint32_t(*step);
        uint32_t next = next_bucket(i, s, mask);
        *step = int32_t(s);
        *position = next == uint32_t(*first_bucket) ? -2 : int32_t(next);
        if (v.flag(i) != BUCKET_LIVE) continue;
        Cell* stored = v.keys + v.first_index(v.buckets[i]);
        if ((stored->header & TYPE_MASK) != (key->header & TYPE_MASK)) continue;
        bool equal = compare_holds(stored, probe, COMP_EQUAL);
        v.refresh();
        if (equal) return v.keys + v.first_index(v.buckets[i]);
    }
    *position = -2;
    return nullptr;
}

// ---- Deleting -----------------------------------------------------------------

void delete_key(Node table, const Cell* key) {
    View v(table);
    int32_t idx = int32_t(key - v.keys);
    if (v.r->kind == KIND_HASH) {
        unindex(v, idx);
        return;
    }
    // A map! pair becomes a hole: the key keeps its bucket.
    if (idx + 1 < v.key_count() && v.keys[idx + 1].header != 0) {
        v.keys[idx + 1].header = 0;
        v.r->size--;
    }
}

void delete_range(Node table, int32_t from, int32_t n) {
    View v(table);
    if (v.r->kind != KIND_HASH) return;
    int32_t length = v.key_count();
    if (from < 0) from = 0;
    if (n > length - from) n = length - from;
    if (n <= 0) return;
    if (from == 0 && n == length) {
        v.r->size = 0;
        v.r->occupied = 0;
        fill(reinterpret_cast<Node>(v.r->flags), 0xAA);
        fill(reinterpret_cast<Node>(v.r->index), 0xFF);
        array::clear(reinterpret_cast<Node>(v.r->chains));
        return;
    }
    for (int32_t k = from; k < from + n; k++) unindex(v, k);
}

void clear(Node table) {
    View v(table);
    v.r->size = 0;
    v.r->occupied = 0;
    fill(reinterpret_cast<Node>(v.r->flags), 0xAA);
    if (v.r->kind == KIND_HASH) {
        array::clear(reinterpret_cast<Node>(v.r->chains));
        fill(reinterpret_cast<Node>(v.r->index), 0xFF);  // no index may name a bucket now empty
    }
}

Node copy(Node table, Node keys) {
    TableRoot guard(memory::clone_series(buffer_of(table)));
    Table* r = record(guard.node());
    r->keys = reinterpret_cast<uint32_t>(keys);
    Node flags = memory::clone_series(buffer_at(record(table)->flags));
    record(guard.node())->flags = reinterpret_cast<uint32_t>(flags);
    Node buckets = memory::clone_series(buffer_at(record(table)->buckets));
    record(guard.node())->buckets = reinterpret_cast<uint32_t>(buckets);
    if (record(table)->kind == KIND_HASH) {
        Node index = memory::clone_series(buffer_at(record(table)->index));
        record(guard.node())->index = reinterpret_cast<uint32_t>(index);
        // The copy gets chains of its own, so that the two indexes never share
        // state.
        Node chains = memory::clone_series(buffer_at(record(table)->chains));
        record(guard.node())->chains = reinterpret_cast<uint32_t>(chains);
        uint32_t n = array::length(chains);
        for (uint32_t k = 1; k <= n; k++) {
            int32_t chain = array::pick_int32(chains, k);
            if (!chain) continue;
            Node own = array::copy(reinterpret_cast<Node>(chain));
            array::poke(reinterpret_cast<Node>(record(guard.node())->chains), k, int32_t(reinterpret_cast<uint32_t>(own)));
        }
    }
    return guard.node();
}

// ---- Renumbering ----------------------------------------------------------------

namespace {

addrmap::AddressMap* visited_set() {
    if (!visited) visited = addrmap::make(1024);
    return visited;
}

// Adds `delta` to the chain elements in [lo, hi) and `other` to those in
// [other_lo, other_hi) (original numbering), once per chain and call.
void shift_chain(View& v, int32_t entry, int32_t lo, int32_t hi, int32_t delta, int32_t other_lo,
                 int32_t other_hi, int32_t other) {
    Node chain = v.chain(entry);
    if (!chain) return;
    addrmap::AddressMap* seen = visited_set();
    if (addrmap::get(seen, reinterpret_cast<uint32_t>(chain))) return;
    addrmap::put(seen, reinterpret_cast<uint32_t>(chain), 1);
    SeriesBuffer* s = buffer_of(chain);
    for (int32_t* e = reinterpret_cast<int32_t*>(s->head); e < reinterpret_cast<int32_t*>(s->tail); e++) {
        if (*e >= lo && *e < hi) *e += delta;
        else if (*e >= other_lo && *e < other_hi) *e += other;
    }
}

// The bucket holding cell index k, or -1.
int32_t bucket_of(const View& v, int32_t k) {
    SeriesBuffer* index = buffer_at(v.r->index);
    if (k < 0 || uint32_t(k) * 4 >= index->byte_length()) return -1;
    int32_t b = reinterpret_cast<int32_t*>(index->head)[k] - 1;
    if (b < 0 || b >= v.r->bucket_count || v.flag(uint32_t(b)) != BUCKET_LIVE) return -1;
    return b;
}

}  // namespace

int32_t shift_indexes(Node table, int32_t delta, int32_t from, int32_t count, bool drop) {
    if (count > SHIFT_LIMIT) return 1;
    if (count < 0) count = 0;
    if (from < 0) from = 0;
    View v(table);
    if (v.r->kind != KIND_HASH) return 0;
    const int32_t end = from + count;
    for (int32_t k = from; k < end; k++) {
        int32_t b = bucket_of(v, k);
        if (b < 0) continue;
        int32_t e = v.buckets[b];
        if (e >= 0) {
            if (e == k) v.buckets[b] = e + delta;
        } else {
            shift_chain(v, e, from, INT32_MAX, delta, 0, 0, 0);
        }
    }
    addrmap::clear(visited_set());
    if (drop && delta < 0) {
        for (int32_t k = from + delta; k < from; k++) unindex(v, k);
    }
    if (count == 0 || delta == 0) return 0;
    // Room for the moved entries, then the move itself; the vacated entries
    // name no bucket.
    reserve_index(table, uint32_t(end + (delta > 0 ? delta : 0)));
    v.load();
    int32_t* index = ints_of(v.r->index);
    int32_t to = from + delta;
    if (to < 0) to = 0;
    std::memmove(index + to, index + from, size_t(count) * 4);
    if (delta > 0) {
        for (int32_t k = from; k < to; k++) index[k] = -1;
    } else {
        SeriesBuffer* s = buffer_at(v.r->index);
        int32_t limit = int32_t(s->byte_length() / 4);
        for (int32_t k = to + count; k < end && k < limit; k++) index[k] = -1;
    }
    return 0;
}

void move_indexes(Node table, int32_t to, int32_t from, int32_t count) {
    if (count <= 0 || from < 0 || to < 0) return;
    if (to >= from && to <= from + count) return;
    View v(table);
    if (v.r->kind != KIND_HASH) return;
    // The run [from, from + count) moves by run_delta; the cells it passes
    // over, [pass_lo, pass_hi), by pass_delta.
    int32_t pass_lo, pass_hi, run_delta, pass_delta;
    if (to > from) {
        pass_lo = from + count;
        pass_hi = to;
        run_delta = to - count - from;
        pass_delta = -count;
    } else {
        pass_lo = to;
        pass_hi = from;
        run_delta = to - from;
        pass_delta = count;
    }
    int32_t lo = from < pass_lo ? from : pass_lo;
    int32_t hi = from + count > pass_hi ? from + count : pass_hi;
    reserve_index(table, uint32_t(hi));
    v.load();
    for (int32_t k = lo; k < hi; k++) {
        int32_t b = bucket_of(v, k);
        if (b < 0) continue;
        int32_t e = v.buckets[b];
        if (e >= 0) {
            if (e == k) v.buckets[b] = e + (k >= from && k < from + count ? run_delta : pass_delta);
        } else {
            shift_chain(v, e, from, from + count, run_delta, pass_lo, pass_hi, pass_delta);
        }
    }
    addrmap::clear(visited_set());
    // The index array entries follow their cells, through a copy of the run.
    int32_t* index = ints_of(v.r->index);
    int32_t* run = static_cast<int32_t*>(heap::alloc(size_t(count) * 4));
    std::memcpy(run, index + from, size_t(count) * 4);
    if (to > from) {
        std::memmove(index + from, index + pass_lo, size_t(pass_hi - pass_lo) * 4);
        std::memcpy(index + to - count, run, size_t(count) * 4);
    } else {
        std::memmove(index + to + count, index + to, size_t(from - to) * 4);
        std::memcpy(index + to, run, size_t(count) * 4);
    }
    heap::free(run);
}

// ---- Resizing -------------------------------------------------------------------

void resize(Node table, int32_t n) {
    if (n < 0) n = 0;
    uint32_t start_stamp = gc::counters.nodes_cycles + 1;
    uint32_t buckets = round_up_pow2(uint32_t(double(n) * 1.5));
    int32_t bound = int32_t(double(buckets) * LOAD_FACTOR);
    if (buckets < 4) buckets = 4;
    Node flags = alloc_filled(buckets / 4, 0xAA);
    Node bucket_array = alloc_zeroed(buckets * 4);
    Table* r = record(table);
    r->size = 0;
    r->occupied = 0;
    r->stamp = 0;
    r->bucket_count = int32_t(buckets);
    r->bound = bound;
    r->flags = reinterpret_cast<uint32_t>(flags);
    r->buckets = reinterpret_cast<uint32_t>(bucket_array);
    array::clear(reinterpret_cast<Node>(r->chains));
    fill(reinterpret_cast<Node>(r->index), 0xFF);
    put_all(table, 0, 1);
    if (record(table)->stamp != 0) record(table)->stamp = start_stamp;
}

void grow(Node table, int32_t n) {
    uint32_t fresh = round_up_pow2(uint32_t(n < 0 ? 0 : n));
    if (fresh < 4) fresh = 4;
    int32_t bound = int32_t(double(fresh) * LOAD_FACTOR + 0.5);
    if (record(table)->size >= bound) return;
    Node new_flags_node = alloc_filled(fresh / 4, 0xAA);
    uint32_t old = uint32_t(record(table)->bucket_count);
    if (fresh > old) {
        SeriesBuffer* s = memory::expand_series(buffer_at(record(table)->buckets), fresh * 4);
        s->tail = s->data_end();
    }
    View v(table);
    uint32_t* new_flags = words_of(reinterpret_cast<uint32_t>(new_flags_node));
    uint32_t mask = fresh - 1;
    // Kick-out re-placement inside the one bucket array: a key landing on a
    // live old bucket takes its place and the displaced key moves on.
    for (uint32_t j = 0; j < old; j++) {
        if (v.flag(j) != BUCKET_LIVE) continue;
        set_flag(v.flags, j, BUCKET_DELETED);
        int32_t entry = v.buckets[j];
        for (;;) {
            uint32_t i = entry_hash(v, entry) & mask, step = 0;
            while (flag_at(new_flags, i) != BUCKET_EMPTY) i = next_bucket(i, step, mask);
            set_flag(new_flags, i, BUCKET_LIVE);
            if (i < old && v.flag(i) == BUCKET_LIVE) {
                int32_t displaced = v.buckets[i];
                v.buckets[i] = entry;
                entry = displaced;
                set_flag(v.flags, i, BUCKET_DELETED);
                continue;
            }
            v.buckets[i] = entry;
            break;
        }
    }
    v.r->flags = reinterpret_cast<uint32_t>(new_flags_node);
    v.r->bucket_count = int32_t(fresh);
    v.r->bound = bound;
    if (v.r->kind != KIND_MAP) v.r->occupied = v.r->size;
}

void rebuild(Node table, int32_t n) {
    // Keys must not move under the rebuild; the guard also restores the
    // collector's switch when an error passes through.
    gc::NoCollect no_collect;
    int32_t kind = record(table)->kind;
    if (kind == KIND_HASH) resize(table, n);
    else if (kind == KIND_POINTER || kind == KIND_OWNER) rebuild_stride(table, n);
}

void check_stamp(Node table) {
    Table* r = record(table);
    if (r->stamp == 0 || r->stamp == gc::counters.nodes_cycles + 1 || gc::is_active()) return;
    if (r->kind == KIND_HASH) rebuild(table, keys_length(table));
    else if (r->kind == KIND_POINTER || r->kind == KIND_OWNER) rehash(table);
}

// ---- Symbols and contexts ---------------------------------------------------------

namespace {

bool same_spelling(const SymbolRecord* rec, const uint8_t* bytes, uint32_t length, bool nocase) {
    SeriesBuffer* s = buffer_of(reinterpret_cast<Node>(rec->spelling));
    if (s->byte_length() != length) return false;
    const uint8_t* p = s->head;
    if (!nocase) return std::memcmp(p, bytes, length) == 0;
    for (uint32_t i = 0; i < length; i++) {
        uint8_t a = p[i], b = bytes[i];
        if (a >= 'A' && a <= 'Z') a |= 0x20;
        if (b >= 'A' && b <= 'Z') b |= 0x20;
        if (a != b) return false;
    }
    return true;
}

int32_t growth_for_sixteenfold(const Table* r) {
    int32_t n = r->bucket_count > 2 * r->size ? r->bucket_count - 1 : r->bucket_count + 1;
    return n * 16;
}

}  // namespace

int32_t find_symbol(Node table, const uint8_t* bytes, uint32_t length, bool nocase) {
    View v(table);
    uint32_t mask = v.mask();
    uint32_t home = hash_spelling(bytes, length) & mask, i = home, step = 0;
    auto* records = reinterpret_cast<SymbolRecord*>(v.keys);
    for (;;) {
        uint32_t f = v.flag(i);
        if (f == BUCKET_EMPTY) return 0;
        if (f == BUCKET_LIVE && same_spelling(&records[v.buckets[i]], bytes, length, nocase)) {
            int32_t id = v.buckets[i] + 1;
            return nocase ? symbol::resolve_alias(id) : id;
        }
        i = next_bucket(i, step, mask);
        if (i == home) return 0;
    }
}

int32_t intern_symbol(Node table, const uint8_t* bytes, uint32_t length, bool nocase) {
    if (record(table)->occupied >= record(table)->bound) grow(table, growth_for_sixteenfold(record(table)));
    View v(table);
    uint32_t mask = v.mask();
    uint32_t home = hash_spelling(bytes, length) & mask;
    auto* records = reinterpret_cast<SymbolRecord*>(v.keys);

    // Pass 1: the exact spelling (or, for nocase, any case variant).
    uint32_t i = home, step = 0;
    int32_t empty = -1;
    for (;;) {
        uint32_t f = v.flag(i);
        if (f == BUCKET_EMPTY) {
            empty = int32_t(i);
            break;
        }
        if (f == BUCKET_LIVE && same_spelling(&records[v.buckets[i]], bytes, length, nocase)) {
            int32_t id = v.buckets[i] + 1;
            // The first variant met is not always the canonical one once a
            // growth has re-placed the keys: answer the canonical id.
            return nocase ? symbol::resolve_alias(id) : id;
        }
        i = next_bucket(i, step, mask);
        if (i == home) break;
    }
    if (empty < 0) {
        // No empty bucket left (cannot happen under the bound): make room.
        grow(table, record(table)->bucket_count * 2);
        return intern_symbol(table, bytes, length, nocase);
    }

    // Pass 2: a case variant gives the new spelling its alias.
    int32_t alias = -1;
    if (!nocase && uint32_t(empty) != home) {
        i = home;
        step = 0;
        while (uint32_t(i) != uint32_t(empty)) {
            if (v.flag(i) == BUCKET_LIVE && same_spelling(&records[v.buckets[i]], bytes, length, true)) {
                alias = symbol::resolve_alias(v.buckets[i] + 1);
                break;
            }
            i = next_bucket(i, step, mask);
        }
    }

    // A new record: the spelling's bytes, a NUL, the tail before it.
    Node spelling = memory::alloc_bytes(memory::checked_add(length, 1));
    SeriesBuffer* s = buffer_of(spelling);
    if (length) std::memcpy(s->head, bytes, length);
    s->head[length] = 0;
    s->tail = s->head + length;
    Cell* cell = series_buffer::alloc_tail_cell(buffer_at(record(table)->keys));
    *cell = Cell{TYPE_SYMBOL, uint32_t(alias), 0, reinterpret_cast<uint32_t>(spelling)};
    v.load();
    int32_t position = int32_t(cell - v.keys);
    v.buckets[empty] = position;
    set_flag(v.flags, uint32_t(empty), BUCKET_LIVE);
    v.r->size++;
    v.r->occupied++;
    return position + 1;
}

int32_t context_lookup(Node table, int32_t symbol, bool nocase, Node context, int32_t* out) {
    if (context && record(table)->occupied >= record(table)->bound)
        grow(table, growth_for_sixteenfold(record(table)));
    View v(table);
    int32_t canonical = symbol::resolve_alias(symbol);
    uint32_t mask = v.mask();
    uint32_t home = hash_pointer(uint32_t(canonical)) & mask, i = home, step = 0;
    int32_t empty = -1;
    for (;;) {
        uint32_t f = v.flag(i);
        if (f == BUCKET_EMPTY) {
            empty = int32_t(i);
            break;
        }
        if (f == BUCKET_LIVE) {
            int32_t stored = int32_t(v.keys[v.buckets[i]].data2);
            if (stored == symbol || (nocase && symbol::resolve_alias(stored) == canonical)) {
                if (out) *out = v.buckets[i];
                return v.buckets[i];
            }
        }
        i = next_bucket(i, step, mask);
        if (i == home) break;
    }
    if (!context) return -1;
    if (empty < 0) {
        grow(table, record(table)->bucket_count * 2);
        return context_lookup(table, symbol, nocase, context, out);
    }
    int32_t n = v.key_count();
    Cell* word = series_buffer::alloc_tail_cell(buffer_at(record(table)->keys));
    *word = Cell{TYPE_WORD, reinterpret_cast<uint32_t>(context), uint32_t(symbol), uint32_t(n)};
    v.load();
    v.buckets[empty] = n;
    set_flag(v.flags, uint32_t(empty), BUCKET_LIVE);
    v.r->size++;
    v.r->occupied++;
    if (out) *out = n;
    return -1;
}

// ---- Stride tables ------------------------------------------------------------------

Cell* put_pointer_key(Node table, uint32_t key) {
    check_stamp(table);
    Table* r = record(table);
    if (r->occupied >= r->bound)
        rebuild(table, r->bucket_count > 2 * r->size ? r->bucket_count - 1 : r->bucket_count + 1);
    View v(table);
    uint32_t stride = stride_of(v.r);
    int32_t site, empty;
    int32_t found = probe_pointer(v, key, &site, &empty);
    uint32_t offset;
    if (found >= 0) {
        offset = uint32_t(v.buckets[found]);
    } else if (site >= 0) {
        offset = uint32_t(v.buckets[site]);
        set_flag(v.flags, uint32_t(site), BUCKET_LIVE);
        v.r->size++;
    } else if (empty >= 0) {
        SeriesBuffer* keys = buffer_at(v.r->keys);
        offset = keys->byte_length();
        std::memset(series_buffer::alloc_tail_bytes(keys, stride), 0, stride);
        v.load();
        v.buckets[empty] = int32_t(offset);
        set_flag(v.flags, uint32_t(empty), BUCKET_LIVE);
        v.r->size++;
        v.r->occupied++;
    } else {
        rebuild(table, v.r->bucket_count * 2);
        return put_pointer_key(table, key);
    }
    auto* entry = reinterpret_cast<Cell*>(reinterpret_cast<uint8_t*>(v.keys) + offset);
    entry[0] = Cell{STRIDE_LIVE, key, 0, 0};
    for (uint32_t c = 1; c < stride / sizeof(Cell); c++) entry[c] = Cell{TYPE_UNSET, 0, 0, 0};
    return entry + 1;
}

Cell* find_pointer_key(Node table, uint32_t key) {
    check_stamp(table);
    View v(table);
    int32_t found = probe_pointer(v, key, nullptr, nullptr);
    if (found < 0) return nullptr;
    return reinterpret_cast<Cell*>(reinterpret_cast<uint8_t*>(v.keys) + v.buckets[found]) + 1;
}

Cell* delete_pointer_key(Node table, uint32_t key) {
    check_stamp(table);
    View v(table);
    int32_t found = probe_pointer(v, key, nullptr, nullptr);
    if (found < 0) return nullptr;
    set_flag(v.flags, uint32_t(found), BUCKET_DELETED);
    v.r->size--;
    auto* entry = reinterpret_cast<Cell*>(reinterpret_cast<uint8_t*>(v.keys) + v.buckets[found]);
    entry->header = 0;
    return entry + 1;
}

void rehash(Node table) {
    View v(table);
    fill(reinterpret_cast<Node>(v.r->flags), 0xAA);
    v.r->size = 0;
    v.r->occupied = 0;
    uint32_t stride = stride_of(v.r);
    SeriesBuffer* keys = buffer_at(v.r->keys);
    for (uint32_t off = 0; off + stride <= keys->byte_length(); off += stride) {
        auto* entry = reinterpret_cast<Cell*>(keys->head + off);
        if (entry->header == STRIDE_LIVE) place_stride_entry(v, entry->data1, off);
    }
    v.r->stamp = gc::counters.nodes_cycles + 1;
}

void rebuild_stride(Node table, int32_t n) {
    uint32_t pow2 = round_up_pow2(uint32_t(n < 0 ? 0 : n));
    uint32_t buckets = pow2 < 4 ? 4 : pow2;
    int32_t bound = int32_t(double(pow2) * LOAD_FACTOR + 0.5);
    uint32_t stride = stride_of(record(table));
    uint32_t old_size = uint32_t(record(table)->size > 0 ? record(table)->size : 1);
    Node old_keys = reinterpret_cast<Node>(record(table)->keys);
    Node flags = alloc_filled(buckets / 4, 0xAA);
    Node bucket_array = alloc_zeroed(buckets * 4);
    Node keys = memory::alloc_cells(memory::checked_mul(stride / sizeof(Cell), old_size));
    Table* r = record(table);
    r->flags = reinterpret_cast<uint32_t>(flags);
    r->buckets = reinterpret_cast<uint32_t>(bucket_array);
    r->keys = reinterpret_cast<uint32_t>(keys);
    r->bucket_count = int32_t(buckets);
    r->bound = bound;
    r->size = 0;
    r->occupied = 0;
    for (uint32_t off = 0; off + stride <= buffer_of(old_keys)->byte_length(); off += stride) {
        if (reinterpret_cast<Cell*>(buffer_of(old_keys)->head + off)->header != STRIDE_LIVE) continue;
        SeriesBuffer* fresh = buffer_of(keys);
        uint32_t to = fresh->byte_length();
        uint8_t* at = series_buffer::alloc_tail_bytes(fresh, stride);
        std::memcpy(at, buffer_of(old_keys)->head + off, stride);
        View v(table);
        place_stride_entry(v, reinterpret_cast<Cell*>(at)->data1, to);
    }
    record(table)->stamp = gc::counters.nodes_cycles + 1;
}

void sweep_weak(Node table) {
    View v(table);
    if (v.r->kind != KIND_POINTER && v.r->kind != KIND_OWNER) return;
    auto* bytes = reinterpret_cast<uint8_t*>(v.keys);
    for (uint32_t i = 0; i < uint32_t(v.r->bucket_count); i++) {
        if (v.flag(i) != BUCKET_LIVE) continue;
        auto* entry = reinterpret_cast<Cell*>(bytes + v.buckets[i]);
        bool dead = !gc::is_marked(reinterpret_cast<Node>(entry->data1));
        if (!dead && v.r->kind == KIND_OWNER) dead = !gc::is_marked(reinterpret_cast<Node>(entry[2].data1));
        if (!dead) continue;
        set_flag(v.flags, i, BUCKET_DELETED);
        v.r->size--;
        entry->header = 0;
        entry->data1 = 0;
    }
}

// ---- Debug --------------------------------------------------------------------------

void dump(Node table) {
    namespace sp = system_print;
    View v(table);
    bool stride = v.r->kind == KIND_POINTER || v.r->kind == KIND_OWNER;
    auto line = [&](uint32_t i) {
        sp::TypedRecord parts[2 + 2 * 16];
        int32_t n = 0;
        if (stride) {
            uint32_t cells = stride_of(v.r) / sizeof(Cell);
            auto* entry = reinterpret_cast<Cell*>(reinterpret_cast<uint8_t*>(v.keys) + v.buckets[i]);
            parts[n++] = sp::hex(entry->data1);
            parts[n++] = sp::string(" ");
            for (uint32_t c = 1; c < cells && n + 2 <= int32_t(sizeof parts / sizeof parts[0]); c++) {
                parts[n++] = sp::integer(int32_t(entry[c].header & TYPE_MASK));
                parts[n++] = sp::string(" ");
            }
        } else {
            int32_t k = v.first_index(v.buckets[i]);
            if (k < 0 || k >= v.key_count()) {
                parts[n++] = sp::string("- ");  // an emptied chain or a stale index
                sp::print_line(n, parts);
                return;
            }
            parts[n++] = sp::integer(int32_t(v.keys[k].header & TYPE_MASK));
            parts[n++] = sp::string(" ");
            if (v.r->kind != KIND_HASH && k + 1 < v.key_count())
                parts[n++] = sp::integer(int32_t(v.keys[k + 1].header & TYPE_MASK));
        }
        sp::print_line(n, parts);
    };
    sp::TypedRecord deleted[] = {sp::string("\n== Deleted keys ==")};
    sp::print_line(1, deleted);
    for (uint32_t i = 0; i < uint32_t(v.r->bucket_count); i++)
        if (v.flag(i) == BUCKET_DELETED) line(i);
    sp::TypedRecord alive[] = {sp::string("== Alive keys ==")};
    sp::print_line(1, alive);
    for (uint32_t i = 0; i < uint32_t(v.r->bucket_count); i++)
        if (v.flag(i) == BUCKET_LIVE) line(i);
}

}  // namespace qor::hashtable
