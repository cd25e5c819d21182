// Small arithmetic helpers of the runtime: rounding to powers of two,
// degree-to-radian reduction for the trigonometric natives, and checked
// arithmetic for sizes computed from user input.
#pragma once
#include <cstdint>

namespace qor::runtime {

// (a - 1 + b) AND -b: a rounded up to a multiple of b, b a power of two.
constexpr uint32_t round_up(uint32_t a, uint32_t b) { return (a - 1 + b) & (0u - b); }

}  // namespace qor::runtime

namespace qor::math {

// (a + b) AND -b: the next multiple of b above a, b a power of two.
constexpr uint32_t round_up_strict(uint32_t a, uint32_t b) { return (a + b) & (0u - b); }

enum TrigMode : int { TRIG_TANGENT = 0, TRIG_COSINE = 1, TRIG_SINE = 2 };

// Radians of an angle in degrees, first reduced into the range where the
// mode's function keeps its value.
double degrees_to_radians(double degrees, int mode);

}  // namespace qor::math

namespace qor::cstring {

// True when both NUL-terminated strings have the same length and bytes.
bool is_equal(const char* a, const char* b);

}  // namespace qor::cstring

namespace qor {

// Checked arithmetic: true and the result in *out when it fits, false on
// overflow (*out then unspecified).  Callers turn false into the memory or
// range error of their context.
template <class T>
[[nodiscard]] constexpr bool checked_add(T a, T b, T* out) { return !__builtin_add_overflow(a, b, out); }
template <class T>
[[nodiscard]] constexpr bool checked_sub(T a, T b, T* out) { return !__builtin_sub_overflow(a, b, out); }
template <class T>
[[nodiscard]] constexpr bool checked_mul(T a, T b, T* out) { return !__builtin_mul_overflow(a, b, out); }

}  // namespace qor
