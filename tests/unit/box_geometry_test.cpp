#include "gui/box_geometry.hpp"

#include <gtest/gtest.h>

namespace bg = qor::gui::box_geometry;
using bg::Box;

namespace {

TEST(BoxGeometry, VisiblePartOfAFaceInItsParent) {
    struct Case {
        int32_t x, y, w, h, pw, ph, inset;
        Box want;
    } cases[] = {
        {10, 10, 50, 40, 200, 100, 0, {0, 0, 50, 40}},        // wholly inside
        {-20, 5, 50, 40, 200, 100, 0, {20, 0, 50, 40}},       // cut on the left
        {180, 80, 50, 40, 200, 100, 0, {0, 0, 20, 20}},       // cut right and below
        {0, 0, 50, 40, 200, 100, 3, {3, 3, 50, 40}},          // the frame inset
        {250, 10, 50, 40, 200, 100, 0, {}},                   // wholly outside
        {-60, 0, 50, 40, 200, 100, 0, {}},
        {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 200, 100, 0, {}},   // no overflow
        {10, 10, 50, 40, 0, 0, 0, {}},                        // a parent without client area
    };
    for (const Case& c : cases) {
        Box got = bg::visible_part(c.x, c.y, c.w, c.h, c.pw, c.ph, c.inset);
        EXPECT_EQ(got, c.want) << c.x << "," << c.y << " " << c.w << "x" << c.h;
        EXPECT_EQ(got.empty(), c.want.empty());
    }
}

TEST(BoxGeometry, Intersection) {
    EXPECT_EQ(bg::intersect({0, 0, 50, 40}, {20, 10, 80, 30}), (Box{20, 10, 50, 30}));
    EXPECT_EQ(bg::intersect({0, 0, 50, 40}, {50, 0, 80, 40}), Box{});   // edges touch only
    EXPECT_EQ(bg::intersect({0, 0, 50, 40}, Box{}), Box{});
}

TEST(BoxGeometry, LetterboxKeepsTheFrameShapeCentred) {
    struct Case {
        int32_t cw, ch, fw, fh;
        Box want;
    } cases[] = {
        {640, 480, 640, 480, {0, 0, 640, 480}},     // same shape
        {800, 480, 640, 480, {80, 0, 720, 480}},    // bars left and right
        {640, 600, 640, 480, {0, 60, 640, 540}},    // bars above and below
        {320, 240, 1920, 1080, {0, 30, 320, 210}},
        {300, 200, 0, 0, {0, 0, 300, 200}},         // frame size not known yet
        {0, 200, 640, 480, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(bg::letterbox(c.cw, c.ch, c.fw, c.fh), c.want) << c.cw << "x" << c.ch << " " << c.fw << "x" << c.fh;
}

TEST(BoxGeometry, HitBoxRounding) {
    EXPECT_EQ(bg::hit_box(0.4f, 0.6f, 10.4f, 15.0f), (Box{0, 1, 10, 16}));
    EXPECT_EQ(bg::hit_box(2.5f, 3.0f, 7.6f, 15.2f), (Box{3, 3, 11, 19}));
    EXPECT_EQ(bg::hit_box(0, 0, 0, 0.005f), (Box{0, 0, 0, 0}));
}

TEST(BoxGeometry, LineHoldingAPosition) {
    std::vector<uint32_t> lines{6, 6, 5};   // "Hello\n" "wide \n" "world"
    struct Case {
        int32_t n;
        uint32_t want;
    } cases[] = {{-3, 0}, {0, 0}, {1, 0}, {6, 0}, {7, 1}, {12, 1}, {13, 2}, {17, 2}, {500, 2}};
    for (const Case& c : cases) EXPECT_EQ(bg::line_holding(lines, c.n), c.want) << c.n;
    EXPECT_EQ(bg::line_holding({}, 5), 0u);
}

}  // namespace
