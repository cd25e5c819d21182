// The word, context and value natives: reading and writing words, binding,
// objects from unevaluated specs, apply, and the comparisons.
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/map.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/eval_internal.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/natives_support.hpp"

namespace qor::natives {

using support::arg;
using support::check_arg;
using support::used;

namespace {

constexpr Cell NONE{TYPE_NONE, 0, 0, 0};
constexpr Cell UNSET{TYPE_UNSET, 0, 0, 0};

void logic_result(bool b) { stack::set_last_keep(Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}); }

bool is_function_kind(uint32_t t) {
    return t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_OP || t == TYPE_FUNCTION || t == TYPE_ROUTINE;
}

// The comparison natives: the compare action with the op code.
int32_t comparison(int32_t op) {
    actions::compare_op(op);
    stack::keep();
    return 0;
}

// The context a function value's words live in: the spec context of a
// native or action (its more block), the local context of a function or
// routine; an op! stands for the value it was made from.
Node function_context(const Cell* fn) {
    uint32_t t = type_of(fn);
    if (t == TYPE_OP) t = native::op_source_type(fn);
    return t == TYPE_NATIVE || t == TYPE_ACTION ? native::more_node(fn) : function::context_of(fn);
}

// The context named by bind's or in's context argument.
Node context_of_value(const Cell* v) {
    uint32_t t = type_of(v);
    if (is_any_word(t)) return word::context_of(v);
    if (is_object_kind(t)) return object::context_of(v);
    if (is_function_kind(t)) return function_context(v);
    return nullptr;
}

// ---- set with a block of words -------------------------------------------------------------------

void set_block(const Cell* words_in, const Cell* value_in, bool any, bool only, bool some) {
    Cell words = *words_in, value = *value_in;
    gc::CellRoot keep_words(&words), keep_value(&value);
    bool spread = type_of(&value) == TYPE_BLOCK && !only;
    uint32_t n = block::remaining_length(&words);
    for (uint32_t i = 0; i < n; i++) {
        const Cell* at = block::item(&words, i);
        if (!at) break;   // the block shrank under a change handler
        Cell w = *at;
        gc::CellRoot keep_w(&w);
        if (!is_any_word(type_of(&w))) raise_error("script", "invalid-arg", &w);
        Cell item = value;
        if (spread) {
            const Cell* c = block::item(&value, i);
            item = c ? *c : NONE;
        }
        if (some && type_of(&item) == TYPE_NONE) continue;
        if (type_of(&item) == TYPE_UNSET && !any) raise_error("script", "need-value", &w);
        gc::CellRoot keep_item(&item);
        context::set_word_value(&w, &item);
    }
}

// ---- apply ------------------------------------------------------------------------------------------

// The values that the interpreter's argument fetch would not take as they
// stand: evaluated ones, and for a literal argument those it still
// evaluates.
bool fetch_changes(const Cell* v, uint32_t kind) {
    uint32_t t = type_of(v);
    if (kind == ARG_GET) return false;
    if (kind == ARG_LIT) return t == TYPE_PAREN || t == TYPE_GET_WORD || t == TYPE_GET_PATH;
    return is_any_word(t) || is_any_path(t) || t == TYPE_PAREN || is_function_kind(t) || t == TYPE_UNSET;
}

// The code block of an apply call: the reduced values aligned with the call
// table, each one taken exactly as reduced.  A value that the fetch would
// evaluate again is put behind a get-word of a private context, whose fetch
// gives the value unchanged.
class ApplyCode {
public:
    ApplyCode() : code_(block::make(8)) {}

    void add(const Cell* value, uint32_t kind) {
        Cell v = *value;
        gc::CellRoot keep(&v);
        if (!fetch_changes(&v, kind)) {
            block::append_copy(&code_, &v);
            return;
        }
        if (!holder_) {
            holder_ = context::make_node(4, false, false, nullptr, context::KIND_OBJECT);
            symbol_ = symbol::intern("value");
        }
        Cell values{TYPE_BLOCK, 0, reinterpret_cast<uint32_t>(context::values_node(holder_)), 0};
        block::append_copy(&values, &v);
        Cell ref{TYPE_GET_WORD, reinterpret_cast<uint32_t>(holder_), uint32_t(symbol_),
                 block::total_length(&values) - 1};
        block::append_copy(&code_, &ref);
    }
    Cell* code() { return &code_; }

private:
    Cell code_;
    Node holder_ = nullptr;
    int32_t symbol_ = 0;
    gc::CellRoot keep_code_{&code_};
    gc::NodeRoot keep_holder_{&holder_};
};

// The entries of a call table that take a value from apply's block: one per
// argument (its fetch kind) and one per refinement (kind REFINEMENT_ENTRY).
constexpr uint32_t REFINEMENT_ENTRY = 0xFFFFFFFFu;

uint32_t table_entry_kind(const Cell* table, uint32_t i) {
    const Cell& e = cells_head(buffer_of(cell_node(table)))[i];
    if (type_of(&e) == TYPE_REFINEMENT) return REFINEMENT_ENTRY;
    if (type_of(&e) != TYPE_TYPESET) return ARG_RETURN;   // the closing count
    return e.header & ARG_KIND_MASK;
}

}  // namespace

