#include "memory_fixture.hpp"

#include "runtime/resources.hpp"

#include <cstdlib>
#include <string>
#include <vector>

using namespace qor;
using namespace qor::testing;

namespace {

class Collector : public MemoryFixture {};

// Garbage made in a frame of its own, so that no live stack slot of the test
// holds it.
[[gnu::noinline]] void make_garbage(uint32_t count, uint32_t bytes) {
    for (uint32_t i = 0; i < count; i++) memory::alloc_bytes(bytes);
}

TEST_F(Collector, UnreachableBuffersAreReclaimed) {
    gc::NoCollect quiet;  // the garbage must still be there when we look
    uint32_t before = nodes_in_use();
    make_garbage(2000, 100);
    EXPECT_EQ(nodes_in_use(), before + 2000);
    collect_precise();
    EXPECT_EQ(nodes_in_use(), before);
    SeriesFrame* f = memory::record->series_first;
    EXPECT_LT(uint32_t(f->heap - f->payload()), 1000u);
}

TEST_F(Collector, RootsOfEveryKindKeepTheirValues) {
    Cell global = new_string("global");
    gc::register_global_cell(&global);
    Cell global_string = new_string("global node");
    Node global_node = cell_node(&global_string);
    global_string = Cell{TYPE_NONE, 0, 0, 0};
    gc::register_global_node(&global_node);
    Cell guarded[2] = {new_string("guard 0"), new_string("guard 1")};
    gc::CellRoot keep(guarded, 2);
    static Cell by_callback;
    by_callback = new_string("callback");
    gc::push_root([] { gc::mark_cells(&by_callback, &by_callback + 1); });

    for (int round = 0; round < 3; round++) {
        make_garbage(500, 64);  // garbage in front, so the survivors move
        collect_clean();
    }
    EXPECT_EQ(text_of(global), "global");
    EXPECT_EQ(text_of(block_cell(global_node, TYPE_STRING)), "global node");
    EXPECT_EQ(text_of(guarded[0]), "guard 0");
    EXPECT_EQ(text_of(guarded[1]), "guard 1");
    EXPECT_EQ(text_of(by_callback), "callback");
    gc::unregister_global_cell(&global);
    gc::unregister_global_node(&global_node);
}

TEST_F(Collector, CompactionMovesBuffersAndRewritesTheirNodes) {
    gc::NoCollect quiet;
    make_garbage(100, 200);
    Cell blk = new_block(4);
    gc::CellRoot keep(&blk);
    append(&blk, integer_cell(11));
    append(&blk, new_string("inner"));
    // An offset, not an address: a stack word into the buffer would pin it.
    uint32_t before = offset_in_frame(blk);
    collect_precise();
    EXPECT_LT(offset_in_frame(blk), before);
    SeriesBuffer* s = buffer_of(cell_node(&blk));
    EXPECT_EQ(s->node, cell_node(&blk));
    EXPECT_EQ(s->head, s->data());
    ASSERT_EQ(s->length(), 2u);
    EXPECT_EQ(cells_head(s)[0].data2, 11u);
    EXPECT_EQ(text_of(cells_head(s)[1]), "inner");
    EXPECT_FALSE(s->flags & (SERIES_MARK | SERIES_PINNED));
}

TEST_F(Collector, ANodeHeldInALocalVariableSurvives) {
    gc::NoCollect quiet;
    Node local = memory::alloc_bytes(8);
    std::memcpy(buffer_of(local)->head, "localvar", 8);
    buffer_of(local)->tail += 8;
    make_garbage(300, 50);
    collect_clean();
    ASSERT_TRUE(node_alive(local));
    EXPECT_EQ(text_of(block_cell(local, TYPE_STRING)), "localvar");
}

// Answers a pointer into the data of a buffer that nothing else references,
// behind some garbage.
[[gnu::noinline]] uint8_t* interior_pointer() {
    make_garbage(200, 40);
    Node n = memory::alloc_bytes(32);
    std::memcpy(buffer_of(n)->head, "pinned data here", 16);
    buffer_of(n)->tail += 16;
    return buffer_of(n)->head + 4;
}

TEST_F(Collector, AStackWordIntoABufferPinsItAndKeepsItAlive) {
    gc::NoCollect quiet;
    uint8_t* volatile p = interior_pointer();
    uint32_t garbage = nodes_in_use();
    collect_clean();
    EXPECT_LT(nodes_in_use(), garbage - 150);  // the garbage before it went
    // Still where it was: its header, in front of `p`, is the node's buffer.
    SeriesBuffer* s = reinterpret_cast<SeriesBuffer*>(p - 4) - 1;
    ASSERT_TRUE(s->flags & SERIES_LIVE);
    EXPECT_EQ(buffer_of(s->node), s);
    EXPECT_EQ(std::memcmp(p, "ed data here", 12), 0);
    EXPECT_FALSE(s->flags & (SERIES_MARK | SERIES_PINNED));
}

[[gnu::noinline]] void grow(Cell* str, uint32_t capacity) {
    memory::expand_series(buffer_of(cell_node(str)), capacity);
}

TEST_F(Collector, AnAbandonedBufferIsReclaimedWithoutFreeingItsNode) {
    gc::NoCollect quiet;
    Cell str = new_string("grow me");
    gc::CellRoot keep(&str);
    grow(&str, 256);
    uint32_t nodes = nodes_in_use();
    collect_precise();
    EXPECT_EQ(nodes_in_use(), nodes);
    EXPECT_EQ(text_of(str), "grow me");
    SeriesFrame* f = memory::record->series_first;
    // Only the grown buffer is left in the frame.
    EXPECT_EQ(uint32_t(f->heap - f->payload()), 256u + SERIES_OVERHEAD);
}

TEST_F(Collector, WithCollectionDisabledAllocationMakesNewFrames) {
    gc::collection_enabled = false;
    uint32_t cycles = gc::counters.series_cycles;
    gc::collect_if_allowed();
    EXPECT_EQ(gc::counters.series_cycles, cycles);
    make_garbage(3, 1500000);
    EXPECT_EQ(gc::counters.series_cycles, cycles);
    EXPECT_EQ(count_series_frames(), 4u);
}

TEST_F(Collector, EmptyFramesAreReleasedButTheLastStays) {
    gc::NoCollect quiet;
    make_garbage(6, 900000);
    ASSERT_GE(count_series_frames(), 4u);
    collect_precise();
    EXPECT_EQ(count_series_frames(), 1u);
    SeriesFrame* f = memory::record->series_first;
    EXPECT_EQ(f, memory::record->series_last);
    EXPECT_EQ(memory::record->series_active, f);
}

TEST_F(Collector, LiveRunsMoveIntoThePreviousFramesTail) {
    gc::NoCollect quiet;
    Cell early = new_string("early");
    gc::CellRoot keep_early(&early);
    make_garbage(1, 1000000);  // the rest of the first frame
    make_garbage(1, 1500000);  // a second frame
    Cell late = new_string("late");
    gc::CellRoot keep_late(&late);
    ASSERT_EQ(count_series_frames(), 2u);
    ASSERT_NE(frame_index_of(early), frame_index_of(late));
    collect_precise();
    // Frames are compacted in address order: the live buffer of the higher
    // frame moves into the free tail of the lower one.
    EXPECT_EQ(frame_index_of(early), 0);
    EXPECT_EQ(frame_index_of(late), 0);
    EXPECT_EQ(text_of(early), "early");
    EXPECT_EQ(text_of(late), "late");
    // The higher frame is the last one: it stays, empty.
    ASSERT_EQ(count_series_frames(), 2u);
    EXPECT_EQ(memory::record->series_last->heap, memory::record->series_last->payload());
}

// A run moved between frames more than 2 GiB apart keeps its heads and
// tails: the distance once went through a signed 32-bit number and
// overflowed.  Relocation reads only the new place, so the old addresses
// here are made up, far away in whichever direction the address space has.
TEST_F(Collector, RunsMovedFarAwayKeepTheirHeadsAndTails) {
    constexpr uint32_t CAPACITY[2] = {32, 64};
    alignas(16) uint8_t area[CAPACITY[0] + CAPACITY[1] + 2 * SERIES_OVERHEAD];
    const uintptr_t to = reinterpret_cast<uintptr_t>(area);
    const uintptr_t far = 0x90000000u;
    for (uintptr_t from : {to < far ? to + far : to - far, to + 0x1000, to - 0x1000}) {
        uint32_t nodes[2] = {0, 0};
        uint32_t at = 0;
        for (uint32_t i = 0; i < 2; i++) {
            SeriesBuffer* s = reinterpret_cast<SeriesBuffer*>(area + at);
            const uintptr_t old_data = from + at + sizeof(SeriesBuffer);
            s->flags = 1;
            s->node = &nodes[i];
            s->capacity = CAPACITY[i];
            s->head = reinterpret_cast<uint8_t*>(old_data + 16 * i);
            s->tail = reinterpret_cast<uint8_t*>(old_data + CAPACITY[i]);
            at += CAPACITY[i] + SERIES_OVERHEAD;
        }
        gc::detail::relocate_run(area, reinterpret_cast<const uint8_t*>(from), at);
        at = 0;
        for (uint32_t i = 0; i < 2; i++) {
            SeriesBuffer* s = reinterpret_cast<SeriesBuffer*>(area + at);
            EXPECT_EQ(nodes[i], reinterpret_cast<uint32_t>(s)) << std::hex << from;
            EXPECT_EQ(s->head, s->data() + 16 * i) << std::hex << from;
            EXPECT_EQ(s->tail, s->data_end()) << std::hex << from;
            at += CAPACITY[i] + SERIES_OVERHEAD;
        }
    }
}

[[gnu::noinline]] uint32_t depth_of(const Cell* chain) {
    uint32_t n = 0;
    for (Cell c = *chain; buffer_of(cell_node(&c))->length(); c = *cells_head(buffer_of(cell_node(&c)))) n++;
    return n;
}

[[gnu::noinline]] void nest(Cell* chain, uint32_t depth) {
    for (uint32_t i = 0; i < depth; i++) {
        Cell outer = new_block(1);
        *block_buffer::alloc_tail(&outer) = *chain;
        *chain = outer;
    }
}

TEST_F(Collector, ABlockNestedAMillionDeepIsMarkedWithoutRecursion) {
    gc::set_stress_interval(0);  // a million allocations
    Cell chain = new_block(0);
    gc::CellRoot keep(&chain);
    const uint32_t depth = 1000000;
    run_deep([&] { nest(&chain, depth); });
    uint32_t before = nodes_in_use();
    collect_clean();
    EXPECT_EQ(nodes_in_use(), before);
    uint32_t found = 0;
    run_deep([&] { found = depth_of(&chain); });
    EXPECT_EQ(found, depth);
    chain = Cell{TYPE_NONE, 0, 0, 0};
    collect_precise();
    EXPECT_LT(nodes_in_use(), 100u);
}

// A cell of `type` whose node words hold fresh buffers; answers them.
struct Typed {
    uint32_t type;
    uint32_t header_extra;
    bool w1, w2, w3;       // which words hold nodes
    bool cell_buffers;     // those buffers hold cells (blocks)
};

TEST_F(Collector, EachTypeMarksTheNodesItsCellHolds) {
    const Typed table[] = {
        {TYPE_BLOCK, 0, false, true, false, true},
        {TYPE_GET_PATH, 0, false, true, false, true},
        {TYPE_STRING, 0, false, true, true, false},
        {TYPE_TAG, 0, false, true, false, false},
        {TYPE_SYMBOL, 0, false, true, true, false},
        {TYPE_NATIVE, 0, false, true, true, true},
        {TYPE_OP, uint32_t(TYPE_FUNCTION) << 16, true, true, true, true},
        {TYPE_FUNCTION, 0, true, true, true, true},
        {TYPE_ROUTINE, 0, true, true, true, true},
        {TYPE_BITSET, 0, false, true, false, false},
        {TYPE_VECTOR, 0, false, true, false, false},
        {TYPE_BINARY, 0, false, true, false, false},
        {TYPE_OBJECT, 0, true, false, true, true},
        {TYPE_ERROR, 0, true, false, false, true},
        {TYPE_WORD, 0, true, false, false, true},
        {TYPE_REFINEMENT, 0, true, false, false, true},
        {TYPE_EVENT, 0x1000, false, true, false, true},
    };
    gc::NoCollect quiet;
    Cell holder = new_block(32);
    gc::CellRoot keep(&holder);
    std::vector<Node> expected;
    for (const Typed& t : table) {
        Cell c{t.type | t.header_extra, 0, 0, 0};
        uint32_t* words[3] = {&c.data1, &c.data2, &c.data3};
        bool holds[3] = {t.w1, t.w2, t.w3};
        for (int w = 0; w < 3; w++) {
            if (!holds[w]) continue;
            Node n = t.cell_buffers ? memory::alloc_cells(2) : memory::alloc_bytes(8);
            if (t.cell_buffers) {
                // A nested string proves the cells were marked too.
                Cell inner = new_string("x");
                *series_buffer::alloc_tail_cell(buffer_of(n)) = inner;
                expected.push_back(cell_node(&inner));
            }
            *words[w] = reinterpret_cast<uint32_t>(n);
            expected.push_back(n);
        }
        append(&holder, c);
    }
    make_garbage(100, 30);
    collect_clean();
    collect_clean();
    for (Node n : expected) EXPECT_TRUE(node_alive(n));
}

// Stores a fresh node's address in payload words that do not hold nodes for
// the cell's type, and nowhere else.
[[gnu::noinline]] void store_stray(Cell* holder, uint32_t type, uint32_t extra) {
    uint32_t n = reinterpret_cast<uint32_t>(memory::alloc_bytes(8));
    append(holder, Cell{type | extra, n, n, n});
}

bool slot_is_free(uint32_t address) {
    for (NodeFrame* f = memory::record->node_first; f; f = f->next) {
        uint32_t lo = uint32_t(f->slots()), hi = uint32_t(f->slots_end());
        if (address >= lo && address < hi) return memory::is_free_slot_value(f, *reinterpret_cast<uint32_t*>(address));
    }
    return true;  // its frame is gone
}

TEST_F(Collector, PayloadsThatAreNotNodesAreNotFollowed) {
    gc::NoCollect quiet;
    Cell holder = new_block(8);
    gc::CellRoot keep(&holder);
    store_stray(&holder, TYPE_INTEGER, 0);
    store_stray(&holder, TYPE_PAIR, 0);
    store_stray(&holder, TYPE_TYPESET, 0);
    store_stray(&holder, TYPE_HANDLE, 0);  // word 3 is read as a record index, not a node
    collect_precise();
    SeriesBuffer* s = buffer_of(cell_node(&holder));
    for (Cell* c = cells_head(s); c < cells_tail(s); c++) EXPECT_TRUE(slot_is_free(c->data2)) << type_of(c);
}

// A minimal kind-0 hash-table record over a keys block: the arrays must
// survive however the record was reached first.
Node make_table(Cell* keys) {
    Node t = memory::alloc_bytes(44);
    SeriesBuffer* s = buffer_of(t);
    s->tail = s->head + 44;
    uint32_t* w = reinterpret_cast<uint32_t*>(s->head);
    std::memset(w, 0, 44);
    w[1] = reinterpret_cast<uint32_t>(memory::alloc_bytes(16));  // index array
    Node chains = memory::alloc_bytes(16);
    w = reinterpret_cast<uint32_t*>(buffer_of(t)->head);
    w[2] = reinterpret_cast<uint32_t>(chains);
    Node chain = memory::alloc_bytes(16);
    SeriesBuffer* cl = buffer_of(chains);
    std::memcpy(cl->head, &chain, 4);
    cl->tail += 4;
    w = reinterpret_cast<uint32_t*>(buffer_of(t)->head);
    w[3] = reinterpret_cast<uint32_t>(memory::alloc_bytes(16));  // flags
    w = reinterpret_cast<uint32_t*>(buffer_of(t)->head);
    w[4] = reinterpret_cast<uint32_t>(memory::alloc_bytes(16));  // buckets
    w = reinterpret_cast<uint32_t*>(buffer_of(t)->head);
    w[5] = reinterpret_cast<uint32_t>(cell_node(keys));
    w[9] = 0;
    return t;
}

TEST_F(Collector, HashTablesKeepTheirArrays) {
    gc::NoCollect quiet;
    Cell keys = new_block(2);
    gc::CellRoot keep_keys(&keys);
    append(&keys, new_string("key"));
    for (int reached_first_as_plain_node = 0; reached_first_as_plain_node < 2; reached_first_as_plain_node++) {
        Node table = make_table(&keys);
        Cell hash{TYPE_HASH, 0, reinterpret_cast<uint32_t>(cell_node(&keys)), reinterpret_cast<uint32_t>(table)};
        gc::CellRoot keep_hash(&hash);
        Node plain = reached_first_as_plain_node ? table : nullptr;
        gc::NodeRoot keep_plain(&plain);
        std::vector<Node> parts;
        uint32_t* w = reinterpret_cast<uint32_t*>(buffer_of(table)->head);
        for (int i = 1; i <= 4; i++) parts.push_back(reinterpret_cast<Node>(w[i]));
        parts.push_back(*reinterpret_cast<Node*>(buffer_of(reinterpret_cast<Node>(w[2]))->head));
        make_garbage(50, 30);
        collect_clean();
        for (Node n : parts) EXPECT_TRUE(node_alive(n)) << reached_first_as_plain_node;
        EXPECT_EQ(text_of(*cells_head(buffer_of(cell_node(&keys)))), "key");
    }
}

TEST_F(Collector, RootCallbacksCanBeRemoved) {
    static int calls = 0;
    calls = 0;
    gc::RootCallback cb = [] { calls++; };
    gc::push_root(cb);
    gc::collect();
    EXPECT_EQ(calls, 1);
    gc::remove_root(cb);
    gc::collect();
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(gc::is_active());
}

// Released handles, in order.
std::vector<uint32_t> released;
void release_test_handle(uint32_t h) { released.push_back(h); }

TEST_F(Collector, HandleCellsKeepTheirResourceRecords) {
    resource_table::init();
    int32_t type = resource_types::register_type("test", release_test_handle);
    released.clear();
    int32_t kept = resource_table::alloc_record(0xA1, uint32_t(type));
    int32_t dropped = resource_table::alloc_record(0xB2, uint32_t(type));
    Cell handle{TYPE_HANDLE, 0, 0xA1, uint32_t(kept)};
    gc::CellRoot keep(&handle);
    Cell plain{TYPE_HANDLE, 0, 7, 0xFFFFFFFFu};  // -1: no record
    gc::CellRoot keep_plain(&plain);
    gc::collect();
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0], 0xB2u);
    EXPECT_EQ(resource_table::entry(dropped)->type, uint32_t(resource_table::ENTRY_FREE));
    EXPECT_EQ(resource_table::entry(kept)->type, uint32_t(type));  // mark cleared
    gc::collect();
    EXPECT_EQ(released.size(), 1u);  // released exactly once
    EXPECT_EQ(resource_table::alloc_record(0xC3, uint32_t(type)), dropped);  // index reused
    resource_table::release();
}

