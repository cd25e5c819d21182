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
