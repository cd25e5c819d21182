// Qorbin: the binary serialisation of values (services/qorbin_format.hpp
// lays out the bytes).  One reader serves both encodings; two writers make
// the compact and the fixed-width one.
//
// The reader checks every byte it takes: counts against the bytes left,
// indexes against their tables, paths against the values they walk.  It
// allocates only for what is actually present in the input, never for what
// a count merely claims.  Bad input raises script/qb-invalid-record with
// the 1-based byte position where reading stopped (script/invalid-data for
// a wrong magic or packed data that does not unpack), values of types that
// are never serialised raise access/no-codec, and a datatype this build
// does not register yet raises access/no-codec naming it.
//
// The reader and writers keep module state and run on the main thread only.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::qorbin {

// The mode flag: 1 once a writer or the codec's decode ran (words take the
// codec form, decoded objects get the boot class id).
extern int32_t codec_mode;

// Reads one image from `data` (`length` bytes; negative: unknown, then only
// the records are bounded by their byte count) and appends its top-level
// values to `target` (a rooted block cell).  `subject` is the value named
// by invalid-data (the caller's input; null: none).  Values appended before
// an error stay in the target.
void decode(const uint8_t* data, int32_t length, Cell* target, const Cell* subject);

// A new binary! holding the image of the value: compact or fixed-width.
Cell encode(const Cell* value, bool compact);

}  // namespace qor::qorbin
