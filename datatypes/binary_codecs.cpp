// The base codecs of binary data.
#include "datatypes/binary_codecs.hpp"

#include <cstring>

namespace qor::binary {

namespace {

const char HEX_DIGITS[] = "0123456789ABCDEF";
const char BASE58_DIGITS[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
const char BASE64_DIGITS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

inline uint32_t char_at(const uint8_t* text, uint32_t unit, size_t i) {
    const uint8_t* p = text + i * unit;
    if (unit == 1) return *p;
    if (unit == 2) return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    uint32_t c;
    std::memcpy(&c, p, 4);
    return c;
}

// The index after the comment that starts at i (the line feed included).
inline size_t skip_comment(const uint8_t* text, uint32_t unit, size_t count, size_t i) {
    while (i < count && char_at(text, unit, i) != '\n') i++;
    return i;
}

// Whitespace of the base-58 and base-64 decoders.
inline bool codec_space(uint32_t c) {
    return c == 8 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32 || c == '\'';
}

int32_t hex_value(uint32_t c) {
    if (c >= '0' && c <= '9') return int32_t(c - '0');
    if (c >= 'A' && c <= 'F') return int32_t(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return int32_t(c - 'a' + 10);
    return -1;
}

int32_t base58_value(uint32_t c) {
    if (c > 127) return -1;
    const char* p = std::strchr(BASE58_DIGITS, int(c));
    return c && p ? int32_t(p - BASE58_DIGITS) : -1;
}

int32_t base64_value(uint32_t c) {
    if (c >= 'A' && c <= 'Z') return int32_t(c - 'A');
    if (c >= 'a' && c <= 'z') return int32_t(c - 'a' + 26);
    if (c >= '0' && c <= '9') return int32_t(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

uint64_t encoded_size(int32_t base, uint64_t n) {
    switch (base) {
    case 2: return n * 8;
    case 16: return n * 2;
    case 64: return (n + 2) / 3 * 4;
    case 58: return n * 138 / 100 + 1;   // log 256 / log 58 < 1.38
    default: return 0;
    }
}

size_t enbase_2(const uint8_t* in, size_t n, char* out) {
    for (size_t i = 0; i < n; i++)
        for (int bit = 7; bit >= 0; bit--) *out++ = char('0' + ((in[i] >> bit) & 1));
    return n * 8;
}

size_t enbase_16(const uint8_t* in, size_t n, char* out) {
    for (size_t i = 0; i < n; i++) {
        *out++ = HEX_DIGITS[in[i] >> 4];
        *out++ = HEX_DIGITS[in[i] & 15];
    }
    return n * 2;
}

size_t enbase_58(const uint8_t* in, size_t n, char* out) {
    size_t zeros = 0;
    while (zeros < n && in[zeros] == 0) zeros++;
    // The number in base-58 digits, least significant last, built in the
    // tail of the output so that no scratch buffer is needed.
    size_t room = size_t(encoded_size(58, n));
    uint8_t* digits = reinterpret_cast<uint8_t*>(out);
    size_t used = 0;   // digits in use, at digits[room - used, room)
    for (size_t i = zeros; i < n; i++) {
        uint32_t carry = in[i];
        for (size_t k = 0; k < used; k++) {
            uint8_t& d = digits[room - 1 - k];
            carry += uint32_t(d) << 8;
            d = uint8_t(carry % 58);
            carry /= 58;
        }
        while (carry) {
            digits[room - 1 - used++] = uint8_t(carry % 58);
            carry /= 58;
        }
    }
    size_t length = zeros + used;
    std::memmove(out + zeros, digits + room - used, used);
    for (size_t i = 0; i < zeros; i++) out[i] = '1';
    for (size_t i = zeros; i < length; i++) out[i] = BASE58_DIGITS[uint8_t(out[i])];
    return length;
}

size_t enbase_64(const uint8_t* in, size_t n, char* out) {
    char* start = out;
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        uint32_t v = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8 | in[i + 2];
        *out++ = BASE64_DIGITS[v >> 18];
        *out++ = BASE64_DIGITS[(v >> 12) & 63];
        *out++ = BASE64_DIGITS[(v >> 6) & 63];
        *out++ = BASE64_DIGITS[v & 63];
    }
    if (n - i == 1) {
        uint32_t v = uint32_t(in[i]) << 16;
        *out++ = BASE64_DIGITS[v >> 18];
        *out++ = BASE64_DIGITS[(v >> 12) & 63];
        *out++ = '=';
        *out++ = '=';
    } else if (n - i == 2) {
        uint32_t v = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8;
        *out++ = BASE64_DIGITS[v >> 18];
        *out++ = BASE64_DIGITS[(v >> 12) & 63];
        *out++ = BASE64_DIGITS[(v >> 6) & 63];
        *out++ = '=';
    }
    return size_t(out - start);
}

size_t decoded_room(int32_t base, size_t count) {
    switch (base) {
    case 2: return count / 8;
    case 16: return count / 2;
    case 64: return (count * 3 + 9) / 4;
    case 58: return count;
    default: return 0;
    }
}

int32_t debase_2(const uint8_t* text, uint32_t unit, size_t count, uint8_t* out) {
    int32_t written = 0;
    uint32_t acc = 0, bits = 0;
    for (size_t i = 0; i < count; i++) {
        uint32_t c = char_at(text, unit, i);
        if (c == ';') {
            i = skip_comment(text, unit, count, i);
            continue;
        }
        if (c <= 32) continue;
        if (c != '0' && c != '1') return -1;
        acc = acc << 1 | (c - '0');
        if (++bits == 8) {
            out[written++] = uint8_t(acc);
            acc = bits = 0;
        }
    }
    return bits ? -1 : written;
}

int32_t debase_16(const uint8_t* text, uint32_t unit, size_t count, uint8_t* out) {
    int32_t written = 0;
    int32_t high = -1;
    for (size_t i = 0; i < count; i++) {
        uint32_t c = char_at(text, unit, i) & 0x7F;
        if (c == ';') {
            i = skip_comment(text, unit, count, i);
            continue;
        }
        if (c <= 32) continue;
        int32_t v = hex_value(c);
        if (v < 0) return -1;
        if (high < 0) {
            high = v;
        } else {
            out[written++] = uint8_t(high << 4 | v);
            high = -1;
        }
    }
    return written;   // a lone last digit is dropped
}

int32_t debase_58(const uint8_t* text, uint32_t unit, size_t count, uint8_t* out) {
    // The number is built big-endian in the tail of `out` (count bytes of
    // room: every digit adds less than one byte); leading "1"s are zero bytes.
    size_t zeros = 0, used = 0;
    bool leading = true;
    for (size_t i = 0; i < count; i++) {
        uint32_t c = char_at(text, unit, i);
        if (c > 127) break;
        if (c == ';') {
            i = skip_comment(text, unit, count, i);
            continue;
        }
        if (codec_space(c)) continue;
        int32_t v = base58_value(c);
        if (v < 0) return -1;
        if (leading && v == 0) {
            zeros++;
            continue;
        }
        leading = false;
        uint32_t carry = uint32_t(v);
        for (size_t k = 0; k < used; k++) {
            uint8_t& b = out[count - 1 - k];
            carry += uint32_t(b) * 58;
            b = uint8_t(carry);
            carry >>= 8;
        }
        while (carry) {
            out[count - 1 - used++] = uint8_t(carry);
            carry >>= 8;
        }
    }
    std::memmove(out + zeros, out + count - used, used);
    std::memset(out, 0, zeros);
    return int32_t(zeros + used);
}

int32_t debase_64(const uint8_t* text, uint32_t unit, size_t count, uint8_t* out) {
    int32_t written = 0;
    uint32_t acc = 0, have = 0;
    for (size_t i = 0; i < count; i++) {
        uint32_t c = char_at(text, unit, i);
        if (c == ';') {
            i = skip_comment(text, unit, count, i);
            continue;
        }
        if (codec_space(c)) continue;
        if (c == '=') {
            if (have == 2) {
                out[written++] = uint8_t(acc >> 4);
            } else if (have == 3) {
                out[written++] = uint8_t(acc >> 10);
                out[written++] = uint8_t(acc >> 2);
            } else {
                return -1;
            }
            return written;
        }
        int32_t v = base64_value(c);
        if (v < 0) return -1;
        acc = acc << 6 | uint32_t(v);
        if (++have == 4) {
            out[written++] = uint8_t(acc >> 16);
            out[written++] = uint8_t(acc >> 8);
            out[written++] = uint8_t(acc);
            acc = have = 0;
        }
    }
    return written;   // a partial last group without "=" is dropped
}

}  // namespace qor::binary