// ---- Comparisons -----------------------------------------------------------------------------------

int32_t equal_q_star(bool, const int32_t*) { return comparison(COMP_EQUAL); }
int32_t not_equal_q_star(bool, const int32_t*) { return comparison(COMP_NOT_EQUAL); }
int32_t strict_equal_q_star(bool, const int32_t*) { return comparison(COMP_STRICT_EQUAL); }
int32_t lesser_q_star(bool, const int32_t*) { return comparison(COMP_LESSER); }
int32_t greater_q_star(bool, const int32_t*) { return comparison(COMP_GREATER); }
int32_t lesser_or_equal_q_star(bool, const int32_t*) { return comparison(COMP_LESSER_EQUAL); }
int32_t greater_or_equal_q_star(bool, const int32_t*) { return comparison(COMP_GREATER_EQUAL); }

int32_t same_q_star(bool, const int32_t*) {
    const Cell* a = arg(0);
    const Cell* b = arg(1);
    uint32_t t = type_of(a);
    bool same;
    if (t != type_of(b)) same = false;
    else if (is_series(t)) same = a->data2 == b->data2 && a->data1 == b->data1;
    else if (is_word_kind(t)) same = a->data2 == b->data2 && a->data1 == b->data1;
    else if (is_object_kind(t)) same = a->data1 == b->data1;
    else
        same = ((a->header ^ b->header) & ~FLAG_NEW_LINE) == 0 && a->data1 == b->data1 && a->data2 == b->data2 &&
               a->data3 == b->data3;
    logic_result(same);
    return 0;
}

int32_t not_star(bool, const int32_t*) {
    logic_result(logic::is_false(arg(0)));
    return 0;
}

int32_t type_q_star(bool, const int32_t* refinements) {
    uint32_t t = type_of(arg(0));
    if (!used(refinements, 0)) {
        stack::set_last_keep(Cell{TYPE_DATATYPE, t, 0, 0});
        return 0;
    }
    Cell w = *word::make_from_c_string(TYPE_NAMES[t]);
    stack::set_last_keep(&w);
    return 0;
}

// ---- Reading and writing words ---------------------------------------------------------------------

int32_t get_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, support::typeset_union(support::typeset_union(support::any_word_types(), support::any_path_types()),
                                              support::typeset_of({TYPE_OBJECT})),
              0);
    Cell target = *arg(0);
    gc::CellRoot keep(&target);
    uint32_t t = type_of(&target);
    if (is_any_word(t)) {
        Cell v = *eval::word_value(&target);
        if (type_of(&v) == TYPE_UNSET && !used(refinements, 0)) raise_error("script", "no-value", &target);
        stack::set_last_keep(&v);
    } else if (is_any_path(t)) {
        stack::keep();
        interp::eval_path(&target, &target, 0, 0, false, true, false, used(refinements, 1) ? 1u : 0u);
    } else if (t == TYPE_OBJECT) {
        Cell field{TYPE_WORD, 0, 0, 0};
        word::init_cell(&field, symbol::intern("values"));
        gc::CellRoot keep_field(&field);
        Cell v = *object::object_reflect(&target, &field);
        stack::set_last_keep(&v);
    } else {
        support::raise_expect_arg(0, 0);
    }
    return 0;
}

int32_t set_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, support::typeset_union(support::typeset_union(support::any_word_types(), support::any_path_types()),
                                              support::typeset_of({TYPE_BLOCK, TYPE_OBJECT})),
              0);
    bool any = used(refinements, 0), case_ = used(refinements, 1);
    bool only = used(refinements, 2), some = used(refinements, 3);
    Cell target = *arg(0), value = *arg(1);
    gc::CellRoot keep_target(&target), keep_value(&value);
    uint32_t t = type_of(&target);
    if (is_any_word(t)) {
        if (type_of(&value) == TYPE_UNSET && !any) raise_error("script", "need-value", &target);
        context::set_word_value(&target, &value);
    } else if (is_any_path(t)) {
        if (type_of(&value) == TYPE_UNSET && !any) raise_error("script", "need-value", &target);
        // The path writer takes the new value from the result slot.
        stack::set_last_keep(&value);
        interp::eval_path(&target, &target, 0, 0, true, false, false, case_ ? 1u : 0u);
    } else if (t == TYPE_OBJECT) {
        object::set_many(&target, &value, any, only, some);
    } else if (t == TYPE_BLOCK) {
        set_block(&target, &value, any, only, some);
    } else {
        support::raise_expect_arg(0, 0);
    }
    stack::set_last_keep(&value);
    return 0;
}

