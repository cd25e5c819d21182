// Letter case, one code point to one code point (Unicode 11.0).
//
// Every case-insensitive operation of the runtime (the uppercase and
// lowercase natives, comparisons and searches without regard to case, the
// string hash) folds through map_char, so all of them agree.  A character
// whose full mapping is several code points maps to the first of them
// (U+00DF upper-cases to U+0053); characters added after Unicode 11.0 have
// no mapping.
//
// The Basic Multilingual Plane is one direct table per direction, filled
// from the pair lists in runtime/case_tables.inc (made by
// tools/gen-case-tables.py); the few supplementary characters are looked up
// in short sorted pair lists.
//
// The string-level operation (changing the case of a string value in place,
// with /part) belongs with the string storage and is not here.
#pragma once
#include <cstdint>

namespace qor::case_ {

// Fills both BMP tables from the pair lists.  Idempotent; the tables are
// also filled before main, so map_char is usable from the start.
void init_tables();

// The code point in upper case (`upper` true) or lower case; code points
// without a mapping, and values beyond U+10FFFF, come back unchanged.
uint32_t map_char(uint32_t c, bool upper);

// Upper case when that differs from c, else lower case.
uint32_t swap_char(uint32_t c);
inline uint32_t to_upper_char(uint32_t c) { return map_char(c, true); }

// Introspection for tests: the number of source pairs per list.
struct PairCounts {
    uint32_t upper_bmp, lower_bmp, upper_supplementary, lower_supplementary;
};
PairCounts pair_counts();

}  // namespace qor::case_
