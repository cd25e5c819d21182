#include "runtime/lz_coder.hpp"

#include <algorithm>
#include <vector>

#include "runtime/heap.hpp"

namespace qor::lz {

namespace {

uint32_t load_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void store_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}

// The shortest match symbol (1 + 1 + 2 length bits, 4 + 3 distance bits)
// yields MAX_MATCH bytes: no honest stream decodes to more than this many
// bytes per stream bit.  A header claiming more is refused before anything
// is allocated.
constexpr uint64_t SHORTEST_MATCH_BITS = 11;

// Bits enter at the top of those held; fields are taken from the bottom.
// Bytes are pulled only when a field needs them, so `pos` always counts the
// bytes the block has really used.
struct BitReader {
    const uint8_t* data;
    size_t pos;
    size_t end;
    uint64_t bits;
    unsigned count;
};

bool get_bits(BitReader& r, unsigned n, uint32_t& value) {
    while (r.count < n) {
        if (r.pos >= r.end) return false;
        r.bits |= uint64_t(r.data[r.pos++]) << r.count;
        r.count += 8;
    }
    value = uint32_t(r.bits & ((uint64_t(1) << n) - 1));
    r.bits >>= n;
    r.count -= n;
    return true;
}

bool get_length(BitReader& r, uint32_t& n) {
    // Prefix: up to four 0 bits closed by a 1, or five 0 bits.
    static constexpr unsigned FIELD[6] = {2, 2, 2, 3, 5, 9};
    static constexpr uint32_t BASE[6] = {0, 4, 8, 12, 20, 52};
    unsigned cls = 0;
    for (; cls < 5; cls++) {
        uint32_t bit;
        if (!get_bits(r, 1, bit)) return false;
        if (bit) break;
    }
    uint32_t v;
    if (!get_bits(r, FIELD[cls], v)) return false;
    n = BASE[cls] + v;
    return true;
}

bool get_distance(BitReader& r, uint32_t& d) {
    uint32_t j, v;
    if (!get_bits(r, 4, j)) return false;
    if (j == 0) return get_bits(r, 3, d);
    const unsigned k = j + 2;
    if (!get_bits(r, k, v)) return false;
    d = (uint32_t(1) << k) + v;
    return true;
}

// Decodes one block of `length` bytes at out[out_len...]; the caller has
// checked that the output has room.
bool decode_block(BitReader& r, uint8_t* out, size_t& out_len, uint32_t length) {
    const size_t block_start = out_len;
    const size_t block_end = out_len + length;
    while (out_len < block_end) {
        uint32_t flag;
        if (!get_bits(r, 1, flag)) return false;
        if (flag == 0) {
            uint32_t byte;
            if (!get_bits(r, 8, byte)) return false;
            out[out_len++] = uint8_t(byte);
            continue;
        }
        uint32_t n, d;
        if (!get_length(r, n) || !get_distance(r, d)) return false;
        const size_t count = n + MIN_MATCH;
        if (size_t(d) + 1 > out_len) return false;                    // before the output
        if (out_len - block_start + count > length) return false;     // past the block
        // One byte at a time, forwards: a match may overlap its own output.
        const uint8_t* src = out + (out_len - d - 1);
        uint8_t* dst = out + out_len;
        for (size_t i = 0; i < count; i++) dst[i] = src[i];
        out_len += count;
    }
    return true;
}

// Bits leave from the bottom of the buffer a byte at a time; `out` has
// been sized for the worst case, so writes need no check.
struct BitWriter {
    uint8_t* out;
    size_t len;
    uint64_t bits;
    unsigned count;
};

void put_bits(BitWriter& w, uint32_t value, unsigned n) {
    w.bits |= uint64_t(value) << w.count;
    w.count += n;
    while (w.count >= 8) {
        w.out[w.len++] = uint8_t(w.bits);
        w.bits >>= 8;
        w.count -= 8;
    }
}

void flush_bits(BitWriter& w) {
    if (w.count > 0) w.out[w.len++] = uint8_t(w.bits);
    w.bits = 0;
    w.count = 0;
}

void put_match(BitWriter& w, uint32_t length, uint32_t back) {
    put_bits(w, 1, 1);
    const uint32_t n = length - MIN_MATCH;
    if (n < 4)       { put_bits(w, 1, 1); put_bits(w, n, 2); }
    else if (n < 8)  { put_bits(w, 2, 2); put_bits(w, n - 4, 2); }
    else if (n < 12) { put_bits(w, 4, 3); put_bits(w, n - 8, 2); }
    else if (n < 20) { put_bits(w, 8, 4); put_bits(w, n - 12, 3); }
    else if (n < 52) { put_bits(w, 16, 5); put_bits(w, n - 20, 5); }
    else             { put_bits(w, 0, 5); put_bits(w, n - 52, 9); }
    const uint32_t d = back - 1;
    if (d < 8) {
        put_bits(w, 0, 4);
        put_bits(w, d, 3);
    } else {
        unsigned k = 31 - unsigned(__builtin_clz(d));
        put_bits(w, k - 2, 4);
        put_bits(w, d - (uint32_t(1) << k), k);
    }
}

// Match finder: chains of earlier positions with the same 3-byte hash.
constexpr unsigned HASH_BITS = 16;
constexpr uint32_t WINDOW_MASK = MAX_DISTANCE - 1;
constexpr int MAX_CHAIN = 48;

inline uint32_t hash3(const uint8_t* p) {
    return ((uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16) * 2654435761u) >>
           (32 - HASH_BITS);
}

}  // namespace

