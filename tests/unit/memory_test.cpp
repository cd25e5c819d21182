#include "memory_fixture.hpp"

#include "runtime/heap.hpp"
#include "runtime/throw.hpp"

#include <vector>

using namespace qor;
using namespace qor::testing;

namespace {

class Memory : public MemoryFixture {};

SeriesFrame* frame_of(SeriesBuffer* s) {
    for (SeriesFrame* f = memory::record->series_first; f; f = f->next)
        if (reinterpret_cast<uint8_t*>(s) >= f->payload() && reinterpret_cast<uint8_t*>(s) < f->end) return f;
    return nullptr;
}

bool in_big_list(SeriesBuffer* s) {
    for (BigBlock* b = memory::record->big_first; b; b = b->next)
        if (b->buffer() == s) return true;
    return false;
}

TEST_F(Memory, AllocationRoundsCapacityAndStartsEmpty) {
    struct Case { uint32_t n, unit, capacity; } cases[] = {
        {0, 16, 0}, {1, 1, 16}, {16, 1, 16}, {17, 1, 32}, {3, 16, 48}, {5, 4, 32}, {3, 2, 16},
    };
    for (const Case& c : cases) {
        Node node = memory::alloc_series(c.n, c.unit, 0);
        SeriesBuffer* s = buffer_of(node);
        EXPECT_EQ(s->capacity, c.capacity) << c.n << " x " << c.unit;
        EXPECT_EQ(s->unit(), c.unit);
        EXPECT_EQ(s->flags & ~SERIES_UNIT_MASK, SERIES_LIVE | SERIES_MADE);
        EXPECT_EQ(s->node, node);
        EXPECT_EQ(s->head, s->data());
        EXPECT_EQ(s->tail, s->head);
    }
    // The byte and unit allocators read 0 as 16 bytes' worth.
    EXPECT_EQ(buffer_of(memory::alloc_bytes(0))->capacity, 16u);
    EXPECT_EQ(buffer_of(memory::alloc_units(0, 2))->capacity, 16u);
    EXPECT_EQ(buffer_of(memory::alloc_units(0, 4))->unit(), 4u);
    // A head offset of -1 puts the head in the middle.
    SeriesBuffer* mid = buffer_of(memory::alloc_series(4, 16, -1));
    EXPECT_EQ(mid->head, mid->data() + 32);
    EXPECT_TRUE(mid->flags & SERIES_HEAD_MIDDLE);
}

TEST_F(Memory, FilledAndUnsetAllocationsCoverTheWholeCapacity) {
    SeriesBuffer* bytes = buffer_of(memory::alloc_bytes_filled(20, 0x5A));
    ASSERT_EQ(bytes->capacity, 32u);
    for (uint32_t i = 0; i < 32; i++) EXPECT_EQ(bytes->data()[i], 0x5A);
    SeriesBuffer* cells = buffer_of(memory::alloc_cells_unset(3));
    Cell* c = reinterpret_cast<Cell*>(cells->data());
    for (uint32_t i = 0; i < 3; i++) {
        EXPECT_EQ(c[i].header, uint32_t(TYPE_UNSET));
        EXPECT_EQ(c[i].data1 | c[i].data2 | c[i].data3, 0u);
    }
}

TEST_F(Memory, BigBufferThresholdIsTwoMegabytesWithHeader) {
    gc::NoCollect quiet;
    // Capacity + 24 is 8 modulo 16, so the largest frame buffer takes
    // 2097144 bytes and the next size up (2097160) is big.
    struct Case { uint32_t n; bool big; } cases[] = {{2097112, false}, {2097120, false}, {2097121, true}, {2097128, true}};
    for (const Case& c : cases) {
        SeriesBuffer* s = buffer_of(memory::alloc_bytes(c.n));
        EXPECT_EQ(bool(s->flags & SERIES_BIG), c.big) << c.n;
        EXPECT_EQ(in_big_list(s), c.big) << c.n;
        EXPECT_EQ(frame_of(s) != nullptr, !c.big) << c.n;
        if (c.big) {
            EXPECT_EQ((reinterpret_cast<BigBlock*>(s) - 1)->size, s->capacity + SERIES_OVERHEAD);
        }
    }
}

TEST_F(Memory, AFrameIsFullWhenTheRequestWouldReachItsEnd) {
    // The first frame has 1 MB; a 16-byte buffer (40 bytes) leaves
    // 1048536, so a buffer of capacity 1048512 ends exactly at `end`.
    struct Case { uint32_t capacity; bool same_frame; } cases[] = {{1048512, false}, {1048496, true}};
    for (const Case& c : cases) {
        memory::init();
        gc::NoCollect quiet;
        SeriesFrame* first = memory::record->series_first;
        ASSERT_EQ(uint32_t(first->end - first->payload()), memory::FRAME_SIZE_INITIAL);
        memory::alloc_bytes(16);
        SeriesBuffer* s = buffer_of(memory::alloc_bytes(c.capacity));
        EXPECT_EQ(frame_of(s) == first, c.same_frame) << c.capacity;
    }
}

[[gnu::noinline]] void fill_with_garbage(uint32_t capacity) { memory::alloc_bytes(capacity); }

TEST_F(Memory, AfterACollectionAFrameNeedsRoomToSpareToBeUsed) {
    // Live data leaves 52424 or 52432 bytes free once the garbage behind it
    // is gone; a frame with less than 52428 free is passed over for a new one.
    struct Case { std::vector<uint32_t> live; uint32_t free_after; bool new_frame; } cases[] = {
        {{996128}, 52424, true},
        {{16, 996080}, 52432, false},
    };
    for (const Case& c : cases) {
        memory::init();
        gc::finish_startup();
        gc::set_stress_interval(0);
        gc::set_stack_scan(false);  // only the rooted cells count
        std::vector<Cell> live;
        live.reserve(c.live.size());
        for (uint32_t cap : c.live) live.push_back(block_cell(memory::alloc_bytes(cap), TYPE_BINARY));
        gc::CellRoot keep(live.data(), uint32_t(live.size()));
        SeriesFrame* first = memory::record->series_first;
        ASSERT_EQ(uint32_t(first->end - first->heap), c.free_after);
        fill_with_garbage(c.free_after - 40);  // 16 bytes stay free: no room for 40
        uint32_t cycles = gc::counters.series_cycles;
        Cell fresh = block_cell(memory::alloc_bytes(16), TYPE_BINARY);
        EXPECT_EQ(gc::counters.series_cycles, cycles + 1);
        EXPECT_EQ(frame_of(buffer_of(cell_node(&fresh))) != first, c.new_frame) << c.free_after;
        EXPECT_EQ(count_series_frames(), c.new_frame ? 2u : 1u);
        gc::set_stack_scan(true);
    }
}

// A heap that grows with little garbage: each collection walks everything
// live, so their number must stay proportional to what is allocated, not to
// the number of frames filled.
TEST_F(Memory, ALargeGrowingHeapIsNotCollectedAtEveryFilledFrame) {
    if (gc::stress_interval()) GTEST_SKIP() << "the stress mode sets its own pace";
    constexpr uint32_t LIVE = 400000;  // about 35 MB of 64-byte buffers
    Cell holder = block_cell(memory::alloc_cells(LIVE));
    gc::CellRoot keep(&holder);
    uint32_t cycles = gc::counters.series_cycles;
    for (uint32_t i = 0; i < LIVE; i++) {
        Cell item = block_cell(memory::alloc_bytes(64), TYPE_BINARY);
        fill_with_garbage(16);
        SeriesBuffer* h = buffer_of(cell_node(&holder));
        cells_head(h)[i] = item;
        h->tail = reinterpret_cast<uint8_t*>(cells_head(h) + i + 1);
    }
    EXPECT_LT(gc::counters.series_cycles - cycles, 40u);
}

TEST_F(Memory, SeriesFramesGrowToTwoMegabytesAndStaySorted) {
    gc::NoCollect quiet;
    EXPECT_EQ(count_series_frames(), 1u);
    for (int i = 0; i < 5; i++) memory::alloc_bytes(1500000);
    EXPECT_GE(count_series_frames(), 4u);
    SeriesFrame* first = memory::record->series_first;
    for (SeriesFrame* f = first; f; f = f->next) {
        if (f->next) {
            EXPECT_LT(f, f->next);
        }
        uint32_t payload = uint32_t(f->end - f->payload());
        // Only the frame made at start-up has 1 MB.
        EXPECT_EQ(payload, f->size - 20);
        EXPECT_TRUE(payload == memory::FRAME_SIZE_MAX || payload == memory::FRAME_SIZE_INITIAL);
    }
    EXPECT_EQ(memory::record->frame_size_next, memory::FRAME_SIZE_MAX);
}

TEST_F(Memory, NodeFramesHoldTenThousandNodes) {
    gc::NoCollect quiet;
    uint32_t base = nodes_in_use();
    Node last = nullptr;
    for (uint32_t i = base; i < memory::NODES_PER_FRAME; i++) last = memory::alloc_node();
    EXPECT_EQ(count_node_frames(), 1u);
    EXPECT_EQ(*last, 0u);
    Node next = memory::alloc_node();
    EXPECT_EQ(count_node_frames(), 2u);
    EXPECT_EQ(memory::record->node_active, memory::record->node_last);
    // A freed slot is handed out again, cleared.
    NodeFrame* first = memory::record->node_first;
    *last = 1234;
    memory::free_node(first, last);
    EXPECT_EQ(first->used, memory::NODES_PER_FRAME - 1);
    memory::record->node_active = first;
    EXPECT_EQ(memory::alloc_node(), last);
    EXPECT_EQ(*last, 0u);
    (void)next;
}

TEST_F(Memory, ExpansionMovesDataAndAbandonsTheOldBuffer) {
    Cell str = new_string("hello, world");
    gc::CellRoot keep(&str);
    Node node = cell_node(&str);
    SeriesBuffer* old = buffer_of(node);
    uint32_t old_capacity = old->capacity;
    SeriesBuffer* fresh = memory::expand_series(old, 0);
    EXPECT_EQ(buffer_of(node), fresh);
    EXPECT_EQ(fresh->node, node);
    EXPECT_EQ(fresh->capacity, 2 * old_capacity);
    EXPECT_EQ(text_of(str), "hello, world");
    EXPECT_EQ(old->node, nullptr);
    EXPECT_FALSE(old->flags & SERIES_LIVE);

    // Filled expansion: the new part holds the byte.
    SeriesBuffer* filled = memory::expand_series_filled(fresh, 64, 0xEE);
    EXPECT_EQ(text_of(str), "hello, world");
    for (uint32_t i = 32; i < 64; i++) EXPECT_EQ(filled->head[i], 0xEE);

    // A shrinking expansion keeps what fits.
    SeriesBuffer* small = memory::expand_series(filled, 16);
    EXPECT_EQ(small->capacity, 16u);
    EXPECT_EQ(text_of(str), "hello, world");
}

TEST_F(Memory, ExpansionRejectsNonPositiveCapacities) {
    SeriesBuffer* empty = buffer_of(memory::alloc_cells(0));
    EXPECT_THROW(memory::expand_buffer(empty, 0), Thrown);          // doubling 0
    EXPECT_THROW(memory::expand_buffer(empty, 0x80000000u), Thrown);  // negative as int32
}

TEST_F(Memory, OversizedRequestsRaiseNoMemory) {
    uint32_t before = memory::record->os_total;
    struct Case { uint32_t n, unit; } cases[] = {{0x40000000, 16}, {0xFFFFFFFF, 1}, {0x7FFFFFF8, 1}, {0x10000000, 8}};
    for (const Case& c : cases) {
        try {
            memory::alloc_series(c.n, c.unit, 0);
            ADD_FAILURE() << c.n << " x " << c.unit;
        } catch (const Thrown& t) {
            EXPECT_EQ(t.code, THROW_ERROR);
        }
    }
    EXPECT_EQ(memory::record->os_total, before);
    EXPECT_TRUE(node_alive(memory::alloc_bytes(8)));  // still usable
}

TEST_F(Memory, CloneCopiesFlagsDataAndLength) {
    Cell str = new_string("abcdef");
    gc::CellRoot keep(&str);
    SeriesBuffer* s = buffer_of(cell_node(&str));
    s->flags |= SERIES_OWNED;
    Node copy = memory::clone_series(s);
    Cell c = block_cell(copy, TYPE_STRING);
    EXPECT_EQ(text_of(c), "abcdef");
    EXPECT_EQ(buffer_of(copy)->capacity, buffer_of(cell_node(&str))->capacity);
    EXPECT_TRUE(buffer_of(copy)->flags & SERIES_OWNED);
    EXPECT_NE(copy, cell_node(&str));
}

TEST_F(Memory, FixedSeriesLiveOutsideTheFrames) {
    Node fixed = memory::alloc_fixed_series(8, 16, 0);
    SeriesBuffer* s = buffer_of(fixed);
    EXPECT_EQ(s->flags & ~SERIES_UNIT_MASK, SERIES_LIVE | SERIES_FIXED | SERIES_MADE);
    EXPECT_EQ(s->capacity, 128u);
    EXPECT_EQ(frame_of(s), nullptr);
    gc::register_global_node(&fixed);
    Cell blk = block_cell(fixed);
    append(&blk, integer_cell(7));
    collect_clean();
    EXPECT_EQ(buffer_of(fixed), s);  // never moves
    EXPECT_FALSE(s->flags & SERIES_MARK);  // the collector cleared its mark
    EXPECT_EQ(cells_head(s)->data2, 7u);
}

TEST_F(Memory, StatisticsCountWhatIsInUse) {
    gc::NoCollect quiet;
    memory::alloc_bytes(100);
    memory::alloc_bytes(2097128);  // one big buffer: capacity 2097136
    uint64_t expect = 0;
    for (NodeFrame* f = memory::record->node_first; f; f = f->next) expect += 4ull * f->used;
    for (SeriesFrame* f = memory::record->series_first; f; f = f->next) expect += uint32_t(f->heap - f->payload());
    expect += 2097160;
    EXPECT_EQ(memory::stats(nullptr, 1), double(expect));

    Cell out = new_block(8);
    gc::CellRoot keep(&out);
    memory::stats(&out, 2);
    SeriesBuffer* s = buffer_of(cell_node(&out));
    ASSERT_EQ(s->length(), 5u);
    Cell* v = cells_head(s);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(type_of(&v[i]), TYPE_BLOCK);
        EXPECT_TRUE(v[i].header & FLAG_NEW_LINE);
    }
    // One [free used capacity] triple per node frame.
    SeriesBuffer* nodes = buffer_of(cell_node(&v[0]));
    ASSERT_EQ(nodes->length(), count_node_frames());
    Cell* triple = cells_head(buffer_of(cell_node(cells_head(nodes))));
    NodeFrame* nf = memory::record->node_first;
    // Read while the report was being built, which itself takes nodes.
    EXPECT_EQ(triple[0].data2 + triple[1].data2, nf->capacity);
    EXPECT_GT(triple[1].data2, 0u);
    EXPECT_LE(triple[1].data2, nf->used);
    EXPECT_EQ(triple[2].data2, nf->capacity);
    SeriesBuffer* bigs = buffer_of(cell_node(&v[2]));
    ASSERT_EQ(bigs->length(), 1u);
    EXPECT_EQ(cells_head(bigs)->data2, 2097160u);
    EXPECT_TRUE(cells_head(bigs)->header & FLAG_NEW_LINE);
    uint32_t tracked = uint32_t(heap::bytes_asked() + 16 * heap::block_count());
    EXPECT_EQ(type_of(&v[4]), TYPE_INTEGER);
    EXPECT_EQ(v[4].data2, tracked);
    EXPECT_EQ(v[3].data2, memory::record->os_total + tracked);
}

TEST_F(Memory, ReleaseAllGivesEverythingBack) {
    memory::alloc_bytes(5000);
    memory::alloc_bytes(3000000);
    memory::release_all();
    EXPECT_FALSE(memory::initialised());
    memory::init();
    EXPECT_EQ(count_node_frames(), 1u);
    EXPECT_EQ(count_series_frames(), 1u);
}

}  // namespace
