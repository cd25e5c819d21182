#include "runtime/heap.hpp"
#include "runtime/runtime_error.hpp"
#include "runtime/runtime_record.hpp"

#include <gtest/gtest.h>

#include "tests/unit/capture_output.hpp"

#include <cstring>
#include <vector>

namespace {

using namespace qor;

// The blocks on the list, newest first, checking the links both ways.
std::vector<heap::Block*> walk() {
    std::vector<heap::Block*> out;
    heap::Block* previous = nullptr;
    for (heap::Block* b = runtime::record->heap_head; b; b = b->next) {
        EXPECT_EQ(b->previous, previous);
        out.push_back(b);
        previous = b;
    }
    return out;
}

heap::Block* header(void* p) { return static_cast<heap::Block*>(p) - 1; }

TEST(TrackedHeap, BlocksJoinTheListAtTheFrontAndLeaveIt) {
    size_t count = heap::block_count(), asked = heap::bytes_asked();
    void* a = heap::alloc(10);
    void* b = heap::alloc_zero(100);
    void* c = heap::alloc(0);
    ASSERT_TRUE(a && b && c);
    auto list = walk();
    ASSERT_GE(list.size(), 3u);
    EXPECT_EQ(list[0], header(c));
    EXPECT_EQ(list[1], header(b));
    EXPECT_EQ(list[2], header(a));
    EXPECT_EQ(header(b)->size, 100u);
    EXPECT_EQ(header(b)->zero, 0u);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(static_cast<unsigned char*>(b)[i], 0);
    EXPECT_EQ(heap::block_count(), count + 3);
    EXPECT_EQ(heap::bytes_asked(), asked + 110);

    heap::free(b);   // from the middle
    list = walk();
    EXPECT_EQ(list[0], header(c));
    EXPECT_EQ(list[1], header(a));
    heap::free(c);   // the head
    heap::free(a);
    heap::free(nullptr);
    EXPECT_EQ(heap::block_count(), count);
    walk();
}

TEST(TrackedHeap, ReallocKeepsContentsAndRelinksNeighbours) {
    void* older = heap::alloc(8);
    char* p = static_cast<char*>(heap::alloc(16));
    void* newer = heap::alloc(8);
    std::memcpy(p, "0123456789abcdef", 16);
    p = static_cast<char*>(heap::realloc(p, 100000));   // large enough to move
    EXPECT_EQ(std::memcmp(p, "0123456789abcdef", 16), 0);
    EXPECT_EQ(header(p)->size, 100000u);
    auto list = walk();
    ASSERT_GE(list.size(), 3u);
    EXPECT_EQ(list[0], header(newer));
    EXPECT_EQ(list[1], header(p));
    EXPECT_EQ(list[2], header(older));

    // Null allocates; size 0 frees and answers null.
    size_t count = heap::block_count();
    void* q = heap::realloc(nullptr, 10);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(walk()[0], header(q));
    EXPECT_EQ(header(q)->size, 10u);
    EXPECT_EQ(heap::realloc(q, 0), nullptr);
    EXPECT_EQ(heap::block_count(), count);

    heap::free(p);
    heap::free(older);
    heap::free(newer);
    walk();
}

TEST(TrackedHeapDeathTest, FreeAllEmptiesTheList) {
    EXPECT_EXIT(
        {
            for (int i = 0; i < 50; ++i) heap::alloc(size_t(i) * 3);
            heap::free_all();
            std::_Exit(heap::block_count() == 0 && runtime::record->heap_head == nullptr ? 3 : 1);
        },
        testing::ExitedWithCode(3), "");
}

// A size whose header does not fit is exhaustion, reported at the caller.
TEST(TrackedHeapDeathTest, ExhaustionIsRuntimeError94) {
    EXPECT_EXIT(heap::alloc(SIZE_MAX - 8), testing::ExitedWithCode(94),
                "\\*\\*\\* Runtime Error 94: out of memory\r?\n\\*\\*\\* at: ");
    EXPECT_EXIT(
        {
            void* p = heap::alloc(4);
            heap::realloc(p, SIZE_MAX);
        },
        testing::ExitedWithCode(94), "Runtime Error 94: out of memory");
#if !defined(__SANITIZE_ADDRESS__)
    // The system heap itself refusing (the sanitizer's allocator aborts instead).
    EXPECT_EXIT(heap::alloc(0xFFFF0000u), testing::ExitedWithCode(94), "Runtime Error 94");
#endif
}

TEST(TrackedHeap, StatsListsEveryBlock) {
    void* p = heap::alloc(33);
    std::string out = test::captured_stdout([] { heap::stats(); });
    heap::free(p);
    EXPECT_EQ(out.rfind("-- Heap-allocations --\r\nAsked   Real\r\n33\t49\r\n", 0), 0u) << out;
    EXPECT_NE(out.find("-- Sum: "), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 5), " --\r\n");
}

}  // namespace
