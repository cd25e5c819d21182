// Plain 2D geometry: vectors of two doubles, quads of four float points.
// The helpers behind warping an image onto a quadrilateral (pixel_transforms)
// and anything else that needs side-of-line and inside-quad tests.  No Qor
// values: plain numbers in, plain numbers out.
//
// Quad corners run 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left,
// in screen coordinates (y grows downwards).
#pragma once
#include <cstdint>

namespace qor::geometry {

struct Vec2 {
    double x = 0, y = 0;
};

struct PointF {
    float x = 0, y = 0;
};

struct Quad {
    PointF corner[4];
};

double length(const Vec2& v);
// Divides both coordinates by the length; a zero vector stays zero.
Vec2& normalise(Vec2& v);
Vec2& set(Vec2& v, double x, double y);
// (x2 - x1, y2 - y1) into `out`.
Vec2& vector_between(Vec2& out, double x1, double y1, double x2, double y2);
double cross(const Vec2& a, const Vec2& b);   // a.x*b.y - a.y*b.x
double dot(const Vec2& a, const Vec2& b);
// Rotates by whole degrees (angle = degrees x 3.14159265359 / 180).
Vec2& rotate(Vec2& v, int32_t degrees);

// The side of point a seen from origin c towards point e: the cross product
// of (a - c) and (e - c) below 0, or above 0.
bool side_below(const Vec2& a, const Vec2& c, const Vec2& e);
bool side_above(const Vec2& a, const Vec2& c, const Vec2& e);

// Inside the quad (edges 0-1, 1-2, 2-3, 3-0); points on an edge are inside.
bool point_in_quad(const Quad& q, double x, double y);

// Distance of a point from the line through `start` along the unit vector
// `direction`.
double distance_from_line(const Vec2& point, const Vec2& start, const Vec2& direction);

// Each x (or y) coordinate becomes 2c - x (or 2c - y).
void mirror_quad_x(Quad& q, float c);
void mirror_quad_y(Quad& q, float c);

}  // namespace qor::geometry
