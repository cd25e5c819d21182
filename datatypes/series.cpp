// series!: the position and editing actions shared by every series type.
#include "datatypes/series.hpp"

#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/hash_index.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/none.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series_internal.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/unset.hpp"
#include "runtime/collector.hpp"
#include "runtime/heap.hpp"
#include "datatypes/murmur3.hpp"
#include "runtime/ownership.hpp"
#include "runtime/random.hpp"
#include "runtime/series.hpp"

namespace qor::series {

namespace {

WordProvider word_provider = nullptr;

// The one-unit scratch series that take without /part answers in; its
// buffer never moves.  A global cell keeps the node reachable.
Cell take_scratch = {TYPE_NONE, 0, 0, 0};

inline uint32_t total_units(const Cell* v) { return buffer(v)->byte_length() >> shift(v); }

inline int64_t clamp64(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : v > hi ? hi : v; }

}  // namespace

// ---- Geometry ---------------------------------------------------------------------

bool past_tail_q(const Cell* value) { return index_of(value) >= total_units(value); }

uint32_t buffer_units(const Cell* value) { return total_units(value); }

bool skip_by(Cell* value, int32_t n) {
    uint32_t total = total_units(value);
    int64_t target = int64_t(index_of(value)) + n;
    if (target >= 0 && target <= int64_t(total)) set_index(value, uint32_t(target));
    return index_of(value) >= total;
}

uint32_t length_from(Cell* value, bool from_head) {
    uint32_t total = total_units(value);
    if (index_of(value) > total) set_index(value, total);
    return from_head ? total : total - index_of(value);
}

uint32_t clamp_index(Cell* value) {
    uint32_t total = total_units(value);
    if (index_of(value) > total) set_index(value, total);
    return index_of(value);
}

uint32_t position_from_arg(bool base) {
    Cell* value = stack::arguments_base();
    Cell* arg = value + 1;
    if (type_of(arg) != TYPE_INTEGER) raise_error("script", "invalid-arg", arg);
    int64_t n = integer::get_value(arg);
    int64_t target = int64_t(index_of(value)) + n;
    if (base && n > 0) target -= 1;
    return uint32_t(clamp64(target, 0, total_units(value)));
}

bool same_series_q(const Cell* value, const Cell* other) {
    return type_of(other) == type_of(value) && cell_node(other) == cell_node(value);
}

int32_t part_count(const Cell* value, const Cell* part, const char* refinement) {
    if (type_of(part) == TYPE_INTEGER) return integer::get_value(part);
    if (same_series_q(value, part)) return int32_t(index_of(part)) - int32_t(index_of(value));
    raise_error("script", "invalid-refine-arg", refinement, part);
}

// ---- Storage ------------------------------------------------------------------------

SeriesBuffer* reserve(Node node, uint32_t extra, Growth growth) {
    SeriesBuffer* s = buffer_of(node);
    if (extra <= uint32_t(s->data_end() - s->tail)) return s;
    uint64_t needed = uint64_t(s->byte_length()) + extra;
    if (needed > memory::MAX_CAPACITY) raise_error("internal", "no-memory");
    uint64_t capacity = growth == Growth::Double ? needed * 2 : needed;
    if (capacity > memory::MAX_CAPACITY) capacity = needed;
    if (capacity < 16) capacity = 16;
    return memory::expand_series(s, uint32_t(capacity));
}

void open_gap(SeriesBuffer* s, uint32_t at, uint32_t bytes) {
    uint32_t used = s->byte_length();
    if (at < used) std::memmove(s->head + at + bytes, s->head + at, used - at);
    s->tail += bytes;
}

void close_gap(SeriesBuffer* s, uint32_t at, uint32_t bytes) {
    uint32_t used = s->byte_length();
    if (at + bytes < used) std::memmove(s->head + at, s->head + at + bytes, used - at - bytes);
    s->tail -= bytes;
}

void copy_range_into(const Cell* source, uint32_t start, uint32_t count, Cell* result) {
    Cell src = *source;   // the result may be the source's own cell
    if (result != source) result->header = TYPE_UNSET;
    Node node = series::copy_units(cell_node(&src), start, count);
    uint32_t extra = type_of(&src) == TYPE_VECTOR ? src.data3 : 0;
    *result = Cell{(src.header & (TYPE_MASK | FLAG_NEW_LINE)), 0, 0, extra};
    set_cell_node(result, node);
}

// ---- Change notification -------------------------------------------------------------

void set_word_provider(WordProvider provider) { word_provider = provider; }

const Cell* word_for(const char* spelling) { return word_provider ? word_provider(spelling) : nullptr; }

bool notify(const Cell* value, const char* action, const Cell* new_value, int32_t index, int32_t count) {
    if (!(buffer(value)->flags & SERIES_OWNED)) return false;
    const Cell* word = word_for(action);
    if (!word) return false;
    return owner::notify(value, word, new_value ? new_value : none_value, index, count);
}

// ---- Elements -----------------------------------------------------------------------

void read_element(const Cell* value, uint32_t offset, Cell* out) {
    SeriesBuffer* s = buffer(value);
    uint32_t unit = s->unit();
    const uint8_t* p = s->head + offset * unit;
    uint32_t t = type_of(value);
    if (t == TYPE_BINARY) {
        integer::set(out, *p);
        return;
    }
    if (t == TYPE_VECTOR) {
        uint32_t elem = value->data3;
        if (elem == TYPE_FLOAT || elem == TYPE_PERCENT) {
            double d;
            if (unit == 4) {
                float f;
                std::memcpy(&f, p, 4);
                d = f;
            } else {
                std::memcpy(&d, p, 8);
            }
            *out = Cell{elem, 0, 0, 0};
            set_cell_float(out, d);
            return;
        }
        int32_t n;
        if (unit == 1) {
            n = int8_t(*p);
        } else if (unit == 2) {
            int16_t h;
            std::memcpy(&h, p, 2);
            n = h;
        } else {
            std::memcpy(&n, p, 4);
        }
        if (elem == TYPE_CHAR) {
            // Code points read back unsigned at their width; a 32-bit element
            // beyond Unicode (arithmetic can make one) reads as U+FFFD.
            uint32_t cp = unit == 1 ? uint32_t(uint8_t(n)) : unit == 2 ? uint32_t(uint16_t(n)) : uint32_t(n);
            *out = Cell{TYPE_CHAR, 0, cp > 0x10FFFF ? 0xFFFDu : cp, 0};
            return;
        }
        *out = Cell{TYPE_INTEGER, 0, uint32_t(n), 0};
        return;
    }
    *out = Cell{TYPE_CHAR, 0, string::get_char(p, unit), 0};
}

namespace {

// Stores a value into element `offset` of a non-block series, raising
// script/invalid-arg with the value when its type does not fit.
void write_element(Cell* value, uint32_t offset, const Cell* item) {
    uint32_t t = type_of(value);
    uint32_t it = type_of(item);
    if (t == TYPE_BINARY) {
        if (it != TYPE_INTEGER && it != TYPE_CHAR) raise_error("script", "invalid-arg", item);
        buffer(value)->head[offset] = uint8_t(item->data2);
        return;
    }
    if (t == TYPE_VECTOR) {
        if (it != value->data3) raise_error("script", "invalid-arg", item);
        SeriesBuffer* s = buffer(value);
        uint32_t unit = s->unit();
        uint8_t* p = s->head + offset * unit;
        if (it == TYPE_FLOAT || it == TYPE_PERCENT) {
            double d = cell_float(item);
            if (unit == 4) {
                float f = float(d);
                std::memcpy(p, &f, 4);
            } else {
                std::memcpy(p, &d, 8);
            }
        } else {
            uint32_t n = item->data2;
            std::memcpy(p, &n, unit < 4 ? unit : 4);   // little-endian: the low bits
        }
        return;
    }
    if (it != TYPE_CHAR) raise_error("script", "invalid-arg", item);
    string::poke_char(cell_node(value), offset, item->data2);
}

// Exchanges `width` bytes at p and q through a small stack buffer.
void swap_bytes(uint8_t* p, uint8_t* q, uint32_t width) {
    uint8_t tmp[16];
    while (width) {
        uint32_t n = width < sizeof tmp ? width : sizeof tmp;
        std::memcpy(tmp, p, n);
        std::memcpy(p, q, n);
        std::memcpy(q, tmp, n);
        p += n;
        q += n;
        width -= n;
    }
}

}  // namespace

// ---- Registration ----------------------------------------------------------------------

void init() {
    TypeSpec spec = make_type_spec(TYPE_SERIES);
    set_slot<SLOT_RANDOM>(spec, series_random);
    set_slot<SLOT_REFLECT>(spec, series_reflect);
    set_slot<SLOT_AT>(spec, series_at);
    set_slot<SLOT_BACK>(spec, series_back);
    set_slot<SLOT_CLEAR>(spec, series_clear);
    set_slot<SLOT_COPY>(spec, series_copy);
    set_slot<SLOT_HEAD>(spec, series_head);
    set_slot<SLOT_HEAD_Q>(spec, series_head_q);
    set_slot<SLOT_INDEX_Q>(spec, series_index_q);
    set_slot<SLOT_LENGTH_Q>(spec, series_length_q);
    set_slot<SLOT_MOVE>(spec, series_move);
    set_slot<SLOT_NEXT>(spec, series_next);
    set_slot<SLOT_PICK>(spec, series_pick);
    set_slot<SLOT_POKE>(spec, series_poke);
    set_slot<SLOT_REMOVE>(spec, series_remove);
    set_slot<SLOT_REVERSE>(spec, series_reverse);
    set_slot<SLOT_SKIP>(spec, series_skip);
    set_slot<SLOT_TAIL>(spec, series_tail);
    set_slot<SLOT_TAIL_Q>(spec, series_tail_q);
    set_slot<SLOT_TAKE>(spec, series_take);
    set_slot<SLOT_MODIFY>(spec, series_modify);
    install_datatype(TYPE_SPEC_WORDS, &spec);

    // The collector's tables start empty after every memory::init.
    take_scratch = Cell{TYPE_NONE, 0, 0, 0};
    gc::register_global_cell(&take_scratch);
}

}  // namespace qor::series

