// Catch levels and the runtime's one non-local exit.
//
// Every non-local exit of the runtime (language errors, break, continue,
// return, exit, the language's throw, integer-power overflow and the page
// allocator's failures) is a C++ exception of the one type `Thrown`, which
// carries a 32-bit code.  A catch site admits the codes at or below its level
// (compared unsigned) and rethrows everything else; `catches()` is that test.
#pragma once
#include <cstdint>

namespace qor {

// Thrown codes, compared unsigned.
enum : uint32_t {
    THROW_ERROR        = 0x7FFFFFFFu,  // language error (raise-error)
    THROW_BREAK        = 0x7FFFFFFEu,
    THROW_CONTINUE     = 0x7FFFFFFDu,
    THROW_RETURN       = 0x7FFFFFFCu,
    THROW_EXIT         = 0x7FFFFFFBu,
    THROW_THROW        = 0x7FFFFFFAu,  // the language's throw/catch
    THROW_INT_OVERFLOW = 0x7FFFFFF9u,  // integer! power overflow, finished in float
    THROW_OS_ALLOC     = 0x7FFFFFF7u,  // OS page allocation failed
    THROW_OS_FREE      = 0x7FFFFFF6u,  // OS page release failed
};

// Catch levels.
enum : uint32_t {
    LEVEL_NONE     = 0u,            // catches nothing
    LEVEL_OS_PAGES = 0x7FFFFFF8u,   // the two OS codes, nothing of the language
    LEVEL_ALL      = 0xFFFFFFFFu,   // catches everything
};

struct Thrown {
    uint32_t code;
};

// A frame with catch level `level` stops a throw of `code` when the level is
// not below the code.
constexpr bool catches(uint32_t level, uint32_t code) { return level >= code; }

}  // namespace qor
