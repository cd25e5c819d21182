// DEFLATE coder and inflater with zlib and gzip framing.  See deflate.hpp for
// the calling convention; the checksums come from runtime/checksum.
#include "services/deflate.hpp"

#include <cstring>
#include <initializer_list>

#include "runtime/checksum.hpp"

namespace qor::deflate {

namespace {

// ---- The standard tables --------------------------------------------------------------------------------

constexpr uint16_t LENGTH_BASE[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t DISTANCE_BASE[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                        33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t DISTANCE_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t CODE_LENGTH_ORDER[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr uint32_t MAX_MATCH = 258;
constexpr uint32_t WINDOW = 32768;

constexpr uint32_t reverse_bits(uint32_t code, uint32_t length) {
    uint32_t r = 0;
    for (uint32_t i = 0; i < length; i++) {
        r = (r << 1) | (code & 1u);
        code >>= 1;
    }
    return r;
}

// Saturating size arithmetic for the sizes reported back.
uint32_t saturate(uint64_t n) { return n > SIZE_LIMIT ? SIZE_LIMIT : uint32_t(n); }

// ---- Compressor -------------------------------------------------------------------------------------------

// Bits go in at the top of the accumulator, least significant first; a byte
// beyond the capacity is counted but not stored.
struct BitWriter {
    uint8_t* out;
    uint32_t capacity;
    uint64_t count = 0;
    uint64_t bits = 0;
    uint32_t bit_count = 0;

    void put(uint32_t value, uint32_t n) {
        bits |= uint64_t(value) << bit_count;
        bit_count += n;
        while (bit_count >= 8) {
            byte(uint8_t(bits));
            bits >>= 8;
            bit_count -= 8;
        }
    }
    void byte(uint8_t b) {
        if (count < capacity) out[count] = b;
        count++;
    }
    void flush() {
        if (bit_count > 0) byte(uint8_t(bits));
        bits = 0;
        bit_count = 0;
    }
    // A Huffman code is sent from its most significant bit.
    void code(uint32_t value, uint32_t n) { put(reverse_bits(value, n), n); }
};

void put_literal(BitWriter& w, uint32_t symbol) {
    if (symbol < 144) w.code(0x30 + symbol, 8);
    else if (symbol < 256) w.code(0x190 + symbol - 144, 9);
    else if (symbol < 280) w.code(symbol - 256, 7);
    else w.code(0xC0 + symbol - 280, 8);
}

void put_match(BitWriter& w, uint32_t length, uint32_t distance) {
    uint32_t i = 28;
    while (LENGTH_BASE[i] > length) i--;
    put_literal(w, 257 + i);
    if (LENGTH_EXTRA[i]) w.put(length - LENGTH_BASE[i], LENGTH_EXTRA[i]);
    uint32_t d = 29;
    while (DISTANCE_BASE[d] > distance) d--;
    w.code(d, 5);
    if (DISTANCE_EXTRA[d]) w.put(distance - DISTANCE_BASE[d], DISTANCE_EXTRA[d]);
}

// Reads past the end give 0, so hashing near the end stays in bounds.
inline uint32_t byte_at(const uint8_t* in, uint32_t length, uint32_t p) { return p < length ? in[p] : 0u; }

uint32_t bucket_of(const uint8_t* in, uint32_t length, uint32_t p) {
    uint32_t b0 = byte_at(in, length, p), b1 = byte_at(in, length, p + 1), b2 = byte_at(in, length, p + 2);
    uint32_t v = b0 ^ ((b0 << 16) | (b1 << 8) | b2);
    v *= 0x7FEB352Du;
    v ^= v >> 15;
    v *= 0x846CA68Bu;
    v ^= v >> 16;
    return v & 0x3FFu;
}

constexpr uint32_t BUCKETS = 1024;
constexpr uint32_t WAYS = 4;

// ---- Inflater ---------------------------------------------------------------------------------------------

// Bytes enter at the top of a 64-bit accumulator.  Past the end of the
// input the accumulator reads as zeros; consuming such bits sets `overrun`,
// which every loop checks, so a truncated stream can never spin.
struct BitReader {
    const uint8_t* in;
    uint32_t length;
    uint32_t pos = 0;
    uint64_t bits = 0;
    uint32_t bit_count = 0;
    bool overrun = false;

    void refill() {
        while (bit_count <= 56 && pos < length) {
            bits |= uint64_t(in[pos++]) << bit_count;
            bit_count += 8;
        }
    }
    uint32_t peek(uint32_t n) {
        if (bit_count < n) refill();
        return uint32_t(bits) & ((1u << n) - 1);
    }
    void drop(uint32_t n) {
        if (n > bit_count) {
            overrun = true;
            bits = 0;
            bit_count = 0;
        } else {
            bits >>= n;
            bit_count -= n;
        }
    }
    uint32_t take(uint32_t n) {
        uint32_t v = peek(n);
        drop(n);
        return v;
    }
    // Drops the bits up to the byte boundary and hands the unread whole
    // bytes back to the input, so a stored block is read from the bytes.
    void align() {
        drop(bit_count & 7u);
        pos -= bit_count / 8;
        bits = 0;
        bit_count = 0;
    }
};

constexpr uint32_t FAST_BITS = 9;
constexpr uint32_t MAX_SYMBOLS = 288;

// A canonical Huffman code: the count of codes per length, the symbols in
// canonical order, and a table indexed by the next FAST_BITS input bits
// holding (symbol << 4 | length) for the codes that short (0: not there).
struct Huffman {
    uint16_t count[16];
    uint16_t symbol[MAX_SYMBOLS];
    uint16_t fast[1u << FAST_BITS];
};

// False for an oversubscribed code.  An incomplete code is accepted (a
// single distance code is legal); its missing codes fail when met.
bool build(Huffman& h, const uint8_t* lengths, uint32_t n) {
    std::memset(h.count, 0, sizeof h.count);
    for (uint32_t i = 0; i < n; i++) h.count[lengths[i]]++;
    h.count[0] = 0;
    int32_t left = 1;
    for (uint32_t len = 1; len < 16; len++) {
        left <<= 1;
        left -= h.count[len];
        if (left < 0) return false;
    }
    uint16_t offset[16];
    offset[1] = 0;
    for (uint32_t len = 1; len < 15; len++) offset[len + 1] = uint16_t(offset[len] + h.count[len]);
    for (uint32_t s = 0; s < n; s++)
        if (lengths[s]) h.symbol[offset[lengths[s]]++] = uint16_t(s);
    std::memset(h.fast, 0, sizeof h.fast);
    uint32_t code = 0, index = 0;
    for (uint32_t len = 1; len <= FAST_BITS; len++) {
        for (uint32_t k = 0; k < h.count[len]; k++, code++) {
            uint16_t entry = uint16_t(h.symbol[index++] << 4 | len);
            for (uint32_t j = reverse_bits(code, len); j < (1u << FAST_BITS); j += 1u << len) h.fast[j] = entry;
        }
        code <<= 1;
    }
    return true;
}

// The next symbol, or -1 for a code the table does not have.
int32_t decode(BitReader& r, const Huffman& h) {
    uint32_t bits = r.peek(16);
    uint32_t entry = h.fast[bits & ((1u << FAST_BITS) - 1)];
    if (entry) {
        r.drop(entry & 15u);
        return int32_t(entry >> 4);
    }
    // Longer codes: walk the lengths as canonical decoding does.
    int32_t code = 0, first = 0, index = 0;
    for (uint32_t len = 1; len < 16; len++) {
        code |= int32_t((bits >> (len - 1)) & 1u);
        int32_t count = h.count[len];
        if (code - count < first) {
            r.drop(len);
            return h.symbol[index + (code - first)];
        }
        index += count;
        first += count;
        first <<= 1;
        code <<= 1;
    }
    return -1;
}

// Output that counts what does not fit; the count is 64 bits wide and
// decoding stops once it passes SIZE_LIMIT.
struct Output {
    uint8_t* out;
    uint32_t capacity;
    uint64_t pos = 0;

    void literal(uint8_t b) {
        if (pos < capacity) out[pos] = b;
        pos++;
    }
    // The caller has checked that distance <= pos.
    void copy(uint32_t distance, uint32_t length) {
        if (pos < capacity) {
            uint64_t stored = capacity - pos < length ? capacity - pos : length;
            uint8_t* d = out + pos;
            const uint8_t* s = d - distance;
            for (uint64_t i = 0; i < stored; i++) d[i] = s[i];   // overlap repeats the pattern
        }
        pos += length;
    }
};

int32_t inflate_codes(BitReader& r, Output& o, const Huffman& lit, const Huffman& dist) {
    for (;;) {
        int32_t symbol = decode(r, lit);
        if (symbol < 0 || r.overrun) return RESULT_BAD_DATA;
        if (symbol < 256) {
            o.literal(uint8_t(symbol));
        } else if (symbol == 256) {
            return RESULT_OK;
        } else {
            symbol -= 257;
            if (symbol >= 29) return RESULT_BAD_DATA;
            uint32_t length = LENGTH_BASE[symbol] + r.take(LENGTH_EXTRA[symbol]);
            int32_t d = decode(r, dist);
            if (d < 0 || d >= 30) return RESULT_BAD_DATA;
            uint32_t distance = DISTANCE_BASE[d] + r.take(DISTANCE_EXTRA[d]);
            if (r.overrun) return RESULT_BAD_DATA;
            if (distance > o.pos) return RESULT_BAD_DISTANCE;
            o.copy(distance, length);
        }
        if (o.pos > SIZE_LIMIT) return RESULT_TOO_SMALL;
    }
}

int32_t inflate_stored(BitReader& r, Output& o) {
    r.align();
    if (r.length - r.pos < 4) return RESULT_BAD_DATA;
    const uint8_t* p = r.in + r.pos;
    uint32_t len = p[0] | uint32_t(p[1]) << 8;
    uint32_t nlen = p[2] | uint32_t(p[3]) << 8;
    if ((len ^ 0xFFFFu) != nlen) return RESULT_BAD_DATA;
    r.pos += 4;
    if (len > r.length - r.pos) return RESULT_STORED_TOO_LONG;
    for (uint32_t i = 0; i < len; i++) o.literal(r.in[r.pos + i]);
    r.pos += len;
    return o.pos > SIZE_LIMIT ? RESULT_TOO_SMALL : RESULT_OK;
}

void fixed_tables(Huffman& lit, Huffman& dist) {
    uint8_t lengths[MAX_SYMBOLS];
    uint32_t s = 0;
    for (; s < 144; s++) lengths[s] = 8;
    for (; s < 256; s++) lengths[s] = 9;
    for (; s < 280; s++) lengths[s] = 7;
    for (; s < 288; s++) lengths[s] = 8;
    build(lit, lengths, 288);
    for (s = 0; s < 30; s++) lengths[s] = 5;
    build(dist, lengths, 30);
}

int32_t dynamic_tables(BitReader& r, Huffman& lit, Huffman& dist) {
    uint32_t nlit = r.take(5) + 257;
    uint32_t ndist = r.take(5) + 1;
    uint32_t ncode = r.take(4) + 4;
    if (nlit > 286 || ndist > 30) return RESULT_BAD_DATA;
    uint8_t lengths[320] = {};
    for (uint32_t i = 0; i < ncode; i++) lengths[CODE_LENGTH_ORDER[i]] = uint8_t(r.take(3));
    if (r.overrun) return RESULT_BAD_DATA;
    Huffman code_lengths;
    if (!build(code_lengths, lengths, 19)) return RESULT_BAD_DATA;
    uint32_t total = nlit + ndist;
    std::memset(lengths, 0, sizeof lengths);
    for (uint32_t i = 0; i < total;) {
        int32_t symbol = decode(r, code_lengths);
        if (symbol < 0 || r.overrun) return RESULT_BAD_DATA;
        if (symbol < 16) {
            lengths[i++] = uint8_t(symbol);
            continue;
        }
        uint8_t value = 0;
        uint32_t repeat;
        if (symbol == 16) {
            if (i == 0) return RESULT_BAD_DATA;
            value = lengths[i - 1];
            repeat = 3 + r.take(2);
        } else if (symbol == 17) {
            repeat = 3 + r.take(3);
        } else {
            repeat = 11 + r.take(7);
        }
        if (r.overrun || repeat > total - i) return RESULT_BAD_DATA;
        while (repeat--) lengths[i++] = value;
    }
    if (lengths[256] == 0) return RESULT_BAD_DATA;   // no end-of-block code: the block could never end
    if (!build(lit, lengths, nlit) || !build(dist, lengths + nlit, ndist)) return RESULT_BAD_DATA;
    return RESULT_OK;
}

// The size reported is what was produced, saturated at SIZE_LIMIT.
int32_t finish(const Output& o, uint32_t* size, int32_t result) {
    *size = saturate(o.pos);
    if (result != RESULT_OK) return result;
    return o.pos > o.capacity ? RESULT_TOO_SMALL : RESULT_OK;
}

uint32_t read_be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint32_t read_le32(const uint8_t* p) {
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}
void write_be32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
void write_le32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

}  // namespace

// ---- Raw DEFLATE ------------------------------------------------------------------------------------------

int32_t deflate_compress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length) {
    BitWriter w{out, *size};
    w.put(1, 1);   // BFINAL
    w.put(1, 2);   // BTYPE 01: fixed Huffman codes
    // Positions of earlier steps by the hash of their first three bytes;
    // 0 is empty.
    uint32_t table[BUCKETS][WAYS];
    std::memset(table, 0, sizeof table);
    uint32_t p = 0;
    while (p < length) {
        uint32_t bucket = bucket_of(in, length, p);
        uint32_t start = p;
        bool matched = false;
        if (p >= 3 && length - p >= 3) {
            for (uint32_t k = 0; k < WAYS; k++) {
                uint32_t e = table[bucket][k];
                if (e == 0 || e >= p || p - e >= WINDOW) continue;
                if (in[e] != in[p] || in[e + 1] != in[p + 1] || in[e + 2] != in[p + 2]) continue;
                uint32_t n = 3;
                while (n < MAX_MATCH && p + n < length && in[e + n] == in[p + n]) n++;
                put_match(w, n, p - e);
                p += n;
                matched = true;
                break;
            }
        }
        if (!matched) {
            put_literal(w, in[p]);
            p++;
        }
        uint32_t v = byte_at(in, length, p) << 16 | byte_at(in, length, p + 1) << 8 | byte_at(in, length, p + 2);
        table[bucket][((v >> 14) - v) & 3u] = start;
    }
    put_literal(w, 256);
    w.flush();
    *size = saturate(w.count);
    return w.count > w.capacity ? RESULT_TOO_SMALL : RESULT_OK;
}

int32_t inflate(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length) {
    BitReader r{in, length};
    Output o{out, *size};
    Huffman lit, dist;
    for (;;) {
        uint32_t final_block = r.take(1);
        uint32_t type = r.take(2);
        if (r.overrun) return finish(o, size, RESULT_BAD_DATA);
        int32_t result;
        if (type == 0) {
            result = inflate_stored(r, o);
        } else if (type == 1) {
            fixed_tables(lit, dist);
            result = inflate_codes(r, o, lit, dist);
        } else if (type == 2) {
            result = dynamic_tables(r, lit, dist);
            if (result == RESULT_OK) result = inflate_codes(r, o, lit, dist);
        } else {
            result = RESULT_BAD_BLOCK_TYPE;
        }
        if (result != RESULT_OK) return finish(o, size, result);
        if (final_block) return finish(o, size, RESULT_OK);
    }
}

// ---- zlib -------------------------------------------------------------------------------------------------

int32_t zlib_compress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length) {
    uint32_t capacity = *size;
    if (capacity < 6) {
        *size = saturate(uint64_t(length) + 6);
        return RESULT_BAD_DATA;
    }
    out[0] = 0x78;
    out[1] = 0x01;
    uint32_t body = capacity - 6;
    int32_t result = deflate_compress(out + 2, &body, in, length);
    if (result != RESULT_OK) {
        *size = saturate(uint64_t(body) + 6);
        return result;
    }
    write_be32(out + 2 + body, adler32::compute(in, length));
    *size = body + 6;
    return RESULT_OK;
}

int32_t zlib_decompress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length) {
    if (length < 6) return RESULT_BAD_DATA;
    uint32_t cmf = in[0], flg = in[1];
    if ((cmf * 256 + flg) % 31 != 0 || (cmf & 15) != 8 || (cmf & 0x80) || (flg & 0x20)) return RESULT_BAD_DATA;
    int32_t result = inflate(out, size, in + 2, length - 6);
    if (result != RESULT_OK) return result;
    if (adler32::compute(out, *size) != read_be32(in + length - 4)) return RESULT_BAD_DATA;
    return RESULT_OK;
}

// ---- gzip -------------------------------------------------------------------------------------------------

int32_t gzip_compress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length) {
    uint32_t capacity = *size;
    if (length > 2 && in[0] == 0x1F && in[1] == 0x8B && in[2] == 0x08) {
        // Already gzip data: copied as it stands.
        *size = length;
        if (capacity < length) return RESULT_TOO_SMALL;
        std::memcpy(out, in, length);
        return RESULT_OK;
    }
    if (capacity < 18) {
        *size = saturate(uint64_t(length) + 18);
        return RESULT_BAD_DATA;
    }
    static const uint8_t HEADER[10] = {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 4, 4};
    std::memcpy(out, HEADER, sizeof HEADER);
    uint32_t body = capacity - 18;
    int32_t result = deflate_compress(out + 10, &body, in, length);
    if (result != RESULT_OK) {
        *size = saturate(uint64_t(body) + 18);
        return result;
    }
    write_le32(out + 10 + body, crc32::compute(in, length));
    write_le32(out + 14 + body, length);
    *size = body + 18;
    return RESULT_OK;
}

