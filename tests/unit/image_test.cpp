// image! over the collector and the resource registry: a dead image's pixels
// are released once, a live one keeps them, and copies share them.
#include "datatypes/image.hpp"

#include <gtest/gtest.h>

#include "datatypes/image_backend.hpp"
#include "runtime/collector.hpp"
#include "runtime/heap.hpp"
#include "runtime/resources.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace test;

class ImageLife : public RuntimeFixture {};

TEST_F(ImageLife, DeadImagesReleaseTheirPixelsOnce) {
    gc::collect();
    uint32_t records = resource_table::used_count();
    size_t blocks = heap::block_count();
    eval("loop 40 [make image! [3x3 1.2.3] copy make image! 2x2] none");
    gc::collect();
    EXPECT_EQ(resource_table::used_count(), records);
    EXPECT_EQ(heap::block_count(), blocks);
    gc::collect();   // a second sweep finds nothing left to release
    EXPECT_EQ(heap::block_count(), blocks);
}

TEST_F(ImageLife, LiveImagesAndTheirCopiesKeepTheirPixels) {
    eval("keep: make image! [2x2 1.2.3] same-pixels: at keep 2 none");
    uint32_t records = resource_table::used_count();
    eval("loop 20 [make image! 5x5] none");
    gc::collect();
    EXPECT_EQ(resource_table::used_count(), records);
    EXPECT_EQ(mold_text(eval("pick keep 1")), "1.2.3.0");
    EXPECT_EQ(mold_text(eval("poke same-pixels 1 9.9.9 pick keep 2")), "9.9.9.0");
    eval("keep: same-pixels: none");
    gc::collect();
    EXPECT_EQ(resource_table::used_count(), records - 1);
}

// Sizes that cannot be had are refused before any pixel memory is taken.
TEST_F(ImageLife, ImpossibleSizesRaiseNoMemory) {
    size_t blocks = heap::block_count();
    for (const char* text : {"make image! 100000x100000", "make image! 30000x30000", "make image! 65535x65535",
                             "make image! [70000x0]"}) {
        RaisedError e = eval_error(text);
        EXPECT_EQ(e.category + "/" + e.id, "internal/no-memory") << text;
    }
    EXPECT_EQ(heap::block_count(), blocks);
}

}  // namespace
}  // namespace qor
