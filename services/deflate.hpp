// DEFLATE (RFC 1951) with the zlib (RFC 1950) and gzip (RFC 1952) wrappers.
//
// The compressor writes one final block with the fixed Huffman codes, using a
// four-way hashed match finder; the inflater reads stored, fixed and dynamic
// blocks.  Every routine takes (output, size, input, input length): on entry
// *size is the output capacity; on return it is the number of bytes
// produced, or, with RESULT_TOO_SMALL, the number needed.  Output beyond the
// capacity is counted, never stored, so a run with capacity 0 measures.
// Nothing here allocates, throws or reads outside its buffers, whatever the
// input.
#pragma once
#include <cstdint>

namespace qor::deflate {

enum Result : int32_t {
    RESULT_OK = 0,
    RESULT_TOO_SMALL = 1,       // *size is the capacity needed
    RESULT_BAD_DATA = 2,        // header, code, checksum or length check failed; truncated data
    RESULT_STORED_TOO_LONG = 3, // a stored block longer than the input
    RESULT_BAD_BLOCK_TYPE = 4,  // block type 3
    RESULT_BAD_DISTANCE = 5,    // a distance reaching before the start of the output
};

// The largest size a routine reports; a stream that would inflate to more
// stops there with RESULT_TOO_SMALL and *size == SIZE_LIMIT, so measuring a
// decompression bomb ends quickly and no count wraps.
constexpr uint32_t SIZE_LIMIT = 0xFFFFFFFFu;

int32_t deflate_compress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length);
int32_t zlib_compress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length);
int32_t gzip_compress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length);

int32_t inflate(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length);
int32_t zlib_decompress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length);
int32_t gzip_decompress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length);

// The three framings by method number: 0 zlib, 1 raw deflate, 2 gzip.
enum Method : int32_t { METHOD_ZLIB = 0, METHOD_DEFLATE = 1, METHOD_GZIP = 2 };
using Routine = int32_t (*)(uint8_t*, uint32_t*, const uint8_t*, uint32_t);
Routine compressor(int32_t method);
Routine decompressor(int32_t method);

}  // namespace qor::deflate
