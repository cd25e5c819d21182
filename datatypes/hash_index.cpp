// Upkeep of a hash!'s index through the hash-table operations (see
// hash_index.hpp).
#include "datatypes/hash_index.hpp"

#include <cstdint>

#include "datatypes/series_internal.hpp"
#include "datatypes/hash_table.hpp"

namespace qor::hash_index {

namespace {

inline Node table_of(const Cell* value) { return reinterpret_cast<Node>(value->data3); }
inline int32_t cells_of(const Cell* value) { return int32_t(buffer_of(cell_node(value))->byte_length() / sizeof(Cell)); }
inline Cell* cell_at(const Cell* value, uint32_t offset) {
    return reinterpret_cast<Cell*>(buffer_of(cell_node(value))->head) + offset;
}

}  // namespace

void shift(const Cell* value, int32_t delta, uint32_t from, uint32_t count) {
    if (!indexed_q(value) || delta == 0) return;
    if (hashtable::shift_indexes(table_of(value), delta, int32_t(from), int32_t(count), true) != 0)
        hashtable::resize(table_of(value), cells_of(value));
}

void put(const Cell* value, uint32_t offset) {
    if (!indexed_q(value)) return;
    hashtable::put(table_of(value), cell_at(value, offset));
}

void put_range(const Cell* value, uint32_t from, uint32_t count) {
    if (!indexed_q(value)) return;
    for (uint32_t i = 0; i < count; i++) {
        int32_t status = 0;
        hashtable::put_key(table_of(value), cell_at(value, from + i), &status);
        // A rebuild indexed every cell of the block already.
        if (status == 2) return;
    }
}

void unindex(const Cell* value, uint32_t offset) {
    if (!indexed_q(value)) return;
    hashtable::delete_key(table_of(value), cell_at(value, offset));
}

void delete_range(const Cell* value, uint32_t from, uint32_t count) {
    if (!indexed_q(value) || count == 0) return;
    hashtable::delete_range(table_of(value), int32_t(from), int32_t(count));
}

void rebuild(const Cell* value) {
    if (!indexed_q(value)) return;
    int32_t n = cells_of(value);
    hashtable::resize(table_of(value), n < 1 ? 1 : n);
}

void make_for(Cell* value) {
    int32_t n = cells_of(value) - int32_t(value->data1);
    value->data3 = 0;
    Cell source = *value;
    source.data1 = 0;
    Node table = hashtable::make(n < 1 ? 1 : n, &source, hashtable::KIND_HASH);
    value->data3 = reinterpret_cast<uint32_t>(table);
}

int32_t find(const Cell* value, const Cell* key, uint32_t from, uint32_t skip, int32_t op, bool last,
             bool reverse) {
    if (!indexed_q(value)) return -2;
    Cell k = *key;
    Cell* hit = hashtable::find(table_of(value), &k, int32_t(from), int32_t(skip), op, last, reverse);
    if (!hit) return -1;
    return int32_t(hit - reinterpret_cast<Cell*>(buffer_of(cell_node(value))->head));
}

}  // namespace qor::hash_index
