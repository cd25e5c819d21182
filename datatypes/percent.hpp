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

}  // namespace qor::percent
