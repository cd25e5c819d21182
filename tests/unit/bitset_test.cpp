// bitset!: the bytes a growing set uncovers, and the order of comparison.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "datatypes/bitset.hpp"
#include "datatypes/integer.hpp"
#include "natives_fixture.hpp"

namespace qor::test {
namespace {

class Bitset : public NativesFixture {
protected:
    // A bitset over the given stored bytes; `stale` fills the rest of the
    // capacity, as a buffer that was moved or cloned may hold.
    Cell make_bits(const std::vector<uint8_t>& bytes, bool negated, uint8_t stale = 0xAA) {
        Node node = memory::alloc_bytes(16);
        SeriesBuffer* s = buffer_of(node);
        std::memset(s->head, stale, s->capacity);
        if (!bytes.empty()) std::memcpy(s->head, bytes.data(), bytes.size());
        s->tail = s->head + bytes.size();
        if (negated) s->flags |= SERIES_BITSET_NOT;
        Cell c{TYPE_BITSET, 0, 0, 0};
        set_cell_node(&c, node);
        return c;
    }
    bool member(const Cell* bits, int32_t n) {
        Cell v = integer::make(n);
        return bitset::test(bits, &v);
    }
};

// Growing past the tail writes the fill of the kind over whatever the
// buffer held there: only the bit asked for changes.
TEST_F(Bitset, GrowthWritesTheFillOverStaleBytes) {
    for (bool negated : {false, true}) {
        for (uint8_t stale : {uint8_t(0x00), uint8_t(0xAA), uint8_t(0xFF)}) {
            Cell bits = make_bits({0x00}, negated, stale);
            gc::CellRoot keep(&bits);
            Cell far = integer::make(300);   // beyond the 16 bytes of capacity too
            Cell near = integer::make(60);
            if (negated) {
                bitset_remove(&bits, nullptr, &near);
                bitset_remove(&bits, nullptr, &far);
            } else {
                bitset_append(&bits, &near, -1, false, 1, true);
                bitset_append(&bits, &far, -1, false, 1, true);
            }
            EXPECT_EQ(bitset_length_q(&bits), 304);
            for (int32_t n = 8; n < 400; ++n) {
                bool asked = n == 60 || n == 300;
                EXPECT_EQ(member(&bits, n), asked != negated)
                    << "bit " << n << (negated ? " complemented" : " plain") << " stale " << int(stale);
            }
        }
    }
}

// Size decides first, whatever the bits; then the kind (plain is lesser);
// then the bytes from the tail toward the head.
TEST_F(Bitset, CompareBySizeThenKindThenLastBytes) {
    struct Case {
        std::vector<uint8_t> a;
        bool na;
        std::vector<uint8_t> b;
        bool nb;
        int32_t expected;
    };
    const Case cases[] = {
        {{0x00}, false, {0x00, 0x00}, false, -1},
        {{0xFF, 0xFF}, false, {0x00}, false, 1},
        {{}, false, {}, true, 0},
        {{0x00}, true, {0xFF}, false, 1},
        {{0x01, 0x80}, false, {0x80, 0x40}, false, 1},   // the last byte decides
        {{0x80, 0x40}, false, {0x01, 0x40}, false, 1},
        {{0x12, 0x34}, true, {0x12, 0x34}, true, 0},
    };
    for (const Case& c : cases) {
        Cell a = make_bits(c.a, c.na);
        gc::CellRoot keep_a(&a);
        Cell b = make_bits(c.b, c.nb);
        gc::CellRoot keep_b(&b);
        EXPECT_EQ(bitset_compare(&a, &b, COMP_EQUAL), c.expected);
        EXPECT_EQ(bitset_compare(&b, &a, COMP_EQUAL), -c.expected);
        EXPECT_EQ(bitset_compare(&a, &a, COMP_SAME), 0);
        EXPECT_EQ(bitset_compare(&a, &b, COMP_SAME), 1);
    }
    Cell a = make_bits({0x00}, false);
    Cell n = integer::make(0);
    EXPECT_EQ(bitset_compare(&a, &n, COMP_EQUAL), COMPARE_INCOMPARABLE);
}

}  // namespace
}  // namespace qor::test
