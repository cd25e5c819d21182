// Hash functions of every keyed lookup: MurmurHash3 (x86, 32-bit) over
// bytes, its finalizer over pointers, and the hash of a value cell by type.
//
// Every byte and string hash starts from one process-wide seed, fixed before
// any table is built, so hash values, bucket positions and the iteration
// order of table dumps are the same from run to run.
//
// Strings hash by character, not by byte: each character is one 4-byte
// block, whatever the buffer's unit, so a text hashes the same at every
// width.  Without `strict` the characters are upper-cased first
// (case_::map_char), so texts that differ only in letter case collide on
// purpose.  A symbol hashes the bytes of its UTF-8 spelling with ASCII
// letters lower-cased, which is the intern index's key.
#pragma once
#include "runtime/cell.hpp"

#include <cstdint>

namespace qor::hashtable {

constexpr uint32_t HASH_SEED = 0x0059360Cu;

// Set to HASH_SEED before any table exists; never changed by the runtime
// (tests may set it to check the published algorithm, then put it back).
extern uint32_t hash_seed;

// MurmurHash3 x86 32-bit of `length` bytes, seeded with hash_seed.
uint32_t hash_bytes(const void* bytes, uint32_t length);
// The same with an explicit seed.
uint32_t murmur3_32(const void* bytes, uint32_t length, uint32_t seed);

// The MurmurHash3 finalizer (fmix32) alone, no seed.
constexpr uint32_t hash_pointer(uint32_t h) {
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

// The characters of a string-family cell from its index to its tail (unit
// 1, 2 or 4), each folded to upper case unless `strict`.  A string slice
// (TYPE_STRING_SLICE, datatypes/string.hpp) with a count >= 0 in word 3
// hashes only that many characters.
uint32_t hash_string(const Cell* string, bool strict);
// The spelling of a symbol! record, ASCII letters lower-cased.
uint32_t hash_symbol(const Cell* symbol);
// hash_bytes of a spelling with ASCII letters lower-cased (the intern key).
uint32_t hash_spelling(const uint8_t* bytes, uint32_t length);
// The hash of any value, by its datatype byte.  Every caller of the runtime
// passes strict = false.
uint32_t hash_value(const Cell* value, bool strict);

// The types whose hash involves a node or pointer that the collector may
// move (a table holding such keys is re-placed after node evacuation).
bool is_address_keyed(const Cell* value);

// Smallest power of two >= n; 0 for 0.
uint32_t round_up_pow2(uint32_t n);

}  // namespace qor::hashtable
