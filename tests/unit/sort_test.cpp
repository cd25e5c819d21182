#include "runtime/sort.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/heap.hpp"
#include "runtime/throw.hpp"

namespace {

namespace sort = qor::sort;

// A record: the key that is sorted on, then the position it started at
// (which shows stability).
struct Rec {
    int32_t key;
    int32_t seq;
};
static_assert(sizeof(Rec) == 8);

// Watches the comparisons: counts them, throws at a chosen one, and notes
// whether any compared two records that are not neighbours in the array.
struct Probe {
    long calls = 0;
    long throw_at = -1;
    const uint8_t* base = nullptr;
    size_t count = 0, width = 0;
    bool non_adjacent = false;
    bool descending = false;
};

int32_t compare_keys(const void* a, const void* b, intptr_t opt1, intptr_t opt2) {
    Probe* p = reinterpret_cast<Probe*>(opt1);
    if (p->calls++ == p->throw_at) throw qor::Thrown{qor::THROW_ERROR};
    const uint8_t* x = static_cast<const uint8_t*>(a);
    const uint8_t* y = static_cast<const uint8_t*>(b);
    if (p->base) {
        const uint8_t* end = p->base + p->count * p->width;
        if (x >= p->base && x < end && y >= p->base && y < end &&
            size_t(x > y ? x - y : y - x) != p->width)
            p->non_adjacent = true;
    }
    int32_t ka, kb;
    std::memcpy(&ka, x, 4);
    std::memcpy(&kb, y, 4);
    if (opt2) std::swap(ka, kb);   // opt2 reaches the comparator untouched
    return ka < kb ? -1 : ka > kb ? 1 : 0;
}

enum class Pattern { random, sorted, reversed, equal, few_keys, organ_pipe, sawtooth, sorted_tail,
                     mostly_descending, sorted_swaps };
const Pattern PATTERNS[] = {Pattern::random, Pattern::sorted, Pattern::reversed, Pattern::equal,
                            Pattern::few_keys, Pattern::organ_pipe, Pattern::sawtooth,
                            Pattern::sorted_tail, Pattern::mostly_descending, Pattern::sorted_swaps};

std::vector<Rec> make(Pattern p, size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<Rec> v(n);
    for (size_t i = 0; i < n; i++) {
        int32_t k = 0;
        const int32_t ii = int32_t(i), nn = int32_t(n);
        switch (p) {
        case Pattern::random: k = int32_t(gen() % 1000000); break;
        case Pattern::sorted: k = ii; break;
        case Pattern::reversed: k = nn - ii; break;
        case Pattern::equal: k = 7; break;
        case Pattern::few_keys: k = int32_t(gen() % 4); break;
        case Pattern::organ_pipe: k = ii < nn / 2 ? ii : nn - ii; break;
        case Pattern::sawtooth: k = ii % 37; break;
        case Pattern::sorted_tail: k = ii < nn * 9 / 10 ? ii : int32_t(gen() % n); break;
        case Pattern::mostly_descending: k = gen() % 20 == 0 ? int32_t(gen() % n) : nn - ii; break;
        case Pattern::sorted_swaps: k = ii; break;
        }
        v[i] = {k, int32_t(i)};
    }
    if (p == Pattern::sorted_swaps && n > 1)
        for (size_t s = 0; s < n / 50 + 1; s++) std::swap(v[gen() % n].key, v[gen() % n].key);
    return v;
}

std::vector<int32_t> sorted_keys(const std::vector<Rec>& v) {
    std::vector<int32_t> k;
    for (const Rec& r : v) k.push_back(r.key);
    std::sort(k.begin(), k.end());
    return k;
}

void run_sort(bool stable, std::vector<Rec>& v, Probe& probe, intptr_t opt2 = 0) {
    if (stable) {
        ASSERT_TRUE(sort::merge_sort(v.data(), v.size(), sizeof(Rec), intptr_t(&probe), opt2, compare_keys));
    } else {
        sort::qsort(v.data(), v.size(), sizeof(Rec), intptr_t(&probe), opt2, compare_keys);
    }
}

TEST(Sort, EveryPatternAndSize) {
    const size_t sizes[] = {0, 1, 2, 3, 7, 8, 9, 23, 24, 25, 48, 100, 511, 512, 1000, 5000, 30000};
    for (bool stable : {true, false}) {
        for (Pattern p : PATTERNS) {
            for (size_t n : sizes) {
                SCOPED_TRACE(std::string(stable ? "merge" : "quick") + " pattern " +
                             std::to_string(int(p)) + " n " + std::to_string(n));
                std::vector<Rec> v = make(p, n, unsigned(n) * 13 + unsigned(p));
                const std::vector<int32_t> want = sorted_keys(v);
                Probe probe;
                run_sort(stable, v, probe);
                std::vector<int32_t> got;
                for (const Rec& r : v) got.push_back(r.key);
                ASSERT_EQ(got, want);
                if (stable) {
                    for (size_t i = 1; i < n; i++) {
                        if (v[i - 1].key == v[i].key) {
                            ASSERT_LT(v[i - 1].seq, v[i].seq) << "at " << i;
                        }
                    }
                }
            }
        }
    }
}

TEST(Sort, OptionsReachTheComparator) {
    for (bool stable : {true, false}) {
        std::vector<Rec> v = make(Pattern::random, 300, 3);
        Probe probe;
        run_sort(stable, v, probe, 1);
        for (size_t i = 1; i < v.size(); i++) ASSERT_GE(v[i - 1].key, v[i].key);
    }
}

// 0 or 1 record: no comparison.  Ordered input: one pass of n - 1
// comparisons (run detection), reversed input included.
TEST(Sort, ComparisonsOnOrderedInput) {
    for (bool stable : {true, false}) {
        SCOPED_TRACE(stable ? "merge" : "quick");
        for (size_t n : {size_t(0), size_t(1)}) {
            std::vector<Rec> v = make(Pattern::random, n, 1);
            Probe probe;
            run_sort(stable, v, probe);
            EXPECT_EQ(probe.calls, 0);
        }
        for (Pattern p : {Pattern::sorted, Pattern::reversed}) {
            std::vector<Rec> v = make(p, 1000, 1);
            Probe probe;
            run_sort(stable, v, probe);
            EXPECT_EQ(probe.calls, 999);
            EXPECT_EQ(v.front().key, p == Pattern::sorted ? 0 : 1);
            EXPECT_TRUE(std::is_sorted(v.begin(), v.end(), [](Rec a, Rec b) { return a.key < b.key; }));
        }
    }
}

// Up to 7 records the quicksort is an insertion sort, which only ever
// compares neighbours; from 8 on it partitions around a pivot.
TEST(Sort, QuicksortSwitchesToInsertionAtSeven) {
    for (size_t n : {size_t(2), size_t(5), size_t(7), size_t(8)}) {
        SCOPED_TRACE(n);
        std::vector<Rec> v = {{5, 0}, {3, 1}, {8, 2}, {1, 3}, {9, 4}, {2, 5}, {7, 6}, {4, 7}};
        v.resize(n);
        Probe probe;
        probe.base = reinterpret_cast<const uint8_t*>(v.data());
        probe.count = n;
        probe.width = sizeof(Rec);
        sort::qsort(v.data(), n, sizeof(Rec), intptr_t(&probe), 0, compare_keys);
        EXPECT_EQ(probe.non_adjacent, n == 8);
        EXPECT_TRUE(std::is_sorted(v.begin(), v.end(), [](Rec a, Rec b) { return a.key < b.key; }));
    }
}

// Widths that are not a multiple of 4 are swapped byte by byte; a sort of
// 3-byte records keeps every byte of every record together.
TEST(Sort, OddWidthRecords) {
    uint8_t a[7] = {1, 2, 3, 4, 5, 6, 7}, b[7] = {9, 8, 7, 6, 5, 4, 3};
    sort::swap(a, b, 7, true);
    EXPECT_EQ(std::vector<uint8_t>(a, a + 7), (std::vector<uint8_t>{9, 8, 7, 6, 5, 4, 3}));
    EXPECT_EQ(std::vector<uint8_t>(b, b + 7), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}));
    uint32_t c[4] = {1, 2, 3, 4}, d[4] = {5, 6, 7, 8};
    sort::swap(c, d, 16, false);
    EXPECT_EQ(c[3], 8u);
    EXPECT_EQ(d[0], 1u);

    auto cmp3 = [](const void* x, const void* y, intptr_t, intptr_t) -> int32_t {
        return std::memcmp(x, y, 3);
    };
    std::mt19937 gen(9);
    for (bool stable : {true, false}) {
        std::vector<uint8_t> recs;
        std::vector<std::string> want;
        for (int i = 0; i < 700; i++) {
            const uint8_t r[3] = {uint8_t(gen() % 5), uint8_t(gen()), uint8_t(i)};
            recs.insert(recs.end(), r, r + 3);
            want.emplace_back(reinterpret_cast<const char*>(r), 3);
        }
        std::sort(want.begin(), want.end());
        if (stable) {
            ASSERT_TRUE(sort::merge_sort(recs.data(), 700, 3, 0, 0, cmp3));
        } else {
            sort::qsort(recs.data(), 700, 3, 0, 0, cmp3);
        }
        for (size_t i = 0; i < 700; i++)
            ASSERT_EQ(std::string(reinterpret_cast<const char*>(&recs[i * 3]), 3), want[i]) << i;
    }
}

