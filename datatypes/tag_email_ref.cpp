// tag!, email! and ref!: registration, written forms, email! paths and the
// literal decoders.
#include "datatypes/tag_email_ref.hpp"

#include "datatypes/literal.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"
#include "datatypes/string_actions.hpp"
#include "datatypes/text_literal.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"

namespace qor {

namespace {

// Slots none of the three supports although string! has them (or that
// string! leaves empty anyway): random, set-path, the math and logic slots,
// sort, trim and the port actions.
constexpr int UNSUPPORTED[] = {
    SLOT_RANDOM,  SLOT_SET_PATH, SLOT_ABSOLUTE, SLOT_ADD,    SLOT_DIVIDE,     SLOT_MULTIPLY, SLOT_NEGATE,
    SLOT_POWER,   SLOT_REMAINDER, SLOT_ROUND,   SLOT_SUBTRACT, SLOT_EVEN_Q,   SLOT_ODD_Q,    SLOT_AND_T,
    SLOT_COMPLEMENT, SLOT_OR_T,  SLOT_XOR_T,    SLOT_SORT,   SLOT_TRIM,       SLOT_CREATE,   SLOT_CLOSE,
    SLOT_DELETE,  SLOT_OPEN,     SLOT_OPEN_Q,   SLOT_QUERY,  SLOT_READ,       SLOT_RENAME,   SLOT_UPDATE,
    SLOT_WRITE,
};

// Every slot from string!, less the unsupported ones.
TypeSpec text_spec(uint32_t id) {
    TypeSpec spec = make_type_spec(id);
    for (int slot = 1; slot <= ACTION_COUNT; slot++) inherit_slot(spec, slot);
    for (int slot : UNSUPPORTED) spec.slots[slot - 1] = ACTION_NONE;
    return spec;
}

// "<" text ">": the same for form and mold.
int32_t tag_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    string::append_char(out, '<');
    limit = string_form(value, out, part, limit - 1);
    string::append_char(out, '>');
    return limit - 1;
}

int32_t tag_mold(Cell* value, Cell* out, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return tag_form(value, out, part, limit);
}

int32_t email_mold(Cell* value, Cell* out, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return string_form(value, out, part, limit);
}

int32_t ref_mold(Cell* value, Cell* out, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    string::append_char(out, '@');
    return string_form(value, out, part, limit - 1);
}

// A new string! of the characters [from, to) of the value's buffer.
Cell* push_range(const Cell* value, uint32_t from, uint32_t to) {
    Cell text = string::make(to - from);
    gc::CellRoot keep(&text);
    for (uint32_t i = from; i < to; i++) string::append_char(&text, string::char_at(value, i));
    return string::push_cell(&text);
}

// email/user and email/host, read or set; an integer picks or pokes a
// character as string! does.
Cell* email_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent, Cell* previous,
                      int32_t step, bool case_sensitive, uint32_t reserved, bool last, bool notify) {
    uint32_t et = type_of(element);
    if (et == TYPE_INTEGER)
        return string_eval_path(value, element, new_value, path, parent, previous, step, case_sensitive, reserved,
                                last, notify);
    bool user = et == TYPE_WORD && word::spelled(element, "user");
    bool host = et == TYPE_WORD && word::spelled(element, "host");
    if (!user && !host) raise_error("script", "invalid-path", element, path ? path : value);

    Cell address = *value;
    gc::CellRoot keep(&address);
    uint32_t from = uint32_t(string::index_of(&address));
    uint32_t tail = string::length_from_head(&address);
    if (from > tail) from = tail;
    int32_t at = string::find_char_offset(&address, '@');
    uint32_t split = at < 0 ? tail : from + uint32_t(at);   // where the user part ends

    bool set = new_value && type_of(new_value) != TYPE_NONE;
    if (!set) return user ? push_range(&address, from, split) : push_range(&address, at < 0 ? tail : split + 1, tail);

    Cell replacement = *new_value;
    gc::CellRoot keep_replacement(&replacement);
    Cell target = address;
    if (user) {
        target.data1 = from;
        string_change(&target, &replacement, int32_t(split - from), false, 1);
    } else if (at < 0) {
        // An address without "@" gains one in front of its new host.
        target.data1 = tail;
        Cell sign{TYPE_CHAR, 0, '@', 0};
        string_insert(&target, &sign, -1, false, 1, false);
        target.data1 = tail + 1;
        string_insert(&target, &replacement, -1, false, 1, false);
    } else {
        target.data1 = split + 1;
        string_change(&target, &replacement, int32_t(tail - split - 1), false, 1);
    }
    return new_value;
}

}  // namespace

namespace tag {

void init() {
    TypeSpec spec = text_spec(TYPE_TAG);
    set_slot<SLOT_FORM>(spec, tag_form);
    set_slot<SLOT_MOLD>(spec, tag_mold);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out) {
    if (start >= end || *start != '<') return TYPE_TAG;
    return text_literal::decode(start + 1, end, seen, text_literal::ESCAPES, TYPE_TAG, make, out);
}

}  // namespace tag

namespace email {

void init() {
    TypeSpec spec = text_spec(TYPE_EMAIL);
    set_slot<SLOT_MOLD>(spec, email_mold);
    set_slot<SLOT_EVAL_PATH>(spec, email_eval_path);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out) {
    return text_literal::decode(start, end, seen, text_literal::ESCAPES, TYPE_EMAIL, make, out);
}

}  // namespace email

namespace ref {

void init() {
    TypeSpec spec = text_spec(TYPE_REF);
    set_slot<SLOT_MOLD>(spec, ref_mold);
    for (int slot : {SLOT_EVAL_PATH, SLOT_APPEND, SLOT_PUT}) spec.slots[slot - 1] = ACTION_NONE;
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out) {
    if (start >= end || *start != '@') return TYPE_REF;
    return text_literal::decode(start + 1, end, seen, text_literal::ESCAPES, TYPE_REF, make, out);
}

}  // namespace ref

}  // namespace qor
