// The address map.
#include "runtime/address_map.hpp"

#include "runtime/heap.hpp"

#include <cstring>

namespace qor::addrmap {

namespace {

constexpr double LOAD = 0.77;

uint32_t state(const uint32_t* f, uint32_t i) { return (f[i >> 4] >> ((i & 15u) << 1)) & 3u; }
bool is_empty(const uint32_t* f, uint32_t i) { return state(f, i) & 2u; }
bool is_deleted(const uint32_t* f, uint32_t i) { return state(f, i) & 1u; }
bool is_live(const uint32_t* f, uint32_t i) { return state(f, i) == 0; }
void set_live(uint32_t* f, uint32_t i) { f[i >> 4] &= ~(3u << ((i & 15u) << 1)); }
void set_deleted(uint32_t* f, uint32_t i) {
    f[i >> 4] = (f[i >> 4] & ~(3u << ((i & 15u) << 1))) | (1u << ((i & 15u) << 1));
}

// At least one 32-bit word, so that 4 buckets read as a whole word.
size_t flag_bytes(uint32_t buckets) { return size_t((buckets + 15) / 16) * 4; }

uint32_t* new_flags(uint32_t buckets) {
    uint32_t* f = static_cast<uint32_t*>(heap::alloc(flag_bytes(buckets)));
    std::memset(f, 0xAA, flag_bytes(buckets));
    return f;
}

}  // namespace

uint32_t hash_pointer(uint32_t h) {
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

uint32_t round_up_pow2(uint32_t x) {
    --x;
    x |= x >> 1;
    x |= x >> 2;
    x |= x >> 4;
    x |= x >> 8;
    x |= x >> 16;
    return ++x;
}

AddressMap* make(uint32_t n) {
    uint32_t want = n < 4 ? 4 : n;
    uint32_t buckets = round_up_pow2(uint32_t(want / LOAD));
    AddressMap* map = static_cast<AddressMap*>(heap::alloc(sizeof(AddressMap)));
    map->size = 0;
    map->occupied = 0;
    map->buckets = buckets;
    map->bound = uint32_t(buckets * LOAD);
    map->flags = new_flags(buckets);
    map->entries = static_cast<uint32_t*>(heap::alloc(size_t(buckets) * 8));
    return map;
}

int32_t resize(AddressMap* map, uint32_t n) {
    uint32_t fresh = round_up_pow2(n);
    if (fresh < 4) fresh = 4;
    uint32_t bound = uint32_t(fresh * LOAD + 0.5);
    if (map->size >= bound) return 0;  // too small for what it holds: nothing to do

    uint32_t* flags = new_flags(fresh);
    if (map->buckets < fresh) {
        void* grown = heap::realloc(map->entries, size_t(fresh) * 8);
        if (!grown) {
            heap::free(flags);
            return -1;
        }
        map->entries = static_cast<uint32_t*>(grown);
    }
    // Re-place every live entry in place (kick-out): an entry that lands on a
    // bucket still holding a live old entry swaps with it and the displaced
    // one goes on.
    uint32_t mask = fresh - 1;
    uint32_t* e = map->entries;
    for (uint32_t j = 0; j < map->buckets; j++) {
        if (!is_live(map->flags, j)) continue;
        uint32_t key = e[2 * j], value = e[2 * j + 1];
        set_deleted(map->flags, j);
        for (;;) {
            uint32_t i = hash_pointer(key) & mask, step = 0;
            while (!is_empty(flags, i)) i = (i + (++step)) & mask;
            set_live(flags, i);
            if (i < map->buckets && is_live(map->flags, i)) {
                uint32_t k = e[2 * i], v = e[2 * i + 1];
                e[2 * i] = key;
                e[2 * i + 1] = value;
                key = k;
                value = v;
                set_deleted(map->flags, i);
            } else {
                e[2 * i] = key;
                e[2 * i + 1] = value;
                break;
            }
        }
    }
    if (map->buckets > fresh) {
        void* shrunk = heap::realloc(map->entries, size_t(fresh) * 8);
        if (shrunk) map->entries = static_cast<uint32_t*>(shrunk);
    }
    heap::free(map->flags);
    map->flags = flags;
    map->buckets = fresh;
    map->occupied = map->size;
    map->bound = bound;
    return 0;
}

void put(AddressMap* map, uint32_t key, uint32_t value) {
    if (map->occupied >= map->bound)
        resize(map, map->buckets > 2 * map->size ? map->buckets - 1 : map->buckets + 1);
    uint32_t mask = map->buckets - 1;
    uint32_t home = hash_pointer(key) & mask, i = home, step = 0;
    const uint32_t NONE = 0xFFFFFFFFu;
    uint32_t x = NONE, site = NONE;
    if (is_empty(map->flags, i)) {
        x = i;
    } else {
        while (!is_empty(map->flags, i) && (is_deleted(map->flags, i) || map->entries[2 * i] != key)) {
            if (is_deleted(map->flags, i) && site == NONE) site = i;
            i = (i + (++step)) & mask;
            if (i == home) {
                x = site;
                break;
            }
        }
        if (x == NONE) x = (is_empty(map->flags, i) && site != NONE) ? site : i;
    }
    if (x == NONE) {
        // A full turn over live keys only; cannot happen below the bound,
        // but never write outside the table.
        resize(map, map->buckets + 1);
        put(map, key, value);
        return;
    }
    if (is_empty(map->flags, x)) {
        map->entries[2 * x] = key;
        set_live(map->flags, x);
        map->size++;
        map->occupied++;
    } else if (is_deleted(map->flags, x)) {
        map->entries[2 * x] = key;
        set_live(map->flags, x);
        map->size++;
    }
    map->entries[2 * x + 1] = value;
}

int32_t find_slot(AddressMap* map, uint32_t key) {
    uint32_t mask = map->buckets - 1;
    uint32_t home = hash_pointer(key) & mask, i = home, step = 0;
    while (!is_empty(map->flags, i) && (is_deleted(map->flags, i) || map->entries[2 * i] != key)) {
        i = (i + (++step)) & mask;
        if (i == home) return -1;
    }
    return is_live(map->flags, i) ? int32_t(i) : -1;
}

uint32_t* get(AddressMap* map, uint32_t key) {
    int32_t b = find_slot(map, key);
    return b < 0 ? nullptr : &map->entries[2 * b + 1];
}

void delete_key(AddressMap* map, uint32_t key) {
    int32_t b = find_slot(map, key);
    if (b < 0) return;
    set_deleted(map->flags, uint32_t(b));
    map->size--;
}

void clear(AddressMap* map) {
    std::memset(map->flags, 0xAA, flag_bytes(map->buckets));
    map->size = 0;
    map->occupied = 0;
}

void free(AddressMap* map) {
    if (!map) return;
    heap::free(map->flags);
    heap::free(map->entries);
    heap::free(map);
}

uint32_t size(const AddressMap* map) { return map->size; }

uint32_t* next(AddressMap* map, uint32_t* entry) {
    uint32_t i = entry ? uint32_t(entry - map->entries) / 2 + 1 : 0;
    for (; i < map->buckets; i++)
        if (is_live(map->flags, i)) return &map->entries[2 * i];
    return nullptr;
}

}  // namespace qor::addrmap
