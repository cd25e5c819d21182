// native!, action! and op!: making, reflection, text forms and comparison
// (see native.hpp).
#include "datatypes/native.hpp"

#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/function.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "runtime/collector.hpp"
#include "datatypes/fixed_words.hpp"

namespace qor::native {

namespace {

constexpr Cell UNSET_CELL{TYPE_UNSET, 0, 0, 0};
constexpr Cell NONE_CELL{TYPE_NONE, 0, 0, 0};

const uintptr_t* g_natives = nullptr;
const uintptr_t* g_dispatcher = nullptr;

int32_t canonical(int32_t symbol) { return symbol::resolve_alias(symbol); }

int32_t fixed_symbol(words::FixedSymbol s) {
    int32_t id = words::ready() ? words::symbol(s) : 0;
    return id ? id : symbol::intern(words::spelling(s));
}
int32_t fixed_refinement_symbol(words::FixedRefinement r) {
    if (words::ready()) {
        const Cell* c = words::refinement(r);
        if (c) return int32_t(c->data2);
    }
    return symbol::intern(words::spelling(r));
}
bool is_named(const Cell* c, int32_t symbol) { return canonical(int32_t(c->data2)) == canonical(symbol); }

// {type, entry, spec, more} with a new more block: the record of a stack
// context made from the spec, then none.  Writes `cell` only when done.
void init_value(Cell* cell, uint32_t type, const Cell* spec_in, uintptr_t entry) {
    Cell spec = *spec_in;
    gc::CellRoot keep_spec(&spec);
    Node ctx = context::make_from_spec(&spec, true, false, context::KIND_FUNCTION);
    gc::NodeRoot keep_ctx(&ctx);
    Cell more = block::make(2);
    gc::CellRoot keep_more(&more);
    Cell record = *context::record(ctx);
    block::append_copy(&more, &record);
    block::append_copy(&more, &NONE_CELL);
    *cell = Cell{type, uint32_t(entry), spec.data2, more.data2};
}

Cell* make_from_table(Cell* spec_in, uint32_t type, uint32_t limit) {
    Cell v = *spec_in;
    gc::CellRoot keep(&v);
    bool ok = type_of(&v) == TYPE_BLOCK && block::remaining_length(&v) == 2;
    Cell spec = ok ? *block::item(&v, 0) : NONE_CELL;
    Cell index = ok ? *block::item(&v, 1) : NONE_CELL;
    ok = ok && type_of(&spec) == TYPE_BLOCK && type_of(&index) == TYPE_INTEGER;
    int32_t i = ok ? int32_t(index.data2) : 0;
    if (!ok || i < 1 || uint32_t(i) > limit) {
        Cell dt{TYPE_DATATYPE, type, 0, 0};
        raise_error("script", "bad-make-arg", &dt, &v);
    }
    gc::CellRoot keep_spec(&spec);
    Cell* result = stack::push_slot();
    *result = UNSET_CELL;
    Cell made = UNSET_CELL;
    gc::CellRoot keep_made(&made);
    init_value(&made, type, &spec, type == TYPE_NATIVE ? native_entry(uint32_t(i)) : action_entry(uint32_t(i)));
    *result = made;
    return result;
}

int32_t append_text(Cell* out, const char* text, int32_t limit) {
    size_t n = std::strlen(text);
    string::append_ascii(out, text, n);
    return limit - int32_t(n);
}

struct MoldSpec {
    Cell* spec;
    Cell* out;
    bool all, flat;
    Cell* part;
    int32_t limit, indent;
};

void mold_spec(void* data) {
    MoldSpec* m = static_cast<MoldSpec*>(data);
    m->limit = dispatch::mold(m->spec, m->out, false, m->all, m->flat, m->part, m->limit, m->indent);
}

}  // namespace

void init() {
    TypeSpec n = make_type_spec(TYPE_NATIVE);
    set_slot<SLOT_MAKE>(n, native_make);
    set_slot<SLOT_REFLECT>(n, native_reflect);
    set_slot<SLOT_FORM>(n, native_form);
    set_slot<SLOT_MOLD>(n, native_mold);
    set_slot<SLOT_COMPARE>(n, native_compare);
    install_datatype(TYPE_SPEC_WORDS, &n);

    TypeSpec a = make_type_spec(TYPE_ACTION);
    set_slot<SLOT_MAKE>(a, action_make);
    inherit_slot(a, SLOT_REFLECT);
    set_slot<SLOT_FORM>(a, native_form);
    set_slot<SLOT_MOLD>(a, native_mold);
    set_slot<SLOT_COMPARE>(a, native_compare);
    install_datatype(TYPE_SPEC_WORDS, &a);

    TypeSpec o = make_type_spec(TYPE_OP);
    set_slot<SLOT_MAKE>(o, op_make);
    inherit_slot(o, SLOT_REFLECT);
    set_slot<SLOT_FORM>(o, native_form);
    set_slot<SLOT_MOLD>(o, native_mold);
    set_slot<SLOT_COMPARE>(o, native_compare);
    install_datatype(TYPE_SPEC_WORDS, &o);
}

void set_tables(const uintptr_t* natives, const uintptr_t* dispatcher) {
    g_natives = natives;
    g_dispatcher = dispatcher;
}

uintptr_t native_entry(uint32_t index) {
    return g_natives && index >= 1 && index <= NATIVES_TABLE_SIZE ? g_natives[index - 1] : 0;
}

uintptr_t action_entry(uint32_t index) {
    return g_dispatcher && index >= 1 && index <= DISPATCHER_TABLE_SIZE ? g_dispatcher[index - 1] : 0;
}

Cell* spec_context_record(const Cell* v) { return cells_head(buffer_of(more_node(v))); }

Cell* init_native(Cell* cell, const Cell* spec, uint32_t index) {
    Cell made = UNSET_CELL;
    gc::CellRoot keep(&made);
    init_value(&made, TYPE_NATIVE, spec, native_entry(index));
    *cell = made;
    return cell;
}

Cell* init_action(Cell* cell, const Cell* spec, uint32_t index) {
    Cell made = UNSET_CELL;
    gc::CellRoot keep(&made);
    init_value(&made, TYPE_ACTION, spec, action_entry(index));
    *cell = made;
    return cell;
}

int32_t op_arity(const Cell* spec) {
    int32_t local = fixed_refinement_symbol(words::REF_LOCAL);
    int32_t ext = fixed_refinement_symbol(words::REF_EXTERN);
    int32_t count = 0;
    bool plain = false;
    uint32_t total = block::total_length(spec);
    for (uint32_t i = 0; i < total; i++) {
        const Cell* c = block::cell_at(spec, i);
        switch (type_of(c)) {
        case TYPE_WORD:
            count++;
            plain = true;
            break;
        case TYPE_LIT_WORD: case TYPE_GET_WORD:
            if (!plain) return -1;
            count++;
            break;
        case TYPE_REFINEMENT:
            if (is_named(c, local) || is_named(c, ext)) return count;
            return -1;
        case TYPE_SET_WORD:
            return count;
        default:
            break;
        }
    }
    return count;
}

int32_t table_position(uintptr_t code, bool action) {
    const uintptr_t* table = action ? g_dispatcher : g_natives;
    uint32_t n = action ? DISPATCHER_TABLE_SIZE : NATIVES_TABLE_SIZE;
    if (!table) return 0;
    for (uint32_t i = 0; i < n; i++)
        if (table[i] == code) return int32_t(i + 1);
    return 0;
}

// ---- Actions ---------------------------------------------------------------------------------------

Cell* native_make(Cell* prototype, Cell* spec) {
    (void)prototype;
    return make_from_table(spec, TYPE_NATIVE, NATIVES_TABLE_SIZE);
}

Cell* action_make(Cell* prototype, Cell* spec) {
    (void)prototype;
    return make_from_table(spec, TYPE_ACTION, DISPATCHER_TABLE_SIZE);
}

Cell* op_make(Cell* prototype, Cell* spec_in) {
    (void)prototype;
    Cell v = *spec_in;
    gc::CellRoot keep(&v);
    uint32_t t = type_of(&v);
    if (t != TYPE_ACTION && t != TYPE_NATIVE && t != TYPE_FUNCTION && t != TYPE_ROUTINE) {
        Cell dt{TYPE_DATATYPE, t, 0, 0};
        raise_error("script", "invalid-type", &dt);
    }
    Cell spec{TYPE_BLOCK, 0, v.data2, 0};
    if (op_arity(&spec) != 2) raise_error("script", "bad-op-spec");
    // The op keeps its source's flag bits (a routine's calling convention and
    // arity, a function's trace attributes): calls through the op use them.
    Cell op = v;
    op.header = (v.header & ~(TYPE_MASK | (0xFFu << OP_FROM_SHIFT) | FLAG_NEW_LINE)) | TYPE_OP |
                (t << OP_FROM_SHIFT);
    if (t == TYPE_FUNCTION || t == TYPE_ROUTINE) {
        Cell plain = v;
        plain.header &= ~FLAG_NEW_LINE;
        *function::more_cell(&v, function::MORE_OP) = plain;
    }
    return stack::push(&op);
}

Cell* native_reflect(Cell* value, Cell* field) {
    Cell v = *value;
    gc::CellRoot keep(&v);
    if (!is_any_word(type_of(field))) raise_error("internal", "not-done");
    uint32_t t = type_of(&v);
    uint32_t from = t == TYPE_OP ? op_source_type(&v) : t;
    if (is_named(field, fixed_symbol(words::SYM_SPEC))) {
        *value = Cell{TYPE_BLOCK, 0, v.data2, 0};
    } else if (is_named(field, fixed_symbol(words::SYM_BODY))) {
        if (from == TYPE_FUNCTION || from == TYPE_ROUTINE) {
            *value = *cells_head(buffer_of(more_node(&v)));
        } else {
            *value = Cell{TYPE_INTEGER, 0, uint32_t(table_position(code_of(&v), from == TYPE_ACTION)), 0};
        }
    } else {
        raise_error("internal", "not-done");
    }
    return value;
}

int32_t native_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    (void)part;
    switch (type_of(value)) {
    case TYPE_NATIVE: return append_text(out, "?native?", limit);
    case TYPE_ACTION: return append_text(out, "?action?", limit);
    default: return append_text(out, "?op?", limit);
    }
}

