// Portable MD5 (RFC 1321), SHA-1 and SHA-2 (FIPS 180-4).  Byte order is
// handled by explicit loads and stores, so nothing here depends on the
// machine's endianness or alignment.
#include <cstring>

#include "runtime/digest.hpp"

namespace qor::crypto {

namespace {

constexpr uint32_t MD5_K[64] = {
    0xd76aa478u, 0xe8c7b756u, 0x242070dbu, 0xc1bdceeeu, 0xf57c0fafu, 0x4787c62au, 0xa8304613u, 0xfd469501u,
    0x698098d8u, 0x8b44f7afu, 0xffff5bb1u, 0x895cd7beu, 0x6b901122u, 0xfd987193u, 0xa679438eu, 0x49b40821u,
    0xf61e2562u, 0xc040b340u, 0x265e5a51u, 0xe9b6c7aau, 0xd62f105du, 0x02441453u, 0xd8a1e681u, 0xe7d3fbc8u,
    0x21e1cde6u, 0xc33707d6u, 0xf4d50d87u, 0x455a14edu, 0xa9e3e905u, 0xfcefa3f8u, 0x676f02d9u, 0x8d2a4c8au,
    0xfffa3942u, 0x8771f681u, 0x6d9d6122u, 0xfde5380cu, 0xa4beea44u, 0x4bdecfa9u, 0xf6bb4b60u, 0xbebfbc70u,
    0x289b7ec6u, 0xeaa127fau, 0xd4ef3085u, 0x04881d05u, 0xd9d4d039u, 0xe6db99e5u, 0x1fa27cf8u, 0xc4ac5665u,
    0xf4292244u, 0x432aff97u, 0xab9423a7u, 0xfc93a039u, 0x655b59c3u, 0x8f0ccc92u, 0xffeff47du, 0x85845dd1u,
    0x6fa87e4fu, 0xfe2ce6e0u, 0xa3014314u, 0x4e0811a1u, 0xf7537e82u, 0xbd3af235u, 0x2ad7d2bbu, 0xeb86d391u,
};

constexpr uint32_t SHA256_K[64] = {
    0x428a2f98u, 0x71374491u, 0xb5c0fbcfu, 0xe9b5dba5u, 0x3956c25bu, 0x59f111f1u, 0x923f82a4u, 0xab1c5ed5u,
    0xd807aa98u, 0x12835b01u, 0x243185beu, 0x550c7dc3u, 0x72be5d74u, 0x80deb1feu, 0x9bdc06a7u, 0xc19bf174u,
    0xe49b69c1u, 0xefbe4786u, 0x0fc19dc6u, 0x240ca1ccu, 0x2de92c6fu, 0x4a7484aau, 0x5cb0a9dcu, 0x76f988dau,
    0x983e5152u, 0xa831c66du, 0xb00327c8u, 0xbf597fc7u, 0xc6e00bf3u, 0xd5a79147u, 0x06ca6351u, 0x14292967u,
    0x27b70a85u, 0x2e1b2138u, 0x4d2c6dfcu, 0x53380d13u, 0x650a7354u, 0x766a0abbu, 0x81c2c92eu, 0x92722c85u,
    0xa2bfe8a1u, 0xa81a664bu, 0xc24b8b70u, 0xc76c51a3u, 0xd192e819u, 0xd6990624u, 0xf40e3585u, 0x106aa070u,
    0x19a4c116u, 0x1e376c08u, 0x2748774cu, 0x34b0bcb5u, 0x391c0cb3u, 0x4ed8aa4au, 0x5b9cca4fu, 0x682e6ff3u,
    0x748f82eeu, 0x78a5636fu, 0x84c87814u, 0x8cc70208u, 0x90befffau, 0xa4506cebu, 0xbef9a3f7u, 0xc67178f2u,
};

constexpr uint64_t SHA512_K[80] = {
    0x428a2f98d728ae22ull, 0x7137449123ef65cdull, 0xb5c0fbcfec4d3b2full, 0xe9b5dba58189dbbcull,
    0x3956c25bf348b538ull, 0x59f111f1b605d019ull, 0x923f82a4af194f9bull, 0xab1c5ed5da6d8118ull,
    0xd807aa98a3030242ull, 0x12835b0145706fbeull, 0x243185be4ee4b28cull, 0x550c7dc3d5ffb4e2ull,
    0x72be5d74f27b896full, 0x80deb1fe3b1696b1ull, 0x9bdc06a725c71235ull, 0xc19bf174cf692694ull,
    0xe49b69c19ef14ad2ull, 0xefbe4786384f25e3ull, 0x0fc19dc68b8cd5b5ull, 0x240ca1cc77ac9c65ull,
    0x2de92c6f592b0275ull, 0x4a7484aa6ea6e483ull, 0x5cb0a9dcbd41fbd4ull, 0x76f988da831153b5ull,
    0x983e5152ee66dfabull, 0xa831c66d2db43210ull, 0xb00327c898fb213full, 0xbf597fc7beef0ee4ull,
    0xc6e00bf33da88fc2ull, 0xd5a79147930aa725ull, 0x06ca6351e003826full, 0x142929670a0e6e70ull,
    0x27b70a8546d22ffcull, 0x2e1b21385c26c926ull, 0x4d2c6dfc5ac42aedull, 0x53380d139d95b3dfull,
    0x650a73548baf63deull, 0x766a0abb3c77b2a8ull, 0x81c2c92e47edaee6ull, 0x92722c851482353bull,
    0xa2bfe8a14cf10364ull, 0xa81a664bbc423001ull, 0xc24b8b70d0f89791ull, 0xc76c51a30654be30ull,
    0xd192e819d6ef5218ull, 0xd69906245565a910ull, 0xf40e35855771202aull, 0x106aa07032bbd1b8ull,
    0x19a4c116b8d2d0c8ull, 0x1e376c085141ab53ull, 0x2748774cdf8eeb99ull, 0x34b0bcb5e19b48a8ull,
    0x391c0cb3c5c95a63ull, 0x4ed8aa4ae3418acbull, 0x5b9cca4f7763e373ull, 0x682e6ff3d6b2b8a3ull,
    0x748f82ee5defb2fcull, 0x78a5636f43172f60ull, 0x84c87814a1f0ab72ull, 0x8cc702081a6439ecull,
    0x90befffa23631e28ull, 0xa4506cebde82bde9ull, 0xbef9a3f7b2c67915ull, 0xc67178f2e372532bull,
    0xca273eceea26619cull, 0xd186b8c721c0c207ull, 0xeada7dd6cde0eb1eull, 0xf57d4f7fee6ed178ull,
    0x06f067aa72176fbaull, 0x0a637dc5a2c898a6ull, 0x113f9804bef90daeull, 0x1b710b35131c471bull,
    0x28db77f523047d84ull, 0x32caab7b40c72493ull, 0x3c9ebe0a15c9bebcull, 0x431d67c49c100d4cull,
    0x4cc5d4becb3e42b6ull, 0x597f299cfc657e2aull, 0x5fcb6fab3ad6faecull, 0x6c44198c4a475817ull,
};

constexpr uint32_t MD5_IV[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
constexpr uint32_t SHA1_IV[5] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u, 0xc3d2e1f0u};
constexpr uint32_t SHA256_IV[8] = {0x6a09e667u, 0xbb67ae85u, 0x3c6ef372u, 0xa54ff53au,
                                   0x510e527fu, 0x9b05688cu, 0x1f83d9abu, 0x5be0cd19u};
constexpr uint64_t SHA384_IV[8] = {0xcbbb9d5dc1059ed8ull, 0x629a292a367cd507ull, 0x9159015a3070dd17ull,
                                   0x152fecd8f70e5939ull, 0x67332667ffc00b31ull, 0x8eb44a8768581511ull,
                                   0xdb0c2e0d64f98fa7ull, 0x47b5481dbefa4fa4ull};
constexpr uint64_t SHA512_IV[8] = {0x6a09e667f3bcc908ull, 0xbb67ae8584caa73bull, 0x3c6ef372fe94f82bull,
                                   0xa54ff53a5f1d36f1ull, 0x510e527fade682d1ull, 0x9b05688c2b3e6c1full,
                                   0x1f83d9abfb41bd6bull, 0x5be0cd19137e2179ull};

inline uint32_t rotl32(uint32_t x, unsigned n) { return x << n | x >> (32 - n); }
inline uint32_t rotr32(uint32_t x, unsigned n) { return x >> n | x << (32 - n); }
inline uint64_t rotr64(uint64_t x, unsigned n) { return x >> n | x << (64 - n); }

inline uint32_t load_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint32_t load_be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline uint64_t load_be64(const uint8_t* p) { return uint64_t(load_be32(p)) << 32 | load_be32(p + 4); }
inline void store_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}
inline void store_be32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (24 - 8 * i));
}
inline void store_be64(uint8_t* p, uint64_t v) {
    store_be32(p, uint32_t(v >> 32));
    store_be32(p + 4, uint32_t(v));
}

