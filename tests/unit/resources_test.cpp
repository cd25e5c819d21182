#include "runtime/resources.hpp"

#include <gtest/gtest.h>

#include <vector>

using namespace qor;

namespace {

std::vector<uint32_t> released;
void release(uint32_t handle) { released.push_back(handle); }

class Resources : public ::testing::Test {
protected:
    void SetUp() override {
        resource_table::init();
        released.clear();
        type = resource_types::register_type("test", release);
    }
    void TearDown() override { resource_table::release(); }
    int32_t type = 0;
};

TEST_F(Resources, TheThousandthRecordDoublesTheTableFirst) {
    std::vector<int32_t> indexes;
    for (uint32_t i = 0; i < 999; i++) indexes.push_back(resource_table::alloc_record(100 + i, uint32_t(type)));
    EXPECT_EQ(resource_table::capacity(), 1000u);
    indexes.push_back(resource_table::alloc_record(9999, uint32_t(type)));
    EXPECT_EQ(resource_table::capacity(), 2000u);
    EXPECT_EQ(indexes.back(), 999);
    for (uint32_t i = 0; i < 999; i++) EXPECT_EQ(resource_table::entry(indexes[i])->handle, 100 + i);
    EXPECT_EQ(resource_table::alloc_record(1, uint32_t(type)), 1000);
    EXPECT_EQ(resource_table::used_count(), 1001u);
}

TEST_F(Resources, SettingAHandleReleasesTheOldOneOnlyWhenItDiffers) {
    int32_t r = resource_table::alloc_record(5, uint32_t(type));
    resource_table::set_handle(r, 5);
    EXPECT_TRUE(released.empty());
    resource_table::set_handle(r, 6);
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0], 5u);
    EXPECT_EQ(resource_table::entry(r)->handle, 6u);
}

TEST_F(Resources, SweepReleasesUnmarkedRecordsOnceAndReusesThem) {
    int32_t a = resource_table::alloc_record(1, uint32_t(type));
    int32_t b = resource_table::alloc_record(2, uint32_t(type));
    int32_t c = resource_table::alloc_record(3, uint32_t(type));
    EXPECT_TRUE(resource_table::mark(a, 0));
    EXPECT_FALSE(resource_table::mark(a, 0));  // already marked
    EXPECT_TRUE(resource_table::mark(c, 33));  // replaces the handle
    resource_table::sweep();
    EXPECT_EQ(released, std::vector<uint32_t>{2});
    EXPECT_EQ(resource_table::entry(c)->handle, 33u);
    EXPECT_EQ(resource_table::entry(a)->type, uint32_t(type));
    resource_table::sweep();  // nothing marked now: a and c go
    EXPECT_EQ(released.size(), 3u);
    EXPECT_EQ(resource_table::used_count(), 0u);
    EXPECT_EQ(resource_table::alloc_record(7, uint32_t(type)), a);  // last freed first
    (void)b;
}

TEST_F(Resources, FreeingAndBadIndexesAreSafe) {
    int32_t a = resource_table::alloc_record(1, uint32_t(type));
    int32_t b = resource_table::alloc_record(2, uint32_t(type));
    EXPECT_EQ(resource_table::free_record(a, true), -1);
    EXPECT_EQ(released, std::vector<uint32_t>{1});
    EXPECT_EQ(resource_table::free_record(a, true), -1);  // twice: nothing more
    EXPECT_EQ(released.size(), 1u);
    EXPECT_FALSE(resource_table::mark(a, 0));
    EXPECT_FALSE(resource_table::mark(123456, 0));
    EXPECT_FALSE(resource_table::mark(-5, 0));
    resource_table::set_handle(99999, 3);
    resource_table::release_handle(0, 1);    // type 0: no callback
    resource_table::release_handle(200, 1);  // unknown type
    EXPECT_EQ(released.size(), 1u);
    std::vector<uint32_t> seen;
    static std::vector<uint32_t>* out;
    out = &seen;
    resource_table::for_each_of_type(uint32_t(type), [](uint32_t h) { out->push_back(h); });
    EXPECT_EQ(seen, std::vector<uint32_t>{2});
    (void)b;
}

TEST_F(Resources, TypesBeyondTwentyCanBeRegistered) {
    for (int i = 0; i < 30; i++) EXPECT_EQ(resource_types::register_type("more", nullptr), type + 1 + i);
    int32_t r = resource_table::alloc_record(8, uint32_t(type + 25));
    resource_table::free_record(r, true);  // no callback: nothing happens
    EXPECT_TRUE(released.empty());
}

}  // namespace
