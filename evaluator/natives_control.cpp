// Control-flow natives: conditionals, loops, switch and case, do, and the
// natives that start and stop non-local exits (try, catch, throw, break,
// continue, return, exit).
//
// Exits reach a stopper in one of two ways (evaluator/stack.hpp): made ready
// by a native and answered up through the interpreter as a pending code
// (interp::eval_block_exit answers it), or thrown as a C++ `Thrown`.  Either
// way the stacks are already cut back to the exit's target frame
// (stack::exit_frame) when the code arrives, so a native that is not the
// target must not touch the stacks again: it only passes the code on.
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <new>
#include <cstdint>

#include "datatypes/image_backend.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/call.hpp"
#include "evaluator/eval_internal.hpp"
#include "evaluator/exits.hpp"
#include "evaluator/expression_steps.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/lexer.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/natives_support.hpp"
#include "datatypes/stack.hpp"
#include "evaluator/trace.hpp"
#include "runtime/collector.hpp"
#include "runtime/throw.hpp"

namespace qor::natives {

using support::args;
using support::expect;
using support::pass_on;
using support::T;

bool strict_true(const Cell* value) {
    if (type_of(value) == TYPE_UNSET) raise_error("script", "no-return");
    return !logic::is_false(value);
}

int64_t loop_count(const Cell* value) {
    if (type_of(value) == TYPE_INTEGER) return int32_t(value->data2);
    double d = std::trunc(cell_float(value));
    if (std::isnan(d)) return 0;
    if (d >= 9.2e18) return INT64_MAX;
    if (d <= -9.2e18) return INT64_MIN;
    return int64_t(d);
}

namespace {

constexpr Cell NONE{TYPE_NONE, 0, 0, 0};
constexpr Cell UNSET{TYPE_UNSET, 0, 0, 0};

// The test of either, case, while's condition and until's body: unset is
// refused.

// ---- Loop frames --------------------------------------------------------------------------------

constexpr uint32_t PASSED = 1;   // run() answer: an exit aimed below the loop is on its way

// A loop frame pushed above the native's arguments.  Its base cell is the
// result slot of every body evaluation, where break/return also leaves its
// value; it starts unset.
class LoopFrame {
public:
    LoopFrame() {
        stack::mark_loop(nullptr);
        frame_ = stack::top_frame();
        inside_ = stack::arguments_base();
        *stack::push_slot() = UNSET;
    }
    LoopFrame(const LoopFrame&) = delete;
    LoopFrame& operator=(const LoopFrame&) = delete;

    // Evaluates the block in the loop frame: 0 when it ended normally,
    // THROW_BREAK or THROW_CONTINUE when one aimed at this loop stopped
    // here, PASSED when another exit passes through (its code in `passed`;
    // the stacks are gone below this loop then).
    uint32_t run(const Cell* block) {
        Cell code_block = *block;
        stack::state.top = inside_;
        uint32_t code;
        try {
            code = interp::eval_block_exit(&code_block, true);
        } catch (const Thrown& t) {
            if (!ours(t.code)) throw;
            code = t.code;
        }
        if (code == 0) return 0;
        if (!ours(code)) {
            passed = code;
            return PASSED;
        }
        stack::restore_to_frame(frame_, inside_, inside_ + 1);
        return code;
    }

    Cell* slot() const { return inside_; }

    // Pops the frame; the native's result becomes `result`.
    void finish(const Cell& result) {
        Cell r = result;
        stack::restore_to_frame(frame_, inside_, inside_ + 1);
        stack::unwind();
        stack::set_last_keep(&r);
    }
    void finish() { finish(*inside_); }

