// function! and routine!: spec validation, making, local collection and the
// datatype actions (see function.hpp).
#include "datatypes/function.hpp"

#include <optional>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "datatypes/fixed_words.hpp"
#include "runtime/series.hpp"

namespace qor {

namespace {

constexpr Cell UNSET_CELL{TYPE_UNSET, 0, 0, 0};
constexpr Cell NONE_CELL{TYPE_NONE, 0, 0, 0};

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

bool is_arg_word(uint32_t t) { return t == TYPE_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD; }
bool is_spec_slot(uint32_t t) { return is_arg_word(t) || t == TYPE_REFINEMENT; }

[[noreturn]] void bad_def(const Cell* spec) {
    Cell s = *spec;
    raise_error("script", "bad-func-def", &s);
}

// The cells of a block from its index, as a vector of copies (specs are
// short; the copies keep the walk safe from allocation).
std::vector<Cell> cells_of(const Cell* block) {
    std::vector<Cell> out;
    uint32_t total = block::total_length(block);
    for (uint32_t i = block->data1; i < total; i++) out.push_back(*block::cell_at(block, i));
    return out;
}

// Checks one type block.
void check_type_block(const Cell* types) {
    std::vector<Cell> cells = cells_of(types);
    for (Cell& c : cells) {
        uint32_t t = type_of(&c);
        if (t == TYPE_DATATYPE || t == TYPE_TYPESET) continue;
        if (t == TYPE_WORD) {
            Cell v = *context::get_word_value(&c);
            if (type_of(&v) == TYPE_UNSET) raise_error("script", "no-value", &c);
            if (type_of(&v) == TYPE_DATATYPE || type_of(&v) == TYPE_TYPESET) continue;
        }
        raise_error("script", "invalid-type-spec", &c);
    }
}

Cell* new_more_block(const Cell& body, uintptr_t code, Node owner) {
    Cell* more = stack::push_slot();
    *more = UNSET_CELL;
    *more = block::make(function::MORE_CELLS);
    block::append_copy(more, &body);
    block::append_copy(more, &UNSET_CELL);
    Cell code_cell = code ? Cell{TYPE_INTEGER, 0, uint32_t(code), 0} : UNSET_CELL;
    block::append_copy(more, &code_cell);
    block::append_copy(more, &UNSET_CELL);
    Cell owner_cell = owner ? Cell{TYPE_INTEGER, 0, reinterpret_cast<uint32_t>(owner), 0} : UNSET_CELL;
    block::append_copy(more, &owner_cell);
    return more;
}

// A spec at its head: the value itself, or a private copy from its index.
Cell spec_at_head(const Cell* spec) {
    Cell s = *spec;
    uint32_t total = block::total_length(&s);
    if (s.data1 > total) s.data1 = total;
    if (s.data1 == 0) return s;
    Cell copy = block::copy(&s);
    copy.header = TYPE_BLOCK;
    return copy;
}

Cell* make_function(const Cell* spec_in, const Cell* body_in, Node ctx, uintptr_t code, Node owner,
                    uint32_t flags, bool copy_body) {
    Cell spec = *spec_in, body = body_in ? *body_in : NONE_CELL;
    gc::CellRoot keep_spec(&spec), keep_body(&body);
    gc::NodeRoot keep_ctx(&ctx), keep_owner(&owner);
    spec = spec_at_head(&spec);
    bool has_body = type_of(&body) == TYPE_BLOCK;
    if (has_body) {
        uint32_t total = block::total_length(&body);
        if (body.data1 > total) body.data1 = total;
    }
    bool own_context = ctx == nullptr;
    if (own_context) ctx = context::make_from_spec(&spec, true, false, context::KIND_FUNCTION);
    if (has_body && copy_body) {
        Cell copy = *block::clone(&body, true, true);
        stack::pop(1);
        body = copy;
    }
    Cell more = *new_more_block(body, code, owner);
    stack::pop(1);
    gc::CellRoot keep_more(&more);
    Cell fn{TYPE_FUNCTION | (flags & FUNC_ATTRIBUTE_MASK), reinterpret_cast<uint32_t>(ctx), spec.data2, more.data2};
    Cell* pushed = stack::push(&fn);
    *context::self_cell(ctx) = fn;
    if (own_context && has_body) context::bind_deep(&body, ctx, false);
    return pushed;
}

// ---- Local collection --------------------------------------------------------------------------

struct Collector {
    std::vector<int32_t> known;      // canonical symbols of declared and external names
    std::vector<Cell>    collected;  // new names, as word! cells
    int32_t foreach_sym, remove_each_sym, repeat_sym;

