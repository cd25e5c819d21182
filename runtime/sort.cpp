#include "runtime/sort.hpp"

#include <cstring>

#include "runtime/heap.hpp"

namespace qor::sort {

namespace {

// The records being sorted and how to compare and move them.
struct Records {
    uint8_t* base;
    size_t width;
    bool bytewise;
    intptr_t opt1, opt2;
    Compare compare;

    uint8_t* at(size_t i) const { return base + i * width; }
    int32_t cmp(const void* a, const void* b) const { return compare(a, b, opt1, opt2); }
    int32_t cmp(size_t i, size_t j) const { return compare(at(i), at(j), opt1, opt2); }
    void swap(size_t i, size_t j) const { sort::swap(at(i), at(j), width, bytewise); }
};

Records make_records(void* base, size_t width, intptr_t opt1, intptr_t opt2, Compare compare) {
    return Records{static_cast<uint8_t*>(base), width, width % 4 != 0, opt1, opt2, compare};
}

void reverse(const Records& r, size_t lo, size_t hi) {
    while (hi - lo > 1) r.swap(lo++, --hi);
}

// Sorts [lo, hi) by swapping each record backwards past the larger ones; the
// records of [lo, sorted) are already in order.
void insertion_sort(const Records& r, size_t lo, size_t sorted, size_t hi) {
    for (size_t i = sorted > lo ? sorted : lo + 1; i < hi; i++) {
        for (size_t j = i; j > lo && r.cmp(j - 1, j) > 0; j--) r.swap(j - 1, j);
    }
}

// ---------------------------------------------------------------- merge sort

// End of the run that starts at `start`: non-descending, or strictly
// descending and then reversed (strictness keeps equal records in order).
size_t find_run(const Records& r, size_t start, size_t n) {
    if (n - start < 2) return n;
    size_t i = start + 1;
    if (r.cmp(start, i) <= 0) {
        while (i + 1 < n && r.cmp(i, i + 1) <= 0) i++;
        return i + 1;
    }
    while (i + 1 < n && r.cmp(i, i + 1) > 0) i++;
    reverse(r, start, i + 1);
    return i + 1;
}

size_t extend_run(const Records& r, size_t start, size_t end, size_t n) {
    const size_t target = n - start < MIN_RUN ? n : start + MIN_RUN;
    if (end >= target) return end;
    insertion_sort(r, start, end, target);
    return target;
}

// Powersort: the depth of the boundary between runs [s1, e1) and [e1, e2)
// in the perfectly balanced merge tree over n records, found from the first
// bit in which the two runs' midpoints (scaled by 2n) differ.
unsigned node_power(size_t s1, size_t e1, size_t e2, size_t n) {
    uint64_t a = uint64_t(s1) + e1, b = uint64_t(e1) + e2;
    unsigned power = 1;
    while ((a >= n) == (b >= n)) {
        power++;
        if (a >= n) {
            a -= n;
            b -= n;
        }
        a <<= 1;
        b <<= 1;
    }
    return power;
}

// Merges the adjacent runs [l, m) and [m, hr) through `buffer`, which takes
// the shorter run.  Until the merge ends, the records still in the buffer
// exactly fill the gap between the output and the unread input; if the
// comparator throws, they are copied into that gap, so nothing is lost.
void merge_runs(const Records& r, size_t l, size_t m, size_t hr, uint8_t* buffer) {
    const size_t w = r.width;
    const size_t nl = m - l, nr = hr - m;
    if (nl <= nr) {
        std::memcpy(buffer, r.at(l), nl * w);
        size_t bi = 0, ri = m, d = l;   // invariant: d + (nl - bi) == ri
        try {
            while (bi < nl && ri < hr) {
                if (r.cmp(buffer + bi * w, r.at(ri)) <= 0) {
                    std::memcpy(r.at(d), buffer + bi * w, w);
                    bi++;
                } else {
                    std::memcpy(r.at(d), r.at(ri), w);
                    ri++;
                }
                d++;
            }
        } catch (...) {
            std::memcpy(r.at(d), buffer + bi * w, (nl - bi) * w);
            throw;
        }
        std::memcpy(r.at(d), buffer + bi * w, (nl - bi) * w);
    } else {
        std::memcpy(buffer, r.at(m), nr * w);
        size_t bi = nr, li = m, d = hr;   // counts from the back; invariant: d - li == bi
        try {
            while (bi > 0 && li > l) {
                if (r.cmp(r.at(li - 1), buffer + (bi - 1) * w) > 0) {
                    std::memcpy(r.at(d - 1), r.at(li - 1), w);
                    li--;
                } else {
                    std::memcpy(r.at(d - 1), buffer + (bi - 1) * w, w);
                    bi--;
                }
                d--;
            }
        } catch (...) {
            std::memcpy(r.at(li), buffer, bi * w);
            throw;
        }
        std::memcpy(r.at(li), buffer, bi * w);
    }
}

// The merge buffer, taken on first need and released on every exit.
struct MergeBuffer {
    uint8_t* given;
    size_t size;
    uint8_t* owned = nullptr;
    ~MergeBuffer() {
        if (owned) heap::free(owned);
    }
    uint8_t* get() {
        if (given) return given;
        if (!owned) owned = static_cast<uint8_t*>(heap::alloc(size ? size : 1));
        return owned;
    }
};

// ----------------------------------------------------------------- quicksort

// Orders three records in place with at most three comparisons.
void order3(const Records& r, size_t i, size_t j, size_t k) {
    if (r.cmp(i, j) > 0) r.swap(i, j);
    if (r.cmp(j, k) > 0) {
        r.swap(j, k);
        if (r.cmp(i, j) > 0) r.swap(i, j);
    }
}

void swap_blocks(const Records& r, size_t a, size_t b, size_t count) {
    for (size_t i = 0; i < count; i++) r.swap(a + i, b + i);
}

void sift_down(const Records& r, size_t lo, size_t root, size_t count) {
    for (;;) {
        size_t child = 2 * root + 1;
        if (child >= count) return;
        if (child + 1 < count && r.cmp(lo + child + 1, lo + child) > 0) child++;
        if (r.cmp(lo + child, lo + root) <= 0) return;
        r.swap(lo + root, lo + child);
        root = child;
    }
}

// The fallback when partitions keep coming out lopsided: n log n whatever
// the input.
void heap_sort(const Records& r, size_t lo, size_t hi) {
    const size_t n = hi - lo;
    for (size_t i = n / 2; i-- > 0;) sift_down(r, lo, i, n);
    for (size_t end = n; end-- > 1;) {
        r.swap(lo, lo + end);
        sift_down(r, lo, 0, end);
    }
}

// Three-way quicksort of [lo, hi).  Every index is checked against the range
// bounds rather than trusting sentinels, so an inconsistent comparator
// yields a strange order but never a stray access.
void quick_range(const Records& r, size_t lo, size_t hi, unsigned depth) {
    while (hi - lo > INSERTION_LIMIT) {
        if (depth == 0) {
            heap_sort(r, lo, hi);
            return;
        }
        depth--;
        const size_t n = hi - lo, mid = lo + n / 2;
        if (n > 511) {
            const size_t s = n / 8;
            order3(r, lo, lo + s, lo + 2 * s);
            order3(r, mid - s, mid, mid + s);
            order3(r, hi - 1 - 2 * s, hi - 1 - s, hi - 1);
            order3(r, lo + s, mid, hi - 1 - s);
        } else {
            order3(r, lo, mid, hi - 1);
        }
        r.swap(lo, mid);   // the pivot waits at lo

        // [lo, a) equal, [a, b) less, (c, d] greater, (d, hi) equal.
        size_t a = lo + 1, b = lo + 1, c = hi - 1, d = hi - 1;
        for (;;) {
            while (b <= c) {
                const int32_t v = r.cmp(b, lo);
                if (v > 0) break;
                if (v == 0) r.swap(a++, b);
                b++;
            }
            while (b <= c) {
                const int32_t v = r.cmp(c, lo);
                if (v < 0) break;
                if (v == 0) r.swap(c, d--);
                c--;
            }
            if (b > c) break;
            r.swap(b++, c--);
        }
        // Gather the equal records in the middle.
        size_t s = a - lo < b - a ? a - lo : b - a;
        swap_blocks(r, lo, b - s, s);
        s = d - c < hi - 1 - d ? d - c : hi - 1 - d;
        swap_blocks(r, b, hi - s, s);

        const size_t less = b - a, greater = d - c;
        // Recurse into the smaller side, loop on the larger: the stack stays
        // logarithmic.
        if (less < greater) {
            quick_range(r, lo, lo + less, depth);
            lo = hi - greater;
        } else {
            quick_range(r, hi - greater, hi, depth);
            hi = lo + less;
        }
    }
    insertion_sort(r, lo, lo, hi);
}

// Rotates [a, e) so that [m, e) comes before [a, m), by three reversals.
void rotate(const Records& r, size_t a, size_t m, size_t e) {
    reverse(r, a, m);
    reverse(r, m, e);
    reverse(r, a, e);
}

// Merges the ordered ranges [a, m) and [m, b) in place (the symmetric merge
// of Kim and Kutzner): O(log n) stack, swaps only.
void merge_in_place(const Records& r, size_t a, size_t m, size_t b) {
    if (a >= m || m >= b) return;
    if (m - a == 1) {
        // Insert record a into [m, b): after every record not above it.
        size_t i = m, j = b;
        while (i < j) {
            const size_t h = i + (j - i) / 2;
            if (r.cmp(a, h) > 0) i = h + 1; else j = h;
        }
        for (size_t k = a; k + 1 < i; k++) r.swap(k, k + 1);
        return;
    }
    if (b - m == 1) {
        // Insert record m into [a, m): before every record above it.
        size_t i = a, j = m;
        while (i < j) {
            const size_t h = i + (j - i) / 2;
            if (r.cmp(h, m) <= 0) i = h + 1; else j = h;
        }
        for (size_t k = m; k > i; k--) r.swap(k, k - 1);
        return;
    }
    const size_t mid = a + (b - a) / 2, n = mid + m;
    size_t start, hi;
    if (m > mid) {
        start = n - b;
        hi = mid;
    } else {
        start = a;
        hi = m;
    }
    const size_t p = n - 1;
    while (start < hi) {
        const size_t c = start + (hi - start) / 2;
        if (r.cmp(c, p - c) <= 0) start = c + 1; else hi = c;
    }
    const size_t end = n - start;
    if (start < m && m < end) rotate(r, start, m, end);
    merge_in_place(r, a, start, mid);
    merge_in_place(r, mid, end, b);
}

unsigned depth_limit(size_t n) {
    unsigned log = 0;
    while (n >>= 1) log++;
    return 2 * log + 2;
}

}  // namespace

void swap(void* p, void* q, size_t width, bool bytewise) {
    uint8_t* a = static_cast<uint8_t*>(p);
    uint8_t* b = static_cast<uint8_t*>(q);
    if (bytewise) {
        for (size_t i = 0; i < width; i++) {
            const uint8_t t = a[i];
            a[i] = b[i];
            b[i] = t;
        }
        return;
    }
    for (size_t i = 0; i + 4 <= width; i += 4) {
        uint32_t x, y;
        std::memcpy(&x, a + i, 4);
        std::memcpy(&y, b + i, 4);
        std::memcpy(a + i, &y, 4);
        std::memcpy(b + i, &x, 4);
    }
}

uint64_t merge_buffer_size(size_t count, size_t width) { return uint64_t(count / 2) * width; }

bool merge_sort(void* base, size_t n, size_t width, intptr_t opt1, intptr_t opt2, Compare compare,
                void* buffer) {
    if (n < 2) return true;
    const uint64_t size = merge_buffer_size(n, width);
    if (size > 0x7FFFFFFFu) return false;
    const Records r = make_records(base, width, opt1, opt2, compare);
    MergeBuffer merge{static_cast<uint8_t*>(buffer), size_t(size)};

    // Run stack: powers strictly increase upwards and stay below
    // log2(n) + 2, so 64 entries are never all used.
    struct Run {
        size_t start;
        unsigned power;
    };
    Run stack[64] = {};
    size_t top = 0;

    size_t s1 = 0;
    size_t e1 = extend_run(r, 0, find_run(r, 0, n), n);
    while (e1 < n) {
        const size_t s2 = e1;
        const size_t e2 = extend_run(r, s2, find_run(r, s2, n), n);
        const unsigned power = node_power(s1, e1, e2, n);
        while (top > 0 && stack[top - 1].power > power) {
            merge_runs(r, stack[top - 1].start, s1, e1, merge.get());
            s1 = stack[--top].start;
        }
        stack[top++] = {s1, power};
        s1 = s2;
        e1 = e2;
    }
    while (top > 0) {
        merge_runs(r, stack[top - 1].start, s1, n, merge.get());
        s1 = stack[--top].start;
    }
    return true;
}

void quick(void* base, size_t hint, size_t n, size_t width, intptr_t opt1, intptr_t opt2,
           Compare compare) {
    if (hint >= n || n < 2) return;
    const Records r = make_records(base, width, opt1, opt2, compare);
    // A long ordered prefix: sort only the rest, then merge the two.
    if (hint > 2 && hint >= n / 2) {
        quick_range(r, hint, n, depth_limit(n - hint));
        merge_in_place(r, 0, hint, n);
        return;
    }
    quick_range(r, 0, n, depth_limit(n));
}

void qsort(void* base, size_t n, size_t width, intptr_t opt1, intptr_t opt2, Compare compare) {
    if (n < 2) return;
    const Records r = make_records(base, width, opt1, opt2, compare);
    if (n <= INSERTION_LIMIT) {
        insertion_sort(r, 0, 0, n);
        return;
    }

    // Direction from the first unequal adjacent pair.
    size_t i = 0;
    int32_t c = 0;
    while (i + 1 < n && (c = r.cmp(i, i + 1)) == 0) i++;
    if (i + 1 >= n) return;   // all equal
    int dir = c < 0 ? 1 : -1;

    // The run in that direction from the start.
    size_t end = i + 2;
    while (end < n) {
        const int32_t v = r.cmp(end - 1, end);
        if (dir > 0 ? v > 0 : v < 0) break;
        end++;
    }
    if (end == n) {
        if (dir < 0) reverse(r, 0, n);
        return;
    }

    // Sample every 97th pair after the run.
    int64_t score = int64_t(end) * dir;
    for (size_t k = end + 97; k < n; k += 97) {
        const int32_t v = r.cmp(k - 1, k);
        if (v < 0) score++;
        else if (v > 0) score--;
    }
    const int64_t magnitude = score < 0 ? -score : score;
    size_t hint = 0;
    if (magnitude > int64_t(n / 512)) {
        if (score < 0) {
            // Mostly descending: reverse the whole and measure again.
            reverse(r, 0, n);
            hint = 1;
            while (hint < n && r.cmp(hint - 1, hint) <= 0) hint++;
        } else {
            hint = dir > 0 ? end : 1;
            while (hint < n && r.cmp(hint - 1, hint) <= 0) hint++;
        }
    }
    quick(base, hint, n, width, opt1, opt2, compare);
}

}  // namespace qor::sort
