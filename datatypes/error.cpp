// error!: making errors from the catalog, the error printer, and the raise
// that every language error goes through (see error.hpp).
#include "datatypes/error.hpp"

#include <cstring>
#include <string>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/error_catalog.hpp"
#include "datatypes/error_report.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/function.hpp"
#include "datatypes/object.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"
#include "datatypes/fixed_words.hpp"
#include "runtime/series.hpp"
#include "runtime/throw.hpp"

namespace qor {

namespace {

constexpr Cell UNSET_CELL{TYPE_UNSET, 0, 0, 0};
constexpr Cell NONE_CELL{TYPE_NONE, 0, 0, 0};

// Runtime globals, registered with the collector by error::init.
Cell g_prototype = NONE_CELL;
Cell g_pending = NONE_CELL;
Cell g_depth = Cell{TYPE_INTEGER, 0, 0, 0};
Cell g_files = NONE_CELL;
bool g_registered = false;

error::SettingReader g_read_depth = nullptr;
error::SettingReader g_read_files = nullptr;

// The life of the error machinery follows the memory manager's: error::init
// makes a small fixed series holding a cookie, and the machinery counts as
// ready only while that series is still one of the manager's fixed series
// (a new memory::init frees them all).
SeriesBuffer* g_sentinel = nullptr;
Node g_sentinel_node = nullptr;
uint32_t g_cookie = 0;
uint32_t g_catalog_cookie = 0;

bool sentinel_alive() {
    if (!g_sentinel || !memory::initialised()) return false;
    for (uint32_t i = 0; i < memory::fixed_series_count(); i++) {
        if (memory::fixed_series_at(i) != g_sentinel) continue;
        return g_sentinel->node == g_sentinel_node && cells_head(g_sentinel)->data2 == g_cookie;
    }
    return false;
}

int32_t fixed_word_symbol(words::FixedWord w) {
    int32_t s = words::ready() ? words::word_symbol(w) : 0;
    return s ? s : symbol::intern(words::spelling(w));
}
int32_t canonical(int32_t s) { return symbol::resolve_alias(s); }

std::string spelling_of_symbol(int32_t s) {
    return std::string(reinterpret_cast<const char*>(symbol::spelling(s)), symbol::spelling_length(s));
}

// The catalog object, or null when errors cannot be made now.
Cell* catalog() {
    Cell* c = error_catalog::installed();
    if (!c || !sentinel_alive() || g_catalog_cookie != g_cookie) return nullptr;
    return c;
}

Node ctx_of(const Cell* obj) { return object::context_of(obj); }

Cell* slot_of(Node ctx, uint32_t i) {
    Node values = context::values_node(ctx);
    while (buffer_of(values)->length() <= i) *series_buffer::alloc_tail_cell(buffer_of(values)) = UNSET_CELL;
    return cells_head(buffer_of(values)) + i;
}

// A field of an object by symbol (case-insensitive); -1 when absent.
int32_t find_field(const Cell* obj, int32_t symbol) { return context::find_symbol(ctx_of(obj), symbol, true); }

// The word of a context's slot as a word! bound to it.
Cell bound_word(Node ctx, uint32_t i) {
    Cell w = *context::word_cell_at(ctx, int32_t(i));
    w.header = TYPE_WORD;
    w.data1 = reinterpret_cast<uint32_t>(ctx);
    return w;
}

Cell fixed_word(words::FixedWord w) {
    if (words::ready()) return *words::word(w);
    return *word::make_from_c_string(words::spelling(w));
}

[[noreturn]] void invalid_spec_field(words::FixedWord which) {
    Cell w = fixed_word(which);
    raise_error("script", "invalid-spec-field", &w);
}

// The category object of a symbol: its index in the catalog, or -1.
int32_t category_of(int32_t symbol, Cell* category) {
    Cell* cat = catalog();
    if (!cat) raise_error("internal", "not-done");
    int32_t i = find_field(cat, symbol);
    if (i < 0) return -1;
    Cell v = *slot_of(ctx_of(cat), uint32_t(i));
    if (!is_object_kind(type_of(&v))) return -1;
    *category = v;
    return i;
}

// The field position of an id in its category (>= 2), or -1.
int32_t id_position(const Cell* category, int32_t symbol) {
    int32_t p = find_field(category, symbol);
    return p < 2 ? -1 : p;
}

// Fills type, id and code of the error from a category and an id symbol;
// answers false (changing nothing) when either is unknown, with *which set
// to the field at fault.
bool set_names(Cell* err, int32_t cat_symbol, int32_t id_symbol, words::FixedWord* which) {
    Cell category = NONE_CELL;
    gc::CellRoot keep(&category);
    int32_t c = category_of(cat_symbol, &category);
    if (c < 0) {
        *which = words::W_TYPE;
        return false;
    }
    int32_t p = id_position(&category, id_symbol);
    if (p < 0) {
        *which = words::W_ID;
        return false;
    }
    Node ectx = ctx_of(err);
    Cell type_word = bound_word(ctx_of(catalog()), uint32_t(c));
    Cell id_word = bound_word(ctx_of(&category), uint32_t(p));
    *slot_of(ectx, ERR_TYPE) = type_word;
    *slot_of(ectx, ERR_ID) = id_word;
    *slot_of(ectx, ERR_CODE) = Cell{TYPE_INTEGER, 0, uint32_t(c * 100 + p - 2), 0};
    return true;
}

// A new error pushed on the argument stack: a copy of the prototype.
Cell* push_copy_of_prototype() {
    Cell* result = stack::push_slot();
    *result = UNSET_CELL;
    Cell proto = g_prototype;
    gc::CellRoot keep(&proto);
    object::copy_into(&proto, result, false, nullptr, true);
    return result;
}

void set_near(Cell* err) {
    auto current = eval_links::get().current_position;
    const Cell* near = current ? current() : nullptr;
    if (near) *slot_of(ctx_of(err), ERR_NEAR) = *near;
}

// ---- Text helpers ---------------------------------------------------------------------------------

uint32_t chars_of(Cell* out) { return string::length_from_head(out); }

int32_t append_text(Cell* out, const char* text, int32_t limit) {
    size_t n = std::strlen(text);
    string::append_utf8(out, text, n);
    return limit - int32_t(n);
}

// Appends at most `max` characters of `text` (a string from its index).
int32_t append_cut(Cell* out, Cell* text, uint32_t max, int32_t limit) {
    uint32_t before = chars_of(out);
    string::concatenate(out, text, int32_t(max), 0, false, string::CONCAT_APPEND);
    return limit - int32_t(chars_of(out) - before);
}

// The value formed (`form`) or molded (with /only and /flat as given), cut
// at `max` characters.
int32_t write_cut(Cell* out, const Cell* value_in, bool form, bool only, bool flat, uint32_t max, int32_t limit) {
    Cell value = *value_in;
    Cell text = string::make(max + 16);
    gc::CellRoot keep_value(&value), keep_text(&text);
    Cell part = Cell{TYPE_INTEGER, 0, max, 0};
    if (form)
        dispatch::form(&value, &text, &part, int32_t(max));
    else
        dispatch::mold(&value, &text, only, false, flat, &part, int32_t(max), 0);
    return append_cut(out, &text, max, limit);
}

int32_t form_value(Cell* out, const Cell* value_in, int32_t limit) {
    Cell value = *value_in;
    gc::CellRoot keep(&value);
    uint32_t before = chars_of(out);
    dispatch::form(&value, out, nullptr, limit);
    return limit - int32_t(chars_of(out) - before);
}

// Writes one piece of a report through write(limit); a piece that cannot be
// written (a field holding a value that cannot be formed or molded) shows as
// "???" instead, so that printing an error never raises another.
template <class F>
int32_t write_piece(Cell* out, int32_t limit, F write) {
    auto guarded = eval_links::get().guarded;
    if (!guarded) return write(limit);
    uint32_t before = chars_of(out);
    struct Job {
        F* write;
        int32_t limit;
    } job{&write, limit};
    if (guarded([](void* p) {
            auto* j = static_cast<Job*>(p);
            j->limit = (*j->write)(j->limit);
        }, &job))
        return job.limit;
    string::truncate_tail(out, before);
    return append_text(out, "???", limit);
}

// Turns the error into internal/invalid-error with `culprit` as arg1.
void make_invalid(Cell* err, const Cell* culprit_in) {
    Cell culprit = *culprit_in;
    gc::CellRoot keep(&culprit);
    Node ectx = ctx_of(err);
    *slot_of(ectx, ERR_ARG1) = culprit;
    Cell t = fixed_word(words::W_CAT_INTERNAL), i = fixed_word(words::W_INVALID_ERROR);
    gc::CellRoot kt(&t), ki(&i);
    Cell* cat = catalog();
    if (cat) {
        int32_t c = find_field(cat, int32_t(t.data2));
        if (c >= 0) t = bound_word(ctx_of(cat), uint32_t(c));
        Cell category = NONE_CELL;
        gc::CellRoot kc(&category);
        if (category_of(int32_t(t.data2), &category) >= 0) {
            int32_t p = id_position(&category, int32_t(i.data2));
            if (p >= 0) i = bound_word(ctx_of(&category), uint32_t(p));
        }
    }
    *slot_of(ectx, ERR_TYPE) = t;
    *slot_of(ectx, ERR_ID) = i;
}

struct MessageJob {
    const Cell* message;
    Cell* out;
    const Cell* error;
    int32_t limit;
};

void write_message(void* data) {
    MessageJob* job = static_cast<MessageJob*>(data);
    Cell msg = *job->message, err = *job->error;
    gc::CellRoot keep_msg(&msg), keep_err(&err);
    bool syntax = false;
    {
        const Cell* t = slot_of(ctx_of(&err), ERR_TYPE);
        if (is_any_word(type_of(t)))
            syntax = canonical(int32_t(t->data2)) == canonical(fixed_word_symbol(words::W_CAT_SYNTAX));
    }
    int32_t limit = job->limit;
    uint32_t n = block::length(&msg);
    for (uint32_t i = 0; i < n; i++) {
        if (i > 0) limit = append_text(job->out, " ", limit);
        Cell item = *block::item(&msg, i);
        uint32_t t = type_of(&item);
        if (t == TYPE_STRING) {
            Cell s = item;
            gc::CellRoot keep(&s);
            limit = append_cut(job->out, &s, 0x7FFFFFFF, limit);
        } else if (t == TYPE_WORD || t == TYPE_GET_WORD) {
            int32_t f = find_field(&err, int32_t(item.data2));
            if (f < 0) continue;
            Cell v = *slot_of(ctx_of(&err), uint32_t(f));
            limit = write_cut(job->out, &v, syntax, false, true, 80, limit);
        }
    }
    job->limit = limit;
}

}  // namespace

// ---- error! ----------------------------------------------------------------------------------------

namespace error {

void init() {
    TypeSpec spec = make_type_spec(TYPE_ERROR);
    set_slot<SLOT_MAKE>(spec, error_make);
    inherit_slot(spec, SLOT_REFLECT);
    set_slot<SLOT_FORM>(spec, error_form);
    set_slot<SLOT_MOLD>(spec, error_mold);
    set_slot<SLOT_EVAL_PATH>(spec, error_eval_path);
    set_slot<SLOT_COMPARE>(spec, error_compare);
    inherit_slot(spec, SLOT_COPY);
    inherit_slot(spec, SLOT_SELECT);
    install_datatype(TYPE_SPEC_WORDS, &spec);
    memory::set_error_raiser([](const char* id) { raise_error("internal", id); });

    if (g_registered) {
        gc::unregister_global_cell(&g_prototype);
        gc::unregister_global_cell(&g_pending);
        gc::unregister_global_cell(&g_depth);
        gc::unregister_global_cell(&g_files);
    }
    g_prototype = g_pending = g_files = NONE_CELL;
    g_depth = Cell{TYPE_INTEGER, 0, 0, 0};
    g_read_depth = g_read_files = nullptr;   // the library's start-up installs them again
    set_caption_reader(nullptr);
    gc::register_global_cell(&g_prototype);
    gc::register_global_cell(&g_pending);
    gc::register_global_cell(&g_depth);
    gc::register_global_cell(&g_files);
    g_registered = true;

    g_sentinel_node = memory::alloc_fixed_series(1, sizeof(Cell), 0);
    g_sentinel = buffer_of(g_sentinel_node);
    *cells_head(g_sentinel) = Cell{TYPE_INTEGER, 0, ++g_cookie, 0};
    g_sentinel->tail = g_sentinel->head + sizeof(Cell);

    g_files = block::make(4);
    Cell proto = NONE_CELL;
    gc::CellRoot keep(&proto);
    object::init_cell(&proto, int32_t(ERR_FIELD_COUNT));
    for (const char* name : ERROR_FIELD_NAMES) {
        Cell w = *word::make_from_c_string(name);
        gc::CellRoot keep_w(&w);
        context::find_or_append(ctx_of(&proto), &w, &NONE_CELL);
    }
    proto.header = TYPE_ERROR;
    proto.data2 = uint32_t(object::BOOT_CLASS);
    object::build_info(&proto);
    g_prototype = proto;
}

Cell* prototype() { return &g_prototype; }

Cell* field(const Cell* err, uint32_t f) { return slot_of(ctx_of(err), f); }

Cell make_from_ids(const Cell* category, const Cell* id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    Cell c = *category, i = *id;
    Cell args[3] = {arg1 ? *arg1 : NONE_CELL, arg2 ? *arg2 : NONE_CELL, arg3 ? *arg3 : NONE_CELL};
    gc::CellRoot keep_c(&c), keep_i(&i), keep_args(args, 3);
    Cell spec = block::make(2);
    gc::CellRoot keep_spec(&spec);
    c.header = TYPE_WORD;
    i.header = TYPE_WORD;
    block::append_copy(&spec, &c);
    block::append_copy(&spec, &i);
    Cell dt{TYPE_DATATYPE, TYPE_ERROR, 0, 0};
    Cell err = *error_make(&dt, &spec);
    stack::pop(1);
    gc::CellRoot keep_err(&err);
    const Cell* given[3] = {arg1, arg2, arg3};
    for (uint32_t k = 0; k < 3; k++)
        if (given[k]) *slot_of(ctx_of(&err), ERR_ARG1 + k) = args[k];
    return err;
}

Cell make_from_names(const char* category, const char* id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    Cell args[3] = {arg1 ? *arg1 : NONE_CELL, arg2 ? *arg2 : NONE_CELL, arg3 ? *arg3 : NONE_CELL};
    gc::CellRoot keep_args(args, 3);
    Cell c = *word::make_from_c_string(category);
    gc::CellRoot keep_c(&c);
    Cell i = *word::make_from_c_string(id);
    gc::CellRoot keep_i(&i);
    return make_from_ids(&c, &i, arg1 ? &args[0] : nullptr, arg2 ? &args[1] : nullptr, arg3 ? &args[2] : nullptr);
}

void set_where_if_none(Cell* err, const Cell* value) {
    Cell v = *value;
    gc::CellRoot keep(&v);
    Cell* w = slot_of(ctx_of(err), ERR_WHERE);
    if (type_of(w) == TYPE_NONE) *slot_of(ctx_of(err), ERR_WHERE) = v;
}

int32_t get_type(const Cell* err) {
    const Cell* t = slot_of(ctx_of(err), ERR_TYPE);
    return is_any_word(type_of(t)) ? int32_t(t->data2) : 0;
}

int32_t get_id(const Cell* err) {
    const Cell* t = slot_of(ctx_of(err), ERR_ID);
    return is_any_word(type_of(t)) ? int32_t(t->data2) : 0;
}

Cell argument_word(int32_t n) {
    Cell anon = fixed_word(words::W_ANON);
    auto current = eval_links::get().current_call;
    const Cell* call = current ? current() : nullptr;
    if (!call || !is_any_word(type_of(call)) || word::index_of(call) < 0 || !word::context_of(call)) return anon;
    Cell fn = *context::get_word_value(call);
    uint32_t t = type_of(&fn);
    if (t != TYPE_NATIVE && t != TYPE_ACTION && t != TYPE_OP && t != TYPE_FUNCTION && t != TYPE_ROUTINE) return anon;
    Cell spec{TYPE_BLOCK, 0, fn.data2, 0};
    int32_t k = 0;
    for (uint32_t i = 0; i < block::total_length(&spec); i++) {
        const Cell* c = block::cell_at(&spec, i);
        uint32_t ct = type_of(c);
        if (ct != TYPE_WORD && ct != TYPE_GET_WORD && ct != TYPE_LIT_WORD && ct != TYPE_REFINEMENT) continue;
        if (k++ == n) return *c;
    }
    return anon;
}

void attach_stack(Cell* value) {
    if (type_of(value) != TYPE_ERROR) return;
    Cell err = *value;
    gc::CellRoot keep(&err);
    Cell stack_value = *slot_of(ctx_of(&err), ERR_STACK);
    if (type_of(&stack_value) != TYPE_INTEGER) return;
    const Cell* depth_setting = g_read_depth ? g_read_depth() : &g_depth;
    int32_t depth = depth_setting && type_of(depth_setting) == TYPE_INTEGER && int32_t(depth_setting->data2) > 0
                        ? int32_t(depth_setting->data2)
                        : 1;
    Cell calls = block::make(20);
    gc::CellRoot keep_calls(&calls);
    if (auto print = eval_links::get().print_calls) print(depth, &calls, int32_t(stack_value.data2));
    *slot_of(ctx_of(&err), ERR_STACK) = calls;
    const Cell* files = g_read_files ? g_read_files() : &g_files;
    if (files && type_of(files) == TYPE_BLOCK && block::length(files) > 0) {
        Cell copy = block::copy(files);
        *slot_of(ctx_of(&err), ERR_FILES) = copy;
    }
}

void set_setting_readers(SettingReader stack_depth, SettingReader source_files) {
    g_read_depth = stack_depth;
    g_read_files = source_files;
}

Cell* stack_depth_setting() { return &g_depth; }
Cell* source_files_setting() { return &g_files; }

int32_t form_message(const Cell* message, Cell* out, const Cell* err, int32_t limit) {
    MessageJob job{message, out, err, limit};
    auto in_frame = eval_links::get().in_native_frame;
    if (in_frame && words::ready())
        in_frame(words::word(words::W_BODY), write_message, &job);
    else
        write_message(&job);
    return job.limit;
}

// ---- Actions ------------------------------------------------------------------------------------------

Cell* error_make(Cell* prototype, Cell* spec_in) {
    (void)prototype;
    Cell spec = *spec_in;
    gc::CellRoot keep_spec(&spec);
    uint32_t st = type_of(&spec);
    if (st == TYPE_STRING) {
        Cell u = fixed_word(words::W_CAT_USER);
        gc::CellRoot ku(&u);
        Cell m = *word::make_from_c_string("message");
        gc::CellRoot km(&m);
        Cell err = make_from_ids(&u, &m, &spec);
        return stack::push(&err);
    }
    if (st != TYPE_INTEGER && st != TYPE_BLOCK) {
        Cell dt{TYPE_DATATYPE, TYPE_ERROR, 0, 0};
        raise_error("script", "bad-make-arg", &dt, &spec);
    }
    if (!catalog()) raise_error("internal", "not-done");
    Cell* result = push_copy_of_prototype();
    Node ectx = ctx_of(result);
    gc::NodeRoot keep_ectx(&ectx);
    Cell* cat_obj = catalog();
    if (st == TYPE_INTEGER) {
        int32_t c = int32_t(spec.data2);
        uint32_t categories = context::word_count(ctx_of(cat_obj));
        if (c < 0 || uint32_t(c / 100) >= categories) raise_error("script", "out-of-range", &spec);
        uint32_t index = uint32_t(c / 100);
        Cell category = *slot_of(ctx_of(cat_obj), index);
        gc::CellRoot keep_cat(&category);
        if (!is_object_kind(type_of(&category))) raise_error("script", "out-of-range", &spec);
        int32_t rem = c % 100;
        uint32_t position = uint32_t(rem < 0 ? -rem : rem) + 2;
        if (position >= context::word_count(ctx_of(&category))) raise_error("script", "out-of-range", &spec);
        Cell type_word = bound_word(ctx_of(cat_obj), index);
        Cell id_word = bound_word(ctx_of(&category), position);
        *slot_of(ectx, ERR_CODE) = spec;
        slot_of(ectx, ERR_CODE)->header = TYPE_INTEGER;
        *slot_of(ectx, ERR_TYPE) = type_word;
        *slot_of(ectx, ERR_ID) = id_word;
    } else {
        const Cell* first = block::item(&spec, 0);
        uint32_t ft = first ? type_of(first) : 0;
        if (ft == TYPE_WORD) {
            Cell cat_word = *first;
            Cell category = NONE_CELL;
            gc::CellRoot keep_cat(&category);
            if (category_of(int32_t(cat_word.data2), &category) < 0) invalid_spec_field(words::W_TYPE);
            const Cell* second = block::item(&spec, 1);
            if (!second) invalid_spec_field(words::W_ID);
            if (type_of(second) != TYPE_WORD) {
                Cell v = *second;
                raise_error("script", "invalid-arg", &v);
            }
            words::FixedWord which;
            if (!set_names(result, int32_t(cat_word.data2), int32_t(second->data2), &which))
                invalid_spec_field(which);
        } else if (ft == TYPE_SET_WORD) {
            context::bind_deep(&spec, ectx, true);
            auto eval = eval_links::get().eval_block;
            if (!eval) raise_error("internal", "not-done");
            eval(&spec);
            Cell t = *slot_of(ectx, ERR_TYPE), i = *slot_of(ectx, ERR_ID);
            if (type_of(&t) != TYPE_WORD) invalid_spec_field(words::W_TYPE);
            if (type_of(&i) != TYPE_WORD) invalid_spec_field(words::W_ID);
            words::FixedWord which;
            if (!set_names(result, int32_t(t.data2), int32_t(i.data2), &which)) invalid_spec_field(which);
        } else {
            raise_error("internal", "invalid-error");
        }
    }
    set_near(result);
    return result;
}

int32_t error_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    (void)part;
    Cell err = *value;
    gc::CellRoot keep_err(&err);
    Node ectx = ctx_of(&err);
    gc::NodeRoot keep_ectx(&ectx);
    limit = append_text(out, "*** ", limit);
    Cell* cat_obj = catalog();
    Cell category = NONE_CELL, message = NONE_CELL;
    gc::CellRoot keep_category(&category), keep_message(&message);

