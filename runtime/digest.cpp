// The platform-independent half of the digests: sizes, the one-shot entry
// and HMAC, all over the streaming entries of the platform files.
#include <cstring>

#include "runtime/digest.hpp"

namespace qor::crypto {

size_t digest_size(int32_t code) {
    switch (code) {
    case DIGEST_MD5: return 16;
    case DIGEST_SHA1: return 20;
    case DIGEST_SHA256: return 32;
    case DIGEST_SHA384: return 48;
    case DIGEST_SHA512: return 64;
    default: return 0;
    }
}

size_t block_size(int32_t code) { return code == DIGEST_SHA384 || code == DIGEST_SHA512 ? 128 : 64; }

uint32_t algorithm_id(int32_t code) {
    switch (code) {
    case DIGEST_MD5: return 0x8003;
    case DIGEST_SHA1: return 0x8004;
    case DIGEST_SHA256: return 0x800C;
    case DIGEST_SHA384: return 0x800D;
    case DIGEST_SHA512: return 0x800E;
    default: return 0;
    }
}

Status hash(const void* bytes, size_t length, int32_t code, uint8_t* out) {
    std::memset(out, 0, HASH_BUFFER);
    Digest d;
    Status st = digest_begin(d, code);
    if (st != Status::ok) return st;
    st = digest_update(d, bytes, length);
    if (st != Status::ok) {
        digest_abort(d);
        return st;
    }
    return digest_finish(d, out);
}

}  // namespace qor::crypto

namespace qor::hmac {

using crypto::Status;

namespace {

// H(pad block || part1 || part2) into out; the pad block is the key XORed
// with `fill`.
Status padded_digest(int32_t code, const uint8_t* key_block, size_t block, uint8_t fill,
                     const void* data, size_t length, uint8_t* out) {
    uint8_t pad[128];
    for (size_t i = 0; i < block; i++) pad[i] = key_block[i] ^ fill;
    crypto::Digest d;
    Status st = crypto::digest_begin(d, code);
    if (st == Status::ok) st = crypto::digest_update(d, pad, block);
    if (st == Status::ok) st = crypto::digest_update(d, data, length);
    if (st == Status::ok) return crypto::digest_finish(d, out);
    crypto::digest_abort(d);
    return st;
}

}  // namespace

Status compute(const void* data, size_t data_length, const void* key, size_t key_length,
               int32_t code, uint8_t* out) {
    std::memset(out, 0, crypto::HASH_BUFFER);
    const size_t size = crypto::digest_size(code);
    if (size == 0) return Status::unsupported;
    const size_t block = crypto::block_size(code);

    // A key longer than the block is replaced by its digest; shorter keys
    // are padded with zeros.
    uint8_t key_block[128] = {};
    if (key_length > block) {
        uint8_t digest[crypto::HASH_BUFFER];
        Status st = crypto::hash(key, key_length, code, digest);
        if (st != Status::ok) return st;
        std::memcpy(key_block, digest, size);
    } else if (key_length > 0) {
        std::memcpy(key_block, key, key_length);
    }

    uint8_t inner[crypto::HASH_BUFFER];
    Status st = padded_digest(code, key_block, block, 0x36, data, data_length, inner);
    if (st == Status::ok) st = padded_digest(code, key_block, block, 0x5C, inner, size, out);
    if (st != Status::ok) std::memset(out, 0, crypto::HASH_BUFFER);
    return st;
}

}  // namespace qor::hmac
