#include "memory_fixture.hpp"

#include "runtime/heap_verifier.hpp"

#include <cstdio>
#include <string>

using namespace qor;
using namespace qor::testing;

namespace {

class HeapVerifier : public MemoryFixture {};
using HeapVerifierDeathTest = HeapVerifier;

std::string address(const void* p) {
    char text[24];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

std::string report() {
    const char* r = heap_verifier::check();
    return r ? r : "";
}

// Two blocks; the first one's buffer names the second one's node as its own.
[[gnu::noinline]] void corrupt_back_pointer(Cell* a, Cell* b) {
    *a = new_block(2);
    *b = new_block(2);
    append(a, integer_cell(1));
    buffer_of(cell_node(a))->node = cell_node(b);
}

TEST_F(HeapVerifier, ReportsANodeWhoseBufferNamesAnotherNode) {
    gc::NoCollect quiet;
    Cell blocks[2] = {};
    gc::CellRoot keep(blocks, 2);
    corrupt_back_pointer(&blocks[0], &blocks[1]);
    Node node = cell_node(&blocks[0]);
    std::string r = report();
    EXPECT_NE(r.find("node " + address(node) + " names buffer " + address(buffer_of(node)) +
                     ", whose back-pointer is " + address(cell_node(&blocks[1]))),
              std::string::npos)
        << r;
    buffer_of(node)->node = node;
    EXPECT_EQ(report(), "");
}

TEST_F(HeapVerifierDeathTest, ACollectionAbortsWithTheReport) {
#ifndef QOR_HEAP_VERIFY
    GTEST_SKIP() << "collections are checked in the debug and sanitizer builds only";
#endif
    EXPECT_DEATH(
        {
            heap_verifier::set_interval(1);
            Cell blocks[2] = {};
            gc::CellRoot keep(blocks, 2);
            corrupt_back_pointer(&blocks[0], &blocks[1]);
            gc::collect();
        },
        "heap check: .*back-pointer");
}

// A block holding one integer, made last so that its buffer lies at the end
// of the frame, where nothing slides over it once it is dead.
[[gnu::noinline]] void make_doomed(Cell* block, Cell** first_cell) {
    *block = new_block(1);
    append(block, integer_cell(7));
    *first_cell = cells_head(buffer_of(cell_node(block)));
}

// What a stale copy of a dead value, or a stale pointer into a dead buffer,
// brings back into a live block once the collector has reclaimed it.
TEST_F(HeapVerifier, StaleReferencesReadPoisonAndAreReported) {
    gc::NoCollect quiet;
    Cell holder = new_block(4);
    gc::CellRoot keep(&holder);
    Cell doomed;
    Cell* stale_cell;
    make_doomed(&doomed, &stale_cell);
    Node dead_node = cell_node(&doomed);
    EXPECT_EQ(report(), "");
    collect_precise();  // nothing but the holder is a root

    // The dead node is back on the free list.
    append(&holder, doomed);
    std::string r = report();
    EXPECT_NE(r.find("cell 0 of buffer " + address(buffer_of(cell_node(&holder)))), std::string::npos) << r;
    char node_text[16];
    std::snprintf(node_text, sizeof node_text, "%#x", unsigned(reinterpret_cast<uint32_t>(dead_node)));
    EXPECT_NE(r.find(std::string("node ") + node_text + ", which is a free slot"), std::string::npos) << r;

    // The dead buffer's storage holds the poison.
    if (!HEAP_POISONING) GTEST_SKIP() << "vacated storage is poisoned in the debug and sanitizer builds only";
    EXPECT_EQ(stale_cell->header, POISON_WORD);
    EXPECT_NE(*dead_node & 3u, 0u) << "a stale node reads as an unaligned address";
    *cells_head(buffer_of(cell_node(&holder))) = *stale_cell;
    r = report();
    EXPECT_NE(r.find("impossible type id 219"), std::string::npos) << r;
    *cells_head(buffer_of(cell_node(&holder))) = integer_cell(0);
    EXPECT_EQ(report(), "");
}

}  // namespace
