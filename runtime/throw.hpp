// Catch levels and the runtime's one non-local exit.
//
// Every non-local exit of the runtime (language errors, break, continue,
// return, exit, the language's throw, integer-power overflow and the page
// allocator's failures) is a C++ exception of the one type `Thrown`, which
// carries a 32-bit code.  A catch site admits the codes at or below its level
// (compared unsigned) and rethrows everything else; `catches()` is that test.
#pragma once
#include <cstdint>
#include <utility>

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

// Unwinds with `code` (never 0): the code is written to the runtime record's
// thrown value and the caller's address kept as the address of the throw.
[[noreturn]] void system_throw(uint32_t code);

// Stores the code that a catch site stopped into the runtime record.
void set_thrown(uint32_t code);

// A catch region: runs f() at catch level `level`.  Answers 0 when f returns
// normally; a throw whose code the level admits is stopped, its code stays in
// the runtime record for the catching code to read and clear, and the code
// is answered; every other code passes on unchanged.
template <class F>
uint32_t catch_level(uint32_t level, F&& f) {
    try {
        std::forward<F>(f)();
        return 0;
    } catch (const Thrown& t) {
        if (!catches(level, t.code)) throw;
        set_thrown(t.code);
        return t.code;
    }
}

}  // namespace qor
