#include "runtime/case_folding.hpp"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace qor::case_ {
namespace {

struct Pair16 {
    uint16_t from, to;
};
struct Pair32 {
    uint32_t from, to;
};

#include "runtime/case_tables.inc"

// Entry c holds the mapped code point, or 0 when c maps to itself (so NUL
// needs no entry).  Every BMP pair stays in the BMP (the generator checks),
// so 16-bit entries suffice: 128 KiB per direction, zero until filled.
uint16_t upper_table[0x10000];
uint16_t lower_table[0x10000];

template <size_t N>
void fill(uint16_t (&table)[0x10000], const Pair16 (&pairs)[N]) {
    for (const Pair16& p : pairs) table[p.from] = p.to;
}

template <size_t N>
uint32_t lookup(const Pair32 (&pairs)[N], uint32_t c) {
    if (c < pairs[0].from || c > pairs[N - 1].from) return c;
    const Pair32* p = std::lower_bound(pairs, pairs + N, c,
                                       [](const Pair32& q, uint32_t k) { return q.from < k; });
    return (p != pairs + N && p->from == c) ? p->to : c;
}

// Fill the tables before main: map_char is then correct for any caller,
// including ones that run before the runtime's start-up.
struct FillAtLoad {
    FillAtLoad() { init_tables(); }
} fill_at_load;

}  // namespace

void init_tables() {
    fill(upper_table, upper_bmp);
    fill(lower_table, lower_bmp);
}

uint32_t map_char(uint32_t c, bool upper) {
    if (c <= 0xFFFF) {
        uint32_t m = upper ? upper_table[c] : lower_table[c];
        return m ? m : c;
    }
    return upper ? lookup(upper_supplementary, c) : lookup(lower_supplementary, c);
}

uint32_t swap_char(uint32_t c) {
    uint32_t u = map_char(c, true);
    return u != c ? u : map_char(c, false);
}

PairCounts pair_counts() {
    return {uint32_t(std::size(upper_bmp)), uint32_t(std::size(lower_bmp)),
            uint32_t(std::size(upper_supplementary)), uint32_t(std::size(lower_supplementary))};
}

}  // namespace qor::case_
