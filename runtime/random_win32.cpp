// Windows secure source: CryptGenRandom on the run's provider context.
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>

#include "runtime/digest.hpp"
#include "runtime/random.hpp"

namespace qor::crypto {

bool random_bytes(void* buffer, size_t count) {
    const HCRYPTPROV context = HCRYPTPROV(provider());
    if (context == 0) return false;
    BYTE* p = static_cast<BYTE*>(buffer);
    constexpr size_t SLICE = 1u << 30;   // CryptGenRandom takes a DWORD count
    while (count > 0) {
        const size_t slice = count < SLICE ? count : SLICE;
        if (!CryptGenRandom(context, DWORD(slice), p)) return false;
        p += slice;
        count -= slice;
    }
    return true;
}

}  // namespace qor::crypto
