#include "runtime/checksum.hpp"

#include <array>

namespace qor {

namespace {

// Entry n: n shifted right eight times, XORed with the reflected polynomial
// whenever the bit shifted out was set.  Tables 1-3 extend table 0 so that
// four bytes are folded in per step ("slicing by four"): table k, entry n is
// the CRC of byte n followed by k zero bytes.
using CrcTables = std::array<std::array<uint32_t, 256>, 4>;

constexpr CrcTables make_crc_tables() {
    CrcTables t{};
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; n++) {
        for (int k = 1; k < 4; k++) t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
    }
    return t;
}

constexpr CrcTables crc_tables = make_crc_tables();
static_assert(crc_tables[0][1] == 0x77073096u && crc_tables[0][255] == 0x2D02EF8Du);

// Largest block after which a and b still fit a signed 32-bit word before
// their reduction (255 * n * (n + 1) / 2 + (n + 1) * 65520 < 2^31).
constexpr size_t ADLER_BLOCK = 3854;
constexpr uint32_t ADLER_BASE = 65521;

}  // namespace

uint32_t crc32::update(uint32_t crc, const void* bytes, size_t length) {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    const auto& t = crc_tables;
    uint32_t c = ~crc;
    for (; length >= 4; length -= 4, p += 4) {
        c ^= uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        c = t[3][c & 0xFF] ^ t[2][(c >> 8) & 0xFF] ^ t[1][(c >> 16) & 0xFF] ^ t[0][c >> 24];
    }
    for (; length > 0; length--) c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return ~c;
}

uint32_t crc32::compute(const void* bytes, size_t length) { return update(0, bytes, length); }

uint32_t tcp::checksum(const void* bytes, size_t length) {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    // A 64-bit sum cannot overflow for any buffer a 32-bit process holds; the
    // carries are folded back in until the sum fits 16 bits.
    uint64_t sum = 0;
    size_t i = 0;
    for (; i + 1 < length; i += 2) sum += uint32_t(p[i]) << 8 | p[i + 1];
    if (i < length) sum += uint32_t(p[i]) << 8;
    while (sum >> 16) sum = (sum >> 16) + (sum & 0xFFFF);
    return ~uint32_t(sum) & 0xFFFF;
}

uint32_t adler32::update(uint32_t adler, const void* bytes, size_t length) {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    uint32_t a = adler & 0xFFFF, b = adler >> 16;
    while (length > 0) {
        size_t block = length < ADLER_BLOCK ? length : ADLER_BLOCK;
        length -= block;
        for (; block >= 16; block -= 16, p += 16) {
            for (int k = 0; k < 16; k++) {
                a += p[k];
                b += a;
            }
        }
        for (; block > 0; block--) {
            a += *p++;
            b += a;
        }
        a %= ADLER_BASE;
        b %= ADLER_BASE;
    }
    return b << 16 | a;
}

uint32_t adler32::compute(const void* bytes, size_t length) { return update(1, bytes, length); }

}  // namespace qor
