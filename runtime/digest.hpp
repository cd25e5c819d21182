// Message digests (MD5, SHA-1, SHA-256, SHA-384, SHA-512) and HMAC over them.
//
// The digests come from the platform: CryptoAPI on Windows (digest_win32.cpp,
// one verify-only provider context for the run), the portable code of
// digest_soft.cpp on POSIX (digest_posix.cpp).  The portable code is built on
// both sides so that each can be checked against the other.
//
// Every entry answers a Status: a digest that the platform failed to compute
// is reported as `failed`, never handed back as a result.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qor::crypto {

// Method codes.  0 and 1 name the checksums, which have no digest.
enum : int32_t {
    DIGEST_TCP    = 0,
    DIGEST_CRC32  = 1,
    DIGEST_MD5    = 2,
    DIGEST_SHA1   = 3,
    DIGEST_SHA256 = 4,
    DIGEST_SHA384 = 5,
    DIGEST_SHA512 = 6,
};

// Room for the largest digest; results are written into buffers of this size.
constexpr size_t HASH_BUFFER = 64;

enum class Status : uint8_t {
    ok,
    unsupported,  // the code names no digest
    failed,       // the platform could not compute it
};

size_t digest_size(int32_t code);   // bytes of the digest; 0 when the code names none
size_t block_size(int32_t code);    // HMAC block: 128 for SHA-384/512, else 64
uint32_t algorithm_id(int32_t code);  // CryptoAPI ALG_ID (0x8003 ...); 0 when none

// State of the portable code: chaining words, the bytes waiting for a full
// block and the count of bytes taken so far.
struct SoftState {
    int32_t  code;
    uint32_t used;
    uint64_t length;
    union {
        uint32_t w[8];
        uint64_t d[8];
    } h;
    uint8_t block[128];
};

// A digest in progress.  Begin it, feed it, finish it; finish and abort
// release the platform's object whatever happened before.
struct Digest {
    int32_t   code;
    bool      open;
    bool      failed;
    uintptr_t handle;   // the platform's hash object, where it has one
    SoftState soft;     // the portable state otherwise
};

// Acquires the platform's provider (Windows: CryptAcquireContextW, AES
// provider type, verify-only).  Idempotent; the digest entries call it on
// demand, so it only has to run early to fail early.  False when refused.
bool init();
void shutdown();

Status digest_begin(Digest& d, int32_t code);
Status digest_update(Digest& d, const void* bytes, size_t length);
// Writes digest_size(code) bytes to `out` (HASH_BUFFER bytes, the rest zeroed).
Status digest_finish(Digest& d, uint8_t* out);
void   digest_abort(Digest& d);

// One-shot digest of `length` bytes into `out` (HASH_BUFFER bytes: the digest,
// then zeros).  On any status but ok, `out` is all zeros.
Status hash(const void* bytes, size_t length, int32_t code, uint8_t* out);

// The portable implementations, the POSIX side's digests.
namespace soft {
bool begin(SoftState& s, int32_t code);   // false when the code names no digest
void update(SoftState& s, const void* bytes, size_t length);
void finish(SoftState& s, uint8_t* out);  // digest_size(code) bytes
}  // namespace soft

// The provider handle for the secure random source (Windows; 0 elsewhere or
// when it could not be acquired).
uintptr_t provider();

}  // namespace qor::crypto

namespace qor::hmac {

constexpr const char* UNSUPPORTED_MESSAGE = "The selected algorithm doesn't support HMAC calculation";

// HMAC (RFC 2104) of `data` under `key` with the digest of `code`, written to
// `out` (HASH_BUFFER bytes: digest_size(code) bytes of result, then zeros).
// `unsupported` for the checksum codes, which have no HMAC: the caller then
// prints UNSUPPORTED_MESSAGE and answers an empty result.
crypto::Status compute(const void* data, size_t data_length, const void* key, size_t key_length,
                       int32_t code, uint8_t* out);

}  // namespace qor::hmac
