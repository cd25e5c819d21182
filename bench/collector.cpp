// The memory manager and the collector: allocation of small buffers, a
// full collection over a mix of live and dead buffers (marking and
// compaction), and the marking of a deeply nested block.  Times are the best
// of three runs.
//
//   bench_collector [buffers]      (default 1000000)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "harness.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"

namespace {

using namespace qor;
using bench::best_seconds;

void report(const char* what, double seconds, size_t n) {
    std::printf("%-44s %9.2f ms %9.1f ns/item\n", what, seconds * 1e3, seconds * 1e9 / double(n));
}

Cell holder{TYPE_NONE, 0, 0, 0};  // a registered root

void fresh() {
    memory::init();
    gc::register_global_cell(&holder);
    gc::collection_enabled = false;
    holder = Cell{TYPE_NONE, 0, 0, 0};
}

// n strings of 8 bytes; every `keep`-th one is kept in the holder block.
void allocate(uint32_t n, uint32_t keep) {
    holder = Cell{TYPE_BLOCK, 0, 0, 0};
    set_cell_node(&holder, memory::alloc_cells(n / keep + 1));
    for (uint32_t i = 0; i < n; i++) {
        Node s = memory::alloc_bytes(8);
        if (i % keep == 0) {
            Cell* c = block_buffer::alloc_tail(&holder);
            *c = Cell{TYPE_STRING, 0, 0, 0};
            set_cell_node(c, s);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t n = argc > 1 ? uint32_t(std::strtoul(argv[1], nullptr, 10)) : 1000000;

    double t = best_seconds(fresh, [&] { allocate(n, 1); });
    report("allocate 8-byte strings, all kept", t, n);
    std::printf("%-44s %9.2f M series/s\n", "allocation rate", double(n) / t / 1e6);

    t = best_seconds([&] { fresh(); allocate(n, 10); }, [] { gc::collect(); });
    report("collect: 10% live, compacted", t, n);

    t = best_seconds([&] { fresh(); allocate(n, 1); }, [] { gc::collect(); });
    report("collect: all live, nothing moves", t, n);
    {   // live data: every string buffer and the holder block, headers included
        double live_mb = (double(n) * (16 + SERIES_OVERHEAD) + double(n + 1) * 16) / (1024.0 * 1024.0);
        std::printf("%-44s %9.2f ms per MB live (%.1f MB)\n", "collection cost", t * 1e3 / live_mb, live_mb);
    }

    t = best_seconds(
        [&] {
            fresh();
            holder = Cell{TYPE_BLOCK, 0, 0, 0};
            set_cell_node(&holder, memory::alloc_cells(0));
            for (uint32_t i = 0; i < n; i++) {
                Cell inner = holder;
                set_cell_node(&holder, memory::alloc_cells(1));
                *block_buffer::alloc_tail(&holder) = inner;
            }
        },
        [] { gc::collect(); });
    report("collect: one block nested n deep", t, n);
    return 0;
}
