// Letter case of single code points (Unicode 11.0, one to one).
#include "runtime/case_folding.hpp"

#include <gtest/gtest.h>

using namespace qor::case_;

TEST(CaseFolding, MapsTable) {
    struct Case {
        uint32_t c, upper, lower;
    } cases[] = {
        {0x0000, 0x0000, 0x0000},   // NUL maps to itself
        {'a', 'A', 'a'},
        {'Z', 'Z', 'z'},
        {'1', '1', '1'},
        {0x00DF, 0x0053, 0x00DF},   // sharp s: first letter of "SS"
        {0x00FF, 0x0178, 0x00FF},   // leaves Latin-1
        {0x00B5, 0x039C, 0x00B5},
        {0x0130, 0x0130, 0x0069},
        {0x0131, 0x0049, 0x0131},
        {0x0149, 0x02BC, 0x0149},
        {0x01C5, 0x01C4, 0x01C6},   // title case goes both ways
        {0x01F0, 0x004A, 0x01F0},
        {0x0390, 0x0399, 0x0390},
        {0x0587, 0x0535, 0x0587},
        {0x1C80, 0x0412, 0x1C80},   // Cyrillic variant letters
        {0x1C88, 0xA64A, 0x1C88},
        {0x1C90, 0x1C90, 0x10D0},   // Georgian Mtavruli (new in 11.0)
        {0x1E96, 0x0048, 0x1E96},
        {0x1E9E, 0x1E9E, 0x00DF},
        {0x1F80, 0x1F08, 0x1F80},
        {0x1F88, 0x1F08, 0x1F80},
        {0x1FBC, 0x0391, 0x1FB3},
        {0xFB00, 0x0046, 0xFB00},
        {0xFF41, 0xFF21, 0xFF41},
        {0x10428, 0x10400, 0x10428},
        {0x10400, 0x10400, 0x10428},
        {0x16E60, 0x16E40, 0x16E60},   // Medefaidrin, new in 11.0
        {0x1E922, 0x1E900, 0x1E922},
        {0x1E900, 0x1E900, 0x1E922},
        {0x1E943, 0x1E921, 0x1E943},   // last upper-case key
        {0x1E944, 0x1E944, 0x1E944},
        {0x103FF, 0x103FF, 0x103FF},   // below the first key
        {0x10FFFF, 0x10FFFF, 0x10FFFF},
        {0x110000, 0x110000, 0x110000},
        // Added after Unicode 11.0: no mapping on either side.
        {0xA7BA, 0xA7BA, 0xA7BA},
        {0xA7BB, 0xA7BB, 0xA7BB},
        {0x2C2F, 0x2C2F, 0x2C2F},
        {0x2C5F, 0x2C5F, 0x2C5F},
        {0xA794, 0xA794, 0xA794},   // its capital U+A7C4 is from 12.0
        {0x0282, 0x0282, 0x0282},
        {0x10597, 0x10597, 0x10597},   // Vithkuqi, 14.0
    };
    for (const Case& c : cases) {
        EXPECT_EQ(map_char(c.c, true), c.upper) << std::hex << "U+" << c.c;
        EXPECT_EQ(map_char(c.c, false), c.lower) << std::hex << "U+" << c.c;
    }
}

TEST(CaseFolding, PairListsHoldUnicode11) {
    PairCounts n = pair_counts();
    EXPECT_EQ(n.upper_bmp, 1250u);
    EXPECT_EQ(n.lower_bmp, 1158u);
    EXPECT_EQ(n.upper_supplementary, 225u);
    EXPECT_EQ(n.lower_supplementary, 225u);
}

// Folding both sides the same way must make case-insensitive comparison
// symmetric: a letter and its upper case fold alike.
TEST(CaseFolding, FoldingIsStableAcrossThePlanes) {
    init_tables();   // again: idempotent
    for (uint32_t c = 0; c < 0x20000; ++c) {
        const uint32_t u = map_char(c, true);
        ASSERT_EQ(map_char(u, true), u) << std::hex << "U+" << c;
        if (u != c) {
            ASSERT_EQ(map_char(map_char(c, false), true), u) << std::hex << "U+" << c;
        }
    }
}

TEST(CaseFolding, SwapAndToUpper) {
    EXPECT_EQ(swap_char('a'), uint32_t('A'));
    EXPECT_EQ(swap_char('A'), uint32_t('a'));
    EXPECT_EQ(swap_char('5'), uint32_t('5'));
    EXPECT_EQ(swap_char(0x0130), 0x0069u);
    EXPECT_EQ(to_upper_char(0x1E922), 0x1E900u);
}
