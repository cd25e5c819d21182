// Objects: making, copying, change notification, reflection and text forms
// (see object.hpp).
#include "datatypes/object.hpp"

#include <cstring>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/none.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/unset.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "datatypes/fixed_words.hpp"
#include "runtime/ownership.hpp"
#include "runtime/series.hpp"
#include "datatypes/value_helpers.hpp"

namespace qor {

namespace {

int32_t g_class_counter = object::CLASS_COUNTER_START;
bool g_boot_classes = false;

constexpr Cell UNSET_CELL{TYPE_UNSET, 0, 0, 0};
constexpr Cell NONE_CELL{TYPE_NONE, 0, 0, 0};
constexpr uint32_t NO_SLOT = 0xFFFFu;   // the upper half of an info word for an absent field

// ---- Small helpers --------------------------------------------------------------------------

int32_t fixed_word_symbol(words::FixedWord w) {
    int32_t s = words::ready() ? words::word_symbol(w) : 0;
    return s ? s : symbol::intern(words::spelling(w));
}
int32_t fixed_symbol(words::FixedSymbol s) {
    int32_t id = words::ready() ? words::symbol(s) : 0;
    return id ? id : symbol::intern(words::spelling(s));
}
int32_t canonical(int32_t symbol) { return symbol::resolve_alias(symbol); }
bool same_name(int32_t a, int32_t b) { return canonical(a) == canonical(b); }

Cell* record_of(Node ctx) { return context::record(ctx); }
Cell* word_at(Node ctx, uint32_t i) { return context::word_at(record_of(ctx), i); }
Cell* value_at(Node ctx, uint32_t i) { return object::value_pointer_at(ctx, int32_t(i)); }
uint32_t count_of(Node ctx) { return context::word_count(ctx); }

// The value block holds one cell per word (contexts may lag; fill with unset).
void fill_values(Node ctx) {
    Node values = context::values_node(ctx);
    gc::NodeRoot keep(&values);
    while (buffer_of(values)->length() < count_of(ctx)) {
        Cell* c = series_buffer::alloc_tail_cell(buffer_of(values));
        *c = UNSET_CELL;
    }
}

// The cell of a field as a word bound to the object.
Cell field_word(Node ctx, uint32_t i) {
    Cell w = *word_at(ctx, i);
    w.header = TYPE_WORD;
    w.data1 = reinterpret_cast<uint32_t>(ctx);
    return w;
}

bool is_function_kind(uint32_t t) { return t == TYPE_FUNCTION || t == TYPE_ROUTINE; }

// Series kinds that object making copies from a prototype.
bool is_copied_series(uint32_t t) {
    switch (t) {
    case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH: case TYPE_BLOCK:
    case TYPE_PAREN: case TYPE_HASH: case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG:
    case TYPE_EMAIL: case TYPE_REF: case TYPE_VECTOR: case TYPE_BINARY: case TYPE_IMAGE:
        return true;
    default:
        return false;
    }
}
// Series kinds that a deep object copy copies deeply.
bool is_deep_copied(uint32_t t) {
    switch (t) {
    case TYPE_REF: case TYPE_EMAIL: case TYPE_TAG: case TYPE_URL: case TYPE_FILE: case TYPE_STRING:
    case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH: case TYPE_PATH: case TYPE_PAREN:
    case TYPE_BLOCK:
        return true;
    default:
        return false;
    }
}
bool is_bound_block_kind(uint32_t t) { return is_any_path(t) || t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH; }

// A copy of a value through its type's copy action.
Cell copy_of(const Cell* value, bool deep) {
    Cell v = *value, result = UNSET_CELL;
    gc::CellRoot keep(&v), keep_result(&result);
    dispatch::copy(&v, &result, nullptr, deep, nullptr);
    return result;
}

// Stores the object cell as its context's self value.
void store_self(const Cell* obj) {
    Cell self = *obj;
    self.header &= ~FLAG_NEW_LINE;
    *context::self_cell(object::context_of(obj)) = self;
}

// A copy of a function bound to an object: the body is copied and bound deep
// to the object (self included), then to the new function's own context.
Cell rebind_function(const Cell* fn_in, Node ctx) {
    Cell fn = *fn_in;
    gc::CellRoot keep_fn(&fn);
    gc::NodeRoot keep_ctx(&ctx);
    Cell body = *function::body_of(&fn);
    if (type_of(&body) != TYPE_BLOCK) raise_error("script", "bad-func-def", &fn);
    gc::CellRoot keep_body(&body);
    Cell copy = *block::clone(&body, true, true);
    stack::pop(1);
    gc::CellRoot keep_copy(&copy);
    context::bind_deep(&copy, ctx, true);
    Cell spec = function::spec_block(&fn);
    gc::CellRoot keep_spec(&spec);
    Cell made = *function::make_value_with_body(&spec, &copy, nullptr, function::code_address(&fn), ctx,
                                                fn.header & FUNC_ATTRIBUTE_MASK);
    stack::pop(1);
    return made;
}

// Replaces every function! value of the context by a copy rebound to it.
void rebind_functions(Node ctx) {
    gc::NodeRoot keep(&ctx);
    for (uint32_t i = 0; i < count_of(ctx); i++) {
        if (type_of(value_at(ctx, i)) != TYPE_FUNCTION) continue;
        Cell fn = *value_at(ctx, i);
        gc::CellRoot keep_fn(&fn);
        Cell made = rebind_function(&fn, ctx);
        *value_at(ctx, i) = made;
    }
}

// ---- Calling the change handlers --------------------------------------------------------------

void call_handler(words::FixedWord label, const Cell* fn, Cell* args, uint32_t count) {
    Cell result = UNSET_CELL;
    gc::CellRoot keep_args(args, count), keep_result(&result);
    auto& links = eval_links::get();
    if (links.call_in_frame && words::ready())
        links.call_in_frame(words::word(label), fn, args, count, &result);
    else
        eval_links::call_function(fn, args, count, &result);
}

// The handler's default count, recomputed when its spec changed.
int32_t handler_count(Cell* info_cell, const Cell* fn) {
    Node spec = function::spec_node(fn);
    if (reinterpret_cast<Node>(info_cell->data3) != spec) {
        int32_t n = function::count_spec_words(spec, 0, false);
        info_cell->data2 = (info_cell->data2 & 0xFFFF0000u) | (uint32_t(n < 0 ? 0 : n) & 0xFFFFu);
        info_cell->data3 = reinterpret_cast<uint32_t>(spec);
    }
    return int32_t(info_cell->data2 & 0xFFFFu);
}

// Appends the defaults after the fixed arguments: logic false, then nones.
void add_defaults(std::vector<Cell>& args, int32_t count) {
    for (int32_t i = 0; i < count; i++) args.push_back(i == 0 ? Cell{TYPE_LOGIC, 0, 0, 0} : NONE_CELL);
}

void on_change_hook(Cell* obj, Cell* word, Cell* old_value, Cell* new_value) {
    object::fire_on_change(obj, word, old_value, new_value);
}

void deep_change_hook(const Cell* owner, const Cell* word, const Cell* target, const Cell* action,
                      const Cell* new_value, int32_t index, int32_t part) {
    object::fire_on_deep_change(owner, word, target, action, new_value, index, part);
}

// A path write changed a scalar held by an object's field (or by an owned
// series) in place: the owner is told as for an assignment.
void path_change_hook(Cell* parent, const Cell* previous, const Cell* old_value, const Cell* new_value,
                      int32_t field) {
    (void)field;
    uint32_t t = type_of(parent);
    if (is_object_kind(t)) {
        if (!object::info_node(parent) || !is_any_word(type_of(previous))) return;
        Cell obj = *parent, w = *previous, old = *old_value, fresh = *new_value;
        gc::CellRoot k1(&obj), k2(&w), k3(&old), k4(&fresh);
        object::fire_on_change(&obj, &w, &old, &fresh);
    } else if (is_series(t)) {
        int32_t index = type_of(previous) == TYPE_INTEGER ? int32_t(previous->data2) - 1 : 0;
        series::notify(parent, "poked", new_value, index < 0 ? 0 : index, 1);
    }
}

// ---- Text ------------------------------------------------------------------------------------------

int32_t append_text(Cell* out, const char* text, int32_t limit) {
    size_t n = std::strlen(text);
    string::append_ascii(out, text, n);
    return limit - int32_t(n);
}

bool is_reserved(int32_t symbol) {
    return same_name(symbol, fixed_word_symbol(words::W_ON_CHANGE)) ||
           same_name(symbol, fixed_word_symbol(words::W_ON_DEEP_CHANGE));
}

}  // namespace

namespace object {

// ---- Registration ------------------------------------------------------------------------------------

void init() {
    TypeSpec spec = make_type_spec(TYPE_OBJECT);
    set_slot<SLOT_MAKE>(spec, object_make);
    set_slot<SLOT_REFLECT>(spec, object_reflect);
    set_slot<SLOT_FORM>(spec, object_form);
    set_slot<SLOT_MOLD>(spec, object_mold);
    set_slot<SLOT_EVAL_PATH>(spec, object_eval_path);
    set_slot<SLOT_COMPARE>(spec, object_compare);
    set_slot<SLOT_COPY>(spec, object_copy);
    set_slot<SLOT_SELECT>(spec, object_select);
    set_slot<SLOT_PUT>(spec, object_put);
    set_slot<SLOT_MODIFY>(spec, object_modify);
    install_datatype(TYPE_SPEC_WORDS, &spec);
    context::set_on_change_hook(on_change_hook);
    owner::set_deep_change_hook(deep_change_hook);
    number_hooks::get().notify_path_change = path_change_hook;
}

// ---- Class ids ---------------------------------------------------------------------------------------

int32_t new_class_id() { return g_boot_classes ? BOOT_CLASS : ++g_class_counter; }
void set_boot_classes(bool on) { g_boot_classes = on; }
bool boot_classes() { return g_boot_classes; }
void reset_class_counter() { g_class_counter = CLASS_COUNTER_START; }

// ---- Accessors -----------------------------------------------------------------------------------------

uint32_t field_count(const Cell* obj) { return count_of(context_of(obj)); }
Cell* first_word(const Cell* obj) { return word_at(context_of(obj), 0); }
Cell* values_head(const Cell* obj) { return cells_head(buffer_of(context::values_node(context_of(obj)))); }

int32_t word_index(const Cell* obj, const Cell* word) {
    return context::find_symbol(context_of(obj), int32_t(word->data2), true);
}

Cell* find_value(const Cell* obj, const Cell* word) {
    int32_t i = word_index(obj, word);
    if (i < 0 || uint32_t(i) >= buffer_of(context::values_node(context_of(obj)))->length()) return none_value;
    return value_at(context_of(obj), uint32_t(i));
}

bool value_holds_class(const Cell* obj, int32_t index, int32_t class_id) {
    Node ctx = context_of(obj);
    if (index < 0 || uint32_t(index) >= buffer_of(context::values_node(ctx))->length()) return false;
    const Cell* v = value_at(ctx, uint32_t(index));
    return type_of(v) == TYPE_OBJECT && class_of(v) == class_id;
}

bool word_holds_class(const Cell* obj, const Cell* word, int32_t class_id) {
    return value_holds_class(obj, word_index(obj, word), class_id);
}

// ---- Making ---------------------------------------------------------------------------------------------

Cell* init_cell(Cell* cell, int32_t capacity) {
    *cell = UNSET_CELL;
    Node ctx = context::make_node(capacity, false, true, nullptr, context::KIND_OBJECT);
    *cell = Cell{TYPE_OBJECT, reinterpret_cast<uint32_t>(ctx), 0, 0};
    store_self(cell);
    return cell;
}

Cell* push_new(Node ctx, int32_t class_id, Node info) {
    Cell obj{TYPE_OBJECT, reinterpret_cast<uint32_t>(ctx), uint32_t(class_id), reinterpret_cast<uint32_t>(info)};
    Cell* pushed = stack::push(&obj);
    store_self(pushed);
    return pushed;
}

Cell* push_for_context(Node ctx, int32_t class_id, Node info) { return push_new(ctx, class_id, info); }

void build_info(Cell* obj) {
    Node ctx = context_of(obj);
    gc::NodeRoot keep_ctx(&ctx);
    int32_t change_sym = fixed_word_symbol(words::W_ON_CHANGE);
    int32_t deep_sym = fixed_word_symbol(words::W_ON_DEEP_CHANGE);
    int32_t slots[2] = {context::find_symbol(ctx, change_sym, true), context::find_symbol(ctx, deep_sym, true)};
    if (slots[0] < 0 && slots[1] < 0) {
        obj->data3 = 0;
        store_self(obj);
        return;
    }
    fill_values(ctx);
    Cell info_cells[2] = {Cell{TYPE_PAIR, 0, NO_SLOT << 16, 0}, Cell{TYPE_PAIR, 0, NO_SLOT << 16, 0}};
    for (int i = 0; i < 2; i++) {
        if (slots[i] < 0) continue;
        Cell v = *value_at(ctx, uint32_t(slots[i]));
        if (!is_function_kind(type_of(&v))) {
            Cell w = field_word(ctx, uint32_t(slots[i]));
            Cell type{TYPE_DATATYPE, type_of(&v), 0, 0};
            raise_error("script", "bad-field-set", &w, &type);
        }
        Node spec = function::spec_node(&v);
        int32_t n = function::count_spec_words(spec, 0, false);
        info_cells[i].data2 = (uint32_t(slots[i]) << 16) | (uint32_t(n < 0 ? 0 : n) & 0xFFFFu);
        info_cells[i].data3 = reinterpret_cast<uint32_t>(spec);
    }
    Node info = memory::alloc_cells(2);
    {
        SeriesBuffer* s = buffer_of(info);
        cells_head(s)[0] = info_cells[0];
        cells_head(s)[1] = info_cells[1];
        s->tail = s->head + 2 * sizeof(Cell);
    }
    obj->data3 = reinterpret_cast<uint32_t>(info);
    store_self(obj);
    if (slots[1] >= 0) {
        Cell self = *obj;
        gc::CellRoot keep(&self);
        owner::attach_object(&self, &self, nullptr);
    }
}

void copy_into(const Cell* prototype, Cell* target, bool deep, const Cell* types, bool rebuild_info) {
    Cell proto = *prototype;
    Cell kinds = types ? *types : NONE_CELL;
    gc::CellRoot keep_proto(&proto), keep_kinds(&kinds);
    Node proto_ctx = context_of(&proto);
    fill_values(proto_ctx);
    uint32_t n = count_of(proto_ctx);
    *target = UNSET_CELL;
    Node ctx = context::make_node(int32_t(n), false, true, proto_ctx, context::KIND_OBJECT);
    gc::NodeRoot keep_ctx(&ctx);
    *target = Cell{type_of(&proto), reinterpret_cast<uint32_t>(ctx), proto.data2, rebuild_info ? 0 : proto.data3};
    store_self(target);
    {
        SeriesBuffer* words = context::word_list_buffer(record_of(ctx));
        for (Cell* w = cells_head(words); w < cells_tail(words); w++) w->data1 = reinterpret_cast<uint32_t>(ctx);
        // Room for n cells was made with the context: no allocation here.
        SeriesBuffer* from = buffer_of(context::values_node(proto_ctx));
        SeriesBuffer* to = buffer_of(context::values_node(ctx));
        std::memcpy(cells_head(to), cells_head(from), n * sizeof(Cell));
        to->tail = to->head + n * sizeof(Cell);
    }
    bool typed = types && type_of(&kinds) != TYPE_NONE;
    if (deep && !typed) {
        for (uint32_t i = 0; i < n; i++) {
            uint32_t t = type_of(value_at(ctx, i));
            if (!is_deep_copied(t)) continue;
            Cell v = *value_at(ctx, i);
            Cell copied = copy_of(&v, true);
            *value_at(ctx, i) = copied;
        }
        rebind_functions(ctx);
    } else {
        rebind_functions(ctx);
        if (typed) {
            cycle_stack::Guard guard;
            if (deep) {
                if (cycle_stack::find(proto_ctx)) {
                    cycle_stack::reset();
                    raise_error("internal", "no-cycle");
                }
                cycle_stack::push(proto_ctx);
            }
            block::copy_typed_values(context::values_node(ctx), 0, n, 1, deep, &kinds);
        }
    }
    if (rebuild_info) build_info(target);
}

void copy_values(Node proto_ctx, Node ctx) {
    gc::NodeRoot keep_proto(&proto_ctx), keep_ctx(&ctx);
    fill_values(ctx);
    uint32_t n = count_of(proto_ctx);
    if (count_of(ctx) < n) n = count_of(ctx);
    if (buffer_of(context::values_node(proto_ctx))->length() < n) n = buffer_of(context::values_node(proto_ctx))->length();
    for (uint32_t i = 0; i < n; i++) {
        Cell from = *value_at(proto_ctx, i);
        uint32_t t = type_of(&from);
        if (!is_copied_series(t)) continue;
        gc::CellRoot keep_from(&from);
        Cell now = *value_at(ctx, i);
        // A fresh copy made by the prototype copy is kept; a value still
        // shared with the prototype is copied (deeply for the block kinds,
        // so that binding below never reaches the prototype's own blocks).
        if (!(type_of(&now) == t && cell_node(&now) != cell_node(&from))) {
            Cell copied = copy_of(&from, is_any_block(t));
            *value_at(ctx, i) = copied;
            now = copied;
        }
        if (is_bound_block_kind(t)) {
            gc::CellRoot keep_now(&now);
            context::bind_deep(&now, ctx, true);
        }
    }
}

Cell* make(Cell* prototype, Cell* spec_in) {
    Cell proto = *prototype, spec = *spec_in;
    gc::CellRoot keep_proto(&proto), keep_spec(&spec);
    uint32_t st = type_of(&spec);
    if (!is_object_kind(st) && st != TYPE_BLOCK) raise_error("syntax", "malconstruct", &spec);
    bool from_object = is_object_kind(type_of(&proto));
    Cell* result = stack::push_slot();
    *result = UNSET_CELL;
    if (from_object)
        copy_into(&proto, result, true, nullptr, false);
    else
        init_cell(result, 4);
    Node ctx = context_of(result);
    gc::NodeRoot keep_ctx(&ctx);
    uint32_t before = count_of(ctx);
    bool grew;
    if (is_object_kind(st)) {
        Node from = context_of(&spec);
        gc::NodeRoot keep_from(&from);
        fill_values(from);
        for (uint32_t i = 0; i < count_of(from); i++) {
            Cell w = *word_at(from, i), v = *value_at(from, i);
            gc::CellRoot kw(&w), kv(&v);
            context::find_or_append(ctx, &w, &v);
        }
        grew = count_of(ctx) > before;
        for (uint32_t i = 0; i < count_of(ctx); i++) {
            uint32_t t = type_of(value_at(ctx, i));
            if (!is_copied_series(t)) continue;
            Cell v = *value_at(ctx, i);
            Cell copied = copy_of(&v, false);
            *value_at(ctx, i) = copied;
        }
        rebind_functions(ctx);
    } else {
        grew = context::collect_set_words(ctx, &spec);
        context::bind_deep(&spec, ctx, true);
        if (from_object) copy_values(context_of(&proto), ctx);
        auto eval = eval_links::get().eval_block;
        if (!eval) raise_error("internal", "not-done");
        eval(&spec);
        SeriesBuffer* words = context::word_list_buffer(record_of(ctx));
        for (Cell* w = cells_head(words); w < cells_tail(words); w++) w->header &= ~(FLAG_ASSIGNED | FLAG_NEW_LINE);
    }
    int32_t class_id = (grew || !from_object) ? new_class_id() : class_of(&proto);
    result->data2 = uint32_t(class_id);
    build_info(result);
    return result;
}

// ---- The native `set` on objects --------------------------------------------------------------------------

void set_many(Cell* obj_in, const Cell* source_in, bool any, bool only, bool some) {
    Cell obj = *obj_in, source = *source_in;
    gc::CellRoot keep_obj(&obj), keep_source(&source);
    Node ctx = context_of(&obj);
    gc::NodeRoot keep_ctx(&ctx);
    fill_values(ctx);
    uint32_t n = count_of(ctx);
    uint32_t st = type_of(&source);
    bool spread = (st == TYPE_BLOCK || is_object_kind(st)) && !only;

    // The source value for field i; `found` false when an object source
    // lacks the field.
    auto source_value = [&](uint32_t i, bool* found) -> Cell {
        *found = true;
        if (!spread) return source;
        if (st == TYPE_BLOCK) {
            const Cell* c = block::item(&source, i);
            return c ? *c : NONE_CELL;
        }
        Cell w = *word_at(ctx, i);
        int32_t slot = context::find_symbol(context_of(&source), int32_t(w.data2), true);
        if (slot < 0) {
            *found = false;
            return NONE_CELL;
        }
        fill_values(context_of(&source));
        return *value_at(context_of(&source), uint32_t(slot));
    };

    if (spread && !some && !any) {
        for (uint32_t i = 0; i < n; i++) {
            bool found;
            Cell v = source_value(i, &found);
            if (found && type_of(&v) == TYPE_UNSET) {
                Cell w = field_word(ctx, i);
                raise_error("script", "need-value", &w);
            }
        }
    }
    int32_t change_sym = fixed_word_symbol(words::W_ON_CHANGE);
    int32_t deep_sym = fixed_word_symbol(words::W_ON_DEEP_CHANGE);
    for (uint32_t i = 0; i < n; i++) {
        bool found;
        Cell v = source_value(i, &found);
        if (!found) continue;
        if (some && type_of(&v) == TYPE_NONE) continue;
        gc::CellRoot keep_v(&v);
        if (info_node(&obj)) {
            int32_t s = int32_t(word_at(ctx, i)->data2);
            if (same_name(s, change_sym) || same_name(s, deep_sym)) continue;
            Cell w = field_word(ctx, i);
            gc::CellRoot keep_w(&w);
            Cell* old = stack::push(value_at(ctx, i));
            *value_at(ctx, i) = v;
            fire_on_change(&obj, &w, old, &v);
            stack::pop(1);
        } else {
            *value_at(ctx, i) = v;
        }
    }
}

// ---- construct ---------------------------------------------------------------------------------------------

Cell* make_from_spec(const Cell* spec_in, const Cell* prototype, bool only) {
    Cell spec = *spec_in;
    Cell proto = prototype ? *prototype : NONE_CELL;
    gc::CellRoot keep_spec(&spec), keep_proto(&proto);
    Cell* result = stack::push_slot();
    *result = UNSET_CELL;
    if (is_object_kind(type_of(&proto))) {
        copy_into(&proto, result, true, nullptr, true);
    } else {
        init_cell(result, 4);
        result->data2 = uint32_t(new_class_id());
        store_self(result);
    }
    Node ctx = context_of(result);
    gc::NodeRoot keep_ctx(&ctx);
    int32_t truthy[3] = {fixed_symbol(words::SYM_TRUE), fixed_symbol(words::SYM_YES), fixed_symbol(words::SYM_ON)};
    int32_t falsy[3] = {fixed_symbol(words::SYM_FALSE), fixed_symbol(words::SYM_NO), fixed_symbol(words::SYM_OFF)};
    int32_t none_sym = fixed_symbol(words::SYM_NONE);
    uint32_t end = block::total_length(&spec);
    uint32_t i = spec.data1;
    while (i < end) {
        if (type_of(block::cell_at(&spec, i)) != TYPE_SET_WORD) {
            i++;
            continue;
        }
        uint32_t j = i;
        while (j < end && type_of(block::cell_at(&spec, j)) == TYPE_SET_WORD) j++;
        Cell v = j < end ? *block::cell_at(&spec, j) : NONE_CELL;
        if (!only && type_of(&v) == TYPE_WORD) {
            int32_t s = canonical(int32_t(v.data2));
            for (int k = 0; k < 3; k++) {
                if (s == canonical(truthy[k])) v = Cell{TYPE_LOGIC, 1, 0, 0};
                else if (s == canonical(falsy[k])) v = Cell{TYPE_LOGIC, 0, 0, 0};
            }
            if (type_of(&v) == TYPE_WORD && s == canonical(none_sym)) v = NONE_CELL;
        }
        v.header &= ~FLAG_NEW_LINE;
        gc::CellRoot keep_v(&v);
        for (uint32_t k = i; k < j; k++) {
            Cell w = *block::cell_at(&spec, k);
            context::find_or_append(ctx, &w, &v);
        }
        i = j;
    }
    store_self(result);
    return result;
}

// ---- Notification ------------------------------------------------------------------------------------------

void fire_on_change(Cell* obj_in, Cell* word_in, Cell* old_in, Cell* new_in) {
    Cell obj = *obj_in;
    Node info = info_node(&obj);
    if (!info) return;
    Cell* cell0 = cells_head(buffer_of(info));
    uint32_t slot = cell0->data2 >> 16;
    if (slot == NO_SLOT) return;
    Node ctx = context_of(&obj);
    Cell fn = *value_at(ctx, slot);
    if (!is_function_kind(type_of(&fn))) raise_error("script", "invalid-obj-evt", &fn);
    int32_t count = handler_count(cells_head(buffer_of(info)), &fn);
    Cell w = *word_in;
    if (!(word::context_of(&w) == ctx && word::index_of(&w) >= 0)) {
        w.header = type_of(&w);
        context::bind_word(ctx, &w);
    }
    std::vector<Cell> args = {w, *old_in, *new_in};
    add_defaults(args, count);
    gc::CellRoot keep_obj(&obj), keep_fn(&fn);
    call_handler(words::W_ON_CHANGE, &fn, args.data(), uint32_t(args.size()));
}

void fire_on_deep_change(const Cell* owner_in, const Cell* word, const Cell* target, const Cell* action,
                         const Cell* new_value, int32_t position, int32_t part) {
    Cell obj = *owner_in;
    Node info = info_node(&obj);
    if (!info) raise_error("script", "invalid-obj-evt", &obj);
    Cell* cell1 = cells_head(buffer_of(info)) + 1;
    uint32_t slot = cell1->data2 >> 16;
    if (slot == NO_SLOT) return;
    Cell fn = *value_at(context_of(&obj), slot);
    if (!is_function_kind(type_of(&fn))) return;
    int32_t count = handler_count(cells_head(buffer_of(info)) + 1, &fn);
    Cell fresh = new_value ? *new_value : NONE_CELL;
    if (type_of(&fresh) == TYPE_UNSET) fresh = NONE_CELL;
    std::vector<Cell> args = {obj, *word, *target, *action, fresh, Cell{TYPE_INTEGER, 0, uint32_t(position), 0},
                              Cell{TYPE_INTEGER, 0, uint32_t(part), 0}};
    add_defaults(args, count);
    gc::CellRoot keep_obj(&obj), keep_fn(&fn);
    call_handler(words::W_ON_DEEP_CHANGE, &fn, args.data(), uint32_t(args.size()));
}

void notify_change(Cell* obj, Cell* word) {
    Cell* top = stack::top_value();
    Cell fresh = *top, old = *(top - 1);
    gc::CellRoot keep_new(&fresh), keep_old(&old);
    fire_on_change(obj, word, &old, &fresh);
}

void fire_on_change_from_stack(Cell* obj, Cell* word) { notify_change(obj, word); }

// ---- Text forms --------------------------------------------------------------------------------------------

int32_t mold_fields(const Cell* obj_in, Cell* out, bool only, bool all, bool flat, int32_t limit, int32_t indent,
                    bool molding) {
    Cell obj = *obj_in;
    gc::CellRoot keep_obj(&obj);
    Node ctx = context_of(&obj);
    fill_values(ctx);
    cycle_stack::Guard guard;
    cycle_stack::push(ctx);
    int32_t level = indent + 1;
    bool written = false;
    uint32_t n = count_of(ctx);
    for (uint32_t i = 0; i < n; i++) {
        Cell w = *word_at(ctx, i);
        if (!all && is_reserved(int32_t(w.data2))) continue;
        if (limit <= 0) break;
        if (!molding || flat) {
            if (written) limit = append_text(out, molding ? " " : "\n", limit);
        } else if (only) {
            if (written) limit = append_text(out, "\n", limit);
        } else {
            if (!written) limit = append_text(out, "\n", limit);
            limit = mold::indent(out, level, limit);
        }
        w.header = TYPE_WORD;
        limit = word_form(&w, out, nullptr, limit);
        limit = append_text(out, ": ", limit);
        Cell v = *value_at(ctx, i);
        gc::CellRoot keep_v(&v);
        if (type_of(&v) == TYPE_WORD) limit = append_text(out, "'", limit);
        limit = dispatch::mold(&v, out, false, all, flat, nullptr, limit, molding && !flat ? level : 0);
        if (molding && !flat && !only) limit = append_text(out, "\n", limit);
        written = true;
    }
    if (molding && written && !flat && !only && indent > 0) limit = mold::indent(out, indent, limit);
    return limit;
}

// ---- Actions -----------------------------------------------------------------------------------------------

Cell* object_make(Cell* prototype, Cell* spec) { return make(prototype, spec); }

Cell* object_reflect(Cell* value, Cell* field_in) {
    Cell obj = *value, field = *field_in;
    gc::CellRoot keep_obj(&obj), keep_field(&field);
    if (!is_any_word(type_of(&field))) raise_error("internal", "not-done");
    Node ctx = context_of(&obj);
    gc::NodeRoot keep_ctx(&ctx);
    fill_values(ctx);
    int32_t s = int32_t(field.data2);
    uint32_t n = count_of(ctx);
    if (same_name(s, fixed_symbol(words::SYM_CLASS))) {
        *value = Cell{TYPE_INTEGER, 0, uint32_t(class_of(&obj)), 0};
    } else if (same_name(s, fixed_symbol(words::SYM_WORDS)) || same_name(s, fixed_word_symbol(words::W_CHANGED))) {
        bool changed_only = same_name(s, fixed_word_symbol(words::W_CHANGED));
        Cell result = block::make(int32_t(n));
        gc::CellRoot keep_result(&result);
        for (uint32_t i = 0; i < n; i++) {
            if (changed_only && !(word_at(ctx, i)->header & FLAG_ASSIGNED)) continue;
            Cell w = field_word(ctx, i);
            block::append_copy(&result, &w);
        }
        *value = result;
    } else if (same_name(s, fixed_symbol(words::SYM_VALUES))) {
        Cell result = block::make(int32_t(n));
        gc::CellRoot keep_result(&result);
        for (uint32_t i = 0; i < n; i++) {
            Cell v = *value_at(ctx, i);
            block::append_copy(&result, &v);
        }
        *value = result;
    } else if (same_name(s, fixed_symbol(words::SYM_BODY))) {
        Cell result = block::make(int32_t(2 * n));
        gc::CellRoot keep_result(&result);
        for (uint32_t i = 0; i < n; i++) {
            Cell w = field_word(ctx, i);
            w.header = TYPE_SET_WORD | FLAG_NEW_LINE;
            block::append_copy(&result, &w);
            Cell v = *value_at(ctx, i);
            if (type_of(&v) == TYPE_WORD) cell::set_type(&v, TYPE_LIT_WORD);
            else if (type_of(&v) == TYPE_PATH) cell::set_type(&v, TYPE_LIT_PATH);
            v.header &= ~FLAG_NEW_LINE;
            block::append_copy(&result, &v);
        }
        *value = result;
    } else if (same_name(s, fixed_symbol(words::SYM_OWNER))) {
        logic::set(value, (record_of(ctx)->header & owner::CONTEXT_OWNER) ? 1 : 0);
    } else if (same_name(s, fixed_symbol(words::SYM_EVENTS_Q))) {
        logic::set(value, info_node(&obj) ? 1 : 0);
    } else {
        raise_error("internal", "not-done");
    }
    return value;
}

int32_t object_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    (void)part;
    if (mold::cycle_marker(value, out, &limit, false)) return limit;
    return mold_fields(value, out, false, false, false, limit, 0, false);
}

int32_t object_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                    int32_t indent) {
    (void)part;
    if (mold::cycle_marker(value, out, &limit, true)) return limit;
    if (!only) limit = append_text(out, "make object! [", limit);
    limit = mold_fields(value, out, only, all, flat, limit, indent, true);
    if (!only) limit = append_text(out, "]", limit);
    return limit;
}