    uint32_t passed = 0;

private:
    bool ours(uint32_t code) const {
        return (code == THROW_BREAK || code == THROW_CONTINUE) && stack::exit_frame() == frame_;
    }
    CallFrame* frame_;
    Cell* inside_;
};


// ---- Series walks of foreach, forall and remove-each --------------------------------------------

// Items from the series' index to its tail.
uint32_t items_left(const Cell* series) {
    if (is_any_block(type_of(series))) return block::remaining_length(series);
    if (type_of(series) == TYPE_IMAGE) {
        // length? of an image counts the whole image, whatever the index.
        uint32_t total = image_backend::width_of(series) * image_backend::height_of(series);
        return series->data1 < total ? total - series->data1 : 0;
    }
    Cell copy = *series;
    int32_t n = dispatch::length_q(&copy);
    return n > 0 ? uint32_t(n) : 0;
}

// Item k (0-based) from the series' index, or none past the tail.
Cell item_at(const Cell* series, uint32_t k) {
    if (is_any_block(type_of(series))) {
        const Cell* c = block::item(series, k);
        return c ? *c : NONE;
    }
    Cell copy = *series;
    copy.data1 += k;
    if (items_left(&copy) == 0) return NONE;
    return *dispatch::pick(&copy, 1);
}

void set_word(const Cell* word, const Cell* value) {
    // A loop word of a function or of the global context is stored straight
    // into its slot; object fields go through the context (assigned marks,
    // change notification), as a set-word does.
    Cell w = *word, v = *value;
    interp::assign_word(&w, &v);
}

// The number of loop words: 1 for a word!, else the words of the block,
// each of which must be a word kind.
uint32_t word_count(const Cell* words) {
    if (type_of(words) != TYPE_BLOCK) return 1;
    uint32_t n = block::remaining_length(words);
    if (n == 0) raise_error("script", "invalid-arg", words);
    for (uint32_t k = 0; k < n; k++) {
        Cell w = *block::item(words, k);
        if (!is_any_word(type_of(&w))) raise_error("script", "invalid-arg", &w);
    }
    return n;
}

Cell loop_word(const Cell* words, uint32_t k) {
    return type_of(words) == TYPE_BLOCK ? *block::item(words, k) : *words;
}

// Sets the n words from the series' position: item by item, none past the
// tail.  A block's items are its cells themselves.
void set_words_from(const Cell* words, uint32_t n, const Cell* series) {
    for (uint32_t k = 0; k < n; k++) {
        Cell w = loop_word(words, k);
        Cell v = item_at(series, k);
        set_word(&w, &v);
    }
}

// One step over a map!: the two words take the key and the value of the
// next live pair from the map's index (holes, whose value header is 0, are
// skipped); a set-word! key is given as a word!.  The index moves past the
// pair.  False when no pair was left.
bool map_step(const Cell* words, Cell* map) {
    Node node = cell_node(map);
    for (;;) {
        uint32_t total = buffer_of(node)->byte_length() >> 4;
        uint32_t at = map->data1;
        if (at + 1 >= total) {
            Cell none = NONE;
            for (uint32_t k = 0; k < 2; k++) {
                Cell w = loop_word(words, k);
                set_word(&w, &none);
            }
            return false;
        }
        map->data1 = at + 2;
        Cell* pair = cells_head(buffer_of(node)) + at;
        if (pair[1].header == 0) continue;
        Cell key = pair[0], value = pair[1];
        gc::CellRoot keep(&key), keep_v(&value);
        if (type_of(&key) == TYPE_SET_WORD) key.header = (key.header & ~TYPE_MASK) | TYPE_WORD;
        Cell w0 = loop_word(words, 0), w1 = loop_word(words, 1);
        gc::CellRoot keep_w(&w0), keep_w1(&w1);
        set_word(&w0, &key);
        set_word(&w1, &value);
        return true;
    }
}

bool forall_series(uint32_t t) {
    return is_any_path(t) || t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH || is_any_string(t) ||
           t == TYPE_BINARY || t == TYPE_VECTOR || t == TYPE_IMAGE;
}

constexpr uint64_t SERIES_TYPES = T(TYPE_BLOCK) | T(TYPE_PAREN) | T(TYPE_STRING) | T(TYPE_FILE) | T(TYPE_URL) |
                                  T(TYPE_PATH) | T(TYPE_LIT_PATH) | T(TYPE_SET_PATH) | T(TYPE_GET_PATH) |
                                  T(TYPE_VECTOR) | T(TYPE_HASH) | T(TYPE_BINARY) | T(TYPE_TAG) |
                                  T(TYPE_EMAIL) | T(TYPE_REF) | T(TYPE_IMAGE);
constexpr uint64_t COUNT_TYPES = T(TYPE_INTEGER) | T(TYPE_FLOAT);
constexpr uint64_t BLOCK = T(TYPE_BLOCK);

// ---- do ----------------------------------------------------------------------------------------------

// The global function value of a library word, or null.
const Cell* library_function(const char* name) {
    Cell* v = context::global_value_pointer(symbol::intern(name));
    return v && type_of(v) == TYPE_FUNCTION ? v : nullptr;
}

// A value evaluated as a one-value expression into the result slot.
void eval_single(const Cell* value) {
    Cell code = block::make(1);
    gc::CellRoot keep(&code);
    block::append_copy(&code, value);
    interp::eval_expression(&code, 0, 1, false, false, false);
}

// do/trace: the callback is the trace hook for the length of the
// evaluation, and the frame below do's own is marked as a running body so
// that return and exit in the traced code end there.  Undone on every exit.
class TraceScope {
public:
    explicit TraceScope(const Cell* callback) {
        installed_ = interp::trace_install(callback);
        if (installed_) parent_ = stack::claim_parent_body();
    }
    ~TraceScope() {
        if (!installed_) return;
        stack::clear_body_flag(parent_);
        if (!ended_) {
            interp::set_user_tracing(false);
            interp::set_tracing(false);
            *interp::callback_cell() = NONE;
        }
    }
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

