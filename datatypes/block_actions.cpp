// block! actions: construction, text forms, comparison, path access,
// searching, sorting, the editing actions that copy cells, and the block
// side of the set operations.
#include "datatypes/block_actions.hpp"

#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/hash_index.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/none.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/series_internal.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/unset.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "datatypes/hash_table.hpp"
#include "runtime/heap.hpp"
#include "runtime/sort.hpp"
#include "datatypes/value_helpers.hpp"

namespace qor::block {

int32_t mold_depth = 0;

namespace {

constexpr uint32_t CELL = sizeof(Cell);

// The two scratch blocks that hold the records handed to a sort comparator
// function under /all; made on first use.
Cell sort_scratch[2] = {{TYPE_NONE, 0, 0, 0}, {TYPE_NONE, 0, 0, 0}};
constexpr uint32_t SCRATCH_RESET_BYTES = 2097151;

// Takes a stashed copy of `n` cells so that they can be inserted into the
// buffer they come from.  Tracked heap: nothing allocates from the frames
// while the stash is alive except the growth of the target, and the cells
// are still in their block at that time.
struct Stash {
    Cell* cells = nullptr;
    ~Stash() {
        if (cells) heap::free(cells);
    }
};

inline bool is_number(uint32_t t) { return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT; }

inline bool typeset_has(const Cell* set, uint32_t t) {
    const uint8_t* mask = reinterpret_cast<const uint8_t*>(&set->data1);
    return t < 96 && (mask[t >> 3] & (0x80u >> (t & 7))) != 0;
}

inline Node table_of(const Cell* v) { return reinterpret_cast<Node>(v->data3); }

// The result type of make and to: a datatype! prototype names it.
inline uint32_t wanted_type(const Cell* prototype) {
    return type_of(prototype) == TYPE_DATATYPE ? prototype->data1 : uint32_t(type_of(prototype));
}

// Whether the output string's last character is a tab, line feed or
// carriage return (an empty output is not).
bool ends_with_break(const Cell* out) {
    SeriesBuffer* s = buffer_of(cell_node(out));
    if (s->tail == s->head) return false;
    uint32_t unit = s->unit();
    uint32_t c = string::get_char(s->tail - unit, unit);
    return c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

// ---- Text forms -----------------------------------------------------------------------------

int32_t mold_cells(Cell* block, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                   int32_t indent) {
    Cell blk = *block;
    cycle_stack::Guard guard;
    cycle_stack::push(cell_node(&blk));
    bool indented = false;
    int32_t n = indent;
    for (uint32_t i = blk.data1, first = blk.data1; i < total_length(&blk); i++) {
        if (part && limit <= 0) return limit;   // the guard pops
        Cell c = *cell_at(&blk, i);
        if (!flat && (c.header & FLAG_NEW_LINE)) {
            if (i == first && !only) {
                n++;
                indented = true;
            }
            if (!(i == first && only)) {
                string::append_ascii(out, "\n", 1);
                limit--;
            }
            limit = mold::indent(out, n, limit);
        } else if (i != first) {
            string::append_ascii(out, " ", 1);
            limit--;
        }
        mold_depth++;
        struct Depth {
            ~Depth() { mold_depth--; }
        } depth;
        limit = dispatch::mold(&c, out, false, all, flat, part, limit, n);
    }
    cycle_stack::pop();
    if (indented) {
        n--;
        string::append_ascii(out, "\n", 1);
        limit = mold::indent(out, n, limit - 1);
    }
    return limit;
}

// ---- Comparison -------------------------------------------------------------------------------

int32_t compare_cells(Cell* value1, Cell* value2, int32_t op) {
    Cell a = *value1, b = *value2;
    bool same_position = cell_node(&a) == cell_node(&b) && a.data1 == b.data1;
    if (op == COMP_SAME) return same_position ? 0 : -1;
    if (same_position) return 0;
    if (cycle_stack::find(cell_node(&a))) return cycle_stack::find(cell_node(&b)) ? 0 : -1;
    uint32_t n1 = remaining_length(&a), n2 = remaining_length(&b);
    bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_WORD_MATCH ||
                    op == COMP_WORD_MATCH_CANONICAL || op == COMP_FIND;
    if (n1 != n2 && equality) return 1;
    cycle_stack::Guard guard;
    cycle_stack::push(cell_node(&a));
    cycle_stack::push(cell_node(&b));
    uint32_t n = n1 < n2 ? n1 : n2;
    for (uint32_t i = 0; i < n; i++) {
        Cell x = *cell_at(&a, a.data1 + i);
        Cell y = *cell_at(&b, b.data1 + i);
        uint32_t tx = type_of(&x), ty = type_of(&y);
        int32_t r;
        if (tx == ty || (is_any_word(tx) && is_any_word(ty)) || (is_number(tx) && is_number(ty))) {
            r = compare_values(&x, &y, op);
        } else {
            r = tx < ty ? -1 : 1;
        }
        if (r != 0) return r;
    }
    return n1 < n2 ? -1 : n1 > n2 ? 1 : 0;
}

// ---- Searching ----------------------------------------------------------------------------------

namespace {

struct FindResult {
    int64_t at = -1;     // offset of the match from the head, -1 when none
    int64_t after = -1;  // offset just past it for /tail (and select)
    bool run = false;    // the value was searched as a run of cells
};

// The search behind find, select and put.
FindResult search(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, Cell* skip,
                  bool last, bool reverse, bool match) {
    FindResult none_found;
    Cell s = *series;
    Cell key = *value;
    uint32_t total = total_length(&s);
    uint32_t at = s.data1;
    if (total == 0 || (at >= total && !reverse)) return none_found;
    if (at > total) at = total;

    int64_t size = 1;
    if (skip) {
        if (type_of(skip) != TYPE_INTEGER) raise_error("script", "invalid-refine-arg", "skip", skip);
        size = integer::get_value(skip);
        if (size < 1) raise_error("script", "out-of-range", skip);
    }
    int64_t step = (last || reverse) ? -size : size;

    int64_t limit = int64_t(total) - 1;
    if (part) {
        if (type_of(part) == TYPE_INTEGER) {
            int64_t n = integer::get_value(part);
            if (n < 1) return none_found;
            limit = int64_t(at) + n - 1;
        } else if (series::same_series_q(&s, part)) {
            limit = part->data1;
        } else {
            raise_error("script", "invalid-refine-arg", "part", part);
        }
        if (limit > int64_t(total) - 1) limit = int64_t(total) - 1;
    }

    int32_t op = same ? COMP_SAME : case_sensitive ? COMP_STRICT_EQUAL : COMP_FIND;
    uint32_t vt = type_of(&key);
    bool as_run = !only && is_any_block(vt);
    bool by_type = !only && vt == TYPE_DATATYPE;
    bool by_set = !only && vt == TYPE_TYPESET;

    // The hash! index answers single-value searches.
    if (type_of(&s) == TYPE_HASH && s.data3 && !match && (!is_any_block(vt) || (only && same)) && !by_type &&
        !by_set && !(vt == TYPE_OBJECT && !same)) {
        int32_t hit = hash_index::find(&s, &key, at, uint32_t(size), op, last, reverse);
        if (hit != -2) {
            if (hit < 0 || hit > limit) return none_found;
            FindResult r;
            r.at = hit;
            r.after = hit + 1;
            return r;
        }
    }

    int64_t run_length = 1;
    if (as_run) {
        run_length = remaining_length(&key);
        if (run_length == 0) return none_found;
    }

    int64_t start, stop;
    if (last) {
        start = limit;
        if (start > int64_t(total) - run_length) start = int64_t(total) - run_length;
        stop = 0;
    } else if (reverse) {
        start = int64_t(at) - run_length;
        stop = 0;
        if (start < 0) return none_found;
    } else {
        start = at;
        stop = as_run ? limit - run_length + 1 : limit;
    }

    CompareFn key_compare = nullptr;
    for (int64_t c = start; step > 0 ? c <= stop : c >= stop; c += step) {
        bool hit;
        if (as_run) {
            hit = c + run_length <= int64_t(total);
            for (int64_t j = 0; hit && j < run_length; j++) {
                Cell x = *cell_at(&key, uint32_t(key.data1 + j));
                Cell y = *cell_at(&s, uint32_t(c + j));
                hit = compare(&x, &y, op);
            }
        } else if (by_type) {
            hit = type_of(cell_at(&s, uint32_t(c))) == key.data1;
        } else if (by_set) {
            hit = typeset_has(&key, type_of(cell_at(&s, uint32_t(c))));
        } else {
            // The key's type decides; its compare action is looked up once.
            if (!key_compare) key_compare = actions::get<SLOT_COMPARE>(vt);
            int32_t r = key_compare(&key, cell_at(&s, uint32_t(c)), op);
            hit = r == 0;
        }
        if (hit) {
            FindResult r;
            r.at = c;
            r.run = as_run;
            r.after = as_run ? c + run_length : step < 0 ? c + 1 : c + size;
            if (r.after > total) r.after = total;
            return r;
        }
        if (match) break;
    }
    return none_found;
}

}  // namespace

// ---- Sorting --------------------------------------------------------------------------------------

int32_t sort_compare_records(const void* a, const void* b, intptr_t op, intptr_t flags) {
    // The records stay where they are: compare actions do not write their
    // operands, and the sort keeps the buffer pinned.
    Cell* x = const_cast<Cell*>(static_cast<const Cell*>(a));
    Cell* y = const_cast<Cell*>(static_cast<const Cell*>(b));
    if (flags & 1) std::swap(x, y);
    uint32_t cells = 1;
    if (flags & 2) {
        cells = uint32_t(flags >> 2);
    } else {
        uint32_t offset = uint32_t(flags >> 2);
        x += offset;
        y += offset;
    }
    const RegistryTables& tables = registry::tables();
    for (uint32_t i = 0; i < cells; i++) {
        uint32_t tx = type_of(&x[i]);
        ActionEntry e = tables.actions[tx][SLOT_COMPARE - 1];
        CompareFn fn = e ? reinterpret_cast<CompareFn>(e) : actions::get<SLOT_COMPARE>(tx);
        int32_t r = fn(&x[i], &y[i], int32_t(op));
        if (r == COMPARE_INCOMPARABLE) r = int32_t(tx) - int32_t(type_of(&y[i]));
        if (r != 0) return r;
    }
    return 0;
}

int32_t sort_call_comparator(const void* a, const void* b, intptr_t function, intptr_t flags) {
    const Cell* fn = reinterpret_cast<const Cell*>(function);
    const Cell* x = static_cast<const Cell*>(a);
    const Cell* y = static_cast<const Cell*>(b);
    Cell args[2];
    gc::CellRoot keep(args, 2);
    bool reverse = flags & 1;
    if (flags & 2) {
        // /all with /skip: the two records in the scratch blocks.
        uint32_t k = uint32_t(flags >> 2);
        for (int i = 0; i < 2; i++) {
            const Cell* rec = i == 0 ? x : y;
            Cell* holder = &sort_scratch[i];
            SeriesBuffer* s = buffer(holder);
            std::memcpy(s->head, rec, k * CELL);
            s->tail = s->head + k * CELL;
            holder->data1 = 0;
        }
        args[0] = reverse ? sort_scratch[0] : sort_scratch[1];
        args[1] = reverse ? sort_scratch[1] : sort_scratch[0];
    } else {
        uint32_t offset = uint32_t(flags >> 2);
        args[0] = reverse ? x[offset] : y[offset];
        args[1] = reverse ? y[offset] : x[offset];
    }
    Cell result = {TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep_result(&result);
    eval_links::call_function(fn, args, 2, &result);
    switch (type_of(&result)) {
    case TYPE_LOGIC: return result.data1 ? 1 : -1;
    case TYPE_NONE: return -1;
    case TYPE_INTEGER: return integer::get_value(&result);
    case TYPE_FLOAT: {
        double d = cell_float(&result);
        return d > 0.0 ? 1 : (d == 0.0 || d != d) ? 0 : -1;
    }
    default: return 1;
    }
}

// ---- Set operations ----------------------------------------------------------------------------------

namespace {

// Whether the record key `key` is in `series` (from its index, keys every
// `skip` cells), through `table` (an index over the series) or, for a key
// that is itself a block, through find/only.
bool member_q(const Cell* series, Node table, Cell* key, uint32_t skip, int32_t op) {
    if (is_any_block(type_of(key))) {
        Cell s = *series;
        Cell sk = integer::make(int32_t(skip));
        FindResult r = search(&s, key, nullptr, true, op == COMP_STRICT_EQUAL, false, &sk, false, false, false);
        return r.at >= 0;
    }
    return hashtable::find(table, key, int32_t(series->data1), int32_t(skip), op, false, false) != nullptr;
}

}  // namespace

void set_operation(bool case_sensitive, Cell* skip, int32_t op) {
    Cell* base = stack::arguments_base();
    int64_t k = 1;
    if (skip) {
        if (type_of(skip) != TYPE_INTEGER) raise_error("script", "invalid-refine-arg", "skip", skip);
        k = integer::get_value(skip);
        if (k < 1) raise_error("script", "invalid-refine-arg", "skip", skip);
    }
    bool two = op != SET_UNIQUE;
    Cell s1 = base[0];
    Cell s2 = two ? base[1] : Cell{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep1(&s1), keep2(&s2);
    series::clamp_index(&s1);
    if (two) series::clamp_index(&s2);
    int32_t cmp = case_sensitive ? COMP_STRICT_EQUAL : COMP_EQUAL;

    uint32_t n1 = remaining_length(&s1), n2 = two ? remaining_length(&s2) : 0;
    uint64_t room = uint64_t(n1) + (op == SET_UNION ? n2 : 0);
    if (room < 1) room = 1;
    if (room > memory::MAX_CAPACITY / CELL) raise_error("internal", "no-memory");

    // Membership indexes over the operands that need one.
    hashtable::TableRoot t1(nullptr), t2(nullptr);
    if (two) {
        if (op == SET_DIFFERENCE) {
            t1.set(hash_index::indexed_q(&s1) ? table_of(&s1) : hashtable::make(int32_t(n1 ? n1 : 1), &s1, hashtable::KIND_HASH));
        }
        t2.set(hash_index::indexed_q(&s2) ? table_of(&s2) : hashtable::make(int32_t(n2 ? n2 : 1), &s2, hashtable::KIND_HASH));
    }
    // The result and its own index, against which duplicates are tested.
    Cell result = make(int32_t(room));
    gc::CellRoot keep_result(&result);
    hashtable::TableRoot tr(hashtable::make(int32_t(room), &result, hashtable::KIND_HASH));

    auto pass = [&](Cell* src, Node other, const Cell* other_series, bool keep_if_member, bool test) {
        uint32_t n = remaining_length(src);
        for (uint32_t i = 0; i < n; i += uint32_t(k)) {
            Cell keyc = *cell_at(src, src->data1 + i);
            if (test) {
                bool in = member_q(other_series, other, &keyc, uint32_t(k), cmp);
                if (in != keep_if_member) continue;
            }
            if (member_q(&result, tr.node(), &keyc, uint32_t(k), cmp)) continue;
            uint32_t width = uint32_t(k) < n - i ? uint32_t(k) : n - i;
            for (uint32_t j = 0; j < width; j++) {
                Cell c = *cell_at(src, src->data1 + i + j);
                append_copy(&result, &c);
                hashtable::put(tr.node(), cell_at(&result, total_length(&result) - 1));
            }
        }
    };

    switch (op) {
    case SET_UNIQUE: pass(&s1, nullptr, nullptr, true, false); break;
    case SET_INTERSECT: pass(&s1, t2.node(), &s2, true, true); break;
    case SET_EXCLUDE: pass(&s1, t2.node(), &s2, false, true); break;
    case SET_UNION:
        pass(&s1, nullptr, nullptr, true, false);
        pass(&s2, nullptr, nullptr, true, false);
        break;
    case SET_DIFFERENCE:
        pass(&s1, t2.node(), &s2, false, true);
        pass(&s2, t1.node(), &s1, false, true);
        break;
    default: break;
    }

    bool hashed = type_of(&s1) == TYPE_HASH || (two && type_of(&s2) == TYPE_HASH);
    if (hashed) {
        result.header = TYPE_HASH;
        result.data3 = reinterpret_cast<uint32_t>(tr.node());
    }
    *base = result;
}

// ---- Registration -------------------------------------------------------------------------------------

void init() {
    init_storage();
    sort_scratch[0] = sort_scratch[1] = Cell{TYPE_NONE, 0, 0, 0};
    gc::register_global_cell(&sort_scratch[0]);
    gc::register_global_cell(&sort_scratch[1]);
    cycle_stack::init();

    TypeSpec spec = make_type_spec(TYPE_BLOCK);
    set_slot<SLOT_MAKE>(spec, block_make);
    set_slot<SLOT_TO>(spec, block_to);
    set_slot<SLOT_FORM>(spec, block_form);
    set_slot<SLOT_MOLD>(spec, block_mold);
    set_slot<SLOT_EVAL_PATH>(spec, block_eval_path);
    set_slot<SLOT_COMPARE>(spec, block_compare);
    set_slot<SLOT_APPEND>(spec, block_insert);
    set_slot<SLOT_INSERT>(spec, block_insert);
    set_slot<SLOT_CHANGE>(spec, block_change);
    set_slot<SLOT_COPY>(spec, block_copy);
    set_slot<SLOT_FIND>(spec, block_find);
    set_slot<SLOT_PUT>(spec, block_put);
    set_slot<SLOT_SELECT>(spec, block_select);
    set_slot<SLOT_SORT>(spec, block_sort);
    set_slot<SLOT_SWAP>(spec, block_swap);
    set_slot<SLOT_TAKE>(spec, block_take);
    set_slot<SLOT_TRIM>(spec, block_trim);
    for (int slot : {SLOT_RANDOM, SLOT_REFLECT, SLOT_AT, SLOT_BACK, SLOT_CLEAR, SLOT_HEAD, SLOT_HEAD_Q, SLOT_INDEX_Q,
                     SLOT_LENGTH_Q, SLOT_MOVE, SLOT_NEXT, SLOT_PICK, SLOT_POKE, SLOT_REMOVE, SLOT_REVERSE, SLOT_SKIP,
                     SLOT_TAIL, SLOT_TAIL_Q, SLOT_MODIFY})
        inherit_slot(spec, slot);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

}  // namespace qor::block

namespace qor {

using namespace block;

// ---- make and to ------------------------------------------------------------------------------------

namespace {

// A block of the values a container holds, by the container's type; false
// when the type has no such conversion.
bool body_of(Cell* spec, Cell* out) {
    uint32_t t = type_of(spec);
    if (t == TYPE_OBJECT || t == TYPE_MAP) {
        const Cell* body = series::word_for("body");
        if (!body) raise_error("internal", "not-done");
        Cell field = *body;
        Cell value = *spec;
        Cell* r = actions::get<SLOT_REFLECT>(t)(&value, &field);
        *out = *r;
        return true;
    }
    if (t == TYPE_VECTOR) {
        Cell v = *spec;
        uint32_t n = series::length_from(&v, false);
        Cell blk = make(int32_t(n));
        gc::CellRoot keep(&blk);
        for (uint32_t i = 0; i < n; i++) {
            Cell item;
            series::read_element(&v, v.data1 + i, &item);
            append_copy(&blk, &item);
        }
        *out = blk;
        return true;
    }
    return false;
}

void retype(Cell* cell, uint32_t type) {
    cell->header = (cell->header & ~TYPE_MASK) | type;
    if (type != TYPE_HASH) cell->data3 = 0;
}

}  // namespace

Cell* block_make(Cell* prototype, Cell* spec) {
    uint32_t type = wanted_type(prototype);
    Cell result = {TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep(&result);
    uint32_t t = type_of(spec);
    if (is_any_block(t)) {
        result = *clone(spec, false, false);
        stack::pop(1);
    } else if (t == TYPE_INTEGER || t == TYPE_FLOAT) {
        int32_t n = number::float_to_int_checked(spec);
        result = make(n < 1 ? 1 : n);
    } else if (!body_of(spec, &result)) {
        Cell dt;
        datatype::set(&dt, type);
        raise_error("script", "bad-make-arg", &dt, spec);
    }
    retype(&result, type);
    *prototype = result;
    return prototype;
}

Cell* block_to(Cell* prototype, Cell* spec) {
    uint32_t type = wanted_type(prototype);
    Cell result = {TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep(&result);
    uint32_t t = type_of(spec);
    if (body_of(spec, &result)) {
        // object!, map!, vector!
    } else if (t == TYPE_STRING) {
        result = make(1);
        eval_links::transcode(spec, &result);
    } else if (t == TYPE_TYPESET) {
        result = make(8);
        for (uint32_t id = 1; id <= registry::highest_type(); id++) {
            if (!typeset_has(spec, id)) continue;
            Cell dt;
            datatype::set(&dt, id);
            append_copy(&result, &dt);
        }
    } else if (is_any_block(t)) {
        result = *clone(spec, false, false);
        stack::pop(1);
    } else {
        result = make(1);
        append_copy(&result, spec);
    }
    retype(&result, type);
    *prototype = result;
    return prototype;
}

int32_t block_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    if (mold::cycle_marker(value, out, &limit, false)) return limit;
    Cell blk = *value;
    cycle_stack::Guard guard;
    cycle_stack::push(cell_node(&blk));
    uint32_t total = total_length(&blk);
    for (uint32_t i = blk.data1; i < total_length(&blk); i++) {
        Cell c = *cell_at(&blk, i);
        limit = dispatch::form(&c, out, part, limit);
        if (part && limit < 1) break;
        total = total_length(&blk);
        if (i + 1 < total && !ends_with_break(out)) {
            string::append_ascii(out, " ", 1);
            limit--;
        }
    }
    return limit;
}

int32_t block_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                   int32_t indent) {
    if (mold::cycle_marker(value, out, &limit, true)) return limit;
    if (!only) {
        string::append_ascii(out, "[", 1);
        limit--;
    }
    limit = mold_cells(value, out, only, all, flat, part, limit, indent);
    if (!only) {
        string::append_ascii(out, "]", 1);
        limit--;
    }
    return limit;
}

int32_t block_compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t t1 = type_of(value1), t2 = type_of(value2);
    if (t1 != t2) {
        bool paths = (t1 == TYPE_PATH && t2 == TYPE_LIT_PATH) || (t1 == TYPE_LIT_PATH && t2 == TYPE_PATH);
        if (!(paths && (op == COMP_WORD_MATCH || op == COMP_WORD_MATCH_CANONICAL))) return COMPARE_INCOMPARABLE;
    }
    return compare_cells(value1, value2, op);
}

// ---- Path access ---------------------------------------------------------------------------------------

Cell* block_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent, Cell* previous,
                      int32_t step, bool case_sensitive, uint32_t reserved, bool last, bool notify) {
    (void)path; (void)parent; (void)previous; (void)step; (void)reserved; (void)last; (void)notify;
    Cell blk = *value;
    if (type_of(element) == TYPE_INTEGER) {
        int32_t n = integer::get_value(element);
        if (!new_value) return series_pick(&blk, n);
        return series_poke(&blk, n, new_value);
    }
    if (!new_value) {
        if (type_of(element) == TYPE_WORD && type_of(&blk) != TYPE_HASH) {
            return select_word(&blk, element, case_sensitive);
        }
        FindResult r = search(&blk, element, nullptr, true, case_sensitive, false, nullptr, false, false, false);
        if (r.at < 0 || r.after >= total_length(&blk)) return none_value;
        return cell_at(&blk, uint32_t(r.after));
    }
    FindResult r = search(&blk, element, nullptr, false, case_sensitive, false, nullptr, false, false, false);
    if (r.at < 0) raise_error("script", "bad-path-set", element, value);
    Cell found = blk;
    found.data1 = uint32_t(r.at);
    dispatch::poke(&found, 2, new_value);
    return new_value;
}

// ---- find, select, put ------------------------------------------------------------------------------------

Cell* block_find(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, bool any,
                 Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
    (void)any; (void)with;
    FindResult r = search(series, value, part, only, case_sensitive, same, skip, last, reverse, match);
    if (r.at < 0) {
        none::set(series);
        return series;
    }
    series->data1 = uint32_t(tail ? r.after : r.at);
    return series;
}

Cell* block_select(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, bool any,
                   Cell* with, Cell* skip, bool last, bool reverse) {
    (void)any; (void)with;
    FindResult r = search(series, value, part, only, case_sensitive, same, skip, last, reverse, false);
    int64_t next = r.run ? r.after : r.at + 1;
    if (r.at < 0 || next >= total_length(series)) {
        none::set(series);
        return series;
    }
    *series = *cell_at(series, uint32_t(next));
    return series;
}

Cell* block_put(Cell* series, Cell* key, Cell* value, bool case_sensitive) {
    Cell blk = *series;
    Cell k = *key, v = *value;
    gc::CellRoot keep(&blk), keep_k(&k), keep_v(&v);
    FindResult r = search(&blk, &k, nullptr, false, case_sensitive, false, nullptr, false, false, false);
    uint32_t total = total_length(&blk);
    if (r.at < 0) {
        series::notify(&blk, "put", &v, int32_t(remaining_length(&blk)), 1);
        append_copy(&blk, &k);
        hash_index::put(&blk, total);
        append_copy(&blk, &v);
        hash_index::put(&blk, total + 1);
    } else {
        uint32_t after = uint32_t(r.run ? r.after : r.at + 1);
        bool told = series::notify(&blk, "put", &v, int32_t(after), 1);
        if (after < total) {
            Cell old = *cell_at(&blk, after);
            if (!compare(&old, &v, COMP_FIND)) {
                hash_index::unindex(&blk, after);
                *cell_at(&blk, after) = v;
                hash_index::put(&blk, after);
            }
        } else {
            append_copy(&blk, &v);
            hash_index::put(&blk, total);
        }
        if (told) series::notify(&blk, "put-ed", &v, int32_t(after), 1);
    }
    *series = v;
    return series;
}

// ---- sort ---------------------------------------------------------------------------------------------------

Cell* block_sort(Cell* series, bool case_sensitive, Cell* skip, Cell* comparator, Cell* part, bool all,
                 bool reverse, bool stable) {
    uint32_t total = total_length(series);
    uint32_t at = series::clamp_index(series);
    int64_t count = int64_t(total) - at;
    if (part) {
        int64_t n = series::part_count(series, part, "part");
        if (n < 0) {
            // The cells before the position: the series moves back to them.
            int64_t back = int64_t(at) + n;
            if (back < 0) back = 0;
            n = int64_t(at) - back;
            at = uint32_t(back);
            series->data1 = at;
            count = n;
        } else if (n < count) {
            count = n;
        }
    }
    if (count == 0) return series;
    int64_t k = 1;
    if (skip) {
        if (type_of(skip) != TYPE_INTEGER) raise_error("script", "invalid-refine-arg", "skip", skip);
        k = integer::get_value(skip);
        if (k < 1 || count % k != 0 || count < k) raise_error("script", "invalid-refine-arg", "skip", skip);
    }
    if (all && !skip) raise_error("script", "bad-refines");
    intptr_t flags = (reverse ? 1 : 0) | (all ? 2 : 0);
    if (all) flags |= intptr_t(k) << 2;
    int32_t op = case_sensitive ? COMP_CASE_SORT : COMP_SORT;
    sort::Compare callback = sort_compare_records;
    intptr_t opt1 = op;
    Cell function = {TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_function(&function);
    if (comparator) {
        uint32_t ct = type_of(comparator);
        if (ct == TYPE_INTEGER) {
            if (!skip || all) raise_error("script", "bad-refines");
            int32_t offset = integer::get_value(comparator);
            if (offset < 1 || offset > k) raise_error("script", "out-of-range", comparator);
            flags |= intptr_t(offset - 1) << 2;
        } else if (ct == TYPE_FUNCTION) {
            function = *comparator;
            callback = sort_call_comparator;
            opt1 = reinterpret_cast<intptr_t>(&function);
            if (all) {
                for (Cell& scratch : sort_scratch) {
                    if (type_of(&scratch) == TYPE_NONE || buffer(&scratch)->capacity < uint32_t(k) * CELL) {
                        Cell fresh = make(int32_t(k));
                        scratch = fresh;
                    }
                }
            }
        } else {
            raise_error("script", "invalid-refine-arg", "compare", comparator);
        }
    }

    size_t records = size_t(count / k);
    size_t width = size_t(k) * CELL;
    bool told = series::notify(series, "sort", nullptr, int32_t(at), int32_t(count));
    Cell blk = *series;
    gc::CellRoot keep(&blk);
    if (stable) {
        // Records wait in the merge buffer while the comparator runs: keep
        // it a block the collector scans.
        uint64_t bytes = sort::merge_buffer_size(records, width);
        if (bytes > 0x7FFFFFFF) raise_error("script", "too-long");
        Cell merge = {TYPE_UNSET, 0, 0, 0};
        gc::CellRoot keep_merge(&merge);
        uint32_t cells = uint32_t(bytes / CELL);
        merge = Cell{TYPE_BLOCK, 0, 0, 0};
        set_cell_node(&merge, memory::alloc_cells_unset(cells ? cells : 1));
        SeriesBuffer* mb = buffer(&merge);
        mb->tail = mb->head + cells * CELL;
        Cell* base = cell_at(&blk, at);
        if (!sort::merge_sort(base, records, width, opt1, flags, callback, mb->head))
            raise_error("script", "too-long");
        mb->tail = mb->head;
    } else {
        sort::qsort(cell_at(&blk, at), records, width, opt1, flags, callback);
    }
    if (hash_index::indexed_q(&blk)) hash_index::rebuild(&blk);
    if (all && comparator && type_of(comparator) == TYPE_FUNCTION && width > SCRATCH_RESET_BYTES) {
        for (Cell& scratch : sort_scratch) scratch = make(1);
    }
    if (told) series::notify(series, "sorted", nullptr, int32_t(at), int32_t(count));
    return series;
}

// ---- append, insert, change ---------------------------------------------------------------------------------

namespace {

// The items of append, insert and change: the cells of a spliced block
// (from its index), or the value itself.
struct Items {
    Cell one;
    Cell source;        // the spliced block, when splicing
    bool spliced = false;
    uint32_t count = 0;
};

Items items_of(const Cell* value, bool only) {
    Items it;
    it.one = *value;
    if (!only && is_any_block(type_of(value))) {
        it.spliced = true;
        it.source = *value;
        it.count = remaining_length(value);
    } else {
        it.count = 1;
    }
    return it;
}

// Copies the items into a tracked-heap stash when they share the target's
// buffer; answers the address to copy them from after the target changed.
const Cell* stash_items(const Items& it, const Cell* target, Stash& stash, uint32_t count) {
    if (!it.spliced) return &it.one;
    if (cell_node(&it.source) != cell_node(target)) return nullptr;
    stash.cells = static_cast<Cell*>(heap::alloc(count * CELL));
    std::memcpy(stash.cells, cell_at(&it.source, it.source.data1), count * CELL);
    return stash.cells;
}

}  // namespace

Cell* block_insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    Items it = items_of(value, only);
    gc::CellRoot keep(&it.one), keep_source(&it.source);
    if (it.count == 0) return series;
    uint32_t e = it.count;
    if (part >= 0 && uint32_t(part) < e) e = uint32_t(part);
    uint32_t total = total_length(series);
    uint32_t at = series::clamp_index(series);
    if (append) at = total;
    if (dup < 1 || e == 0) {
        if (append) series->data1 = 0;
        return series;
    }
    uint64_t inserted = uint64_t(e) * uint32_t(dup);
    uint64_t new_bytes = (uint64_t(total) + inserted) * CELL;
    if (inserted > 0xFFFFFFFFu || new_bytes > memory::MAX_CAPACITY) raise_error("internal", "no-memory");
    uint32_t n = uint32_t(inserted);

    Stash stash;
    const Cell* from = stash_items(it, series, stash, e);
    bool told = series::notify(series, append ? "append" : "insert", value, int32_t(at), int32_t(n));
    SeriesBuffer* s = series::reserve(cell_node(series), n * CELL, dup < 5 ? series::Growth::Double
                                                                           : series::Growth::Exact);
    series::open_gap(s, at * CELL, n * CELL);
    if (!from) from = cell_at(&it.source, it.source.data1);   // another buffer: read after the growth
    std::memcpy(s->head + at * CELL, from, e * CELL);
    if (dup > 1) memory::fill_repeat(s->head + at * CELL, e * CELL, uint32_t(dup));
    if (hash_index::indexed_q(series)) {
        hash_index::shift(series, int32_t(n), at, total - at);
        hash_index::put_range(series, at, n);
    }
    if (told) series::notify(series, append ? "appended" : "inserted", value, int32_t(at), int32_t(n));
    series->data1 = append ? 0 : at + n;
    return series;
}

Cell* block_change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
    Items it = items_of(value, only);
    gc::CellRoot keep(&it.one), keep_source(&it.source);
    uint32_t total = total_length(series);
    uint32_t at = series::clamp_index(series);
    uint32_t left = total - at;
    uint32_t e = it.count;
    if (dup < 1) dup = 0;
    uint64_t inserted = uint64_t(e) * uint32_t(dup);
    if (inserted > 0xFFFFFFFFu || (uint64_t(total) + inserted) * CELL > memory::MAX_CAPACITY)
        raise_error("internal", "no-memory");
    uint32_t n = uint32_t(inserted);
    uint32_t removed;
    if (part >= 0) removed = uint32_t(part) < left ? uint32_t(part) : left;
    else removed = n < left ? n : left;

    Stash stash;
    const Cell* from = e ? stash_items(it, series, stash, e) : nullptr;
    bool told = series::notify(series, "change", value, int32_t(at), int32_t(n));
    SeriesBuffer* s = buffer(series);
    if (n > removed) {
        s = series::reserve(cell_node(series), (n - removed) * CELL, series::Growth::Double);
        series::open_gap(s, (at + removed) * CELL, (n - removed) * CELL);
    } else if (n < removed) {
        series::close_gap(s, (at + n) * CELL, (removed - n) * CELL);
    }
    if (e && n) {
        if (!from) from = cell_at(&it.source, it.source.data1);
        std::memcpy(s->head + at * CELL, from, e * CELL);
        if (dup > 1) memory::fill_repeat(s->head + at * CELL, e * CELL, uint32_t(dup));
    }
    if (hash_index::indexed_q(series)) hash_index::rebuild(series);
    if (told) series::notify(series, "changed", value, int32_t(at), int32_t(n));
    uint32_t end = at + n;
    uint32_t now = total_length(series);
    series->data1 = end < now ? end : now;
    return series;
}

// ---- take, swap, trim, copy -----------------------------------------------------------------------------------

Cell* block_take(Cell* series, Cell* part, bool deep, bool last) {
    Cell* taken = series_take(series, part, deep, last);
    if (taken == series) return series;   // none: nothing left
    Cell result = *taken;
    gc::CellRoot keep(&result);
    if (deep) {
        uint32_t n = total_length(&result);
        for (uint32_t i = 0; i < n; i++) {
            Cell c = *cell_at(&result, i);
            uint32_t t = type_of(&c);
            if (!is_series(t)) continue;
            Cell copied = {TYPE_UNSET, 0, 0, 0};
            gc::CellRoot keep_copy(&copied);
            dispatch::copy(&c, &copied, nullptr, true, nullptr);
            *cell_at(&result, i) = copied;
        }
    }
    if (!part && total_length(&result) == 1) {
        *series = *cell_at(&result, 0);
    } else {
        *series = result;
    }
    stack::pop(1);
    return series;
}

Cell* block_swap(Cell* series1, Cell* series2) {
    if (!is_any_block(type_of(series2))) raise_error("script", "invalid-arg", series2);
    uint32_t a = series1->data1, b = series2->data1;
    if (a >= total_length(series1) || b >= total_length(series2)) return series1;
    Cell one = *cell_at(series1, a), two = *cell_at(series2, b);
    bool told1 = series::notify(series1, "swap", &two, int32_t(a), 1);
    bool told2 = series::notify(series2, "swap", &one, int32_t(b), 1);
    hash_index::unindex(series1, a);
    hash_index::unindex(series2, b);
    *cell_at(series1, a) = two;
    *cell_at(series2, b) = one;
    hash_index::put(series1, a);
    hash_index::put(series2, b);
    if (told1) series::notify(series1, "swaped", &two, int32_t(a), 1);
    if (told2) series::notify(series2, "swaped", &one, int32_t(b), 1);
    return series1;
}

Cell* block_trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    (void)head; (void)tail; (void)auto_; (void)lines; (void)all; (void)with;
    uint32_t at = series::clamp_index(series);
    bool told = series::notify(series, "trim", nullptr, int32_t(at), 0);
    SeriesBuffer* s = buffer(series);
    Cell* cells = cells_head(s);
    uint32_t total = total_length(series), out = at;
    for (uint32_t i = at; i < total; i++) {
        if (type_of(&cells[i]) == TYPE_NONE) continue;
        if (out != i) cells[out] = cells[i];
        out++;
    }
    s->tail = s->head + out * CELL;
    if (hash_index::indexed_q(series)) hash_index::rebuild(series);
    if (told) series::notify(series, "trimmed", nullptr, int32_t(at), 0);
    return series;
}

Cell* block_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    Cell src = *value;
    gc::CellRoot keep(&src);
    if (deep && cycle_stack::find(cell_node(&src))) {
        cycle_stack::reset();
        raise_error("internal", "no-cycle");
    }
    series_copy(&src, result, part, false, nullptr);
    if (!deep && !types) return result;
    if (type_of(result) == TYPE_HASH) retype(result, TYPE_BLOCK);
    Cell copy = *result;
    gc::CellRoot keep_copy(&copy);
    cycle_stack::Guard guard;
    if (deep) cycle_stack::push(cell_node(&src));
    uint32_t n = total_length(&copy);
    if (types) {
        copy_typed_values(cell_node(&copy), 0, n, 1, deep, types);
    } else {
        for (uint32_t i = 0; i < n; i++) {
            Cell c = *cell_at(&copy, i);
            uint32_t t = type_of(&c);
            if (!is_series(t)) continue;
            Cell copied = {TYPE_UNSET, 0, 0, 0};
            gc::CellRoot keep_copied(&copied);
            dispatch::copy(&c, &copied, nullptr, true, nullptr);
            *cell_at(&copy, i) = copied;
        }
    }
    *result = copy;
    return result;
}

}  // namespace qor