// A comparator that throws part-way leaves every record in the array
// exactly once, and the merge buffer is given back.
TEST(Sort, ThrowingComparatorLeavesAPermutation) {
    for (bool stable : {true, false}) {
        for (Pattern p : {Pattern::random, Pattern::reversed, Pattern::sorted_tail, Pattern::few_keys}) {
            for (size_t n : {size_t(30), size_t(200), size_t(3000)}) {
                for (long at : {0L, 1L, 25L, 100L, 700L, 5000L, 20000L}) {
                    SCOPED_TRACE(std::string(stable ? "merge" : "quick") + " pattern " +
                                 std::to_string(int(p)) + " n " + std::to_string(n) + " throw at " +
                                 std::to_string(at));
                    std::vector<Rec> v = make(p, n, unsigned(at + long(n)));
                    const std::vector<Rec> before = v;
                    Probe probe;
                    probe.throw_at = at;
                    const size_t blocks = qor::heap::block_count();
                    bool thrown = false;
                    try {
                        run_sort(stable, v, probe);
                    } catch (const qor::Thrown& t) {
                        thrown = true;
                        EXPECT_EQ(t.code, qor::THROW_ERROR);
                    }
                    EXPECT_EQ(thrown, probe.calls > at);
                    EXPECT_EQ(qor::heap::block_count(), blocks);
                    auto by_seq = [](Rec a, Rec b) { return a.seq < b.seq; };
                    std::vector<Rec> after = v;
                    std::sort(after.begin(), after.end(), by_seq);
                    ASSERT_EQ(after.size(), before.size());
                    for (size_t i = 0; i < n; i++) {
                        ASSERT_EQ(after[i].seq, before[i].seq);
                        ASSERT_EQ(after[i].key, before[i].key);
                    }
                }
            }
        }
    }
}

