// Calling any-function values (see call.hpp).
#include "evaluator/call.hpp"
#include "evaluator/call_internal.hpp"

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/native.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "evaluator/eval_internal.hpp"
#include "evaluator/interpreter.hpp"
#include "datatypes/stack.hpp"
#include "evaluator/trace.hpp"
#include "runtime/collector.hpp"
#include "datatypes/fixed_words.hpp"
#include "runtime/runtime_error.hpp"
#include "runtime/throw.hpp"

namespace qor::eval {

const Cell* g_body_word = nullptr;
const Cell* g_anon_word = nullptr;
const Cell* g_set_path_word = nullptr;

void refresh_words() {
    bool ready = words::ready();
    g_body_word = ready ? words::word(words::W_BODY) : nullptr;
    g_anon_word = ready ? words::word(words::W_ANON) : nullptr;
    g_set_path_word = ready ? words::word(words::W_SET_PATH) : nullptr;
}

}  // namespace qor::eval

namespace qor::interp {

Cell g_fetch_fn{TYPE_NONE, 0, 0, 0};
uint32_t g_fetch_entry = 0;

namespace {

CallHook g_call_hook = nullptr;

inline bool is_user(uint32_t t) { return t == TYPE_FUNCTION || t == TYPE_ROUTINE; }
inline bool is_callable(uint32_t t) {
    return t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_FUNCTION || t == TYPE_ROUTINE;
}
inline uint32_t interp_bit() { return in_compiled() ? 0u : FRAME_INTERP; }

int32_t canonical(int32_t sym) { return symbol::resolve_alias(sym); }

int32_t local_symbol() {
    if (words::ready()) return canonical(word::symbol_of(words::refinement(words::REF_LOCAL)));
    return symbol::ready() ? canonical(symbol::intern("local")) : -1;
}
int32_t return_symbol() {
    if (words::ready()) return canonical(words::symbol(words::SYM_RETURN));
    return symbol::ready() ? canonical(symbol::intern("return")) : -1;
}

// The spec of any function kind, as a block at its head.
Cell spec_of(const Cell* fn) { return Cell{TYPE_BLOCK, 0, fn->data2, 0}; }

// The types of a type block ORed into the typeset.
void add_types(Cell* ts, const Cell* types) {
    uint32_t n = block::remaining_length(types);
    for (uint32_t k = 0; k < n; k++) {
        Cell v = *block::item(types, k);
        if (type_of(&v) == TYPE_WORD) v = *eval::word_value(&v);
        if (type_of(&v) == TYPE_DATATYPE) {
            typeset_set_bit(ts, v.data1);
        } else if (type_of(&v) == TYPE_TYPESET) {
            ts->data1 |= v.data1;
            ts->data2 |= v.data2;
            ts->data3 |= v.data3;
        }
    }
}

Cell default_typeset(uint32_t kind) {
    Cell ts{TYPE_TYPESET | kind, 0, 0, 0};
    for (uint32_t t = 1; t <= uint32_t(TYPE_COUNT); t++)
        if (t != TYPE_UNSET) typeset_set_bit(&ts, t);
    return ts;
}

// The spec element behind call-table entry `entry`, as a word!.
Cell spec_word_of_entry(const Cell* fn, uint32_t entry) {
    Cell spec = spec_of(fn);
    uint32_t n = block::total_length(&spec);
    int32_t local = local_symbol();
    uint32_t seen = 0;
    for (uint32_t i = 0; i < n; i++) {
        Cell c = *block::cell_at(&spec, i);
        uint32_t t = type_of(&c);
        bool counts = t == TYPE_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD || t == TYPE_SET_WORD ||
                      (t == TYPE_REFINEMENT && canonical(word::symbol_of(&c)) != local);
        if (t == TYPE_REFINEMENT && canonical(word::symbol_of(&c)) == local) break;
        if (!counts) continue;
        if (seen++ == entry) {
            c.header = (c.header & ~TYPE_MASK) | TYPE_WORD;
            return c;
        }
    }
    return eval::anon_word() ? *eval::anon_word() : Cell{TYPE_NONE, 0, 0, 0};
}

}  // namespace

[[noreturn]] void raise_expect_arg(const Cell* name, const Cell* fn, uint32_t entry, const Cell* value) {
    Cell fn_copy = *fn, name_copy = *name;
    gc::CellRoot keep(&fn_copy), keep_name(&name_copy);
    Cell type{TYPE_DATATYPE, type_of(value), 0, 0};
    Cell arg = spec_word_of_entry(&fn_copy, entry);
    raise_error("script", "expect-arg", &name_copy, &type, &arg);
}

[[noreturn]] void raise_no_arg(const Cell* name, const Cell* fn, uint32_t entry) {
    Cell fn_copy = *fn, name_copy = *name;
    gc::CellRoot keep(&fn_copy), keep_name(&name_copy);
    Cell arg = spec_word_of_entry(&fn_copy, entry);
    raise_error("script", "no-arg", &name_copy, &arg);
}

namespace {

// Entry i of a call table (absolute index from its head).  The table's
// buffer may move while arguments are evaluated: fetched afresh each time.
inline const Cell& table_entry(const Cell* table, uint32_t i) {
    return cells_head(buffer_of(cell_node(table)))[i];
}

// The shape word of a call table (0: none).
uint32_t shape_of_table(const Cell* fn, const Cell* table) {
    uint32_t n = block::total_length(table);
    const Cell* e = cells_head(buffer_of(cell_node(table)));
    uint32_t args = 0, i = 0;
    bool evaluated = true, any_values = true;
    for (; i < n && type_of(e + i) == TYPE_TYPESET && (e[i].header & ARG_KIND_MASK) != ARG_RETURN; i++) {
        args++;
        if ((e[i].header & ARG_KIND_MASK) != ARG_NORMAL) evaluated = false;
        for (uint32_t t = 1; t <= TYPE_COUNT && any_values; t++)
            if (t != TYPE_UNSET && !typeset_allows(e + i, t)) any_values = false;
    }
    for (; i < n && type_of(e + i) == TYPE_TYPESET; i++) {
        if ((e[i].header & ARG_KIND_MASK) != ARG_RETURN) return 0;   // an argument after return:
    }
    uint32_t tail = i;
    bool has_tail = i < n;
    if (has_tail && type_of(e + i) != TYPE_REFINEMENT && type_of(e + i) != TYPE_INTEGER) return 0;
    uint32_t refinements = 0;
    if (!is_user(type_of(fn)) && n > 0 && type_of(e + n - 1) == TYPE_INTEGER) {
        refinements = uint32_t(int32_t(e[n - 1].data2));
        if (refinements > MAX_REFINEMENTS) refinements = MAX_REFINEMENTS;
    }
    bool refinements_evaluated = true;
    for (uint32_t j = tail; j < n && refinements_evaluated; j++) {
        uint32_t kind = e[j].header & ARG_KIND_MASK;
        if (type_of(e + j) == TYPE_TYPESET && kind != ARG_NORMAL && kind != ARG_RETURN) refinements_evaluated = false;
    }
    if (args > 0xFF || tail > 0xFF) return 0;
    return CallShape::READY | (evaluated ? CallShape::EVALUATED : 0u) | (has_tail ? CallShape::TAIL : 0u) |
           (refinements_evaluated ? CallShape::REFINEMENTS_EVALUATED : 0u) |
           (any_values ? CallShape::ANY_VALUES : 0u) | args | (tail << 8) |
           (refinements << 16);
}

// What every step of one call's argument gathering reads: made once by
// run_code and passed down by address, so the steps take a few arguments
// instead of re-passing ten.
struct CallSite {
    const Cell* fn;
    const Cell* name;     // the frame's word
    const Cell* code;     // the block the arguments come from
    uint32_t end;
    const Cell* path;     // refinements named in a path (or null)
    uint32_t path_pos;
    uint32_t mode;        // apply's bits, 0 for the interpreter
    bool infix;
};

// Fetches one argument of the kind onto the stack; answers the position
// after it.
uint32_t fetch_arg(const CallSite& site, uint32_t kind, uint32_t pos, uint32_t entry) {
    const Cell* code = site.code;
    uint32_t end = site.end;
    bool infix = site.infix;
    if (pos >= end || pos >= block::total_length(code)) raise_no_arg(site.name, site.fn, entry);
    g_fetch_fn = *site.fn;
    g_fetch_entry = entry;
    if (kind == ARG_NORMAL) {
        uint32_t limit = (site.mode & APPLY_NAMED) ? pos + 1 : end;
        if (fast_eval) {
            // A plain value or a word holding one: run_expression's own steps
            // for them, without its frame.
            const Cell* c = eval::code_cell(code, pos);
            uint32_t t = type_of(c);
            const Cell* val = nullptr;
            if (t == TYPE_WORD) {
                val = eval::word_value_fast(c);
                if (val) {
                    uint32_t vt = type_of(val);
                    if (vt == TYPE_UNSET || vt == TYPE_OP || is_callable(vt)) val = nullptr;
                }
            } else if (t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_NONE || t == TYPE_LOGIC ||
                       t == TYPE_CHAR || t == TYPE_BLOCK || t == TYPE_STRING) {
                val = c;
            }
            if (val) {
                Cell* entry_top = stack::state.top;
                stack::push(val);
                if (infix) return pos + 1;
                return eval_infix(code, pos + 1, limit, true, entry_top);
            }
        }
        return run_expression(code, pos, limit, infix, true, false);
    }
    Cell v = *eval::code_cell(code, pos);
    if (kind == ARG_GET) {
        stack::push(&v);
        return pos + 1;
    }
    switch (type_of(&v)) {
    case TYPE_PAREN:
        stack::mark(eval::anon_word(), HEADER_NATIVE | interp_bit());
        run_block(&v, true);
        if (!pending_exit) stack::unwind_keep();
        return pos + 1;
    case TYPE_GET_WORD:
        stack::push(eval::word_value(&v));
        return pos + 1;
    case TYPE_GET_PATH:
        return run_path(&v, code, pos + 1, end, false, true, true, 0, nullptr);
    default:
        stack::push(&v);
        return pos + 1;
    }
}


}  // namespace

// Runs a native or action entry with its refinement slots; a native's
// answer is an exit it made ready, left pending.
void call_entry(const Cell* fn, const int32_t* refs) {
    if (type_of(fn) == TYPE_NATIVE) {
        if (int32_t code = reinterpret_cast<NativeFn>(fn->data1)(false, refs)) pending_exit = uint32_t(code);
    } else {
        reinterpret_cast<ActionFn>(fn->data1)(refs);
    }
}

RefinementSlot find_refinement(Node table, uint32_t n, const Cell* el, const Cell* name) {
    int32_t sym = canonical(word::symbol_of(el));
    RefinementSlot found{n, 0, 0};
    for (uint32_t i = 0; i < n; i++) {
        Cell e = cells_head(buffer_of(table))[i];
        uint32_t t = type_of(&e);
        if (t == TYPE_REFINEMENT) {
            found.number++;
            if (canonical(word::symbol_of(&e)) == sym) {
                found.at = i;
                return found;
            }
            found.offset++;
        } else if (t == TYPE_TYPESET) {
            if ((e.header & ARG_KIND_MASK) != ARG_RETURN) found.offset++;
        } else {
            break;
        }
    }
    // Also a plain argument's name: not a refinement.
    Cell name_copy = *name, el_copy = *el;
    raise_error("script", "no-refine", &name_copy, &el_copy);
}

namespace {

// The refinements named in a path (or, in apply's named mode, in the code):
// each one's use is set and its arguments fetched.  Kept out of fetch_args,
// whose frame every call pays for.
[[gnu::noinline]] uint32_t path_refinements(const CallSite& site, const Cell& table, uint32_t n, bool user,
                                             Cell* base, int32_t* refs, uint32_t nrefs, uint32_t pos,
                                             uint32_t ordinal) {
    const Cell* fn = site.fn;
    const Cell* name = site.name;
    const Cell* path = site.path;
    uint32_t mode = site.mode;
    uint32_t plen = block::total_length(path);
    uint8_t used[256] = {};
    for (uint32_t k = site.path_pos + 1; k < plen; k++) {
        Cell el = *block::cell_at(path, k);
        bool use;
        uint32_t et = type_of(&el);
        if (et == TYPE_WORD || ((mode & APPLY_NAMED) && et == TYPE_REFINEMENT)) {
            use = true;
        } else if (et == TYPE_GET_WORD) {
            use = !logic::is_false(eval::word_value(&el));
        } else {
            if (mode != 0 && ordinal == 0) break;
            raise_error("script", "bad-refine", &el);
        }
        RefinementSlot found = find_refinement(cell_node(&table), n, &el, name);
        uint32_t at = found.at, offset = found.offset, number = found.number;
        uint32_t slot = found.used_slot();
        if (used[slot]) {
            Cell path_copy = *path;
            raise_error("script", "dup-refine", &path_copy);
        }
        used[slot] = 1;
        if (user) base[offset] = Cell{TYPE_LOGIC, use ? 1u : 0u, 0, 0};
        else if (use && number <= nrefs) refs[number - 1] = int32_t(stack::state.top - base);
        uint32_t j = 0;
        for (uint32_t i = at + 1; i < n; i++) {
            Cell e = table_entry(&table, i);
            if (type_of(&e) != TYPE_TYPESET) break;
            uint32_t kind = e.header & ARG_KIND_MASK;
            if (kind == ARG_RETURN) continue;
            if ((mode & APPLY_SKIP_ARGS) && !use) {
                pos++;
                j++;
                continue;
            }
            pos = fetch_arg(site, kind, pos, i);
            if (pending_exit) return pos;
            Cell* a = stack::state.top - 1;
            if (!typeset_allows(&e, type_of(a))) raise_expect_arg(name, fn, i, a);
            if (user) {
                base[offset + 1 + j] = *a;
                stack::pop(1);
            } else if (!use) {
                stack::pop(1);
            }
            j++;
        }
    }
    return pos;
}

}  // namespace

// Pushes what a function! called without refinements holds after its
// leading arguments: false for each refinement, none for each of their
// arguments; answers the count of /local cells to push after the call event.
int32_t push_unused_tail(Node table, uint32_t from) {
    uint32_t n = buffer_of(table)->byte_length() >> 4;
    for (uint32_t i = from; i < n; i++) {
        const Cell* e = cells_head(buffer_of(table)) + i;
        uint32_t t = type_of(e);
        if (t == TYPE_TYPESET) {
            if ((e->header & ARG_KIND_MASK) != ARG_RETURN) *stack::push_slot() = Cell{TYPE_NONE, 0, 0, 0};
        } else if (t == TYPE_REFINEMENT) {
            *stack::push_slot() = Cell{TYPE_LOGIC, 0, 0, 0};
        } else if (t == TYPE_INTEGER) {
            return int32_t(e->data2);
        }
    }
    return 0;
}

namespace {

// A plain call (no path, no apply mode) by the function's shape: only the
// leading arguments are fetched, each checked against its entry; natives
// and actions get every refinement slot unused, functions the unused tail.
// The table's buffer is looked up again after every argument, since
// evaluating one may move it.
uint32_t fetch_shaped(const CallSite& site, Node table, CallShape shape, uint32_t pos) {
    const Cell* fn = site.fn;
    if (site.infix) stack::state.top++;
    bool user = is_user(type_of(fn));
    int32_t refs[MAX_REFINEMENTS];
    for (uint32_t k = 0; k < shape.refinements; k++) refs[k] = -1;
    for (uint32_t i = 0; i < shape.args; i++) {
        if (!(site.infix && i == 0)) {
            uint32_t kind = shape.all_evaluated ? ARG_NORMAL
                                                : cells_head(buffer_of(table))[i].header & ARG_KIND_MASK;
            if (kind == ARG_LIT && pos >= site.end && typeset_allows(cells_head(buffer_of(table)) + i, TYPE_UNSET)) {
                *stack::push_slot() = Cell{TYPE_UNSET, 0, 0, 0};
            } else {
                pos = fetch_arg(site, kind, pos, i);
                if (pending_exit) return pos;
            }
        }
        const Cell* a = stack::state.top - 1;
        if (!typeset_allows(cells_head(buffer_of(table)) + i, type_of(a))) raise_expect_arg(site.name, fn, i, a);
    }
    int32_t defaults = user && shape.has_tail ? push_unused_tail(table, shape.tail) : 0;
    if (tracing_active) trace_call(site.name, fn);
    if (user) {
        if (defaults > 0) function::push_refinement_defaults(defaults);
    } else {
        call_entry(fn, refs);
    }
    return pos;
}

// fetch_args for the interpreter's plain calls (no path, no apply mode),
// the same steps without the path and apply cases, for tables that have no
// shape.  `table` is the call table's node: its buffer is looked up again
// after every argument, since evaluating one may move it.
uint32_t fetch_plain(const CallSite& site, Node table, uint32_t pos) {
    const Cell* fn = site.fn;
    const Cell* name = site.name;
    bool infix = site.infix;
    uint32_t end = site.end;
    if (infix) stack::state.top++;
    uint32_t n = buffer_of(table)->byte_length() >> 4;
    bool user = is_user(type_of(fn));
    int32_t refs[MAX_REFINEMENTS];
    if (!user && n > 0) {
        const Cell* last = cells_head(buffer_of(table)) + (n - 1);
        if (type_of(last) == TYPE_INTEGER) {
            uint32_t nrefs = uint32_t(int32_t(last->data2));
            if (nrefs > MAX_REFINEMENTS) nrefs = MAX_REFINEMENTS;
            for (uint32_t k = 0; k < nrefs; k++) refs[k] = -1;
        }
    }
    bool active = true;
    bool first = true;
    int32_t defaults = 0;
    for (uint32_t i = 0; i < n; i++) {
        const Cell* e = cells_head(buffer_of(table)) + i;
        uint32_t t = type_of(e);
        if (t == TYPE_TYPESET) {
            uint32_t kind = e->header & ARG_KIND_MASK;
            if (kind == ARG_RETURN) continue;
            if (active) {
                if (infix && first) {
                    // The left operand lies at the frame's base already.
                } else if (pos >= end && kind == ARG_LIT && typeset_allows(e, TYPE_UNSET)) {
                    *stack::push_slot() = Cell{TYPE_UNSET, 0, 0, 0};
                } else {
                    pos = fetch_arg(site, kind, pos, i);
                    if (pending_exit) return pos;
                    e = cells_head(buffer_of(table)) + i;
                }
                const Cell* a = stack::state.top - 1;
                if (!typeset_allows(e, type_of(a))) raise_expect_arg(name, fn, i, a);
            } else if (user) {
                *stack::push_slot() = Cell{TYPE_NONE, 0, 0, 0};
            }
            first = false;
        } else if (t == TYPE_REFINEMENT) {
            if (user) *stack::push_slot() = Cell{TYPE_LOGIC, 0, 0, 0};
            active = false;
        } else if (t == TYPE_INTEGER) {
            if (user) defaults = int32_t(e->data2);
            break;
        }
    }
    if (tracing_active) trace_call(name, fn);
    if (user) {
        if (defaults > 0) function::push_refinement_defaults(defaults);
    } else {
        call_entry(fn, refs);
    }
    return pos;
}

// Gathers the arguments of a call in its frame (the top frame) and, for
// natives and actions, calls the entry point.
uint32_t fetch_args(const CallSite& site, uint32_t pos) {
    const Cell* fn = site.fn;
    const Cell* name = site.name;
    const Cell* path = site.path;
    uint32_t end = site.end;
    uint32_t mode = site.mode;
    bool infix = site.infix;
    if (!path && mode == 0 && fast_eval) {
        if (const Cell* cache = cached_table_cell(fn)) {
            Node table = cell_node(cache);
            CallShape shape = CallShape::unpack(cache->data3);
            if (shape.ready && (shape.args > 0 || !infix)) return fetch_shaped(site, table, shape, pos);
            return fetch_plain(site, table, pos);
        }
    }
    Cell* base = stack::state.base;
    if (infix) stack::state.top++;
    Cell table = call_table(fn);
    uint32_t n = block::total_length(&table);
    bool user = is_user(type_of(fn));
    int32_t refs[MAX_REFINEMENTS];
    uint32_t nrefs = 0;
    if (!user && n > 0) {
        Cell last = table_entry(&table, n - 1);
        if (type_of(&last) == TYPE_INTEGER) {
            nrefs = uint32_t(int32_t(last.data2));
            if (nrefs > MAX_REFINEMENTS) nrefs = MAX_REFINEMENTS;
            for (uint32_t k = 0; k < nrefs; k++) refs[k] = -1;
        }
    }
    bool apply = mode != 0 && !path && !(mode & APPLY_NAMED);
    bool active = true;
    bool first = true;
    uint32_t ordinal = 0;
    int32_t defaults = 0;
    for (uint32_t i = 0; i < n; i++) {
        const Cell e = table_entry(&table, i);
        switch (type_of(&e)) {
        case TYPE_TYPESET: {
            uint32_t kind = e.header & ARG_KIND_MASK;
            if (kind == ARG_RETURN) break;
            if (active) {
                if (mode != 0 && pos >= end) {
                    *stack::push_slot() = Cell{TYPE_NONE, 0, 0, 0};
                    break;
                }
                if (infix && first) {
                    // The left operand lies at the frame's base already.
                } else if (pos >= end && kind == ARG_LIT && typeset_allows(&e, TYPE_UNSET)) {
                    *stack::push_slot() = Cell{TYPE_UNSET, 0, 0, 0};
                } else {
                    pos = fetch_arg(site, kind, pos, i);
                    if (pending_exit) return pos;
                }
                first = false;
                const Cell* a = stack::state.top - 1;
                if (!typeset_allows(&e, type_of(a))) raise_expect_arg(name, fn, i, a);
            } else {
                if (mode != 0 && !(mode & APPLY_SKIP_ARGS) && pos < end) {
                    pos = fetch_arg(site, kind, pos, i);
                    if (pending_exit) return pos;
                    stack::pop(1);
                }
                if (user) *stack::push_slot() = Cell{TYPE_NONE, 0, 0, 0};
            }
            first = false;
            break;
        }
        case TYPE_REFINEMENT: {
            ordinal++;
            Cell* logic_cell = nullptr;
            if (user) {
                logic_cell = stack::push_slot();
                *logic_cell = Cell{TYPE_LOGIC, 0, 0, 0};
            }
            active = false;
            if (apply) {
                if (pos >= end) raise_no_arg(name, fn, i);
                CallSite plain = site;
                plain.infix = false;
                pos = fetch_arg(plain, ARG_NORMAL, pos, i);
                if (pending_exit) return pos;
                Cell use = *(stack::state.top - 1);
                stack::pop(1);
                if (type_of(&use) != TYPE_LOGIC) raise_expect_arg(name, fn, i, &use);
                active = use.data1 != 0;
                if (user) *logic_cell = use;
                else if (active && ordinal <= nrefs) refs[ordinal - 1] = int32_t(stack::state.top - base);
            }
            break;
        }
        case TYPE_INTEGER:
            if (user) defaults = int32_t(e.data2);
            i = n;
            break;
        default:
            break;
        }
    }

    if (path) {
        pos = path_refinements(site, table, n, user, base, refs, nrefs, pos, ordinal);
        if (pending_exit) return pos;
    }

    if (tracing_active) trace_call(name, fn);
    if (user) {
        if (defaults > 0) function::push_refinement_defaults(defaults);
    } else {
        call_entry(fn, refs);
    }
    return pos;
}

// The context a function's compiled body receives.
Node call_context(const Cell* fn, const Cell* parent, const Cell* name) {
    if (parent && type_of(parent) == TYPE_OBJECT) {
        Node ctx = reinterpret_cast<Node>(parent->data1);
        if (ctx != context::global()) return ctx;
    }
    if (Node owner = function::owner_context(fn)) return owner;
    if (name && is_word_kind(type_of(name))) return word::context_of(name);
    return context::global();
}

// Trace flag for the length of a body: `trace` switches it to the user's
// setting, `no-trace` off; the previous state comes back on every exit.
struct TraceScope {
    bool saved;
    bool changed = false;
    explicit TraceScope(uint32_t header) : saved(tracing()) {
        if (header & FUNC_TRACE) {
            set_tracing(user_tracing());
            changed = true;
        } else if (header & FUNC_NO_TRACE) {
            set_tracing(false);
            changed = true;
        }
    }
    ~TraceScope() {
        if (changed) set_tracing(saved);
    }
};

}  // namespace

// ---- Calls ----------------------------------------------------------------------------------------------

uint32_t eval_code(const Cell* value, const Cell* code, uint32_t pos, uint32_t end, bool push,
                   const Cell* path, uint32_t path_pos, const Cell* name, const Cell* parent,
                   uint32_t mode, bool infix) {
    Cell fn = *value;
    pos = run_code(&fn, code, pos, end, push, path, path_pos, name, parent, mode, infix);
    raise_pending();
    return pos;
}

uint32_t run_code(const Cell* value, const Cell* code, uint32_t pos, uint32_t end, bool push,
                  const Cell* path, uint32_t path_pos, const Cell* name, const Cell* parent,
                  uint32_t mode, bool infix) {
    check_machine_stack();
    // The callers' value is a local of theirs that nothing changes during
    // the call: read in place, not copied.
    const Cell& fn = *value;
    Cell w;
    if (name && is_word_kind(type_of(name))) w = *name;
    else if (const Cell* anon = eval::anon_word()) w = *anon;
    else w = Cell{TYPE_NONE, 0, 0, 0};
    if (tracing_active) {
        if (infix) stack::state.top++;
        int32_t at = path ? int32_t(path->data1) : int32_t(pos) - 1;
        fire_trace(EVENT_OPEN, path ? path : code, at, &fn, &w);
        if (infix) stack::state.top--;
    }
    Cell* fn_slot = infix ? nullptr : stack::push(&fn);
    const CallSite site{&fn, &w, code, end, path, path_pos, mode, infix};
    switch (type_of(&fn)) {
    case TYPE_NATIVE: case TYPE_ACTION:
        stack::mark(&w, HEADER_NATIVE | interp_bit());
        pos = fetch_args(site, pos);
        break;
    case TYPE_ROUTINE:
        stack::mark(&w, HEADER_NATIVE | interp_bit());
        pos = fetch_args(site, pos);
        if (pending_exit) return pos;
        call_routine(&fn);
        break;
    case TYPE_FUNCTION: {
        Node ctx = call_context(&fn, parent, &w);
        stack::mark(&w, HEADER_FUNCTION | interp_bit());
        pos = fetch_args(site, pos);
        if (pending_exit) return pos;
        run_function(&fn, ctx, &w);
        break;
    }
    default:
        runtime::error(runtime::ERR_NO_SWITCH_MATCH, 0);
    }
    if (pending_exit) return pos;   // the exit cut the frames already
    if (push) stack::unwind_keep();
    else stack::unwind_last();
    if (tracing_active) fire_trace(EVENT_RETURN, code, int32_t(pos), stack::top_value(), &w);
    if (fn_slot && push) {
        stack::copy_cell(fn_slot, stack::state.top - 1);
        stack::state.top = fn_slot + 1;
    }
    return pos;
}

Cell call_table(const Cell* fn) {
    Node more = reinterpret_cast<Node>(fn->data3);
    SeriesBuffer* s = buffer_of(more);
    if ((s->byte_length() >> 4) >= 2) {
        Cell* cache = cells_head(s) + 1;
        if (type_of(cache) == TYPE_BLOCK) {
            Cell table = *cache;
            table.data3 = 0;   // the shape word stays with the cache
            return table;
        }
    }
    Cell fn_copy = *fn;
    gc::CellRoot keep(&fn_copy);
    Cell table = spec_arity(&fn_copy);
    gc::CellRoot keep_table(&table);
    table.data3 = shape_of_table(&fn_copy, &table);
    s = buffer_of(reinterpret_cast<Node>(fn_copy.data3));
    if ((s->byte_length() >> 4) >= 2) cells_head(s)[1] = table;
    table.data3 = 0;
    return table;
}

Cell spec_arity(const Cell* fn_in) {
    Cell fn = *fn_in;
    Cell spec = spec_of(&fn);
    gc::CellRoot keep(&fn), keep_spec(&spec);
    uint32_t n = block::total_length(&spec);
    Cell table = block::make(int32_t(n) + 1);
    gc::CellRoot keep_table(&table);
    bool user = is_user(type_of(&fn));
    int32_t local = local_symbol(), ret = return_symbol();
    bool in_locals = false, saw_local = false;
    int32_t locals = 0, refinements = 0;
    for (uint32_t i = 0; i < n; i++) {
        Cell c = *block::cell_at(&spec, i);
        uint32_t t = type_of(&c);
        switch (t) {
        case TYPE_WORD: case TYPE_GET_WORD: case TYPE_LIT_WORD: {
            if (in_locals) {
                if (t == TYPE_WORD) locals++;
                break;
            }
            uint32_t kind = t == TYPE_GET_WORD ? ARG_GET : t == TYPE_LIT_WORD ? ARG_LIT : ARG_NORMAL;
            Cell ts{TYPE_TYPESET | kind, 0, 0, 0};
            Cell next = i + 1 < n ? *block::cell_at(&spec, i + 1) : Cell{TYPE_NONE, 0, 0, 0};
            if (type_of(&next) == TYPE_BLOCK && block::remaining_length(&next) > 0) add_types(&ts, &next);
            else ts = default_typeset(kind);
            block::append_copy(&table, &ts);
            break;
        }
        case TYPE_REFINEMENT: {
            if (canonical(word::symbol_of(&c)) == local) {
                in_locals = saw_local = true;
                locals = 1;
                break;
            }
            if (in_locals) break;
            refinements++;
            if (!user) c.data3 = uint32_t(refinements);
            block::append_copy(&table, &c);
            break;
        }
        case TYPE_SET_WORD: {
            if (canonical(word::symbol_of(&c)) != ret) raise_error("script", "bad-func-def", &c);
            Cell ts{TYPE_TYPESET | ARG_RETURN, 0, 0, 0};
            Cell next = i + 1 < n ? *block::cell_at(&spec, i + 1) : Cell{TYPE_NONE, 0, 0, 0};
            if (type_of(&next) == TYPE_BLOCK) add_types(&ts, &next);
            block::append_copy(&table, &ts);
            in_locals = false;
            break;
        }
        default:
            break;
        }
    }
    if (user && saw_local) {
        Cell count{TYPE_INTEGER, 0, uint32_t(locals), 0};
        block::append_copy(&table, &count);
    } else if (!user && refinements > 0) {
        Cell count{TYPE_INTEGER, 0, uint32_t(refinements), 0};
        block::append_copy(&table, &count);
    }
    return table;
}

Cell arg_name() {
    if (!is_callable(type_of(&g_fetch_fn))) return eval::anon_word() ? *eval::anon_word() : Cell{TYPE_NONE, 0, 0, 0};
    return spec_word_of_entry(&g_fetch_fn, g_fetch_entry);
}

void call_function(const Cell* fn, Node ctx, const Cell* name) {
    run_function(fn, ctx, name);
    raise_pending();
}

void run_function(const Cell* fn_in, Node ctx, const Cell* name_in) {
    Cell fn = *fn_in;
    Cell name = name_in ? *name_in : Cell{TYPE_NONE, 0, 0, 0};
    Cell body = *function::body_of(&fn);
    uintptr_t code = function::code_address(&fn);
    if (code == 0 && !is_compiled(&body)) {
        exec_body(&fn, &body, &name);
        return;
    }
    // Compiled: the body runs in a compiled-body frame whose values are the
    // arguments on the stack.
    stack::mark_compiled_func(&name, function::context_of(&fn));
    CallFrame* frame = stack::top_frame();
    Cell* inside = stack::state.base;
    try {
        if (code) {
            reinterpret_cast<void (*)(Node)>(code)(ctx == context::global() ? nullptr : ctx);
        } else {
            run_block(&body, true);
        }
    } catch (const Thrown& t) {
        if (!((t.code == THROW_RETURN || t.code == THROW_EXIT) && stack::exit_frame() == frame)) throw;
        stack::restore_to_frame(frame, inside, inside + 1);
    }
    if (pending_exit) {
        if (!((pending_exit == THROW_RETURN || pending_exit == THROW_EXIT) && stack::exit_frame() == frame))
            return;
        pending_exit = 0;
        stack::restore_to_frame(frame, inside, inside + 1);
    }
    stack::unwind_func_last();
}

void exec_body(const Cell* fn_in, const Cell* body_in, const Cell* name_in) {
    Cell fn = *fn_in, body = *body_in, name = *name_in;
    Node fctx = function::context_of(&fn);
    CallFrame* frame = stack::top_frame();
    Cell* args = stack::state.base;
    stack::attach_function_context(fctx, args);
    frame->header |= FRAME_BODY;
    {
        TraceScope trace(fn.header);
        if (tracing_active) fire_trace(EVENT_PROLOG, &body, int32_t(body.data1), &fn, &name);
        try {
            run_block(&body, true);
        } catch (const Thrown& t) {
            if (!((t.code == THROW_RETURN || t.code == THROW_EXIT) && stack::exit_frame() == frame)) throw;
            stack::restore_to_frame(frame, args, args + 1);
        }
        if (pending_exit) {
            // Another exit passes on; the frame is gone with the others.
            if (!((pending_exit == THROW_RETURN || pending_exit == THROW_EXIT) && stack::exit_frame() == frame))
                return;
            pending_exit = 0;
            stack::restore_to_frame(frame, args, args + 1);
        }
        if (tracing_active) fire_trace(EVENT_EPILOG, &body, int32_t(body.data1), args, &name);
    }
    frame->header &= ~FRAME_BODY;
    context::set_stack_values(fctx, frame->saved_values);
}

void call_routine(const Cell* routine_in) {
    Cell routine = *routine_in;
    Cell* base = stack::state.base;
    uintptr_t code = function::code_address(&routine);
    if (routine.header & ROUTINE_FLAGGED) {
        Cell* args[MAX_REFINEMENTS * 2];
        uint32_t count = uint32_t(stack::state.top - base);
        if (count > MAX_REFINEMENTS * 2) count = MAX_REFINEMENTS * 2;
        for (uint32_t k = 0; k < count; k++) args[k] = base + k;
        stack::mark(eval::body_word(), HEADER_NATIVE);
        Cell* out = reinterpret_cast<RawRoutineFn>(code)(args);
        Cell result = out ? *out : Cell{TYPE_UNSET, 0, 0, 0};
        stack::unwind_keep();
        *base = result;
        return;
    }
    // The plain arguments: the words of the spec before its first
    // refinement or set-word, each with a type block led by a word.
    Cell spec = spec_of(&routine);
    gc::CellRoot keep(&routine), keep_spec(&spec);
    RoutineArg args[MAX_REFINEMENTS * 2];
    uint32_t n = block::total_length(&spec), count = 0;
    for (uint32_t i = 0; i < n && count < MAX_REFINEMENTS * 2; i++) {
        Cell c = *block::cell_at(&spec, i);
        uint32_t t = type_of(&c);
        if (t == TYPE_REFINEMENT || t == TYPE_SET_WORD) break;
        if (t != TYPE_WORD && t != TYPE_GET_WORD && t != TYPE_LIT_WORD) continue;
        Cell* arg = base + count;
        Cell types = i + 1 < n ? *block::cell_at(&spec, i + 1) : Cell{TYPE_NONE, 0, 0, 0};
        Cell type_word = type_of(&types) == TYPE_BLOCK && block::remaining_length(&types) > 0
                             ? *block::item(&types, 0) : types;
        if (type_of(&type_word) != TYPE_WORD) raise_error("script", "invalid-type-spec", &type_word);
        uint32_t pass = 0;
        if (!word::any_type_q(&type_word)) {
            Cell tv = *eval::word_value(&type_word);
            bool ok = type_of(&tv) == TYPE_TYPESET ? typeset_allows(&tv, type_of(arg))
                      : type_of(&tv) == TYPE_DATATYPE ? tv.data1 == type_of(arg) : false;
            if (!ok) {
                Cell call = stack::current_call();
                Cell dt{TYPE_DATATYPE, type_of(arg), 0, 0};
                c.header = (c.header & ~TYPE_MASK) | TYPE_WORD;
                raise_error("script", "expect-arg", &call, &dt, &c);
            }
            if (type_of(&tv) == TYPE_DATATYPE) pass = tv.data1;
        }
        if (pass == TYPE_LOGIC) args[count].integer = int32_t(arg->data1 != 0);
        else if (pass == TYPE_INTEGER) args[count].integer = int32_t(arg->data2);
        else if (pass == TYPE_FLOAT) args[count].number = cell_float(arg);
        else args[count].cell = arg;
        count++;
    }
    RoutineReturn r = reinterpret_cast<RoutineFn>(code)(args);
    switch (routine::return_type(&routine)) {
    case TYPE_LOGIC: *base = Cell{TYPE_LOGIC, r.integer != 0 ? 1u : 0u, 0, 0}; break;
    case TYPE_INTEGER: *base = Cell{TYPE_INTEGER, 0, uint32_t(r.integer), 0}; break;
    case TYPE_FLOAT: *base = Cell{TYPE_FLOAT, 0, 0, 0}; set_cell_float(base, r.number); break;
    default: break;
    }
}

bool user_function_q() { return is_user(stack::top_type()); }

void push_unused_refinements(const Cell* fn) {
    Cell table = call_table(fn);
    uint32_t n = block::total_length(&table);
    bool after = false;
    for (uint32_t i = 0; i < n; i++) {
        Cell e = table_entry(&table, i);
        if (type_of(&e) == TYPE_REFINEMENT) {
            after = true;
            *stack::push_slot() = Cell{TYPE_LOGIC, 0, 0, 0};
        } else if (type_of(&e) == TYPE_TYPESET && after && (e.header & ARG_KIND_MASK) != ARG_RETURN) {
            *stack::push_slot() = Cell{TYPE_NONE, 0, 0, 0};
        }
    }
}

// ---- Calls from C++ with argument values -----------------------------------------------------------------

void set_call_hook(CallHook hook) { g_call_hook = hook; }

void call_function(const Cell* function, const Cell* args, uint32_t count, Cell* result) {
    call_function_named(nullptr, function, args, count, result);
}

namespace {
void call_with_args(const Cell* label, const Cell* function, const Cell* args, uint32_t count, Cell* result,
                    Cell* args_back, bool spread = false);
}  // namespace

void call_function_named(const Cell* label, const Cell* function, const Cell* args, uint32_t count,
                         Cell* result) {
    call_with_args(label, function, args, count, result, nullptr);
}

void call_function_updating(const Cell* label, const Cell* function, Cell* args, uint32_t count, Cell* result) {
    call_with_args(label, function, args, count, result, args);
}

void call_function_spread(const Cell* label, const Cell* function, const Cell* args, uint32_t count,
                          Cell* result) {
    call_with_args(label, function, args, count, result, nullptr, true);
}

namespace {

void call_with_args(const Cell* label, const Cell* function, const Cell* args, uint32_t count, Cell* result,
                    Cell* args_back, bool spread) {
    if (g_call_hook) {
        g_call_hook(function, args, count, result);
        return;
    }
    Cell fn = *function;
    gc::CellRoot keep(&fn);
    if (type_of(&fn) == TYPE_OP) {
        uint32_t from = native::op_source_type(&fn);
        fn.header = (fn.header & ~(TYPE_MASK | 0x00FF0000u)) | from;
    }
    uint32_t t = type_of(&fn);
    if (!is_callable(t)) raise_error("script", "invalid-arg", &fn);
    stack::Checkpoint cp = stack::checkpoint();
    stack::push(&fn);
    Cell label_word = label && is_word_kind(type_of(label)) ? *label : Cell{TYPE_NONE, 0, 0, 0};
    const Cell* name = type_of(&label_word) != TYPE_NONE ? &label_word : eval::anon_word();
    if (t == TYPE_FUNCTION) stack::mark_func(name, nullptr);
    else stack::mark_native(name);
    Cell* base = stack::state.base;
    Cell table = call_table(&fn);
    gc::CellRoot keep_table(&table);
    uint32_t n = block::total_length(&table), next = 0;
    bool user = is_user(t), active = true;
    spread = spread && t == TYPE_FUNCTION;
    int32_t defaults = 0, nrefs = 0;
    for (uint32_t i = 0; i < n; i++) {
        Cell e = table_entry(&table, i);
        if (spread && nrefs > 0 && type_of(&e) == TYPE_TYPESET && (e.header & ARG_KIND_MASK) != ARG_RETURN) {
            // A refinement's argument: the given value when the refinement is on.
            Cell a = next < count ? args[next] : Cell{TYPE_NONE, 0, 0, 0};
            if (next < count) next++;
            if (!active) a = Cell{TYPE_NONE, 0, 0, 0};
            stack::push(&a);
            if (active && !typeset_allows(&e, type_of(&a))) {
                Cell nm = name ? *name : Cell{TYPE_NONE, 0, 0, 0};
                raise_expect_arg(&nm, &fn, i, &a);
            }
            continue;
        }
        if (spread && type_of(&e) == TYPE_REFINEMENT) {
            // Its flag: on only for a true logic! value.
            Cell a = next < count ? args[next] : Cell{TYPE_LOGIC, 0, 0, 0};
            if (next < count) next++;
            active = type_of(&a) == TYPE_LOGIC && a.data1 != 0;
            nrefs++;
            *stack::push_slot() = Cell{TYPE_LOGIC, active ? 1u : 0u, 0, 0};
            continue;
        }
        if (type_of(&e) == TYPE_TYPESET) {
            if ((e.header & ARG_KIND_MASK) == ARG_RETURN) continue;
            if (active) {
                Cell a = next < count ? args[next++] : Cell{TYPE_NONE, 0, 0, 0};
                stack::push(&a);
                if (!typeset_allows(&e, type_of(&a))) {
                    Cell nm = name ? *name : Cell{TYPE_NONE, 0, 0, 0};
                    raise_expect_arg(&nm, &fn, i, &a);
                }
            } else if (user) {
                *stack::push_slot() = Cell{TYPE_NONE, 0, 0, 0};
            }
        } else if (type_of(&e) == TYPE_REFINEMENT) {
            active = false;
            nrefs++;
            if (user) *stack::push_slot() = Cell{TYPE_LOGIC, 0, 0, 0};
        } else if (type_of(&e) == TYPE_INTEGER) {
            if (user) defaults = int32_t(e.data2);
            break;
        }
    }
    if (t == TYPE_FUNCTION) {
        if (defaults > 0) function::push_refinement_defaults(defaults);
        Cell nm = name ? *name : Cell{TYPE_NONE, 0, 0, 0};
        call_function(&fn, context::global(), &nm);
    } else if (t == TYPE_ROUTINE) {
        call_routine(&fn);
    } else {
        int32_t refs[MAX_REFINEMENTS];
        for (int32_t k = 0; k < int32_t(MAX_REFINEMENTS); k++) refs[k] = -1;
        (void)nrefs;
        call_entry(&fn, refs);
        raise_pending();
    }
    // A function's arguments are its locals, still in place past the
    // result slot (which took the first one's place).
    if (args_back && t == TYPE_FUNCTION)
        for (uint32_t k = 1; k < next; k++) args_back[k] = base[k];
    Cell r = *base;
    stack::restore(cp);
    *result = r;
}

}  // namespace

}  // namespace qor::interp
