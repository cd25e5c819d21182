// Block actions on a million cells: append, insert, find, sort.  Times are
// the best of three runs; std::sort of plain ints is printed beside the
// block sorts as a yardstick.
//
//   bench_blocks [cells]      (default 1000000)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "harness.hpp"
#include "datatypes/block.hpp"
#include "datatypes/block_actions.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/stack.hpp"
#include "runtime/collector.hpp"
#include "datatypes/hash_table.hpp"
#include "runtime/memory.hpp"

namespace {

using namespace qor;
using bench::best_seconds;

Cell work = {TYPE_NONE, 0, 0, 0};    // the block under test (a collector root)
Cell other = {TYPE_NONE, 0, 0, 0};

void fill(Cell* b, const std::vector<int32_t>& values) {
    *b = block::make(int32_t(values.size()));
    for (int32_t v : values) {
        Cell c = integer::make(v);
        block::append_copy(b, &c);
    }
}

void report(const char* what, double seconds, size_t n) {
    std::printf("%-40s %9.2f ms %11.1f ns/item\n", what, seconds * 1e3, seconds * 1e9 / double(n));
}

}  // namespace

int main(int argc, char** argv) {
    const size_t n = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 1000000;
    bench::start_runtime();
    gc::register_global_cell(&work);
    gc::register_global_cell(&other);
    stack::seam_start_call();

    std::mt19937 gen(1965);
    std::vector<int32_t> randoms(n), ordered(n);
    for (size_t i = 0; i < n; i++) {
        randoms[i] = int32_t(gen() >> 1);
        ordered[i] = int32_t(i);
    }
    std::printf("%zu cells\n", n);

    double t = best_seconds([] { work = block::make(1); }, [&] {
        for (size_t i = 0; i < n; i++) {
            Cell v = integer::make(int32_t(i));
            block_insert(&work, &v, -1, false, 1, true);
        }
    });
    report("append one value at a time", t, n);

    t = best_seconds([&] { fill(&other, ordered); work = block::make(1); }, [&] {
        Cell w = work;
        block_insert(&w, &other, -1, false, 1, true);
    });
    report("append a block of all cells", t, n);

    const size_t head_inserts = 1000;
    t = best_seconds([&] { fill(&work, ordered); }, [&] {
        for (size_t i = 0; i < head_inserts; i++) {
            Cell v = integer::make(-1);
            Cell w = work;
            block_insert(&w, &v, -1, false, 1, false);
        }
    });
    report("insert at the head, 1000 times", t, head_inserts);

    t = best_seconds([&] { fill(&work, ordered); fill(&other, ordered); }, [&] {
        Cell w = work;
        w.data1 = uint32_t(n / 2);
        block_insert(&w, &other, -1, false, 1, false);
    });
    report("insert a block in the middle", t, n);

    const size_t finds = 50;
    fill(&work, ordered);
    t = best_seconds([] {}, [&] {
        for (size_t i = 0; i < finds; i++) {
            Cell s = work;
            Cell v = integer::make(int32_t(n - 1 - i));
            block_find(&s, &v, nullptr, false, false, false, false, nullptr, nullptr, false, false, false, false);
            if (s.data1 != n - 1 - i) std::abort();
        }
    });
    report("find near the tail, 50 times (per cell)", t, finds * n);

    // The same finds through a hash! index.
    work.data3 = reinterpret_cast<uint32_t>(hashtable::make(int32_t(n), &work, hashtable::KIND_HASH));
    work.header = TYPE_HASH;
    const size_t hashed_finds = 100000;
    t = best_seconds([] {}, [&] {
        for (size_t i = 0; i < hashed_finds; i++) {
            Cell s = work;
            Cell v = integer::make(int32_t((i * 7919) % n));
            block_find(&s, &v, nullptr, false, false, false, false, nullptr, nullptr, false, false, false, false);
        }
    });
    report("find in a hash!, 100000 times", t, hashed_finds);

    t = best_seconds([&] { fill(&work, randoms); }, [&] {
        Cell s = work;
        block_sort(&s, false, nullptr, nullptr, nullptr, false, false, false);
    });
    report("sort random integers", t, n);

    t = best_seconds([&] { fill(&work, randoms); }, [&] {
        Cell s = work;
        block_sort(&s, false, nullptr, nullptr, nullptr, false, false, true);
    });
    report("sort/stable random integers", t, n);

    t = best_seconds([&] { fill(&work, ordered); }, [&] {
        Cell s = work;
        block_sort(&s, false, nullptr, nullptr, nullptr, false, true, false);
    });
    report("sort/reverse ordered integers", t, n);

    t = best_seconds([&] { fill(&work, randoms); }, [&] {
        Cell s = work;
        Cell skip = integer::make(2);
        block_sort(&s, false, &skip, nullptr, nullptr, false, false, false);
    });
    report("sort/skip 2 random integers", t, n);

    std::vector<int32_t> copy;
    t = best_seconds([&] { copy = randoms; }, [&] { std::sort(copy.begin(), copy.end()); });
    report("std::sort of int32 (yardstick)", t, n);
    return 0;
}
