// map!: key/value blocks indexed by a kind-1 hash table (see map.hpp).
//
// Keys and values are addressed by their cell index in the map's block:
// any allocation (copying a key, growing the block or the table, a
// comparison) may move the buffer, so addresses are taken again after it.
#include "datatypes/map.hpp"

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/none.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "datatypes/fixed_words.hpp"
#include "datatypes/hash_table.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"
#include "datatypes/value_helpers.hpp"

namespace qor {

namespace {

constexpr Cell NONE_CELL{TYPE_NONE, 0, 0, 0};
constexpr Cell UNSET_CELL{TYPE_UNSET, 0, 0, 0};

inline Node block_node(const Cell* map) { return cell_node(map); }
inline Node table_of(const Cell* map) { return reinterpret_cast<Node>(map->data3); }
inline uint32_t cell_count(const Cell* map) { return buffer_of(block_node(map))->byte_length() >> 4; }
inline Cell* cells_of(const Cell* map) { return cells_head(buffer_of(block_node(map))); }
inline bool is_hole(const Cell* pair) { return pair[1].header == 0; }

// The stored form of a value cell: no new-line marker.
inline Cell plain(const Cell* c) {
    Cell v = *c;
    v.header &= ~FLAG_NEW_LINE;
    return v;
}

// A key as word!: what find and words-of answer for a set-word! key.
inline Cell as_word(const Cell* key) {
    Cell k = plain(key);
    if (type_of(&k) == TYPE_SET_WORD) k.header = (k.header & ~TYPE_MASK) | TYPE_WORD;
    return k;
}

Cell path_or_none(const Cell* path) { return path ? *path : NONE_CELL; }

// The cell index of the key matching `key` under the mode, or -1.  A live
// entry is preferred to a hole of an equal key; with `live_only` a hole
// never answers.  `key` is a rooted local: word kinds are searched as
// set-words (its type byte is restored).
int32_t find_index(const Cell* map, Cell* key, int32_t mode, bool live_only) {
    Node table = table_of(map);
    if (mode != map::MODE_CASELESS) {
        Cell* found = hashtable::find(table, key, 0, 0, mode, false, false);
        if (!found) return -1;
        int32_t at = int32_t(found - cells_of(map));
        if (live_only && is_hole(cells_of(map) + at)) return -1;
        return at;
    }
    // Keys equal without regard to case may be stored more than once (the
    // table keeps strictly different keys apart): walk them all.
    Cell probe = *key;
    gc::CellRoot keep(&probe);
    if (is_any_word(type_of(&probe))) probe.header = TYPE_SET_WORD;
    int32_t position = -1, first = 0, step = 0, hole = -1;
    while (Cell* found = hashtable::find_next(table, &probe, &position, &first, &step)) {
        int32_t at = int32_t(found - cells_of(map));
        if (!is_hole(cells_of(map) + at)) return at;
        if (hole < 0) hole = at;
        if (position < 0) break;
    }
    return live_only ? -1 : hole;
}

// The live entries of a map, visited in block order by cell index.
template <typename F>
void each_live(const Cell* map, F visit) {
    for (uint32_t i = 0; i + 1 < cell_count(map); i += 2) {
        if (is_hole(cells_of(map) + i)) continue;
        if (!visit(i)) break;
    }
}

bool same_symbol(const Cell* word, words::FixedSymbol s) {
    return symbol::resolve_alias(int32_t(word->data2)) == symbol::resolve_alias(words::symbol(s));
}

// Makes room in the map's block for `cells` more cells at once.
void reserve(const Cell* map, uint32_t cells) {
    SeriesBuffer* s = buffer_of(block_node(map));
    uint32_t need = memory::checked_add(s->byte_length(), memory::checked_mul(cells, uint32_t(sizeof(Cell))));
    uint32_t room = uint32_t(s->data_end() - s->head);
    if (need > room) memory::expand_series(s, need);
}

Cell* make_from(Cell* prototype, Cell* spec, bool to) {
    Cell result = UNSET_CELL;
    gc::CellRoot keep(&result);
    switch (type_of(spec)) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
        uint32_t n = block::remaining_length(spec);
        if (n & 1u) raise_error("script", "invalid-arg", spec);
        Cell copy = *block::clone(spec, false, false);
        gc::CellRoot keep_copy(&copy);
        stack::pop(1);
        copy.header = TYPE_BLOCK;
        map::init_cell(&result, &copy, int32_t(n));
        break;
    }
    case TYPE_INTEGER: case TYPE_FLOAT: {
        if (to) number_support::raise_bad_to_arg(TYPE_MAP, spec);
        int32_t n = number::float_to_int_checked(spec);
        if (n < 0) raise_error("script", "out-of-range", spec);
        map::init_cell(&result, nullptr, n == 0 ? 2 : int32_t(memory::checked_mul(uint32_t(n), 2)));
        break;
    }
    case TYPE_MAP: {
        Cell source = *spec;
        gc::CellRoot keep_source(&source);
        map_copy(&source, &result, nullptr, false, nullptr);
        break;
    }
    default:
        number_support::raise_bad_to_arg(TYPE_MAP, spec);
    }
    *prototype = result;
    return prototype;
}

}  // namespace