TEST_F(Collector, ImageCellsGoToTheImageHook) {
    static std::vector<uint32_t> seen;
    seen.clear();
    gc::set_image_mark_hook([](Cell* c) { seen.push_back(c->data2); });
    Cell images[2] = {Cell{TYPE_IMAGE, 0, 0x1234, 0}, Cell{TYPE_IMAGE, 0, 0, 0}};
    gc::CellRoot keep(images, 2);
    gc::collect();
    gc::set_image_mark_hook(nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], 0x1234u);
}

[[gnu::noinline]] void fill_strings(Cell* holder, uint32_t count) {
    for (uint32_t i = 0; i < count; i++) append(holder, new_string("s"));
}

// Drops strings so that node frame 1 keeps all but 20, frame 2 all but 1000
// and frame 3 only every tenth.
[[gnu::noinline]] void thin_out(Node holder) {
    NodeFrame* frames[3] = {memory::record->node_first, memory::record->node_first->next, memory::record->node_last};
    uint32_t seen[3] = {0, 0, 0};
    SeriesBuffer* s = buffer_of(holder);
    for (Cell* c = cells_head(s); c < cells_tail(s); c++) {
        Node n = cell_node(c);
        for (int f = 0; f < 3; f++) {
            if (n < frames[f]->slots() || n >= frames[f]->slots_end()) continue;
            uint32_t k = seen[f]++;
            bool drop = f == 0 ? k < 20 : f == 1 ? k < 1000 : (k % 10) != 0;
            if (drop) *c = Cell{TYPE_NONE, 0, 0, 0};
        }
    }
}