namespace qor {

using namespace series;

// ---- Position actions (work on the argument stack) -----------------------------------------

void series_head() { set_index(stack::arguments_base(), 0); }

void series_tail() {
    Cell* v = stack::arguments_base();
    set_index(v, buffer_units(v));
}

void series_head_q() { logic::set(stack::arguments_base(), index_of(stack::arguments_base()) == 0); }

void series_tail_q() { logic::set(stack::arguments_base(), past_tail_q(stack::arguments_base())); }

void series_index_q() { integer::set(stack::arguments_base(), int32_t(index_of(stack::arguments_base()) + 1)); }

void series_next() {
    Cell* v = stack::arguments_base();
    if (index_of(v) < buffer_units(v)) set_index(v, index_of(v) + 1);
}

void series_back() {
    Cell* v = stack::arguments_base();
    if (index_of(v) > 0) set_index(v, index_of(v) - 1);
}

void series_at() { set_index(stack::arguments_base(), position_from_arg(true)); }

void series_skip() { set_index(stack::arguments_base(), position_from_arg(false)); }

int32_t series_length_q(Cell* value) { return int32_t(length_from(value, false)); }

// ---- pick and poke ---------------------------------------------------------------------------

// The unit offset that pick and poke address, or -1 outside the series.
static int64_t pick_position(const Cell* value, int32_t n) {
    if (n == 0) return -1;
    int64_t p = int64_t(index_of(value)) + n + (n > 0 ? -1 : 0);
    if (p < 0 || p >= int64_t(buffer_units(value))) return -1;
    return p;
}

Cell* series_pick(Cell* value, int32_t n) {
    int64_t p = pick_position(value, n);
    if (p < 0) return none_value;
    if (is_any_block(type_of(value))) return block::cell_at(value, uint32_t(p));
    Cell item;
    read_element(value, uint32_t(p), &item);
    *value = item;   // the series cell is the result slot
    return value;
}

Cell* series_poke(Cell* value, int32_t n, Cell* new_value) {
    int64_t p = pick_position(value, n);
    if (p < 0) {
        Cell at = integer::make(n);
        raise_error("script", "out-of-range", &at);
    }
    uint32_t t = type_of(value);
    // Check the element type before anything changes.
    if (!is_any_block(t)) {
        uint32_t it = type_of(new_value);
        bool fits = t == TYPE_BINARY   ? (it == TYPE_INTEGER || it == TYPE_CHAR)
                    : t == TYPE_VECTOR ? it == value->data3
                                       : it == TYPE_CHAR;
        if (!fits) raise_error("script", "invalid-arg", new_value);
    }
    bool told = notify(value, "poke", new_value, int32_t(p), 1);
    if (is_any_block(t)) {
        hash_index::unindex(value, uint32_t(p));
        *block::cell_at(value, uint32_t(p)) = *new_value;
        hash_index::put(value, uint32_t(p));
    } else {
        write_element(value, uint32_t(p), new_value);
    }
    if (told) notify(value, "poked", new_value, int32_t(p), 1);
    return new_value;
}

// ---- clear, remove, reverse ---------------------------------------------------------------------

Cell* series_clear(Cell* value) {
    uint32_t n = length_from(value, false);
    if (n >= 1) {
        bool told = notify(value, "clear", nullptr, int32_t(index_of(value)), int32_t(n));
        hash_index::delete_range(value, index_of(value), n);
        SeriesBuffer* s = buffer(value);
        s->tail = s->head + (index_of(value) << shift(value));
        if (told) notify(value, "cleared", nullptr, int32_t(index_of(value)), 0);
    }
    return value;
}

Cell* series_remove(Cell* value, Cell* part, Cell* key) {
    uint32_t sh = shift(value);
    uint32_t count = 1;
    if (part) {
        int32_t n = part_count(value, part, "part");
        if (n < 1) return value;
        count = uint32_t(n);
    }
    if (key) {
        Cell found = *value;
        dispatch::find(&found, key, nullptr, false, true, false, false, nullptr, nullptr, false, false, false,
                       false);
        if (type_of(&found) == TYPE_NONE) {
            none::set(value);
            return value;
        }
        set_index(value, index_of(&found));
        count += 1;
    }
    uint32_t total = buffer_units(value);
    uint32_t at = index_of(value);
    if (at < total) {
        if (count > total - at) count = total - at;
        bool told = notify(value, "remove", nullptr, int32_t(at), int32_t(count));
        hash_index::delete_range(value, at, count);
        close_gap(buffer(value), at << sh, count << sh);
        hash_index::shift(value, -int32_t(count), at + count, total - at - count);
        if (told) notify(value, "removed", nullptr, int32_t(at), int32_t(count));
    }
    return value;
}

Cell* series_reverse(Cell* value, Cell* part, Cell* skip) {
    uint32_t at = clamp_index(value);
    uint32_t left = buffer_units(value) - at;
    if (left == 0) return value;
    uint32_t count = left;
    if (part) {
        int32_t n = part_count(value, part, "part");
        if (n < 1) return value;
        // A count beyond the tail would reverse bytes past it.
        count = uint32_t(n) < left ? uint32_t(n) : left;
    }
    uint32_t k = 1;
    if (skip) {
        if (type_of(skip) != TYPE_INTEGER) raise_error("script", "invalid-refine-arg", "skip", skip);
        int32_t size = integer::get_value(skip);
        if (uint32_t(size) == count && size > 0) return value;
        if (size < 1) raise_error("script", "out-of-range", skip);
        if (count < uint32_t(size) || count % uint32_t(size) != 0)
            raise_error("script", "invalid-refine-arg", "skip", skip);
        k = uint32_t(size);
    }
    bool told = notify(value, "reverse", nullptr, int32_t(at), int32_t(count));
    uint32_t sh = shift(value);
    uint32_t width = k << sh;
    bool indexed = hash_index::indexed_q(value);
    for (uint32_t lo = at, hi = at + count - k; lo < hi; lo += k, hi -= k) {
        if (indexed) {
            for (uint32_t j = 0; j < k; j++) {
                hash_index::unindex(value, lo + j);
                hash_index::unindex(value, hi + j);
            }
        }
        // Addresses taken after the index upkeep, which may allocate.
        SeriesBuffer* s = buffer(value);
        swap_bytes(s->head + (lo << sh), s->head + (hi << sh), width);
        if (indexed) {
            for (uint32_t j = 0; j < k; j++) {
                hash_index::put(value, lo + j);
                hash_index::put(value, hi + j);
            }
        }
    }
    if (told) notify(value, "reversed", nullptr, int32_t(at), int32_t(count));
    return value;
}

// ---- random -------------------------------------------------------------------------------------

static int32_t draw(bool secure, int32_t n) {
    int32_t k = 0;
    if (!random::integer(secure, n, k)) raise_error("internal", "no-memory");
    return k;
}

Cell* series_random(Cell* value, bool seed, bool secure, bool only) {
    if (seed) {
        uint32_t at = clamp_index(value);
        SeriesBuffer* s = buffer(value);
        uint32_t sh = shift(value);
        uint32_t h = hashtable::hash_bytes(s->head + (at << sh), s->byte_length() - (at << sh));
        random::seed(int32_t(h));
        unset::set(value);
        return value;
    }
    uint32_t left = length_from(value, false);
    if (only) {
        if (left == 0) {
            none::set(value);
            return value;
        }
        int32_t k = draw(secure, int32_t(left));
        Cell* item = series_pick(value, k);
        if (item != value) *value = *item;
        return value;
    }
    bool told = notify(value, "random", nullptr, int32_t(index_of(value)), int32_t(left));
    uint32_t sh = shift(value);
    uint32_t unit = 1u << sh;
    for (uint32_t p = index_of(value), r = left; r > 0; p++, r--) {
        int32_t k = draw(secure, int32_t(r));
        if (k != 1) {
            uint32_t q = p + uint32_t(k) - 1;
            hash_index::unindex(value, p);
            hash_index::unindex(value, q);
            SeriesBuffer* s = buffer(value);
            swap_bytes(s->head + (p << sh), s->head + (q << sh), unit);
            hash_index::put(value, p);
            hash_index::put(value, q);
        }
    }
    if (told) notify(value, "randomized", nullptr, int32_t(index_of(value)), int32_t(left));
    return value;
}

// ---- copy -----------------------------------------------------------------------------------------

Cell* series_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    uint32_t total = buffer_units(value);
    int64_t start = index_of(value);
    int64_t count = int64_t(total) - start;
    if (count < 0) count = 0;
    if (part) {
        if (type_of(part) == TYPE_INTEGER) {
            count = integer::get_value(part);
        } else if (type_of(part) == TYPE_PAIR) {
            int64_t x = int32_t(part->data2), y = int32_t(part->data3);
            start = x > 0 ? start + x - 1 : start + x;
            if (start < 0) start = 0;
            count = y < x ? 0 : y - x;
        } else if (same_series_q(value, part)) {
            count = int64_t(index_of(part)) - start;
        } else {
            raise_error("script", "invalid-refine-arg", "part", part);
        }
        if (count < 0) {
            count = -count;
            if (start - count < 0) {
                count = start;
                start = 0;
            } else {
                start -= count;
            }
        }
    }
    if (start > int64_t(total)) {
        start = total;
        count = 0;
    }
    if (start + count > int64_t(total)) count = int64_t(total) - start;
    copy_range_into(value, uint32_t(start), uint32_t(count), result);
    return result;
}

