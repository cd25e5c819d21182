#include "memory_fixture.hpp"

using namespace qor;
using namespace qor::testing;

namespace {

class SeriesPrimitives : public MemoryFixture {};

TEST_F(SeriesPrimitives, CellHeaderOperationsKeepTheOtherBits) {
    Cell c{TYPE_BLOCK | 0x40002000u, 1, 2, 3};
    cell::set_type(&c, TYPE_PAREN);
    EXPECT_EQ(c.header, TYPE_PAREN | 0x40002000u);
    cell::clear_new_line(&c);
    EXPECT_EQ(c.header, TYPE_PAREN | 0x00002000u);
    Cell d{};
    EXPECT_EQ(cell::copy(&c, &d), &d);
    EXPECT_EQ(std::memcmp(&c, &d, sizeof c), 0);
    EXPECT_EQ(cell::copy(&d, &d), &d);  // onto itself: unchanged
    EXPECT_EQ(std::memcmp(&c, &d, sizeof c), 0);
}

TEST_F(SeriesPrimitives, AppendingToAFullBlockDoublesIt) {
    Cell blk = new_block(2);
    gc::CellRoot keep(&blk);
    append(&blk, integer_cell(1));
    append(&blk, integer_cell(2));
    ASSERT_EQ(buffer_of(cell_node(&blk))->capacity, 32u);
    Cell* c = block_buffer::alloc_tail(&blk);
    EXPECT_EQ(c->header, uint32_t(TYPE_UNSET));
    SeriesBuffer* s = buffer_of(cell_node(&blk));
    EXPECT_EQ(s->capacity, 64u);
    EXPECT_EQ(s->length(), 3u);
    EXPECT_EQ(cells_head(s)[0].data2, 1u);
    EXPECT_EQ(cells_head(s)[1].data2, 2u);
    EXPECT_EQ(c, cells_head(s) + 2);
}

TEST_F(SeriesPrimitives, AppendingToAnEmptyCapacityBlockWorks) {
    Cell blk = new_block(0);
    gc::CellRoot keep(&blk);
    for (int i = 0; i < 5; i++) append(&blk, integer_cell(i));
    SeriesBuffer* s = buffer_of(cell_node(&blk));
    ASSERT_EQ(s->length(), 5u);
    for (int i = 0; i < 5; i++) EXPECT_EQ(cells_head(s)[i].data2, uint32_t(i));
}

TEST_F(SeriesPrimitives, TailBytesGrowByDoublingOrToTwiceTheRequest) {
    struct Case { uint32_t fill, request, capacity; } cases[] = {
        {16, 8, 32},    // full, small request: doubled
        {16, 40, 80},   // request above the capacity: 2n
        {8, 8, 16},     // fits exactly
    };
    for (const Case& c : cases) {
        Cell str = block_cell(memory::alloc_bytes(16), TYPE_STRING);
        gc::CellRoot keep(&str);
        std::memset(series_buffer::alloc_tail_bytes(buffer_of(cell_node(&str)), c.fill), 'a', c.fill);
        uint8_t* at = series_buffer::alloc_tail_bytes(buffer_of(cell_node(&str)), c.request);
        SeriesBuffer* s = buffer_of(cell_node(&str));
        EXPECT_EQ(s->capacity, c.capacity) << c.fill << "+" << c.request;
        EXPECT_EQ(at, s->head + c.fill);
        EXPECT_EQ(s->byte_length(), c.fill + c.request);
        EXPECT_EQ(s->head[c.fill - 1], 'a');
    }
}

TEST_F(SeriesPrimitives, CopyUnitsDropsOwnershipAndStaysInBounds) {
    Node src = memory::alloc_units(8, 2);
    gc::NodeRoot keep(&src);
    SeriesBuffer* s = buffer_of(src);
    for (uint16_t i = 0; i < 8; i++) reinterpret_cast<uint16_t*>(s->head)[i] = uint16_t(100 + i);
    s->tail = s->head + 16;
    s->flags |= SERIES_OWNED;
    Node part = series::copy_units(src, 2, 3);
    SeriesBuffer* p = buffer_of(part);
    EXPECT_EQ(p->unit(), 2u);
    EXPECT_FALSE(p->flags & SERIES_OWNED);
    ASSERT_EQ(p->length(), 3u);
    EXPECT_EQ(reinterpret_cast<uint16_t*>(p->head)[0], 102);
    EXPECT_EQ(reinterpret_cast<uint16_t*>(p->head)[2], 104);
    // A count past the end copies what there is.
    EXPECT_EQ(buffer_of(series::copy_units(src, 6, 10))->length(), 2u);
    EXPECT_EQ(buffer_of(series::copy_units(src, 20, 1))->length(), 0u);
}

TEST_F(SeriesPrimitives, ContextWordListIsReachedThroughTheTable) {
    Cell words = new_block(3);
    gc::CellRoot keep_words(&words);
    for (uint32_t i = 0; i < 3; i++) append(&words, Cell{TYPE_WORD, 0, 40 + i, i});
    Node table = memory::alloc_bytes(44);
    gc::NodeRoot keep_table(&table);
    uint32_t* t = reinterpret_cast<uint32_t*>(buffer_of(table)->head);
    std::memset(t, 0, 44);
    t[5] = reinterpret_cast<uint32_t>(cell_node(&words));
    Cell record{TYPE_CONTEXT, reinterpret_cast<uint32_t>(table), 0, 0};
    EXPECT_EQ(context::word_list_node(&record), cell_node(&words));
    EXPECT_EQ(context::word_list_buffer(&record), buffer_of(cell_node(&words)));
    EXPECT_EQ(context::word_at(&record, 2)->data2, 42u);
}

}  // namespace
