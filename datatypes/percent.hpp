// percent!: a float! written with a trailing "%"; it holds the fraction
// (50% holds 0.5) and takes every action but its text from float!.
//
//   header TYPE_PERCENT, words 2-3 = the fraction (double)
#pragma once
#include "runtime/cell.hpp"
#include "datatypes/float.hpp"

namespace qor::percent {

void init();   // registers percent!

inline Cell make(double fraction) { return float_::make(fraction, TYPE_PERCENT); }

// The literal decoder (literal.hpp): a number up to its "%".
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);

}  // namespace qor::percent
