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
#include <vector>

#include "runtime/cell.hpp"

namespace qor::qorbin {

// The mode flag: 1 once a writer or the codec's decode ran (words take the
// codec form, decoded objects get the boot class id); 0 while the boot
// payload is read (decode_boot).
extern int32_t codec_mode;

// After a start-up read: root cell 0, the first cell the read appended.
extern Cell* payload_root_base;

// Reads one image from `data` (`length` bytes; negative: unknown, then only
// the records are bounded by their byte count) and appends its top-level
// values to `target` (a rooted block cell).  `subject` is the value named
// by invalid-data (the caller's input; null: none).  Values appended before
// an error stay in the target.
void decode(const uint8_t* data, int32_t length, Cell* target, const Cell* subject);

// Reads an image in the start-up form: words bound to the global context
// or, by root index and slot, to the context of a root cell of this read
// (root cell n is the n-th value the read appended); definition records
// set their word and leave nothing behind; native! and action! records are
// made from their table index, and at the top level leave their spec after
// them.  Errors raise as decode does.  Answers root cell 0's address (valid
// until the target grows).
Cell* decode_startup(const uint8_t* data, int32_t length, Cell* target);

// The boot payload: sets the mode flag to 0 and reads `payload` in the
// start-up form into the root block with the collector off.  A payload that
// cannot be read prints a message on standard error and ends the process
// with the runtime's error report.  Sets payload_root_base (restored after
// the read with `keep`) and answers root cell 0.  A negative length bounds
// only the records, by their byte count.
Cell* decode_boot(const uint8_t* payload, bool keep, int32_t length = -1);

// One definition of the boot payload: a word set to a datatype!, action! or
// native! (for those two `index` is the 1-based table index, else the
// datatype id, and `spec` the spec block).
struct BootDefinition {
    int32_t     symbol;
    uint32_t    type;
    uint32_t    index;
    const Cell* spec;
};

// The image of the boot payload: version 1, compact, a symbol table, one
// definition record per entry in order and no root values.
std::vector<uint8_t> encode_boot(const BootDefinition* definitions, uint32_t count);

// A new binary! holding the image of the value: compact or fixed-width.
Cell encode(const Cell* value, bool compact);

}  // namespace qor::qorbin