int32_t value_q_star(bool check, const int32_t*) {
    check_arg(check, 0, support::typeset_of({TYPE_WORD}), 0);
    const Cell* w = arg(0);
    bool has = false;
    Node ctx = is_any_word(type_of(w)) ? word::context_of(w) : nullptr;
    // A local of a function that is not running has no value to read.
    if (ctx && word::index_of(w) >= 0 && !(context::values_on_stack(ctx) && !context::stack_values(ctx)))
        has = type_of(eval::word_value(w)) != TYPE_UNSET;
    logic_result(has);
    return 0;
}

int32_t unset_star(bool check, const int32_t*) {
    check_arg(check, 0, support::typeset_of({TYPE_WORD, TYPE_BLOCK}), 0);
    Cell target = *arg(0);
    gc::CellRoot keep(&target);
    if (is_any_word(type_of(&target))) {
        context::set_word_value(&target, &UNSET);
    } else if (type_of(&target) == TYPE_BLOCK) {
        for (uint32_t i = 0;; i++) {
            const Cell* at = block::item(&target, i);
            if (!at) break;
            Cell w = *at;
            if (!is_any_word(type_of(&w))) continue;
            gc::CellRoot keep_w(&w);
            context::set_word_value(&w, &UNSET);
        }
    } else {
        support::raise_expect_arg(0, 0);
    }
    stack::set_last_keep(UNSET);
    return 0;
}

// ---- Binding and contexts -----------------------------------------------------------------------

int32_t bind_star(bool check, const int32_t* refinements) {
    if (check) {
        check_arg(true, 0, support::typeset_union(support::any_word_types(), support::typeset_of({TYPE_BLOCK})), 0);
        check_arg(true, 1,
                  support::typeset_union(support::typeset_union(support::any_word_types(), support::any_object_types()),
                                        support::typeset_of({TYPE_FUNCTION})),
                  1);
    }
    Cell target = *arg(0);
    gc::CellRoot keep_target(&target);
    Node ctx = context_of_value(arg(1));
    if (!ctx) {
        Cell c = *arg(1);
        raise_error("script", "invalid-arg", &c);
    }
    gc::NodeRoot keep_ctx(&ctx);
    if (is_any_word(type_of(&target))) {
        context::bind_word(ctx, &target);
    } else if (type_of(&target) == TYPE_BLOCK) {
        if (used(refinements, 0)) {
            target = *block::clone(&target, true, true);
            stack::pop(1);
        }
        bool self = (context::record(ctx)->header & CONTEXT_HAS_SELF) != 0;
        context::bind_deep(&target, ctx, self);
    } else {
        support::raise_expect_arg(0, 0);
    }
    stack::set_last_keep(&target);
    return 0;
}

int32_t in_star(bool check, const int32_t*) {
    if (check) {
        check_arg(true, 0, support::typeset_union(support::any_object_types(), support::any_function_types()), 0);
        check_arg(true, 1, support::typeset_union(support::any_word_types(), support::typeset_of({TYPE_REFINEMENT})), 1);
    }
    Cell owner = *arg(0), w = *arg(1);
    uint32_t ot = type_of(&owner);
    if (!is_object_kind(ot) && !is_function_kind(ot)) support::raise_expect_arg(0, 0);
    if (!is_word_kind(type_of(&w)) || type_of(&w) == TYPE_ISSUE) support::raise_expect_arg(1, 1);
    Node ctx = context_of_value(&owner);
    int32_t slot = ctx ? context::find_symbol(ctx, word::symbol_of(&w), true) : -1;
    if (slot < 0) {
        stack::set_last_keep(NONE);
        return 0;
    }
    w.data1 = reinterpret_cast<uint32_t>(ctx);
    w.data3 = uint32_t(slot);
    stack::set_last_keep(&w);
    return 0;
}

int32_t context_q_star(bool check, const int32_t*) {
    check_arg(check, 0, support::any_word_types(), 0);
    const Cell* w = arg(0);
    if (!is_word_kind(type_of(w))) support::raise_expect_arg(0, 0);
    Node ctx = word::context_of(w);
    Cell owner = ctx ? *context::self_cell(ctx) : NONE;
    stack::set_last_keep(&owner);
    return 0;
}

int32_t construct_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, support::typeset_of({TYPE_BLOCK}), 0);
    if (used(refinements, 0)) check_arg(check, refinements[0], support::typeset_of({TYPE_OBJECT}), 2);
    if (type_of(arg(0)) != TYPE_BLOCK) support::raise_expect_arg(0, 0);
    Cell spec = *arg(0);
    Cell prototype = used(refinements, 0) ? *arg(uint32_t(refinements[0])) : NONE;
    gc::CellRoot keep_spec(&spec), keep_prototype(&prototype);
    Cell made = *object::make_from_spec(&spec, used(refinements, 0) ? &prototype : nullptr, used(refinements, 1));
    stack::set_last_keep(&made);
    return 0;
}

