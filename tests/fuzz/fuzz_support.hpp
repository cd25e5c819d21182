// Shared by the fuzz targets.
#pragma once
#include <cstdint>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#define QOR_FUZZ_ASAN 1
#endif
#endif

namespace qor::fuzz {

// The frames a language error unwound are dead; under qemu's user-mode
// emulator ASan does not always clear their red zones on the way out, and
// stale red zones pile up until a later call trips over them.
inline void clear_dead_frames() {
#ifdef QOR_FUZZ_ASAN
    char here;
    uintptr_t top = reinterpret_cast<uintptr_t>(&here) & ~uintptr_t(7);
    constexpr uintptr_t window = 256 * 1024;
    __asan_unpoison_memory_region(reinterpret_cast<void*>(top - window), window - 64);
#endif
}

}  // namespace qor::fuzz
