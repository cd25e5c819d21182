// Terminal columns taken by a code point.
#include "runtime/console_output.hpp"

namespace qor::chars {

#include "runtime/display_width_tables.inc"

template <size_t N>
static bool in(uint32_t cp, const Range (&table)[N]) {
    return in_ranges(cp, table, N);
}

bool in_ranges(uint32_t cp, const Range* ranges, size_t count) {
    if (count == 0 || cp < ranges[0].first || cp > ranges[count - 1].last) return false;
    // The ranges are sorted and disjoint: a binary search finds the one
    // whose first bound is the last not above cp.
    size_t lo = 0, hi = count;
    while (hi - lo > 1) {
        size_t mid = lo + (hi - lo) / 2;
        if (ranges[mid].first <= cp) lo = mid;
        else hi = mid;
    }
    return cp <= ranges[lo].last;
}

int display_width(uint32_t cp) {
    if (cp == 0) return 0;
    if (cp < 32 || (cp >= 127 && cp <= 159)) return 1;
    if (in(cp, zero_width_ranges)) return 0;
    if (in(cp, wide_ranges)) return 2;
    return 1;
}

int display_width_cjk(uint32_t cp) {
    if (in(cp, ambiguous_ranges)) return 2;
    return display_width(cp);
}

}  // namespace qor::chars
