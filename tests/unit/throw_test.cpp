#include "runtime/throw.hpp"

#include <gtest/gtest.h>

using namespace qor;

TEST(CatchLevel, ComparesUnsigned) {
    EXPECT_TRUE(catches(THROW_ERROR, THROW_ERROR));            // equal level catches
    EXPECT_FALSE(catches(LEVEL_OS_PAGES, THROW_ERROR));        // language error passes
    EXPECT_TRUE(catches(LEVEL_OS_PAGES, THROW_OS_ALLOC));
    EXPECT_TRUE(catches(LEVEL_ALL, THROW_ERROR));
    EXPECT_FALSE(catches(LEVEL_NONE, THROW_OS_FREE));
}

#include "runtime/runtime_record.hpp"

#include <stdexcept>

// A catch region stops the codes its level admits, answers them and leaves
// them in the runtime record; higher codes pass through it unchanged.
TEST(CatchLevel, RegionStopsAdmittedCodesOnly) {
    runtime::record->thrown = 0;
    EXPECT_EQ(catch_level(LEVEL_ALL, [] {}), 0u);
    EXPECT_EQ(catch_level(LEVEL_OS_PAGES, [] { system_throw(THROW_OS_ALLOC); }), THROW_OS_ALLOC);
    EXPECT_EQ(runtime::record->thrown, THROW_OS_ALLOC);
    EXPECT_NE(runtime::record->throw_address, 0u);   // the site that a report names
    runtime::record->thrown = 0;

    uint32_t inner = 0, outer = 0;
    outer = catch_level(LEVEL_ALL, [&] {
        inner = catch_level(LEVEL_OS_PAGES, [] { system_throw(THROW_ERROR); });
    });
    EXPECT_EQ(inner, 0u);   // never completed: the error left the inner region
    EXPECT_EQ(outer, THROW_ERROR);
    runtime::record->thrown = 0;

    // A region at exactly the code's level stops it.
    EXPECT_EQ(catch_level(THROW_BREAK, [] { throw Thrown{THROW_BREAK}; }), THROW_BREAK);
    EXPECT_THROW(catch_level(THROW_BREAK, [] { throw Thrown{THROW_ERROR}; }), Thrown);
    runtime::record->thrown = 0;
}

TEST(CatchLevel, OtherExceptionsPassThrough) {
    EXPECT_THROW(catch_level(LEVEL_ALL, [] { throw std::runtime_error("x"); }), std::runtime_error);
}
