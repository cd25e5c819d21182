// The natives table: the entry points of the native! values, by 1-based
// index.  native! values carry their entry (natives/native.hpp); the boot
// payload's native records carry the index.  See call.hpp for the calling
// convention (NativeFn).
#pragma once
#include <cstdint>

namespace qor::natives {

constexpr uint32_t TABLE_SIZE = 120;

// Empties the table (count word 1) and hands it, with the action dispatcher
// table, to the native! module.
void init_table();
// Appends each address at the entry given by the count word minus 1 and
// advances the count word; entries past the table's size are refused.
void register_entries(uint32_t count, const uintptr_t* entries);
const uintptr_t* table();
uint32_t count_word();   // the number of used entries plus 1

}  // namespace qor::natives