// Rounds are written out by macro: the per-round switch of a loop costs
// about a third of the throughput.
#define MD5_STEP(f, a, b, c, d, m, k, s) a = b + rotl32(a + (f) + (m) + (k), s)

void md5_block(uint32_t* h, const uint8_t* block) {
    uint32_t m[16];
    for (int i = 0; i < 16; i++) m[i] = load_le32(block + 4 * i);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    for (int i = 0; i < 16; i += 4) {
        MD5_STEP(d ^ (b & (c ^ d)), a, b, c, d, m[i], MD5_K[i], 7);
        MD5_STEP(c ^ (a & (b ^ c)), d, a, b, c, m[i + 1], MD5_K[i + 1], 12);
        MD5_STEP(b ^ (d & (a ^ b)), c, d, a, b, m[i + 2], MD5_K[i + 2], 17);
        MD5_STEP(a ^ (c & (d ^ a)), b, c, d, a, m[i + 3], MD5_K[i + 3], 22);
    }
    for (int i = 16; i < 32; i += 4) {
        MD5_STEP(c ^ (d & (b ^ c)), a, b, c, d, m[(5 * i + 1) & 15], MD5_K[i], 5);
        MD5_STEP(b ^ (c & (a ^ b)), d, a, b, c, m[(5 * i + 6) & 15], MD5_K[i + 1], 9);
        MD5_STEP(a ^ (b & (d ^ a)), c, d, a, b, m[(5 * i + 11) & 15], MD5_K[i + 2], 14);
        MD5_STEP(d ^ (a & (c ^ d)), b, c, d, a, m[(5 * i + 16) & 15], MD5_K[i + 3], 20);
    }
    for (int i = 32; i < 48; i += 4) {
        MD5_STEP(b ^ c ^ d, a, b, c, d, m[(3 * i + 5) & 15], MD5_K[i], 4);
        MD5_STEP(a ^ b ^ c, d, a, b, c, m[(3 * i + 8) & 15], MD5_K[i + 1], 11);
        MD5_STEP(d ^ a ^ b, c, d, a, b, m[(3 * i + 11) & 15], MD5_K[i + 2], 16);
        MD5_STEP(c ^ d ^ a, b, c, d, a, m[(3 * i + 14) & 15], MD5_K[i + 3], 23);
    }
    for (int i = 48; i < 64; i += 4) {
        MD5_STEP(c ^ (b | ~d), a, b, c, d, m[(7 * i) & 15], MD5_K[i], 6);
        MD5_STEP(b ^ (a | ~c), d, a, b, c, m[(7 * i + 7) & 15], MD5_K[i + 1], 10);
        MD5_STEP(a ^ (d | ~b), c, d, a, b, m[(7 * i + 14) & 15], MD5_K[i + 2], 15);
        MD5_STEP(d ^ (c | ~a), b, c, d, a, m[(7 * i + 21) & 15], MD5_K[i + 3], 21);
    }
    h[0] += a; h[1] += b; h[2] += c; h[3] += d;
}
#undef MD5_STEP

