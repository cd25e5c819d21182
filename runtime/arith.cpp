#include "runtime/arith.hpp"

#include <cmath>
#include <cstring>

namespace qor::math {

double degrees_to_radians(double x, int mode) {
    x = std::fmod(x, 360.0);
    if (x > 180.0 || x < -180.0) x = x >= 0 ? x - 360.0 : x + 360.0;
    if (x > 90.0 || x < -90.0) {
        if (mode == TRIG_TANGENT) x = x >= 0 ? x - 180.0 : x + 180.0;
        else if (mode == TRIG_SINE) x = x >= 0 ? 180.0 - x : -180.0 - x;
    }
    return x * 3.141592653589793 / 180.0;
}

}  // namespace qor::math

namespace qor::cstring {

bool is_equal(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

}  // namespace qor::cstring
