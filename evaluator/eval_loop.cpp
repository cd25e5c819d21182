// The interpreter's loop: untraced evaluation of an interpreted block in
// one C++ frame.  A call to a function pushes its frames and goes on
// fetching its arguments here; the function's body, a paren and the branch
// that if, either, unless and case choose run here too, so that Qor recursion
// does not recurse in C++.  What the recursive functions keep in their C++
// frames lies in a record stack instead; everything the Qor stacks hold
// (frames, arguments, results, the position for errors) is pushed and
// popped at the same moments as on the recursive path, which stays the
// reference and runs whatever the loop does not take on: the steps of a
// path and the store of a set-path (run_path walks them; the loop evaluates
// the value a set-path stores, calls the function a path leads to with the
// refinements that follow it, and takes the operators after a path), traced
// code, calls with quoted arguments.  Compiled code (the
// library's) runs here too, in its own mode: frames without the
// interpreter's mark, no position kept, its functions in compiled-body
// frames.
#include "evaluator/eval_loop.hpp"

#include <cstdlib>
#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/stack.hpp"
#include "evaluator/call.hpp"
#include "evaluator/call_internal.hpp"
#include "evaluator/eval_internal.hpp"
#include "evaluator/exits.hpp"
#include "evaluator/expression_steps.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/trace.hpp"
#include "runtime/collector.hpp"
#include "runtime/throw.hpp"

namespace qor::interp {

namespace {

enum RecordKind : uint8_t {
    REC_BLOCK,      // a block's expressions, one after another
    REC_PAREN,      // an expression whose paren is running
    REC_SET_WORD,   // an expression whose set-word waits for its value
    REC_SET_PATH,   // an expression whose set-path waits for its value
    REC_CALL,       // a call fetching its arguments; its expression's operators wait
    REC_REFINEMENTS,  // a call by a path fetching the arguments of the refinements in it
    REC_BODY,       // a function's body running
    REC_CBODY,      // a function's compiled body running, in its compiled-body frame
    REC_BRANCH,     // the block chosen by if, either or unless running
    REC_CASE,       // the block chosen by case running, in case's frame
    REC_LOOP,       // while, loop, repeat or foreach running its blocks, in its loop frame
};

// One suspended step.  Paren, set-word and call records keep the state of
// the expression they belong to; call records the call's too.  References
// into the record stack do not live across anything that may push records
// (a native can run a nested loop).
struct Record {
    uint8_t kind;
    bool push;          // expressions and calls: the result is pushed, else put in the result slot
    bool no_infix;      // expressions: no operators after the value
    bool flag;          // blocks: result mode; calls: an operator call
    bool compiled;      // blocks: the mode (compiled or not) that was running before
    uint8_t loop;       // loops: which native runs (a NativeStep)
    bool in_body;       // loops: the body runs (else while's condition)
    uint32_t pos;       // where the code goes on afterwards
    uint32_t end;
    uint32_t arg;       // calls: the argument being fetched; case: its position after the block;
                        // repeat: its counter; foreach: its word count
    uint32_t shape;     // calls: the packed call shape
    Cell code;          // the code the position indexes
    Cell word;          // calls and set-words: the word; blocks: the position saved on entry
    Cell fn;            // calls: the function; case: its cases
    Cell* entry_top;    // expressions: the stack top when the expression began
    Cell* fn_slot;      // calls: the cell holding the function, or null
    Node table;         // calls: the call table
    Node context;       // bodies: the function's context
    CallFrame* frame;   // bodies: the function's frame; loops: the loop frame
    Cell* args;         // bodies: its arguments; loops: the loop frame's result slot
    Cell* loop_args;    // loops: the native's arguments
    uint32_t runs_low, runs_high;   // loop and repeat: the runs left
    uint8_t spare[20];  // to a power of two: the top record is then found with a shift
};
static_assert(sizeof(Record) == 128);

// A call made by a path while it fetches its arguments: its shape word
// carries PATH_CALL, and the state of its refinements lies on a stack of
// its own, which keeps the records small; the innermost such call's state
// is the top one.
constexpr uint32_t PATH_CALL = 0x08000000u;
constexpr uint32_t PATH_DONE = 0x04000000u;   // a function's refinements are taken: its call goes on
struct PathState {
    Cell path;
    uint32_t first;       // the function's element
    uint32_t next;        // the next element to take
    uint32_t entry;       // the argument entry of the refinement being taken
    uint32_t offset;      // functions: the slot of its logic value
    uint32_t j;           // its argument being fetched, from 0
    int32_t defaults;     // functions: the /local cells, pushed after the refinements
    bool use;             // the refinement is used
    uint8_t used[MAX_PATH_REFINEMENTS];   // where each one taken was recorded, to find one given twice
    uint8_t refs[MAX_REFINEMENTS];        // natives: the refinement slots (0xFF: unused)
};

// A stack of plain records in malloc'd memory, grown by doubling, shared
// by nested runs of the loop (each run owns the entries above its floor).
// It keeps the end of its entries rather than their count: the top one is
// then a single load away.
template <class T, uint32_t First>
struct RecordStack {
    T* items = nullptr;
    T* end = nullptr;        // after the top entry
    T* limit = nullptr;      // after the last entry there is room for

