#include "runtime/address_map.hpp"

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>

using namespace qor;

namespace {

TEST(AddressMap, SmallMapsHaveEightBucketsAndGrowAtTheSeventhKey) {
    for (uint32_t n = 0; n <= 3; n++) {
        addrmap::AddressMap* m = addrmap::make(n);
        EXPECT_EQ(m->buckets, 8u);
        EXPECT_EQ(m->bound, 6u);
        addrmap::free(m);
    }
    addrmap::AddressMap* m = addrmap::make(0);
    for (uint32_t k = 1; k <= 6; k++) addrmap::put(m, k * 0x1000, k);
    EXPECT_EQ(m->buckets, 8u);
    addrmap::put(m, 0x7000, 7);
    EXPECT_EQ(m->buckets, 16u);
    EXPECT_EQ(m->bound, 12u);
    for (uint32_t k = 1; k <= 7; k++) {
        ASSERT_NE(addrmap::get(m, k * 0x1000), nullptr);
        EXPECT_EQ(*addrmap::get(m, k * 0x1000), k);
    }
    addrmap::free(m);
}

TEST(AddressMap, PutOverwritesAndDeletedBucketsAreReused) {
    addrmap::AddressMap* m = addrmap::make(16);
    addrmap::put(m, 0xABC0, 1);
    addrmap::put(m, 0xABC0, 2);
    EXPECT_EQ(addrmap::size(m), 1u);
    EXPECT_EQ(*addrmap::get(m, 0xABC0), 2u);
    int32_t slot = addrmap::find_slot(m, 0xABC0);
    addrmap::delete_key(m, 0xABC0);
    EXPECT_EQ(addrmap::get(m, 0xABC0), nullptr);
    EXPECT_EQ(addrmap::size(m), 0u);
    EXPECT_EQ(m->occupied, 1u);
    addrmap::put(m, 0xABC0, 3);  // probes through its own deleted bucket
    EXPECT_EQ(addrmap::find_slot(m, 0xABC0), slot);
    EXPECT_EQ(m->occupied, 1u);
    addrmap::clear(m);
    EXPECT_EQ(addrmap::size(m), 0u);
    EXPECT_EQ(addrmap::get(m, 0xABC0), nullptr);
    addrmap::free(m);
}

TEST(AddressMap, AgreesWithAReferenceMapUnderChurn) {
    addrmap::AddressMap* m = addrmap::make(0);
    std::unordered_map<uint32_t, uint32_t> ref;
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; i++) {
        uint32_t key = (rng() % 3000) * 4 + 0x10000;
        switch (rng() % 3) {
        case 0:
        case 1:
            addrmap::put(m, key, uint32_t(i));
            ref[key] = uint32_t(i);
            break;
        default:
            addrmap::delete_key(m, key);
            ref.erase(key);
        }
        if (i % 5000 == 4999) addrmap::resize(m, addrmap::size(m));  // shrink and re-place
    }
    ASSERT_EQ(addrmap::size(m), ref.size());
    for (auto& [k, v] : ref) {
        uint32_t* got = addrmap::get(m, k);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(*got, v);
    }
    uint32_t walked = 0;
    for (uint32_t* e = addrmap::next(m, nullptr); e; e = addrmap::next(m, e)) {
        walked++;
        EXPECT_EQ(ref.at(e[0]), e[1]);
    }
    EXPECT_EQ(walked, ref.size());
    addrmap::free(m);
}

TEST(AddressMap, HashAndRounding) {
    EXPECT_EQ(addrmap::hash_pointer(0), 0u);
    EXPECT_EQ(addrmap::hash_pointer(1), 0x514E28B7u);  // fmix32(1)
    struct { uint32_t n, pow2; } cases[] = {{1, 1}, {5, 8}, {8, 8}, {9, 16}, {0x40000001, 0x80000000}};
    for (auto c : cases) EXPECT_EQ(addrmap::round_up_pow2(c.n), c.pow2) << c.n;
}

}  // namespace
