// port!: making ports from a scheme, forwarding actions to the scheme's
// actor, and read and write built on open, copy, insert and close.
//
// An actor function is called with the port, the action's arguments and,
// for most actions, every refinement in the action's declared order: its
// flag as a logic! and its arguments (none when it is off).  The call goes
// up through the hook table (`call_spread`), which fills the function's
// slots in spec order.
#include "datatypes/port.hpp"

#include <initializer_list>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/object.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "runtime/collector.hpp"

namespace qor::port {

namespace {

// The port's fields, in order.
enum Field : uint32_t { SPEC = 0, SCHEME = 1, ACTOR = 2 };

Cell word_for(const char* name) { return Cell{TYPE_WORD, 0, uint32_t(symbol::intern(name)), 0}; }

// A value reached from the global `system` through object fields, or null.
const Cell* system_value(std::initializer_list<const char*> path) {
    int32_t id = symbol::find("system", true);
    if (id <= 0) return nullptr;
    const Cell* v = context::global_value_pointer(id);
    for (const char* name : path) {
        if (!v || type_of(v) != TYPE_OBJECT) return nullptr;
        id = symbol::find(name, true);
        if (id <= 0) return nullptr;
        v = context::value_by_symbol(id, object::context_of(v));
    }
    return v;
}

Cell* field(const Cell* obj, uint32_t index) {
    if (index >= object::field_count(obj)) return nullptr;
    return object::values_head(obj) + index;
}

Cell* field_named(const Cell* obj, const char* name) {
    int32_t id = symbol::find(name, true);
    return id > 0 ? context::value_by_symbol(id, object::context_of(obj)) : nullptr;
}

// The scheme object registered under the word in system/schemes, or null.
const Cell* find_scheme(const Cell* word) {
    const Cell* schemes = system_value({"schemes"});
    if (!schemes || type_of(schemes) != TYPE_BLOCK) return nullptr;
    int32_t wanted = symbol::resolve_alias(int32_t(word->data2));
    uint32_t n = block::length(schemes);
    for (uint32_t i = 0; i + 1 < n; i += 2) {
        const Cell* key = block::item(schemes, i);
        if (is_word_kind(type_of(key)) && symbol::resolve_alias(int32_t(key->data2)) == wanted)
            return block::item(schemes, i + 1);
    }
    return nullptr;
}

// Calls the actor's function named by the action with the arguments; its
// result goes to *result.
void call_actor(const char* action, const Cell* args, uint32_t count, Cell* result) {
    Cell port = args[0];
    gc::CellRoot keep_port(&port);
    Cell* actor = field(&port, ACTOR);
    if (!actor || type_of(actor) != TYPE_OBJECT) raise_error("access", "invalid-port", &port);
    Cell label = word_for(action);
    gc::CellRoot keep_label(&label);
    Cell* fn = field_named(actor, action);
    if (!fn || type_of(fn) != TYPE_FUNCTION) raise_error("access", "no-port-action", &label);
    Cell function = *fn;
    gc::CellRoot keep_fn(&function);
    eval_links::Links& links = eval_links::get();
    if (links.call_spread) links.call_spread(&label, &function, args, count, result);
    else if (links.call_in_frame) links.call_in_frame(&label, &function, args, count, result);
    else eval_links::call_function(&function, args, count, result);
}

// The arguments of one forwarded call, built in the action's order.
struct Args {
    static constexpr uint32_t MAX = 24;
    Cell cells[MAX];
    uint32_t count = 0;
    gc::CellRoot keep{cells, MAX};
    Args() {
        for (Cell& c : cells) c = Cell{TYPE_NONE, 0, 0, 0};
    }
    Args& value(const Cell* v) {
        cells[count++] = v ? *v : Cell{TYPE_NONE, 0, 0, 0};
        return *this;
    }
    Args& flag(bool on) {
        cells[count++] = Cell{TYPE_LOGIC, on ? 1u : 0u, 0, 0};
        return *this;
    }
    // A refinement with one argument: on when the argument is given.
    Args& refine(const Cell* v) { return flag(v != nullptr).value(v); }
    Args& refine_int(bool on, int32_t n) {
        Cell c{TYPE_INTEGER, 0, uint32_t(n), 0};
        return flag(on).value(on ? &c : nullptr);
    }
};

Cell* forward_args(const char* action, Args& args) {
    Cell result{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&result);
    call_actor(action, args.cells, args.count, &result);
    Cell* slot = stack::arguments_base();
    *slot = result;
    return slot;
}

// Forwards to the actor with the port and up to two more arguments; the
// result lands in the action's result slot.
Cell* forward(const char* action, const Cell* port, const Cell* a = nullptr, const Cell* b = nullptr) {
    Args args;
    args.value(port);
    if (a || b) args.value(a);
    if (b) args.value(b);
    return forward_args(action, args);
}

// The direct slots take their operands from the argument stack.
void forward_direct(const char* action, bool with_argument) {
    Cell* base = stack::arguments_base();
    Cell port = base[0];
    Cell arg = with_argument ? base[1] : Cell{TYPE_NONE, 0, 0, 0};
    gc::CellRoot k0(&port), k1(&arg);
    forward(action, &port, with_argument ? &arg : nullptr);
}

Cell integer_cell(int32_t n) { return Cell{TYPE_INTEGER, 0, uint32_t(n), 0}; }

int32_t port_form(Cell* value, Cell* out, Cell*, int32_t limit) {
    return object::mold_fields(value, out, false, false, false, limit, 0, false);
}

int32_t port_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell*, int32_t limit, int32_t indent) {
    string::append_ascii(out, "make port! [");
    limit -= 12;
    limit = object::mold_fields(value, out, only, all, flat, limit, indent, true);
    string::append_ascii(out, "]");
    return limit - 1;
}

// append, insert and change: /part reaches the actor as a count; /dup 1
// is the same as no /dup.
Cell* port_insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    Args args;
    args.value(series).value(value).refine_int(part >= 0, part).flag(only).refine_int(dup != 1, dup);
    return forward_args(append ? "append" : "insert", args);
}
Cell* port_change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
    Args args;
    args.value(series).value(value).refine_int(part >= 0, part).flag(only).refine_int(dup != 1, dup);
    return forward_args("change", args);
}
Cell* port_clear(Cell* p) { return forward("clear", p); }
Cell* port_create(Cell* p) { return forward("create", p); }
Cell* port_close(Cell* p) { return forward("close", p); }
Cell* port_delete(Cell* p) { return forward("delete", p); }
Cell* port_query(Cell* p) { return forward("query", p); }
Cell* port_update(Cell* p) { return forward("update", p); }
Cell* port_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    Args args;
    args.value(value).refine(part).flag(deep).refine(types);
    Cell* got = forward_args("copy", args);
    *result = *got;
    return result;
}
Cell* port_find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any, Cell* with,
                Cell* skip, bool last, bool reverse, bool tail, bool match) {
    Args args;
    args.value(series).value(value).refine(part).flag(only).flag(case_).flag(same).flag(any).refine(with)
        .refine(skip).flag(last).flag(reverse).flag(tail).flag(match);
    return forward_args("find", args);
}
Cell* port_select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any, Cell* with,
                  Cell* skip, bool last, bool reverse) {
    Args args;
    args.value(series).value(value).refine(part).flag(only).flag(case_).flag(same).flag(any).refine(with)
        .refine(skip).flag(last).flag(reverse);
    return forward_args("select", args);
}
int32_t port_length(Cell* p) {
    Cell* got = forward("length?", p);
    return type_of(got) == TYPE_INTEGER ? integer::get_value(got) : -1;
}
Cell* port_move(Cell* origin, Cell* target, Cell* part) {
    Args args;
    args.value(origin).value(target).refine(part);
    return forward_args("move", args);
}
Cell* port_pick(Cell* series, int32_t index) {
    Cell i = integer_cell(index);
    return forward("pick", series, &i);
}
Cell* port_poke(Cell* series, int32_t index, Cell* value) {
    Cell i = integer_cell(index);
    return forward("poke", series, &i, value);
}
Cell* port_put(Cell* series, Cell* key, Cell* value, bool case_) {
    Args args;
    args.value(series).value(key).value(value).flag(case_);
    return forward_args("put", args);
}
Cell* port_remove(Cell* series, Cell* part, Cell* key) {
    Args args;
    args.value(series).refine(part).refine(key);
    return forward_args("remove", args);
}
Cell* port_reverse(Cell* series, Cell* part, Cell* skip) {
    Args args;
    args.value(series).refine(part).refine(skip);
    return forward_args("reverse", args);
}
Cell* port_sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all, bool reverse,
                bool stable) {
    Args args;
    args.value(series).flag(case_).refine(skip).refine(compare).refine(part).flag(all).flag(reverse).flag(stable);
    return forward_args("sort", args);
}
Cell* port_swap(Cell* a, Cell* b) { return forward("swap", a, b); }
Cell* port_rename(Cell* a, Cell* b) { return forward("rename", a, b); }
Cell* port_take(Cell* series, Cell* part, bool deep, bool last) {
    Args args;
    args.value(series).refine(part).flag(deep).flag(last);
    return forward_args("take", args);
}
Cell* port_trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    Args args;
    args.value(series).flag(head).flag(tail).flag(auto_).flag(lines).flag(all).refine(with);
    return forward_args("trim", args);
}
Cell* port_modify(Cell* target, Cell* f, Cell* value, bool case_) {
    Args args;
    args.value(target).value(f).value(value).flag(case_);
    return forward_args("modify", args);
}