    // The category; an unknown one turns the error into invalid-error.
    auto find_category = [&]() -> bool {
        Cell t = *slot_of(ectx, ERR_TYPE);
        return cat_obj && is_any_word(type_of(&t)) && category_of(int32_t(t.data2), &category) >= 0;
    };
    auto find_message = [&]() -> bool {
        Cell i = *slot_of(ectx, ERR_ID);
        if (!is_any_word(type_of(&i))) return false;
        int32_t p = find_field(&category, int32_t(i.data2));
        if (p < 0) return false;
        message = *slot_of(ctx_of(&category), uint32_t(p));
        return true;
    };
    if (!find_category()) {
        Cell t = *slot_of(ectx, ERR_TYPE);
        make_invalid(&err, &t);
        if (!find_category()) return limit;   // no catalog: nothing more to say
    }
    if (!find_message()) {
        Cell i = *slot_of(ectx, ERR_ID);
        make_invalid(&err, &i);
        find_category();
        if (!find_message()) return limit;
    }
    if (type_of(&message) == TYPE_WORD) {
        int32_t f = find_field(&err, int32_t(message.data2));
        message = f < 0 ? NONE_CELL : *slot_of(ectx, uint32_t(f));
    }
    {
        int32_t tf = find_field(&category, fixed_word_symbol(words::W_TYPE));
        if (tf >= 0) {
            Cell name = *slot_of(ctx_of(&category), uint32_t(tf));
            limit = form_value(out, &name, limit);
        }
    }
    limit = append_text(out, ": ", limit);
    uint32_t mt = type_of(&message);
    if (mt == TYPE_STRING) {
        limit = append_cut(out, &message, 0x7FFFFFFF, limit);
    } else if (mt == TYPE_BLOCK) {
        limit = write_piece(out, limit, [&](int32_t n) { return form_message(&message, out, &err, n); });
    } else {
        Cell t = *slot_of(ectx, ERR_TYPE);
        make_invalid(&err, &t);
    }

