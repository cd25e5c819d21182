// The hooks through which later parts of the system reach the system
// natives, and the checksum natives' start-up.
#pragma once
#include <cstdint>

namespace qor::natives {

// `wait` runs the GUI's pending window messages after it has slept; the GUI
// backend registers its message pump here (null: nothing to run).
using EventPump = void (*)();
void set_event_pump(EventPump pump);

// Start-up (after the ownership table): interns the checksum method words
// in their fixed order: tcp md5 sha1 crc32 adler32 sha256 sha384 sha512 hash.
void init_checksum_methods();

}  // namespace qor::natives
