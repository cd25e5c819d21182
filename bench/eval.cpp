// The interpreter's inner loop: a counting loop and a recursive function,
// both built with the builder API.  Times are the best of three runs.
//
//   bench_eval [iterations] [fib-n]      (defaults 1000000 and 24)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "datatypes/block.hpp"
#include "datatypes/block_actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/error.hpp"
#include "datatypes/float.hpp"
#include "datatypes/function.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/native.hpp"
#include "datatypes/none.hpp"
#include "datatypes/object.hpp"
#include "datatypes/path.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string_actions.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/unset.hpp"
#include "datatypes/word.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/call.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/natives_table.hpp"
#include "evaluator/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/fixed_words.hpp"
#include "runtime/memory.hpp"
#include "runtime/ownership.hpp"
#include "runtime/root_block.hpp"
#include "runtime/throw.hpp"

namespace {

using namespace qor;
using Clock = std::chrono::steady_clock;

Cell* base() { return stack::arguments_base(); }

int32_t native_loop(bool, const int32_t*) {
    int32_t count = int32_t(base()[0].data2);
    Cell body = base()[1];
    stack::mark_loop(nullptr);
    Cell* inside = stack::arguments_base();
    for (int32_t i = 0; i < count; i++) {
        stack::state.top = inside;
        if (uint32_t code = interp::eval_block_exit(&body, true)) return int32_t(code);
    }
    stack::unwind();
    stack::keep();
    return 0;
}

int32_t native_if(bool, const int32_t*) {
    if (logic::is_false(base())) {
        stack::set_last_keep(Cell{TYPE_NONE, 0, 0, 0});
        return 0;
    }
    Cell body = base()[1];
    return int32_t(interp::eval_block_exit(&body, true));
}

int32_t native_return(bool, const int32_t*) { return int32_t(stack::prepare_return(true, false)); }

int32_t native_lesser(bool, const int32_t*) {
    actions::compare_op(COMP_LESSER);
    return 0;
}

// ---- Building code -------------------------------------------------------------------------

Cell w(const char* name, uint32_t type = TYPE_WORD) {
    Cell c = *word::make_from_c_string(name);
    c.header = type;
    return c;
}
Cell n(int32_t v) { return integer::make(v); }
Cell blk(std::initializer_list<Cell> cells, uint32_t type = TYPE_BLOCK) {
    Cell b = block::make(int32_t(cells.size()));
    gc::CellRoot keep(&b);
    for (const Cell& c : cells) block::append_copy(&b, &c);
    b.header = type;
    return b;
}

void bind_native(const char* name, std::initializer_list<Cell> spec_cells, NativeFn entry) {
    uintptr_t e = reinterpret_cast<uintptr_t>(entry);
    natives::register_entries(1, &e);
    Cell spec = blk(spec_cells);
    gc::CellRoot keep(&spec);
    Cell v{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_v(&v);
    native::init_native(&v, &spec, natives::count_word() - 1);
    context::set_global_value(symbol::intern(name), &v);
}

void bind_action(const char* name, int slot, const char* op) {
    Cell spec = blk({w("value1"), w("value2")});
    gc::CellRoot keep(&spec);
    Cell v{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_v(&v);
    native::init_action(&v, &spec, uint32_t(slot));
    context::set_global_value(symbol::intern(name), &v);
    v.header = TYPE_OP | (TYPE_ACTION << 16);
    context::set_global_value(symbol::intern(op), &v);
}

void start() {
    memory::init();
    datatype::init();
    unset::init();
    none::init();
    logic::init();
    series::init();
    block::init();
    string_actions::init();
    integer::init();
    float_::init();
    path::init();
    paren::init();
    symbol::init();
    symbol::make_table();
    symbol::make_index();
    context::init();
    word::init();
    issue::init();
    root_block::make();
    context::make_global();
    owner::init_table();
    words::init_fixed();
    words::init_refinements();
    function::init();
    native::init();
    object::init();
    error::init();
    actions::init();
    natives::init_table();
    interp::init();
    gc::finish_startup();

    bind_native("loop", {w("count"), w("body")}, native_loop);
    bind_native("if", {w("cond"), w("body")}, native_if);
    bind_native("return", {w("value")}, native_return);
    bind_native("lesser?", {w("value1"), w("value2")}, native_lesser);
    Cell less = *context::global_value_pointer(symbol::intern("lesser?"));
    less.header = TYPE_OP | (TYPE_NATIVE << 16);
    context::set_global_value(symbol::intern("<"), &less);
    bind_action("add", SLOT_ADD, "+");
    bind_action("subtract", SLOT_SUBTRACT, "-");
}

template <typename F>
double best_seconds(F&& body) {
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        auto t0 = Clock::now();
        body();
        double s = std::chrono::duration<double>(Clock::now() - t0).count();
        if (s < best) best = s;
    }
    return best;
}

Cell g_code{TYPE_NONE, 0, 0, 0};

void run_code() {
    stack::Checkpoint cp = stack::checkpoint();
    interp::eval_block(&g_code, false);
    stack::restore(cp);
}

}  // namespace

int main(int argc, char** argv) {
    int32_t iterations = argc > 1 ? std::atoi(argv[1]) : 1000000;
    int32_t fib_n = argc > 2 ? std::atoi(argv[2]) : 24;
    start();
    gc::register_global_cell(&g_code);

    // n: 0  loop iterations [n: n + 1]
    g_code = blk({w("n", TYPE_SET_WORD), n(0), w("loop"), n(iterations),
                  blk({w("n", TYPE_SET_WORD), w("n"), w("+"), n(1)})});
    double s = best_seconds(run_code);
    std::printf("%-44s %9.2f ms %9.1f ns/round\n", "loop [n: n + 1]", s * 1e3, s * 1e9 / iterations);

    // fib: function [n] [if n < 2 [return n] (fib n - 1) + fib n - 2]
    Cell spec = blk({w("n")});
    gc::CellRoot keep_spec(&spec);
    Cell body = blk({w("if"), w("n"), w("<"), n(2), blk({w("return"), w("n")}),
                     blk({w("fib"), w("n"), w("-"), n(1)}, TYPE_PAREN), w("+"), w("fib"), w("n"), w("-"),
                     n(2)});
    gc::CellRoot keep_body(&body);
    Cell fib = *function::make_value(&spec, &body, nullptr, 0, nullptr, 0);
    stack::pop(1);
    context::set_global_value(symbol::intern("fib"), &fib);
    g_code = blk({w("fib"), n(fib_n)});
    // fib(n) makes fib(n + 1) * 2 - 1 calls.
    int64_t a = 0, b = 1;
    for (int32_t i = 0; i <= fib_n; i++) {
        int64_t t = a + b;
        a = b;
        b = t;
    }
    int64_t calls = 2 * a - 1;
    s = best_seconds(run_code);
    std::printf("%-44s %9.2f ms %9.1f ns/call\n", "fib (recursive function calls)", s * 1e3, s * 1e9 / double(calls));
    return 0;
}
