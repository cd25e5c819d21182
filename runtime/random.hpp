// The process-wide pseudo-random generator (a Mersenne twister) and the
// secure source over the platform's cryptographic provider.
//
// The generator keeps MT19937's constants and structure but computes on
// signed 32-bit words with arithmetic right shifts, and a fresh seed starts
// at index 0, so its first 624 values are the tempered seed words.  Both are
// part of the sequence that `random/seed` scripts reproduce; never "fix"
// them.  The last tempering shift clears the top bit: every value lies in
// 0 .. 2^31 - 1.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qor::random {

constexpr int32_t START_SEED = 19650218;
constexpr int STATE_WORDS = 624;

// Seeds the generator with START_SEED.  The generator seeds itself the same
// way on first use, so this only restarts the sequence.
void init();

// Restarts the sequence from `seed`.
void seed(int32_t seed);

// The next value, 0 .. 2^31 - 1.
int32_t next();

// Four bytes of the secure source as a little-endian word with the top bit
// cleared.  False (and `out` untouched) when the platform source failed.
bool secure_next(int32_t& out);

// A uniform integer: 1 .. n for n > 0, n .. -1 for n < 0, 0 for n = 0, drawn
// from the secure source when `secure`.  False only when the secure source
// failed; `out` is then untouched.
bool integer(bool secure, int32_t n, int32_t& out);

// The generator's state words (for the hash seed, which is their address).
const int32_t* state_words();

}  // namespace qor::random

namespace qor::crypto {

// Fills `buffer` with `count` bytes of the platform's secure source
// (CryptGenRandom on Windows, getrandom or /dev/urandom on POSIX).  False
// when the source failed; the buffer's content is then unspecified and must
// not be used.
bool random_bytes(void* buffer, size_t count);

}  // namespace qor::crypto