TEST_F(Collector, SparseStableNodeFramesAreEvacuated) {
    gc::set_stress_interval(0);
    // The holder never moves and is a root, so its cells are rewritten in
    // place when their nodes move.
    Node holder_node = memory::alloc_fixed_series(30000, 16, 0);
    gc::register_global_node(&holder_node);
    Cell holder = block_cell(holder_node);
    fill_strings(&holder, 28000);  // node frames 1, 2, 3 (3 partly)
    ASSERT_EQ(count_node_frames(), 3u);
    thin_out(holder_node);
    // One collection frees the dropped nodes; six stable ones later the
    // sparse frame is evacuated into the free slots of the other two.
    uint32_t nodes_cycles = gc::counters.nodes_cycles;
    for (int i = 0; i < 12 && count_node_frames() == 3; i++) collect_precise();
    EXPECT_EQ(count_node_frames(), 2u);
    EXPECT_EQ(gc::counters.nodes_cycles, nodes_cycles + 1);
    // Every surviving string is reached through a node of the remaining frames.
    uint32_t strings = 0;
    SeriesBuffer* s = buffer_of(holder_node);
    for (Cell* c = cells_head(s); c < cells_tail(s); c++) {
        if (type_of(c) != TYPE_STRING) continue;
        strings++;
        Node n = cell_node(c);
        ASSERT_TRUE(node_alive(n));
        EXPECT_EQ(text_of(*c), "s");
        bool in_remaining = false;
        for (NodeFrame* f = memory::record->node_first; f; f = f->next)
            in_remaining |= n >= f->slots() && n < f->slots_end();
        EXPECT_TRUE(in_remaining);
    }
    EXPECT_EQ(strings, 28000u - 20 - 1000 - 7200);
    gc::unregister_global_node(&holder_node);
}

