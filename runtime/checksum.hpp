// Checksums of raw byte buffers: CRC-32 (the zlib/PNG CRC), the 16-bit
// Internet checksum and Adler-32.  Pure functions; the CRC tables are built at
// compile time.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qor::crc32 {

// CRC-32 of `length` bytes (ISO 3309 / ITU-T V.42, reflected 0xEDB88320,
// pre- and post-inverted).  "" gives 0, "123456789" gives 0xCBF43926.
uint32_t compute(const void* bytes, size_t length);

// Continues a CRC over more bytes: update(compute(a), b) == compute(a + b),
// and update(0, x) == compute(x).  For streams (gzip, PNG chunks).
uint32_t update(uint32_t crc, const void* bytes, size_t length);

}  // namespace qor::crc32

namespace qor::tcp {

// The Internet checksum (RFC 1071): the ones' complement of the ones'
// complement sum of big-endian 16-bit words, an odd last byte padded with a
// zero low byte.  Result 0..65535.
uint32_t checksum(const void* bytes, size_t length);

}  // namespace qor::tcp

namespace qor::adler32 {

// Adler-32 (RFC 1950).  "" gives 1.
uint32_t compute(const void* bytes, size_t length);

// Continues a checksum: update(compute(a), b) == compute(a + b); start at 1.
uint32_t update(uint32_t adler, const void* bytes, size_t length);

}  // namespace qor::adler32