    limit = append_text(out, "\n*** Where: ", limit);
    Cell where = *slot_of(ectx, ERR_WHERE);
    gc::CellRoot keep_where(&where);
    if (type_of(&where) == TYPE_WORD) limit = write_piece(out, limit, [&](int32_t n) { return form_value(out, &where, n); });
    else if (type_of(&where) == TYPE_STRING) limit = append_cut(out, &where, 0x7FFFFFFF, limit);
    else limit = append_text(out, "???", limit);

    limit = append_text(out, "\n*** Near : ", limit);
    Cell near = *slot_of(ectx, ERR_NEAR);
    gc::CellRoot keep_near(&near);
    limit = write_piece(out, limit, [&](int32_t n) { return write_cut(out, &near, false, true, true, 40, n); });

    const Cell* depth_setting = g_read_depth ? g_read_depth() : &g_depth;
    if (depth_setting && type_of(depth_setting) == TYPE_INTEGER && int32_t(depth_setting->data2) > 0) {
        int32_t depth = int32_t(depth_setting->data2);
        Cell stack_value = *slot_of(ectx, ERR_STACK);
        gc::CellRoot keep_stack(&stack_value);
        // A stack with no call to name (an error at the top of the code)
        // leaves the line out.
        uint32_t before = chars_of(out);
        int32_t limit_before = limit;
        if (type_of(&stack_value) == TYPE_INTEGER) {
            limit = append_text(out, "\n*** Stack: ", limit);
            uint32_t listed_from = chars_of(out);
            if (auto list = eval_links::get().list_calls) {
                limit = write_piece(out, limit, [&](int32_t n) {
                    uint32_t at = chars_of(out);
                    list(depth, int32_t(stack_value.data2), out, n);
                    return n - int32_t(chars_of(out) - at);
                });
            }
            if (chars_of(out) == listed_from) {
                string::truncate_tail(out, before);
                limit = limit_before;
            }
        } else if (type_of(&stack_value) == TYPE_BLOCK && block::remaining_length(&stack_value) > 0) {
            limit = append_text(out, "\n*** Stack: ", limit);
            limit = write_piece(out, limit, [&](int32_t n) { return form_value(out, &stack_value, n); });
        }
    }

