// Registration of the natives in table order (see natives.hpp).
#include "evaluator/natives.hpp"

#include "datatypes/block.hpp"
#include "evaluator/natives_table.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"
#include "datatypes/root_block.hpp"

namespace qor::natives {

namespace {

uint32_t g_print_index = 0;
uint32_t g_print_generation = 0;

void init_print_block() {
    if (!root_block::exists()) root_block::make();
    Cell scratch = block::make(32);
    gc::CellRoot keep(&scratch);
    root_block::append(&scratch);
    g_print_index = root_block::length() - 1;
    g_print_generation = memory::generation();
}

uintptr_t entry(int32_t (*fn)(bool, const int32_t*)) { return reinterpret_cast<uintptr_t>(fn); }

}  // namespace

Cell* print_block() {
    if (g_print_generation != memory::generation() || !root_block::exists() ||
        g_print_index >= root_block::length())
        return nullptr;
    return root_block::cell_at(g_print_index);
}

void init() {
    init_table();
    init_print_block();
    const uintptr_t entries[NATIVE_COUNT] = {
#define QOR_NATIVE_ENTRY(c_name, index, spelling) entry(c_name),
        QOR_NATIVE_LIST(QOR_NATIVE_ENTRY)
#undef QOR_NATIVE_ENTRY
    };
    register_entries(NATIVE_COUNT, entries);
}

}  // namespace qor::natives
