// Conversions that integer!, float! and time! need from types registered
// after them (money!, date!), and from objects.  Each provider installs its
// entry when it registers.  Until then the entry is null: a money! or date!
// spec is refused like any unsupported spec (script/bad-to-arg), a money!
// operand of compare is not comparable, and nobody is told of path writes.  The action slots of the later types (their arithmetic and
// comparison) are reached through the registry instead and need no hook.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::number_hooks {

struct Hooks {
    // money!: conversions in and out (each raises its own errors: an
    // integer out of range is script/type-limit with integer!, a float that
    // cannot be money script/bad-make-arg).
    void    (*money_from_integer)(int32_t n, Cell* out) = nullptr;
    void    (*money_from_float)(double x, bool strict, Cell* out) = nullptr;
    int32_t (*money_to_integer)(const Cell* money) = nullptr;
    double  (*money_to_float)(const Cell* money) = nullptr;

    // date!: seconds since the start of 1970, in 32-bit arithmetic.
    int32_t (*date_to_epoch_seconds)(const Cell* date) = nullptr;

    // A path write changed a scalar in place (a time's field, ...): tells the
    // owner.  `parent` holds the value (an object!, or an owned series),
    // `previous` is the element that led to it, `old_value` and `new_value`
    // are the whole value before and after, `field` the field number.
    void (*notify_path_change)(Cell* parent, const Cell* previous, const Cell* old_value,
                               const Cell* new_value, int32_t field) = nullptr;

    // vector!: a number on the left of a vector (the number in the result
    // slot, the vector next); the vector answers op(number, element).
    void (*vector_scalar_math)(int32_t op) = nullptr;
};

Hooks& get();

}  // namespace qor::number_hooks
