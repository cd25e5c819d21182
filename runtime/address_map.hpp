// The address map: a hash map from a 32-bit address to a 32-bit value on the
// tracked heap, outside the collected memory.  The collector records node
// moves in one while it evacuates node frames.
//
// Open addressing with the hash tables' scheme: power-of-two bucket counts,
// 2 bits of state per bucket (2 empty, 1 deleted, 0 live; a new flag array is
// filled with 0xAA), triangular probing (offsets 1, 3, 6, 10 ... from the
// home bucket; a full turn ends a search) and a load factor of 0.77.
#pragma once
#include <cstdint>

namespace qor::addrmap {

struct AddressMap {
    uint32_t  size;      // live keys
    uint32_t* flags;     // 2 bits per bucket
    uint32_t* entries;   // {key, value} per bucket
    uint32_t  occupied;  // live + deleted buckets
    uint32_t  buckets;   // a power of two
    uint32_t  bound;     // an insertion at occupied >= bound resizes first
};
static_assert(sizeof(AddressMap) == 24, "an address map is six 32-bit words");

AddressMap* make(uint32_t n);  // room for n entries
void        put(AddressMap* map, uint32_t key, uint32_t value);  // overwrites an existing key's value
uint32_t*   get(AddressMap* map, uint32_t key);                  // the value, or null
int32_t     find_slot(AddressMap* map, uint32_t key);            // bucket, or -1
void        delete_key(AddressMap* map, uint32_t key);
int32_t     resize(AddressMap* map, uint32_t n);                 // 0, or -1 when the heap refused
void        clear(AddressMap* map);
void        free(AddressMap* map);
uint32_t    size(const AddressMap* map);
// The next live entry {key, value} after `entry` (the first for null), or null.
uint32_t*   next(AddressMap* map, uint32_t* entry);

uint32_t hash_pointer(uint32_t value);  // the MurmurHash3 finalizer
uint32_t round_up_pow2(uint32_t n);     // smallest power of two >= n (0 for 0)

}  // namespace qor::addrmap