namespace {

// The field slot a path step finds for the word, when its values are all
// there (fill_values would have nothing to add): -1 otherwise.
int32_t ready_path_slot(Node ctx, const Cell* word) {
    int32_t slot = word::index_of(word);
    if (word::context_of(word) != ctx || slot < 0) slot = context::find_symbol(ctx, int32_t(word->data2), true);
    if (slot < 0 || buffer_of(context::values_node(ctx))->length() < count_of(ctx)) return -1;
    return slot;
}

}  // namespace

const Cell* path_field(const Cell* obj, const Cell* word) {
    Node ctx = context_of(obj);
    int32_t slot = ready_path_slot(ctx, word);
    if (slot < 0) return nullptr;
    const Cell* cell = value_at(ctx, uint32_t(slot));
    return type_of(cell) == TYPE_UNSET ? nullptr : cell;
}

bool set_path_field(const Cell* obj, const Cell* word, const Cell* value) {
    Node ctx = context_of(obj);
    if (info_node(obj) || (word::context_of(word) == ctx && word::index_of(word) < 0)) return false;
    int32_t slot = ready_path_slot(ctx, word);
    if (slot < 0) return false;
    Cell w = *word;
    w.data1 = reinterpret_cast<uint32_t>(ctx);
    w.data3 = uint32_t(slot);
    context::set_value(&w, value, ctx, false);
    return true;
}