void port_at() { forward_direct("at", true); }
void port_skip() { forward_direct("skip", true); }
void port_back() { forward_direct("back", false); }
void port_head() { forward_direct("head", false); }
void port_head_q() { forward_direct("head?", false); }
void port_index_q() { forward_direct("index?", false); }
void port_next() { forward_direct("next", false); }
void port_tail() { forward_direct("tail", false); }
void port_tail_q() { forward_direct("tail?", false); }

}  // namespace

Cell* port_make(Cell*, Cell* spec_in) {
    Cell spec = *spec_in;
    gc::CellRoot keep_spec(&spec);
    Cell empty = block::make(0);
    gc::CellRoot keep_empty(&empty);
    // The port's spec object.
    Cell spec_obj;
    gc::CellRoot keep_obj(&spec_obj);
    if (type_of(&spec) == TYPE_OBJECT) {
        spec_obj = *object::make(&spec, &empty);
    } else {
        const Cell* proto = system_value({"standard", "url-parts"});
        Cell prototype;
        if (proto && type_of(proto) == TYPE_OBJECT) prototype = *proto;
        else datatype::set(&prototype, TYPE_OBJECT);
        gc::CellRoot keep_proto(&prototype);
        if (type_of(&spec) != TYPE_BLOCK) raise_error("access", "no-scheme", &spec);
        spec_obj = *object::make(&prototype, &spec);
    }
    Cell* scheme_word = field_named(&spec_obj, "scheme");
    if (!scheme_word || type_of(scheme_word) != TYPE_WORD) raise_error("access", "no-scheme", &spec);
    Cell scheme_name = *scheme_word;
    gc::CellRoot keep_name(&scheme_name);
    // The new port.
    const Cell* standard = system_value({"standard", "port"});
    Cell prototype;
    if (standard && type_of(standard) == TYPE_OBJECT) prototype = *standard;
    else datatype::set(&prototype, TYPE_OBJECT);
    gc::CellRoot keep_proto(&prototype);
    Cell port = *object::make(&prototype, &empty);
    gc::CellRoot keep_port(&port);
    if (object::field_count(&port) <= ACTOR) raise_error("access", "invalid-port", &port);
    port.header = (port.header & ~TYPE_MASK) | TYPE_PORT;
    *field(&port, SPEC) = spec_obj;
    *field(&port, SCHEME) = scheme_name;
    const Cell* scheme = find_scheme(&scheme_name);
    if (!scheme || type_of(scheme) != TYPE_OBJECT) raise_error("access", "unknown-scheme", &spec);
    Cell* actor = field(scheme, 3);
    if (!actor || (type_of(actor) != TYPE_OBJECT && type_of(actor) != TYPE_HANDLE))
        raise_error("access", "invalid-actor", &spec);
    *field(&port, ACTOR) = *actor;
    Cell* result = stack::arguments_base();
    *result = port;
    return result;
}

