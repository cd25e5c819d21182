// The runtime's LZ77 coder with a bit-level format.
//
// Stream: two little-endian 32-bit words (compressed size = bytes after this
// 8-byte header, decoded size), then blocks.  A block is a 32-bit length L
// (1 .. MAX_BLOCK decoded bytes) followed by its bit stream, padded to a byte;
// the bit reader starts empty at each block.  Bits are taken from the least
// significant end of each byte.  Symbols until L bytes are out:
//   0 + 8 bits                literal byte
//   1 + length + distance     copy n + 3 bytes (3 .. 566) from d + 1 back
// Length: 1+2 bits -> 0-3, 01+2 -> 4-7, 001+2 -> 8-11, 0001+3 -> 12-19,
// 00001+5 -> 20-51, 00000+9 -> 52-563.  Distance: 4 bits j; j = 0: d = next
// 3 bits; else k = j + 2 and d = 2^k + next k bits (back offsets 1 .. 2^18).
#pragma once
#include <cstddef>
#include <cstdint>

namespace qor::lz {

constexpr uint32_t MAX_BLOCK = 1048576;
constexpr uint32_t MAX_DISTANCE = 262144;   // back offset d + 1 at most this
constexpr uint32_t MIN_MATCH = 3;
constexpr uint32_t MAX_MATCH = 566;
constexpr size_t HEADER_SIZE = 8;

// Decodes the stream at `stream`, of which `available` bytes may be read,
// into a new tracked-heap buffer of decoded size + 8 bytes (free it with
// free_buffer).  Stores the decoded length at `size` when given.  Answers
// null, having freed its output, for any malformed, truncated or
// over-long stream; never reads or writes outside the two buffers.
uint8_t* decompress(const uint8_t* stream, size_t available, uint32_t* size = nullptr);

void free_buffer(uint8_t* buffer);

// Encodes `length` bytes into a new tracked-heap stream (free it with
// free_buffer) and stores the stream's whole size, header included, at
// `stream_size`.  Null when the input is too long for the 32-bit header.
uint8_t* compress(const uint8_t* input, size_t length, size_t* stream_size);

}  // namespace qor::lz