namespace map {

void init() {
    TypeSpec spec = make_type_spec(TYPE_MAP);
    set_slot<SLOT_MAKE>(spec, map_make);
    set_slot<SLOT_REFLECT>(spec, map_reflect);
    set_slot<SLOT_TO>(spec, map_to);
    set_slot<SLOT_FORM>(spec, map_form);
    set_slot<SLOT_MOLD>(spec, map_mold);
    set_slot<SLOT_EVAL_PATH>(spec, map_eval_path);
    set_slot<SLOT_COMPARE>(spec, map_compare);
    set_slot<SLOT_CLEAR>(spec, map_clear);
    set_slot<SLOT_COPY>(spec, map_copy);
    set_slot<SLOT_FIND>(spec, map_find);
    set_slot<SLOT_LENGTH_Q>(spec, map_length_q);
    set_slot<SLOT_PUT>(spec, map_put);
    set_slot<SLOT_REMOVE>(spec, map_remove);
    set_slot<SLOT_SELECT>(spec, map_select);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

bool key_type_q(uint32_t t) {
    return (t >= TYPE_STRING && t <= TYPE_FLOAT) || (t >= TYPE_WORD && t <= TYPE_ISSUE) ||
           (t >= TYPE_PAIR && t <= TYPE_TUPLE) || t == TYPE_BINARY || (t >= TYPE_TIME && t <= TYPE_EMAIL) ||
           t == TYPE_DATE || (t >= TYPE_MONEY && t <= TYPE_POINT3D);
}

void normalize_key(Cell* key, const Cell* path) {
    uint32_t t = type_of(key);
    if (!key_type_q(t)) {
        Cell where = path_or_none(path);
        Cell type{TYPE_DATATYPE, t, 0, 0};
        raise_error("script", "invalid-path", &where, &type);
    }
    if (is_any_word(t)) {
        key->header = TYPE_SET_WORD;
        return;
    }
    if (is_any_string(t) || t == TYPE_BINARY) {
        // The caller's series is never shared: the key is a copy from its
        // index.
        Cell source = *key, made = UNSET_CELL;
        gc::CellRoot keep(&source), keep_made(&made);
        Cell* copy = dispatch::copy(&source, &made, nullptr, false, nullptr);
        *key = *copy;
    }
    key->header &= ~FLAG_NEW_LINE;
}

Cell* init_cell(Cell* cell, const Cell* block, int32_t count) {
    if (count < 0) count = 0;
    Cell keys = UNSET_CELL;
    gc::CellRoot keep(&keys);
    if (block) {
        keys = *block;
        if (keys.data1 != 0) {
            keys = *block::clone(block, false, false);
            stack::pop(1);
        }
        keys.header = TYPE_BLOCK;
        for (uint32_t i = 0; i < block::total_length(&keys); i++) {
            if (i & 1u) {
                block::cell_at(&keys, i)->header &= ~FLAG_NEW_LINE;
                continue;
            }
            Cell k = *block::cell_at(&keys, i);
            gc::CellRoot keep_k(&k);
            map::normalize_key(&k, nullptr);
            *block::cell_at(&keys, i) = k;
        }
    }
    *cell = UNSET_CELL;
    // Building the index folds repeated keys (the later value wins).
    Node table = hashtable::make(count, block ? &keys : nullptr, hashtable::KIND_MAP);
    *cell = Cell{TYPE_MAP, 0, reinterpret_cast<uint32_t>(hashtable::keys_node(table)),
                 reinterpret_cast<uint32_t>(table)};
    return cell;
}

int32_t entry_count(const Cell* map) { return hashtable::record(table_of(map))->size; }

Cell* lookup(const Cell* map, const Cell* key, int32_t mode) {
    Cell m = *map, k = *key;
    gc::CellRoot keep(&m), keep_k(&k);
    int32_t at = find_index(&m, &k, mode, true);
    return at < 0 ? nullptr : cells_of(&m) + at + 1;
}

void put(Cell* map, const Cell* key, const Cell* value, int32_t mode, const Cell* path) {
    Cell m = *map, k = *key, v = plain(value);
    gc::CellRoot keep(&m), keep_k(&k), keep_v(&v);
    int32_t at = find_index(&m, &k, mode, false);
    if (at < 0) {
        map::normalize_key(&k, path);
        at = int32_t(cell_count(&m));
        *series_buffer::alloc_tail_cell(buffer_of(block_node(&m))) = k;
        *series_buffer::alloc_tail_cell(buffer_of(block_node(&m))) = UNSET_CELL;
        hashtable::put(table_of(&m), cells_of(&m) + at);
    } else if (is_hole(cells_of(&m) + at)) {
        hashtable::record(table_of(&m))->size++;
    }
    cells_of(&m)[at + 1] = v;
}

bool remove_key(Cell* map, const Cell* key) {
    Cell m = *map, k = *key;
    gc::CellRoot keep(&m), keep_k(&k);
    int32_t at = find_index(&m, &k, MODE_CASE, true);
    if (at < 0) return false;
    hashtable::delete_key(table_of(&m), cells_of(&m) + at);
    return true;
}

Cell* extend_pairs(Cell* map, const Cell* block, bool case_sensitive) {
    Cell m = *map, source = *block;
    gc::CellRoot keep(&m), keep_source(&source);
    int32_t mode = case_sensitive ? MODE_CASE : MODE_CASELESS;
    if (type_of(&source) == TYPE_MAP) {
        // Another map's live pairs (or this map's own: the count is fixed
        // first, and every pair is copied out before it is stored).
        uint32_t end = cell_count(&source);
        reserve(&m, memory::checked_mul(uint32_t(entry_count(&source)), 2));
        for (uint32_t i = 0; i + 1 < end; i += 2) {
            const Cell* pair = cells_of(&source) + i;
            if (is_hole(pair)) continue;
            Cell k = pair[0], v = pair[1];
            gc::CellRoot keep_k(&k), keep_v(&v);
            put(&m, &k, &v, mode);
        }
        return map;
    }
    uint32_t n = block::remaining_length(&source);
    if (n & 1u) raise_error("script", "invalid-arg", &source);
    reserve(&m, n);
    uint32_t from = source.data1;
    for (uint32_t i = 0; i < n; i += 2) {
        // The block may change under a key's copy: stop at its tail.
        if (from + i + 1 >= block::total_length(&source)) break;
        Cell k = *block::cell_at(&source, from + i), v = *block::cell_at(&source, from + i + 1);
        gc::CellRoot keep_k(&k), keep_v(&v);
        put(&m, &k, &v, mode);
    }
    return map;
}

bool foreach_set(const Cell* words, Cell* map, int32_t count) {
    Cell ws = *words;
    gc::CellRoot keep_ws(&ws);
    auto word_at = [&](int32_t k) {
        return type_of(&ws) == TYPE_BLOCK ? *block::item(&ws, uint32_t(k)) : ws;
    };
    for (int32_t k = 0; k < count; k++) {
        Cell w = word_at(k);
        if (!is_any_word(type_of(&w))) raise_error("script", "invalid-arg", &w);
    }
    bool any = false;
    for (int32_t k = 0; k < count; k++) {
        uint32_t at = map->data1;
        uint32_t total = cell_count(map);
        if ((at & 1u) == 0)
            while (at + 1 < total && is_hole(cells_of(map) + at)) at += 2;
        Cell v = NONE_CELL;
        if (at < total) {
            v = (at & 1u) ? plain(cells_of(map) + at) : as_word(cells_of(map) + at);
            at++;
            any = true;
        }
        map->data1 = at;
        Cell w = word_at(k);
        gc::CellRoot keep_w(&w), keep_v(&v);
        context::set_word_value(&w, &v);
    }
    return any;
}

// The text of the entries, shared by form and mold: for each live pair
// the key and the value molded (keys keep their colon, strings their
// quotes), one space apart.  Form puts a line feed between pairs.  Mold
// without /flat puts a line feed after "#[" (not with /only), indents
// each pair one level deeper than the map and ends it with a line feed,
// and indents the closing bracket to the map's own level; with /flat the
// pairs are one space apart on one line.  A map without entries writes
// nothing.
int32_t serialize(const Cell* map_in, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                  int32_t indent, bool molding) {
    Cell m = *map_in;
    gc::CellRoot keep(&m);
    if (entry_count(&m) == 0) return limit;
    cycle_stack::Guard guard;
    cycle_stack::push(block_node(&m));
    bool lines = molding && !flat;
    int32_t level = indent + 1;
    if (lines && !only) {
        string::append_ascii(out, "\n", 1);
        limit--;
    }
    bool first = true;
    each_live(&m, [&](uint32_t i) {
        Cell k = cells_of(&m)[i], v = cells_of(&m)[i + 1];
        gc::CellRoot keep_k(&k), keep_v(&v);
        if (!first && !lines) {
            string::append_ascii(out, molding ? " " : "\n", 1);
            limit--;
        }
        if (lines) limit = mold::indent(out, level, limit);
        limit = dispatch::mold(&k, out, only, all, flat, part, limit, lines ? level : 0);
        string::append_ascii(out, " ", 1);
        limit--;
        limit = dispatch::mold(&v, out, only, all, flat, part, limit, lines ? level : 0);
        if (lines) {
            string::append_ascii(out, "\n", 1);
            limit--;
        }
        first = false;
        return !(part && limit < 1);
    });
    if (lines && !only && indent > 0) limit = mold::indent(out, indent, limit);
    return limit;
}

}  // namespace map

// ---------------------------------------------------------------------------
// Actions

Cell* map_make(Cell* prototype, Cell* spec) { return make_from(prototype, spec, false); }
Cell* map_to(Cell* prototype, Cell* spec) { return make_from(prototype, spec, true); }

Cell* map_reflect(Cell* value, Cell* field_in) {
    Cell m = *value, field = *field_in;
    gc::CellRoot keep(&m), keep_field(&field);
    if (!is_any_word(type_of(&field))) raise_error("internal", "not-done");
    bool words = same_symbol(&field, words::SYM_WORDS);
    bool values = same_symbol(&field, words::SYM_VALUES);
    bool body = same_symbol(&field, words::SYM_BODY);
    if (!words && !values && !body) raise_error("internal", "not-done");
    int32_t n = map::entry_count(&m);
    Cell result = block::make(body ? 2 * n : n);
    gc::CellRoot keep_result(&result);
    each_live(&m, [&](uint32_t i) {
        Cell k = words ? as_word(cells_of(&m) + i) : plain(cells_of(&m) + i);
        Cell v = plain(cells_of(&m) + i + 1);
        gc::CellRoot keep_k(&k), keep_v(&v);
        if (body) {
            k.header |= FLAG_NEW_LINE;
            block::append_copy(&result, &k);
            block::append_copy(&result, &v);
        } else {
            block::append_copy(&result, words ? &k : &v);
        }
        return true;
    });
    *value = result;
    return value;
}

int32_t map_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    if (mold::cycle_marker(value, out, &limit, false)) return limit;
    return map::serialize(value, out, false, false, false, part, limit, 0, false);
}