    // The normal end: the end event, then the hook goes.
    void end() {
        if (!installed_ || ended_) return;
        ended_ = true;
        interp::trace_remove();
        *interp::callback_cell() = NONE;
    }
    // The end of a run that a non-local exit cuts short: the callback sees
    // `end` too, and the exit then goes on as it was.  A further exit out of
    // the callback is dropped in favour of the pending one.
    void end_unwinding() {
        if (!installed_ || ended_) return;
        ended_ = true;
        CallFrame* target = stack::exit_frame();
        interp::set_tracing(true);
        try {
            interp::trace_remove();
        } catch (const Thrown&) {
            interp::set_user_tracing(false);
            interp::set_tracing(false);
        }
        stack::set_exit_frame(target);
        *interp::callback_cell() = NONE;
    }
    CallFrame* parent() const { return parent_; }

private:
    bool installed_ = false;
    bool ended_ = false;
    CallFrame* parent_ = nullptr;
};

// Evaluates a block (the value of do) into the result slot; answers the
// code of an exit passed on.  With a traced parent frame, a return or exit
// aimed at it is stopped and its value becomes do's result.
uint32_t do_block(Cell* block, CallFrame* traced_parent) {
    CallFrame* own = stack::top_frame();
    Cell* own_base = stack::arguments_base();
    // The cell a return aimed at the traced parent writes into.
    Cell* landing = traced_parent ? stack::base_inside(traced_parent) : nullptr;
    Cell landing_before = landing ? *landing : NONE;
    gc::CellRoot keep(&landing_before);
    uint32_t code;
    try {
        code = interp::eval_block_exit(block, true);
    } catch (const Thrown& t) {
        bool returned = (t.code == THROW_RETURN || t.code == THROW_EXIT) && traced_parent &&
                        stack::exit_frame() == traced_parent;
        if (!returned) throw;
        code = t.code;
    }
    if (code == 0) return 0;
    if (!((code == THROW_RETURN || code == THROW_EXIT) && traced_parent && stack::exit_frame() == traced_parent))
        return code;
    // Stopped here: do's own frame comes back with the value as its result.
    Cell value = *landing;
    *landing = landing_before;
    stack::state.frames_top = own + 1;
    stack::state.base = own_base;
    stack::set_last_keep(&value);
    return 0;
}

}  // namespace

// ---- Conditionals ----------------------------------------------------------------------------------

int32_t if_star(bool check, const int32_t*) {
    if (check) expect(1, "then-blk", BLOCK);
    if (logic::is_false(args())) {
        stack::set_last_keep(&NONE);
        return 0;
    }
    Cell body = args()[1];
    return pass_on(check, interp::eval_block_exit(&body, true));
}

int32_t unless_star(bool check, const int32_t*) {
    if (check) expect(1, "then-blk", BLOCK);
    if (!logic::is_false(args())) {
        stack::set_last_keep(&NONE);
        return 0;
    }
    Cell body = args()[1];
    return pass_on(check, interp::eval_block_exit(&body, true));
}

int32_t either_star(bool check, const int32_t*) {
    if (check) {
        expect(1, "true-blk", BLOCK);
        expect(2, "false-blk", BLOCK);
    }
    Cell body = strict_true(args()) ? args()[1] : args()[2];
    return pass_on(check, interp::eval_block_exit(&body, true));
}

int32_t any_star(bool check, const int32_t*) {
    if (check) expect(0, "conds", BLOCK);
    Cell code = args()[0];
    gc::CellRoot keep(&code);
    interp::trace_enter(&code);
    for (uint32_t pos = code.data1; pos < block::total_length(&code);) {
        pos = interp::eval_next(&code, pos, block::total_length(&code), true);
        Cell value = *stack::top_value();
        gc::CellRoot keep_value(&value);
        stack::pop(1);
        if (!logic::is_false(&value)) {
            interp::trace_exit(&code, pos, &value);
            stack::set_last_keep(&value);
            return 0;
        }
    }
    interp::trace_exit(&code, block::total_length(&code), &NONE);
    stack::set_last_keep(&NONE);
    return 0;
}

int32_t all_star(bool check, const int32_t*) {
    if (check) expect(0, "conds", BLOCK);
    Cell code = args()[0];
    Cell last = NONE;
    gc::CellRoot keep(&last), keep_code(&code);
    interp::trace_enter(&code);
    uint32_t pos = code.data1;
    while (pos < block::total_length(&code)) {
        pos = interp::eval_next(&code, pos, block::total_length(&code), true);
        last = *stack::top_value();
        stack::pop(1);
        if (logic::is_false(&last)) {
            last = NONE;
            break;
        }
    }
    interp::trace_exit(&code, pos, &last);
    stack::set_last_keep(&last);
    return 0;
}

// ---- Loops -------------------------------------------------------------------------------------------

int32_t while_star(bool check, const int32_t*) {
    if (check) {
        expect(0, "cond", BLOCK);
        expect(1, "body", BLOCK);
    }
    Cell cond = args()[0], body = args()[1];
    LoopFrame loop;
    for (;;) {
        uint32_t r = loop.run(&cond);
        if (r == PASSED) return pass_on(check, loop.passed);
        if (r != 0) raise_error("throw", "while-cond");
        if (!strict_true(loop.slot())) break;
        r = loop.run(&body);
        if (r == PASSED) return pass_on(check, loop.passed);
        if (r == THROW_BREAK) break;
    }
    loop.finish(UNSET);
    return 0;
}

int32_t until_star(bool check, const int32_t*) {
    if (check) expect(0, "body", BLOCK);
    Cell body = args()[0];
    LoopFrame loop;
    for (;;) {
        uint32_t r = loop.run(&body);
        if (r == PASSED) return pass_on(check, loop.passed);
        if (r == THROW_BREAK) break;
        if (r == THROW_CONTINUE) continue;
        if (strict_true(loop.slot())) break;
    }
    loop.finish();
    return 0;
}

int32_t loop_star(bool check, const int32_t*) {
    if (check) {
        expect(0, "count", COUNT_TYPES);
        expect(1, "body", BLOCK);
    }
    int64_t count = loop_count(args());
    if (count <= 0) {
        stack::set_last_keep(&NONE);
        return 0;
    }
    Cell body = args()[1];
    LoopFrame loop;
    for (int64_t i = 0; i < count; i++) {
        uint32_t r = loop.run(&body);
        if (r == PASSED) return pass_on(check, loop.passed);
        if (r == THROW_BREAK) break;
    }
    loop.finish();
    return 0;
}

int32_t repeat_star(bool check, const int32_t*) {
    if (check) {
        expect(0, "word", T(TYPE_WORD));
        expect(1, "value", COUNT_TYPES);
        expect(2, "body", BLOCK);
    }
    // The counter is an integer!: counts beyond its range stop at its
    // largest value instead of wrapping.
    int64_t count = loop_count(args() + 1);
    if (count > INT32_MAX) count = INT32_MAX;
    if (count <= 0) {
        stack::set_last_keep(&NONE);
        return 0;
    }
    Cell* counter = args() + 1;   // the value's own stack cell
    Cell word = args()[0], body = args()[2];
    LoopFrame loop;
    for (int64_t i = 1; i <= count; i++) {
        *counter = integer::make(int32_t(i));
        set_word(&word, counter);
        uint32_t r = loop.run(&body);
        if (r == PASSED) return pass_on(check, loop.passed);
        if (r == THROW_BREAK) break;
    }
    loop.finish();
    return 0;
}

int32_t forever_star(bool check, const int32_t*) {
    if (check) expect(0, "body", BLOCK);
    Cell body = args()[0];
    LoopFrame loop;
    for (;;) {
        uint32_t r = loop.run(&body);
        if (r == PASSED) return pass_on(check, loop.passed);
        if (r == THROW_BREAK) break;
    }
    loop.finish();
    return 0;
}

// foreach's steps.  The loop state is in its arguments: the word(s) in
// the first, the series (its index moving) in the second.
uint32_t foreach_words(Cell* a) {
    const Cell* words = a;
    bool map = type_of(a + 1) == TYPE_MAP;
    if (map && type_of(words) != TYPE_BLOCK) raise_error("script", "invalid-arg", words);
    uint32_t n = word_count(words);
    if (map && n != 2) raise_error("script", "invalid-arg", words);
    return n;
}

bool foreach_next(Cell* a, uint32_t n) {
    Cell* series = a + 1;
    if (type_of(series) == TYPE_MAP) return map_step(a, series);
    if (items_left(series) == 0) return false;
    set_words_from(a, n, series);
    series->data1 += n;
    return true;
}

int32_t foreach_star(bool check, const int32_t*) {
    if (check) {
        expect(0, "word", T(TYPE_WORD) | BLOCK);
        expect(1, "series", SERIES_TYPES | T(TYPE_MAP));
        expect(2, "body", BLOCK);
    }
    Cell* a = args();
    Cell body = a[2];
    uint32_t n = foreach_words(a);
    LoopFrame loop;
    while (foreach_next(a, n)) {
        uint32_t r = loop.run(&body);
        if (r == PASSED) return pass_on(check, loop.passed);
        if (r == THROW_BREAK) break;
    }
    loop.finish();
    return 0;
}

int32_t forall_star(bool check, const int32_t*) {
    if (check) {
        expect(0, "word", T(TYPE_WORD));
        expect(1, "body", BLOCK);
    }
    Cell word = args()[0], body = args()[1];
    Cell start = *context::get_word_value(&word);
    gc::CellRoot keep(&start);
    if (!forall_series(type_of(&start))) support::raise_expect_arg(&start, "word");
    LoopFrame loop;
    bool broke = false;
    for (;;) {
        Cell current = *context::get_word_value(&word);
        if (items_left(&current) == 0) break;
        uint32_t r = loop.run(&body);
        if (r == PASSED) return pass_on(check, loop.passed);
        if (r == THROW_BREAK) {
            broke = true;
            break;
        }
        Cell* value = context::get_word_value(&word);
        if (!forall_series(type_of(value)) || cell_node(value) != cell_node(&start)) {
            Cell bad = *value;
            raise_error("script", "bad-loop-series", &bad);
        }
        value->data1++;
    }
    if (!broke) set_word(&word, &start);
    loop.finish();
    return 0;
}

int32_t remove_each_star(bool check, const int32_t*) {
    if (check) {
        expect(0, "word", T(TYPE_WORD) | BLOCK);
        expect(1, "data", SERIES_TYPES);
        expect(2, "body", BLOCK);
    }
    Cell* words = args();
    Cell* series = args() + 1;   // its index moves; the node stays
    Cell body = args()[2];
    uint32_t start = series->data1;
    uint32_t n = word_count(words);
    LoopFrame loop;
    for (;;) {
        uint32_t left = items_left(series);
        if (left == 0) break;
        set_words_from(words, n, series);
        // A short last group advances (and is removed) only by the items it
        // has, so the position never passes the tail.
        uint32_t step = n < left ? n : left;
        series->data1 += step;
        uint32_t r = loop.run(&body);
        if (r == PASSED) return pass_on(check, loop.passed);
        if (r == THROW_BREAK) break;
        if (r == THROW_CONTINUE || logic::is_false(loop.slot())) continue;
        series->data1 -= step;
        Cell part = integer::make(int32_t(step));
        dispatch::remove(series, step > 1 ? &part : nullptr, nullptr);
    }
    Cell result = *series;
    result.data1 = start;
    loop.finish(result);
    return 0;
}

// ---- switch and case ------------------------------------------------------------------------------------

int32_t switch_star(bool check, const int32_t* refinements) {
    if (check) {
        expect(1, "cases", BLOCK);
        if (refinements[0] != -1) expect(uint32_t(refinements[0]), "case", BLOCK);
    }
    Cell value = args()[0], cases = args()[1];
    gc::CellRoot keep(&value), keep_cases(&cases);
    const Cell* chosen = nullptr;
    Cell branch = NONE;
    gc::CellRoot keep_branch(&branch);
    bool matched = false;
    if (type_of(&value) != TYPE_BLOCK) {
        uint32_t total = block::total_length(&cases);
        uint32_t at = cases.data1;
        for (; at < total; at++) {
            Cell candidate = *block::cell_at(&cases, at);
            if (type_of(&candidate) == type_of(&value) && compare(&value, &candidate, COMP_EQUAL)) break;
        }
        if (at < total) {
            matched = true;
            total = block::total_length(&cases);
            for (at++; at < total; at++) {
                if (type_of(block::cell_at(&cases, at)) == TYPE_BLOCK) {
                    branch = *block::cell_at(&cases, at);
                    chosen = &branch;
                    break;
                }
            }
        }
    }
    if (!matched && refinements[0] != -1) {
        branch = args()[refinements[0]];
        chosen = &branch;
    }
    if (!chosen) {
        stack::set_last_keep(&NONE);
        return 0;
    }
    return pass_on(check, interp::eval_block_exit(chosen, true));
}

namespace {

// Evaluates case's conditions from `pos` until one is true: answers the
// position of the value it chooses, or the end when none is; `skipped` is
// set when a false one came first.
uint32_t next_true_condition(const Cell* cases, uint32_t pos, bool* skipped) {
    while (pos < block::total_length(cases)) {
        pos = interp::eval_next(cases, pos, block::total_length(cases), true);
        Cell cond = *stack::top_value();
        stack::pop(1);
        if (pos >= block::total_length(cases)) raise_error("script", "need-value", "case");
        if (strict_true(&cond)) return pos;
        *skipped = true;
        pos++;
    }
    return pos;
}

// case's end: its frame goes and `answer` is its result.
void finish_case(const Cell* cases, uint32_t pos, const Cell* answer) {
    Cell a = *answer;
    interp::trace_exit(cases, pos, &a);
    stack::unwind();
    stack::set_last_keep(&a);
}

// No cases at all: none, without a frame of case's own.
bool no_cases(const Cell* cases) {
    if (block::remaining_length(cases) != 0) return false;
    interp::trace_exit(cases, cases->data1, &NONE);
    stack::set_last_keep(&NONE);
    return true;
}

}  // namespace

bool case_choose(const Cell* cases_in, Cell* chosen, uint32_t* after) {
    Cell cases = *cases_in;
    gc::CellRoot keep(&cases);
    interp::trace_enter(&cases);
    if (no_cases(&cases)) return false;
    stack::mark_native(nullptr);
    bool skipped = false;
    uint32_t pos = next_true_condition(&cases, cases.data1, &skipped);
    if (pos >= block::total_length(&cases)) {
        finish_case(&cases, pos, &NONE);
        return false;
    }
    Cell next = *block::cell_at(&cases, pos);
    if (type_of(&next) == TYPE_BLOCK) {
        *chosen = next;
        *after = pos + 1;
        return true;
    }
    pos = interp::eval_next(&cases, pos, block::total_length(&cases), true);
    Cell result = *stack::top_value();
    stack::pop(1);
    finish_case(&cases, pos, &result);
    return false;
}

void case_chosen_done(const Cell* cases, uint32_t after) {
    Cell result = *stack::top_value();
    stack::pop(1);
    finish_case(cases, after, &result);
}

int32_t case_star(bool check, const int32_t* refinements) {
    if (check) expect(0, "cases", BLOCK);
    Cell cases = args()[0];
    gc::CellRoot keep(&cases);
    if (refinements[0] == -1) {
        Cell chosen;
        uint32_t after;
        if (!case_choose(&cases, &chosen, &after)) return 0;
        if (uint32_t code = interp::eval_block_exit(&chosen, false)) return pass_on(check, code);
        case_chosen_done(&cases, after);
        return 0;
    }
    // /all: every true condition's value is evaluated; the last one is the
    // result, unless a false condition came after it.
    interp::trace_enter(&cases);
    if (no_cases(&cases)) return 0;
    Cell result = NONE;
    gc::CellRoot keep_result(&result);
    bool matched = false;
    stack::mark_native(nullptr);
    uint32_t pos = cases.data1;
    while (pos < block::total_length(&cases)) {
        bool skipped = false;
        pos = next_true_condition(&cases, pos, &skipped);
        if (skipped) matched = false;
        if (pos >= block::total_length(&cases)) break;
        Cell next = *block::cell_at(&cases, pos);
        if (type_of(&next) == TYPE_BLOCK) {
            pos++;
            if (uint32_t code = interp::eval_block_exit(&next, false)) return pass_on(check, code);
        } else {
            pos = interp::eval_next(&cases, pos, block::total_length(&cases), true);
        }
        result = *stack::top_value();
        stack::pop(1);
        matched = true;
    }
    finish_case(&cases, pos, matched ? &result : &NONE);
    return 0;
}

// ---- do ----------------------------------------------------------------------------------------------------

int32_t do_star(bool check, const int32_t* refinements) {
    // Refinements: /expand, /args arg, /next position, /trace callback.
    if (check) {
        if (refinements[1] != -1) expect(uint32_t(refinements[1]), "arg", ~T(TYPE_UNSET));
        if (refinements[2] != -1) expect(uint32_t(refinements[2]), "position", T(TYPE_WORD));
        if (refinements[3] != -1) expect(uint32_t(refinements[3]), "callback", T(TYPE_FUNCTION));
    }
    Cell value = args()[0];
    gc::CellRoot keep(&value);
    uint32_t t = type_of(&value);

    std::optional<TraceScope> trace;
    if (refinements[3] != -1) trace.emplace(args() + refinements[3]);
    CallFrame* traced_parent = trace ? trace->parent() : nullptr;
    uint32_t code = 0;
    try {
        if (t == TYPE_STRING) {
            Cell loaded = NONE;
            gc::CellRoot keep_loaded(&loaded);
            lexer::transcode(&value, &loaded);
            value = loaded;
            t = TYPE_BLOCK;
        }
        if (t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH) {
            uint32_t total = block::total_length(&value);
            if (value.data1 > total) value.data1 = total;
            if (refinements[0] != -1) {
                if (const Cell* expand = library_function("expand-directives")) {
                    Cell fn = *expand;
                    Cell call_args[2] = {value, NONE};
                    Cell expanded = NONE;
                    gc::CellRoot keep_fn(&fn), keep_args(call_args, 2), keep_expanded(&expanded);
                    Cell* word = word::make_from_c_string("expand-directives");
                    Cell label = *word;
                    gc::CellRoot keep_label(&label);
                    stack::mark_native(&label);
                    interp::call_function_named(&label, &fn, call_args, 2, &expanded);
                    stack::unwind();
                    if (is_any_block(type_of(&expanded))) value = expanded;
                } else {
                    raise_error("script", "no-value", "expand-directives");
                }
            }
            if (refinements[2] != -1) {
                Cell position = args()[refinements[2]];
                gc::CellRoot keep_position(&position);
                uint32_t next = interp::do_next(&value);
                Cell result = *stack::arguments_base();
                gc::CellRoot keep_result(&result);
                Cell after = value;
                after.data1 = next;
                set_word(&position, &after);
                stack::set_last_keep(&result);
            } else {
                code = do_block(&value, traced_parent);
            }
        } else if (t == TYPE_FILE || t == TYPE_URL) {
            const Cell* do_file = library_function("do-file");
            if (!do_file) raise_error("internal", "not-done");
            Cell fn = *do_file;
            Cell call_args[3] = {value, NONE, refinements[1] != -1 ? args()[refinements[1]] : NONE};
            Cell result = NONE;
            gc::CellRoot keep_fn(&fn), keep_args(call_args, 3), keep_result(&result);
            Cell label = *word::make_from_c_string("do-file");
            gc::CellRoot keep_label(&label);
            interp::call_function_named(&label, &fn, call_args, 3, &result);
            stack::set_last_keep(&result);
        } else if (t == TYPE_ERROR) {
            stack::throw_error(&value);
        } else {
            eval_single(&value);
        }
    } catch (const Thrown&) {
        if (trace) trace->end_unwinding();
        throw;
    }
    if (trace) trace->end();
    return int32_t(code);
}

// ---- try, catch and throw ---------------------------------------------------------------------------------

namespace {

// The failure of the C++ code underneath an evaluation (memory exhausted,
// a library exception) as the catalog's error.  Call only inside a catch
// block.
Cell failure_as_error() {
    const char* id = "no-memory";
    std::string what;
    try {
        throw;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    } catch (const std::exception& e) {
        id = "limit-hit";
        what = e.what();
    } catch (...) {
        id = "limit-hit";
        what = "unknown failure";
    }
    try {
        if (what.empty()) {
            raise_error("internal", id);
        } else {
            Cell text = string::from_utf8(what.data(), what.size());
            gc::CellRoot keep(&text);
            raise_error("internal", id, &text);
        }
    } catch (const Thrown&) {
    }
    return *errors::last_raised();
}

}  // namespace

int32_t try_star(bool check, const int32_t* refinements) {
    if (check) expect(0, "block", BLOCK);
    bool all = refinements[0] != -1;
    bool keep_stack = refinements[1] != -1;
    Cell block = args()[0];
    gc::CellRoot keep(&block);
    stack::Checkpoint cp = stack::checkpoint();
    if (all) stack::mark_try_all(nullptr);
    else stack::mark_try(nullptr);
    uint32_t code = 0;
    try {
        code = interp::eval_block_exit(&block, true);
    } catch (const Thrown& t) {
        if (t.code == THROW_ERROR) {
            Cell error = *errors::last_raised();
            gc::CellRoot keep_error(&error);
            // The calls are named while their frames still stand.
            if (keep_stack && type_of(&error) == TYPE_ERROR) error::attach_stack(&error);
            stack::restore(cp);
            stack::set_last_keep(&error);
            return 0;
        }
        if (!all) throw;
        // try/all stops every code: what the exit left is gone with the
        // stacks above the try, so the result is unset.
        stack::restore(cp);
        stack::set_last_keep(&UNSET);
        return 0;
    } catch (...) {
        // try/all also stops a failure of the C++ code underneath, as an
        // error: the console's loop must outlive any line.
        if (!all) throw;
        stack::restore(cp);
        Cell error = failure_as_error();
        gc::CellRoot keep_error(&error);
        stack::set_last_keep(&error);
        return 0;
    }
    // An exit made ready below a try frame never stops at it (a try/all
    // barrier turns it into an error first): it passes on.
    if (code != 0) return int32_t(code);
    stack::unwind_last();
    return 0;
}

// Compiled code's own try: the caught error is the top value of the
// argument stack.  With `keep` the call stack is captured into it; an error
// of type and id `throw` (a throw that found no catch) is raised again;
// otherwise it becomes the result.
void try_caught(bool keep) {
    Cell error = *stack::top_value();
    gc::CellRoot keep_error(&error);
    if (type_of(&error) == TYPE_ERROR) {
        if (keep) error::attach_stack(&error);
        int32_t throw_symbol = symbol::intern("throw");
        int32_t type = error::get_type(&error), id = error::get_id(&error);
        if (symbol::resolve_alias(type) == symbol::resolve_alias(throw_symbol) &&
            symbol::resolve_alias(id) == symbol::resolve_alias(throw_symbol))
            stack::throw_error(&error);
    }
    stack::set_last_keep(&error);
}

int32_t catch_star(bool check, const int32_t* refinements) {
    if (check) {
        expect(0, "block", BLOCK);
        if (refinements[0] != -1) expect(uint32_t(refinements[0]), "word", T(TYPE_WORD) | BLOCK);
    }
    Cell block = args()[0];
    Cell name = refinements[0] != -1 ? args()[refinements[0]] : NONE;
    gc::CellRoot keep(&block), keep_name(&name);
    stack::mark_catch(nullptr);
    CallFrame* frame = stack::top_frame();
    Cell* inside = stack::arguments_base();
    for (;;) {
        uint32_t code;
        try {
            code = interp::eval_block_exit(&block, true);
        } catch (const Thrown& t) {
            if (t.code != THROW_THROW || stack::exit_frame() != frame) throw;
            code = t.code;
        }
        if (code == 0) break;
        if (code != THROW_THROW || stack::exit_frame() != frame) return pass_on(check, code);
        // The thrown value and its name lie in the catch frame's first two
        // cells.
        stack::restore_to_frame(frame, inside, inside + 2);
        bool caught = type_of(&name) == TYPE_NONE;
        if (!caught && is_word_kind(type_of(inside + 1))) {
            int32_t thrown = symbol::resolve_alias(word::symbol_of(inside + 1));
            if (type_of(&name) == TYPE_WORD) {
                caught = symbol::resolve_alias(word::symbol_of(&name)) == thrown;
            } else {
                uint32_t n = block::remaining_length(&name);
                for (uint32_t k = 0; k < n; k++) {
                    const Cell* w = block::item(&name, k);
                    if (type_of(w) != TYPE_WORD) raise_error("script", "invalid-refine-arg", "name", &name);
                    if (symbol::resolve_alias(word::symbol_of(w)) == thrown) caught = true;
                }
            }
        } else if (!caught && type_of(&name) == TYPE_BLOCK) {
            uint32_t n = block::remaining_length(&name);
            for (uint32_t k = 0; k < n; k++)
                if (type_of(block::item(&name, k)) != TYPE_WORD)
                    raise_error("script", "invalid-refine-arg", "name", &name);
        }
        if (!caught) {
            // On to the next catch, as if thrown from here.
            return pass_on(check, stack::prepare_value(THROW_THROW, true));
        }
        stack::state.top = inside + 1;
        interp::trace_catch();
        break;
    }
    stack::unwind_last();
    return 0;
}

int32_t throw_star(bool check, const int32_t* refinements) {
    if (check && refinements[0] != -1) expect(uint32_t(refinements[0]), "word", T(TYPE_WORD));
    if (refinements[0] == -1) {
        stack::state.top = stack::arguments_base() + 1;
        *stack::push_slot() = UNSET;
    }
    return pass_on(check, stack::prepare_value(THROW_THROW));
}

// ---- break, continue, exit, return ------------------------------------------------------------------------

int32_t break_star(bool check, const int32_t* refinements) {
    return pass_on(check, stack::prepare_break(refinements[0] != -1, false));
}

int32_t continue_star(bool check, const int32_t*) { return pass_on(check, stack::prepare_break(false, true)); }

int32_t exit_star(bool check, const int32_t*) { return pass_on(check, stack::prepare_return(false, false)); }

int32_t return_star(bool check, const int32_t*) { return pass_on(check, stack::prepare_return(true, false)); }

}  // namespace qor::natives
