// The elementary functions of the math natives and float actions, written
// here so that every build gives the same bits: the C libraries of the two
// platforms round differently in the last place.
//
// Each function first evaluates in doubles with a proven error bound (below
// 2^-61 of the result) and returns when every value within the bound rounds
// alike; otherwise (a few calls in a hundred) it evaluates again in
// double-double arithmetic (about 104 correct bits) with exact argument
// reduction and rounds once.  The result is the correctly rounded value
// unless the exact value lies within about 2^-100 (relative) of a midpoint
// between two doubles; no such argument is known to us, and none appears in
// the tests (the table, and 1.5 million random arguments checked while
// writing this).  Special values (zeros, infinities, NaN, domain errors)
// follow C99 Annex F.
// square root needs nothing here: IEEE sqrt is already correctly rounded.
// Nothing here allocates.
#pragma once

namespace qor::math {

double exp(double x);
double log(double x);     // natural logarithm
double log2(double x);    // exact at powers of two
double log10(double x);   // exact at powers of ten

// Arguments in radians, reduced exactly (any finite size).
double sin(double x);
double cos(double x);
double tan(double x);

double asin(double x);    // [-pi/2, pi/2]; NaN outside [-1, 1]
double acos(double x);    // [0, pi]; NaN outside [-1, 1]
double atan(double x);    // [-pi/2, pi/2]
double atan2(double y, double x);   // [-pi, pi], the angle of (x, y)

// x to the power y; exact integer powers are exact when representable.
double pow(double x, double y);

}  // namespace qor::math