Cell* object_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent, Cell* previous,
                       int32_t step, bool case_sensitive, uint32_t reserved, bool last, bool notify) {
    (void)parent; (void)previous; (void)step; (void)case_sensitive; (void)reserved;
    Cell obj = *value;
    Cell path_value = path ? *path : NONE_CELL;
    gc::CellRoot keep_obj(&obj), keep_path(&path_value);
    uint32_t et = type_of(element);
    if (!is_any_word(et)) raise_error("script", "invalid-path", &path_value, element);
    Node ctx = context_of(&obj);
    gc::NodeRoot keep_ctx(&ctx);
    // A read passes no new value (null); a none cell is a write of none.
    bool setting = new_value != nullptr;
    if (setting && word::index_of(element) < 0 && word::context_of(element) == ctx &&
        int32_t(element->data2) == fixed_symbol(words::SYM_SELF))
        raise_error("script", "invalid-path", &path_value, element);

    auto missing = [&]() -> Cell* {
        if (last && notify) return unset_value;
        Cell e = *element;
        if (notify) raise_error("script", "invalid-path", &path_value, &e);
        raise_error("script", "unset-path", &path_value, &e);
    };

    if (word::context_of(element) != ctx || word::index_of(element) < 0) {
        int32_t slot = context::find_symbol(ctx, int32_t(element->data2), true);
        if (slot < 0) return missing();
        element->data1 = reinterpret_cast<uint32_t>(ctx);
        element->data3 = uint32_t(slot);
    }
    fill_values(ctx);
    uint32_t slot = uint32_t(word::index_of(element));
    if (setting) {
        Cell v = *new_value, w = *element;
        gc::CellRoot keep_v(&v), keep_w(&w);
        if (info_node(&obj)) {
            Cell* old = stack::push(value_at(ctx, slot));
            context::set_value(&w, &v, ctx, false);
            fire_on_change(&obj, &w, old, &v);
            stack::pop(1);
        } else {
            context::set_value(&w, &v, ctx, false);
        }
        return new_value;
    }
    Cell* cell = value_at(ctx, slot);
    if (type_of(cell) == TYPE_UNSET) return missing();
    return cell;
}

