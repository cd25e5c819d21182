// The evaluator's entries of the hook table (see links.hpp).
#include "evaluator/links.hpp"

#include "datatypes/error.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/stack.hpp"
#include "evaluator/call.hpp"
#include "evaluator/exits.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/trace.hpp"
#include "runtime/runtime_record.hpp"
#include "runtime/throw.hpp"

namespace qor::interp {

namespace {

using namespace stack;

Cell g_call_word{};   // the answer of the error module's current_call link

// The error module's view of the stacks.
const Cell* link_current_position() {
    Cell* pos = interp::current_position();
    return type_of(pos) == TYPE_UNSET ? nullptr : pos;
}
const Cell* link_current_call() {
    g_call_word = current_call();
    return &g_call_word;
}
int32_t link_list_calls(int32_t depth, int32_t frame, Cell* out, int32_t limit) {
    return list_calls(depth, out, frame, limit);
}
void link_print_calls(int32_t depth, Cell* block, int32_t frame) { print_calls(depth, block, frame); }
void link_eval_block(Cell* block) {
    Checkpoint cp = checkpoint();
    interp::eval_block(block, false);
    restore(cp);
}
void link_in_native_frame(const Cell* word, void (*f)(void*), void* data) {
    Checkpoint cp = checkpoint();
    mark_native(word);
    f(data);
    restore(cp);
}

bool link_guarded(void (*f)(void*), void* data) {
    Checkpoint cp = checkpoint();
    try {
        f(data);
        return true;
    } catch (const Thrown& t) {
        if (t.code != THROW_ERROR) throw;
        restore(cp);
        return false;
    }
}

void link_call_in_frame(const Cell* label, const Cell* function, const Cell* args, uint32_t count,
                        Cell* result) {
    interp::call_function_named(label, function, args, count, result);
}

}  // namespace

void install_links() {
    eval_links::Links& l = eval_links::get();
    l.raise = record_raise;
    l.call_function = interp::call_function;
    l.current_position = link_current_position;
    l.current_call = link_current_call;
    l.list_calls = link_list_calls;
    l.print_calls = link_print_calls;
    l.eval_block = link_eval_block;
    l.in_native_frame = link_in_native_frame;
    l.call_in_frame = link_call_in_frame;
    l.call_spread = interp::call_function_spread;
    l.guarded = link_guarded;
}

}  // namespace qor::interp
