#include "services/pixel_transforms.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using qor::geometry::Quad;
namespace px = qor::pixels;

namespace {

// A w x h image whose pixel at (x, y) tells its place.
std::vector<uint32_t> numbered(int32_t w, int32_t h) {
    std::vector<uint32_t> p(size_t(w) * h);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) p[size_t(y) * w + x] = 0xFF000000u | uint32_t(y) << 8 | uint32_t(x);
    return p;
}

TEST(PixelTransforms, CopyRectClipsAndRefuses) {
    const auto image = numbered(4, 3);
    struct Case { int32_t x, y, w, h; bool ok; int32_t ow, oh; };
    const Case cases[] = {
        {0, 0, 4, 3, true, 4, 3}, {1, 1, 2, 1, true, 2, 1}, {2, 1, 10, 10, true, 2, 2},   // clipped
        {3, 2, 1, 1, true, 1, 1}, {1, 1, 0, 5, true, 0, 2}, {1, 1, -3, 1, true, 0, 1},
        {4, 0, 1, 1, false, 0, 0}, {0, 3, 1, 1, false, 0, 0}, {-1, 0, 1, 1, false, 0, 0},  // x = width refused
        {0, -1, 1, 1, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << c.w << "x" << c.h);
        std::vector<uint32_t> out;
        int32_t ow = -1, oh = -1;
        ASSERT_EQ(px::copy_rect(image.data(), 4, 3, c.x, c.y, c.w, c.h, out, &ow, &oh), c.ok);
        if (!c.ok) continue;
        ASSERT_EQ(ow, c.ow);
        ASSERT_EQ(oh, c.oh);
        ASSERT_EQ(out.size(), size_t(ow) * oh);
        for (int32_t j = 0; j < oh; j++)
            for (int32_t i = 0; i < ow; i++) EXPECT_EQ(out[size_t(j) * ow + i], image[size_t(c.y + j) * 4 + c.x + i]);
    }
}

TEST(PixelTransforms, ProjectOntoOwnRectangleReproducesTheImage) {
    const auto image = numbered(8, 6);
    const Quad quad{{{0, 0}, {8, 0}, {8, 6}, {0, 6}}};
    std::vector<uint32_t> out;
    int32_t x, y, w, h;
    ASSERT_TRUE(px::project_to_quad(image.data(), 8, 6, quad, out, &x, &y, &w, &h));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    ASSERT_EQ(w, 8);
    ASSERT_EQ(h, 6);
    EXPECT_EQ(out, image);
}

TEST(PixelTransforms, ProjectLeavesPixelsOutsideTheQuadTransparent) {
    // A diamond: the box's corners lie outside it.
    const std::vector<uint32_t> image(16, 0xFF808080u);
    const Quad diamond{{{10, 2}, {18, 10}, {10, 18}, {2, 10}}};
    std::vector<uint32_t> out;
    int32_t x, y, w, h;
    ASSERT_TRUE(px::project_to_quad(image.data(), 4, 4, diamond, out, &x, &y, &w, &h));
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 2);
    ASSERT_EQ(w, 16);
    ASSERT_EQ(h, 16);
    EXPECT_EQ(out[0], 0u);                          // (2,2): outside
    EXPECT_EQ(out[size_t(15) * 16 + 15], 0u);       // (17,17): outside
    EXPECT_EQ(out[size_t(8) * 16 + 8], 0xFF808080u);   // (10,10): the centre, a flat colour mixes to itself
}

TEST(PixelTransforms, ProjectMixesNeighboursBilinearly) {
    // Two pixels side by side, warped onto a quad twice as wide: the odd
    // columns fall halfway and take the mean, truncated.
    const std::vector<uint32_t> image{0x00000000u, 0x0A141E29u};
    const Quad wide{{{0, 0}, {4, 0}, {4, 1}, {0, 1}}};
    std::vector<uint32_t> out;
    int32_t x, y, w, h;
    ASSERT_TRUE(px::project_to_quad(image.data(), 2, 1, wide, out, &x, &y, &w, &h));
    ASSERT_EQ(w, 4);
    ASSERT_EQ(h, 1);
    const uint32_t expected[] = {0x00000000u, 0x050A0F14u, 0x0A141E29u, 0x0A141E29u};   // last column reused
    for (int i = 0; i < 4; i++) EXPECT_EQ(out[size_t(i)], expected[i]) << i;
}

TEST(PixelTransforms, ProjectRefusesWhatCannotBeMade) {
    const std::vector<uint32_t> image(4, 1);
    std::vector<uint32_t> out;
    int32_t x, y, w, h;
    const Quad huge{{{0, 0}, {100000, 0}, {100000, 100000}, {0, 100000}}};   // 40 GB of pixels
    const Quad far{{{-3e9f, 0}, {1, 0}, {1, 1}, {0, 1}}};
    const Quad nan{{{0, 0}, {NAN, 0}, {1, 1}, {0, 1}}};
    EXPECT_FALSE(px::project_to_quad(image.data(), 2, 2, huge, out, &x, &y, &w, &h));
    EXPECT_FALSE(px::project_to_quad(image.data(), 2, 2, far, out, &x, &y, &w, &h));
    EXPECT_FALSE(px::project_to_quad(image.data(), 2, 2, nan, out, &x, &y, &w, &h));
    EXPECT_FALSE(px::project_to_quad(image.data(), 0, 2, Quad{{{0, 0}, {1, 0}, {1, 1}, {0, 1}}}, out, &x, &y, &w, &h));
    EXPECT_TRUE(out.empty());
}

TEST(PixelTransforms, Yuy2ToPixels) {
    // Expected words worked out from the fixed-point formulas (shifts of
    // negative products round down); red is the low byte.
    struct Case { uint8_t y, u, v; uint32_t pixel; };
    const Case cases[] = {
        {0, 128, 128, 0xFF000000u},   {255, 128, 128, 0xFFFFFFFFu},   // the grey axis
        {76, 84, 255, 0xFF0001FEu},   {100, 0, 0, 0xFF00EB00u},        // clamped below 0
        {200, 255, 255, 0xFFFF44FFu}, {150, 44, 21, 0xFF01FF00u},      // clamped above 255
        {29, 255, 107, 0xFFFE0200u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.y) << " " << int(c.u) << " " << int(c.v));
        const uint8_t group[4] = {c.y, c.u, c.y, c.v};
        uint32_t out[2] = {};
        px::yuy2_to_pixels(2, 1, group, out);
        EXPECT_EQ(out[0], c.pixel);
        EXPECT_EQ(out[1], c.pixel);
    }
    // Two pixels of one group share U and V; rows follow each other; an odd
    // count ends in half a group and writes nothing past it.
    const uint8_t frame[] = {0, 128, 255, 128, 76, 84, 76, 255, 255, 128};
    uint32_t out[6] = {0, 0, 0, 0, 0, 0x12345678u};
    px::yuy2_to_pixels(5, 1, frame, out);
    EXPECT_EQ(out[0], 0xFF000000u);
    EXPECT_EQ(out[1], 0xFFFFFFFFu);
    EXPECT_EQ(out[2], 0xFF0001FEu);
    EXPECT_EQ(out[3], 0xFF0001FEu);
    EXPECT_EQ(out[4], 0xFFFFFFFFu);
    EXPECT_EQ(out[5], 0x12345678u);
}

}  // namespace