    [[gnu::noinline]] void grow() {
        uint32_t count = size(), capacity = uint32_t(limit - items);
        uint32_t grown_capacity = capacity ? capacity * 2 : First;
        auto* grown = static_cast<T*>(std::malloc(sizeof(T) * grown_capacity));
        if (!grown) raise_error("internal", "stack-overflow");
        if (count) std::memcpy(grown, items, sizeof(T) * count);
        std::free(items);
        items = grown;
        end = grown + count;
        limit = grown + grown_capacity;
    }
    T& push() {
        if (end == limit) grow();
        return *end++;
    }
    T& top() { return end[-1]; }
    void pop() { end--; }
    uint32_t size() const { return uint32_t(end - items); }
    void cut(uint32_t count) { end = items + count; }
};

RecordStack<Record, 1024> g_records;
RecordStack<PathState, 64> g_paths;

inline Record& push_record(uint8_t kind) {
    Record& r = g_records.push();
    r.kind = kind;
    return r;
}

inline Record& top_record() { return g_records.top(); }
inline PathState& top_path() { return g_paths.top(); }

// The records copy cells and nodes that the Qor stacks or the code hold
// too, but in malloc'd memory the machine-stack scan does not see: a node
// the collector moves out of a sparse node frame would leave them stale.
// Each kind's fields that it has set are marked, which rewrites them.
void mark_records() {
    for (uint32_t i = 0, n = g_records.size(); i < n; i++) {
        Record& r = g_records.items[i];
        gc::mark_cells(&r.code, &r.code + 1);
        switch (r.kind) {
        case REC_BLOCK: case REC_SET_WORD: case REC_SET_PATH:
            gc::mark_cells(&r.word, &r.word + 1);
            break;
        case REC_CALL: case REC_REFINEMENTS: case REC_BODY: case REC_CBODY: case REC_BRANCH: case REC_CASE:
        case REC_LOOP:
            gc::mark_cells(&r.word, &r.word + 1);
            gc::mark_cells(&r.fn, &r.fn + 1);
            gc::mark_node(&r.table);
            if (r.kind == REC_BODY) gc::mark_node(&r.context);
            break;
        default:
            break;
        }
    }
    for (uint32_t i = 0, n = g_paths.size(); i < n; i++) {
        Cell* path = &g_paths.items[i].path;
        gc::mark_cells(path, path + 1);
    }
}

// The frame mark of the code running: the interpreter's, or none for
// compiled code.
inline uint32_t interp_bit() { return compiled_running ? 0u : FRAME_INTERP; }
inline uint32_t body_header() { return (HEADER_EVAL & ~FRAME_INTERP) | interp_bit(); }

// A call by a path begins: the state of its refinements.
[[gnu::noinline]] void begin_path_call(const Cell& path, uint32_t first) {
    PathState& p = g_paths.push();
    p.path = path;
    p.first = first;
    p.next = first + 1;
    p.entry = UINT32_MAX;   // no refinement taken yet
    std::memset(p.refs, 0xFF, sizeof p.refs);
}

// The leading arguments of a call by a path are fetched: a function gets
// the cells of its refinements before they are taken.
[[gnu::noinline]] void begin_refinements(Record& r, CallShape shape) {
    r.kind = REC_REFINEMENTS;
    uint32_t callee_type = type_of(&r.fn);
    if (callee_type == TYPE_FUNCTION || callee_type == TYPE_ROUTINE)
        top_path().defaults = shape.has_tail ? push_unused_tail(r.table, shape.tail) : 0;
}

// The next argument of the refinements named in the call's path: finds
// each refinement as it comes, records its use and sets up the fetch of
// its next argument (true), or answers false when none is left.
[[gnu::noinline]] bool next_path_argument(Record& r, uint32_t pos) {
    PathState& p = top_path();
    uint32_t callee_type = type_of(&r.fn);
    bool user = callee_type == TYPE_FUNCTION || callee_type == TYPE_ROUTINE;
    uint32_t n = buffer_of(r.table)->byte_length() >> 4;
    for (;;) {
        // The rest of the refinement being taken.
        for (; p.entry < n; p.entry++) {
            const Cell* e = cells_head(buffer_of(r.table)) + p.entry;
            if (type_of(e) != TYPE_TYPESET) break;
            if ((e->header & ARG_KIND_MASK) == ARG_RETURN) continue;
            if (pos >= r.end || pos >= block::total_length(&r.code)) raise_no_arg(&r.word, &r.fn, p.entry);
            g_fetch_fn = r.fn;
            g_fetch_entry = p.entry;
            return true;
        }
        // The next one named in the path.
        if (p.next >= block::total_length(&p.path)) return false;
        Cell el = *block::cell_at(&p.path, p.next);
        bool use;
        if (type_of(&el) == TYPE_WORD) use = true;
        else if (type_of(&el) == TYPE_GET_WORD) use = !logic::is_false(eval::word_value(&el));
        else raise_error("script", "bad-refine", &el);
        RefinementSlot found = find_refinement(r.table, n, &el, &r.word);
        uint32_t taken = p.next - p.first - 1;
        for (uint32_t k = 0; k < taken; k++)
            if (p.used[k] == found.used_slot()) {
                Cell path = p.path;
                raise_error("script", "dup-refine", &path);
            }
        p.used[taken] = uint8_t(found.used_slot());
        if (user) stack::state.base[found.offset] = Cell{TYPE_LOGIC, use ? 1u : 0u, 0, 0};
        else if (use && found.number <= CallShape::unpack(r.shape).refinements)
            p.refs[found.number - 1] = uint8_t(stack::state.top - stack::state.base);
        p.use = use;
        p.entry = found.at + 1;
        p.offset = found.offset;
        p.j = 0;
        p.next++;
    }
}

// A refinement's argument is fetched: checked, then kept in its slot
// (functions), on the stack (natives) or dropped (a refinement not used).
[[gnu::noinline]] void path_argument_done(Record& r) {
    PathState& p = top_path();
    const Cell* a = stack::state.top - 1;
    if (!typeset_allows(cells_head(buffer_of(r.table)) + p.entry, type_of(a)))
        raise_expect_arg(&r.word, &r.fn, p.entry, a);
    uint32_t callee_type = type_of(&r.fn);
    if (callee_type == TYPE_FUNCTION || callee_type == TYPE_ROUTINE) {
        stack::state.base[p.offset + 1 + p.j] = *a;
        stack::pop(1);
    } else if (!p.use) {
        stack::pop(1);
    }
    p.j++;
    p.entry++;
}

// The path's refinements are all taken; the call goes on as any other
// without its path state.  A function or routine then goes back to the
// loop with PATH_DONE (true); a native or action is called here with its
// refinement slots, an exit it made left pending.
[[gnu::noinline]] bool finish_path_call(Record& r) {
    const PathState& p = top_path();
    r.kind = REC_CALL;
    r.shape &= ~PATH_CALL;
    uint32_t callee_type = type_of(&r.fn);
    if (callee_type == TYPE_FUNCTION || callee_type == TYPE_ROUTINE) {
        int32_t defaults = p.defaults;
        g_paths.pop();
        if (defaults > 0) function::push_refinement_defaults(defaults);
        r.shape |= PATH_DONE;
        return true;
    }
    int32_t refs[MAX_REFINEMENTS];
    for (uint32_t k = 0, n = CallShape::unpack(r.shape).refinements; k < n; k++)
        refs[k] = p.refs[k] == 0xFF ? -1 : int32_t(p.refs[k]);
    g_paths.pop();
    Cell callee = r.fn;
    call_entry(&callee, refs);
    return false;
}

// The natives whose blocks the loop runs itself: if, either, unless and
// case hand back the block they choose; while, loop, repeat and foreach
// run theirs here between their decisions, in their loop frame, as the
// native would run them.
enum NativeStep : uint8_t {
    PLAIN_NATIVE, BRANCH_IF, BRANCH_UNLESS, BRANCH_EITHER, BRANCH_CASE,
    LOOP_WHILE, LOOP_COUNT, LOOP_REPEAT, LOOP_FOREACH
};
inline NativeStep native_step(const Cell* fn) {
    if (type_of(fn) != TYPE_NATIVE) return PLAIN_NATIVE;
    uintptr_t entry = fn->data1;
    if (entry == reinterpret_cast<uintptr_t>(&natives::if_star)) return BRANCH_IF;
    if (entry == reinterpret_cast<uintptr_t>(&natives::either_star)) return BRANCH_EITHER;
    if (entry == reinterpret_cast<uintptr_t>(&natives::unless_star)) return BRANCH_UNLESS;
    if (entry == reinterpret_cast<uintptr_t>(&natives::case_star)) return BRANCH_CASE;
    if (entry == reinterpret_cast<uintptr_t>(&natives::while_star)) return LOOP_WHILE;
    if (entry == reinterpret_cast<uintptr_t>(&natives::loop_star)) return LOOP_COUNT;
    if (entry == reinterpret_cast<uintptr_t>(&natives::repeat_star)) return LOOP_REPEAT;
    if (entry == reinterpret_cast<uintptr_t>(&natives::foreach_star)) return LOOP_FOREACH;
    return PLAIN_NATIVE;
}
inline bool is_branch(NativeStep step) { return step >= BRANCH_IF && step <= BRANCH_CASE; }
inline bool is_loop(NativeStep step) { return step >= LOOP_WHILE; }

// Whether a loop stops the exit: break and continue aimed at its frame.
inline bool loop_stops(uint32_t code, const Record& r) {
    return (code == THROW_BREAK || code == THROW_CONTINUE) && stack::exit_frame() == r.frame;
}

inline uint64_t runs_left(const Record& r) { return uint64_t(r.runs_high) << 32 | r.runs_low; }
inline void set_runs_left(Record& r, uint64_t runs) {
    r.runs_low = uint32_t(runs);
    r.runs_high = uint32_t(runs >> 32);
}

// exec_body's end: the frame is no longer a running body, and the
// function's context reads its values where it did before the call.
inline void end_body(const Record& r) {
    r.frame->header &= ~FRAME_BODY;
    context::set_stack_values(r.context, r.frame->saved_values);
}

// Whether an exit stops at the record: return and exit at the function body
// they are aimed at, break and continue at their loop.
inline bool stops_at(uint32_t code, const Record& r) {
    if (r.kind == REC_LOOP) return loop_stops(code, r);
    return (r.kind == REC_BODY || r.kind == REC_CBODY) && (code == THROW_RETURN || code == THROW_EXIT) &&
           stack::exit_frame() == r.frame;
}

// run_block's mode switch, on entering a block and on leaving it.
inline void set_mode(bool compiled) {
    if (compiled != compiled_running) {
        compiled_running = compiled;
        refresh_tracing_active();
    }
}

// Runs the block (or, when `unwinding`, goes on unwinding a pending exit)
// until it is done.  The outermost block keeps its state here and its end in
// `outer_end`, which outlives a throw caught around this, rather than in a
// record (run_block has saved the position for it): the records of this
// run lie above `floor`, and an expression done with none above it is one of
// the outermost block's.
[[gnu::always_inline]] inline void run_steps(const Cell* block, const bool outer_result, uint32_t floor,
                                             uint32_t& outer_end, bool unwinding) {
    Cell* position = &g_position;
    const Cell outer = *block;
    bool block_result = false;
    Cell next_block;
    Cell code;
    uint32_t pos = 0, end = 0;
    bool push = false, no_infix = false, infix_call = false;
    Cell* entry_top = nullptr;
    const Cell* v;
    const Cell* val;
    Cell fn, w;
    uint32_t call_shape;
    bool literal_word = false;   // calls: the first argument is a word taken as written
    // An expression's own state, kept in its record while a call, paren or
    // set-word inside it runs.
    auto save_expression = [&](Record& e) __attribute__((always_inline)) {
        e.code = code;
        e.end = end;
        e.push = push;
        e.no_infix = no_infix;
        e.entry_top = entry_top;
    };
    // A set-word or set-path waits for the value of the expression that
    // follows it, which is pushed.
    auto await_value = [&](uint8_t kind, const Cell& target) __attribute__((always_inline)) {
        Record& r = push_record(kind);
        save_expression(r);
        r.word = target;
        push = true;
        no_infix = false;
    };
    auto restore_expression = [&](const Record& e) __attribute__((always_inline)) {
        code = e.code;
        end = e.end;
        push = e.push;
        no_infix = e.no_infix;
        entry_top = e.entry_top;
    };

    if (unwinding) [[unlikely]] goto unwind;
    stack::mark(eval::body_word(), body_header());
    pos = outer.data1;
    outer_end = block::total_length(&outer);
    if (pos >= outer_end) {
        stack::state.top = stack::state.base + 1;
        *stack::state.base = Cell{TYPE_UNSET, 0, 0, 0};
        goto outer_done;
    }

outer_statement:
    code = outer;
    end = outer_end;
    if (!compiled_running) {
        *position = code;
        position->data1 = pos;
    }
    push = false;
    no_infix = false;
    goto expression;

enter_block:
    // run_block: its mode, a body frame, then the expressions one by one.
    {
        bool before = compiled_running;
        set_mode(eval::compiled_block(&next_block));
        stack::mark(eval::body_word(), body_header());
        Record& r = push_record(REC_BLOCK);
        r.compiled = before;
        r.flag = block_result;
        r.code = next_block;
        r.pos = next_block.data1;
        r.end = block::total_length(&next_block);
        r.word = *position;
        if (r.pos >= r.end) {
            stack::state.top = stack::state.base + 1;
            *stack::state.base = Cell{TYPE_UNSET, 0, 0, 0};
            goto block_done;
        }
    }

next_statement:
    {
        const Record& r = top_record();
        code = r.code;
        pos = r.pos;
        end = r.end;
    }
    if (!compiled_running) {
        *position = code;
        position->data1 = pos;
    }
    push = false;
    no_infix = false;

expression:
    // run_expression: one value, then its operators.
    entry_top = stack::state.top;
    v = eval::code_cell(&code, pos);
    switch (type_of(v)) {
    case TYPE_PAREN: {
        if (!loop_runs(v)) goto recursive_expression;
        next_block = *v;
        pos++;
        stack::mark(eval::body_word(), HEADER_NATIVE | interp_bit());
        Record& r = push_record(REC_PAREN);
        save_expression(r);
        r.pos = pos;
        block_result = true;
        goto enter_block;
    }
    case TYPE_SET_WORD: {
        w = *v;
        pos++;
        stack::mark(&w, HEADER_NATIVE | interp_bit());
        *stack::push_slot() = w;
        // Code run since the expression began may have shortened the block.
        if (pos >= end || pos >= block::total_length(&code)) raise_error("script", "need-value", &w);
        await_value(REC_SET_WORD, w);
        goto expression;
    }
    case TYPE_GET_WORD:
        w = *v;
        pos++;
        produce(eval::word_value(&w), push);
        goto operators;
    case TYPE_LIT_WORD:
        w = *v;
        pos++;
        w.header = (w.header & ~TYPE_MASK) | TYPE_WORD;
        produce(&w, push);
        goto operators;
    case TYPE_WORD:
        w = *v;
        pos++;
        val = eval::word_value(&w);
        switch (type_of(val)) {
        case TYPE_UNSET:
            stack::set_next_where(&w);
            raise_error("script", "no-value", &w);
        case TYPE_NATIVE: case TYPE_ACTION: case TYPE_FUNCTION: case TYPE_ROUTINE:
            fn = *val;
            infix_call = false;
            goto call;
        case TYPE_OP:
            raise_error("script", "no-op-arg", &w);
        default:
            produce(val, push);
            goto operators;
        }
    case TYPE_LIT_PATH: {
        Cell path = lit_path_value(v);
        pos++;
        produce(&path, push);
        goto operators;
    }
    case TYPE_NATIVE: case TYPE_ACTION: case TYPE_FUNCTION: case TYPE_ROUTINE:
        fn = *v;
        pos++;
        if (const Cell* anon = eval::anon_word()) w = *anon;
        else w = Cell{TYPE_NONE, 0, 0, 0};
        infix_call = false;
        goto call;
    case TYPE_ISSUE: {
        Cell issue = *v;
        pos++;
        if (pos < end && type_of(eval::code_cell(&code, pos)) == TYPE_BLOCK && is_system_issue(&issue))
            raise_error("internal", "qor-system");
        produce(&issue, push);
        goto operators;
    }
    case TYPE_OP:
        raise_error("internal", "not-done");
    case TYPE_PATH: case TYPE_GET_PATH: {
        // A plain read of an object's field or a block's value is done
        // here; any other path is walked by run_path (or its function
        // called here); the operators after it come here.
        if (const Cell* read = simple_path_value(v)) {
            pos++;
            produce(read, push);
            goto operators;
        }
        Cell path = *v;
        PathCall handed;
        pos = run_path(&path, &code, pos + 1, end, false, type_of(v) == TYPE_GET_PATH, push, 0, nullptr, &handed);
        if (pending_exit) goto unwind;
        if (!handed.taken) goto operators;
        // run_path handed back the function it reached: called here, with
        // the refinements that follow it in the path.
        fn = handed.fn;
        if (is_word_kind(type_of(&handed.name))) w = handed.name;
        else if (const Cell* anon = eval::anon_word()) w = *anon;
        else w = Cell{TYPE_NONE, 0, 0, 0};
        infix_call = false;
        call_shape = handed.shape;
        begin_path_call(path, handed.path_pos);
        call_shape |= PATH_CALL;
        literal_word = false;
        goto start_call;
    }
    case TYPE_SET_PATH: {
        Cell path = *v;
        pos++;
        if (pos >= end || pos >= block::total_length(&code)) raise_error("script", "need-value", &path);
        stack::mark(eval::set_path_word(), HEADER_NATIVE | interp_bit());
        await_value(REC_SET_PATH, path);
        goto expression;
    }
    default: {
        Cell value = *v;
        pos++;
        produce(&value, push);
        goto operators;
    }
    }

recursive_expression:
    pos = run_expression(&code, pos, end, no_infix, push, false);
    if (pending_exit) goto unwind;
    goto resume;

operators:
    // eval_infix: operators while the next value is a word holding an op!.
    if (no_infix) goto resume;
    for (;;) {
        if (pos >= end || pos >= block::total_length(&code)) goto resume;
        const Cell* next = eval::code_cell(&code, pos);
        if (type_of(next) != TYPE_WORD) goto resume;
        val = eval::word_value_fast(next);
        if (!val || type_of(val) != TYPE_OP) goto resume;
        Cell* operand = push ? entry_top : stack::state.base;
        if (const Cell* right = plain_number_operand(&code, pos + 1, end)) {
            if (inline_number_op(*val, operand, right)) {
                stack::state.top = operand + 1;
                pos += 2;
                continue;
            }
        }
        w = *next;
        fn = *val;
        // The operand just produced becomes the operator's first argument.
        stack::state.top = operand;
        uint32_t from = (fn.header >> 16) & 0xFFu;
        fn.header = (fn.header & ~(TYPE_MASK | 0x00FF0000u)) | from;
        pos++;
        infix_call = true;
        goto call;
    }

call:
    // run_code and fetch_shaped: the frame, then the arguments one by one,
    // each an expression of its own.
    call_shape = loop_shape(&fn, infix_call);
    literal_word = false;
    if (call_shape == 0 && !cached_table_cell(&fn) && table_cacheable(&fn)) {
        // A first call: its table is made here, as run_code would make it,
        // so that the call can be taken here.
        call_table(&fn);
        call_shape = loop_shape(&fn, infix_call);
    }
    if (call_shape == 0) {
        // repeat and foreach take their words as written: when that is a
        // plain word (or foreach's block of them), the loop fetches it and
        // the rest, and runs the native itself.
        NativeStep step = infix_call ? PLAIN_NATIVE : native_step(&fn);
        uint32_t first = step == LOOP_REPEAT || step == LOOP_FOREACH
                             ? (pos < end && pos < block::total_length(&code) ? type_of(eval::code_cell(&code, pos)) : 0)
                             : 0;
        if (first == TYPE_WORD || (first == TYPE_BLOCK && step == LOOP_FOREACH)) {
            const Cell* cache = cached_table_cell(&fn);
            if (cache && (cache->data3 & CallShape::READY)) {
                call_shape = cache->data3;
                literal_word = true;
                goto start_call;
            }
        }
        pos = run_code(&fn, &code, pos, end, push, nullptr, 0, &w, nullptr, 0, infix_call);
        if (pending_exit) goto unwind;
        goto operators;
    }

start_call: {
    Cell* fn_slot = infix_call ? nullptr : stack::push(&fn);
    stack::mark(&w, (type_of(&fn) == TYPE_FUNCTION ? HEADER_FUNCTION : HEADER_NATIVE) | interp_bit());
    Node table = cell_node(cached_table_cell(&fn));
    Record& r = push_record(REC_CALL);
    save_expression(r);
    r.flag = infix_call;
    r.word = w;
    r.fn = fn;
    r.fn_slot = fn_slot;
    r.table = table;
    r.shape = call_shape;
    r.arg = 0;

    if (infix_call) {
        // The left operand lies at the frame's base already.
        stack::state.top++;
        const Cell* a = stack::state.top - 1;
        if (!argument_allows(call_shape, cells_head(buffer_of(table)), a)) raise_expect_arg(&w, &fn, 0, a);
        r.arg = 1;
    } else if (literal_word) {
        *stack::push_slot() = *eval::code_cell(&code, pos);
        pos++;
        r.arg = 1;
    }
}

next_argument: {
    const Record& r = top_record();
    if (r.arg >= (r.shape & 0xFFu)) goto arguments_done;
    if (pos >= r.end || pos >= block::total_length(&r.code)) raise_no_arg(&r.word, &r.fn, r.arg);
    g_fetch_fn = r.fn;
    g_fetch_entry = r.arg;
    code = r.code;
    end = r.end;
    push = true;
    no_infix = r.flag;
    goto expression;
}

argument_done: {
    Record& r = top_record();
    const Cell* a = stack::state.top - 1;
    if (!argument_allows(r.shape, cells_head(buffer_of(r.table)) + r.arg, a))
        raise_expect_arg(&r.word, &r.fn, r.arg, a);
    r.arg++;
    goto next_argument;
}

arguments_done: {
    Record& r = top_record();
    CallShape shape = CallShape::unpack(r.shape);
    uint32_t callee_type = type_of(&r.fn);
    if (r.shape & (PATH_CALL | PATH_DONE)) [[unlikely]] {
        if (r.shape & PATH_CALL) {
            begin_refinements(r, shape);
            goto refinements;
        }
        r.shape &= ~PATH_DONE;   // a function's slots are all pushed
    } else if (callee_type == TYPE_FUNCTION || callee_type == TYPE_ROUTINE) {
        int32_t defaults = shape.has_tail ? push_unused_tail(r.table, shape.tail) : 0;
        if (defaults > 0) function::push_refinement_defaults(defaults);
    }
    if (callee_type == TYPE_ROUTINE) [[unlikely]] {
        Cell routine = r.fn;
        call_routine(&routine);
        if (pending_exit) goto unwind;
        goto call_done;
    }
    if (callee_type == TYPE_FUNCTION) {
        next_block = *function::body_of(&r.fn);
        Node fctx = function::context_of(&r.fn);
        if (eval::compiled_block(&next_block)) {
            // run_function: a compiled body runs in a compiled-body frame
            // whose values are the arguments.
            stack::mark_compiled_func(&r.word, fctx);
            r.kind = REC_CBODY;
        } else {
            // exec_body: the arguments become the function's locals while
            // its body runs.
            stack::attach_function_context(fctx, stack::state.base);
            stack::top_frame()->header |= FRAME_BODY;
            r.kind = REC_BODY;
            r.context = fctx;
        }
        r.frame = stack::top_frame();
        r.args = stack::state.base;
        r.pos = pos;
        block_result = true;
        goto enter_block;
    }
    NativeStep step = native_step(&r.fn);
    if (step == BRANCH_CASE) [[unlikely]] {
        // case evaluates its conditions, then hands back the block it chose
        // to run in its own frame here.
        Cell cases = stack::state.base[0];
        Cell chosen;
        uint32_t after;
        if (!natives::case_choose(&cases, &chosen, &after)) goto call_done;
        if (!loop_runs(&chosen)) {
            if (uint32_t exit = eval_block_exit(&chosen, false)) {
                pending_exit = exit;
                goto unwind;
            }
            natives::case_chosen_done(&cases, after);
            goto call_done;
        }
        Record& c = top_record();
        c.kind = REC_CASE;
        c.fn = cases;
        c.arg = after;
        c.pos = pos;
        next_block = chosen;
        block_result = false;
        goto enter_block;
    }
    if (is_branch(step)) {
        // if, either and unless hand their block back to run here.
        const Cell* a = stack::state.base;
        bool take;
        if (step == BRANCH_EITHER) {
            if (type_of(a) == TYPE_UNSET) raise_error("script", "no-return");
            take = !logic::is_false(a);
        } else {
            take = logic::is_false(a) == (step == BRANCH_UNLESS);
        }
        if (!take && step != BRANCH_EITHER) {
            stack::set_last_keep(Cell{TYPE_NONE, 0, 0, 0});
            goto call_done;
        }
        next_block = a[step == BRANCH_EITHER && !take ? 2 : 1];
        if (loop_runs(&next_block)) {
            r.kind = REC_BRANCH;
            r.pos = pos;
            block_result = true;
            goto enter_block;
        }
    }
    if (is_loop(step)) {
        // while, loop, repeat and foreach: their loop frame, then their
        // blocks run here.
        Cell* args = stack::state.base;
        int64_t runs = 0;
        if (step == LOOP_FOREACH) {
            r.arg = natives::foreach_words(args);
        } else if (step != LOOP_WHILE) {
            runs = natives::loop_count(args + (step == LOOP_REPEAT ? 1 : 0));
            // repeat's counter is an integer!: it stops at the largest one.
            if (step == LOOP_REPEAT && runs > INT32_MAX) runs = INT32_MAX;
            if (runs <= 0) {
                stack::set_last_keep(Cell{TYPE_NONE, 0, 0, 0});
                goto call_done;
            }
        }
        stack::mark_loop(nullptr);
        r.kind = REC_LOOP;
        r.loop = step;
        r.in_body = false;
        if (step != LOOP_FOREACH) r.arg = 0;
        r.loop_args = args;
        r.frame = stack::top_frame();
        r.args = stack::arguments_base();
        *stack::push_slot() = Cell{TYPE_UNSET, 0, 0, 0};
        set_runs_left(r, uint64_t(runs));
        r.pos = pos;
        goto loop_step;
    }
    Cell callee = r.fn;
    // Built-in arithmetic and comparisons on two numbers: the action's or
    // native's result without its dispatch.
    if (shape.args == 2 &&
        inline_number_entry(type_of(&callee), callee.data1, stack::state.base, stack::state.base + 1)) {
        stack::state.top = stack::state.base + 1;
        goto call_done;
    }
    int32_t refs[MAX_REFINEMENTS];
    for (uint32_t k = 0; k < shape.refinements; k++) refs[k] = -1;
    if (type_of(&callee) == TYPE_NATIVE) {
        if (int32_t exit = reinterpret_cast<NativeFn>(callee.data1)(false, refs)) {
            pending_exit = uint32_t(exit);
            goto unwind;
        }
    } else {
        reinterpret_cast<ActionFn>(callee.data1)(refs);
    }
    goto call_done;
}

refinements:
    // path_refinements, a step at a time: each refinement named after the
    // function in the path, then each of its arguments.
    if (next_path_argument(top_record(), pos)) {
        const Record& r = top_record();
        code = r.code;
        end = r.end;
        push = true;
        no_infix = false;
        goto expression;
    }
    if (finish_path_call(top_record())) goto arguments_done;
    if (pending_exit) goto unwind;
    goto call_done;

call_done: {
    // run_code's end: the frame goes, its result pushed or put in the slot.
    // The expression the call belongs to goes on with its operators.
    const Record& r = top_record();
    Cell* fn_slot = r.fn_slot;
    restore_expression(r);
    g_records.pop();
    if (push) stack::unwind_keep();
    else stack::unwind_last();
    if (fn_slot && push) {
        stack::copy_cell(fn_slot, stack::state.top - 1);
        stack::state.top = fn_slot + 1;
    }
    goto operators;
}

block_done: {
    const Record& r = top_record();
    bool result_mode = r.flag;
    *position = r.word;
    set_mode(r.compiled);
    g_records.pop();
    pop_result_frame(!result_mode);
    switch (top_record().kind) {
    case REC_PAREN: {
        restore_expression(top_record());
        pos = top_record().pos;
        g_records.pop();
        pop_result_frame(push);
        goto operators;
    }
    case REC_BODY: {
        end_body(top_record());
        pos = top_record().pos;
        goto call_done;
    }
    case REC_CBODY:
        stack::unwind_func_last();
        pos = top_record().pos;
        goto call_done;
    case REC_BRANCH:
        pos = top_record().pos;
        goto call_done;
    case REC_CASE: {
        Cell cases = top_record().fn;
        pos = top_record().pos;
        natives::case_chosen_done(&cases, top_record().arg);
        goto call_done;
    }
    case REC_LOOP:
        goto loop_block_done;
    default:
        std::abort();   // only these run blocks
    }
}

loop_block_done: {
    // A loop's block ran: while's condition decides whether the body runs.
    Record& r = top_record();
    if (r.loop == LOOP_WHILE && !r.in_body) {
        if (!natives::strict_true(r.args)) goto loop_end;
        r.in_body = true;
    } else {
        r.in_body = false;
    }
}

loop_step: {
    // The loop's next block runs in its frame, its value in the result slot.
    Record& r = top_record();
    stack::state.top = r.args;
    if (r.loop == LOOP_WHILE) {
        next_block = r.loop_args[r.in_body ? 1 : 0];
    } else if (r.loop == LOOP_FOREACH) {
        // Setting the words may run code (a field's change handler, a
        // series type's pick).
        if (!natives::foreach_next(r.loop_args, r.arg)) goto loop_end;
        next_block = top_record().loop_args[2];
    } else {
        uint64_t runs = runs_left(r);
        if (runs == 0) goto loop_end;
        set_runs_left(r, runs - 1);
        if (r.loop == LOOP_REPEAT) {
            // The counter lives in the value's own stack cell; its word is
            // set as a set-word would (a field's change handler may run).
            Cell* counter = r.loop_args + 1;
            *counter = integer::make(int32_t(++r.arg));
            Cell w = r.loop_args[0];
            assign_word(&w, counter);
        }
        const Record& now = top_record();
        next_block = now.loop_args[now.loop == LOOP_REPEAT ? 2 : 1];
    }
    if (!loop_runs(&next_block)) {
        // An interpreted block while tracing is on (compiled code runs here
        // even then): it is traced on the recursive path.
        if (uint32_t exit = eval_block_exit(&next_block, true)) {
            pending_exit = exit;
            goto unwind;
        }
        goto loop_block_done;
    }
    block_result = true;
    goto enter_block;
}

loop_end: {
    // The loop's frame goes; while gives unset, the others their body's
    // last value (or what break left).
    const Record& r = top_record();
    Cell result = r.loop == LOOP_WHILE ? Cell{TYPE_UNSET, 0, 0, 0} : *r.args;
    stack::restore_to_frame(r.frame, r.args, r.args + 1);
    stack::unwind();
    stack::set_last_keep(&result);
    pos = r.pos;
    goto call_done;
}

resume:
    // An expression is done: `pos` goes back to whatever waits for it.
    if (g_records.size() == floor) {
        uint32_t now = block::total_length(&outer);
        if (now < outer_end) outer_end = now;
        if (pos >= outer_end) goto outer_done;
        stack::state.top = stack::state.base;
        goto outer_statement;
    }
    // (Tests in the order of how often each comes, rather than a switch:
    // an indirect jump costs more than these under an emulator.)
    if (top_record().kind == REC_CALL) goto argument_done;
    if (top_record().kind == REC_BLOCK) {
        Record& r = top_record();
        uint32_t now = block::total_length(&r.code);
        if (now < r.end) r.end = now;
        r.pos = pos;
        if (pos >= r.end) goto block_done;
        stack::state.top = stack::state.base;
        goto next_statement;
    }
    if (top_record().kind == REC_SET_WORD) {
        restore_expression(top_record());
        w = top_record().word;
        g_records.pop();
        Cell value = stack::state.base[1];
        if (type_of(&value) == TYPE_UNSET) raise_error("script", "need-value", &w);
        assign_word(&w, &value);
        stack::state.top = stack::state.base + 1;
        *stack::state.base = value;
        pop_result_frame(push);
        goto operators;
    }
    if (top_record().kind == REC_SET_PATH) {
        restore_expression(top_record());
        Cell path = top_record().word;
        g_records.pop();
        if (set_object_path(&path, stack::state.base)) {
            stack::state.top = stack::state.base + 1;
        } else {
            run_path(&path, &code, pos, end, true, false, false, 0, nullptr);
            if (pending_exit) goto unwind;
        }
        pop_result_frame(push);
        goto operators;
    }
    if (top_record().kind == REC_REFINEMENTS) {
        path_argument_done(top_record());
        goto refinements;
    }
    std::abort();   // nothing else waits for an expression

outer_done:
    pop_result_frame(!outer_result);
    return;

unwind:
    // A non-local exit: the stacks are cut already.  Records go until a
    // function body that the exit is aimed at, which stops it.
    while (g_records.size() > floor) {
        Record& r = top_record();
        if (r.kind == REC_BLOCK) {
            *position = r.word;
            set_mode(r.compiled);
        }
        if (r.kind == REC_LOOP && loop_stops(pending_exit, r)) {
            uint32_t code = pending_exit;
            pending_exit = 0;
            stack::restore_to_frame(r.frame, r.args, r.args + 1);
            if (r.loop == LOOP_WHILE && !r.in_body) raise_error("throw", "while-cond");
            if (code == THROW_BREAK) goto loop_end;
            r.in_body = false;
            goto loop_step;
        }
        if (stops_at(pending_exit, r)) {
            pending_exit = 0;
            stack::restore_to_frame(r.frame, r.args, r.args + 1);
            if (r.kind == REC_CBODY) stack::unwind_func_last();
            else end_body(r);
            pos = r.pos;
            goto call_done;
        }
        if ((r.kind == REC_CALL || r.kind == REC_REFINEMENTS) && (r.shape & PATH_CALL)) g_paths.pop();
        g_records.pop();
    }
}

}  // namespace

void register_loop_roots() {
    gc::remove_root(mark_records);
    gc::push_root(mark_records);
}

void run_block_loop(const Cell* block, bool result_mode) {
    const uint32_t floor = g_records.size();
    struct Restore {
        uint32_t floor, path_floor;
        ~Restore() {
            g_records.cut(floor);
            g_paths.cut(path_floor);
        }
    } restore{floor, g_paths.size()};
    bool unwinding = false;
    uint32_t outer_end = 0;   // kept across a throw caught here
    for (;;) {
        try {
            run_steps(block, result_mode, floor, outer_end, unwinding);
            return;
        } catch (const Thrown& t) {
            // A throw aimed at a body running here is stopped as a pending
            // exit would be; any other goes on as it came.
            bool ours = false;
            for (uint32_t i = g_records.size(); i-- > floor;)
                if (stops_at(t.code, g_records.items[i])) {
                    ours = true;
                    break;
                }
            if (!ours) throw;
            pending_exit = t.code;
            unwinding = true;
        }
    }
}

}  // namespace qor::interp