// ---- move ----------------------------------------------------------------------------------------

Cell* series_move(Cell* origin, Cell* target, Cell* part) {
    uint32_t tt = type_of(target), ot = type_of(origin);
    if (!is_series(tt) || tt == TYPE_IMAGE) {
        Cell dt;
        datatype::set(&dt, tt);
        raise_error("script", "expect-arg", "move", &dt, "target");
    }
    uint32_t o_total = buffer_units(origin);
    if (index_of(origin) >= o_total) return target;
    uint32_t count = 1;
    if (part) {
        if (type_of(part) != TYPE_INTEGER) raise_error("script", "invalid-refine-arg", "part", part);
        int32_t n = integer::get_value(part);
        if (n < 1) return target;
        count = uint32_t(n);
    }
    uint32_t from = index_of(origin);
    if (count > o_total - from) count = o_total - from;

    bool o_block = is_any_block(ot), t_block = is_any_block(tt);
    if (cell_node(origin) == cell_node(target)) {
        uint32_t sh = shift(origin);
        uint32_t to = index_of(target);
        if (to > o_total) to = o_total;
        if (to == from) return target;
        // A target inside the moved run, or too close to the tail for the
        // run to land after it, leaves things as they are.
        if (from < to && to < o_total && o_total - to < count) return origin;
        if (from < to && to < from + count) return origin;
        bool told = notify(origin, "move", nullptr, int32_t(from), int32_t(count));
        uint32_t bytes = count << sh;
        uint8_t* run = static_cast<uint8_t*>(heap::alloc(bytes));
        SeriesBuffer* s = buffer(origin);
        std::memcpy(run, s->head + (from << sh), bytes);
        close_gap(s, from << sh, bytes);
        // Moving forward, the items between shifted down by count.
        // Moving forward to a non-tail target the run lands just after the
        // item that was there; to the tail it is appended.
        uint32_t place = to < from ? to : to == o_total ? o_total - count : to - count + 1;
        open_gap(s, place << sh, bytes);
        std::memcpy(s->head + (place << sh), run, bytes);
        heap::free(run);
        if (hash_index::indexed_q(origin)) hash_index::rebuild(origin);
        if (told) notify(target, "moved", nullptr, int32_t(to) - int32_t(count), int32_t(count));
        return target;
    }

    if (o_block != t_block) {
        Cell a, b;
        datatype::set(&a, tt);
        datatype::set(&b, ot);
        raise_error("script", "move-bad", &a, &b);
    }
    uint32_t o_unit = buffer(origin)->unit(), t_unit = buffer(target)->unit();
    if (o_unit != t_unit) {
        if (ot == TYPE_BINARY || ot == TYPE_VECTOR || tt == TYPE_BINARY || tt == TYPE_VECTOR) {
            Cell a, b;
            datatype::set(&a, tt);
            datatype::set(&b, ot);
            raise_error("script", "move-bad", &a, &b);
        }
        uint32_t to = clamp_index(target);
        bool told = notify(origin, "move", nullptr, int32_t(from), int32_t(count));
        string::move_chars(origin, target, to, count);
        if (told) notify(target, "moved", nullptr, int32_t(to), int32_t(count));
        return target;
    }
    uint32_t sh = shift(origin);
    uint32_t bytes = count << sh;
    uint32_t to = clamp_index(target);
    bool told = notify(origin, "move", nullptr, int32_t(from), int32_t(count));
    uint32_t t_total = buffer_units(target);
    SeriesBuffer* ts = reserve(cell_node(target), bytes, Growth::Double);
    open_gap(ts, to << sh, bytes);
    SeriesBuffer* os = buffer(origin);   // the reserve may have moved it
    std::memcpy(ts->head + (to << sh), os->head + (from << sh), bytes);
    hash_index::delete_range(origin, from, count);
    close_gap(buffer(origin), from << sh, bytes);   // index upkeep may allocate
    hash_index::shift(origin, -int32_t(count), from + count, o_total - from - count);
    hash_index::shift(target, int32_t(count), to, t_total - to);
    hash_index::put_range(target, to, count);
    if (told) notify(target, "moved", nullptr, int32_t(to), int32_t(count));
    return target;
}

