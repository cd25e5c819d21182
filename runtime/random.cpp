#include "runtime/random.hpp"

namespace qor::random {

namespace {

constexpr int MIDDLE = 397;
constexpr uint32_t MATRIX = 0x9908B0DFu;
constexpr uint32_t MULTIPLIER = 0x6C078965u;

int32_t state[STATE_WORDS];
int index = 0;
bool seeded = false;

// The right shifts of this generator propagate the sign (C++20 defines >>
// on negative values as arithmetic); products and left shifts are taken
// modulo 2^32 on unsigned words.
inline int32_t word(uint32_t u) { return int32_t(u); }

void ensure_seeded() {
    if (!seeded) seed(START_SEED);
}

void regenerate() {
    for (int i = 0; i < STATE_WORDS; i++) {
        const int32_t y = word((uint32_t(state[i]) & 0x80000000u) |
                               (uint32_t(state[(i + 1) % STATE_WORDS]) & 0x7FFFFFFFu));
        int32_t v = state[(i + MIDDLE) % STATE_WORDS] ^ (y >> 1);
        if (y & 1) v ^= word(MATRIX);
        state[i] = v;
    }
    index = 0;
}

// Draws until a value falls below the largest multiple of m, so that
// value mod m is uniform.
bool draw_below_multiple(bool secure, int32_t m, int32_t& out) {
    const int32_t limit = (2147483647 / m) * m;
    int32_t v;
    do {
        if (secure) {
            if (!secure_next(v)) return false;
        } else {
            v = next();
        }
    } while (v >= limit);
    out = v % m + 1;
    return true;
}

}  // namespace

void init() { seed(START_SEED); }

void seed(int32_t s) {
    state[0] = s;
    for (int i = 1; i < STATE_WORDS; i++) {
        const int32_t prev = state[i - 1];
        state[i] = word(MULTIPLIER * uint32_t(prev ^ (prev >> 30)) + uint32_t(i));
    }
    index = 0;
    seeded = true;
}

int32_t next() {
    ensure_seeded();
    if (index == STATE_WORDS) regenerate();
    int32_t y = state[index++];
    y ^= y >> 11;
    y ^= word((uint32_t(y) << 7) & 0x9D2C5680u);
    y ^= word((uint32_t(y) << 15) & 0xEFC60000u);
    y ^= y >> 18;
    return y;
}

bool secure_next(int32_t& out) {
    uint8_t b[4];
    if (!crypto::random_bytes(b, sizeof b)) return false;
    out = word((uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24) &
               0x7FFFFFFFu);
    return true;
}

bool integer(bool secure, int32_t n, int32_t& out) {
    if (n > 0) return draw_below_multiple(secure, n, out);
    if (n == 0) {
        out = 0;
        return true;
    }
    if (n == INT32_MIN) {
        // -n does not exist: every non-negative draw v maps to -1 - v, which
        // covers -2^31 .. -1 exactly.
        int32_t v;
        if (secure) {
            if (!secure_next(v)) return false;
        } else {
            v = next();
        }
        out = -1 - v;
        return true;
    }
    int32_t r;
    if (!draw_below_multiple(secure, -n, r)) return false;
    out = -r;
    return true;
}

const int32_t* state_words() {
    ensure_seeded();
    return state;
}

}  // namespace qor::random
