// binary!: the byte series.  It shares the series machinery and most
// navigation actions with string! and adds its own appending and changing
// rules (bytes of values), its text form #{...}, bytewise logic and zero-byte
// trimming.  The base codecs are in datatypes/binary_codecs.hpp.
//
// Cell: word 1 the head index in bytes, word 2 the node of a unit-1 buffer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/cell.hpp"

namespace qor::binary {

void init();   // registers binary! (after string!)

// A new binary holding a copy of the n bytes (none copied when `bytes` is
// null: the tail stays at the head), index 0.
Cell make(const uint8_t* bytes, uint32_t n);

// How values become bytes.
enum EncodeMode : int32_t {
    ENCODE_STRICT = 0,   // integers, chars, text, binaries, tuples, blocks of these
    ENCODE_ANY    = 2,   // and any other value formed, its text as UTF-8
};

// Appends the bytes of `value` to `out`; answers how many.  A limit of 1 or
// more cuts the count: bytes, or for a block the elements unless
// `limit_counts_bytes`.  Raises script/invalid-arg for an integer outside
// -128..255 and, in strict mode, script/bad-to-arg for another type.
uint32_t encode_value(std::vector<uint8_t>& out, const Cell* value, int32_t limit, bool limit_counts_bytes,
                      int32_t mode);

// Bytes from the index (clamped) to the tail, and their address.
uint32_t length_from_index(const Cell* value);
uint8_t* data_at_index(const Cell* value);

// The bytes a value stands for: a binary!'s from its index, or the UTF-8 of
// a text value from its index.  A copy, so it survives allocation.
std::string bytes_of(const Cell* value);

// The literal decoder (literal.hpp): an optional base 2, 16 or 64, then #{ and the bytes up to the closing brace (blanks, line ends and ";" comments skipped).
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

}  // namespace qor::binary