void set_stress_env(const std::string& value) {
#ifdef _WIN32
    _putenv(("QOR_GC_STRESS=" + value).c_str());  // an empty value removes it
#else
    if (value.empty()) unsetenv("QOR_GC_STRESS");
    else setenv("QOR_GC_STRESS", value.c_str(), 1);
#endif
}

TEST_F(Collector, StressModeIsArmedFromTheEnvironment) {
    const char* saved = std::getenv("QOR_GC_STRESS");
    std::string keep_value = saved ? saved : "";
    set_stress_env("3");
    gc::finish_startup();
    EXPECT_EQ(gc::stress_interval(), 3u);
    uint32_t cycles = gc::counters.series_cycles;
    make_garbage(9, 8);
    EXPECT_EQ(gc::counters.series_cycles, cycles + 3);
    set_stress_env(keep_value);
}

TEST_F(Collector, ValuesSurviveACollectionAtEveryAllocation) {
    gc::set_stress_interval(1);
    Cell outer = new_block(1);
    gc::CellRoot keep(&outer);
    for (int i = 0; i < 60; i++) {
        Cell inner = new_block(1);
        gc::CellRoot keep_inner(&inner);
        append(&inner, integer_cell(i));
        append(&inner, new_string(std::to_string(i).c_str()));
        append(&outer, inner);
    }
    SeriesBuffer* s = buffer_of(cell_node(&outer));
    ASSERT_EQ(s->length(), 60u);
    for (int i = 0; i < 60; i++) {
        SeriesBuffer* in = buffer_of(cell_node(&cells_head(s)[i]));
        ASSERT_EQ(in->length(), 2u);
        EXPECT_EQ(cells_head(in)[0].data2, uint32_t(i));
        EXPECT_EQ(text_of(cells_head(in)[1]), std::to_string(i));
    }
}

}  // namespace
