// The action table and the entries (see actions.hpp).
#include "evaluator/actions.hpp"

#include <climits>

#include "datatypes/bitset.hpp"
#include "datatypes/block.hpp"
#include "datatypes/error.hpp"
#include "datatypes/native.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "evaluator/natives_table.hpp"
#include "datatypes/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/runtime_error.hpp"

namespace qor::actions {

// action! values read entries through the native! module's bound.
static_assert(native::DISPATCHER_TABLE_SIZE == uint32_t(ACTION_COUNT));

uintptr_t dispatcher[ACTION_COUNT] = {};

namespace {

inline Cell* arg(int32_t i) { return stack::arguments_base() + i; }
inline bool flag(const int32_t* refs, int k) { return refs[k] != -1; }
inline Cell* ref_arg(const int32_t* refs, int k) {
    return refs[k] == -1 ? nullptr : stack::arguments_base() + refs[k];
}

// The answer of a dispatcher becomes the call's result.
inline void result_from(Cell* answer) {
    Cell* base = stack::arguments_base();
    if (answer && answer != base) *base = *answer;
    stack::keep();
}

inline void call_direct(int slot) { reinterpret_cast<DirectFn>(get_action_of_argument(slot))(); }

// The /part count of append, insert and change (-1 when absent).
int32_t part_count(const Cell* series, const Cell* value, const Cell* part, bool change) {
    if (!part) return -1;
    const Cell* target = change ? series : value;
    if (!change) {
        uint32_t t = type_of(value);
        if (!(is_any_block(t) || is_any_string(t) || t == TYPE_BINARY || t == TYPE_VECTOR ||
              t == TYPE_IMAGE || t == TYPE_MAP))
            raise_error("script", "invalid-part", value);
    }
    if (type_of(part) == TYPE_INTEGER) return int32_t(part->data2);
    bool same = type_of(part) == type_of(target) && is_series(type_of(part)) && part->data2 == target->data2;
    if (change && (type_of(target) == TYPE_PORT || type_of(target) == TYPE_IMAGE)) same = false;
    if (!same) raise_error("script", "invalid-refine-arg", "part", part);
    uint32_t tail = buffer_of(cell_node(target))->length();
    uint32_t a = part->data1 > tail ? tail : part->data1;
    uint32_t b = target->data1 > tail ? tail : target->data1;
    return int32_t(a) - int32_t(b);
}

// The index of pick and poke.
int32_t pick_index(const Cell* index) {
    switch (type_of(index)) {
    case TYPE_INTEGER: return int32_t(index->data2);
    case TYPE_CHAR: return int32_t(index->data2);
    case TYPE_LOGIC: return index->data1 ? 1 : 2;
    default: return 0;
    }
}

// form and mold: the text in a new string, cut to the /part limit.
void text_entry(bool molding, const int32_t* refs, int part_ref) {
    Cell* part = ref_arg(refs, part_ref);
    int32_t limit = INT32_MAX;
    if (part) {
        limit = int32_t(part->data2);
        if (limit < 1) {
            Cell empty = string::make(16);
            stack::set_last_keep(&empty);
            return;
        }
    }
    Cell part_cell = part ? *part : Cell{TYPE_NONE, 0, 0, 0};
    stack::keep();
    Cell out = string::make(16);
    Cell* out_cell = stack::push(&out);
    Cell* value = stack::arguments_base();
    Cell* p = part ? &part_cell : nullptr;
    if (molding) dispatch::mold(value, out_cell, flag(refs, 0), flag(refs, 1), flag(refs, 2), p, limit, 0);
    else dispatch::form(value, out_cell, p, limit);
    out = *out_cell;
    if (part && string::length(&out) > uint32_t(limit)) string::truncate_tail(&out, out.data1 + uint32_t(limit));
    stack::set_last_keep(&out);
}

// append and insert share one implementation.
void insert_entry(const int32_t* refs, bool append) {
    Cell* series = arg(0);
    Cell* value = arg(1);
    int32_t part = part_count(series, value, ref_arg(refs, 0), false);
    int32_t dup = flag(refs, 2) ? int32_t(ref_arg(refs, 2)->data2) : 1;
    Cell* r = append ? dispatch::append(series, value, part, flag(refs, 1), dup)
                     : dispatch::insert(series, value, part, flag(refs, 1), dup);
    result_from(r);
}

}  // namespace

// ---- The table ----------------------------------------------------------------------------------

void register_entries(uint32_t count, const uintptr_t* entries) {
    for (uint32_t i = 0; i < count && i < uint32_t(ACTION_COUNT); i++) dispatcher[i] = entries[i];
}

ActionFn entry_of_slot(int slot) {
    if (slot < 1 || slot > ACTION_COUNT) return nullptr;
    return reinterpret_cast<ActionFn>(dispatcher[slot - 1]);
}

void init() {
    static const ActionFn entries[ACTION_COUNT] = {
#define QOR_ACTION_ENTRY(name, slot, c_name, spelling, signature) entry_##c_name,
        QOR_ACTION_LIST(QOR_ACTION_ENTRY)
#undef QOR_ACTION_ENTRY
    };
    uintptr_t words[ACTION_COUNT];
    for (int i = 0; i < ACTION_COUNT; i++) words[i] = reinterpret_cast<uintptr_t>(entries[i]);
    // set-path is reached through eval-path only: its slot has no entry.
    words[SLOT_SET_PATH - 1] = 0;
    register_entries(ACTION_COUNT, words);
    native::set_tables(natives::table(), dispatcher);
}

// ---- Entries --------------------------------------------------------------------------------------

void entry_make(const int32_t*) { result_from(dispatch::make(arg(0), arg(1))); }
void entry_random(const int32_t* r) {
    result_from(dispatch::random(arg(0), flag(r, 0), flag(r, 1), flag(r, 2)));
}
void entry_reflect(const int32_t*) { result_from(dispatch::reflect(arg(0), arg(1))); }
void entry_to(const int32_t*) { result_from(dispatch::to(arg(0), arg(1))); }
void entry_form(const int32_t* r) { text_entry(false, r, 0); }
void entry_mold(const int32_t* r) { text_entry(true, r, 3); }

void entry_eval_path(const int32_t*) {
    Cell* base = stack::arguments_base();
    uint32_t n = uint32_t(stack::arguments_top() - base);
    Cell* new_value = n > 2 && type_of(base + 2) != TYPE_NONE ? base + 2 : nullptr;
    Cell* path = n > 3 && type_of(base + 3) != TYPE_NONE ? base + 3 : nullptr;
    Cell none{TYPE_NONE, 0, 0, 0};
    Cell parent = n > 4 ? base[4] : none;
    Cell previous = n > 5 ? base[5] : none;
    Cell value = base[0], element = base[1];
    gc::CellRoot keep(&value), keep_el(&element), keep_parent(&parent), keep_prev(&previous);
    auto impl = reinterpret_cast<EvalPathFn>(lookup_for_path(&value, SLOT_EVAL_PATH, path, &element, 1));
    result_from(impl(&value, &element, new_value, path, &parent, &previous, 0, false, 0, true, false));
}

void entry_set_path(const int32_t*) {}

void entry_compare(const int32_t*) {
    int32_t op = int32_t(arg(2)->data2);
    bool r = compare(arg(0), arg(1), op);
    stack::set_last_keep(r ? Cell{TYPE_LOGIC, 1, 0, 0} : Cell{TYPE_LOGIC, 0, 0, 0});
}

void entry_absolute(const int32_t*) { call_direct(SLOT_ABSOLUTE); }
void entry_add(const int32_t*) { call_direct(SLOT_ADD); }
void entry_divide(const int32_t*) { call_direct(SLOT_DIVIDE); }
void entry_multiply(const int32_t*) { call_direct(SLOT_MULTIPLY); }
void entry_negate(const int32_t*) { result_from(dispatch::negate(arg(0))); }
void entry_power(const int32_t*) { call_direct(SLOT_POWER); }
void entry_remainder(const int32_t*) { call_direct(SLOT_REMAINDER); }
void entry_round(const int32_t* r) {
    result_from(dispatch::round(arg(0), ref_arg(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4),
                                flag(r, 5), flag(r, 6)));
}
void entry_subtract(const int32_t*) { call_direct(SLOT_SUBTRACT); }
void entry_even_q(const int32_t*) {
    int32_t v = dispatch::even_q(arg(0));
    stack::set_last_keep(Cell{TYPE_LOGIC, v ? 1u : 0u, 0, 0});
}
void entry_odd_q(const int32_t*) {
    int32_t v = dispatch::odd_q(arg(0));
    stack::set_last_keep(Cell{TYPE_LOGIC, v ? 1u : 0u, 0, 0});
}
void entry_and_t(const int32_t*) { call_direct(SLOT_AND_T); }
void entry_complement(const int32_t*) { result_from(dispatch::complement(arg(0))); }
void entry_or_t(const int32_t*) { call_direct(SLOT_OR_T); }
void entry_xor_t(const int32_t*) { call_direct(SLOT_XOR_T); }
void entry_append(const int32_t* r) { insert_entry(r, true); }
void entry_at(const int32_t*) { call_direct(SLOT_AT); }
void entry_back(const int32_t*) { call_direct(SLOT_BACK); }
void entry_change(const int32_t* r) {
    Cell* series = arg(0);
    int32_t part = part_count(series, arg(1), ref_arg(r, 0), true);
    int32_t dup = flag(r, 2) ? int32_t(ref_arg(r, 2)->data2) : 1;
    result_from(dispatch::change(series, arg(1), part, flag(r, 1), dup));
}
void entry_clear(const int32_t*) { result_from(dispatch::clear(arg(0))); }
void entry_copy(const int32_t* r) {
    Cell* types = ref_arg(r, 2);
    if (types && type_of(types) != TYPE_DATATYPE && type_of(types) != TYPE_TYPESET) {
        Cell call = stack::current_call();
        gc::CellRoot keep(&call);
        Cell dt{TYPE_DATATYPE, type_of(types), 0, 0};
        Cell name = error::argument_word(5);   // value /part length /deep /types kind
        raise_error("script", "expect-arg", &call, &dt, &name);
    }
    Cell value = *arg(0);
    gc::CellRoot keep(&value);
    *arg(0) = Cell{TYPE_UNSET, 0, 0, 0};
    result_from(dispatch::copy(&value, arg(0), ref_arg(r, 0), flag(r, 1), types));
}
void entry_find(const int32_t* r) {
    result_from(dispatch::find(arg(0), arg(1), ref_arg(r, 0), flag(r, 1), flag(r, 2), flag(r, 3),
                               flag(r, 4), ref_arg(r, 5), ref_arg(r, 6), flag(r, 7), flag(r, 8),
                               flag(r, 9), flag(r, 10)));
}
void entry_head(const int32_t*) { call_direct(SLOT_HEAD); }
void entry_head_q(const int32_t*) { call_direct(SLOT_HEAD_Q); }
void entry_index_q(const int32_t*) { call_direct(SLOT_INDEX_Q); }
void entry_insert(const int32_t* r) { insert_entry(r, false); }
void entry_length_q(const int32_t*) {
    int32_t n = dispatch::length_q(arg(0));
    stack::set_last_keep(n < 0 ? Cell{TYPE_NONE, 0, 0, 0} : Cell{TYPE_INTEGER, 0, uint32_t(n), 0});
}
void entry_move(const int32_t* r) { result_from(dispatch::move(arg(0), arg(1), ref_arg(r, 0))); }
void entry_next(const int32_t*) { call_direct(SLOT_NEXT); }
// A bitset is picked and poked by any value it holds (chars, strings,
// blocks of ranges), which its integer-index slots cannot carry.
void entry_pick(const int32_t*) {
    if (type_of(arg(0)) == TYPE_BITSET) return result_from(bitset::pick_value(arg(0), arg(1)));
    result_from(dispatch::pick(arg(0), pick_index(arg(1))));
}
void entry_poke(const int32_t*) {
    if (type_of(arg(0)) == TYPE_BITSET) return result_from(bitset::poke_value(arg(0), arg(1), arg(2)));
    result_from(dispatch::poke(arg(0), pick_index(arg(1)), arg(2)));
}
void entry_put(const int32_t* r) { result_from(dispatch::put(arg(0), arg(1), arg(2), flag(r, 0))); }
void entry_remove(const int32_t* r) { result_from(dispatch::remove(arg(0), ref_arg(r, 0), ref_arg(r, 1))); }
void entry_reverse(const int32_t* r) {
    result_from(dispatch::reverse(arg(0), ref_arg(r, 0), ref_arg(r, 1)));
}
void entry_select(const int32_t* r) {
    result_from(dispatch::select(arg(0), arg(1), ref_arg(r, 0), flag(r, 1), flag(r, 2), flag(r, 3),
                                 flag(r, 4), ref_arg(r, 5), ref_arg(r, 6), flag(r, 7), flag(r, 8)));
}
void entry_sort(const int32_t* r) {
    result_from(dispatch::sort(arg(0), flag(r, 0), ref_arg(r, 1), ref_arg(r, 2), ref_arg(r, 3), flag(r, 4),
                               flag(r, 5), flag(r, 6)));
}
void entry_skip(const int32_t*) { call_direct(SLOT_SKIP); }
void entry_swap(const int32_t*) { result_from(dispatch::swap(arg(0), arg(1))); }
void entry_tail(const int32_t*) { call_direct(SLOT_TAIL); }
void entry_tail_q(const int32_t*) { call_direct(SLOT_TAIL_Q); }
void entry_take(const int32_t* r) {
    result_from(dispatch::take(arg(0), ref_arg(r, 0), flag(r, 1), flag(r, 2)));
}
void entry_trim(const int32_t* r) {
    result_from(dispatch::trim(arg(0), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4),
                               ref_arg(r, 5)));
}
void entry_create(const int32_t*) { result_from(dispatch::create(arg(0))); }
void entry_close(const int32_t*) { result_from(dispatch::close(arg(0))); }
void entry_delete(const int32_t*) { result_from(dispatch::delete_(arg(0))); }
void entry_modify(const int32_t* r) {
    result_from(dispatch::modify(arg(0), arg(1), arg(2), flag(r, 0)));
}
void entry_open(const int32_t* r) {
    result_from(dispatch::open(arg(0), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), ref_arg(r, 4)));
}
void entry_open_q(const int32_t*) { result_from(dispatch::open_q(arg(0))); }
void entry_query(const int32_t*) { result_from(dispatch::query(arg(0))); }
void entry_read(const int32_t* r) {
    result_from(dispatch::read(arg(0), ref_arg(r, 0), ref_arg(r, 1), flag(r, 2), flag(r, 3), flag(r, 4),
                               ref_arg(r, 5)));
}
void entry_rename(const int32_t*) { result_from(dispatch::rename(arg(0), arg(1))); }
void entry_update(const int32_t*) { result_from(dispatch::update(arg(0))); }
void entry_write(const int32_t* r) {
    result_from(dispatch::write(arg(0), arg(1), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3),
                                ref_arg(r, 4), ref_arg(r, 5), ref_arg(r, 6), ref_arg(r, 7)));
}

void compare_op(int32_t op) {
    bool r = compare(arg(0), arg(1), op);
    stack::set_last_keep(Cell{TYPE_LOGIC, r ? 1u : 0u, 0, 0});
}

}  // namespace qor::actions
