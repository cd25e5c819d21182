// The boot payload: the definitions of the datatype, action and native
// words, written as the Qor text boot/natives.qor, carried as the Qorbin
// image boot/payload.qorbin made from it, and bound at start-up before the
// library runs; and the loading of the embedded Qor sources.
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/cell.hpp"
#include "datatypes/registry.hpp"

namespace qor::payload {

constexpr uint32_t ACTION_WORD_COUNT = ACTION_COUNT - 3;   // every slot but eval-path, set-path and compare
constexpr uint32_t DATATYPE_WORD_COUNT = 50;
constexpr const char* IMAGE_NAME = "boot/payload.qorbin";

// The 1-based natives table index of a native's name, 0 when there is none.
uint32_t native_index(const char* name);

// The values of UTF-8 text as a block (the lexer; syntax errors raise).
// May allocate: keep the answer rooted.
Cell load_text(const char* text);
Cell load_bytes(const unsigned char* data, uint32_t size);

// The block of an embedded source, its "Qor [...]" header skipped when it
// has one; the block is also kept in the root block for the whole run.
// A missing source ends the process with a boot failure report.
Cell load_embedded(const char* name);

// The block of boot/natives.qor (load_embedded): the datatype words, then
// the specs of the actions and of the natives.  May allocate.
Cell definitions();

// Binds each word of the natives section of `defs` to a native! of its
// natives table entry over its spec; answers how many it bound.  Needs what
// decode needs.  May allocate.  An unknown or malformed definition ends the
// process with a boot failure report.
uint32_t bind_natives(const Cell* defs);

// What decoding bound, for tests and reports.
struct Counts {
    uint32_t datatypes;
    uint32_t actions;
    uint32_t natives;
};

// The boot payload image of boot/natives.qor's definitions, in its order:
// the 50 datatype words, the 59 action words (slot order, modify right
// after mold), the 107 native words.  The image is checked in as
// boot/payload.qorbin (tools/make-boot-payload writes it).  Needs what
// decode needs and the lexer.  May allocate.
std::vector<uint8_t> build_image();

// Decodes the embedded boot payload (qorbin::decode_boot), which binds the
// 50 datatype words to their datatype! values (also for types not
// registered yet, as event! is until the GUI starts), the 59 action words to
// action! values of their slots and the 107 native words to native! values
// of their entries.  Needs the symbol table, the global context, the action
// table and the natives table.  The collector does not run meanwhile.  A
// corrupt payload ends the process; one that leaves a word unbound ends it
// with a boot failure report.
Counts decode();

// Ends the process: "*** Boot Error: " and the text on standard error,
// then runtime error 98.
[[noreturn]] void fail(const char* what, const char* detail = nullptr);

}  // namespace qor::payload