int32_t object_compare(Cell* value1, Cell* value2, int32_t op) {
    if (type_of(value2) != TYPE_OBJECT) return COMPARE_INCOMPARABLE;
    Node a = context_of(value1), b = context_of(value2);
    if (a == b) return 0;
    if (op == COMP_SAME) return -1;
    if (cycle_stack::find(a)) return cycle_stack::find(b) ? 0 : -1;
    uint32_t na = count_of(a), nb = count_of(b);
    if (na != nb) return na > nb ? -1 : 1;
    if (na == 0) return 0;
    fill_values(a);
    fill_values(b);
    cycle_stack::Guard guard;
    cycle_stack::push(a);
    cycle_stack::push(b);
    for (uint32_t i = 0; i < na; i++) {
        int32_t sa = canonical(int32_t(word_at(a, i)->data2)), sb = canonical(int32_t(word_at(b, i)->data2));
        if (sa != sb) return sa < sb ? -1 : 1;
        Cell va = *value_at(a, i), vb = *value_at(b, i);
        uint32_t ta = type_of(&va), tb = type_of(&vb);
        auto numeric = [](uint32_t t) { return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT; };
        if (ta != tb && !(is_any_word(ta) && is_any_word(tb)) && !(numeric(ta) && numeric(tb)))
            return ta < tb ? -1 : 1;
        int32_t r = compare_values(&va, &vb, op);
        if (r != 0) return r;
    }
    return 0;
}

