// Windows digests through CryptoAPI: one verify-only context on the AES
// provider for the run, a hash object per digest.  Every call is checked;
// a failure releases what was made and is answered as Status::failed.
#include <windows.h>
#include <wincrypt.h>

#include <cstring>

#include "runtime/digest.hpp"

namespace qor::crypto {

namespace {

HCRYPTPROV provider_context = 0;

// CryptHashData takes a DWORD count; feed large inputs in slices.
constexpr size_t HASH_SLICE = 1u << 30;

void release(Digest& d) {
    if (d.handle != 0) CryptDestroyHash(HCRYPTHASH(d.handle));
    d.handle = 0;
    d.open = false;
}

}  // namespace

bool init() {
    if (provider_context != 0) return true;
    HCRYPTPROV context = 0;
    if (!CryptAcquireContextW(&context, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
    provider_context = context;
    return true;
}

void shutdown() {
    if (provider_context != 0) CryptReleaseContext(provider_context, 0);
    provider_context = 0;
}

uintptr_t provider() { return init() ? uintptr_t(provider_context) : 0; }

Status digest_begin(Digest& d, int32_t code) {
    d.code = code;
    d.handle = 0;
    d.open = false;
    d.failed = false;
    const ALG_ID alg = algorithm_id(code);
    if (alg == 0) return Status::unsupported;
    if (!init()) return Status::failed;
    HCRYPTHASH h = 0;
    if (!CryptCreateHash(provider_context, alg, 0, 0, &h)) return Status::failed;
    d.handle = uintptr_t(h);
    d.open = true;
    return Status::ok;
}

Status digest_update(Digest& d, const void* bytes, size_t length) {
    if (!d.open) return Status::failed;
    const BYTE* p = static_cast<const BYTE*>(bytes);
    while (length > 0) {
        const size_t slice = length < HASH_SLICE ? length : HASH_SLICE;
        if (!CryptHashData(HCRYPTHASH(d.handle), p, DWORD(slice), 0)) {
            d.failed = true;
            release(d);
            return Status::failed;
        }
        p += slice;
        length -= slice;
    }
    return Status::ok;
}

Status digest_finish(Digest& d, uint8_t* out) {
    std::memset(out, 0, HASH_BUFFER);
    if (!d.open) return Status::failed;
    BYTE value[HASH_BUFFER];
    DWORD size = sizeof value;
    const bool ok = CryptGetHashParam(HCRYPTHASH(d.handle), HP_HASHVAL, value, &size, 0) &&
                    size == digest_size(d.code);
    release(d);
    if (!ok) return Status::failed;
    std::memcpy(out, value, size);
    return Status::ok;
}

void digest_abort(Digest& d) { release(d); }

}  // namespace qor::crypto