int32_t extend_star(bool check, const int32_t* refinements) {
    if (check) {
        check_arg(true, 0, support::typeset_of({TYPE_OBJECT, TYPE_MAP}), 0);
        check_arg(true, 1, support::typeset_of({TYPE_BLOCK, TYPE_HASH, TYPE_MAP}), 1);
    }
    Cell target = *arg(0), spec = *arg(1);
    gc::CellRoot keep_target(&target), keep_spec(&spec);
    // Extending an object is reserved.
    if (type_of(&target) == TYPE_OBJECT) raise_error("internal", "not-done");
    if (type_of(&target) != TYPE_MAP) support::raise_expect_arg(0, 0);
    uint32_t st = type_of(&spec);
    if (st != TYPE_BLOCK && st != TYPE_HASH && st != TYPE_MAP) support::raise_expect_arg(1, 1);
    map::extend_pairs(&target, &spec, used(refinements, 0));
    stack::set_last_keep(&target);
    return 0;
}

// ---- apply ---------------------------------------------------------------------------------------------

int32_t apply_star(bool check, const int32_t* refinements) {
    if (check) {
        check_arg(true, 0,
                  support::typeset_union(support::any_function_types(), support::typeset_of({TYPE_WORD, TYPE_PATH})), 0);
        check_arg(true, 1, support::typeset_of({TYPE_BLOCK}), 1);
    }
    bool all = used(refinements, 0), safer = used(refinements, 1);
    Cell given = *arg(0), args = *arg(1);
    gc::CellRoot keep_given(&given), keep_args(&args);
    if (type_of(&args) != TYPE_BLOCK) support::raise_expect_arg(1, 1);

    // The function, and the word that names its frame.
    Cell fn = given;
    Cell name = NONE;
    gc::CellRoot keep_fn(&fn), keep_name(&name);
    if (type_of(&given) == TYPE_WORD) {
        fn = *eval::word_value(&given);
        name = given;
    } else if (type_of(&given) == TYPE_PATH) {
        interp::eval_path(&given, &given, 0, 0, false, true, true, 0);
        fn = *stack::top_value();
        stack::pop(1);
    }
    if (!is_function_kind(type_of(&fn))) raise_error("script", "invalid-arg", &given);
    if (type_of(&fn) == TYPE_OP) fn.header = native::op_source_type(&fn);

    // The arguments, each expression evaluated once.
    Cell reduced = block::make(int32_t(block::remaining_length(&args)));
    gc::CellRoot keep_reduced(&reduced);
    uint32_t end = block::total_length(&args);
    for (uint32_t pos = args.data1; pos < end; end = block::total_length(&args)) {
        pos = interp::eval_next(&args, pos, end, true);
        Cell v = *stack::top_value();
        stack::pop(1);
        gc::CellRoot keep_v(&v);
        block::append_copy(&reduced, &v);
    }

    // Line the values up with the call table: with /all they give every
    // argument and refinement in order (missing ones: none and false);
    // otherwise only the arguments before the first refinement.  With /safer
    // an inactive refinement's arguments take no values.
    Cell table = interp::call_table(&fn);
    gc::CellRoot keep_table(&table);
    ApplyCode code;
    uint32_t count = block::total_length(&reduced), next = 0;
    bool active = true, plain = true;
    for (uint32_t i = 0, n = block::total_length(&table); i < n; i++) {
        uint32_t kind = table_entry_kind(&table, i);
        if (kind == ARG_RETURN) {
            if (type_of(&cells_head(buffer_of(cell_node(&table)))[i]) == TYPE_TYPESET) continue;
            break;
        }
        bool refinement = kind == REFINEMENT_ENTRY;
        if (refinement) plain = false;
        bool take = all || plain;
        if (!refinement && !active && safer) {
            if (take && next < count) next++;   // its value is dropped unseen
            continue;
        }
        Cell v = refinement ? Cell{TYPE_LOGIC, 0, 0, 0} : NONE;
        if (take && next < count) v = *block::cell_at(&reduced, next++);
        if (refinement) active = !logic::is_false(&v);
        code.add(&v, refinement ? ARG_NORMAL : kind);
    }

    uint32_t mode = APPLY_MODE | (safer ? APPLY_SKIP_ARGS : 0u);
    Cell* words_name = type_of(&name) == TYPE_WORD ? &name : nullptr;
    stack::keep();
    interp::eval_code(&fn, code.code(), 0, block::total_length(code.code()), false, nullptr, 0, words_name, nullptr,
                      mode, false);
    stack::keep();
    return 0;
}

}  // namespace qor::natives