int32_t map_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                 int32_t indent) {
    if (mold::cycle_marker(value, out, &limit, true)) return limit;
    if (!only) {
        string::append_ascii(out, "#[", 2);
        limit -= 2;
    }
    limit = map::serialize(value, out, only, all, flat, part, limit, indent, true);
    if (!only) {
        string::append_ascii(out, "]", 1);
        limit--;
    }
    return limit;
}

Cell* map_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent, Cell* previous,
                    int32_t step, bool case_sensitive, uint32_t reserved, bool last, bool notify) {
    (void)parent; (void)previous; (void)step; (void)reserved; (void)last; (void)notify;
    int32_t mode = case_sensitive ? map::MODE_CASE : map::MODE_CASELESS;
    if (!new_value) {
        Cell* found = map::lookup(value, element, mode);
        return found ? found : none_value;
    }
    map::put(value, element, new_value, mode, path);
    return new_value;
}

int32_t map_compare(Cell* value1, Cell* value2, int32_t op) {
    if (type_of(value2) != TYPE_MAP) return COMPARE_INCOMPARABLE;
    switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME: case COMP_FIND:
        break;
    case COMP_SORT: case COMP_CASE_SORT: {
        // No order of their own: the blocks' storage identity, fixed for
        // their lifetime.
        uint32_t a = value1->data2, b = value2->data2;
        return a < b ? -1 : a > b ? 1 : 0;
    }
    default:
        return COMPARE_INCOMPARABLE;
    }
    bool same_cell = value1->data2 == value2->data2 && value1->data1 == value2->data1;
    if (op == COMP_SAME || same_cell) return same_cell ? 0 : 1;
    Cell a = *value1, b = *value2;
    gc::CellRoot keep_a(&a), keep_b(&b);
    int32_t n = map::entry_count(&a);
    if (n != map::entry_count(&b)) return 1;
    if (n == 0) return 0;
    bool a_open = cycle_stack::find(block_node(&a)), b_open = cycle_stack::find(block_node(&b));
    if (a_open || b_open) return a_open && b_open ? 0 : 1;
    cycle_stack::Guard guard;
    cycle_stack::push(block_node(&a));
    cycle_stack::push(block_node(&b));
    bool equal = true;
    each_live(&a, [&](uint32_t i) {
        Cell k = cells_of(&a)[i], v = cells_of(&a)[i + 1];
        gc::CellRoot keep_k(&k), keep_v(&v);
        if (op == COMP_STRICT_EQUAL) {
            int32_t at = find_index(&b, &k, map::MODE_CASE, true);
            if (at < 0) return equal = false;
            Cell w = cells_of(&b)[at + 1];
            gc::CellRoot keep_w(&w);
            return equal = compare(&v, &w, COMP_STRICT_EQUAL);
        }
        // Every entry of the other map under an equal key may match.
        int32_t position = -1, first = 0, step = 0;
        while (Cell* found = hashtable::find_next(table_of(&b), &k, &position, &first, &step)) {
            int32_t at = int32_t(found - cells_of(&b));
            if (!is_hole(cells_of(&b) + at)) {
                Cell w = cells_of(&b)[at + 1];
                gc::CellRoot keep_w(&w);
                if (compare(&v, &w, COMP_EQUAL)) return true;
            }
            if (position < 0) break;
        }
        return equal = false;
    });
    return equal ? 0 : 1;
}

