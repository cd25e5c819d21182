// Small services that many datatypes share: the elision marker that mold
// and form write for a cycle, indentation, repeated filling, and the checked
// conversion of a number to a 32-bit integer.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::mold {

// Appends n times four spaces; answers limit - 4n.
int32_t indent(Cell* out, int32_t depth, int32_t limit);

// When the value's key (context node of an object, else series node) is on
// the cycle stack, appends the value's cycle marker, takes its length off
// *limit and answers true; otherwise does nothing and answers false.
// Molding: block! and hash! "[...]", paren! "(...)", map! "#[...]",
// object! "make object! [...]", the path kinds "..."; forming: "...".
bool cycle_marker(const Cell* value, Cell* out, int32_t* limit, bool molding);

}  // namespace qor::mold

namespace qor::memory {

// Fills `count` units of `unit` bytes at `buffer` by copying the already
// filled prefix after itself (1, 2, 4 ... units), the first unit being in
// place already; answers the address after the last unit.
uint8_t* fill_repeat(uint8_t* buffer, uint32_t unit, uint32_t count);

}  // namespace qor::memory

namespace qor::number {

// A float! outside -2147483648..2147483647, or NaN, raises
// script/out-of-range with the value; otherwise it is truncated toward
// zero.  Any other cell gives its integer! payload (word 2).
int32_t float_to_int_checked(const Cell* value);

}  // namespace qor::number