// A comparator with no consistent order (answers at random) gets some
// order back, never a lost record or a stray access.
TEST(Sort, InconsistentComparator) {
    auto coin = [](const void*, const void*, intptr_t opt1, intptr_t) -> int32_t {
        auto* g = reinterpret_cast<std::mt19937*>(opt1);
        return int32_t((*g)() % 3) - 1;
    };
    std::mt19937 gen(4);
    for (bool stable : {true, false}) {
        for (size_t n : {size_t(8), size_t(40), size_t(600), size_t(5000)}) {
            std::vector<Rec> v = make(Pattern::random, n, 8);
            const std::vector<int32_t> keys = sorted_keys(v);
            if (stable) {
                ASSERT_TRUE(sort::merge_sort(v.data(), n, sizeof(Rec), intptr_t(&gen), 0, coin));
            } else {
                sort::qsort(v.data(), n, sizeof(Rec), intptr_t(&gen), 0, coin);
            }
            EXPECT_EQ(sorted_keys(v), keys);
        }
    }
}

// McIlroy's adversary decides the comparisons as they come so as to make a
// quicksort's pivots as bad as possible; the quicksort must stay within
// n log n comparisons anyway instead of going quadratic.
struct Adversary {
    std::vector<int32_t> val;
    int32_t gas, solid = 0, candidate = 0;
    long calls = 0;
};

int32_t adversary_compare(const void* a, const void* b, intptr_t opt1, intptr_t) {
    auto* adv = reinterpret_cast<Adversary*>(opt1);
    int32_t x, y;
    std::memcpy(&x, a, 4);
    std::memcpy(&y, b, 4);
    adv->calls++;
    if (adv->val[x] == adv->gas && adv->val[y] == adv->gas) adv->val[x == adv->candidate ? x : y] = adv->solid++;
    if (adv->val[x] == adv->gas) adv->candidate = x;
    else if (adv->val[y] == adv->gas) adv->candidate = y;
    return adv->val[x] < adv->val[y] ? -1 : adv->val[x] > adv->val[y] ? 1 : 0;
}

TEST(Sort, QuicksortResistsAdversary) {
    const int32_t n = 20000;
    Adversary adv;
    adv.gas = n;
    adv.val.assign(n, n);
    std::vector<int32_t> items(n);
    for (int32_t i = 0; i < n; i++) items[i] = i;
    // Straight to the partitioning (the adversary's answers would otherwise
    // look like presorted input).
    sort::quick(items.data(), 0, size_t(n), 4, intptr_t(&adv), 0, adversary_compare);
    EXPECT_LT(adv.calls, 10L * n * 15);   // 10 n log2 n; unchecked it takes ~130 n log2 n
    for (int32_t i = 1; i < n; i++) ASSERT_LE(adv.val[items[i - 1]], adv.val[items[i]]);
}

TEST(Sort, MergeBuffer) {
    // A buffer whose size does not fit 31 bits is refused before anything
    // is touched.
    Probe probe;
    Rec dummy{};
    EXPECT_EQ(sort::merge_buffer_size(0x10000000, 16), 0x80000000ull);
    EXPECT_FALSE(sort::merge_sort(&dummy, 0x10000000, 16, intptr_t(&probe), 0, compare_keys));
    EXPECT_EQ(probe.calls, 0);

    // A caller's buffer replaces the heap's.
    std::vector<Rec> v = make(Pattern::random, 1001, 2);
    std::vector<uint8_t> buffer(size_t(sort::merge_buffer_size(v.size(), sizeof(Rec))));
    const size_t blocks = qor::heap::block_count();
    ASSERT_TRUE(sort::merge_sort(v.data(), v.size(), sizeof(Rec), intptr_t(&probe), 0, compare_keys,
                                 buffer.data()));
    EXPECT_EQ(qor::heap::block_count(), blocks);
    EXPECT_TRUE(std::is_sorted(v.begin(), v.end(), [](Rec a, Rec b) { return a.key < b.key; }));
}

}  // namespace