    bool seen(int32_t symbol) const {
        int32_t c = canonical(symbol);
        for (int32_t k : known)
            if (k == c) return true;
        return false;
    }
    void add(const Cell* w) {
        if (seen(int32_t(w->data2))) return;
        known.push_back(canonical(int32_t(w->data2)));
        Cell copy = *w;
        copy.header = TYPE_WORD;
        collected.push_back(copy);
    }
    // Walks a block and its nested blocks and parens.
    void walk(const Cell* block) {
        if (!block->data2 || cycle_stack::find(cell_node(block))) return;
        cycle_stack::push(cell_node(block));
        std::vector<Cell> cells = cells_of(block);
        for (size_t i = 0; i < cells.size(); i++) {
            const Cell& c = cells[i];
            uint32_t t = type_of(&c);
            if (t == TYPE_SET_WORD) {
                add(&c);
            } else if (t == TYPE_WORD && i + 1 < cells.size()) {
                int32_t s = canonical(int32_t(c.data2));
                const Cell& next = cells[i + 1];
                uint32_t nt = type_of(&next);
                bool loop = s == canonical(foreach_sym) || s == canonical(remove_each_sym);
                if (loop && nt == TYPE_BLOCK) {
                    for (const Cell& w : cells_of(&next))
                        if (is_arg_word(type_of(&w))) add(&w);
                } else if ((loop || s == canonical(repeat_sym)) && (nt == TYPE_WORD || nt == TYPE_SET_WORD)) {
                    add(&next);
                }
            }
            if (t == TYPE_BLOCK || t == TYPE_PAREN) walk(&c);
        }
        cycle_stack::pop();
    }
};

}  // namespace

namespace function {

// ---- Registration ---------------------------------------------------------------------------------

void init() {
    TypeSpec spec = make_type_spec(TYPE_FUNCTION);
    set_slot<SLOT_MAKE>(spec, function_make);
    set_slot<SLOT_REFLECT>(spec, function_reflect);
    set_slot<SLOT_FORM>(spec, function_form);
    set_slot<SLOT_MOLD>(spec, function_mold);
    set_slot<SLOT_COMPARE>(spec, function_compare);
    install_datatype(TYPE_SPEC_WORDS, &spec);

    TypeSpec r = make_type_spec(TYPE_ROUTINE);
    inherit_slot(r, SLOT_REFLECT);
    set_slot<SLOT_FORM>(r, routine::routine_form);
    set_slot<SLOT_MOLD>(r, routine::routine_mold);
    set_slot<SLOT_COMPARE>(r, routine::routine_compare);
    install_datatype(TYPE_SPEC_WORDS, &r);
}

// ---- Accessors ------------------------------------------------------------------------------------

Cell spec_block(const Cell* fn) { return Cell{TYPE_BLOCK, 0, fn->data2, 0}; }

// ---- Validation -------------------------------------------------------------------------------------

uint32_t validate_spec(const Cell* spec_in) {
    Cell spec = *spec_in;
    gc::CellRoot keep(&spec);
    std::vector<Cell> cells = cells_of(&spec);
    std::optional<gc::CellRoot> keep_cells;   // a root covers at least one cell
    if (!cells.empty()) keep_cells.emplace(cells.data(), uint32_t(cells.size()));
    int32_t trace = fixed_symbol(words::SYM_TRACE), no_trace = fixed_symbol(words::SYM_NO_TRACE);
    int32_t local = fixed_refinement_symbol(words::REF_LOCAL);
    int32_t ret = fixed_symbol(words::SYM_RETURN);
    uint32_t flags = 0;
    size_t i = 0, n = cells.size();
    if (n > 0 && type_of(&cells[0]) == TYPE_BLOCK) {
        for (Cell& a : cells_of(&cells[0])) {
            if (type_of(&a) != TYPE_WORD) bad_def(&spec);
            if (is_named(&a, trace)) flags |= FUNC_TRACE;
            else if (is_named(&a, no_trace)) flags |= FUNC_NO_TRACE;
        }
        i = 1;
    }
    bool in_locals = false, returned = false;
    for (; i < n; i++) {
        const Cell& c = cells[i];
        uint32_t t = type_of(&c);
        uint32_t next = i + 1 < n ? type_of(&cells[i + 1]) : 0;
        if (is_arg_word(t)) {
            if (in_locals && t != TYPE_WORD) bad_def(&spec);
            if (next == TYPE_STRING && i + 2 < n && type_of(&cells[i + 2]) == TYPE_BLOCK) bad_def(&spec);
            if (returned && !in_locals) bad_def(&spec);
            if (next == TYPE_BLOCK) {
                check_type_block(&cells[i + 1]);
                i++;
            }
        } else if (t == TYPE_SET_WORD) {
            if (!is_named(&c, ret) || returned || in_locals || next != TYPE_BLOCK) bad_def(&spec);
            returned = true;
            uint32_t after = i + 2 < n ? type_of(&cells[i + 2]) : 0;
            if (after != 0 && after != TYPE_REFINEMENT && after != TYPE_STRING) bad_def(&spec);
            i++;
        } else if (t == TYPE_REFINEMENT) {
            if (is_named(&c, local)) {
                in_locals = true;
            } else if (in_locals || returned) {
                bad_def(&spec);
            }
            if (next != 0 && !is_spec_slot(next) && next != TYPE_SET_WORD && next != TYPE_STRING) bad_def(&spec);
        } else if (t != TYPE_STRING) {
            bad_def(&spec);
        }
    }
    for (size_t a = 0; a < n; a++) {
        if (!is_spec_slot(type_of(&cells[a]))) continue;
        for (size_t b = a + 1; b < n; b++) {
            if (!is_spec_slot(type_of(&cells[b]))) continue;
            if (canonical(int32_t(cells[a].data2)) == canonical(int32_t(cells[b].data2)))
                raise_error("script", "dup-vars", &cells[b]);
        }
    }
    return flags;
}

// ---- Making -------------------------------------------------------------------------------------------

Cell* make_value(const Cell* spec, const Cell* body, Node ctx, uintptr_t code, Node owner, uint32_t flags) {
    return make_function(spec, body, ctx, code, owner, flags, true);
}

Cell* make_value_with_body(const Cell* spec, const Cell* body, Node ctx, uintptr_t code, Node owner,
                           uint32_t flags) {
    return make_function(spec, body, ctx, code, owner, flags, false);
}

Cell* collect_locals(Cell* spec, const Cell* body_in) {
    Cell body = *body_in;
    gc::CellRoot keep_body(&body);
    Collector col;
    col.foreach_sym = fixed_symbol(words::SYM_FOREACH);
    col.remove_each_sym = fixed_symbol(words::SYM_REMOVE_EACH);
    col.repeat_sym = fixed_symbol(words::SYM_REPEAT);
    int32_t extern_sym = fixed_refinement_symbol(words::REF_EXTERN);
    int32_t local_sym = fixed_refinement_symbol(words::REF_LOCAL);
    // /extern: the names after it are external, and the spec ends there.
    uint32_t total = block::total_length(spec);
    for (uint32_t i = spec->data1; i < total; i++) {
        Cell c = *block::cell_at(spec, i);
        if (type_of(&c) != TYPE_REFINEMENT || !is_named(&c, extern_sym)) continue;
        for (uint32_t j = i + 1; j < total; j++) {
            Cell e = *block::cell_at(spec, j);
            if (type_of(&e) != TYPE_WORD) raise_error("script", "bad-func-extern", &e);
            col.known.push_back(canonical(int32_t(e.data2)));
        }
        block::truncate_at(spec, i);
        break;
    }
    bool has_local = false;
    for (Cell& c : cells_of(spec)) {
        uint32_t t = type_of(&c);
        if (!(is_any_word(t) || t == TYPE_REFINEMENT)) continue;
        if (t == TYPE_REFINEMENT && is_named(&c, local_sym)) has_local = true;
        col.known.push_back(canonical(int32_t(c.data2)));
    }
    {
        cycle_stack::Guard guard;
        if (type_of(&body) == TYPE_BLOCK) col.walk(&body);
    }
    std::optional<gc::CellRoot> keep_collected;
    if (!col.collected.empty()) keep_collected.emplace(col.collected.data(), uint32_t(col.collected.size()));
    if (!col.collected.empty()) {
        if (!has_local) {
            Cell local = *words::refinement(words::REF_LOCAL);
            if (!words::ready()) local = Cell{TYPE_REFINEMENT, 0, uint32_t(local_sym), 0xFFFFFFFFu};
            block::append_copy(spec, &local);
        }
        for (Cell& w : col.collected) block::append_copy(spec, &w);
    }
    Cell* result = block::push_new(int32_t(col.collected.size()));
    for (Cell& w : col.collected) block::append_copy(result, &w);
    return result;
}

int32_t count_spec_words(Node spec, uint32_t start, bool must_have_local) {
    int32_t local = fixed_refinement_symbol(words::REF_LOCAL);
    SeriesBuffer* s = buffer_of(spec);
    int32_t count = 0;
    bool seen = false;
    for (uint32_t i = start; i < s->length(); i++) {
        const Cell* c = cells_head(buffer_of(spec)) + i;
        if (!seen) {
            if (type_of(c) == TYPE_REFINEMENT && is_named(c, local)) {
                seen = true;
                count = 1;
            }
        } else if (type_of(c) == TYPE_WORD) {
            count++;
        }
    }
    return (!seen && must_have_local) ? -1 : count;
}

void push_refinement_defaults(int32_t n) {
    if (n <= 0) return;
    Cell f{TYPE_LOGIC, 0, 0, 0};
    stack::push(&f);
    for (int32_t i = 1; i < n; i++) stack::push(&NONE_CELL);
}

// ---- Actions ----------------------------------------------------------------------------------------------

Cell* function_make(Cell* prototype, Cell* spec_in) {
    (void)prototype;
    Cell v = *spec_in;
    gc::CellRoot keep(&v);
    if (type_of(&v) != TYPE_BLOCK || block::remaining_length(&v) < 2) raise_error("script", "bad-func-def", &v);
    Cell spec = *block::item(&v, 0), body = *block::item(&v, 1);
    if (type_of(&spec) != TYPE_BLOCK || type_of(&body) != TYPE_BLOCK) raise_error("script", "bad-func-def", &v);
    gc::CellRoot keep_spec(&spec), keep_body(&body);
    uint32_t flags = validate_spec(&spec);
    return make_value(&spec, &body, nullptr, 0, nullptr, flags);
}

Cell* function_reflect(Cell* value, Cell* field) {
    Cell fn = *value;
    gc::CellRoot keep(&fn);
    if (!is_any_word(type_of(field))) raise_error("internal", "not-done");
    int32_t s = int32_t(field->data2);
    if (is_named(field, fixed_symbol(words::SYM_SPEC))) {
        *value = spec_block(&fn);
    } else if (is_named(field, fixed_symbol(words::SYM_BODY))) {
        *value = *body_of(&fn);
    } else if (is_named(field, fixed_symbol(words::SYM_WORDS))) {
        Node ctx = context_of(&fn);
        gc::NodeRoot keep_ctx(&ctx);
        uint32_t n = context::word_count(ctx);
        Cell result = block::make(int32_t(n));
        gc::CellRoot keep_result(&result);
        for (uint32_t i = 0; i < n; i++) {
            Cell w = *context::word_cell_at(ctx, int32_t(i));
            w.header = TYPE_WORD;
            w.data1 = reinterpret_cast<uint32_t>(ctx);
            block::append_copy(&result, &w);
        }
        *value = result;
    } else {
        (void)s;
        raise_error("internal", "not-done");
    }
    return value;
}

int32_t function_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    (void)value; (void)part;
    string::append_ascii(out, "?function?", 10);
    return limit - 10;
}

int32_t function_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                      int32_t indent) {
    (void)only;
    Cell fn = *value;
    gc::CellRoot keep(&fn);
    string::append_ascii(out, "func ", 5);
    limit -= 5;
    Cell spec = spec_block(&fn);
    limit = dispatch::mold(&spec, out, false, all, flat, part, limit, indent);
    Cell body = *body_of(&fn);
    if (type_of(&body) == TYPE_NONE) {
        string::append_ascii(out, " none", 5);
        return limit - 5;
    }
    return dispatch::mold(&body, out, false, all, flat, part, limit, indent);
}

