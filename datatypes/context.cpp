// Contexts and binding (see context.hpp).
#include "datatypes/context.hpp"

#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "datatypes/fixed_words.hpp"
#include "datatypes/hash_table.hpp"
#include "datatypes/root_block.hpp"
#include "runtime/series.hpp"

#include <cstdlib>

namespace qor {

namespace context {

int32_t on_change_guard = 0;

namespace {

Node g_global = nullptr;
OnChangeHook g_on_change = nullptr;

constexpr uint32_t CONTEXT_CELLS = 2;

// A new cell at the tail of a value block, set to `value`.
Cell* append_value(Node values, const Cell& value) {
    Cell copy = value;
    gc::CellRoot keep(&copy);
    Cell* slot = series_buffer::alloc_tail_cell(buffer_of(values));
    *slot = copy;
    return slot;
}

bool is_stack_context(Node ctx) { return record(ctx)->header & CONTEXT_VALUES_ON_STACK; }

// Word lists hold positions and word cells hold slots; they agree except
// for a case variant added to the global context, whose word shares the
// earlier spelling's slot.  Lookups answer the word's slot.
int32_t slot_at_position(Node ctx, int32_t position) {
    return position < 0 ? -1 : int32_t(context::word_at(record(ctx), uint32_t(position))->data3);
}

// The value cell of a slot of a context with a value block.  A block that
// lags behind its word list (words added without values) is first filled
// with unset cells up to the slot, so no read or write leaves the block.
Cell* block_slot(Node ctx, int32_t slot) {
    Node values = values_node(ctx);
    while (buffer_of(values)->length() <= uint32_t(slot)) append_value(values, Cell{TYPE_UNSET, 0, 0, 0});
    return cells_head(buffer_of(values)) + slot;
}

int32_t self_symbol() {
    int32_t s = words::symbol(words::SYM_SELF);
    return s ? s : symbol::find("self");
}

// Marks the word of an assigned object slot.
void mark_changed(Node ctx, int32_t slot) {
    if (kind_of(ctx) != KIND_OBJECT || slot < 0 || uint32_t(slot) >= word_count(ctx)) return;
    context::word_at(record(ctx), uint32_t(slot))->header |= FLAG_ASSIGNED;
}

// The value cell of a slot, from the running call or the value block; a
// stack context without a call raises `id` with the slot's word.
Cell* slot_or_raise(Node ctx, int32_t slot, const char* id) {
    if (is_stack_context(ctx)) {
        Cell* first = stack_values(ctx);
        if (!first) {
            Cell word = *word_cell_at(ctx, slot);
            raise_error("script", id, &word);
        }
        return first + slot;
    }
    return block_slot(ctx, slot);
}

// Binding into a small context (a function's, most often) looks its words
// up in a table indexed by canonical symbol id, filled from the context's
// word list before the walk and cleared after it: a load per word instead
// of a hash probe.  Larger contexts keep the hash lookup, and so does a
// context holding case variants of one word in different slots, where the
// probe order decides which one a word finds.
constexpr uint32_t SLOT_TABLE_MAX_WORDS = 64;
int32_t* g_slot_table = nullptr;   // slot + 1 per canonical id; 0: not in the context
uint32_t g_slot_table_size = 0;

void clear_slot_table(Node ctx, uint32_t n);

// Fills the table with the context's words; false when it cannot serve.
bool fill_slot_table(Node ctx) {
    uint32_t n = word_count(ctx);
    if (n > SLOT_TABLE_MAX_WORDS) return false;
    uint32_t needed = uint32_t(symbol::count()) + 1;
    if (needed > g_slot_table_size) {
        uint32_t size = needed + needed / 2 + 64;
        auto* grown = static_cast<int32_t*>(std::calloc(size, sizeof(int32_t)));
        if (!grown) return false;
        std::free(g_slot_table);
        g_slot_table = grown;
        g_slot_table_size = size;
    }
    const Cell* rec = record(ctx);
    for (uint32_t i = 0; i < n; i++) {
        const Cell* w = context::word_at(rec, i);
        uint32_t id = uint32_t(symbol::resolve_alias(int32_t(w->data2)));
        int32_t slot = int32_t(w->data3);
        if (id >= g_slot_table_size || slot < 0 || (g_slot_table[id] && g_slot_table[id] != slot + 1)) {
            clear_slot_table(ctx, i);
            return false;
        }
        g_slot_table[id] = slot + 1;
    }
    return true;
}

// Clears what the first `n` words of the context set.
void clear_slot_table(Node ctx, uint32_t n) {
    const Cell* rec = record(ctx);
    for (uint32_t i = 0; i < n; i++) {
        uint32_t id = uint32_t(symbol::resolve_alias(int32_t(context::word_at(rec, i)->data2)));
        if (id < g_slot_table_size) g_slot_table[id] = 0;
    }
}

// The word's slot in the context the table holds, or -1.
inline int32_t table_slot(const Cell* word) {
    uint32_t id = uint32_t(symbol::resolve_alias(int32_t(word->data2)));
    return id < g_slot_table_size ? g_slot_table[id] - 1 : -1;
}

void bind_series(Node series, Node ctx, bool self, int32_t self_sym, bool by_table) {
    if (cycle_stack::find(series)) return;
    cycle_stack::push(series);
    // Nothing below allocates, so the buffer stays where it is.
    SeriesBuffer* s = buffer_of(series);
    for (Cell* c = cells_head(s); c < cells_tail(s); c++) {
        uint32_t t = type_of(c);
        if (is_any_word(t) || t == TYPE_REFINEMENT) {
            if (self && t == TYPE_WORD && int32_t(c->data2) == self_sym) {
                c->data1 = reinterpret_cast<uint32_t>(ctx);
                c->data3 = 0xFFFFFFFFu;
            } else if (by_table) {
                int32_t slot = table_slot(c);
                if (slot >= 0) {
                    c->data1 = reinterpret_cast<uint32_t>(ctx);
                    c->data3 = uint32_t(slot);
                }
            } else {
                bind_word(ctx, c);
            }
        } else if (is_any_block(t)) {
            if (c->data2) bind_series(cell_node(c), ctx, self, self_sym, by_table);
        }
    }
    cycle_stack::pop();
}

}  // namespace

void init() {
    TypeSpec spec = make_type_spec(TYPE_CONTEXT);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

void make_global() {
    g_global = nullptr;
    gc::unregister_global_node(&g_global);
    Node ctx = make_node(int32_t(GLOBAL_SLOTS), false, false, nullptr, KIND_GLOBAL);
    g_global = ctx;
    gc::register_global_node(&g_global);
}

Node global() { return g_global; }

// ---- The record ---------------------------------------------------------------------

Cell* self_cell(Node ctx) { return record(ctx) + 1; }
uint32_t kind_of(Node ctx) { return (record(ctx)->header & CONTEXT_KIND_MASK) >> CONTEXT_KIND_SHIFT; }
bool values_on_stack(Node ctx) { return is_stack_context(ctx); }
Node index_node(Node ctx) { return reinterpret_cast<Node>(record(ctx)->data1); }
Node values_node(Node ctx) { return is_stack_context(ctx) ? nullptr : reinterpret_cast<Node>(record(ctx)->data2); }
uint32_t word_count(Node ctx) { return context::word_list_buffer(record(ctx))->length(); }

Node node_of_record(const Cell* rec) {
    // Context blocks are made with their head at the start of the data.
    return reinterpret_cast<const SeriesBuffer*>(rec)[-1].node;
}

// ---- Making -------------------------------------------------------------------------------

Node make_node(int32_t slots, bool on_stack, bool self, Node source, uint32_t kind) {
    uint32_t n = slots < 1 ? 1u : uint32_t(slots);
    Node ctx = memory::alloc_cells(CONTEXT_CELLS);
    gc::NodeRoot keep_ctx(&ctx);
    gc::NodeRoot keep_source(&source);
    {
        SeriesBuffer* s = buffer_of(ctx);
        Cell* rec = cells_head(s);
        rec[0] = Cell{TYPE_CONTEXT | (on_stack ? CONTEXT_VALUES_ON_STACK : 0) | (self ? CONTEXT_HAS_SELF : 0) |
                          ((kind << CONTEXT_KIND_SHIFT) & CONTEXT_KIND_MASK),
                      0, 0, 0};
        rec[1] = Cell{TYPE_UNSET, 0, 0, 0};
        s->tail = s->head + CONTEXT_CELLS * sizeof(Cell);
    }
    if (!on_stack) {
        Node values = memory::alloc_cells_unset(n);
        record(ctx)->data2 = reinterpret_cast<uint32_t>(values);
    }
    Node table;
    if (source) {
        Cell source_record = *record(source);
        table = hashtable::make(int32_t(n), &source_record, hashtable::KIND_SYMBOL, 2);
    } else {
        table = hashtable::make(int32_t(n), nullptr, hashtable::KIND_SYMBOL);
    }
    record(ctx)->data1 = reinterpret_cast<uint32_t>(table);
    return ctx;
}

Node make_from_spec(const Cell* spec_in, bool on_stack, bool self, uint32_t kind) {
    Cell spec = *spec_in;
    gc::CellRoot keep_spec(&spec);
    uint32_t total = buffer_of(cell_node(&spec))->length();
    uint32_t first = spec.data1 < total ? spec.data1 : total;
    Node ctx = make_node(int32_t(total - first), on_stack, self, nullptr, kind);
    gc::NodeRoot keep_ctx(&ctx);
    uint32_t met = 0;
    for (uint32_t i = first; i < total; i++) {
        const Cell* c = cells_head(buffer_of(cell_node(&spec))) + i;
        uint32_t t = type_of(c);
        if (t != TYPE_WORD && t != TYPE_GET_WORD && t != TYPE_LIT_WORD && t != TYPE_REFINEMENT) continue;
        int32_t added = -1;
        find_or_add_symbol(ctx, int32_t(c->data2), true, &added);
        met++;
    }
    if (!on_stack) {
        // Room for every spec cell was made, so the tail stays in the buffer.
        SeriesBuffer* values = buffer_of(values_node(ctx));
        values->tail = values->head + met * sizeof(Cell);
    }
    return ctx;
}

Node copy_for_object(Cell* object, uint32_t kind) {
    Node old = reinterpret_cast<Node>(object->data1);
    uint32_t flags = record(old)->header & (CONTEXT_VALUES_ON_STACK | CONTEXT_HAS_SELF);
    uint32_t count = word_count(old);
    Node ctx = make_node(int32_t(count), flags & CONTEXT_VALUES_ON_STACK, flags & CONTEXT_HAS_SELF, old, kind);
    SeriesBuffer* words = context::word_list_buffer(record(ctx));
    for (Cell* w = cells_head(words); w < cells_tail(words); w++) w->data1 = reinterpret_cast<uint32_t>(ctx);
    object->data1 = reinterpret_cast<uint32_t>(ctx);
    return ctx;
}

// ---- Lookup and adding ----------------------------------------------------------------------

int32_t find_symbol(Node ctx, int32_t symbol, bool nocase) {
    return slot_at_position(ctx, hashtable::context_lookup(index_node(ctx), symbol, nocase, nullptr, nullptr));
}

int32_t find_or_add_symbol(Node ctx, int32_t symbol, bool nocase, int32_t* out) {
    gc::NodeRoot keep(&ctx);
    int32_t added = -1;
    int32_t position = hashtable::context_lookup(index_node(ctx), symbol, nocase, ctx, &added);
    if (position >= 0) return slot_at_position(ctx, position);
    if (out) *out = added;
    return -1;
}

int32_t bind_or_add_word(Node ctx, const Cell* word) {
    int32_t symbol = int32_t(word->data2);
    gc::NodeRoot keep(&ctx);
    int32_t added = -1;
    int32_t slot = find_or_add_symbol(ctx, symbol, true, &added);
    if (slot >= 0) return slot;
    if (!is_stack_context(ctx)) append_value(values_node(ctx), Cell{TYPE_UNSET, 0, 0, 0});
    return added;
}

void find_or_append(Node ctx, const Cell* word, const Cell* value) {
    Cell v = *value;
    gc::CellRoot keep_value(&v);
    gc::NodeRoot keep(&ctx);
    int32_t added = -1;
    int32_t slot = find_or_add_symbol(ctx, int32_t(word->data2), true, &added);
    if (slot < 0 && !is_stack_context(ctx)) {
        append_value(values_node(ctx), v);
        return;
    }
    Cell* cell = slot_or_raise(ctx, slot < 0 ? added : slot, "not-defined");
    *cell = v;
}

Cell* add_field_if_new(Node ctx, const Cell* word, const Cell* value) {
    Cell v = *value;
    gc::CellRoot keep_value(&v);
    gc::NodeRoot keep(&ctx);
    int32_t added = -1;
    if (find_or_add_symbol(ctx, int32_t(word->data2), true, &added) >= 0) return nullptr;
    if (!is_stack_context(ctx)) return append_value(values_node(ctx), v);
    Cell* cell = slot_or_raise(ctx, added, "not-defined");
    *cell = v;
    return cell;
}

bool collect_set_words(Node ctx, const Cell* block_in) {
    Cell block = *block_in;
    gc::CellRoot keep_block(&block);
    gc::NodeRoot keep(&ctx);
    uint32_t before = word_count(ctx);
    for (uint32_t i = block.data1; i < buffer_of(cell_node(&block))->length(); i++) {
        Cell c = cells_head(buffer_of(cell_node(&block)))[i];
        if (type_of(&c) == TYPE_SET_WORD) bind_or_add_word(ctx, &c);
    }
    return word_count(ctx) > before;
}

// ---- The global context -------------------------------------------------------------------

Cell* global_find_or_add(int32_t symbol, bool nocase, bool spelling) {
    Node g = g_global;
    if (!g) raise_error("internal", "not-done");
    int32_t added = -1;
    int32_t position = hashtable::context_lookup(index_node(g), symbol, nocase, g, &added);
    if (position >= 0) {
        Cell* found = context::word_at(record(g), uint32_t(position));
        if (nocase && spelling && int32_t(found->data2) != symbol) {
            Cell own = *found;
            own.data2 = uint32_t(symbol);
            return root_block::append(&own);
        }
        return found;
    }
    if (symbol::alias_of(symbol) > 0) {
        int32_t shared = hashtable::context_lookup(index_node(g), symbol, true, nullptr, nullptr);
        context::word_at(record(g), uint32_t(added))->data3 = uint32_t(slot_at_position(g, shared));
    }
    append_value(values_node(g), Cell{TYPE_UNSET, 0, 0, 0});
    return context::word_at(record(g), uint32_t(added));
}

Cell* make_global_word(int32_t symbol) {
    Cell* word = global_find_or_add(symbol, false, false);
    return root_block::collecting() ? root_block::append(word) : word;
}

void set_global_value(int32_t symbol, const Cell* value) {
    Cell v = *value;
    gc::CellRoot keep_value(&v);
    int32_t slot = int32_t(global_find_or_add(symbol, false, false)->data3);
    *block_slot(g_global, slot) = v;
}

Cell* global_value_pointer(int32_t symbol) { return value_by_symbol(symbol, g_global); }

Cell* value_by_symbol(int32_t symbol, Node ctx) {
    if (!ctx || is_stack_context(ctx)) ctx = g_global;
    if (!ctx) return nullptr;
    int32_t slot = find_symbol(ctx, symbol, true);
    return slot < 0 ? nullptr : block_slot(ctx, slot);
}

// ---- Binding --------------------------------------------------------------------------------

int32_t bind_word(Node ctx, Cell* word) {
    int32_t slot = find_symbol(ctx, int32_t(word->data2), true);
    if (slot >= 0) {
        word->data1 = reinterpret_cast<uint32_t>(ctx);
        word->data3 = uint32_t(slot);
    }
    return slot;
}

Cell* bind_deep(Cell* block, Node ctx, bool self) {
    if (!block->data2) return block;
    cycle_stack::Guard guard;
    // Cleared on the way out, also when the walk raises (a nesting too deep).
    struct SlotTableUse {
        Node ctx;
        bool filled;
        ~SlotTableUse() {
            if (filled) clear_slot_table(ctx, word_count(ctx));
        }
    } table{ctx, fill_slot_table(ctx)};
    bind_series(cell_node(block), ctx, self, self ? self_symbol() : 0, table.filled);
    return block;
}

// ---- Reading and writing slots ------------------------------------------------------------

Cell* word_value_pointer(const Cell* word_in, Node ctx) {
    Cell word = *word_in;
    int32_t slot = int32_t(word.data3);
    if (slot < 0) {
        Node own = reinterpret_cast<Node>(word.data1);
        if (own && int32_t(word.data2) == self_symbol()) return self_cell(own);
        raise_error("script", "no-value", &word);
    }
    if (!ctx) raise_error("script", "no-value", &word);
    if (is_stack_context(ctx)) {
        Cell* first = stack_values(ctx);
        if (!first) raise_error("script", "not-in-context", &word);
        return first + slot;
    }
    return block_slot(ctx, slot);
}

Cell* get_word_value(const Cell* word) { return word_value_pointer(word, reinterpret_cast<Node>(word->data1)); }

void set_on_change_hook(OnChangeHook hook) { g_on_change = hook; }

Cell* set_value(Cell* word, const Cell* value, Node ctx, bool notify) {
    Cell w = *word;
    Cell v = *value;
    gc::CellRoot keep(&w), keep_value(&v);
    gc::NodeRoot keep_ctx(&ctx);
    if (!ctx) raise_error("script", "not-defined", &w);
    int32_t slot = int32_t(w.data3);
    if (slot < 0) {
        slot = find_symbol(ctx, int32_t(w.data2), false);
        if (slot < 0) slot = bind_or_add_word(ctx, &w);
        w.data3 = uint32_t(slot);
        word->data3 = uint32_t(slot);
    }
    if (is_stack_context(ctx)) {
        Cell* first = stack_values(ctx);
        if (!first) raise_error("script", "not-defined", &w);
        first[slot] = v;
        return first + slot;
    }
    Cell* cell = block_slot(ctx, slot);
    if (kind_of(ctx) == KIND_OBJECT) {
        mark_changed(ctx, slot);
        Cell* self = self_cell(ctx);
        if (notify && g_on_change && type_of(self) != TYPE_UNSET && self->data3 != 0) {
            int32_t saved = on_change_guard;
            struct Restore {
                int32_t value;
                ~Restore() { on_change_guard = value; }
            } restore{saved};
            Cell object = *self;
            gc::CellRoot keep_object(&object);
            Cell* old = stack::push(cell);
            *block_slot(ctx, slot) = v;
            g_on_change(&object, &w, old, &v);
            return block_slot(ctx, slot);
        }
    }
    *cell = v;
    return cell;
}

Cell* set_word_value(Cell* word, const Cell* value) {
    return set_value(word, value, reinterpret_cast<Node>(word->data1), true);
}

void set_index_integer(Cell* word, int32_t n) {
    Cell value{TYPE_INTEGER, 0, uint32_t(n), 0};
    set_word_value(word, &value);
}

// ---- Slots by index -----------------------------------------------------------------------

Cell* word_cell_at(Node ctx, int32_t index) { return context::word_at(record(ctx), uint32_t(index)); }

Cell* push_word_cell(Node ctx, int32_t index) { return stack::push(word_cell_at(ctx, index)); }

Cell* word_for_symbol(Node ctx, int32_t symbol) {
    int32_t position = hashtable::context_lookup(index_node(ctx), symbol, false, nullptr, nullptr);
    if (position >= 0) return word_cell_at(ctx, position);
    return make_global_word(symbol);
}

Cell* push_local(Node ctx, int32_t index) {
    Cell value = *slot_or_raise(ctx, index, "not-defined");
    return stack::push(&value);
}

Cell* store_top_at(Node ctx, int32_t index) {
    Cell top = *stack::top_value();
    gc::CellRoot keep(&top);
    Cell* cell = slot_or_raise(ctx, index, "not-defined");
    *cell = top;
    mark_changed(ctx, index);
    return cell;
}

Cell* push_value_marked(Node ctx, int32_t index) {
    Cell top = *stack::top_value();
    gc::CellRoot keep(&top);
    Cell old = *slot_or_raise(ctx, index, "not-defined");
    stack::push(&old);
    Cell* cell = slot_or_raise(ctx, index, "not-defined");
    *cell = top;
    mark_changed(ctx, index);
    return cell;
}

}  // namespace context

namespace object {

Cell* value_pointer_at(Node ctx, int32_t index) { return cells_head(buffer_of(context::values_node(ctx))) + index; }

}  // namespace object

}  // namespace qor
