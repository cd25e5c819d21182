// The draw dialect's 3x2 matrices: each transformation moves sample points
// where the screen (y down, clockwise angles) expects them, composition
// makes the left matrix act first, and inversion undoes or refuses.
#include <gtest/gtest.h>

#include "gui/draw_backend.hpp"

using namespace qor::gui::draw;

namespace {

Point apply(const Matrix& m, Point p) {
    return Point{p.x * m.m11 + p.y * m.m21 + m.dx, p.x * m.m12 + p.y * m.m22 + m.dy};
}

struct Case {
    const char* name;
    Matrix m;
    Point in, out;
};

TEST(DrawMatrix, TransformationsMovePoints) {
    const Case cases[] = {
        {"rotate 90 about the origin is clockwise", rotation(90, {0, 0}), {10, 0}, {0, 10}},
        {"rotate keeps its centre", rotation(37, {5, 7}), {5, 7}, {5, 7}},
        {"rotate 180 about a centre", rotation(180, {10, 10}), {0, 10}, {20, 10}},
        {"scale about a centre", scaling(2, 3, {10, 10}), {11, 11}, {12, 13}},
        {"scale keeps its centre", scaling(0.5f, 4, {3, 4}), {3, 4}, {3, 4}},
        {"skew x by 45", skewing(45, 0, {0, 0}), {0, 10}, {10, 10}},
        {"skew y by 45", skewing(0, 45, {0, 0}), {10, 0}, {10, 10}},
        {"skew keeps its centre", skewing(30, 20, {4, 6}), {4, 6}, {4, 6}},
        {"translate", translation(3, -4), {1, 1}, {4, -3}},
        {"the left one acts first", multiply(translation(100, 0), rotation(90, {0, 0})), {0, 0}, {0, 100}},
    };
    for (const Case& c : cases) {
        Point p = apply(c.m, c.in);
        EXPECT_NEAR(p.x, c.out.x, 1e-4) << c.name;
        EXPECT_NEAR(p.y, c.out.y, 1e-4) << c.name;
    }
}

TEST(DrawMatrix, InvertUndoesAndRefusesSingular) {
    Matrix m = multiply(scaling(2, 3, {1, 1}), rotation(30, {4, 5}));
    Matrix inv = m;
    ASSERT_TRUE(invert(&inv));
    Point p = apply(inv, apply(m, Point{7, -3}));
    EXPECT_NEAR(p.x, 7, 1e-4);
    EXPECT_NEAR(p.y, -3, 1e-4);

    Matrix flat = scaling(0, 1, {0, 0});
    Matrix kept = flat;
    EXPECT_FALSE(invert(&kept));
    EXPECT_EQ(kept.m11, flat.m11);
    EXPECT_EQ(kept.dx, flat.dx);
}

}  // namespace