int32_t gzip_decompress(uint8_t* out, uint32_t* size, const uint8_t* in, uint32_t length) {
    enum : uint32_t { FHCRC = 2, FEXTRA = 4, FNAME = 8, FCOMMENT = 16 };
    if (length < 18 || in[0] != 0x1F || in[1] != 0x8B || in[2] != 8 || in[3] >= 32) return RESULT_BAD_DATA;
    uint32_t flags = in[3];
    uint32_t end = length - 8;   // the trailer: CRC-32 and ISIZE
    uint32_t p = 10;
    if (flags & FEXTRA) {
        uint32_t extra = in[10] | uint32_t(in[11]) << 8;
        if (extra > end - 12) return RESULT_BAD_DATA;
        p = 12 + extra;
    }
    for (uint32_t flag : {uint32_t(FNAME), uint32_t(FCOMMENT)}) {
        if (!(flags & flag)) continue;
        while (p < end && in[p] != 0) p++;
        if (p >= end) return RESULT_BAD_DATA;
        p++;
    }
    if (flags & FHCRC) {
        if (end - p < 2) return RESULT_BAD_DATA;
        uint32_t crc = in[p] | uint32_t(in[p + 1]) << 8;
        if (crc != (crc32::compute(in, p) & 0xFFFFu)) return RESULT_BAD_DATA;
        p += 2;
    }
    uint32_t expected = read_le32(in + length - 4);
    // No DEFLATE data makes more than 258 bytes of every two bits: a larger
    // ISIZE is a lie, refused before anyone allocates for it.
    if (uint64_t(expected) > uint64_t(end - p) * 4 * MAX_MATCH + MAX_MATCH) return RESULT_BAD_DATA;
    if (*size < expected) {
        *size = expected;
        return RESULT_TOO_SMALL;
    }
    int32_t result = inflate(out, size, in + p, end - p);
    if (result != RESULT_OK) return result;
    if (*size < expected) return RESULT_BAD_DATA;
    *size = expected;
    if (crc32::compute(out, expected) != read_le32(in + length - 8)) return RESULT_BAD_DATA;
    return RESULT_OK;
}

Routine compressor(int32_t method) {
    switch (method) {
    case METHOD_ZLIB: return zlib_compress;
    case METHOD_DEFLATE: return deflate_compress;
    case METHOD_GZIP: return gzip_compress;
    default: return nullptr;
    }
}

Routine decompressor(int32_t method) {
    switch (method) {
    case METHOD_ZLIB: return zlib_decompress;
    case METHOD_DEFLATE: return inflate;
    case METHOD_GZIP: return gzip_decompress;
    default: return nullptr;
    }
}

}  // namespace qor::deflate