uint8_t* decompress(const uint8_t* stream, size_t available, uint32_t* size) {
    if (stream == nullptr || available < HEADER_SIZE) return nullptr;
    const uint32_t compressed = load_le32(stream);
    const uint32_t decoded = load_le32(stream + 4);
    if (compressed > available - HEADER_SIZE) return nullptr;
    if (uint64_t(decoded) * SHORTEST_MATCH_BITS > uint64_t(compressed) * 8 * MAX_MATCH) return nullptr;
    if (size_t(decoded) > SIZE_MAX - 8) return nullptr;

    uint8_t* out = static_cast<uint8_t*>(heap::alloc(size_t(decoded) + 8));
    const size_t end = HEADER_SIZE + compressed;
    size_t pos = HEADER_SIZE;
    size_t out_len = 0;
    bool ok = true;
    while (ok && pos < end) {
        ok = end - pos >= 4;
        if (!ok) break;
        const uint32_t length = load_le32(stream + pos);
        pos += 4;
        ok = length >= 1 && length <= MAX_BLOCK && length <= decoded - out_len;
        if (!ok) break;
        BitReader r{stream, pos, end, 0, 0};
        ok = decode_block(r, out, out_len, length);
        pos = r.pos;
    }
    if (!ok) {
        heap::free(out);
        return nullptr;
    }
    if (size) *size = uint32_t(out_len);
    return out;
}

void free_buffer(uint8_t* buffer) {
    if (buffer) heap::free(buffer);
}

uint8_t* compress(const uint8_t* input, size_t length, size_t* stream_size) {
    // Worst case: every byte a 9-bit literal, plus each block's length word
    // and padding byte.
    const uint64_t blocks = (uint64_t(length) + MAX_BLOCK - 1) / MAX_BLOCK;
    const uint64_t bound = HEADER_SIZE + blocks * 5 + (uint64_t(length) * 9 + 7) / 8;
    if (length > 0x7FFFFFFFu || bound - HEADER_SIZE > 0xFFFFFFFFu || bound > SIZE_MAX) return nullptr;

    uint8_t* out = static_cast<uint8_t*>(heap::alloc(size_t(bound)));
    std::vector<int32_t> head(size_t(1) << HASH_BITS);
    std::vector<int32_t> prev(MAX_DISTANCE);
    BitWriter w{out, HEADER_SIZE, 0, 0};

    for (size_t block_start = 0; block_start < length; block_start += MAX_BLOCK) {
        const size_t block_end = length - block_start < MAX_BLOCK ? length : block_start + MAX_BLOCK;
        store_le32(out + w.len, uint32_t(block_end - block_start));
        w.len += 4;
        // Matches stay inside their block, so a block decodes on its own.
        std::fill(head.begin(), head.end(), -1);
        auto insert = [&](size_t i) {
            const uint32_t h = hash3(input + i);
            prev[i & WINDOW_MASK] = head[h];
            head[h] = int32_t(i);
        };

        size_t i = block_start;
        while (i < block_end) {
            size_t best_len = 0, best_back = 0;
            if (block_end - i >= MIN_MATCH) {
                const size_t limit = block_end - i < MAX_MATCH ? block_end - i : MAX_MATCH;
                int32_t cand = head[hash3(input + i)];
                for (int chain = 0; chain < MAX_CHAIN && cand >= int32_t(block_start); chain++) {
                    const size_t c = size_t(cand);
                    if (i - c > MAX_DISTANCE) break;
                    size_t len = 0;
                    while (len < limit && input[c + len] == input[i + len]) len++;
                    if (len > best_len) {
                        best_len = len;
                        best_back = i - c;
                        if (len == limit) break;
                    }
                    const int32_t older = prev[c & WINDOW_MASK];
                    if (older >= cand) break;   // slot reused by a newer position
                    cand = older;
                }
                insert(i);
            }
            if (best_len >= MIN_MATCH) {
                put_match(w, uint32_t(best_len), uint32_t(best_back));
                for (size_t j = i + 1; j < i + best_len && block_end - j >= MIN_MATCH; j++) insert(j);
                i += best_len;
            } else {
                put_bits(w, 0, 1);
                put_bits(w, input[i], 8);
                i++;
            }
        }
        flush_bits(w);
    }
    store_le32(out, uint32_t(w.len - HEADER_SIZE));
    store_le32(out + 4, uint32_t(length));
    *stream_size = w.len;
    return out;
}

}  // namespace qor::lz