// ---- take ----------------------------------------------------------------------------------------

Cell* series_take(Cell* value, Cell* part, bool deep, bool last) {
    uint32_t total = buffer_units(value);
    uint32_t at = index_of(value);
    if (at >= total) {
        none::set(value);
        return value;
    }
    int64_t r = 1;
    if (part) {
        if (type_of(part) == TYPE_INTEGER) {
            r = integer::get_value(part);
        } else if (same_series_q(value, part)) {
            uint32_t pi = index_of(part);
            if (pi < at) r = 0;
            else if (last) r = int64_t(total) - (pi < total ? pi : total);
            else r = int64_t(pi) - at;
        } else {
            raise_error("script", "invalid-refine-arg", "part", part);
        }
    }
    int64_t available = int64_t(total) - at;
    int64_t count = r;
    if (r < 0) {
        available = at;
        count = last ? 1 : -r;
    }
    if (count > available) count = available;
    if (count == 0) count = 1;

    bool told = notify(value, "take", nullptr, int32_t(at), int32_t(r));
    uint32_t sh = shift(value);
    uint32_t unit = 1u << sh;
    Cell source = *value;

    // The result series.
    Cell* result = stack::push_slot();
    result->header = TYPE_UNSET;
    Node node;
    if (part) {
        node = memory::alloc_series(uint32_t(count), unit, 0);
        SeriesBuffer* fresh = buffer_of(node);
        fresh->flags |= buffer(&source)->flags & ~(SERIES_UNIT_MASK | SERIES_LIVE | SERIES_SCANNED | SERIES_MADE |
                                                    SERIES_HEAD_MIDDLE | SERIES_MARK | SERIES_PINNED | SERIES_BIG |
                                                    SERIES_FIXED | SERIES_OWNED);
    } else {
        if (type_of(&take_scratch) == TYPE_NONE) {
            take_scratch = Cell{TYPE_BINARY, 0, 0, 0};
            set_cell_node(&take_scratch, memory::alloc_fixed_series(16, 1, 0));
        }
        node = cell_node(&take_scratch);
        SeriesBuffer* sc = buffer_of(node);
        sc->flags = (sc->flags & ~SERIES_UNIT_MASK) | unit;
        sc->tail = sc->head;
    }
    uint32_t extra = (type_of(&source) == TYPE_VECTOR || type_of(&source) == TYPE_HASH) ? source.data3 : 0;
    *result = Cell{type_of(&source), 0, 0, extra};
    set_cell_node(result, node);

    // The source range.
    int64_t from = -1;
    if (r >= 1) from = last ? int64_t(total) - count : at;
    else if (!last && count <= int64_t(at)) from = int64_t(at) - count;
    if (from >= 0) {
        uint32_t bytes = uint32_t(count) << sh;
        SeriesBuffer* rs = buffer_of(node);
        std::memcpy(rs->head, buffer(&source)->head + (uint32_t(from) << sh), bytes);
        rs->tail = rs->head + bytes;
        hash_index::delete_range(&source, uint32_t(from), uint32_t(count));
        SeriesBuffer* s = buffer(&source);   // index upkeep may allocate
        if (last) {
            s->tail = s->head + (uint32_t(from) << sh);
        } else {
            close_gap(s, uint32_t(from) << sh, bytes);
            hash_index::shift(&source, -int32_t(count), uint32_t(from + count),
                              total - uint32_t(from) - uint32_t(count));
        }
        if (type_of(result) == TYPE_HASH) hash_index::make_for(result);
    }
    (void)deep;
    if (told) notify(&source, "taken", nullptr, int32_t(at), int32_t(r));
    return result;
}