Cell* port_open(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow) {
    Args args;
    args.value(port).flag(new_).flag(read).flag(write).flag(seek).refine(allow);
    return forward_args("open", args);
}

// read: open (with /seek when read had it), copy (with read's /part), close.
Cell* port_read(Cell* port_in, Cell* part, Cell* seek, bool, bool, bool, Cell*) {
    Cell port = *port_in;
    Cell part_value = part ? *part : Cell{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&port), keep_part(&part_value);
    Cell data{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_data(&data);
    port_open(&port, false, false, false, seek != nullptr, nullptr);
    Args copy;
    copy.value(&port).refine(part ? &part_value : nullptr).flag(false).refine(nullptr);
    data = *forward_args("copy", copy);
    forward("close", &port);
    Cell* result = stack::arguments_base();
    *result = data;
    return result;
}

// write: open/write (with /seek when write had it), insert the data (an
// integer /part limits it), copy, close.
Cell* port_write(Cell* port_in, Cell* data_in, bool, bool, bool, bool, Cell* part, Cell* seek, Cell*, Cell*) {
    Cell port = *port_in;
    Cell data = *data_in;
    gc::CellRoot keep(&port), keep_data(&data);
    int32_t length = part && type_of(part) == TYPE_INTEGER ? integer::get_value(part) : -1;
    Cell copied{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_copied(&copied);
    port_open(&port, false, false, true, seek != nullptr, nullptr);
    port_insert(&port, &data, length, false, 1, false);
    copied = *forward("copy", &port);
    forward("close", &port);
    Cell* result = stack::arguments_base();
    *result = copied;
    return result;
}

void init() {
    TypeSpec spec = make_type_spec(TYPE_PORT);
    for (int slot : {SLOT_REFLECT, SLOT_EVAL_PATH, SLOT_COMPARE}) inherit_slot(spec, slot);
    set_slot<SLOT_MAKE>(spec, port_make);
    set_slot<SLOT_FORM>(spec, port_form);
    set_slot<SLOT_MOLD>(spec, port_mold);
    set_slot<SLOT_APPEND>(spec, port_insert);
    set_slot<SLOT_INSERT>(spec, port_insert);
    set_slot<SLOT_AT>(spec, port_at);
    set_slot<SLOT_BACK>(spec, port_back);
    set_slot<SLOT_CHANGE>(spec, port_change);
    set_slot<SLOT_CLEAR>(spec, port_clear);
    set_slot<SLOT_COPY>(spec, port_copy);
    set_slot<SLOT_FIND>(spec, port_find);
    set_slot<SLOT_HEAD>(spec, port_head);
    set_slot<SLOT_HEAD_Q>(spec, port_head_q);
    set_slot<SLOT_INDEX_Q>(spec, port_index_q);
    set_slot<SLOT_LENGTH_Q>(spec, port_length);
    set_slot<SLOT_MOVE>(spec, port_move);
    set_slot<SLOT_NEXT>(spec, port_next);
    set_slot<SLOT_PICK>(spec, port_pick);
    set_slot<SLOT_POKE>(spec, port_poke);
    set_slot<SLOT_PUT>(spec, port_put);
    set_slot<SLOT_REMOVE>(spec, port_remove);
    set_slot<SLOT_REVERSE>(spec, port_reverse);
    set_slot<SLOT_SELECT>(spec, port_select);
    set_slot<SLOT_SORT>(spec, port_sort);
    set_slot<SLOT_SKIP>(spec, port_skip);
    set_slot<SLOT_SWAP>(spec, port_swap);
    set_slot<SLOT_TAIL>(spec, port_tail);
    set_slot<SLOT_TAIL_Q>(spec, port_tail_q);
    set_slot<SLOT_TAKE>(spec, port_take);
    set_slot<SLOT_TRIM>(spec, port_trim);
    set_slot<SLOT_CREATE>(spec, port_create);
    set_slot<SLOT_CLOSE>(spec, port_close);
    set_slot<SLOT_DELETE>(spec, port_delete);
    set_slot<SLOT_MODIFY>(spec, port_modify);
    set_slot<SLOT_OPEN>(spec, port_open);
    set_slot<SLOT_QUERY>(spec, port_query);
    set_slot<SLOT_READ>(spec, port_read);
    set_slot<SLOT_RENAME>(spec, port_rename);
    set_slot<SLOT_UPDATE>(spec, port_update);
    set_slot<SLOT_WRITE>(spec, port_write);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

}  // namespace qor::port
