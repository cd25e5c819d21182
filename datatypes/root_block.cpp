// The root block (see root_block.hpp).
#include "datatypes/root_block.hpp"

#include "datatypes/raise_seam.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"

namespace qor::root_block {

namespace {

Node g_root = nullptr;
bool g_collecting = false;

}  // namespace

void make(uint32_t room) {
    g_root = nullptr;
    g_collecting = false;
    gc::unregister_global_node(&g_root);
    g_root = memory::alloc_fixed_series(room ? room : 1, sizeof(Cell), 0);
    gc::register_global_node(&g_root);
}

bool exists() { return g_root != nullptr; }

Node node() { return g_root; }

uint32_t length() { return g_root ? buffer_of(g_root)->length() : 0; }

Cell* cell_at(uint32_t i) { return cells_head(buffer_of(g_root)) + i; }

Cell* append(const Cell* value) {
    if (!g_root) raise_error("internal", "not-done");
    Cell copy = *value;  // the value may lie in a buffer that the growth moves
    gc::CellRoot keep(&copy);
    Cell* slot = series_buffer::alloc_tail_cell(buffer_of(g_root));
    *slot = copy;
    return slot;
}

bool collecting() { return g_collecting; }

void set_collecting(bool on) { g_collecting = on; }

}  // namespace qor::root_block