Cell* object_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    if (part) {
        Cell ref = Cell{TYPE_NONE, 0, 0, 0};
        if (words::ready()) ref = *words::refinement(words::REF_PART);
        Cell p = *part;
        raise_error("script", "invalid-refine-arg", &ref, &p);
    }
    Cell proto = *value;
    gc::CellRoot keep(&proto);
    copy_into(&proto, result, deep, types, true);
    return result;
}

Cell* object_select(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, bool any,
                    Cell* with, Cell* skip, bool last, bool reverse) {
    (void)part; (void)only; (void)case_sensitive; (void)same; (void)any; (void)with; (void)skip; (void)last;
    (void)reverse;
    if (!is_any_word(type_of(value))) {
        Cell type{TYPE_DATATYPE, type_of(value), 0, 0};
        raise_error("script", "invalid-type", &type);
    }
    Cell found = *find_value(series, value);
    *series = found;
    return series;
}

Cell* object_put(Cell* series, Cell* key, Cell* value, bool case_sensitive) {
    (void)case_sensitive;
    if (type_of(key) != TYPE_WORD) {
        Cell type{TYPE_DATATYPE, type_of(key), 0, 0};
        raise_error("script", "invalid-key-type", &type);
    }
    Cell obj = *series, k = *key, v = *value;
    gc::CellRoot keep_obj(&obj), keep_k(&k), keep_v(&v);
    object_eval_path(&obj, &k, &v, nullptr, nullptr, nullptr, 0, false, 0, true, false);
    *series = v;
    return series;
}

