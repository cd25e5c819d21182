// Plain 2D geometry.  Rotation goes through the system's own elementary
// functions, so both builds give the same bits.
#include "services/geometry.hpp"

#include <cmath>

#include "runtime/elementary_math.hpp"

namespace qor::geometry {

double length(const Vec2& v) { return std::sqrt(v.x * v.x + v.y * v.y); }

Vec2& normalise(Vec2& v) {
    double n = length(v);
    if (n != 0) {   // a zero vector would become NaN
        v.x /= n;
        v.y /= n;
    }
    return v;
}

Vec2& set(Vec2& v, double x, double y) {
    v.x = x;
    v.y = y;
    return v;
}

Vec2& vector_between(Vec2& out, double x1, double y1, double x2, double y2) { return set(out, x2 - x1, y2 - y1); }

double cross(const Vec2& a, const Vec2& b) { return a.x * b.y - a.y * b.x; }

double dot(const Vec2& a, const Vec2& b) { return a.x * b.x + a.y * b.y; }

Vec2& rotate(Vec2& v, int32_t degrees) {
    double a = degrees * 3.14159265359 / 180;
    double c = math::cos(a), s = math::sin(a);
    return set(v, v.x * c - v.y * s, v.x * s + v.y * c);
}

namespace {
double side(const Vec2& a, const Vec2& c, const Vec2& e) {
    return cross(Vec2{a.x - c.x, a.y - c.y}, Vec2{e.x - c.x, e.y - c.y});
}
}  // namespace

bool side_below(const Vec2& a, const Vec2& c, const Vec2& e) { return side(a, c, e) < 0; }
bool side_above(const Vec2& a, const Vec2& c, const Vec2& e) { return side(a, c, e) > 0; }

bool point_in_quad(const Quad& q, double x, double y) {
    for (int i = 0; i < 4; i++) {
        const PointF& s = q.corner[i];
        const PointF& e = q.corner[(i + 1) & 3];
        if (cross(Vec2{x - s.x, y - s.y}, Vec2{double(e.x) - s.x, double(e.y) - s.y}) > 0) return false;
    }
    return true;
}

double distance_from_line(const Vec2& point, const Vec2& start, const Vec2& direction) {
    return std::fabs(cross(Vec2{point.x - start.x, point.y - start.y}, direction));
}

void mirror_quad_x(Quad& q, float c) {
    for (PointF& p : q.corner) p.x = 2 * c - p.x;
}

void mirror_quad_y(Quad& q, float c) {
    for (PointF& p : q.corner) p.y = 2 * c - p.y;
}

}  // namespace qor::geometry