    Cell files = *slot_of(ectx, ERR_FILES);
    gc::CellRoot keep_files(&files);
    if (type_of(&files) == TYPE_BLOCK) {
        limit = append_text(out, "\n*** Files: ", limit);
        limit = write_piece(out, limit, [&](int32_t n) { return write_cut(out, &files, false, true, true, 40, n); });
    }
    return limit;
}

int32_t error_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                   int32_t indent) {
    (void)part;
    if (!only) limit = append_text(out, "make error! [", limit);
    limit = object::mold_fields(value, out, only, all, flat, limit, indent, true);
    if (!only) limit = append_text(out, "]", limit);
    return limit;
}

Cell* error_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent, Cell* previous,
                      int32_t step, bool case_sensitive, uint32_t reserved, bool last, bool notify) {
    return object::object_eval_path(value, element, new_value, path, parent, previous, step, case_sensitive,
                                    reserved, last, notify);
}

int32_t error_compare(Cell* value1, Cell* value2, int32_t op) {
    if (type_of(value2) != TYPE_ERROR) return COMPARE_INCOMPARABLE;
    uint32_t saved = value2->header;
    cell::set_type(value2, TYPE_OBJECT);
    struct Restore {
        Cell* cell;
        uint32_t header;
        ~Restore() { cell->header = header; }
    } restore{value2, saved};
    return object::object_compare(value1, value2, op);
}

}  // namespace error