Cell* object_modify(Cell* target, Cell* field, Cell* value, bool case_sensitive) {
    (void)case_sensitive;
    if (!is_any_word(type_of(field))) return value;
    Cell obj = *target, v = *value;
    gc::CellRoot keep_obj(&obj), keep_v(&v);
    int32_t s = int32_t(field->data2);
    if (same_name(s, fixed_word_symbol(words::W_CHANGED))) {
        if (type_of(&v) != TYPE_NONE) raise_error("script", "invalid-arg", &v);
        SeriesBuffer* words = context::word_list_buffer(record_of(context_of(&obj)));
        for (Cell* w = cells_head(words); w < cells_tail(words); w++) w->header &= ~FLAG_ASSIGNED;
    } else if (same_name(s, fixed_symbol(words::SYM_OWNER))) {
        owner::attach_object(&obj, &obj, nullptr);
    } else if (same_name(s, fixed_symbol(words::SYM_OWNED))) {
        if (type_of(&v) == TYPE_NONE) {
            owner::detach(&obj);
        } else if (type_of(&v) == TYPE_BLOCK && block::remaining_length(&v) >= 2) {
            Cell owner_cell = *block::item(&v, 0), w = *block::item(&v, 1);
            gc::CellRoot k1(&owner_cell), k2(&w);
            owner::attach_object(&obj, &owner_cell, &w);
        }
    }
    return value;
}

}  // namespace object

}  // namespace qor
