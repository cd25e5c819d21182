// The base-2, base-16, base-58 and base-64 codecs of binary data (behind
// the enbase and debase natives).
//
// Encoders write ASCII text into a buffer the caller sizes with
// `encoded_size`.  Decoders read the characters of a text buffer (unit 1, 2
// or 4 bytes per character) and write bytes into a buffer the caller sizes
// with `decoded_room`; they answer the byte count, or -1 when the text does
// not decode.  Every decoder takes ";" as the start of a comment that runs
// to the next line feed.  No routine allocates.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qor::binary {

// The characters `n` bytes encode to in the base (2, 16, 58 or 64); for
// base 58 an upper bound.  0 for any other base.
uint64_t encoded_size(int32_t base, uint64_t n);

// Each answers the characters written.
size_t enbase_2(const uint8_t* in, size_t n, char* out);    // 8 per byte, high bit first
size_t enbase_16(const uint8_t* in, size_t n, char* out);   // 2 upper-case digits per byte
size_t enbase_58(const uint8_t* in, size_t n, char* out);   // leading zero bytes as "1"
size_t enbase_64(const uint8_t* in, size_t n, char* out);   // RFC 4648, "=" padding, no breaks

// Room the decoder of the base needs for `count` characters (0 for another
// base).
size_t decoded_room(int32_t base, size_t count);

// `text` holds `count` characters of `unit` bytes each.
int32_t debase_2(const uint8_t* text, uint32_t unit, size_t count, uint8_t* out);
int32_t debase_16(const uint8_t* text, uint32_t unit, size_t count, uint8_t* out);
int32_t debase_58(const uint8_t* text, uint32_t unit, size_t count, uint8_t* out);
int32_t debase_64(const uint8_t* text, uint32_t unit, size_t count, uint8_t* out);

}  // namespace qor::binary