// ---- The pending error and the raise ------------------------------------------------------------------

namespace errors {

Cell* last_raised() { return &g_pending; }

void clear() { g_pending = NONE_CELL; }

void throw_error(const Cell* err) {
    g_pending = *err;
    throw Thrown{THROW_ERROR};
}


}  // namespace errors

namespace {

RaisedError g_last;
bool g_raising = false;

void record(RaisedError::Arg& slot, const ErrorArg& arg) {
    slot = RaisedError::Arg{};
    if (arg.value) {
        slot.given = true;
        slot.value = *arg.value;
    } else if (arg.word) {
        slot.given = true;
        slot.word = arg.word;
    }
}

// An argument as a value: the value itself, or the global word of a
// spelling.  Values are copied in a first pass, before anything allocates.
void arg_value(const ErrorArg& arg, Cell* out, bool words) {
    if (!words && arg.value) *out = *arg.value;
    else if (words && arg.word) *out = *word::make_from_c_string(arg.word);
}

}  // namespace

void raise_error(const char* category, const char* id, ErrorArg arg1, ErrorArg arg2, ErrorArg arg3) {
    g_last.category = category;
    g_last.id = id;
    record(g_last.args[0], arg1);
    record(g_last.args[1], arg2);
    record(g_last.args[2], arg3);
    if (!g_raising && catalog() && type_of(&g_prototype) == TYPE_ERROR) {
        // A failure while the error is built (memory exhausted, a name the
        // catalog lacks) must not replace the error being raised: the raise
        // then carries no value, and the record still tells what it was.
        RaisedError saved = g_last;
        g_raising = true;
        struct Reset {
            ~Reset() { g_raising = false; }
        } reset;
        Cell values[3] = {NONE_CELL, NONE_CELL, NONE_CELL};
        Cell err = NONE_CELL;
        gc::CellRoot keep_values(values, 3), keep_err(&err);
        bool built = false;
        try {
            for (bool words : {false, true}) {
                arg_value(arg1, &values[0], words);
                arg_value(arg2, &values[1], words);
                arg_value(arg3, &values[2], words);
            }
            err = error::make_from_names(category, id, arg1.value || arg1.word ? &values[0] : nullptr,
                                         arg2.value || arg2.word ? &values[1] : nullptr,
                                         arg3.value || arg3.word ? &values[2] : nullptr);
            built = true;
        } catch (const Thrown&) {
            g_last = saved;
        }
        if (built) {
            if (auto hook = eval_links::get().raise) hook(&err);
            errors::throw_error(&err);
        }
    }
    g_pending = NONE_CELL;
    throw Thrown{THROW_ERROR};
}

const RaisedError& last_raised_error() { return g_last; }

namespace errors {

void raise_words(const Cell* category, const Cell* id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    auto name = [](const Cell* w) {
        return is_word_kind(type_of(w)) ? spelling_of_symbol(int32_t(w->data2)) : std::string("?");
    };
    // The spellings outlive the raise: raise_error records them as strings.
    std::string c = name(category), i = name(id);
    raise_error(c.c_str(), i.c_str(), arg1 ? ErrorArg(arg1) : ErrorArg(), arg2 ? ErrorArg(arg2) : ErrorArg(),
                arg3 ? ErrorArg(arg3) : ErrorArg());
}

}  // namespace errors

}  // namespace qor

namespace qor::error_catalog_detail {

// The catalog counts as installed for the error machinery made by the last
// error::init (see error_catalog::install).
uint32_t current_cookie() { return g_cookie; }
void set_catalog_cookie(uint32_t cookie) { g_catalog_cookie = cookie; }

}  // namespace qor::error_catalog_detail