int32_t native_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                    int32_t indent) {
    (void)only;
    Cell v = *value;
    gc::CellRoot keep(&v);
    Cell spec{TYPE_BLOCK, 0, v.data2, 0};
    uint32_t t = type_of(&v);
    if (t != TYPE_OP) {
        limit = append_text(out, t == TYPE_NATIVE ? "make native! [" : "make action! [", limit);
        limit = dispatch::mold(&spec, out, false, all, flat, part, limit, indent);
        return append_text(out, "]", limit);
    }
    bool from_function = op_source_type(&v) == TYPE_FUNCTION;
    limit = append_text(out, from_function ? "make op! func " : "make op! [", limit);
    MoldSpec m{&spec, out, all, flat, part, limit, indent};
    auto in_frame = eval_links::get().in_native_frame;
    if (in_frame && words::ready())
        in_frame(words::word(words::W_ANON), mold_spec, &m);
    else
        mold_spec(&m);
    limit = m.limit;
    if (from_function) {
        Cell body = *cells_head(buffer_of(more_node(&v)));
        gc::CellRoot keep_body(&body);
        if (type_of(&body) == TYPE_BLOCK) limit = dispatch::mold(&body, out, false, all, flat, part, limit, indent);
        return limit;
    }
    return append_text(out, "]", limit);
}

int32_t native_compare(Cell* value1, Cell* value2, int32_t op) {
    if (type_of(value1) != type_of(value2)) return COMPARE_INCOMPARABLE;
    switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT: case COMP_CASE_SORT:
    case COMP_SAME: case COMP_FIND:
        return value1->data1 == value2->data1 ? 0 : value1->data1 < value2->data1 ? -1 : 1;
    default:
        return COMPARE_INCOMPARABLE;
    }
}

}  // namespace qor::native
