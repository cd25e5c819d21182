// point2D! and point3D!: two or three 32-bit floats, written (x, y) and
// (x, y, z).  Every computation is done in doubles and each stored
// coordinate is rounded to a single.
//
//   point2D!  header TYPE_POINT2D, word 1 = x, word 2 = y   (singles)
//   point3D!  header TYPE_POINT3D, words 1, 2, 3 = x, y, z  (singles)
#pragma once
#include <cstdint>
#include <cstring>

#include "runtime/cell.hpp"

namespace qor::point {

void init2d();   // registers point2D!
void init3d();   // registers point3D!

inline uint32_t bits_of(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}
inline float float_of(uint32_t b) {
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}

inline Cell make2d(double x, double y) {
    return Cell{TYPE_POINT2D, bits_of(float(x)), bits_of(float(y)), 0};
}
inline Cell make3d(double x, double y, double z) {
    return Cell{TYPE_POINT3D, bits_of(float(x)), bits_of(float(y)), bits_of(float(z))};
}

// Coordinate i (0 for x) of a point cell.
inline float coordinate(const Cell* p, int i) {
    return float_of(i == 0 ? p->data1 : i == 1 ? p->data2 : p->data3);
}

// The literal decoder (literal.hpp): 2 or 3 numbers joined by "," between "(" and ")", from after the "("; a part that is no number is an invalid float!.
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

}  // namespace qor::point