// The message schedule lives in a ring of 16 words.
#define SHA1_W(i) (w[(i) & 15] = rotl32(w[((i) + 13) & 15] ^ w[((i) + 8) & 15] ^ w[((i) + 2) & 15] ^ w[(i) & 15], 1))
#define SHA1_STEP(f, k, a, b, c, d, e, x) \
    e += rotl32(a, 5) + (f) + (k) + (x);  \
    b = rotl32(b, 30)

void sha1_block(uint32_t* h, const uint8_t* block) {
    uint32_t w[16];
    for (int i = 0; i < 16; i++) w[i] = load_be32(block + 4 * i);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; i += 5) {
        uint32_t k;
#define SHA1_ROUNDS(F)                                                              \
        SHA1_STEP(F(b, c, d), k, a, b, c, d, e, i < 16 ? w[i] : SHA1_W(i));         \
        SHA1_STEP(F(a, b, c), k, e, a, b, c, d, i + 1 < 16 ? w[i + 1] : SHA1_W(i + 1)); \
        SHA1_STEP(F(e, a, b), k, d, e, a, b, c, i + 2 < 16 ? w[i + 2] : SHA1_W(i + 2)); \
        SHA1_STEP(F(d, e, a), k, c, d, e, a, b, i + 3 < 16 ? w[i + 3] : SHA1_W(i + 3)); \
        SHA1_STEP(F(c, d, e), k, b, c, d, e, a, i + 4 < 16 ? w[i + 4] : SHA1_W(i + 4))
#define CH(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define PARITY(x, y, z) ((x) ^ (y) ^ (z))
#define MAJ(x, y, z) (((x) & (y)) | ((z) & ((x) | (y))))
        if (i < 20) {
            k = 0x5a827999u;
            SHA1_ROUNDS(CH);
        } else if (i < 40) {
            k = 0x6ed9eba1u;
            SHA1_ROUNDS(PARITY);
        } else if (i < 60) {
            k = 0x8f1bbcdcu;
            SHA1_ROUNDS(MAJ);
        } else {
            k = 0xca62c1d6u;
            SHA1_ROUNDS(PARITY);
        }
    }
    h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e;
}
#undef SHA1_ROUNDS
#undef SHA1_STEP
#undef SHA1_W