Cell* map_clear(Cell* value) {
    hashtable::clear(table_of(value));
    SeriesBuffer* s = buffer_of(block_node(value));
    s->tail = s->head;
    return value;
}

Cell* map_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    (void)part;
    Cell source = *value;
    gc::CellRoot keep(&source);
    cycle_stack::Guard guard;
    if (types) {
        // Copying typed values may meet this map again inside itself.
        if (cycle_stack::find(block_node(&source))) {
            cycle_stack::reset();
            raise_error("internal", "no-cycle");
        }
        cycle_stack::push(block_node(&source));
    }
    Cell whole{TYPE_BLOCK, 0, source.data2, 0};
    Cell copy = *block::clone(&whole, deep && !types, false);
    gc::CellRoot keep_copy(&copy);
    stack::pop(1);
    Node table = hashtable::copy(table_of(&source), block_node(&copy));
    Cell made{TYPE_MAP, 0, copy.data2, reinterpret_cast<uint32_t>(table)};
    gc::CellRoot keep_made(&made);
    if (types) block::copy_typed_values(block_node(&made), 1, cell_count(&made), 2, deep, types);
    *result = made;
    return result;
}

Cell* map_find(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, bool any,
               Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
    (void)part; (void)only; (void)any; (void)with; (void)skip; (void)last; (void)reverse; (void)tail; (void)match;
    Cell m = *series, k = *value;
    gc::CellRoot keep(&m), keep_k(&k);
    int32_t mode = same ? map::MODE_SAME : case_sensitive ? map::MODE_CASE : map::MODE_CASELESS;
    int32_t at = find_index(&m, &k, mode, true);
    *series = at < 0 ? NONE_CELL : as_word(cells_of(&m) + at);
    return series;
}

int32_t map_length_q(Cell* value) { return map::entry_count(value); }

Cell* map_put(Cell* series, Cell* key, Cell* value, bool case_sensitive) {
    Cell v = *value;
    gc::CellRoot keep(&v);
    map::put(series, key, &v, case_sensitive ? map::MODE_CASE : map::MODE_CASELESS);
    *series = v;
    return series;
}

Cell* map_remove(Cell* series, Cell* part, Cell* key) {
    (void)part;
    if (!key) raise_error("script", "missing-arg");
    map::remove_key(series, key);
    return series;
}

Cell* map_select(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, bool any,
                 Cell* with, Cell* skip, bool last, bool reverse) {
    (void)part; (void)only; (void)any; (void)with; (void)skip; (void)last; (void)reverse;
    int32_t mode = same ? map::MODE_SAME : case_sensitive ? map::MODE_CASE : map::MODE_CASELESS;
    Cell* found = map::lookup(series, value, mode);
    *series = found ? plain(found) : NONE_CELL;
    return series;
}

}  // namespace qor
