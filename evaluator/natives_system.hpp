// What the series, system, checksum and random natives share, and the hooks
// through which later parts of the system reach them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/cell.hpp"

namespace qor::natives {

// `wait` runs the GUI's pending window messages after it has slept; the GUI
// backend registers its message pump here (null: nothing to run).
using EventPump = void (*)();
void set_event_pump(EventPump pump);

// Start-up (after the ownership table): interns the checksum method words
// in their fixed order: tcp md5 sha1 crc32 adler32 sha256 sha384 sha512 hash.
void init_checksum_methods();

namespace sys {

// A new binary! at index 0 holding a copy of the bytes (allocates).
Cell make_binary(const uint8_t* bytes, uint32_t length);

// The bytes of a binary! from its index (clamped to the tail) and their
// count; the address is valid until the next allocation.
const uint8_t* binary_bytes(const Cell* binary, uint32_t* length);

// The bytes a value stands for: a binary!'s from its index, or the UTF-8 of
// a text value from its index.  A copy, so it survives allocation.
std::string bytes_of(const Cell* value);

}  // namespace sys

}  // namespace qor::natives
