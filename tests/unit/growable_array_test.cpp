#include "memory_fixture.hpp"

#include "runtime/growable_array.hpp"

using namespace qor;
using namespace qor::testing;

namespace {

class GrowableArray : public MemoryFixture {};

TEST_F(GrowableArray, Int32ArraysGrowPastTheirRoom) {
    Node a = array::make(4, 4);
    gc::NodeRoot keep(&a);
    EXPECT_EQ(array::flags(a) & SERIES_UNIT_MASK, 4u);
    EXPECT_EQ(array::length(a), 0u);
    for (int32_t i = 1; i <= 5; i++) array::append_int32(a, i * 10);
    ASSERT_EQ(array::length(a), 5u);
    for (uint32_t p = 1; p <= 5; p++) EXPECT_EQ(array::pick_int32(a, p), int32_t(p * 10));
    EXPECT_EQ(array::find_int32(a, 30), 8);
    EXPECT_EQ(array::find_int32(a, 31), -1);
    array::poke(a, 2, 99);
    EXPECT_EQ(array::pick(a, 2), 99);
    // Outside the array: nothing read or written.
    EXPECT_EQ(array::pick(a, 0), 0);
    EXPECT_EQ(array::pick(a, 6), 0);
    array::poke(a, 6, 1);
    EXPECT_EQ(array::length(a), 5u);
    uint32_t slot = reinterpret_cast<uint32_t>(a);
    array::append_int32_node(&slot, 60);
    EXPECT_EQ(array::pick_int32(a, 6), 60);
}

TEST_F(GrowableArray, InsertRemoveAndPointers) {
    Node a = array::make(0, 4);
    gc::NodeRoot keep(&a);
    array::insert_int32(a, 7, 0);
    ASSERT_EQ(array::length(a), 1u);
    EXPECT_EQ(array::pick(a, 1), 7);
    array::insert_int32(a, 5, 0);
    array::insert_int32(a, 6, 1);
    array::insert_int32(a, 8, 3);
    EXPECT_EQ(array::length(a), 4u);
    for (uint32_t p = 1; p <= 4; p++) EXPECT_EQ(array::pick(a, p), int32_t(4 + p));

    Node p = array::make(2, 4);
    gc::NodeRoot keep_p(&p);
    int x = 0;
    array::append_int32(p, int32_t(reinterpret_cast<uint32_t>(&x)));
    array::remove_pointer(p, &a);  // absent: nothing changes
    EXPECT_EQ(array::length(p), 1u);
    array::remove_pointer(p, &x);
    EXPECT_EQ(array::length(p), 0u);
    array::remove_bytes(a, 4, 100);  // clipped at the tail
    EXPECT_EQ(array::length(a), 1u);
}

TEST_F(GrowableArray, ByteArraysTailAndCopy) {
    Node b = array::make(3, 1);
    gc::NodeRoot keep(&b);
    array::append_bytes(b, "hello", 5);
    array::append_byte(b, '!');
    EXPECT_EQ(array::length(b), 6u);
    EXPECT_EQ(array::pick_byte(b, 1), 'h');
    EXPECT_EQ(array::pick_byte(b, 6), '!');
    EXPECT_EQ(array::pick_byte(b, 7), 0);
    Node c = array::copy(b);
    array::set_tail(b, 3);
    EXPECT_EQ(array::length(b), 2u);
    EXPECT_EQ(array::length(c), 6u);
    array::clear(c);
    EXPECT_EQ(array::length(c), 0u);
    array::set_tail(b, 1000);  // clipped to the capacity
    EXPECT_LE(array::length(b), buffer_of(b)->capacity);
}

}  // namespace