// One round with the working variables renamed instead of shifted.
#define SHA256_ROUND(a, b, c, d, e, f, g, k, i)                                         \
    do {                                                                                \
        const uint32_t x = (i) < 16 ? w[(i) & 15] : (w[(i) & 15] += s1(w[((i) + 14) & 15]) + \
                                                     w[((i) + 9) & 15] + s0(w[((i) + 1) & 15])); \
        const uint32_t t1 = k + (rotr32(e, 6) ^ rotr32(e, 11) ^ rotr32(e, 25)) + CH(e, f, g) + \
                            SHA256_K[i] + x;                                            \
        d += t1;                                                                        \
        k = t1 + (rotr32(a, 2) ^ rotr32(a, 13) ^ rotr32(a, 22)) + MAJ(a, b, c);         \
    } while (0)

inline uint32_t s0(uint32_t x) { return rotr32(x, 7) ^ rotr32(x, 18) ^ (x >> 3); }
inline uint32_t s1(uint32_t x) { return rotr32(x, 17) ^ rotr32(x, 19) ^ (x >> 10); }

void sha256_block(uint32_t* h, const uint8_t* block) {
    uint32_t w[16];
    for (int i = 0; i < 16; i++) w[i] = load_be32(block + 4 * i);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
    for (int i = 0; i < 64; i += 8) {
        SHA256_ROUND(a, b, c, d, e, f, g, k, i);
        SHA256_ROUND(k, a, b, c, d, e, f, g, i + 1);
        SHA256_ROUND(g, k, a, b, c, d, e, f, i + 2);
        SHA256_ROUND(f, g, k, a, b, c, d, e, i + 3);
        SHA256_ROUND(e, f, g, k, a, b, c, d, i + 4);
        SHA256_ROUND(d, e, f, g, k, a, b, c, i + 5);
        SHA256_ROUND(c, d, e, f, g, k, a, b, i + 6);
        SHA256_ROUND(b, c, d, e, f, g, k, a, i + 7);
    }
    h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += k;
}
#undef SHA256_ROUND

inline uint64_t S0(uint64_t x) { return rotr64(x, 1) ^ rotr64(x, 8) ^ (x >> 7); }
inline uint64_t S1(uint64_t x) { return rotr64(x, 19) ^ rotr64(x, 61) ^ (x >> 6); }

#define SHA512_ROUND(a, b, c, d, e, f, g, k, i)                                         \
    do {                                                                                \
        const uint64_t x = (i) < 16 ? w[(i) & 15] : (w[(i) & 15] += S1(w[((i) + 14) & 15]) + \
                                                     w[((i) + 9) & 15] + S0(w[((i) + 1) & 15])); \
        const uint64_t t1 = k + (rotr64(e, 14) ^ rotr64(e, 18) ^ rotr64(e, 41)) + CH(e, f, g) + \
                            SHA512_K[i] + x;                                            \
        d += t1;                                                                        \
        k = t1 + (rotr64(a, 28) ^ rotr64(a, 34) ^ rotr64(a, 39)) + MAJ(a, b, c);        \
    } while (0)

