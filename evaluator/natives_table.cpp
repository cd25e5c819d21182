// The natives table (see natives_table.hpp).
#include "evaluator/natives_table.hpp"

#include "datatypes/native.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/natives.hpp"

namespace qor::natives {

// native! values read entries through the native! module's bound.
static_assert(TABLE_SIZE == native::NATIVES_TABLE_SIZE && NATIVE_COUNT <= TABLE_SIZE);

namespace {
uintptr_t g_table[TABLE_SIZE] = {};
uint32_t g_count = 1;
}  // namespace

void init_table() {
    for (uintptr_t& e : g_table) e = 0;
    g_count = 1;
    native::set_tables(g_table, actions::dispatcher_table());
}

void register_entries(uint32_t count, const uintptr_t* entries) {
    for (uint32_t i = 0; i < count && g_count - 1 < TABLE_SIZE; i++) g_table[g_count++ - 1] = entries[i];
}

const uintptr_t* table() { return g_table; }
uint32_t count_word() { return g_count; }

}  // namespace qor::natives
