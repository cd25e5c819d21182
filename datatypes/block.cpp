// Block storage and the helpers that build, walk and search blocks.
#include "datatypes/block.hpp"

#include <cstring>

#include "datatypes/dispatch.hpp"
#include "datatypes/hash_index.hpp"
#include "datatypes/none.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/series_internal.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/symbol.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "runtime/heap.hpp"

namespace qor::block {

namespace {

// The runtime's global block cells: where new_fixed_in and new_empty_in
// put a block when no parent is given.
Cell fixed_global = {TYPE_NONE, 0, 0, 0};
Cell empty_global = {TYPE_NONE, 0, 0, 0};

inline uint32_t capacity_of(int32_t requested) { return requested < 1 ? 1u : uint32_t(requested); }

// A fresh block buffer of n cells; with `unset_fill` every cell of the
// capacity reads unset!.
Node alloc_block(uint32_t n, bool unset_fill) {
    if (n > memory::MAX_CAPACITY / sizeof(Cell)) raise_error("internal", "no-memory");
    return unset_fill ? memory::alloc_cells_unset(n) : memory::alloc_cells(n);
}

// Writes an empty block of `node` into the cell, keeping its header flags.
void set_block(Cell* cell, Node node, uint32_t type) {
    cell->header = (cell->header & ~TYPE_MASK) | type;
    cell->data1 = 0;
    set_cell_node(cell, node);
    cell->data3 = 0;
}

// The cell at the parent's tail for a new block (or the global cell).
Cell* slot_in(Cell* parent, Cell* global) {
    if (!parent || type_of(parent) == TYPE_NONE) return global;
    return append_copy(parent, none_value);
}

}  // namespace

void init_storage() {
    fixed_global = Cell{TYPE_NONE, 0, 0, 0};
    empty_global = Cell{TYPE_NONE, 0, 0, 0};
    gc::register_global_cell(&fixed_global);
    gc::register_global_cell(&empty_global);
}

// ---- Read access ------------------------------------------------------------------------

uint32_t remaining_length(const Cell* block) {
    uint32_t total = total_length(block);
    return block->data1 >= total ? 0 : total - block->data1;
}

bool advance(Cell* block) {
    uint32_t total = total_length(block);
    if (block->data1 < total) block->data1++;
    return block->data1 >= total;
}

Cell* head_pointer(Cell* block) {
    uint32_t total = total_length(block);
    if (block->data1 > total) block->data1 = total;
    return cells_head(buffer(block)) + block->data1;
}

Cell* tail_pointer(const Cell* block) { return cells_tail(buffer(block)); }

bool at_tail_q(const Cell* block) { return block->data1 == total_length(block); }

Cell* cell_at(const Cell* block, uint32_t n) { return cells_head(buffer(block)) + n; }

Cell* item(const Cell* block, uint32_t n) {
    uint64_t at = uint64_t(block->data1) + n;
    if (at >= total_length(block)) return nullptr;
    return cell_at(block, uint32_t(at));
}

Cell* select_value(Cell* block, const Cell* value) {
    Cell key = *value;   // compare may allocate; keep the key off the buffer
    for (uint32_t i = block->data1; i < total_length(block); i++) {
        if (compare(&key, cell_at(block, i), COMP_FIND)) {
            return i + 1 < total_length(block) ? cell_at(block, i + 1) : none_value;
        }
    }
    return none_value;
}

Cell* select_word(Cell* block, const Cell* word, bool case_sensitive) {
    uint32_t symbol = word->data2;
    uint32_t wanted = case_sensitive ? symbol : uint32_t(qor::symbol::resolve_alias(int32_t(symbol)));
    Cell* head = head_pointer(block);
    Cell* tail = tail_pointer(block);
    for (Cell* c = head; c < tail; c++) {
        if (!is_any_word(type_of(c))) continue;
        uint32_t s = case_sensitive ? c->data2 : uint32_t(qor::symbol::resolve_alias(int32_t(c->data2)));
        if (s == wanted) return c + 1 < tail ? c + 1 : none_value;
    }
    return none_value;
}

// ---- Construction -----------------------------------------------------------------------

Cell make(int32_t capacity) {
    Cell cell = {TYPE_UNSET, 0, 0, 0};
    Node node = alloc_block(capacity_of(capacity), false);
    set_block(&cell, node, TYPE_BLOCK);
    return cell;
}

Cell* init_cell(Cell* cell, int32_t capacity) { return init_cell_unset_or_fixed(cell, capacity, false); }

Cell* init_cell_unset_or_fixed(Cell* cell, int32_t capacity, bool fixed) {
    // A collection during the allocation must not meet a stale series cell.
    cell->header = (cell->header & ~TYPE_MASK) | TYPE_UNSET;
    uint32_t n = capacity_of(capacity);
    Node node = fixed ? memory::alloc_fixed_series(n, sizeof(Cell), 0) : alloc_block(n, true);
    set_block(cell, node, TYPE_BLOCK);
    return cell;
}

Cell* new_fixed_in(Cell* parent) {
    Cell fresh = {TYPE_UNSET, 0, 0, 0};
    init_cell_unset_or_fixed(&fresh, 1, true);
    Cell* slot = slot_in(parent, &fixed_global);
    *slot = fresh;
    return slot;
}

Cell* new_empty_in(Cell* parent, int32_t capacity) {
    Cell fresh = {TYPE_UNSET, 0, 0, 0};
    init_cell(&fresh, capacity);
    Cell* slot = slot_in(parent, &empty_global);
    *slot = fresh;
    return slot;
}

Cell* push_new(int32_t capacity) {
    Cell* slot = stack::push_slot();
    slot->header = TYPE_UNSET;
    Node node = alloc_block(capacity_of(capacity), false);
    *slot = Cell{TYPE_BLOCK, 0, 0, 0};
    set_cell_node(slot, node);
    return slot;
}

Cell* push_cell(const Cell* block) { return stack::push(block); }

// ---- Changing ---------------------------------------------------------------------------

Cell* append_copy(Cell* block, const Cell* value) {
    Cell copy = *value;   // the value may lie in the buffer that grows
    SeriesBuffer* s = series::reserve(cell_node(block), sizeof(Cell), series::Growth::Double);
    Cell* slot = cells_tail(s);
    *slot = copy;
    s->tail += sizeof(Cell);
    return slot;
}

Cell* append_cells_of(Cell* destination, const Cell* source) {
    Cell src = *source;
    uint32_t n = remaining_length(&src);
    if (n == 0) return destination;
    SeriesBuffer* d = series::reserve(cell_node(destination), n * uint32_t(sizeof(Cell)), series::Growth::Double);
    // The source may be the destination itself: read it after the growth.
    std::memmove(d->tail, cell_at(&src, src.data1), n * sizeof(Cell));
    d->tail += n * sizeof(Cell);
    return destination;
}

Cell* insert_value(Cell* block, const Cell* value, bool advance_index, bool at_head) {
    Cell copy = *value;
    uint32_t total = total_length(block);
    uint32_t at = at_head ? 0 : (block->data1 > total ? total : block->data1);
    SeriesBuffer* s = buffer(block);
    if (s->tail + sizeof(Cell) > s->data_end()) {
        uint64_t grow = (uint64_t(s->byte_length()) + sizeof(Cell)) * 2;
        if (grow > memory::MAX_CAPACITY) raise_error("internal", "no-memory");
        s = memory::expand_series(s, uint32_t(grow));
    }
    series::open_gap(s, at * uint32_t(sizeof(Cell)), sizeof(Cell));
    cells_head(s)[at] = copy;
    hash_index::shift(block, 1, at, total - at);
    hash_index::put(block, at);
    if (advance_index) block->data1 = at + 1;
    return block;
}

Cell* insert_cells_of(Cell* destination, const Cell* source) {
    Cell src = *source;
    uint32_t n = remaining_length(&src);
    if (n == 0) return destination;
    // A source sharing the destination's buffer shifts under the inserts:
    // take its cells out first (they stay reachable in the block meanwhile).
    Cell* run = static_cast<Cell*>(heap::alloc(n * sizeof(Cell)));
    std::memcpy(run, cell_at(&src, src.data1), n * sizeof(Cell));
    try {
        for (uint32_t i = 0; i < n; i++) insert_value(destination, &run[i], true, false);
    } catch (...) {
        heap::free(run);
        throw;
    }
    heap::free(run);
    return destination;
}

void append_stack_arg() {
    Cell* base = stack::arguments_base();
    insert_value(base - 1, base, true, false);
}

Cell* append_next_arg() {
    Cell* base = stack::arguments_base();
    Cell* cell = append_copy(base, base + 1);
    hash_index::put(base, uint32_t(cell - cells_head(buffer(base))));
    return base;
}

void append_stack_arg_hashed() {
    Cell* base = stack::arguments_base();
    Cell* cell = append_copy(base - 1, base);
    hash_index::put(base - 1, uint32_t(cell - cells_head(buffer(base - 1))));
}

void clear_at_index(Cell* block) {
    SeriesBuffer* s = buffer(block);
    uint32_t total = total_length(block);
    uint32_t at = block->data1 > total ? total : block->data1;
    s->tail = s->head + at * sizeof(Cell);
}

void truncate_at(Cell* block, uint32_t n) {
    SeriesBuffer* s = buffer(block);
    uint32_t total = total_length(block);
    s->tail = s->head + (n > total ? total : n) * sizeof(Cell);
}

void remove_last(Cell* block) {
    SeriesBuffer* s = buffer(block);
    if (s->tail == s->head) return;
    s->tail -= sizeof(Cell);
    uint32_t total = total_length(block);
    if (block->data1 > total) block->data1 = total;
}

bool remove_value(Cell* block, const Cell* value, bool from_head) {
    Cell key = *value;
    uint32_t start = from_head ? 0 : block->data1;
    for (uint32_t i = start; i < total_length(block); i++) {
        if (!compare(&key, cell_at(block, i), COMP_FIND)) continue;
        uint32_t total = total_length(block);
        hash_index::delete_range(block, i, 1);
        series::close_gap(buffer(block), i * uint32_t(sizeof(Cell)), sizeof(Cell));
        hash_index::shift(block, -1, i + 1, total - i - 1);
        return i <= block->data1;
    }
    return false;
}

// ---- Copies -------------------------------------------------------------------------------

Cell copy(const Cell* block) {
    Cell src = *block;
    uint32_t n = remaining_length(&src);
    Cell result = {TYPE_UNSET, 0, 0, 0};
    Node node = alloc_block(n ? n : 1, false);
    SeriesBuffer* s = buffer_of(node);
    if (n) std::memcpy(s->head, cell_at(&src, src.data1), n * sizeof(Cell));
    s->tail = s->head + n * sizeof(Cell);
    result = Cell{type_of(&src), 0, 0, 0};
    set_cell_node(&result, node);
    return result;
}

Cell* clone(const Cell* block, bool deep, bool paths) {
    Cell src = *block;
    Cell* result = stack::push_slot();
    result->header = TYPE_UNSET;
    Cell fresh = copy(&src);
    *result = fresh;
    if (!deep) return result;

    Node src_node = cell_node(&src);
    if (cycle_stack::find(src_node)) {
        cycle_stack::reset();
        raise_error("internal", "no-cycle");
    }
    cycle_stack::Guard guard;
    cycle_stack::push(src_node);
    uint32_t n = remaining_length(result);
    for (uint32_t i = 0; i < n; i++) {
        Cell* c = cell_at(result, i);
        uint32_t t = type_of(c);
        bool nested = t == TYPE_BLOCK || (paths && (t == TYPE_PAREN || is_any_path(t)));
        if (!nested) continue;
        Cell inner = *c;
        Cell* made = clone(&inner, deep, paths);
        // Keep the nested cell's header (its new-line marker included).
        Cell* slot = cell_at(result, i);
        slot->data1 = 0;
        slot->data2 = made->data2;
        slot->data3 = 0;
        stack::pop(1);
    }
    return result;
}

void copy_typed_values(Node node, uint32_t first, uint32_t end, uint32_t step, bool deep, const Cell* types) {
    Cell spec = *types;
    Cell holder = {TYPE_BLOCK, 0, 0, 0};   // keeps the buffer reachable and addressable
    set_cell_node(&holder, node);
    gc::CellRoot keep(&holder);
    if (step == 0) step = 1;
    for (uint32_t i = first; i < end; i += step) {
        if (i >= total_length(&holder)) break;
        Cell* c = cell_at(&holder, i);
        uint32_t t = type_of(c);
        bool named;
        if (type_of(&spec) == TYPE_TYPESET) {
            const uint8_t* mask = reinterpret_cast<const uint8_t*>(&spec.data1);
            named = t < 96 && (mask[t >> 3] & (0x80u >> (t & 7))) != 0;
        } else {
            named = type_of(&spec) == TYPE_DATATYPE && spec.data1 == t;
        }
        bool copyable = is_series(t) || t == TYPE_BITSET || t == TYPE_OBJECT || t == TYPE_ERROR || t == TYPE_MAP;
        if (!named || !copyable) continue;
        Cell value = *c;
        Cell made = {TYPE_UNSET, 0, 0, 0};
        gc::CellRoot keep_made(&made);
        dispatch::copy(&value, &made, nullptr, deep, deep ? &spec : nullptr);
        *cell_at(&holder, i) = made;
    }
}

}  // namespace qor::block