void sha512_block(uint64_t* h, const uint8_t* block) {
    uint64_t w[16];
    for (int i = 0; i < 16; i++) w[i] = load_be64(block + 8 * i);
    uint64_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
    for (int i = 0; i < 80; i += 8) {
        SHA512_ROUND(a, b, c, d, e, f, g, k, i);
        SHA512_ROUND(k, a, b, c, d, e, f, g, i + 1);
        SHA512_ROUND(g, k, a, b, c, d, e, f, i + 2);
        SHA512_ROUND(f, g, k, a, b, c, d, e, i + 3);
        SHA512_ROUND(e, f, g, k, a, b, c, d, i + 4);
        SHA512_ROUND(d, e, f, g, k, a, b, c, i + 5);
        SHA512_ROUND(c, d, e, f, g, k, a, b, i + 6);
        SHA512_ROUND(b, c, d, e, f, g, k, a, i + 7);
    }
    h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += k;
}
#undef SHA512_ROUND
#undef CH
#undef PARITY
#undef MAJ

bool wide(const SoftState& s) { return s.code == DIGEST_SHA384 || s.code == DIGEST_SHA512; }

void compress(SoftState& s, const uint8_t* block) {
    switch (s.code) {
    case DIGEST_MD5: md5_block(s.h.w, block); break;
    case DIGEST_SHA1: sha1_block(s.h.w, block); break;
    case DIGEST_SHA256: sha256_block(s.h.w, block); break;
    default: sha512_block(s.h.d, block); break;
    }
}

}  // namespace

bool soft::begin(SoftState& s, int32_t code) {
    std::memset(&s, 0, sizeof s);
    s.code = code;
    switch (code) {
    case DIGEST_MD5: std::memcpy(s.h.w, MD5_IV, sizeof MD5_IV); return true;
    case DIGEST_SHA1: std::memcpy(s.h.w, SHA1_IV, sizeof SHA1_IV); return true;
    case DIGEST_SHA256: std::memcpy(s.h.w, SHA256_IV, sizeof SHA256_IV); return true;
    case DIGEST_SHA384: std::memcpy(s.h.d, SHA384_IV, sizeof SHA384_IV); return true;
    case DIGEST_SHA512: std::memcpy(s.h.d, SHA512_IV, sizeof SHA512_IV); return true;
    default: return false;
    }
}

void soft::update(SoftState& s, const void* bytes, size_t length) {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    if (length == 0) return;
    const uint32_t bsize = wide(s) ? 128 : 64;
    s.length += length;
    if (s.used > 0) {
        size_t take = bsize - s.used < length ? bsize - s.used : length;
        std::memcpy(s.block + s.used, p, take);
        s.used += uint32_t(take);
        p += take;
        length -= take;
        if (s.used < bsize) return;
        compress(s, s.block);
        s.used = 0;
    }
    for (; length >= bsize; p += bsize, length -= bsize) compress(s, p);
    std::memcpy(s.block, p, length);
    s.used = uint32_t(length);
}

void soft::finish(SoftState& s, uint8_t* out) {
    // Padding: 0x80, zeros, then the message length in bits (64 bits, or 128
    // for the wide digests; a 32-bit process never fills the top 64).
    const uint32_t bsize = wide(s) ? 128 : 64;
    const uint32_t lsize = wide(s) ? 16 : 8;
    const uint64_t bits = s.length * 8;
    s.block[s.used++] = 0x80;
    if (s.used > bsize - lsize) {
        std::memset(s.block + s.used, 0, bsize - s.used);
        compress(s, s.block);
        s.used = 0;
    }
    std::memset(s.block + s.used, 0, bsize - s.used);
    if (s.code == DIGEST_MD5) {
        store_le32(s.block + 56, uint32_t(bits));
        store_le32(s.block + 60, uint32_t(bits >> 32));
    } else {
        store_be64(s.block + bsize - 8, bits);
    }
    compress(s, s.block);
    switch (s.code) {
    case DIGEST_MD5:
        for (int i = 0; i < 4; i++) store_le32(out + 4 * i, s.h.w[i]);
        break;
    case DIGEST_SHA1:
        for (int i = 0; i < 5; i++) store_be32(out + 4 * i, s.h.w[i]);
        break;
    case DIGEST_SHA256:
        for (int i = 0; i < 8; i++) store_be32(out + 4 * i, s.h.w[i]);
        break;
    case DIGEST_SHA384:
        for (int i = 0; i < 6; i++) store_be64(out + 8 * i, s.h.d[i]);
        break;
    default:
        for (int i = 0; i < 8; i++) store_be64(out + 8 * i, s.h.d[i]);
        break;
    }
}

}  // namespace qor::crypto