int32_t function_compare(Cell* value1, Cell* value2, int32_t op) {
    if (type_of(value1) != type_of(value2)) return COMPARE_INCOMPARABLE;
    switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT: case COMP_CASE_SORT:
    case COMP_SAME: case COMP_FIND:
        return value1->data3 == value2->data3 ? 0 : value1->data3 < value2->data3 ? -1 : 1;
    default:
        return COMPARE_INCOMPARABLE;
    }
}

}  // namespace function

namespace routine {

Cell* push_new(const Cell* spec_in, const Cell* body_in, int32_t return_type, uintptr_t code, uint32_t flags) {
    Cell spec = *spec_in, body = body_in ? *body_in : NONE_CELL;
    gc::CellRoot keep_spec(&spec), keep_body(&body);
    spec = spec_at_head(&spec);
    uint32_t arity = 0;
    for (Cell& c : cells_of(&spec)) {
        uint32_t t = type_of(&c);
        if (t == TYPE_REFINEMENT || t == TYPE_SET_WORD) break;
        if (t == TYPE_WORD) arity++;
    }
    Node ctx = context::make_from_spec(&spec, true, false, context::KIND_FUNCTION);
    gc::NodeRoot keep_ctx(&ctx);
    Cell more = *new_more_block(body, code, nullptr);
    stack::pop(1);
    gc::CellRoot keep_more(&more);
    *block::cell_at(&more, function::MORE_OWNER) = Cell{TYPE_INTEGER, 0, uint32_t(return_type), 0};
    Cell r{TYPE_ROUTINE | (flags ? ROUTINE_FLAGGED : 0) | ((arity << ROUTINE_ARITY_SHIFT) & ROUTINE_ARITY_MASK),
           reinterpret_cast<uint32_t>(ctx), spec.data2, more.data2};
    Cell* pushed = stack::push(&r);
    *context::self_cell(ctx) = r;
    return pushed;
}

int32_t return_type(const Cell* r) {
    const Cell* c = function::more_cell(r, function::MORE_OWNER);
    return type_of(c) == TYPE_INTEGER ? int32_t(c->data2) : -1;
}

int32_t routine_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    (void)value; (void)part;
    string::append_ascii(out, "?routine?", 9);
    return limit - 9;
}

int32_t routine_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                     int32_t indent) {
    (void)only;
    Cell r = *value;
    gc::CellRoot keep(&r);
    string::append_ascii(out, "routine ", 8);
    limit -= 8;
    Cell spec = function::spec_block(&r);
    limit = dispatch::mold(&spec, out, false, all, flat, part, limit, indent);
    Cell body = *function::body_of(&r);
    gc::CellRoot keep_body(&body);
    if (type_of(&body) != TYPE_BLOCK) {
        string::append_ascii(out, " ", 1);
        limit--;
    }
    return dispatch::mold(&body, out, false, all, flat, part, limit, indent);
}

int32_t routine_compare(Cell* value1, Cell* value2, int32_t op) { return function::function_compare(value1, value2, op); }

}  // namespace routine

}  // namespace qor
