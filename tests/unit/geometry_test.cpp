#include "services/geometry.hpp"

#include <gtest/gtest.h>

#include <cmath>

using qor::geometry::PointF;
using qor::geometry::Quad;
using qor::geometry::Vec2;
namespace geo = qor::geometry;

namespace {

const Quad SQUARE{{{0, 0}, {10, 0}, {10, 10}, {0, 10}}};      // the image's own rectangle
const Quad SKEWED{{{2, 1}, {12, 3}, {10, 12}, {0, 9}}};

TEST(Geometry, VectorArithmetic) {
    Vec2 v;
    geo::vector_between(v, 1, 2, 4, 6);
    EXPECT_EQ(v.x, 3);
    EXPECT_EQ(v.y, 4);
    EXPECT_EQ(geo::length(v), 5);
    EXPECT_EQ(geo::cross(Vec2{1, 2}, Vec2{3, 4}), -2);
    EXPECT_EQ(geo::dot(Vec2{1, 2}, Vec2{3, 4}), 11);
    geo::normalise(v);
    EXPECT_DOUBLE_EQ(v.x, 0.6);
    EXPECT_DOUBLE_EQ(v.y, 0.8);
    Vec2 zero;
    geo::normalise(zero);   // stays zero instead of NaN
    EXPECT_EQ(zero.x, 0);
    EXPECT_EQ(zero.y, 0);
}

TEST(Geometry, RotationByWholeDegrees) {
    struct Case { int degrees; double x, y; };
    const Case cases[] = {{0, 1, 0}, {90, 0, 1}, {180, -1, 0}, {-90, 0, -1}, {45, std::sqrt(0.5), std::sqrt(0.5)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.degrees);
        Vec2 v{1, 0};
        geo::rotate(v, c.degrees);
        // The angle uses 3.14159265359, not the full pi: near, not exact.
        EXPECT_NEAR(v.x, c.x, 1e-11);
        EXPECT_NEAR(v.y, c.y, 1e-11);
    }
}

TEST(Geometry, SidesOfALine) {
    Vec2 c{0, 0}, e{10, 0};
    EXPECT_TRUE(geo::side_below(Vec2{5, 1}, c, e));    // (5,1) x (10,0) = -10
    EXPECT_TRUE(geo::side_above(Vec2{5, -1}, c, e));
    EXPECT_FALSE(geo::side_below(Vec2{5, 0}, c, e));   // on the line: neither
    EXPECT_FALSE(geo::side_above(Vec2{5, 0}, c, e));
}

TEST(Geometry, PointInQuad) {
    struct Case { const Quad* quad; double x, y; bool inside; };
    const Case cases[] = {
        {&SQUARE, 5, 5, true},   {&SQUARE, 0, 0, true},    {&SQUARE, 10, 10, true},  // corners and edges count
        {&SQUARE, 10, 5, true},  {&SQUARE, 10.01, 5, false}, {&SQUARE, -0.01, 5, false},
        {&SQUARE, 5, 10.5, false}, {&SKEWED, 6, 6, true},  {&SKEWED, 1, 1, false},
        {&SKEWED, 11.5, 10, false}, {&SKEWED, 0.5, 8.5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        EXPECT_EQ(geo::point_in_quad(*c.quad, c.x, c.y), c.inside);
    }
}

TEST(Geometry, DistanceFromALineIsPositive) {
    Vec2 dir{1, 0};
    EXPECT_EQ(geo::distance_from_line(Vec2{3, 4}, Vec2{0, 0}, dir), 4);
    EXPECT_EQ(geo::distance_from_line(Vec2{3, -4}, Vec2{0, 0}, dir), 4);
    Vec2 diag{1, 1};
    geo::normalise(diag);
    EXPECT_NEAR(geo::distance_from_line(Vec2{0, 2}, Vec2{0, 0}, diag), std::sqrt(2.0), 1e-15);
}

TEST(Geometry, MirrorQuad) {
    Quad q = SKEWED;
    geo::mirror_quad_x(q, 5);
    const float xs[] = {8, -2, 0, 10};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(q.corner[k].x, xs[k]);
        EXPECT_EQ(q.corner[k].y, SKEWED.corner[k].y);
    }
    geo::mirror_quad_y(q, 0.5f);
    const float ys[] = {0, -2, -11, -8};
    for (int k = 0; k < 4; k++) EXPECT_EQ(q.corner[k].y, ys[k]);
}

}  // namespace