// ---- reflect and modify ----------------------------------------------------------------------------

static bool is_field(const Cell* field, const char* name) {
    if (!is_any_word(type_of(field)) && type_of(field) != TYPE_REFINEMENT) return false;
    const Cell* word = word_for(name);
    if (!word) return false;
    return uint32_t(symbol::resolve_alias(int32_t(field->data2))) == uint32_t(symbol::resolve_alias(int32_t(word->data2)));
}

Cell* series_reflect(Cell* value, Cell* field) {
    if (!is_field(field, "owned")) raise_error("internal", "not-done");
    const Cell* owner_cell = owner::get(cell_node(value));
    if (owner_cell) *value = *owner_cell;
    else none::set(value);
    return value;
}

Cell* series_modify(Cell* target, Cell* field, Cell* value, bool case_sensitive) {
    (void)case_sensitive;
    if (!is_field(field, "owned")) return value;
    if (type_of(value) == TYPE_NONE) {
        owner::detach(target);
    } else if (type_of(value) == TYPE_BLOCK && block::remaining_length(value) >= 2) {
        Cell owner_cell = *block::item(value, 0);
        Cell word = *block::item(value, 1);
        if (type_of(&owner_cell) == TYPE_OBJECT) owner::attach_object(target, &owner_cell, &word);
    }
    return value;
}

}  // namespace qor

